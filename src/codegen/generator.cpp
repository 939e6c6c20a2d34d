#include "codegen/generator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "codegen/emit_support.h"
#include "codegen/output.h"
#include "context/conv_state.h"

namespace tolvar {

namespace {

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
int emit_eval_param(const Inst* node, int i, LabelLookup& labels, uint8_t* buffer, int32_t size,
                    int32_t* position)
{
    const Inst* eval = node->params[i].node.get();
    if (eval == nullptr || eval->type != TYPE_EVAL || eval->code != CODE_EVAL) {
        report_error(2784, "BUG: line %d: param type mismatch: offset=%08X, inst='%s', param %d\n",
                     node->line, hex_offset(*position), inst_name(node), i);
        return -1;
    }
    LiveFrame frame{{UNWIND_LINE_EXPR, 2789, node->line}};
    if (emit_expr_under(frame, eval->params[0].node.get(), labels, buffer, size, position) < 0) {
        return -1;
    }
    if (add_byte(buffer, size, *position, eval->code, position) < 0) {
        report_error(2793, "line %d: can't add byte\n", node->line);
        return -1;
    }
    return 0;
}

int emit_param(const Inst* node, int i, LabelLookup& labels, uint8_t* buffer, int32_t size,
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
        int32_t offset = label_offset(labels, node->params[i].text.get(), *position, node->line);
        if (offset < 0) {
            report_missing_label(node->line, slot_text(node->params[i]));
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
    case TYPE_VARIABLE: {
        LiveFrame frame{kind == TYPE_DATA_OFFSET ? UnwindFrame{UNWIND_LINE_STR32, 2808, node->line}
                                                 : UnwindFrame{UNWIND_LINE_EXPR, 2813, node->line}};
        return emit_expr_under(frame, node->params[i].node.get(), labels, buffer, size, position);
    }
    default:
        report_error(2817,
                     "BUG: line %d: illegal parameter type: offset=%08X, inst='%s', "
                     "params[%d].type=%d\n",
                     node->line, hex_offset(*position), inst_name(node), i, kind);
        return -1;
    }
}

int emit_statement(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
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
        if (diag_records()) {
            return 0;  // the parser's warning of the same body says it once
        }
        report_warning(2826, "line %d: '%s' have no sub block: offset=%08X\n", node->line,
                       inst_name(node), hex_offset(*position));
        return 0;
    }
    LiveFrame frame{
        {UNWIND_BODY, 2829, node->line, *position, inst_name(node), true, labels.list_level + 1},
        labels.frame};
    labels.frame = &frame;
    int result = emit_list(node->sub.get(), labels, buffer, size, *position, position);
    labels.frame = frame.outer;
    if (result < 0) {
        report_unwind(frame.frame);
    }
    return result;
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

int emit_node(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
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

// One node of a list, at position.
int emit_list_node(const Inst* node, LabelLookup& labels, uint8_t* buffer, int32_t size,
                   int32_t* position)
{
    if (node->offset != *position) {
        report_error(2696, "BUG: line %d: offset mismatch: inst->offset=%08X, offset=%08X\n",
                     node->line, hex_offset(node->offset), hex_offset(*position));
        return -1;
    }
    if (verbose_level >= 1) {
        list_node(node);
    }
    return emit_node(node, labels, buffer, size, position);
}

const char* const LIST_TRACE = "make_binary";
const char* const EXPR_TRACE = "make_binary_expr";

}  // namespace

int emit_list(const Inst* list, LabelLookup& labels, uint8_t* buffer, int32_t size,
              int32_t position, int32_t* end_position)
{
    DepthTrace trace(LIST_TRACE, labels.list_level);
    if (list == nullptr) {
        report_error(2690, "BUG: can't make binary: inst is NULL\n");
        return -1;
    }
    for (const Inst* node = list; node != nullptr; node = node->next) {
        if (emit_list_node(node, labels, buffer, size, &position) < 0) {
            return -1;
        }
    }
    *end_position = position;
    return 0;
}

int emit_expr_under(LiveFrame& frame, const Inst* node, LabelLookup& labels, uint8_t* buffer,
                    int32_t size, int32_t* position)
{
    frame.frame.is_list = false;
    frame.frame.level = labels.expr_level + 1;
    frame.outer = labels.frame;
    labels.frame = &frame;
    int result = emit_expr(node, labels, buffer, size, *position, position);
    labels.frame = frame.outer;
    if (result < 0) {
        report_unwind(frame.frame);
    }
    return result;
}

int make_binary(const Inst* list, const DataLabelTable& data_labels, uint8_t* buffer, int32_t size,
                int32_t position, int32_t* end_position)
{
    LabelLookup labels{data_labels};
    return emit_list(list, labels, buffer, size, position, end_position);
}

void report_missing_label(int32_t line, const char* name)
{
    diag_say("label '%s' is not defined", name);
    if (line < 0) {
        report_error(2888, "can't find label: %s\n", name);
    } else {
        report_error(2766, "line %d: can't find label: %s\n", line, name);
    }
}

void report_unwind(const UnwindFrame& frame)
{
    switch (frame.kind) {
    case UNWIND_NONE:
        break;
    case UNWIND_BODY:
        report_error(frame.code, "line %d: make binary data: offset=%08X, '%s'\n", frame.line,
                     hex_offset(frame.start), frame.name);
        break;
    case UNWIND_LINE_EXPR:
        report_error(frame.code, "line %d: can't add expr\n", frame.line);
        break;
    case UNWIND_LINE_STR32:
        report_error(frame.code, "line %d: can't add str32\n", frame.line);
        break;
    case UNWIND_EXPR:
        report_error(frame.code, "can't add expr\n");
        break;
    }
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

// The frame's copy in d.frames, made with those of its callers if need be;
// -2 when memory runs out.
int32_t save_frame(Deferrals& d, const LiveFrame* frame)
{
    if (frame == nullptr || frame->saved >= 0) {
        return frame == nullptr ? -1 : frame->saved;
    }
    int32_t outer = save_frame(d, frame->outer);
    if (outer < -1 || !make_room(d.frames, d.frame_count, d.frames_reserved, 1)) {
        return -2;
    }
    UnwindFrame copy = frame->frame;
    copy.outer = outer;
    d.frames[d.frame_count] = copy;
    frame->saved = static_cast<int32_t>(d.frame_count++);
    return frame->saved;
}

void defer_label(Deferrals& d, const LiveFrame* frame, const char* name, int32_t position,
                 int32_t line)
{
    size_t length = std::strlen(name) + 1;
    int32_t saved = save_frame(d, frame);
    if (saved < -1 || !make_room(d.items, d.count, d.reserved, 1) ||
        !make_room(d.names, d.names_size, d.names_reserved, length)) {
        d.overflowed = true;
        return;
    }
    std::memcpy(d.names.get() + d.names_size, name, length);
    size_t mark = d.held != nullptr ? d.held->size : 0;
    d.items[d.count++] = {position, d.names_size, mark, line, saved};
    d.names_size += length;
}

}  // namespace

int32_t label_offset(LabelLookup& labels, const char* name, int32_t position, int32_t line)
{
    int32_t offset = get_data_label(labels.table, name);
    if (offset >= 0 || labels.deferrals == nullptr || name == nullptr || name[0] == '\0') {
        return offset;
    }
    defer_label(*labels.deferrals, labels.frame, name, position, line);
    return 0;
}

namespace {

// Room in gen.bytes up to end; those before gen.position are written.
bool make_output_room(StreamedGeneration& gen, int64_t end)
{
    size_t wanted = static_cast<size_t>(end);
    if (gen.bytes && wanted <= gen.reserved) {
        return true;
    }
    wanted = std::max({wanted, gen.reserved * 2, gen.first_reserve});
    std::unique_ptr<uint8_t[]> grown = try_new_uninitialized<uint8_t>(wanted);
    if (!grown) {
        gen.memory_size = wanted;
        return false;
    }
    std::copy(gen.bytes.get(), gen.bytes.get() + gen.position, grown.get());
    gen.bytes = std::move(grown);
    gen.reserved = wanted;
    return true;
}

// The first pending reference whose label is still not defined, after
// patching those before it; null when there is none. After a failed
// statement the bytes are not used, and those of its references never
// counted as written.
const PendingLabel* patch_pending(StreamedGeneration& gen)
{
    const Deferrals& d = gen.deferrals;
    for (size_t i = 0; i < d.count; ++i) {
        const PendingLabel& item = d.items[i];
        int32_t offset = get_data_label(*gen.labels, d.names.get() + item.name);
        if (offset < 0) {
            return &item;
        }
        int32_t end = 0;
        if (!gen.failed) {
            add_int32(gen.bytes.get(), gen.position, item.position, offset, &end);
        }
    }
    return nullptr;
}

// What the generation printed up to the reference, then what it would
// have printed on finding the label missing there.
void report_pending_failure(const StreamedGeneration& gen, const PendingLabel& item)
{
    const Deferrals& d = gen.deferrals;
    print_held(gen.held, item.mark);
    // A reference inside an expression is reported without a line; its
    // statement's line is the place for the record forms.
    for (int32_t i = item.frame; item.line < 0 && i >= 0; i = d.frames[i].outer) {
        if (d.frames[i].line > 0) {
            diag_at(DiagLocation{diag_subject(), d.frames[i].line, 0, 0});
            break;
        }
    }
    report_missing_label(item.line, d.names.get() + item.name);
    for (int32_t i = item.frame; i >= 0; i = d.frames[i].outer) {
        const UnwindFrame& frame = d.frames[i];
        if (verbose_level >= 2) {
            trace_depth(frame.is_list ? LIST_TRACE : EXPR_TRACE, frame.level, false);
        }
        report_unwind(frame);
    }
}

}  // namespace

void stream_begin(StreamedGeneration& gen, const DataLabelTable& labels, size_t size_hint)
{
    gen.labels = &labels;
    gen.first_reserve = std::max<size_t>(size_hint + 1, 4096);
    gen.deferrals.held = &gen.held;
    gen.top.frame = UnwindFrame{UNWIND_NONE, 0, 0, 0, nullptr, true, 1};
    DiagHold* outer = diag_hold();
    set_diag_hold(&gen.held);
    if (verbose_level >= 2) {
        trace_depth(LIST_TRACE, 1, true);
    }
    set_diag_hold(outer);
}

void stream_statement(StreamedGeneration& gen, const Inst* statement, int64_t end)
{
    if (gen.failed || gen.memory_size != 0 || !make_output_room(gen, end)) {
        return;
    }
    DiagHold* outer = diag_hold();
    set_diag_hold(&gen.held);
    LabelLookup labels{*gen.labels, &gen.deferrals, &gen.top, 1, 0};
    int32_t position = gen.position;
    if (emit_list_node(statement, labels, gen.bytes.get(), static_cast<int32_t>(end), &position) <
        0) {
        gen.failed = true;
    } else {
        gen.position = position;
    }
    set_diag_hold(outer);
}

int stream_finish(StreamedGeneration& gen, ConvState& conv)
{
    if (gen.memory_size == 0 && (gen.held.lost || gen.deferrals.overflowed)) {
        gen.memory_size = gen.reserved;
    }
    if (gen.memory_size != 0) {
        memory_error(389, gen.memory_size);
        return -1;
    }
    report_info("make binary data\n");
    const PendingLabel* missing = patch_pending(gen);
    if (missing != nullptr) {
        report_pending_failure(gen, *missing);
        report_error(-1, "make binary data\n");
        return -1;
    }
    print_held(gen.held, gen.held.size);
    if (verbose_level >= 2) {
        trace_depth(LIST_TRACE, 1, false);
    }
    if (gen.failed) {
        report_error(-1, "make binary data\n");
        return -1;
    }
    if (gen.position != conv.size) {
        report_error(-1, "BUG: binary size mismatch: conv.size=%d, bin_size=%d\n", conv.size,
                     gen.position);
        return -1;
    }
    report_info("make binary data finished\n");
    conv.buffer = std::move(gen.bytes);
    return 0;
}

void stream_end(StreamedGeneration& gen)
{
    if (diag_hold() == &gen.held) {
        set_diag_hold(nullptr);
    }
}

}  // namespace tolvar
