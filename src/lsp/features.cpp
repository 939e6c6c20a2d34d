// Hover, navigation, outline, rename, completion and inlay hints. The
// facts come from the last compile (offsets, labels, texts, the game) and
// from the words of the lines (scan.h); keyword facts from the instruction
// table.
#include "lsp/features.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "front/tokenizer.h"
#include "isa/code_info.h"
#include "lsp/scan.h"
#include "support/names.h"
#include "support/settings.h"

namespace tolvar {

namespace {

const char* const GAME_NAMES[] = {"Dovadi VI", "Rer Edadod Ozeder", "Zavarad Avudad"};

// The words of a parameter kind, as the manual page names them.
const char* kind_name(ItemType type)
{
    switch (type) {
    case TYPE_EVAL: return "expression after `eval`";
    case TYPE_EXPR: return "expression";
    case TYPE_BYTE: return "byte";
    case TYPE_INT16: return "16-bit number";
    case TYPE_INT32: return "label (32-bit offset)";
    case TYPE_TEXT: return "text";
    case TYPE_VARIABLE: return "variable";
    case TYPE_DATA_OFFSET: return "data label after `int32`";
    default: return "value";
    }
}

std::string hex(int64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string signature(const CodeInfo& row)
{
    std::string text = row.text;
    for (int i = 0; i < row.param_count; ++i) {
        text += i == 0 ? " " : ", ";
        text += row.params[i].name;
    }
    return text;
}

std::string keyword_hover(const CodeInfo& row)
{
    std::string text = "```\n" + signature(row) + "\n```\nbyte code " + hex(row.code, 2) + "\n";
    for (int i = 0; i < row.param_count; ++i) {
        text += std::string("\n- `") + row.params[i].name + "`: " + kind_name(row.params[i].type);
    }
    text += "\n\ngames:";
    const char* separator = " ";
    for (int game = 0; game < 3; ++game) {
        if ((row.games & (1 << game)) != 0 || (game == GAME_U6 && (row.games & GAMES_U6_END) != 0)) {
            text += separator;
            text += GAME_NAMES[game];
            separator = ", ";
        }
    }
    return text;
}

// The value as the tokenizer reads it: C notation, saturating at 2^31 - 1.
int64_t number_value(std::string_view word)
{
    int base = 10;
    size_t at = 0;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        at = 2;
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
    }
    int64_t value = 0;
    for (; at < word.size(); ++at) {
        char c = word[at];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        if (digit >= base) {
            break;
        }
        value = std::min<int64_t>(value * base + digit, 2147483647);
    }
    return value;
}

std::string number_hover(std::string_view line, const std::vector<Word>& words, const Word& word)
{
    int64_t value = number_value(line.substr(word.start, word.end - word.start));
    std::string before;
    if (word.previous != NO_WORD) {
        const Word& previous = words[word.previous];
        before = line.substr(previous.start, previous.end - previous.start);
        for (char& c : before) {
            c = fold_letter(c);
        }
    }
    std::string stored;
    if (before == "int32") {
        stored = "4 bytes after the byte D2";
    } else if (before == "int16" || before == ".data" || before == ".unknown") {
        stored = before == "int16" ? "2 bytes after the byte D4" : "2 bytes";
    } else if (before == "byte") {
        stored = "1 byte after the byte D3";
    } else {
        stored = "1 byte (a byte parameter or a small literal)";
    }
    return std::to_string(value) + " = " + hex(value, 1) + "\n\nstored as " + stored + ", low byte first";
}

struct Target {
    Document* doc = nullptr;
    int32_t line = 0;
    std::string_view text;  // the line
    std::vector<Word> words;
    const Word* word = nullptr;
    std::string name;  // of the word
};

Document* document_of(Server& server, const Json& params)
{
    const Json* item = member(params, "textDocument");
    std::string uri;
    if (item == nullptr || !read_string(*item, "uri", uri)) {
        return nullptr;
    }
    return find_document(server, uri);
}

// The word at the request's position; false, with error set, when the
// request names no open document or no place in it.
bool find_target(Server& server, const Json& params, Target& target, int& error)
{
    const Json* position = member(params, "position");
    size_t byte = 0;
    target.doc = document_of(server, params);
    if (target.doc == nullptr || position == nullptr ||
        !read_position(server, *target.doc, *position, target.line, byte)) {
        error = ERROR_INVALID_PARAMS;
        return false;
    }
    target.text = document_line(*target.doc, target.line);
    scan_line(target.text, target.words);
    target.word = word_at(target.words, byte);
    if (target.word != nullptr) {
        target.name = target.text.substr(target.word->start, target.word->end - target.word->start);
    }
    return true;
}

const LabelOffset* find_label(const Analysis& analysis, const std::string& name)
{
    for (const LabelOffset& label : analysis.labels) {
        if (names_equal(label.name.c_str(), name.c_str())) {
            return &label;
        }
    }
    return nullptr;
}

const TextEntry* find_text(const Analysis& analysis, const std::string& label)
{
    for (const TextEntry& entry : analysis.texts) {
        if (names_equal(entry.label.c_str(), label.c_str())) {
            return &entry;
        }
    }
    return nullptr;
}

// Every word of the script of a kind and name, in order.
template <typename Visit>
void each_word(const Document& doc, WordKind kind, const std::string& name, Visit visit)
{
    std::vector<Word> words;
    for (int32_t line = 0; line < document_line_count(doc); ++line) {
        std::string_view text = document_line(doc, line);
        if (text.size() < name.size()) {
            continue;
        }
        words.clear();
        scan_line(text, words);
        for (const Word& word : words) {
            if (word.kind == kind && word.end - word.start == name.size() &&
                names_equal_n(text.data() + word.start, name.size(), name.c_str())) {
                visit(line, word);
            }
        }
    }
}

Json text_location(Server& server, const Analysis& analysis, const TextEntry& entry)
{
    Document* open = find_document(server, analysis.text_uri);
    Span span{entry.line, 0, entry.label.size()};
    if (open != nullptr) {
        return location_json(server, *open, span);
    }
    Json range = {{"start", {{"line", entry.line}, {"character", 0}}},
                  {"end", {{"line", entry.line}, {"character", entry.label.size()}}}};
    return {{"uri", analysis.text_uri}, {"range", range}};
}

bool usable_label_name(const std::string& name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
        return false;
    }
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    return find_keyword(name.c_str(), name.size()) == nullptr && is_text_label_name(name.c_str()) == 0;
}

}  // namespace

