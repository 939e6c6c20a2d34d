#include "decode/layout.h"

#include "decode/printer.h"
#include "isa/code_info.h"
#include "support/diag.h"

namespace tolvar {

namespace {

constexpr int MAX_REFS = 2 * MAX_EXPR_NODES;

// The compiler nests `if` bodies at most this deep.
constexpr int MAX_IF_NESTING = 1000;

// Tiling passes: each may find references in code that control flow did
// not reach; two more passes give those their labels.
constexpr int MAX_TILING_PASSES = 3;

struct Context {
    const ByteCode& code;
    Layout& layout;
    DecodedStatement& st;  // scratch
};

uint8_t* marks_of(Context& cx)
{
    return cx.layout.marks.get();
}

bool is_jump(const DecodedStatement& st)
{
    return st.row->code == CODE_JUMP;
}

// Marks what the statement refers to; true when a mark was new.
bool mark_refs(Context& cx, const DecodedStatement& st)
{
    int32_t refs[MAX_REFS];
    int count = statement_refs(st, refs, MAX_REFS);
    bool added = false;
    for (int i = 0; i < count; ++i) {
        if (refs[i] < 0 || refs[i] > cx.code.size) {
            continue;
        }
        uint8_t mark = MARK_WANTED | (is_jump(st) ? MARK_CODE_ENTRY : MARK_DATA_ENTRY);
        uint8_t& slot = marks_of(cx)[refs[i]];
        added = added || (slot & mark) != mark;
        slot |= mark;
    }
    return added;
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
        return Item{pos, end + 1 - pos, ITEM_DATA_TEXT};
    }
    return Item{pos, end - pos, ITEM_TEXT};
}

// Follows control flow from one entry, marking where statements begin.
void walk_from(Context& cx, int32_t pos, Growable<int32_t>& entries, bool& failed)
{
    uint8_t* marks = marks_of(cx);
    while (pos < cx.code.size && (marks[pos] & (MARK_VISITED | MARK_DATA_ENTRY)) == 0) {
        Item text = text_item(cx, pos, 0);
        int32_t length = text.length;
        bool stop = false;
        if (length == 0) {
            if (!decode_statement(cx.code, pos, cx.st)) {
                return;
            }
            length = cx.st.length;
            mark_refs(cx, cx.st);
            int32_t refs[MAX_REFS];
            int count = statement_refs(cx.st, refs, MAX_REFS);
            for (int i = 0; is_jump(cx.st) && i < count && !failed; ++i) {
                failed = refs[i] >= 0 && refs[i] < cx.code.size && !growable_push(entries, refs[i]);
            }
            stop = is_jump(cx.st);
        }
        marks[pos] |= MARK_VISITED;
        pos += length;
        if (stop) {
            return;
        }
    }
}

int walk(Context& cx)
{
    Growable<int32_t> entries;
    entries.memory_code = 4022;
    bool failed = cx.code.size > 0 && !growable_push(entries, 0);
    marks_of(cx)[0] |= MARK_CODE_ENTRY;
    while (!failed && entries.count > 0) {
        walk_from(cx, entries.items[--entries.count], entries, failed);
    }
    return failed ? -1 : 0;
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
        return Item{pos, cx.st.length, ITEM_STATEMENT};
    }
    return Item{pos, 1, ITEM_RAW};
}

Item data_item(Context& cx, int32_t pos)
{
    if (cx.code.bytes[pos] == CODE_ENDDATA && decode_statement(cx.code, pos, cx.st)) {
        return Item{pos, 1, ITEM_STATEMENT};
    }
    // A single letter and its 0 read better as the number they also are.
    Item text = text_item(cx, pos, 2);
    if (text.kind == ITEM_DATA_TEXT) {
        return text;
    }
    if (pos + 1 < cx.code.size && (marks_of(cx)[pos + 1] & MARK_WANTED) == 0) {
        return Item{pos, 2, ITEM_DATA_NUMBER};
    }
    return Item{pos, 1, ITEM_RAW};
}

// Cuts the whole file into items; true when new references turned up
// (and were marked, when allowed).
bool tile(Context& cx, bool may_mark, bool& failed)
{
    Growable<Item>& items = cx.layout.items;
    items.count = 0;
    bool in_data = false;
    bool added = false;
    for (int32_t pos = 0; pos < cx.code.size && !failed;) {
        uint8_t mark = marks_of(cx)[pos];
        if ((mark & MARK_CODE_ENTRY) != 0) {
            in_data = false;
        } else if ((mark & MARK_DATA_ENTRY) != 0) {
            in_data = true;
        }
        Item item = in_data ? data_item(cx, pos) : code_item(cx, pos);
        if (item.kind == ITEM_STATEMENT) {  // cx.st holds it
            int32_t refs[MAX_REFS];
            item.refers = statement_refs(cx.st, refs, MAX_REFS) > 0;
            added = (may_mark && mark_refs(cx, cx.st)) || added;
            in_data = in_data && cx.st.row->code != CODE_ENDDATA;
        }
        Item* last = items.count > 0 ? &items.items[items.count - 1] : nullptr;
        if (item.kind == ITEM_RAW && last != nullptr && last->kind == ITEM_RAW) {
            last->length += item.length;  // one item a run, not one a byte
        } else {
            failed = !growable_push(items, item);
        }
        pos += item.length;
    }
    return added;
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
    ByteCode marked = code;
    marked.marks = layout.marks.get();
    Context cx{marked, layout, *scratch};
    if (walk(cx) < 0) {
        return -1;
    }
    bool failed = false;
    for (int pass = 1;; ++pass) {
        // The last pass adds no marks, so that every later decoding of an
        // item finds the same end.
        bool last = pass == MAX_TILING_PASSES;
        bool added = tile(cx, !last, failed);
        if (failed) {
            return -1;
        }
        if (!added || last) {
            break;
        }
    }
    drop_unplaceable_refs(cx);
    if (nest_blocks(cx) < 0) {
        return -1;
    }
    mark_labels(cx);
    return 0;
}

}  // namespace tolvar
