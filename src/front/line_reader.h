// Physical lines of a script or a text file, read through one block buffer.
//
// Both readers refuse a line longer than the line buffer holds instead of
// cutting it into pieces that would parse as lines of their own.
#pragma once

#include <cstddef>
#include <cstdio>

#include "isa/encoding.h"

namespace tolvar {

// A line buffer holds the longest line and the NUL.
inline constexpr int LINE_BUFFER_SIZE = MAX_LINE_LENGTH + 1;

enum LineRead {
    LINE_OK,
    LINE_END_OF_FILE,
    LINE_READ_ERROR,
    LINE_TOO_LONG,
    LINE_HAS_NUL  // the line was read whole, but holds a NUL byte
};

struct LineReader {
    FILE* stream = nullptr;
    size_t pos = 0;  // next unread byte of block
    size_t end = 0;  // bytes in block
    bool at_end = false;
    bool failed = false;
    bool ended_by_newline = false;  // of the last line read
    unsigned char block[16384];
};

// Starts reading stream. A UTF-8 byte order mark at the very start is
// skipped with a warning: editors add it, and it is invisible in messages.
void line_reader_open(LineReader& reader, FILE* stream);

// Reads the next line into buffer (LINE_BUFFER_SIZE bytes), without its LF.
// CRs past the last byte the buffer can hold don't count against it.
LineRead read_line(LineReader& reader, char* buffer);

}  // namespace tolvar
