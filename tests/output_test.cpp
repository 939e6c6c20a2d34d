#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
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
#include "support/faults.h"
#include "support/file_target.h"
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
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                              SIGXCPU, SIGVTALRM, SIGPROF, SIGRTMIN, SIGRTMAX}) {
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

// Names that lead to something a rename can't replace are written where
// they lead: the open file behind a /proc name, never a file re-created
// from its link text.
TEST_F(WriteBinary, NamesThatAreNotPlainFilesAreWrittenInPlace)
{
    struct Case {
        const char* what;
        // The descriptor to write through, and one to read the result from.
        void (*open)(int& write_fd, int& read_fd, const std::string& dir);
        const char* name_format;  // %d: write_fd
    };
    const Case cases[] = {
        {"pipe", [](int& w, int& r, const std::string&) {
             int ends[2];
             ASSERT_EQ(pipe(ends), 0);
             r = ends[0];
             w = ends[1];
         }, "/dev/fd/%d"},
        {"socket", [](int& w, int& r, const std::string&) {
             int ends[2];
             ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
             r = ends[0];
             w = ends[1];
         }, "/proc/self/fd/%d"},
        {"deleted file", [](int& w, int& r, const std::string& dir) {
             std::string path = dir + "/gone.bin";
             w = open(path.c_str(), O_RDWR | O_CREAT, 0644);
             ASSERT_GE(w, 0);
             ASSERT_EQ(unlink(path.c_str()), 0);
             r = dup(w);
         }, "/proc/self/fd/%d"},
        {"memory file", [](int& w, int& r, const std::string&) {
             w = memfd_create("tolvar-test", 0);
             ASSERT_GE(w, 0);
             r = dup(w);
         }, "/dev/fd/%d"},
    };
    for (const Case& c : cases) {
        tolvar_test::TempFile dir("", "unused");
        int write_fd = -1;
        int read_fd = -1;
        c.open(write_fd, read_fd, dir.dir());
        char name[64];
        std::snprintf(name, sizeof name, c.name_format, write_fd);
        fill("new");
        EXPECT_EQ(write_binary(conv, name), 0) << c.what << "\n" << diag.take();
        close(write_fd);
        char got[8] = {};
        if (pread(read_fd, got, sizeof got - 1, 0) < 0) {  // a pipe or a socket
            EXPECT_EQ(read(read_fd, got, sizeof got - 1), 3) << c.what;
        }
        EXPECT_STREQ(got, "new") << c.what;
        close(read_fd);
        std::filesystem::directory_iterator entries(dir.dir());
        EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << c.what;
        EXPECT_FALSE(std::filesystem::exists("/memfd:tolvar-test (deleted)"));
    }
}

// Run as root, a replaced file keeps its owner and group, and so its
// setuid bit; where the owner can't be given, the bit goes.
TEST_F(WriteBinary, ReplacedFileKeepsItsOwner)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give files to another user";
    }
    for (bool owner_given : {true, false}) {
        tolvar_test::TempFile old("old", "tool.bin");
        ASSERT_EQ(chown(old.path(), 4242, 4243), 0);
        ASSERT_EQ(chmod(old.path(), 06755), 0);
        fill("new");
        set_io_failure(owner_given ? 0 : 2);  // the temporary file, then its owner
        ASSERT_EQ(write_binary(conv, old.path()), 0) << diag.take();
        set_io_failure(0);
        struct stat info;
        ASSERT_EQ(stat(old.path(), &info), 0);
        EXPECT_EQ(info.st_uid, owner_given ? 4242u : 0u);
        EXPECT_EQ(info.st_gid, owner_given ? 4243u : 0u);
        EXPECT_EQ(info.st_mode & 07777, owner_given ? 06755u : 0755u);
    }
}

// Two names are one output when a write through either would land in one
// regular file, whether it exists yet or not.
TEST(SameFile, ComparesTheFilesThatWillBeWritten)
{
    tolvar_test::TempFile script("bye\n", "talk.src");
    const std::string dir = script.dir();
    ASSERT_EQ(mkdir((dir + "/x").c_str(), 0755), 0);
    ASSERT_EQ(symlink("new.src", (dir + "/lnk").c_str()), 0);
    ASSERT_EQ(link(script.path(), (dir + "/hard.src").c_str()), 0);
    int script_fd = open(script.path(), O_RDONLY);
    ASSERT_GE(script_fd, 0);
    const std::string by_descriptor = "/proc/self/fd/" + std::to_string(script_fd);
    struct Case {
        std::string a;
        std::string b;
        bool same;
    };
    const Case cases[] = {
        {dir + "/new.src", dir + "/./new.src", true},  // neither exists yet
        {dir + "/new.src", dir + "/x/../new.src", true},
        {dir + "/lnk", dir + "/new.src", true},  // a link to a file to be made
        {dir + "/hard.src", script.path(), true},
        {by_descriptor, script.path(), true},  // an open file, not its link text
        {dir + "/new.src", dir + "/other.src", false},
        {dir + "/lnk", script.path(), false},
        {"/dev/null", "/dev/null", false},  // devices take several outputs
    };
    for (const Case& c : cases) {
        EXPECT_EQ(same_file(c.a.c_str(), c.b.c_str()), c.same) << c.a << " / " << c.b;
    }
    close(script_fd);
}

}  // namespace
