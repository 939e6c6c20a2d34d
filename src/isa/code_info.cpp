#include "isa/code_info.h"

#include <cstring>

namespace tolvar {

namespace {

constexpr ParamInfo NO_PARAM = {TYPE_NONE, nullptr};

constexpr CodeInfo row0(uint32_t code, ItemType type, const char* text)
{
    return {code, type, text, 0, {NO_PARAM, NO_PARAM, NO_PARAM, NO_PARAM}};
}

constexpr CodeInfo row1(uint32_t code, ItemType type, const char* text, ParamInfo p1)
{
    return {code, type, text, 1, {p1, NO_PARAM, NO_PARAM, NO_PARAM}};
}

constexpr CodeInfo row2(uint32_t code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2)
{
    return {code, type, text, 2, {p1, p2, NO_PARAM, NO_PARAM}};
}

constexpr CodeInfo row3(uint32_t code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2,
                        ParamInfo p3)
{
    return {code, type, text, 3, {p1, p2, p3, NO_PARAM}};
}

constexpr CodeInfo row4(uint32_t code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2,
                        ParamInfo p3, ParamInfo p4)
{
    return {code, type, text, 4, {p1, p2, p3, p4}};
}

constexpr CodeInfo op(uint32_t code, const char* text)
{
    return row2(code, TYPE_OPERATOR, text, {TYPE_EXPR, "value1"}, {TYPE_EXPR, "value2"});
}

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

// Ordered by code; the three 0xD1 rows in this order. Keyword search takes
// the first match, so the order is part of the language.
const CodeInfo code_info[CODE_INFO_COUNT] = {
    op(0x81, ">"),
    op(0x82, ">="),
    op(0x83, "<"),
    op(0x84, "<="),
    op(0x85, "!="),
    op(0x86, "=="),
    op(0x90, "+"),
    op(0x91, "-"),
    op(0x92, "*"),
    op(0x93, "/"),
    op(0x94, "||"),
    op(0x95, "&&"),
    row1(0x9A, TYPE_FUNCTION, "cancarry", {TYPE_EXPR, "actor"}),
    row2(0x9B, TYPE_FUNCTION, "weight", {TYPE_EXPR, "object"}, {TYPE_EXPR, "quantity"}),
    row1(0x9C, TYPE_STATEMENT, "horse", {TYPE_EVAL, "actor"}),
    row1(0x9D, TYPE_FUNCTION, "horsed", {TYPE_EXPR, "actor"}),
    row0(0x9E, TYPE_STATEMENT, "sleep"),
    row3(0x9F, TYPE_FUNCTION, "hasobj", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "object"},
         {TYPE_EXPR, "quality"}),
    row2(0xA0, TYPE_FUNCTION, "rand", {TYPE_EXPR, "min"}, {TYPE_EXPR, "max"}),
    row1(0xA1, TYPE_STATEMENT, "if", {TYPE_EVAL, "conditon"}),
    row0(0xA2, TYPE_STATEMENT, "endif"),
    row0(0xA3, TYPE_STATEMENT, "else"),
    row2(0xA4, TYPE_STATEMENT, "setf", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "flag"}),
    row2(0xA5, TYPE_STATEMENT, "clearf", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "flag"}),
    row1(0xA6, TYPE_STATEMENT, "decl", {TYPE_VARIABLE, "$var/$str/data"}),
    row1(0xA7, TYPE_EVAL, "eval", {TYPE_EXPR, "expr"}),
    row0(0xA8, TYPE_ASSIGN, ":="),
    row2(0xAB, TYPE_FUNCTION, "flag", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "flag"}),
    row1(0xB0, TYPE_STATEMENT, "jump", {TYPE_INT32, "offset"}),
    row1(0xB2, TYPE_FUNCTION, "$var", {TYPE_BYTE, "var_no"}),
    row1(0xB3, TYPE_FUNCTION, "$str", {TYPE_BYTE, "var_no"}),
    row2(0xB4, TYPE_FUNCTION, "data", {TYPE_DATA_OFFSET, "offset"}, {TYPE_EXPR, "index"}),
    row2(0xB5, TYPE_STATEMENT, "dprint", {TYPE_DATA_OFFSET, "offset"}, {TYPE_EVAL, "index"}),
    row0(0xB6, TYPE_STATEMENT, "bye"),
    row2(0xB7, TYPE_FUNCTION, "indexof", {TYPE_DATA_OFFSET, "offset"}, {TYPE_EXPR, "string"}),
    row0(0xB8, TYPE_STATEMENT, "enddata"),
    row4(0xB9, TYPE_STATEMENT, "new", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "object"},
         {TYPE_EVAL, "quality"}, {TYPE_EVAL, "quantity"}),
    row4(0xBA, TYPE_STATEMENT, "delete", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "object"},
         {TYPE_EVAL, "quality"}, {TYPE_EVAL, "quantity"}),
    row2(0xBB, TYPE_FUNCTION, "objcount", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "object"}),
    row1(0xBE, TYPE_STATEMENT, "inventory", {TYPE_EVAL, "actor"}),
    row1(0xBF, TYPE_STATEMENT, "portrait", {TYPE_EVAL, "actor"}),
    row1(0xC4, TYPE_STATEMENT, "addkarma", {TYPE_EVAL, "value"}),
    row1(0xC5, TYPE_STATEMENT, "subkarma", {TYPE_EVAL, "value"}),
    row1(0xC6, TYPE_FUNCTION, "inparty", {TYPE_EXPR, "actor"}),
    row2(0xC7, TYPE_FUNCTION, "objinparty", {TYPE_EXPR, "object"}, {TYPE_EXPR, "quality"}),
    row4(0xC9, TYPE_STATEMENT, "give", {TYPE_EVAL, "object"}, {TYPE_EVAL, "quality"},
         {TYPE_EVAL, "from_actor"}, {TYPE_EVAL, "to_actor"}),
    row1(0xCA, TYPE_FUNCTION, "join", {TYPE_EXPR, "actor"}),
    row0(0xCB, TYPE_STATEMENT, "wait"),
    row1(0xCC, TYPE_FUNCTION, "leave", {TYPE_EXPR, "actor"}),
    row2(0xCD, TYPE_STATEMENT, "worktype", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "type"}),
    row1(0xD1, TYPE_STATEMENT, "UNKNOWN_D1", {TYPE_EVAL, "UNKNOWN"}),
    row1(0xD1, TYPE_STATEMENT, "misc_action", {TYPE_EVAL, "action_no"}),
    row0(0xD1, TYPE_STATEMENT, "end"),
    row1(0xD2, TYPE_CONST, "int32", {TYPE_INT32, "value"}),
    row1(0xD3, TYPE_CONST, "byte", {TYPE_BYTE, "value"}),
    row1(0xD4, TYPE_CONST, "int16", {TYPE_INT16, "value"}),
    row1(0xD6, TYPE_STATEMENT, "resurrect", {TYPE_EVAL, "actor"}),
    row1(0xD7, TYPE_FUNCTION, "npcnearby", {TYPE_EXPR, "actor"}),
    row1(0xD8, TYPE_STATEMENT, "setname", {TYPE_EVAL, "actor"}),
    row1(0xD9, TYPE_STATEMENT, "heal", {TYPE_EVAL, "actor"}),
    row1(0xDA, TYPE_FUNCTION, "wounded", {TYPE_EXPR, "actor"}),
    row1(0xDB, TYPE_STATEMENT, "cure", {TYPE_EVAL, "actor"}),
    row1(0xDC, TYPE_FUNCTION, "poisoned", {TYPE_EXPR, "actor"}),
    row2(0xDD, TYPE_FUNCTION, "npc", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "unknown"}),
    row1(0xDF, TYPE_STATEMENT, "UNKNOWN_DF", {TYPE_EVAL, "UNKNOWN"}),
    row2(0xE0, TYPE_FUNCTION, "exp", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(0xE1, TYPE_FUNCTION, "lvl", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(0xE2, TYPE_FUNCTION, "str", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(0xE3, TYPE_FUNCTION, "int", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(0xE4, TYPE_FUNCTION, "dex", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row0(0xEE, TYPE_STATEMENT, "endanswer"),
    row1(0xEF, TYPE_STATEMENT, "keywords", {TYPE_TEXT, "string"}),
    row1(0xF1, TYPE_STATEMENT, "slook", {TYPE_TEXT, "string"}),
    row0(0xF2, TYPE_STATEMENT, "sconverse"),
    row0(0xF3, TYPE_STATEMENT, "sprefix"),
    row0(0xF6, TYPE_STATEMENT, "answer"),
    row0(0xF7, TYPE_STATEMENT, "ask"),
    row1(0xF8, TYPE_STATEMENT, "askc", {TYPE_TEXT, "string"}),
    row1(0xF9, TYPE_STATEMENT, "inputstr", {TYPE_VARIABLE, "$str"}),
    row1(0xFB, TYPE_STATEMENT, "input", {TYPE_VARIABLE, "$var"}),
    row1(0xFC, TYPE_STATEMENT, "inputnum", {TYPE_VARIABLE, "$var"}),
    row2(0xFF, TYPE_STATEMENT, "sident", {TYPE_BYTE, "id"}, {TYPE_TEXT, "name"}),
};

const CodeInfo* lookup_code_info(const char* name)
{
    for (const CodeInfo& row : code_info) {
        if (std::strcmp(row.text, name) == 0) {
            return &row;
        }
    }
    return nullptr;
}

bool names_equal_n(const char* a, size_t a_len, const char* b)
{
    for (size_t i = 0; i < a_len; ++i) {
        if (b[i] == '\0' || fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return b[a_len] == '\0';
}

bool names_equal(const char* a, const char* b)
{
    return names_equal_n(a, std::strlen(a), b);
}

const CodeInfo* find_keyword(const char* word, size_t len)
{
    for (const CodeInfo& row : code_info) {
        if (names_equal_n(word, len, row.text)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace tolvar
