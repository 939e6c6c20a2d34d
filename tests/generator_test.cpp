#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "codegen/generator.h"
#include "support/memory.h"
#include "support/settings.h"
#include "test_support.h"
#include "tree_builders.h"

using namespace tolvar;
using namespace tolvar_test;

namespace {

Emitted generate(const Inst* list, const DataLabelTable& labels, int32_t size)
{
    return run_emitter(make_binary, list, labels, size);
}

void set_text(Inst* node, int i, ItemType kind, const char* text)
{
    node->params[i].type = kind;
    node->params[i].text = str_copy(text);
}

void set_value(Inst* node, int i, ItemType kind, int value)
{
    node->params[i].type = kind;
    node->params[i].value = value;
}

Inst* directive(ListBuilder& list, int line, int32_t offset, ItemType type, ItemType kind,
                int value)
{
    Inst* node = list.node(line, offset, type);
    node->param_count = 1;
    set_value(node, 0, kind, value);
    return node;
}

// The statement list whose bytes are 48 69 A1 02 B2 01 86 A7 B0 10 00 00 00
// A3 B6 A2 61 62 00 2C 01 07; the jump refers to `tail` before its line.
void build_worked_example(ListBuilder& list)
{
    Inst* text = list.node(1, 0, TYPE_TEXT);
    text->param_count = 1;
    set_text(text, 0, TYPE_TEXT, "Hi");

    Inst* if_node = list.statement(2, 2, "if");
    if_node->params[0].node = eval(op(0x86, var("$var", 2), lit(1)));
    ListBuilder if_body;
    set_text(if_body.statement(3, 8, "jump"), 0, TYPE_LABEL, "tail");
    if_node->sub = std::move(if_body.head);

    Inst* else_node = list.statement(4, 13, "else");
    ListBuilder else_body;
    else_body.statement(5, 14, "bye");
    else_node->sub = std::move(else_body.head);

    list.statement(6, 15, "endif");
    Inst* label = list.node(7, 16, TYPE_LABEL);
    label->param_count = 1;
    set_text(label, 0, TYPE_LABEL, "tail");
    Inst* data = list.node(8, 16, TYPE_DATA);
    data->param_count = 1;
    set_text(data, 0, TYPE_TEXT, "ab");
    directive(list, 9, 19, TYPE_UNKNOWN, TYPE_INT16, 300);
    directive(list, 10, 21, TYPE_UNKNOWN_BYTE, TYPE_BYTE, 7);
}

class Generator : public testing::Test {
protected:
    void SetUp() override { init_data_labels(labels); }
    DiagCapture diag;
    DataLabelTable labels;
    ListBuilder list;
};

TEST_F(Generator, WorkedExampleWithForwardLabelAndItsListing)
{
    build_worked_example(list);
    ASSERT_EQ(add_data_label(labels, "tail", 16), 0);
    Emitted out = generate(list.head.get(), labels, 22);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.position, 22);
    EXPECT_EQ(out.bytes, "48 69 A1 02 B2 01 86 A7 B0 10 00 00 00 A3 B6 A2 61 62 00 2C 01 07");
    EXPECT_EQ(diag.take(), "");

    verbose_level = 1;
    EXPECT_EQ(generate(list.head.get(), labels, 22).result, 0);
    EXPECT_EQ(diag.take(),
              "INFO: line 1\n"
              "INFO: line 2: if\n"
              "INFO: line 3: jump\n"
              "INFO: line 4: else\n"
              "INFO: line 5: bye\n"
              "INFO: line 6: endif\n"
              "INFO: line 7\n"
              "INFO: line 8: .data\n"
              "INFO: line 9: .unknown\n"
              "INFO: line 10: .unknown.byte\n");
}

