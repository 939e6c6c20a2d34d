// The compile context: everything one compile owns, from start-up to the
// end of the run.
#pragma once

#include <cstdint>
#include <memory>

#include "isa/inst.h"
#include "labels/labels.h"

namespace tolvar {

// Optional, for tools that show offsets (the language server): told of
// every statement a compile reads, with its line and byte offset, and of
// the game the script was compiled for (its `.option` line's, if any).
struct StatementWatch {
    void (*seen)(void* context, int32_t line, int32_t offset) = nullptr;
    void* context = nullptr;
    int game = -1;  // set when the parse ends
};

struct ConvState {
    TextLabelTable text_labels;
    DataLabelTable data_labels;
    InstPtr tree;  // first node of the top-level list
    std::unique_ptr<uint8_t[]> buffer;
    int32_t size = 0;  // bytes of byte-code, counted while parsing
    StatementWatch* watch = nullptr;  // not owned; null: no one asks
};

// Empties the tables, the tree and the buffer.
void conv_init(ConvState& conv);

// Releases everything conv owns, then conv_init.
void conv_free(ConvState& conv);

}  // namespace tolvar
