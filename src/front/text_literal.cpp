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
int decode_special(const TextByte& b, unsigned char c, int* brace_open)
{
    if (allow_ja_text == 0) {
        report_error(693, "illegal text: %02X\n", c);
        return -1;
    }
    if (*brace_open == 0) {
        if (b.kind != TEXT_BRACE_OPEN) {
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
        report_error(712, "illegal multibyte text: %02X%02X\n", c, b.value);
        return -1;
    case TEXT_KANA:
        report_warning(716, "hankaku kana used: '%c' %02X\n", c, c);
        return 1;
    default:
        report_error(719, "illegal text: %02X\n", c);
        return -1;
    }
}

// The same for the scan; 0 when the byte ends nothing and is passed over.
int scan_special(const TextByte& b, unsigned char c)
{
    if (allow_ja_text == 0) {
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
        report_error(2428, "illegal multibyte text: %02X%02X\n", c, b.value);
        return -1;
    case TEXT_KANA:
        if (game_prints_kana(game_type)) {
            report_warning(2432, "hankaku kana used: '%c' %02X\n", c, c);
            return 1;
        }
        [[fallthrough]];
    default:
        report_error(2435, "illegal text: %02X\n", c);
        return -1;
    }
}

}  // namespace

int decode_text(char* text, int* brace_open)
{
    char* read = text;
    char* write = text;
    if (*read != '"') {
        report_error(667, "'\"' not found\n");
        return -1;
    }
    ++read;
    for (;;) {
        while (is_ordinary_byte(*read)) {
            *write++ = *read++;
        }
        if (*read == '\0' || *read == '"') {
            break;
        }
        unsigned char c = static_cast<unsigned char>(*read);
        TextByte b = classify_text_byte(read);
        int length = b.length;
        if (b.kind == TEXT_ESCAPE_AT_END) {
            report_error(675, "illegal escape sequence: '\\'\n");
            return -1;
        }
        if (b.kind == TEXT_BAD_ESCAPE) {
            report_error(686, "illegal escape sequence: '\\%c'\n", b.value);
            return -1;
        }
        if (b.kind == TEXT_ESCAPE) {
            *write++ = static_cast<char>(b.value);
            read += 2;
            continue;
        }
        if (b.kind != TEXT_PLAIN && (length = decode_special(b, c, brace_open)) < 0) {
            return -1;
        }
        // One or two bytes: a call to memmove would cost more than the copy.
        for (int i = 0; i < length; ++i) {
            *write++ = *read++;
        }
    }
    if (*read != '"') {
        report_error(726, "'\"' not found\n");
        return -1;
    }
    ++read;
    if (*read != '\0') {
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
        report_error(654, "'}' not found\n");
        return -1;
    }
    return result;
}

int scan_text_literal(const char* quote)
{
    const char* read = quote;
    if (*read != '"') {
        report_error(2401, "'\"' not found\n");
        return -1;
    }
    ++read;
    for (;;) {
        while (is_ordinary_byte(*read)) {
            ++read;
        }
        if (*read == '\0' || *read == '"' || *read == '\r' || *read == '\n') {
            break;
        }
        unsigned char c = static_cast<unsigned char>(*read);
        TextByte b = classify_text_byte(read);
        int length = b.length;
        if (b.kind == TEXT_ESCAPE_AT_END) {
            report_error(2410, "illegal escape sequence: '\\'\n");
            return -1;
        }
        if (b.kind == TEXT_BAD_ESCAPE) {
            report_error(2413, "illegal escape sequence: '\\%c'\n", b.value);
            return -1;
        }
        if (b.kind != TEXT_PLAIN && b.kind != TEXT_ESCAPE && (length = scan_special(b, c)) < 0) {
            return -1;
        }
        read += length;
    }
    if (*read != '"') {
        report_error(2441, "'\"' not found\n");
        return -1;
    }
    return static_cast<int>(read - quote) + 1;
}

}  // namespace tolvar
