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

// The codes an addition reports under.
struct AddCodes {
    int empty;
    int used;
    int grow;
    int memory;
    int find;
};

// A new entry for label at the end of the table, its name copied and the
// rest left to the caller, who must then call finish_entry; null after the
// message.
template <class Table>
auto* start_entry(Table& table, const char* label, int32_t step, const AddCodes& codes)
{
    using Entry = std::remove_reference_t<decltype(table.entries[0])>;
    Entry* none = nullptr;
    if (label == nullptr || label[0] == '\0') {
        report_error(codes.empty, "BUG: label is NULL or empty string\n");
        return none;
    }
    int32_t found = find_label(table, label, codes.find);
    if (found >= 0) {
        diag_say("label '%s' is defined twice", label);
        diag_note(DiagLocation{diag_subject(), table.entries[found].line, 0, 0},
                  "'%s' is first defined here", table.entries[found].label.get());
        report_error(codes.used, "label '%s' is already used\n", label);
        return none;
    }
    if (grow_table(table, step, codes.grow) < 0) {
        return none;
    }
    Entry& entry = table.entries[table.count];
    entry.line = diag_line_number();
    entry.label = str_copy(label);
    if (!entry.label) {
        memory_error(codes.memory, std::strlen(label) + 1);
        return none;
    }
    return &entry;
}

template <class Table>
void finish_entry(Table& table)
{
    index_entry(table, table.count);
    ++table.count;
}

constexpr AddCodes TEXT_LABEL_CODES{2500, 2530, 2486, 2540, 2557};
constexpr AddCodes DATA_LABEL_CODES{2626, 2631, 2614, 2640, 2654};

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
    return grow_table(table, TEXT_LABEL_GROWTH, TEXT_LABEL_CODES.grow);
}

int add_text_label(TextLabelTable& table, const char* label, const char* text)
{
    TextLabel* entry = start_entry(table, label, TEXT_LABEL_GROWTH, TEXT_LABEL_CODES);
    if (entry == nullptr) {
        return -1;
    }
    entry->text = str_copy(text);
    if (!entry->text) {
        memory_error(2544, std::strlen(text) + 1);
        entry->label.reset();
        return -1;
    }
    finish_entry(table);
    return 0;
}

int find_text_label(const TextLabelTable& table, const char* label)
{
    return find_label(table, label, TEXT_LABEL_CODES.find);
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
    return grow_table(table, DATA_LABEL_GROWTH, DATA_LABEL_CODES.grow);
}

int add_data_label(DataLabelTable& table, const char* label, int32_t offset)
{
    DataLabel* entry = start_entry(table, label, DATA_LABEL_GROWTH, DATA_LABEL_CODES);
    if (entry == nullptr) {
        return -1;
    }
    entry->offset = offset;
    finish_entry(table);
    return 0;
}

int find_data_label(const DataLabelTable& table, const char* label)
{
    return find_label(table, label, DATA_LABEL_CODES.find);
}

int32_t get_data_label(const DataLabelTable& table, const char* label)
{
    int index = find_data_label(table, label);
    return index < 0 ? -1 : table.entries[index].offset;
}

}  // namespace tolvar
