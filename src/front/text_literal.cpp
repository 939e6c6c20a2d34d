#include "front/text_literal.h"

#include <cstring>

#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

TextByte classify_text_byte(const char* at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(at);
    unsigned char c = p[0];
    if (c == '\\') {
        switch (p[1]) {
        case '\0':
            return {TEXT_ESCAPE_AT_END, 1, 0};
        case 't':
            return {TEXT_ESCAPE, 2, 0x09};
        case 'n':
            return {TEXT_ESCAPE, 2, 0x0A};
        case '"':
        case '\\':
            return {TEXT_ESCAPE, 2, p[1]};
        default:
            return {TEXT_BAD_ESCAPE, 2, p[1]};
        }
    }
    if (is_plain_byte(c)) {
        return {TEXT_PLAIN, 1, c};
    }
    if (c == '{' || c == '}') {
        return {c == '{' ? TEXT_BRACE_OPEN : TEXT_BRACE_CLOSE, 1, c};
    }
    if (is_lead_byte(c)) {
        unsigned char trail = p[1];
        return {is_trail_byte(trail) ? TEXT_DOUBLE_BYTE : TEXT_BAD_DOUBLE_BYTE, 2, trail};
    }
    if (c == HANKAKU_KANA) {
        return {TEXT_KANA, 1, c};
    }
    return {TEXT_OTHER, 1, c};
}

