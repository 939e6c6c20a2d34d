#include "codegen/output.h"

#include <cstring>

#include "context/conv_state.h"
#include "support/diag.h"
#include "support/file_writer.h"

namespace tolvar {

namespace {

// True when n more bytes fit at position (computed wide, so no overflow).
bool fits(int32_t size, int32_t position, int64_t n)
{
    return static_cast<int64_t>(position) + n <= static_cast<int64_t>(size);
}

}  // namespace

int add_text(uint8_t* buffer, int32_t size, int32_t position, const char* text, int terminate,
             int32_t* new_position)
{
    size_t length = std::strlen(text);
    int64_t n = static_cast<int64_t>(length) + (terminate != 0 ? 1 : 0);
    if (!fits(size, position, n)) {
        report_error(2994, "BUG: binary data overflow: size=%d, offset=%08X, text[%d]=[%s]\n", size,
                     static_cast<unsigned>(position), static_cast<int>(n), text);
        return -1;
    }
    if (length > 0) {  // an empty output has no buffer at all
        std::memcpy(buffer + position, text, length);
    }
    if (terminate != 0) {
        buffer[position + static_cast<int32_t>(length)] = 0;
    }
    *new_position = position + static_cast<int32_t>(n);
    return 0;
}

int add_byte(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position)
{
    if (!fits(size, position, 1)) {
        report_error(3014, "BUG: binary data overflow: size=%d, offset=%08X, byte=0x%02X\n", size,
                     static_cast<unsigned>(position), static_cast<unsigned>(value) & 0xFFu);
        return -1;
    }
    buffer[position] = static_cast<uint8_t>(value);
    *new_position = position + 1;
    return 0;
}

int add_int16(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position)
{
    if (!fits(size, position, 2)) {
        report_error(3028, "BUG: binary data overflow: size=%d, offset=%08X, int16=0x%04X\n", size,
                     static_cast<unsigned>(position), static_cast<unsigned>(value) & 0xFFFFu);
        return -1;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    buffer[position] = static_cast<uint8_t>(bits);
    buffer[position + 1] = static_cast<uint8_t>(bits >> 8);
    *new_position = position + 2;
    return 0;
}

int add_int32(uint8_t* buffer, int32_t size, int32_t position, int32_t value, int32_t* new_position)
{
    uint32_t bits = static_cast<uint32_t>(value);
    if (!fits(size, position, 4)) {
        report_error(3044, "BUG: binary data overflow: size=%d, offset=%08X, int32=0x%08X\n", size,
                     static_cast<unsigned>(position), bits);
        return -1;
    }
    buffer[position] = static_cast<uint8_t>(bits);
    buffer[position + 1] = static_cast<uint8_t>(bits >> 8);
    buffer[position + 2] = static_cast<uint8_t>(bits >> 16);
    buffer[position + 3] = static_cast<uint8_t>(bits >> 24);
    *new_position = position + 4;
    return 0;
}

int write_binary(const ConvState& conv, const char* path)
{
    report_info("write binary to '%s', size=%d\n", path, conv.size);
    return write_file_safely(path, conv.buffer.get(), static_cast<size_t>(conv.size),
                             {3069, 3074});
}

}  // namespace tolvar
