#include "driver/compile.h"

#include <sys/stat.h>
#include <cstdio>
#include <utility>

#include "codegen/generator.h"
#include "front/text_file.h"
#include "parser/statement.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/settings.h"

namespace tolvar {

namespace {

// The settings of the command line, back in force when the compile ends.
struct SettingsScope {
    SettingsState saved = settings_save();
    SettingsScope() = default;
    ~SettingsScope() { settings_restore(saved); }
    SettingsScope(const SettingsScope&) = delete;
    SettingsScope& operator=(const SettingsScope&) = delete;
};

void take_statement(void* context, InstPtr statement, int64_t end)
{
    stream_statement(*static_cast<StreamedGeneration*>(context), statement.get(), end);
}

// A read-only stream over bytes; fmemopen only reads through the pointer.
FilePtr open_memory(const char* bytes, size_t size)
{
    static char empty[1];
    void* data = size > 0 ? const_cast<char*>(bytes) : empty;
    return FilePtr(fmemopen(data, size, "r"));
}

// The size of the open stream when it is a regular file, else 0.
size_t regular_size(FILE* stream)
{
    struct stat info {};
    int fd = ::fileno(stream);
    return fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
               ? static_cast<size_t>(info.st_size)
               : 0;
}

}  // namespace

int compile_script(ConvState& conv, FILE* script, const char* name, size_t size_hint)
{
    SettingsScope settings;
    set_diag_subject(name);
    StreamedGeneration gen;
    stream_begin(gen, conv.data_labels, size_hint);
    StatementSink sink{take_statement, &gen};
    int parsed = parse_script(conv, script, name, &sink);
    if (parsed == 0) {
        hand_over_statements(sink, conv.tree, nullptr, conv.size);
    }
    stream_end(gen);
    if (parsed < 0) {
        report_error(-1, "read source '%s'\n", name);
        return -1;
    }
    return stream_finish(gen, conv);
}

int compile_file(ConvState& conv, const char* path)
{
    FilePtr stream = open_source(path);
    if (!stream) {
        report_error(-1, "read source '%s'\n", path);
        return -1;
    }
    return compile_script(conv, stream.get(), path, regular_size(stream.get()));
}

namespace {

int compile_memory_run(ConvState& conv, const char* script, size_t script_size, const char* text,
                       size_t text_size)
{
    if (text != nullptr) {
        FilePtr text_stream = open_memory(text, text_size);
        if (!text_stream || read_text_stream(conv, text_stream.get(), "text") < 0) {
            report_error(-1, "read text 'text'\n");
            return -1;
        }
    }
    report_info("read source code from 'script'\n");
    FilePtr source = open_memory(script, script_size);
    if (!source) {
        report_error(-1, "read source 'script'\n");
        return -1;
    }
    return compile_script(conv, source.get(), "script", script_size);
}

}  // namespace

int compile_in_memory(ConvState& conv, const char* script, size_t script_size, const char* text,
                      size_t text_size)
{
    int result = compile_memory_run(conv, script, script_size, text, text_size);
    diag_flush();
    return result;
}

}  // namespace tolvar
