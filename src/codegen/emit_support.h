// Small pieces shared by the statement and expression emitters.
#pragma once

#include "driver/diag.h"
#include "driver/settings.h"
#include "isa/inst.h"

namespace tolvar {

// Holds one level of a recursive emitter's depth counter for the life of a
// call, with the START/END trace lines of verbose level 2. The END line
// comes after any error the call printed.
struct DepthTrace {
    DepthTrace(const char* op_name, int& depth) : name(op_name), level(depth)
    {
        ++level;
        if (verbose_level >= 2) {
            report_info("%s: level=%d START\n", name, level);
        }
    }
    ~DepthTrace()
    {
        if (verbose_level >= 2) {
            report_info("%s: level=%d END\n", name, level);
        }
        --level;
    }
    DepthTrace(const DepthTrace&) = delete;
    DepthTrace& operator=(const DepthTrace&) = delete;

    const char* name;
    int& level;
};

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
