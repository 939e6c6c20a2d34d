// Quoted text literals: what a text may hold and how it is stored.
//
// Printable ASCII, the escapes \t \n \" \\, and (unless switched off)
// double-byte Shift-JIS characters inside regions opened by "{" and closed
// by "}". The braces are stored with the text.
#pragma once

#include "isa/encoding.h"

namespace tolvar {

// The one place that says what a byte of a literal is. Each checker
// decides what to accept where, and reports under its own codes.
enum TextByteKind {
    TEXT_PLAIN,          // 0x20..0x7A and 0x7E, the quote and backslash included
    TEXT_ESCAPE,         // a backslash and t, n, a quote or a backslash
    TEXT_ESCAPE_AT_END,  // a backslash that ends the string
    TEXT_BAD_ESCAPE,     // a backslash and any other byte
    TEXT_BRACE_OPEN,     // opens a double-byte region
    TEXT_BRACE_CLOSE,
    TEXT_DOUBLE_BYTE,      // a lead byte and a good trail byte
    TEXT_BAD_DOUBLE_BYTE,  // a lead byte and a bad one
    TEXT_KANA,             // the hankaku kana byte
    TEXT_OTHER             // never allowed
};

struct TextByte {
    TextByteKind kind;
    int length;           // bytes it takes, when accepted
    unsigned char value;  // escapes: the byte stored, or the bad letter; lead bytes: the trail
};

// Space to 'z' and '~': stored as they stand.
constexpr bool is_plain_byte(unsigned char c)
{
    return (c >= 0x20 && c <= 0x7A) || c == 0x7E;
}

// The two bytes of a Shift-JIS double-byte character.
inline constexpr bool is_lead_byte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

inline constexpr bool is_trail_byte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Classifies the byte at `at` (with the one after it, for escapes and
// double-byte characters); at must not point at the terminating NUL.
TextByte classify_text_byte(const char* at);

// Measures and checks the literal that begins at `quote` (a double quote
// inside a source line) without changing it. Returns its length, both
// quotes included, or -1 after printing an error. The end of the line ends
// an unclosed literal.
int scan_text_literal(const char* quote);

// Rewrites `text`, which must be exactly one literal, in place into its
// stored form (quotes removed, escapes resolved) and NUL-terminates it.
// `brace_open` is the caller's region state, read and updated. Returns 0,
// or -1 after printing an error.
int decode_text(char* text, int* brace_open);

// decode_text with a fresh region state that must be closed at the end.
int check_text(char* text);

}  // namespace tolvar
