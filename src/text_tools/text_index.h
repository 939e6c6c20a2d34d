// The labels of a text file and of scripts, found by number: a sorted
// index that tells duplicates, missing labels and labels nothing uses.
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"
#include "text_tools/text_table.h"

namespace tolvar {

struct LabelRef {
    long key;      // text_label_key
    size_t index;  // the table's line, or the caller's own number
};

// The data lines of table by label key (equal keys in file order).
bool index_text_labels(const TextTable& table, Growable<LabelRef>& index);

// Reports each label given twice at its later line, with a note at the
// first; returns how many.
int report_duplicate_labels(const TextTable& table, const Growable<LabelRef>& index);

// The first entry with key, or null.
const LabelRef* find_label(const Growable<LabelRef>& index, long key);

// Sorts refs by key, keeping the order of equal keys.
void sort_label_refs(Growable<LabelRef>& refs);

// Reads a text file that a tool will rewrite or take labels from: every
// line readable, no label twice. 0, or -1 after the messages.
int read_checked_text_table(const char* path, TextTable& table);

// The id of the file's first label, or -1 when it has none.
int first_text_id(const TextTable& table);

// The key of a data line's label.
long line_label_key(const TextTable& table, const TextLine& line);

}  // namespace tolvar
