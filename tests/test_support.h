// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tolvar_test {

// Collects every diagnostic printed while it lives, and puts the settings
// back to their defaults at both ends.
class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;

    // Everything printed so far; clears what was collected.
    std::string take();

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_ = nullptr;
};

// Bytes as upper-case hexadecimal pairs separated by blanks.
std::string hex(const uint8_t* bytes, size_t count);
std::string hex(const std::string& bytes);

// A file in a fresh temporary folder, removed with the folder.
class TempFile {
public:
    explicit TempFile(const std::string& contents, const std::string& name = "test.src");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const char* path() const { return path_.c_str(); }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string path_;
};

std::string read_whole_file(const std::string& path);

// The byte-code of a script that must compile (a test failure, with the
// compiler's messages, when it does not).
std::string compiled(const std::string& script);

}  // namespace tolvar_test
