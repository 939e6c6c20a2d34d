#include "parser/statement.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "context/conv_state.h"
#include "front/line_reader.h"
#include "front/text_literal.h"
#include "front/tokenizer.h"
#include "labels/labels.h"
#include "parser/expr.h"
#include "parser/line_state.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

namespace {

int64_t size_limit = MAX_BINARY_SIZE;

// A block's line buffer and tokens. Kept off the call stack, so a deeply
// nested script costs the stack little; one per depth, reused by the
// blocks that follow each other at that depth.
struct BlockState {
    char line[LINE_BUFFER_SIZE];
    Token tokens[MAX_LINE_TOKENS];
};

// What every block of one parse shares.
struct SourceReader {
    LineReader lines;
    ConvState* conv = nullptr;
    int32_t line = 0;
    int depth = 0;        // if/else bodies open around the block being read
    int trace_level = 0;  // of the parse_src traces
    const StatementSink* sink = nullptr;
    std::unique_ptr<BlockState> states[MAX_IF_DEPTH + 1];
};

// One invocation: the block being read and the line at hand.
struct Block {
    SourceReader& reader;
    BlockState& state;
    Code code;       // 0 top level, CODE_IF or CODE_ELSE body
    Inst** closing;  // receives the `else` or `endif` that ends the block
    int brace_open = 0;
    LineState ls;
};

bool fits_size(const LineState& ls)
{
    if (ls.offset > size_limit) {
        diag_say("the byte-code passes 2147483647 bytes here");
        report_error(3103, "line %d: binary size overflow\n", ls.line);
        return false;
    }
    return true;
}

int parse_src(SourceReader& reader, InstPtr* head, int64_t offset, int64_t* offset_out,
              Code block_code, Inst** closing);

// Splits the block's line into tokens; the count, or -1.
int split_line(Block& block)
{
    LineState& ls = block.ls;
    const char* p = block.state.line;
    int count = 0;
    for (;;) {
        Token& token = block.state.tokens[count];
        const char* next = p;
        const char* start = skip_separators(p);
        int result = get_token(token, p, &next);
        token.begin = static_cast<int32_t>(start - block.state.line);
        token.end = static_cast<int32_t>(next - block.state.line);
        if (result < 0) {
            token_values_free(block.state.tokens, count + 1);
            report_error(928, "line %d: can't get token\n", ls.line);
            return -1;
        }
        if (result == 0) {
            return count;
        }
        if (token.type == TYPE_OPTION) {
            if (count != 0 || block.code != 0 || ls.tail != nullptr) {
                diag_at(token_location(ls, count));
                diag_say("'.option' must stand alone at the head of the script, before the first "
                         "statement or label");
                report_error(937, "line %d: illegal '.option'\n", ls.line);
            } else if (set_line_options(ls.line, next) < 0) {
                report_error(941, "line %d: can't set option\n", ls.line);
            } else {
                return 0;
            }
            token_values_free(block.state.tokens, count);
            return -1;
        }
        ++count;
        p = next;
        if (count == MAX_LINE_TOKENS) {
            const char* rest = skip_separators(p);
            if (*rest == '\0' || *rest == ';' || *rest == '#') {
                return count;
            }
            token_values_free(block.state.tokens, count);
            diag_say("the line holds more than %d tokens", MAX_LINE_TOKENS);
            report_error(951, "line %d: too many token\n", ls.line);
            return -1;
        }
    }
}

// The only slot of node, as kind TYPE_TEXT, holding a copy of text.
bool copy_text_slot(Inst* node, const char* text, int memory_code)
{
    node->param_count = 1;
    node->params[0].type = TYPE_TEXT;
    return copy_text(node->params[0], text, memory_code);
}

int parse_text_statement(Block& block)
{
    LineState& ls = block.ls;
    const char* text = text_of(ls, ls.tokens[ls.pos], 1001);
    if (text == nullptr) {
        return -1;
    }
    Inst* node = append_statement(ls, TYPE_TEXT);
    if (node == nullptr || !copy_text_slot(node, text, 1013)) {
        return -1;
    }
    point_at_text(ls, ls.tokens[ls.pos], node->params[0].text.get());
    if (decode_text(node->params[0].text.get(), &block.brace_open) < 0) {
        say_text_use(ls, ls.tokens[ls.pos]);
        report_error(1017, "line %d: illegal text\n", ls.line);
        return -1;
    }
    ls.offset += static_cast<int64_t>(std::strlen(node->params[0].text.get()));
    ++ls.pos;
    return 0;
}

// The codes a directive's number operand reports under.
struct NumberCodes {
    int minus_alone;
    int not_number;
    int overflow;
};

// A signed number operand of a directive into slot: 16 bits as TYPE_INT16,
// 8 bits as TYPE_BYTE.
int read_directive_number(LineState& ls, Param& slot, int width, const NumberCodes& codes)
{
    switch (read_signed_number(ls, width, &slot.value)) {
    case SIGNED_OK:
        slot.type = width == 8 ? TYPE_BYTE : TYPE_INT16;
        ls.offset += operand_size(slot.type);
        return 0;
    case SIGNED_MINUS_ALONE:
        syntax_error(ls, codes.minus_alone);
        return -1;
    case SIGNED_NOT_NUMBER:
        syntax_error(ls, codes.not_number);
        return -1;
    case SIGNED_OVERFLOW:
        report_error(
            codes.overflow,
            width == 8 ? "line %d: byte value overflow\n" : "line %d: integer value overflow\n",
            ls.line);
        return -1;
    }
    return -1;
}

int parse_data(LineState& ls)
{
    Inst* node = append_statement(ls, TYPE_DATA);
    if (node == nullptr) {
        return -1;
    }
    node->param_count = 1;
    ++ls.pos;
    if (ls.pos >= ls.count) {
        syntax_error(ls, 1031);
        return -1;
    }
    const Token& operand = ls.tokens[ls.pos];
    if (is_text_token(operand)) {
        const char* text = text_of(ls, operand, 1042);
        if (text == nullptr || !copy_text_slot(node, text, 1049)) {
            return -1;
        }
        point_at_text(ls, operand, node->params[0].text.get());
        if (check_text(node->params[0].text.get()) < 0) {
            say_text_use(ls, operand);
            report_error(1053, "line %d: illegal text\n", ls.line);
            return -1;
        }
        ls.offset += static_cast<int64_t>(std::strlen(node->params[0].text.get())) + 1;
        ++ls.pos;
        return 0;
    }
    return read_directive_number(ls, node->params[0], 16, {1065, 1083, 1073});
}

int parse_unknown(LineState& ls)
{
    bool is_byte = ls.tokens[ls.pos].type == TYPE_UNKNOWN_BYTE;
    Inst* node = append_statement(ls, ls.tokens[ls.pos].type);
    if (node == nullptr) {
        return -1;
    }
    node->param_count = 1;
    ++ls.pos;
    if (ls.pos >= ls.count) {
        syntax_error(ls, 1098);
        return -1;
    }
    return read_directive_number(ls, node->params[0], is_byte ? 8 : 16,
                                 {1107, 1140, is_byte ? 1129 : 1117});
}

int parse_label_definition(LineState& ls)
{
    const Token& name = ls.tokens[ls.pos];
    if (ls.pos + 1 >= ls.count || ls.tokens[ls.pos + 1].type != TYPE_COLON) {
        syntax_error(ls, 972);
        return -1;
    }
    Inst* node = append_statement(ls, TYPE_LABEL);
    if (node == nullptr) {
        return -1;
    }
    node->param_count = 1;
    node->params[0].type = TYPE_LABEL;
    node->params[0].text = str_copy(name.text.get());
    if (!node->params[0].text) {
        memory_error(982, std::strlen(name.text.get()) + 1);
        return -1;
    }
    diag_at(token_location(ls, ls.pos));  // where a second definition is reported
    if (add_data_label(ls.conv->data_labels, name.text.get(), static_cast<int32_t>(ls.offset)) <
        0) {
        return -1;
    }
    diag_clear();
    ls.tail = node;
    ls.pos += 2;
    return 0;
}

enum StatementResult {
    STATEMENT_FAILED = -1,
    STATEMENT_DONE = 0,
    STATEMENT_CLOSED_BLOCK = 1
};

// `else` or `endif`: closes this block if it may, else stands alone or fails.
StatementResult parse_block_end(Block& block, int64_t* offset_out)
{
    LineState& ls = block.ls;
    const Token& keyword = ls.tokens[ls.pos];
    bool closes =
        (block.code == CODE_IF) || (block.code == CODE_ELSE && keyword.code == CODE_ENDIF);
    if (closes) {
        Inst* node = inst_new(ls.line, static_cast<int32_t>(ls.offset), nullptr, nullptr);
        if (node == nullptr) {
            return STATEMENT_FAILED;
        }
        *block.closing = node;
        node->type = TYPE_STATEMENT;
        node->code = keyword.code;
        node->info = keyword.info;
        ++ls.pos;
        ls.offset += 1;
        if (ls.pos < ls.count) {
            syntax_error(ls, 1176);
            dump_tokens(ls.tokens, ls.pos, ls.count);
            return STATEMENT_FAILED;
        }
        if (!fits_size(ls)) {
            return STATEMENT_FAILED;
        }
        *offset_out = ls.offset;
        return STATEMENT_CLOSED_BLOCK;
    }
    if (keyword.code == CODE_ENDIF && endif_without_if != 0) {
        diag_at(token_location(ls, ls.pos));
        diag_say("'endif' without 'if'");
        report_warning(1151, "line %d: 'endif' without 'if'\n", ls.line);
        Inst* node = append_statement(ls, TYPE_STATEMENT);
        if (node == nullptr) {
            return STATEMENT_FAILED;
        }
        node->code = CODE_ENDIF;
        node->info = keyword.info;
        ++ls.pos;
        ls.offset += 1;
        return fits_size(ls) ? STATEMENT_DONE : STATEMENT_FAILED;
    }
    diag_at(token_location(ls, ls.pos));
    diag_say("'%s' without 'if'", keyword.info->text);
    report_error(1162, "line %d: '%s' without 'if'\n", ls.line, keyword.info->text);
    return STATEMENT_FAILED;
}

// Reads a body of if_node (CODE_IF) or else_node (CODE_ELSE) one level deeper.
int parse_body(Block& block, Inst* opener, Code body_code)
{
    SourceReader& reader = block.reader;
    ++reader.depth;
    int result = parse_src(reader, &opener->sub, block.ls.offset, &block.ls.offset, body_code,
                           &opener->next);
    --reader.depth;
    return result;
}

bool is_keyword(const Inst* node, Code code)
{
    return node != nullptr && node->type == TYPE_STATEMENT && node->code == code;
}

// An `if` the file ends in: named where it opened.
void say_unclosed(const Inst* opener, int32_t last_line)
{
    diag_at(DiagLocation{diag_subject(), opener->line, 0, 0});
    diag_say("'if' without 'endif'");
    diag_note(DiagLocation{diag_subject(), last_line > 1 ? last_line - 1 : 1, 0, 0},
              "the file ends here");
}

// The warning of an `if` or `else` whose body is empty.
void warn_empty_body(const Inst* opener, int code)
{
    const char* name = opener->code == CODE_IF ? "if" : "else";
    diag_at(DiagLocation{diag_subject(), opener->line, 0, 0});
    diag_say("'%s' with an empty body", name);
    report_warning(code, "line %d: '%s' have no sub block\n", opener->line, name);
}

// The body of node (an `if`), an `else` and its body, and the `endif`.
StatementResult parse_if_bodies(Block& block, Inst* node)
{
    if (parse_body(block, node, CODE_IF) < 0) {
        return STATEMENT_FAILED;
    }
    if (!node->sub) {
        warn_empty_body(node, 1247);
    }
    Inst* closing = node->next;
    if (!is_keyword(closing, CODE_ELSE) && !is_keyword(closing, CODE_ENDIF)) {
        say_unclosed(node, block.reader.line);
        report_error(1253, "line %d: 'endif' not found\n", block.reader.line);
        return STATEMENT_FAILED;
    }
    if (closing->code == CODE_ELSE) {
        if (parse_body(block, closing, CODE_ELSE) < 0) {
            return STATEMENT_FAILED;
        }
        if (!closing->sub) {
            warn_empty_body(closing, 1267);
        }
        closing = closing->next;
        if (!is_keyword(closing, CODE_ENDIF)) {
            say_unclosed(node, block.reader.line);
            report_error(1272, "line %d: 'endif' not found\n", block.reader.line);
            return STATEMENT_FAILED;
        }
    }
    block.ls.current = closing;
    return STATEMENT_DONE;
}

StatementResult parse_if(Block& block)
{
    LineState& ls = block.ls;
    const Token& keyword = ls.tokens[ls.pos];
    Inst* node = append_statement(ls, TYPE_STATEMENT);
    if (node == nullptr) {
        return STATEMENT_FAILED;
    }
    node->code = CODE_IF;
    node->info = keyword.info;
    ++ls.pos;
    ls.offset += 1;
    node->param_count = 1;
    node->params[0].type = TYPE_EVAL;
    if (parse_eval(ls, node->params[0].node) < 0) {
        report_error(1215, "line %d: parse_eval error\n", ls.line);
        return STATEMENT_FAILED;
    }
    if (ls.pos < ls.count) {
        syntax_error(ls, 1220);
        dump_tokens(ls.tokens, ls.pos, ls.count);
        return STATEMENT_FAILED;
    }
    if (!fits_size(ls)) {
        return STATEMENT_FAILED;
    }
    if (block.reader.depth >= MAX_IF_DEPTH) {
        diag_say("'if' nested more than %d deep", MAX_IF_DEPTH);
        report_error(3102, "line %d: 'if' nested too deep: max=%d\n", ls.line, MAX_IF_DEPTH);
        return STATEMENT_FAILED;
    }
    return parse_if_bodies(block, node);
}

StatementResult parse_statement(Block& block, int64_t* offset_out)
{
    LineState& ls = block.ls;
    if (ls.tokens[ls.pos].type == TYPE_LABEL) {
        if (parse_label_definition(ls) < 0) {
            return STATEMENT_FAILED;
        }
        if (ls.pos >= ls.count) {
            return STATEMENT_DONE;
        }
    }
    // A second name after a label starts no statement: it falls to 1512.
    const Token& token = ls.tokens[ls.pos];
    int result = -1;
    switch (token.type) {
    case TYPE_TEXT:
    case TYPE_TEXT_LABEL:
        result = parse_text_statement(block);
        break;
    case TYPE_DATA:
        result = parse_data(ls);
        break;
    case TYPE_UNKNOWN_BYTE:
    case TYPE_UNKNOWN:
        result = parse_unknown(ls);
        break;
    case TYPE_STATEMENT:
        if (token.code == CODE_ENDIF || token.code == CODE_ELSE) {
            return parse_block_end(block, offset_out);
        }
        if (token.code == CODE_IF) {
            return parse_if(block);
        }
        result = parse_instruction(ls);
        break;
    case TYPE_FUNCTION:
        if (is_variable_keyword(token)) {
            result = parse_assignment(ls);
        } else {
            syntax_error(ls, 1508);
        }
        break;
    default:
        syntax_error(ls, 1512);
        break;
    }
    if (result < 0 || !fits_size(ls)) {
        return STATEMENT_FAILED;
    }
    return STATEMENT_DONE;
}

enum LineStep {
    STEP_FAILED = -1,
    STEP_LINE = 0,      // a line to parse is in the buffer
    STEP_SKIP = 1,      // a comment line
    STEP_BLOCK_END = 2  // the end of the file ends the block
};

// Reads the next line of the block into its buffer.
LineStep next_line(Block& block)
{
    LineState& ls = block.ls;
    ls.line = ++block.reader.line;
    switch (read_line(block.reader.lines, block.state.line)) {
    case LINE_READ_ERROR:
        report_error(902, "line %d: can't read source\n", ls.line);
        return STEP_FAILED;
    case LINE_TOO_LONG:
        diag_say("the line is longer than %d bytes", MAX_LINE_LENGTH);
        report_error(3101, "line %d: line too long\n", ls.line);
        return STEP_FAILED;
    case LINE_END_OF_FILE:
        if (block.brace_open != 0) {
            diag_say("a Japanese region opened with '{' is never closed with '}'");
            report_error(906, "line %d: '}' not found\n", ls.tail != nullptr ? ls.tail->line : 0);
            return STEP_FAILED;
        }
        return STEP_BLOCK_END;
    case LINE_HAS_NUL:
        diag_say("the line holds a NUL byte (a script is a text file, not UTF-16)");
        report_error(3104, "line %d: NUL byte in line\n", ls.line);
        return STEP_FAILED;
    case LINE_OK:
        break;
    }
    diag_line(ls.line, block.state.line);
    if (verbose_level >= 1) {
        report_info("line %d\n", ls.line);
    }
    char* text = block.state.line;
    return text[0] == ';' || text[0] == '#' ? STEP_SKIP : STEP_LINE;
}

// Tokens and statement of the line in the buffer.
StatementResult parse_line(Block& block, int64_t* offset_out)
{
    LineState& ls = block.ls;
    strip_line_end(block.state.line);
    int count = split_line(block);
    if (count <= 0) {
        return count < 0 ? STATEMENT_FAILED : STATEMENT_DONE;
    }
    ls.count = count;
    ls.pos = 0;
    if (block.brace_open != 0 && !is_text_token(ls.tokens[0])) {
        diag_say("a Japanese region opened with '{' is not closed with '}' before this line, "
                 "which does not begin with a text");
        report_error(963, "line %d: '}' not found\n", ls.tail != nullptr ? ls.tail->line : 0);
        token_values_free(block.state.tokens, count);
        return STATEMENT_FAILED;
    }
    StatementResult result = parse_statement(block, offset_out);
    if (result == STATEMENT_DONE && ls.pos < ls.count) {
        syntax_error(ls, 1517);
        dump_tokens(ls.tokens, ls.pos, ls.count);
        result = STATEMENT_FAILED;
    }
    token_values_free(block.state.tokens, count);
    return result;
}

// The line loop of one block; 0 when the block ended properly, -1 on error.
int block_lines(Block& block, int64_t* offset_out)
{
    LineState& ls = block.ls;
    for (;;) {
        if (ls.current != nullptr) {
            ls.tail = ls.current;
            ls.current = nullptr;
            if (block.reader.sink != nullptr && block.code == 0) {
                // The tail stays: messages of later lines name its line.
                hand_over_statements(*block.reader.sink, *ls.head, ls.tail, 0);
            }
        }
        switch (next_line(block)) {
        case STEP_FAILED:
            return -1;
        case STEP_BLOCK_END:
            *offset_out = ls.offset;
            return 0;
        case STEP_SKIP:
            continue;
        case STEP_LINE:
            break;
        }
        StatementResult result = parse_line(block, offset_out);
        if (result != STATEMENT_DONE) {
            return result == STATEMENT_CLOSED_BLOCK ? 0 : -1;
        }
    }
}

int parse_src(SourceReader& reader, InstPtr* head, int64_t offset, int64_t* offset_out,
              Code block_code, Inst** closing)
{
    DepthTrace trace("parse_src", "parse_src ", reader.trace_level);
    *closing = nullptr;
    std::unique_ptr<BlockState>& state = reader.states[reader.depth];
    if (!state) {
        state.reset(try_new_unfilled<BlockState>());
    }
    if (!state) {
        memory_error(3105, sizeof(BlockState));
        return -1;
    }
    Block block{reader, *state, block_code, closing, 0, LineState{}};
    block.ls.conv = reader.conv;
    block.ls.tokens = state->tokens;
    block.ls.head = head;
    block.ls.offset = offset;
    return block_lines(block, offset_out);
}

}  // namespace

