// Byte-code generation: walks the instruction tree and writes every node's
// bytes into the output buffer, checking each statement's recorded offset
// against the bytes written so far.
#pragma once

#include <cstdint>

#include "isa/inst.h"
#include "labels/labels.h"

namespace tolvar {

struct ConvState;

// The driver's stages after the parse: allocates conv.buffer of conv.size
// bytes, generates the byte-code into it and checks that the generator
// wrote exactly the counted size. Returns 0, or -1 after the messages.
int generate_binary(ConvState& conv);

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

}  // namespace tolvar
