#include "front/line_reader.h"

#include <cstring>

#include "support/diag.h"
#include "support/faults.h"

namespace tolvar {

namespace {

constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

bool fill(LineReader& reader)
{
    if (reader.at_end) {
        return false;
    }
    reader.pos = 0;
    if (io_should_fail()) {
        reader.end = 0;
        reader.at_end = true;
        reader.failed = true;
        return false;
    }
    reader.end = std::fread(reader.block, 1, sizeof reader.block, reader.stream);
    if (reader.end < sizeof reader.block) {
        reader.at_end = true;
        reader.failed = std::ferror(reader.stream) != 0;
    }
    return reader.end > 0;
}

bool only_carriage_returns(const unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != '\r') {
            return false;
        }
    }
    return true;
}

}  // namespace

void line_reader_open(LineReader& reader, FILE* stream)
{
    reader.stream = stream;
    reader.pos = 0;
    reader.end = 0;
    reader.at_end = false;
    reader.failed = false;
    fill(reader);
    if (reader.end >= sizeof BYTE_ORDER_MARK &&
        std::memcmp(reader.block, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK) == 0) {
        reader.pos = sizeof BYTE_ORDER_MARK;
        report_warning(3108, "UTF-8 byte order mark skipped\n");
    }
}

LineRead read_line(LineReader& reader, char* buffer)
{
    constexpr size_t capacity = LINE_BUFFER_SIZE - 1;
    size_t length = 0;
    bool any = false;
    bool ended = false;
    for (;;) {
        if (reader.pos == reader.end && !fill(reader)) {
            break;
        }
        any = true;
        const unsigned char* start = reader.block + reader.pos;
        size_t available = reader.end - reader.pos;
        const void* newline = std::memchr(start, '\n', available);
        size_t chunk = newline != nullptr
                           ? static_cast<size_t>(static_cast<const unsigned char*>(newline) - start)
                           : available;
        size_t stored = chunk < capacity - length ? chunk : capacity - length;
        std::memcpy(buffer + length, start, stored);
        length += stored;
        if (!only_carriage_returns(start + stored, chunk - stored)) {
            buffer[length] = '\0';
            return LINE_TOO_LONG;
        }
        reader.pos += chunk;
        if (newline != nullptr) {
            ++reader.pos;
            ended = true;
            break;
        }
    }
    buffer[length] = '\0';
    reader.ended_by_newline = ended;
    if (!ended && reader.failed) {
        return LINE_READ_ERROR;
    }
    if (!any) {
        return LINE_END_OF_FILE;
    }
    return std::memchr(buffer, '\0', length) != nullptr ? LINE_HAS_NUL : LINE_OK;
}

}  // namespace tolvar
