#include "text_tools/po_reader.h"

#include <strings.h>
#include <algorithm>
#include <cstring>

#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

enum PoField {
    PO_NONE,
    PO_CONTEXT,
    PO_ID,
    PO_STR,
    PO_DROPPED  // msgid_plural and msgstr[n] past the first
};

struct PoReader {
    PoFile& po;
    ByteBuffer dropped;
    PoEntry entry{};
    bool has_context = false;
    bool has_id = false;
    PoField field = PO_NONE;
    int line = 0;
};

void syntax_error(const PoReader& r, const char* line, const char* at, const char* what)
{
    int column = column_of(line, static_cast<size_t>(at - line));
    report_at(DIAG_ERROR, 5040, {r.po.name, r.line, column, 0}, "PO syntax error: %s", what);
}

int escape_value(char c)
{
    static const char FROM[] = "\\\"ntrabfv?'";
    static const char TO[] = "\\\"\n\t\r\a\b\f\v?'";
    const char* at = std::strchr(FROM, c);
    return c != '\0' && at != nullptr ? TO[at - FROM] : -1;
}

// The quoted string at p (the line ends at end) appended to out.
bool read_string(PoReader& r, const char* line, const char* p, const char* end, ByteBuffer& out)
{
    while (p < end && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    if (p == end || *p != '"') {
        syntax_error(r, line, p, "'\"' expected");
        return false;
    }
    for (++p; p < end && *p != '"'; ++p) {
        char c = *p;
        if (c == '\\') {
            int value = p + 1 < end ? escape_value(p[1]) : -1;
            if (value < 0) {
                syntax_error(r, line, p, "unknown escape");
                return false;
            }
            c = static_cast<char>(value);
            ++p;
        }
        if (!buffer_append_char(out, c)) {
            return false;
        }
    }
    if (p == end) {
        syntax_error(r, line, p, "'\"' not closed");
        return false;
    }
    for (++p; p < end && (*p == ' ' || *p == '\t'); ++p) {
    }
    if (p != end) {
        syntax_error(r, line, p, "text after the string");
        return false;
    }
    return true;
}

bool header_is_utf8(const PoReader& r)
{
    const char* header = po_string(r.po, r.entry.str);
    size_t size = r.entry.str_size;
    static const char KEY[] = "charset=";
    const char* found = static_cast<const char*>(memmem(header, size, KEY, sizeof KEY - 1));
    if (found == nullptr) {
        return true;
    }
    const char* value = found + sizeof KEY - 1;
    size_t length = 0;
    while (value + length < header + size && std::strchr(" ;\n", value[length]) == nullptr) {
        ++length;
    }
    return length == 5 && strncasecmp(value, "UTF-8", 5) == 0;
}

// Ends the entry being read; false after a message.
bool finish_entry(PoReader& r)
{
    bool ok = true;
    if (r.has_id && !r.has_context && r.entry.id_size == 0) {
        if (!header_is_utf8(r)) {
            report_at(DIAG_ERROR, 5041, {r.po.name, r.entry.line, 0, 0},
                      "the PO file is not in UTF-8: convert it with msgconv --to-code=UTF-8");
            ok = false;
        }
    } else if (r.has_id && r.has_context) {
        r.entry.key = text_label_key(po_string(r.po, r.entry.context), r.entry.context_size);
        ok = growable_push(r.po.entries, r.entry);
    }
    r.entry = PoEntry{};
    r.has_context = r.has_id = false;
    r.field = PO_NONE;
    return ok;
}

// Starts a field at the keyword's string; false after a message.
bool start_field(PoReader& r, PoField field, const char* line, const char* rest, const char* end)
{
    if ((field == PO_CONTEXT || field == PO_ID) &&
        (r.has_id || (field == PO_CONTEXT && r.has_context))) {
        if (!finish_entry(r)) {
            return false;
        }
    }
    if (r.entry.line == 0) {
        r.entry.line = r.line;
    }
    r.field = field;
    ByteBuffer& strings = field == PO_DROPPED ? r.dropped : r.po.strings;
    size_t at = strings.size;
    if (field == PO_CONTEXT) {
        r.has_context = true;
        r.entry.context = at;
    } else if (field == PO_ID) {
        r.has_id = true;
        r.entry.id = at;
    } else if (field == PO_STR) {
        r.entry.str = at;
        r.entry.str_line = r.line;
    }
    return read_string(r, line, rest, end, strings);
}

// The field a keyword opens, and where its string starts; PO_NONE if none.
PoField keyword_field(const char* line, const char* end, const char** rest)
{
    static const struct {
        const char* word;
        PoField field;
    } KEYWORDS[] = {{"msgctxt", PO_CONTEXT}, {"msgid_plural", PO_DROPPED}, {"msgid", PO_ID},
                    {"msgstr[0]", PO_STR},   {"msgstr[", PO_DROPPED},      {"msgstr", PO_STR}};
    for (const auto& k : KEYWORDS) {
        size_t length = std::strlen(k.word);
        if (static_cast<size_t>(end - line) >= length && std::memcmp(line, k.word, length) == 0) {
            const char* p = line + length;
            if (k.field == PO_DROPPED && k.word[6] == '[') {
                p = static_cast<const char*>(std::memchr(p, ']', static_cast<size_t>(end - p)));
                p = p != nullptr ? p + 1 : end;
            }
            *rest = p;
            return k.field;
        }
    }
    return PO_NONE;
}

void update_sizes(PoReader& r)
{
    size_t size = r.po.strings.size;
    if (r.field == PO_CONTEXT) {
        r.entry.context_size = size - r.entry.context;
    } else if (r.field == PO_ID) {
        r.entry.id_size = size - r.entry.id;
    } else if (r.field == PO_STR) {
        r.entry.str_size = size - r.entry.str;
    }
}

bool read_line(PoReader& r, const char* line, const char* end)
{
    const char* p = line;
    while (p < end && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    if (p == end) {
        return finish_entry(r);
    }
    if (*p == '#') {
        if ((r.has_id || r.has_context) && !finish_entry(r)) {
            return false;
        }
        bool flags = p + 1 < end && p[1] == ',';
        if (flags && memmem(p, static_cast<size_t>(end - p), "fuzzy", 5) != nullptr) {
            r.entry.fuzzy = true;
        }
        return true;
    }
    if (*p == '"') {
        if (r.field == PO_NONE) {
            syntax_error(r, line, p, "a string without a keyword");
            return false;
        }
        bool ok = read_string(r, line, p, end, r.field == PO_DROPPED ? r.dropped : r.po.strings);
        update_sizes(r);
        return ok;
    }
    const char* rest = nullptr;
    PoField field = keyword_field(p, end, &rest);
    if (field == PO_NONE) {
        syntax_error(r, line, p, "msgctxt, msgid, msgstr or a comment expected");
        return false;
    }
    bool ok = start_field(r, field, line, rest, end);
    update_sizes(r);
    return ok;
}

}  // namespace

int read_po(const char* name, const char* bytes, size_t size, PoFile& po)
{
    po.name = name;
    po.strings.memory_code = po.entries.memory_code = 5090;
    PoReader r{po, {}};
    r.dropped.memory_code = 5090;
    if (!buffer_reserve(po.strings, size + 1)) {
        return -1;
    }
    for (size_t start = 0; start < size;) {
        const void* lf = std::memchr(bytes + start, '\n', size - start);
        size_t end =
            lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - bytes) : size;
        size_t content = end;
        if (content > start && bytes[content - 1] == '\r') {
            --content;
        }
        ++r.line;
        if (!read_line(r, bytes + start, bytes + content)) {
            return -1;
        }
        start = end + 1;
    }
    if (!finish_entry(r)) {
        return -1;
    }
    std::stable_sort(po.entries.items.get(), po.entries.items.get() + po.entries.count,
                     [](const PoEntry& a, const PoEntry& b) { return a.key < b.key; });
    return 0;
}

}  // namespace tolvar