Json hover(Server& server, const Json& params, int& error)
{
    Target target;
    if (!find_target(server, params, target, error)) {
        return nullptr;
    }
    if (target.word == nullptr) {
        return nullptr;
    }
    const Word& word = *target.word;
    const Analysis& analysis = target.doc->analysis;
    std::string text;
    if (word.kind == WORD_KEYWORD) {
        text = keyword_hover(*word.row);
    } else if (word.kind == WORD_NUMBER) {
        text = number_hover(target.text, target.words, word);
    } else if (word.kind == WORD_NAME) {
        const LabelOffset* label = find_label(analysis, target.name);
        text = label == nullptr ? "label `" + target.name + "`: not defined"
                                : "label `" + target.name + "`: byte offset " +
                                      hex(label->offset, 8) + " (" + std::to_string(label->offset) + ")";
    } else if (word.kind == WORD_TEXT_LABEL) {
        const TextEntry* entry = find_text(analysis, target.name);
        text = entry == nullptr ? "`" + target.name + "`: not in the text file"
                                : "`" + target.name + "`: " + entry->text;
    } else {
        return nullptr;
    }
    return {{"contents", {{"kind", "markdown"}, {"value", text}}},
            {"range", range_json(server, *target.doc, {target.line, word.start, word.end})}};
}

Json definition(Server& server, const Json& params, int& error)
{
    Target target;
    if (!find_target(server, params, target, error)) {
        return nullptr;
    }
    if (target.word == nullptr) {
        return nullptr;
    }
    if (target.word->kind == WORD_TEXT_LABEL) {
        const TextEntry* entry = find_text(target.doc->analysis, target.name);
        return entry == nullptr ? Json(nullptr) : text_location(server, target.doc->analysis, *entry);
    }
    if (target.word->kind != WORD_NAME) {
        return nullptr;
    }
    Json found = nullptr;
    each_word(*target.doc, WORD_NAME, target.name, [&](int32_t line, const Word& word) {
        if (word.definition && found.is_null()) {
            found = location_json(server, *target.doc, {line, word.start, word.end});
        }
    });
    return found;
}

