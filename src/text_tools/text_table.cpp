#include "text_tools/text_table.h"

#include <cstring>

#include "front/line_reader.h"
#include "front/text_file.h"
#include "front/tokenizer.h"
#include "support/diag.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

// Fields of a data line as offsets into the file.
void place_fields(TextLine& line, char* copy, bool line_end)
{
    char* fields[TEXT_FIELD_COUNT];
    int count = split_text_fields(copy, line_end, fields);
    if (count < TEXT_FIELD_COUNT) {
        line.kind = TEXT_LINE_SYNTAX;
        return;
    }
    auto at = [&](const char* p) { return line.start + static_cast<size_t>(p - copy); };
    line.label_end = at(fields[0]) + std::strlen(fields[0]);
    line.comment_start = at(fields[1]);
    line.comment_end = line.comment_start + std::strlen(fields[1]);
    line.text_start = at(fields[2]);
    line.text_end = line.text_start + std::strlen(fields[2]);
    line.kind = is_text_label_name(fields[0]) != 0 ? TEXT_LINE_DATA : TEXT_LINE_BAD_LABEL;
}

}  // namespace

int find_text_lines(TextTable& table)
{
    table.lines.memory_code = 5090;
    table.lines.count = 0;
    FilePtr stream = open_bytes(table.bytes.data.get(), table.bytes.size);
    std::unique_ptr<LineReader> reader(try_new_unfilled<LineReader>());
    if (!stream || !reader) {
        report_error(5090, "memory exhausted! (size=%zu)\n", sizeof(LineReader));
        return -1;
    }
    char copy[LINE_BUFFER_SIZE];
    line_reader_open(*reader, stream.get());
    table.skipped = reader->pos;
    size_t start = table.skipped;
    for (int number = 1;; ++number) {
        Place where{table.name, number, 0, 0};
        switch (read_line(*reader, copy)) {
        case LINE_END_OF_FILE:
            return 0;
        case LINE_READ_ERROR:
            report_error(5002, "can't read '%s'\n", table.name);
            return -1;
        case LINE_TOO_LONG:
            report_at(DIAG_ERROR, 5024, where, "line too long: more than %d bytes",
                      LINE_BUFFER_SIZE - 1);
            return -1;
        case LINE_HAS_NUL:
            report_at(DIAG_ERROR, 5025, where, "NUL byte in line");
            return -1;
        case LINE_OK:
            break;
        }
        TextLine line{};
        line.start = start;
        line.length = std::strlen(copy);
        line.newline = reader->ended_by_newline;
        line.number = number;
        line.kind = TEXT_LINE_COMMENT;
        if (copy[0] != ';' && copy[0] != '#') {
            place_fields(line, copy, line.newline);
        }
        start += line.length + (line.newline ? 1 : 0);
        if (!growable_push(table.lines, line)) {
            return -1;
        }
    }
}

int read_text_table(const char* path, TextTable& table)
{
    table.name = path;
    if (read_input(path, table.bytes) < 0) {
        return -1;
    }
    return find_text_lines(table);
}

Place text_field_place(const TextTable& table, const TextLine& line)
{
    const char* bytes = line_bytes(table, line);
    return {table.name, line.number, column_of(bytes, line.text_start - line.start),
            column_of(bytes, line.text_end - line.start)};
}

int report_text_line_errors(const TextTable& table)
{
    int errors = 0;
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        Place where{table.name, line.number, 1, 0};
        if (line.kind == TEXT_LINE_SYNTAX) {
            report_at(DIAG_ERROR, 5026, where, "syntax error: label, tab, comment, tab, text");
            ++errors;
        } else if (line.kind == TEXT_LINE_BAD_LABEL) {
            int length = static_cast<int>(line.label_end - line.start);
            where.end_column = column_of(line_bytes(table, line), line.label_end - line.start);
            report_at(DIAG_ERROR, 5027, where, "illegal label name: '%.*s'", length,
                      line_bytes(table, line));
            ++errors;
        }
    }
    return errors;
}

}  // namespace tolvar
