// Per-stage throughput over scripts of growing size, and the decompiler's
// over their byte-code; the time per byte should stay flat (both are
// linear in their input).
// bench/run.sh measures the whole program against `wc -w`.
//
//   cmake --preset bench && cmake --build --preset bench
//   ./build/bench/bench/tolvar_bench
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codegen/generator.h"
#include "context/conv_state.h"
#include "decode/decompile.h"
#include "driver/compile.h"
#include "parser/statement.h"
#include "support/diag.h"

using namespace tolvar;

namespace {

// A script of blocks in the style of the examples, with a few labels, so
// that label lookups stay a small share as they do in real scripts.
std::string make_script(int blocks)
{
    std::string script = "start:\n";
    for (int i = 0; i < blocks; ++i) {
        script += "    \"Line of conversation text number " + std::to_string(i) + ".\"\n";
        script += "    keywords \"name,job,bye\"\n";
        script += "    if eval $var[2] * byte 10 + int16 300 == 1 && flag(0, byte 7) != 0\n";
        script += "        setf eval 0, eval byte 7\n";
        script += "        decl $var[3] := eval rand(0, byte 20) / byte 2\n";
        script += "    else\n";
        script += "        give eval byte 88, eval 0, eval 1, eval byte 40\n";
        script += "        jump start\n";
        script += "    endif\n";
        if (i % 64 == 0) {
            script += "table" + std::to_string(i) + ": .data \"entry\"\n";
            script += "    dprint int32 table" + std::to_string(i) + ", eval 1\n";
        }
    }
    return script;
}

// The script of make_script(blocks) in a temporary file, removed with it.
struct ScriptFile {
    explicit ScriptFile(int blocks)
    {
        std::string script = make_script(blocks);
        size = script.size();
        int fd = mkstemp(path);
        ok = fd >= 0 && write(fd, script.data(), size) == static_cast<ssize_t>(size);
        if (fd >= 0) {
            close(fd);
        }
    }
    ~ScriptFile() { unlink(path); }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    char path[32] = "/tmp/tolvar-bench-XXXXXX";
    size_t size = 0;
    bool ok = false;
};

// Diagnostics go nowhere while it lives.
struct Quiet {
    Quiet() { set_diag_file(sink); }
    ~Quiet()
    {
        set_diag_file(nullptr);
        std::fclose(sink);
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

    FILE* sink = std::fopen("/dev/null", "w");
};

void count_bytes(benchmark::State& state, const ScriptFile& file)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(file.size));
}

// The parse alone: the whole tree is built and kept, as the tests see it.
void BM_Parse(benchmark::State& state)
{
    ScriptFile file(static_cast<int>(state.range(0)));
    Quiet quiet;
    for (auto _ : state) {
        ConvState conv;
        if (!file.ok || read_source(conv, file.path) < 0) {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(conv.tree.get());
    }
    count_bytes(state, file);
}

// Generation alone, over a tree parsed once.
void BM_Generate(benchmark::State& state)
{
    ScriptFile file(static_cast<int>(state.range(0)));
    Quiet quiet;
    ConvState conv;
    if (!file.ok || read_source(conv, file.path) < 0) {
        state.SkipWithError("parse failed");
        return;
    }
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(conv.size)]);
    for (auto _ : state) {
        int32_t end = 0;
        if (make_binary(conv.tree.get(), conv.data_labels, buffer.get(), conv.size, 0, &end) < 0) {
            state.SkipWithError("generation failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.get());
    }
    count_bytes(state, file);
}

// The compile the command line runs: statements generated and released as
// they are parsed.
void BM_Compile(benchmark::State& state)
{
    ScriptFile file(static_cast<int>(state.range(0)));
    Quiet quiet;
    for (auto _ : state) {
        ConvState conv;
        if (!file.ok || compile_file(conv, file.path) < 0) {
            state.SkipWithError("compile failed");
            break;
        }
        benchmark::DoNotOptimize(conv.buffer.get());
    }
    count_bytes(state, file);
}

// The decompiler over the byte-code of the same scripts, texts in the
// script; bytes counted are those of the byte-code.
void BM_Decompile(benchmark::State& state)
{
    ScriptFile file(static_cast<int>(state.range(0)));
    Quiet quiet;
    ConvState conv;
    if (!file.ok || compile_file(conv, file.path) < 0) {
        state.SkipWithError("compile failed");
        return;
    }
    DecompileOptions options;
    for (auto _ : state) {
        Decompiled result;
        if (decompile(conv.buffer.get(), conv.size, options, result) < 0) {
            state.SkipWithError("decompile failed");
            break;
        }
        benchmark::DoNotOptimize(result.script.data.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * conv.size);
}

BENCHMARK(BM_Parse)->RangeMultiplier(8)->Range(64, 32768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generate)->RangeMultiplier(8)->Range(64, 32768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compile)->RangeMultiplier(8)->Range(64, 32768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decompile)->RangeMultiplier(8)->Range(64, 32768)->Unit(benchmark::kMillisecond);

}  // namespace
