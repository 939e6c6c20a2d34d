// Writing decoded statements as script text, or only measuring them: the
// layout measures whether a statement fits a line, the emitter writes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/decoder.h"
#include "support/byte_buffer.h"

namespace tolvar {

// The longest quoted text a text-file line is given, well within the 4095
// bytes the line may hold with its label and comment.
inline constexpr int MAX_TEXT_FILE_LITERAL = 3900;

// The longest statement line written, without indentation and comment, so
// that the whole line stays well within the 4095 bytes a line may hold.
inline constexpr int MAX_STATEMENT_TEXT = 3800;

// Where the labels of texts written apart come from, when not from the
// running numbers: asked once per text, in script order, with the quoted
// text as the text file holds it (tolvar-decompile --keep-labels).
struct TextLabelSource {
    bool (*label_for)(void* context, const char* literal, size_t length, char label[11]);
    void* context;
};

struct ScriptWriter {
    const ByteCode* code = nullptr;
    ByteBuffer* script = nullptr;             // null: the writer only measures
    ByteBuffer* texts = nullptr;              // the text file, when texts go apart
    int text_id = 0;                          // the label's four hex digits
    int text_number = 0;                      // the last label's running number
    const TextLabelSource* labels = nullptr;  // null: running numbers only
    size_t line_length = 0;                   // of the line being written
    int line_tokens = 0;
    bool too_long = false;  // a text too long for the text file
    bool failed = false;    // out of memory (the message is printed)
};

// Appends to the line being written; tokens counts the script tokens.
void put(ScriptWriter& w, const char* text, size_t length, int tokens);
void put(ScriptWriter& w, const char* text, int tokens);
void put_label(ScriptWriter& w, int32_t offset);

// Numbers as text, without printf: the decompiler writes millions of them.
// Each returns the length written to out.
int format_decimal(char* out, uint32_t value);
int format_hex(char* out, uint32_t value, int digits);
void put_decimal(ScriptWriter& w, uint32_t value, int tokens);
void put_hex(ScriptWriter& w, uint32_t value, int digits, int tokens);

// A text as a quoted literal, or, when texts go apart, as the label of a
// new text-file line whose comment says where the text stands. A text line
// may begin inside a double-byte region that an earlier line opened
// (region_open): the compiler carries the region from text line to text
// line.
void put_text(ScriptWriter& w, int32_t offset, int32_t length, const char* where,
              bool region_open = false);

// The statement's line (without indentation and line end).
void put_statement(ScriptWriter& w, const DecodedStatement& st);

// True when the statement's line stays within the tokens and bytes a line
// may hold.
bool statement_fits_line(const ByteCode& code, const DecodedStatement& st);

// The bytes of a quoted literal for the stored text (escapes, Japanese
// regions as they stand), which may begin inside a region.
size_t literal_length(const ByteCode& code, int32_t offset, int32_t length, bool region_open);

}  // namespace tolvar
