#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "isa/code_info.h"
#include "support/names.h"

using namespace tolvar;

namespace {

int row_number(const CodeInfo* row)
{
    return row == nullptr ? 0 : static_cast<int>(row - code_info) + 1;
}

TEST(CodeInfo, TableIsOrderedByCodeWithUniqueNames)
{
    std::set<std::string> folded;
    for (int i = 0; i < CODE_INFO_COUNT; ++i) {
        const CodeInfo& row = code_info[i];
        if (i > 0) {
            EXPECT_LE(code_info[i - 1].code, row.code) << row.text;
        }
        std::string name = row.text;
        for (char& c : name) {
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(folded.insert(name).second) << row.text;
        for (int p = row.param_count; p < 4; ++p) {
            EXPECT_EQ(row.params[p].type, TYPE_NONE) << row.text;
            EXPECT_EQ(row.params[p].name, nullptr) << row.text;
        }
    }
    EXPECT_EQ(code_info[0].code, 0x81u);
    EXPECT_EQ(code_info[CODE_INFO_COUNT - 1].code, 0xFFu);
}

TEST(CodeInfo, RowsThatCarryTheGrammar)
{
    const CodeInfo* sident = lookup_code_info("sident");
    ASSERT_NE(sident, nullptr);
    EXPECT_EQ(row_number(sident), 82);
    EXPECT_EQ(sident->param_count, 2);
    EXPECT_EQ(sident->params[0].type, TYPE_BYTE);
    EXPECT_EQ(sident->params[1].type, TYPE_TEXT);

    const CodeInfo* dprint = lookup_code_info("dprint");
    ASSERT_NE(dprint, nullptr);
    EXPECT_EQ(dprint->params[0].type, TYPE_DATA_OFFSET);
    EXPECT_EQ(dprint->params[1].type, TYPE_EVAL);

    const CodeInfo* give = lookup_code_info("give");
    ASSERT_NE(give, nullptr);
    EXPECT_EQ(give->code, 0xC9u);
    EXPECT_EQ(give->param_count, 4);

    EXPECT_STREQ(lookup_code_info("if")->params[0].name, "conditon");
    EXPECT_EQ(lookup_code_info("jump")->params[0].type, TYPE_INT32);
    EXPECT_EQ(lookup_code_info("int16")->params[0].type, TYPE_INT16);
    EXPECT_EQ(lookup_code_info(":=")->type, TYPE_ASSIGN);
}

TEST(CodeInfo, LookupIsExactAndCaseSensitive)
{
    EXPECT_EQ(row_number(lookup_code_info("decl")), 25);
    EXPECT_EQ(lookup_code_info("DECL"), nullptr);
    EXPECT_EQ(lookup_code_info("dec"), nullptr);
    const CodeInfo* end = lookup_code_info("end");
    EXPECT_EQ(row_number(end), 53);
    EXPECT_EQ(end->code, 0xD1u);
    EXPECT_EQ(row_number(lookup_code_info(">")), 1);
}

TEST(CodeInfo, KeywordSearchIgnoresCaseAndTellsTheD1RowsApart)
{
    auto find = [](const char* word) { return find_keyword(word, std::strlen(word)); };
    EXPECT_EQ(row_number(find("Misc_Action")), 52);
    EXPECT_EQ(row_number(find("unknown_d1")), 51);
    EXPECT_EQ(find("Misc_Action")->code, 0xD1u);
    EXPECT_EQ(find("Misc_Action")->param_count, 1);
    EXPECT_EQ(find("END")->param_count, 0);
    EXPECT_EQ(row_number(find("eval")), 26);
    EXPECT_EQ(find("eval")->type, TYPE_EVAL);
    EXPECT_EQ(find("$VAR")->code, 0xB2u);
    EXPECT_EQ(find("iF")->code, 0xA1u);
    // Only a prefix of the word must not match.
    EXPECT_EQ(find_keyword("ifx", 2)->code, 0xA1u);
    EXPECT_EQ(find("ifx"), nullptr);
    EXPECT_EQ(find("int3"), nullptr);
}

// The keyword and operator indexes must find what a scan of the rows in
// table order finds, for every name in any case and for near misses.
TEST(CodeInfo, IndexedSearchesAgreeWithATableScan)
{
    auto scan_keyword = [](const std::string& word) -> const CodeInfo* {
        for (const CodeInfo& row : code_info) {
            if (names_equal_n(word.data(), word.size(), row.text)) {
                return &row;
            }
        }
        return nullptr;
    };
    for (const CodeInfo& row : code_info) {
        std::string name = row.text;
        std::string upper = name;
        for (char& c : upper) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        for (const std::string& word : {name, upper, name + "x", name.substr(1), "_" + name,
                                        name.substr(0, name.size() - 1)}) {
            EXPECT_EQ(find_keyword(word.data(), word.size()), scan_keyword(word)) << word;
        }
    }

    auto scan_operator = [](const char* p, size_t* length) -> const CodeInfo* {
        const CodeInfo* found = nullptr;
        *length = 0;
        for (const CodeInfo& row : code_info) {
            size_t n = std::strlen(row.text);
            if (row.type == TYPE_OPERATOR && n > *length && std::strncmp(p, row.text, n) == 0) {
                found = &row;
                *length = n;
            }
        }
        return found;
    };
    const char symbols[] = "<>=!&|+-*/:a ";
    for (char first : std::string(symbols)) {
        for (char second : std::string(symbols)) {
            const char text[] = {first, second, '\0'};
            size_t length = 99;
            size_t scanned = 99;
            EXPECT_EQ(find_operator(text, &length), scan_operator(text, &scanned)) << text;
            if (scan_operator(text, &scanned) != nullptr) {
                EXPECT_EQ(length, scanned) << text;
            }
        }
    }
}

TEST(CodeInfo, NamesEqualFoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(names_equal("Label_1", "lABEL_1"));
    EXPECT_FALSE(names_equal("label", "labels"));
    EXPECT_FALSE(names_equal("labels", "label"));
    EXPECT_FALSE(names_equal("a_", "A-"));
    // 0xC1 and 0xE1 differ by the case bit but are not letters.
    EXPECT_FALSE(names_equal("\xC1", "\xE1"));
    // The edges of both alphabets fold; their neighbours do not.
    EXPECT_TRUE(names_equal("AZaz", "azAZ"));
    EXPECT_FALSE(names_equal("@[", "`{"));
    EXPECT_FALSE(names_equal("[", "{"));
}

}  // namespace
