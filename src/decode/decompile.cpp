#include "decode/decompile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decode/graph.h"
#include "decode/layout.h"
#include "decode/printer.h"
#include "front/text_literal.h"
#include "support/diag.h"

namespace tolvar {

namespace {

constexpr size_t INDENT_WIDTH = 4;
constexpr int MAX_INDENT_LEVELS = 20;  // deeper bodies stay at this column
constexpr size_t OFFSETS_COLUMN = 40;
constexpr int32_t MAX_OFFSET_BYTES = 16;
constexpr int32_t TEXT_PIECE = 1000;  // bytes of text on one line at most
constexpr size_t MAX_NAME_SHOWN = 200;
// Room for a piece of text and the longest line written after it.
constexpr size_t STAGED_SIZE = 65536 + 16384;

const char* const GAME_OPTIONS[] = {"--u6", "--se", "--md"};

struct Emitter {
    const ByteCode& code;
    const Layout& layout;
    const DecompileOptions& options;
    ScriptWriter& w;
    DecodedStatement& st;
    StagedText& script;
    StagedText& texts;
    int indent = 1;
};

void begin_line(Emitter& e, int indent)
{
    int levels = indent < 0 ? 0 : (indent > MAX_INDENT_LEVELS ? MAX_INDENT_LEVELS : indent);
    size_t width = static_cast<size_t>(levels) * INDENT_WIDTH;
    e.w.line_tokens = 0;
    if (!e.w.failed) {
        e.w.failed = !buffer_append_char(*e.w.script, ' ', width);
    }
    e.w.line_length = width;
}

// Ends the line, with the offset and bytes it stands for when asked.
void end_line(Emitter& e, int32_t offset, int32_t length)
{
    if (e.options.offsets && length > 0) {
        size_t pad = e.w.line_length + 2 < OFFSETS_COLUMN ? OFFSETS_COLUMN - e.w.line_length : 2;
        e.w.failed = e.w.failed || !buffer_append_char(*e.w.script, ' ', pad);
        put(e.w, "; ", 0);
        put_hex(e.w, static_cast<uint32_t>(offset), 8, 0);
        put(e.w, ":", 0);
        int32_t shown = length < MAX_OFFSET_BYTES ? length : MAX_OFFSET_BYTES;
        for (int32_t i = 0; i < shown; ++i) {
            put(e.w, " ", 0);
            put_hex(e.w, e.code.bytes[offset + i], 2, 0);
        }
        if (shown < length) {
            put(e.w, " ... (", 0);
            put_decimal(e.w, static_cast<uint32_t>(length), 0);
            put(e.w, " bytes)", 0);
        }
    }
    e.w.failed = e.w.failed || !buffer_append(*e.w.script, "\n", 1);
    e.w.failed = e.w.failed || !pass_on(e.script, false);
    e.w.failed = e.w.failed || (e.w.texts != nullptr && !pass_on(e.texts, false));
}

void emit_label(Emitter& e, int32_t offset)
{
    begin_line(e, 0);
    put_label(e.w, offset);
    put(e.w, ":", 1);
    end_line(e, offset, 0);
}

void emit_raw_line(Emitter& e, int32_t offset)
{
    begin_line(e, e.indent);
    put(e.w, ".unknown.byte 0x", 2);
    put_hex(e.w, e.code.bytes[offset], 2, 0);
    end_line(e, offset, 1);
}

void emit_raw(Emitter& e, const Item& item, int32_t length, DecompileCounts& out)
{
    out.raw_bytes += length;
    // Long runs of raw bytes are what crafted input gives: their lines are
    // made from one pattern, only the digits changed.
    char line[MAX_INDENT_LEVELS * INDENT_WIDTH + 24];
    size_t width = static_cast<size_t>(e.indent < 0 ? 0 : std::min(e.indent, MAX_INDENT_LEVELS)) *
                   INDENT_WIDTH;
    static const char pattern[] = ".unknown.byte 0xNN\n";
    std::memset(line, ' ', width);
    std::copy_n(pattern, 19, line + width);
    for (int32_t i = 0; i < length && !e.w.failed; ++i) {
        int32_t at = item.offset + i;
        // Every raw byte is a place a reference may name.
        if (i > 0 && (e.code.marks[at] & MARK_LABEL) != 0) {
            emit_label(e, at);
        }
        if (e.options.offsets) {
            emit_raw_line(e, at);
            continue;
        }
        format_hex(line + width + 16, e.code.bytes[at], 2);
        e.w.failed = !buffer_append(*e.w.script, line, width + 19) || !pass_on(e.script, false);
    }
}

// Where the text line that begins at start ends: after a line feed that
// ends some words (outside a double-byte region), or when it grows long.
// A line that would end inside a region that opened on it ends before the
// region instead, so that each line holds whole regions where it can; a
// region longer than a line is carried into the next (region tells whether
// one is open where the line begins, and where it ends).
int32_t piece_end(const ByteCode& code, int32_t start, int32_t end, bool& region)
{
    int32_t i = start;
    int32_t region_start = -1;  // where a region opened on this line began
    bool words = false;
    while (i < end && i - start < TEXT_PIECE) {
        uint8_t c = code.bytes[i];
        if (region && is_lead_byte(c) && i + 1 < end) {
            i += 2;
            words = true;
            continue;
        }
        if (!region && c == '{') {
            region_start = i;
        }
        region = (region || c == '{') && c != '}';
        ++i;
        if (c == '\n' && words && !region) {
            break;
        }
        words = words || c != '\n';
    }
    if (i < end && region && region_start > start) {
        region = false;
        return region_start;
    }
    return i;
}

void emit_text(Emitter& e, const Item& item, int32_t length)
{
    bool region = false;
    int32_t end = item.offset + length;
    for (int32_t start = item.offset; start < end;) {
        bool region_open = region;
        int32_t stop = piece_end(e.code, start, end, region);
        begin_line(e, e.indent);
        put_text(e.w, start, stop - start, "text", region_open);
        end_line(e, start, stop - start);
        start = stop;
    }
}

void emit_data(Emitter& e, const Item& item, int32_t length)
{
    begin_line(e, e.indent);
    put(e.w, ".data ", 1);
    if (item.kind == ITEM_DATA_TEXT) {
        put_text(e.w, item.offset, length - 1, ".data");
    } else {
        const uint8_t* b = e.code.bytes + item.offset;
        put_decimal(e.w, static_cast<uint32_t>(b[0] | b[1] << 8), 1);
    }
    end_line(e, item.offset, length);
}

void emit_statement(Emitter& e, const Item& item)
{
    item_statement(e.code, e.layout, item, e.st);
    Code c = e.st.row->code;
    if (c == CODE_ELSE || c == CODE_ENDIF || c == CODE_ENDANSWER) {
        --e.indent;
    }
    begin_line(e, e.indent);
    put_statement(e.w, e.st);
    end_line(e, item.offset, e.st.length);
    if (c == CODE_IF || c == CODE_ELSE || c == CODE_ANSWER) {
        ++e.indent;
    }
    if (e.indent < 1) {
        e.indent = 1;
    }
}

// A file name as a comment line may show it: no line ends, not too long.
void put_name(ScriptWriter& w, ByteBuffer& out, const char* name)
{
    size_t length = std::strlen(name);
    for (size_t i = 0; i < length && i < MAX_NAME_SHOWN && !w.failed; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        char shown = c < 0x20 || c == 0x7F ? '?' : name[i];
        w.failed = !buffer_append(out, &shown, 1);
    }
}

void emit_header(Emitter& e)
{
    ByteBuffer& out = *e.w.script;
    bool& failed = e.w.failed;
    failed = failed || !buffer_append(out, "; Decompiled by tolvar-decompile from '");
    put_name(e.w, out, e.options.input_name);
    failed = failed || !buffer_printf(out, "' (%s).\n", game_name(e.code.game));
    if (e.code.texts_apart) {
        failed = failed || !buffer_append(out, "; Its texts are in '");
        put_name(e.w, out, e.options.text_file_name);
        failed = failed || !buffer_append(out, "': compile it with -t and that file.\n");
    }
    failed = failed || !buffer_printf(out, ".option %s\n\n", GAME_OPTIONS[e.code.game]);
}

void emit_text_file_header(ScriptWriter& w, const DecompileOptions& options)
{
    w.failed = w.failed || !buffer_append(*w.texts, "; Texts of '");
    put_name(w, *w.texts, options.input_name);
    w.failed = w.failed || !buffer_append(*w.texts,
                                          "', decompiled by tolvar-decompile.\n"
                                          "; label\twhere\ttext\n");
}

void emit_item(Emitter& e, size_t index, DecompileCounts& out)
{
    const Item& item = e.layout.items.items[index];
    int32_t length = item_end(e.layout, index) - item.offset;
    switch (item.kind) {
    case ITEM_RAW:
        emit_raw(e, item, length, out);
        return;
    case ITEM_TEXT:
        emit_text(e, item, length);
        break;
    case ITEM_DATA_TEXT:
    case ITEM_DATA_NUMBER:
        emit_data(e, item, length);
        break;
    case ITEM_STATEMENT:
        emit_statement(e, item);
        break;
    }
    ++out.statements;
}

int emit(const ByteCode& code, const Layout& layout, const DecompileOptions& options,
         StagedText& script, StagedText& texts, DecompileCounts& counts)
{
    std::unique_ptr<DecodedStatement> scratch(try_new<DecodedStatement>());
    if (!scratch) {
        report_error(4024, "memory exhausted! (size=%zu)\n", sizeof(DecodedStatement));
        return -1;
    }
    ScriptWriter w;
    w.code = &code;
    w.script = &script.buffer;
    w.texts = code.texts_apart ? &texts.buffer : nullptr;
    w.text_id = options.text_id;
    w.labels = options.labels;
    Emitter e{code, layout, options, w, *scratch, script, texts};
    emit_header(e);
    if (w.texts != nullptr) {
        emit_text_file_header(w, options);
    }
    const uint8_t* marks = layout.marks.get();
    for (size_t i = 0; i < layout.items.count && !w.failed; ++i) {
        const Item& item = layout.items.items[i];
        if ((marks[item.offset] & MARK_LABEL) != 0) {
            emit_label(e, item.offset);
        }
        emit_item(e, i, counts);
    }
    // The end of the file may be named; an empty file needs one line that
    // writes no byte.
    if ((marks[code.size] & MARK_LABEL) != 0 || code.size == 0) {
        emit_label(e, code.size);
    }
    w.failed = w.failed || !pass_on(script, true);
    w.failed = w.failed || (w.texts != nullptr && !pass_on(texts, true));
    return w.failed ? -1 : 0;
}

// A sink that keeps what it is given.
bool keep_in(void* context, const char* bytes, size_t count)
{
    return buffer_append(*static_cast<ByteBuffer*>(context), bytes, count);
}

}  // namespace

const char* game_name(int game)
{
    static const char* const names[] = {"Dovadi VI", "Rer Edadod Ozeder", "Zavarad Avudad"};
    return game >= 0 && game < 3 ? names[game] : "";
}

int decompile_to(const uint8_t* bytes, int32_t size, const DecompileOptions& options,
                 TextSink script_sink, TextSink texts_sink, DecompileCounts& counts)
{
    StagedText script{{}, script_sink};
    StagedText texts{{}, texts_sink};
    script.buffer.memory_code = 4025;
    texts.buffer.memory_code = 4026;
    SearchBudget budget = search_budget_for(size);
    ByteCode code{bytes, size, options.game, options.texts_apart && !options.graph};
    code.budget = &budget;
    const CodeInfo* rows[256];
    for (int c = 0; c < 256; ++c) {
        rows[c] = row_for_code(static_cast<Code>(c), options.game);
    }
    code.rows = rows;
    Layout layout;
    int result = lay_out(code, layout);
    counts.search_steps = budget.steps_used;
    if (result < 0) {
        return -1;
    }
    // No more than one piece of each is held before it is passed on.
    if (!buffer_reserve(script.buffer, STAGED_SIZE) ||
        (code.texts_apart && !buffer_reserve(texts.buffer, STAGED_SIZE))) {
        return -1;
    }
    code.marks = layout.marks.get();
    if (options.graph) {
        return write_graph(code, layout, options, script);
    }
    return emit(code, layout, options, script, texts, counts);
}

int decompile(const uint8_t* bytes, int32_t size, const DecompileOptions& options, Decompiled& out)
{
    out.script.memory_code = 4025;
    out.texts.memory_code = 4026;
    // A script is about three times its byte-code; room for that up front
    // saves copying it while it grows.
    if (!buffer_reserve(out.script, static_cast<size_t>(size) * 3 + 4096)) {
        return -1;
    }
    DecompileCounts counts;
    int result = decompile_to(bytes, size, options, TextSink{keep_in, &out.script},
                              TextSink{keep_in, &out.texts}, counts);
    out.statements = counts.statements;
    out.raw_bytes = counts.raw_bytes;
    return result;
}

}  // namespace tolvar
