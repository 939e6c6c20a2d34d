// The map of a conversation (tolvar-decompile --graph): blocks and the
// ways between them, and Graphviz's dot reads every map.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "case_file.h"
#include "decode/decompile.h"
#include "round_trip.h"
#include "test_support.h"

namespace fs = std::filesystem;

using tolvar_test::compiled;

namespace {

std::string graph_of(const std::string& bytes, int game)
{
    tolvar::DecompileOptions options;
    options.game = game;
    options.graph = true;
    options.input_name = "in.bin";
    tolvar::Decompiled out;
    tolvar_test::DiagCapture quiet;
    EXPECT_EQ(tolvar::decompile(reinterpret_cast<const uint8_t*>(bytes.data()),
                                static_cast<int32_t>(bytes.size()), options, out),
              0);
    return out.script.size == 0 ? std::string()
                                : std::string(out.script.data.get(), out.script.size);
}

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A greeting, a condition, two answers, a loop back and a bye: each block
// a node, each way an edge.
TEST(Graph, BlocksAndTheWaysBetweenThem)
{
    std::string graph =
        graph_of(compiled("\"Hello.\"\n"                                            // 00
                          "if eval 1\n"                                             // 06
                          "\"One.\"\n"                                              // 09
                          "else\n"                                                  // 0D
                          "\"Other.\"\n"                                            // 0E
                          "endif\n"                                                 // 14
                          "again: ask\n"                                            // 15
                          "keywords \"name,job\"\n"                                 // 16
                          "answer\n"                                                // 1F
                          "\"I am the ferryman, and I have been one for long.\"\n"  // 20
                          "endanswer\n"                                             // 50
                          "keywords \"bye\"\n"                                      // 51
                          "answer\n"                                                // 55
                          "bye\n"                                                   // 56
                          "endanswer\n"                                             // 57
                          "jump again\n"                                            // 58
                          "dprint int32 t, eval 0\n"                                // 5D
                          "t: .data \"table text\"\n"),
                 0);
    const char* const lines[] = {
        "digraph conversation {",
        "  n00000000 [label=\"start\\n\\\"Hello.\\\"\"];",
        "  n00000000 -> n00000009 [label=\"if\"];",
        "  n00000000 -> n0000000E [label=\"else\"];",
        "  n00000009 [label=\"then\\n\\\"One.\\\"\"];",
        "  n00000009 -> n00000015;",
        "  n0000000E [label=\"else\\n\\\"Other.\\\"\"];",
        "  n0000000E -> n00000015;",
        "  n00000015 [label=\"L_00000015\"];",
        "  n00000015 -> n00000020 [label=\"name,job\"];",
        "  n00000015 -> n00000051 [label=\"other\", style=dotted];",
        "  n00000020 [label=\"answer\\n\\\"I am the ferryman, and I have be...\\\"\"];",
        "  n00000020 -> n00000051;",
        "  n00000051 [label=\"keywords\"];",
        "  n00000051 -> n00000056 [label=\"bye\"];",
        "  n00000051 -> n00000058 [label=\"other\", style=dotted];",
        "  n00000056 [label=\"answer\", peripheries=2];",
        "  n00000058 [label=\"after answer\"];",
        "  n00000058 -> n00000015 [style=dashed];",
        "  n0000005D [label=\"after jump\"];",
        "}",
    };
    std::string expected =
        "// The conversation in 'in.bin' (Dovadi VI), mapped by tolvar-decompile "
        "--graph.\n";
    for (const char* line : lines) {
        expected += line;
        expected += '\n';
        if (line[0] == 'd') {
            expected += "  node [shape=box];\n";
        }
    }
    EXPECT_EQ(graph, expected);
}

// Captions are plain ASCII: quotes and backslashes escaped, line ends as
// blanks, each double-byte region shown as {..}.
TEST(Graph, CaptionsAreSafeForDot)
{
    std::string graph = graph_of(std::string("A\"\\\n{\x82\x5C}B") + "\xB6", 0);
    EXPECT_TRUE(has(graph, "[label=\"start\\n\\\"A\\\"\\\\ {..}B\\\"\", peripheries=2];")) << graph;
}

bool dot_found()
{
    return std::system("command -v dot >/dev/null 2>&1") == 0;
}

// Every map, one graph after another in one file, through dot: it draws
// them all without a word of complaint.
TEST(Graph, DotReadsEveryMap)
{
    if (!dot_found()) {
        GTEST_SKIP() << "dot not found (Debian: graphviz); the maps are not drawn";
    }
    std::string maps;
    int count = 0;
    for (const char* example : {"innkeeper.src", "ferryman.src"}) {
        std::string script =
            tolvar_test::read_whole_file(std::string(EXAMPLES_DIR) + "/" + example);
        maps += graph_of(compiled(script), 0);
        ++count;
    }
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR)) {
        for (const golden::CaseSection& section :
             golden::read_sections(tolvar_test::read_whole_file(entry.path()))) {
            if (section.kind == "output") {
                maps += graph_of(golden::from_hex(golden::joined_lines(section.lines)), count % 3);
                ++count;
            }
        }
    }
    for (int seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        maps += graph_of(tolvar_test::random_bytecode(rng, seed % 10 == 0 ? 4096 : 300), seed % 3);
        ++count;
        std::string binary;
        if (tolvar_test::compile_script(tolvar_test::random_script(rng, seed % 3, 30, true),
                                        nullptr, binary)) {
            maps += graph_of(binary, seed % 3);
            ++count;
        }
    }
    tolvar_test::TempFile file(maps, "maps.dot");
    std::string dir = file.dir();
    std::string command =
        "dot -Tcanon '" + std::string(file.path()) + "' > '" + dir + "/out' 2> '" + dir + "/err'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(tolvar_test::read_whole_file(dir + "/err"), "");
    std::string drawn = tolvar_test::read_whole_file(dir + "/out");
    int graphs = 0;
    for (size_t at = drawn.find("digraph"); at != std::string::npos;
         at = drawn.find("digraph", at + 1)) {
        ++graphs;
    }
    EXPECT_EQ(graphs, count);
}

}  // namespace
