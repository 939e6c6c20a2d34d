#include "driver/text_driver.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "driver/decompile_driver.h"
#include "driver/driver.h"
#include "driver/options.h"
#include "support/diag.h"
#include "support/faults.h"
#include "support/file_target.h"
#include "support/file_writer.h"
#include "support/settings.h"
#include "text_tools/check.h"
#include "text_tools/extract.h"
#include "text_tools/po.h"
#include "text_tools/text_codec.h"
#include "text_tools/text_index.h"
#include "text_tools/text_table.h"
#include "text_tools/tool_support.h"

namespace tolvar {

namespace {

enum TextCommand {
    COMMAND_NONE,
    COMMAND_EXTRACT,
    COMMAND_CHECK,
    COMMAND_TO_PO,
    COMMAND_FROM_PO
};

constexpr int MAX_FILES = 4096;

struct TextCommandLine {
    TextCommand command = COMMAND_NONE;
    const char* text = nullptr;
    const char* output = nullptr;
    const char* text_id = nullptr;
    const char* files[MAX_FILES] = {};
    int file_count = 0;
};

constexpr WriteCodes OUTPUT_CODES = {5004, 5005};

void print_text_usage()
{
    report_plain("usage: tolvar-text command [option] file...\n");
    report_plain("command: extract -t TEXTFILE [-o NEW.src] SCRIPT.src\n");
    report_plain("                                move the script's texts into TEXTFILE\n");
    report_plain("         check -t TEXTFILE [SCRIPT.src...]\n");
    report_plain("                                find every fault of the texts at once\n");
    report_plain("         to-po -t TEXTFILE [-o FILE.po] [SCRIPT.src...]\n");
    report_plain("                                write the texts as a PO file (UTF-8)\n");
    report_plain("         from-po -t TEXTFILE [-o TRANSLATED.txt] FILE.po\n");
    report_plain("                                write TEXTFILE with the translations\n");
    report_plain("option: --u6|--se|--md          select game type\n");
    report_plain("                                    --u6    Dovadi VI (default)\n");
    report_plain("                                    --se    Rer Edadod Ozeder\n");
    report_plain("                                    --md    Zavarad Avudad\n");
    report_plain("        -t|--text   FILE        the text file\n");
    report_plain(
        "        -o|--output FILE        write to specified file (default: standard output)\n");
    report_plain("           --text-id XXXX       new text labels T<XXXX>_nnnn (4 hex digits)\n");
    report_plain("        -q|--quiet              errors and warnings only\n");
    report_plain("           --diagnostics-format=classic|gnu|json\n");
    report_plain("                                message form (default classic)\n");
    report_plain("        -v|--version            print version\n");
    report_plain("        -?|--help               print usage\n");
}

void print_text_version()
{
    report_plain("tolvar-text - Dovadi VI converse text tool version %s\n", TOLVAR_VERSION);
}

TextCommand command_named(const char* name)
{
    static const struct {
        const char* name;
        TextCommand command;
    } COMMANDS[] = {{"extract", COMMAND_EXTRACT},
                    {"check", COMMAND_CHECK},
                    {"to-po", COMMAND_TO_PO},
                    {"from-po", COMMAND_FROM_PO}};
    for (const auto& known : COMMANDS) {
        if (std::strcmp(name, known.name) == 0) {
            return known.command;
        }
    }
    return COMMAND_NONE;
}

// One argument; 1 to go on, 0 to stop (after a message, the usage text or
// the banner).
int read_argument(int argc, char** argv, int& i, TextCommandLine& cmd)
{
    const ValueOption values[] = {{"-o", "--output", "no output filename", &cmd.output},
                                  {"-t", "--text", "no text filename", &cmd.text},
                                  {nullptr, "--text-id", "no text id", &cmd.text_id}};
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] == '\0') {
        if (cmd.command == COMMAND_NONE) {
            cmd.command = command_named(arg);
            if (cmd.command == COMMAND_NONE) {
                report_error(-1, "unknown command '%s': extract, check, to-po or from-po\n", arg);
                return 0;
            }
        } else if (cmd.file_count == MAX_FILES) {
            report_error(-1, "too many files: max=%d\n", MAX_FILES);
            return 0;
        } else {
            cmd.files[cmd.file_count++] = arg;
        }
    } else if (is_option(arg, "-?", "--help")) {
        print_text_usage();
        return 0;
    } else if (is_option(arg, "-v", "--version")) {
        print_text_version();
        return 0;
    } else if (int taken = read_value_option(argc, argv, i, values, std::size(values));
               taken >= 0) {
        return taken;
    } else if (is_option(arg, nullptr, "--u6") || is_option(arg, nullptr, "--se") ||
               is_option(arg, nullptr, "--md")) {
        apply_option(arg, std::strlen(arg), false);
    } else if (int used = read_diag_option(argc, argv, i); used != 0) {
        i += used - 1;
        return used > 0 ? 1 : 0;
    } else {
        report_error(-1, "unknown option '%s'\n", arg);
        return 0;
    }
    return 1;
}

