#include "parser/expr.h"

#include <cstring>

#include "front/tokenizer.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

namespace {

Inst* new_expr_node(int32_t line, InstPtr& owner)
{
    Inst* node = inst_new(line, -1, nullptr, nullptr);
    owner.reset(node);
    return node;
}

int eval_body(TokenCursor& cur, InstPtr& result)
{
    TokenCursor c = cur;
    if (!tokens_left(c)) {
        syntax_error(c, 1567);
        return -1;
    }
    if (c.tokens[c.pos].type == TYPE_EVAL) {
        ++c.pos;
    } else if (implicit_eval == 0) {
        diag_at(token_location(c, c.pos));
        diag_say("an expression begins with 'eval'");
        report_error(1576, "line %d: 'eval' not found\n", c.line);
        return -1;
    } else if (verbose_level >= 1) {
        diag_at(token_location(c, c.pos));
        diag_say("'eval' taken as written before the expression");
        report_warning(1580, "line %d: 'eval' not found ... corrected\n", c.line);
    }
    Inst* node = new_expr_node(c.line, result);
    if (node == nullptr) {
        return -1;
    }
    node->type = TYPE_EVAL;
    node->code = CODE_EVAL;
    node->param_count = 1;
    node->params[0].type = TYPE_EXPR;
    if (parse_expr_op(c, node->params[0].node) < 0) {
        report_error(1593, "line %d: parse expr error\n", c.line);
        return -1;
    }
    c.offset += 1;  // the closing CODE_EVAL
    cur = c;
    return 0;
}

// Operators and the operands after them; first is the operand before the
// first operator, which c stands at. Apart so that the common single
// operand doesn't pay for the operand arrays.
int operator_chain(TokenCursor& cur, TokenCursor& c, InstPtr first, InstPtr& result)
{
    InstPtr operands[MAX_EXPR_OPERANDS];
    InstPtr operators[MAX_EXPR_OPERANDS - 1];
    operands[0] = std::move(first);
    int n = 1;
    do {
        if (n == MAX_EXPR_OPERANDS) {
            report_error(1629, "BUG: line %d: too many expr\n", c.line);
            return -1;
        }
        Inst* op = new_expr_node(c.line, operators[n - 1]);
        if (op == nullptr) {
            return -1;
        }
        op->type = TYPE_OPERATOR;
        op->code = c.tokens[c.pos].code;
        op->param_count = 2;
        op->params[0].type = TYPE_EXPR;
        op->params[1].type = TYPE_EXPR;
        ++c.pos;
        c.offset += 1;
        if (parse_expr(c, operands[n]) < 0) {
            report_error(1634, "line %d: parse expr error\n", c.line);
            return -1;
        }
        ++n;
    } while (token_at(c, TYPE_OPERATOR));
    InstPtr root;
    if (make_op_hier(c.op_hier_depth, root, operands, operators, 0, n - 1) < 0) {
        report_error(1664, "line %d: can't make op hierarchy: start=%d, end=%d\n", c.line, 0,
                     n - 1);
        return -1;
    }
    result = std::move(root);
    cur = c;
    return 0;
}

int expr_op_body(TokenCursor& cur, InstPtr& result)
{
    TokenCursor c = cur;
    InstPtr first;
    if (parse_expr(c, first) < 0) {
        report_error(1634, "line %d: parse expr error\n", c.line);
        return -1;
    }
    if (token_at(c, TYPE_OPERATOR)) {
        return operator_chain(cur, c, std::move(first), result);
    }
    result = std::move(first);
    cur = c;
    return 0;
}

int op_hier_body(int& depth, InstPtr& result, InstPtr* operands, InstPtr* operators, int start,
                 int end)
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
    int best = PREC_MUL + 1;
    for (int i = end - 1; i >= start; --i) {
        int precedence = operator_precedence(operators[i]->code);
        if (precedence == PREC_LOGICAL) {  // nothing binds looser
            found = i;
            break;
        }
        if (precedence < best) {
            found = i;
            best = precedence;
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
    } else if (make_op_hier(depth, root->params[0].node, operands, operators, start, found) < 0) {
        report_error(1769, "can't make op hierarchy: left side, start=%d, end=%d\n", start, found);
        return -1;
    }
    if (found + 1 == end) {
        root->params[1].node = std::move(operands[end]);
    } else if (make_op_hier(depth, root->params[1].node, operands, operators, found + 1, end) < 0) {
        report_error(1779, "can't make op hierarchy: right side, start=%d, end=%d\n", found + 1,
                     end);
        return -1;
    }
    result = std::move(root);
    return 0;
}

const DataRefCodes argument_ref_codes = {1975, 1957, 1961, 1969};

// One argument of a function call or sized constant, by its kind.
int read_argument(TokenCursor& c, Inst* node, int i)
{
    const char* name = node->info->text;
    ItemType kind = node->params[i].type;
    const Token& token = c.tokens[c.pos];
    switch (kind) {
    case TYPE_BYTE:
        if (token.type != TYPE_INT32) {
            param_syntax_error(c, 1915, false, name, i + 1);
            return -1;
        }
        if (static_cast<uint32_t>(token.number) > 255) {
            diag_at(token_location(c, c.pos));
            diag_say("%d does not fit in a byte (0 to 255): argument %d of %s", token.number,
                     i + 1, name);
            report_error(1893, "line %d: byte value overflow: %s parameter %d\n", c.line, name,
                         i + 1);
            return -1;
        }
        node->params[i].value = token.number;
        ++c.pos;
        c.offset += 1;
        return 0;
    case TYPE_INT16: {
        bool negative = token.type == TYPE_OPERATOR && token.code == CODE_SUB;
        switch (read_signed_number(c, 16, &node->params[i].value)) {
        case SIGNED_OK:
            c.offset += operand_size(TYPE_INT16);
            return 0;
        case SIGNED_OVERFLOW:
            diag_at(token_location(c, c.pos));
            diag_say("the number does not fit in 16 bits (-32768 to 65535): argument %d of %s",
                     i + 1, name);
            report_error(negative ? 1933 : 1921, "line %d: byte value overflow: %s parameter %d\n",
                         c.line, name, i + 1);
            return -1;
        case SIGNED_MINUS_ALONE:
        case SIGNED_NOT_NUMBER:
            param_syntax_error(c, 1941, false, name, i + 1);
            return -1;
        }
        return -1;
    }
    case TYPE_DATA_OFFSET:
        return parse_data_ref(c, node->params[i].node, name, i + 1, argument_ref_codes);
    case TYPE_EXPR:
        if (parse_expr_op(c, node->params[i].node) < 0) {
            report_error(1980, "line %d: parse expr error\n", c.line);
            return -1;
        }
        return 0;
    default:
        report_error(1984, "BUG: code_info[%s(%02X)].params[%d].type=%d\n", name, node->code, i,
                     kind);
        return -1;
    }
}

// The "[" number "]" after $var or $str (at pos).
int variable_index(TokenCursor& c, Inst* node)
{
    const char* name = node->info->text;
    if (!token_at(c, TYPE_LBRACKET) || !token_at(c, TYPE_INT32, 1) ||
        !token_at(c, TYPE_RBRACKET, 2)) {
        point_at_token(c, c.pos, nullptr);
        diag_say("%s is written %s[N], N a number from 0 to 255", name, name);
        report_error(1856, "line %d: syntax error: %s\n", c.line, name);
        return -1;
    }
    int32_t index = c.tokens[c.pos + 1].number;
    if (static_cast<uint32_t>(index) > 255) {
        diag_at(token_location(c, c.pos + 1));
        diag_say("%s[%d]: the index is 0 to 255", name, index);
        report_error(1848, "line %d: %s index overflow: index=%d\n", c.line, name, index);
        return -1;
    }
    node->params[0].type = TYPE_BYTE;
    node->params[0].value = index;
    c.pos += 3;
    c.offset += 2;
    return 0;
}

// A function call, a variable or a sized constant; the keyword is at pos.
int keyword_operand(TokenCursor& c, InstPtr& result)
{
    const Token& keyword = c.tokens[c.pos];
    const CodeInfo* row = keyword.info;
    Inst* node = new_expr_node(c.line, result);
    if (node == nullptr) {
        return -1;
    }
    node->type = keyword.type;
    node->code = keyword.code;
    node->info = row;
    node->param_count = row->param_count;
    ++c.pos;

    if (keyword.type == TYPE_FUNCTION && (keyword.code == CODE_VAR || keyword.code == CODE_STR)) {
        return variable_index(c, node);
    }
    bool call = keyword.type == TYPE_FUNCTION;
    if (call) {
        if (!token_at(c, TYPE_LPAREN)) {
            point_at_token(c, c.pos, nullptr);
            diag_say("'(' expected after %s", keyword.info->text);
            report_error(1864, "line %d: '(' not found\n", c.line);
            return -1;
        }
        ++c.pos;
    }
    c.offset += 1;  // the code byte
    if (read_param_list(c, node, row, {1876, 1880, 1886, false}, read_argument) < 0) {
        return -1;
    }
    if (call) {
        if (!token_at(c, TYPE_RPAREN)) {
            point_at_token(c, c.pos, nullptr);
            diag_say("')' expected to close the arguments of %s", keyword.info->text);
            report_error(1991, "line %d: ')' not found\n", c.line);
            return -1;
        }
        ++c.pos;
    }
    return 0;
}

int expr_body(TokenCursor& cur, InstPtr& result)
{
    TokenCursor c = cur;
    if (!tokens_left(c)) {
        syntax_error(c, 1810);
        return -1;
    }
    const Token& token = c.tokens[c.pos];
    if (token.type == TYPE_LPAREN) {
        ++c.pos;
        if (parse_expr_op(c, result) < 0) {
            report_error(1818, "line %d: parse expr error\n", c.line);
            return -1;
        }
        if (!token_at(c, TYPE_RPAREN)) {
            point_at_token(c, c.pos, nullptr);
            diag_say("')' expected to close the '(' at column %d", token_location(c, cur.pos).column);
            report_error(1823, "line %d: ')' not found\n", c.line);
            return -1;
        }
        ++c.pos;
    } else if (token.type == TYPE_FUNCTION || token.type == TYPE_CONST) {
        if (keyword_operand(c, result) < 0) {
            return -1;
        }
    } else if (token.type == TYPE_INT32 && is_small_literal(token.number)) {
        Inst* node = new_expr_node(c.line, result);
        if (node == nullptr) {
            return -1;
        }
        node->type = TYPE_BYTE;
        node->param_count = 1;
        node->params[0].type = TYPE_BYTE;
        node->params[0].value = token.number;
        ++c.pos;
        c.offset += 1;
    } else {
        point_at_token(c, c.pos, "an expression");
        if (token.type == TYPE_INT32) {
            diag_say("%d stands alone only as 0, 1 or 8: write 'byte %d' or 'int16 %d'",
                     token.number, token.number, token.number);
        }
        report_error(2101, "line %d: syntax error\n", c.line);
        return -1;
    }
    cur = c;
    return 0;
}

}  // namespace

