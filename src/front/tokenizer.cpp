#include "front/tokenizer.h"

#include <cstring>

#include "front/text_literal.h"
#include "support/diag.h"
#include "support/names.h"
#include "support/settings.h"

namespace tolvar {

namespace {

constexpr bool is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The bytes a word goes on with, by value: words make up most of a line.
struct ByteSet {
    bool has[256];
};

constexpr ByteSet word_chars = [] {
    ByteSet set{};
    for (int c = 0; c < 256; ++c) {
        char byte = static_cast<char>(c);
        set.has[c] = is_letter(byte) || is_digit(byte) || byte == '_';
    }
    return set;
}();

bool is_word_char(char c)
{
    return word_chars.has[static_cast<unsigned char>(c)];
}

// Value of c as a digit in base, or -1.
int digit_value(char c, int base)
{
    int value = -1;
    if (is_digit(c)) {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

constexpr int32_t NUMBER_MAX = 2147483647;

// A number in C notation, the base taken from its form; values past the
// largest signed 32-bit number saturate there.
const char* read_number(const char* p, int32_t* number)
{
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2], 16) >= 0) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    int64_t value = 0;
    for (int digit = digit_value(*p, base); digit >= 0; digit = digit_value(*++p, base)) {
        value = value * base + digit;
        if (value > NUMBER_MAX) {
            value = NUMBER_MAX;
        }
    }
    *number = static_cast<int32_t>(value);
    return p;
}

struct Directive {
    const char* name;
    ItemType type;
};

const Directive directives[] = {
    {".data", TYPE_DATA},
    {".unknown.byte", TYPE_UNKNOWN_BYTE},
    {".unknown", TYPE_UNKNOWN},
    {".option", TYPE_OPTION},
};

int read_word(Token& token, const char* p, const char** next)
{
    const char* end = p + 1;
    while (is_word_char(*end)) {
        ++end;
    }
    size_t length = static_cast<size_t>(end - p);
    token.text = str_copy(p, length);
    if (!token.text) {
        memory_error(2267, static_cast<size_t>(length) + 1);
        return -1;
    }
    const char* word = token.text.get();
    if (const CodeInfo* row = find_keyword(word, length)) {
        if (!game_has(*row, game_type, allow_u6_end)) {
            diag_at(diag_span(p, end));
            diag_say("'%s' is not a keyword of the chosen game (see --u6, --se, --md)", row->text);
            report_error(row->refusal_code, "'%s' is not supported\n", row->text);
            return -1;
        }
        token.type = row->type;
        token.code = row->code;
        token.info = row;
    } else if (word[0] == '$') {
        diag_at(diag_span(p, end));
        diag_say("unknown variable '%s': variables are $var[N] and $str[N]", word);
        report_error(2337, "illegal variable name '%s'\n", word);
        return -1;
    } else {
        token.type = is_text_label_name(word) != 0 ? TYPE_TEXT_LABEL : TYPE_LABEL;
    }
    *next = end;
    return 1;
}

// Operator symbols, the longest the table spells at p; a lone "!", "=",
// "|" or "&" is none.
int read_operator(Token& token, const char* p, const char** next)
{
    size_t length = 0;
    const CodeInfo* found = find_operator(p, &length);
    if (found == nullptr) {
        return 0;
    }
    token.type = TYPE_OPERATOR;
    token.code = found->code;
    *next = p + length;
    return 1;
}

ItemType punctuation_type(char c)
{
    switch (c) {
    case ',':
        return TYPE_COMMA;
    case '(':
        return TYPE_LPAREN;
    case ')':
        return TYPE_RPAREN;
    case '[':
        return TYPE_LBRACKET;
    case ']':
        return TYPE_RBRACKET;
    default:
        return TYPE_NONE;
    }
}

// ".data", ".unknown", ".unknown.byte" or ".option" at p.
int read_directive(Token& token, const char* p, const char** next)
{
    const char* end = p + 1;
    while (is_word_char(*end) || *end == '.') {
        ++end;
    }
    for (const Directive& directive : directives) {
        if (names_equal_n(p, static_cast<size_t>(end - p), directive.name)) {
            token.type = directive.type;
            *next = end;
            return 1;
        }
    }
    diag_at(diag_span(p, end));
    diag_say("unknown directive '%.*s': directives are .data, .unknown, .unknown.byte and "
             ".option",
             static_cast<int>(end - p), p);
    report_error(2244, "unknown . directive\n");
    return -1;
}

// A character that begins no token.
void report_stray(const char* p)
{
    auto c = static_cast<unsigned char>(*p);
    diag_at(diag_span(p, p + 1));
    if (c >= 0x80 || c < 0x20) {
        diag_say("byte %02X is not allowed outside a text", c);
    } else {
        diag_say("'%c' is not allowed here", c);
    }
    report_error(2347, "syntax error: %s\n", p);
}

int read_token(Token& token, const char* p, const char** next)
{
    *next = p;
    char c = *p;
    if (c == '\0' || c == ';' || c == '#') {
        return 0;
    }
    if (c == '"') {
        const char* after = p;
        token.type = TYPE_TEXT;
        token.text = copy_text_literal(p, &after);
        if (!token.text) {
            return -1;
        }
        *next = after;
        return 1;
    }
    if (ItemType type = punctuation_type(c); type != TYPE_NONE) {
        token.type = type;
        *next = p + 1;
        return 1;
    }
    if (read_operator(token, p, next) == 1) {
        return 1;
    }
    if (c == ':') {
        bool assign = p[1] == '=';
        token.type = assign ? TYPE_ASSIGN : TYPE_COLON;
        *next = p + (assign ? 2 : 1);
        return 1;
    }
    if (c == '.') {
        return read_directive(token, p, next);
    }
    if (is_digit(c)) {
        token.type = TYPE_INT32;
        *next = read_number(p, &token.number);
        return 1;
    }
    if (is_letter(c) || c == '$') {
        return read_word(token, p, next);
    }
    report_stray(p);
    return -1;
}

void trace_token(const Token& token)
{
    report_plain("INFO:\ttoken = %d:%02X:", token.type, token.code);
    print_token_value(token);
}

}  // namespace

