#include "decode/layout.h"

#include <algorithm>
#include <climits>

#include "decode/printer.h"
#include "isa/code_info.h"
#include "isa/encoding.h"
#include "support/diag.h"

namespace tolvar {

namespace {

constexpr int MAX_REFS = 2 * MAX_EXPR_NODES;

// The compiler nests `if` bodies at most this deep.
constexpr int MAX_IF_NESTING = MAX_IF_DEPTH;

// Tiling passes: each may find references in code that control flow did
// not reach; two more passes give those their labels.
constexpr int MAX_TILING_PASSES = 3;

// Offsets that a pass marked anew.
using NewMarks = Growable<int32_t>;

struct Context {
    const ByteCode& code;
    Layout& layout;
    DecodedStatement& st;       // scratch
    bool marking = true;        // references get their marks
    NewMarks* fresh = nullptr;  // where new marks are listed, when asked
    bool failed = false;        // out of memory (the message is printed)
};

uint8_t* marks_of(Context& cx)
{
    return cx.layout.marks.get();
}

bool is_jump(const DecodedStatement& st)
{
    return st.row->code == CODE_JUMP;
}

// Marks what the statement refers to, and lists the offsets whose marks
// are new.
void mark_refs(Context& cx, const DecodedStatement& st)
{
    int32_t refs[MAX_REFS];
    int count = cx.marking ? statement_refs(st, refs, MAX_REFS) : 0;
    for (int i = 0; i < count; ++i) {
        if (refs[i] < 0 || refs[i] > cx.code.size) {
            continue;
        }
        uint8_t mark = MARK_WANTED | (is_jump(st) ? MARK_CODE_ENTRY : MARK_DATA_ENTRY);
        uint8_t& slot = marks_of(cx)[refs[i]];
        if ((slot & mark) != mark && cx.fresh != nullptr) {
            cx.failed = cx.failed || !growable_push(*cx.fresh, refs[i]);
        }
        slot |= mark;
    }
}

// A text at pos as a script writes it in code: a text line, or .data when
// a 0 byte ends it. Zero length when pos holds no text.
Item text_item(Context& cx, int32_t pos, int32_t min_data_text)
{
    const ByteCode& code = cx.code;
    int32_t end = text_run_end(code, pos, marks_of(cx), MARK_WANTED);
    size_t limit = code.texts_apart ? MAX_TEXT_FILE_LITERAL : MAX_STATEMENT_TEXT;
    bool label_inside = end > pos && (marks_of(cx)[end] & MARK_WANTED) != 0;
    if (end < code.size && code.bytes[end] == 0 && !label_inside && end - pos >= min_data_text &&
        literal_length(code, pos, end - pos) <= limit) {
        return Item{pos, end + 1 - pos, ITEM_DATA_TEXT, false, false};
    }
    return Item{pos, end - pos, ITEM_TEXT, false, false};
}

// Where walks start: jump targets first, then what follows a jump. Code
// after a jump is often reached in ways the byte-code does not show (an
// answer to a keyword, say); walked last, it stops where a data table
// turned up meanwhile.
struct WalkQueue {
    Growable<int32_t> targets;
    Growable<int32_t> after_jumps;
    bool failed = false;
};

void queue(Growable<int32_t>& list, int32_t offset, int32_t size, bool& failed)
{
    failed = failed || (offset >= 0 && offset < size && !growable_push(list, offset));
}

// Follows control flow from one entry, marking where statements begin.
void walk_from(Context& cx, int32_t pos, WalkQueue& queued)
{
    uint8_t* marks = marks_of(cx);
    while (pos < cx.code.size && (marks[pos] & (MARK_VISITED | MARK_DATA_ENTRY)) == 0) {
        Item text = text_item(cx, pos, 0);
        int32_t length = text.length;
        if (length == 0) {
            if (!decode_statement(cx.code, pos, cx.st)) {
                return;
            }
            length = cx.st.length;
            mark_refs(cx, cx.st);
        }
        marks[pos] |= MARK_VISITED;
        pos += length;
        if (text.length == 0 && is_jump(cx.st)) {
            queue(queued.targets, cx.st.params[0].value, cx.code.size, queued.failed);
            queue(queued.after_jumps, pos, cx.code.size, queued.failed);
            return;
        }
    }
}

int walk(Context& cx)
{
    WalkQueue queued;
    queued.targets.memory_code = 4022;
    queued.after_jumps.memory_code = 4022;
    queue(queued.targets, 0, cx.code.size, queued.failed);
    marks_of(cx)[0] |= MARK_CODE_ENTRY;
    while (!queued.failed) {
        Growable<int32_t>& list = queued.targets.count > 0 ? queued.targets : queued.after_jumps;
        if (list.count == 0) {
            break;
        }
        walk_from(cx, list.items[--list.count], queued);
    }
    return queued.failed ? -1 : 0;
}

// True when control flow reached a statement start inside [pos, end).
bool covers_visited(Context& cx, int32_t pos, int32_t end)
{
    for (int32_t i = pos + 1; i < end; ++i) {
        if ((marks_of(cx)[i] & MARK_VISITED) != 0) {
            return true;
        }
    }
    return false;
}

Item code_item(Context& cx, int32_t pos)
{
    Item text = text_item(cx, pos, 0);
    if (text.length > 0) {
        return text;  // a 0 byte alone is .data ""
    }
    if (decode_statement(cx.code, pos, cx.st) &&
        ((marks_of(cx)[pos] & MARK_VISITED) != 0 || !covers_visited(cx, pos, pos + cx.st.length))) {
        return Item{pos, cx.st.length, ITEM_STATEMENT, false, false};
    }
    return Item{pos, 1, ITEM_RAW, false, false};
}

Item data_item(Context& cx, int32_t pos)
{
    if (cx.code.bytes[pos] == CODE_ENDDATA && decode_statement(cx.code, pos, cx.st)) {
        return Item{pos, 1, ITEM_STATEMENT, false, false};
    }
    // A single letter and its 0 read better as the number they also are.
    Item text = text_item(cx, pos, 2);
    if (text.kind == ITEM_DATA_TEXT) {
        return text;
    }
    if (pos + 1 < cx.code.size && (marks_of(cx)[pos + 1] & MARK_WANTED) == 0) {
        return Item{pos, 2, ITEM_DATA_NUMBER, false, false};
    }
    return Item{pos, 1, ITEM_RAW, false, false};
}

// Where cutting has got to: the next offset, and whether data tables are
// being read there.
struct Cut {
    int32_t pos;
    bool in_data;
};

// Cuts one item at the cut and moves the cut past it.
void cut_item(Context& cx, Cut& cut)
{
    uint8_t mark = marks_of(cx)[cut.pos];
    bool data_before = cut.in_data;
    if ((mark & MARK_CODE_ENTRY) != 0) {
        cut.in_data = false;
    } else if ((mark & MARK_DATA_ENTRY) != 0) {
        cut.in_data = true;
    }
    Item item = cut.in_data ? data_item(cx, cut.pos) : code_item(cx, cut.pos);
    item.in_data = data_before;
    if (item.kind == ITEM_STATEMENT) {  // cx.st holds it
        int32_t refs[MAX_REFS];
        item.refers = statement_refs(cx.st, refs, MAX_REFS) > 0;
        mark_refs(cx, cx.st);
        cut.in_data = cut.in_data && cx.st.row->code != CODE_ENDDATA;
    }
    Growable<Item>& items = cx.layout.items;
    Item* last = items.count > 0 ? &items.items[items.count - 1] : nullptr;
    if (item.kind == ITEM_RAW && last != nullptr && last->kind == ITEM_RAW) {
        last->length += item.length;  // one item a run, not one a byte
    } else {
        cx.failed = cx.failed || !growable_push(items, item);
    }
    cut.pos += item.length;
}

// The item whose bytes hold offset (the last item that begins at or before
// it).
size_t item_at(const Growable<Item>& items, int32_t offset)
{
    size_t low = 0;
    size_t high = items.count;
    while (high - low > 1) {
        size_t middle = low + (high - low) / 2;
        (items.items[middle].offset <= offset ? low : high) = middle;
    }
    return low;
}

void copy_items(Context& cx, const Growable<Item>& from, size_t begin, size_t end)
{
    for (size_t i = begin; i < end && !cx.failed; ++i) {
        cx.failed = !growable_push(cx.layout.items, from.items[i]);
    }
}

// Cuts again from the old item that holds the next marked offset, until
// the cut meets an old item boundary in the same state, with no marked
// offset at or behind it still waiting. Returns where the old items go on.
size_t cut_again(Context& cx, const Growable<Item>& old, size_t k, const NewMarks& marked,
                 size_t& m)
{
    Cut cut{old.items[k].offset, old.items[k].in_data};
    size_t j = k;
    while (cut.pos < cx.code.size && !cx.failed) {
        cut_item(cx, cut);
        while (m < marked.count && marked.items[m] < cut.pos) {
            ++m;
        }
        while (j < old.count && old.items[j].offset < cut.pos) {
            ++j;
        }
        bool waiting = m < marked.count && marked.items[m] <= cut.pos;
        if (j < old.count && old.items[j].offset == cut.pos &&
            old.items[j].in_data == cut.in_data && !waiting) {
            return j;
        }
    }
    return old.count;
}

// A later pass: the items around the offsets the last pass marked (sorted)
// are cut again; the others stand, since nothing they depend on changed.
void recut(Context& cx, const NewMarks& marked)
{
    Growable<Item> old = std::move(cx.layout.items);
    cx.layout.items = Growable<Item>{};
    cx.layout.items.memory_code = 4021;
    cx.failed = !growable_reserve(cx.layout.items, old.count + 64);
    size_t o = 0;
    size_t m = 0;
    while (o < old.count && !cx.failed) {
        if (m == marked.count) {
            copy_items(cx, old, o, old.count);
            break;
        }
        size_t k = item_at(old, marked.items[m]);
        copy_items(cx, old, o, k);
        o = cut_again(cx, old, k, marked, m);
    }
}

void mark_boundaries(Context& cx)
{
    uint8_t* marks = marks_of(cx);
    for (int32_t i = 0; i <= cx.code.size; ++i) {
        marks[i] &= static_cast<uint8_t>(~MARK_BOUNDARY);
    }
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        const Item& item = cx.layout.items.items[i];
        int32_t last = item.kind == ITEM_RAW ? item.offset + item.length : item.offset + 1;
        for (int32_t at = item.offset; at < last; ++at) {
            marks[at] |= MARK_BOUNDARY;
        }
    }
    marks[cx.code.size] |= MARK_BOUNDARY;
}

void make_raw(Context& cx, Item& item)
{
    item.kind = ITEM_RAW;
    for (int32_t at = item.offset; at < item.offset + item.length; ++at) {
        marks_of(cx)[at] |= MARK_BOUNDARY;
    }
}

// The offsets an item's statement refers to, into refs; how many.
int item_refs(Context& cx, const Item& item, int32_t* refs)
{
    if (item.kind != ITEM_STATEMENT || !item.refers) {
        return 0;
    }
    decode_statement(cx.code, item.offset, cx.st);
    return statement_refs(cx.st, refs, MAX_REFS);
}

// A statement whose reference has no place for a label is written raw.
void drop_unplaceable_refs(Context& cx)
{
    mark_boundaries(cx);
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        Item& item = cx.layout.items.items[i];
        int32_t refs[MAX_REFS];
        int count = item_refs(cx, item, refs);
        for (int r = 0; r < count; ++r) {
            if (refs[r] < 0 || refs[r] > cx.code.size ||
                (marks_of(cx)[refs[r]] & MARK_BOUNDARY) == 0) {
                make_raw(cx, item);
                break;
            }
        }
    }
}

