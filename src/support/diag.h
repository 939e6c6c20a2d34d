// Diagnostics: every line the compiler prints goes through here, to the
// standard error stream (or to the stream a test installs).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <memory>

#include "support/settings.h"

namespace tolvar {

enum DiagKind {
    DIAG_INFO,     // "INFO: "
    DIAG_WARNING,  // "WARNING(code): "
    DIAG_ERROR,    // "ERROR(code): ", or "ERROR: " for a negative code
    DIAG_PLAIN     // no prefix: usage text, token dumps, "completed!"
};

// The one formatting helper behind the wrappers below.
void vreport(DiagKind kind, int code, const char* fmt, va_list args);

void report_info(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void report_warning(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void report_error(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void report_plain(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "memory exhausted! (size=N)": an allocation of size bytes failed.
void memory_error(int code, size_t size);

// One level of a recursive operation's depth counter, held for the life of
// a call, with its START and END trace lines at verbose level 2. The END
// line follows any error the call printed. end_name differs from name only
// where the trace has always spelled the two lines differently.
// Prints a START or END line of a DepthTrace.
void trace_depth(const char* name, int level, bool start);

struct DepthTrace {
    DepthTrace(const char* name, int& depth) : DepthTrace(name, name, depth) {}
    // Inline: a compile enters a traced call for nearly every node.
    DepthTrace(const char* name, const char* end, int& depth) : end_name(end), level(depth)
    {
        ++level;
        if (verbose_level >= 2) {
            trace_depth(name, level, true);
        }
    }
    ~DepthTrace()
    {
        if (verbose_level >= 2) {
            trace_depth(end_name, level, false);
        }
        --level;
    }
    DepthTrace(const DepthTrace&) = delete;
    DepthTrace& operator=(const DepthTrace&) = delete;

    const char* end_name;
    int& level;
};

// Where diagnostics go: the standard error stream unless a test has
// installed another stream; null restores the standard error stream.
FILE* diag_file();
void set_diag_file(FILE* file);

// Messages kept back, in order, to be printed later or dropped: those of a
// stage that runs early but must report after another. Memory for them is
// taken without the failure hook, and running out is only remembered.
struct DiagHold {
    std::unique_ptr<char[]> text;
    size_t size = 0;
    size_t capacity = 0;
    bool lost = false;  // a message did not fit in memory
};

// While hold is not null, every message goes into it instead.
void set_diag_hold(DiagHold* hold);
DiagHold* diag_hold();

// Prints the first `size` bytes held.
void print_held(const DiagHold& hold, size_t size);

}  // namespace tolvar
