// A text file as its bytes and lines, for the tools that rewrite it: each
// line is found where it stands, so what a tool does not change it gives
// back byte for byte.
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"
#include "text_tools/tool_support.h"

namespace tolvar {

enum TextLineKind {
    TEXT_LINE_COMMENT,   // first byte ";" or "#"
    TEXT_LINE_DATA,      // label, comment, text
    TEXT_LINE_SYNTAX,    // fewer than three fields
    TEXT_LINE_BAD_LABEL  // field 1 is no text label name
};

// Offsets are into the file's bytes.
struct TextLine {
    size_t start;   // the first byte of the line
    size_t length;  // without its LF
    bool newline;   // ended by LF
    int number;     // from 1
    TextLineKind kind;
    size_t label_end;  // the label is start..label_end
    size_t comment_start;
    size_t comment_end;
    size_t text_start;  // the text field, quotes included
    size_t text_end;
};

struct TextTable {
    const char* name = nullptr;
    ByteBuffer bytes;    // the whole file
    size_t skipped = 0;  // a byte order mark before the first line
    Growable<TextLine> lines;
};

// Reads the file at path into table and finds its lines. Returns 0, or -1
// after a message for a file that cannot be read or holds a line the
// compiler refuses to read (too long, a NUL byte). Syntax errors and bad
// labels are left in the lines' kinds for the caller.
int read_text_table(const char* path, TextTable& table);

// The same over bytes already in table.bytes.
int find_text_lines(TextTable& table);

// Reports every line the compiler's text reader refuses; returns how many.
int report_text_line_errors(const TextTable& table);

// Where the text field of a data line stands, from its opening quote.
Place text_field_place(const TextTable& table, const TextLine& line);

inline const char* line_bytes(const TextTable& table, const TextLine& line)
{
    return table.bytes.data.get() + line.start;
}

}  // namespace tolvar
