#include "labels/labels.h"

#include <cstring>
#include <utility>

#include "support/diag.h"
#include "support/names.h"

namespace tolvar {

namespace {

// Grows an entry array by a fixed step, keeping its contents. The old array
// stays in place when the new one can't be had.
template <class Entry>
int grow_table(std::unique_ptr<Entry[]>& entries, int32_t& capacity, int32_t count, int32_t step,
               int code)
{
    if (capacity > count) {
        return 0;
    }
    int32_t new_capacity = capacity + step;
    std::unique_ptr<Entry[]> grown = try_new_array<Entry>(static_cast<size_t>(new_capacity));
    if (!grown) {
        report_error(code, "memory exhausted! (size=%lu)\n",
                     static_cast<unsigned long>(new_capacity) * sizeof(Entry));
        return -1;
    }
    for (int32_t i = 0; i < count; ++i) {
        grown[i] = std::move(entries[i]);
    }
    entries = std::move(grown);
    capacity = new_capacity;
    return 0;
}

template <class Entry>
int find_label(const Entry* entries, int32_t count, const char* label, int code)
{
    if (label == nullptr || label[0] == '\0') {
        report_error(code, "BUG: label is NULL or empty string\n");
        return -1;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (names_equal(label, entries[i].label.get())) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void init_text_labels(TextLabelTable& table)
{
    table.entries.reset();
    table.capacity = 0;
    table.count = 0;
}

void free_text_labels(TextLabelTable& table)
{
    init_text_labels(table);
}

int grow_text_labels(TextLabelTable& table)
{
    return grow_table(table.entries, table.capacity, table.count, TEXT_LABEL_GROWTH, 2486);
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
        report_error(2540, "memory exhausted! (size=%lu)\n",
                     static_cast<unsigned long>(std::strlen(label) + 1));
        return -1;
    }
    entry.text = str_copy(text);
    if (!entry.text) {
        report_error(2544, "memory exhausted! (size=%lu)\n",
                     static_cast<unsigned long>(std::strlen(text) + 1));
        entry.label.reset();
        return -1;
    }
    ++table.count;
    return 0;
}

int find_text_label(const TextLabelTable& table, const char* label)
{
    return find_label(table.entries.get(), table.count, label, 2557);
}

const char* get_text_label(const TextLabelTable& table, const char* label)
{
    int index = find_text_label(table, label);
    return index < 0 ? nullptr : table.entries[index].text.get();
}

void init_data_labels(DataLabelTable& table)
{
    table.entries.reset();
    table.capacity = 0;
    table.count = 0;
}

void free_data_labels(DataLabelTable& table)
{
    init_data_labels(table);
}

int grow_data_labels(DataLabelTable& table)
{
    return grow_table(table.entries, table.capacity, table.count, DATA_LABEL_GROWTH, 2614);
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
        report_error(2640, "memory exhausted! (size=%lu)\n",
                     static_cast<unsigned long>(std::strlen(label) + 1));
        return -1;
    }
    entry.offset = offset;
    ++table.count;
    return 1;
}

int find_data_label(const DataLabelTable& table, const char* label)
{
    return find_label(table.entries.get(), table.count, label, 2654);
}

int32_t get_data_label(const DataLabelTable& table, const char* label)
{
    int index = find_data_label(table, label);
    return index < 0 ? -1 : table.entries[index].offset;
}

}  // namespace tolvar