const char* text_of(const LineState& ls, const Token& token, int missing_code)
{
    if (token.type == TYPE_TEXT) {
        return token.text.get();
    }
    const char* text = get_text_label(ls.conv->text_labels, token.text.get());
    if (text == nullptr) {
        diag_at(token_location(ls, static_cast<int>(&token - ls.tokens)));
        diag_say(ls.conv->text_labels.file != nullptr ? "text label '%s' is not in the text file"
                                                      : "text label '%s' needs a text file (-t)",
                 token.text.get());
        report_error(missing_code, "line %d: can't get text: label=%s\n", ls.line,
                     token.text.get());
    }
    return text;
}

void point_at_text(const LineState& ls, const Token& token, const char* copy)
{
    if (!diag_records()) {
        return;
    }
    if (token.type == TYPE_TEXT) {
        diag_text_origin(token_location(ls, static_cast<int>(&token - ls.tokens)), copy);
        return;
    }
    const TextLabelTable& table = ls.conv->text_labels;
    int index = find_text_label(table, token.text.get());
    if (index >= 0) {
        const TextLabel& entry = table.entries[index];
        diag_text_origin(DiagLocation{table.file, entry.line, entry.column, 0}, copy);
    }
}

void say_text_use(const LineState& ls, const Token& token)
{
    if (token.type == TYPE_TEXT_LABEL) {
        diag_at(token_location(ls, static_cast<int>(&token - ls.tokens)));
        diag_say("the text of '%s' is used here", token.text.get());
    }
}

