#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>

#include <string>

#include "codegen/output.h"
#include "context/conv_state.h"
#include "test_support.h"

using namespace tolvar;
using tolvar_test::hex;

namespace {

TEST(Appenders, LittleEndianAndLowBitsOnly)
{
    tolvar_test::DiagCapture diag;
    uint8_t buffer[12] = {};
    int32_t pos = 0;
    ASSERT_EQ(add_int16(buffer, 12, pos, 258, &pos), 0);
    ASSERT_EQ(add_int16(buffer, 12, pos, -1, &pos), 0);
    ASSERT_EQ(add_int16(buffer, 12, pos, 0x12345, &pos), 0);
    ASSERT_EQ(add_int32(buffer, 12, pos, 0x12345678, &pos), 0);
    ASSERT_EQ(add_byte(buffer, 12, pos, 0x1A5, &pos), 0);
    EXPECT_EQ(pos, 11);
    EXPECT_EQ(hex(buffer, 11), "02 01 FF FF 45 23 78 56 34 12 A5");
    EXPECT_EQ(diag.take(), "");
}

TEST(Appenders, TextsWithAndWithoutTerminator)
{
    tolvar_test::DiagCapture diag;
    uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    int32_t pos = 0;
    ASSERT_EQ(add_text(buffer, 8, pos, "ab", 0, &pos), 0);
    ASSERT_EQ(add_text(buffer, 8, pos, "\x82\xA0", 1, &pos), 0);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(hex(buffer, 6), "61 62 82 A0 00 EE");
}

TEST(Appenders, RefuseToPassTheEndOfTheBuffer)
{
    tolvar_test::DiagCapture diag;
    uint8_t buffer[5] = {};
    int32_t pos = 4;
    EXPECT_EQ(add_int16(buffer, 5, pos, 0x1234, &pos), -1);
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(buffer[4], 0);  // not even the low byte
    EXPECT_EQ(diag.take(),
              "ERROR(3028): BUG: binary data overflow: size=5, offset=00000004, int16=0x1234\n");
    EXPECT_EQ(add_int32(buffer, 5, pos, -2, &pos), -1);
    EXPECT_EQ(
        diag.take(),
        "ERROR(3044): BUG: binary data overflow: size=5, offset=00000004, int32=0xFFFFFFFE\n");
    ASSERT_EQ(add_byte(buffer, 5, pos, 7, &pos), 0);  // fills the buffer exactly
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(add_byte(buffer, 5, pos, 0x1FF, &pos), -1);
    EXPECT_EQ(diag.take(),
              "ERROR(3014): BUG: binary data overflow: size=5, offset=00000005, byte=0xFF\n");
    // An empty text needs no room; its terminator does.
    EXPECT_EQ(add_text(buffer, 5, pos, "", 0, &pos), 0);
    EXPECT_EQ(add_text(buffer, 5, pos, "", 1, &pos), -1);
    EXPECT_EQ(diag.take(),
              "ERROR(2994): BUG: binary data overflow: size=5, offset=00000005, text[1]=[]\n");
    pos = 0;
    EXPECT_EQ(add_text(buffer, 5, pos, "hello", 1, &pos), -1);
    EXPECT_EQ(diag.take(),
              "ERROR(2994): BUG: binary data overflow: size=5, offset=00000000, text[6]=[hello]\n");
}

TEST(Appenders, HugePositionsDoNotWrapAround)
{
    tolvar_test::DiagCapture diag;
    uint8_t buffer[1] = {};
    int32_t pos = 0x7FFFFFFE;
    EXPECT_EQ(add_int32(buffer, 0x7FFFFFFF, pos, 1, &pos), -1);
    EXPECT_EQ(pos, 0x7FFFFFFE);
}

class WriteBinary : public testing::Test {
protected:
    void fill(const std::string& bytes)
    {
        conv.size = static_cast<int32_t>(bytes.size());
        conv.buffer.reset(new uint8_t[bytes.size() + 1]);
        std::memcpy(conv.buffer.get(), bytes.data(), bytes.size());
    }
    tolvar_test::DiagCapture diag;
    ConvState conv;
};

TEST_F(WriteBinary, ReplacesAnExistingFileAndKeepsItsMode)
{
    tolvar_test::TempFile old("old contents, longer than the new", "out.bin");
    ASSERT_EQ(chmod(old.path(), 0640), 0);
    fill(std::string("\xB6\x00\x01", 3));
    ASSERT_EQ(write_binary(conv, old.path()), 0);
    EXPECT_EQ(tolvar_test::read_whole_file(old.path()), std::string("\xB6\x00\x01", 3));
    struct stat info;
    ASSERT_EQ(stat(old.path(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(diag.take(), std::string("INFO: write binary to '") + old.path() + "', size=3\n");
}

TEST_F(WriteBinary, EmptyBinaryIsAnEmptyFile)
{
    tolvar_test::TempFile dir("", "unused");
    std::string path = dir.dir() + "/empty.bin";
    fill("");
    ASSERT_EQ(write_binary(conv, path.c_str()), 0);
    EXPECT_EQ(tolvar_test::read_whole_file(path), "");
}

TEST_F(WriteBinary, MissingFolderCantBeOpened)
{
    tolvar_test::TempFile dir("", "unused");
    std::string path = dir.dir() + "/no/such/dir/out.bin";
    fill("ab");
    EXPECT_EQ(write_binary(conv, path.c_str()), -1);
    EXPECT_EQ(diag.take(), "INFO: write binary to '" + path +
                               "', size=2\nERROR(3069): can't open '" + path + "'\n");
}

TEST_F(WriteBinary, FullDeviceIsAWriteError)
{
    fill("ab");
    EXPECT_EQ(write_binary(conv, "/dev/full"), -1);
    EXPECT_EQ(diag.take(),
              "INFO: write binary to '/dev/full', size=2\nERROR(3074): can't write '/dev/full'\n");
}

TEST_F(WriteBinary, ThroughASymbolicLinkTheLinkStays)
{
    tolvar_test::TempFile real("old", "real.bin");
    std::string link = real.dir() + "/link.bin";
    ASSERT_EQ(symlink(real.path(), link.c_str()), 0);
    fill("new");
    ASSERT_EQ(write_binary(conv, link.c_str()), 0);
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(tolvar_test::read_whole_file(real.path()), "new");
}

TEST_F(WriteBinary, DanglingLinksCreateTheirTarget)
{
    tolvar_test::TempFile dir("", "unused");
    ASSERT_EQ(mkdir((dir.dir() + "/game").c_str(), 0755), 0);
    // link.bin -> game/hop.bin -> target.bin (relative to game/)
    ASSERT_EQ(symlink("game/hop.bin", (dir.dir() + "/link.bin").c_str()), 0);
    ASSERT_EQ(symlink("target.bin", (dir.dir() + "/game/hop.bin").c_str()), 0);
    fill("new");
    std::string link = dir.dir() + "/link.bin";
    ASSERT_EQ(write_binary(conv, link.c_str()), 0) << diag.take();
    EXPECT_EQ(tolvar_test::read_whole_file(dir.dir() + "/game/target.bin"), "new");
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    std::string loop = dir.dir() + "/loop.bin";
    ASSERT_EQ(symlink("loop.bin", loop.c_str()), 0);
    diag.take();
    EXPECT_EQ(write_binary(conv, loop.c_str()), -1);
    EXPECT_EQ(diag.take(), "INFO: write binary to '" + loop +
                               "', size=3\nERROR(3069): can't open '" + loop + "'\n");
}

TEST_F(WriteBinary, NewFileModeFollowsTheUmask)
{
    tolvar_test::TempFile dir("", "unused");
    std::string path = dir.dir() + "/new.bin";
    fill("x");
    mode_t old_mask = umask(027);
    int result = write_binary(conv, path.c_str());
    umask(old_mask);
    ASSERT_EQ(result, 0);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A signal that ends the run while the temporary file exists removes it;
// the old output stays and the process still dies of that signal.
TEST_F(WriteBinary, InterruptionLeavesNoTemporaryFile)
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        tolvar_test::TempFile old("old", "out.bin");
        fill("new");
        pid_t child = fork();
        if (child == 0) {
            static int raised;
            raised = signal_number;
            set_temp_created_hook([] { raise(raised); });
            write_binary(conv, old.path());
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << signal_number;
        EXPECT_EQ(WTERMSIG(status), signal_number);
        EXPECT_EQ(tolvar_test::read_whole_file(old.path()), "old");
        std::filesystem::directory_iterator entries(old.dir());
        EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << signal_number;
    }
}

}  // namespace
