#include <cstdio>
#include <cstring>

#include "context/conv_state.h"
#include "front/text_literal.h"
#include "front/tokenizer.h"
#include "labels/labels.h"
#include "parser/expr.h"
#include "parser/line_state.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

namespace {

const DataRefCodes statement_ref_codes = {1410, 1392, 1396, 1404};

void syntax_error(const LineState& ls, int code, const char* name, int param_no)
{
    param_syntax_error(ls, code, true, name, param_no);
}

int read_text_param(LineState& ls, Param& slot, const char* name, int param_no)
{
    const Token& token = ls.tokens[ls.pos];
    if (!is_text_token(token)) {
        syntax_error(ls, 1325, name, param_no);
        return -1;
    }
    const char* text = text_of(ls, token, 1319);
    if (text == nullptr) {
        return -1;
    }
    ++ls.pos;
    if (!copy_text(slot, text, 1329)) {
        return -1;
    }
    point_at_text(ls, token, slot.text.get());
    if (check_text(slot.text.get()) < 0) {
        say_text_use(ls, token);
        report_error(1333, "line %d: illegal text: '%s' parameter %d\n", ls.line, name, param_no);
        return -1;
    }
    ls.offset += static_cast<int64_t>(std::strlen(slot.text.get()));
    return 0;
}

int read_byte_param(LineState& ls, Param& slot, const char* name, int param_no)
{
    switch (read_signed_number(ls, 8, &slot.value)) {
    case SIGNED_OK:
        ls.offset += operand_size(TYPE_BYTE);
        return 0;
    case SIGNED_MINUS_ALONE:
        syntax_error(ls, 1345, name, param_no);
        return -1;
    case SIGNED_NOT_NUMBER:
        syntax_error(ls, 1363, name, param_no);
        return -1;
    case SIGNED_OVERFLOW:
        diag_at(token_location(ls, ls.pos));
        diag_say("the number does not fit in a byte (-128 to 255): parameter %d of '%s'",
                 param_no, name);
        report_error(1353, "line %d: byte value overflow: '%s' parameter %d\n", ls.line, name,
                     param_no);
        return -1;
    }
    return -1;
}

int read_label_param(LineState& ls, Param& slot, const char* name, int param_no)
{
    slot.type = TYPE_LABEL;
    const Token& token = ls.tokens[ls.pos];
    if (token.type != TYPE_LABEL) {
        syntax_error(ls, 1376, name, param_no);
        return -1;
    }
    slot.text = str_copy(token.text.get());
    if (!slot.text) {
        memory_error(1370, std::strlen(token.text.get()) + 1);
        return -1;
    }
    ++ls.pos;
    ls.offset += operand_size(TYPE_LABEL);
    return 0;
}

// One parameter of an instruction, by the kind its row gives.
int read_param(LineState& ls, Inst* node, int i)
{
    const char* name = node->info->text;
    Param& slot = node->params[i];
    int param_no = i + 1;
    switch (slot.type) {
    case TYPE_TEXT:
        return read_text_param(ls, slot, name, param_no);
    case TYPE_BYTE:
        return read_byte_param(ls, slot, name, param_no);
    case TYPE_INT32:
        return read_label_param(ls, slot, name, param_no);
    case TYPE_DATA_OFFSET: {
        char shown[32];
        std::snprintf(shown, sizeof shown, "'%s'", name);
        return parse_data_ref(ls, slot.node, shown, param_no, statement_ref_codes);
    }
    case TYPE_VARIABLE:
        if (!is_variable_keyword(ls.tokens[ls.pos])) {
            syntax_error(ls, 1424, name, param_no);
            return -1;
        }
        if (parse_expr(ls, slot.node) < 0) {
            diag_say("in parameter %d of '%s'", param_no, name);
            report_error(1420, "line %d: parse expr error: '%s' parameter %d\n", ls.line, name,
                         param_no);
            return -1;
        }
        return 0;
    case TYPE_EVAL:
        if (parse_eval(ls, slot.node) < 0) {
            diag_say("in parameter %d of '%s'", param_no, name);
            report_error(1429, "line %d: parse_eval error: '%s' parameter %d\n", ls.line, name,
                         param_no);
            return -1;
        }
        return 0;
    default:
        report_error(1433, "BUG: code_info[%s(%02X)].params[%d].type=%d\n", name, node->code, i,
                     slot.type);
        return -1;
    }
}

// ":=" and the assigned value of a `decl`; the variable is in slot 0.
int read_assignment(LineState& ls, Inst* node, int missing_code, int value_code)
{
    if (ls.pos >= ls.count || ls.tokens[ls.pos].type != TYPE_ASSIGN) {
        point_at_token(ls, ls.pos, nullptr);
        diag_say("':=' and a value expected after the variable");
        report_error(missing_code, "line %d: declare variable without assign\n", ls.line);
        return -1;
    }
    node->param_count = 3;
    node->params[1].type = TYPE_ASSIGN;
    node->params[1].value = 0;
    node->params[2].type = TYPE_EVAL;
    ++ls.pos;
    ls.offset += operand_size(TYPE_ASSIGN);
    if (parse_eval(ls, node->params[2].node) < 0) {
        diag_say("in the value after ':='");
        report_error(value_code, "line %d: parse_eval error: right value of ':='\n", ls.line);
        return -1;
    }
    return 0;
}

}  // namespace

