#include "text_tools/text_index.h"

#include <algorithm>

#include "text_tools/tool_support.h"

namespace tolvar {

long line_label_key(const TextTable& table, const TextLine& line)
{
    return text_label_key(line_bytes(table, line), line.label_end - line.start);
}

void sort_label_refs(Growable<LabelRef>& refs)
{
    std::stable_sort(refs.items.get(), refs.items.get() + refs.count,
                     [](const LabelRef& a, const LabelRef& b) { return a.key < b.key; });
}

bool index_text_labels(const TextTable& table, Growable<LabelRef>& index)
{
    index.memory_code = 5090;
    index.count = 0;
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        if (line.kind == TEXT_LINE_DATA &&
            !growable_push(index, {line_label_key(table, line), i})) {
            return false;
        }
    }
    sort_label_refs(index);
    return true;
}

int report_duplicate_labels(const TextTable& table, const Growable<LabelRef>& index)
{
    int count = 0;
    for (size_t i = 1; i < index.count; ++i) {
        if (index.items[i].key != index.items[i - 1].key) {
            continue;
        }
        size_t first = i - 1;
        while (first > 0 && index.items[first - 1].key == index.items[i].key) {
            --first;
        }
        const TextLine& again = table.lines.items[index.items[i].index];
        const TextLine& before = table.lines.items[index.items[first].index];
        report_at_with_note(DIAG_ERROR, 5022, {table.name, again.number, 1, 11},
                            {table.name, before.number, 1, 11}, "first given here",
                            "label '%.10s' is already used", line_bytes(table, again));
        ++count;
    }
    return count;
}

const LabelRef* find_label(const Growable<LabelRef>& index, long key)
{
    const LabelRef* begin = index.items.get();
    const LabelRef* end = begin + index.count;
    const LabelRef* at =
        std::lower_bound(begin, end, key, [](const LabelRef& a, long k) { return a.key < k; });
    return at != end && at->key == key ? at : nullptr;
}

int read_checked_text_table(const char* path, TextTable& table)
{
    Growable<LabelRef> index;
    if (read_text_table(path, table) < 0) {
        return -1;
    }
    if (report_text_line_errors(table) > 0 || !index_text_labels(table, index) ||
        report_duplicate_labels(table, index) > 0) {
        return -1;
    }
    return 0;
}

int first_text_id(const TextTable& table)
{
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        if (line.kind == TEXT_LINE_DATA) {
            return static_cast<int>(line_label_key(table, line) / 10000);
        }
    }
    return -1;
}

}  // namespace tolvar
