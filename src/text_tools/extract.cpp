#include "text_tools/extract.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "front/line_reader.h"
#include "support/diag.h"
#include "text_tools/old_labels.h"
#include "text_tools/script_texts.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

constexpr size_t MAX_LINE = LINE_BUFFER_SIZE - 1;

struct FoundText {
    ScriptText where;
    char label[11];
    bool kept;  // the label of an old text-file line
};

struct Extraction {
    const ExtractInput& in;
    ExtractResult& out;
    Growable<FoundText> found;
    Growable<long> named;  // label keys the script names
    OldLabels old;
};

bool take_text(void* context, const ScriptText& text)
{
    auto& x = *static_cast<Extraction*>(context);
    if (text.kind == SCRIPT_LABEL) {
        return growable_push(x.named, text_label_key(x.in.script + text.start, text.length));
    }
    return growable_push(x.found, FoundText{text, {}, false});
}

// Gives every found text its label, old or new.
int label_texts(Extraction& x)
{
    for (size_t i = 0; i < x.named.count; ++i) {
        old_labels_keep(x.old, x.named.items[i]);
    }
    for (size_t i = 0; i < x.found.count; ++i) {
        FoundText& found = x.found.items[i];
        const char* text = x.in.script + found.where.start;
        if (x.in.old_texts != nullptr &&
            old_labels_take(x.old, text, found.where.length, found.label)) {
            found.kept = true;
            ++x.out.kept_texts;
            continue;
        }
        if (!old_labels_new(x.old, found.label)) {
            report_at(DIAG_ERROR, 5014, {x.in.script_name, found.where.line, 0, 0},
                      "no label left: every text id has %d texts", MAX_LABEL_NUMBER);
            return -1;
        }
        ++x.out.new_texts;
    }
    return 0;
}

bool is_word_byte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The end of the line that begins at start (at its LF or the end).
size_t line_end(const ExtractInput& in, size_t start)
{
    const void* lf = std::memchr(in.script + start, '\n', in.script_size - start);
    return lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - in.script)
                         : in.script_size;
}

// The script with each text replaced by its label. A blank keeps a label
// from running into the word or directive before it or the word after it.
int write_script(Extraction& x)
{
    const ExtractInput& in = x.in;
    ByteBuffer& out = x.out.script;
    out.memory_code = 5090;
    bool ok = buffer_reserve(out, in.script_size + in.script_size / 4 + 64);
    size_t copied = 0;
    size_t line_out = 0;  // where the current line begins in out
    int line = 0;
    for (size_t i = 0; i < x.found.count && ok; ++i) {
        const ScriptText& text = x.found.items[i].where;
        if (text.line != line) {
            ok = buffer_append(out, in.script + copied, text.line_start - copied);
            copied = text.line_start;
            line_out = out.size;
            line = text.line;
        }
        char before = text.start > text.line_start ? in.script[text.start - 1] : ' ';
        char after =
            text.start + text.length < in.script_size ? in.script[text.start + text.length] : ' ';
        ok = ok && buffer_append(out, in.script + copied, text.start - copied) &&
             (!(is_word_byte(before) || before == '.' || before == '$') ||
              buffer_append_char(out, ' ')) &&
             buffer_append(out, x.found.items[i].label, 10) &&
             (!is_word_byte(after) || buffer_append_char(out, ' '));
        copied = text.start + text.length;
        bool last_of_line = i + 1 == x.found.count || x.found.items[i + 1].where.line != line;
        size_t rest = last_of_line ? line_end(in, copied) - copied : 0;
        if (ok && last_of_line && out.size - line_out + rest > MAX_LINE) {
            report_at(DIAG_ERROR, 5013, {in.script_name, line, 0, 0},
                      "line too long with the text's label: more than %zu bytes", MAX_LINE);
            return -1;
        }
    }
    ok = ok && buffer_append(out, in.script + copied, in.script_size - copied);
    return ok ? 0 : -1;
}

