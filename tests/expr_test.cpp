#include <gtest/gtest.h>

#include <string>

#include "front/tokenizer.h"
#include "parser/expr.h"
#include "support/settings.h"
#include "test_support.h"
#include "tree_text.h"

using namespace tolvar;
using tolvar_test::expr_text;

namespace {

class Expr : public testing::Test {
protected:
    // Parses `eval ...` from the start of line: the tree as text or "FAIL";
    // bytes and next_pos tell what was counted and consumed.
    std::string eval(const std::string& line)
    {
        count = 0;
        for (auto& token : tokens) {
            token.text.reset();
        }
        const char* p = line.c_str();
        const char* next = p;
        while (get_token(tokens[count], p, &next) == 1) {
            ++count;
            p = next;
        }
        diag.take();
        TokenCursor cur{tokens, count, 0, 100, 7};
        InstPtr result;
        int rc = parse_eval(cur, result);
        pos = cur.pos;
        bytes = cur.offset - 100;
        return rc < 0 ? "FAIL" : expr_text(result.get());
    }

    tolvar_test::DiagCapture diag;
    Token tokens[300];
    int count = 0;
    int pos = 0;
    int64_t bytes = 0;
};

TEST_F(Expr, WorkedExampleTreeAndBytes)
{
    EXPECT_EQ(eval("eval $var[2] * byte 10 + int16 300 == 1 && "
                   "indexof(int32 names, $str[0]) != 0"),
              "eval &&(==(+(*($var[2], byte 10), int16 300), 1), !=(indexof(int32 names, "
              "$str[0]), 0))");
    EXPECT_EQ(bytes, 23);
    EXPECT_EQ(pos, count);
    EXPECT_EQ(diag.take(), "");
}

TEST_F(Expr, PrecedenceAndAssociativity)
{
    const std::pair<const char*, const char*> cases[] = {
        {"eval 1 + 8 * 0", "eval +(1, *(8, 0))"},
        {"eval ( byte 1 + byte 2 ) * byte 3", "eval *(+(byte 1, byte 2), byte 3)"},
        {"eval byte 1 + byte 2 * byte 3", "eval +(byte 1, *(byte 2, byte 3))"},
        {"eval 1 || 0 && 8", "eval &&(||(1, 0), 8)"},
        {"eval 1 && 0 || 8", "eval ||(&&(1, 0), 8)"},
        {"eval 1 - 0 - 8", "eval -(-(1, 0), 8)"},
        {"eval 1 == 0 == 8", "eval ==(==(1, 0), 8)"},
        {"eval 1 / 8 * 0", "eval *(/(1, 8), 0)"},
        {"eval 1 < 8 + 0 * 1 >= 0", "eval >=(<(1, +(8, *(0, 1))), 0)"},
        {"eval ((1))", "eval 1"},
    };
    for (const auto& [line, tree] : cases) {
        EXPECT_EQ(eval(line), tree) << line;
    }
    eval("eval 1 + 8 * 0");
    EXPECT_EQ(bytes, 6);
    eval("eval ( byte 1 + byte 2 ) * byte 3");
    EXPECT_EQ(bytes, 2 + 2 + 1 + 2 + 1 + 1);
}

TEST_F(Expr, ArgumentsAndConstants)
{
    EXPECT_EQ(eval("eval int16 -1"), "eval int16 65535");
    EXPECT_EQ(bytes, 4);
    EXPECT_EQ(eval("eval int16 - 32768"), "eval int16 32768");
    EXPECT_EQ(eval("eval int16 65535"), "eval int16 65535");
    EXPECT_EQ(eval("eval $var[255]"), "eval $var[255]");
    EXPECT_EQ(eval("eval rand(byte 1, int16 500) / byte 7"),
              "eval /(rand(byte 1, int16 500), byte 7)");
    EXPECT_EQ(bytes, 2 + 3 + 1 + 1 + 2 + 1);
    EXPECT_EQ(eval("eval hasobj(1, 8 + 1, weight(0, 1))"), "eval hasobj(1, +(8, 1), weight(0, 1))");
    // The parse stops at the first token that can't continue it.
    EXPECT_EQ(eval("eval 1 , 8"), "eval 1");
    EXPECT_EQ(pos, 2);
}

TEST_F(Expr, ErrorChains)
{
    // Every failing operand is followed by the lines of the sequence and of
    // the eval around it.
    const std::string tail =
        "ERROR(1634): line 7: parse expr error\nERROR(1593): line 7: parse expr error\n";
    struct Bad {
        const char* line;
        std::string messages;
    };
    const Bad bad[] = {
        {"", "ERROR(1567): line 7: syntax error\n"},
        {"1", "ERROR(1576): line 7: 'eval' not found\n"},
        {"eval 2", "ERROR(2101): line 7: syntax error\n" + tail},
        {"eval - byte 1", "ERROR(2101): line 7: syntax error\n" + tail},
        {"eval 1 +", "ERROR(1810): line 7: syntax error\n" + tail},
        {"eval ()",
         "ERROR(2101): line 7: syntax error\nERROR(1634): line 7: parse expr error\n"
         "ERROR(1818): line 7: parse expr error\n" +
             tail},
        {"eval (1", "ERROR(1823): line 7: ')' not found\n" + tail},
        {"eval int16 -32769",
         "ERROR(1933): line 7: byte value overflow: int16 parameter 1\n" + tail},
        {"eval int16 65536",
         "ERROR(1921): line 7: byte value overflow: int16 parameter 1\n" + tail},
        {"eval int16 x", "ERROR(1941): line 7: syntax error: int16 parameter 1\n" + tail},
        {"eval byte 256", "ERROR(1893): line 7: byte value overflow: byte parameter 1\n" + tail},
        {"eval byte", "ERROR(1886): line 7: syntax error: byte parameter 1\n" + tail},
        {"eval byte x", "ERROR(1915): line 7: syntax error: byte parameter 1\n" + tail},
        {"eval $var[256]", "ERROR(1848): line 7: $var index overflow: index=256\n" + tail},
        {"eval $str 3", "ERROR(1856): line 7: syntax error: $str\n" + tail},
        {"eval rand(byte 1 byte 2)",
         "ERROR(1880): line 7: syntax error: rand parameter 1\n" + tail},
        {"eval rand(byte 1,", "ERROR(1886): line 7: syntax error: rand parameter 2\n" + tail},
        {"eval rand(byte 1", "ERROR(1876): line 7: syntax error: rand parameter 2\n" + tail},
        {"eval rand(byte 1, byte 2", "ERROR(1991): line 7: ')' not found\n" + tail},
        {"eval rand byte 1", "ERROR(1864): line 7: '(' not found\n" + tail},
        {"eval int32 5", "ERROR(1984): BUG: code_info[int32(D2)].params[0].type=11\n" + tail},
        {"eval data(names, byte 1)",
         "ERROR(1957): line 7: 'int32' not found: data parameter 1\n" + tail},
        {"eval data(int32 5, byte 1)",
         "ERROR(1975): line 7: syntax error: data parameter 1\n" + tail},
        {"eval flag(1, 2)",
         "ERROR(2101): line 7: syntax error\nERROR(1634): line 7: parse expr error\n"
         "ERROR(1980): line 7: parse expr error\n" +
             tail},
    };
    for (const Bad& b : bad) {
        EXPECT_EQ(eval(b.line), "FAIL") << b.line;
        EXPECT_EQ(diag.take(), b.messages) << b.line;
        EXPECT_EQ(bytes, 0) << b.line;  // nothing counted on failure
        EXPECT_EQ(pos, 0) << b.line;
    }
}

TEST_F(Expr, OperandLimit)
{
    std::string line = "eval 1";
    for (int i = 1; i < MAX_EXPR_OPERANDS; ++i) {
        line += " + 1";
    }
    EXPECT_NE(eval(line), "FAIL");
    EXPECT_EQ(bytes, 128 + 127 + 1);
    EXPECT_EQ(eval(line + " + 1"), "FAIL");
    EXPECT_EQ(diag.take(),
              "ERROR(1629): BUG: line 7: too many expr\n"
              "ERROR(1593): line 7: parse expr error\n");
}

TEST_F(Expr, ImplicitSettingsAndTheirWarnings)
{
    implicit_eval = 1;
    EXPECT_EQ(eval("1 + 1"), "eval +(1, 1)");
    EXPECT_EQ(bytes, 4);
    EXPECT_EQ(diag.take(), "");
    implicit_int32 = 1;
    verbose_level = 1;
    EXPECT_EQ(eval("data(names, byte 1)"), "eval data(int32 names, byte 1)");
    EXPECT_EQ(bytes, 1 + 5 + 2 + 1);
    std::string got = diag.take();
    EXPECT_NE(got.find("WARNING(1580): line 7: 'eval' not found ... corrected\n"),
              std::string::npos);
    EXPECT_NE(
        got.find("WARNING(1961): line 7: 'int32' not found ... corrected: data parameter 1\n"),
        std::string::npos);
}

TEST_F(Expr, TraceLines)
{
    verbose_level = 2;
    ASSERT_EQ(eval("eval 1 + 8 * 0"), "eval +(1, *(8, 0))");
    std::string got = diag.take();
    EXPECT_EQ(got,
              "INFO: parse_eval: START\n"
              "INFO: parse_expr_op: level=1 START\n"
              "INFO: parse_expr: level=1 START\n"
              "INFO: parse_expr: level=1 END\n"
              "INFO: parse_expr: level=1 START\n"
              "INFO: parse_expr: level=1 END\n"
              "INFO: parse_expr: level=1 START\n"
              "INFO: parse_expr: level=1 END\n"
              "INFO: make_op_hier: level=1 START\n"
              "INFO: make_op_hier: code=90, start=0, found=0, end=2\n"
              "INFO: make_op_hier: level=2 START\n"
              "INFO: make_op_hier: code=92, start=1, end=2\n"
              "INFO: make_op_hier: level=2 END\n"
              "INFO: make_op_hier: level=1 END\n"
              "INFO: parse_expr_op: level=1 END\n"
              "INFO: parse_eval: END\n");
}

}  // namespace
