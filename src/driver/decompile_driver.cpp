#include "driver/decompile_driver.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "decode/decompile.h"
#include "decode/printer.h"
#include "driver/driver.h"
#include "driver/options.h"
#include "isa/encoding.h"
#include "support/byte_buffer.h"
#include "support/diag.h"
#include "support/faults.h"
#include "support/file_target.h"
#include "support/file_writer.h"
#include "support/memory.h"
#include "text_tools/old_labels.h"
#include "text_tools/text_index.h"
#include "text_tools/text_table.h"

namespace tolvar {

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace

int parse_text_id(const char* text)
{
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = hex_value(text[i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return text[4] == '\0' ? value : -1;
}

int text_id_from_name(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    const char* p = slash != nullptr ? slash + 1 : path;
    while (*p != '\0' && (*p < '0' || *p > '9')) {
        ++p;
    }
    int value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = (value * 16 + (*p - '0')) & 0xFFFF;
    }
    return value;
}

namespace {

// The byte-code a compile can produce is at most this long.

struct DecompileCommand {
    const char* binary = nullptr;
    const char* output = nullptr;
    const char* text = nullptr;
    const char* text_id = nullptr;
    const char* keep_labels = nullptr;  // an old text file whose labels texts keep
    DecompileOptions options;
};

void print_decompile_usage()
{
    report_plain("usage: tolvar-decompile [option] binary-file\n");
    report_plain("option: --u6|--se|--md          select game type\n");
    report_plain("                                    --u6    Dovadi VI (default)\n");
    report_plain("                                    --se    Rer Edadod Ozeder\n");
    report_plain("                                    --md    Zavarad Avudad\n");
    report_plain("        -o|--output FILE        write script to specified file\n");
    report_plain("        -t|--text   FILE        write texts to specified file\n");
    report_plain("           --text-id XXXX       text labels T<XXXX>_nnnn (4 hex digits)\n");
    report_plain("           --keep-labels FILE   a text equal to one in FILE keeps its label\n");
    report_plain("           --offsets            show offset and bytes of each statement\n");
    report_plain(
        "           --graph              write a map of the conversation (Graphviz DOT)\n");
    report_plain("        -q|--quiet              errors and warnings only\n");
    report_plain("           --diagnostics-format=classic|gnu|json\n");
    report_plain("                                message form (default classic)\n");
    report_plain("        -v|--version            print version\n");
    report_plain("        -?|--help               print usage\n");
}

void print_decompile_version()
{
    report_plain("tolvar-decompile - Dovadi VI converse file decompiler version %s\n",
                 TOLVAR_VERSION);
}

// One argument; 1 to go on, 0 to stop after a printed message.
int read_argument(int argc, char** argv, int& i, DecompileCommand& cmd)
{
    const ValueOption values[] = {{"-o", "--output", "no script filename", &cmd.output},
                                  {"-t", "--text", "no text filename", &cmd.text},
                                  {nullptr, "--text-id", "no text id", &cmd.text_id},
                                  {nullptr, "--keep-labels", "no text filename", &cmd.keep_labels}};
    const char* arg = argv[i];
    if (arg[0] != '-') {
        if (cmd.binary != nullptr) {
            report_error(-1, "illegal parameter '%s'\n", arg);
            return 0;
        }
        cmd.binary = arg;
    } else if (is_option(arg, "-?", "--help")) {
        print_decompile_usage();
        return 0;
    } else if (is_option(arg, "-v", "--version")) {
        print_decompile_version();
        return 0;
    } else if (int taken = read_value_option(argc, argv, i, values, std::size(values));
               taken >= 0) {
        return taken;
    } else if (is_option(arg, nullptr, "--offsets")) {
        cmd.options.offsets = true;
    } else if (is_option(arg, nullptr, "--graph")) {
        cmd.options.graph = true;
    } else if (is_option(arg, nullptr, "--u6") || is_option(arg, nullptr, "--se") ||
               is_option(arg, nullptr, "--md")) {
        cmd.options.game = arg[2] == 'u' ? GAME_U6 : (arg[2] == 's' ? GAME_SE : GAME_MD);
    } else if (int used = read_diag_option(argc, argv, i); used != 0) {
        i += used - 1;
        return used > 0 ? 1 : 0;
    } else {
        report_error(-1, "unknown option '%s'\n", arg);
        return 0;
    }
    return 1;
}

// The whole command line into cmd; -1 when the run must stop.
int read_decompile_command(int argc, char** argv, DecompileCommand& cmd)
{
    for (int i = 1; i < argc; ++i) {
        if (read_argument(argc, argv, i, cmd) == 0) {
            return -1;
        }
    }
    if (cmd.binary == nullptr) {
        report_error(-1, "binary filename not specified\n");
        return -1;
    }
    if ((cmd.text_id != nullptr || cmd.keep_labels != nullptr) && cmd.text == nullptr) {
        report_error(-1, "%s needs --text\n",
                     cmd.text_id != nullptr ? "--text-id" : "--keep-labels");
        return -1;
    }
    if (cmd.options.graph && (cmd.text != nullptr || cmd.options.offsets)) {
        report_error(-1, "--graph can't go with %s\n",
                     cmd.text != nullptr ? "--text" : "--offsets");
        return -1;
    }
    int id = cmd.text_id != nullptr ? parse_text_id(cmd.text_id) : text_id_from_name(cmd.binary);
    if (id < 0) {
        report_error(-1, "illegal text id '%s'\n", cmd.text_id);
        return -1;
    }
    cmd.options.text_id = id;
    cmd.options.texts_apart = cmd.text != nullptr;
    cmd.options.input_name = cmd.binary;
    cmd.options.text_file_name = cmd.text != nullptr ? cmd.text : "";
    return 0;
}

// Neither output may destroy the input or the other output.
int refuse_overwriting(const DecompileCommand& cmd)
{
    const char* pairs[][2] = {{cmd.output, cmd.binary},
                              {cmd.text, cmd.binary},
                              {cmd.output, cmd.text},
                              {cmd.output, cmd.keep_labels}};
    for (const auto& pair : pairs) {
        if (same_file(pair[0], pair[1])) {
            report_error(4006, "'%s' is the same file as '%s'\n", pair[0], pair[1]);
            return -1;
        }
    }
    if (cmd.output == nullptr && same_file_as_descriptor(cmd.text, STDOUT_FILENO)) {
        report_error(4006, "'%s' is the same file as the standard output\n", cmd.text);
        return -1;
    }
    return 0;
}

// The whole file into buffer; 0, or -1 after the message.
int read_binary(const char* path, ByteBuffer& buffer)
{
    report_info("read binary from '%s'\n", path);
    FilePtr file(std::fopen(path, "rb"));
    if (!file) {
        diag_cant_open(path);
        report_error(4001, "can't open '%s'\n", path);
        return -1;
    }
    struct stat info;
    bool regular = ::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode);
    long long expected = regular ? static_cast<long long>(info.st_size) : 0;
    buffer.memory_code = 4020;
    for (;;) {
        if (static_cast<long long>(buffer.size) > MAX_BINARY_SIZE || expected > MAX_BINARY_SIZE) {
            report_error(4003, "'%s' is too large: more than %lld bytes\n", path,
                         static_cast<long long>(MAX_BINARY_SIZE));
            return -1;
        }
        // A regular file is read into room for all of it (and one byte
        // more, to see its end); anything else grows as it comes.
        size_t wanted = static_cast<size_t>(expected) + 1;
        if (buffer.capacity == buffer.size &&
            !buffer_reserve(buffer, buffer.size > wanted ? buffer.size * 2 : wanted)) {
            return -1;
        }
        size_t room = buffer.capacity - buffer.size;
        size_t count =
            io_should_fail() ? 0 : std::fread(buffer.data.get() + buffer.size, 1, room, file.get());
        buffer.size += count;
        if (count < room) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0 || !std::feof(file.get())) {
        report_error(4002, "can't read '%s'\n", path);
        return -1;
    }
    return 0;
}

// Standard output takes the script as it is made.
bool write_stdout(void*, const char* bytes, size_t count)
{
    bool ok = !io_should_fail() && std::fwrite(bytes, 1, count, stdout) == count;
    if (!ok) {
        report_error(4015, "can't write standard output\n");
    }
    return ok;
}

// A file takes it as it is made too, into the writer's temporary file, so
// no script is ever held whole.
bool write_output(void* context, const char* bytes, size_t count)
{
    return output_write(*static_cast<OutputFile*>(context), reinterpret_cast<const uint8_t*>(bytes),
                        count) == 0;
}

// The script and its texts belong together: both are written whole before
// either replaces its old file, so a failure leaves the old pair.
struct Outputs {
    OutputFile texts;
    OutputFile script;
    OutputFile* written[2] = {};
    int count = 0;
};

int open_outputs(const DecompileCommand& cmd, Outputs& out)
{
    if (cmd.text != nullptr) {
        report_info("write texts to '%s'\n", cmd.text);
        if (output_open(out.texts, cmd.text, {4013, 4014}) < 0) {
            return -1;
        }
        out.written[out.count++] = &out.texts;
    }
    if (cmd.output != nullptr) {
        report_info("write script to '%s'\n", cmd.output);
        if (output_open(out.script, cmd.output, {4011, 4012}) < 0) {
            return -1;
        }
        out.written[out.count++] = &out.script;
    }
    return 0;
}

// The labels of an old text file, for --keep-labels; read whole before
// anything is written, since -t may name the same file.
struct KeptLabels {
    TextTable table;
    OldLabels old;
    TextLabelSource source{};
};

int keep_labels(const DecompileCommand& cmd, KeptLabels& kept, DecompileOptions& options)
{
    if (cmd.keep_labels == nullptr) {
        return 0;
    }
    if (read_checked_text_table(cmd.keep_labels, kept.table) < 0) {
        return -1;
    }
    int first = first_text_id(kept.table);
    int id = cmd.text_id == nullptr && first >= 0 ? first : options.text_id;
    if (!old_labels_index(kept.old, kept.table, id)) {
        return -1;
    }
    kept.source = {old_labels_label_for, &kept.old};
    options.labels = &kept.source;
    return 0;
}

int run(const DecompileCommand& cmd)
{
    set_diag_subject(cmd.binary);
    ByteBuffer binary;
    if (read_binary(cmd.binary, binary) < 0) {
        return -1;
    }
    DecompileOptions options = cmd.options;
    KeptLabels kept;
    if (keep_labels(cmd, kept, options) < 0) {
        return -1;
    }
    report_info("decompile as %s, size=%zu\n", game_name(options.game), binary.size);
    Outputs out;
    if (open_outputs(cmd, out) < 0) {
        return -1;
    }
    TextSink script = cmd.output != nullptr ? TextSink{write_output, &out.script}
                                            : TextSink{write_stdout, nullptr};
    TextSink texts = cmd.text != nullptr ? TextSink{write_output, &out.texts} : TextSink{};
    DecompileCounts counts;
    int status = decompile_to(reinterpret_cast<const uint8_t*>(binary.data.get()),
                              static_cast<int32_t>(binary.size), options, script, texts, counts);
    if (status == 0 && cmd.output == nullptr && std::fflush(stdout) != 0) {
        report_error(4015, "can't write standard output\n");
        status = -1;
    }
    if (status < 0) {
        return -1;
    }
    if (counts.raw_bytes > 0) {
        report_warning(4100, "%d bytes written with .unknown.byte\n", counts.raw_bytes);
    }
    if (output_commit(out.written, out.count) < 0) {
        return -1;
    }
    report_completed();
    return 0;
}

}  // namespace

int decompile_main(int argc, char** argv)
{
    open_standard_descriptors();
    diag_reset();
    set_diag_program("tolvar-decompile");
    DecompileCommand cmd;
    int status = 1;
    if (read_decompile_command(argc, argv, cmd) == 0 && refuse_overwriting(cmd) == 0) {
        status = run(cmd) < 0 ? 1 : 0;
    }
    diag_flush();
    return status;
}

}  // namespace tolvar
