#include <gtest/gtest.h>

#include <string>

#include "context/conv_state.h"
#include "driver/compile.h"
#include "support/settings.h"
#include "test_support.h"

using namespace tolvar;

namespace {

struct Outcome {
    int result = 0;
    std::string messages;
    std::string bytes;

    bool operator==(const Outcome&) const = default;
};

Outcome compile(const std::string& script, tolvar_test::DiagCapture& diag)
{
    ConvState conv;
    conv_init(conv);
    Outcome out;
    out.result = compile_in_memory(conv, script.data(), script.size(), nullptr, 0);
    out.messages = diag.take();
    if (out.result == 0) {
        out.bytes = tolvar_test::hex(conv.buffer.get(), static_cast<size_t>(conv.size));
    }
    conv_free(conv);
    return out;
}

// A compile leaves nothing behind for the next one in the process: not
// the settings of its `.option` lines, nor those of a compile that failed
// half-way, nor its held messages or the depth of its traces.
TEST(Compile, SecondScriptIsUnaffectedByTheFirst)
{
    const char* firsts[] = {
        ".option --md --implicit-eval --implicit-int32\nmisc_action 1\n",
        ".option --se --endif-without-if\nendif\nif 1\n",    // fails in the parse
        ".option --md\nif eval 1\n  jump nowhere\nendif\n",  // fails at the end
    };
    // Bytes that depend on the game, an implicit form, and nested traces.
    const std::string second = "end\nif eval 1 + 2\n  \"Hi\"\nendif\n";
    for (int verbose : {0, 2}) {
        tolvar_test::DiagCapture diag;
        verbose_level = verbose;
        Outcome alone = compile(second, diag);
        for (const char* first : firsts) {
            compile(first, diag);
            EXPECT_EQ(game_type, GAME_U6) << first;
            EXPECT_EQ(compile(second, diag), alone) << first;
        }
    }
}

}  // namespace
