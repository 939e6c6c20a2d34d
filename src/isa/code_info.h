// The instruction table: every keyword and operator of the script language
// with its byte code, its kind and its parameters, and the one numbering of
// kinds shared by tokens, table rows, tree nodes and parameter slots.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvar {

// The numbers show in diagnostics, so they are fixed.
enum ItemType : int32_t {
    TYPE_NONE = 0,
    TYPE_TEXT = 1,
    TYPE_STATEMENT = 2,
    TYPE_CONST = 3,
    TYPE_OPERATOR = 4,
    TYPE_FUNCTION = 5,
    TYPE_ASSIGN = 6,
    TYPE_EVAL = 7,
    TYPE_EXPR = 8,
    TYPE_BYTE = 9,
    TYPE_INT16 = 10,
    TYPE_INT32 = 11,
    TYPE_VARIABLE = 12,
    TYPE_DATA_OFFSET = 13,
    TYPE_DATA = 14,
    TYPE_LABEL = 17,
    TYPE_TEXT_LABEL = 18,
    TYPE_COLON = 19,
    TYPE_COMMA = 20,
    TYPE_LPAREN = 21,
    TYPE_RPAREN = 22,
    TYPE_LBRACKET = 23,
    TYPE_RBRACKET = 24,
    TYPE_UNKNOWN_BYTE = 25,
    TYPE_UNKNOWN = 26,
    TYPE_OPTION = 255
};

struct ParamInfo {
    ItemType type;
    const char* name;
};

struct CodeInfo {
    uint32_t code;     // only the low 8 bits are ever written
    ItemType type;     // TYPE_STATEMENT ... TYPE_EVAL
    const char* text;  // the keyword or operator as written in a script
    int32_t param_count;
    ParamInfo params[4];
};

inline constexpr int CODE_INFO_COUNT = 82;
extern const CodeInfo code_info[CODE_INFO_COUNT];

// Exact, case-sensitive lookup by name; null when absent.
const CodeInfo* lookup_code_info(const char* name);

// Keyword recognition: the first row, in table order, whose name equals the
// len bytes at word without regard to case; null when none does.
const CodeInfo* find_keyword(const char* word, size_t len);

// ASCII names compared without regard to letter case (keywords, directives,
// labels): only A-Z and a-z fold, every other byte must match exactly.
bool names_equal(const char* a, const char* b);
bool names_equal_n(const char* a, size_t a_len, const char* b);

}  // namespace tolvar
