#include <gtest/gtest.h>

#include <string>

#include "context/conv_state.h"
#include "parser/statement.h"
#include "support/settings.h"
#include "test_support.h"
#include "tree_text.h"

using namespace tolvar;
using tolvar_test::list_text;

namespace {

class Parse : public testing::Test {
protected:
    ~Parse() override { conv_free(conv); }

    // Parses source as a whole script: the tree as text, or "FAIL".
    std::string parse(const std::string& source)
    {
        conv_free(conv);
        tolvar_test::TempFile file(source);
        path_ = file.path();
        diag.take();
        if (read_source(conv, file.path()) < 0) {
            return "FAIL";
        }
        return list_text(conv.tree.get());
    }

    // The diagnostics of the last parse, without the lines that name the
    // (temporary) file.
    std::string messages()
    {
        std::string text = diag.take();
        std::string kept;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start + 1);
            if (line.find(path_) == std::string::npos && line != "INFO: read source finished\n") {
                kept += line;
            }
            start = end + 1;
        }
        return kept;
    }

    tolvar_test::DiagCapture diag;
    ConvState conv;
    std::string path_;
};

TEST_F(Parse, WorkedListWithOffsetsLabelsAndSize)
{
    EXPECT_EQ(parse("\"Hi\"\n"
                    "if eval $var[2] == 1\n"
                    "  jump tail\n"
                    "else\n"
                    "  bye\n"
                    "endif\n"
                    "tail:\n"
                    ".data \"ab\"\n"
                    ".unknown 300\n"
                    ".unknown.byte 7\n"),
              "0:text[Hi] 2:if(eval ==($var[2], 1)){8:jump(tail)} 13:else{14:bye} 15:endif "
              "16:label tail 16:.data [ab] 19:.unknown 300 21:.unknown.byte 7");
    EXPECT_EQ(conv.size, 22);
    EXPECT_EQ(get_data_label(conv.data_labels, "TAIL"), 16);
    EXPECT_EQ(messages(), "");
}

TEST_F(Parse, EveryParameterKindCountsItsBytes)
{
    EXPECT_EQ(parse(".option --md\n"
                    "keywords \"hi\"\n"              // 0: 1 + 2
                    "sident -1, \"Name\"\n"          // 3: 1 + 1 + 4
                    "dprint int32 names, eval 1\n"   // 9: 1 + 5 + 1 + 1
                    "input $var[3]\n"                // 17: 1 + 2
                    "decl $str[1] := eval byte 5\n"  // 20: 1 + 2 + 1 + 2 + 1
                    "setf eval 1, eval 0\n"          // 27: 1 + 2 + 2
                    "misc_action eval 8\n"           // 32: 1 + 2
                    "names: jump names\n"),          // 35: 1 + 4
              "0:keywords([hi]) 3:sident(255, [Name]) 9:dprint(int32 names, eval 1) "
              "17:input($var[3]) 20:decl($str[1], :=, eval byte 5) 27:setf(eval 1, eval 0) "
              "32:misc_action(eval 8) 35:label names 35:jump(names)");
    EXPECT_EQ(conv.size, 40);
    EXPECT_EQ(get_data_label(conv.data_labels, "names"), 35);
    EXPECT_EQ(messages(), "INFO: line 1: option '--md' enabled\n");
}

TEST_F(Parse, DataAndRawValuesTakeSignedNumbers)
{
    EXPECT_EQ(parse(".data -32768\n.data 0x10\n.unknown.byte -1\n.unknown -0\n"
                    ".data \"{\x82\xA0}\"\n.data \"\"\n"),
              "0:.data 32768 2:.data 16 4:.unknown.byte 255 5:.unknown 0 "
              "7:.data [{\x82\xA0}] 12:.data []");
    EXPECT_EQ(conv.size, 13);

    struct Bad {
        const char* line;
        const char* message;
    };
    const Bad bad[] = {
        {".data -32769", "ERROR(1073): line 1: integer value overflow\n"},
        {".data 65536", "ERROR(1073): line 1: integer value overflow\n"},
        {".data", "ERROR(1031): line 1: syntax error\n"},
        {".data -", "ERROR(1065): line 1: syntax error\n"},
        {".data - x", "ERROR(1083): line 1: syntax error\n"},  // only a "-" ending the line
        {".data - -1", "ERROR(1083): line 1: syntax error\n"},
        {".data x", "ERROR(1083): line 1: syntax error\n"},
        {".data \"{\x82\xA0\"", "ERROR(654): '}' not found\nERROR(1053): line 1: illegal text\n"},
        {".unknown.byte 256", "ERROR(1129): line 1: byte value overflow\n"},
        {".unknown.byte -129", "ERROR(1129): line 1: byte value overflow\n"},
        {".unknown 65536", "ERROR(1117): line 1: integer value overflow\n"},
        {".unknown", "ERROR(1098): line 1: syntax error\n"},
        {".unknown -", "ERROR(1107): line 1: syntax error\n"},
        {".unknown - bye", "ERROR(1140): line 1: syntax error\n"},
        {".unknown.byte bye", "ERROR(1140): line 1: syntax error\n"},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(parse(std::string(b.line) + "\n"), "FAIL") << b.line;
        EXPECT_EQ(messages(), b.message) << b.line;
    }
}