TEST_F(Generator, EveryParameterKind)
{
    Inst* decl = list.statement(1, 0, "decl");
    decl->param_count = 3;
    decl->params[0].node = var("$var", 2);
    set_value(decl, 1, TYPE_ASSIGN, 0);
    decl->params[2].type = TYPE_EVAL;
    decl->params[2].node = eval(byte_const(5));

    Inst* sident = list.statement(2, 7, "sident");
    set_value(sident, 0, TYPE_BYTE, 5);
    set_text(sident, 1, TYPE_TEXT, "Name");

    Inst* dprint = list.statement(3, 13, "dprint");
    dprint->params[0].node = data_ref("NAMES");
    dprint->params[1].node = eval(lit(1));

    list.statement(4, 21, "inputnum")->params[0].node = var("$var", 3);
    directive(list, 5, 24, TYPE_DATA, TYPE_INT16, 0xFFFF);
    Inst* label = list.node(6, 26, TYPE_LABEL);
    label->param_count = 1;
    set_text(label, 0, TYPE_LABEL, "names");
    directive(list, 7, 26, TYPE_UNKNOWN_BYTE, TYPE_BYTE, 255);
    ASSERT_EQ(add_data_label(labels, "names", 26), 0);

    Emitted out = generate(list.head.get(), labels, 27);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.position, 27);
    EXPECT_EQ(out.bytes,
              "A6 02 B2 A8 D3 05 A7 "
              "FF 05 4E 61 6D 65 "
              "B5 D2 1A 00 00 00 01 A7 "
              "FC 03 B2 "
              "FF FF FF");
    EXPECT_EQ(diag.take(), "");
}

TEST_F(Generator, TraceLinesAtLevelTwoAlsoAfterAFailure)
{
    Inst* if_node = list.statement(1, 0, "if");
    if_node->params[0].node = eval(lit(1));
    ListBuilder body;
    set_text(body.statement(2, 3, "jump"), 0, TYPE_LABEL, "later");
    if_node->sub = std::move(body.head);
    list.statement(3, 8, "endif");
    verbose_level = 2;

    const std::string into_body =
        "INFO: make_binary: level=1 START\n"
        "INFO: line 1: if\n"
        "INFO: make_binary_expr: level=1 START\n"
        "INFO: make_binary_expr: level=1 END\n"
        "INFO: make_binary: level=2 START\n"
        "INFO: line 2: jump\n";
    Emitted out = generate(list.head.get(), labels, 9);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.position, UNTOUCHED);
    EXPECT_EQ(diag.take(), into_body +
                               "ERROR(2766): line 2: can't find label: later\n"
                               "INFO: make_binary: level=2 END\n"
                               "ERROR(2829): line 1: make binary data: offset=00000003, 'if'\n"
                               "INFO: make_binary: level=1 END\n");

    ASSERT_EQ(add_data_label(labels, "later", 8), 0);
    out = generate(list.head.get(), labels, 9);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.bytes, "A1 01 A7 B0 08 00 00 00 A2");
    EXPECT_EQ(diag.take(), into_body +
                               "INFO: make_binary: level=2 END\n"
                               "INFO: line 3: endif\n"
                               "INFO: make_binary: level=1 END\n");
}

TEST_F(Generator, UndefinedLabelsFailThroughEveryEnclosingBody)
{
    Inst* dprint = list.statement(1, 0, "dprint");
    dprint->params[0].node = data_ref("names");
    dprint->params[1].node = eval(lit(0));
    Emitted out = generate(list.head.get(), labels, 8);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.position, UNTOUCHED);
    EXPECT_EQ(diag.take(),
              "ERROR(2888): can't find label: names\n"
              "ERROR(2808): line 1: can't add str32\n");

    // jump inside an else body inside an if body
    ListBuilder outer;
    Inst* if_node = outer.statement(1, 0, "if");
    if_node->params[0].node = eval(lit(1));
    ListBuilder if_body;
    if_body.statement(2, 3, "bye");
    Inst* else_node = if_body.statement(3, 4, "else");
    ListBuilder else_body;
    set_text(else_body.statement(4, 5, "jump"), 0, TYPE_LABEL, "gone");
    else_node->sub = std::move(else_body.head);
    if_node->sub = std::move(if_body.head);
    out = generate(outer.head.get(), labels, 10);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(diag.take(),
              "ERROR(2766): line 4: can't find label: gone\n"
              "ERROR(2829): line 3: make binary data: offset=00000005, 'else'\n"
              "ERROR(2829): line 1: make binary data: offset=00000003, 'if'\n");
}

