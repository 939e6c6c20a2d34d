#include "support/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "support/diag.h"
#include "support/faults.h"

namespace tolvar {

namespace {

// Large enough to be fast, small enough that a failure can strike between
// two writes.
constexpr size_t WRITE_CHUNK = 65536;

// Writes all of data to fd; false on any failure.
bool write_all(int fd, const uint8_t* data, size_t length)
{
    while (length > 0) {
        if (io_should_fail()) {
            return false;
        }
        size_t chunk = length < WRITE_CHUNK ? length : WRITE_CHUNK;
        ssize_t written = ::write(fd, data, chunk);
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

bool close_file(int fd)
{
    bool failed = io_should_fail();
    return ::close(fd) == 0 && !failed;
}

// Devices and pipes can't be replaced by a rename: write to them in place.
int write_in_place(const char* path, const uint8_t* data, size_t size, WriteCodes codes)
{
    int fd = io_should_fail() ? -1 : ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        report_error(codes.open, "can't open '%s'\n", path);
        return -1;
    }
    bool ok = write_all(fd, data, size);
    ok = close_file(fd) && ok;
    if (!ok) {
        report_error(codes.write, "can't write '%s'\n", path);
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
int write_by_rename(const char* path, const char* target, const uint8_t* data, size_t size,
                    const struct stat* old, WriteCodes codes)
{
    static const char temp_name[] = ".tolvar.XXXXXX";
    size_t dir_length = dir_length_of(target);
    if (dir_length + sizeof temp_name > sizeof temp_path) {
        report_error(codes.open, "can't open '%s'\n", path);
        return -1;
    }
    TempFileGuard guard;
    int fd = guard.held([&] {
        std::memcpy(temp_path, target, dir_length);
        std::memcpy(temp_path + dir_length, temp_name, sizeof temp_name);
        int created = io_should_fail() ? -1 : ::mkstemp(temp_path);
        temp_exists = created >= 0 ? 1 : 0;
        return created;
    });
    if (fd < 0) {
        report_error(codes.open, "can't open '%s'\n", path);
        return -1;
    }
    temp_created();
    mode_t mode = old != nullptr ? (old->st_mode & 07777) : default_file_mode();
    bool ok = !io_should_fail() && ::fchmod(fd, mode) == 0;
    ok = ok && write_all(fd, data, size);
    ok = close_file(fd) && ok;
    ok = guard.held([&] {
        bool renamed = ok && !io_should_fail() && ::rename(temp_path, target) == 0;
        if (!renamed) {
            ::unlink(temp_path);
        }
        temp_exists = 0;
        return renamed;
    });
    if (!ok) {
        report_error(codes.write, "can't write '%s'\n", path);
        return -1;
    }
    return 0;
}

}  // namespace

int write_file_safely(const char* path, const uint8_t* data, size_t size, WriteCodes codes)
{
    char target[PATH_MAX];
    if (path[0] == '\0' || !resolve_target(path, target)) {
        report_error(codes.open, "can't open '%s'\n", path);
        return -1;
    }
    struct stat info;
    bool exists = ::stat(target, &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        return write_in_place(path, data, size, codes);
    }
    return write_by_rename(path, target, data, size, exists ? &info : nullptr, codes);
}

bool same_file(const char* a, const char* b)
{
    struct stat info_a;
    struct stat info_b;
    return a != nullptr && b != nullptr && ::stat(a, &info_a) == 0 && ::stat(b, &info_b) == 0 &&
           info_a.st_dev == info_b.st_dev && info_a.st_ino == info_b.st_ino;
}

}  // namespace tolvar
