// The outline of a script (labels, text labels used, `if` blocks and
// keyword/answer groups) and completion.
#include <string>
#include <vector>

#include "isa/code_info.h"
#include "lsp/features.h"
#include "lsp/scan.h"
#include "support/names.h"
#include "support/settings.h"

namespace tolvar {

namespace {

enum SymbolKind {
    SYMBOL_NAMESPACE = 3,
    SYMBOL_FUNCTION = 12,
    SYMBOL_STRING = 15,
    SYMBOL_EVENT = 24
};

enum CompletionKind {
    COMPLETION_TEXT = 1,
    COMPLETION_FUNCTION = 3,
    COMPLETION_KEYWORD = 14,
    COMPLETION_REFERENCE = 18
};

// A block being read: its symbol, finished when its closing line comes.
struct OpenBlock {
    Json symbol;
    Code closer;  // CODE_ENDIF or CODE_ENDANSWER
};

Json symbol(const Server& server, const Document& doc, const std::string& name, int kind,
            int32_t line, const Word& word)
{
    Span whole{line, 0, document_line(doc, line).size()};
    return {{"name", name},
            {"kind", kind},
            {"range", range_json(server, doc, whole)},
            {"selectionRange", range_json(server, doc, {line, word.start, word.end})},
            {"children", Json::array()}};
}

void close_block(const Server& server, const Document& doc, std::vector<OpenBlock>& open,
                 Json& top, int32_t line)
{
    Json done = std::move(open.back().symbol);
    open.pop_back();
    done["range"]["end"] = position_json(server, doc, line, document_line(doc, line).size());
    (open.empty() ? top : open.back().symbol["children"]).push_back(std::move(done));
}

void add_symbol(std::vector<OpenBlock>& open, Json& top, Json item)
{
    (open.empty() ? top : open.back().symbol["children"]).push_back(std::move(item));
}

// One line's symbols; blocks open at `if` and `keywords`, close at
// `endif` and `endanswer` (a keyword group runs over its answer).
void line_symbols(const Server& server, const Document& doc, int32_t line, std::string_view text,
                  const std::vector<Word>& words, std::vector<OpenBlock>& open, Json& top)
{
    for (const Word& word : words) {
        std::string name(text.substr(word.start, word.end - word.start));
        if (word.kind == WORD_NAME && word.definition) {
            add_symbol(open, top, symbol(server, doc, name, SYMBOL_FUNCTION, line, word));
        } else if (word.kind == WORD_TEXT_LABEL) {
            add_symbol(open, top, symbol(server, doc, name, SYMBOL_STRING, line, word));
        } else if (word.kind == WORD_KEYWORD && word.row->code == CODE_IF) {
            std::string title(text.substr(word.start));
            open.push_back({symbol(server, doc, title, SYMBOL_NAMESPACE, line, word), CODE_ENDIF});
            break;
        } else if (word.kind == WORD_KEYWORD && word.row->code == CODE_KEYWORDS) {
            std::string title(text.substr(word.start));
            open.push_back({symbol(server, doc, title, SYMBOL_EVENT, line, word), CODE_ENDANSWER});
        } else if (word.kind == WORD_KEYWORD && !open.empty() && word.row->code == open.back().closer) {
            close_block(server, doc, open, top, line);
        }
    }
}

std::string option_words()
{
    // Offered only where the compiler takes them in a `.option` line.
    static const char* const CANDIDATES[] = {"--u6", "--se", "--md", "--endif-without-if",
                                             "--implicit-decl", "--implicit-eval",
                                             "--implicit-int32"};
    std::string accepted;
    SettingsState saved = settings_save();
    for (const char* word : CANDIDATES) {
        if (apply_option(word, std::char_traits<char>::length(word), true)) {
            accepted += word;
            accepted += '\n';
        }
    }
    settings_restore(saved);
    return accepted;
}

void add_item(Json& items, const std::string& label, int kind, const std::string& detail,
              const std::string& documentation)
{
    Json item = {{"label", label}, {"kind", kind}, {"detail", detail}};
    if (!documentation.empty()) {
        item["documentation"] = documentation;
    }
    items.push_back(std::move(item));
}

void keyword_items(const Analysis& analysis, Json& items)
{
    for (const CodeInfo& row : code_info) {
        if (row.type == TYPE_OPERATOR || row.type == TYPE_ASSIGN ||
            !game_has(row, analysis.game, allow_u6_end)) {
            continue;
        }
        std::string detail = row.text;
        for (int i = 0; i < row.param_count; ++i) {
            detail += i == 0 ? " " : ", ";
            detail += row.params[i].name;
        }
        add_item(items, row.text, row.type == TYPE_FUNCTION ? COMPLETION_FUNCTION : COMPLETION_KEYWORD,
                 detail, "");
    }
}

}  // namespace

Json document_symbols(Server& server, const Json& params, int& error)
{
    const Json* item = member(params, "textDocument");
    std::string uri;
    Document* doc = item != nullptr && read_string(*item, "uri", uri) ? find_document(server, uri) : nullptr;
    if (doc == nullptr) {
        error = ERROR_INVALID_PARAMS;
        return nullptr;
    }
    Json top = Json::array();
    std::vector<OpenBlock> open;
    std::vector<Word> words;
    for (int32_t line = 0; line < document_line_count(*doc); ++line) {
        words.clear();
        std::string_view text = document_line(*doc, line);
        scan_line(text, words);
        line_symbols(server, *doc, line, text, words, open, top);
    }
    while (!open.empty()) {  // unclosed blocks run to the end
        close_block(server, *doc, open, top, document_line_count(*doc) - 1);
    }
    return top;
}

Json completion(Server& server, const Json& params, int& error)
{
    const Json* item = member(params, "textDocument");
    const Json* position = member(params, "position");
    std::string uri;
    Document* doc = item != nullptr && read_string(*item, "uri", uri) ? find_document(server, uri) : nullptr;
    int32_t line = 0;
    size_t byte = 0;
    if (doc == nullptr || position == nullptr || !read_position(server, *doc, *position, line, byte)) {
        error = ERROR_INVALID_PARAMS;
        return nullptr;
    }
    std::string_view before = document_line(*doc, line).substr(0, byte);
    size_t first = before.find_first_not_of(" \t");
    Json items = Json::array();
    if (first != std::string_view::npos && before.substr(first, 7) == ".option") {
        std::string words = option_words();
        for (size_t at = 0, end = 0; (end = words.find('\n', at)) != std::string::npos; at = end + 1) {
            add_item(items, words.substr(at, end - at), COMPLETION_KEYWORD, "option", "");
        }
        return items;
    }
    for (const char* directive : {".data", ".unknown", ".unknown.byte", ".option"}) {
        add_item(items, directive, COMPLETION_KEYWORD, "directive", "");
    }
    const Analysis& analysis = doc->analysis;
    keyword_items(analysis, items);
    for (const LabelOffset& label : analysis.labels) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "%08X", static_cast<unsigned>(label.offset));
        add_item(items, label.name, COMPLETION_REFERENCE, std::string("label at ") + offset, "");
    }
    for (const TextEntry& entry : analysis.texts) {
        add_item(items, entry.label, COMPLETION_TEXT, entry.text, entry.text);
    }
    return items;
}

}  // namespace tolvar
