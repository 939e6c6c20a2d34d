#include "support/memory.h"

#include <cstring>

namespace tolvar {

namespace {

// Copied strings are many, short and short-lived: a token for every word
// of every line, a text for most statements. Blocks of a few sizes are kept
// for reuse instead of going back to the heap. A block's first byte tells
// its size; the string follows it.
constexpr size_t BLOCK_SIZES[] = {16, 32, 64, 128, 256};
constexpr int SIZE_COUNT = static_cast<int>(sizeof BLOCK_SIZES / sizeof BLOCK_SIZES[0]);
constexpr unsigned char OTHER_SIZE = 0xFF;
constexpr int BLOCKS_KEPT = 1024;  // of each size

struct BlockCache {
    void* free[SIZE_COUNT];  // each block holds the next in its first bytes
    int count[SIZE_COUNT];
};

// Plain, so it outlives every object that may still release a string.
BlockCache block_cache;

// Empties the cache at exit; strings released later go to the heap.
struct BlockCacheCloser {
    BlockCacheCloser() = default;
    BlockCacheCloser(const BlockCacheCloser&) = delete;
    BlockCacheCloser& operator=(const BlockCacheCloser&) = delete;
    ~BlockCacheCloser()
    {
        for (int kind = 0; kind < SIZE_COUNT; ++kind) {
            while (block_cache.free[kind] != nullptr) {
                void* next = *static_cast<void**>(block_cache.free[kind]);
                ::operator delete(block_cache.free[kind]);
                block_cache.free[kind] = next;
            }
            block_cache.count[kind] = BLOCKS_KEPT;
        }
    }
};

BlockCacheCloser block_cache_closer;

int size_kind(size_t bytes)
{
    for (int kind = 0; kind < SIZE_COUNT; ++kind) {
        if (bytes <= BLOCK_SIZES[kind]) {
            return kind;
        }
    }
    return OTHER_SIZE;
}

unsigned char* take_block(size_t bytes)
{
    int kind = size_kind(bytes);
    void* block = kind == OTHER_SIZE ? nullptr : block_cache.free[kind];
    if (block != nullptr) {
        block_cache.free[kind] = *static_cast<void**>(block);
        --block_cache.count[kind];
    } else {
        block = ::operator new(kind == OTHER_SIZE ? bytes : BLOCK_SIZES[kind], std::nothrow);
    }
    unsigned char* bytes_of = static_cast<unsigned char*>(block);
    if (bytes_of != nullptr) {
        bytes_of[0] = static_cast<unsigned char>(kind);
    }
    return bytes_of;
}

}  // namespace

void StrFree::operator()(char* text) const noexcept
{
    unsigned char* block = reinterpret_cast<unsigned char*>(text) - 1;
    int kind = block[0];
    if (kind == OTHER_SIZE || block_cache.count[kind] == BLOCKS_KEPT) {
        ::operator delete(block);
        return;
    }
    void* storage = block;
    *static_cast<void**>(storage) = block_cache.free[kind];
    block_cache.free[kind] = storage;
    ++block_cache.count[kind];
}

StrPtr str_copy(const char* s, size_t len)
{
    if (alloc_should_fail()) {
        return nullptr;
    }
    unsigned char* block = take_block(len + 2);  // the size byte, the string, the NUL
    if (block == nullptr) {
        return nullptr;
    }
    char* copy = reinterpret_cast<char*>(block + 1);
    std::memcpy(copy, s, len);
    copy[len] = '\0';
    return StrPtr(copy);
}

StrPtr str_copy(const char* s)
{
    return str_copy(s, std::strlen(s));
}

}  // namespace tolvar
