// The record forms: every fault of a script is one error at a place in the
// script, and columns count characters.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "context/conv_state.h"
#include "driver/compile.h"
#include "round_trip.h"
#include "support/diag.h"
#include "test_support.h"

namespace {

struct Collected {
    std::vector<tolvar::Diagnostic> errors;
    std::vector<std::string> files;
    int warnings = 0;
};

void collect(const tolvar::Diagnostic& d, void* context)
{
    auto* collected = static_cast<Collected*>(context);
    if (d.kind == tolvar::DIAG_WARNING) {
        ++collected->warnings;
        return;
    }
    collected->errors.push_back(d);
    collected->files.emplace_back(d.where.file != nullptr ? d.where.file : "");
}

int line_count(const std::string& script)
{
    int lines = 1;
    for (char c : script) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

// Random scripts, one byte of each changed at random: a compile that fails
// gives exactly one error, in the script, on one of its lines.
TEST(Diagnostics, EveryFaultIsOneErrorAtAPlaceInTheScript)
{
    int failed = 0;
    for (int seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::string script = tolvar_test::random_script(rng, seed % 3, 1 + seed % 30, false);
        if (!script.empty()) {
            script[rng() % script.size()] = static_cast<char>(rng() % 256);
        }
        tolvar_test::DiagCapture capture;
        Collected collected;
        tolvar::set_diag_sink(collect, &collected);
        tolvar::ConvState conv;
        tolvar::conv_init(conv);
        int result = tolvar::compile_in_memory(conv, script.data(), script.size(), nullptr, 0);
        tolvar::conv_free(conv);
        EXPECT_EQ(capture.take(), "") << "a sink takes every error and warning";
        if (result == 0) {
            EXPECT_TRUE(collected.errors.empty()) << script;
            continue;
        }
        ++failed;
        ASSERT_EQ(collected.errors.size(), 1u) << "seed " << seed << "\n" << script;
        const tolvar::Diagnostic& d = collected.errors[0];
        EXPECT_EQ(collected.files[0], "script") << "seed " << seed << ": " << d.message;
        EXPECT_GE(d.where.line, 1) << "seed " << seed << ": " << d.message << "\n" << script;
        EXPECT_LE(d.where.line, line_count(script)) << "seed " << seed << ": " << d.message;
        EXPECT_STRNE(d.message, "") << "seed " << seed;
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(failed, 40);  // the changed byte breaks a good share of them
}

TEST(Diagnostics, ColumnsCountCharacters)
{
    struct Case {
        const char* line;
        int at;  // byte offset
        int column;
    };
    const Case cases[] = {
        {"bye", 0, 1},
        {"\tbye", 1, 2},                       // a tab is one column
        {"\"{\x82\xA0\x82\xA0}\" x", 9, 8},    // each double-byte character is one
        {"\"{\x82\xA0}\" tr\xC3\xA8s", 10, 10},  // bytes that pair as no character count alone
        {"\x82", 1, 2},                        // a lead byte that ends the line
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tolvar::diag_column(c.line, c.line + c.at), c.column) << c.line;
    }
}

}  // namespace
