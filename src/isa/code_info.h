// The instruction table: every keyword and operator of the script language
// with its byte code, its kind, its parameters, its precedence and the games
// that have it, and the one numbering of kinds shared by tokens, table rows,
// tree nodes and parameter slots.
//
// This file and code_info.cpp are the only places a code is written as a
// number; everything else uses the names below or reads the rows.
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

// A byte code of the byte-code, as tokens, rows and nodes carry it.
using Code = uint8_t;

// The codes, in the order of the table. 0xD1 is three keywords, told apart
// by name and by game.
enum : Code {
    CODE_NONE = 0x00,
    CODE_GT = 0x81,
    CODE_GE = 0x82,
    CODE_LT = 0x83,
    CODE_LE = 0x84,
    CODE_NE = 0x85,
    CODE_EQ = 0x86,
    CODE_ADD = 0x90,
    CODE_SUB = 0x91,
    CODE_MUL = 0x92,
    CODE_DIV = 0x93,
    CODE_OR = 0x94,
    CODE_AND = 0x95,
    CODE_CANCARRY = 0x9A,
    CODE_WEIGHT = 0x9B,
    CODE_HORSE = 0x9C,
    CODE_HORSED = 0x9D,
    CODE_SLEEP = 0x9E,
    CODE_HASOBJ = 0x9F,
    CODE_RAND = 0xA0,
    CODE_IF = 0xA1,
    CODE_ENDIF = 0xA2,
    CODE_ELSE = 0xA3,
    CODE_SETF = 0xA4,
    CODE_CLEARF = 0xA5,
    CODE_DECL = 0xA6,
    CODE_EVAL = 0xA7,
    CODE_ASSIGN = 0xA8,
    CODE_FLAG = 0xAB,
    CODE_JUMP = 0xB0,
    CODE_VAR = 0xB2,
    CODE_STR = 0xB3,
    CODE_DATA = 0xB4,
    CODE_DPRINT = 0xB5,
    CODE_BYE = 0xB6,
    CODE_INDEXOF = 0xB7,
    CODE_ENDDATA = 0xB8,
    CODE_NEW = 0xB9,
    CODE_DELETE = 0xBA,
    CODE_OBJCOUNT = 0xBB,
    CODE_INVENTORY = 0xBE,
    CODE_PORTRAIT = 0xBF,
    CODE_ADDKARMA = 0xC4,
    CODE_SUBKARMA = 0xC5,
    CODE_INPARTY = 0xC6,
    CODE_OBJINPARTY = 0xC7,
    CODE_GIVE = 0xC9,
    CODE_JOIN = 0xCA,
    CODE_WAIT = 0xCB,
    CODE_LEAVE = 0xCC,
    CODE_WORKTYPE = 0xCD,
    CODE_D1 = 0xD1,  // UNKNOWN_D1, misc_action, end
    CODE_INT32 = 0xD2,
    CODE_BYTE = 0xD3,
    CODE_INT16 = 0xD4,
    CODE_RESURRECT = 0xD6,
    CODE_NPCNEARBY = 0xD7,
    CODE_SETNAME = 0xD8,
    CODE_HEAL = 0xD9,
    CODE_WOUNDED = 0xDA,
    CODE_CURE = 0xDB,
    CODE_POISONED = 0xDC,
    CODE_NPC = 0xDD,
    CODE_UNKNOWN_DF = 0xDF,
    CODE_EXP = 0xE0,
    CODE_LVL = 0xE1,
    CODE_STR_STAT = 0xE2,
    CODE_INT_STAT = 0xE3,
    CODE_DEX_STAT = 0xE4,
    CODE_ENDANSWER = 0xEE,
    CODE_KEYWORDS = 0xEF,
    CODE_SLOOK = 0xF1,
    CODE_SCONVERSE = 0xF2,
    CODE_SPREFIX = 0xF3,
    CODE_ANSWER = 0xF6,
    CODE_ASK = 0xF7,
    CODE_ASKC = 0xF8,
    CODE_INPUTSTR = 0xF9,
    CODE_INPUT = 0xFB,
    CODE_INPUTNUM = 0xFC,
    CODE_SIDENT = 0xFF
};

// Operator groups, loosest first; within a group operators associate to the
// left. ORDER: the expression parser roots a range at the loosest group.
enum Precedence : uint8_t {
    PREC_NONE = 0,  // not an operator
    PREC_LOGICAL = 1,
    PREC_COMPARE = 2,
    PREC_ADD = 3,
    PREC_MUL = 4
};

// Which games have a keyword: one bit per game type, by its number.
enum : uint8_t {
    GAMES_U6 = 1,
    GAMES_SE = 2,
    GAMES_MD = 4,
    GAMES_ALL = 7,
    GAMES_U6_END = 8  // in GAME_U6 only while `end` is allowed
};

struct ParamInfo {
    ItemType type;
    const char* name;
};

struct CodeInfo {
    Code code;
    ItemType type;     // TYPE_STATEMENT ... TYPE_EVAL
    const char* text;  // the keyword or operator as written in a script
    int32_t param_count;
    ParamInfo params[4];
    Precedence precedence;
    uint8_t games;     // GAMES_* bits
    int refusal_code;  // the tokenizer's message for a game without it
};

inline constexpr int CODE_INFO_COUNT = 82;
extern const CodeInfo code_info[CODE_INFO_COUNT];

// Exact, case-sensitive lookup by name; null when absent.
const CodeInfo* lookup_code_info(const char* name);

// Keyword recognition: the first row, in table order, whose name equals the
// len bytes at word without regard to case; null when none does.
const CodeInfo* find_keyword(const char* word, size_t len);

// The longest operator the table spells at p (the first row of that length
// in table order) with its length in *length; null when none does.
const CodeInfo* find_operator(const char* p, size_t* length);

// True when the selected game (and the `end` switch) has the row's keyword.
bool game_has(const CodeInfo& row, int game, int u6_end_allowed);

// The row of a code in one game: what the byte means there (for 0xD1 the
// keyword that game alone has, with `end` allowed). Null for a code the
// game has no row for.
const CodeInfo* row_for_code(Code code, int game);

// The group of an operator code, PREC_NONE for any other code.
Precedence operator_precedence(Code code);

}  // namespace tolvar
