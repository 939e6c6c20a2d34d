#include "support/byte_buffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/diag.h"

namespace tolvar {

void report_memory(int code, size_t size)
{
    memory_error(code, size);
}

namespace {

bool reserve(ByteBuffer& buffer, size_t more)
{
    if (buffer.capacity - buffer.size >= more) {
        return true;
    }
    size_t capacity = buffer.capacity == 0 ? 4096 : buffer.capacity;
    while (capacity - buffer.size < more) {
        capacity *= 2;
    }
    std::unique_ptr<char[]> grown = try_new_uninitialized<char>(capacity);
    if (!grown) {
        report_memory(buffer.memory_code, capacity);
        return false;
    }
    if (buffer.size > 0) {
        std::memcpy(grown.get(), buffer.data.get(), buffer.size);
    }
    buffer.data = std::move(grown);
    buffer.capacity = capacity;
    return true;
}

}  // namespace

bool buffer_reserve(ByteBuffer& buffer, size_t total)
{
    return total <= buffer.size || reserve(buffer, total - buffer.size);
}

bool buffer_append_growing(ByteBuffer& buffer, const char* bytes, size_t count)
{
    if (!reserve(buffer, count)) {
        return false;
    }
    if (count > 0) {
        std::memcpy(buffer.data.get() + buffer.size, bytes, count);
    }
    buffer.size += count;
    return true;
}

bool buffer_append(ByteBuffer& buffer, const char* text)
{
    return buffer_append(buffer, text, std::strlen(text));
}

bool buffer_append_char(ByteBuffer& buffer, char c, size_t count)
{
    if (!reserve(buffer, count)) {
        return false;
    }
    char* out = buffer.data.get() + buffer.size;
    for (size_t i = 0; i < count; ++i) {  // a few blanks, mostly
        out[i] = c;
    }
    buffer.size += count;
    return true;
}

bool buffer_printf(ByteBuffer& buffer, const char* fmt, ...)
{
    char text[256];
    va_list args;
    va_start(args, fmt);
    int length = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    // Only short pieces (numbers, names) are formatted; longer text is
    // appended as it is.
    if (length < 0 || static_cast<size_t>(length) >= sizeof text) {
        return false;
    }
    return buffer_append(buffer, text, static_cast<size_t>(length));
}

}  // namespace tolvar