// What each command takes; -1 after the message.
int check_command(const TextCommandLine& cmd)
{
    if (cmd.command == COMMAND_NONE) {
        report_error(-1, "command not specified: extract, check, to-po or from-po\n");
        return -1;
    }
    if (cmd.text == nullptr) {
        report_error(-1, "text filename not specified (-t)\n");
        return -1;
    }
    bool one_file = cmd.command == COMMAND_EXTRACT || cmd.command == COMMAND_FROM_PO;
    if (one_file && cmd.file_count != 1) {
        report_error(-1, cmd.file_count == 0 ? "%s filename not specified\n" : "one %s file only\n",
                     cmd.command == COMMAND_EXTRACT ? "script" : "PO");
        return -1;
    }
    if (cmd.text_id != nullptr && cmd.command != COMMAND_EXTRACT) {
        report_error(-1, "--text-id is for extract only\n");
        return -1;
    }
    if (cmd.output != nullptr && cmd.command == COMMAND_CHECK) {
        report_error(-1, "check writes no file\n");
        return -1;
    }
    if (cmd.text_id != nullptr && parse_text_id(cmd.text_id) < 0) {
        report_error(-1, "illegal text id '%s'\n", cmd.text_id);
        return -1;
    }
    return 0;
}

// No output may be one of the inputs (extract's text file is both, and is
// replaced whole).
int refuse_overwriting(const TextCommandLine& cmd)
{
    const char* inputs[MAX_FILES + 1];
    int count = 0;
    inputs[count++] = cmd.text;
    for (int i = 0; i < cmd.file_count; ++i) {
        inputs[count++] = cmd.files[i];
    }
    for (int i = 0; i < count && cmd.output != nullptr; ++i) {
        if (same_file(cmd.output, inputs[i])) {
            report_error(5003, "'%s' is the same file as '%s'\n", cmd.output, inputs[i]);
            return -1;
        }
    }
    if (cmd.command == COMMAND_EXTRACT && same_file(cmd.text, cmd.files[0])) {
        report_error(5003, "'%s' is the same file as '%s'\n", cmd.text, cmd.files[0]);
        return -1;
    }
    if (cmd.command == COMMAND_EXTRACT && cmd.output == nullptr &&
        same_file_as_descriptor(cmd.text, STDOUT_FILENO)) {
        report_error(5003, "'%s' is the same file as the standard output\n", cmd.text);
        return -1;
    }
    return 0;
}

int write_to_stdout(const ByteBuffer& bytes)
{
    bool failed = io_should_fail();
    failed = failed ||
             (bytes.size > 0 && std::fwrite(bytes.data.get(), 1, bytes.size, stdout) != bytes.size);
    failed = std::fflush(stdout) != 0 || failed;
    if (failed) {
        report_error(5006, "can't write standard output\n");
        return -1;
    }
    return 0;
}

// The command's one output: the file named with -o, else standard output.
int write_output(const TextCommandLine& cmd, const ByteBuffer& bytes)
{
    if (cmd.output == nullptr) {
        return write_to_stdout(bytes);
    }
    return write_file_safely(cmd.output, reinterpret_cast<const uint8_t*>(bytes.data.get()),
                             bytes.size, OUTPUT_CODES);
}

int open_and_write(OutputFile& out, const char* name, const ByteBuffer& bytes)
{
    return output_open(out, name, OUTPUT_CODES) < 0 ||
                   output_write(out, reinterpret_cast<const uint8_t*>(bytes.data.get()),
                                bytes.size) < 0
               ? -1
               : 0;
}

