#include <gtest/gtest.h>

#include <string>

#include "labels/labels.h"
#include "support/memory.h"
#include "support/names.h"
#include "test_support.h"

using namespace tolvar;

namespace {

std::string text_label_name(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "T%04X_%04d", i, i % 10000);
    return name;
}

TEST(TextLabels, AddFindAndGetIgnoreCase)
{
    tolvar_test::DiagCapture diag;
    TextLabelTable table;
    init_text_labels(table);
    EXPECT_EQ(add_text_label(table, "T0A1F_0001", "\"Hello\""), 0);
    EXPECT_EQ(add_text_label(table, "T0A1F_0002", ""), 0);
    EXPECT_EQ(find_text_label(table, "t0a1f_0002"), 1);
    EXPECT_STREQ(get_text_label(table, "t0A1f_0001"), "\"Hello\"");
    EXPECT_STREQ(get_text_label(table, "T0A1F_0002"), "");
    EXPECT_EQ(get_text_label(table, "T0A1F_0003"), nullptr);
    EXPECT_EQ(diag.take(), "");  // absence is the caller's to report

    EXPECT_EQ(add_text_label(table, "t0a1f_0001", "\"Other\""), -1);
    EXPECT_EQ(diag.take(), "ERROR(2530): label 't0a1f_0001' is already used\n");
    EXPECT_STREQ(get_text_label(table, "T0A1F_0001"), "\"Hello\"");
    EXPECT_EQ(table.count, 2);
    free_text_labels(table);
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(table.capacity, 0);
    EXPECT_EQ(table.entries, nullptr);
}

TEST(TextLabels, GrowsBy256AndKeepsEntries)
{
    tolvar_test::DiagCapture diag;
    TextLabelTable table;
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(add_text_label(table, text_label_name(i).c_str(), "\"x\""), 0);
    }
    EXPECT_EQ(table.capacity, 256);
    ASSERT_EQ(add_text_label(table, text_label_name(256).c_str(), "\"last\""), 0);
    EXPECT_EQ(table.capacity, 512);
    EXPECT_EQ(table.count, 257);
    EXPECT_EQ(find_text_label(table, text_label_name(0).c_str()), 0);
    EXPECT_STREQ(get_text_label(table, text_label_name(256).c_str()), "\"last\"");
}

TEST(TextLabels, EmptyNamesAndExhaustedMemory)
{
    tolvar_test::DiagCapture diag;
    TextLabelTable table;
    EXPECT_EQ(add_text_label(table, "", "\"x\""), -1);
    EXPECT_EQ(add_text_label(table, nullptr, "\"x\""), -1);
    EXPECT_EQ(find_text_label(table, ""), -1);
    EXPECT_EQ(get_text_label(table, ""), nullptr);
    EXPECT_EQ(diag.take(),
              "ERROR(2500): BUG: label is NULL or empty string\n"
              "ERROR(2500): BUG: label is NULL or empty string\n"
              "ERROR(2557): BUG: label is NULL or empty string\n"
              "ERROR(2557): BUG: label is NULL or empty string\n");

    set_alloc_failure(1);
    EXPECT_EQ(add_text_label(table, "T0000_0000", "\"x\""), -1);
    EXPECT_EQ(diag.take(), "ERROR(2486): memory exhausted! (size=" +
                               std::to_string(256 * sizeof(TextLabel)) + ")\n");
    set_alloc_failure(2);
    EXPECT_EQ(add_text_label(table, "T0000_0000", "\"x\""), -1);
    EXPECT_EQ(diag.take(), "ERROR(2540): memory exhausted! (size=11)\n");
    set_alloc_failure(2);
    EXPECT_EQ(add_text_label(table, "T0000_0000", "\"xy\""), -1);
    EXPECT_EQ(diag.take(), "ERROR(2544): memory exhausted! (size=5)\n");
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(add_text_label(table, "T0000_0000", "\"x\""), 0);
}

TEST(DataLabels, AddReturnsOneAndLookupIgnoresCase)
{
    tolvar_test::DiagCapture diag;
    DataLabelTable table;
    EXPECT_EQ(add_data_label(table, "Names", 0x123), 0);
    EXPECT_EQ(add_data_label(table, "tail", 0), 0);
    EXPECT_EQ(get_data_label(table, "NAMES"), 0x123);
    EXPECT_EQ(get_data_label(table, "Tail"), 0);
    EXPECT_EQ(get_data_label(table, "head"), -1);
    EXPECT_EQ(find_data_label(table, "head"), -1);
    EXPECT_EQ(diag.take(), "");
    EXPECT_EQ(add_data_label(table, "TAIL", 7), -1);
    EXPECT_EQ(diag.take(), "ERROR(2631): label 'TAIL' is already used\n");
    EXPECT_EQ(get_data_label(table, "tail"), 0);
}

