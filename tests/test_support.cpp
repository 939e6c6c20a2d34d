#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "round_trip.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/settings.h"

namespace tolvar_test {

DiagCapture::DiagCapture()
{
    tolvar::settings_reset();
    tolvar::diag_reset();
    tolvar::set_alloc_failure(0);
    stream_ = open_memstream(&buffer_, &size_);
    tolvar::set_diag_file(stream_);
}

DiagCapture::~DiagCapture()
{
    tolvar::set_diag_file(nullptr);
    std::fclose(stream_);
    std::free(buffer_);
    tolvar::settings_reset();
    tolvar::set_alloc_failure(0);
}

std::string DiagCapture::take()
{
    std::fflush(stream_);
    std::string text(buffer_, size_);
    std::rewind(stream_);
    std::fflush(stream_);
    return text;
}

std::string hex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string hex(const std::string& bytes)
{
    return hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TempFile::TempFile(const std::string& contents, const std::string& name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvar-unit-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = buffer.data();
    path_ = dir_ + "/" + name;
    std::ofstream out(path_, std::ios::binary);
    out << contents;
}

TempFile::~TempFile()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string read_whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string compiled(const std::string& script)
{
    std::string binary;
    std::string messages;
    EXPECT_TRUE(compile_script(script, nullptr, binary, &messages)) << messages;
    return binary;
}

}  // namespace tolvar_test
