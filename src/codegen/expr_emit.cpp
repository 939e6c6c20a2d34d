#include "codegen/emit_support.h"
#include "codegen/generator.h"
#include "codegen/output.h"
#include "isa/encoding.h"

namespace tolvar {

namespace {

// Sized constants and data-label references: prefix, code byte first.
int emit_const(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
               int32_t* position)
{
    if (node->code == CODE_INT32) {
        if (slot_kind(node, 0) != TYPE_LABEL) {
            report_error(2882,
                         "BUG: type mismatch: offset=%08X, type=%d, code=%02X, params[0].type=%d\n",
                         hex_offset(*position), node->type, node->code, slot_kind(node, 0));
            return -1;
        }
        int32_t offset = label_offset(labels, node->params[0].text.get(), *position + 1, -1);
        if (offset < 0) {
            report_missing_label(-1, slot_text(node->params[0]));
            return -1;
        }
        if (add_byte(buffer, size, *position, node->code, position) < 0) {
            report_error(2893, "can't add byte\n");
            return -1;
        }
        if (add_int32(buffer, size, *position, offset, position) < 0) {
            report_error(2898, "can't add int32\n");
            return -1;
        }
        return 0;
    }
    if (node->code != CODE_BYTE && node->code != CODE_INT16) {
        report_error(2927, "BUG: type mismatch: offset=%08X, type=%d, code=%02X\n",
                     hex_offset(*position), node->type, node->code);
        return -1;
    }
    bool is_byte = node->code == CODE_BYTE;
    if (slot_kind(node, 0) != (is_byte ? TYPE_BYTE : TYPE_INT16)) {
        report_error(2906,
                     "BUG: type mismatch: offset=%08X, type=%d, code=%02X, params[0].type=%d\n",
                     hex_offset(*position), node->type, node->code, slot_kind(node, 0));
        return -1;
    }
    if (add_byte(buffer, size, *position, node->code, position) < 0) {
        report_error(2911, "can't add byte\n");
        return -1;
    }
    int32_t value = node->params[0].value;
    if (is_byte) {
        if (add_byte(buffer, size, *position, value, position) < 0) {
            report_error(2917, "can't add byte\n");
            return -1;
        }
    } else if (add_int16(buffer, size, *position, value, position) < 0) {
        report_error(2922, "can't add int16\n");
        return -1;
    }
    return 0;
}

// Operators, functions and variables: postfix, arguments first.
int emit_call(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t* position)
{
    for (int i = 0; i < node->param_count; ++i) {
        ItemType kind = slot_kind(node, i);
        switch (kind) {
        case TYPE_EXPR:
        case TYPE_DATA_OFFSET: {
            LiveFrame frame{{UNWIND_EXPR, kind == TYPE_EXPR ? 2936 : 2941}};
            if (emit_expr_under(frame, node->params[i].node.get(), labels, buffer, size, position) <
                0) {
                return -1;
            }
            break;
        }
        case TYPE_BYTE:
            if (add_byte(buffer, size, *position, node->params[i].value, position) < 0) {
                report_error(2946, "can't add byte\n");
                return -1;
            }
            break;
        default:
            report_error(2950, "BUG: illegal type: offset=%08X, type=%d\n", hex_offset(*position),
                         node->type);
            return -1;
        }
    }
    if (add_byte(buffer, size, *position, node->code, position) < 0) {
        report_error(2956, "can't add byte\n");
        return -1;
    }
    return 0;
}

int emit_literal(const Inst* node, uint8_t* buffer, int32_t size, int32_t* position)
{
    int32_t value = node->params[0].value;
    if (node->param_count != 1 || node->params[0].type != TYPE_BYTE || !is_small_literal(value)) {
        report_error(2968, "BUG: illegal type: offset=%08X, type=%d\n", hex_offset(*position),
                     node->type);
        return -1;
    }
    if (add_byte(buffer, size, *position, value, position) < 0) {
        report_error(2964, "can't add byte\n");
        return -1;
    }
    return 0;
}

}  // namespace

int emit_expr(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t position, int32_t* new_position)
{
    DepthTrace trace("make_binary_expr", labels.expr_level);
    if (node == nullptr) {
        report_error(2871, "BUG: can't make binary: expr is NULL\n");
        return -1;
    }
    int result = -1;
    switch (node->type) {
    case TYPE_CONST:
        result = emit_const(node, labels, buffer, size, &position);
        break;
    case TYPE_OPERATOR:
    case TYPE_FUNCTION:
        result = emit_call(node, labels, buffer, size, &position);
        break;
    case TYPE_BYTE:
        result = emit_literal(node, buffer, size, &position);
        break;
    default:
        report_error(2968, "BUG: illegal type: offset=%08X, type=%d\n", hex_offset(position),
                     node->type);
        break;
    }
    if (result == 0) {
        *new_position = position;
    }
    return result;
}

}  // namespace tolvar

namespace tolvar {

int make_binary_expr(const Inst* node, const DataLabelTable& data_labels, uint8_t* buffer,
                     int32_t size, int32_t position, int32_t* new_position)
{
    LabelLookup labels{data_labels};
    return emit_expr(node, labels, buffer, size, position, new_position);
}

}  // namespace tolvar
