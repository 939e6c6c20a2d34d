#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "codegen/generator.h"
#include "support/settings.h"
#include "test_support.h"
#include "tree_builders.h"

using namespace tolvar;
using namespace tolvar_test;

namespace {

Emitted emit(const Inst* node, const DataLabelTable& labels, int32_t size, int32_t start = 0)
{
    return run_emitter(make_binary_expr, node, labels, size, start);
}

TEST(ExprEmit, WorkedExampleIsPostfixWithPrefixConstants)
{
    DiagCapture diag;
    DataLabelTable labels;
    init_data_labels(labels);
    ASSERT_EQ(add_data_label(labels, "Names", 0x123), 0);
    // $var[2] * byte 10 + int16 300 == 1 && indexof(int32 names, $str[0]) != 0
    InstPtr expr =
        op(0x95,
           op(0x86, op(0x90, op(0x92, var("$var", 2), byte_const(10)), int16_const(300)), lit(1)),
           op(0x85, call("indexof", data_ref("names"), var("$str", 0)), lit(0)));
    Emitted out = emit(expr.get(), labels, 25, 3);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.position, 25);
    EXPECT_EQ(out.bytes, "02 B2 D3 0A 92 D4 2C 01 90 01 86 D2 23 01 00 00 00 B3 B7 00 85 95");
    EXPECT_EQ(diag.take(), "");
}

TEST(ExprEmit, ShortExpressionsAndSixteenBitEdges)
{
    DiagCapture diag;
    DataLabelTable labels;
    init_data_labels(labels);
    std::vector<std::pair<InstPtr, std::string>> cases;
    cases.emplace_back(op(0x90, lit(1), op(0x92, lit(8), lit(0))), "01 08 00 92 90");
    cases.emplace_back(op(0x91, op(0x91, byte_const(1), byte_const(2)), byte_const(3)),
                       "D3 01 D3 02 91 D3 03 91");
    cases.emplace_back(int16_const(65534), "D4 FE FF");
    cases.emplace_back(op(0x93, call("rand", byte_const(1), int16_const(500)), byte_const(7)),
                       "D3 01 D4 F4 01 A0 D3 07 93");
    cases.emplace_back(op(0x95, op(0x94, lit(1), lit(0)), call("flag", lit(0), lit(8))),
                       "01 00 94 00 08 AB 95");
    cases.emplace_back(int16_const(32768), "D4 00 80");
    cases.emplace_back(int16_const(65535), "D4 FF FF");
    for (const auto& [expr, expected] : cases) {
        int32_t size = static_cast<int32_t>((expected.size() + 1) / 3);
        Emitted out = emit(expr.get(), labels, size);
        EXPECT_EQ(out.result, 0) << expected;
        EXPECT_EQ(out.position, size) << expected;
        EXPECT_EQ(out.bytes, expected);
    }
    EXPECT_EQ(diag.take(), "");
}

TEST(ExprEmit, TraceLinesOnlyAtLevelTwo)
{
    DiagCapture diag;
    DataLabelTable labels;
    init_data_labels(labels);
    InstPtr expr = op(0x90, lit(1), lit(0));
    verbose_level = 1;
    EXPECT_EQ(emit(expr.get(), labels, 3).result, 0);
    EXPECT_EQ(diag.take(), "");
    verbose_level = 2;
    for (int run = 0; run < 2; ++run) {  // the depth starts over each call
        EXPECT_EQ(emit(expr.get(), labels, 3).result, 0);
        EXPECT_EQ(diag.take(),
                  "INFO: make_binary_expr: level=1 START\n"
                  "INFO: make_binary_expr: level=2 START\n"
                  "INFO: make_binary_expr: level=2 END\n"
                  "INFO: make_binary_expr: level=2 START\n"
                  "INFO: make_binary_expr: level=2 END\n"
                  "INFO: make_binary_expr: level=1 END\n");
    }
}

TEST(ExprEmit, MalformedTreesAreRefused)
{
    DiagCapture diag;
    DataLabelTable labels;
    init_data_labels(labels);
    auto refused = [&](const Inst* node) {
        Emitted out = emit(node, labels, 8);
        EXPECT_EQ(out.result, -1);
        EXPECT_EQ(out.position, UNTOUCHED);
        return diag.take();
    };

    EXPECT_EQ(refused(nullptr), "ERROR(2871): BUG: can't make binary: expr is NULL\n");
    EXPECT_EQ(refused(lit(2).get()), "ERROR(2968): BUG: illegal type: offset=00000000, type=9\n");
    // The eval wrapper is the generator's to write, never this one's.
    EXPECT_EQ(refused(eval(lit(1)).get()),
              "ERROR(2968): BUG: illegal type: offset=00000000, type=7\n");

    InstPtr ref = data_ref("names");
    ref->params[0].type = TYPE_TEXT;
    EXPECT_EQ(
        refused(ref.get()),
        "ERROR(2882): BUG: type mismatch: offset=00000000, type=3, code=D2, params[0].type=1\n");
    InstPtr sized = byte_const(5);
    sized->params[0].type = TYPE_INT16;
    EXPECT_EQ(
        refused(sized.get()),
        "ERROR(2906): BUG: type mismatch: offset=00000000, type=3, code=D3, params[0].type=10\n");

    // The message names the node's type, at the position reached so far.
    InstPtr sum = op(0x90, lit(1), lit(0));
    sum->params[1].type = TYPE_INT16;
    EXPECT_EQ(refused(sum.get()), "ERROR(2950): BUG: illegal type: offset=00000001, type=4\n");
    sum->params[1].type = TYPE_EXPR;
    sum->params[1].node.reset();
    EXPECT_EQ(refused(sum.get()),
              "ERROR(2871): BUG: can't make binary: expr is NULL\n"
              "ERROR(2936): can't add expr\n");

    // A count beyond the four slots is refused, not read past the array.
    InstPtr wide = var("$var", 1);
    for (Param& param : wide->params) {
        param.type = TYPE_BYTE;
    }
    wide->param_count = 5;
    EXPECT_EQ(refused(wide.get()), "ERROR(2950): BUG: illegal type: offset=00000004, type=5\n");
}

}  // namespace
