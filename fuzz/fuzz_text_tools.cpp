// tolvar-text's promises on any input. The first byte chooses: 0 extract
// (the script, then after a NUL an old text file or none): the extracted
// script and its texts compile to the script's bytes; 1 the text file
// through to-po and back, untouched and with every msgstr its msgid: the
// same bytes; 2 from-po of a text file (before the NUL) and any PO file.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "round_trip.h"
#include "support/settings.h"
#include "text_tools/extract.h"
#include "text_tools/po.h"
#include "text_tools/text_codec.h"
#include "text_tools/text_table.h"

using namespace tolvar;

namespace {

std::string bytes_of(const ByteBuffer& buffer)
{
    return buffer.data ? std::string(buffer.data.get(), buffer.size) : std::string();
}

bool table_of(const std::string& bytes, TextTable& table)
{
    table.name = "texts.txt";
    return buffer_append(table.bytes, bytes.data(), bytes.size()) && find_text_lines(table) == 0;
}

void check_extract(const std::string& script, const std::string* old)
{
    std::string before;
    if (!tolvar_test::compile_script(script, old, before)) {
        return;
    }
    TextTable table;
    tolvar_fuzz::diagnostics_sink();
    if (old != nullptr && !table_of(*old, table)) {
        return;
    }
    ExtractInput input;
    input.script_name = "script.src";
    input.script = script.data();
    input.script_size = script.size();
    input.old_texts = old != nullptr ? &table : nullptr;
    input.text_id = 0x42;
    ExtractResult result;
    if (extract_texts(input, result) < 0) {
        return;  // a line too long with its labels, or a text file that can't be read
    }
    std::string texts = bytes_of(result.texts);
    std::string after;
    std::string messages;
    if (!tolvar_test::compile_script(bytes_of(result.script), &texts, after, &messages)) {
        tolvar_fuzz::fail("the extracted script does not compile", messages);
    }
    if (after != before) {
        tolvar_fuzz::fail("the extracted script compiles to other bytes", bytes_of(result.script));
    }
}

// What msgen does to the PO files to-po writes.
std::string copy_msgids(const std::string& po)
{
    std::string out;
    std::string id;
    for (size_t start = 0, end = 0; start < po.size(); start = end + 1) {
        end = po.find('\n', start);
        std::string line = po.substr(start, end - start);
        if (line.rfind("msgid ", 0) == 0) {
            id = line.substr(6);
        } else if (line == "msgstr \"\"") {
            line = "msgstr " + id;
        }
        out += line + "\n";
    }
    return out;
}

void check_po(const std::string& texts)
{
    TextTable table;
    TextCodec codec;
    ByteBuffer po;
    tolvar_fuzz::diagnostics_sink();
    if (!table_of(texts, table) || !text_codec_open(codec) ||
        texts_to_po(codec, table, nullptr, 0, po) < 0) {
        return;
    }
    for (const std::string& form : {bytes_of(po), copy_msgids(bytes_of(po))}) {
        ByteBuffer back;
        if (texts_from_po(codec, table, "texts.po", form.data(), form.size(), back) < 0 ||
            bytes_of(back) != texts) {
            tolvar_fuzz::fail("the text file does not come back from its PO file",
                              tolvar_fuzz::diagnostics());
        }
    }
}

void read_any_po(const std::string& texts, const std::string& po)
{
    TextTable table;
    TextCodec codec;
    ByteBuffer back;
    tolvar_fuzz::diagnostics_sink();
    if (table_of(texts, table) && text_codec_open(codec)) {
        texts_from_po(codec, table, "texts.po", po.data(), po.size(), back);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    settings_reset();
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    size_t nul = rest.find('\0');
    std::string first = rest.substr(0, nul);
    std::string second = nul != std::string::npos ? rest.substr(nul + 1) : std::string();
    switch (data[0] % 3) {
    case 0:
        check_extract(first, nul != std::string::npos ? &second : nullptr);
        break;
    case 1:
        check_po(first);
        break;
    default:
        read_any_po(first, second);
        break;
    }
    settings_reset();
    return 0;
}
