// What the compiler would find only when a script uses a label, found for
// every text of a text file at once.
#pragma once

#include "text_tools/text_table.h"

namespace tolvar {

// Checks the text file against the scripts (count of them, at paths):
// labels the scripts use but the file lacks, labels nothing uses (a
// warning), labels given twice, texts the compiler's decoding refuses,
// lines it cannot read. Returns the number of errors reported, or -1 when
// a script cannot be read or split into tokens.
int check_texts(const TextTable& table, const char* const* scripts, int count);

}  // namespace tolvar
