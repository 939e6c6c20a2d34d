// Decoding byte-code back into statements: one statement at a given
// offset, with its expressions as trees, and runs of text bytes.
//
// A statement is decoded only if the script can write it back: its
// expressions parse back to the same trees and the line stays within the
// compiler's limits. Everything else is left to the caller to write raw.
#pragma once

#include <cstdint>

#include "isa/code_info.h"
#include "isa/encoding.h"

namespace tolvar {

// A line holds at most 256 tokens, and every node takes one at least.
inline constexpr int MAX_EXPR_NODES = MAX_LINE_TOKENS;

// The longest statement line written, without indentation and comment, so
// that the whole line stays well within the 4095 bytes a line may hold.
inline constexpr int MAX_STATEMENT_TEXT = 3800;

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
    int param_count;  // `decl`: the variable and the assigned value
    DecodedParam params[4];
    int node_count;
    ExprNode nodes[MAX_EXPR_NODES];
};

// Marks per offset (one more than the file has bytes, for its end).
enum : uint8_t {
    MARK_CODE_ENTRY = 1,  // a jump lands here
    MARK_DATA_ENTRY = 2,  // a data reference names this
    MARK_WANTED = 4,      // a reference would like a label here
    MARK_VISITED = 8,     // control flow reached a statement here
    MARK_BOUNDARY = 16,   // an item begins here
    MARK_LABEL = 32       // the script defines a label here
};

// The byte-code being decoded, and what the script may hold.
struct ByteCode {
    const uint8_t* bytes;
    int32_t size;
    int game;
    bool texts_apart;  // texts go to a text file, which may hold the kana byte in every game
    const uint8_t* marks = nullptr;  // texts end where a label is wanted
};

// Decodes the instruction statement that begins at offset. False when the
// bytes there form none that a script line can give back.
bool decode_statement(const ByteCode& code, int32_t offset, DecodedStatement& st);

// Where the longest run of text bytes from offset ends that a literal can
// hold, every double-byte region closed. With marks, the run also ends at
// the first later offset whose mark has a bit of stop_mask, and no such
// offset may fall inside a region.
int32_t text_run_end(const ByteCode& code, int32_t offset, const uint8_t* marks, uint8_t stop_mask);

// The offsets a statement refers to (jump targets and data labels), in
// order; returns how many, at most max.
int statement_refs(const DecodedStatement& st, int32_t* refs, int max);

}  // namespace tolvar
