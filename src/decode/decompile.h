// The decompiler: byte-code back to a script that compiles to the same
// bytes, with its texts in the script or in a text file of their own; or,
// with `graph`, a map of the conversation as a Graphviz DOT graph.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/sink.h"
#include "support/byte_buffer.h"
#include "support/settings.h"

namespace tolvar {

struct TextLabelSource;

struct DecompileOptions {
    int game = GAME_U6;
    bool offsets = false;         // a comment with offset and bytes on each line
    bool texts_apart = false;     // texts go to a text file
    bool graph = false;           // a DOT graph instead of a script
    int text_id = 0;              // the four hex digits of the text labels
    const char* input_name = "";  // for the opening comments
    const char* text_file_name = "";
    const TextLabelSource* labels = nullptr;  // null: labels numbered from text_id
};

struct DecompileCounts {
    int32_t statements = 0;    // lines written for bytes (labels and comments aside)
    int32_t raw_bytes = 0;     // bytes written with .unknown.byte
    int64_t search_steps = 0;  // spent finding statements
};

// Decompiles size bytes, writing the script (or the graph) to script and
// the text file, when texts go apart, to texts. Returns 0, or -1 after a
// message (memory, or a sink's).
int decompile_to(const uint8_t* bytes, int32_t size, const DecompileOptions& options,
                 TextSink script, TextSink texts, DecompileCounts& counts);

struct Decompiled {
    ByteBuffer script;
    ByteBuffer texts;        // the text file, when texts go apart
    int32_t statements = 0;  // lines written for bytes (labels and comments aside)
    int32_t raw_bytes = 0;   // bytes written with .unknown.byte
};

// decompile_to into memory. Returns 0, or -1 after a memory message.
int decompile(const uint8_t* bytes, int32_t size, const DecompileOptions& options, Decompiled& out);

// The name of a game type as the usage text gives it.
const char* game_name(int game);

}  // namespace tolvar
