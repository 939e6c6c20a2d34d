// tolvar-text's promises, in process: a script with its texts moved out
// compiles to the same bytes; labels stay with their texts; a text file
// goes to a PO file and back byte for byte; translations the game cannot
// hold are refused at their PO line; check finds every fault at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "case_file.h"
#include "decode/decompile.h"
#include "decode/printer.h"
#include "round_trip.h"
#include "support/diag.h"
#include "test_support.h"
#include "text_tools/check.h"
#include "text_tools/extract.h"
#include "text_tools/old_labels.h"
#include "text_tools/po.h"
#include "text_tools/text_codec.h"
#include "text_tools/text_table.h"

namespace fs = std::filesystem;
using namespace tolvar;

namespace {

std::string text_of(const ByteBuffer& buffer)
{
    return std::string(buffer.data.get() != nullptr ? buffer.data.get() : "", buffer.size);
}

// A text table over bytes, as the tools read it; empty name on failure.
bool make_table(const std::string& bytes, TextTable& table)
{
    table.name = "texts.txt";
    table.bytes.size = 0;
    if (!buffer_append(table.bytes, bytes.data(), bytes.size())) {
        return false;
    }
    return find_text_lines(table) == 0;
}

struct Extracted {
    bool ok = false;
    std::string script;
    std::string texts;
    std::string messages;
};

Extracted extract(const std::string& script, const std::string* old_texts, int id = 0x42)
{
    tolvar_test::DiagCapture capture;
    Extracted x;
    TextTable old;
    if (old_texts != nullptr && !make_table(*old_texts, old)) {
        x.messages = capture.take();
        return x;
    }
    ExtractInput input;
    input.script_name = "script.src";
    input.script = script.data();
    input.script_size = script.size();
    input.old_texts = old_texts != nullptr ? &old : nullptr;
    input.text_id = id;
    ExtractResult result;
    x.ok = extract_texts(input, result) == 0;
    x.script = text_of(result.script);
    x.texts = text_of(result.texts);
    x.messages = capture.take();
    return x;
}

// Compiles the script as it is and after extract: the same bytes, or both fail.
void expect_same_compile(const std::string& script, const std::string* texts,
                         const std::string& what)
{
    std::string before;
    if (!tolvar_test::compile_script(script, texts, before)) {
        return;
    }
    Extracted x = extract(script, texts);
    ASSERT_TRUE(x.ok) << what << ": " << x.messages;
    std::string after;
    std::string messages;
    ASSERT_TRUE(tolvar_test::compile_script(x.script, &x.texts, after, &messages))
        << what << ": " << messages << "\n"
        << x.script << "\n"
        << x.texts;
    EXPECT_EQ(tolvar_test::hex_dump(after), tolvar_test::hex_dump(before)) << what;
    EXPECT_EQ(x.script.find('"'), std::string::npos) << what << ": a text stayed\n" << x.script;
}

std::string read(const std::string& path)
{
    return tolvar_test::read_whole_file(path);
}

TEST(TextExtract, ExamplesCompileToTheSameBytes)
{
    std::string dir = EXAMPLES_DIR;
    expect_same_compile(read(dir + "/innkeeper.src"), nullptr, "innkeeper");
    expect_same_compile(read(dir + "/ferryman.src"), nullptr, "ferryman");
    std::string oracle_texts = read(dir + "/oracle.txt");
    expect_same_compile(read(dir + "/oracle.src"), &oracle_texts, "oracle with its text file");
}

// Every script of a golden case that compiles on its own.
TEST(TextExtract, GoldenScriptsCompileToTheSameBytes)
{
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR)) {
        for (const golden::CaseSection& section : golden::read_sections(read(entry.path()))) {
            if (section.kind != "file") {
                continue;
            }
            std::string script = golden::joined_lines(section.lines);
            std::string binary;
            if (tolvar_test::compile_script(script, nullptr, binary)) {
                expect_same_compile(script, nullptr, entry.path().filename());
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 20);
}

TEST(TextExtract, RandomScriptsCompileToTheSameBytes)
{
    int compiled = 0;
    for (int seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::string script = tolvar_test::random_script(rng, seed % 3, 40, seed % 2 == 0);
        std::string binary;
        if (tolvar_test::compile_script(script, nullptr, binary)) {
            expect_same_compile(script, nullptr, "seed " + std::to_string(seed));
            ++compiled;
        }
    }
    EXPECT_GT(compiled, 150);
}

// The bytes around a text stay, and a label never runs into its neighbours.
TEST(TextExtract, KeepsEveryOtherByte)
{
    const struct {
        const char* script;
        const char* expected;
    } cases[] = {
        {"\xEF\xBB\xBF\"a\"\r\n", "\xEF\xBB\xBFT0042_0001\r\n"},
        {"  \"a\" ; \"comment\"\n; \"b\"\n\n", "  T0042_0001 ; \"comment\"\n; \"b\"\n\n"},
        {".data\"x\"", ".data T0042_0001"},
        {"keywords\"x\",\"y\"\n", "keywords T0042_0001,T0042_0002\n"},
        {"\t\"a\"\t# \"b\"", "\tT0042_0001\t# \"b\""},
    };
    for (const auto& c : cases) {
        Extracted x = extract(c.script, nullptr);
        ASSERT_TRUE(x.ok) << x.messages;
        EXPECT_EQ(x.script, c.expected);
    }
}

// Insert a text in the middle of an example and extract again with the old
// text file: every old label keeps its text, the new one comes after the
// highest number, and the old file's lines stay as they were.
TEST(TextExtract, LabelsStayWithTheirTexts)
{
    std::string script = read(std::string(EXAMPLES_DIR) + "/innkeeper.src");
    Extracted first = extract(script, nullptr);
    ASSERT_TRUE(first.ok) << first.messages;
    size_t middle = script.find('\n', script.size() / 2) + 1;
    std::string changed =
        script.substr(0, middle) + "\"A new line of talk.\"\n" + script.substr(middle);
    Extracted second = extract(changed, &first.texts);
    ASSERT_TRUE(second.ok) << second.messages;
    ASSERT_EQ(second.texts.substr(0, first.texts.size()), first.texts);
    std::string added = second.texts.substr(first.texts.size());
    int count = 0;
    for (size_t at = first.texts.find("\nT0042_"); at != std::string::npos;
         at = first.texts.find("\nT0042_", at + 1)) {
        ++count;
    }
    char label[32];
    std::snprintf(label, sizeof label, "T0042_%04d\t", (count + 1) % 10000);
    EXPECT_EQ(added.rfind(label, 0), 0u) << added;
    EXPECT_NE(added.find("\"A new line of talk.\"\n"), std::string::npos) << added;
    std::string before;
    std::string after;
    ASSERT_TRUE(tolvar_test::compile_script(changed, nullptr, before));
    ASSERT_TRUE(tolvar_test::compile_script(second.script, &second.texts, after));
    EXPECT_EQ(after, before);

    // A text the script no longer has is reported and kept.
    Extracted third = extract(script.substr(0, middle), &second.texts);
    ASSERT_TRUE(third.ok) << third.messages;
    EXPECT_EQ(third.texts, second.texts);
    EXPECT_NE(third.messages.find("WARNING(5050)"), std::string::npos) << third.messages;
}

// Equal texts keep their labels one by one, in order.
TEST(TextExtract, EqualTextsKeepTheirOwnLabels)
{
    std::string old = "T0042_0007\tx\t\"yes\"\nT0042_0003\tx\t\"yes\"\n";
    Extracted x = extract("\"yes\"\n\"no\"\n\"yes\"\n\"yes\"\n", &old);
    ASSERT_TRUE(x.ok) << x.messages;
    EXPECT_EQ(x.script, "T0042_0007\nT0042_0008\nT0042_0003\nT0042_0009\n");
}

// New labels follow the highest number of the id in the old file and in
// the script, and go on under the next id after 9999.
TEST(TextExtract, NewLabelsFollowTheHighest)
{
    const struct {
        const char* old;
        const char* script;
        const char* expected;
    } cases[] = {
        {"T0042_0009\t\t\"a\"\nT0041_0500\t\t\"b\"\n", "\"c\"\n", "T0042_0010\n"},
        {"T0042_0005\t\t\"a\"\n", "T0042_0020\n\"c\"\n", "T0042_0020\nT0042_0021\n"},
        {"T0042_9999\t\t\"a\"\nT0043_0002\t\t\"b\"\n", "\"c\"\n\"a\"\n",
         "T0043_0003\nT0042_9999\n"},
    };
    for (const auto& c : cases) {
        std::string old = c.old;
        Extracted x = extract(c.script, &old);
        ASSERT_TRUE(x.ok) << x.messages;
        EXPECT_EQ(x.script, c.expected) << c.old;
    }
}

// The decompiler with an old text file: a text equal to one there keeps
// its label; the others are numbered after the highest.
struct DecompiledTexts {
    std::string script;
    std::string texts;
};

DecompiledTexts decompile_keeping(const std::string& binary, const std::string* old_texts)
{
    tolvar_test::DiagCapture capture;
    TextTable table;
    OldLabels old;
    TextLabelSource source{old_labels_label_for, &old};
    DecompileOptions options;
    options.texts_apart = true;
    if (old_texts != nullptr) {
        EXPECT_TRUE(make_table(*old_texts, table) && old_labels_index(old, table, 0));
        options.labels = &source;
    }
    Decompiled out;
    EXPECT_EQ(decompile(reinterpret_cast<const uint8_t*>(binary.data()),
                        static_cast<int32_t>(binary.size()), options, out),
              0);
    return {text_of(out.script), text_of(out.texts)};
}

// Each data line's label and text.
std::vector<std::pair<std::string, std::string>> labelled_texts(const std::string& texts)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start < texts.size()) {
        size_t end = texts.find('\n', start);
        std::string line = texts.substr(start, end - start);
        size_t text = line.rfind('\t');
        if (line[0] == 'T' && text != std::string::npos) {
            pairs.emplace_back(line.substr(0, 10), line.substr(text + 1));
        }
        start = end + 1;
    }
    return pairs;
}

