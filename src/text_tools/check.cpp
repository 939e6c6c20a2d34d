#include "text_tools/check.h"

#include <memory>

#include "support/diag.h"
#include "text_tools/script_texts.h"
#include "text_tools/text_index.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

struct Checking {
    const TextTable& table;
    const Growable<LabelRef>& index;
    std::unique_ptr<bool[]> used;  // by line
    const char* script_name;
    const char* script;
    int errors = 0;
};

bool check_use(void* context, const ScriptText& text)
{
    auto& c = *static_cast<Checking*>(context);
    if (text.kind != SCRIPT_LABEL) {
        return true;
    }
    const char* label = c.script + text.start;
    const LabelRef* found =
        c.index.count > 0 ? find_label(c.index, text_label_key(label, 10)) : nullptr;
    if (found != nullptr) {
        for (const LabelRef* end = c.index.items.get() + c.index.count;
             found != end && found->key == text_label_key(label, 10); ++found) {
            c.used[found->index] = true;
        }
        return true;
    }
    const char* line = c.script + text.line_start;
    int column = column_of(line, text.start - text.line_start);
    report_at(DIAG_ERROR, 5020, {c.script_name, text.line, column, column + 10},
              "label '%.10s' is not in '%s'", label, c.table.name);
    ++c.errors;
    return true;
}

// The text of one data line by the compiler's rules.
int check_text_field(const TextTable& table, const TextLine& line, ByteBuffer& stored)
{
    const char* text = table.bytes.data.get() + line.text_start;
    size_t length = line.text_end - line.text_start;
    Place where = text_field_place(table, line);
    LiteralVerdict verdict;
    if (!judge_literal(text, length, where, stored, verdict)) {
        return -1;
    }
    if (!verdict.decodes) {
        report_caught(verdict.error, where);
        return 1;
    }
    if (!verdict.balanced) {
        report_at(DIAG_WARNING, 5031, where, "%s",
                  verdict.start_region != 0
                      ? "'}' without '{': only a text line after one that opens a region can use it"
                      : "'{' not closed: only a text line before one that closes it can use it");
    }
    if (verdict.kana) {
        report_at(DIAG_WARNING, 716, where, "hankaku kana used");
    }
    return 0;
}

}  // namespace

int check_texts(const TextTable& table, const char* const* scripts, int count)
{
    int errors = report_text_line_errors(table);
    Growable<LabelRef> index;
    if (!index_text_labels(table, index)) {
        return -1;
    }
    errors += report_duplicate_labels(table, index);
    ByteBuffer stored;
    stored.memory_code = 5090;
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        int result = line.kind == TEXT_LINE_DATA ? check_text_field(table, line, stored) : 0;
        if (result < 0) {
            return -1;
        }
        errors += result;
    }
    Checking c{table, index, try_new_array<bool>(table.lines.count + 1), nullptr, nullptr, 0};
    if (!c.used) {
        report_memory(5090, table.lines.count + 1);
        return -1;
    }
    for (int s = 0; s < count; ++s) {
        ByteBuffer script;
        size_t skipped = 0;
        c.script_name = scripts[s];
        if (read_input(scripts[s], script) < 0) {
            return -1;
        }
        c.script = script.data.get();
        if (scan_script_texts(scripts[s], script.data.get(), script.size, {check_use, &c},
                              &skipped) < 0) {
            return -1;
        }
    }
    for (size_t i = 0; i < table.lines.count && count > 0; ++i) {
        const TextLine& line = table.lines.items[i];
        if (line.kind == TEXT_LINE_DATA && !c.used[i]) {
            report_at(DIAG_WARNING, 5021, {table.name, line.number, 1, 11},
                      "label '%.10s' is used by no script", line_bytes(table, line));
        }
    }
    return errors + c.errors;
}

}  // namespace tolvar
