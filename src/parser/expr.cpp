#include "parser/expr.h"

#include <cstring>

#include "driver/diag.h"
#include "driver/settings.h"
#include "front/tokenizer.h"

namespace tolvar {

namespace {

int expr_op_level = 0;
int op_hier_level = 0;
int expr_level = 0;

constexpr uint32_t CODE_MINUS = 0x91;
constexpr uint32_t CODE_VAR = 0xB2;
constexpr uint32_t CODE_STR = 0xB3;
constexpr uint32_t CODE_INT32 = 0xD2;
constexpr uint8_t CODE_EVAL = 0xA7;

bool token_is(const Token* tokens, int count, int pos, ItemType type)
{
    return pos < count && tokens[pos].type == type;
}

Inst* new_expr_node(int32_t line, InstPtr& owner)
{
    Inst* node = inst_new(line, -1, nullptr, nullptr);
    owner.reset(node);
    return node;
}

// Group of an operator for the precedence scan: 0 logical (loosest),
// 1 comparison, 2 additive, 3 multiplicative.
int precedence_group(uint32_t code)
{
    if (code == 0x94 || code == 0x95) {
        return 0;
    }
    if (code >= 0x81 && code <= 0x86) {
        return 1;
    }
    if (code == 0x90 || code == 0x91) {
        return 2;
    }
    return 3;
}

int eval_body(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
              int64_t& offset)
{
    int p = pos;
    int64_t off = offset;
    if (p >= count) {
        report_error(1567, "line %d: syntax error\n", line);
        return -1;
    }
    if (tokens[p].type == TYPE_EVAL) {
        ++p;
    } else if (implicit_eval == 0) {
        report_error(1576, "line %d: 'eval' not found\n", line);
        return -1;
    } else if (verbose_level >= 1) {
        report_warning(1580, "line %d: 'eval' not found ... corrected\n", line);
    }
    Inst* node = new_expr_node(line, result);
    if (node == nullptr) {
        return -1;
    }
    node->type = TYPE_EVAL;
    node->code = CODE_EVAL;
    node->param_count = 1;
    node->params[0].type = TYPE_EXPR;
    if (parse_expr_op(line, node->params[0].node, tokens, count, p, off) < 0) {
        report_error(1593, "line %d: parse expr error\n", line);
        return -1;
    }
    off += 1;  // the closing 0xA7
    pos = p;
    offset = off;
    return 0;
}

int expr_op_body(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
                 int64_t& offset)
{
    InstPtr operands[MAX_EXPR_OPERANDS];
    InstPtr operators[MAX_EXPR_OPERANDS - 1];
    int n = 0;
    int p = pos;
    int64_t off = offset;
    for (;;) {
        if (parse_expr(line, operands[n], tokens, count, p, off) < 0) {
            report_error(1634, "line %d: parse expr error\n", line);
            return -1;
        }
        ++n;
        if (!token_is(tokens, count, p, TYPE_OPERATOR)) {
            break;
        }
        if (n == MAX_EXPR_OPERANDS) {
            report_error(1629, "BUG: line %d: too many expr\n", line);
            return -1;
        }
        Inst* op = new_expr_node(line, operators[n - 1]);
        if (op == nullptr) {
            return -1;
        }
        op->type = TYPE_OPERATOR;
        op->code = static_cast<uint8_t>(tokens[p].code);
        op->param_count = 2;
        op->params[0].type = TYPE_EXPR;
        op->params[1].type = TYPE_EXPR;
        ++p;
        off += 1;
    }
    InstPtr root;
    if (n == 1) {
        root = std::move(operands[0]);
    } else if (make_op_hier(root, operands, operators, 0, n - 1) < 0) {
        report_error(1664, "line %d: can't make op hierarchy: start=%d, end=%d\n", line, 0, n - 1);
        return -1;
    }
    result = std::move(root);
    pos = p;
    offset = off;
    return 0;
}

int op_hier_body(InstPtr& result, InstPtr* operands, InstPtr* operators, int start, int end)
{
    if (end - start == 1) {
        Inst* op = operators[start].get();
        op->params[0].node = std::move(operands[start]);
        op->params[1].node = std::move(operands[end]);
        if (verbose_level >= 1) {
            report_info("make_op_hier: code=%02X, start=%d, end=%d\n", op->code, start, end);
        }
        result = std::move(operators[start]);
        return 0;
    }
    // The root is the right-most operator of the loosest group in range,
    // which makes every group left-associative.
    int found = -1;
    int best_group = 4;
    for (int i = end - 1; i >= start; --i) {
        int group = precedence_group(operators[i]->code);
        if (group == 0) {
            found = i;
            break;
        }
        if (group < best_group) {
            found = i;
            best_group = group;
        }
    }
    if (found < 0) {
        report_error(1754, "BUG: can't find op\n");
        return -1;
    }
    InstPtr root = std::move(operators[found]);
    if (verbose_level >= 1) {
        report_info("make_op_hier: code=%02X, start=%d, found=%d, end=%d\n", root->code, start,
                    found, end);
    }
    if (found == start) {
        root->params[0].node = std::move(operands[start]);
    } else if (make_op_hier(root->params[0].node, operands, operators, start, found) < 0) {
        report_error(1769, "can't make op hierarchy: left side, start=%d, end=%d\n", start, found);
        return -1;
    }
    if (found + 1 == end) {
        root->params[1].node = std::move(operands[end]);
    } else if (make_op_hier(root->params[1].node, operands, operators, found + 1, end) < 0) {
        report_error(1779, "can't make op hierarchy: right side, start=%d, end=%d\n", found + 1,
                     end);
        return -1;
    }
    result = std::move(root);
    return 0;
}

const DataRefCodes argument_ref_codes = {1975, 1957, 1961, 1969};

// One argument of a function call or sized constant, by its kind.
int read_argument(int32_t line, Inst* node, int i, const Token* tokens, int count, int& p,
                  int64_t& off)
{
    const char* name = node->info->text;
    ItemType kind = node->params[i].type;
    const Token& token = tokens[p];
    switch (kind) {
    case TYPE_BYTE:
        if (token.type != TYPE_INT32) {
            report_error(1915, "line %d: syntax error: %s parameter %d\n", line, name, i + 1);
            return -1;
        }
        if (static_cast<uint32_t>(token.number) > 255) {
            report_error(1893, "line %d: byte value overflow: %s parameter %d\n", line, name,
                         i + 1);
            return -1;
        }
        node->params[i].value = token.number;
        ++p;
        off += 1;
        return 0;
    case TYPE_INT16:
        if (token.type == TYPE_INT32) {
            if (static_cast<uint32_t>(token.number) > 65535) {
                report_error(1921, "line %d: byte value overflow: %s parameter %d\n", line, name,
                             i + 1);
                return -1;
            }
            node->params[i].value = token.number;
            ++p;
        } else if (token.type == TYPE_OPERATOR && token.code == CODE_MINUS &&
                   token_is(tokens, count, p + 1, TYPE_INT32)) {
            uint32_t magnitude = static_cast<uint32_t>(tokens[p + 1].number);
            if (magnitude > 32768) {
                report_error(1933, "line %d: byte value overflow: %s parameter %d\n", line, name,
                             i + 1);
                return -1;
            }
            node->params[i].value = static_cast<int32_t>((65536 - magnitude) % 65536);
            p += 2;
        } else {
            report_error(1941, "line %d: syntax error: %s parameter %d\n", line, name, i + 1);
            return -1;
        }
        off += 2;
        return 0;
    case TYPE_DATA_OFFSET:
        return parse_data_ref(line, node->params[i].node, tokens, count, p, off, name, i + 1,
                              argument_ref_codes);
    case TYPE_EXPR:
        if (parse_expr_op(line, node->params[i].node, tokens, count, p, off) < 0) {
            report_error(1980, "line %d: parse expr error\n", line);
            return -1;
        }
        return 0;
    default:
        report_error(1984, "BUG: code_info[%s(%02X)].params[%d].type=%d\n", name, node->code, i,
                     kind);
        return -1;
    }
}

// A function call, a variable or a sized constant; the keyword is at p.
int keyword_operand(int32_t line, InstPtr& result, const Token* tokens, int count, int& p,
                    int64_t& off)
{
    const Token& keyword = tokens[p];
    const CodeInfo* row = keyword.info;
    Inst* node = new_expr_node(line, result);
    if (node == nullptr) {
        return -1;
    }
    node->type = keyword.type;
    node->code = static_cast<uint8_t>(keyword.code);
    node->info = row;
    node->param_count = row->param_count;
    ++p;

    if (keyword.type == TYPE_FUNCTION && (keyword.code == CODE_VAR || keyword.code == CODE_STR)) {
        if (!token_is(tokens, count, p, TYPE_LBRACKET) ||
            !token_is(tokens, count, p + 1, TYPE_INT32) ||
            !token_is(tokens, count, p + 2, TYPE_RBRACKET)) {
            report_error(1856, "line %d: syntax error: %s\n", line, row->text);
            return -1;
        }
        int32_t index = tokens[p + 1].number;
        if (static_cast<uint32_t>(index) > 255) {
            report_error(1848, "line %d: %s index overflow: index=%d\n", line, row->text, index);
            return -1;
        }
        node->params[0].type = TYPE_BYTE;
        node->params[0].value = index;
        p += 3;
        off += 2;
        return 0;
    }

    bool call = keyword.type == TYPE_FUNCTION;
    if (call) {
        if (!token_is(tokens, count, p, TYPE_LPAREN)) {
            report_error(1864, "line %d: '(' not found\n", line);
            return -1;
        }
        ++p;
    }
    off += 1;  // the code byte
    for (int i = 0; i < node->param_count; ++i) {
        node->params[i].type = row->params[i].type;
        if (i != 0) {
            if (p >= count) {
                report_error(1876, "line %d: syntax error: %s parameter %d\n", line, row->text,
                             i + 1);
                return -1;
            }
            if (tokens[p].type != TYPE_COMMA) {
                report_error(1880, "line %d: syntax error: %s parameter %d\n", line, row->text, i);
                return -1;
            }
            ++p;
        }
        if (p >= count) {
            report_error(1886, "line %d: syntax error: %s parameter %d\n", line, row->text, i + 1);
            return -1;
        }
        if (read_argument(line, node, i, tokens, count, p, off) < 0) {
            return -1;
        }
    }
    if (call) {
        if (!token_is(tokens, count, p, TYPE_RPAREN)) {
            report_error(1991, "line %d: ')' not found\n", line);
            return -1;
        }
        ++p;
    }
    return 0;
}

int expr_body(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
              int64_t& offset)
{
    int p = pos;
    int64_t off = offset;
    if (p >= count) {
        report_error(1810, "line %d: syntax error\n", line);
        return -1;
    }
    const Token& token = tokens[p];
    if (token.type == TYPE_LPAREN) {
        ++p;
        if (parse_expr_op(line, result, tokens, count, p, off) < 0) {
            report_error(1818, "line %d: parse expr error\n", line);
            return -1;
        }
        if (!token_is(tokens, count, p, TYPE_RPAREN)) {
            report_error(1823, "line %d: ')' not found\n", line);
            return -1;
        }
        ++p;
    } else if (token.type == TYPE_FUNCTION || token.type == TYPE_CONST) {
        if (keyword_operand(line, result, tokens, count, p, off) < 0) {
            return -1;
        }
    } else if (token.type == TYPE_INT32 &&
               (token.number == 0 || token.number == 1 || token.number == 8)) {
        Inst* node = new_expr_node(line, result);
        if (node == nullptr) {
            return -1;
        }
        node->type = TYPE_BYTE;
        node->param_count = 1;
        node->params[0].type = TYPE_BYTE;
        node->params[0].value = token.number;
        ++p;
        off += 1;
    } else {
        report_error(2101, "line %d: syntax error\n", line);
        return -1;
    }
    pos = p;
    offset = off;
    return 0;
}

}  // namespace

int parse_eval(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
               int64_t& offset)
{
    if (verbose_level >= 2) {
        report_info("parse_eval: START\n");
    }
    int rc = eval_body(line, result, tokens, count, pos, offset);
    if (verbose_level >= 2) {
        report_info("parse_eval: END\n");
    }
    return rc;
}

int parse_expr_op(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
                  int64_t& offset)
{
    DepthTrace trace("parse_expr_op", expr_op_level);
    return expr_op_body(line, result, tokens, count, pos, offset);
}

int make_op_hier(InstPtr& result, InstPtr* operands, InstPtr* operators, int start, int end)
{
    DepthTrace trace("make_op_hier", op_hier_level);
    return op_hier_body(result, operands, operators, start, end);
}

int parse_expr(int32_t line, InstPtr& result, const Token* tokens, int count, int& pos,
               int64_t& offset)
{
    DepthTrace trace("parse_expr", expr_level);
    return expr_body(line, result, tokens, count, pos, offset);
}

int parse_data_ref(int32_t line, InstPtr& slot, const Token* tokens, int count, int& pos,
                   int64_t& offset, const char* shown_name, int param_no,
                   const DataRefCodes& codes)
{
    int p = pos;
    bool has_int32 = p < count && tokens[p].type == TYPE_CONST && tokens[p].code == CODE_INT32;
    int name_pos = has_int32 ? p + 1 : p;
    if (!token_is(tokens, count, name_pos, TYPE_LABEL)) {
        report_error(codes.syntax, "line %d: syntax error: %s parameter %d\n", line, shown_name,
                     param_no);
        return -1;
    }
    Inst* node = new_expr_node(line, slot);
    if (node == nullptr) {
        return -1;
    }
    node->type = TYPE_CONST;
    node->code = CODE_INT32;
    if (!has_int32) {
        if (implicit_int32 == 0) {
            report_error(codes.missing_int32, "line %d: 'int32' not found: %s parameter %d\n", line,
                         shown_name, param_no);
            return -1;
        }
        if (verbose_level >= 1) {
            report_warning(codes.corrected,
                           "line %d: 'int32' not found ... corrected: %s parameter %d\n", line,
                           shown_name, param_no);
        }
    }
    const char* label = tokens[name_pos].text.get();
    node->param_count = 1;
    node->params[0].type = TYPE_LABEL;
    node->params[0].text = str_copy(label);
    if (!node->params[0].text) {
        report_error(codes.memory, "memory exhausted! (size=%lu)\n",
                     static_cast<unsigned long>(std::strlen(label) + 1));
        return -1;
    }
    pos = name_pos + 1;
    offset += 5;  // 0xD2 and the 32-bit offset
    return 0;
}

}  // namespace tolvar
