// Where the texts of a script stand: the compiler's line reader and
// tokenizer find every quoted text and every text label, so a tool sees a
// text exactly where the compiler would take one.
#pragma once

#include <cstddef>

namespace tolvar {

enum ScriptTextKind {
    SCRIPT_LITERAL,  // a quoted text, quotes included
    SCRIPT_LABEL     // a text label standing for one
};

struct ScriptText {
    ScriptTextKind kind;
    int line;           // from 1
    size_t line_start;  // offset of the line in the script
    size_t start;       // offset of the text
    size_t length;
    const char* statement;  // "text line", ".data" or the statement's keyword
    int parameter;          // 1, 2, ... for a statement's parameters; else 0
};

// Takes each text in order; false stops the scan (after a message).
struct ScriptTextSink {
    bool (*take)(void* context, const ScriptText& text);
    void* context;
};

// Reads the script's bytes line by line as the compiler does (`.option`
// lines applied for the lines after them, the settings put back at the end)
// and hands every text to sink. *skipped is set to the bytes of a byte
// order mark the reader skipped. Returns 0, or -1 after a message at the
// line the compiler could not read or split into tokens.
int scan_script_texts(const char* name, const char* bytes, size_t size, const ScriptTextSink& sink,
                      size_t* skipped);

}  // namespace tolvar