TEST(TextDecompile, KeepLabelsGivesOldTextsTheirLabels)
{
    std::string script = read(std::string(EXAMPLES_DIR) + "/innkeeper.src");
    std::string binary;
    ASSERT_TRUE(tolvar_test::compile_script(script, nullptr, binary));
    DecompiledTexts first = decompile_keeping(binary, nullptr);
    // A text of its own (consecutive text lines are one text in byte-code).
    size_t at = script.find("        sconverse");
    std::string changed =
        script.substr(0, at) + "        slook \"A new line of talk.\"\n" + script.substr(at);
    std::string changed_binary;
    ASSERT_TRUE(tolvar_test::compile_script(changed, nullptr, changed_binary));
    DecompiledTexts second = decompile_keeping(changed_binary, &first.texts);
    std::string back;
    ASSERT_TRUE(tolvar_test::compile_script(second.script, &second.texts, back));
    EXPECT_EQ(back, changed_binary);
    auto before = labelled_texts(first.texts);
    auto after = labelled_texts(second.texts);
    ASSERT_EQ(after.size(), before.size() + 1);
    for (const auto& pair : before) {
        EXPECT_NE(std::find(after.begin(), after.end(), pair), after.end()) << pair.first;
    }
    char next[16];
    std::snprintf(next, sizeof next, "T0000_%04zu", (before.size() + 1) % 10000);
    EXPECT_NE(std::find(after.begin(), after.end(),
                        std::make_pair(std::string(next), std::string("\"A new line of talk.\""))),
              after.end())
        << second.texts;
}

