#include "isa/code_info.h"

#include <cstring>
#include <utility>

#include "support/names.h"

namespace tolvar {

namespace {

constexpr ParamInfo NO_PARAM = {TYPE_NONE, nullptr};

constexpr CodeInfo row0(Code code, ItemType type, const char* text)
{
    return {code, type, text, 0, {NO_PARAM, NO_PARAM, NO_PARAM, NO_PARAM}, PREC_NONE, GAMES_ALL, 0};
}

constexpr CodeInfo row1(Code code, ItemType type, const char* text, ParamInfo p1)
{
    CodeInfo row = row0(code, type, text);
    row.param_count = 1;
    row.params[0] = p1;
    return row;
}

constexpr CodeInfo row2(Code code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2)
{
    CodeInfo row = row1(code, type, text, p1);
    row.param_count = 2;
    row.params[1] = p2;
    return row;
}

constexpr CodeInfo row3(Code code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2,
                        ParamInfo p3)
{
    CodeInfo row = row2(code, type, text, p1, p2);
    row.param_count = 3;
    row.params[2] = p3;
    return row;
}

constexpr CodeInfo row4(Code code, ItemType type, const char* text, ParamInfo p1, ParamInfo p2,
                        ParamInfo p3, ParamInfo p4)
{
    CodeInfo row = row3(code, type, text, p1, p2, p3);
    row.param_count = 4;
    row.params[3] = p4;
    return row;
}

constexpr CodeInfo op(Code code, const char* text, Precedence precedence)
{
    CodeInfo row = row2(code, TYPE_OPERATOR, text, {TYPE_EXPR, "value1"}, {TYPE_EXPR, "value2"});
    row.precedence = precedence;
    return row;
}

// A keyword only some games have, and the tokenizer's message for the rest.
constexpr CodeInfo only_in(uint8_t games, int refusal_code, CodeInfo row)
{
    row.games = games;
    row.refusal_code = refusal_code;
    return row;
}

}  // namespace

// Ordered by code; the three 0xD1 rows in this order. Keyword search takes
// the first match, so the order is part of the language.
constexpr CodeInfo code_info[CODE_INFO_COUNT] = {
    op(CODE_GT, ">", PREC_COMPARE),
    op(CODE_GE, ">=", PREC_COMPARE),
    op(CODE_LT, "<", PREC_COMPARE),
    op(CODE_LE, "<=", PREC_COMPARE),
    op(CODE_NE, "!=", PREC_COMPARE),
    op(CODE_EQ, "==", PREC_COMPARE),
    op(CODE_ADD, "+", PREC_ADD),
    op(CODE_SUB, "-", PREC_ADD),
    op(CODE_MUL, "*", PREC_MUL),
    op(CODE_DIV, "/", PREC_MUL),
    op(CODE_OR, "||", PREC_LOGICAL),
    op(CODE_AND, "&&", PREC_LOGICAL),
    row1(CODE_CANCARRY, TYPE_FUNCTION, "cancarry", {TYPE_EXPR, "actor"}),
    row2(CODE_WEIGHT, TYPE_FUNCTION, "weight", {TYPE_EXPR, "object"}, {TYPE_EXPR, "quantity"}),
    row1(CODE_HORSE, TYPE_STATEMENT, "horse", {TYPE_EVAL, "actor"}),
    row1(CODE_HORSED, TYPE_FUNCTION, "horsed", {TYPE_EXPR, "actor"}),
    row0(CODE_SLEEP, TYPE_STATEMENT, "sleep"),
    row3(CODE_HASOBJ, TYPE_FUNCTION, "hasobj", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "object"},
         {TYPE_EXPR, "quality"}),
    row2(CODE_RAND, TYPE_FUNCTION, "rand", {TYPE_EXPR, "min"}, {TYPE_EXPR, "max"}),
    row1(CODE_IF, TYPE_STATEMENT, "if", {TYPE_EVAL, "conditon"}),
    row0(CODE_ENDIF, TYPE_STATEMENT, "endif"),
    row0(CODE_ELSE, TYPE_STATEMENT, "else"),
    row2(CODE_SETF, TYPE_STATEMENT, "setf", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "flag"}),
    row2(CODE_CLEARF, TYPE_STATEMENT, "clearf", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "flag"}),
    row1(CODE_DECL, TYPE_STATEMENT, "decl", {TYPE_VARIABLE, "$var/$str/data"}),
    row1(CODE_EVAL, TYPE_EVAL, "eval", {TYPE_EXPR, "expr"}),
    row0(CODE_ASSIGN, TYPE_ASSIGN, ":="),
    row2(CODE_FLAG, TYPE_FUNCTION, "flag", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "flag"}),
    row1(CODE_JUMP, TYPE_STATEMENT, "jump", {TYPE_INT32, "offset"}),
    row1(CODE_VAR, TYPE_FUNCTION, "$var", {TYPE_BYTE, "var_no"}),
    row1(CODE_STR, TYPE_FUNCTION, "$str", {TYPE_BYTE, "var_no"}),
    row2(CODE_DATA, TYPE_FUNCTION, "data", {TYPE_DATA_OFFSET, "offset"}, {TYPE_EXPR, "index"}),
    row2(CODE_DPRINT, TYPE_STATEMENT, "dprint", {TYPE_DATA_OFFSET, "offset"}, {TYPE_EVAL, "index"}),
    row0(CODE_BYE, TYPE_STATEMENT, "bye"),
    row2(CODE_INDEXOF, TYPE_FUNCTION, "indexof", {TYPE_DATA_OFFSET, "offset"},
         {TYPE_EXPR, "string"}),
    row0(CODE_ENDDATA, TYPE_STATEMENT, "enddata"),
    row4(CODE_NEW, TYPE_STATEMENT, "new", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "object"},
         {TYPE_EVAL, "quality"}, {TYPE_EVAL, "quantity"}),
    row4(CODE_DELETE, TYPE_STATEMENT, "delete", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "object"},
         {TYPE_EVAL, "quality"}, {TYPE_EVAL, "quantity"}),
    row2(CODE_OBJCOUNT, TYPE_FUNCTION, "objcount", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "object"}),
    row1(CODE_INVENTORY, TYPE_STATEMENT, "inventory", {TYPE_EVAL, "actor"}),
    row1(CODE_PORTRAIT, TYPE_STATEMENT, "portrait", {TYPE_EVAL, "actor"}),
    row1(CODE_ADDKARMA, TYPE_STATEMENT, "addkarma", {TYPE_EVAL, "value"}),
    row1(CODE_SUBKARMA, TYPE_STATEMENT, "subkarma", {TYPE_EVAL, "value"}),
    row1(CODE_INPARTY, TYPE_FUNCTION, "inparty", {TYPE_EXPR, "actor"}),
    row2(CODE_OBJINPARTY, TYPE_FUNCTION, "objinparty", {TYPE_EXPR, "object"},
         {TYPE_EXPR, "quality"}),
    row4(CODE_GIVE, TYPE_STATEMENT, "give", {TYPE_EVAL, "object"}, {TYPE_EVAL, "quality"},
         {TYPE_EVAL, "from_actor"}, {TYPE_EVAL, "to_actor"}),
    row1(CODE_JOIN, TYPE_FUNCTION, "join", {TYPE_EXPR, "actor"}),
    row0(CODE_WAIT, TYPE_STATEMENT, "wait"),
    row1(CODE_LEAVE, TYPE_FUNCTION, "leave", {TYPE_EXPR, "actor"}),
    row2(CODE_WORKTYPE, TYPE_STATEMENT, "worktype", {TYPE_EVAL, "actor"}, {TYPE_EVAL, "type"}),
    only_in(GAMES_SE | GAMES_MD, 2286,
            row1(CODE_D1, TYPE_STATEMENT, "UNKNOWN_D1", {TYPE_EVAL, "UNKNOWN"})),
    only_in(GAMES_MD, 2281, row1(CODE_D1, TYPE_STATEMENT, "misc_action", {TYPE_EVAL, "action_no"})),
    only_in(GAMES_U6 | GAMES_U6_END, 2276, row0(CODE_D1, TYPE_STATEMENT, "end")),
    row1(CODE_INT32, TYPE_CONST, "int32", {TYPE_INT32, "value"}),
    row1(CODE_BYTE, TYPE_CONST, "byte", {TYPE_BYTE, "value"}),
    row1(CODE_INT16, TYPE_CONST, "int16", {TYPE_INT16, "value"}),
    row1(CODE_RESURRECT, TYPE_STATEMENT, "resurrect", {TYPE_EVAL, "actor"}),
    row1(CODE_NPCNEARBY, TYPE_FUNCTION, "npcnearby", {TYPE_EXPR, "actor"}),
    row1(CODE_SETNAME, TYPE_STATEMENT, "setname", {TYPE_EVAL, "actor"}),
    row1(CODE_HEAL, TYPE_STATEMENT, "heal", {TYPE_EVAL, "actor"}),
    row1(CODE_WOUNDED, TYPE_FUNCTION, "wounded", {TYPE_EXPR, "actor"}),
    row1(CODE_CURE, TYPE_STATEMENT, "cure", {TYPE_EVAL, "actor"}),
    row1(CODE_POISONED, TYPE_FUNCTION, "poisoned", {TYPE_EXPR, "actor"}),
    row2(CODE_NPC, TYPE_FUNCTION, "npc", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "unknown"}),
    only_in(GAMES_MD, 2291,
            row1(CODE_UNKNOWN_DF, TYPE_STATEMENT, "UNKNOWN_DF", {TYPE_EVAL, "UNKNOWN"})),
    row2(CODE_EXP, TYPE_FUNCTION, "exp", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(CODE_LVL, TYPE_FUNCTION, "lvl", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(CODE_STR_STAT, TYPE_FUNCTION, "str", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(CODE_INT_STAT, TYPE_FUNCTION, "int", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row2(CODE_DEX_STAT, TYPE_FUNCTION, "dex", {TYPE_EXPR, "actor"}, {TYPE_EXPR, "value"}),
    row0(CODE_ENDANSWER, TYPE_STATEMENT, "endanswer"),
    row1(CODE_KEYWORDS, TYPE_STATEMENT, "keywords", {TYPE_TEXT, "string"}),
    row1(CODE_SLOOK, TYPE_STATEMENT, "slook", {TYPE_TEXT, "string"}),
    row0(CODE_SCONVERSE, TYPE_STATEMENT, "sconverse"),
    row0(CODE_SPREFIX, TYPE_STATEMENT, "sprefix"),
    row0(CODE_ANSWER, TYPE_STATEMENT, "answer"),
    row0(CODE_ASK, TYPE_STATEMENT, "ask"),
    row1(CODE_ASKC, TYPE_STATEMENT, "askc", {TYPE_TEXT, "string"}),
    row1(CODE_INPUTSTR, TYPE_STATEMENT, "inputstr", {TYPE_VARIABLE, "$str"}),
    row1(CODE_INPUT, TYPE_STATEMENT, "input", {TYPE_VARIABLE, "$var"}),
    row1(CODE_INPUTNUM, TYPE_STATEMENT, "inputnum", {TYPE_VARIABLE, "$var"}),
    row2(CODE_SIDENT, TYPE_STATEMENT, "sident", {TYPE_BYTE, "id"}, {TYPE_TEXT, "name"}),
};

// A row too many fails to compile; a row too few would leave an empty one.
constexpr bool rows_in_code_order()
{
    for (int i = 1; i < CODE_INFO_COUNT; ++i) {
        if (code_info[i].text == nullptr || code_info[i].code < code_info[i - 1].code) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_code_order(), "CODE_INFO_COUNT must be the number of rows, in code order");

const CodeInfo* lookup_code_info(const char* name)
{
    for (const CodeInfo& row : code_info) {
        if (std::strcmp(row.text, name) == 0) {
            return &row;
        }
    }
    return nullptr;
}

namespace {

constexpr uint32_t KEYWORD_SLOTS = 256;  // a power of two, over three times the rows

// Rows by folded name, built once from the table. Each name is placed only
// if no earlier row has it, so the first row in table order still wins.
struct KeywordIndex {
    const CodeInfo* slots[KEYWORD_SLOTS] = {};
    uint8_t lengths[KEYWORD_SLOTS] = {};  // of the names, to pass over most misses
};

const KeywordIndex& keyword_index()
{
    static const KeywordIndex index = [] {
        KeywordIndex built;
        for (const CodeInfo& row : code_info) {
            size_t length = std::strlen(row.text);
            uint32_t slot = name_hash(row.text, length) % KEYWORD_SLOTS;
            while (built.slots[slot] != nullptr &&
                   !names_equal_n(row.text, length, built.slots[slot]->text)) {
                slot = (slot + 1) % KEYWORD_SLOTS;
            }
            if (built.slots[slot] == nullptr) {
                built.slots[slot] = &row;
                built.lengths[slot] = static_cast<uint8_t>(length);
            }
        }
        return built;
    }();
    return index;
}

// The operator rows by their first byte, longest first and in table order
// among those of one length, so the first that matches is the one to take.
constexpr int OPERATORS_PER_BYTE = 4;

// Small, as the tables a short compile touches should be.
struct OperatorCandidate {
    uint8_t row;  // in code_info, from 1; 0 for none
    uint8_t length;
};

struct OperatorIndex {
    OperatorCandidate by_first[256][OPERATORS_PER_BYTE] = {};
};

void add_candidate(OperatorCandidate (&list)[OPERATORS_PER_BYTE], int row)
{
    OperatorCandidate added{static_cast<uint8_t>(row + 1),
                            static_cast<uint8_t>(std::strlen(code_info[row].text))};
    for (OperatorCandidate& slot : list) {
        if (slot.row == 0 || slot.length < added.length) {
            std::swap(slot, added);
            if (added.row == 0) {
                return;
            }
        }
    }
}

const OperatorIndex& operator_index()
{
    static const OperatorIndex index = [] {
        OperatorIndex built;
        for (int row = 0; row < CODE_INFO_COUNT; ++row) {
            const char* text = code_info[row].text;
            if (code_info[row].type == TYPE_OPERATOR) {
                add_candidate(built.by_first[static_cast<unsigned char>(text[0])], row);
            }
        }
        return built;
    }();
    return index;
}

bool spells(const char* p, const OperatorCandidate& candidate)
{
    const char* text = code_info[candidate.row - 1].text;
    for (size_t i = 0; i < candidate.length; ++i) {
        if (p[i] != text[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

const CodeInfo* find_keyword(const char* word, size_t len)
{
    const KeywordIndex& index = keyword_index();
    for (uint32_t slot = name_hash(word, len) % KEYWORD_SLOTS;; slot = (slot + 1) % KEYWORD_SLOTS) {
        const CodeInfo* row = index.slots[slot];
        if (row == nullptr || (index.lengths[slot] == len && names_equal_n(word, len, row->text))) {
            return row;
        }
    }
}

const CodeInfo* find_operator(const char* p, size_t* length)
{
    for (const OperatorCandidate& candidate :
         operator_index().by_first[static_cast<unsigned char>(*p)]) {
        if (candidate.row == 0) {
            break;
        }
        if (spells(p, candidate)) {
            *length = candidate.length;
            return &code_info[candidate.row - 1];
        }
    }
    return nullptr;
}

bool game_has(const CodeInfo& row, int game, int u6_end_allowed)
{
    if ((row.games & GAMES_U6_END) != 0 && u6_end_allowed == 0) {
        return false;
    }
    return game >= 0 && game < 3 && (row.games & (1u << game)) != 0;
}

namespace {

// How many games have a row: of two rows with one code, the game's own
// keyword is the one fewer games have (misc_action over UNKNOWN_D1).
int game_count(const CodeInfo& row)
{
    return __builtin_popcount(row.games & GAMES_ALL);
}

// Row indexes by code, one table per game, built once from the rows.
struct CodeIndex {
    const CodeInfo* rows[3][256] = {};
    Precedence precedence[256] = {};
};

const CodeIndex& code_index()
{
    static const CodeIndex index = [] {
        CodeIndex built;
        for (const CodeInfo& row : code_info) {
            for (int game = 0; game < 3; ++game) {
                const CodeInfo*& slot = built.rows[game][row.code];
                if (game_has(row, game, 1) &&
                    (slot == nullptr || game_count(row) < game_count(*slot))) {
                    slot = &row;
                }
            }
            if (row.type == TYPE_OPERATOR) {
                built.precedence[row.code] = row.precedence;
            }
        }
        return built;
    }();
    return index;
}

}  // namespace

const CodeInfo* row_for_code(Code code, int game)
{
    return game >= 0 && game < 3 ? code_index().rows[game][code] : nullptr;
}

Precedence operator_precedence(Code code)
{
    return code_index().precedence[code];
}

}  // namespace tolvar
