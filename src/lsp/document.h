// The open documents of the language server, as the client has them, and
// what the last compile of each found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/text_encoding.h"

namespace tolvar {

// A place in a document: a line from 0 and bytes of its UTF-8 text.
struct Span {
    int32_t line = 0;
    size_t start = 0;
    size_t end = 0;
};

struct FindingNote {
    std::string uri;
    Span where;
    std::string message;
};

// One diagnostic for the client, in the document's own terms.
struct Finding {
    bool error = true;
    int code = -1;  // negative: none
    std::string uri;
    Span where;
    std::string message;
    std::vector<FindingNote> notes;
};

struct TextEntry {
    std::string label;
    std::string text;  // UTF-8, quotes included, as written in the text file
    int32_t line = 0;  // in the text file, from 0
};

struct LabelOffset {
    std::string name;
    int32_t offset = 0;
};

struct Analysis {
    bool done = false;
    int game = 0;                       // the game the compile ran for
    std::string text_uri;               // the text file it read; empty: none
    std::vector<Finding> findings;      // about the script and its text file
    std::vector<int32_t> line_offsets;  // byte offset of each line's first statement; -1: none
    std::vector<LabelOffset> labels;
    std::vector<TextEntry> texts;
};

struct Document {
    std::string uri;
    std::string text;                // UTF-8, line ends as sent
    std::vector<size_t> line_starts;  // byte offset of each line
    int64_t version = 0;
    bool script = true;  // false: a text file
    bool dirty = true;   // changed since its last compile
    Analysis analysis;
};

void document_set_text(Document& doc, std::string text);

// Replaces the range between two LSP positions with text; false when the
// range is not in the document (nothing changes).
bool document_edit(Document& doc, uint32_t line, uint32_t character, uint32_t end_line,
                   uint32_t end_character, std::string_view text, PositionEncoding encoding);

int32_t document_line_count(const Document& doc);

// A line without its line end; empty past the last line.
std::string_view document_line(const Document& doc, int32_t line);

// The file a "file:" URI names ("" for any other URI), and back.
std::string uri_to_path(std::string_view uri);
std::string path_to_uri(std::string_view path);

}  // namespace tolvar
