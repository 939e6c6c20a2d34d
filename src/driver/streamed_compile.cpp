#include "driver/streamed_compile.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "codegen/generator.h"
#include "parser/statement.h"
#include "support/diag.h"
#include "support/faults.h"
#include "support/memory.h"
#include "support/settings.h"

namespace tolvar {

namespace {

// Messages held back while the compile is still only an attempt.
struct Capture {
    char* text = nullptr;
    size_t length = 0;
    FILE* stream = nullptr;

    Capture() : stream(open_memstream(&text, &length)) {}
    ~Capture()
    {
        if (stream != nullptr) {
            std::fclose(stream);
        }
        std::free(text);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
};

struct Streamer {
    ConvState* conv = nullptr;
    std::unique_ptr<uint8_t[]> bytes;
    size_t reserved = 0;
    size_t first_reserve = 0;  // the script's size: the output is seldom larger
    PendingLabels pending;
    FILE* messages = nullptr;  // of the generation
    bool failed = false;
};

// Room for the bytes up to end; those before start are written.
bool make_room(Streamer& s, int64_t start, int64_t end)
{
    size_t wanted = static_cast<size_t>(end);
    if (wanted <= s.reserved) {
        return true;
    }
    wanted = std::max({wanted, s.reserved * 2, s.first_reserve});
    std::unique_ptr<uint8_t[]> grown = reserve_bytes(wanted);
    if (!grown) {
        return false;
    }
    std::copy(s.bytes.get(), s.bytes.get() + start, grown.get());
    s.bytes = std::move(grown);
    s.reserved = wanted;
    return true;
}

void take_statement(void* context, InstPtr statement, int64_t end)
{
    Streamer& s = *static_cast<Streamer*>(context);
    if (s.failed || !make_room(s, statement->offset, end)) {
        s.failed = true;
        return;
    }
    FILE* parse_messages = diag_file();
    set_diag_file(s.messages);
    int32_t stop = 0;
    int result =
        make_binary_deferred(statement.get(), s.conv->data_labels, s.pending, s.bytes.get(),
                             static_cast<int32_t>(end), statement->offset, &stop);
    set_diag_file(parse_messages);
    if (result < 0 || stop != end) {
        s.failed = true;
    }
}

bool stream_script(Streamer& s, const char* path)
{
    FilePtr stream(std::fopen(path, "r"));
    if (!stream) {
        return false;
    }
    StatementSink sink{take_statement, &s};
    if (read_source_handing_over(*s.conv, stream.get(), path, sink) < 0) {
        return false;
    }
    hand_over_statements(sink, s.conv->tree, nullptr, s.conv->size);
    return !s.failed &&
           resolve_pending(s.pending, s.conv->data_labels, s.bytes.get(), s.conv->size);
}

// Where the attempt began, to go back to.
struct Start {
    SettingsState settings;
    long alloc_countdown;
    long io_countdown;
    FILE* messages;
};

void go_back(ConvState& conv, const Start& start)
{
    set_diag_file(start.messages);
    init_data_labels(conv.data_labels);
    conv.tree.reset();
    conv.buffer.reset();
    conv.size = 0;
    settings_restore(start.settings);
    set_alloc_failure(start.alloc_countdown);
    set_io_failure(start.io_countdown);
}

// The size of a regular file, -1 for anything else.
int64_t regular_file_size(const char* path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
}

}  // namespace

bool compile_streamed(ConvState& conv, const char* path)
{
    // A second reading must see the same script; listings at a verbose
    // level print every node as it is generated.
    int64_t size = regular_file_size(path);
    if (verbose_level >= 1 || size < 0) {
        return false;
    }
    Start start{settings_save(), alloc_failure_countdown(), io_failure_countdown(), diag_file()};
    Capture parse_messages;
    Capture generation_messages;
    if (parse_messages.stream == nullptr || generation_messages.stream == nullptr) {
        return false;
    }
    Streamer s;
    s.conv = &conv;
    s.first_reserve = static_cast<size_t>(size) + 1;
    s.messages = generation_messages.stream;
    set_diag_file(parse_messages.stream);
    bool done = stream_script(s, path);
    set_diag_file(start.messages);
    // The allocation of the buffer generate_binary would make here.
    if (!done || alloc_should_fail() || std::fflush(parse_messages.stream) != 0 ||
        std::fflush(generation_messages.stream) != 0) {
        go_back(conv, start);
        return false;
    }
    std::fwrite(parse_messages.text, 1, parse_messages.length, diag_file());
    adopt_binary(conv, std::move(s.bytes), generation_messages.text, generation_messages.length);
    return true;
}

}  // namespace tolvar
