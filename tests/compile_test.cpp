#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "codegen/generator.h"
#include "context/conv_state.h"
#include "driver/compile.h"
#include "parser/statement.h"
#include "support/diag.h"
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

// A random script of label references (backward, forward, undefined) in
// statements, data references and expressions, nested in bodies.
struct ScriptMaker {
    std::mt19937 rng;
    std::string out;

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    void lines(int count, int depth)
    {
        for (int i = 0; i < count; ++i) {
            std::string label = "L" + std::to_string(pick(6));
            switch (pick(depth < 3 ? 8 : 6)) {
            case 0:
                out += label + ":\n";
                break;
            case 1:
                out += "jump " + label + "\n";
                break;
            case 2:
                out += "dprint int32 " + label + ", eval 1\n";
                break;
            case 3:
                out += "decl $var[1] := eval data(int32 " + label + ", $var[2]) + 2\n";
                break;
            case 4:
                out += pick(2) == 0 ? "\"Hi\"\n" : "bye\n";
                break;
            case 5:
                out += "if eval 1\nendif\n";  // empty body: warnings at both stages
                break;
            default:
                out += "if eval $var[0] == 1\n";
                lines(pick(3), depth + 1);
                if (pick(2) == 0) {
                    out += "else\n";
                    lines(pick(3), depth + 1);
                }
                out += "endif\n";
                break;
            }
        }
    }
};

// What parsing the whole tree and then generating it prints and produces,
// framed as the compile frames its stages.
Outcome whole_tree(const char* path, tolvar_test::DiagCapture& diag)
{
    ConvState conv;
    conv_init(conv);
    Outcome out;
    out.result = read_source(conv, path);
    if (out.result < 0) {
        report_error(-1, "read source '%s'\n", path);
    } else {
        report_info("make binary data\n");
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(conv.size) + 1]);
        int32_t end = 0;
        out.result =
            make_binary(conv.tree.get(), conv.data_labels, buffer.get(), conv.size, 0, &end);
        if (out.result < 0) {
            report_error(-1, "make binary data\n");
        } else {
            report_info("make binary data finished\n");
            out.bytes = tolvar_test::hex(buffer.get(), static_cast<size_t>(conv.size));
        }
    }
    out.messages = diag.take();
    conv_free(conv);
    return out;
}

// Generating each statement as it is parsed prints and produces what
// generating the whole tree after the parse does, whatever a reference to
// a later or missing label meets on its way out, at every verbose level.
TEST(Compile, StatementAtATimeDoesWhatTheWholeTreeDoes)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        ScriptMaker maker{std::mt19937(seed), ""};
        maker.lines(1 + maker.pick(8), 0);
        tolvar_test::TempFile file(maker.out);
        for (int verbose : {0, 1, 2}) {
            tolvar_test::DiagCapture diag;
            verbose_level = verbose;
            Outcome expected = whole_tree(file.path(), diag);
            ConvState conv;
            conv_init(conv);
            Outcome got;
            got.result = compile_file(conv, file.path());
            got.messages = diag.take();
            if (got.result == 0) {
                got.bytes = tolvar_test::hex(conv.buffer.get(), static_cast<size_t>(conv.size));
            }
            conv_free(conv);
            ASSERT_EQ(got, expected) << maker.out << "verbose " << verbose;
        }
    }
}

}  // namespace
