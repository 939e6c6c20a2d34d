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
// The forms a diagnostic can be printed in. CLASSIC is the default and
// prints every line as the report_* calls give it. GNU prints each error
// and warning once, as "FILE:LINE:COLUMN: error: MESSAGE [CODE]" with its
// notes; JSON prints one object per line. In both, the lines an error adds
// on its way out (the stages it passes) become notes of the first, INFO
// lines and token dumps are left out.
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

// True when errors and warnings become records (a new form or a sink):
// only then is it worth working out where they stand.
bool diag_records();

// Prints d in the chosen form, or hands it to the sink where one is
// installed (the language server collects them; nothing is printed).
void report_diagnostic(const Diagnostic& d);

using DiagSink = void (*)(const Diagnostic& d, void* context);
void set_diag_sink(DiagSink sink, void* context);
// The sink installed now (null for none), to put back after borrowing it.
DiagSink diag_sink(void** context);

// The command's name, where a diagnostic is about no file.
void set_diag_program(const char* name);

// The file the classic "line N: " messages are about.
void set_diag_subject(const char* file);
const char* diag_subject();

// For the next error or warning only, in the record forms: where it stands
// (unset parts are taken from its classic line), what it says in plain
// words, and notes with places of their own. Nothing is done in the
// classic form, where the classic line says it all.
void diag_at(const DiagLocation& where);
void diag_say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void diag_note(const DiagLocation& where, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

// The column of the character at `at` in a line beginning at `line`: one
// for each byte, but one for a Shift-JIS lead byte and its trail byte.
int diag_column(const char* line, const char* at);

// The line being read (of the subject), so that places in it can be named
// by pointers into its text; set for each line.
void diag_line(int line, const char* text);
int diag_line_number();
// The bytes from `from` up to `to` of the current line, or between two
// byte offsets in it.
DiagLocation diag_span(const char* from, const char* to);
DiagLocation diag_span_offsets(int from, int to);
const char* diag_line_text();

// Forgets what diag_at, diag_say and diag_note gave when no report
// followed (a new line does as much).
void diag_clear();

// A text is checked apart from the line it was written on: where its
// opening quote stands, and the copy being checked, which begins there.
void diag_text_origin(const DiagLocation& quote, const char* literal);
// The bytes from `from` up to `to` of the copy, where they were written.
DiagLocation diag_text_span(const char* from, const char* to);

// For a "can't open" report: the file, and the system's reason (errno).
void diag_cant_open(const char* path);

// Ends a run: prints the error being gathered with its notes.
void diag_flush();

// The closing line of a successful run, left out when quiet or in the
// new forms.
void report_completed();

}  // namespace tolvar
