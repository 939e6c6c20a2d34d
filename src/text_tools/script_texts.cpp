#include "text_tools/script_texts.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "front/line_reader.h"
#include "front/tokenizer.h"
#include "parser/statement.h"
#include "support/diag.h"
#include "support/settings.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

// get_token with its messages kept for a report of ours.
int next_token(Token& token, const char* p, const char** next, CaughtReport& error)
{
    DiagCatch caught(error);
    return get_token(token, p, next);
}

// The `.option` words after the directive, as the parser applies them.
void apply_line_options(const char* rest)
{
    const char* p = skip_separators(rest);
    while (*p != '\0') {
        const char* end = p;
        while (*end != '\0' && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') {
            ++end;
        }
        apply_option(p, static_cast<size_t>(end - p), true);
        p = skip_separators(end);
    }
}

const char* statement_name(const Token& token)
{
    switch (token.type) {
    case TYPE_TEXT:
    case TYPE_TEXT_LABEL:
        return "text line";
    case TYPE_DATA:
        return ".data";
    case TYPE_STATEMENT:
    case TYPE_FUNCTION:
        return token.info != nullptr ? token.info->text : "statement";
    default:
        return "statement";
    }
}

struct LineScan {
    const char* name;
    const ScriptTextSink* sink;
    int line;
    size_t line_start;
};

// The tokens of one line (CR and LF already cut off); 0, or -1.
int scan_line(const LineScan& scan, const char* line)
{
    Token token;
    const char* statement = nullptr;
    int index = 0;
    int depth = 0;
    int commas = 0;
    int statement_at = 0;
    bool numbered = false;  // an instruction's parameters
    for (const char* p = line;; ++index) {
        const char* next = p;
        CaughtReport error;
        int result = next_token(token, p, &next, error);
        if (result <= 0) {
            if (result < 0) {
                int column = column_of(line, static_cast<size_t>(next - line));
                report_caught(error, {scan.name, scan.line, column, 0});
            }
            return result;
        }
        if (token.type == TYPE_OPTION) {
            apply_line_options(next);
            return 0;
        }
        if (index == 0) {
            // A label definition, "name:", comes before the statement.
            statement_at = token.type == TYPE_LABEL ? 2 : 0;
        }
        if (index == statement_at) {
            statement = statement_name(token);
            numbered = token.type == TYPE_STATEMENT || token.type == TYPE_FUNCTION;
        } else if (token.type == TYPE_LPAREN || token.type == TYPE_LBRACKET) {
            ++depth;
        } else if (token.type == TYPE_RPAREN || token.type == TYPE_RBRACKET) {
            --depth;
        } else if (token.type == TYPE_COMMA && depth == 0) {
            ++commas;
        }
        if (token.type == TYPE_TEXT || token.type == TYPE_TEXT_LABEL) {
            size_t length = std::strlen(token.text.get());
            ScriptText text{token.type == TYPE_TEXT ? SCRIPT_LITERAL : SCRIPT_LABEL,
                            scan.line,
                            scan.line_start,
                            scan.line_start + static_cast<size_t>(next - line) - length,
                            length,
                            statement != nullptr ? statement : "statement",
                            numbered ? commas + 1 : 0};
            token.text.reset();
            if (!scan.sink->take(scan.sink->context, text)) {
                return -1;
            }
        }
        token.text.reset();
        p = next;
    }
}

}  // namespace

int scan_script_texts(const char* name, const char* bytes, size_t size, const ScriptTextSink& sink,
                      size_t* skipped)
{
    FilePtr stream = open_bytes(bytes, size);
    std::unique_ptr<LineReader> reader(try_new_unfilled<LineReader>());
    if (!stream || !reader) {
        report_error(5090, "memory exhausted! (size=%zu)\n", sizeof(LineReader));
        return -1;
    }
    SettingsState settings = settings_save();
    const char* subject = diag_subject();
    set_diag_subject(name);
    line_reader_open(*reader, stream.get());
    *skipped = reader->pos;
    char line[LINE_BUFFER_SIZE];
    size_t start = reader->pos;
    int result = 0;
    for (int number = 1; result == 0; ++number) {
        Place where{name, number, 0, 0};
        LineRead read = read_line(*reader, line);
        if (read == LINE_END_OF_FILE) {
            break;
        }
        if (read == LINE_READ_ERROR) {
            report_error(5002, "can't read '%s'\n", name);
            result = -1;
        } else if (read == LINE_TOO_LONG) {
            report_at(DIAG_ERROR, 3101, where, "line too long");
            result = -1;
        } else if (read == LINE_HAS_NUL) {
            report_at(DIAG_ERROR, 3104, where, "NUL byte in line");
            result = -1;
        } else {
            size_t length = std::strlen(line);
            if (line[0] != ';' && line[0] != '#') {
                strip_line_end(line);
                diag_line(number, line);  // the tokenizer's messages point into it
                result = scan_line({name, &sink, number, start}, line);
            }
            start += length + (reader->ended_by_newline ? 1 : 0);
        }
    }
    settings_restore(settings);
    set_diag_subject(subject);
    diag_line(0, nullptr);
    return result;
}

}  // namespace tolvar
