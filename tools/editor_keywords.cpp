// Keeps the keyword lists of the editor grammars equal to the instruction
// table, so that an editor never colours a word the compiler does not know
// or misses one it does.
//
//   tolvar_editor_keywords                  print the lists by kind
//   tolvar_editor_keywords --check FILE...  exit 1 when a file's lists differ
//   tolvar_editor_keywords --write FILE...  rewrite the lists in place
//
// A file is a TextMate grammar (.json) or a Vim syntax file (.vim). Each
// list sits on one line that a marker identifies; only the text between the
// slot's opening and closing strings on that line is generated. The
// directive and `.option` lists are not in the table: they are checked
// against the tokenizer and the option switch instead.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "front/tokenizer.h"
#include "isa/code_info.h"
#include "support/settings.h"

using namespace tolvar;

namespace {

struct Kind {
    const char* name;
    bool (*has)(const CodeInfo& row);
};

bool is_block_word(const CodeInfo& row)
{
    return row.code == CODE_IF || row.code == CODE_ELSE || row.code == CODE_ENDIF;
}

const Kind kinds[] = {
    {"statement", [](const CodeInfo& r) { return r.type == TYPE_STATEMENT && !is_block_word(r); }},
    {"block", [](const CodeInfo& r) { return r.type == TYPE_STATEMENT && is_block_word(r); }},
    {"function", [](const CodeInfo& r) { return r.type == TYPE_FUNCTION && r.text[0] != '$'; }},
    {"variable", [](const CodeInfo& r) { return r.type == TYPE_FUNCTION && r.text[0] == '$'; }},
    {"size", [](const CodeInfo& r) { return r.type == TYPE_CONST; }},
    {"eval", [](const CodeInfo& r) { return r.type == TYPE_EVAL; }},
    {"logical", [](const CodeInfo& r) { return r.precedence == PREC_LOGICAL; }},
    {"comparison", [](const CodeInfo& r) { return r.precedence == PREC_COMPARE; }},
    {"arithmetic",
     [](const CodeInfo& r) { return r.precedence == PREC_ADD || r.precedence == PREC_MUL; }},
    {"assignment", [](const CodeInfo& r) { return r.type == TYPE_ASSIGN; }},
};

enum Style {
    JSON_REGEX,   // a regex alternation inside a JSON string
    VIM_WORDS,    // words separated by spaces
    VIM_NOMAGIC,  // a \V alternation
};

// Where a list lives in a file: the line holding marker, between open and
// close after it (close empty: the end of the line).
struct Slot {
    const char* kind;  // a Kind's name, or "directive" / "option"
    const char* marker;
    const char* open;
    const char* close;
    Style style;
};

const Slot textmate_slots[] = {
    {"statement", "\"keyword.other.statement.tolvar\"", "(?:", ")", JSON_REGEX},
    {"block", "\"keyword.control.conditional.tolvar\"", "(?:", ")", JSON_REGEX},
    {"function", "\"support.function.tolvar\"", "(?:", ")", JSON_REGEX},
    {"variable", "\"variable.language.tolvar\"", "(?:", ")", JSON_REGEX},
    {"size", "\"storage.type.size.tolvar\"", "(?:", ")", JSON_REGEX},
    {"eval", "\"keyword.other.eval.tolvar\"", "(?:", ")", JSON_REGEX},
    {"logical", "\"keyword.operator.logical.tolvar\"", "(?:", ")", JSON_REGEX},
    {"comparison", "\"keyword.operator.comparison.tolvar\"", "(?:", ")", JSON_REGEX},
    {"arithmetic", "\"keyword.operator.arithmetic.tolvar\"", "(?:", ")", JSON_REGEX},
    {"assignment", "\"keyword.operator.assignment.tolvar\"", "(?:", ")", JSON_REGEX},
    {"directive", "\"keyword.control.directive.tolvar\"", "(?:", ")", JSON_REGEX},
    {"option", "\"constant.language.option.tolvar\"", "(?:", ")", JSON_REGEX},
};

const Slot vim_slots[] = {
    {"statement", "syn keyword tolvarStatement", " ", "", VIM_WORDS},
    {"block", "syn keyword tolvarConditional", " ", "", VIM_WORDS},
    {"function", "syn keyword tolvarFunction", " ", "", VIM_WORDS},
    {"variable", "syn keyword tolvarVariable", " ", "", VIM_WORDS},
    {"size", "syn keyword tolvarType", " ", "", VIM_WORDS},
    {"eval", "syn keyword tolvarEval", " ", "", VIM_WORDS},
    {"logical", "syn match tolvarLogical", "\"\\V\\(", "\\)\"", VIM_NOMAGIC},
    {"comparison", "syn match tolvarComparison", "\"\\V\\(", "\\)\"", VIM_NOMAGIC},
    {"arithmetic", "syn match tolvarArithmetic", "\"\\V\\(", "\\)\"", VIM_NOMAGIC},
    {"assignment", "syn match tolvarAssignment", "\"\\V\\(", "\\)\"", VIM_NOMAGIC},
    {"directive", "syn match tolvarDirective", "\"\\c\\V\\(", "\\)\\[[:alnum:]_.]\\@!\"",
     VIM_NOMAGIC},
    {"option", "syn match tolvarOption", "\"\\V\\(", "\\)\\[[:alnum:]_-]\\@!\"", VIM_NOMAGIC},
};

std::vector<std::string> words_of(const Kind& kind)
{
    std::vector<std::string> words;
    for (const CodeInfo& row : code_info) {
        if (kind.has(row)) {
            words.emplace_back(row.text);
        }
    }
    // Longest first, so that an alternation tries ">=" before ">".
    std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    return words;
}

const Kind* find_kind(const char* name)
{
    for (const Kind& kind : kinds) {
        if (std::strcmp(kind.name, name) == 0) {
            return &kind;
        }
    }
    return nullptr;
}

std::string escape_word(const std::string& word, Style style)
{
    std::string out;
    for (char c : word) {
        if (style == JSON_REGEX && std::strchr("\\^$.|?*+()[]{}", c) != nullptr) {
            out += "\\\\";  // a regex escape, its backslash doubled for JSON
        } else if (style == VIM_NOMAGIC && c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

const char* separator(Style style)
{
    return style == JSON_REGEX ? "|" : (style == VIM_WORDS ? " " : "\\|");
}

std::string render(const std::vector<std::string>& words, Style style)
{
    std::string out;
    for (const std::string& word : words) {
        // Appended one by one: GCC 12 sees an impossible size in the
        // temporary of `"" + std::string` (-Wstringop-overflow).
        if (!out.empty()) {
            out += separator(style);
        }
        out += escape_word(word, style);
    }
    return out;
}

// The words of a written list, escapes removed.
std::vector<std::string> parse(const std::string& list, Style style)
{
    std::vector<std::string> words(1);
    std::string sep = separator(style);
    for (size_t i = 0; i < list.size();) {
        if (list.compare(i, sep.size(), sep) == 0) {
            words.emplace_back();
            i += sep.size();
        } else if (style == JSON_REGEX && list.compare(i, 2, "\\\\") == 0 && i + 2 < list.size()) {
            words.back() += list[i + 2];
            i += 3;
        } else if (style == VIM_NOMAGIC && list.compare(i, 2, "\\\\") == 0) {
            words.back() += '\\';
            i += 2;
        } else {
            words.back() += list[i++];
        }
    }
    return words;
}

// The tokenizer reads the word as a directive.
bool is_directive(const std::string& word)
{
    Token token;
    const char* next = nullptr;
    if (get_token(token, word.c_str(), &next) != 1 || *next != '\0') {
        return false;
    }
    return token.type == TYPE_DATA || token.type == TYPE_UNKNOWN ||
           token.type == TYPE_UNKNOWN_BYTE || token.type == TYPE_OPTION;
}

// A `.option` line accepts the word.
bool is_script_option(const std::string& word)
{
    bool accepted = apply_option(word.c_str(), word.size(), true);
    settings_reset();
    return accepted;
}

// Problems with one hand-kept list; empty when every word is accepted.
std::string check_hand_kept(const Slot& slot, const std::string& list)
{
    std::string problems;
    for (const std::string& word : parse(list, slot.style)) {
        bool ok =
            std::strcmp(slot.kind, "option") == 0 ? is_script_option(word) : is_directive(word);
        if (!ok) {
            problems += " '" + word + "'";
        }
    }
    const char* what =
        std::strcmp(slot.kind, "option") == 0 ? "a .option line refuses" : "not a directive:";
    return problems.empty() ? "" : what + problems;
}

struct FileResult {
    std::string text;  // the file with every generated list written anew
    int drifted = 0;   // generated lists that differed
    int errors = 0;    // what rewriting can't mend
};

// Finds slot's list in lines; false after a message when it is missing.
bool locate(const std::vector<std::string>& lines, const Slot& slot, size_t& line, size_t& begin,
            size_t& end)
{
    int found = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t at = lines[i].find(slot.marker);
        if (at == std::string::npos) {
            continue;
        }
        size_t open = lines[i].find(slot.open, at + std::strlen(slot.marker));
        if (open == std::string::npos) {
            continue;
        }
        begin = open + std::strlen(slot.open);
        end = *slot.close == '\0' ? lines[i].size() : lines[i].find(slot.close, begin);
        if (end == std::string::npos) {
            continue;
        }
        line = i;
        ++found;
    }
    return found == 1;
}

FileResult process(const std::string& path, const std::vector<std::string>& lines_in)
{
    bool vim = path.size() >= 4 && path.compare(path.size() - 4, 4, ".vim") == 0;
    std::vector<Slot> slots(vim ? std::begin(vim_slots) : std::begin(textmate_slots),
                            vim ? std::end(vim_slots) : std::end(textmate_slots));
    std::vector<std::string> lines = lines_in;
    FileResult result;
    for (const Slot& slot : slots) {
        size_t line = 0;
        size_t begin = 0;
        size_t end = 0;
        if (!locate(lines, slot, line, begin, end)) {
            std::fprintf(stderr, "%s: no single %s list (marker %s)\n", path.c_str(), slot.kind,
                         slot.marker);
            ++result.errors;
            continue;
        }
        std::string written = lines[line].substr(begin, end - begin);
        const Kind* kind = find_kind(slot.kind);
        if (kind == nullptr) {
            std::string problems = check_hand_kept(slot, written);
            if (!problems.empty()) {
                std::fprintf(stderr, "%s:%zu: %s\n", path.c_str(), line + 1, problems.c_str());
                ++result.errors;
            }
            continue;
        }
        std::string wanted = render(words_of(*kind), slot.style);
        if (written != wanted) {
            std::fprintf(stderr, "%s:%zu: the %s list differs from the instruction table\n",
                         path.c_str(), line + 1, slot.kind);
            std::fprintf(stderr, "  written: %s\n  table:   %s\n", written.c_str(), wanted.c_str());
            ++result.drifted;
            lines[line].replace(begin, end - begin, wanted);
        }
    }
    for (const std::string& text : lines) {
        result.text += text + "\n";
    }
    return result;
}

bool read_lines(const std::string& path, std::vector<std::string>& lines)
{
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return true;
}

void print_lists()
{
    for (const Kind& kind : kinds) {
        std::printf("%-11s %s\n", kind.name, render(words_of(kind), VIM_WORDS).c_str());
    }
}

int run_files(bool write, int count, char** paths)
{
    int status = 0;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> lines;
        if (!read_lines(paths[i], lines)) {
            std::fprintf(stderr, "%s: can't read\n", paths[i]);
            status = 1;
            continue;
        }
        FileResult result = process(paths[i], lines);
        if (write && result.drifted > 0) {
            std::ofstream(paths[i], std::ios::binary) << result.text;
            std::fprintf(stderr, "%s: %d lists rewritten\n", paths[i], result.drifted);
        }
        if (result.errors > 0 || (!write && result.drifted > 0)) {
            status = 1;
        }
        if (!write && result.drifted > 0) {
            std::fprintf(stderr,
                         "rewrite them with: cmake --build <build> --target "
                         "editor_keywords\n");
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 1) {
        print_lists();
        return 0;
    }
    bool write = std::strcmp(argv[1], "--write") == 0;
    if (!write && std::strcmp(argv[1], "--check") != 0) {
        std::fprintf(stderr, "usage: %s [--check|--write FILE...]\n", argv[0]);
        return 2;
    }
    return run_files(write, argc - 2, argv + 2);
}
