// Where the statements of a byte-code file begin: code told from data by
// following control flow and data references, the bytes cut into items that
// a script can write, labels where references need them, and `if` blocks
// that nest as the compiler requires.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/decoder.h"
#include "support/byte_buffer.h"

namespace tolvar {

enum ItemKind : uint8_t {
    ITEM_RAW,          // .unknown.byte, one line per byte
    ITEM_TEXT,         // text lines
    ITEM_DATA_TEXT,    // .data "text", the 0 byte included in length
    ITEM_DATA_NUMBER,  // .data n, two bytes
    ITEM_STATEMENT     // an instruction statement
};

struct Item {
    int32_t offset;
    int32_t length;
    ItemKind kind;
    bool refers;   // a statement that names offsets
    bool in_data;  // data tables were being read where it begins
};

struct Layout {
    std::unique_ptr<uint8_t[]> marks;
    Growable<Item> items;
};

// Cuts the byte-code into items. Returns 0, or -1 after a memory message.
int lay_out(const ByteCode& code, Layout& layout);

}  // namespace tolvar
