#include "lsp/scan.h"

#include <string>

#include "front/tokenizer.h"

namespace tolvar {

namespace {

bool word_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Past a quoted text: escapes kept together, the closing quote included.
size_t skip_text(std::string_view line, size_t at)
{
    for (++at; at < line.size(); ++at) {
        if (line[at] == '\\' && at + 1 < line.size()) {
            ++at;
        } else if (line[at] == '"') {
            return at + 1;
        }
    }
    return at;
}

Word classify(std::string_view line, size_t start, size_t end, bool after_option)
{
    Word word;
    word.start = start;
    word.end = end;
    std::string_view text = line.substr(start, end - start);
    if (text[0] == '.') {
        word.kind = WORD_DIRECTIVE;
    } else if (after_option && text[0] == '-') {
        word.kind = WORD_OPTION;
    } else if (text[0] >= '0' && text[0] <= '9') {
        word.kind = WORD_NUMBER;
    } else if ((word.row = find_keyword(text.data(), text.size())) != nullptr) {
        word.kind = WORD_KEYWORD;
    } else if (is_text_label_name(std::string(text).c_str()) != 0) {
        word.kind = WORD_TEXT_LABEL;
    }
    return word;
}

size_t word_end(std::string_view line, size_t at, bool after_option)
{
    if (after_option) {
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') {
            ++at;
        }
        return at;
    }
    if (line[at] == '.' || line[at] == '$') {
        ++at;
    }
    while (at < line.size() && (word_char(line[at]) || line[at] == '.')) {
        ++at;
    }
    return at;
}

bool starts_word(std::string_view line, size_t at, bool after_option)
{
    char c = line[at];
    return word_char(c) || c == '$' || (c == '.' && at + 1 < line.size() && word_char(line[at + 1])) ||
           (after_option && c == '-');
}

}  // namespace

void scan_line(std::string_view line, std::vector<Word>& words)
{
    if (line.empty() || line[0] == ';' || line[0] == '#') {
        return;
    }
    size_t first = words.size();
    bool after_option = false;
    for (size_t at = 0; at < line.size();) {
        char c = line[at];
        if (c == ';' || c == '#') {
            if (!after_option) {
                break;
            }
        }
        if (c == '"') {
            at = skip_text(line, at);
        } else if (starts_word(line, at, after_option)) {
            size_t end = word_end(line, at, after_option);
            Word word = classify(line, at, end, after_option);
            word.previous = words.size() > first ? words.size() - 1 : NO_WORD;
            after_option = after_option || line.substr(at, end - at) == ".option";
            words.push_back(word);
            at = end;
        } else {
            ++at;
        }
    }
    if (words.size() > first && words[first].kind == WORD_NAME) {
        size_t at = words[first].end;
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
        words[first].definition = at < line.size() && line[at] == ':' &&
                                  (at + 1 >= line.size() || line[at + 1] != '=');
    }
}

const Word* word_at(const std::vector<Word>& words, size_t byte)
{
    for (const Word& word : words) {
        if (word.start <= byte && byte <= word.end) {
            return &word;
        }
    }
    return nullptr;
}

}  // namespace tolvar
