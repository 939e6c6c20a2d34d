// The language server's message reader: any bytes, fed in pieces of any
// size, give whole messages or errors and never hold more than one message
// and one header; a framed body always comes back as it was.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "lsp/frame.h"

using namespace tolvar;

namespace {

void check_bounded(const FrameReader& reader)
{
    size_t limit = MAX_HEADER_BYTES + (reader.have_header ? reader.body_length : 0) + 65536;
    if (reader.buffer.size() > limit) {
        tolvar_fuzz::fail("the reader holds more than a header and a body",
                          std::to_string(reader.buffer.size()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte sets the size of the pieces the bytes arrive in.
    size_t piece = static_cast<size_t>(data[0] % 64) + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    size_t count = size - 1;
    FrameReader reader;
    std::string body;
    for (size_t at = 0; at < count; at += piece) {
        frame_feed(reader, bytes + at, count - at < piece ? count - at : piece);
        while (frame_take(reader, body) != FRAME_NEED_MORE) {
            check_bounded(reader);
        }
        check_bounded(reader);
    }
    FrameReader fresh;
    std::string message = frame_message(std::string(bytes, count));
    frame_feed(fresh, message.data(), message.size());
    if (frame_take(fresh, body) != FRAME_MESSAGE || body != std::string(bytes, count) ||
        !fresh.buffer.empty()) {
        tolvar_fuzz::fail("a framed body did not come back", body);
    }
    return 0;
}