Json references(Server& server, const Json& params, int& error)
{
    Target target;
    if (!find_target(server, params, target, error)) {
        return nullptr;
    }
    const Json* context = member(params, "context");
    const Json* declaration = context != nullptr ? member(*context, "includeDeclaration") : nullptr;
    bool with_definition = declaration != nullptr && declaration->is_boolean() && declaration->get<bool>();
    if (target.word == nullptr ||
        (target.word->kind != WORD_NAME && target.word->kind != WORD_TEXT_LABEL)) {
        return nullptr;
    }
    Json found = Json::array();
    each_word(*target.doc, target.word->kind, target.name, [&](int32_t line, const Word& word) {
        if (with_definition || !word.definition) {
            found.push_back(location_json(server, *target.doc, {line, word.start, word.end}));
        }
    });
    if (target.word->kind == WORD_TEXT_LABEL && with_definition) {
        if (const TextEntry* entry = find_text(target.doc->analysis, target.name)) {
            found.push_back(text_location(server, target.doc->analysis, *entry));
        }
    }
    return found;
}

Json rename(Server& server, const Json& params, int& error)
{
    Target target;
    std::string new_name;
    if (!find_target(server, params, target, error)) {
        return nullptr;
    }
    if (!read_string(params, "newName", new_name)) {
        error = ERROR_INVALID_PARAMS;
        return nullptr;
    }
    if (target.word == nullptr || target.word->kind != WORD_NAME || !usable_label_name(new_name)) {
        error = ERROR_REQUEST_FAILED;
        return nullptr;
    }
    Json edits = Json::array();
    each_word(*target.doc, WORD_NAME, target.name, [&](int32_t line, const Word& word) {
        edits.push_back({{"range", range_json(server, *target.doc, {line, word.start, word.end})},
                         {"newText", new_name}});
    });
    return {{"changes", {{target.doc->uri, edits}}}};
}

Json inlay_hints(Server& server, const Json& params, int& error)
{
    Document* doc = document_of(server, params);
    const Json* range = member(params, "range");
    const Json* start = range != nullptr ? member(*range, "start") : nullptr;
    const Json* end = range != nullptr ? member(*range, "end") : nullptr;
    uint32_t first = 0;
    uint32_t last = 0;
    if (doc == nullptr || start == nullptr || end == nullptr || !read_uint(*start, "line", first) ||
        !read_uint(*end, "line", last)) {
        error = ERROR_INVALID_PARAMS;
        return nullptr;
    }
    Json hints = Json::array();
    const std::vector<int32_t>& offsets = doc->analysis.line_offsets;
    for (size_t line = first; line <= last && line < offsets.size(); ++line) {
        if (offsets[line] >= 0) {
            char label[16];
            std::snprintf(label, sizeof label, "%08X", static_cast<unsigned>(offsets[line]));
            hints.push_back({{"position", {{"line", line}, {"character", 0}}},
                             {"label", label},
                             {"paddingRight", true}});
        }
    }
    return hints;
}

Json diagnostics_params(const Server& server, const Document& doc,
                        const std::vector<const Finding*>& findings)
{
    Json list = Json::array();
    for (const Finding* finding : findings) {
        Json item = {{"range", range_json(server, doc, finding->where)},
                     {"severity", finding->error ? 1 : 2},
                     {"source", "tolvar"},
                     {"message", finding->message}};
        if (finding->code >= 0) {
            item["code"] = finding->code;
        }
        if (!finding->notes.empty()) {
            Json related = Json::array();
            for (const FindingNote& note : finding->notes) {
                related.push_back({{"location", {{"uri", note.uri}, {"range", range_json(server, doc, note.where)}}},
                                   {"message", note.message}});
            }
            item["relatedInformation"] = related;
        }
        list.push_back(item);
    }
    Json params = {{"uri", doc.uri}, {"diagnostics", list}};
    if (!doc.text.empty() || doc.version != 0) {
        params["version"] = doc.version;
    }
    return params;
}

}  // namespace tolvar
