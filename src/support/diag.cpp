#include "support/diag.h"

#include <cstdlib>
#include <cstring>

#include "support/settings.h"

namespace tolvar {

namespace {

FILE* diag_override = nullptr;
DiagFormat current_format = DIAG_FORMAT_CLASSIC;
bool quiet = false;
DiagSink current_sink = nullptr;
void* sink_context = nullptr;
const char* subject = nullptr;

// Classic lines are longer than any message the program makes.
constexpr size_t MESSAGE_ROOM = 8192;

// A classic error or warning line as a record: "line N: " gives the line
// of the current subject.
void report_as_record(DiagKind kind, int code, const char* fmt, va_list args)
{
    static char text[MESSAGE_ROOM];
    std::vsnprintf(text, sizeof text, fmt, args);
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == '\n') {
        text[--length] = '\0';
    }
    Diagnostic d;
    d.kind = kind;
    d.code = code;
    d.where.file = subject;
    d.message = text;
    if (std::strncmp(text, "line ", 5) == 0) {
        char* end = nullptr;
        long line = std::strtol(text + 5, &end, 10);
        if (end != text + 5 && end[0] == ':' && end[1] == ' ') {
            d.where.line = static_cast<int>(line);
            d.message = end + 2;
        }
    }
    report_diagnostic(d);
}

void print_location(FILE* out, const DiagLocation& where)
{
    std::fputs(where.file != nullptr ? where.file : "tolvar", out);
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
    int length = p[0] < 0x80 ? 1 : p[0] >= 0xC2 && p[0] < 0xE0 ? 2 : p[0] >= 0xE0 && p[0] < 0xF0 ? 3
                                                              : p[0] >= 0xF0 && p[0] < 0xF5 ? 4
                                                                                            : 0;
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

}  // namespace

void diag_reset()
{
    current_format = DIAG_FORMAT_CLASSIC;
    quiet = false;
    current_sink = nullptr;
    sink_context = nullptr;
    subject = nullptr;
}

void set_diag_format(DiagFormat format)
{
    current_format = format;
}

DiagFormat diag_format()
{
    return current_format;
}

namespace {

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

void set_diag_subject(const char* file)
{
    subject = file;
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
    if (!quiet && current_format == DIAG_FORMAT_CLASSIC && current_sink == nullptr) {
        report_plain("completed!\n");
    }
}

FILE* diag_file()
{
    return diag_override != nullptr ? diag_override : stderr;
}

void set_diag_file(FILE* file)
{
    diag_override = file;
}

void vreport(DiagKind kind, int code, const char* fmt, va_list args)
{
    bool classic = current_format == DIAG_FORMAT_CLASSIC && current_sink == nullptr;
    if (kind == DIAG_INFO && (quiet || !classic)) {
        return;
    }
    if (!classic && (kind == DIAG_ERROR || kind == DIAG_WARNING)) {
        report_as_record(kind, code, fmt, args);
        return;
    }
    FILE* out = diag_file();
    switch (kind) {
    case DIAG_INFO:
        std::fputs("INFO: ", out);
        break;
    case DIAG_WARNING:
        std::fprintf(out, "WARNING(%d): ", code);
        break;
    case DIAG_ERROR:
        if (code < 0) {
            std::fputs("ERROR: ", out);
        } else {
            std::fprintf(out, "ERROR(%d): ", code);
        }
        break;
    case DIAG_PLAIN:
        break;
    }
    std::vfprintf(out, fmt, args);
}

void report_info(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport(DIAG_INFO, 0, fmt, args);
    va_end(args);
}

void report_warning(int code, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport(DIAG_WARNING, code, fmt, args);
    va_end(args);
}

void report_error(int code, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport(DIAG_ERROR, code, fmt, args);
    va_end(args);
}

void report_plain(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport(DIAG_PLAIN, 0, fmt, args);
    va_end(args);
}

void trace_depth(const char* name, int level, bool start)
{
    report_info("%s: level=%d %s\n", name, level, start ? "START" : "END");
}

}  // namespace tolvar
