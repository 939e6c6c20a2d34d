#include "decode/decoder.h"

#include <algorithm>
#include <cstring>

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

// A text parameter takes at most about this many bytes of a run of text;
// the rest of the run follows as text lines. (The compiler writes the two
// the same, and a longer parameter would not fit its line.)
constexpr int32_t MAX_TEXT_PARAM = 1000;

// The bytes of the longest expression a line can hold, and its eval code.
constexpr int32_t MAX_EVAL_SPAN = 5 * MAX_EXPR_NODES + 1;

// Steps of the search for one statement at most; only crafted input comes
// near.
constexpr int64_t MAX_STATEMENT_STEPS = 20000;

// Steps a statement is given when the file's budget is spent: enough for
// any statement that needs no backtracking to speak of.
constexpr int64_t SPENT_BUDGET_STEPS = 32;

// The file's budget: a start, and steps per byte. Realistic byte-code
// takes about one step in ten bytes, expressions alone about one a byte.
constexpr int64_t BUDGET_START = 4 * MAX_STATEMENT_STEPS;
constexpr int64_t BUDGET_PER_BYTE = 4;

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
    int64_t steps;            // left for this statement, shared by all its expressions
    DecodedStatement& first;  // the first reading found, when none fits what follows
    bool look_ahead;          // a reading of two must fit what follows
    bool found_first = false;
    bool two_ways = false;  // bytes met that read two ways
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
        m.st.nodes[node].row = row_of(m.code, code_byte);
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
    m.parts.two_ways =
        m.parts.two_ways || (c == CODE_INT16 && run == 1) || (c == CODE_INT32 && run <= 3);
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
    const CodeInfo* row = row_of(m.code, c);
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
    parts.two_ways = parts.two_ways ||
                     (b[pos] == CODE_INT32 && pos + 1 < code.size && is_variable_code(b[pos + 1]));
    if (b[pos] == CODE_INT32 && run_machine(parts, i, GOAL_DATA_VARIABLE, pos)) {
        return true;
    }
    if (pos + 1 >= code.size || !is_variable_code(b[pos + 1])) {
        return false;
    }
    int16_t node = new_node(parts.st, EXPR_VARIABLE, b[pos + 1], b[pos]);
    if (node >= 0) {
        parts.st.nodes[node].row = row_of(code, b[pos + 1]);
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
        int32_t end =
            wanted_here ? pos : text_run_end(code, pos, code.marks, MARK_WANTED, MAX_TEXT_PARAM);
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

// An expression of at most MAX_EXPR_NODES nodes of at most five bytes
// each, then its eval code: without that code within reach, no search.
bool eval_code_ahead(const ByteCode& code, int32_t pos)
{
    int32_t reach = code.size - pos < MAX_EVAL_SPAN ? code.size - pos : MAX_EVAL_SPAN;
    return std::memchr(code.bytes + pos, CODE_EVAL, static_cast<size_t>(reach)) != nullptr;
}

bool decode_one(const ByteCode& code, int32_t offset, DecodedStatement& st, Parts* outer);

// True when what follows a statement that ends at pos can begin an item
// of code: a 0 byte, a statement that decodes, a label, the end of the
// file, or a text that one of these follows (a text ends at a code byte,
// so a byte no item begins with after it shows the reading wrong).
bool followed_well(Parts& parts, int32_t pos)
{
    const ByteCode& code = parts.code;
    auto settled = [&](int32_t at) { return at >= code.size || stops_at(code.marks, MARK_WANTED, at); };
    if (settled(pos)) {
        return true;
    }
    uint8_t c = code.bytes[pos];
    if (c == '\t' || c == '\n' || c == '{' || is_plain_byte(c)) {
        int32_t end = text_run_end(code, pos, code.marks, MARK_WANTED, MAX_TEXT_PARAM);
        // The scan costs steps, so crafted runs of such choices stay cheap.
        parts.steps -= (end - pos) / 16;
        if (end == pos || end - pos >= MAX_TEXT_PARAM || settled(end) || code.bytes[end] == '{') {
            return true;
        }
        pos = end;
        c = code.bytes[pos];
    }
    if (c == 0) {
        return true;
    }
    DecodedStatement next;
    return parts.steps > 0 && decode_one(code, pos, next, &parts);
}

void keep_reading(DecodedStatement& to, const DecodedStatement& from)
{
    to.row = from.row;
    to.offset = from.offset;
    to.length = from.length;
    to.param_count = from.param_count;
    std::copy(from.params, from.params + 4, to.params);
    to.node_count = from.node_count;
    std::copy(from.nodes, from.nodes + from.node_count, to.nodes);
}

bool decode_parts(Parts& parts, int i, int32_t pos)
{
    if (i == parts.count) {
        // Where bytes read two ways, the reading that leaves bytes code can
        // go on with is the one a compile made; the first reading stands
        // when none does.
        parts.st.length = pos - parts.st.offset;
        if (!parts.look_ahead || !parts.two_ways || followed_well(parts, pos)) {
            return true;
        }
        if (!parts.found_first) {
            keep_reading(parts.first, parts.st);
            parts.found_first = true;
        }
        return false;
    }
    if (pos >= parts.code.size && parts.kinds[i] != TYPE_TEXT) {
        return false;
    }
    switch (parts.kinds[i]) {
    case TYPE_EVAL:
        return eval_code_ahead(parts.code, pos) && run_machine(parts, i, GOAL_EVAL, pos);
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

int32_t text_run_end(const ByteCode& code, int32_t offset, const uint8_t* marks, uint8_t stop_mask,
                     int32_t limit)
{
    const uint8_t* b = code.bytes;
    int32_t stop = limit < code.size - offset ? offset + limit : code.size;
    int32_t i = offset;
    while (i < stop) {
        if (TEXT_BYTES.text[b[i]]) {
            ++i;
        } else {
            int32_t end = b[i] == '{' ? region_end(code, i, marks, stop_mask) : -1;
            // A region that would take the run past its limit is left for
            // later, unless the run begins with it.
            if (end < 0 || (end > stop && i > offset)) {
                break;
            }
            i = end;
        }
        if (marks != nullptr && i < code.size && (marks[i] & stop_mask) != 0) {
            break;
        }
    }
    return i;
}

SearchBudget search_budget_for(int32_t size)
{
    SearchBudget budget;
    budget.credit = BUDGET_START + BUDGET_PER_BYTE * static_cast<int64_t>(size);
    return budget;
}

namespace {

// The parts of the statement whose row is given: the row's parameters, or
// for `decl` the variable, ":=" and the value. Returns how many.
int parts_of(const CodeInfo& row, ItemType* kinds)
{
    for (int i = 0; i < row.param_count; ++i) {
        kinds[i] = row.params[i].type;
    }
    if (row.code != CODE_DECL) {
        return row.param_count;
    }
    kinds[1] = TYPE_ASSIGN;
    kinds[2] = TYPE_EVAL;
    return 3;
}

}  // namespace

bool decode_statement(const ByteCode& code, int32_t offset, DecodedStatement& st)
{
    return decode_one(code, offset, st, nullptr);
}

namespace {

// Decodes the statement at offset. A statement decoded to look at what
// follows another (outer) takes its steps from the other's and looks no
// further itself; any other takes them from the file's budget.
bool decode_one(const ByteCode& code, int32_t offset, DecodedStatement& st, Parts* outer)
{
    const CodeInfo* row = row_of(code, code.bytes[offset]);
    if (row == nullptr || row->type != TYPE_STATEMENT) {
        return false;
    }
    st.row = row;
    st.offset = offset;
    st.node_count = 0;
    DecodedStatement first;  // filled only when a reading is found that nothing can follow
    Parts parts{code, st, {}, 0, MAX_STATEMENT_STEPS, first, outer == nullptr};
    parts.count = parts_of(*row, parts.kinds);
    SearchBudget* budget = outer == nullptr ? code.budget : nullptr;
    if (budget != nullptr) {
        int64_t credit = budget->credit > 0 ? budget->credit : 0;
        parts.steps =
            (credit < MAX_STATEMENT_STEPS ? credit : MAX_STATEMENT_STEPS) + SPENT_BUDGET_STEPS;
    }
    if (outer != nullptr) {
        parts.steps = outer->steps;
    }
    int64_t allowed = parts.steps;
    st.param_count = parts.count;
    bool decoded = decode_parts(parts, 0, offset + 1);
    if (!decoded && parts.found_first) {
        keep_reading(st, first);
        decoded = true;
    }
    if (outer != nullptr) {
        outer->steps = parts.steps;
    }
    if (budget != nullptr) {
        int64_t used = allowed - (parts.steps > 0 ? parts.steps : 0);
        budget->credit -= used;
        budget->steps_used += used;
    }
    return decoded;
}

}  // namespace

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

namespace {

int32_t node_length(ExprKind kind)
{
    switch (kind) {
    case EXPR_BYTE:
    case EXPR_VARIABLE:
        return 2;
    case EXPR_INT16:
        return 3;
    case EXPR_REF:
        return 5;
    default:
        return 1;
    }
}

bool put_count(ByteBuffer& forms, uint32_t value)
{
    char bytes[5];
    size_t count = 0;
    do {
        uint8_t low = value & 0x7F;
        value >>= 7;
        bytes[count++] = static_cast<char>(value != 0 ? (low | 0x80) : low);
    } while (value != 0);
    return buffer_append(forms, bytes, count);
}

uint32_t take_count(const uint8_t*& form)
{
    uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
        uint8_t byte = *form++;
        value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

// The node of the given kind whose bytes begin at p.
ExprNode node_at(const ByteCode& code, const uint8_t* p, ExprKind kind)
{
    ExprNode node{kind, CODE_NONE, nullptr, p[0], {-1, -1, -1, -1}};
    switch (kind) {
    case EXPR_BYTE:
        node.value = p[1];
        break;
    case EXPR_INT16:
        node.value = p[1] | p[2] << 8;
        break;
    case EXPR_REF:
        node.code = CODE_INT32;
        node.value = read_int32(p + 1);
        break;
    case EXPR_VARIABLE:
        node.code = p[1];
        node.row = row_of(code, p[1]);
        break;
    case EXPR_CALL:
    case EXPR_OPERATOR:
        node.code = p[0];
        node.row = row_of(code, p[0]);
        node.value = 0;
        break;
    case EXPR_LITERAL:
        break;
    }
    return node;
}

// Builds count nodes from the kinds in form, from pos on; returns the root.
int16_t rebuild_expression(const ByteCode& code, DecodedStatement& st, const uint8_t*& form,
                           uint32_t count, int32_t& pos)
{
    int16_t stack[MAX_EXPR_NODES];
    int depth = 0;
    for (uint32_t i = 0; i < count; ++i) {
        ExprKind kind = static_cast<ExprKind>(*form++);
        ExprNode node = node_at(code, code.bytes + pos, kind);
        if (kind == EXPR_CALL || kind == EXPR_OPERATOR) {
            int args = node.row->param_count;
            depth -= args;
            for (int a = 0; a < args; ++a) {
                node.args[a] = stack[depth + a];
            }
        }
        int16_t index = static_cast<int16_t>(st.node_count++);
        st.nodes[index] = node;
        stack[depth++] = index;
        pos += node_length(kind);
    }
    return stack[depth - 1];
}

}  // namespace

bool keep_form(const DecodedStatement& st, ByteBuffer& forms)
{
    int next_node = 0;
    for (int i = 0; i < st.param_count; ++i) {
        const DecodedParam& param = st.params[i];
        if (param.kind == TYPE_TEXT && !put_count(forms, static_cast<uint32_t>(param.length))) {
            return false;
        }
        if (param.kind == TYPE_DATA_OFFSET) {
            ++next_node;
        }
        if (param.kind != TYPE_EVAL && param.kind != TYPE_VARIABLE) {
            continue;
        }
        int count = param.expr - next_node + 1;
        if (!put_count(forms, static_cast<uint32_t>(count))) {
            return false;
        }
        for (; next_node <= param.expr; ++next_node) {
            char kind = static_cast<char>(st.nodes[next_node].kind);
            if (!buffer_append(forms, &kind, 1)) {
                return false;
            }
        }
    }
    return true;
}

void rebuild_statement(const ByteCode& code, int32_t offset, const uint8_t* form,
                       DecodedStatement& st)
{
    const uint8_t* b = code.bytes;
    st.row = row_of(code, b[offset]);
    st.offset = offset;
    st.node_count = 0;
    ItemType kinds[4];
    st.param_count = parts_of(*st.row, kinds);
    int32_t pos = offset + 1;
    for (int i = 0; i < st.param_count; ++i) {
        DecodedParam& param = st.params[i];
        param = DecodedParam{kinds[i], 0, 0, -1};
        switch (kinds[i]) {
        case TYPE_TEXT:
            param.value = pos;
            param.length = static_cast<int32_t>(take_count(form));
            pos += param.length;
            break;
        case TYPE_BYTE:
            param.value = b[pos++];
            break;
        case TYPE_INT32:
            param.kind = TYPE_LABEL;
            param.value = read_int32(b + pos);
            pos += 4;
            break;
        case TYPE_ASSIGN:
            ++pos;
            break;
        case TYPE_DATA_OFFSET:
            param.expr = static_cast<int16_t>(st.node_count++);
            st.nodes[param.expr] = node_at(code, b + pos, EXPR_REF);
            pos += 5;
            break;
        default: {  // an expression and its eval code, or a variable
            uint32_t count = take_count(form);
            param.expr = rebuild_expression(code, st, form, count, pos);
            pos += kinds[i] == TYPE_EVAL ? 1 : 0;
            break;
        }
        }
    }
    st.length = pos - offset;
}

}  // namespace tolvar
