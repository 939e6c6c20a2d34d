#include "codegen/output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/diag.h"
#include "driver/driver.h"
#include "driver/memory.h"

namespace tolvar {

namespace {

// True when n more bytes fit at position (computed wide, so no overflow).
bool fits(int32_t size, int32_t position, int64_t n)
{
    return static_cast<int64_t>(position) + n <= static_cast<int64_t>(size);
}

}  // namespace

int add_text(uint8_t* buffer, int32_t size, int32_t position, const char* text, int terminate,
             int32_t* new_position)
{
    size_t length = std::strlen(text);
    int64_t n = static_cast<int64_t>(length) + (terminate != 0 ? 1 : 0);
    if (!fits(size, position, n)) {
        report_error(2994, "BUG: binary data overflow: size=%d, offset=%08X, text[%d]=[%s]\n", size,
                     static_cast<unsigned>(position), static_cast<int>(n), text);
        return -1;
    }
    std::memcpy(buffer + position, text, length);
    if (terminate != 0) {
        buffer[position + static_cast<int32_t>(length)] = 0;
    }
    *new_position = position + static_cast<int32_t>(n);
    return 0;
}

int add_byte(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position)
{
    if (!fits(size, position, 1)) {
        report_error(3014, "BUG: binary data overflow: size=%d, offset=%08X, byte=0x%02X\n", size,
                     static_cast<unsigned>(position), static_cast<unsigned>(value) & 0xFFu);
        return -1;
    }
    buffer[position] = static_cast<uint8_t>(value);
    *new_position = position + 1;
    return 0;
}

int add_int16(uint8_t* buffer, int32_t size, int32_t position, int value, int32_t* new_position)
{
    if (!fits(size, position, 2)) {
        report_error(3028, "BUG: binary data overflow: size=%d, offset=%08X, int16=0x%04X\n", size,
                     static_cast<unsigned>(position), static_cast<unsigned>(value) & 0xFFFFu);
        return -1;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    buffer[position] = static_cast<uint8_t>(bits);
    buffer[position + 1] = static_cast<uint8_t>(bits >> 8);
    *new_position = position + 2;
    return 0;
}

int add_int32(uint8_t* buffer, int32_t size, int32_t position, int32_t value,
              int32_t* new_position)
{
    uint32_t bits = static_cast<uint32_t>(value);
    if (!fits(size, position, 4)) {
        report_error(3044, "BUG: binary data overflow: size=%d, offset=%08X, int32=0x%08X\n", size,
                     static_cast<unsigned>(position), bits);
        return -1;
    }
    buffer[position] = static_cast<uint8_t>(bits);
    buffer[position + 1] = static_cast<uint8_t>(bits >> 8);
    buffer[position + 2] = static_cast<uint8_t>(bits >> 16);
    buffer[position + 3] = static_cast<uint8_t>(bits >> 24);
    *new_position = position + 4;
    return 0;
}

namespace {

// Writes all of data to fd; false on any failure.
bool write_all(int fd, const uint8_t* data, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Devices and pipes can't be replaced by a rename: write to them in place.
int write_in_place(const ConvState& conv, const char* path)
{
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    bool ok = write_all(fd, conv.buffer.get(), static_cast<size_t>(conv.size));
    if (::close(fd) != 0) {
        ok = false;
    }
    if (!ok) {
        report_error(3074, "can't write '%s'\n", path);
        return -1;
    }
    return 0;
}

// The file a path finally names: a symbolic link is followed, so the
// rename replaces the file it points to and the link itself stays.
StrPtr resolve_target(const char* path)
{
    struct stat link_info;
    if (::lstat(path, &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
        char* resolved = ::realpath(path, nullptr);
        if (resolved != nullptr) {
            StrPtr copy = str_copy(resolved);
            std::free(resolved);
            return copy;
        }
    }
    return str_copy(path);
}

mode_t default_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes a complete new file beside the target and renames it over the
// target, so the target is either the old file or the whole new one.
int write_by_rename(const ConvState& conv, const char* path, const char* target, bool exists,
                    mode_t mode)
{
    static const char temp_name[] = ".tolvar.XXXXXX";
    const char* slash = std::strrchr(target, '/');
    size_t dir_length = slash != nullptr ? static_cast<size_t>(slash - target) + 1 : 0;
    StrPtr temp = try_new_array<char>(dir_length + sizeof(temp_name));
    if (!temp) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    std::memcpy(temp.get(), target, dir_length);
    std::memcpy(temp.get() + dir_length, temp_name, sizeof(temp_name));

    int fd = ::mkstemp(temp.get());
    if (fd < 0) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    bool ok = ::fchmod(fd, exists ? (mode & 07777) : default_file_mode()) == 0;
    ok = ok && write_all(fd, conv.buffer.get(), static_cast<size_t>(conv.size));
    if (::close(fd) != 0) {
        ok = false;
    }
    ok = ok && ::rename(temp.get(), target) == 0;
    if (!ok) {
        ::unlink(temp.get());
        report_error(3074, "can't write '%s'\n", path);
        return -1;
    }
    return 0;
}

}  // namespace

int write_binary(const ConvState& conv, const char* path)
{
    report_info("write binary to '%s', size=%d\n", path, conv.size);
    if (path[0] == '\0') {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    StrPtr target = resolve_target(path);
    if (!target) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    struct stat info;
    bool exists = ::stat(target.get(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        return write_in_place(conv, path);
    }
    return write_by_rename(conv, path, target.get(), exists, exists ? info.st_mode : 0);
}

}  // namespace tolvar
