// A growable byte string that never throws: appending reports a failed
// allocation with the owner's memory code and returns false.
#pragma once

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
    if (count > 0) {
        std::memcpy(buffer.data.get() + buffer.size, bytes, count);
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

// Appends one record; false after the memory message.
template <class T>
bool growable_push(Growable<T>& array, const T& item)
{
    if (array.count == array.capacity) {
        size_t capacity = array.capacity == 0 ? 64 : array.capacity * 2;
        std::unique_ptr<T[]> grown = try_new_array<T>(capacity);
        if (!grown) {
            report_memory(array.memory_code, capacity * sizeof(T));
            return false;
        }
        for (size_t i = 0; i < array.count; ++i) {
            grown[i] = array.items[i];
        }
        array.items = std::move(grown);
        array.capacity = capacity;
    }
    array.items[array.count++] = item;
    return true;
}

}  // namespace tolvar
