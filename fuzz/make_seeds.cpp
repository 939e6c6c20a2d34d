// Writes the seed corpora and the dictionaries of the fuzz targets: the
// scripts, text files and expected byte-code of the golden cases, the
// examples and their byte-code, and the words of the instruction table.
//
//   make_fuzz_seeds GOLDEN_DIR EXAMPLES_DIR OUT_DIR
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "case_file.h"
#include "driver/compile.h"
#include "isa/code_info.h"
#include "support/diag.h"
#include "support/settings.h"

namespace fs = std::filesystem;
using namespace tolvar;

namespace {

std::string read(const fs::path& path)
{
    return golden::read_file(path.string());
}

void write(const fs::path& path, const std::string& bytes)
{
    golden::write_file(path.string(), bytes);
}

struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> files;    // inputs
    std::map<std::string, std::string> outputs;  // expected byte-code
};

Case parse_case(const std::string& text)
{
    Case c;
    for (const golden::CaseSection& section : golden::read_sections(text)) {
        std::string body = golden::joined_lines(section.lines);
        if (section.kind == "args") {
            c.args = section.lines;
        } else if (section.kind == "file") {
            c.files[section.name] = body;
        } else if (section.kind == "file-hex") {
            c.files[section.name] = golden::from_hex(body);
        } else if (section.kind == "output") {
            c.outputs[section.name] = golden::from_hex(body);
        }
    }
    return c;
}

// The fuzz target's first byte for the options a case gives.
char compile_flags(const std::vector<std::string>& args)
{
    int flags = 0;
    const std::pair<const char*, int> options[] = {{"--se", 1},
                                                   {"--md", 2},
                                                   {"--no-ja-text", 0x04},
                                                   {"--no-u6-end", 0x08},
                                                   {"--endif-without-if", 0x10},
                                                   {"--implicit-decl", 0x20},
                                                   {"--implicit-eval", 0x40},
                                                   {"--implicit-int32", 0x80}};
    for (const std::string& arg : args) {
        for (const auto& [name, bit] : options) {
            flags |= arg == name ? bit : 0;
        }
    }
    return static_cast<char>(flags);
}

struct Seeds {
    fs::path out;
    int count = 0;
    void add(const char* target, const std::string& bytes)
    {
        char name[32];
        std::snprintf(name, sizeof name, "seed-%05d", ++count);
        write(out / target / name, bytes);
    }
};

void seeds_of_case(Seeds& seeds, const Case& c)
{
    std::string text;
    for (const auto& [name, bytes] : c.files) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
            text = bytes.substr(0, 255);
            seeds.add("text_file", bytes);
            seeds.add("text_tools", std::string(1, '\1') + bytes);
        }
    }
    for (const auto& [name, bytes] : c.files) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".src") == 0) {
            std::string header = {compile_flags(c.args), 0, static_cast<char>(text.size())};
            seeds.add("compile", header + text + bytes);
            seeds.add("text_tools", std::string(1, '\0') + bytes);
            std::istringstream lines(bytes);
            for (std::string line; std::getline(lines, line);) {
                size_t quote = line.find('"');
                if (quote != std::string::npos) {
                    seeds.add("text_literal",
                              std::string(1, compile_flags(c.args)) + line.substr(quote));
                }
            }
        }
    }
    for (const auto& [name, bytes] : c.outputs) {
        seeds.add("decompile", bytes);
    }
}

