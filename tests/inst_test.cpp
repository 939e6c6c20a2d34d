#include <gtest/gtest.h>

#include "front/tokenizer.h"
#include "isa/inst.h"
#include "support/memory.h"
#include "test_support.h"

using namespace tolvar;

namespace {

TEST(Inst, NewNodeIsZeroedAndLinkedAsAsked)
{
    InstPtr head;
    Inst* first = inst_new(3, 10, &head, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(head.get(), first);
    EXPECT_EQ(first->line, 3);
    EXPECT_EQ(first->offset, 10);
    EXPECT_EQ(first->type, TYPE_NONE);
    EXPECT_EQ(first->code, 0);
    EXPECT_EQ(first->info, nullptr);
    EXPECT_EQ(first->param_count, 0);
    EXPECT_EQ(first->next, nullptr);
    EXPECT_EQ(first->sub, nullptr);

    Inst* second = inst_new(4, 11, &head, first);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(head.get(), first);

    InstPtr loose(inst_new(5, -1, nullptr, nullptr));
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(loose->offset, -1);
}

TEST(Inst, ExhaustedMemoryIsReported)
{
    tolvar_test::DiagCapture diag;
    InstPtr head;
    set_alloc_failure(1);
    EXPECT_EQ(inst_new(1, 0, &head, nullptr), nullptr);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(diag.take(),
              "ERROR(752): memory exhausted! (size=" + std::to_string(sizeof(Inst)) + ")\n");
}

// Builds a tree that holds every kind of owned slot; the sanitizer build
// proves it is released whole and once.
TEST(Inst, ReleasingATreeReleasesEverySlotKind)
{
    InstPtr tree;
    Inst* text = inst_new(1, 0, &tree, nullptr);
    text->type = TYPE_TEXT;
    text->param_count = 1;
    text->params[0].type = TYPE_TEXT;
    text->params[0].text = str_copy("hello");

    Inst* if_node = inst_new(2, 5, &tree, text);
    if_node->type = TYPE_STATEMENT;
    if_node->param_count = 1;
    if_node->params[0].type = TYPE_EVAL;
    Inst* eval = inst_new(2, -1, nullptr, nullptr);
    if_node->params[0].node.reset(eval);
    Inst* op = inst_new(2, -1, nullptr, nullptr);
    eval->params[0].type = TYPE_EXPR;
    eval->params[0].node.reset(op);
    op->params[0].node.reset(inst_new(2, -1, nullptr, nullptr));
    op->params[1].node.reset(inst_new(2, -1, nullptr, nullptr));

    Inst* jump = inst_new(3, 9, &if_node->sub, nullptr);
    jump->params[0].type = TYPE_LABEL;
    jump->params[0].text = str_copy("there");
    Inst* dprint = inst_new(4, 14, &if_node->sub, jump);
    dprint->params[0].type = TYPE_DATA_OFFSET;
    dprint->params[0].node.reset(inst_new(4, -1, nullptr, nullptr));
    dprint->params[0].node->params[0].text = str_copy("names");

    Inst* endif = inst_new(5, 20, nullptr, nullptr);
    if_node->next = endif;

    // A partly filled slot (no string, no node) is fine too.
    Inst* partial = inst_new(6, 21, &tree, endif);
    partial->param_count = 2;
    partial->params[0].type = TYPE_TEXT;
    partial->params[1].type = TYPE_VARIABLE;

    tree.reset();
    inst_list_free(nullptr);
}

TEST(Inst, LongListsAndDeepBodiesAreReleasedWithoutRecursion)
{
    InstPtr tree;
    Inst* tail = nullptr;
    for (int i = 0; i < 200000; ++i) {
        tail = inst_new(i + 1, i, &tree, tail);
    }
    Inst* outer = tree.get();
    for (int depth = 0; depth < 200000; ++depth) {
        outer = inst_new(1, 0, &outer->sub, nullptr);
    }
    tree.reset();
}

TEST(Inst, TokenValuesFreeReleasesOnlyTheFirstCount)
{
    Token tokens[3];
    tokens[0].text = str_copy("a");
    tokens[1].text = str_copy("b");
    tokens[2].text = str_copy("c");
    token_values_free(tokens, 2);
    EXPECT_EQ(tokens[0].text, nullptr);
    EXPECT_EQ(tokens[1].text, nullptr);
    EXPECT_STREQ(tokens[2].text.get(), "c");
}

}  // namespace
