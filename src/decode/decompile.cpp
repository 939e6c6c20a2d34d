#include "decode/decompile.h"

#include <cstdio>
#include <cstring>

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

const char* const GAME_OPTIONS[] = {"--u6", "--se", "--md"};

struct Emitter {
    const ByteCode& code;
    const DecompileOptions& options;
    ScriptWriter& w;
    DecodedStatement& st;
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
}

void emit_label(Emitter& e, int32_t offset)
{
    begin_line(e, 0);
    put_label(e.w, offset);
    put(e.w, ":", 1);
    end_line(e, offset, 0);
}

void emit_raw(Emitter& e, const Item& item, Decompiled& out)
{
    for (int32_t i = 0; i < item.length; ++i) {
        // Every raw byte is a place a reference may name.
        if (i > 0 && (e.code.marks[item.offset + i] & MARK_LABEL) != 0) {
            emit_label(e, item.offset + i);
        }
        begin_line(e, e.indent);
        put(e.w, ".unknown.byte 0x", 2);
        put_hex(e.w, e.code.bytes[item.offset + i], 2, 0);
        end_line(e, item.offset + i, 1);
    }
    out.raw_bytes += item.length;
}

// Where the text line that begins at start ends: after a line feed that
// ends some words (outside a double-byte region), or when it grows long.
int32_t piece_end(const ByteCode& code, int32_t start, int32_t end, bool& region)
{
    int32_t i = start;
    bool words = false;
    while (i < end && i - start < TEXT_PIECE) {
        uint8_t c = code.bytes[i];
        if (region && is_lead_byte(c) && i + 1 < end) {
            i += 2;
            words = true;
            continue;
        }
        region = (region || c == '{') && c != '}';
        ++i;
        if (c == '\n' && words && !region) {
            break;
        }
        words = words || c != '\n';
    }
    return i;
}

void emit_text(Emitter& e, const Item& item)
{
    bool region = false;
    int32_t end = item.offset + item.length;
    for (int32_t start = item.offset; start < end;) {
        int32_t stop = piece_end(e.code, start, end, region);
        begin_line(e, e.indent);
        put_text(e.w, start, stop - start, "text");
        end_line(e, start, stop - start);
        start = stop;
    }
}

void emit_data(Emitter& e, const Item& item)
{
    begin_line(e, e.indent);
    put(e.w, ".data ", 1);
    if (item.kind == ITEM_DATA_TEXT) {
        put_text(e.w, item.offset, item.length - 1, ".data");
    } else {
        const uint8_t* b = e.code.bytes + item.offset;
        put_decimal(e.w, static_cast<uint32_t>(b[0] | b[1] << 8), 1);
    }
    end_line(e, item.offset, item.length);
}

void emit_statement(Emitter& e, const Item& item)
{
    decode_statement(e.code, item.offset, e.st);
    Code c = e.st.row->code;
    if (c == CODE_ELSE || c == CODE_ENDIF || c == CODE_ENDANSWER) {
        --e.indent;
    }
    begin_line(e, e.indent);
    put_statement(e.w, e.st);
    end_line(e, item.offset, item.length);
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

void emit_item(Emitter& e, const Item& item, Decompiled& out)
{
    switch (item.kind) {
    case ITEM_RAW:
        emit_raw(e, item, out);
        return;
    case ITEM_TEXT:
        emit_text(e, item);
        break;
    case ITEM_DATA_TEXT:
    case ITEM_DATA_NUMBER:
        emit_data(e, item);
        break;
    case ITEM_STATEMENT:
        emit_statement(e, item);
        break;
    }
    ++out.statements;
}

int emit(const ByteCode& code, const Layout& layout, const DecompileOptions& options,
         Decompiled& out)
{
    std::unique_ptr<DecodedStatement> scratch(try_new<DecodedStatement>());
    if (!scratch) {
        report_error(4024, "memory exhausted! (size=%zu)\n", sizeof(DecodedStatement));
        return -1;
    }
    ScriptWriter w;
    w.code = &code;
    w.script = &out.script;
    w.texts = code.texts_apart ? &out.texts : nullptr;
    w.text_id = options.text_id;
    w.labels = options.labels;
    Emitter e{code, options, w, *scratch};
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
        emit_item(e, item, out);
    }
    // The end of the file may be named; an empty file needs one line that
    // writes no byte.
    if ((marks[code.size] & MARK_LABEL) != 0 || code.size == 0) {
        emit_label(e, code.size);
    }
    return w.failed ? -1 : 0;
}

}  // namespace

const char* game_name(int game)
{
    static const char* const names[] = {"Dovadi VI", "Rer Edadod Ozeder", "Zavarad Avudad"};
    return game >= 0 && game < 3 ? names[game] : "";
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
    ByteCode code{bytes, size, options.game, options.texts_apart};
    Layout layout;
    if (lay_out(code, layout) < 0) {
        return -1;
    }
    code.marks = layout.marks.get();
    return emit(code, layout, options, out);
}

}  // namespace tolvar
