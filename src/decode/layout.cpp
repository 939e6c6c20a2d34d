#include "decode/layout.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decode/printer.h"
#include "isa/code_info.h"
#include "isa/encoding.h"
#include "support/diag.h"

namespace tolvar {

namespace {

constexpr int MAX_REFS = 2 * MAX_EXPR_NODES;

// The compiler nests `if` bodies at most this deep.
constexpr int MAX_IF_NESTING = MAX_IF_DEPTH;

// Rounds of cutting again: each cuts the items around new marks, and
// around statements that must give up their code byte. Past this many the
// last round adds no marks, and what is still out of place is written raw
// whole.
constexpr int MAX_ROUNDS = 8;

// Statements this short always fit a line: no byte gives more than five
// tokens or sixteen characters of script.
constexpr int32_t SURELY_FITS = 48;

// Offsets that a pass marked anew.
using NewMarks = Growable<int32_t>;

struct Context {
    const ByteCode& code;
    Layout& layout;
    DecodedStatement& st;       // scratch
    Growable<Item>* out;        // where cut items go
    bool marking = true;        // references get their marks
    NewMarks* fresh = nullptr;  // where new marks are listed, when asked
    bool failed = false;        // out of memory (the message is printed)
};

uint8_t* marks_of(Context& cx)
{
    return cx.layout.marks.get();
}

bool ends_path(const DecodedStatement& st)
{
    return st.row->code == CODE_JUMP || st.row->code == CODE_BYE;
}

// The statement at pos, when a script line can give it back: it decodes,
// names no place outside the file, and fits a line.
bool accept_statement(Context& cx, int32_t pos)
{
    if (!decode_statement(cx.code, pos, cx.st)) {
        return false;
    }
    int32_t refs[MAX_REFS];
    int count = statement_refs(cx.st, refs, MAX_REFS);
    for (int i = 0; i < count; ++i) {
        if (refs[i] < 0 || refs[i] > cx.code.size) {
            return false;
        }
    }
    return cx.st.length <= SURELY_FITS || statement_fits_line(cx.code, cx.st);
}

// Marks what the statement refers to, and lists the offsets whose marks
// are new.
void mark_refs(Context& cx, const DecodedStatement& st)
{
    int32_t refs[MAX_REFS];
    int count = cx.marking ? statement_refs(st, refs, MAX_REFS) : 0;
    for (int i = 0; i < count; ++i) {
        uint8_t mark =
            MARK_WANTED | (st.row->code == CODE_JUMP ? MARK_CODE_ENTRY : MARK_DATA_ENTRY);
        uint8_t& slot = marks_of(cx)[refs[i]];
        if ((slot & mark) != mark && cx.fresh != nullptr) {
            cx.failed = cx.failed || !growable_push(*cx.fresh, refs[i]);
        }
        slot |= mark;
    }
}

// Offsets a text or a data item may not run over: a label goes there, or
// control flow reaches an item there.
constexpr uint8_t TEXT_STOPS = MARK_WANTED | MARK_REACHED;

// An item as the cut makes it, with its length.
struct Piece {
    Item item;
    int32_t length;
};

Piece piece(int32_t pos, int32_t length, ItemKind kind)
{
    return Piece{Item{pos, 0, kind, 0, false, false}, length};
}

// A text at pos as a script writes it in code: a text line, or .data when
// a 0 byte ends it. Zero length when pos holds no text.
Piece text_item(Context& cx, int32_t pos, int32_t min_data_text)
{
    const ByteCode& code = cx.code;
    int32_t end = text_run_end(code, pos, marks_of(cx), TEXT_STOPS);
    size_t limit = code.texts_apart ? MAX_TEXT_FILE_LITERAL : MAX_STATEMENT_TEXT;
    bool stop_inside = end > pos && (marks_of(cx)[end] & TEXT_STOPS) != 0;
    if (end < code.size && code.bytes[end] == 0 && !stop_inside && end - pos >= min_data_text &&
        literal_length(code, pos, end - pos, false) <= limit) {
        return piece(pos, end + 1 - pos, ITEM_DATA_TEXT);
    }
    return piece(pos, end - pos, ITEM_TEXT);
}

// Where walks start. Walks from the start and from the targets of jumps
// that control flow reaches follow control flow: what they reach stays
// code. What follows a jump or a `bye` is often reached in ways the
// byte-code does not show (an answer to a keyword, say); it is walked as a
// guess, after all of control flow, and a guess stops where a data table
// turned up.
struct WalkQueue {
    Growable<int32_t> reached;
    Growable<int32_t> guessed;
    bool failed = false;
};

void queue(Growable<int32_t>& list, int32_t offset, int32_t size, bool& failed)
{
    failed = failed || (offset >= 0 && offset < size && !growable_push(list, offset));
}

// Follows control flow from one entry, marking where items begin.
void walk_from(Context& cx, int32_t pos, WalkQueue& queued, bool reached)
{
    uint8_t* marks = marks_of(cx);
    uint8_t stop = reached ? MARK_REACHED : MARK_VISITED | MARK_DATA_ENTRY;
    uint8_t mark = reached ? MARK_REACHED | MARK_VISITED : MARK_VISITED;
    while (pos < cx.code.size && (marks[pos] & stop) == 0) {
        Piece text = text_item(cx, pos, 0);
        int32_t length = text.length;
        if (length == 0) {
            if (!accept_statement(cx, pos)) {
                return;
            }
            length = cx.st.length;
            mark_refs(cx, cx.st);
        }
        marks[pos] |= mark;
        // Up to the bytes an earlier walk reached, which it marked on.
        for (int32_t i = pos; reached && i < pos + length && (marks[i] & MARK_REACHED_BYTE) == 0;
             ++i) {
            marks[i] |= MARK_REACHED_BYTE;
        }
        pos += length;
        if (text.length == 0 && ends_path(cx.st)) {
            if (cx.st.row->code == CODE_JUMP) {
                queue(reached ? queued.reached : queued.guessed, cx.st.params[0].value,
                      cx.code.size, queued.failed);
            }
            queue(queued.guessed, pos, cx.code.size, queued.failed);
            return;
        }
    }
}

int walk(Context& cx)
{
    WalkQueue queued;
    queued.reached.memory_code = 4022;
    queued.guessed.memory_code = 4022;
    queue(queued.reached, 0, cx.code.size, queued.failed);
    marks_of(cx)[0] |= MARK_CODE_ENTRY;
    while (!queued.failed) {
        bool reached = queued.reached.count > 0;
        Growable<int32_t>& list = reached ? queued.reached : queued.guessed;
        if (list.count == 0) {
            break;
        }
        walk_from(cx, list.items[--list.count], queued, reached);
    }
    return queued.failed ? -1 : 0;
}

// True when an item begins at an offset in (pos, end) whose mark has a bit
// of mask.
bool covers(Context& cx, int32_t pos, int32_t end, uint8_t mask)
{
    for (int32_t i = pos + 1; i < end; ++i) {
        if ((marks_of(cx)[i] & mask) != 0) {
            return true;
        }
    }
    return false;
}

// A statement may not cover the start of another one that has a stronger
// claim: control flow beats a guess, a guess beats nothing.
bool statement_takes_place(Context& cx, int32_t pos, int32_t end)
{
    uint8_t mark = marks_of(cx)[pos];
    if ((mark & MARK_REACHED) != 0) {
        return true;
    }
    return !covers(cx, pos, end, (mark & MARK_VISITED) != 0 ? MARK_REACHED : MARK_VISITED);
}

Piece statement_item(const DecodedStatement& st)
{
    return piece(st.offset, st.length, ITEM_STATEMENT);
}

Piece raw_item(int32_t pos)
{
    return piece(pos, 1, ITEM_RAW);
}

Piece code_item(Context& cx, int32_t pos)
{
    Piece text = text_item(cx, pos, 0);
    if (text.length > 0) {
        return text;  // a 0 byte alone is .data ""
    }
    if (accept_statement(cx, pos) && statement_takes_place(cx, pos, pos + cx.st.length)) {
        return statement_item(cx.st);
    }
    return raw_item(pos);
}

Piece data_item(Context& cx, int32_t pos, uint8_t state)
{
    if (cx.code.bytes[pos] == CODE_ENDDATA && accept_statement(cx, pos)) {
        return statement_item(cx.st);
    }
    // In a table of texts every text is one, also an empty one or a single
    // letter; elsewhere a single letter and its 0 read better as the number
    // they also are.
    Piece text = text_item(cx, pos, (state & CUT_TEXT_TABLE) != 0 ? 0 : 2);
    if (text.item.kind == ITEM_DATA_TEXT) {
        return text;
    }
    if (pos + 1 < cx.code.size && (marks_of(cx)[pos + 1] & TEXT_STOPS) == 0) {
        return piece(pos, 2, ITEM_DATA_NUMBER);
    }
    return raw_item(pos);
}

// True when the data table that begins at pos holds texts alone (each with
// its 0 byte) up to its enddata, the next entry of code or the end of the
// file.
bool table_of_texts(Context& cx, int32_t pos)
{
    const ByteCode& code = cx.code;
    const uint8_t* marks = marks_of(cx);
    int32_t p = pos;
    int texts = 0;
    while (p < code.size && code.bytes[p] != CODE_ENDDATA &&
           (p == pos || (marks[p] & (MARK_CODE_ENTRY | MARK_REACHED | MARK_REACHED_BYTE)) == 0)) {
        int32_t end = text_run_end(code, p, marks, TEXT_STOPS);
        if (end >= code.size || code.bytes[end] != 0 ||
            (end > p && (marks[end] & TEXT_STOPS) != 0)) {
            return false;
        }
        ++texts;
        p = end + 1;
    }
    return texts > 0;
}

// Where cutting has got to: the next offset, and how the bytes there are
// read.
struct Cut {
    int32_t pos;
    uint8_t state;
    int32_t run_end = -1;  // where the raw item just made ends
};

// The state at cut.pos: control flow and jumps make code, a data
// reference a table.
uint8_t state_at(Context& cx, const Cut& cut)
{
    uint8_t mark = marks_of(cx)[cut.pos];
    if ((mark & (MARK_REACHED | MARK_REACHED_BYTE | MARK_CODE_ENTRY)) != 0) {
        return 0;
    }
    if ((mark & MARK_DATA_ENTRY) != 0 && (cut.state & CUT_IN_DATA) == 0) {
        return CUT_IN_DATA | (table_of_texts(cx, cut.pos) ? CUT_TEXT_TABLE : 0);
    }
    return cut.state;
}

// Cuts one item at the cut and moves the cut past it.
void cut_item(Context& cx, Cut& cut)
{
    uint8_t state_before = cut.state;
    cut.state = state_at(cx, cut);
    Piece made;
    if ((marks_of(cx)[cut.pos] & MARK_FORCED_RAW) != 0) {
        made = raw_item(cut.pos);
    } else {
        made = (cut.state & CUT_IN_DATA) != 0 ? data_item(cx, cut.pos, cut.state)
                                              : code_item(cx, cut.pos);
    }
    Item& item = made.item;
    item.state = state_before & (CUT_IN_DATA | CUT_TEXT_TABLE);
    item.in_table = (cut.state & CUT_IN_DATA) != 0;
    if (item.kind == ITEM_STATEMENT) {  // cx.st holds it
        int32_t refs[MAX_REFS];
        item.refers = statement_refs(cx.st, refs, MAX_REFS) > 0;
        mark_refs(cx, cx.st);
        item.form = static_cast<uint32_t>(cx.layout.forms.size);
        cx.failed = cx.failed || !keep_form(cx.st, cx.layout.forms);
        if (cx.st.row->code == CODE_ENDDATA) {
            cut.state = 0;
        }
    }
    // One item a run of raw bytes, not one a byte.
    Growable<Item>& items = *cx.out;
    const Item* last = items.count > 0 ? &items.items[items.count - 1] : nullptr;
    bool joins = item.kind == ITEM_RAW && last != nullptr && last->kind == ITEM_RAW &&
                 last->in_table == item.in_table && cut.run_end == cut.pos;
    if (!joins) {
        cx.failed = cx.failed || !growable_push(items, item);
    }
    cut.pos += made.length;
    cut.run_end = item.kind == ITEM_RAW ? cut.pos : -1;
}

// Cuts again from the old item that holds the next marked offset, until
// the cut meets an old item boundary in the same state, with no marked
// offset at or behind it still waiting. Returns where the old items go on.
size_t cut_again(Context& cx, const Growable<Item>& old, size_t k, const NewMarks& marked,
                 size_t& m)
{
    Cut cut{old.items[k].offset, old.items[k].state};
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
        if (j < old.count && old.items[j].offset == cut.pos && old.items[j].state == cut.state &&
            !waiting) {
            return j;
        }
    }
    return old.count;
}

// Old items [old_begin, old_end) give way to new ones [new_begin, new_end).
struct Splice {
    size_t old_begin;
    size_t old_end;
    size_t new_begin;
    size_t new_end;
};

ptrdiff_t growth(const Splice& s)
{
    return static_cast<ptrdiff_t>(s.new_end - s.new_begin) -
           static_cast<ptrdiff_t>(s.old_end - s.old_begin);
}

void move_run(Item* items, size_t begin, size_t end, ptrdiff_t by)
{
    if (by != 0 && end > begin) {
        std::memmove(items + static_cast<ptrdiff_t>(begin) + by, items + begin,
                     (end - begin) * sizeof(Item));
    }
}

// Puts the new items in the places of the old ones they replace, in the
// list itself: the old runs between the splices move left in one sweep
// and right in another, so that none is overwritten before it moved.
void splice_in(Context& cx, const Growable<Item>& made, const Growable<Splice>& splices)
{
    Growable<Item>& items = cx.layout.items;
    ptrdiff_t total = 0;
    for (size_t i = 0; i < splices.count; ++i) {
        total += growth(splices.items[i]);
    }
    size_t count = static_cast<size_t>(static_cast<ptrdiff_t>(items.count) + total);
    if (count > items.capacity && !growable_reserve(items, count + count / 8)) {
        cx.failed = true;
        return;
    }
    Item* list = items.items.get();
    // The run after splice i ends where splice i + 1 begins.
    auto run_end = [&](size_t i) {
        return i + 1 < splices.count ? splices.items[i + 1].old_begin : items.count;
    };
    ptrdiff_t by = 0;
    for (size_t i = 0; i < splices.count; ++i) {
        by += growth(splices.items[i]);
        if (by <= 0) {
            move_run(list, splices.items[i].old_end, run_end(i), by);
        }
    }
    for (size_t i = splices.count; i-- > 0;) {
        if (by > 0) {
            move_run(list, splices.items[i].old_end, run_end(i), by);
        }
        by -= growth(splices.items[i]);
    }
    for (size_t i = 0; i < splices.count; ++i) {
        const Splice& s = splices.items[i];
        std::copy(made.items.get() + s.new_begin, made.items.get() + s.new_end,
                  list + static_cast<ptrdiff_t>(s.old_begin) + by);
        by += growth(s);
    }
    items.count = count;
}

// The items around the offsets given (sorted) are cut again; the others
// stand, since nothing they depend on changed.
void recut(Context& cx, const NewMarks& marked)
{
    Growable<Item> made;
    made.memory_code = 4021;
    Growable<Splice> splices;
    splices.memory_code = 4021;
    cx.out = &made;
    const Growable<Item>& old = cx.layout.items;
    size_t j = 0;
    for (size_t m = 0; m < marked.count && j < old.count && !cx.failed;) {
        size_t k = item_at(old, marked.items[m]);
        size_t begin = made.count;
        j = cut_again(cx, old, k, marked, m);
        cx.failed = cx.failed || !growable_push(splices, Splice{k, j, begin, made.count});
    }
    cx.out = &cx.layout.items;
    if (!cx.failed) {
        splice_in(cx, made, splices);
    }
}

// The offsets an item's statement refers to, into refs; how many. A jump's
// target is read straight from its bytes.
int item_refs(Context& cx, const Item& item, int32_t* refs)
{
    if (item.kind != ITEM_STATEMENT || !item.refers) {
        return 0;
    }
    const uint8_t* b = cx.code.bytes + item.offset;
    if (b[0] == CODE_JUMP) {
        uint32_t target = static_cast<uint32_t>(b[1]) | static_cast<uint32_t>(b[2]) << 8 |
                          static_cast<uint32_t>(b[3]) << 16 | static_cast<uint32_t>(b[4]) << 24;
        refs[0] = static_cast<int32_t>(target);
        return 1;
    }
    item_statement(cx.code, cx.layout, item, cx.st);
    return statement_refs(cx.st, refs, MAX_REFS);
}

// While the cutting settles, the label bit marks the places a label can
// stand: where an item begins, every raw byte, and the end of the file.
constexpr uint8_t MARK_PLACE = MARK_LABEL;

void clear_places(Context& cx)
{
    uint8_t* marks = marks_of(cx);
    size_t count = static_cast<size_t>(cx.code.size) + 1;  // read once: marks may alias anything
    for (size_t i = 0; i < count; ++i) {
        marks[i] &= static_cast<uint8_t>(~MARK_PLACE);
    }
}

void mark_places(Context& cx)
{
    clear_places(cx);
    uint8_t* marks = marks_of(cx);
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        const Item& item = cx.layout.items.items[i];
        int32_t last = item.kind == ITEM_RAW ? item_end(cx.layout, i) : item.offset + 1;
        for (int32_t at = item.offset; at < last; ++at) {
            marks[at] |= MARK_PLACE;
        }
    }
    marks[cx.code.size] |= MARK_PLACE;
}