namespace {

constexpr const char* TEXT_RULE =
    "a text holds printable ASCII, the escapes \\t \\n \\\" \\\\, and Shift-JIS characters "
    "inside { }";

// Where the bytes of a literal stand: in the line being read (the scan),
// or in a copy whose origin was given (the decoding).
using Locate = DiagLocation (*)(const char* from, const char* to);

void point(Locate locate, const char* at, int length)
{
    diag_at(locate(at, at + length));
}

// Plain bytes other than the quote and the backslash, by value: most of
// any text, taken without classifying each one.
struct ByteSet {
    bool has[256];
};

constexpr ByteSet ordinary_bytes = [] {
    ByteSet set{};
    for (int c = 0; c < 256; ++c) {
        auto byte = static_cast<unsigned char>(c);
        set.has[c] = is_plain_byte(byte) && byte != '"' && byte != '\\';
    }
    return set;
}();

bool is_ordinary_byte(char c)
{
    return ordinary_bytes.has[static_cast<unsigned char>(c)];
}

// What the decoding does with a byte that is neither an escape nor plain.
int decode_special(const TextByte& b, unsigned char c, int* brace_open, const char* at)
{
    if (allow_ja_text == 0) {
        point(diag_text_span, at, 1);
        diag_say("byte %02X is not allowed: with --no-ja-text a text holds printable ASCII and "
                 "the escapes only", c);
        report_error(693, "illegal text: %02X\n", c);
        return -1;
    }
    if (*brace_open == 0) {
        if (b.kind != TEXT_BRACE_OPEN) {
            point(diag_text_span, at, 1);
            diag_say("byte %02X is not allowed here: %s", c, TEXT_RULE);
            report_error(700, "illegal text: %02X\n", c);
            return -1;
        }
        *brace_open = 1;
        return 1;
    }
    switch (b.kind) {
    case TEXT_BRACE_CLOSE:
        *brace_open = 0;
        return 1;
    case TEXT_DOUBLE_BYTE:
        return 2;
    case TEXT_BAD_DOUBLE_BYTE:
        point(diag_text_span, at, 2);
        diag_say("%02X %02X is no Shift-JIS character: a trail byte is 40 to FC, not 7F", c,
                 b.value);
        report_error(712, "illegal multibyte text: %02X%02X\n", c, b.value);
        return -1;
    case TEXT_KANA:
        point(diag_text_span, at, 1);
        diag_say("the half-width kana byte %02X is used", c);
        report_warning(716, "hankaku kana used: '%c' %02X\n", c, c);
        return 1;
    default:
        point(diag_text_span, at, 1);
        diag_say("byte %02X is not allowed here: %s", c, TEXT_RULE);
        report_error(719, "illegal text: %02X\n", c);
        return -1;
    }
}

// The same for the scan, which keeps no region state.
int scan_special(const TextByte& b, unsigned char c, int* /*brace_open*/, const char* at)
{
    if (allow_ja_text == 0) {
        point(diag_span, at, 1);
        diag_say("byte %02X is not allowed: with --no-ja-text a text holds printable ASCII and "
                 "the escapes only", c);
        report_error(2420, "illegal text: %02X\n", c);
        return -1;
    }
    switch (b.kind) {
    case TEXT_BRACE_OPEN:
    case TEXT_BRACE_CLOSE:
        return 1;
    case TEXT_DOUBLE_BYTE:
        return 2;
    case TEXT_BAD_DOUBLE_BYTE:
        point(diag_span, at, 2);
        diag_say("%02X %02X is no Shift-JIS character: a trail byte is 40 to FC, not 7F", c,
                 b.value);
        report_error(2428, "illegal multibyte text: %02X%02X\n", c, b.value);
        return -1;
    case TEXT_KANA:
        if (game_prints_kana(game_type)) {
            point(diag_span, at, 1);
            diag_say("the half-width kana byte %02X is used", c);
            report_warning(2432, "hankaku kana used: '%c' %02X\n", c, c);
            return 1;
        }
        [[fallthrough]];
    default:
        point(diag_span, at, 1);
        diag_say("byte %02X is not allowed here: %s", c, TEXT_RULE);
        report_error(2435, "illegal text: %02X\n", c);
        return -1;
    }
}

// What tells the two walks of a literal apart: measuring it in a source
// line, and storing it. The message texts are the same, the codes theirs.
struct LiteralRules {
    int no_open_quote;
    int escape_at_end;
    int bad_escape;
    int no_close_quote;
    bool line_end_stops;  // a CR or LF ends an unclosed literal
    int (*special)(const TextByte& b, unsigned char c, int* brace_open, const char* at);
    Locate locate;
};

constexpr LiteralRules SCAN_RULES{2401, 2410, 2413, 2441, true, scan_special, diag_span};
constexpr LiteralRules DECODE_RULES{667, 675, 686, 726, false, decode_special, diag_text_span};

// Walks the literal at quote: with *write not null, stores it there (which
// may be quote itself) and leaves *write after the stored bytes. Returns
// the byte after the closing quote, or null after the message.
const char* walk_literal(const char* quote, char** write, const LiteralRules& rules,
                         int* brace_open)
{
    const char* read = quote;
    char* out = *write;
    if (*read != '"') {
        point(rules.locate, read, 1);
        diag_say("a text begins with '\"'");
        report_error(rules.no_open_quote, "'\"' not found\n");
        return nullptr;
    }
    ++read;
    for (;;) {
        while (is_ordinary_byte(*read)) {
            if (out != nullptr) {
                *out++ = *read;
            }
            ++read;
        }
        if (*read == '\0' || *read == '"' ||
            (rules.line_end_stops && (*read == '\r' || *read == '\n'))) {
            break;
        }
        unsigned char c = static_cast<unsigned char>(*read);
        TextByte b = classify_text_byte(read);
        int length = b.length;
        if (b.kind == TEXT_ESCAPE_AT_END) {
            point(rules.locate, read, 1);
            diag_say("the text ends in a lone '\\': %s", TEXT_RULE);
            report_error(rules.escape_at_end, "illegal escape sequence: '\\'\n");
            return nullptr;
        }
        if (b.kind == TEXT_BAD_ESCAPE) {
            point(rules.locate, read, 2);
            diag_say("'\\%c' is no escape: %s", b.value, TEXT_RULE);
            report_error(rules.bad_escape, "illegal escape sequence: '\\%c'\n", b.value);
            return nullptr;
        }
        if (b.kind == TEXT_ESCAPE && out != nullptr) {
            *out++ = static_cast<char>(b.value);
            read += 2;
            continue;
        }
        if (b.kind != TEXT_PLAIN && b.kind != TEXT_ESCAPE &&
            (length = rules.special(b, c, brace_open, read)) < 0) {
            return nullptr;
        }
        // One or two bytes: a call to memmove would cost more than the copy.
        for (int i = 0; i < length; ++i, ++read) {
            if (out != nullptr) {
                *out++ = *read;
            }
        }
    }
    if (*read != '"') {
        point(rules.locate, read, 0);
        diag_say("the text has no closing '\"'");
        report_error(rules.no_close_quote, "'\"' not found\n");
        return nullptr;
    }
    *write = out;
    return read + 1;
}

}  // namespace

int decode_text(char* text, int* brace_open)
{
    char* write = text;
    const char* end = walk_literal(text, &write, DECODE_RULES, brace_open);
    if (end == nullptr) {
        return -1;
    }
    if (*end != '\0') {
        point(diag_text_span, end, static_cast<int>(std::strlen(end)));
        diag_say("nothing may follow the closing '\"' of a text");
        report_error(737, "illegal text\n");
        return -1;
    }
    *write = '\0';
    return 0;
}

int check_text(char* text)
{
    int brace_open = 0;
    int result = decode_text(text, &brace_open);
    if (result == 0 && brace_open != 0) {
        point(diag_text_span, text, 1);
        diag_say("a Japanese region opened with '{' is not closed with '}' in this text");
        report_error(654, "'}' not found\n");
        return -1;
    }
    return result;
}

int scan_text_literal(const char* quote)
{
    char* no_store = nullptr;
    int brace_open = 0;
    const char* end = walk_literal(quote, &no_store, SCAN_RULES, &brace_open);
    return end == nullptr ? -1 : static_cast<int>(end - quote);
}

}  // namespace tolvar
