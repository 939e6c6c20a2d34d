#include "support/diag.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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
    size_t count = std::min(size, hold.size);
    if (count > 0) {
        std::fwrite(hold.text.get(), 1, count, diag_file());
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
    char prefix[32];
    format_prefix(prefix, kind, code);
    if (held != nullptr) {
        hold_text(*held, prefix);
        hold_vprintf(*held, fmt, args);
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
