#include "tree_text.h"

#include <string>

using namespace tolvar;

namespace tolvar_test {

namespace {

std::string operator_symbol(uint8_t code)
{
    for (const CodeInfo& row : code_info) {
        if (row.type == TYPE_OPERATOR && row.code == code) {
            return row.text;
        }
    }
    return "?op";
}

std::string slot_text(const Param& slot)
{
    switch (slot.type) {
    case TYPE_TEXT:
        return "[" + std::string(slot.text ? slot.text.get() : "(null)") + "]";
    case TYPE_LABEL:
        return slot.text ? slot.text.get() : "(null)";
    case TYPE_ASSIGN:
        return ":=";
    case TYPE_BYTE:
    case TYPE_INT16:
        return std::to_string(slot.value);
    case TYPE_EVAL:
    case TYPE_EXPR:
    case TYPE_VARIABLE:
    case TYPE_DATA_OFFSET:
        return expr_text(slot.node.get());
    default:
        return "?slot" + std::to_string(slot.type);
    }
}

std::string params_text(const Inst* node)
{
    std::string text;
    for (int i = 0; i < node->param_count; ++i) {
        // Appended one by one: GCC 12 sees an impossible size in the
        // temporary of `"" + std::string` (-Wstringop-overflow).
        if (i != 0) {
            text += ", ";
        }
        text += slot_text(node->params[i]);
    }
    return text;
}

}  // namespace

std::string expr_text(const Inst* node)
{
    if (node == nullptr) {
        return "(null)";
    }
    switch (node->type) {
    case TYPE_BYTE:
        return std::to_string(node->params[0].value);
    case TYPE_EVAL:
        return "eval " + expr_text(node->params[0].node.get());
    case TYPE_OPERATOR:
        return operator_symbol(node->code) + "(" + params_text(node) + ")";
    case TYPE_CONST:
        if (node->code == 0xD2) {
            return "int32 " + slot_text(node->params[0]);
        }
        return std::string(node->code == 0xD3 ? "byte " : "int16 ") + slot_text(node->params[0]);
    case TYPE_FUNCTION:
        if (node->code == 0xB2 || node->code == 0xB3) {
            return std::string(node->info->text) + "[" + std::to_string(node->params[0].value) +
                   "]";
        }
        return std::string(node->info->text) + "(" + params_text(node) + ")";
    default:
        return "?node" + std::to_string(node->type);
    }
}

std::string list_text(const Inst* list)
{
    std::string text;
    for (const Inst* node = list; node != nullptr; node = node->next) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(node->offset) + ":";
        switch (node->type) {
        case TYPE_TEXT:
            text += "text" + slot_text(node->params[0]);
            break;
        case TYPE_LABEL:
            text += "label " + slot_text(node->params[0]);
            break;
        case TYPE_DATA:
            text += ".data " + slot_text(node->params[0]);
            break;
        case TYPE_UNKNOWN:
            text += ".unknown " + slot_text(node->params[0]);
            break;
        case TYPE_UNKNOWN_BYTE:
            text += ".unknown.byte " + slot_text(node->params[0]);
            break;
        case TYPE_STATEMENT:
            text += node->info->text;
            if (node->param_count > 0) {
                text += "(" + params_text(node) + ")";
            }
            break;
        default:
            text += "?type" + std::to_string(node->type);
            break;
        }
        if (node->sub) {
            text += "{" + list_text(node->sub.get()) + "}";
        }
    }
    return text;
}

}  // namespace tolvar_test