TEST(DataLabels, GrowsBy16)
{
    tolvar_test::DiagCapture diag;
    DataLabelTable table;
    for (int i = 0; i < 17; ++i) {
        ASSERT_EQ(add_data_label(table, ("l" + std::to_string(i)).c_str(), i * 10), 0);
        EXPECT_EQ(table.capacity, i < 16 ? 16 : 32);
    }
    EXPECT_EQ(get_data_label(table, "l0"), 0);
    EXPECT_EQ(get_data_label(table, "l16"), 160);
}

TEST(DataLabels, EmptyNamesAndExhaustedMemory)
{
    tolvar_test::DiagCapture diag;
    DataLabelTable table;
    EXPECT_EQ(add_data_label(table, "", 0), -1);
    EXPECT_EQ(get_data_label(table, nullptr), -1);
    EXPECT_EQ(diag.take(),
              "ERROR(2626): BUG: label is NULL or empty string\n"
              "ERROR(2654): BUG: label is NULL or empty string\n");
    set_alloc_failure(1);
    EXPECT_EQ(add_data_label(table, "a", 0), -1);
    EXPECT_EQ(diag.take(), "ERROR(2614): memory exhausted! (size=" +
                               std::to_string(16 * sizeof(DataLabel)) + ")\n");
    set_alloc_failure(2);
    EXPECT_EQ(add_data_label(table, "abc", 0), -1);
    EXPECT_EQ(diag.take(), "ERROR(2640): memory exhausted! (size=4)\n");
    EXPECT_EQ(table.count, 0);
}

// Lookups through the hash index must find what a scan of the entries in
// order finds, across the table's growth, for names in any letter case,
// near misses and bytes that only look like letters.
TEST(DataLabels, IndexFindsWhatAScanFinds)
{
    tolvar_test::DiagCapture diag;
    DataLabelTable table;
    auto scan = [&table](const std::string& name) {
        for (int32_t i = 0; i < table.count; ++i) {
            if (names_equal(name.c_str(), table.entries[i].label.get())) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    auto name_of = [](int i) {
        const char* stems[] = {"topic_", "Table", "x", "_", "a\xC1", "@[", "LONG_name_of_a_label_"};
        return stems[i % 7] + std::to_string(i / 7);
    };
    const int count = 1200;
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(add_data_label(table, name_of(i).c_str(), i), 0) << name_of(i);
    }
    for (int i = 0; i < count; ++i) {
        std::string name = name_of(i);
        std::string swapped = name;
        for (char& c : swapped) {
            c = static_cast<char>(isalpha(static_cast<unsigned char>(c)) ? c ^ 0x20 : c);
        }
        for (const std::string& probe :
             {name, swapped, name + "0", name.substr(1), "`{" + name.substr(2)}) {
            EXPECT_EQ(find_data_label(table, probe.c_str()), scan(probe)) << probe;
        }
        EXPECT_EQ(get_data_label(table, swapped.c_str()), i);
    }
    EXPECT_EQ(diag.take(), "");
    EXPECT_EQ(add_data_label(table, "TOPIC_0", 1), -1);
    EXPECT_EQ(add_data_label(table,
                             "a\xC1"
                             "0",
                             1),
              -1);
    EXPECT_EQ(add_data_label(table,
                             "a\xE1"
                             "0",
                             1),
              0);  // not a letter: a new name
    EXPECT_EQ(diag.take(),
              "ERROR(2631): label 'TOPIC_0' is already used\n"
              "ERROR(2631): label 'a\xC1"
              "0' is already used\n");
}

TEST(TextLabels, IndexFindsEveryLabelAfterGrowth)
{
    tolvar_test::DiagCapture diag;
    TextLabelTable table;
    const int count = 1000;
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(add_text_label(table, text_label_name(i).c_str(), std::to_string(i).c_str()), 0);
    }
    for (int i = 0; i < count; ++i) {
        std::string lower = text_label_name(i);
        for (char& c : lower) {
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(find_text_label(table, lower.c_str()), i);
        EXPECT_EQ(add_text_label(table, lower.c_str(), "\"again\""), -1);
    }
    EXPECT_EQ(find_text_label(table, text_label_name(count).c_str()), -1);
    EXPECT_EQ(table.count, count);
}

}  // namespace
