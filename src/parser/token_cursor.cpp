#include "parser/token_cursor.h"

namespace tolvar {

namespace {

constexpr int SHOWN_BYTES = 40;

bool starts_statement(const TokenCursor& cur, int index)
{
    return index == 0 || cur.tokens[index - 1].type == TYPE_COLON;
}

}  // namespace

DiagLocation token_location(const TokenCursor& cur, int index)
{
    if (index < cur.count) {
        return diag_span_offsets(cur.tokens[index].begin, cur.tokens[index].end);
    }
    int32_t end = cur.count > 0 ? cur.tokens[cur.count - 1].end : 0;
    return diag_span_offsets(end, end);
}

void point_at_token(const TokenCursor& cur, int index, const char* wanted)
{
    if (!diag_records()) {
        return;
    }
    DiagLocation where = token_location(cur, index);
    diag_at(where);
    const char* in = wanted != nullptr ? " in " : "";
    const char* what = wanted != nullptr ? wanted : "";
    if (index >= cur.count) {
        diag_say("the line ends too early%s%s", in, what);
        return;
    }
    const Token& token = cur.tokens[index];
    int length = token.end - token.begin;
    const char* written = diag_line_text() + token.begin;
    int shown = length < SHOWN_BYTES ? length : SHOWN_BYTES;
    if (token.type == TYPE_LABEL && starts_statement(cur, index) && wanted == nullptr) {
        diag_say("unknown keyword '%.*s'", shown, written);
    } else {
        diag_say("unexpected '%.*s'%s%s%s", shown, written, length > shown ? "..." : "", in, what);
    }
}

}  // namespace tolvar
