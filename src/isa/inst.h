// The instruction tree: what the parsers build and the generators walk.
//
// A list is a chain of statement nodes linked through `next`; `if` and
// `else` nodes hang their bodies from `sub`. Every node records the output
// offset its bytes begin at, so generation can check itself against the
// sizes counted while parsing.
#pragma once

#include <cstdint>
#include <memory>

#include "isa/code_info.h"
#include "support/memory.h"

namespace tolvar {

struct Inst;

// Releases a whole list with everything it owns.
void inst_list_free(Inst* list);

struct InstListFree {
    void operator()(Inst* list) const noexcept { inst_list_free(list); }
};

// Owner of a node list: a tree, a body, or an expression in a slot.
using InstPtr = std::unique_ptr<Inst, InstListFree>;

// One parameter slot. Which member holds the value follows from `type`:
//   value: TYPE_ASSIGN (0), TYPE_BYTE, TYPE_INT16
//   text:  TYPE_TEXT (decoded text), TYPE_LABEL (label name)
//   node:  TYPE_EVAL, TYPE_EXPR, TYPE_VARIABLE, TYPE_DATA_OFFSET
// Param and Inst give every member an initializer: inst_new relies on it.
struct Param {
    ItemType type = TYPE_NONE;
    int32_t value = 0;
    StrPtr text;
    InstPtr node;
};

struct Inst {
    Inst* next = nullptr;  // owned by the list, released by inst_list_free
    int32_t line = 0;      // source line, from 1
    int32_t offset = 0;    // output offset; -1 for nodes outside a list
    ItemType type = TYPE_NONE;
    Code code = CODE_NONE;
    const CodeInfo* info = nullptr;
    int32_t param_count = 0;
    Param params[4];
    InstPtr sub;  // body of an `if` or `else`
};

// A new zeroed node with line and offset set, or null after printing the
// memory message. With head given the node is appended to that list: after
// tail, or as the first node when tail is null.
Inst* inst_new(int32_t line, int32_t offset, InstPtr* head, Inst* tail);

}  // namespace tolvar
