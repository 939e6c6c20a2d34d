#include "support/diag.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "support/diag_record.h"
#include "support/settings.h"

namespace tolvar {

namespace {

FILE* diag_override = nullptr;
DiagHold* held = nullptr;

bool hold_room(DiagHold& hold, size_t more)
{
    if (hold.capacity - hold.size > more) {
        return true;
    }
    size_t wanted = std::max(hold.capacity * 2, hold.size + more + 256);
    std::unique_ptr<char[]> grown(new (std::nothrow) char[wanted]);
    if (!grown) {
        hold.lost = true;
        return false;
    }
    std::copy(hold.text.get(), hold.text.get() + hold.size, grown.get());
    hold.text = std::move(grown);
    hold.capacity = wanted;
    return true;
}

void hold_vprintf(DiagHold& hold, const char* fmt, va_list args)
{
    if (!hold_room(hold, 0)) {
        return;
    }
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(hold.text.get() + hold.size, hold.capacity - hold.size, fmt, args);
    if (length >= 0 && static_cast<size_t>(length) >= hold.capacity - hold.size &&
        hold_room(hold, static_cast<size_t>(length))) {
        length = std::vsnprintf(hold.text.get() + hold.size, hold.capacity - hold.size, fmt, again);
    }
    va_end(again);
    if (length >= 0 && static_cast<size_t>(length) < hold.capacity - hold.size) {
        hold.size += static_cast<size_t>(length);
    } else {
        hold.lost = true;
    }
}

void hold_text(DiagHold& hold, const char* text)
{
    size_t length = std::strlen(text);
    if (hold_room(hold, length)) {
        std::memcpy(hold.text.get() + hold.size, text, length);
        hold.size += length;
    }
}

// "INFO: ", "WARNING(n): ", "ERROR(n): " (or "ERROR: " for a negative
// code), or nothing.
void format_prefix(char (&out)[32], DiagKind kind, int code)
{
    switch (kind) {
    case DIAG_INFO:
        std::snprintf(out, sizeof out, "INFO: ");
        break;
    case DIAG_WARNING:
        std::snprintf(out, sizeof out, "WARNING(%d): ", code);
        break;
    case DIAG_ERROR:
        if (code < 0) {
            std::snprintf(out, sizeof out, "ERROR: ");
        } else {
            std::snprintf(out, sizeof out, "ERROR(%d): ", code);
        }
        break;
    case DIAG_PLAIN:
        out[0] = '\0';
        break;
    }
}

// A record keeps its place among the held lines, marked by a zero byte
// that no message holds.
void hold_record(DiagHold& hold, DiagKind kind, int code, const char* fmt, va_list args)
{
    if (kind != DIAG_INFO && hold_room(hold, sizeof(RecordDraft) + 1)) {
        draft_record(kind, code, fmt, args);
        hold.text[hold.size++] = '\0';
        std::memcpy(hold.text.get() + hold.size, &pending_draft(), sizeof(RecordDraft));
        hold.size += sizeof(RecordDraft);
    }
    clear_pending_draft();
}

// Held classic text; quiet drops its INFO lines.
void print_classic_text(const char* text, size_t length)
{
    if (!diag_quiet()) {
        std::fwrite(text, 1, length, diag_file());
        return;
    }
    for (const char* end = text + length; text < end;) {
        const auto* line_end =
            static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)));
        const char* next = line_end != nullptr ? line_end + 1 : end;
        if (std::strncmp(text, "INFO: ", 6) != 0) {
            std::fwrite(text, 1, static_cast<size_t>(next - text), diag_file());
        }
        text = next;
    }
}

}  // namespace

void set_diag_hold(DiagHold* hold)
{
    held = hold;
}

DiagHold* diag_hold()
{
    return held;
}

void print_held(const DiagHold& hold, size_t size)
{
    const char* p = hold.text.get();
    const char* end = p + std::min(size, hold.size);
    while (p < end) {
        if (*p == '\0') {
            RecordDraft draft;
            std::memcpy(&draft, p + 1, sizeof draft);
            accept_draft(draft);
            p += 1 + sizeof draft;
            continue;
        }
        const auto* stop =
            static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(end - p)));
        size_t length = static_cast<size_t>((stop != nullptr ? stop : end) - p);
        print_classic_text(p, length);
        p += length;
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
    bool records = diag_records();
    if (held != nullptr && records && kind != DIAG_PLAIN) {
        hold_record(*held, kind, code, fmt, args);
        return;
    }
    char prefix[32];
    format_prefix(prefix, kind, code);
    if (held != nullptr) {
        hold_text(*held, prefix);
        hold_vprintf(*held, fmt, args);
        return;
    }
    if (kind == DIAG_INFO && (records || diag_quiet())) {
        return;
    }
    if (records && kind != DIAG_PLAIN) {
        draft_record(kind, code, fmt, args);
        accept_draft(pending_draft());
        clear_pending_draft();
        return;
    }
    FILE* out = diag_file();
    std::fputs(prefix, out);
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

void memory_error(int code, size_t size)
{
    report_error(code, "memory exhausted! (size=%zu)\n", size);
}

void trace_depth(const char* name, int level, bool start)
{
    report_info("%s: level=%d %s\n", name, level, start ? "START" : "END");
}

}  // namespace tolvar
