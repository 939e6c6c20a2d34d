#include <gtest/gtest.h>

#include <string>

#include "context/conv_state.h"
#include "front/text_file.h"
#include "labels/labels.h"
#include "support/memory.h"
#include "support/settings.h"
#include "test_support.h"

using namespace tolvar;

namespace {

// Reads contents as a text file into a fresh table; the diagnostics come
// back without the opening "read text from" line.
struct TextFileRun {
    ConvState conv;
    int result = 0;
    std::string diag;
    std::string path;

    explicit TextFileRun(const std::string& contents, int verbose = 0)
    {
        tolvar_test::DiagCapture capture;
        verbose_level = verbose;
        tolvar_test::TempFile file(contents, "texts.txt");
        path = file.path();
        result = read_text_file(conv, file.path());
        diag = capture.take();
        std::string opening = "INFO: read text from '" + path + "'\n";
        EXPECT_EQ(diag.compare(0, opening.size(), opening), 0) << diag;
        diag.erase(0, opening.size());
    }
    ~TextFileRun() { free_text_labels(conv.text_labels); }

    const char* text(const char* label) const { return get_text_label(conv.text_labels, label); }
};

const char* const FINISHED = "INFO: read text finished\n";

TEST(TextFile, CommentLinesAddNothing)
{
    TextFileRun run(";T0001_0001\tx\t\"a\"\n#\n;\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.diag, FINISHED);
    EXPECT_EQ(run.conv.text_labels.count, 0);
}

TEST(TextFile, StoresFieldThreeAsWrittenInFileOrder)
{
    TextFileRun run(
        "T0001_0001\tcomment\t\"Hi; #there\"\n"
        "t0a1F_0002\t\t\"bad \\r escape and \x80 byte\"\tignored\tfields\n"
        "T0001_0003\t\"only a text\"\n"
        "T0001_0004\tx\t\"no line end\"");
    ASSERT_EQ(run.result, 0) << run.diag;
    EXPECT_EQ(run.diag, FINISHED);
    ASSERT_EQ(run.conv.text_labels.count, 4);
    EXPECT_STREQ(run.conv.text_labels.entries[1].label.get(), "t0a1F_0002");
    EXPECT_STREQ(run.text("T0001_0001"), "\"Hi; #there\"");
    EXPECT_STREQ(run.text("T0A1F_0002"), "\"bad \\r escape and \x80 byte\"");
    EXPECT_STREQ(run.text("T0001_0003"), "");  // one tab: the text is the empty third field
    EXPECT_STREQ(run.text("T0001_0004"), "\"no line end\"");
}

TEST(TextFile, VerboseShowsEachDataLine)
{
    TextFileRun run("; first\nT0001_0001\tx\t\"Hello\"\n", 1);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.diag, std::string("INFO: line   2: T0001_0001 = \"Hello\"\n") + FINISHED);
}

TEST(TextFile, CarriageReturnEndsAField)
{
    TextFileRun run("T0001_0001\tx\t\"a\"\r\nT0001_0002\t\"b\"\r\n");
    ASSERT_EQ(run.result, 0) << run.diag;
    EXPECT_STREQ(run.text("T0001_0001"), "\"a\"");
    EXPECT_STREQ(run.text("T0001_0002"), "");
}

TEST(TextFile, TooFewFieldsIsASyntaxError)
{
    const char* const cases[] = {
        "\n",                           // empty line
        "T0001_0001\n",                 // label only
        "T0001_0001 \"text\"\n",        // blank instead of a tab
        "T0001_0001\t\"no line end\"",  // the missing line end is no separator
    };
    for (const char* contents : cases) {
        TextFileRun run(std::string(";\n") + contents);
        EXPECT_EQ(run.result, -1) << contents;
        EXPECT_EQ(run.diag, "ERROR(537): line 2: syntax error: '" + run.path + "'\n") << contents;
    }
}

TEST(TextFile, FieldOneMustBeATextLabelName)
{
    const char* const labels[] = {
        "T0001_0001 ", "T001_0001",  "T00001_0001", "T000G_0001",
        "X0001_0001",  "T0001-0001", "T0001_000a",  "",
    };
    for (const char* label : labels) {
        TextFileRun run(std::string(label) + "\tx\t\"t\"\n");
        EXPECT_EQ(run.result, -1) << label;
        EXPECT_EQ(run.diag,
                  "ERROR(542): line 1: illegal label name: '" + std::string(label) + "'\n");
    }
}

TEST(TextFile, RepeatedLabelInOtherCaseFails)
{
    TextFileRun run("T0A1F_0001\tx\t\"one\"\nT0001_0002\tx\t\"two\"\nt0a1f_0001\tx\t\"three\"\n");
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.diag, "ERROR(2530): label 't0a1f_0001' is already used\n");
    EXPECT_EQ(run.conv.text_labels.count, 2);  // what came before stays
    EXPECT_STREQ(run.text("T0A1F_0001"), "\"one\"");
}

