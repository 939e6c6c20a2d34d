// The statement parser: reads a script into the instruction tree, counting
// the exact size of the byte-code as it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "isa/encoding.h"
#include "isa/inst.h"
#include "support/memory.h"

namespace tolvar {

struct ConvState;

// Takes the top-level statements of a parse in order, each as soon as no
// later line can change it, and owns it from then on. Its bytes end at
// `end`, the offset the next statement begins at.
struct StatementSink {
    void (*take)(void* context, InstPtr statement, int64_t end);
    void* context;
};

// Parses the open script stream into conv.tree, conv.data_labels and
// conv.size; name is what the messages call it. With a sink, every
// top-level statement but the last goes to it as soon as no later line can
// change it. Returns 0, or -1 after printing the errors.
int parse_script(ConvState& conv, FILE* stream, const char* name, const StatementSink* sink);

// Announces and opens the script at path; null after the message.
FilePtr open_source(const char* path);

// Announces and parses the script at path, keeping the whole tree (for
// the tests and the per-stage benchmark).
int read_source(ConvState& conv, const char* path);

// Hands the statements of list before keep (all of them when keep is null)
// to sink in order; the last one handed over ends at end when keep is null.
void hand_over_statements(const StatementSink& sink, InstPtr& list, const Inst* keep, int64_t end);

// The `.option` directive: applies the option words in rest. 0 or -1.
int set_line_options(int32_t line, const char* rest);

// The largest byte-code a parse accepts, MAX_BINARY_SIZE unless a test lowers it
// to reach the limit with a small script.
void set_size_limit(int64_t limit);

// Removes every CR and LF at the end of text; returns how many.
size_t strip_line_end(char* text);

}  // namespace tolvar
