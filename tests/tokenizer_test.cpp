#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "front/tokenizer.h"
#include "isa/code_info.h"
#include "support/memory.h"
#include "support/settings.h"
#include "test_support.h"

using namespace tolvar;
using tolvar_test::DiagCapture;

namespace {

// "kind:code", then the number or the text for the kinds that carry one.
std::string describe(const Token& token)
{
    char head[16];
    std::snprintf(head, sizeof head, "%d:%02X", token.type, token.code);
    std::string out = head;
    switch (token.type) {
    case TYPE_INT32:
        out += " " + std::to_string(token.number);
        break;
    case TYPE_TEXT:
    case TYPE_STATEMENT:
    case TYPE_CONST:
    case TYPE_FUNCTION:
    case TYPE_EVAL:
    case TYPE_LABEL:
    case TYPE_TEXT_LABEL:
        out += " ";
        out += token.text.get();
        break;
    default:
        break;
    }
    return out;
}

// Every token of a line, blank-separated, and how the last call ended.
struct Lexed {
    std::string tokens;
    int last = 0;
    long stop = 0;  // the last next position, from the start of the line
    Token token;    // the last token
};

Lexed lex(const char* line)
{
    Lexed out;
    const char* pos = line;
    const char* next = nullptr;
    for (int guard = 0; guard < 300; ++guard) {
        out.last = get_token(out.token, pos, &next);
        if (out.last != 1) {
            break;
        }
        // Appended one by one: GCC 12 sees an impossible size in the
        // temporary of `"" + std::string` (-Wstringop-overflow).
        if (!out.tokens.empty()) {
            out.tokens += ' ';
        }
        out.tokens += describe(out.token);
        pos = next;
    }
    out.stop = next - line;
    return out;
}

struct LexCase {
    const char* line;
    const char* tokens;
    const char* diag;  // empty when the line ends without an error
    long stop;         // -1: the end of the line
};

void expect_lex(DiagCapture& diag, const LexCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const LexCase& c = cases[i];
        SCOPED_TRACE(c.line);
        Lexed lexed = lex(c.line);
        EXPECT_EQ(lexed.tokens, c.tokens);
        EXPECT_EQ(lexed.last, c.diag[0] == '\0' ? 0 : -1);
        EXPECT_EQ(diag.take(), c.diag);
        EXPECT_EQ(lexed.stop, c.stop < 0 ? static_cast<long>(std::strlen(c.line)) : c.stop);
    }
}

TEST(Tokenizer, OperatorsAndPunctuation)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {"> >= < <= != == + - * / || && := : , ( ) [ ]",
         "4:81 4:82 4:83 4:84 4:85 4:86 4:90 4:91 4:92 4:93 4:94 4:95 "
         "6:00 19:00 20:00 21:00 22:00 23:00 24:00",
         "", -1},
        {"a>=b<c", "17:00 a 4:82 17:00 b 4:83 17:00 c", "", 6},
        {"x:=1", "17:00 x 6:00 11:00 1", "", 4},
        {"x: 1", "17:00 x 19:00 11:00 1", "", 4},
        {"x:1", "17:00 x 19:00 11:00 1", "", 3},
        {"-5", "4:91 11:00 5", "", 2},
        {"a+=1", "17:00 a 4:90", "ERROR(2347): syntax error: =1\n", 2},
        // a lone "!", "=", "&" or "|" begins no token
        {"> =", "4:81", "ERROR(2347): syntax error: =\n", 2},
        {"a ! b", "17:00 a", "ERROR(2347): syntax error: ! b\n", 2},
        {"=1", "", "ERROR(2347): syntax error: =1\n", 0},
        {"a & b", "17:00 a", "ERROR(2347): syntax error: & b\n", 2},
        {"a | b", "17:00 a", "ERROR(2347): syntax error: | b\n", 2},
        {" @x", "", "ERROR(2347): syntax error: @x\n", 1},
        {"\x82\xA0", "", "ERROR(2347): syntax error: \x82\xA0\n", 0},
    };
    expect_lex(diag, cases, std::size(cases));
}

TEST(Tokenizer, Directives)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {".DATA", "14:00", "", 5},
        {".data,1", "14:00 20:00 11:00 1", "", 7},
        {".Unknown.Byte 1", "25:00 11:00 1", "", 15},
        {".UNKNOWN", "26:00", "", 8},
        {".option", "255:00", "", 7},
        {".data1", "", "ERROR(2244): unknown . directive\n", 0},
        {"x .datax", "17:00 x", "ERROR(2244): unknown . directive\n", 2},
        {".dat", "", "ERROR(2244): unknown . directive\n", 0},
        {".unknown.", "", "ERROR(2244): unknown . directive\n", 0},
        {".", "", "ERROR(2244): unknown . directive\n", 0},
    };
    expect_lex(diag, cases, std::size(cases));
}