// A line longer than the buffer is refused whole, comment lines too: read in
// pieces, a crafted tail would define a label of its own.
TEST(TextFile, LongLinesAreRefused)
{
    std::string longest = "T0001_0001\tx\t\"" + std::string(4095 - 15, 'a') + "\"";
    ASSERT_EQ(longest.size(), 4095u);
    TextFileRun fits(longest + "\r\n");
    EXPECT_EQ(fits.result, 0) << fits.diag;
    EXPECT_EQ(std::string(fits.text("T0001_0001")).size(), 4095u - 13u);

    std::string hidden = std::string(4095, ';') + "T0001_0002\tx\t\"sneaked in\"\n";
    const std::string too_long[] = {
        "T0001_0001\tx\t\"short\"\n" + longest + "b\"\n",
        "#" + std::string(5000, 'c') + "\n",
        hidden,
    };
    const int line_no[] = {2, 1, 1};
    for (int i = 0; i < 3; ++i) {
        TextFileRun run(too_long[i]);
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.diag,
                  "ERROR(3107): line " + std::to_string(line_no[i]) + ": line too long\n");
        EXPECT_EQ(run.text("T0001_0002"), nullptr);
    }
}

// Editors that save UTF-8 may start the file with a byte order mark.
TEST(TextFile, ByteOrderMarkIsSkipped)
{
    TextFileRun run("\xEF\xBB\xBFT0001_0001\tx\t\"a\"\n\xEF\xBB\xBFT0001_0002\tx\t\"b\"\n");
    EXPECT_EQ(run.result, -1);  // only at the very start
    EXPECT_EQ(run.diag,
              "WARNING(3108): UTF-8 byte order mark skipped\n"
              "ERROR(542): line 2: illegal label name: '\xEF\xBB\xBFT0001_0002'\n");
    EXPECT_STREQ(run.text("T0001_0001"), "\"a\"");
}

TEST(TextFile, OpenAndReadFailures)
{
    tolvar_test::DiagCapture diag;
    ConvState conv;
    tolvar_test::TempFile file("", "present.txt");
    std::string missing = file.dir() + "/missing.txt";
    EXPECT_EQ(read_text_file(conv, missing.c_str()), -1);
    EXPECT_EQ(diag.take(),
              "INFO: read text from '" + missing + "'\nERROR(501): can't open '" + missing + "'\n");

    // A folder opens but cannot be read.
    EXPECT_EQ(read_text_file(conv, file.dir().c_str()), -1);
    EXPECT_EQ(diag.take(), "INFO: read text from '" + file.dir() + "'\nERROR(514): can't read '" +
                               file.dir() + "' line 1\n");

    EXPECT_EQ(read_text_file(conv, file.path()), 0);
    EXPECT_EQ(diag.take(), "INFO: read text from '" + std::string(file.path()) + "'\n" + FINISHED);
}

TEST(TextFile, TableFailureEndsTheReading)
{
    tolvar_test::DiagCapture diag;
    ConvState conv;
    tolvar_test::TempFile file("T0001_0001\tx\t\"a\"\n");
    set_alloc_failure(1);
    EXPECT_EQ(read_text_file(conv, file.path()), -1);
    EXPECT_EQ(diag.take(), "INFO: read text from '" + std::string(file.path()) +
                               "'\nERROR(2486): memory exhausted! (size=" +
                               std::to_string(TEXT_LABEL_GROWTH * sizeof(TextLabel)) + ")\n");
    free_text_labels(conv.text_labels);
}

}  // namespace
