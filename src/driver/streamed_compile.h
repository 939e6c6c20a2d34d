// A compile that generates each top-level statement as soon as the parser
// is done with it and lets it go, so that memory follows the output rather
// than the instruction tree, which takes many times the script's size.
//
// It only ever finishes a compile that succeeds. Anything else (an error,
// a warning at generation that depends on what comes later, a label never
// defined, memory running out) is left to the staged compile, which then
// runs from the start as if nothing had been tried: the same messages in
// the same order, the same failure hooks.
#pragma once

#include "labels/conv_state.h"

namespace tolvar {

// Reads the script at path and generates it into conv.buffer and
// conv.size, printing what read_source and generate_binary print. True
// when done; false, with conv, the settings, the failure hooks and the
// messages as they were, when read_source and generate_binary must run.
bool compile_streamed(ConvState& conv, const char* path);

}  // namespace tolvar
