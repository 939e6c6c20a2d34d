#include "support/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/diag.h"
#include "support/faults.h"
#include "support/file_target.h"

namespace tolvar {

namespace {

// Large enough to be fast, small enough that a failure can strike between
// two writes.
constexpr size_t WRITE_CHUNK = 65536;

// Writes all of data to fd; false on any failure.
bool write_all(int fd, const uint8_t* data, size_t length)
{
    while (length > 0) {
        if (io_should_fail()) {
            return false;
        }
        size_t chunk = length < WRITE_CHUNK ? length : WRITE_CHUNK;
        ssize_t written = ::write(fd, data, chunk);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

bool close_file(int fd)
{
    bool failed = io_should_fail();
    return ::close(fd) == 0 && !failed;
}

mode_t default_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The temporary files being written, for the signal handler: it can only
// use what is already in memory. Two outputs at most are written together.
constexpr int MAX_OUTPUTS = 2;
char temp_paths[MAX_OUTPUTS][PATH_MAX + 16];
char target_paths[MAX_OUTPUTS][PATH_MAX];
volatile sig_atomic_t temp_live[MAX_OUTPUTS];
bool slot_used[MAX_OUTPUTS];
bool had_old[MAX_OUTPUTS];  // the target existed when the write began
bool swapped[MAX_OUTPUTS];  // the old file is under the temporary name

// Every catchable signal whose default action ends the process, but
// SIGXFSZ, which is ignored so that a file-size limit is a failed write.
constexpr int ENDING_SIGNALS[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
    SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};

template <class Visit>
void for_each_ending_signal(Visit visit)
{
    for (int signal_number : ENDING_SIGNALS) {
        visit(signal_number);
    }
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
        visit(signal_number);
    }
}

const sigset_t& ending_signal_set()
{
    static sigset_t set;
    static bool made = false;
    if (!made) {
        sigemptyset(&set);
        for_each_ending_signal([](int signal_number) { sigaddset(&set, signal_number); });
        made = true;
    }
    return set;
}

extern "C" void remove_temps_and_reraise(int signal_number)
{
    for (int slot = 0; slot < MAX_OUTPUTS; ++slot) {
        if (temp_live[slot] != 0) {
            ::unlink(temp_paths[slot]);
        }
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// While a temporary file exists, an ending signal removes it before the
// process ends as it would have. Signals the caller ignores stay ignored.
int guard_users = 0;
struct sigaction saved_actions[NSIG];
struct sigaction saved_xfsz;

void guard_acquire()
{
    if (guard_users++ > 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = remove_temps_and_reraise;
    action.sa_mask = ending_signal_set();
    for_each_ending_signal([&](int signal_number) {
        ::sigaction(signal_number, nullptr, &saved_actions[signal_number]);
        if (saved_actions[signal_number].sa_handler != SIG_IGN) {
            ::sigaction(signal_number, &action, nullptr);
        }
    });
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &saved_xfsz);
}

void guard_release()
{
    if (--guard_users > 0) {
        return;
    }
    for_each_ending_signal(
        [](int signal_number) { ::sigaction(signal_number, &saved_actions[signal_number], nullptr); });
    ::sigaction(SIGXFSZ, &saved_xfsz, nullptr);
}

// Runs step with the ending signals held back, so temp_live always matches
// the file system when the handler runs.
template <class Step>
auto held(Step step)
{
    sigset_t old;
    ::sigprocmask(SIG_BLOCK, &ending_signal_set(), &old);
    auto result = step();
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    return result;
}

void release_slot(int slot)
{
    temp_live[slot] = 0;
    slot_used[slot] = false;
    guard_release();
}

// A replaced file keeps its owner where the writer may give it: else it
// must not keep setuid or setgid for a new owner.
mode_t mode_for(int fd, const FileTarget& target)
{
    if (!target.exists) {
        return default_file_mode();
    }
    mode_t mode = target.info.st_mode & 07777;
    struct stat now;
    bool same_owner = ::fstat(fd, &now) == 0 && now.st_uid == target.info.st_uid &&
                      now.st_gid == target.info.st_gid;
    if (!same_owner &&
        (io_should_fail() || ::fchown(fd, target.info.st_uid, target.info.st_gid) != 0)) {
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    }
    return mode;
}

// A new file beside the target; -1 when it can't be made.
int open_temp(OutputFile& out, const FileTarget& target)
{
    static const char temp_name[] = ".tolvar.XXXXXX";
    size_t dir_length = dir_length_of(target.path);
    int slot = 0;
    while (slot < MAX_OUTPUTS && slot_used[slot]) {
        ++slot;
    }
    if (slot == MAX_OUTPUTS || dir_length + sizeof temp_name > sizeof temp_paths[0]) {
        return -1;
    }
    std::memcpy(target_paths[slot], target.path, std::strlen(target.path) + 1);
    had_old[slot] = target.exists;
    guard_acquire();
    int fd = held([&] {
        std::memcpy(temp_paths[slot], target.path, dir_length);
        std::memcpy(temp_paths[slot] + dir_length, temp_name, sizeof temp_name);
        int created = io_should_fail() ? -1 : ::mkstemp(temp_paths[slot]);
        temp_live[slot] = created >= 0 ? 1 : 0;
        return created;
    });
    if (fd < 0) {
        guard_release();
        return -1;
    }
    slot_used[slot] = true;
    out.slot = slot;
    out.fd = fd;
    return 0;
}

void discard(OutputFile& out)
{
    if (out.fd >= 0) {
        ::close(out.fd);
        out.fd = -1;
    }
    if (out.slot >= 0) {
        int slot = out.slot;
        held([&] {
            ::unlink(temp_paths[slot]);
            release_slot(slot);
            return 0;
        });
        out.slot = -1;
    }
}

// Puts the new file in place. The old one is swapped to the temporary
// name rather than dropped, so a pair can be put back when its second
// rename fails.
bool swap_in(int slot)
{
    swapped[slot] = false;
    if (io_should_fail()) {
        return false;
    }
    if (had_old[slot] && ::renameat2(AT_FDCWD, temp_paths[slot], AT_FDCWD, target_paths[slot],
                                     RENAME_EXCHANGE) == 0) {
        swapped[slot] = true;
        return true;
    }
    return ::rename(temp_paths[slot], target_paths[slot]) == 0;
}

// Puts back what swap_in replaced, where it can.
void swap_out(int slot)
{
    if (swapped[slot]) {
        ::renameat2(AT_FDCWD, temp_paths[slot], AT_FDCWD, target_paths[slot], RENAME_EXCHANGE);
    } else if (!had_old[slot]) {
        ::rename(target_paths[slot], temp_paths[slot]);
    }
}

// With the ending signals held: every file into place, or (where the
// file system allows) none. The index of the file that failed, or -1.
int rename_all(OutputFile* const* files, int count)
{
    int failed_at = -1;
    for (int i = 0; i < count && failed_at < 0; ++i) {
        if (files[i]->slot >= 0 && !swap_in(files[i]->slot)) {
            failed_at = i;
        }
    }
    for (int i = 0; i < count; ++i) {
        int slot = files[i]->slot;
        if (slot < 0) {
            continue;
        }
        bool moved = failed_at < 0 || i < failed_at;
        if (moved && failed_at >= 0) {
            swap_out(slot);
        }
        // What is left under the temporary name: the old file after a
        // swap, the new one where nothing or the undo moved it.
        if (swapped[slot] || !moved || (failed_at >= 0 && !had_old[slot])) {
            ::unlink(temp_paths[slot]);
        }
        release_slot(slot);
        files[i]->slot = -1;
    }
    return failed_at;
}

int fail_open(const OutputFile& out)
{
    diag_cant_open(out.name);
    report_error(out.codes.open, "can't open '%s'\n", out.name);
    return -1;
}

int fail_write(const OutputFile& out)
{
    report_error(out.codes.write, "can't write '%s'\n", out.name);
    return -1;
}

}  // namespace

OutputFile::~OutputFile()
{
    discard(*this);
}

int output_open(OutputFile& out, const char* name, WriteCodes codes)
{
    out.name = name;
    out.codes = codes;
    FileTarget target;
    if (!resolve_file_target(name, target)) {
        return fail_open(out);
    }
    if (target.in_place) {
        out.fd = open_in_place(target);
        return out.fd < 0 ? fail_open(out) : 0;
    }
    if (open_temp(out, target) < 0) {
        return fail_open(out);
    }
    temp_created();
    mode_t mode = mode_for(out.fd, target);
    if (io_should_fail() || ::fchmod(out.fd, mode) != 0) {
        discard(out);
        return fail_write(out);
    }
    return 0;
}

int output_write(OutputFile& out, const uint8_t* data, size_t size)
{
    if (write_all(out.fd, data, size)) {
        return 0;
    }
    discard(out);
    return fail_write(out);
}

int output_commit(OutputFile* const* files, int count)
{
    for (int i = 0; i < count; ++i) {
        OutputFile& out = *files[i];
        bool closed = close_file(out.fd);
        out.fd = -1;
        if (!closed) {
            return fail_write(out);
        }
    }
    int failed_at = held([&] { return rename_all(files, count); });
    return failed_at < 0 ? 0 : fail_write(*files[failed_at]);
}

int write_file_safely(const char* path, const uint8_t* data, size_t size, WriteCodes codes)
{
    OutputFile out;
    if (output_open(out, path, codes) < 0 || output_write(out, data, size) < 0) {
        return -1;
    }
    OutputFile* files[] = {&out};
    return output_commit(files, 1);
}

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor: this one, as all below are open.
            int opened = ::open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) {
                ::close(opened);
            }
        }
    }
}

}  // namespace tolvar
