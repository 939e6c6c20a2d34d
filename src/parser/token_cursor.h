// Where both parsers stand in the tokens of one source line.
#pragma once

#include <cstdint>

#include "front/tokenizer.h"
#include "support/diag.h"

namespace tolvar {

struct TokenCursor {
    const Token* tokens = nullptr;
    int count = 0;
    int pos = 0;         // next unread token
    int64_t offset = 0;  // running byte count; wide so a huge script can't wrap it
    int32_t line = 0;    // for messages and for the nodes made
};

// True when the token `ahead` places past pos exists and is of kind type.
inline bool token_at(const TokenCursor& cur, ItemType type, int ahead = 0)
{
    return cur.pos + ahead < cur.count && cur.tokens[cur.pos + ahead].type == type;
}

inline bool tokens_left(const TokenCursor& cur)
{
    return cur.pos < cur.count;
}

enum SignedNumber {
    SIGNED_OK,
    SIGNED_MINUS_ALONE,  // "-" that ends the line
    SIGNED_NOT_NUMBER,
    SIGNED_OVERFLOW
};

// A number, or "-" and a number, that fits in width bits (8 or 16); the
// negative ones are stored in two's complement of that width. On success
// the cursor moves past it.
SignedNumber read_signed_number(TokenCursor& cur, int width, int32_t* value);

// "line N: syntax error" under code, for the cursor's line.
inline void syntax_error(const TokenCursor& cur, int code)
{
    report_error(code, "line %d: syntax error\n", cur.line);
}

}  // namespace tolvar