int parse_eval(TokenCursor& cur, InstPtr& result)
{
    if (verbose_level >= 2) {
        report_info("parse_eval: START\n");
    }
    int rc = eval_body(cur, result);
    if (verbose_level >= 2) {
        report_info("parse_eval: END\n");
    }
    return rc;
}

int parse_expr_op(TokenCursor& cur, InstPtr& result)
{
    DepthTrace trace("parse_expr_op", cur.expr_op_depth);
    return expr_op_body(cur, result);
}

int make_op_hier(int& depth, InstPtr& result, InstPtr* operands, InstPtr* operators, int start,
                 int end)
{
    DepthTrace trace("make_op_hier", depth);
    return op_hier_body(depth, result, operands, operators, start, end);
}

int parse_expr(TokenCursor& cur, InstPtr& result)
{
    DepthTrace trace("parse_expr", cur.expr_depth);
    return expr_body(cur, result);
}

int parse_data_ref(TokenCursor& cur, InstPtr& slot, const char* shown_name, int param_no,
                   const DataRefCodes& codes)
{
    bool has_int32 = token_at(cur, TYPE_CONST) && cur.tokens[cur.pos].code == CODE_INT32;
    int name_ahead = has_int32 ? 1 : 0;
    if (!token_at(cur, TYPE_LABEL, name_ahead)) {
        param_syntax_error(cur, codes.syntax, false, shown_name, param_no);
        return -1;
    }
    Inst* node = new_expr_node(cur.line, slot);
    if (node == nullptr) {
        return -1;
    }
    node->type = TYPE_CONST;
    node->code = CODE_INT32;
    if (!has_int32) {
        if (implicit_int32 == 0) {
            diag_at(token_location(cur, cur.pos));
            diag_say("a data label is written 'int32 %s'", cur.tokens[cur.pos].text.get());
            report_error(codes.missing_int32, "line %d: 'int32' not found: %s parameter %d\n",
                         cur.line, shown_name, param_no);
            return -1;
        }
        if (verbose_level >= 1) {
            report_warning(codes.corrected,
                           "line %d: 'int32' not found ... corrected: %s parameter %d\n", cur.line,
                           shown_name, param_no);
        }
    }
    const char* label = cur.tokens[cur.pos + name_ahead].text.get();
    node->param_count = 1;
    node->params[0].type = TYPE_LABEL;
    node->params[0].text = str_copy(label);
    if (!node->params[0].text) {
        memory_error(codes.memory, std::strlen(label) + 1);
        return -1;
    }
    cur.pos += name_ahead + 1;
    cur.offset += 5;  // CODE_INT32 and the 32-bit offset
    return 0;
}

}  // namespace tolvar