TEST_F(Parse, LabelsShareTheOffsetOfWhatFollows)
{
    EXPECT_EQ(parse("start:\nhere: bye\nend_label:\n"),
              "0:label start 0:label here 0:bye 1:label end_label");
    EXPECT_EQ(get_data_label(conv.data_labels, "end_label"), 1);
    EXPECT_EQ(conv.size, 1);

    EXPECT_EQ(parse("start\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(972): line 1: syntax error\n");
    EXPECT_EQ(parse("a: b: bye\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1512): line 1: syntax error\n");
    EXPECT_EQ(parse("a:\nA:\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(2631): label 'A' is already used\n");
}

TEST_F(Parse, NestedBlocksKeepOffsetsRunning)
{
    EXPECT_EQ(parse("if eval 1\n"
                    "  bye\n"
                    "else\n"
                    "  if eval 0\n"
                    "    if eval 8\n"
                    "    endif\n"
                    "  else\n"
                    "    wait\n"
                    "  endif\n"
                    "endif\n"
                    "ask\n"),
              "0:if(eval 1){3:bye} 4:else{5:if(eval 0){8:if(eval 8) 11:endif} 12:else{13:wait} "
              "14:endif} 15:endif 16:ask");
    EXPECT_EQ(conv.size, 17);
    EXPECT_EQ(messages(), "WARNING(1247): line 5: 'if' have no sub block\n");

    EXPECT_EQ(parse("if eval 1\nelse\nendif\n"), "0:if(eval 1) 3:else 4:endif");
    EXPECT_EQ(messages(),
              "WARNING(1247): line 1: 'if' have no sub block\n"
              "WARNING(1267): line 2: 'else' have no sub block\n");
}

TEST_F(Parse, BlockKeywordsOutOfPlace)
{
    EXPECT_EQ(parse("bye\nif eval 1\nbye\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1253): line 4: 'endif' not found\n");
    EXPECT_EQ(parse("if eval 1\nelse\nbye\n"), "FAIL");
    EXPECT_EQ(messages(),
              "WARNING(1247): line 1: 'if' have no sub block\n"
              "ERROR(1272): line 4: 'endif' not found\n");
    EXPECT_EQ(parse("if eval 1\nelse\nelse\nendif\n"), "FAIL");
    EXPECT_EQ(messages(),
              "WARNING(1247): line 1: 'if' have no sub block\n"
              "ERROR(1162): line 3: 'else' without 'if'\n");

    endif_without_if = 1;
    EXPECT_EQ(parse("bye\nendif\nbye\n"), "0:bye 1:endif 2:bye");
    EXPECT_EQ(messages(), "WARNING(1151): line 2: 'endif' without 'if'\n");
    EXPECT_EQ(parse("else\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1162): line 1: 'else' without 'if'\n");
}

TEST_F(Parse, TextsContinueOverLinesInsideBraces)
{
    EXPECT_EQ(parse("\"Hello {\x82\xA0\"\n\"\x82\xA2}!\"\nbye\n"),
              "0:text[Hello {\x82\xA0] 9:text[\x82\xA2}!] 13:bye");
    EXPECT_EQ(parse("\"{\x82\xA0\"\njump x\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(963): line 1: '}' not found\n");
    EXPECT_EQ(parse("bye\n\"{\x82\xA0\"\n; comment\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(906): line 2: '}' not found\n");
    EXPECT_EQ(parse("\"\x82\xA0\"\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(700): illegal text: 82\nERROR(1017): line 1: illegal text\n");
}

TEST_F(Parse, AssignmentsWithAndWithoutDecl)
{
    std::string with_decl = parse("decl data(int32 t, $var[1]) := eval 1 + 1\n");
    EXPECT_EQ(with_decl, "0:decl(data(int32 t, $var[1]), :=, eval +(1, 1))");
    EXPECT_EQ(conv.size, 1 + 8 + 1 + 3 + 1);

    EXPECT_EQ(parse("data(int32 t, $var[1]) := eval 1 + 1\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1464): line 1: syntax error: 'decl' not found\n");

    implicit_decl = 1;
    verbose_level = 1;
    EXPECT_EQ(parse("data(int32 t, $var[1]) := eval 1 + 1\n"), with_decl);
    EXPECT_NE(messages().find("WARNING(1468): line 1: 'decl' not found ... corrected\n"),
              std::string::npos);
    verbose_level = 0;

    EXPECT_EQ(parse("decl $var[1]\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1442): line 1: declare variable without assign\n");
    EXPECT_EQ(parse("$var[1] = 1\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(2347): syntax error: = 1\nERROR(928): line 1: can't get token\n");
    EXPECT_EQ(parse("$var[1] 1\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(1493): line 1: declare variable without assign\n");
    EXPECT_EQ(parse("decl $var[1] := 1\n"), "FAIL");
    EXPECT_EQ(messages(),
              "ERROR(1576): line 1: 'eval' not found\n"
              "ERROR(1452): line 1: parse_eval error: right value of ':='\n");
}

TEST_F(Parse, InstructionParameterErrors)
{
    struct Bad {
        const char* line;
        const char* message;
    };
    const Bad bad[] = {
        {"bye bye", "ERROR(1517): line 1: syntax error\n\ttoken[1] = 2:B6:bye\n"},
        {"setf eval 1", "ERROR(1297): line 1: syntax error: 'setf' parameter 2\n"},
        {"setf eval 1 eval 0", "ERROR(1301): line 1: syntax error: 'setf' parameter 1\n"},
        {"setf", "ERROR(1308): line 1: syntax error: 'setf' parameter 1\n"},
        {"setf eval 1,", "ERROR(1308): line 1: syntax error: 'setf' parameter 2\n"},
        {"jump 5", "ERROR(1376): line 1: syntax error: 'jump' parameter 1\n"},
        {"dprint names, eval 1", "ERROR(1392): line 1: 'int32' not found: 'dprint' parameter 1\n"},
        {"dprint int32 5, eval 1", "ERROR(1410): line 1: syntax error: 'dprint' parameter 1\n"},
        // Only int32 makes a data-label reference, not the other sized constants.
        {"dprint byte names, eval 1", "ERROR(1410): line 1: syntax error: 'dprint' parameter 1\n"},
        {"dprint int16 names, eval 1", "ERROR(1410): line 1: syntax error: 'dprint' parameter 1\n"},
        {"sident 256, \"x\"", "ERROR(1353): line 1: byte value overflow: 'sident' parameter 1\n"},
        {"sident -", "ERROR(1345): line 1: syntax error: 'sident' parameter 1\n"},
        {"sident -, \"x\"", "ERROR(1363): line 1: syntax error: 'sident' parameter 1\n"},
        {"sident x, \"x\"", "ERROR(1363): line 1: syntax error: 'sident' parameter 1\n"},
        {"keywords 5", "ERROR(1325): line 1: syntax error: 'keywords' parameter 1\n"},
        {"keywords T0000_0001", "ERROR(1319): line 1: can't get text: label=T0000_0001\n"},
        {"keywords \"{\x82\xA0\"",
         "ERROR(654): '}' not found\nERROR(1333): line 1: illegal text: 'keywords' parameter 1\n"},
        {"input 1", "ERROR(1424): line 1: syntax error: 'input' parameter 1\n"},
        {"input $var[256]",
         "ERROR(1848): line 1: $var index overflow: index=256\n"
         "ERROR(1420): line 1: parse expr error: 'input' parameter 1\n"},
        {"portrait 1",
         "ERROR(1576): line 1: 'eval' not found\n"
         "ERROR(1429): line 1: parse_eval error: 'portrait' parameter 1\n"},
        {"rand(1, 1)", "ERROR(1508): line 1: syntax error\n"},
        {"eval 1", "ERROR(1512): line 1: syntax error\n"},
        {"5", "ERROR(1512): line 1: syntax error\n"},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(parse(std::string(b.line) + "\n"), "FAIL") << b.line;
        EXPECT_EQ(messages(), b.message) << b.line;
    }
}

TEST_F(Parse, ImplicitInt32AndEvalBuildTheFullForm)
{
    std::string full = parse("dprint int32 names, eval 1\nif eval 1\nendif\n");
    implicit_int32 = 1;
    implicit_eval = 1;
    EXPECT_EQ(parse("dprint names, 1\nif 1\nendif\n"), full);
    EXPECT_EQ(messages(), "WARNING(1247): line 2: 'if' have no sub block\n");
    verbose_level = 1;
    parse("dprint names, 1\n");
    std::string verbose = messages();
    EXPECT_NE(verbose.find("WARNING(1396): line 1: 'int32' not found ... corrected: 'dprint' "
                           "parameter 1\n"),
              std::string::npos);
    EXPECT_NE(verbose.find("WARNING(1580): line 1: 'eval' not found ... corrected\n"),
              std::string::npos);
}

TEST_F(Parse, LinesCommentsAndTokenLimits)
{
    EXPECT_EQ(parse("; comment\n# comment\n   \n  bye ; trailing\r\nwait # also\r\n\tsleep"),
              "0:bye 1:wait 2:sleep");
    EXPECT_EQ(parse(""), "FAIL");
    EXPECT_EQ(messages(), "");  // 593 names the file
    EXPECT_EQ(parse("; only a comment\n.option --se\n"), "FAIL");

    std::string line = ".data 1";  // 2 tokens
    for (int i = 2; i < 256; ++i) {
        line += " ,";
    }
    EXPECT_EQ(parse(line + " ; 256 tokens, then a comment\n"), "FAIL");
    EXPECT_EQ(messages().rfind("ERROR(1517): line 1: syntax error\n\ttoken[2] = 20:00:\n", 0), 0u);
    EXPECT_EQ(parse(line + " ,\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(951): line 1: too many token\n");
}

TEST_F(Parse, OptionLinesOnlyHeadTheScript)
{
    EXPECT_EQ(parse(".option --se --implicit-eval\n; c\n.option --endif-without-if\nbye\n"),
              "0:bye");
    EXPECT_EQ(messages(),
              "INFO: line 1: option '--se' enabled\n"
              "INFO: line 1: option '--implicit-eval' enabled\n"
              "INFO: line 3: option '--endif-without-if' enabled\n");
    EXPECT_EQ(game_type, GAME_SE);
    EXPECT_EQ(implicit_eval, 1);
    EXPECT_EQ(endif_without_if, 1);

    struct Bad {
        const char* source;
        const char* message;
    };
    const Bad bad[] = {
        {"bye\n.option --se\n", "ERROR(937): line 2: illegal '.option'\n"},
        {"x:\n.option --se\n", "ERROR(937): line 2: illegal '.option'\n"},
        {"bye .option --se\n", "ERROR(937): line 1: illegal '.option'\n"},
        {"if eval 1\n.option --se\nendif\n", "ERROR(937): line 2: illegal '.option'\n"},
        {".option\n", "ERROR(866): line 1: no optins\nERROR(941): line 1: can't set option\n"},
        {".option --md --no-ja-text\n",
         "INFO: line 1: option '--md' enabled\n"
         "ERROR(856): line 1: unknown option '--no-ja-text'\n"
         "ERROR(941): line 1: can't set option\n"},
        {".option --se ; why\n",
         "INFO: line 1: option '--se' enabled\n"
         "ERROR(856): line 1: unknown option ';'\n"
         "ERROR(941): line 1: can't set option\n"},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(parse(b.source), "FAIL") << b.source;
        EXPECT_EQ(messages(), b.message) << b.source;
    }
}

TEST_F(Parse, RobustnessDecisions)
{
    EXPECT_EQ(parse(std::string(4095, ' ') + "\nbye\n"), "0:bye");
    EXPECT_EQ(parse(std::string(4092, ' ') + "bye\r\r\n"), "0:bye");
    EXPECT_EQ(parse("bye\n" + std::string(4096, ' ') + "\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3101): line 2: line too long\n");
    EXPECT_EQ(parse(std::string("bye\0 wait\n", 10)), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3104): line 1: NUL byte in line\n");

    std::string deep;
    for (int i = 0; i < MAX_IF_DEPTH; ++i) {
        deep += "if eval 1\n";
    }
    std::string closing;
    for (int i = 0; i < MAX_IF_DEPTH; ++i) {
        closing += "endif\n";
    }
    EXPECT_NE(parse(deep + "bye\n" + closing), "FAIL");
    EXPECT_EQ(conv.size, MAX_IF_DEPTH * 4 + 1);
    EXPECT_EQ(parse(deep + "if eval 1\nendif\n" + closing), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3102): line 1001: 'if' nested too deep: max=1000\n");
}

TEST_F(Parse, SizeOverflowStopsTheParse)
{
    set_size_limit(10);
    EXPECT_EQ(parse("\"12345\"\n\"12345\"\n"), "0:text[12345] 5:text[12345]");
    EXPECT_EQ(parse("\"12345\"\n\"123456\"\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3103): line 2: binary size overflow\n");
    EXPECT_EQ(parse("bye\nif eval byte 1 == byte 2 + byte 3\nendif\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3103): line 2: binary size overflow\n");
    EXPECT_EQ(parse("if eval 1\n.data \"abcdef\"\nendif\n"), "FAIL");
    EXPECT_EQ(messages(), "ERROR(3103): line 3: binary size overflow\n");
    set_size_limit(2147483647);
}

}  // namespace
