// The compile context: everything one compile owns, from start-up to the
// end of the run.
#pragma once

#include <cstdint>
#include <memory>

#include "isa/inst.h"
#include "labels/labels.h"

namespace tolvar {

struct ConvState {
    TextLabelTable text_labels;
    DataLabelTable data_labels;
    InstPtr tree;  // first node of the top-level list
    std::unique_ptr<uint8_t[]> buffer;
    int32_t size = 0;  // bytes of byte-code, counted while parsing
};

// Empties the tables, the tree and the buffer.
void conv_init(ConvState& conv);

// Releases everything conv owns, then conv_init.
void conv_free(ConvState& conv);

}  // namespace tolvar
