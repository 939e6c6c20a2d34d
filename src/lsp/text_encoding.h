// The one place where the client's Unicode meets the game's bytes and
// where positions are converted. The client sends UTF-8 (inside JSON) and
// counts positions in UTF-16 units, or in UTF-8 bytes where it offers that;
// the compiler reads Shift-JIS bytes and counts columns in characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvar {

enum PositionEncoding {
    POSITION_UTF16,
    POSITION_UTF8
};

// Byte offset in a UTF-8 line of an LSP character position (clamped to the
// line's end; a position inside a character moves to its start).
size_t byte_of_position(std::string_view line, uint32_t character, PositionEncoding encoding);

// The LSP character position of a byte offset in a UTF-8 line.
uint32_t position_of_byte(std::string_view line, size_t byte, PositionEncoding encoding);

// Byte offset in a UTF-8 line of a compiler column (characters from 1; a
// double-byte character is one, as each is one Unicode character).
size_t byte_of_column(std::string_view line, int column);

// Converters between UTF-8 and the game's code page (CP932), opened once.
struct SjisConverter {
    void* to_sjis = nullptr;    // iconv_t
    void* from_sjis = nullptr;  // iconv_t
};

bool sjis_open(SjisConverter& converter);
void sjis_close(SjisConverter& converter);

// Appends the game's bytes of one UTF-8 line to out. A character with no
// Shift-JIS form, or one that does not come back as itself (so saving would
// change it), becomes "?" and its byte offset in the line goes to *bad
// (first one only; npos when every character converts exactly).
void sjis_append_line(SjisConverter& converter, std::string_view line, std::string& out,
                      size_t* bad);

// The UTF-8 form of Shift-JIS bytes (texts of the text file, for hovers);
// a byte that does not convert shows as "\xNN".
std::string sjis_to_utf8(SjisConverter& converter, std::string_view bytes);

}  // namespace tolvar
