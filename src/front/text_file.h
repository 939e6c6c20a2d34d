// The text file: labelled texts kept apart from the script.
#pragma once

#include <cstdio>

namespace tolvar {

struct ConvState;

// Reads every data line of the file at path into conv.text_labels, texts
// stored as written. Returns 0, or -1 after printing an error.
int read_text_file(ConvState& conv, const char* path);

// The same from an open stream; name is what the messages call it.
int read_text_stream(ConvState& conv, FILE* stream, const char* name);

}  // namespace tolvar
