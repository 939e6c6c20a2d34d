#include "text_tools/tool_support.h"

#include <cstdarg>
#include <cstring>

#include "front/text_literal.h"
#include "support/faults.h"

namespace tolvar {

int read_input(const char* path, ByteBuffer& out)
{
    FilePtr file(std::fopen(path, "rb"));
    if (!file) {
        report_error(5001, "can't open '%s'\n", path);
        return -1;
    }
    out.memory_code = 5090;
    for (;;) {
        if (out.capacity - out.size < 4096 && !buffer_reserve(out, out.capacity * 2 + 65536)) {
            return -1;
        }
        size_t room = out.capacity - out.size;
        size_t count =
            io_should_fail() ? 0 : std::fread(out.data.get() + out.size, 1, room, file.get());
        out.size += count;
        if (count < room) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0 || !std::feof(file.get())) {
        report_error(5002, "can't read '%s'\n", path);
        return -1;
    }
    return 0;
}

FilePtr open_bytes(const char* bytes, size_t size)
{
    static char empty[1];
    void* data = size > 0 ? const_cast<char*>(bytes) : empty;
    return FilePtr(fmemopen(data, size, "r"));
}

int column_of(const char* line, size_t offset)
{
    int column = 1;
    for (size_t i = 0; i < offset; ++i, ++column) {
        if (is_lead_byte(static_cast<unsigned char>(line[i])) && i + 1 < offset) {
            ++i;
        }
    }
    return column;
}

namespace {

bool as_record()
{
    void* context = nullptr;
    return diag_format() != DIAG_FORMAT_CLASSIC || diag_sink(&context) != nullptr;
}

DiagLocation location(const Place& where)
{
    return {where.file, where.line, where.column, where.end_column};
}

void vreport_at(DiagKind kind, int code, const Place& where, const Place* note_where,
                const char* note, const char* fmt, va_list args)
{
    char message[1024];
    std::vsnprintf(message, sizeof message, fmt, args);
    if (!as_record()) {
        const char* form = where.line > 0 ? "'%s' line %d: %s\n" : "'%s': %s\n";
        if (where.line > 0 && kind == DIAG_WARNING) {
            report_warning(code, form, where.file, where.line, message);
        } else if (where.line > 0) {
            report_error(code, form, where.file, where.line, message);
        } else if (kind == DIAG_WARNING) {
            report_warning(code, form, where.file, message);
        } else {
            report_error(code, form, where.file, message);
        }
        if (note_where != nullptr) {
            report_plain("  '%s' line %d: %s\n", note_where->file, note_where->line, note);
        }
        return;
    }
    Diagnostic d;
    d.kind = kind;
    d.code = code;
    d.where = location(where);
    d.message = message;
    if (note_where != nullptr) {
        d.notes[0] = {location(*note_where), note};
        d.note_count = 1;
    }
    report_diagnostic(d);
}

void catch_report(const Diagnostic& d, void* context)
{
    auto& caught = *static_cast<CaughtReport*>(context);
    if (d.kind == DIAG_WARNING) {
        caught.warned = true;
    } else if (caught.code == 0) {
        caught.code = d.code;
        caught.where = {d.where.file, d.where.line, d.where.column, d.where.end_column};
        std::snprintf(caught.message, sizeof caught.message, "%s", d.message);
    }
}

// stored has room for the literal and its NUL.
bool decode_from(const char* literal, size_t length, ByteBuffer& stored, int start, int* end)
{
    std::memcpy(stored.data.get(), literal, length);
    stored.data[length] = '\0';
    int region = start;
    if (decode_text(stored.data.get(), &region) < 0) {
        stored.size = 0;
        return false;
    }
    stored.size = std::strlen(stored.data.get());
    *end = region;
    return true;
}

}  // namespace

void report_at(DiagKind kind, int code, const Place& where, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport_at(kind, code, where, nullptr, nullptr, fmt, args);
    va_end(args);
}

void report_at_with_note(DiagKind kind, int code, const Place& where, const Place& note_where,
                         const char* note, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vreport_at(kind, code, where, &note_where, note, fmt, args);
    va_end(args);
}

DiagCatch::DiagCatch(CaughtReport& caught) : caught_(caught)
{
    old_sink_ = diag_sink(&old_context_);
    set_diag_sink(catch_report, &caught_);
}

DiagCatch::~DiagCatch()
{
    // The error gathered for its notes is delivered by the flush.
    diag_flush();
    set_diag_sink(old_sink_, old_context_);
}

void report_caught(const CaughtReport& caught, const Place& fallback)
{
    report_at(DIAG_ERROR, caught.code, caught.where.line > 0 ? caught.where : fallback, "%s",
              caught.message);
}

bool judge_literal(const char* literal, size_t length, const Place& quote, ByteBuffer& stored,
                   LiteralVerdict& verdict)
{
    verdict = LiteralVerdict{};
    stored.size = 0;
    if (!buffer_reserve(stored, length + 1)) {
        return false;
    }
    int end = 0;
    {
        DiagCatch caught(verdict.error);
        diag_text_origin({quote.file, quote.line, quote.column, 0}, stored.data.get());
        verdict.decodes = decode_from(literal, length, stored, 0, &end);
    }
    verdict.kana = verdict.error.warned;
    verdict.balanced = verdict.decodes && end == 0;
    if (!verdict.decodes) {
        CaughtReport ignored;
        DiagCatch caught(ignored);
        verdict.decodes = decode_from(literal, length, stored, 1, &end);
        verdict.start_region = verdict.decodes ? 1 : 0;
    }
    verdict.end_region = end;
    diag_text_origin({}, nullptr);
    return true;
}

bool append_literal(ByteBuffer& out, const char* stored, size_t size)
{
    bool ok = buffer_append_char(out, '"');
    size_t start = 0;
    for (size_t i = 0; i < size && ok; ++i) {
        const char* escape = nullptr;
        switch (stored[i]) {
        case '\t':
            escape = "\\t";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '"':
            escape = "\\\"";
            break;
        case '\\':
            escape = "\\\\";
            break;
        default:
            break;
        }
        if (is_lead_byte(static_cast<unsigned char>(stored[i])) && i + 1 < size &&
            is_trail_byte(static_cast<unsigned char>(stored[i + 1]))) {
            ++i;  // a trail byte 0x5C is no backslash
        } else if (escape != nullptr) {
            ok = buffer_append(out, stored + start, i - start) && buffer_append(out, escape, 2);
            start = i + 1;
        }
    }
    return ok && buffer_append(out, stored + start, size - start) && buffer_append_char(out, '"');
}

void format_text_label(char out[11], int id, int number)
{
    static const char HEX[] = "0123456789ABCDEF";
    out[0] = 'T';
    for (int i = 0; i < 4; ++i) {
        out[1 + i] = HEX[(id >> (12 - 4 * i)) & 0xF];
    }
    out[5] = '_';
    int n = number % 10000;
    for (int i = 9; i >= 6; --i, n /= 10) {
        out[i] = static_cast<char>('0' + n % 10);
    }
    out[10] = '\0';
}

long text_label_key(const char* name, size_t length)
{
    if (length != 10 || (name[0] != 'T' && name[0] != 't') || name[5] != '_') {
        return -1;
    }
    long id = 0;
    for (int i = 1; i <= 4; ++i) {
        char c = name[i];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) {
            return -1;
        }
        id = id * 16 + digit;
    }
    long number = 0;
    for (int i = 6; i <= 9; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return -1;
        }
        number = number * 10 + (name[i] - '0');
    }
    return id * 10000 + number;
}

}  // namespace tolvar
