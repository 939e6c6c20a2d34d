// The one writer of output files, for the byte-code and for scripts.
//
// A regular file (or a new one) is written beside the target under a
// temporary name and renamed over it once complete, so the target is
// always either the old file or the whole new one, also when the write
// fails or the process is interrupted. Symbolic links are followed to the
// file they name, which is created if it does not exist yet.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvar {

// The messages a caller's failures are reported under.
struct WriteCodes {
    int open;   // "can't open '%s'"
    int write;  // "can't write '%s'"
};

// Writes size bytes of data to path. Returns 0, or -1 after an error.
int write_file_safely(const char* path, const uint8_t* data, size_t size, WriteCodes codes);

// True when both names exist and are one file (links followed): writing
// the one would destroy the other.
bool same_file(const char* a, const char* b);

}  // namespace tolvar
