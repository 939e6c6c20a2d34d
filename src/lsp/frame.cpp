#include "lsp/frame.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tolvar {

namespace {

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Digits only, no sign, no overflow: anything else is a malformed header.
bool read_length(std::string_view text, size_t& length)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 18) {
        return false;
    }
    length = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        length = length * 10 + static_cast<size_t>(c - '0');
    }
    return true;
}

// The header block without its closing empty line; false when a line has
// no colon or the length is missing, repeated or not a number.
bool read_header(std::string_view block, size_t& length)
{
    bool found = false;
    while (!block.empty()) {
        size_t end = block.find("\r\n");
        std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view() : block.substr(end + 2);
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        if (same_name(line.substr(0, colon), "Content-Length")) {
            if (found || !read_length(line.substr(colon + 1), length)) {
                return false;
            }
            found = true;
        }
    }
    return found;
}

}  // namespace

void frame_feed(FrameReader& reader, const char* data, size_t size)
{
    size_t dropped = std::min(reader.skip, size);
    reader.skip -= dropped;
    reader.buffer.append(data + dropped, size - dropped);
}

FrameStatus frame_take(FrameReader& reader, std::string& body)
{
    if (!reader.have_header) {
        size_t end = reader.buffer.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (reader.buffer.size() <= MAX_HEADER_BYTES) {
                return FRAME_NEED_MORE;
            }
            reader.buffer.clear();
            return FRAME_BAD_HEADER;
        }
        size_t length = 0;
        bool good = end <= MAX_HEADER_BYTES &&
                    read_header(std::string_view(reader.buffer).substr(0, end), length);
        reader.buffer.erase(0, end + 4);
        if (!good) {
            return FRAME_BAD_HEADER;
        }
        if (length > MAX_MESSAGE_BYTES) {
            size_t here = std::min(length, reader.buffer.size());
            reader.buffer.erase(0, here);
            reader.skip = length - here;
            return FRAME_TOO_LARGE;
        }
        reader.have_header = true;
        reader.body_length = length;
    }
    if (reader.buffer.size() < reader.body_length) {
        return FRAME_NEED_MORE;
    }
    body.assign(reader.buffer, 0, reader.body_length);
    reader.buffer.erase(0, reader.body_length);
    reader.have_header = false;
    return FRAME_MESSAGE;
}

std::string frame_message(const std::string& body)
{
    std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out += body;
    return out;
}

}  // namespace tolvar
