#include "case_file.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace golden {

std::vector<CaseSection> read_sections(const std::string& text)
{
    std::vector<CaseSection> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("== ", 0) == 0) {
            CaseSection section;
            std::istringstream head(line.substr(3));
            head >> section.kind >> section.name;
            sections.push_back(section);
        } else if (!sections.empty()) {
            sections.back().lines.push_back(line);
        }
    }
    return sections;
}

std::string joined_lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string to_hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (i > 0) {
            hex += (i % 16 == 0) ? '\n' : ' ';
        }
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string from_hex(const std::string& text)
{
    std::string bytes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word.size() != 2 || !isxdigit(static_cast<unsigned char>(word[0])) ||
                !isxdigit(static_cast<unsigned char>(word[1]))) {
                throw std::runtime_error("bad hex byte '" + word + "'");
            }
            bytes += static_cast<char>(std::stoi(word, nullptr, 16));
        }
    }
    return bytes;
}

}  // namespace golden
