#include "lsp/text_encoding.h"

#include <iconv.h>

#include <cstdio>

namespace tolvar {

namespace {

// Length of the UTF-8 sequence that begins with byte b (1 for a stray byte,
// so every byte belongs to some character).
size_t utf8_length(unsigned char b)
{
    return b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
}

size_t char_end(std::string_view line, size_t at)
{
    size_t end = at + utf8_length(static_cast<unsigned char>(line[at]));
    return end < line.size() ? end : line.size();
}

uint32_t units_of(size_t length, PositionEncoding encoding)
{
    if (encoding == POSITION_UTF8) {
        return static_cast<uint32_t>(length);
    }
    return length == 4 ? 2 : 1;  // beyond the BMP: a surrogate pair
}

iconv_t handle(void* h)
{
    return static_cast<iconv_t>(h);
}

// One iconv call over all of input; false on any failure.
bool convert(void* h, std::string_view input, std::string& out)
{
    iconv(handle(h), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t in_left = input.size();
    size_t start = out.size();
    out.resize(start + input.size() * 4 + 8);
    char* dest = out.data() + start;
    size_t dest_left = out.size() - start;
    size_t done = iconv(handle(h), &in, &in_left, &dest, &dest_left);
    out.resize(out.size() - dest_left);
    if (done == static_cast<size_t>(-1) || in_left != 0) {
        out.resize(start);
        return false;
    }
    return true;
}

// Text converts when it has a form and that form comes back as it.
bool exact_character(SjisConverter& converter, std::string_view character, std::string& bytes)
{
    bytes.clear();
    std::string back;
    return convert(converter.to_sjis, character, bytes) &&
           convert(converter.from_sjis, bytes, back) && back == character;
}

}  // namespace

size_t byte_of_position(std::string_view line, uint32_t character, PositionEncoding encoding)
{
    size_t at = 0;
    uint32_t units = 0;
    while (at < line.size()) {
        size_t end = char_end(line, at);
        units += units_of(end - at, encoding);
        if (units > character) {
            break;
        }
        at = end;
    }
    return at;
}

uint32_t position_of_byte(std::string_view line, size_t byte, PositionEncoding encoding)
{
    uint32_t units = 0;
    for (size_t at = 0; at < line.size() && at < byte;) {
        size_t end = char_end(line, at);
        units += units_of(end - at, encoding);
        at = end;
    }
    return units;
}

size_t byte_of_column(std::string_view line, int column)
{
    size_t at = 0;
    for (int c = 1; c < column && at < line.size(); ++c) {
        at = char_end(line, at);
    }
    return at;
}

bool sjis_open(SjisConverter& converter)
{
    // iconv_open fails with (iconv_t)-1: every bit set.
    iconv_t to = iconv_open("CP932", "UTF-8");
    iconv_t from = iconv_open("UTF-8", "CP932");
    bool to_good = ~reinterpret_cast<uintptr_t>(to) != 0;
    bool from_good = ~reinterpret_cast<uintptr_t>(from) != 0;
    if (!to_good || !from_good) {
        if (to_good) {
            iconv_close(to);
        }
        if (from_good) {
            iconv_close(from);
        }
        return false;
    }
    converter.to_sjis = to;
    converter.from_sjis = from;
    return true;
}

void sjis_close(SjisConverter& converter)
{
    if (converter.to_sjis != nullptr) {
        iconv_close(handle(converter.to_sjis));
        iconv_close(handle(converter.from_sjis));
    }
    converter = SjisConverter{};
}

void sjis_append_line(SjisConverter& converter, std::string_view line, std::string& out,
                      size_t* bad)
{
    *bad = std::string_view::npos;
    size_t ascii = 0;
    while (ascii < line.size() && static_cast<unsigned char>(line[ascii]) < 0x80) {
        ++ascii;
    }
    out.append(line.substr(0, ascii));
    if (ascii == line.size()) {
        return;
    }
    // Most lines convert whole; only a line that does not goes character
    // by character to find the one at fault.
    std::string bytes;
    if (converter.to_sjis != nullptr && exact_character(converter, line.substr(ascii), bytes)) {
        out += bytes;
        return;
    }
    for (size_t at = ascii; at < line.size();) {
        size_t end = char_end(line, at);
        std::string_view character = line.substr(at, end - at);
        if (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80) {
            out += character[0];
        } else if (converter.to_sjis != nullptr && exact_character(converter, character, bytes)) {
            out += bytes;
        } else {
            out += '?';
            if (*bad == std::string_view::npos) {
                *bad = at;
            }
        }
        at = end;
    }
}

std::string sjis_to_utf8(SjisConverter& converter, std::string_view bytes)
{
    std::string out;
    if (converter.from_sjis != nullptr && convert(converter.from_sjis, bytes, out)) {
        return out;
    }
    out.clear();
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

}  // namespace tolvar