struct OpenIf {
    int32_t if_item;
    int32_t else_item;  // -1 until an `else` comes
    bool raw;           // nested too deep: written raw with its else and endif
};

Code block_code(Context& cx, const Item& item)
{
    Code c = cx.code.bytes[item.offset];
    bool block = item.kind == ITEM_STATEMENT && (c == CODE_IF || c == CODE_ELSE || c == CODE_ENDIF);
    return block ? c : static_cast<Code>(CODE_NONE);
}

// One block keyword against the open `if`s; false on a memory failure.
bool nest_item(Context& cx, Growable<OpenIf>& open, int32_t index)
{
    Item& item = cx.layout.items.items[index];
    Code c = block_code(cx, item);
    if (c == CODE_IF) {
        bool raw = open.count >= MAX_IF_NESTING;
        if (raw) {
            make_raw(cx, item);
        }
        return growable_push(open, OpenIf{index, -1, raw});
    }
    OpenIf* top = open.count > 0 ? &open.items[open.count - 1] : nullptr;
    if (c == CODE_ELSE) {
        if (top == nullptr || top->raw || top->else_item >= 0) {
            make_raw(cx, item);
        } else {
            top->else_item = index;
        }
    } else if (c == CODE_ENDIF) {
        if (top == nullptr || top->raw) {
            make_raw(cx, item);
        }
        open.count -= top != nullptr ? 1 : 0;
    }
    return true;
}

