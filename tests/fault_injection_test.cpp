// The tools, run in process on a realistic input, with the n-th allocation
// or the n-th read or write failing, for every n until the run succeeds:
// each failure ends in one clear message and exit status 1, leaks nothing
// (the sanitizer build checks) and leaves no output, no temporary file and
// the old output as it was.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/decompile_driver.h"
#include "driver/driver.h"
#include "driver/text_driver.h"
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
const Tool TEXT_TOOL = {"tolvar-text", tolvar::text_main};

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

// Every read and write fails once: a message, status 1, every old output
// whole, no temporary file.
void fail_every_io_call(const Tool& tool, const Workspace& ws, const std::vector<std::string>& args,
                        const std::vector<const char*>& outputs)
{
    for (const char* output : outputs) {
        ws.put(output, std::string("old ") + output);
    }
    std::set<std::string> before = files_in(ws.dir);
    long n = 1;
    for (;; ++n) {
        Run run = run_tool(tool, args, tolvar::set_io_failure, n);
        if (run.status == 0) {
            break;
        }
        ASSERT_NE(run.messages.find("ERROR"), std::string::npos) << tool.name << " call " << n;
        for (const char* output : outputs) {
            ASSERT_EQ(tolvar_test::read_whole_file(ws.path(output)), std::string("old ") + output)
                << tool.name << " call " << n << ":\n"
                << run.messages;
        }
        ASSERT_EQ(files_in(ws.dir), before) << tool.name << " call " << n;
    }
    EXPECT_GT(n, 5) << tool.name;  // reads, and every step of the writes
    for (const char* output : outputs) {
        EXPECT_NE(tolvar_test::read_whole_file(ws.path(output)), std::string("old ") + output);
    }
}

// Over 64 KB of script and of byte-code: more than one block of each reader.
constexpr int PADDING_LINES = 1500;

TEST(FaultInjection, CompilerKeepsTheOldOutputWhenAnyReadOrWriteFails)
{
    Workspace ws(PADDING_LINES);
    fail_every_io_call(COMPILER, ws, compile_args(ws, "out.bin"), {"out.bin"});
}

TEST(FaultInjection, DecompilerKeepsTheOldOutputWhenAnyReadOrWriteFails)
{
    Workspace ws(PADDING_LINES);
    make_binary(ws);
    // The script and its texts are a pair: a failure anywhere keeps both.
    fail_every_io_call(DECOMPILER, ws, decompile_args(ws, "out.src"), {"out.src", "texts.txt"});
}

std::vector<std::string> extract_args(const Workspace& ws)
{
    return {"extract", "-t", ws.path("new.txt"), "-o", ws.path("out.src"), ws.path("oracle.src")};
}

std::vector<std::string> to_po_args(const Workspace& ws)
{
    return {"to-po", "-t", ws.path("oracle.txt"), "-o", ws.path("out.po"), ws.path("oracle.src")};
}

std::vector<std::string> from_po_args(const Workspace& ws)
{
    return {"from-po", "-t", ws.path("oracle.txt"), "-o", ws.path("out.txt"), ws.path("in.po")};
}

void make_po(const Workspace& ws)
{
    std::vector<std::string> args = to_po_args(ws);
    args[4] = ws.path("in.po");
    ASSERT_EQ(run_tool(TEXT_TOOL, args, tolvar::set_alloc_failure, 0).status, 0);
}

TEST(FaultInjection, TextToolFailsCleanlyAtEveryAllocation)
{
    Workspace ws;
    make_po(ws);
    fail_every_allocation(TEXT_TOOL, ws, extract_args(ws), "out.src", 20);
    fail_every_allocation(TEXT_TOOL, ws, to_po_args(ws), "out.po", 5);
    fail_every_allocation(TEXT_TOOL, ws, from_po_args(ws), "out.txt", 5);
}

TEST(FaultInjection, TextToolKeepsTheOldOutputWhenAnyReadOrWriteFails)
{
    Workspace ws(PADDING_LINES);
    make_po(ws);
    // The script and its texts are a pair, as the decompiler's.
    fail_every_io_call(TEXT_TOOL, ws, extract_args(ws), {"out.src"});
    fail_every_io_call(TEXT_TOOL, ws, to_po_args(ws), {"out.po"});
    fail_every_io_call(TEXT_TOOL, ws, from_po_args(ws), {"out.txt"});
}

// A signal while either temporary file of the pair exists removes both and
// keeps the old pair.
TEST(FaultInjection, InterruptedDecompileKeepsTheOldPair)
{
    Workspace ws;
    make_binary(ws);
    for (int interrupted_at : {1, 2}) {
        ws.put("out.src", "old script");
        ws.put("texts.txt", "old texts");
        std::set<std::string> before = files_in(ws.dir);
        pid_t child = fork();
        if (child == 0) {
            static int countdown;
            countdown = interrupted_at;
            tolvar::set_temp_created_hook([] {
                if (--countdown == 0) {
                    raise(SIGTERM);
                }
            });
            _exit(run_tool(DECOMPILER, decompile_args(ws, "out.src"), tolvar::set_io_failure, 0)
                      .status);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << interrupted_at;
        EXPECT_EQ(tolvar_test::read_whole_file(ws.path("out.src")), "old script");
        EXPECT_EQ(tolvar_test::read_whole_file(ws.path("texts.txt")), "old texts");
        EXPECT_EQ(files_in(ws.dir), before) << interrupted_at;
    }
}

// A command started with a standard descriptor closed must not let the
// first file it opens take that descriptor's place.
TEST(FaultInjection, ClosedStandardDescriptorsTakeNoFile)
{
    struct Case {
        const Tool* tool;
        int closed;
        std::vector<std::string> (*args)(const Workspace&);
        const char* file;      // a file the run writes
        const char* expected;  // what it must hold
    };
    const Case cases[] = {
        // The error log must keep the messages of a failed compile.
        {&COMPILER, STDERR_FILENO,
         [](const Workspace& ws) {
             return std::vector<std::string>{ws.path("bad.src"), "-E", ws.path("log.txt")};
         },
         "log.txt", "ERROR"},
        // The text file must not take the script meant for the standard output.
        {&DECOMPILER, STDOUT_FILENO,
         [](const Workspace& ws) {
             return std::vector<std::string>{"--md", ws.path("oracle.bin"), "-t",
                                             ws.path("texts.txt")};
         },
         "texts.txt", "T0000_0001"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        make_binary(ws);
        ws.put("bad.src", "wroktype\n");
        pid_t child = fork();
        if (child == 0) {
            close(c.closed);
            std::vector<std::string> args = c.args(ws);
            std::vector<char*> argv{const_cast<char*>(c.tool->name)};
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            _exit(c.tool->main(static_cast<int>(argv.size() - 1), argv.data()));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        std::string written = tolvar_test::read_whole_file(ws.path(c.file));
        EXPECT_NE(written.find(c.expected), std::string::npos) << c.file << ":\n" << written;
        EXPECT_EQ(written.find(".option"), std::string::npos) << c.file << ":\n" << written;
    }
}

}  // namespace