// The text file and the new script belong together: both are written
// whole before either replaces its file.
int write_extracted(const TextCommandLine& cmd, const ExtractResult& result)
{
    OutputFile texts;
    OutputFile script;
    OutputFile* written[2] = {&texts, &script};
    if (open_and_write(texts, cmd.text, result.texts) < 0) {
        return -1;
    }
    if (cmd.output == nullptr) {
        return write_to_stdout(result.script) < 0 ? -1 : output_commit(written, 1);
    }
    if (open_and_write(script, cmd.output, result.script) < 0) {
        return -1;
    }
    return output_commit(written, 2);
}

int run_extract(const TextCommandLine& cmd)
{
    const char* script_name = cmd.files[0];
    ByteBuffer script;
    if (read_input(script_name, script) < 0) {
        return -1;
    }
    struct stat info;
    bool exists = ::stat(cmd.text, &info) == 0 || errno != ENOENT;
    TextTable old;
    if (exists && read_checked_text_table(cmd.text, old) < 0) {
        return -1;
    }
    int id = cmd.text_id != nullptr ? parse_text_id(cmd.text_id) : exists ? first_text_id(old) : -1;
    ExtractInput input;
    input.script_name = script_name;
    input.script = script.data.get();
    input.script_size = script.size;
    input.old_texts = exists ? &old : nullptr;
    input.text_id = id >= 0 ? id : text_id_from_name(script_name);
    ExtractResult result;
    if (extract_texts(input, result) < 0 || write_extracted(cmd, result) < 0) {
        return -1;
    }
    report_info("%d texts: %d new labels, %d kept; %d old texts unused\n",
                result.new_texts + result.kept_texts, result.new_texts, result.kept_texts,
                result.unused);
    return 0;
}

int run_check(const TextCommandLine& cmd)
{
    TextTable table;
    if (read_text_table(cmd.text, table) < 0) {
        return -1;
    }
    int errors = check_texts(table, cmd.files, cmd.file_count);
    if (errors != 0) {
        if (errors > 0) {
            report_info("%d errors in '%s'\n", errors, cmd.text);
        }
        return -1;
    }
    return 0;
}

int open_codec(TextCodec& codec)
{
    return text_codec_open(codec) ? 0 : -1;
}

int run_to_po(const TextCommandLine& cmd)
{
    TextTable table;
    TextCodec codec;
    ByteBuffer po;
    if (read_text_table(cmd.text, table) < 0 || open_codec(codec) < 0 ||
        texts_to_po(codec, table, cmd.files, cmd.file_count, po) < 0) {
        return -1;
    }
    return write_output(cmd, po);
}

int run_from_po(const TextCommandLine& cmd)
{
    TextTable table;
    TextCodec codec;
    ByteBuffer po;
    ByteBuffer translated;
    if (read_text_table(cmd.text, table) < 0 || read_input(cmd.files[0], po) < 0 ||
        open_codec(codec) < 0 ||
        texts_from_po(codec, table, cmd.files[0], po.data.get(), po.size, translated) < 0) {
        return -1;
    }
    return write_output(cmd, translated);
}

int run(const TextCommandLine& cmd)
{
    switch (cmd.command) {
    case COMMAND_EXTRACT:
        return run_extract(cmd);
    case COMMAND_CHECK:
        return run_check(cmd);
    case COMMAND_TO_PO:
        return run_to_po(cmd);
    case COMMAND_FROM_PO:
        return run_from_po(cmd);
    case COMMAND_NONE:
        break;
    }
    return -1;
}

}  // namespace

int text_main(int argc, char** argv)
{
    open_standard_descriptors();
    diag_reset();
    set_diag_program("tolvar-text");
    settings_reset();
    TextCommandLine cmd;
    int status = 1;
    int i = 1;
    while (i < argc && read_argument(argc, argv, i, cmd) != 0) {
        ++i;
    }
    if (i == argc && check_command(cmd) == 0 && refuse_overwriting(cmd) == 0 && run(cmd) == 0) {
        report_completed();
        status = 0;
    }
    diag_flush();
    return status;
}

}  // namespace tolvar
