#include "decode/graph.h"

#include <cstring>
#include <memory>

#include "decode/printer.h"
#include "front/text_literal.h"
#include "support/diag.h"

namespace tolvar {

namespace {

// Characters of a text a caption shows, and of the keywords an edge shows.
constexpr int32_t CAPTION_TEXT = 32;
constexpr int32_t EDGE_TEXT = 40;
constexpr size_t MAX_NAME_SHOWN = 200;

struct Graph {
    const ByteCode& code;
    const Layout& layout;
    StagedText& out;
    DecodedStatement& st;
    std::unique_ptr<int32_t[]> match;  // per item: its else, endif or endanswer, or -1
    bool failed = false;
};

// The block now being gathered.
struct Block {
    int32_t start = -1;          // offset of its first byte; -1: none open
    const char* role = nullptr;  // why it begins, when no label names it
    bool labelled = false;
    int32_t text_offset = -1;  // its first text
    int32_t text_length = 0;
    int32_t keywords_item = -1;  // the last `keywords` in it
};

void put(Graph& g, const char* text, size_t length)
{
    g.failed = g.failed || !buffer_append(g.out.buffer, text, length);
}

void put(Graph& g, const char* text)
{
    put(g, text, std::strlen(text));
}

void end_line(Graph& g)
{
    put(g, "\n", 1);
    g.failed = g.failed || !pass_on(g.out, false);
}

void put_id(Graph& g, int32_t offset)
{
    char id[9] = {'n'};
    format_hex(id + 1, static_cast<uint32_t>(offset), 8);
    put(g, id, sizeof id);
}

void put_label_name(Graph& g, int32_t offset)
{
    char name[10] = {'L', '_'};
    format_hex(name + 2, static_cast<uint32_t>(offset), 8);
    put(g, name, sizeof name);
}

// A stored text inside a quoted DOT string, at most shown characters:
// printable ASCII as it stands (the quote and the backslash escaped), line
// feeds and tabs as spaces, each double-byte region as {..}.
void put_dot_text(Graph& g, int32_t offset, int32_t length, int32_t shown)
{
    const uint8_t* b = g.code.bytes + offset;
    bool region = false;
    int32_t i = 0;
    for (int32_t count = 0; i < length && count < shown; ++i) {
        uint8_t c = b[i];
        if (region) {
            if (c == '}') {
                region = false;
            } else if (is_lead_byte(c) && i + 1 < length) {
                ++i;
            }
            continue;
        }
        if (c == '{') {
            put(g, "{..}");
            region = true;
            count += 4;
            continue;
        }
        if (c == '"' || c == '\\') {
            put(g, "\\", 1);
        }
        char shown_char = c == '\n' || c == '\t' ? ' ' : static_cast<char>(c);
        put(g, &shown_char, 1);
        ++count;
    }
    if (i < length) {
        put(g, "...");
    }
}

const Item& item(const Graph& g, size_t i)
{
    return g.layout.items.items[i];
}

Code statement_code(const Graph& g, size_t i)
{
    const Item& it = item(g, i);
    bool statement = it.kind == ITEM_STATEMENT && !it.in_table;
    return statement ? g.code.bytes[it.offset] : static_cast<Code>(CODE_NONE);
}

size_t slot(int32_t index)
{
    return static_cast<size_t>(index);
}

// Pairs each `if` with its `else` or `endif`, each `else` with its `endif`
// and each `answer` with its `endanswer`. False after a memory message.
bool pair_blocks(Graph& g)
{
    size_t count = g.layout.items.count;
    g.match = try_new_array<int32_t>(count + 1);
    std::unique_ptr<int32_t[]> ifs = try_new_array<int32_t>(count + 1);
    std::unique_ptr<int32_t[]> answers = try_new_array<int32_t>(count + 1);
    if (!g.match || !ifs || !answers) {
        report_error(4027, "memory exhausted! (size=%zu)\n", (count + 1) * sizeof(int32_t));
        return false;
    }
    size_t open_ifs = 0;
    size_t open_answers = 0;
    for (size_t i = 0; i < count; ++i) {
        g.match[i] = -1;
        int32_t index = static_cast<int32_t>(i);
        switch (statement_code(g, i)) {
        case CODE_IF:
            ifs[open_ifs++] = index;
            break;
        case CODE_ELSE:
            if (open_ifs > 0) {
                g.match[slot(ifs[open_ifs - 1])] = index;
            }
            break;
        case CODE_ENDIF:
            if (open_ifs > 0) {
                int32_t opener = ifs[--open_ifs];
                int32_t its_else = g.match[slot(opener)];
                g.match[slot(its_else >= 0 ? its_else : opener)] = index;
            }
            break;
        case CODE_ANSWER:
            answers[open_answers++] = index;
            break;
        case CODE_ENDANSWER:
            if (open_answers > 0) {
                g.match[slot(answers[--open_answers])] = index;
            }
            break;
        default:
            break;
        }
    }
    return true;
}

bool is_closer(Code c)
{
    return c == CODE_ELSE || c == CODE_ENDIF || c == CODE_ENDANSWER;
}

// The block control reaches at item j: past the `else`, `endif` and
// `endanswer` that no label names (an `else` goes on after its `endif`).
// -1 when that is in a data table or past the end.
int32_t block_at(const Graph& g, size_t j)
{
    const uint8_t* marks = g.layout.marks.get();
    size_t count = g.layout.items.count;
    while (j < count && !item(g, j).in_table && (marks[item(g, j).offset] & MARK_LABEL) == 0) {
        Code c = statement_code(g, j);
        if (!is_closer(c)) {
            break;
        }
        j = c == CODE_ELSE && g.match[j] >= 0 ? static_cast<size_t>(g.match[j]) + 1 : j + 1;
    }
    return j < count && !item(g, j).in_table ? item(g, j).offset : -1;
}

// The block after the item that index names, else -1.
int32_t block_after(const Graph& g, int32_t index)
{
    return index < 0 ? -1 : block_at(g, static_cast<size_t>(index) + 1);
}

void put_edge(Graph& g, int32_t from, int32_t to, const char* attributes)
{
    if (to < 0) {
        return;
    }
    put(g, "  ");
    put_id(g, from);
    put(g, " -> ");
    put_id(g, to);
    put(g, attributes);
    put(g, ";");
    end_line(g);
}

void put_node(Graph& g, const Block& block, bool ends_with_bye)
{
    put(g, "  ");
    put_id(g, block.start);
    put(g, " [label=\"");
    if (block.labelled) {
        put_label_name(g, block.start);
    } else {
        put(g, block.keywords_item >= 0 ? "keywords" : block.role);
    }
    if (block.text_offset >= 0) {
        put(g, "\\n\\\"");
        put_dot_text(g, block.text_offset, block.text_length, CAPTION_TEXT);
        put(g, "\\\"");
    }
    put(g, ends_with_bye ? "\", peripheries=2];" : "\"];");
    end_line(g);
}

// The edge of an answer: labelled with its keywords.
void put_answer_edge(Graph& g, const Block& block, int32_t to)
{
    if (to < 0) {
        return;
    }
    put(g, "  ");
    put_id(g, block.start);
    put(g, " -> ");
    put_id(g, to);
    put(g, " [label=\"");
    if (block.keywords_item >= 0) {
        const Item& keywords = item(g, static_cast<size_t>(block.keywords_item));
        item_statement(g.code, g.layout, keywords, g.st);
        put_dot_text(g, g.st.params[0].value, g.st.params[0].length, EDGE_TEXT);
    } else {
        put(g, "answer");
    }
    put(g, "\"];");
    end_line(g);
}

// The node of the block that ends with item last (index), and its edges.
void close_block(Graph& g, Block& block, size_t last)
{
    if (block.start < 0) {
        return;
    }
    Code c = statement_code(g, last);
    int32_t index = static_cast<int32_t>(last);
    put_node(g, block, c == CODE_BYE);
    switch (c) {
    case CODE_BYE:
        break;
    case CODE_JUMP: {
        item_statement(g.code, g.layout, item(g, last), g.st);
        int32_t target = g.st.params[0].value;
        bool code = target < g.code.size && !item(g, item_at(g.layout.items, target)).in_table;
        put_edge(g, block.start, code ? target : -1, " [style=dashed]");
        break;
    }
    case CODE_IF: {
        put_edge(g, block.start, block_after(g, index), " [label=\"if\"]");
        put_edge(g, block.start, block_after(g, g.match[last]), " [label=\"else\"]");
        break;
    }
    case CODE_ELSE:
        put_edge(g, block.start, block_after(g, g.match[last]), "");
        break;
    case CODE_ANSWER:
        put_answer_edge(g, block, block_after(g, index));
        put_edge(g, block.start, block_after(g, g.match[last]), " [label=\"other\", style=dotted]");
        break;
    default:
        put_edge(g, block.start, block_after(g, index), "");
        break;
    }
    block = Block{};
}

// Why a block begins after the item before it; null when none does.
const char* role_after(Code c)
{
    switch (c) {
    case CODE_IF:
        return "then";
    case CODE_ELSE:
        return "else";
    case CODE_ENDIF:
        return "after if";
    case CODE_ANSWER:
        return "answer";
    case CODE_ENDANSWER:
        return "after answer";
    case CODE_JUMP:
        return "after jump";
    case CODE_BYE:
        return "after bye";
    default:
        return nullptr;
    }
}

void open_block(Block& block, int32_t start, const char* role, bool labelled)
{
    block = Block{};
    block.start = start;
    block.role = role;
    block.labelled = labelled;
}

// Labels inside a run of raw bytes begin blocks of their own.
void split_raw(Graph& g, Block& block, const Item& raw, int32_t length)
{
    const uint8_t* marks = g.layout.marks.get();
    for (int32_t at = raw.offset + 1; at < raw.offset + length; ++at) {
        if ((marks[at] & MARK_LABEL) != 0) {
            put_node(g, block, false);
            put_edge(g, block.start, at, "");
            open_block(block, at, nullptr, true);
        }
    }
}

void gather(Graph& g, Block& block, size_t i)
{
    const Item& it = item(g, i);
    Code c = statement_code(g, i);
    int32_t length = item_end(g.layout, i) - it.offset;
    if (block.text_offset < 0 && (it.kind == ITEM_TEXT || it.kind == ITEM_DATA_TEXT)) {
        block.text_offset = it.offset;
        block.text_length = it.kind == ITEM_TEXT ? length : length - 1;
    }
    if (c == CODE_KEYWORDS) {
        block.keywords_item = static_cast<int32_t>(i);
    }
    if (it.kind == ITEM_RAW) {
        split_raw(g, block, it, length);
    }
}

void put_header(Graph& g, const DecompileOptions& options)
{
    put(g, "// The conversation in '");
    const char* name = options.input_name;
    for (size_t i = 0; name[i] != '\0' && i < MAX_NAME_SHOWN; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        char shown = c < 0x20 || c >= 0x7F ? '?' : name[i];
        put(g, &shown, 1);
    }
    put(g, "' (");
    put(g, game_name(g.code.game));
    put(g, "), mapped by tolvar-decompile --graph.");
    end_line(g);
    put(g, "digraph conversation {");
    end_line(g);
    put(g, "  node [shape=box];");
    end_line(g);
}

}  // namespace

int write_graph(const ByteCode& code, const Layout& layout, const DecompileOptions& options,
                StagedText& out)
{
    std::unique_ptr<DecodedStatement> scratch(try_new<DecodedStatement>());
    if (!scratch) {
        report_error(4024, "memory exhausted! (size=%zu)\n", sizeof(DecodedStatement));
        return -1;
    }
    Graph g{code, layout, out, *scratch, nullptr};
    if (!pair_blocks(g)) {
        return -1;
    }
    put_header(g, options);
    const uint8_t* marks = layout.marks.get();
    Block block;
    size_t last = 0;  // the last item of the block
    const char* role = "start";
    for (size_t i = 0; i < layout.items.count && !g.failed; ++i) {
        const Item& it = item(g, i);
        if (it.in_table) {
            close_block(g, block, last);
            role = "after table";
            continue;
        }
        bool labelled = (marks[it.offset] & MARK_LABEL) != 0;
        Code c = statement_code(g, i);
        if (is_closer(c) && !labelled && role != nullptr) {
            // A closing keyword right after a block ended begins none: control
            // passes it by (block_at).
            close_block(g, block, last);
            role = role_after(c);
            continue;
        }
        if (block.start >= 0 && (labelled || role != nullptr)) {
            close_block(g, block, last);
        }
        if (block.start < 0) {
            open_block(block, it.offset, role != nullptr ? role : "", labelled);
        }
        gather(g, block, i);
        last = i;
        role = role_after(c);
    }
    close_block(g, block, last);
    if (layout.items.count == 0) {
        Block start;
        open_block(start, 0, "start", false);
        put_node(g, start, false);
    }
    put(g, "}");
    end_line(g);
    g.failed = g.failed || !pass_on(out, true);
    return g.failed ? -1 : 0;
}

}  // namespace tolvar