// A script as the body of a framed message, as an editor sends it.
std::string frame(const std::string& script)
{
    std::string body = "{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didOpen\",\"params\":{"
                       "\"textDocument\":{\"uri\":\"file:///a.src\",\"text\":\"";
    for (unsigned char c : script.substr(0, 200)) {
        body += c == '"' || c == '\\' ? std::string{'\\', static_cast<char>(c)}
                : c == '\n'              ? std::string("\\n")
                : c < 0x20 || c > 0x7E  ? std::string(" ")
                                       : std::string(1, static_cast<char>(c));
    }
    body += "\"}}}";
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void seeds_of_examples(Seeds& seeds, const fs::path& examples)
{
    const std::pair<const char*, const char*> scripts[] = {
        {"innkeeper.src", ""}, {"ferryman.src", ""}, {"oracle.src", "oracle.txt"}};
    FILE* quiet = std::fopen("/dev/null", "w");
    set_diag_file(quiet);
    for (const auto& [script, texts] : scripts) {
        std::string source = read(examples / script);
        std::string text = *texts != '\0' ? read(examples / texts) : "";
        settings_reset();
        ConvState conv;
        conv_init(conv);
        if (compile_in_memory(conv, source.data(), source.size(),
                              *texts != '\0' ? text.data() : nullptr, text.size()) == 0) {
            seeds.add("decompile", std::string(reinterpret_cast<const char*>(conv.buffer.get()),
                                               static_cast<size_t>(conv.size)));
        }
        conv_free(conv);
        std::string header = {static_cast<char>(game_type), 0, 0};
        seeds.add("compile", header + source);
        seeds.add("lsp_requests", std::string("\0\x35\x21", 3) + source);
        seeds.add("lsp_frames", std::string(1, '\7') + frame(source));
        seeds.add("text_tools", std::string(1, '\0') + source +
                                    (*texts != '\0' ? std::string(1, '\0') + text : ""));
        if (*texts != '\0') {
            seeds.add("text_file", text);
            seeds.add("text_tools", std::string(1, '\1') + text);
            seeds.add("text_tools", std::string(1, '\2') + text + std::string(1, '\0') +
                                        "msgctxt \"T0077_0001\"\nmsgid \"Ysolde\"\nmsgstr \"Isolde\"\n");
        }
    }
    set_diag_file(nullptr);
    std::fclose(quiet);
}

std::string dictionary_entry(const std::string& word)
{
    std::string entry = "\"";
    for (unsigned char c : word) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        entry += (c == '"' || c == '\\' || !std::isprint(c)) ? escaped
                                                             : std::string(1, static_cast<char>(c));
    }
    return entry + "\"\n";
}

// The script words for the compile target; the code bytes for the
// decompile target.
void write_dictionaries(const fs::path& out)
{
    std::string words;
    std::string codes;
    for (const CodeInfo& row : code_info) {
        words += dictionary_entry(row.text);
        codes += dictionary_entry(std::string(1, static_cast<char>(row.code)));
    }
    for (const char* word : {".data",
                             ".unknown",
                             ".unknown.byte",
                             ".option",
                             "--u6",
                             "--se",
                             "--md",
                             "--endif-without-if",
                             "--implicit-decl",
                             "--implicit-eval",
                             "--implicit-int32",
                             "\\t",
                             "\\n",
                             "\\\"",
                             "\\\\",
                             "{",
                             "}",
                             ":",
                             "\n",
                             "T0A1F_0001",
                             "0x",
                             "$var[",
                             "$str[",
                             "int32 ",
                             "eval "}) {
        words += dictionary_entry(word);
    }
    write(out / "compile.dict", words);
    write(out / "decompile.dict", codes);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_fuzz_seeds GOLDEN_DIR EXAMPLES_DIR OUT_DIR\n");
        return 2;
    }
    Seeds seeds{argv[3]};
    for (const char* target : {"compile", "decompile", "text_literal", "text_file", "text_tools",
                               "lsp_frames", "lsp_requests"}) {
        fs::create_directories(seeds.out / target);
    }
    for (const auto& entry : fs::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".case") {
            seeds_of_case(seeds, parse_case(read(entry.path())));
        }
    }
    seeds_of_examples(seeds, argv[2]);
    write_dictionaries(seeds.out);
    std::printf("%d seeds in %s\n", seeds.count, argv[3]);
    return 0;
}
