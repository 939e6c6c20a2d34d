// The framing of the language server protocol: each message is a header
// block ("Content-Length: N", an optional "Content-Type", each line ended by
// CR LF, then an empty line) followed by N bytes of JSON.
#pragma once

#include <cstddef>
#include <string>

namespace tolvar {

// The largest message body taken; a larger one is dropped unread, with an
// error to the client. A 1 MB script sent whole is about 1.1 MB of JSON.
inline constexpr size_t MAX_MESSAGE_BYTES = 64u << 20;

// The longest header block; a longer one is dropped as malformed.
inline constexpr size_t MAX_HEADER_BYTES = 8192;

struct FrameReader {
    std::string buffer;      // bytes received and not yet taken
    size_t skip = 0;         // bytes of a dropped body still to come
    size_t body_length = 0;  // of the message whose header was read
    bool have_header = false;
};

enum FrameStatus {
    FRAME_MESSAGE,     // body holds one message
    FRAME_NEED_MORE,   // nothing complete yet
    FRAME_BAD_HEADER,  // a header block was malformed and dropped
    FRAME_TOO_LARGE    // a body over MAX_MESSAGE_BYTES is being dropped
};

// Adds received bytes (the rest of a dropped body is discarded here, so it
// is never held).
void frame_feed(FrameReader& reader, const char* data, size_t size);

// Takes the next complete message into body.
FrameStatus frame_take(FrameReader& reader, std::string& body);

// The header and body of one outgoing message.
std::string frame_message(const std::string& body);

}  // namespace tolvar
