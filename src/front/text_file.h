// The text file: labelled texts kept apart from the script.
#pragma once

#include <cstdio>

namespace tolvar {

struct ConvState;

// Label, free comment, text.
inline constexpr int TEXT_FIELD_COUNT = 3;

// Cuts a data line in place at each field end (tab, CR, LF); the line end,
// when there was one, ends the last field. Returns the number of fields,
// at most TEXT_FIELD_COUNT.
int split_text_fields(char* line, bool line_end, char* fields[TEXT_FIELD_COUNT]);

// Reads every data line of the file at path into conv.text_labels, texts
// stored as written. Returns 0, or -1 after printing an error.
int read_text_file(ConvState& conv, const char* path);

// The same from an open stream; name is what the messages call it.
int read_text_stream(ConvState& conv, FILE* stream, const char* name);

}  // namespace tolvar
