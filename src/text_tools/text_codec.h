// Texts in the game's bytes and in UTF-8, converted through iconv's CP932.
//
// The conversion is total and exact in both directions: a byte or a
// double-byte code that has no character, or whose character converts back
// to other bytes, becomes a character of plane 15's private use area,
// U+F0000 plus the code (U+F0080..U+F00FF for single bytes, U+F8140.. for
// double-byte codes), which every UTF-8 tool keeps as it is.
#pragma once

#include <iconv.h>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/byte_buffer.h"

namespace tolvar {

inline constexpr uint32_t KEPT_CODE_BASE = 0xF0000;

// What one double-byte code becomes in UTF-8 (length 0: not asked yet).
struct Utf8Form {
    uint8_t length;
    char bytes[4];
};

// The iconv descriptors and what they have answered so far: each code is
// asked once, so a long text costs a table look-up per character.
struct TextCodec {
    TextCodec() = default;
    ~TextCodec();
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;

    iconv_t to_utf8 = nullptr;  // null: not open
    iconv_t to_sjis = nullptr;
    std::unique_ptr<Utf8Form[]> forward;   // by code, lead byte * 256 + trail byte
    std::unique_ptr<uint16_t[]> backward;  // by BMP character: code, or a mark below
};

// Opens the descriptors; false after a message when iconv lacks CP932 or
// memory is short.
bool text_codec_open(TextCodec& codec);

// Appends the UTF-8 form of the stored text bytes to out. False only when
// out cannot grow (after the memory message).
bool sjis_to_utf8(TextCodec& codec, const char* text, size_t size, ByteBuffer& out);

// Appends the game's bytes for UTF-8 text. Returns -1 when all of it
// converted, else the byte offset in text of the first character that
// is not well-formed UTF-8 or that the game has no code for (or -2 when out
// cannot grow, after the memory message).
long utf8_to_sjis(TextCodec& codec, const char* text, size_t size, ByteBuffer& out);

}  // namespace tolvar
