#include "support/diag.h"

#include "support/settings.h"

namespace tolvar {

namespace {
FILE* diag_override = nullptr;
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
