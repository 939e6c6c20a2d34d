#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "front/text_literal.h"
#include "support/settings.h"
#include "test_support.h"

using namespace tolvar;
using tolvar_test::DiagCapture;

namespace {

// What a checker printed, then its length (scan) or "= " and the stored
// bytes (decoding) when it succeeded.
std::string scan(DiagCapture& diag, const std::string& literal)
{
    int length = scan_text_literal(literal.c_str());
    std::string out = diag.take();
    return length >= 0 ? out + std::to_string(length) : out;
}

std::string decode(DiagCapture& diag, const std::string& literal, int* brace_open)
{
    std::string buffer = literal;
    int result =
        brace_open != nullptr ? decode_text(buffer.data(), brace_open) : check_text(buffer.data());
    std::string out = diag.take();
    if (result == 0) {
        out += "= " + tolvar_test::hex(std::string(buffer.c_str()));
    }
    return out;
}

std::string check(DiagCapture& diag, const std::string& literal)
{
    return decode(diag, literal, nullptr);
}

struct LiteralCase {
    std::string literal;
    std::string scanned;
    std::string checked;
};

void expect_cases(DiagCapture& diag, const LiteralCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const LiteralCase& c = cases[i];
        SCOPED_TRACE(tolvar_test::hex(c.literal));
        EXPECT_EQ(scan(diag, c.literal), c.scanned);
        EXPECT_EQ(check(diag, c.literal), c.checked);
    }
}

TEST(TextLiteral, ByteClassesAtTheirBoundaries)
{
    DiagCapture diag;
    const LiteralCase cases[] = {
        // outside a region
        {"\" z~\"", "5", "= 20 7A 7E"},
        {"\"\x1F\"", "ERROR(2435): illegal text: 1F\n", "ERROR(700): illegal text: 1F\n"},
        {"\"|\"", "ERROR(2435): illegal text: 7C\n", "ERROR(700): illegal text: 7C\n"},
        {"\"\x7F\"", "ERROR(2435): illegal text: 7F\n", "ERROR(700): illegal text: 7F\n"},
        {"\"\x80\"", "ERROR(2435): illegal text: 80\n", "ERROR(700): illegal text: 80\n"},
        {"\"}\"", "3", "ERROR(700): illegal text: 7D\n"},
        {"\"\x81\x40\"", "4", "ERROR(700): illegal text: 81\n"},
        // lead bytes inside a region
        {"\"{\x1F}\"", "ERROR(2435): illegal text: 1F\n", "ERROR(719): illegal text: 1F\n"},
        {"\"{\x80}\"", "ERROR(2435): illegal text: 80\n", "ERROR(719): illegal text: 80\n"},
        {"\"{\x81\x40}\"", "6", "= 7B 81 40 7D"},
        {"\"{\x9F\xFC}\"", "6", "= 7B 9F FC 7D"},
        {"\"{\xA0}\"", "ERROR(2435): illegal text: A0\n", "ERROR(719): illegal text: A0\n"},
        {"\"{\xDF}\"", "ERROR(2435): illegal text: DF\n", "ERROR(719): illegal text: DF\n"},
        {"\"{\xE0\x40}\"", "6", "= 7B E0 40 7D"},
        {"\"{\xFC\xFC}\"", "6", "= 7B FC FC 7D"},
        {"\"{\xFD\x40}\"", "ERROR(2435): illegal text: FD\n", "ERROR(719): illegal text: FD\n"},
        {"\"{\xFF}\"", "ERROR(2435): illegal text: FF\n", "ERROR(719): illegal text: FF\n"},
        {"\"{{}\"", "5", "ERROR(719): illegal text: 7B\n"},
        {"\"{|}\"", "ERROR(2435): illegal text: 7C\n", "ERROR(719): illegal text: 7C\n"},
        // trail bytes
        {"\"{\x81\x3F}\"", "ERROR(2428): illegal multibyte text: 813F\n",
         "ERROR(712): illegal multibyte text: 813F\n"},
        {"\"{\x81\x7F}\"", "ERROR(2428): illegal multibyte text: 817F\n",
         "ERROR(712): illegal multibyte text: 817F\n"},
        {"\"{\x81\xFD}\"", "ERROR(2428): illegal multibyte text: 81FD\n",
         "ERROR(712): illegal multibyte text: 81FD\n"},
        {"\"{\x81", "ERROR(2428): illegal multibyte text: 8100\n",
         "ERROR(712): illegal multibyte text: 8100\n"},
        // a trail byte is neither an escape nor a brace
        {"\"{\x81\x5C}\"", "6", "= 7B 81 5C 7D"},
        {"\"{\x81\x5C\"", "5", "ERROR(654): '}' not found\n"},
        {"\"{\x81\x7D\"", "5", "ERROR(654): '}' not found\n"},
        {"\"{\x81\x7B}\"", "6", "= 7B 81 7B 7D"},
    };
    expect_cases(diag, cases, std::size(cases));
}