bool is_variable_keyword(const Token& token)
{
    return token.type == TYPE_FUNCTION &&
           (token.code == CODE_VAR || token.code == CODE_STR || token.code == CODE_DATA);
}

Inst* append_statement(LineState& ls, ItemType type)
{
    Inst* node = inst_new(ls.line, static_cast<int32_t>(ls.offset), ls.head, ls.tail);
    if (node != nullptr) {
        node->type = type;
        ls.current = node;
    }
    return node;
}

int parse_instruction(LineState& ls)
{
    const Token& keyword = ls.tokens[ls.pos];
    const CodeInfo* row = keyword.info;
    Inst* node = append_statement(ls, TYPE_STATEMENT);
    if (node == nullptr) {
        return -1;
    }
    node->code = keyword.code;
    node->info = row;
    node->param_count = row->param_count;
    ++ls.pos;
    ls.offset += 1;
    if (read_param_list(ls, node, row, {1297, 1301, 1308, true}, read_param) < 0) {
        return -1;
    }
    if (node->code == CODE_DECL) {
        return read_assignment(ls, node, 1442, 1452);
    }
    return 0;
}

int parse_assignment(LineState& ls)
{
    if (implicit_decl == 0) {
        diag_at(token_location(ls, ls.pos));
        diag_say("an assignment begins with 'decl' (or use --implicit-decl)");
        report_error(1464, "line %d: syntax error: 'decl' not found\n", ls.line);
        return -1;
    }
    if (verbose_level >= 1) {
        diag_at(token_location(ls, ls.pos));
        diag_say("'decl' taken as written before the assignment");
        report_warning(1468, "line %d: 'decl' not found ... corrected\n", ls.line);
    }
    const CodeInfo* row = lookup_code_info("decl");
    if (row == nullptr) {
        report_error(1479, "BUG: code_info['decl'] not found\n");
        return -1;
    }
    Inst* node = append_statement(ls, TYPE_STATEMENT);
    if (node == nullptr) {
        return -1;
    }
    node->code = CODE_DECL;
    node->info = row;
    node->param_count = 1;
    node->params[0].type = TYPE_VARIABLE;
    ls.offset += 1;
    if (parse_expr(ls, node->params[0].node) < 0) {
        report_error(1487, "line %d: parse expr error\n", ls.line);
        return -1;
    }
    return read_assignment(ls, node, 1493, 1504);
}

SignedNumber read_signed_number(TokenCursor& cur, int width, int32_t* value)
{
    TokenCursor c = cur;
    bool negative = false;
    if (token_at(c, TYPE_OPERATOR) && c.tokens[c.pos].code == CODE_SUB) {
        negative = true;
        ++c.pos;
        if (!tokens_left(c)) {
            return SIGNED_MINUS_ALONE;
        }
    }
    if (!token_at(c, TYPE_INT32)) {
        return SIGNED_NOT_NUMBER;
    }
    uint32_t magnitude = static_cast<uint32_t>(c.tokens[c.pos].number);
    uint32_t range = width == 8 ? 256 : 65536;
    uint32_t limit = negative ? range / 2 : range - 1;
    if (magnitude > limit) {
        return SIGNED_OVERFLOW;
    }
    *value = static_cast<int32_t>(negative ? (range - magnitude) % range : magnitude);
    cur.pos = c.pos + 1;
    return SIGNED_OK;
}

void dump_tokens(const Token* tokens, int from, int count)
{
    if (diag_records()) {
        return;  // the message names the token already
    }
    for (int i = from; i < count; ++i) {
        report_plain("\ttoken[%d] = %d:%02X:", i, tokens[i].type, tokens[i].code);
        print_token_value(tokens[i]);
    }
}

}  // namespace tolvar
