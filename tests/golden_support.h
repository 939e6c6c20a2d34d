// Running the built compiler from tests.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "case_file.h"

namespace golden {

struct RunResult {
    int status = 0;  // exit status, or -1 when a signal ended the run
    int signal = 0;
    std::string out;
    std::string err;
};

// Starts program in dir with its standard output and error going to the
// files named; fsize_limit >= 0 caps the size of the files it may write.
pid_t start_program(const char* program, const std::string& dir,
                    const std::vector<std::string>& args, const std::string& out_path,
                    const std::string& err_path, long fsize_limit);

// Runs the compiler (or another program) with args in dir; fsize_limit >=
// 0 caps the size of the files it may write.
RunResult run_tolvar(const std::string& dir, const std::vector<std::string>& args,
                     long fsize_limit = -1, const char* program = TOLVAR_BINARY);

// An empty folder, removed with everything in it at the end of its scope.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    void put(const std::string& name, const std::string& bytes) const;
    std::string path;
};

// The files below dir, as paths relative to it.
std::set<std::string> list_files(const std::string& dir);

}  // namespace golden