// "where" as the comment field shows it: no tabs or line ends, and short
// enough to leave the line room for the text.
bool append_where(ByteBuffer& out, const ExtractInput& in, const ScriptText& text, size_t room)
{
    char where[512];
    int length =
        std::snprintf(where, sizeof where, "%s:%d %s", in.script_name, text.line, text.statement);
    if (text.parameter > 0) {
        length += std::snprintf(where + length, sizeof where - static_cast<size_t>(length),
                                ", parameter %d", text.parameter);
    }
    size_t shown = std::min({static_cast<size_t>(length), sizeof where - 1, room});
    for (size_t i = 0; i < shown; ++i) {
        auto c = static_cast<unsigned char>(where[i]);
        where[i] = c < 0x20 || c == 0x7F ? '?' : where[i];
    }
    return buffer_append(out, where, shown);
}

// The text file: the old one as it was, then a line for each new text.
int write_texts(Extraction& x)
{
    const ExtractInput& in = x.in;
    ByteBuffer& out = x.out.texts;
    out.memory_code = 5090;
    bool ok = true;
    const char* line_end_bytes = "\n";
    if (in.old_texts != nullptr) {
        const TextTable& table = *in.old_texts;
        ok = buffer_append(out, table.bytes.data.get(), table.bytes.size);
        const TextLine* last =
            table.lines.count > 0 ? &table.lines.items[table.lines.count - 1] : nullptr;
        if (last != nullptr && last->length > 0 &&
            table.bytes.data[last->start + last->length - 1] == '\r') {
            line_end_bytes = "\r\n";
        }
        if (ok && last != nullptr && !last->newline && x.out.new_texts > 0) {
            ok = buffer_append(out, line_end_bytes);
        }
    } else {
        ok = buffer_append(out, "; Texts of '") && buffer_append(out, in.script_name) &&
             buffer_append(out, "', extracted by tolvar-text.\n; label\twhere\ttext\n");
    }
    for (size_t i = 0; i < x.found.count && ok; ++i) {
        const FoundText& found = x.found.items[i];
        if (found.kept) {
            continue;
        }
        if (found.where.length + 12 > MAX_LINE) {
            report_at(DIAG_ERROR, 5015, {in.script_name, found.where.line, 0, 0},
                      "text too long for a text file line");
            return -1;
        }
        size_t room = MAX_LINE - found.where.length - 12;
        ok = buffer_append(out, found.label, 10) && buffer_append_char(out, '\t') &&
             append_where(out, in, found.where, room) && buffer_append_char(out, '\t') &&
             buffer_append(out, in.script + found.where.start, found.where.length) &&
             buffer_append(out, line_end_bytes);
    }
    return ok ? 0 : -1;
}

// Old texts stay in the file for their translations; the script no longer
// needs them.
void report_unused(Extraction& x)
{
    const TextTable* table = x.in.old_texts;
    for (size_t i = 0; table != nullptr && i < table->lines.count; ++i) {
        const TextLine& line = table->lines.items[i];
        if (line.kind == TEXT_LINE_DATA && !x.old.taken[i]) {
            int end = column_of(line_bytes(*table, line), line.label_end - line.start);
            report_at(DIAG_WARNING, 5050, {table->name, line.number, 1, end},
                      "'%.10s' is used no more by '%s'", line_bytes(*table, line),
                      x.in.script_name);
            ++x.out.unused;
        }
    }
}

}  // namespace

int extract_texts(const ExtractInput& in, ExtractResult& out)
{
    Extraction x{in, out, {}, {}, {}};
    x.found.memory_code = x.named.memory_code = 5090;
    size_t skipped = 0;
    if (scan_script_texts(in.script_name, in.script, in.script_size, {take_text, &x}, &skipped) <
        0) {
        return -1;
    }
    static const TextTable none;
    if (!old_labels_index(x.old, in.old_texts != nullptr ? *in.old_texts : none, in.text_id)) {
        return -1;
    }
    if (label_texts(x) < 0 || write_script(x) < 0 || write_texts(x) < 0) {
        return -1;
    }
    report_unused(x);
    return 0;
}

}  // namespace tolvar
