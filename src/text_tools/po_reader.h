// Reading a PO file: the entries a translation tool, msgmerge or msgen
// leaves, with the lines they stand on.
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"

namespace tolvar {

struct PoEntry {
    long key;                      // of msgctxt as a text label, -1 when it is none
    size_t context, context_size;  // offsets into PoFile::strings
    size_t id, id_size;
    size_t str, str_size;
    int line;      // of msgctxt, or msgid
    int str_line;  // of msgstr
    bool fuzzy;
    bool used;
};

struct PoFile {
    const char* name = nullptr;
    ByteBuffer strings;
    Growable<PoEntry> entries;  // sorted by key (equal keys in file order)
};

// Reads the entries of the PO file's bytes; the header entry must name
// UTF-8. Obsolete ("#~") entries are left out. Returns 0, or -1 after a
// message at the line that is no PO.
int read_po(const char* name, const char* bytes, size_t size, PoFile& po);

inline const char* po_string(const PoFile& po, size_t offset)
{
    return po.strings.data.get() + offset;
}

}  // namespace tolvar
