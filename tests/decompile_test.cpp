// The decompiler's promise: every byte-code, for every game type, comes
// back as a script that compiles to the same bytes; what the compiler wrote
// comes back as statements, not raw bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "case_file.h"
#include "decode/decompile.h"
#include "round_trip.h"
#include "test_support.h"

namespace fs = std::filesystem;
using tolvar_test::compiled;
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

bool has_line(const std::string& script, const std::string& line)
{
    return ("\n" + script).find("\n" + line + "\n") != std::string::npos;
}

// Comes back under every game type, with the texts in the script and in a
// text file, without a raw byte; check looks at each script.
template <class Check>
void expect_clean_round_trips(const std::string& bytes, const std::string& what, Check check)
{
    for (int game = 0; game < 3; ++game) {
        for (bool apart : {false, true}) {
            RoundTrip trip = round_trip(bytes, game, apart);
            EXPECT_TRUE(trip.ok) << what << " game " << game << (apart ? " -t" : "") << ": "
                                 << trip.why << "\nscript:\n"
                                 << trip.script << "\ntexts:\n"
                                 << trip.texts;
            EXPECT_EQ(trip.raw_bytes, 0) << what << "\n" << trip.script;
            check(trip, apart);
        }
    }
}

// Japanese text whose regions meet the limit of a text line: each line is
// written from the region state the one before it left, so a trail byte
// 0x5C stays itself; a region that would be cut goes whole to the next
// line when it fits one.
TEST(Decompile, JapaneseRegionsAcrossTextLines)
{
    const std::string sjis_5c = "\x82\x5C";
    // The 1000-byte limit falls inside the region.
    std::string at_limit = std::string(999, 'a') + "{" + sjis_5c + "}";
    expect_clean_round_trips(
        at_limit, "region at the limit", [&](const RoundTrip& trip, bool apart) {
            const std::string& lines = apart ? trip.texts : trip.script;
            EXPECT_NE(lines.find("\"{" + sjis_5c + "}\""), std::string::npos) << lines;
        });
    // A region longer than a line is carried from line to line.
    std::string long_region = "{";
    for (int i = 0; i < 700; ++i) {
        long_region += sjis_5c;
    }
    expect_clean_round_trips(long_region + "}x", "long region", [](const RoundTrip&, bool) {});
    // A script whose text lines open a region on one line and close it on a
    // later one, the run longer than a line.
    std::string script = "\"" + std::string(990, 'b') + "{" + sjis_5c + sjis_5c + "\"\n\"";
    for (int i = 0; i < 20; ++i) {
        script += sjis_5c;
    }
    script += "}\\n\"\n";
    std::string binary = compiled(script);
    ASSERT_GT(binary.size(), 1000u);
    expect_clean_round_trips(binary, "script lines", [](const RoundTrip&, bool) {});
    // A text parameter runs on into the text lines after it: it takes no
    // more of them than its line can hold.
    expect_clean_round_trips(compiled("askc \"yn\"\n" + script + script + script + script),
                             "parameter and lines", [](const RoundTrip&, bool) {});
}

// A reference to code that control flow reaches makes it no data table:
// it stays statements, and the blocks around it stay whole.
TEST(Decompile, ReachedCodeStaysCode)
{
    const char* const scripts[] = {
        "\"Hi\"\nL0: bye\ndprint int32 L0, eval 0\nbye\n\"more text\"\nbye\n",
        "\"Hi\"\nL0: if eval 1\n\"in\"\nendif\ndprint int32 L0, eval 0\nbye\n",
        "\"Hi\"\nif eval 1\nL0: decl $var[1] := eval indexof(int32 L0, $str[0])\nelse\n\"no\"\n"
        "endif\nbye\n",
        // The reference comes after control flow passed its place inside a
        // run of text.
        "\"abc\"\nL0: \"def\"\ndprint int32 L0, eval 0\nbye\n",
    };
    for (const char* script : scripts) {
        expect_clean_round_trips(compiled(script), script, [&](const RoundTrip& trip, bool) {
            EXPECT_EQ(trip.script.find(".data"), std::string::npos) << script << trip.script;
        });
    }
}

// A statement that can't be written gives up its code byte alone; the
// bytes after it are read again.
TEST(Decompile, OnlyTheCodeByteOfAnUnwritableStatementIsRaw)
{
    struct Case {
        const char* bytes;
        int raw;
        const char* line;
    };
    const Case cases[] = {
        // A jump outside the file.
        {"B0 48 65 6C 6C 6F B6", 1, "    \"Hello\""},
        // A data reference outside the file.
        {"B5 D2 41 42 43 44 01 A7 B6", 4, "    \"ABCD\""},
        // An `if` never closed.
        {"A1 D3 41 A7 42 43", 3, "    \"BC\""},
    };
    for (const Case& c : cases) {
        RoundTrip trip = round_trip(from_hex(c.bytes), 0, false);
        EXPECT_TRUE(trip.ok) << c.bytes << ": " << trip.why;
        EXPECT_EQ(trip.raw_bytes, c.raw) << c.bytes << ":\n" << trip.script;
        EXPECT_TRUE(has_line(trip.script, c.line)) << c.bytes << ":\n" << trip.script;
    }
}

