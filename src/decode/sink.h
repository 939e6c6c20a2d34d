// Where the decompiler's text goes: staged in a buffer, handed on in large
// pieces as it is made, so that no script is ever held whole in memory.
#pragma once

#include <cstddef>

#include "support/byte_buffer.h"

namespace tolvar {

// Takes written text, a piece at a time. write returns false after
// printing its own message.
struct TextSink {
    bool (*write)(void* context, const char* bytes, size_t count) = nullptr;
    void* context = nullptr;
};

struct StagedText {
    ByteBuffer buffer;
    TextSink sink;
};

// Hands the staged text to the sink once there is much of it, or all of
// it when asked. False after a message.
bool pass_on(StagedText& text, bool all);

}  // namespace tolvar
