// Byte-code generation: walks the instruction tree and writes every node's
// bytes into the output buffer, checking each statement's recorded offset
// against the bytes written so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "isa/inst.h"
#include "labels/labels.h"
#include "support/diag.h"

namespace tolvar {

struct ConvState;

// Emits the list starting at position; on success stores the position after
// its last byte (bodies included) in *end_position and returns 0. Returns -1
// after printing an error.
int make_binary(const Inst* list, const DataLabelTable& data_labels, uint8_t* buffer, int32_t size,
                int32_t position, int32_t* end_position);

// Emits one expression node with everything below it; on success stores the
// position after its last byte in *new_position and returns 0. Returns -1
// after printing an error.
int make_binary_expr(const Inst* node, const DataLabelTable& data_labels, uint8_t* buffer,
                     int32_t size, int32_t position, int32_t* new_position);

// What a failing emitter call prints on its way out, after its END trace.
enum UnwindKind {
    UNWIND_NONE,        // the top level: the stage's own message follows
    UNWIND_BODY,        // a body of `if` or `else`
    UNWIND_LINE_EXPR,   // an expression parameter of a statement
    UNWIND_LINE_STR32,  // a data-offset parameter of a statement
    UNWIND_EXPR         // an operand of an operator or a function
};

struct UnwindFrame {
    UnwindKind kind = UNWIND_NONE;
    int code = 0;
    int32_t line = 0;
    int32_t start = 0;           // UNWIND_BODY: where the body begins
    const char* name = nullptr;  // UNWIND_BODY: the keyword
    bool is_list = true;         // traced as make_binary, else make_binary_expr
    int level = 0;               // of that trace
    int32_t outer = -1;          // saved copies only: the caller's frame
};

// A call of emit_list or emit_expr that is under way, with what its caller
// prints when it fails, so that a reference found undefined only at the
// end of the script can print what it would have printed at once.
struct LiveFrame {
    UnwindFrame frame;
    const LiveFrame* outer = nullptr;
    mutable int32_t saved = -1;  // its copy in Deferrals::frames, once made
};

// A reference to a label not defined when its statement was generated.
struct PendingLabel {
    int32_t position;  // of the 32-bit offset in the buffer
    size_t name;       // of the NUL-terminated name in Deferrals::names
    size_t mark;       // bytes of held messages before the reference
    int32_t line;      // of its missing-label message, -1 in an expression
    int32_t frame;     // innermost call under way, in Deferrals::frames
};

struct Deferrals {
    std::unique_ptr<PendingLabel[]> items;
    size_t count = 0;
    size_t reserved = 0;
    std::unique_ptr<char[]> names;
    size_t names_size = 0;
    size_t names_reserved = 0;
    std::unique_ptr<UnwindFrame[]> frames;
    size_t frame_count = 0;
    size_t frames_reserved = 0;
    const DiagHold* held = nullptr;  // where the messages go meanwhile
    bool overflowed = false;         // memory ran out: some reference is missing
};

// The generation of a compile, a top-level statement at a time as the
// parser hands them over, each released at once. Its messages are held
// until the parse is known to succeed, since they follow the parse's.
struct StreamedGeneration {
    const DataLabelTable* labels = nullptr;
    std::unique_ptr<uint8_t[]> bytes;
    size_t reserved = 0;
    size_t first_reserve = 0;
    int32_t position = 0;  // where the generator stopped
    Deferrals deferrals;
    DiagHold held;
    LiveFrame top;           // the top-level list, one for all the statements
    bool failed = false;     // a statement failed; later ones are not generated
    size_t memory_size = 0;  // of an allocation that failed
};

// Starts holding the messages; size_hint is the script's size, or 0.
void stream_begin(StreamedGeneration& gen, const DataLabelTable& labels, size_t size_hint);

// Generates statement, whose bytes end at end.
void stream_statement(StreamedGeneration& gen, const Inst* statement, int64_t end);

// After a parse that succeeded: patches the references to later labels,
// prints the generation's messages where a whole-tree generation would
// have printed them and, on success, moves the bytes to conv.buffer.
// Returns 0, or -1 after the messages.
int stream_finish(StreamedGeneration& gen, ConvState& conv);

// Stops holding; the held messages are dropped with gen.
void stream_end(StreamedGeneration& gen);

}  // namespace tolvar
