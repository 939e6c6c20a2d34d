// The labels of an existing text file, found by their texts, so that a new
// text file keeps them: a text equal to an old one takes its label (equal
// texts one by one, in file order), and new labels are numbered after the
// highest of the id, going on under the next id after 9999 as the
// decompiler does. Used by extract and by the decompiler's --keep-labels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/byte_buffer.h"
#include "text_tools/text_index.h"
#include "text_tools/text_table.h"

namespace tolvar {

struct OldText {
    uint64_t hash;  // of the text as written, quotes included
    uint32_t line;  // index in the table's lines
};

struct OldLabels {
    const TextTable* table = nullptr;
    int id = 0;        // of new labels
    int highest = -1;  // the highest number of the id so far; -1: not known yet
    int ids_tried = 0;
    Growable<long> used;            // every label key of the file and the script
    Growable<OldText> by_text;      // sorted by hash, then line
    Growable<LabelRef> by_label;    // sorted by label key
    std::unique_ptr<bool[]> taken;  // by line
    // By position in by_text: the next position that may be free, so many
    // equal texts cost no more than few.
    std::unique_ptr<uint32_t[]> next_free;
};

// Indexes table (read without errors) for new labels of id. False after
// the memory message.
bool old_labels_index(OldLabels& old, const TextTable& table, int id);

// A label that stays in use as it is (a script names it): its lines are
// taken, and its number counts for new ones.
void old_labels_keep(OldLabels& old, long key);

// The label of the first old line not yet taken whose text is exactly the
// literal; the line is taken. False when there is none.
bool old_labels_take(OldLabels& old, const char* literal, size_t length, char label[11]);

// The next new label; false when no id has a number left.
bool old_labels_new(OldLabels& old, char label[11]);

// Both in one, for a writer that asks per text (context is the OldLabels):
// the old label of an equal text, else a new one. False when neither is left.
bool old_labels_label_for(void* context, const char* literal, size_t length, char label[11]);

inline constexpr int MAX_LABEL_NUMBER = 9999;

}  // namespace tolvar
