#include "text_tools/po.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "front/line_reader.h"
#include "support/diag.h"
#include "text_tools/po_reader.h"
#include "text_tools/script_texts.h"
#include "text_tools/text_codec.h"
#include "text_tools/text_index.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

// ---- Writing ----------------------------------------------------------

// A name as PO text shows it: printable ASCII, the rest as "?".
bool append_name(ByteBuffer& out, const char* name, bool quoted)
{
    bool ok = true;
    for (const char* p = name; *p != '\0' && ok; ++p) {
        auto c = static_cast<unsigned char>(*p);
        bool plain = c >= 0x20 && c < 0x7F && !(quoted && (c == '"' || c == '\\'));
        ok = buffer_append_char(out, plain ? *p : '?');
    }
    return ok;
}

bool append_header(ByteBuffer& out, const TextTable& table)
{
    return buffer_append(out, "# Texts of '") && append_name(out, table.name, false) &&
           buffer_append(out,
                         "', made by tolvar-text to-po.\n"
                         "# msgctxt is the text's label. A character the game has no Unicode\n"
                         "# character for stands as U+F0000 plus its code: keep it as it is.\n"
                         "#, fuzzy\n"
                         "msgid \"\"\n"
                         "msgstr \"\"\n"
                         "\"Project-Id-Version: ") &&
           append_name(out, table.name, true) &&
           buffer_append(out,
                         "\\n\"\n"
                         "\"PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\\n\"\n"
                         "\"Last-Translator: \\n\"\n"
                         "\"Language-Team: \\n\"\n"
                         "\"Language: \\n\"\n"
                         "\"MIME-Version: 1.0\\n\"\n"
                         "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                         "\"Content-Transfer-Encoding: 8bit\\n\"\n");
}

// UTF-8 text as the inside of a PO string.
bool append_po_string(ByteBuffer& out, const char* text, size_t size)
{
    size_t start = 0;
    bool ok = true;
    for (size_t i = 0; i < size && ok; ++i) {
        const char* escape = nullptr;
        switch (text[i]) {
        case '\\':
            escape = "\\\\";
            break;
        case '"':
            escape = "\\\"";
            break;
        case '\t':
            escape = "\\t";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\r':
            escape = "\\r";
            break;
        default:
            break;
        }
        if (escape != nullptr) {
            ok = buffer_append(out, text + start, i - start) && buffer_append(out, escape, 2);
            start = i + 1;
        }
    }
    return ok && buffer_append(out, text + start, size - start);
}

// The lines of the scripts that name each label, by label key.
struct References {
    const char* const* scripts;
    Growable<LabelRef> refs;  // index: script number * 2^32 + line
    int script = 0;
    const char* bytes = nullptr;
};

constexpr int LINE_BITS = 32;

bool take_reference(void* context, const ScriptText& text)
{
    auto& r = *static_cast<References*>(context);
    if (text.kind != SCRIPT_LABEL) {
        return true;
    }
    size_t where = static_cast<size_t>(r.script) << LINE_BITS | static_cast<size_t>(text.line);
    return growable_push(r.refs, {text_label_key(r.bytes + text.start, text.length), where});
}

int find_references(References& r, int count)
{
    r.refs.memory_code = 5090;
    for (r.script = 0; r.script < count; ++r.script) {
        ByteBuffer script;
        size_t skipped = 0;
        const char* name = r.scripts[r.script];
        if (read_input(name, script) < 0) {
            return -1;
        }
        r.bytes = script.data.get();
        if (scan_script_texts(name, script.data.get(), script.size, {take_reference, &r},
                              &skipped) < 0) {
            return -1;
        }
    }
    sort_label_refs(r.refs);
    return 0;
}

bool append_references(ByteBuffer& out, const References& r, long key)
{
    const LabelRef* ref = r.refs.count > 0 ? find_label(r.refs, key) : nullptr;
    if (ref == nullptr) {
        return true;
    }
    bool ok = buffer_append(out, "#:");
    for (const LabelRef* end = r.refs.items.get() + r.refs.count;
         ref != end && ref->key == key && ok; ++ref) {
        ok = buffer_append(out, " ") &&
             append_name(out, r.scripts[ref->index >> LINE_BITS], false) &&
             buffer_printf(out, ":%zu", ref->index & 0xFFFFFFFFu);
    }
    return ok && buffer_append(out, "\n");
}

struct PoWriter {
    TextCodec& codec;
    const TextTable& table;
    const References& refs;
    ByteBuffer& out;
    ByteBuffer stored;
    ByteBuffer utf8;
};