// In a table of texts a letter and its 0 are a text, not a number.
TEST(Decompile, OneCharacterTextsInTablesOfTexts)
{
    std::string bytes = compiled(
        "dprint int32 t, eval 0\nbye\nt: .data \"a\"\n.data \"bc\"\n.data \"d\"\n.data \"\"\n"
        "enddata\ndprint int32 u, eval 1\nbye\nu: .data \"e\"\nenddata\n");
    expect_clean_round_trips(bytes, "tables", [](const RoundTrip& trip, bool apart) {
        if (!apart) {
            for (const char* line :
                 {"    .data \"a\"", "    .data \"d\"", "    .data \"\"", "    .data \"e\""}) {
                EXPECT_TRUE(has_line(trip.script, line)) << line << "\n" << trip.script;
            }
        }
    });
}

// Steps of the search for statements, for the whole file.
int64_t search_steps(const std::string& bytes)
{
    tolvar::DecompileOptions options;
    tolvar::DecompileCounts counts;
    auto discard = [](void*, const char*, size_t) { return true; };
    tolvar_test::DiagCapture quiet;
    EXPECT_EQ(tolvar::decompile_to(reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<int32_t>(bytes.size()), options,
                                   tolvar::TextSink{discard, nullptr},
                                   tolvar::TextSink{discard, nullptr}, counts),
              0);
    return counts.search_steps;
}

std::string repeated(const std::string& hex, size_t size)
{
    std::string chunk = from_hex(hex);
    std::string bytes;
    while (bytes.size() < size) {
        bytes += chunk;
    }
    bytes.resize(size);
    return bytes;
}

// The search for statements costs a few steps a byte at most, whatever the
// bytes: crafted ones that make it backtrack run down a budget for the
// whole file. (Steps, not time: no test depends on time.)
TEST(Decompile, NoInputIsSlow)
{
    const size_t size = 32768;
    const char* const crafted[] = {
        "A4 D3 D4 D3 AB D4 B3 D2 D4 D4 01 9F D3 D4 D4 B3 01 D2 B4 B3 90",
        "A4 D3 D4 D3 AB D4 B3 D2 D4 D4 01 9F D3 D4 D4 B3 01 D2 B4 B3 90 D3 A7",
        "BF D4 B2 D4 B3 A7 D2 B2 B2 B2 D4 B2",
        "D3 A4 D3 A7",
        // Readings of two ways, each followed by a byte no item begins with.
        "BF D4 B2 D4 B2 D4 B2 D4 B2 90 90 90 A7 02 BF D4 B3 A7 BF 02",
    };
    for (const char* chunk : crafted) {
        int64_t steps = search_steps(repeated(chunk, size));
        EXPECT_LE(steps, static_cast<int64_t>(24 * size)) << chunk;
    }
    // Byte-code a compile makes takes about a step a byte at most.
    std::mt19937 rng(7);
    std::string script = tolvar_test::random_script(rng, 0, 3000, true);
    std::string binary;
    ASSERT_TRUE(tolvar_test::compile_script(script, nullptr, binary));
    EXPECT_LE(search_steps(binary), static_cast<int64_t>(2 * binary.size()));
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
        // The other reading ends at a text ("V") that a byte no item
        // begins with follows.
        {"BF D4 B2 D4 A7 56 08 91 81 A7", "portrait eval $var[212] > int16 22183 - 8"},
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

// Where a statement reads two ways, the reading after which code can go on
// wins: here int16 0xD2B2 and an eval code would end the statement at a
// byte no item can begin with (0x02, a byte of the reference).
TEST(Decompile, TheReadingCodeCanGoOnFrom)
{
    std::string bytes = from_hex("BF D4 B2 D2 A7 02 00 00 01 B7 85 A7");
    bytes += std::string(0x2A7 - bytes.size(), 'a') + "\xB8";
    RoundTrip trip = round_trip(bytes, 0, false);
    EXPECT_TRUE(trip.ok) << trip.why;
    EXPECT_EQ(trip.raw_bytes, 0) << trip.script;
    EXPECT_TRUE(
        has_line(trip.script, "    portrait eval $var[212] != indexof(int32 L_000002A7, 1)"))
        << trip.script;
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
