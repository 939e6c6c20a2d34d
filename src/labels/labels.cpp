#include "labels/labels.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "support/diag.h"
#include "support/names.h"

namespace tolvar {

namespace {

uint32_t slot_of(const LabelIndex& index, const char* label, size_t length)
{
    return name_hash(label, length) & index.mask;
}

template <class Table>
void index_entry(Table& table, int32_t position)
{
    const char* label = table.entries[position].label.get();
    uint32_t slot = slot_of(table.index, label, std::strlen(label));
    while (table.index.slots[slot] != 0) {
        slot = (slot + 1) & table.index.mask;
    }
    table.index.slots[slot] = position + 1;
}

// Moves the entries into storage for `wanted` of them and rebuilds the
// index to fit; false, with the table unchanged, when memory runs out.
template <class Table>
bool reserve_entries(Table& table, int32_t wanted)
{
    using Entry = std::remove_reference_t<decltype(table.entries[0])>;
    int32_t reserved = wanted > table.reserved * 2 ? wanted : table.reserved * 2;
    uint32_t slots = 16;
    while (slots < 2 * static_cast<uint32_t>(reserved)) {
        slots *= 2;
    }
    std::unique_ptr<Entry[]> entries = reserve_array<Entry>(static_cast<size_t>(reserved));
    std::unique_ptr<int32_t[]> index = reserve_array<int32_t>(slots);
    if (!entries || !index) {
        return false;
    }
    for (int32_t i = 0; i < table.count; ++i) {
        entries[i] = std::move(table.entries[i]);
    }
    table.entries = std::move(entries);
    table.reserved = reserved;
    table.index.slots = std::move(index);
    table.index.mask = slots - 1;
    for (int32_t i = 0; i < table.count; ++i) {
        index_entry(table, i);
    }
    return true;
}

// Makes room for one more entry by one growth step.
template <class Table>
int grow_table(Table& table, int32_t step, int code)
{
    if (table.capacity > table.count) {
        return 0;
    }
    using Entry = std::remove_reference_t<decltype(table.entries[0])>;
    int32_t new_capacity = table.capacity + step;
    if (alloc_should_fail() ||
        (new_capacity > table.reserved && !reserve_entries(table, new_capacity))) {
        memory_error(code, static_cast<size_t>(new_capacity) * sizeof(Entry));
        return -1;
    }
    table.capacity = new_capacity;
    return 0;
}

template <class Table>
int find_label(const Table& table, const char* label, int code)
{
    if (label == nullptr || label[0] == '\0') {
        report_error(code, "BUG: label is NULL or empty string\n");
        return -1;
    }
    if (table.count == 0) {
        return -1;
    }
    size_t length = std::strlen(label);
    const LabelIndex& index = table.index;
    for (uint32_t slot = slot_of(index, label, length);; slot = (slot + 1) & index.mask) {
        int32_t held = index.slots[slot];
        if (held == 0) {
            return -1;
        }
        if (names_equal_n(label, length, table.entries[held - 1].label.get())) {
            return held - 1;
        }
    }
}

template <class Table>
void clear_table(Table& table)
{
    table.entries.reset();
    table.capacity = 0;
    table.count = 0;
    table.reserved = 0;
    table.index.slots.reset();
    table.index.mask = 0;
}

}  // namespace

void init_text_labels(TextLabelTable& table)
{
    clear_table(table);
}

void free_text_labels(TextLabelTable& table)
{
    init_text_labels(table);
}

int grow_text_labels(TextLabelTable& table)
{
    return grow_table(table, TEXT_LABEL_GROWTH, 2486);
}

int add_text_label(TextLabelTable& table, const char* label, const char* text)
{
    if (label == nullptr || label[0] == '\0') {
        report_error(2500, "BUG: label is NULL or empty string\n");
        return -1;
    }
    if (find_text_label(table, label) >= 0) {
        report_error(2530, "label '%s' is already used\n", label);
        return -1;
    }
    if (grow_text_labels(table) < 0) {
        return -1;
    }
    TextLabel& entry = table.entries[table.count];
    entry.label = str_copy(label);
    if (!entry.label) {
        memory_error(2540, std::strlen(label) + 1);
        return -1;
    }
    entry.text = str_copy(text);
    if (!entry.text) {
        memory_error(2544, std::strlen(text) + 1);
        entry.label.reset();
        return -1;
    }
    index_entry(table, table.count);
    ++table.count;
    return 0;
}

int find_text_label(const TextLabelTable& table, const char* label)
{
    return find_label(table, label, 2557);
}

const char* get_text_label(const TextLabelTable& table, const char* label)
{
    int index = find_text_label(table, label);
    return index < 0 ? nullptr : table.entries[index].text.get();
}

void init_data_labels(DataLabelTable& table)
{
    clear_table(table);
}

void free_data_labels(DataLabelTable& table)
{
    init_data_labels(table);
}

int grow_data_labels(DataLabelTable& table)
{
    return grow_table(table, DATA_LABEL_GROWTH, 2614);
}

int add_data_label(DataLabelTable& table, const char* label, int32_t offset)
{
    if (label == nullptr || label[0] == '\0') {
        report_error(2626, "BUG: label is NULL or empty string\n");
        return -1;
    }
    if (find_data_label(table, label) >= 0) {
        report_error(2631, "label '%s' is already used\n", label);
        return -1;
    }
    if (grow_data_labels(table) < 0) {
        return -1;
    }
    DataLabel& entry = table.entries[table.count];
    entry.label = str_copy(label);
    if (!entry.label) {
        memory_error(2640, std::strlen(label) + 1);
        return -1;
    }
    entry.offset = offset;
    index_entry(table, table.count);
    ++table.count;
    return 1;
}

int find_data_label(const DataLabelTable& table, const char* label)
{
    return find_label(table, label, 2654);
}

int32_t get_data_label(const DataLabelTable& table, const char* label)
{
    int index = find_data_label(table, label);
    return index < 0 ? -1 : table.entries[index].offset;
}

}  // namespace tolvar
