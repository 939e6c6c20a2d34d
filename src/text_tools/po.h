// A text file as a gettext PO file and back. Each text is one entry: its
// label as msgctxt, the text in UTF-8 as msgid, the text file's comment as
// "#." and, when scripts are given, the lines that use it as "#:".
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"
#include "text_tools/text_table.h"

namespace tolvar {

struct TextCodec;

// Writes the PO file of table into out; scripts (count of them) give the
// references. Returns 0, or -1 after the messages (a text the compiler
// refuses, a label given twice, a script that cannot be read).
int texts_to_po(TextCodec& codec, const TextTable& table, const char* const* scripts, int count,
                ByteBuffer& out);

// Writes table with each text replaced by its translation in the PO file
// (po_size bytes named po_name) into out; every other byte of table stays.
// Untranslated and fuzzy entries keep the original, with a warning.
// Returns 0, or -1 after the messages (a translation the game cannot hold,
// a PO file that cannot be read).
int texts_from_po(TextCodec& codec, const TextTable& table, const char* po_name, const char* po,
                  size_t po_size, ByteBuffer& out);

}  // namespace tolvar
