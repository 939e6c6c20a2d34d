// Where a write to a name really goes, and whether two names lead to one
// file. The writer and the same-file checks of both commands resolve names
// here, so a check compares the files that will really be written.
#pragma once

#include <sys/stat.h>
#include <climits>
#include <cstddef>

namespace tolvar {

struct FileTarget {
    // The name after following symbolic links one at a time (relative
    // links against the link's folder); a link that does not lead to an
    // existing file yet still names the file a write creates.
    char path[PATH_MAX];
    // Written where it is, without a temporary file: a device, pipe,
    // socket or terminal, or a file opened through /proc (as /dev/stdout
    // and /dev/fd/N are), which a rename could not replace.
    bool in_place;
    bool exists;
    struct stat info;  // when exists, links followed
};

// False for a loop, a chain that can't be read, or a name too long.
bool resolve_file_target(const char* name, FileTarget& target);

// True when writing through a and b would write one regular file (an
// existing one, or one that does not exist yet). Devices, pipes and
// terminals may take several outputs.
bool same_file(const char* a, const char* b);

// The same for a name and an open descriptor (the standard output).
bool same_file_as_descriptor(const char* name, int fd);

// Opens a target that is written in place; a descriptor or -1.
int open_in_place(const FileTarget& target);

// The length of the folder part of path, its last slash included.
size_t dir_length_of(const char* path);

}  // namespace tolvar
