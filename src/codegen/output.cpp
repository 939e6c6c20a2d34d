#include "codegen/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "labels/conv_state.h"
#include "support/diag.h"
#include "support/memory.h"

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

int add_int32(uint8_t* buffer, int32_t size, int32_t position, int32_t value, int32_t* new_position)
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

constexpr int MAX_LINK_HOPS = 40;

// Copies the joined pieces into out (PATH_MAX bytes); false when too long.
bool join_path(char* out, const char* dir, size_t dir_length, const char* name)
{
    size_t name_length = std::strlen(name);
    if (dir_length + name_length >= PATH_MAX) {
        return false;
    }
    std::memmove(out, dir, dir_length);
    std::memcpy(out + dir_length, name, name_length + 1);
    return true;
}

size_t dir_length_of(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
}

// The path a write finally goes to, in out (PATH_MAX bytes). Symbolic
// links are followed one at a time, also to a file that does not exist
// yet, so the output lands where the link says and the link stays. False
// for a loop or a chain that can't be read.
bool resolve_target(const char* path, char* out)
{
    if (!join_path(out, "", 0, path)) {
        return false;
    }
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        struct stat info;
        if (::lstat(out, &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        char link[PATH_MAX];
        ssize_t length = ::readlink(out, link, sizeof link - 1);
        if (length < 0) {
            return false;
        }
        link[length] = '\0';
        size_t dir_length = link[0] == '/' ? 0 : dir_length_of(out);
        if (!join_path(out, out, dir_length, link)) {
            return false;
        }
    }
    return false;
}

mode_t default_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The temporary file being written, for the signal handler: it can only
// use what is already in memory.
char temp_path[PATH_MAX + 16];
volatile sig_atomic_t temp_exists = 0;

constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void (*temp_created_hook)() = nullptr;

extern "C" void remove_temp_and_reraise(int signal_number)
{
    if (temp_exists != 0) {
        ::unlink(temp_path);
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// While it lives, an interrupting signal removes the temporary file before
// ending the process as it would have; SIGXFSZ is ignored, so a file-size
// limit shows as a failed write. Signals the caller ignores stay ignored.
struct TempFileGuard {
    TempFileGuard();
    ~TempFileGuard();
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    // Runs step with the cleanup signals held back, so temp_exists always
    // matches the file system when a handler runs.
    template <class Step>
    auto held(Step step)
    {
        sigset_t old;
        ::sigprocmask(SIG_BLOCK, &cleanup_set, &old);
        auto result = step();
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        return result;
    }

    sigset_t cleanup_set;
    struct sigaction saved[3];
    struct sigaction saved_xfsz;
};

TempFileGuard::TempFileGuard()
{
    sigemptyset(&cleanup_set);
    for (int signal_number : CLEANUP_SIGNALS) {
        sigaddset(&cleanup_set, signal_number);
    }
    struct sigaction action = {};
    action.sa_handler = remove_temp_and_reraise;
    action.sa_mask = cleanup_set;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(CLEANUP_SIGNALS[i], nullptr, &saved[i]);
        if (saved[i].sa_handler != SIG_IGN) {
            ::sigaction(CLEANUP_SIGNALS[i], &action, nullptr);
        }
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &saved_xfsz);
}

TempFileGuard::~TempFileGuard()
{
    for (int i = 0; i < 3; ++i) {
        ::sigaction(CLEANUP_SIGNALS[i], &saved[i], nullptr);
    }
    ::sigaction(SIGXFSZ, &saved_xfsz, nullptr);
}

// Writes a complete new file beside the target and renames it over the
// target, so the target is either the old file or the whole new one.
int write_by_rename(const ConvState& conv, const char* path, const char* target, bool exists,
                    mode_t mode)
{
    static const char temp_name[] = ".tolvar.XXXXXX";
    size_t dir_length = dir_length_of(target);
    if (dir_length + sizeof temp_name > sizeof temp_path) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    TempFileGuard guard;
    int fd = guard.held([&] {
        std::memcpy(temp_path, target, dir_length);
        std::memcpy(temp_path + dir_length, temp_name, sizeof temp_name);
        int created = ::mkstemp(temp_path);
        temp_exists = created >= 0 ? 1 : 0;
        return created;
    });
    if (fd < 0) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    if (temp_created_hook != nullptr) {
        temp_created_hook();
    }
    bool ok = ::fchmod(fd, exists ? (mode & 07777) : default_file_mode()) == 0;
    ok = ok && write_all(fd, conv.buffer.get(), static_cast<size_t>(conv.size));
    ok = ::close(fd) == 0 && ok;
    ok = guard.held([&] {
        bool renamed = ok && ::rename(temp_path, target) == 0;
        if (!renamed) {
            ::unlink(temp_path);
        }
        temp_exists = 0;
        return renamed;
    });
    if (!ok) {
        report_error(3074, "can't write '%s'\n", path);
        return -1;
    }
    return 0;
}

}  // namespace

void set_temp_created_hook(void (*hook)())
{
    temp_created_hook = hook;
}

int write_binary(const ConvState& conv, const char* path)
{
    report_info("write binary to '%s', size=%d\n", path, conv.size);
    char target[PATH_MAX];
    if (path[0] == '\0' || !resolve_target(path, target)) {
        report_error(3069, "can't open '%s'\n", path);
        return -1;
    }
    struct stat info;
    bool exists = ::stat(target, &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        return write_in_place(conv, path);
    }
    return write_by_rename(conv, path, target, exists, exists ? info.st_mode : 0);
}

}  // namespace tolvar
