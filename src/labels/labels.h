// The two label tables of a compile: text labels (from the text file) to
// texts, and data labels (defined in the script) to output offsets.
//
// Both are arrays in insertion order that grow in fixed steps and refuse a
// repeated name, with a hash index beside them for lookups that ignore
// letter case.
#pragma once

#include <cstdint>
#include <memory>

#include "support/memory.h"

namespace tolvar {

// Open addressing over entry positions, keyed by the folded name. It has
// at least twice as many slots as the table has reserved entries, so a
// probe always ends at an empty slot.
struct LabelIndex {
    std::unique_ptr<int32_t[]> slots;  // entry position + 1; 0 is empty
    uint32_t mask = 0;                 // slot count - 1; 0 while there are none
};

struct TextLabel {
    StrPtr label;
    StrPtr text;          // as written in the text file, quotes included
    int32_t line = 0;     // in the text file
    int32_t column = 0;   // of the text's opening quote; 0 where not worked out
};

// capacity grows by the fixed step, one allocation each for the failure
// hook and the messages; the storage under it (reserved) doubles, so a
// long run of additions copies each entry only a few times.
struct TextLabelTable {
    const char* file = nullptr;  // the text file's name, for messages
    std::unique_ptr<TextLabel[]> entries;
    int32_t capacity = 0;
    int32_t count = 0;
    int32_t reserved = 0;
    LabelIndex index;
};

struct DataLabel {
    StrPtr label;
    int32_t offset = 0;
    int32_t line = 0;  // where it is defined
};

struct DataLabelTable {
    std::unique_ptr<DataLabel[]> entries;
    int32_t capacity = 0;
    int32_t count = 0;
    int32_t reserved = 0;
    LabelIndex index;
};

inline constexpr int32_t TEXT_LABEL_GROWTH = 256;
inline constexpr int32_t DATA_LABEL_GROWTH = 16;

void init_text_labels(TextLabelTable& table);
void free_text_labels(TextLabelTable& table);
int grow_text_labels(TextLabelTable& table);                                     // 0 or -1
int add_text_label(TextLabelTable& table, const char* label, const char* text);  // 0 or -1
int find_text_label(const TextLabelTable& table, const char* label);             // index or -1
const char* get_text_label(const TextLabelTable& table, const char* label);      // text or null

void init_data_labels(DataLabelTable& table);
void free_data_labels(DataLabelTable& table);
int grow_data_labels(DataLabelTable& table);                                   // 0 or -1
int add_data_label(DataLabelTable& table, const char* label, int32_t offset);  // 0 or -1
int find_data_label(const DataLabelTable& table, const char* label);           // index or -1
int32_t get_data_label(const DataLabelTable& table, const char* label);        // offset or -1

}  // namespace tolvar
