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

// How the cutting reads the bytes where an item begins.
enum : uint8_t {
    CUT_IN_DATA = 1,    // a data table, up to its enddata
    CUT_TEXT_TABLE = 2  // a data table whose items are texts
};

// Items cover the file one after another: each ends where the next
// begins (item_end), so they keep no length. There is about one for every
// twenty bytes of byte-code, so they are packed: nine bytes, not twelve.
struct __attribute__((packed)) Item {
    int32_t offset;
    uint32_t form;           // a statement: where its decoded form is kept in Layout::forms
    ItemKind kind : 3;
    uint8_t state : 2;       // CUT_* before the item
    bool refers : 1;         // a statement that names offsets
    bool in_table : 1;       // read as part of a data table
};

struct Layout {
    std::unique_ptr<uint8_t[]> marks;
    Growable<Item> items;
    ByteBuffer forms;  // the decoded forms of the statements
    int32_t size = 0;  // of the byte-code
};

// Where item index ends: where the next one begins, or the file ends.
inline int32_t item_end(const Layout& layout, size_t index)
{
    return index + 1 < layout.items.count ? layout.items.items[index + 1].offset : layout.size;
}

// Cuts the byte-code into items. Returns 0, or -1 after a memory message.
// Cutting uses code.budget, when given, for the search of statements.
int lay_out(const ByteCode& code, Layout& layout);

// The item whose bytes hold offset (the last one that begins at or before
// it); there must be one item at least.
size_t item_at(const Growable<Item>& items, int32_t offset);

// The statement of an item, built again from its kept form.
void item_statement(const ByteCode& code, const Layout& layout, const Item& item,
                    DecodedStatement& st);

}  // namespace tolvar
