#include "decode/decoder.h"

#include "decode/printer.h"
#include "front/text_literal.h"
#include "support/settings.h"

namespace tolvar {

namespace {

// Expressions are postfix, so a left-to-right reader meets a variable's
// index byte before the code that makes it one, and the index may look like
// any other code. In a run of $var/$str codes after a byte, the last one is
// always a code, the one before it its index, and so on leftwards: the
// run's length tells whether the byte before it is an index. Only an int16
// or int32 constant whose operand bytes begin such a run leaves a real
// choice. The reader backtracks over it, also from a later parameter of
// the statement that fails after an expression ended too early.

// Past this many variable codes in a row no line could hold the expression.
constexpr int MAX_VARIABLE_RUN = 2 * MAX_EXPR_NODES;

// Statements this short always fit a line (see decode_statement).
constexpr int32_t SURELY_FITS = 48;

// Steps of the search for one statement; only crafted input comes near.
constexpr int SEARCH_BUDGET = 20000;

bool is_variable_code(uint8_t c)
{
    return c == CODE_VAR || c == CODE_STR;
}

int32_t read_int32(const uint8_t* p)
{
    uint32_t value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                     static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(value);
}

// The parts of one statement after its code, in order: the row's
// parameters, or for `decl` the variable, ":=" and the value.
struct Parts {
    const ByteCode& code;
    DecodedStatement& st;
    ItemType kinds[4];
    int count;
    int steps = SEARCH_BUDGET;  // shared by every expression of the statement
};

// Decodes parts from index i at pos; true when the whole statement did.
bool decode_parts(Parts& parts, int i, int32_t pos);

enum Goal {
    GOAL_EVAL,          // an expression and CODE_EVAL
    GOAL_DATA_VARIABLE  // data(int32 label, expression), the variable of decl and input
};

struct Machine {
    Parts& parts;
    int part;  // the part the expression is
    Goal goal;
    const ByteCode& code;
    DecodedStatement& st;
    int depth = 0;
    int16_t stack[MAX_EXPR_NODES] = {};
};

// The expression ends at end with root: the rest of the statement follows.
bool expression_done(Machine& m, int16_t root, int32_t end)
{
    ItemType kind = m.goal == GOAL_EVAL ? TYPE_EVAL : TYPE_VARIABLE;
    m.st.params[m.part] = DecodedParam{kind, 0, 0, root};
    return decode_parts(m.parts, m.part + 1, end);
}

bool step(Machine& m, int32_t pos);

// Variable codes right after pos; -1 when too many for any line.
int variable_run(const ByteCode& code, int32_t pos)
{
    int run = 0;
    for (int32_t i = pos + 1; i < code.size && is_variable_code(code.bytes[i]); ++i) {
        if (++run > MAX_VARIABLE_RUN) {
            return -1;
        }
    }
    return run;
}

int16_t new_node(DecodedStatement& st, ExprKind kind, Code code_byte, int32_t value)
{
    if (st.node_count == MAX_EXPR_NODES) {
        return -1;
    }
    ExprNode& node = st.nodes[st.node_count];
    node = ExprNode{kind, code_byte, nullptr, value, {-1, -1, -1, -1}};
    return static_cast<int16_t>(st.node_count++);
}

// An operand of length bytes at pos, pushed; then the rest.
bool try_operand(Machine& m, int32_t pos, ExprKind kind, int32_t length)
{
    if (length > m.code.size - pos || m.depth == MAX_EXPR_NODES) {
        return false;
    }
    const uint8_t* p = m.code.bytes + pos;
    int32_t value = p[0];
    Code code_byte = CODE_NONE;
    if (kind == EXPR_BYTE) {
        value = p[1];
    } else if (kind == EXPR_INT16) {
        value = p[1] | p[2] << 8;
    } else if (kind == EXPR_REF) {
        value = read_int32(p + 1);
    } else if (kind == EXPR_VARIABLE) {
        code_byte = p[1];
    }
    int16_t node = new_node(m.st, kind, code_byte, value);
    if (node < 0) {
        return false;
    }
    if (kind == EXPR_VARIABLE) {
        m.st.nodes[node].row = row_for_code(code_byte, m.code.game);
    }
    m.stack[m.depth++] = node;
    if (step(m, pos + length)) {
        return true;
    }
    --m.depth;
    --m.st.node_count;
    return false;
}

// An operator or function code at pos: takes its arguments off the stack.
bool try_reduce(Machine& m, int32_t pos, const CodeInfo* row)
{
    int count = row->param_count;
    if (m.depth < count) {
        return false;
    }
    int16_t args[4] = {-1, -1, -1, -1};
    for (int i = 0; i < count; ++i) {
        args[i] = m.stack[m.depth - count + i];
        bool is_ref = m.st.nodes[args[i]].kind == EXPR_REF;
        if (is_ref != (row->params[i].type == TYPE_DATA_OFFSET)) {
            return false;
        }
    }
    ExprKind kind = row->type == TYPE_OPERATOR ? EXPR_OPERATOR : EXPR_CALL;
    int16_t node = new_node(m.st, kind, row->code, 0);
    if (node < 0) {
        return false;
    }
    m.st.nodes[node].row = row;
    for (int i = 0; i < 4; ++i) {
        m.st.nodes[node].args[i] = args[i];
    }
    m.depth -= count;
    m.stack[m.depth++] = node;
    // A data variable ends with the call whose reference is its first item;
    // nothing after it could make another.
    bool variable_ends = m.goal == GOAL_DATA_VARIABLE && row->code == CODE_DATA && m.depth == 1;
    if (variable_ends ? expression_done(m, node, pos + 1) : step(m, pos + 1)) {
        return true;
    }
    --m.depth;
    for (int i = 0; i < count; ++i) {
        m.stack[m.depth++] = args[i];
    }
    --m.st.node_count;
    return false;
}

// pos is followed by an odd run of variable codes: an index, unless an
// int16 or int32 constant's operands swallow the run's start.
bool step_before_variable(Machine& m, int32_t pos, int run)
{
    uint8_t c = m.code.bytes[pos];
    if (c == CODE_INT16 && run == 1 && try_operand(m, pos, EXPR_INT16, 3)) {
        return true;
    }
    if (c == CODE_INT32 && run <= 3 && try_operand(m, pos, EXPR_REF, 5)) {
        return true;
    }
    // `byte` and an index both take two bytes and leave one operand: the
    // rest of the search is the same, so one of them is enough.
    return try_operand(m, pos, c == CODE_BYTE ? EXPR_BYTE : EXPR_VARIABLE, 2);
}

bool step(Machine& m, int32_t pos)
{
    if (--m.parts.steps < 0 || pos >= m.code.size) {
        return false;
    }
    uint8_t c = m.code.bytes[pos];
    int run = variable_run(m.code, pos);
    if (run < 0) {
        return false;
    }
    if (run % 2 == 1) {
        return step_before_variable(m, pos, run);
    }
    if (is_small_literal(c)) {
        return try_operand(m, pos, EXPR_LITERAL, 1);
    }
    switch (c) {
    case CODE_EVAL:
        if (m.goal != GOAL_EVAL || m.depth != 1 || m.st.nodes[m.stack[0]].kind == EXPR_REF) {
            return false;
        }
        return expression_done(m, m.stack[0], pos + 1);
    case CODE_BYTE:
        return try_operand(m, pos, EXPR_BYTE, 1 + operand_size(TYPE_BYTE));
    case CODE_INT16:
        return try_operand(m, pos, EXPR_INT16, 1 + operand_size(TYPE_INT16));
    case CODE_INT32:
        return try_operand(m, pos, EXPR_REF, 1 + operand_size(TYPE_INT32));
    default:
        break;
    }
    const CodeInfo* row = row_for_code(c, m.code.game);
    if (row == nullptr || is_variable_code(c) ||
        (row->type != TYPE_OPERATOR && row->type != TYPE_FUNCTION)) {
        return false;
    }
    return try_reduce(m, pos, row);
}

bool run_machine(Parts& parts, int part, Goal goal, int32_t pos)
{
    Machine m{parts, part, goal, parts.code, parts.st};
    return step(m, pos);
}

bool stops_at(const uint8_t* marks, uint8_t stop_mask, int32_t offset)
{
    return marks != nullptr && (marks[offset] & stop_mask) != 0;
}

// Puts the node made for part i in its place and decodes the rest from
// pos; the node is given back when the rest fails.
bool node_then_rest(Parts& parts, int i, ItemType kind, int16_t node, int32_t pos)
{
    if (node < 0) {
        return false;
    }
    parts.st.params[i] = DecodedParam{kind, 0, 0, node};
    if (decode_parts(parts, i + 1, pos)) {
        return true;
    }
    --parts.st.node_count;
    return false;
}

// $var[n], $str[n] or data(int32 label, expression).
bool decode_variable(Parts& parts, int i, int32_t pos)
{
    const ByteCode& code = parts.code;
    const uint8_t* b = code.bytes;
    if (b[pos] == CODE_INT32 && run_machine(parts, i, GOAL_DATA_VARIABLE, pos)) {
        return true;
    }
    if (pos + 1 >= code.size || !is_variable_code(b[pos + 1])) {
        return false;
    }
    int16_t node = new_node(parts.st, EXPR_VARIABLE, b[pos + 1], b[pos]);
    if (node >= 0) {
        parts.st.nodes[node].row = row_for_code(b[pos + 1], code.game);
    }
    return node_then_rest(parts, i, TYPE_VARIABLE, node, pos + 2);
}

// A data reference: int32 and the offset it names.
bool decode_data_ref(Parts& parts, int i, int32_t pos)
{
    const uint8_t* b = parts.code.bytes;
    if (parts.code.size - pos < 5 || b[pos] != CODE_INT32) {
        return false;
    }
    int16_t node = new_node(parts.st, EXPR_REF, CODE_INT32, read_int32(b + pos + 1));
    return node_then_rest(parts, i, TYPE_DATA_OFFSET, node, pos + 5);
}

// The parts whose length the bytes alone decide.
bool decode_fixed(Parts& parts, int i, int32_t pos)
{
    const ByteCode& code = parts.code;
    const uint8_t* b = code.bytes;
    int32_t left = code.size - pos;
    DecodedParam& param = parts.st.params[i];
    switch (parts.kinds[i]) {
    case TYPE_TEXT: {
        // A label can't stand inside the statement, not even right after
        // its code: the text ends before it.
        bool wanted_here = stops_at(code.marks, MARK_WANTED, pos);
        int32_t end = wanted_here ? pos : text_run_end(code, pos, code.marks, MARK_WANTED);
        param = DecodedParam{TYPE_TEXT, pos, end - pos, -1};
        return decode_parts(parts, i + 1, end);
    }
    case TYPE_BYTE:
        param = DecodedParam{TYPE_BYTE, left >= 1 ? b[pos] : 0, 0, -1};
        return left >= 1 && decode_parts(parts, i + 1, pos + 1);
    case TYPE_INT32:
        param = DecodedParam{TYPE_LABEL, left >= 4 ? read_int32(b + pos) : 0, 0, -1};
        return left >= 4 && decode_parts(parts, i + 1, pos + 4);
    case TYPE_ASSIGN:
        param = DecodedParam{TYPE_ASSIGN, 0, 0, -1};
        return left >= 1 && b[pos] == CODE_ASSIGN && decode_parts(parts, i + 1, pos + 1);
    default:
        return false;
    }
}

bool decode_parts(Parts& parts, int i, int32_t pos)
{
    if (i == parts.count) {
        parts.st.length = pos - parts.st.offset;
        return true;
    }
    if (pos >= parts.code.size && parts.kinds[i] != TYPE_TEXT) {
        return false;
    }
    switch (parts.kinds[i]) {
    case TYPE_EVAL:
        return run_machine(parts, i, GOAL_EVAL, pos);
    case TYPE_VARIABLE:
        return decode_variable(parts, i, pos);
    case TYPE_DATA_OFFSET:
        return decode_data_ref(parts, i, pos);
    default:
        return decode_fixed(parts, i, pos);
    }
}

// The stored bytes a literal writes as they stand or with an escape.
constexpr bool is_text_byte(unsigned char c)
{
    return c == '\t' || c == '\n' || is_plain_byte(c);
}

// The same as a table: runs of text are most of a script's bytes.
struct TextByteTable {
    bool text[256] = {};
    constexpr TextByteTable()
    {
        for (int c = 0; c < 256; ++c) {
            text[c] = is_text_byte(static_cast<unsigned char>(c));
        }
    }
};

constexpr TextByteTable TEXT_BYTES;

// The end of the region that opens at pos, or -1 when it does not close
// before a byte a region can't hold, or holds a stop.
int32_t region_end(const ByteCode& code, int32_t pos, const uint8_t* marks, uint8_t stop_mask)
{
    const uint8_t* b = code.bytes;
    bool kana_ok = code.texts_apart || game_prints_kana(code.game);
    for (int32_t i = pos + 1; i < code.size; ++i) {
        if (stops_at(marks, stop_mask, i)) {
            return -1;
        }
        uint8_t c = b[i];
        if (c == '}') {
            return i + 1;
        }
        if (is_lead_byte(c) && i + 1 < code.size && is_trail_byte(b[i + 1])) {
            if (stops_at(marks, stop_mask, i + 1)) {
                return -1;
            }
            ++i;
        } else if (!is_text_byte(c) && !(c == HANKAKU_KANA && kana_ok)) {
            return -1;
        }
    }
    return -1;
}

}  // namespace

int32_t text_run_end(const ByteCode& code, int32_t offset, const uint8_t* marks, uint8_t stop_mask)
{
    const uint8_t* b = code.bytes;
    int32_t i = offset;
    while (i < code.size) {
        if (i > offset && stops_at(marks, stop_mask, i)) {
            break;
        }
        if (TEXT_BYTES.text[b[i]]) {
            ++i;
            continue;
        }
        uint8_t c = b[i];
        int32_t end = c == '{' ? region_end(code, i, marks, stop_mask) : -1;
        if (end < 0) {
            break;
        }
        i = end;
    }
    return i;
}

bool decode_statement(const ByteCode& code, int32_t offset, DecodedStatement& st)
{
    const CodeInfo* row = row_for_code(code.bytes[offset], code.game);
    if (row == nullptr || row->type != TYPE_STATEMENT) {
        return false;
    }
    st.row = row;
    st.offset = offset;
    st.node_count = 0;
    Parts parts{code, st, {}, row->param_count};
    for (int i = 0; i < row->param_count; ++i) {
        parts.kinds[i] = row->params[i].type;
    }
    if (row->code == CODE_DECL) {
        parts.kinds[1] = TYPE_ASSIGN;
        parts.kinds[2] = TYPE_EVAL;
        parts.count = 3;
    }
    st.param_count = parts.count;
    if (!decode_parts(parts, 0, offset + 1)) {
        return false;
    }
    // No byte gives more than five tokens or sixteen characters of script,
    // so a short statement fits without measuring it.
    return st.length <= SURELY_FITS || statement_fits_line(code, st);
}

int statement_refs(const DecodedStatement& st, int32_t* refs, int max)
{
    int count = 0;
    for (int i = 0; i < st.param_count; ++i) {
        if (st.params[i].kind == TYPE_LABEL && count < max) {
            refs[count++] = st.params[i].value;
        }
    }
    for (int i = 0; i < st.node_count; ++i) {
        if (st.nodes[i].kind == EXPR_REF && count < max) {
            refs[count++] = st.nodes[i].value;
        }
    }
    return count;
}

}  // namespace tolvar
