// The decompiler's promise: every byte-code, for every game type, comes
// back as a script that compiles to the same bytes; what the compiler wrote
// comes back as statements, not raw bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "case_file.h"
#include "round_trip.h"
#include "test_support.h"

namespace fs = std::filesystem;
using tolvar_test::hex_dump;
using tolvar_test::round_trip;
using tolvar_test::RoundTrip;

namespace {

// Seeded runs; TOLVAR_ROUND_TRIPS raises the count for long runs.
int round_trips(int normal)
{
    const char* wanted = std::getenv("TOLVAR_ROUND_TRIPS");
    return wanted != nullptr ? std::atoi(wanted) : normal;
}

std::string read(const std::string& path)
{
    return tolvar_test::read_whole_file(path);
}

void expect_round_trip(const std::string& bytes, int game, bool texts_apart,
                       const std::string& what, bool no_raw, bool offsets = false)
{
    RoundTrip trip = round_trip(bytes, game, texts_apart, offsets);
    EXPECT_TRUE(trip.ok) << what << " game " << game << (texts_apart ? " -t" : "") << ": "
                         << trip.why << "\ninput:\n"
                         << hex_dump(bytes) << "\nscript:\n"
                         << trip.script;
    if (no_raw) {
        EXPECT_EQ(trip.raw_bytes, 0) << what << " game " << game << "\n" << trip.script;
    }
}

struct Example {
    const char* script;
    const char* texts;
    int game;
};

TEST(Decompile, ExamplesComeBackWithoutRawBytes)
{
    const Example examples[] = {{"innkeeper.src", nullptr, 0},
                                {"ferryman.src", nullptr, 1},
                                {"oracle.src", "oracle.txt", 2}};
    for (const Example& example : examples) {
        std::string dir = EXAMPLES_DIR;
        std::string texts = example.texts != nullptr ? read(dir + "/" + example.texts) : "";
        std::string binary;
        ASSERT_TRUE(tolvar_test::compile_script(
            read(dir + "/" + example.script), example.texts != nullptr ? &texts : nullptr, binary));
        for (bool apart : {false, true}) {
            expect_round_trip(binary, example.game, apart, example.script, true);
        }
    }
}

std::string from_hex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 3) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// Bytes whose first reading is wrong: the statement comes back as the
// compiler wrote it, not raw.
TEST(Decompile, AmbiguousBytesComeBackAsStatements)
{
    struct Case {
        const char* bytes;
        const char* line;
    };
    const Case cases[] = {
        // D4 B2 is int16 0xB2D4.. or $var[0xD4]: only the second lets the
        // next expression begin where it does.
        {"A4 D4 B2 D4 A7 FB 90 A7 01 A7", "setf eval $var[212] + int16 64423, eval 1"},
        {"A4 D4 B2 A7 01 A7", "setf eval $var[212], eval 1"},
        // An index byte that looks like the eval code, a literal, a code.
        {"BF A7 B2 A7", "portrait eval $var[167]"},
        {"BF 01 B3 08 B2 86 A7", "portrait eval $str[1] == $var[8]"},
        {"BF B2 B2 B2 B2 90 A7", "portrait eval $var[178] + $var[178]"},
        // A reference whose offset begins with a variable code (the text
        // after it reaches that offset).
        {"A6 D2 B2 00 00 00 01 B4 A8 01 A7", "decl data(int32 L_000000B2, 1) := eval 1"},
    };
    for (const Case& c : cases) {
        std::string bytes = from_hex(c.bytes);
        bytes += std::string(0xB2 - bytes.size(), 'a') + "\xB8";
        RoundTrip trip = round_trip(bytes, 0, false);
        EXPECT_TRUE(trip.ok) << c.bytes << ": " << trip.why;
        EXPECT_NE(trip.script.find(std::string("    ") + c.line + "\n"), std::string::npos)
            << c.bytes << ":\n"
            << trip.script;
    }
}

// Statements too long for a script line (tokens or bytes) must be measured,
// however few bytes they take: these come back only if they are.
TEST(Decompile, StatementsOverTheLineLimitsComeBack)
{
    // portrait eval 1 - (1 - (1 - ...)): 70 operands, 69 operators and the
    // parentheses make more tokens than a line holds.
    std::string nested = "\xBF" + std::string(70, '\x01') + std::string(69, '\x91') + "\xA7";
    for (int game = 0; game < 3; ++game) {
        expect_round_trip(nested, game, false, "nested subtractions", false);
    }
}

// Every byte-code a golden case expects, under every game type.
TEST(Decompile, GoldenOutputsComeBackUnderEveryGame)
{
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR)) {
        for (const golden::CaseSection& section : golden::read_sections(read(entry.path()))) {
            if (section.kind != "output") {
                continue;
            }
            std::string bytes = golden::from_hex(golden::joined_lines(section.lines));
            for (int game = 0; game < 3; ++game) {
                expect_round_trip(bytes, game, game == 1, entry.path().filename(), false);
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 50);
}

// Random scripts, compiled: clean ones must come back as statements alone.
TEST(Decompile, CompiledScriptsComeBack)
{
    int runs = round_trips(600);
    int compiled = 0;
    for (int seed = 1; seed <= runs; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        int game = seed % 3;
        bool clean = seed % 2 == 0;
        std::string script = tolvar_test::random_script(rng, game, 1 + seed % 40, clean);
        std::string binary;
        if (!tolvar_test::compile_script(script, nullptr, binary)) {
            continue;  // a line too long, say: nothing to decompile
        }
        ++compiled;
        expect_round_trip(binary, game, seed % 4 == 0,
                          "seed " + std::to_string(seed) + "\n" + script, clean);
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_GT(compiled, runs * 3 / 4);
}

// Random byte-code, well formed or not, under every game type.
TEST(Decompile, AnyBytesComeBack)
{
    int runs = round_trips(2000);
    for (int seed = 1; seed <= runs; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::string bytes = tolvar_test::random_bytecode(rng, seed % 10 == 0 ? 4096 : 300);
        for (int game = 0; game < 3; ++game) {
            expect_round_trip(bytes, game, (seed + game) % 3 == 0, "seed " + std::to_string(seed),
                              false, seed % 5 == 0);
        }
        if (HasFailure()) {
            return;
        }
    }
}

}  // namespace
