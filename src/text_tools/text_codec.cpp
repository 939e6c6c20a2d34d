#include "text_tools/text_codec.h"

#include <cstring>

#include "support/diag.h"
#include "support/memory.h"

namespace tolvar {

namespace {

constexpr uint16_t NO_CODE = 0xFFFF;
constexpr size_t CODE_COUNT = 0x10000;
constexpr uint32_t KEPT_CODE_LAST = KEPT_CODE_BASE + 0xFFFF;

// The character of a well-formed UTF-8 sequence at p (at most left bytes);
// its length, or 0.
int decode_utf8(const unsigned char* p, size_t left, uint32_t* character)
{
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    int length = p[0] < 0x80   ? 1
                 : p[0] < 0xC2 ? 0
                 : p[0] < 0xE0 ? 2
                 : p[0] < 0xF0 ? 3
                 : p[0] < 0xF5 ? 4
                               : 0;
    if (length == 0 || static_cast<size_t>(length) > left) {
        return 0;
    }
    uint32_t value = length == 1 ? p[0] : p[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
        value = value << 6 | (p[i] & 0x3F);
    }
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *character = value;
    return length;
}

int encode_utf8(uint32_t c, char* out)
{
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | c >> 18);
    out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Runs one conversion of a single character; the bytes written, or 0.
size_t convert(iconv_t cd, const char* in, size_t in_size, char* out, size_t out_size)
{
    char* in_at = const_cast<char*>(in);
    char* out_at = out;
    size_t in_left = in_size;
    size_t out_left = out_size;
    size_t result = iconv(cd, &in_at, &in_left, &out_at, &out_left);
    size_t flushed = iconv(cd, nullptr, nullptr, &out_at, &out_left);
    if (result == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1) || in_left != 0) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return 0;
    }
    return static_cast<size_t>(out_at - out);
}

// The game's code for a character of the basic plane, or NO_CODE.
uint16_t code_of(TextCodec& codec, uint32_t character)
{
    uint16_t& known = codec.backward[character];
    if (known == 0) {
        char in[4];
        char out[8];
        int in_size = encode_utf8(character, in);
        size_t length = convert(codec.to_sjis, in, static_cast<size_t>(in_size), out, sizeof out);
        auto b0 = static_cast<unsigned char>(out[0]);
        auto b1 = static_cast<unsigned char>(out[1]);
        known = length == 1 ? b0 : length == 2 ? static_cast<uint16_t>(b0 << 8 | b1) : NO_CODE;
    }
    return known;
}

// The UTF-8 form of a code of one byte (0x80..0xFF) or two.
const Utf8Form& form_of(TextCodec& codec, unsigned code)
{
    Utf8Form& form = codec.forward[code];
    if (form.length != 0) {
        return form;
    }
    char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    bool single = code < 0x100;
    char out[8];
    size_t length = convert(codec.to_utf8, single ? in + 1 : in, single ? 1 : 2, out, sizeof out);
    uint32_t character = 0;
    bool exact = length > 0 &&
                 decode_utf8(reinterpret_cast<unsigned char*>(out), length, &character) ==
                     static_cast<int>(length) &&
                 character >= 0x80 && character < 0x10000 && code_of(codec, character) == code;
    if (!exact) {
        length = static_cast<size_t>(encode_utf8(KEPT_CODE_BASE + code, out));
    }
    std::memcpy(form.bytes, out, length);
    form.length = static_cast<uint8_t>(length);
    return form;
}

bool is_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool is_trail(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// iconv_open's descriptor, or null where it failed ((iconv_t) -1).
iconv_t open_descriptor(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    return reinterpret_cast<intptr_t>(cd) == -1 ? nullptr : cd;
}

}  // namespace

TextCodec::~TextCodec()
{
    if (to_utf8 != nullptr) {
        iconv_close(to_utf8);
    }
    if (to_sjis != nullptr) {
        iconv_close(to_sjis);
    }
}

bool text_codec_open(TextCodec& codec)
{
    codec.to_utf8 = open_descriptor("UTF-8", "CP932");
    codec.to_sjis = open_descriptor("CP932", "UTF-8");
    if (codec.to_utf8 == nullptr || codec.to_sjis == nullptr) {
        report_error(5051, "iconv can't convert between CP932 and UTF-8\n");
        return false;
    }
    codec.forward = try_new_array<Utf8Form>(CODE_COUNT);
    codec.backward = try_new_array<uint16_t>(CODE_COUNT);
    if (!codec.forward || !codec.backward) {
        report_memory(5090, CODE_COUNT * (sizeof(Utf8Form) + sizeof(uint16_t)));
        return false;
    }
    return true;
}

bool sjis_to_utf8(TextCodec& codec, const char* text, size_t size, ByteBuffer& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t start = 0;  // of the run of ASCII bytes not yet appended
    for (size_t i = 0; i < size;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        if (!buffer_append(out, text + start, i - start)) {
            return false;
        }
        bool pair = is_lead(p[i]) && i + 1 < size && is_trail(p[i + 1]);
        const Utf8Form& form = form_of(codec, pair ? p[i] << 8 | p[i + 1] : p[i]);
        if (!buffer_append(out, form.bytes, form.length)) {
            return false;
        }
        i += pair ? 2 : 1;
        start = i;
    }
    return buffer_append(out, text + start, size - start);
}

long utf8_to_sjis(TextCodec& codec, const char* text, size_t size, ByteBuffer& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < size;) {
        uint32_t c = 0;
        int length = decode_utf8(p + i, size - i, &c);
        uint32_t code = NO_CODE;
        if (length == 0) {
            return static_cast<long>(i);
        }
        if (c < 0x80) {
            code = c;
        } else if (c >= KEPT_CODE_BASE + 0x80 && c <= KEPT_CODE_LAST) {
            uint32_t kept = c - KEPT_CODE_BASE;
            bool fits = kept < 0x100 || (is_lead(static_cast<unsigned char>(kept >> 8)) &&
                                         is_trail(static_cast<unsigned char>(kept & 0xFF)));
            code = fits ? kept : NO_CODE;
        } else if (c < 0x10000) {
            code = code_of(codec, c);
        }
        if (code == NO_CODE) {
            return static_cast<long>(i);
        }
        char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        bool ok = code < 0x100 ? buffer_append(out, bytes + 1, 1) : buffer_append(out, bytes, 2);
        if (!ok) {
            return -2;
        }
        i += static_cast<size_t>(length);
    }
    return -1;
}

}  // namespace tolvar