bool first_ref_without_place(Context& cx, const Item& item)
{
    int32_t refs[MAX_REFS];
    int count = item_refs(cx, item, refs);
    for (int r = 0; r < count; ++r) {
        if ((marks_of(cx)[refs[r]] & MARK_PLACE) == 0) {
            return true;
        }
    }
    return false;
}

void force_raw(Context& cx, NewMarks& forced, int32_t offset)
{
    marks_of(cx)[offset] |= MARK_FORCED_RAW;
    cx.failed = cx.failed || !growable_push(forced, offset);
}

// Statements whose references find no place give up their code byte.
void place_refs(Context& cx, NewMarks& forced)
{
    mark_places(cx);
    for (size_t i = 0; i < cx.layout.items.count && !cx.failed; ++i) {
        const Item& item = cx.layout.items.items[i];
        if (first_ref_without_place(cx, item)) {
            force_raw(cx, forced, item.offset);
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

// The block keywords that don't nest as the compiler requires, each passed
// to out_of_place (a stray `else` or `endif`, an `if` nested too deep with
// its `else` and `endif`, an `if` never closed with its `else`). False on a
// memory failure.
template <class OutOfPlace>
bool check_nesting(Context& cx, OutOfPlace out_of_place)
{
    Growable<OpenIf> open;
    open.memory_code = 4023;
    Item* items = cx.layout.items.items.get();
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        Code c = block_code(cx, items[i]);
        OpenIf* top = open.count > 0 ? &open.items[open.count - 1] : nullptr;
        if (c == CODE_IF) {
            bool raw = open.count >= MAX_IF_NESTING;
            if (raw) {
                out_of_place(items[i]);
            }
            if (!growable_push(open, OpenIf{static_cast<int32_t>(i), -1, raw})) {
                return false;
            }
        } else if (c == CODE_ELSE) {
            if (top == nullptr || top->raw || top->else_item >= 0) {
                out_of_place(items[i]);
            } else {
                top->else_item = static_cast<int32_t>(i);
            }
        } else if (c == CODE_ENDIF) {
            if (top == nullptr || top->raw) {
                out_of_place(items[i]);
            }
            open.count -= top != nullptr ? 1 : 0;
        }
    }
    for (size_t i = 0; i < open.count; ++i) {
        out_of_place(items[open.items[i].if_item]);
        if (open.items[i].else_item >= 0) {
            out_of_place(items[open.items[i].else_item]);
        }
    }
    return true;
}

// Sorted, without repeats.
void sort_marks(NewMarks& marks)
{
    int32_t* begin = marks.items.get();
    std::sort(begin, begin + marks.count);
    marks.count = static_cast<size_t>(std::unique(begin, begin + marks.count) - begin);
}

// Cuts again until every reference has its place and the blocks nest, or
// the rounds run out. Returns true when everything stands.
bool settle(Context& cx, NewMarks& fresh)
{
    for (int round = 1; !cx.failed; ++round) {
        NewMarks pending = std::move(fresh);
        fresh = NewMarks{};
        fresh.memory_code = 4021;
        pending.memory_code = 4021;
        if (pending.count == 0) {
            place_refs(cx, pending);
        }
        if (pending.count == 0) {
            cx.failed =
                !check_nesting(cx, [&](const Item& item) { force_raw(cx, pending, item.offset); });
        }
        if (pending.count == 0 || cx.failed) {
            return pending.count == 0;
        }
        if (round == MAX_ROUNDS) {
            return false;
        }
        sort_marks(pending);
        cx.marking = round + 1 < MAX_ROUNDS;
        recut(cx, pending);
    }
    return false;
}

// What still has no place after the last round is written raw whole: raw
// bytes take a label anywhere and name nothing, so this settles it.
void make_raw(Item& item)
{
    item.kind = ITEM_RAW;
}

void settle_by_raw_statements(Context& cx)
{
    // Raw items only add places: the places marked before stay true.
    mark_places(cx);
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        Item& item = cx.layout.items.items[i];
        if (first_ref_without_place(cx, item)) {
            make_raw(item);
        }
    }
    cx.failed = !check_nesting(cx, [](Item& item) { make_raw(item); });
}

void mark_labels(Context& cx)
{
    clear_places(cx);
    for (size_t i = 0; i < cx.layout.items.count; ++i) {
        int32_t refs[MAX_REFS];
        int count = item_refs(cx, cx.layout.items.items[i], refs);
        for (int r = 0; r < count; ++r) {
            marks_of(cx)[refs[r]] |= MARK_LABEL;
        }
    }
}

}  // namespace

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

