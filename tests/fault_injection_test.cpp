// Both tools, run in process on a realistic input, with the n-th allocation
// or the n-th read or write failing, for every n until the run succeeds:
// each failure ends in one clear message and exit status 1, leaks nothing
// (the sanitizer build checks) and leaves no output, no temporary file and
// the old output as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/decompile_driver.h"
#include "driver/driver.h"
#include "support/faults.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct Tool {
    const char* name;
    int (*main)(int, char**);
};

const Tool COMPILER = {"tolvar", tolvar::tolvar_main};
const Tool DECOMPILER = {"tolvar-decompile", tolvar::decompile_main};

std::set<std::string> files_in(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

int count_lines_with(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A folder with the oracle example (script, texts, and its byte-code);
// padded, the files span several blocks of the readers, so that a read can
// fail in the middle of a file.
struct Workspace {
    tolvar_test::TempFile script;
    std::string dir;
    explicit Workspace(int padding_lines = 0)
        : script(read_example("oracle.src") + padding(padding_lines), "oracle.src"),
          dir(script.dir())
    {
        put("oracle.txt", read_example("oracle.txt"));
    }
    static std::string padding(int lines)
    {
        std::string text;
        for (int i = 0; i < lines; ++i) {
            text += "        \"A line of text to make the files long, number " + std::to_string(i) +
                    ".\"\n";
        }
        return text;
    }
    static std::string read_example(const char* name)
    {
        return tolvar_test::read_whole_file(std::string(EXAMPLES_DIR) + "/" + name);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
    void put(const char* name, const std::string& bytes) const
    {
        FILE* file = std::fopen(path(name).c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
};

struct Run {
    int status;
    std::string messages;
};

// Runs the tool in process with the failure injection armed by arm.
Run run_tool(const Tool& tool, std::vector<std::string> args, void (*arm)(long), long n)
{
    tolvar_test::DiagCapture diag;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.name));
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    arm(n);
    int status = tool.main(static_cast<int>(argv.size() - 1), argv.data());
    tolvar::set_alloc_failure(0);
    tolvar::set_io_failure(0);
    return {status, diag.take()};
}

std::vector<std::string> compile_args(const Workspace& ws, const char* output)
{
    return {"-t", ws.path("oracle.txt"), ws.path("oracle.src"), "-o", ws.path(output)};
}

std::vector<std::string> decompile_args(const Workspace& ws, const char* output)
{
    return {"--md", ws.path("oracle.bin"), "-t", ws.path("texts.txt"), "-o", ws.path(output)};
}

void make_binary(const Workspace& ws)
{
    ASSERT_EQ(
        run_tool(COMPILER, compile_args(ws, "oracle.bin"), tolvar::set_alloc_failure, 0).status, 0);
}

// Every allocation fails once: one memory message each time, no output.
void fail_every_allocation(const Tool& tool, const Workspace& ws,
                           const std::vector<std::string>& args, const char* output, long at_least)
{
    std::set<std::string> before = files_in(ws.dir);
    long n = 1;
    for (;; ++n) {
        Run run = run_tool(tool, args, tolvar::set_alloc_failure, n);
        if (run.status == 0) {
            break;
        }
        ASSERT_EQ(count_lines_with(run.messages, "memory exhausted!"), 1)
            << tool.name << " allocation " << n << ":\n"
            << run.messages;
        ASSERT_EQ(files_in(ws.dir), before) << tool.name << " allocation " << n;
    }
    EXPECT_GT(n, at_least) << tool.name;  // the input is realistic: many allocations
    EXPECT_TRUE(fs::exists(ws.path(output)));
}

TEST(FaultInjection, CompilerFailsCleanlyAtEveryAllocation)
{
    Workspace ws;
    fail_every_allocation(COMPILER, ws, compile_args(ws, "out.bin"), "out.bin", 100);
}

TEST(FaultInjection, DecompilerFailsCleanlyAtEveryAllocation)
{
    Workspace ws;
    make_binary(ws);
    fail_every_allocation(DECOMPILER, ws, decompile_args(ws, "out.src"), "out.src", 5);
}

// Every read and write fails once: a message, status 1, the old output
// whole, no temporary file.
void fail_every_io_call(const Tool& tool, const Workspace& ws, const std::vector<std::string>& args,
                        const char* output)
{
    ws.put(output, "old output");
    std::set<std::string> before = files_in(ws.dir);
    long n = 1;
    for (;; ++n) {
        Run run = run_tool(tool, args, tolvar::set_io_failure, n);
        if (run.status == 0) {
            break;
        }
        ASSERT_NE(run.messages.find("ERROR"), std::string::npos) << tool.name << " call " << n;
        ASSERT_EQ(tolvar_test::read_whole_file(ws.path(output)), "old output")
            << tool.name << " call " << n << ":\n"
            << run.messages;
        ASSERT_EQ(files_in(ws.dir), before) << tool.name << " call " << n;
    }
    EXPECT_GT(n, 5) << tool.name;  // reads, and every step of the writes
    EXPECT_NE(tolvar_test::read_whole_file(ws.path(output)), "old output");
}

// Over 64 KB of script and of byte-code: more than one block of each reader.
constexpr int PADDING_LINES = 1500;

TEST(FaultInjection, CompilerKeepsTheOldOutputWhenAnyReadOrWriteFails)
{
    Workspace ws(PADDING_LINES);
    fail_every_io_call(COMPILER, ws, compile_args(ws, "out.bin"), "out.bin");
}

TEST(FaultInjection, DecompilerKeepsTheOldOutputWhenAnyReadOrWriteFails)
{
    Workspace ws(PADDING_LINES);
    make_binary(ws);
    ws.put("texts.txt", "old texts");
    // The text file is written first: when the script fails after it, the
    // script is the old one, and so is the text file for a failure before.
    fail_every_io_call(DECOMPILER, ws, decompile_args(ws, "out.src"), "out.src");
}

}  // namespace
