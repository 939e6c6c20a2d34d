#include "codegen/generator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "codegen/emit_support.h"
#include "codegen/output.h"
#include "labels/conv_state.h"

namespace tolvar {

namespace {

int level = 0;

// A node made without a keyword has no row and so no name.
const char* inst_name(const Inst* node)
{
    return node->info != nullptr && node->info->text != nullptr ? node->info->text : "";
}

void list_node(const Inst* node)
{
    report_info("line %d", node->line);
    switch (node->type) {
    case TYPE_STATEMENT:
        report_plain(": %s\n", inst_name(node));
        break;
    case TYPE_DATA:
        report_plain(": .data\n");
        break;
    case TYPE_UNKNOWN_BYTE:
        report_plain(": .unknown.byte\n");
        break;
    case TYPE_UNKNOWN:
        report_plain(": .unknown\n");
        break;
    default:
        report_plain("\n");
        break;
    }
}

// An expression parameter: the expression of its eval node, then CODE_EVAL.
int emit_eval_param(const Inst* node, int i, const LabelLookup& labels, uint8_t* buffer,
                    int32_t size, int32_t* position)
{
    const Inst* eval = node->params[i].node.get();
    if (eval == nullptr || eval->type != TYPE_EVAL || eval->code != CODE_EVAL) {
        report_error(2784, "BUG: line %d: param type mismatch: offset=%08X, inst='%s', param %d\n",
                     node->line, hex_offset(*position), inst_name(node), i);
        return -1;
    }
    if (emit_expr(eval->params[0].node.get(), labels, buffer, size, *position, position) < 0) {
        report_error(2789, "line %d: can't add expr\n", node->line);
        return -1;
    }
    if (add_byte(buffer, size, *position, eval->code, position) < 0) {
        report_error(2793, "line %d: can't add byte\n", node->line);
        return -1;
    }
    return 0;
}

int emit_param(const Inst* node, int i, const LabelLookup& labels, uint8_t* buffer, int32_t size,
               int32_t* position)
{
    // Only the kinds handled below ever index the slots, so a count beyond
    // the four slots ends in the illegal-kind message.
    ItemType kind = slot_kind(node, i);
    switch (kind) {
    case TYPE_TEXT:
        if (add_text(buffer, size, *position, slot_text(node->params[i]), 0, position) < 0) {
            report_error(2758, "line %d: can't add text\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_LABEL: {
        int32_t offset = label_offset(labels, node->params[i].text.get(), *position);
        if (offset < 0) {
            report_error(2766, "line %d: can't find label: %s\n", node->line,
                         slot_text(node->params[i]));
            return -1;
        }
        if (add_int32(buffer, size, *position, offset, position) < 0) {
            report_error(2771, "line %d: can't add int32\n", node->line);
            return -1;
        }
        return 0;
    }
    case TYPE_ASSIGN:
        if (add_byte(buffer, size, *position, CODE_ASSIGN, position) < 0) {
            report_error(2776, "line %d: can't add byte\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_EVAL:
        return emit_eval_param(node, i, labels, buffer, size, position);
    case TYPE_BYTE:
        if (add_byte(buffer, size, *position, node->params[i].value, position) < 0) {
            report_error(2798, "line %d: can't add byte\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_DATA_OFFSET:
        if (emit_expr(node->params[i].node.get(), labels, buffer, size, *position, position) < 0) {
            report_error(2808, "line %d: can't add str32\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_VARIABLE:
        if (emit_expr(node->params[i].node.get(), labels, buffer, size, *position, position) < 0) {
            report_error(2813, "line %d: can't add expr\n", node->line);
            return -1;
        }
        return 0;
    default:
        report_error(2817,
                     "BUG: line %d: illegal parameter type: offset=%08X, inst='%s', "
                     "params[%d].type=%d\n",
                     node->line, hex_offset(*position), inst_name(node), i, kind);
        return -1;
    }
}

int emit_statement(const Inst* node, const LabelLookup& labels, uint8_t* buffer, int32_t size,
                   int32_t* position)
{
    if (add_byte(buffer, size, *position, node->code, position) < 0) {
        report_error(2751, "line %d: can't add code\n", node->line);
        return -1;
    }
    for (int i = 0; i < node->param_count; ++i) {
        if (emit_param(node, i, labels, buffer, size, position) < 0) {
            return -1;
        }
    }
    if (node->code != CODE_IF && node->code != CODE_ELSE) {
        if (node->sub) {
            report_error(2835, "BUG: line %d: unknown sub block: offset=%08X, '%s'\n", node->line,
                         hex_offset(*position), inst_name(node));
            return -1;
        }
        return 0;
    }
    if (!node->sub) {
        report_warning(2826, "line %d: '%s' have no sub block: offset=%08X\n", node->line,
                       inst_name(node), hex_offset(*position));
        return 0;
    }
    int32_t start = *position;
    if (emit_list(node->sub.get(), labels, buffer, size, start, position) < 0) {
        report_error(2829, "line %d: make binary data: offset=%08X, '%s'\n", node->line,
                     hex_offset(start), inst_name(node));
        return -1;
    }
    return 0;
}

int emit_data(const Inst* node, uint8_t* buffer, int32_t size, int32_t* position)
{
    const Param& param = node->params[0];
    if (param.type == TYPE_TEXT) {
        if (add_text(buffer, size, *position, slot_text(param), 1, position) < 0) {
            report_error(2725, "line %d: can't add text\n", node->line);
            return -1;
        }
        return 0;
    }
    if (param.type == TYPE_INT16) {
        if (add_int16(buffer, size, *position, param.value, position) < 0) {
            report_error(2730, "line %d: can't add int16\n", node->line);
            return -1;
        }
        return 0;
    }
    report_error(2734, "BUG: line %d: unknown data type: inst->type=%d, inst->params[0].type=%d\n",
                 node->line, node->type, param.type);
    return -1;
}

int emit_node(const Inst* node, const LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t* position)
{
    switch (node->type) {
    case TYPE_LABEL:
        return 0;
    case TYPE_TEXT:
        if (add_text(buffer, size, *position, slot_text(node->params[0]), 0, position) < 0) {
            report_error(2719, "line %d: can't add text\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_DATA:
        return emit_data(node, buffer, size, position);
    case TYPE_UNKNOWN_BYTE:
        if (add_byte(buffer, size, *position, node->params[0].value, position) < 0) {
            report_error(2739, "line %d: can't add byte\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_UNKNOWN:
        if (add_int16(buffer, size, *position, node->params[0].value, position) < 0) {
            report_error(2744, "line %d: can't add int16\n", node->line);
            return -1;
        }
        return 0;
    case TYPE_STATEMENT:
        return emit_statement(node, labels, buffer, size, position);
    default:
        report_error(2840, "BUG: line %d: illegal type: offset=%08X, type=%d\n", node->line,
                     hex_offset(*position), node->type);
        return -1;
    }
}

}  // namespace

int emit_list(const Inst* list, const LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t position, int32_t* end_position)
{
    DepthTrace trace("make_binary", level);
    if (list == nullptr) {
        report_error(2690, "BUG: can't make binary: inst is NULL\n");
        return -1;
    }
    for (const Inst* node = list; node != nullptr; node = node->next) {
        if (node->offset != position) {
            report_error(2696, "BUG: line %d: offset mismatch: inst->offset=%08X, offset=%08X\n",
                         node->line, hex_offset(node->offset), hex_offset(position));
            return -1;
        }
        if (verbose_level >= 1) {
            list_node(node);
        }
        if (emit_node(node, labels, buffer, size, &position) < 0) {
            return -1;
        }
    }
    *end_position = position;
    return 0;
}

int make_binary(const Inst* list, const DataLabelTable& data_labels, uint8_t* buffer, int32_t size,
                int32_t position, int32_t* end_position)
{
    return emit_list(list, LabelLookup{data_labels, nullptr}, buffer, size, position, end_position);
}

int make_binary_deferred(const Inst* list, const DataLabelTable& data_labels,
                         PendingLabels& pending, uint8_t* buffer, int32_t size, int32_t position,
                         int32_t* end_position)
{
    return emit_list(list, LabelLookup{data_labels, &pending}, buffer, size, position,
                     end_position);
}

int32_t label_offset(const LabelLookup& labels, const char* name, int32_t position)
{
    int32_t offset = get_data_label(labels.table, name);
    if (offset >= 0 || labels.pending == nullptr || name == nullptr || name[0] == '\0') {
        return offset;
    }
    defer_label(*labels.pending, name, position);
    return 0;
}

namespace {

// Grows items to hold `more` past `used`, by doubling; false when memory
// runs out. Only for plain records.
template <class T>
bool make_room(std::unique_ptr<T[]>& items, size_t used, size_t& reserved, size_t more)
{
    if (reserved - used >= more) {
        return true;
    }
    size_t wanted = reserved == 0 ? 256 : reserved * 2;
    while (wanted - used < more) {
        wanted *= 2;
    }
    std::unique_ptr<T[]> grown = reserve_array<T>(wanted);
    if (!grown) {
        return false;
    }
    std::copy(items.get(), items.get() + used, grown.get());
    items = std::move(grown);
    reserved = wanted;
    return true;
}

}  // namespace

void defer_label(PendingLabels& pending, const char* name, int32_t position)
{
    size_t length = std::strlen(name) + 1;
    if (!make_room(pending.items, pending.count, pending.reserved, 1) ||
        !make_room(pending.names, pending.names_size, pending.names_reserved, length)) {
        pending.overflowed = true;
        return;
    }
    std::memcpy(pending.names.get() + pending.names_size, name, length);
    pending.items[pending.count++] = {position, pending.names_size};
    pending.names_size += length;
}

bool resolve_pending(const PendingLabels& pending, const DataLabelTable& data_labels,
                     uint8_t* buffer, int32_t size)
{
    if (pending.overflowed) {
        return false;
    }
    for (size_t i = 0; i < pending.count; ++i) {
        const PendingLabel& item = pending.items[i];
        int32_t offset = get_data_label(data_labels, pending.names.get() + item.name);
        int32_t end = 0;
        if (offset < 0 || add_int32(buffer, size, item.position, offset, &end) < 0) {
            return false;
        }
    }
    return true;
}

namespace {

void report_generation_start()
{
    report_info("make binary data\n");
}

void report_generation_end()
{
    report_info("make binary data finished\n");
}

}  // namespace

int generate_binary(ConvState& conv)
{
    conv.buffer = try_new_array<uint8_t>(static_cast<size_t>(conv.size));
    if (!conv.buffer) {
        report_error(389, "memory exhausted! (size=%d)\n", conv.size);
        return -1;
    }
    report_generation_start();
    int32_t bin_size = 0;
    if (make_binary(conv.tree.get(), conv.data_labels, conv.buffer.get(), conv.size, 0, &bin_size) <
        0) {
        report_error(-1, "make binary data\n");
        return -1;
    }
    if (bin_size != conv.size) {
        report_error(-1, "BUG: binary size mismatch: conv.size=%d, bin_size=%d\n", conv.size,
                     bin_size);
        return -1;
    }
    report_generation_end();
    return 0;
}

void adopt_binary(ConvState& conv, std::unique_ptr<uint8_t[]> bytes, const char* messages,
                  size_t length)
{
    report_generation_start();
    std::fwrite(messages, 1, length, diag_file());
    report_generation_end();
    conv.buffer = std::move(bytes);
}

}  // namespace tolvar