TEST(TextLiteral, EscapesQuotesAndEnds)
{
    DiagCapture diag;
    const LiteralCase cases[] = {
        {"\"\"", "2", "= "},
        {"\"\\t\\n\\\"\\\\\"", "10", "= 09 0A 22 5C"},
        {"\"{\\\"}\"", "6", "= 7B 22 7D"},
        {"\"\\r\"", "ERROR(2413): illegal escape sequence: '\\r'\n",
         "ERROR(686): illegal escape sequence: '\\r'\n"},
        {"\"\\", "ERROR(2410): illegal escape sequence: '\\'\n",
         "ERROR(675): illegal escape sequence: '\\'\n"},
        {"\"ab\\\"", "ERROR(2441): '\"' not found\n", "ERROR(726): '\"' not found\n"},
        {"abc\"", "ERROR(2401): '\"' not found\n", "ERROR(667): '\"' not found\n"},
        {"", "ERROR(2401): '\"' not found\n", "ERROR(667): '\"' not found\n"},
        {"\"abc\r\n", "ERROR(2441): '\"' not found\n", "ERROR(700): illegal text: 0D\n"},
        {"\"a\" ", "3", "ERROR(737): illegal text\n"},
        {"\"a\"b\"", "3", "ERROR(737): illegal text\n"},
    };
    expect_cases(diag, cases, std::size(cases));
}

TEST(TextLiteral, JapaneseTextSwitchedOff)
{
    DiagCapture diag;
    allow_ja_text = 0;
    const LiteralCase cases[] = {
        {"\" z~\\t\"", "7", "= 20 7A 7E 09"},
        {"\"{\"", "ERROR(2420): illegal text: 7B\n", "ERROR(693): illegal text: 7B\n"},
        {"\"}\"", "ERROR(2420): illegal text: 7D\n", "ERROR(693): illegal text: 7D\n"},
        {"\"|\"", "ERROR(2420): illegal text: 7C\n", "ERROR(693): illegal text: 7C\n"},
        {"\"\x7F\"", "ERROR(2420): illegal text: 7F\n", "ERROR(693): illegal text: 7F\n"},
        {"\"\x80\"", "ERROR(2420): illegal text: 80\n", "ERROR(693): illegal text: 80\n"},
        {"\"\x81\x40\"", "ERROR(2420): illegal text: 81\n", "ERROR(693): illegal text: 81\n"},
        {"\"\xCB\"", "ERROR(2420): illegal text: CB\n", "ERROR(693): illegal text: CB\n"},
        {"\"\xFF\"", "ERROR(2420): illegal text: FF\n", "ERROR(693): illegal text: FF\n"},
    };
    expect_cases(diag, cases, std::size(cases));
}

TEST(TextLiteral, HankakuKanaByGameType)
{
    DiagCapture diag;
    const std::string in_braces = "\"{\xCB}\"";
    const std::string warned = "WARNING(716): hankaku kana used: '\xCB' CB\n= 7B CB 7D";
    for (int game : {GAME_U6, GAME_SE, GAME_MD}) {
        SCOPED_TRACE(game);
        game_type = game;
        if (game == GAME_SE) {
            EXPECT_EQ(scan(diag, in_braces), "WARNING(2432): hankaku kana used: '\xCB' CB\n5");
            EXPECT_EQ(scan(diag, "\"\xCB\""), "WARNING(2432): hankaku kana used: '\xCB' CB\n3");
        } else {
            EXPECT_EQ(scan(diag, in_braces), "ERROR(2435): illegal text: CB\n");
        }
        EXPECT_EQ(check(diag, in_braces), warned);
        EXPECT_EQ(check(diag, "\"\xCB\""), "ERROR(700): illegal text: CB\n");
    }
}

TEST(TextLiteral, RegionCarriesAcrossDecodes)
{
    DiagCapture diag;
    int brace_open = 0;
    EXPECT_EQ(decode(diag, "\"Hi {\x82\xA0\"", &brace_open), "= 48 69 20 7B 82 A0");
    EXPECT_EQ(brace_open, 1);
    EXPECT_EQ(decode(diag, "\"\x82\xA2} ok\"", &brace_open), "= 82 A2 7D 20 6F 6B");
    EXPECT_EQ(brace_open, 0);
    EXPECT_EQ(decode(diag, "\"\x82\xA0\"", &brace_open), "ERROR(700): illegal text: 82\n");

    // check_text starts closed and must end closed, but only reports the
    // open region when the decoding itself succeeded.
    EXPECT_EQ(check(diag, "\"\x82\xA2}\""), "ERROR(700): illegal text: 82\n");
    EXPECT_EQ(check(diag, "\"{\x82\xA0\""), "ERROR(654): '}' not found\n");
    EXPECT_EQ(check(diag, "\"{\x80\""), "ERROR(719): illegal text: 80\n");
}

TEST(TextLiteral, ShiftJisPassesThroughUntouched)
{
    DiagCapture diag;
    // "Hi {konnichiwa, hyou}!\n", the last kanji with a trail byte 0x5C.
    std::string literal = "\"Hi {\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\x95\x5C}!\\n\"";
    EXPECT_EQ(scan(diag, literal + " rest"), std::to_string(literal.size()));
    char buffer[64];
    std::memcpy(buffer, literal.c_str(), literal.size() + 1);
    int brace_open = 0;
    ASSERT_EQ(decode_text(buffer, &brace_open), 0);
    EXPECT_EQ(tolvar_test::hex(std::string(buffer)),
              "48 69 20 7B 82 B1 82 F1 82 C9 82 BF 82 CD 95 5C 7D 21 0A");
    EXPECT_EQ(brace_open, 0);
    EXPECT_EQ(diag.take(), "");
}

}  // namespace