// ---- PO ---------------------------------------------------------------

struct Po {
    bool ok = false;
    std::string bytes;
    std::string messages;
};

Po to_po(const std::string& texts)
{
    tolvar_test::DiagCapture capture;
    Po po;
    TextTable table;
    TextCodec codec;
    ByteBuffer out;
    po.ok = make_table(texts, table) && text_codec_open(codec) &&
            texts_to_po(codec, table, nullptr, 0, out) == 0;
    po.bytes = text_of(out);
    po.messages = capture.take();
    return po;
}

Po from_po(const std::string& texts, const std::string& po_bytes)
{
    tolvar_test::DiagCapture capture;
    set_diag_format(DIAG_FORMAT_GNU);
    Po back;
    TextTable table;
    TextCodec codec;
    ByteBuffer out;
    back.ok = make_table(texts, table) && text_codec_open(codec) &&
              texts_from_po(codec, table, "texts.po", po_bytes.data(), po_bytes.size(), out) == 0;
    back.bytes = text_of(out);
    back.messages = capture.take();
    diag_reset();
    return back;
}

// What msgen does: every msgstr becomes its msgid.
std::string copy_msgids(const std::string& po)
{
    std::string out;
    std::string id;
    size_t start = 0;
    while (start < po.size()) {
        size_t end = po.find('\n', start);
        std::string line = po.substr(start, end - start);
        if (line.rfind("msgid ", 0) == 0) {
            id = line.substr(6);
        } else if (line == "msgstr \"\"") {
            line = "msgstr " + id;
        }
        out += line + "\n";
        start = end + 1;
    }
    return out;
}

