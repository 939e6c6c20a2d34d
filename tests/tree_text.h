// A compact text form of instruction trees, so tests can state a whole
// parse in one line.
#pragma once

#include <string>

#include "isa/inst.h"

namespace tolvar_test {

// An expression: operators in prefix form, e.g. "==($var[2], 1)".
std::string expr_text(const tolvar::Inst* node);

// A statement list, each node as "offset:what", bodies in braces, e.g.
// "0:text[Hi] 2:if(eval ==($var[2], 1)){8:jump(tail)} 13:endif".
std::string list_text(const tolvar::Inst* list);

}  // namespace tolvar_test
