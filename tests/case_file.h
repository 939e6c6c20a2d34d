// The golden case format: files of sections opened by "== KIND [NAME]"
// lines (described in golden_test.cpp). Read by the golden tests, the
// decompiler's round-trip tests and the fuzz seed maker.
#pragma once

#include <string>
#include <vector>

namespace golden {

struct CaseSection {
    std::string kind;
    std::string name;
    std::vector<std::string> lines;
};

// The sections of a case file's text, in order; lines before the first
// section are left out.
std::vector<CaseSection> read_sections(const std::string& text);

// Lines joined, each ended by LF.
std::string joined_lines(const std::vector<std::string>& lines);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Bytes as hexadecimal pairs, sixteen to a line; and back, skipping "#"
// comments. A word that is no pair throws.
std::string to_hex(const std::string& bytes);
std::string from_hex(const std::string& text);

}  // namespace golden
