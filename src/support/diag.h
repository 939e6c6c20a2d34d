// Diagnostics: every line the compiler prints goes through here, to the
// standard error stream (or to the stream a test installs).
#pragma once

#include <cstdarg>
#include <cstdio>

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

// The forms a diagnostic can be printed in. CLASSIC is the default and
// prints every line as the report_* calls give it; GNU prints each error
// and warning as "FILE:LINE:COLUMN: error: MESSAGE [CODE]" with its notes;
// JSON prints one object per line. INFO lines and plain lines other than
// the usage text and the banner belong to the classic form only.
enum DiagFormat {
    DIAG_FORMAT_CLASSIC,
    DIAG_FORMAT_GNU,
    DIAG_FORMAT_JSON
};

// A place in a file. Columns count characters from 1 (a double-byte
// character is one); column 0 means the whole line, line 0 no line.
struct DiagLocation {
    const char* file = nullptr;  // null: not about a file (command line)
    int line = 0;
    int column = 0;
    int end_column = 0;  // one past the last character; 0: to the line end
};

struct DiagNote {
    DiagLocation where;
    const char* message = "";
};

constexpr int MAX_DIAG_NOTES = 8;

// One error or warning as the new forms and the language server see it.
struct Diagnostic {
    DiagKind kind = DIAG_ERROR;  // DIAG_ERROR or DIAG_WARNING
    int code = 0;                // negative: no code
    DiagLocation where;
    const char* message = "";    // plain words, no line end
    DiagNote notes[MAX_DIAG_NOTES];
    int note_count = 0;
};

void set_diag_format(DiagFormat format);
DiagFormat diag_format();

// The classic form, not quiet, no sink, no subject: each run starts here.
void diag_reset();

// Reads the command-line options of the diagnostics, "-q", "--quiet" and
// "--diagnostics-format=classic|gnu|json" (or the form in two arguments,
// which takes argv[i + 1]). Returns how many arguments it used: 0 when arg
// is none of them, -1 after a message for a bad format.
int read_diag_option(int argc, char** argv, int i);

// With quiet set, INFO lines and "completed!" are left out in every form.
void set_diag_quiet(bool quiet);
bool diag_quiet();

// Prints d in the chosen form, or hands it to the sink where one is
// installed (the language server collects them; nothing is printed).
void report_diagnostic(const Diagnostic& d);

using DiagSink = void (*)(const Diagnostic& d, void* context);
void set_diag_sink(DiagSink sink, void* context);
// The sink installed now (null for none), to put back after borrowing it.
DiagSink diag_sink(void** context);

// The file the lines of report_error and report_warning are about, for
// the record they make in the new forms ("line N: " gives the line).
void set_diag_subject(const char* file);

// The closing line of a successful run, left out when quiet or in the
// new forms.
void report_completed();

}  // namespace tolvar
