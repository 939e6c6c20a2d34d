// The compile, the one way every script is compiled: from a file for the
// command line, from memory for the tests, the fuzz targets and the
// benchmark. Each top-level statement is generated as soon as the parser
// is done with it and let go, so memory follows the output rather than the
// instruction tree; references to labels defined later are patched at the
// end.
#pragma once

#include <cstddef>
#include <cstdio>

#include "context/conv_state.h"

namespace tolvar {

// Compiles the open script stream; name is what the messages call it and
// size_hint its size when known (0 if not). Starts from the settings as
// they stand and puts them back, so `.option` lines last for one compile.
// On success conv.buffer holds conv.size bytes. Returns 0, or -1 after the
// messages.
int compile_script(ConvState& conv, FILE* script, const char* name, size_t size_hint);

// compile_script on the file at path.
int compile_file(ConvState& conv, const char* path);

// The text file (when text is not null) and the script, both held in
// memory, as the command line reads them from files.
int compile_in_memory(ConvState& conv, const char* script, size_t script_size, const char* text,
                      size_t text_size);

}  // namespace tolvar