// One entry; 1 for a text the compiler refuses (reported), 0, or -1.
int write_entry(PoWriter& w, const TextLine& line)
{
    const TextTable& table = w.table;
    const char* bytes = line_bytes(table, line);
    Place where = text_field_place(table, line);
    LiteralVerdict verdict;
    if (!judge_literal(table.bytes.data.get() + line.text_start, line.text_end - line.text_start,
                       where, w.stored, verdict)) {
        return -1;
    }
    if (!verdict.decodes) {
        report_caught(verdict.error, where);
        return 1;
    }
    ByteBuffer& out = w.out;
    w.utf8.size = 0;
    bool ok = buffer_append(out, "\n");
    if (ok && line.comment_end > line.comment_start) {
        ok = buffer_append(out, "#. ") &&
             sjis_to_utf8(w.codec, table.bytes.data.get() + line.comment_start,
                          line.comment_end - line.comment_start, out) &&
             buffer_append(out, "\n");
    }
    ok = ok && append_references(out, w.refs, line_label_key(table, line)) &&
         buffer_append(out, "msgctxt \"") &&
         buffer_append(out, bytes, line.label_end - line.start) &&
         buffer_append(out, "\"\nmsgid \"") &&
         sjis_to_utf8(w.codec, w.stored.data.get(), w.stored.size, w.utf8) &&
         append_po_string(out, w.utf8.data.get(), w.utf8.size) &&
         buffer_append(out, "\"\nmsgstr \"\"\n");
    return ok ? 0 : -1;
}

}  // namespace

int texts_to_po(TextCodec& codec, const TextTable& table, const char* const* scripts, int count,
                ByteBuffer& out)
{
    Growable<LabelRef> index;
    if (report_text_line_errors(table) > 0 || !index_text_labels(table, index) ||
        report_duplicate_labels(table, index) > 0) {
        return -1;
    }
    References refs{scripts, {}, 0, nullptr};
    if (find_references(refs, count) < 0) {
        return -1;
    }
    out.memory_code = 5090;
    PoWriter w{codec, table, refs, out, {}, {}};
    w.stored.memory_code = w.utf8.memory_code = 5090;
    if (!buffer_reserve(out, table.bytes.size * 2 + 4096) || !append_header(out, table)) {
        return -1;
    }
    int refused = 0;
    for (size_t i = 0; i < table.lines.count; ++i) {
        const TextLine& line = table.lines.items[i];
        int result = line.kind == TEXT_LINE_DATA ? write_entry(w, line) : 0;
        if (result < 0) {
            return -1;
        }
        refused += result;
    }
    return refused > 0 ? -1 : 0;
}

}  // namespace tolvar

