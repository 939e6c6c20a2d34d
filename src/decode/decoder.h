// Decoding byte-code back into statements: one statement at a given
// offset, with its expressions as trees, and runs of text bytes.
//
// A statement decodes when its bytes form one that a script line gives
// back: its expressions parse back to the same trees. Whether the line
// also stays within the compiler's limits is the layout's question; the
// decoder knows nothing of how a statement is written.
//
// Each statement is decoded once. Its decoded form is kept as a compact
// record (the kind of each expression node, the length of each text), from
// which the statement is built again in one pass over its bytes, without
// any search.
#pragma once

#include <cstdint>

#include "isa/code_info.h"
#include "isa/encoding.h"
#include "support/byte_buffer.h"

namespace tolvar {

// A line holds at most 256 tokens, and every node takes one at least.
inline constexpr int MAX_EXPR_NODES = MAX_LINE_TOKENS;

enum ExprKind : uint8_t {
    EXPR_LITERAL,   // 0, 1 or 8 as one byte
    EXPR_BYTE,      // byte n
    EXPR_INT16,     // int16 n
    EXPR_VARIABLE,  // $var[n], $str[n]
    EXPR_REF,       // int32 label
    EXPR_CALL,      // a function and its arguments
    EXPR_OPERATOR
};

struct ExprNode {
    ExprKind kind;
    Code code;
    const CodeInfo* row;  // variables, calls and operators
    int32_t value;        // the number, the variable's index, or the referenced offset
    int16_t args[4];      // calls and operators, in parameter order
};

struct DecodedParam {
    ItemType kind;   // TYPE_EVAL, TYPE_TEXT, TYPE_BYTE, TYPE_LABEL, TYPE_DATA_OFFSET,
                     // TYPE_VARIABLE, TYPE_ASSIGN
    int32_t value;   // a byte, a jump target, or where a text begins
    int32_t length;  // a text's bytes
    int16_t expr;    // root node of an expression, a variable or a data reference
};

struct DecodedStatement {
    const CodeInfo* row;
    int32_t offset;
    int32_t length;
    int param_count;  // `decl`: the variable, ":=" and the assigned value
    DecodedParam params[4];
    int node_count;
    ExprNode nodes[MAX_EXPR_NODES];
};

// Marks per offset (one more than the file has bytes, for its end).
enum : uint8_t {
    MARK_CODE_ENTRY = 1,     // a jump lands here
    MARK_DATA_ENTRY = 2,     // a data reference names this
    MARK_WANTED = 4,         // a reference would like a label here
    MARK_VISITED = 8,        // a walk decoded an item here (control flow, or a guess)
    MARK_REACHED = 16,       // control flow reaches an item here: it stays code
    MARK_FORCED_RAW = 32,    // the statement here can't be written: its code byte goes raw
    MARK_REACHED_BYTE = 64,  // a byte of an item control flow reaches: no data table
    MARK_LABEL = 128         // the script defines a label here
};

// What the search for statements may still spend: a budget for the whole
// file, so that no input costs more than a few steps per byte. Realistic
// byte-code uses a fraction of it; crafted input that makes the search
// backtrack runs it down, and its statements are then given only a few
// steps each (a statement that can't be found is written raw, which always
// gives its bytes back).
struct SearchBudget {
    int64_t credit = 0;
    int64_t steps_used = 0;  // for the benchmark and the tests
};

// The budget for a file of size bytes.
SearchBudget search_budget_for(int32_t size);

// The byte-code being decoded, and what the script may hold.
struct ByteCode {
    const uint8_t* bytes;
    int32_t size;
    int game;
    bool texts_apart;  // texts go to a text file, which may hold the kana byte in every game
    const uint8_t* marks = nullptr;  // texts end where a label is wanted
    SearchBudget* budget = nullptr;  // null: the search has no budget but its per-statement cap
    const CodeInfo* const* rows = nullptr;  // row_for_code of each code in the game, when given
};

// The row of a code in the byte-code's game.
inline const CodeInfo* row_of(const ByteCode& code, uint8_t c)
{
    return code.rows != nullptr ? code.rows[c] : row_for_code(c, code.game);
}

// Decodes the instruction statement that begins at offset. False when the
// bytes there form none that a script line can give back.
bool decode_statement(const ByteCode& code, int32_t offset, DecodedStatement& st);

// Where the longest run of text bytes from offset ends that a literal can
// hold, every double-byte region closed. With marks, the run also ends at
// the first later offset whose mark has a bit of stop_mask, and no such
// offset may fall inside a region. Past limit bytes the run ends where it
// can (a region it begins with may take it further).
int32_t text_run_end(const ByteCode& code, int32_t offset, const uint8_t* marks, uint8_t stop_mask,
                     int32_t limit = INT32_MAX);

// The offsets a statement refers to (jump targets and data labels), in
// order; returns how many, at most max.
int statement_refs(const DecodedStatement& st, int32_t* refs, int max);

// The decoded form of a statement, appended to forms; false after the
// memory message.
bool keep_form(const DecodedStatement& st, ByteBuffer& forms);

// Builds the statement at offset again from its kept form (at form), in
// one pass over its bytes.
void rebuild_statement(const ByteCode& code, int32_t offset, const uint8_t* form,
                       DecodedStatement& st);

}  // namespace tolvar
