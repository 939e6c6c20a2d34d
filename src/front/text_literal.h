// Quoted text literals: what a text may hold and how it is stored.
//
// Printable ASCII, the escapes \t \n \" \\, and (unless switched off)
// double-byte Shift-JIS characters inside regions opened by "{" and closed
// by "}". The braces are stored with the text.
#pragma once

namespace tolvar {

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
