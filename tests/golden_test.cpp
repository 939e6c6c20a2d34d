// End-to-end tests: run the built compiler on small cases kept in
// tests/golden/*.case and compare exit status, standard error, standard
// output (always empty) and the files the run leaves behind.
//
// A case file is a list of sections, each opened by a line "== KIND [NAME]":
//   args            one command-line argument per line
//   file NAME       an input file, each line ended by LF
//   file-hex NAME   an input file given as hexadecimal bytes
//   example NAME    an input file copied from examples/
//   status          the expected exit status
//   stderr          the expected standard error, each line ended by LF
//   output NAME     an expected file, as hexadecimal bytes
//   expect NAME     an expected file, each line ended by LF
//   fsize-limit N   the largest file the run may write, in bytes (the
//                   captured standard error counts too)
//   program         tolvar-decompile to run the decompiler instead
//   stdout          the expected standard output (empty when not given)
// Lines before the first section and "#" comments in hex sections are
// ignored. The run happens in an empty folder holding only the inputs;
// afterwards that folder must hold exactly the inputs and the expected
// files, so a failed run that leaves any output behind fails the case.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "golden_support.h"

namespace fs = std::filesystem;

namespace golden {

pid_t start_program(const char* program, const std::string& dir,
                    const std::vector<std::string>& args, const std::string& out_path,
                    const std::string& err_path, long fsize_limit)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(126);
        }
        if (fsize_limit >= 0) {
            struct rlimit limit = {static_cast<rlim_t>(fsize_limit),
                                   static_cast<rlim_t>(fsize_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_DFL);  // the compiler must cope on its own
        }
        alarm(60);  // a hang becomes a failure, not a stuck suite
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program));
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    return pid;
}

RunResult run_tolvar(const std::string& dir, const std::vector<std::string>& args, long fsize_limit,
                     const char* program)
{
    std::string out_path = dir + ".stdout";
    std::string err_path = dir + ".stderr";
    pid_t pid = start_program(program, dir, args, out_path, err_path, fsize_limit);
    RunResult result;
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    if (WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    } else {
        result.status = -1;
        result.signal = WTERMSIG(wait_status);
    }
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return result;
}

std::set<std::string> list_files(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_directory()) {
            names.insert(fs::relative(entry.path(), dir).string());
        }
    }
    return names;
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "tolvar-golden-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = buffer.data();
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void ScratchDir::put(const std::string& name, const std::string& bytes) const
{
    fs::path file = fs::path(path) / name;
    fs::create_directories(file.parent_path());
    write_file(file.string(), bytes);
}

}  // namespace golden

namespace {

using golden::from_hex;
using golden::to_hex;

struct Case {
    std::string name;
    std::vector<std::string> args;
    std::map<std::string, std::string> inputs;
    std::map<std::string, std::string> outputs;
    int status = -1;
    bool has_stderr = false;
    std::string out;
    const char* program = TOLVAR_BINARY;
    std::string err;
    long fsize_limit = -1;
};

Case parse_case(const std::string& path)
{
    Case c;
    c.name = fs::path(path).stem().string();
    bool has_status = false;
    for (const golden::CaseSection& section : golden::read_sections(golden::read_file(path))) {
        const std::string& kind = section.kind;
        const std::string& name = section.name;
        std::string body = golden::joined_lines(section.lines);
        if (kind == "args") {
            c.args = section.lines;
        } else if (kind == "file") {
            c.inputs[name] = body;
        } else if (kind == "file-hex") {
            c.inputs[name] = from_hex(body);
        } else if (kind == "example") {
            std::string example = std::string(EXAMPLES_DIR) + "/" + name;
            if (!fs::exists(example)) {
                throw std::runtime_error(path + ": no example '" + name + "'");
            }
            c.inputs[name] = golden::read_file(example);
        } else if (kind == "status") {
            c.status = std::stoi(body);
            has_status = true;
        } else if (kind == "stderr") {
            c.err = body;
            c.has_stderr = true;
        } else if (kind == "output") {
            c.outputs[name] = from_hex(body);
        } else if (kind == "expect") {
            c.outputs[name] = body;
        } else if (kind == "stdout") {
            c.out = body;
        } else if (kind == "program") {
            if (body != "tolvar-decompile\n") {
                throw std::runtime_error(path + ": unknown program");
            }
            c.program = TOLVAR_DECOMPILE_BINARY;
        } else if (kind == "fsize-limit") {
            c.fsize_limit = std::stol(body);
        } else {
            throw std::runtime_error(path + ": unknown section '" + kind + "'");
        }
    }
    if (!has_status || !c.has_stderr) {
        throw std::runtime_error(path + ": a case needs a status and a stderr section");
    }
    return c;
}

std::vector<std::string> case_files()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR)) {
        if (entry.path().extension() == ".case") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class GoldenTest : public testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, Matches)
{
    Case c = parse_case(GetParam());
    golden::ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) {
        dir.put(name, bytes);
    }
    golden::RunResult run = golden::run_tolvar(dir.path, c.args, c.fsize_limit, c.program);

    EXPECT_EQ(run.signal, 0) << "killed by signal " << run.signal;
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, c.out);

    std::set<std::string> expected_files;
    for (const auto& entry : c.inputs) {
        expected_files.insert(entry.first);
    }
    for (const auto& [name, bytes] : c.outputs) {
        std::string path = fs::path(name).is_absolute() ? name : dir.path + "/" + name;
        if (!fs::path(name).is_absolute()) {
            expected_files.insert(name);
        }
        ASSERT_TRUE(fs::exists(path)) << name << " was not written";
        EXPECT_EQ(to_hex(golden::read_file(path)), to_hex(bytes)) << "in " << name;
    }
    EXPECT_EQ(golden::list_files(dir.path), expected_files);
}