TEST(Tokenizer, Numbers)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {"0", "11:00 0", "", 1},
        {"0x1F", "11:00 31", "", 4},
        {"0X1f", "11:00 31", "", 4},
        {"010", "11:00 8", "", 3},
        {"09", "11:00 0 11:00 9", "", 2},
        {"12ab", "11:00 12 17:00 ab", "", 4},
        {"2147483647", "11:00 2147483647", "", 10},
        {"2147483648", "11:00 2147483647", "", 10},
        {"4294967295", "11:00 2147483647", "", 10},
        {"99999999999999999999999", "11:00 2147483647", "", 23},
        {"0x7fffffff", "11:00 2147483647", "", 10},
        {"0x80000000", "11:00 2147483647", "", 10},
        {"0xFFFFFFFFFFFFFFFFFF", "11:00 2147483647", "", 20},
        {"077777777777", "11:00 2147483647", "", 12},
        // a 0x prefix without a hexadecimal digit is the number 0
        {"0x", "11:00 0 17:00 x", "", 2},
        {"0xg1", "11:00 0 17:00 xg1", "", 4},
    };
    expect_lex(diag, cases, std::size(cases));
}

TEST(Tokenizer, KeywordsInAnyCase)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {"IF Eval endIF", "2:A1 IF 7:A7 Eval 2:A2 endIF", "", 13},
        {"$VAR[1] $Str", "5:B2 $VAR 23:00 11:00 1 24:00 5:B3 $Str", "", 12},
        {"INT32 Data", "3:D2 INT32 5:B4 Data", "", 10},
        {"jump2 _x", "17:00 jump2", "ERROR(2347): syntax error: _x\n", 6},
        {"$x", "", "ERROR(2337): illegal variable name '$x'\n", 0},
        {"a $var2", "17:00 a", "ERROR(2337): illegal variable name '$var2'\n", 2},
        {"$", "", "ERROR(2337): illegal variable name '$'\n", 0},
    };
    expect_lex(diag, cases, std::size(cases));

    Token token;
    const char* next = nullptr;
    ASSERT_EQ(get_token(token, "IF", &next), 1);
    EXPECT_EQ(token.info, &code_info[19]);
    ASSERT_EQ(get_token(token, "x", &next), 1);
    EXPECT_EQ(token.info, nullptr);
    ASSERT_EQ(get_token(token, "$VAR", &next), 1);
    ASSERT_EQ(get_token(token, "", &next), 0);  // a spent token is cleared
    EXPECT_EQ(token.type, TYPE_NONE);
    EXPECT_EQ(token.code, 0u);
    EXPECT_EQ(token.info, nullptr);
}

TEST(Tokenizer, TextLabelNames)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {"T0a1F_0001 t0000_9999", "18:00 T0a1F_0001 18:00 t0000_9999", "", 21},
        {"T0A1F_001", "17:00 T0A1F_001", "", 9},
        {"T0A1G_0001", "17:00 T0A1G_0001", "", 10},
        {"X0A1F_0001", "17:00 X0A1F_0001", "", 10},
        {"T0A1F_00012", "17:00 T0A1F_00012", "", 11},
        {"T0A1F_000x", "17:00 T0A1F_000x", "", 10},
    };
    expect_lex(diag, cases, std::size(cases));
    EXPECT_EQ(is_text_label_name("T0A1F_0001"), 1);
    EXPECT_EQ(is_text_label_name("T0A1F0_001"), 0);
    EXPECT_EQ(is_text_label_name(""), 0);
}