bool is_text_token(const Token& token)
{
    return token.type == TYPE_TEXT || token.type == TYPE_TEXT_LABEL;
}

bool copy_text(Param& slot, const char* text, int memory_code)
{
    slot.text = str_copy(text);
    if (!slot.text) {
        memory_error(memory_code, std::strlen(text) + 1);
        return false;
    }
    return true;
}

void set_size_limit(int64_t limit)
{
    size_limit = limit;
}

size_t strip_line_end(char* text)
{
    size_t length = std::strlen(text);
    size_t removed = 0;
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
        text[--length] = '\0';
        ++removed;
    }
    return removed;
}

int set_line_options(int32_t line, const char* rest)
{
    int applied = 0;
    const char* p = skip_separators(rest);
    while (*p != '\0') {
        const char* end = p;
        while (*end != '\0' && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') {
            ++end;
        }
        int length = static_cast<int>(end - p);
        if (!apply_option(p, static_cast<size_t>(length), true)) {
            diag_at(diag_span(p, end));
            diag_say("'%.*s' is no option of '.option'", length, p);
            report_error(856, "line %d: unknown option '%.*s'\n", line, length, p);
            return -1;
        }
        report_info("line %d: option '%.*s' enabled\n", line, length, p);
        ++applied;
        p = skip_separators(end);
    }
    if (applied == 0) {
        report_error(866, "line %d: no optins\n", line);
        return -1;
    }
    return 0;
}

