// Allocation that never throws.
//
// Every allocation the compiler makes on behalf of a script goes through
// these helpers: they hand back null instead of throwing, so the caller can
// print its own "memory exhausted" line and fail the stage cleanly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "support/faults.h"

namespace tolvar {

// Gives back a string made by str_copy.
struct StrFree {
    void operator()(char* text) const noexcept;
};
using StrPtr = std::unique_ptr<char[], StrFree>;

template <class T, class... Args>
T* try_new(Args&&... args)
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

// try_new for a record with large buffers it fills before reading them:
// members with initializers get them, plain arrays are left as they are,
// so the pages a small script never uses are never touched.
template <class T>
T* try_new_unfilled()
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    return new (std::nothrow) T;
}

// A value-initialised (zero-filled) array of n elements, or null.
template <class T>
std::unique_ptr<T[]> try_new_array(size_t n)
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

// The same without the zero fill, for buffers that are written before they
// are read.
template <class T>
std::unique_ptr<T[]> try_new_uninitialized(size_t n)
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

// Storage reserved ahead of a logical allocation that has already asked
// alloc_should_fail(): asking again would shift the failure hook's count.
// A value-initialised array of n elements, or null.
template <class T>
std::unique_ptr<T[]> reserve_array(size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

// The same for bytes left as they are: pages never written cost nothing.
inline std::unique_ptr<uint8_t[]> reserve_bytes(size_t n)
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[n]);
}

// A NUL-terminated copy of the first len bytes of s, or null.
StrPtr str_copy(const char* s, size_t len);

// A NUL-terminated copy of s, or null.
StrPtr str_copy(const char* s);

// An open stream, closed on every way out of its scope.
struct FileCloser {
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace tolvar
