// The one writer of output files, for the byte-code, scripts and texts.
//
// A regular file (or a new one) is written beside the target under a
// temporary name and renamed over it once complete, so the target is
// always either the old file or the whole new one, also when the write
// fails or the process is interrupted. Outputs that belong together are
// renamed together, once all of them are complete. Symbolic links are
// followed to the file they name, which is created if it does not exist
// yet; devices, pipes, terminals and files opened through /proc are
// written in place. A replaced file keeps its mode, and its owner where
// the writer may give it; where not, it loses setuid and setgid.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvar {

// The messages a caller's failures are reported under.
struct WriteCodes {
    int open;   // "can't open '%s'"
    int write;  // "can't write '%s'"
};

// One output while it is written. Until output_commit, the target is
// untouched (unless it is written in place); dropping the record removes
// the temporary file.
struct OutputFile {
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const char* name = nullptr;  // as given, for the messages
    WriteCodes codes = {0, 0};
    int fd = -1;
    int slot = -1;  // the temporary file's, or -1 when written in place
};

// Each returns 0, or -1 after the message.
int output_open(OutputFile& out, const char* name, WriteCodes codes);
int output_write(OutputFile& out, const uint8_t* data, size_t size);
// Completes every file, then renames them into place with interrupting
// signals held back between the renames; on a failure before the renames
// every target stays as it was.
int output_commit(OutputFile* const* files, int count);

// One whole output at once.
int write_file_safely(const char* path, const uint8_t* data, size_t size, WriteCodes codes);

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null where they are
// closed), so no file a command opens takes their place.
void open_standard_descriptors();

}  // namespace tolvar
