#include <gtest/gtest.h>

#include <string>

#include "codegen/generator.h"
#include "driver/streamed_compile.h"
#include "labels/conv_state.h"
#include "parser/statement.h"
#include "support/faults.h"
#include "support/settings.h"
#include "test_support.h"

using namespace tolvar;

namespace {

// What a compile printed and produced, and the settings it left.
struct Outcome {
    int result = 0;
    std::string messages;
    std::string bytes;
    int game = 0;

    bool operator==(const Outcome&) const = default;
};

Outcome finish(ConvState& conv, int result, tolvar_test::DiagCapture& diag)
{
    Outcome out;
    out.result = result;
    out.messages = diag.take();
    if (result == 0) {
        out.bytes = tolvar_test::hex(conv.buffer.get(), static_cast<size_t>(conv.size));
    }
    out.game = game_type;
    conv_free(conv);
    return out;
}

int staged_stages(ConvState& conv, const char* path)
{
    return read_source(conv, path) < 0 || generate_binary(conv) < 0 ? -1 : 0;
}

// The stages one after the other, with the n-th allocation failing.
Outcome staged(const char* path, long failing)
{
    tolvar_test::DiagCapture diag;
    ConvState conv;
    set_alloc_failure(failing);
    return finish(conv, staged_stages(conv, path), diag);
}

// As the command line compiles: streamed, or staged when that gives way.
Outcome streamed(const char* path, long failing)
{
    tolvar_test::DiagCapture diag;
    ConvState conv;
    set_alloc_failure(failing);
    int result = compile_streamed(conv, path) ? 0 : staged_stages(conv, path);
    return finish(conv, result, diag);
}

// For every allocation that may fail (and none), the streamed compile
// prints and produces what the stages print and produce, also where it
// has to give way after `.option` lines, held-back messages and failure
// hooks have moved on.
TEST(StreamedCompile, DoesWhatTheStagesDo)
{
    const char* scripts[] = {
        // forward and backward references, bodies, an empty body's warnings
        "\"Hi\"\ntop: if eval flag(0, byte 7) == 0 && $var[1] > 8\n  jump later\n"
        "else\n  dprint int32 names, eval 1\nendif\nif eval 1\nendif\n"
        "later: decl $var[2] := eval data(int32 NAMES, 1) + 1\njump TOP\n"
        "names: .data \"a\"\n.data 300\nenddata\n",
        // options that change the game, then a label defined nowhere
        ".option --md --implicit-eval\nmisc_action 1\nsetf 0, 1\njump nowhere\n",
        "\xEF\xBB\xBF\"{\x82\xA0}\"\nx: y:\n",  // a byte order mark; a stray name
        "a: \"x\"\nA: \"y\"\n",                 // a repeated label
        "a:\nb:\n",                             // labels alone: no bytes
        "; only a comment\n",                   // no code
    };
    for (const char* script : scripts) {
        tolvar_test::TempFile file(script);
        Outcome clean = staged(file.path(), 0);
        EXPECT_EQ(streamed(file.path(), 0), clean) << script;
        for (long failing = 1; failing < 200; ++failing) {
            Outcome expected = staged(file.path(), failing);
            ASSERT_EQ(streamed(file.path(), failing), expected) << script << " failing " << failing;
            if (expected == clean) {
                break;  // past the last allocation
            }
        }
    }
}

}  // namespace
