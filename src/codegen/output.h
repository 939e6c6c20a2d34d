// The output buffer and the writer of the binary file.
//
// The buffer has the size counted while parsing and is never grown: an
// append that would pass its end means the two passes disagree, and is
// reported as an internal fault. Multi-byte values are little-endian.
#pragma once

#include <cstdint>

namespace tolvar {

struct ConvState;

// Each appender writes at position and, on success, stores the position
// after the written bytes in *new_position and returns 0. Past the end of
// the buffer it writes nothing, prints its overflow message and returns -1.
int add_text(uint8_t* buffer, int32_t size, int32_t position, const char* text, int terminate,
             int32_t* new_position);
int add_byte(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position);
int add_int16(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position);
int add_int32(uint8_t* buffer, int32_t size, int32_t position, int32_t value,
              int32_t* new_position);

// Writes conv.size bytes of conv.buffer to path. A regular file (or a new
// one) is replaced only once the whole binary is on disk, so a failed write
// leaves any earlier file as it was. Returns 0, or -1 after an error.
int write_binary(const ConvState& conv, const char* path);

}  // namespace tolvar
