// Moving a script's texts into a text file: every quoted text becomes a
// text label and a line of the text file; every other byte of the script
// stays, so the script with the text file compiles to the same bytes.
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"
#include "text_tools/text_table.h"

namespace tolvar {

struct ExtractInput {
    const char* script_name = nullptr;
    const char* script = nullptr;
    size_t script_size = 0;
    // The text file as it was, or null for a new one. A text it holds
    // keeps its label, and its lines stay as they are.
    const TextTable* old_texts = nullptr;
    int text_id = 0;  // the four hex digits of new labels
};

struct ExtractResult {
    ByteBuffer script;
    ByteBuffer texts;
    int new_texts = 0;   // labels made
    int kept_texts = 0;  // texts that found their old label
    int unused = 0;      // old texts the script no longer uses (reported)
};

// Returns 0, or -1 after the messages.
int extract_texts(const ExtractInput& input, ExtractResult& result);

}  // namespace tolvar
