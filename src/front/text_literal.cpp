#include "front/text_literal.h"

#include "driver/diag.h"
#include "driver/settings.h"

namespace tolvar {

namespace {

bool is_plain(unsigned char c)
{
    return (c >= 0x20 && c <= 0x7A) || c == 0x7E;
}

bool is_lead_byte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool is_trail_byte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// The byte an escape stands for, or -1 when c starts no escape.
int escape_value(unsigned char c)
{
    switch (c) {
    case 't':
        return 0x09;
    case 'n':
        return 0x0A;
    case '"':
        return '"';
    case '\\':
        return '\\';
    default:
        return -1;
    }
}

constexpr unsigned char HANKAKU_KANA = 0xCB;

}  // namespace

int decode_text(char* text, int* brace_open)
{
    unsigned char* read = reinterpret_cast<unsigned char*>(text);
    unsigned char* write = read;
    if (*read != '"') {
        report_error(667, "'\"' not found\n");
        return -1;
    }
    ++read;
    while (*read != '\0' && *read != '"') {
        unsigned char c = *read;
        if (c == '\\') {
            unsigned char escaped = read[1];
            if (escaped == '\0') {
                report_error(675, "illegal escape sequence: '\\'\n");
                return -1;
            }
            int value = escape_value(escaped);
            if (value < 0) {
                report_error(686, "illegal escape sequence: '\\%c'\n", escaped);
                return -1;
            }
            *write++ = static_cast<unsigned char>(value);
            read += 2;
        } else if (is_plain(c)) {
            *write++ = *read++;
        } else if (allow_ja_text == 0) {
            report_error(693, "illegal text: %02X\n", c);
            return -1;
        } else if (*brace_open == 0) {
            if (c != '{') {
                report_error(700, "illegal text: %02X\n", c);
                return -1;
            }
            *brace_open = 1;
            *write++ = *read++;
        } else if (c == '}') {
            *brace_open = 0;
            *write++ = *read++;
        } else if (is_lead_byte(c)) {
            unsigned char trail = read[1];
            if (!is_trail_byte(trail)) {
                report_error(712, "illegal multibyte text: %02X%02X\n", c, trail);
                return -1;
            }
            *write++ = *read++;
            *write++ = *read++;
        } else if (c == HANKAKU_KANA) {
            report_warning(716, "hankaku kana used: '%c' %02X\n", c, c);
            *write++ = *read++;
        } else {
            report_error(719, "illegal text: %02X\n", c);
            return -1;
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
    const unsigned char* start = reinterpret_cast<const unsigned char*>(quote);
    const unsigned char* read = start;
    if (*read != '"') {
        report_error(2401, "'\"' not found\n");
        return -1;
    }
    ++read;
    while (*read != '\0' && *read != '"' && *read != '\r' && *read != '\n') {
        unsigned char c = *read;
        if (c == '\\') {
            unsigned char escaped = read[1];
            if (escaped == '\0') {
                report_error(2410, "illegal escape sequence: '\\'\n");
                return -1;
            }
            if (escape_value(escaped) < 0) {
                report_error(2413, "illegal escape sequence: '\\%c'\n", escaped);
                return -1;
            }
            read += 2;
        } else if (is_plain(c)) {
            ++read;
        } else if (allow_ja_text == 0) {
            report_error(2420, "illegal text: %02X\n", c);
            return -1;
        } else if (c == '{' || c == '}') {
            ++read;
        } else if (is_lead_byte(c)) {
            unsigned char trail = read[1];
            if (!is_trail_byte(trail)) {
                report_error(2428, "illegal multibyte text: %02X%02X\n", c, trail);
                return -1;
            }
            read += 2;
        } else if (c == HANKAKU_KANA && game_type == GAME_SE) {
            report_warning(2432, "hankaku kana used: '%c' %02X\n", c, c);
            ++read;
        } else {
            report_error(2435, "illegal text: %02X\n", c);
            return -1;
        }
    }
    if (*read != '"') {
        report_error(2441, "'\"' not found\n");
        return -1;
    }
    return static_cast<int>(read - start) + 1;
}

}  // namespace tolvar