void print_token_value(const Token& token)
{
    switch (token.type) {
    case TYPE_INT32:
        report_plain("%08X\n", static_cast<unsigned>(token.number));
        break;
    case TYPE_TEXT:
    case TYPE_TEXT_LABEL:
    case TYPE_LABEL:
    case TYPE_STATEMENT:
    case TYPE_FUNCTION:
    case TYPE_CONST:
        report_plain("%s\n", token.text.get());
        break;
    default:
        report_plain("\n");
        break;
    }
}

const char* skip_separators(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
        ++p;
    }
    return p;
}

int get_token(Token& token, const char* pos, const char** next)
{
    token.type = TYPE_NONE;
    token.code = 0;
    token.info = nullptr;
    const char* p = skip_separators(pos);
    if (verbose_level >= 2) {
        report_plain("INFO:\ttoken src = %s\n", p);
    }
    int result = read_token(token, p, next);
    if (result == 1 && verbose_level >= 1) {
        trace_token(token);
    }
    return result;
}

StrPtr copy_text_literal(const char* quote, const char** next)
{
    int length = scan_text_literal(quote);
    if (length < 0) {
        return nullptr;
    }
    StrPtr copy = str_copy(quote, static_cast<size_t>(length));
    if (!copy) {
        memory_error(2385, static_cast<size_t>(length) + 1);
        return nullptr;
    }
    *next = quote + length;
    return copy;
}

int is_text_label_name(const char* word)
{
    if (std::strlen(word) != 10 || (word[0] != 'T' && word[0] != 't') || word[5] != '_') {
        return 0;
    }
    for (int i = 1; i <= 4; ++i) {
        if (digit_value(word[i], 16) < 0) {
            return 0;
        }
    }
    for (int i = 6; i <= 9; ++i) {
        if (!is_digit(word[i])) {
            return 0;
        }
    }
    return 1;
}

void token_values_free(Token* tokens, int count)
{
    for (int i = 0; i < count; ++i) {
        tokens[i].text.reset();
    }
}

}  // namespace tolvar
