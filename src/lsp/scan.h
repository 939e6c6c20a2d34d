// The words of a script line as the editor features need them: where each
// is and what it is. The compiler's tokenizer stops at the first error and
// keeps no columns; this reads any line, broken or not.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "isa/code_info.h"

namespace tolvar {

enum WordKind {
    WORD_NAME,        // a label, defined or used
    WORD_TEXT_LABEL,  // T0A1F_0001 and the like
    WORD_KEYWORD,
    WORD_NUMBER,
    WORD_DIRECTIVE,   // .data, .option, ...
    WORD_OPTION       // a word after .option
};

inline constexpr size_t NO_WORD = static_cast<size_t>(-1);

struct Word {
    WordKind kind = WORD_NAME;
    size_t start = 0;  // bytes in the line
    size_t end = 0;
    bool definition = false;           // a label followed by ":" at the head of the line
    const CodeInfo* row = nullptr;     // keywords
    size_t previous = NO_WORD;         // index of the word before it on the line
};

// Appends the words of one line (texts and comments are skipped).
void scan_line(std::string_view line, std::vector<Word>& words);

// The word that holds byte at (or ends at it), or null.
const Word* word_at(const std::vector<Word>& words, size_t byte);

}  // namespace tolvar