void item_statement(const ByteCode& code, const Layout& layout, const Item& item,
                    DecodedStatement& st)
{
    const uint8_t* form = reinterpret_cast<const uint8_t*>(layout.forms.data.get()) + item.form;
    rebuild_statement(code, item.offset, form, st);
}

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
    layout.forms.memory_code = 4021;
    // About one item in sixteen bytes of byte-code, and a few bytes of
    // decoded form for each.
    if (!growable_reserve(layout.items, static_cast<size_t>(code.size) / 16 + 64) ||
        !buffer_reserve(layout.forms, static_cast<size_t>(code.size) / 8 + 64)) {
        return -1;
    }
    ByteCode marked = code;
    marked.marks = layout.marks.get();
    Context cx{marked, layout, *scratch, &layout.items};
    if (walk(cx) < 0) {
        return -1;
    }
    // A reference found while cutting may name a place behind it, or the
    // middle of an item, and a statement may have to give up its code byte:
    // the items around such places are cut again.
    NewMarks fresh;
    fresh.memory_code = 4021;
    cx.fresh = &fresh;
    layout.size = code.size;
    for (Cut cut{0, 0}; cut.pos < code.size && !cx.failed;) {
        cut_item(cx, cut);
    }
    if (!cx.failed && !settle(cx, fresh) && !cx.failed) {
        settle_by_raw_statements(cx);
    }
    if (cx.failed) {
        return -1;
    }
    mark_labels(cx);
    return 0;
}

}  // namespace tolvar
