// What the statement parsers share while they read one source line.
#pragma once

#include <cstdint>

#include "isa/inst.h"
#include "parser/token_cursor.h"

namespace tolvar {

struct ConvState;

// One line of the statement parser: the tokens, and where the statement
// goes in its block.
struct LineState : TokenCursor {
    ConvState* conv = nullptr;
    InstPtr* head = nullptr;  // the block's list
    Inst* tail = nullptr;     // last node of the block before this statement
    Inst* current = nullptr;  // the node made for this line's statement
};

// A statement node of the current line, appended to the block; null after
// the memory message.
Inst* append_statement(LineState& ls, ItemType type);

// A text operand: a literal, or the text its label names in the text file
// (null after the message under missing_code).
bool is_text_token(const Token& token);
const char* text_of(const LineState& ls, const Token& token, int missing_code);

// Before a text operand's copy is checked: where its bytes were written
// (the script line, or the text file's line for a text label).
void point_at_text(const LineState& ls, const Token& token, const char* copy);
// After its check failed: for a text label, the script line that uses it.
void say_text_use(const LineState& ls, const Token& token);

// A copy of text into slot; false after the memory message.
bool copy_text(Param& slot, const char* text, int memory_code);

// $var, $str or data: the keywords a variable begins with.
bool is_variable_keyword(const Token& token);

// An instruction statement: the keyword at pos and its parameters.
int parse_instruction(LineState& ls);

// An assignment written without `decl` (the line begins with $var, $str
// or data).
int parse_assignment(LineState& ls);

// Lists the tokens from `from` to the end of the line, one per line.
void dump_tokens(const Token* tokens, int from, int count);

}  // namespace tolvar
