#include "support/file_target.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/faults.h"

namespace tolvar {

namespace {

constexpr int MAX_LINK_HOPS = 40;
constexpr long PROC_FILESYSTEM = 0x9FA0;

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

// A link in /proc (behind /dev/stdout and /dev/fd/N) names an open file,
// which may be a pipe, a deleted file or no file at all: its link text is
// a description, not a path to follow.
bool in_proc_folder(const char* path)
{
    char dir[PATH_MAX];
    size_t length = dir_length_of(path);
    if (!join_path(dir, path, length, length == 0 ? "." : "")) {
        return false;
    }
    struct statfs info;
    return ::statfs(dir, &info) == 0 && info.f_type == PROC_FILESYSTEM;
}

// Follows the chain in target.path; false for a loop or an unreadable link.
bool follow_links(FileTarget& target)
{
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        struct stat info;
        if (::lstat(target.path, &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        if (in_proc_folder(target.path)) {
            target.in_place = true;
            return true;
        }
        char link[PATH_MAX];
        ssize_t length = ::readlink(target.path, link, sizeof link - 1);
        if (length < 0) {
            return false;
        }
        link[length] = '\0';
        size_t dir_length = link[0] == '/' ? 0 : dir_length_of(target.path);
        if (!join_path(target.path, target.path, dir_length, link)) {
            return false;
        }
    }
    return false;
}

// The canonical folder plus the name: one spelling for every way of naming
// a file that does not exist yet. Empty when the folder can't be resolved.
void canonical_name(const char* path, char* out)
{
    out[0] = '\0';
    size_t dir_length = dir_length_of(path);
    char dir[PATH_MAX];
    if (!join_path(dir, path, dir_length, dir_length == 0 ? "." : "")) {
        return;
    }
    char real[PATH_MAX];
    if (::realpath(dir, real) == nullptr) {
        return;
    }
    size_t real_length = std::strlen(real);
    if (real_length + 1 < PATH_MAX && real[real_length - 1] != '/') {
        real[real_length++] = '/';
    }
    if (!join_path(out, real, real_length, path + dir_length)) {
        out[0] = '\0';
    }
}

bool same_regular_file(const struct stat& a, const struct stat& b)
{
    return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A socket can't be opened through /proc: when the name is one of this
// process's own descriptors, a copy of that descriptor serves.
int copy_of_own_descriptor(const char* path)
{
    const char* last = path + dir_length_of(path);
    char* end = nullptr;
    long number = std::strtol(last, &end, 10);
    if (end == last || *end != '\0' || number < 0 || number > INT_MAX) {
        return -1;
    }
    int fd = static_cast<int>(number);
    struct stat by_name;
    struct stat by_descriptor;
    if (::stat(path, &by_name) != 0 || ::fstat(fd, &by_descriptor) != 0 ||
        by_name.st_dev != by_descriptor.st_dev || by_name.st_ino != by_descriptor.st_ino) {
        return -1;
    }
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

}  // namespace

size_t dir_length_of(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
}

int open_in_place(const FileTarget& target)
{
    if (io_should_fail()) {
        return -1;
    }
    int fd = ::open(target.path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENXIO) {
        fd = copy_of_own_descriptor(target.path);
    }
    return fd;
}

bool resolve_file_target(const char* name, FileTarget& target)
{
    target.in_place = false;
    target.exists = false;
    if (name[0] == '\0' || !join_path(target.path, "", 0, name) || !follow_links(target)) {
        return false;
    }
    target.exists = ::stat(target.path, &target.info) == 0;
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        target.in_place = true;
    }
    return true;
}

bool same_file(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr) {
        return false;
    }
    FileTarget ta;
    FileTarget tb;
    if (!resolve_file_target(a, ta) || !resolve_file_target(b, tb)) {
        return false;
    }
    if (ta.exists || tb.exists) {
        return ta.exists && tb.exists && same_regular_file(ta.info, tb.info);
    }
    if (ta.in_place || tb.in_place) {
        return false;
    }
    char name_a[PATH_MAX];
    char name_b[PATH_MAX];
    canonical_name(ta.path, name_a);
    canonical_name(tb.path, name_b);
    return name_a[0] != '\0' && std::strcmp(name_a, name_b) == 0;
}

bool same_file_as_descriptor(const char* name, int fd)
{
    FileTarget target;
    struct stat info;
    return name != nullptr && resolve_file_target(name, target) && target.exists &&
           ::fstat(fd, &info) == 0 && same_regular_file(target.info, info);
}

}  // namespace tolvar