void expect_po_round_trip(const std::string& texts, const std::string& what)
{
    Po po = to_po(texts);
    ASSERT_TRUE(po.ok) << what << ": " << po.messages;
    Po untouched = from_po(texts, po.bytes);
    ASSERT_TRUE(untouched.ok) << what << ": " << untouched.messages;
    EXPECT_EQ(untouched.bytes, texts) << what;
    Po copied = from_po(texts, copy_msgids(po.bytes));
    ASSERT_TRUE(copied.ok) << what << ": " << copied.messages;
    EXPECT_EQ(tolvar_test::hex_dump(copied.bytes), tolvar_test::hex_dump(texts)) << what;
    // Only empty texts stay untranslated, as msgen leaves them.
    EXPECT_EQ(copied.messages.find("[5049]"), std::string::npos) << what << copied.messages;
}

TEST(TextPo, ExampleTextFileComesBack)
{
    expect_po_round_trip(read(std::string(EXAMPLES_DIR) + "/oracle.txt"), "oracle.txt");
}

// A random text the compiler accepts: plain bytes, escapes, and brace
// regions with double-byte characters and the kana byte.
std::string random_literal(std::mt19937& rng)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string text = "\"";
    for (int n = pick(12); n > 0; --n) {
        int kind = pick(10);
        if (kind < 5) {
            char c = static_cast<char>(0x20 + pick(0x5B));
            text += c == '"' || c == '\\' ? 'q' : c;
        } else if (kind < 7) {
            static const char* const escapes[] = {"\\t", "\\n", "\\\"", "\\\\"};
            text += escapes[pick(4)];
        } else {
            text += '{';
            for (int m = 1 + pick(4); m > 0; --m) {
                int lead = pick(2) == 0 ? 0x81 + pick(0x1F) : 0xE0 + pick(0x1D);
                int trail = 0x40 + pick(0xBD);
                if (trail == 0x7F) {
                    trail = 0x5C;
                }
                if (pick(6) == 0) {
                    text += '\xCB';
                } else if (pick(6) == 0) {
                    text += static_cast<char>(0x20 + pick(0x5B)) == '"' ? 'a' : 'b';
                } else {
                    text += static_cast<char>(lead);
                    text += static_cast<char>(trail);
                }
            }
            text += '}';
        }
    }
    return text + "\"";
}

