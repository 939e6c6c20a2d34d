#include "text_tools/old_labels.h"

#include <algorithm>
#include <cstring>

#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

uint64_t hash_bytes(const char* bytes, size_t size)
{
    uint64_t hash = 14695981039346656037ULL;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ULL;
    }
    return hash;
}

// The highest number of the id among the labels in use, or 0.
int highest_used(const OldLabels& old, int id)
{
    const long* begin = old.used.items.get();
    const long* end = begin + old.used.count;
    const long* above = std::lower_bound(begin, end, (static_cast<long>(id) + 1) * 10000);
    if (above == begin || above[-1] / 10000 != id) {
        return 0;
    }
    return static_cast<int>(above[-1] % 10000);
}

// The first position at or after i that is not known to be taken.
uint32_t first_free(OldLabels& old, uint32_t i)
{
    uint32_t* next = old.next_free.get();
    while (next[i] != i) {
        next[i] = next[next[i]];
        i = next[i];
    }
    return i;
}

}  // namespace

bool old_labels_index(OldLabels& old, const TextTable& table, int id)
{
    old.table = &table;
    old.id = id;
    old.by_text.memory_code = old.used.memory_code = 5090;
    old.taken = try_new_array<bool>(table.lines.count + 1);
    if (!old.taken) {
        report_memory(5090, table.lines.count + 1);
        return false;
    }
    if (!index_text_labels(table, old.by_label)) {
        return false;
    }
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        if (line.kind != TEXT_LINE_DATA) {
            continue;
        }
        if (!growable_push(old.used, line_label_key(table, line))) {
            return false;
        }
        const char* text = table.bytes.data.get() + line.text_start;
        OldText entry{hash_bytes(text, line.text_end - line.text_start), static_cast<uint32_t>(i)};
        if (!growable_push(old.by_text, entry)) {
            return false;
        }
    }
    std::sort(old.by_text.items.get(), old.by_text.items.get() + old.by_text.count,
              [](const OldText& a, const OldText& b) {
                  return a.hash != b.hash ? a.hash < b.hash : a.line < b.line;
              });
    old.next_free = try_new_uninitialized<uint32_t>(old.by_text.count + 1);
    if (!old.next_free) {
        report_memory(5090, (old.by_text.count + 1) * sizeof(uint32_t));
        return false;
    }
    for (size_t i = 0; i <= old.by_text.count; ++i) {
        old.next_free[i] = static_cast<uint32_t>(i);
    }
    return true;
}

void old_labels_keep(OldLabels& old, long key)
{
    // Out of memory the label only loses its say in the numbering.
    if (key >= 0 && growable_push(old.used, key) && old.highest >= 0 && key / 10000 == old.id) {
        old.highest = std::max(old.highest, static_cast<int>(key % 10000));
    }
    const LabelRef* ref = old.by_label.count > 0 ? find_label(old.by_label, key) : nullptr;
    for (const LabelRef* end = old.by_label.items.get() + old.by_label.count;
         ref != nullptr && ref != end && ref->key == key; ++ref) {
        old.taken[ref->index] = true;
    }
}

bool old_labels_take(OldLabels& old, const char* literal, size_t length, char label[11])
{
    const TextTable& table = *old.table;
    uint64_t hash = hash_bytes(literal, length);
    const OldText* begin = old.by_text.items.get();
    const OldText* end = begin + old.by_text.count;
    const OldText* start =
        std::lower_bound(begin, end, hash, [](const OldText& a, uint64_t h) { return a.hash < h; });
    auto count = static_cast<uint32_t>(old.by_text.count);
    for (uint32_t i = first_free(old, static_cast<uint32_t>(start - begin));
         i < count && begin[i].hash == hash; i = first_free(old, i + 1)) {
        uint32_t index = begin[i].line;
        const TextLine& line = table.lines.items[index];
        if (old.taken[index]) {
            old.next_free[i] = i + 1;
            continue;
        }
        if (line.text_end - line.text_start == length &&
            std::memcmp(table.bytes.data.get() + line.text_start, literal, length) == 0) {
            old.taken[index] = true;
            old.next_free[i] = i + 1;
            std::memcpy(label, line_bytes(table, line), 10);
            label[10] = '\0';
            return true;
        }
    }
    return false;
}

bool old_labels_new(OldLabels& old, char label[11])
{
    if (old.highest < 0) {
        std::sort(old.used.items.get(), old.used.items.get() + old.used.count);
        old.highest = highest_used(old, old.id);
    }
    while (old.highest >= MAX_LABEL_NUMBER) {
        if (++old.ids_tried > 0xFFFF) {
            return false;
        }
        old.id = (old.id + 1) & 0xFFFF;
        old.highest = highest_used(old, old.id);
    }
    format_text_label(label, old.id, ++old.highest);
    return true;
}

bool old_labels_label_for(void* context, const char* literal, size_t length, char label[11])
{
    auto& old = *static_cast<OldLabels*>(context);
    return old_labels_take(old, literal, length, label) || old_labels_new(old, label);
}

}  // namespace tolvar