TEST(Tokenizer, KeywordsThatOnlySomeGamesHave)
{
    struct GameCase {
        const char* word;
        int game;
        int u6_end;
        const char* row;  // the accepted row's name, or null when refused
        uint32_t code;
        const char* refusal;
    };
    const char* const end_refused = "ERROR(2276): 'end' is not supported\n";
    const char* const misc_refused = "ERROR(2281): 'misc_action' is not supported\n";
    const char* const d1_refused = "ERROR(2286): 'UNKNOWN_D1' is not supported\n";
    const char* const df_refused = "ERROR(2291): 'UNKNOWN_DF' is not supported\n";
    const GameCase cases[] = {
        {"End", GAME_U6, 1, "end", 0xD1, ""},
        {"end", GAME_U6, 0, nullptr, 0, end_refused},
        {"END", GAME_SE, 1, nullptr, 0, end_refused},
        {"end", GAME_MD, 1, nullptr, 0, end_refused},
        {"misc_action", GAME_U6, 1, nullptr, 0, misc_refused},
        {"Misc_Action", GAME_SE, 1, nullptr, 0, misc_refused},
        {"Misc_Action", GAME_MD, 1, "misc_action", 0xD1, ""},
        {"unknown_d1", GAME_U6, 1, nullptr, 0, d1_refused},
        {"unknown_d1", GAME_SE, 1, "UNKNOWN_D1", 0xD1, ""},
        {"UNKNOWN_D1", GAME_MD, 1, "UNKNOWN_D1", 0xD1, ""},
        {"UNKNOWN_DF", GAME_U6, 1, nullptr, 0, df_refused},
        {"unknown_df", GAME_SE, 1, nullptr, 0, df_refused},
        {"Unknown_DF", GAME_MD, 1, "UNKNOWN_DF", 0xDF, ""},
    };
    for (const GameCase& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " in game " + std::to_string(c.game));
        DiagCapture diag;
        game_type = c.game;
        allow_u6_end = c.u6_end;
        Token token;
        const char* next = nullptr;
        std::string line = std::string("  ") + c.word + " 1";
        int result = get_token(token, line.c_str(), &next);
        EXPECT_EQ(diag.take(), c.refusal);
        ASSERT_NE(token.text, nullptr);
        EXPECT_STREQ(token.text.get(), c.word);
        if (c.row != nullptr) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(token.type, TYPE_STATEMENT);
            EXPECT_EQ(token.info, lookup_code_info(c.row));
            EXPECT_EQ(token.code, c.code);
            EXPECT_EQ(next, line.c_str() + 2 + std::strlen(c.word));
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(next, line.c_str() + 2);
        }
    }
}

TEST(Tokenizer, BlanksCommentsAndTexts)
{
    DiagCapture diag;
    const LexCase cases[] = {
        {"", "", "", 0},
        {" \t \r\n", "", "", 5},
        {"; x", "", "", 0},
        {"  # x", "", "", 2},
        {"a;b", "17:00 a", "", 1},
        {"\"a;b#\" ;c", "1:00 \"a;b#\"", "", 7},
        {"\"hi \\\"you\\\"\",x", "1:00 \"hi \\\"you\\\"\" 20:00 17:00 x", "", 14},
        {"x \"abc", "17:00 x", "ERROR(2441): '\"' not found\n", 2},
        {"\"a\\r\"", "", "ERROR(2413): illegal escape sequence: '\\r'\n", 0},
    };
    expect_lex(diag, cases, std::size(cases));
    const char* line = " \t\r\nx ";
    EXPECT_EQ(skip_separators(line), line + 4);
}

TEST(Tokenizer, VerboseLines)
{
    DiagCapture diag;
    verbose_level = 1;
    Lexed lexed = lex("if eval $var[2] == 1, \"t\", T0001_0001, x, int32 .data");
    EXPECT_EQ(lexed.last, 0);
    EXPECT_EQ(diag.take(),
              "INFO:\ttoken = 2:A1:if\n"
              "INFO:\ttoken = 7:A7:\n"
              "INFO:\ttoken = 5:B2:$var\n"
              "INFO:\ttoken = 23:00:\n"
              "INFO:\ttoken = 11:00:00000002\n"
              "INFO:\ttoken = 24:00:\n"
              "INFO:\ttoken = 4:86:\n"
              "INFO:\ttoken = 11:00:00000001\n"
              "INFO:\ttoken = 20:00:\n"
              "INFO:\ttoken = 1:00:\"t\"\n"
              "INFO:\ttoken = 20:00:\n"
              "INFO:\ttoken = 18:00:T0001_0001\n"
              "INFO:\ttoken = 20:00:\n"
              "INFO:\ttoken = 17:00:x\n"
              "INFO:\ttoken = 20:00:\n"
              "INFO:\ttoken = 3:D2:int32\n"
              "INFO:\ttoken = 14:00:\n");
    lex("0x7FFFFFFF !");
    EXPECT_EQ(diag.take(),
              "INFO:\ttoken = 11:00:7FFFFFFF\n"
              "ERROR(2347): syntax error: !\n");

    verbose_level = 2;
    lex(" a  12 ;c");
    EXPECT_EQ(diag.take(),
              "INFO:\ttoken src = a  12 ;c\n"
              "INFO:\ttoken = 17:00:a\n"
              "INFO:\ttoken src = 12 ;c\n"
              "INFO:\ttoken = 11:00:0000000C\n"
              "INFO:\ttoken src = ;c\n");
}

TEST(Tokenizer, MemoryExhausted)
{
    DiagCapture diag;
    set_alloc_failure(1);
    Lexed lexed = lex("word");
    EXPECT_EQ(lexed.last, -1);
    EXPECT_EQ(diag.take(), "ERROR(2267): memory exhausted! (size=5)\n");
    set_alloc_failure(2);  // the word x is copied first
    lexed = lex("x \"abc\"");
    EXPECT_EQ(lexed.last, -1);
    EXPECT_EQ(lexed.stop, 2);
    EXPECT_EQ(diag.take(), "ERROR(2385): memory exhausted! (size=6)\n");
}

}  // namespace