namespace tolvar {

namespace {

// ---- Reading translations back ------------------------------------------

struct Translating {
    TextCodec& codec;
    const TextTable& table;
    PoFile& po;
    ByteBuffer& out;
    ByteBuffer stored;   // the original text's bytes
    ByteBuffer utf8;     // and as UTF-8
    ByteBuffer game;     // the translation in the game's bytes
    ByteBuffer literal;  // and as a quoted text
    int errors = 0;
    int untranslated = 0;  // reported once, as a count: a PO editor lists them
    int texts = 0;
};

// The entry for the data line; null, with a warning, when there is none.
PoEntry* entry_for(Translating& t, const TextLine& line)
{
    long key = line_label_key(t.table, line);
    PoEntry* begin = t.po.entries.items.get();
    PoEntry* end = begin + t.po.entries.count;
    PoEntry* at =
        std::lower_bound(begin, end, key, [](const PoEntry& e, long k) { return e.key < k; });
    if (at == end || at->key != key) {
        report_at(DIAG_WARNING, 5048, {t.table.name, line.number, 1, 11},
                  "'%.10s' has no entry in '%s': original kept", line_bytes(t.table, line),
                  t.po.name);
        return nullptr;
    }
    at->used = true;
    return at;
}

// The translation as a quoted text in t.literal, checked against the
// original's verdict; false after a message.
bool make_literal(Translating& t, const PoEntry& e, const LiteralVerdict& original)
{
    Place where{t.po.name, e.str_line, 0, 0};
    t.game.size = 0;
    long bad = utf8_to_sjis(t.codec, po_string(t.po, e.str), e.str_size, t.game);
    if (bad == -2) {
        return false;
    }
    if (bad >= 0) {
        report_at(DIAG_ERROR, 5042, where,
                  "'%.10s': character %ld of the translation is not one the game can hold",
                  po_string(t.po, e.context), bad + 1);
        return false;
    }
    t.literal.size = 0;
    LiteralVerdict verdict;
    if (!append_literal(t.literal, t.game.data.get(), t.game.size) ||
        !judge_literal(t.literal.data.get(), t.literal.size, {}, t.stored, verdict)) {
        return false;
    }
    // The message of the decoding from outside a region stands for every
    // text that starts outside one.
    bool decodes_alike = verdict.decodes && verdict.start_region == original.start_region;
    if (!decodes_alike || verdict.end_region != original.end_region) {
        bool rule_broken = original.start_region == 0 && verdict.start_region != 0;
        report_at(DIAG_ERROR, 5043, where, "'%.10s': %s", po_string(t.po, e.context),
                  !verdict.decodes || rule_broken
                      ? verdict.error.message
                      : "the translation must open and close '{' '}' regions as the original does");
        return false;
    }
    return true;
}

// Whether the entry's msgid is still the text of the line.
bool msgid_matches(Translating& t, const PoEntry& e)
{
    t.utf8.size = 0;
    return sjis_to_utf8(t.codec, t.stored.data.get(), t.stored.size, t.utf8) &&
           t.utf8.size == e.id_size &&
           (e.id_size == 0 ||
            std::memcmp(t.utf8.data.get(), po_string(t.po, e.id), e.id_size) == 0);
}

// The translation of a data line, or null where the original stays.
const PoEntry* usable_entry(Translating& t, const TextLine& line, LiteralVerdict& original)
{
    const TextTable& table = t.table;
    PoEntry* e = entry_for(t, line);
    t.texts += e != nullptr ? 1 : 0;
    if (e == nullptr ||
        !judge_literal(table.bytes.data.get() + line.text_start, line.text_end - line.text_start,
                       text_field_place(table, line), t.stored, original) ||
        !original.decodes) {
        return nullptr;
    }
    Place where{t.po.name, e->str_line, 0, 0};
    const char* label = po_string(t.po, e->context);
    if (!msgid_matches(t, *e)) {
        report_at(DIAG_WARNING, 5049, where,
                  "'%.10s': msgid is not the text of '%s' line %d: original kept", label,
                  table.name, line.number);
        return nullptr;
    }
    if (e->str_size == 0) {
        ++t.untranslated;
        return nullptr;
    }
    if (e->fuzzy) {
        report_at(DIAG_WARNING, 5046, where, "'%.10s' fuzzy: original kept", label);
        return nullptr;
    }
    return e;
}

bool translate_line(Translating& t, const TextLine& line)
{
    const char* bytes = line_bytes(t.table, line);
    size_t end = line.length + (line.newline ? 1 : 0);
    LiteralVerdict original;
    const PoEntry* e = line.kind == TEXT_LINE_DATA ? usable_entry(t, line, original) : nullptr;
    if (e == nullptr) {
        return buffer_append(t.out, bytes, end);
    }
    if (!make_literal(t, *e, original)) {
        ++t.errors;
        return buffer_append(t.out, bytes, end);
    }
    size_t before = line.text_start - line.start;
    size_t after = line.start + line.length - line.text_end;
    if (before + t.literal.size + after > LINE_BUFFER_SIZE - 1) {
        report_at(DIAG_ERROR, 5044, {t.po.name, e->str_line, 0, 0},
                  "'%.10s': the translation makes line %d of '%s' longer than %d bytes",
                  po_string(t.po, e->context), line.number, t.table.name, LINE_BUFFER_SIZE - 1);
        ++t.errors;
    }
    return buffer_append(t.out, bytes, before) &&
           buffer_append(t.out, t.literal.data.get(), t.literal.size) &&
           buffer_append(t.out, bytes + (line.text_end - line.start),
                         end - before - (line.text_end - line.text_start));
}

void report_unused_entries(const PoFile& po, const TextTable& table)
{
    for (size_t i = 0; i < po.entries.count; ++i) {
        const PoEntry& e = po.entries.items[i];
        if (!e.used) {
            report_at(DIAG_WARNING, 5047, {po.name, e.line, 0, 0},
                      "'%.*s' is no label of '%s': entry ignored", static_cast<int>(e.context_size),
                      po_string(po, e.context), table.name);
        }
    }
}

}  // namespace

int texts_from_po(TextCodec& codec, const TextTable& table, const char* po_name,
                  const char* po_bytes, size_t po_size, ByteBuffer& out)
{
    Growable<LabelRef> index;
    if (report_text_line_errors(table) > 0 || !index_text_labels(table, index) ||
        report_duplicate_labels(table, index) > 0) {
        return -1;
    }
    PoFile file;
    if (read_po(po_name, po_bytes, po_size, file) < 0) {
        return -1;
    }
    out.memory_code = 5090;
    Translating t{codec, table, file, out, {}, {}, {}, {}, 0, 0, 0};
    t.stored.memory_code = t.utf8.memory_code = t.game.memory_code = t.literal.memory_code = 5090;
    if (!buffer_reserve(out, table.bytes.size + 4096) ||
        !buffer_append(out, table.bytes.data.get(), table.skipped)) {
        return -1;
    }
    for (size_t i = 0; i < table.lines.count; ++i) {
        if (!translate_line(t, table.lines.items[i])) {
            return -1;
        }
    }
    report_unused_entries(file, table);
    if (t.untranslated > 0) {
        report_at(DIAG_WARNING, 5045, {po_name, 0, 0, 0},
                  "%d of %d texts untranslated: originals kept", t.untranslated, t.texts);
    }
    return t.errors > 0 ? -1 : 0;
}

}  // namespace tolvar
