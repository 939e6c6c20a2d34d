// What the translator's tools share: whole files in memory, places in
// them, reports at a file's line and column, and the compiler's verdict
// on a quoted text.
#pragma once

#include <cstddef>
#include <cstdio>

#include "support/byte_buffer.h"
#include "support/diag.h"
#include "support/memory.h"

namespace tolvar {

// The whole file at path into out; 0, or -1 after the message.
int read_input(const char* path, ByteBuffer& out);

// A read-only stream over bytes (the line reader reads streams).
FilePtr open_bytes(const char* bytes, size_t size);

// The column of byte offset within line: characters from 1, a double-byte
// character counting as one.
int column_of(const char* line, size_t offset);

// A report about a place in a file: a record in the gnu and json forms
// (or for an installed sink), else a classic line naming file and line.
struct Place {
    const char* file = nullptr;
    int line = 0;
    int column = 0;
    int end_column = 0;
};

void report_at(DiagKind kind, int code, const Place& where, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// The same with one note about another place (the first of two lines).
void report_at_with_note(DiagKind kind, int code, const Place& where, const Place& note_where,
                         const char* note, const char* fmt, ...)
    __attribute__((format(printf, 6, 7)));

// The first error and any warning the library's own checks report while it
// lives, kept instead of printed (with the place and plain words the record
// forms give them).
struct CaughtReport {
    int code = 0;  // 0: no error
    Place where;
    char message[256] = "";
    bool warned = false;
};

class DiagCatch {
public:
    explicit DiagCatch(CaughtReport& caught);
    ~DiagCatch();
    DiagCatch(const DiagCatch&) = delete;
    DiagCatch& operator=(const DiagCatch&) = delete;

private:
    CaughtReport& caught_;
    DiagSink old_sink_;
    void* old_context_ = nullptr;
};

// Reports a caught error at its own place, or at fallback where it has none.
void report_caught(const CaughtReport& caught, const Place& fallback);

// What the compiler's decoding makes of a quoted text. A text that opens a
// brace region it does not close, or closes one it did not open, is still
// taken by the compiler on text lines that carry the region on.
struct LiteralVerdict {
    bool decodes = false;   // from outside a region, or failing that, inside one
    bool balanced = false;  // from outside a region back to outside
    int start_region = 0;   // the state it decodes from
    int end_region = 0;     // and the state it leaves
    bool kana = false;      // the hankaku kana byte was used
    CaughtReport error;     // the first error of the decoding from outside
};

// Decodes the literal (length bytes, quotes included) as the compiler does,
// without printing; quote is where it stands, for the place of an error.
// The stored bytes are left in stored (NUL-terminated, size without the
// NUL) when it decodes. False only when memory is short.
bool judge_literal(const char* literal, size_t length, const Place& quote, ByteBuffer& stored,
                   LiteralVerdict& verdict);

// Appends the literal of stored bytes: quotes, \t \n \" \\ escapes, every
// other byte as it is.
bool append_literal(ByteBuffer& out, const char* stored, size_t size);

// The label T<id>_<number> as a text label name.
void format_text_label(char out[11], int id, int number);

// A text label name as one number (id and running number; letter case
// does not count), or -1 for a word that is no text label name.
long text_label_key(const char* name, size_t length);

}  // namespace tolvar
