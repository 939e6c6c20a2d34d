#include "driver/driver.h"

#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "codegen/output.h"
#include "driver/compile.h"
#include "driver/options.h"
#include "front/text_file.h"
#include "support/diag.h"
#include "support/file_target.h"
#include "support/file_writer.h"
#include "support/settings.h"

namespace tolvar {

void print_usage()
{
    report_plain("usage: tolvar [option] source-file\n");
    report_plain("option: --u6|--se|--md          select game type\n");
    report_plain("                                    --u6    Dovadi VI (default)\n");
    report_plain("                                    --se    Rer Edadod Ozeder\n");
    report_plain("                                    --md    Zavarad Avudad\n");
    report_plain("        -o|--output FILE        write binary to specified file\n");
    report_plain("        -t|--text   FILE        read text from specified file\n");
    report_plain("        -E|--error  FILE        write error message to specified file\n");
    report_plain("           --no-ja-text         not support japanese text\n");
    report_plain("           --no-u6-end          not support 'end'\n");
    report_plain("           --endif-without-if   allow 'endif' without 'if'\n");
    report_plain("        -V|--verbose            increase verbose level (max=2)\n");

    report_plain("        -v|--version            print version\n");
    report_plain("        -?|--help               print usage\n");
}

void print_version()
{
    report_plain("tolvar - Dovadi VI converse file compiler version %s\n", TOLVAR_VERSION);
}

namespace {

bool refuse_if_same(const char* written, const char* other)
{
    if (same_file(written, other)) {
        report_error(3106, "'%s' is the same file as '%s'\n", written, other);
        return true;
    }
    return false;
}

// Writing the output or the error log over an input would destroy it,
// before it is read in the case of the log; the log and the output in one
// file would lose the one or the other.
int refuse_overwriting_inputs(const CommandLine& cmd)
{
    const char* written[] = {cmd.output, cmd.error};
    const char* read[] = {cmd.source, cmd.text};
    for (const char* out : written) {
        for (const char* in : read) {
            if (refuse_if_same(out, in)) {
                return -1;
            }
        }
    }
    // Without -o the output is the script's name with .bin; a name too long
    // for a path can't be written anyway.
    char default_output[PATH_MAX];
    const char* output = cmd.output;
    if (output == nullptr && std::strlen(cmd.source) + 5 <= sizeof default_output) {
        std::snprintf(default_output, sizeof default_output, "%s.bin", cmd.source);
        output = default_output;
    }
    return refuse_if_same(output, cmd.error) ? -1 : 0;
}

// Sends every later write to the standard error descriptor into the file.
int redirect_errors(const char* path)
{
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        diag_cant_open(path);
        report_error(-1, "can't open '%s'\n", path);
        return -1;
    }
    int result = 0;
    if (::dup2(::fileno(file), STDERR_FILENO) < 0) {
        report_error(-1, "can't dup file descriptor\n");
        result = -1;
    }
    std::fclose(file);
    return result;
}

int compile(ConvState& conv, const CommandLine& cmd, std::unique_ptr<char[]>& built_output)
{
    if (cmd.text != nullptr && read_text_file(conv, cmd.text) < 0) {
        report_error(-1, "read text '%s'\n", cmd.text);
        return -1;
    }
    if (compile_file(conv, cmd.source) < 0) {
        return -1;
    }

    const char* output = cmd.output;
    if (output == nullptr) {
        static const char suffix[] = ".bin";
        size_t length = std::strlen(cmd.source);
        built_output = try_new_array<char>(length + sizeof(suffix));
        if (!built_output) {
            report_error(409, "memory exhausted! (size=%d)\n",
                         static_cast<int>(length + sizeof(suffix)));
            return -1;
        }
        std::memcpy(built_output.get(), cmd.source, length);
        std::memcpy(built_output.get() + length, suffix, sizeof(suffix));
        output = built_output.get();
    }
    if (write_binary(conv, output) < 0) {
        report_error(-1, "write binary file '%s'\n", output);
        return -1;
    }
    report_completed();
    return 0;
}

}  // namespace

int read_command_line(int argc, char** argv, CommandLine& cmd)
{
    const ValueOption values[] = {{"-o", "--output", "no binary filename", &cmd.output},
                                  {"-t", "--text", "no text filename", &cmd.text},
                                  {"-E", "--error", "no error filename", &cmd.error}};
    int plain_allowed = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            if (plain_allowed == 0) {
                report_error(-1, "illegal parameter '%s'\n", arg);
                return -1;
            }
            cmd.source = arg;
            --plain_allowed;
        } else if (is_option(arg, "-?", "--help")) {
            print_usage();
            return -1;
        } else if (is_option(arg, "-v", "--version")) {
            print_version();
            return -1;
        } else if (is_option(arg, "-V", "--verbose")) {
            ++verbose_level;
        } else if (int taken = read_value_option(argc, argv, i, values, std::size(values));
                   taken >= 0) {
            if (taken == 0) {
                return -1;
            }
        } else if (int used = read_diag_option(argc, argv, i); used != 0) {
            if (used < 0) {
                return -1;
            }
            i += used - 1;
        } else if (!apply_option(arg, std::strlen(arg), false)) {
            report_error(-1, "unknown option '%s'\n", arg);
            return -1;
        }
    }
    return 0;
}

namespace {

int run_compiler(int argc, char** argv)
{
    ConvState conv;
    conv_init(conv);
    settings_reset();

    CommandLine cmd;
    if (read_command_line(argc, argv, cmd) < 0) {
        return 1;
    }
    if (cmd.source == nullptr) {
        report_error(-1, "source filename not specified\n");
        return 1;
    }
    if (refuse_overwriting_inputs(cmd) < 0) {
        return 1;
    }
    if (cmd.error != nullptr && redirect_errors(cmd.error) < 0) {
        return 1;
    }

    std::unique_ptr<char[]> built_output;
    int status = compile(conv, cmd, built_output) < 0 ? 1 : 0;
    built_output.reset();
    conv_free(conv);
    return status;
}

}  // namespace

int tolvar_main(int argc, char** argv)
{
    open_standard_descriptors();
    diag_reset();
    int status = run_compiler(argc, argv);
    diag_flush();
    return status;
}

}  // namespace tolvar
