// Small pieces shared by the statement and expression emitters.
#pragma once

#include "isa/inst.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

// The kind of slot i. A count beyond the four slots names slots that don't
// exist; they have no kind, so the callers' illegal-kind checks refuse them
// instead of reading past the array.
inline ItemType slot_kind(const Inst* node, int i)
{
    return i >= 0 && i < 4 ? node->params[i].type : TYPE_NONE;
}

// A slot's text; a slot left without one reads as empty rather than null.
inline const char* slot_text(const Param& param)
{
    return param.text ? param.text.get() : "";
}

// Offsets print as eight hexadecimal digits of the unsigned value.
inline unsigned hex_offset(int32_t position)
{
    return static_cast<unsigned>(position);
}

}  // namespace tolvar