TEST_F(Generator, EmptyBodiesWarnAndGoOn)
{
    list.statement(1, 0, "if")->params[0].node = eval(lit(1));
    list.statement(2, 3, "else");
    list.statement(3, 4, "endif");
    Emitted out = generate(list.head.get(), labels, 5);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.position, 5);
    EXPECT_EQ(out.bytes, "A1 01 A7 A3 A2");
    EXPECT_EQ(diag.take(),
              "WARNING(2826): line 1: 'if' have no sub block: offset=00000003\n"
              "WARNING(2826): line 2: 'else' have no sub block: offset=00000004\n");
}

TEST_F(Generator, OffsetMismatchStopsAtTheNode)
{
    list.statement(1, 0, "bye");
    list.statement(2, 2, "bye");
    list.statement(3, 3, "bye");
    Emitted out = generate(list.head.get(), labels, 3);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.bytes, "B6 00 00");
    EXPECT_EQ(
        diag.take(),
        "ERROR(2696): BUG: line 2: offset mismatch: inst->offset=00000002, offset=00000001\n");
}

TEST_F(Generator, BufferEndingInsideACondition)
{
    list.statement(4, 0, "if")->params[0].node =
        eval(op(0x86, op(0x90, byte_const(1), byte_const(2)), lit(1)));
    Emitted out = generate(list.head.get(), labels, 4);
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(out.bytes, "A1 D3 01 D3");
    EXPECT_EQ(diag.take(),
              "ERROR(3014): BUG: binary data overflow: size=4, offset=00000004, byte=0x02\n"
              "ERROR(2917): can't add byte\n"
              "ERROR(2936): can't add expr\n"
              "ERROR(2936): can't add expr\n"
              "ERROR(2789): line 4: can't add expr\n");
}

TEST_F(Generator, MalformedTreesAreRefused)
{
    auto refused = [&](const Inst* node) {
        Emitted out = generate(node, labels, 16);
        EXPECT_EQ(out.result, -1);
        EXPECT_EQ(out.position, UNTOUCHED);
        return diag.take();
    };
    EXPECT_EQ(refused(nullptr), "ERROR(2690): BUG: can't make binary: inst is NULL\n");

    ListBuilder stray;
    stray.node(1, 0, TYPE_OPERATOR);
    EXPECT_EQ(refused(stray.head.get()),
              "ERROR(2840): BUG: line 1: illegal type: offset=00000000, type=4\n");

    ListBuilder no_eval;  // an `if` whose condition slot is empty
    no_eval.statement(2, 0, "if");
    EXPECT_EQ(
        refused(no_eval.head.get()),
        "ERROR(2784): BUG: line 2: param type mismatch: offset=00000001, inst='if', param 0\n");

    // A count beyond the four slots is refused, not read past the array.
    ListBuilder wide;
    Inst* give = wide.statement(4, 0, "give");
    for (int i = 0; i < 4; ++i) {
        set_value(give, i, TYPE_BYTE, i);
    }
    give->param_count = 5;
    EXPECT_EQ(refused(wide.head.get()),
              "ERROR(2817): BUG: line 4: illegal parameter type: offset=00000005, inst='give', "
              "params[4].type=0\n");

    // A statement node without a row prints an empty name.
    ListBuilder nameless;
    Inst* node = nameless.node(6, 0, TYPE_STATEMENT);
    node->code = 0xB6;
    ListBuilder body;
    body.statement(7, 1, "bye");
    node->sub = std::move(body.head);
    EXPECT_EQ(refused(nameless.head.get()),
              "ERROR(2835): BUG: line 6: unknown sub block: offset=00000001, ''\n");
}

}  // namespace
