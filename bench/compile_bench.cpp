// Compile throughput over scripts of growing size; the time per byte of
// script should stay flat (the compile is linear in the script's size).
//
//   cmake --preset bench && cmake --build --preset bench
//   ./build/bench/bench/tolvar_bench
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codegen/generator.h"
#include "labels/conv_state.h"
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

void BM_Compile(benchmark::State& state)
{
    std::string script = make_script(static_cast<int>(state.range(0)));
    char path[] = "/tmp/tolvar-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, script.data(), script.size()) != static_cast<ssize_t>(script.size())) {
        state.SkipWithError("can't write the script");
        return;
    }
    close(fd);
    FILE* quiet = std::fopen("/dev/null", "w");
    set_diag_file(quiet);
    for (auto _ : state) {
        ConvState conv;
        conv_init(conv);
        if (read_source(conv, path) < 0) {
            state.SkipWithError("parse failed");
            break;
        }
        conv.buffer = try_new_array<uint8_t>(static_cast<size_t>(conv.size));
        int32_t end = 0;
        if (make_binary(conv.tree.get(), conv.data_labels, conv.buffer.get(), conv.size, 0, &end) <
            0) {
            state.SkipWithError("generation failed");
            break;
        }
        benchmark::DoNotOptimize(conv.buffer.get());
        conv_free(conv);
    }
    set_diag_file(nullptr);
    std::fclose(quiet);
    unlink(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(script.size()));
}

BENCHMARK(BM_Compile)->RangeMultiplier(8)->Range(64, 32768)->Unit(benchmark::kMillisecond);

}  // namespace