int parse_script(ConvState& conv, FILE* stream, const char* name, const StatementSink* sink)
{
    std::unique_ptr<SourceReader> reader(try_new_unfilled<SourceReader>());
    if (!reader) {
        memory_error(3105, sizeof(SourceReader));
        return -1;
    }
    line_reader_open(reader->lines, stream);
    reader->conv = &conv;
    reader->sink = sink;
    Inst* top_closing = nullptr;
    int64_t size = 0;
    if (parse_src(*reader, &conv.tree, 0, &size, 0, &top_closing) < 0) {
        inst_list_free(top_closing);
        report_error(585, "parse source code '%s'\n", name);
        return -1;
    }
    conv.size = static_cast<int32_t>(size);
    if (!conv.tree) {
        report_error(593, "no code '%s'\n", name);
        return -1;
    }
    if (top_closing != nullptr) {
        report_error(596, "BUG: last type=%d, code=%02X, info.text=%s\n", top_closing->type,
                     top_closing->code,
                     top_closing->info != nullptr ? top_closing->info->text : "");
        inst_list_free(top_closing);
        return -1;
    }
    report_info("read source finished\n");
    return 0;
}

FilePtr open_source(const char* path)
{
    report_info("read source code from '%s'\n", path);
    FilePtr stream(std::fopen(path, "r"));
    if (!stream) {
        diag_cant_open(path);
        report_error(580, "can't open '%s'\n", path);
    }
    return stream;
}

int read_source(ConvState& conv, const char* path)
{
    FilePtr stream = open_source(path);
    return stream ? parse_script(conv, stream.get(), path, nullptr) : -1;
}

void hand_over_statements(const StatementSink& sink, InstPtr& list, const Inst* keep, int64_t end)
{
    while (list && list.get() != keep) {
        InstPtr statement(list.release());
        list.reset(statement->next);
        statement->next = nullptr;
        sink.take(sink.context, std::move(statement), list ? list->offset : end);
    }
}

}  // namespace tolvar
