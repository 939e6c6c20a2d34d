#include "decode/printer.h"

#include <cstdio>
#include <cstring>

#include "front/text_literal.h"

namespace tolvar {

namespace {

// Stored bytes a literal can't write as they stand, or that open or
// close a double-byte region.
struct LiteralByteTable {
    bool special[256] = {};
    constexpr LiteralByteTable()
    {
        for (unsigned char c : {'\t', '\n', '"', '\\', '{', '}'}) {
            special[c] = true;
        }
    }
};

constexpr LiteralByteTable LITERAL_BYTES;

// What a stored byte is written as inside quotes; null when as it stands.
const char* escape_of(uint8_t c)
{
    switch (c) {
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

bool append_to(ByteBuffer* out, const uint8_t* bytes, size_t count)
{
    return out == nullptr || buffer_append(*out, reinterpret_cast<const char*>(bytes), count);
}

// Appends the literal to out (counting only, when out is null); returns
// its length. Double-byte characters stand whole: a trail byte that looks
// like a backslash or a brace is no escape, also in a literal that begins
// inside a region (region_open). Runs of bytes that stand as they are go
// in one piece.
size_t write_literal(const ByteCode& code, int32_t offset, int32_t length, ByteBuffer* out,
                     bool& failed, bool region_open)
{
    const uint8_t* b = code.bytes + offset;
    size_t escapes = 0;
    bool region = region_open;
    int32_t run = 0;
    failed = failed || !append_to(out, reinterpret_cast<const uint8_t*>("\""), 1);
    for (int32_t i = 0; i < length && !failed; ++i) {
        if (!region && !LITERAL_BYTES.special[b[i]]) {
            continue;
        }
        if (region && is_lead_byte(b[i]) && i + 1 < length) {
            ++i;
            continue;
        }
        if (b[i] == '{' || b[i] == '}') {
            region = b[i] == '{';
            continue;
        }
        const char* escape = escape_of(b[i]);
        if (escape != nullptr) {
            failed = !append_to(out, b + run, static_cast<size_t>(i - run)) ||
                     !append_to(out, reinterpret_cast<const uint8_t*>(escape), 2);
            run = i + 1;
            ++escapes;
        }
    }
    failed = failed || !append_to(out, b + run, static_cast<size_t>(length - run)) ||
             !append_to(out, reinterpret_cast<const uint8_t*>("\""), 1);
    return static_cast<size_t>(length) + escapes + 2;
}

// The next text label, T + four hex digits + _ + four decimal digits; when
// the numbers of one id run out the next id goes on.
void next_text_label(ScriptWriter& w, char* label)
{
    if (++w.text_number > 9999) {
        w.text_number = 1;
        w.text_id = (w.text_id + 1) & 0xFFFF;
    }
    label[0] = 'T';
    format_hex(label + 1, static_cast<uint32_t>(w.text_id), 4);
    label[5] = '_';
    for (int i = 9, n = w.text_number; i >= 6; --i, n /= 10) {
        label[i] = static_cast<char>('0' + n % 10);
    }
    label[10] = '\0';
}

void put_text_apart(ScriptWriter& w, int32_t offset, int32_t length, const char* where,
                    bool region_open)
{
    size_t literal = write_literal(*w.code, offset, length, nullptr, w.failed, region_open);
    if (literal > MAX_TEXT_FILE_LITERAL) {
        w.too_long = true;
    }
    char label[11];
    next_text_label(w, label);
    if (w.texts == nullptr || w.failed) {
        put(w, label, 1);
        return;
    }
    size_t line_start = w.texts->size;
    char offset_text[8];
    format_hex(offset_text, static_cast<uint32_t>(offset), 8);
    w.failed = !buffer_append(*w.texts, label, 10) || !buffer_append(*w.texts, "\t", 1) ||
               !buffer_append(*w.texts, offset_text, 8) || !buffer_append(*w.texts, " ", 1) ||
               !buffer_append(*w.texts, where) || !buffer_append(*w.texts, "\t", 1);
    size_t literal_start = w.texts->size;
    write_literal(*w.code, offset, length, w.texts, w.failed, region_open);
    // The source sees the text as the file holds it; its label replaces the
    // running one on both sides.
    if (w.labels != nullptr && !w.failed &&
        w.labels->label_for(w.labels->context, w.texts->data.get() + literal_start,
                            w.texts->size - literal_start, label)) {
        std::memcpy(w.texts->data.get() + line_start, label, 10);
    }
    w.failed = w.failed || !buffer_append(*w.texts, "\n", 1);
    put(w, label, 1);
}

void put_number(ScriptWriter& w, int32_t value)
{
    put_decimal(w, static_cast<uint32_t>(value), 1);
}

bool needs_parentheses(const ExprNode& node, int parent_precedence, bool right_side)
{
    if (node.kind != EXPR_OPERATOR) {
        return false;
    }
    int precedence = node.row->precedence;
    // Operators of one group associate to the left: a right operand of the
    // same group keeps its parentheses, a left one needs none.
    return precedence < parent_precedence || (right_side && precedence == parent_precedence);
}

void put_expr(ScriptWriter& w, const DecodedStatement& st, int16_t index, int parent_precedence,
              bool right_side);

void put_call(ScriptWriter& w, const DecodedStatement& st, const ExprNode& node)
{
    put(w, node.row->text, 1);
    put(w, "(", 1);
    for (int i = 0; i < node.row->param_count; ++i) {
        if (i > 0) {
            put(w, ", ", 1);
        }
        put_expr(w, st, node.args[i], 0, false);
    }
    put(w, ")", 1);
}

void put_expr(ScriptWriter& w, const DecodedStatement& st, int16_t index, int parent_precedence,
              bool right_side)
{
    const ExprNode& node = st.nodes[index];
    switch (node.kind) {
    case EXPR_LITERAL:
        put_number(w, node.value);
        return;
    case EXPR_BYTE:
    case EXPR_INT16:
        put(w, node.kind == EXPR_BYTE ? "byte " : "int16 ", 1);
        put_number(w, node.value);
        return;
    case EXPR_VARIABLE:
        put(w, node.row->text, 1);
        put(w, "[", 1);
        put_number(w, node.value);
        put(w, "]", 1);
        return;
    case EXPR_REF:
        put(w, "int32 ", 1);
        put_label(w, node.value);
        return;
    case EXPR_CALL:
        put_call(w, st, node);
        return;
    case EXPR_OPERATOR:
        break;
    }
    bool parentheses = needs_parentheses(node, parent_precedence, right_side);
    if (parentheses) {
        put(w, "(", 1);
    }
    put_expr(w, st, node.args[0], node.row->precedence, false);
    put(w, " ", 0);
    put(w, node.row->text, 1);
    put(w, " ", 0);
    put_expr(w, st, node.args[1], node.row->precedence, true);
    if (parentheses) {
        put(w, ")", 1);
    }
}

void put_param(ScriptWriter& w, const DecodedStatement& st, const DecodedParam& param)
{
    switch (param.kind) {
    case TYPE_EVAL:
        put(w, "eval ", 1);
        put_expr(w, st, param.expr, 0, false);
        return;
    case TYPE_TEXT:
        put_text(w, param.value, param.length, st.row->text);
        return;
    case TYPE_BYTE:
        put_number(w, param.value);
        return;
    case TYPE_LABEL:
        put_label(w, param.value);
        return;
    default:  // a data reference or a variable
        put_expr(w, st, param.expr, 0, false);
        return;
    }
}

}  // namespace

void put(ScriptWriter& w, const char* text, size_t length, int tokens)
{
    w.line_length += length;
    w.line_tokens += tokens;
    if (w.script != nullptr && !w.failed) {
        w.failed = !buffer_append(*w.script, text, length);
    }
}

void put(ScriptWriter& w, const char* text, int tokens)
{
    put(w, text, std::strlen(text), tokens);
}

void put_label(ScriptWriter& w, int32_t offset)
{
    char name[10] = {'L', '_'};
    format_hex(name + 2, static_cast<uint32_t>(offset), 8);
    put(w, name, sizeof name, 1);
}

int format_decimal(char* out, uint32_t value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

int format_hex(char* out, uint32_t value, int digits)
{
    static const char hex_digits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        out[i] = hex_digits[value & 15];
    }
    return digits;
}

void put_decimal(ScriptWriter& w, uint32_t value, int tokens)
{
    char text[16];
    put(w, text, static_cast<size_t>(format_decimal(text, value)), tokens);
}

void put_hex(ScriptWriter& w, uint32_t value, int digits, int tokens)
{
    char text[16];  // room the copy of short pieces may assume
    put(w, text, static_cast<size_t>(format_hex(text, value, digits)), tokens);
}

void put_text(ScriptWriter& w, int32_t offset, int32_t length, const char* where, bool region_open)
{
    if (w.code->texts_apart) {
        put_text_apart(w, offset, length, where, region_open);
        return;
    }
    size_t literal = write_literal(*w.code, offset, length, w.script, w.failed, region_open);
    w.line_length += literal;
    w.line_tokens += 1;
}

void put_statement(ScriptWriter& w, const DecodedStatement& st)
{
    put(w, st.row->text, 1);
    if (st.row->code == CODE_DECL) {  // the variable, ":=" and the value
        put(w, " ", 0);
        put_param(w, st, st.params[0]);
        put(w, " := ", 1);
        put_param(w, st, st.params[2]);
        return;
    }
    for (int i = 0; i < st.param_count; ++i) {
        put(w, i == 0 ? " " : ", ", i == 0 ? 0 : 1);
        put_param(w, st, st.params[i]);
    }
}

bool statement_fits_line(const ByteCode& code, const DecodedStatement& st)
{
    ScriptWriter w;
    w.code = &code;
    put_statement(w, st);
    return !w.too_long && w.line_tokens <= 256 && w.line_length <= MAX_STATEMENT_TEXT;
}

size_t literal_length(const ByteCode& code, int32_t offset, int32_t length, bool region_open)
{
    bool failed = false;
    return write_literal(code, offset, length, nullptr, failed, region_open);
}

}  // namespace tolvar