TEST(TextPo, RandomTextFilesComeBack)
{
    for (int seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        std::string texts = "; random texts\n";
        for (int i = 1; i <= 20; ++i) {
            char label[32];
            std::snprintf(label, sizeof label, "T%04X_%04d", seed, i);
            const char* end = rng() % 4 == 0 ? "\r\n" : "\n";
            texts += std::string(label) + "\tline " + std::to_string(i) + " \x82\xA0\t" +
                     random_literal(rng) + end;
        }
        expect_po_round_trip(texts, "seed " + std::to_string(seed));
    }
}

// Every double-byte code the text rules accept, those without a character
// of their own or that convert back to other bytes included.
TEST(TextPo, EveryDoubleByteCodeComesBack)
{
    std::string texts;
    int number = 0;
    std::string literal;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead == 0xA0) {
            lead = 0xE0;
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            literal += static_cast<char>(lead);
            literal += static_cast<char>(trail);
            if (literal.size() >= 200 || (lead == 0xFC && trail == 0xFC)) {
                char label[32];
                std::snprintf(label, sizeof label, "T0001_%04d", ++number);
                texts += std::string(label) + "\tcodes\t\"{" + literal + "}\"\n";
                literal.clear();
            }
        }
    }
    EXPECT_EQ(number, (60 * 188 + 99) / 100);
    expect_po_round_trip(texts, "every code");
}

TEST(TextPo, CodesWithoutTheirOwnCharacterAreKept)
{
    TextCodec codec;
    ASSERT_TRUE(text_codec_open(codec));
    const struct {
        const char* game;
        const char* utf8;
    } cases[] = {
        {"\x82\xA0", "\xE3\x81\x82"},            // a character: U+3042
        {"\xCB", "\xEF\xBE\x8B"},                // the kana byte: U+FF8B
        {"\xEB\x40", "\xF3\xBE\xAD\x80"},        // no character: U+FEB40
        {"\x87\x90", "\xF3\xB8\x9E\x90"},        // converts back to 81 E0: U+F8790
        {"a\\{\x81\x5C}", "a\\{\xE2\x80\x95}"},  // a trail byte 5C is no backslash
    };
    for (const auto& c : cases) {
        ByteBuffer utf8;
        ASSERT_TRUE(sjis_to_utf8(codec, c.game, std::strlen(c.game), utf8));
        EXPECT_EQ(tolvar_test::hex_dump(text_of(utf8)), tolvar_test::hex_dump(c.utf8)) << c.game;
        ByteBuffer game;
        EXPECT_EQ(utf8_to_sjis(codec, c.utf8, std::strlen(c.utf8), game), -1);
        EXPECT_EQ(text_of(game), c.game);
    }
}

