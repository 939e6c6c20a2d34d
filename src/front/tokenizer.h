// The tokenizer: splits one source line into tokens, one call per token.
#pragma once

#include <cstdint>

#include "isa/code_info.h"
#include "support/memory.h"

namespace tolvar {

struct Token {
    ItemType type = TYPE_NONE;
    Code code = CODE_NONE;           // keywords and operators
    const CodeInfo* info = nullptr;  // keywords: their row
    int32_t number = 0;              // TYPE_INT32: the value
    StrPtr text;                     // texts (quotes included) and words, as written
    int32_t begin = 0;               // its bytes in the line, for messages
    int32_t end = 0;
};

// First position at or after p that holds none of space, tab, CR and LF.
const char* skip_separators(const char* p);

// Reads one token from pos. Returns 1 for a token, 0 at the end of the line
// or at a comment, -1 after printing an error. *next is written in every
// case: after the token, at the end or the comment character, or at the
// start of the offending token.
int get_token(Token& token, const char* pos, const char** next);

// Ends a trace or dump line with the token's value: the number in hex, the
// text of a literal, word or keyword, or nothing for the other kinds.
void print_token_value(const Token& token);

// A copy of the literal that begins at the double quote `quote`, both
// quotes included; *next is set just after the closing quote. Null after
// printing an error.
StrPtr copy_text_literal(const char* quote, const char** next);

// Releases the strings the first count tokens of a line own.
void token_values_free(Token* tokens, int count);

// 1 for a word of the form T + four hexadecimal digits + "_" + four decimal
// digits ("T" in either case), 0 otherwise.
int is_text_label_name(const char* word);

}  // namespace tolvar