std::string case_name(const testing::TestParamInfo<std::string>& info)
{
    std::string name = fs::path(info.param).stem().string();
    for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, testing::ValuesIn(case_files()), case_name);

// Too large to keep as a case file: a script nested 100000 deep must end in
// a clear message, not a crash.
TEST(GoldenGenerated, DeepNestingIsRefused)
{
    std::string script;
    for (int i = 0; i < 100000; ++i) {
        script += "if eval 1\n";
    }
    for (int i = 0; i < 100000; ++i) {
        script += "endif\n";
    }
    golden::ScratchDir dir;
    dir.put("test.src", script);
    golden::RunResult run = golden::run_tolvar(dir.path, {"test.src"});
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "INFO: read source code from 'test.src'\n"
              "ERROR(3102): line 1001: 'if' nested too deep: max=1000\n"
              "ERROR(585): parse source code 'test.src'\n"
              "ERROR: read source 'test.src'\n");
    EXPECT_EQ(golden::list_files(dir.path), std::set<std::string>{"test.src"});
}

}  // namespace

namespace {

// Starts the compiler in dir without waiting for it; its messages are lost.
pid_t start_tolvar(const std::string& dir, const std::vector<std::string>& args)
{
    return golden::start_program(TOLVAR_BINARY, dir, args, "/dev/null", "/dev/null", -1);
}

// Two compiles writing one output at the same time: whoever reads the file,
// while they run or after, finds one complete result, never a mix or a
// part of one.
TEST(GoldenGenerated, ConcurrentCompilesLeaveOneCompleteResult)
{
    golden::ScratchDir dir;
    std::string a;
    std::string b;
    for (int i = 0; i < 20000; ++i) {
        a += "bye\n";
        b += "sleep\nsleep\n";
    }
    dir.put("a.src", a);
    dir.put("b.src", b);
    const std::string out = dir.path + "/out.bin";
    const std::string bytes_a(20000, '\xB6');
    const std::string bytes_b(40000, '\x9E');
    for (int round = 0; round < 10; ++round) {
        pid_t first = start_tolvar(dir.path, {"a.src", "-o", "out.bin"});
        pid_t second = start_tolvar(dir.path, {"b.src", "-o", "out.bin"});
        int running = 2;
        while (running > 0) {
            if (fs::exists(out)) {
                std::string seen = golden::read_file(out);
                ASSERT_TRUE(seen == bytes_a || seen == bytes_b)
                    << "round " << round << ": " << seen.size() << " bytes";
            }
            int status = 0;
            for (pid_t pid : {first, second}) {
                if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                    (pid == first ? first : second) = -1;
                    --running;
                }
            }
        }
        std::string final_bytes = golden::read_file(out);
        EXPECT_TRUE(final_bytes == bytes_a || final_bytes == bytes_b);
        EXPECT_EQ(golden::list_files(dir.path),
                  (std::set<std::string>{"a.src", "b.src", "out.bin"}));
    }
}

}  // namespace
