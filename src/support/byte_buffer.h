// A growable byte string that never throws: appending reports a failed
// allocation with the owner's memory code and returns false.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include "support/memory.h"

namespace tolvar {

struct ByteBuffer {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t capacity = 0;
    int memory_code = 0;  // "memory exhausted!" code of the owner
};

// Room for total bytes in all, so that appending up to it copies nothing.
bool buffer_reserve(ByteBuffer& buffer, size_t total);

// The slow path of buffer_append: grows the buffer first.
bool buffer_append_growing(ByteBuffer& buffer, const char* bytes, size_t count);

inline bool buffer_append(ByteBuffer& buffer, const char* bytes, size_t count)
{
    if (buffer.capacity - buffer.size < count) {
        return buffer_append_growing(buffer, bytes, count);
    }
    char* out = buffer.data.get() + buffer.size;
    if (count <= 16) {  // most pieces are words: a call costs more than the copy
        for (size_t i = 0; i < count; ++i) {
            out[i] = bytes[i];
        }
    } else {
        std::memcpy(out, bytes, count);
    }
    buffer.size += count;
    return true;
}

bool buffer_append(ByteBuffer& buffer, const char* text);
bool buffer_append_char(ByteBuffer& buffer, char c, size_t count = 1);
bool buffer_printf(ByteBuffer& buffer, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// A growable array of plain records, with the same failure reporting.
template <class T>
struct Growable {
    std::unique_ptr<T[]> items;
    size_t count = 0;
    size_t capacity = 0;
    int memory_code = 0;
};

// Prints the memory message of a growable under its owner's code.
void report_memory(int code, size_t size);

// Room for capacity records in all; false after the memory message. The
// records are plain data, written before they are read, so the room is
// not cleared.
template <class T>
bool growable_reserve(Growable<T>& array, size_t capacity)
{
    if (capacity <= array.capacity) {
        return true;
    }
    std::unique_ptr<T[]> grown = try_new_uninitialized<T>(capacity);
    if (!grown) {
        report_memory(array.memory_code, capacity * sizeof(T));
        return false;
    }
    std::copy(array.items.get(), array.items.get() + array.count, grown.get());
    array.items = std::move(grown);
    array.capacity = capacity;
    return true;
}

// Appends one record; false after the memory message.
template <class T>
bool growable_push(Growable<T>& array, const T& item)
{
    if (array.count == array.capacity &&
        !growable_reserve(array, array.capacity == 0 ? 64 : array.capacity * 2)) {
        return false;
    }
    array.items[array.count++] = item;
    return true;
}

}  // namespace tolvar
