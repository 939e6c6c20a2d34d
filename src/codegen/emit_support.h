// Small pieces shared by the statement and expression emitters.
#pragma once

#include "codegen/generator.h"
#include "isa/inst.h"
#include "labels/labels.h"
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

// Where the emitters look labels up, and the depth of their traces. With
// deferrals, a label not defined yet reads as offset 0 and is recorded.
struct LabelLookup {
    const DataLabelTable& table;
    Deferrals* deferrals = nullptr;
    const LiveFrame* frame = nullptr;  // innermost call under way
    int list_level = 0;
    int expr_level = 0;
};

// The offset of label name, whose 32-bit offset goes to position; -1 when
// it is not defined (and not deferred). line is that of the message the
// reference reports when the label is missing (-1 inside an expression).
int32_t label_offset(LabelLookup& labels, const char* name, int32_t position, int32_t line);

// The messages of a missing label and of a failed call on its way out.
void report_missing_label(int32_t line, const char* name);
void report_unwind(const UnwindFrame& frame);

// make_binary and make_binary_expr over a lookup.
int emit_list(const Inst* list, LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t position, int32_t* end_position);
int emit_expr(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t position, int32_t* new_position);

// emit_expr called under frame: printing frame's message when it fails.
int emit_expr_under(LiveFrame& frame, const Inst* node, LabelLookup& labels, uint8_t* buffer,
                    int32_t size, int32_t* position);

}  // namespace tolvar
