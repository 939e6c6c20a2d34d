#include "support/diag_record.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tolvar {

namespace {

DiagFormat current_format = DIAG_FORMAT_CLASSIC;
bool quiet = false;
DiagSink current_sink = nullptr;
void* sink_context = nullptr;
const char* subject = nullptr;
const char* program = "tolvar";

RecordDraft pending;
RecordDraft primary;
bool have_primary = false;

int current_line = 0;
const char* current_text = nullptr;
DiagLocation text_quote;
const char* text_literal = nullptr;

void clear(RecordDraft& draft)
{
    draft.kind = DIAG_ERROR;
    draft.code = 0;
    draft.where = DiagLocation{};
    draft.has_where = false;
    draft.message[0] = '\0';
    draft.has_message = false;
    draft.classic[0] = '\0';
    draft.note_count = 0;
}

// The classic line's own place: "line N: " at its start gives the line.
const char* classic_message(const char* classic, int* line)
{
    *line = 0;
    if (std::strncmp(classic, "line ", 5) != 0) {
        return classic;
    }
    char* end = nullptr;
    long number = std::strtol(classic + 5, &end, 10);
    if (end == classic + 5 || end[0] != ':' || end[1] != ' ') {
        return classic;
    }
    *line = static_cast<int>(number);
    return end + 2;
}

// Where the draft stands and what it says, from its own parts first.
void resolve(const RecordDraft& draft, DiagLocation* where, const char** message)
{
    int line = 0;
    const char* said = classic_message(draft.classic, &line);
    *where = draft.has_where ? draft.where : DiagLocation{};
    if (where->line == 0) {
        where->line = line;
    }
    if (where->file == nullptr && (where->line > 0 || !draft.has_where)) {
        where->file = subject;
    }
    *message = draft.has_message ? draft.message : said;
}

void copy_text(char* out, const char* text)
{
    std::strncpy(out, text, DRAFT_TEXT_ROOM - 1);
    out[DRAFT_TEXT_ROOM - 1] = '\0';
}

void add_note(RecordDraft& draft, const DiagLocation& where, const char* text)
{
    if (draft.note_count < MAX_DIAG_NOTES) {
        DraftNote& note = draft.notes[draft.note_count++];
        note.where = where;
        copy_text(note.text, text);
    }
}

Diagnostic to_diagnostic(const RecordDraft& draft)
{
    Diagnostic d;
    d.kind = draft.kind;
    d.code = draft.code;
    resolve(draft, &d.where, &d.message);
    for (int i = 0; i < draft.note_count; ++i) {
        d.notes[i].where = draft.notes[i].where;
        d.notes[i].message = draft.notes[i].text;
    }
    d.note_count = draft.note_count;
    return d;
}

void print_location(FILE* out, const DiagLocation& where)
{
    std::fputs(where.file != nullptr ? where.file : program, out);
    if (where.line > 0) {
        std::fprintf(out, ":%d", where.line);
        if (where.column > 0) {
            std::fprintf(out, ":%d", where.column);
        }
    }
    std::fputs(": ", out);
}

void print_gnu(FILE* out, const Diagnostic& d)
{
    print_location(out, d.where);
    std::fprintf(out, "%s: %s", d.kind == DIAG_WARNING ? "warning" : "error", d.message);
    if (d.code >= 0) {
        std::fprintf(out, " [%d]", d.code);
    }
    std::fputc('\n', out);
    for (int i = 0; i < d.note_count; ++i) {
        print_location(out, d.notes[i].where);
        std::fprintf(out, "note: %s\n", d.notes[i].message);
    }
}

// Length of the well-formed UTF-8 character at p, or 0.
int utf8_length(const unsigned char* p)
{
    int length = 0;
    if (p[0] < 0x80) {
        length = 1;
    } else if (p[0] >= 0xC2 && p[0] < 0xE0) {
        length = 2;
    } else if (p[0] >= 0xE0 && p[0] < 0xF0) {
        length = 3;
    } else if (p[0] >= 0xF0 && p[0] < 0xF5) {
        length = 4;
    }
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// A JSON string; a byte that is not part of UTF-8 (a Shift-JIS byte, say)
// stands as the character of that number.
void print_json_string(FILE* out, const char* text)
{
    std::fputc('"', out);
    for (const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
         *p != 0;) {
        int length = utf8_length(p);
        if (*p == '"' || *p == '\\') {
            std::fprintf(out, "\\%c", *p++);
        } else if (*p < 0x20 || length == 0) {
            std::fprintf(out, "\\u%04x", *p++);
        } else {
            std::fwrite(p, 1, static_cast<size_t>(length), out);
            p += length;
        }
    }
    std::fputc('"', out);
}

void print_json_location(FILE* out, const DiagLocation& where)
{
    std::fputs("\"file\":", out);
    if (where.file != nullptr) {
        print_json_string(out, where.file);
    } else {
        std::fputs("null", out);
    }
    std::fprintf(out, ",\"line\":%d,\"column\":%d,\"end_column\":%d", where.line, where.column,
                 where.end_column);
}

void print_json(FILE* out, const Diagnostic& d)
{
    std::fputc('{', out);
    print_json_location(out, d.where);
    std::fprintf(out, ",\"severity\":\"%s\",\"code\":", d.kind == DIAG_WARNING ? "warning" : "error");
    if (d.code >= 0) {
        std::fprintf(out, "%d", d.code);
    } else {
        std::fputs("null", out);
    }
    std::fputs(",\"message\":", out);
    print_json_string(out, d.message);
    std::fputs(",\"notes\":[", out);
    for (int i = 0; i < d.note_count; ++i) {
        std::fputs(i > 0 ? ",{" : "{", out);
        print_json_location(out, d.notes[i].where);
        std::fputs(",\"message\":", out);
        print_json_string(out, d.notes[i].message);
        std::fputc('}', out);
    }
    std::fputs("]}\n", out);
}

bool format_named(const char* name, DiagFormat& format)
{
    static const struct {
        const char* name;
        DiagFormat format;
    } FORMATS[] = {
        {"classic", DIAG_FORMAT_CLASSIC}, {"gnu", DIAG_FORMAT_GNU}, {"json", DIAG_FORMAT_JSON}};
    for (const auto& known : FORMATS) {
        if (std::strcmp(name, known.name) == 0) {
            format = known.format;
            return true;
        }
    }
    return false;
}

}  // namespace

RecordDraft& pending_draft()
{
    return pending;
}

void clear_pending_draft()
{
    clear(pending);
}

void draft_record(DiagKind kind, int code, const char* fmt, va_list args)
{
    pending.kind = kind;
    pending.code = code;
    std::vsnprintf(pending.classic, sizeof pending.classic, fmt, args);
    size_t length = std::strlen(pending.classic);
    while (length > 0 && pending.classic[length - 1] == '\n') {
        pending.classic[--length] = '\0';
    }
}

void accept_draft(const RecordDraft& draft)
{
    if (draft.kind == DIAG_WARNING) {
        report_diagnostic(to_diagnostic(draft));
        return;
    }
    if (!have_primary) {
        primary = draft;
        have_primary = true;
        return;
    }
    // A line the error adds on its way out: worth a note where it says in
    // plain words where the error stands (a parameter, a text's use), or
    // names another line; not where it only names a stage.
    DiagLocation where;
    const char* message = nullptr;
    resolve(draft, &where, &message);
    DiagLocation first;
    const char* unused = nullptr;
    resolve(primary, &first, &unused);
    if (draft.has_message || (where.line > 0 && where.line != first.line)) {
        add_note(primary, where, message);
    }
}

void diag_flush()
{
    if (have_primary) {
        have_primary = false;
        report_diagnostic(to_diagnostic(primary));
    }
    clear(pending);
}

void diag_reset()
{
    current_format = DIAG_FORMAT_CLASSIC;
    quiet = false;
    current_sink = nullptr;
    sink_context = nullptr;
    subject = nullptr;
    program = "tolvar";
    have_primary = false;
    clear(pending);
    current_line = 0;
    current_text = nullptr;
    text_quote = DiagLocation{};
    text_literal = nullptr;
}

void set_diag_format(DiagFormat format)
{
    current_format = format;
}

DiagFormat diag_format()
{
    return current_format;
}

bool diag_records()
{
    return current_format != DIAG_FORMAT_CLASSIC || current_sink != nullptr;
}

int read_diag_option(int argc, char** argv, int i)
{
    static const char OPTION[] = "--diagnostics-format";
    const char* arg = argv[i];
    if (std::strcmp(arg, "-q") == 0 || std::strcmp(arg, "--quiet") == 0) {
        quiet = true;
        return 1;
    }
    if (std::strncmp(arg, OPTION, sizeof OPTION - 1) != 0) {
        return 0;
    }
    const char* rest = arg + sizeof OPTION - 1;
    int used = 1;
    if (*rest == '=') {
        ++rest;
    } else if (*rest == '\0' && i + 1 < argc) {
        rest = argv[i + 1];
        used = 2;
    } else if (*rest != '\0') {
        return 0;
    }
    if (!format_named(rest, current_format)) {
        report_error(-1, "unknown diagnostics format '%s': classic, gnu or json\n", rest);
        return -1;
    }
    return used;
}

void set_diag_quiet(bool value)
{
    quiet = value;
}

bool diag_quiet()
{
    return quiet;
}

void set_diag_sink(DiagSink sink, void* context)
{
    current_sink = sink;
    sink_context = context;
}

DiagSink diag_sink(void** context)
{
    *context = sink_context;
    return current_sink;
}

void set_diag_program(const char* name)
{
    program = name;
}

void set_diag_subject(const char* file)
{
    subject = file;
}

const char* diag_subject()
{
    return subject;
}

void diag_at(const DiagLocation& where)
{
    pending.where = where;
    pending.has_where = true;
}

void diag_say(const char* fmt, ...)
{
    if (!diag_records()) {
        return;
    }
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(pending.message, sizeof pending.message, fmt, args);
    va_end(args);
    pending.has_message = true;
}

void diag_note(const DiagLocation& where, const char* fmt, ...)
{
    if (!diag_records() || pending.note_count >= MAX_DIAG_NOTES) {
        return;
    }
    DraftNote& note = pending.notes[pending.note_count++];
    note.where = where;
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(note.text, sizeof note.text, fmt, args);
    va_end(args);
}

int diag_column(const char* line, const char* at)
{
    int column = 1;
    for (const auto* p = reinterpret_cast<const unsigned char*>(line);
         p < reinterpret_cast<const unsigned char*>(at); ++p, ++column) {
        bool lead = (*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC);
        if (lead && p + 1 < reinterpret_cast<const unsigned char*>(at) && p[1] >= 0x40 &&
            p[1] != 0x7F && p[1] <= 0xFC) {
            ++p;
        }
    }
    return column;
}

void diag_cant_open(const char* path)
{
    int error = errno;
    if (diag_records()) {
        diag_at(DiagLocation{path, 0, 0, 0});
        diag_say("can't open '%s': %s", path, std::strerror(error));
    }
}

void diag_line(int line, const char* text)
{
    current_line = line;
    current_text = text;
    clear(pending);
}

const char* diag_line_text()
{
    return current_text != nullptr ? current_text : "";
}

DiagLocation diag_span_offsets(int from, int to)
{
    const char* text = diag_line_text();
    return diag_span(text + from, text + to);
}

void diag_clear()
{
    clear(pending);
}

int diag_line_number()
{
    return current_line;
}

DiagLocation diag_span(const char* from, const char* to)
{
    DiagLocation where{subject, current_line, 0, 0};
    if (diag_records() && current_text != nullptr && from >= current_text) {
        where.column = diag_column(current_text, from);
        where.end_column = to > from ? diag_column(current_text, to) : where.column + 1;
    }
    return where;
}

void diag_text_origin(const DiagLocation& quote, const char* literal)
{
    text_quote = quote;
    text_literal = literal;
}

DiagLocation diag_text_span(const char* from, const char* to)
{
    DiagLocation where = text_quote;
    if (text_literal != nullptr && from >= text_literal && where.column > 0) {
        where.column = text_quote.column + diag_column(text_literal, from) - 1;
        where.end_column = to > from ? text_quote.column + diag_column(text_literal, to) - 1
                                     : where.column + 1;
    }
    return where;
}

void report_diagnostic(const Diagnostic& d)
{
    if (current_sink != nullptr) {
        current_sink(d, sink_context);
    } else if (current_format == DIAG_FORMAT_JSON) {
        print_json(diag_file(), d);
    } else {
        print_gnu(diag_file(), d);
    }
}

void report_completed()
{
    if (!quiet && !diag_records()) {
        report_plain("completed!\n");
    }
}

}  // namespace tolvar