// A translation the game cannot hold is an error at its PO line; what
// cannot be used keeps the original, with a warning.
TEST(TextPo, TranslationsTheGameCannotHold)
{
    const std::string texts = "T0001_0001\tx\t\"hello\"\nT0001_0002\tx\t\"{\x82\xA0}\"\n";
    const std::string head =
        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    const struct {
        const char* entry;
        const char* expected;  // in the messages, or in the text file when it starts with T
    } cases[] = {
        {"msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"h\xC3\xA9llo\"\n",
         "texts.po:6: error: 'T0001_0001': character 2 of the translation is not one the game can "
         "hold [5042]"},
        {"msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"\xE3\x81\x82\"\n",
         "texts.po:6: error: 'T0001_0001': byte 82 is not allowed here"},
        {"msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"a|b\"\n",
         "byte 7C is not allowed here"},
        {"msgctxt \"T0001_0002\"\nmsgid \"{\xE3\x81\x82}\"\nmsgstr \"{\xE3\x81\x84\"\n",
         "the translation must open and close"},
        {"msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"\\\"hi\\\"\\n\"\n",
         "T0001_0001\tx\t\"\\\"hi\\\"\\n\"\n"},
        {"msgctxt \"T0001_0002\"\nmsgid \"{\xE3\x81\x82}\"\nmsgstr \"\"\n\"{\xE3\x81\x84}\"\n",
         "T0001_0002\tx\t\"{\x82\xA2}\"\n"},
        {"#, fuzzy\nmsgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"hi\"\n",
         "'T0001_0001' fuzzy: original kept [5046]"},
        {"msgctxt \"T0001_0001\"\nmsgid \"hullo\"\nmsgstr \"hi\"\n",
         "msgid is not the text of 'texts.txt' line 1: original kept [5049]"},
        {"msgctxt \"T0001_0009\"\nmsgid \"x\"\nmsgstr \"y\"\n", "is no label of 'texts.txt'"},
        {"msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"\\q\"\n",
         "texts.po:6:9: error: PO syntax error: unknown escape [5040]"},
    };
    for (const auto& c : cases) {
        Po back = from_po(texts, head + c.entry);
        std::string expected = c.expected;
        if (expected[0] == 'T') {
            EXPECT_TRUE(back.ok) << c.entry << back.messages;
            EXPECT_NE(back.bytes.find(expected), std::string::npos) << c.entry << back.bytes;
        } else {
            EXPECT_NE(back.messages.find(expected), std::string::npos) << c.entry << back.messages;
        }
    }
    std::string long_text(4100, 'x');
    Po too_long = from_po(
        texts, head + "msgctxt \"T0001_0001\"\nmsgid \"hello\"\nmsgstr \"" + long_text + "\"\n");
    EXPECT_FALSE(too_long.ok);
    EXPECT_NE(too_long.messages.find("[5044]"), std::string::npos) << too_long.messages;
}

// ---- check --------------------------------------------------------------

TEST(TextCheck, FindsEveryFaultAtOnce)
{
    tolvar_test::TempFile script("T0001_0001\nT0001_0002\nkeywords T0001_0009\n", "s.src");
    std::string texts =
        "; texts\n"
        "T0001_0001\tok\t\"fine\"\n"
        "T0001_0002\tescape\t\"bad\\q\"\n"
        "t0001_0001\tagain\t\"twice\"\n"
        "T0001_0003\tunused\t\"x\" \n"
        "T0001_0004\topen\t\"{\x82\xA0\"\n"
        "T0001_00X5\tname\t\"y\"\n"
        "no tabs\n";
    tolvar_test::DiagCapture capture;
    set_diag_format(DIAG_FORMAT_GNU);
    TextTable table;
    ASSERT_TRUE(make_table(texts, table));
    const char* scripts[] = {script.path()};
    int errors = check_texts(table, scripts, 1);
    std::string s = std::string(script.path());
    std::string expected =
        "texts.txt:7:1: error: illegal label name: 'T0001_00X5' [5027]\n"
        "texts.txt:8:1: error: syntax error: label, tab, comment, tab, text [5026]\n"
        "texts.txt:4:1: error: label 't0001_0001' is already used [5022]\n"
        "texts.txt:2:1: note: first given here\n"
        "texts.txt:3:23: error: '\\q' is no escape: a text holds printable ASCII, the escapes "
        "\\t \\n \\\" \\\\, and Shift-JIS characters inside { } [686]\n"
        "texts.txt:5:22: error: nothing may follow the closing '\"' of a text [737]\n"
        "texts.txt:6:17: warning: '{' not closed: only a text line before one that closes it can "
        "use it [5031]\n" +
        s +
        ":3:10: error: label 'T0001_0009' is not in 'texts.txt' [5020]\n"
        "texts.txt:5:1: warning: label 'T0001_0003' is used by no script [5021]\n"
        "texts.txt:6:1: warning: label 'T0001_0004' is used by no script [5021]\n";
    EXPECT_EQ(capture.take(), expected);
    EXPECT_EQ(errors, 6);
    diag_reset();
}

}  // namespace