// `if`, `else` and `endif` that don't nest as the compiler requires are
// written raw.
int nest_blocks(Context& cx)
{
    Growable<OpenIf> open;
    open.memory_code = 4023;
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        if (!nest_item(cx, open, static_cast<int32_t>(i))) {
            return -1;
        }
    }
    Item* items = cx.layout.items.items.get();
    for (size_t i = 0; i < open.count; ++i) {
        make_raw(cx, items[open.items[i].if_item]);
        if (open.items[i].else_item >= 0) {
            make_raw(cx, items[open.items[i].else_item]);
        }
    }
    return 0;
}

void mark_labels(Context& cx)
{
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        int32_t refs[MAX_REFS];
        int count = item_refs(cx, cx.layout.items.items[i], refs);
        for (int r = 0; r < count; ++r) {
            marks_of(cx)[refs[r]] |= MARK_LABEL;
        }
    }
}

}  // namespace

int lay_out(const ByteCode& code, Layout& layout)
{
    size_t marks_size = static_cast<size_t>(code.size) + 1;
    layout.marks = try_new_array<uint8_t>(marks_size);
    std::unique_ptr<DecodedStatement> scratch(try_new<DecodedStatement>());
    if (!layout.marks || !scratch) {
        report_error(4020, "memory exhausted! (size=%zu)\n",
                     !layout.marks ? marks_size : sizeof(DecodedStatement));
        return -1;
    }
    layout.items.memory_code = 4021;
    // About one item in eight bytes of byte-code.
    if (!growable_reserve(layout.items, static_cast<size_t>(code.size) / 8 + 64)) {
        return -1;
    }
    ByteCode marked = code;
    marked.marks = layout.marks.get();
    Context cx{marked, layout, *scratch};
    if (walk(cx) < 0) {
        return -1;
    }
    // A reference found while cutting may name a place behind it, or the
    // middle of an item: the items around such places are cut again. The
    // last pass adds no marks, so every later decoding of an item finds the
    // same end.
    NewMarks fresh;
    fresh.memory_code = 4021;
    cx.fresh = &fresh;
    for (Cut cut{0, false}; cut.pos < code.size && !cx.failed;) {
        cut_item(cx, cut);
    }
    for (int pass = 2; pass <= MAX_TILING_PASSES && fresh.count > 0 && !cx.failed; ++pass) {
        NewMarks pending = std::move(fresh);
        fresh = NewMarks{};
        fresh.memory_code = 4021;
        std::sort(pending.items.get(), pending.items.get() + pending.count);
        cx.marking = pass < MAX_TILING_PASSES;
        recut(cx, pending);
    }
    if (cx.failed) {
        return -1;
    }
    drop_unplaceable_refs(cx);
    if (nest_blocks(cx) < 0) {
        return -1;
    }
    mark_labels(cx);
    return 0;
}

}  // namespace tolvar
