// Inside the diagnostics: an error or warning while it is gathered, before
// it becomes a Diagnostic. Plain data, so a held one can be copied as bytes.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "support/diag.h"

namespace tolvar {

constexpr size_t DRAFT_TEXT_ROOM = 1024;

struct DraftNote {
    DiagLocation where;
    char text[DRAFT_TEXT_ROOM];
};

struct RecordDraft {
    DiagKind kind;
    int code;
    DiagLocation where;
    bool has_where;
    char message[DRAFT_TEXT_ROOM];
    bool has_message;
    char classic[DRAFT_TEXT_ROOM];  // the classic line, without its prefix
    DraftNote notes[MAX_DIAG_NOTES];
    int note_count;
};

// What diag_at, diag_say and diag_note gave for the next report.
RecordDraft& pending_draft();
void clear_pending_draft();

// Completes the pending draft with the report's kind, code and line.
void draft_record(DiagKind kind, int code, const char* fmt, va_list args);

// A warning is printed at once; the first error of a run is kept to gather
// the errors after it as its notes, until diag_flush.
void accept_draft(const RecordDraft& draft);

}  // namespace tolvar
