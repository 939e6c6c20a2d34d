// Runs a fuzz target over corpus files and folders, without a fuzzer: so
// that every test run, built with any compiler, replays the seeds and the
// inputs that once failed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::recursive_directory_iterator(argv[i])) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    files.push_back(entry.path().string());
                }
            }
        } else if (fs::exists(argv[i])) {
            files.push_back(argv[i]);
        } else {
            // As libFuzzer does: a corpus that is not there is a fault of
            // the set-up, not an empty run.
            std::fprintf(stderr, "No such file or directory: %s; exiting\n", argv[i]);
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
