// Where both parsers stand in the tokens of one source line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "front/tokenizer.h"
#include "isa/inst.h"
#include "support/diag.h"

namespace tolvar {

struct TokenCursor {
    const Token* tokens = nullptr;
    int count = 0;
    int pos = 0;         // next unread token
    int64_t offset = 0;  // running byte count; wide so a huge script can't wrap it
    int32_t line = 0;    // for messages and for the nodes made
    // Depths of the expression parser's traces.
    int expr_op_depth = 0;
    int op_hier_depth = 0;
    int expr_depth = 0;
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

// The codes of a parameter list's messages: the list ends where a comma
// and a parameter must follow, a comma is missing, the list ends before
// the first parameter. Statements quote the keyword, calls do not.
struct ParamListCodes {
    int ends_after_comma;
    int no_comma;
    int ends;
    bool quoted;
};

// Where the token at index stands in the current line; past the last
// token, the end of the line.
DiagLocation token_location(const TokenCursor& cur, int index);

// Points the next message at the token at index and says in plain words
// what is wrong there: an unknown keyword, an unexpected token, or a line
// that ends too early; `wanted` (or null) says what should have stood.
void point_at_token(const TokenCursor& cur, int index, const char* wanted);

// "line N: syntax error: 'name' parameter n" (name unquoted for calls).
inline void param_syntax_error(const TokenCursor& cur, int code, bool quoted, const char* name,
                               int param_no)
{
    if (diag_records()) {
        char wanted[96];
        std::snprintf(wanted, sizeof wanted, "parameter %d of '%s'", param_no, name);
        point_at_token(cur, cur.pos, wanted);
    }
    report_error(code,
                 quoted ? "line %d: syntax error: '%s' parameter %d\n"
                        : "line %d: syntax error: %s parameter %d\n",
                 cur.line, name, param_no);
}

// The parameters of row, separated by commas, into node's slots: each is
// given its kind from the row and read by read_one(cur, node, i).
template <class Cursor, class Reader>
int read_param_list(Cursor& cur, Inst* node, const CodeInfo* row, const ParamListCodes& codes,
                    Reader read_one)
{
    for (int i = 0; i < row->param_count; ++i) {
        node->params[i].type = row->params[i].type;
        if (i > 0) {
            if (!tokens_left(cur)) {
                param_syntax_error(cur, codes.ends_after_comma, codes.quoted, row->text, i + 1);
                return -1;
            }
            if (cur.tokens[cur.pos].type != TYPE_COMMA) {
                param_syntax_error(cur, codes.no_comma, codes.quoted, row->text, i);
                return -1;
            }
            ++cur.pos;
        }
        if (!tokens_left(cur)) {
            param_syntax_error(cur, codes.ends, codes.quoted, row->text, i + 1);
            return -1;
        }
        if (read_one(cur, node, i) < 0) {
            return -1;
        }
    }
    return 0;
}

// "line N: syntax error" under code, for the cursor's line.
inline void syntax_error(const TokenCursor& cur, int code, const char* wanted = nullptr)
{
    point_at_token(cur, cur.pos, wanted);
    report_error(code, "line %d: syntax error\n", cur.line);
}

}  // namespace tolvar
