#include "round_trip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decode/decompile.h"
#include "driver/compile.h"
#include "isa/code_info.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar_test {

using namespace tolvar;

namespace {

// Diagnostics into memory while it lives.
struct Quiet {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    Quiet() { set_diag_file(stream); }
    ~Quiet()
    {
        set_diag_file(nullptr);
        std::fclose(stream);
        std::free(buffer);
    }
    std::string text()
    {
        std::fflush(stream);
        return std::string(buffer, size);
    }
};

std::string as_string(const ByteBuffer& buffer)
{
    return buffer.size == 0 ? std::string() : std::string(buffer.data.get(), buffer.size);
}

}  // namespace

std::string hex_dump(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        text += i == 0 ? "" : (i % 32 == 0 ? "\n" : " ");
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

bool compile_script(const std::string& script, const std::string* texts, std::string& binary,
                    std::string* messages)
{
    Quiet quiet;
    settings_reset();
    ConvState conv;
    conv_init(conv);
    int result = compile_in_memory(conv, script.data(), script.size(),
                                   texts != nullptr ? texts->data() : nullptr,
                                   texts != nullptr ? texts->size() : 0);
    if (result == 0) {
        binary.assign(reinterpret_cast<const char*>(conv.buffer.get()),
                      static_cast<size_t>(conv.size));
    }
    conv_free(conv);
    settings_reset();
    if (messages != nullptr) {
        *messages = quiet.text();
    }
    return result == 0;
}

RoundTrip round_trip(const std::string& bytes, int game, bool texts_apart, bool offsets)
{
    RoundTrip trip;
    DecompileOptions options;
    options.game = game;
    options.texts_apart = texts_apart;
    options.offsets = offsets;
    options.input_name = "input.bin";
    options.text_file_name = "texts.txt";
    Decompiled result;
    {
        Quiet quiet;
        if (decompile(reinterpret_cast<const uint8_t*>(bytes.data()),
                      static_cast<int32_t>(bytes.size()), options, result) < 0) {
            trip.why = "decompile failed: " + quiet.text();
            return trip;
        }
    }
    trip.script = as_string(result.script);
    trip.texts = as_string(result.texts);
    trip.raw_bytes = result.raw_bytes;
    std::string messages;
    if (!compile_script(trip.script, texts_apart ? &trip.texts : nullptr, trip.compiled,
                        &messages)) {
        trip.why = "the script does not compile:\n" + messages;
        return trip;
    }
    if (trip.compiled != bytes) {
        trip.why = "different bytes:\n" + hex_dump(trip.compiled);
        return trip;
    }
    trip.ok = true;
    return trip;
}

namespace {

int pick(std::mt19937& rng, int n)
{
    return static_cast<int>(rng() % static_cast<unsigned>(n));
}

bool chance(std::mt19937& rng, int percent)
{
    return pick(rng, 100) < percent;
}

char random_byte(std::mt19937& rng)
{
    return static_cast<char>(pick(rng, 256));
}

const CodeInfo& random_row(std::mt19937& rng, ItemType type)
{
    for (;;) {
        const CodeInfo& row = code_info[pick(rng, CODE_INFO_COUNT)];
        if (row.type == type) {
            return row;
        }
    }
}

std::string code_byte(Code c)
{
    return std::string(1, static_cast<char>(c));
}

std::string le32(uint32_t value)
{
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

// A plain, escaped or Japanese piece of stored text; some regions of an
// unbalanced one stay open.
std::string random_text(std::mt19937& rng, int max_length, bool balanced = false, bool kana = true)
{
    static const char plain[] = " abcxyzABC0189.,!?\"\\:;#'()-_=+*/$%&<>@[]^`~\t\n";
    std::string text;
    int length = pick(rng, max_length + 1);
    for (int i = 0; i < length; ++i) {
        if (chance(rng, 8)) {
            text += '{';
            int characters = pick(rng, 4);
            for (int k = 0; k < characters; ++k) {
                text += static_cast<char>(chance(rng, 50) ? 0x82 : 0x93);
                int trail = 0x40 + pick(rng, 0xBD);
                text += static_cast<char>(trail == 0x7F ? 0x80 : trail);
                if (kana && chance(rng, 5)) {
                    text += '\xCB';
                }
            }
            text += balanced || chance(rng, 95) ? "}" : "";
        } else {
            text += plain[pick(rng, sizeof plain - 1)];
        }
    }
    return text;
}

// Stored text longer than a text line: words, line feeds and double-byte
// regions, some of them longer than a line, many of whose characters have
// the trail byte 0x5C; with kana, now and then the kana byte in a region.
std::string japanese_text(std::mt19937& rng, size_t length, bool kana)
{
    static const char words[] = "ab cd\"e\\f gh\tij\nkl mn op.";
    std::string text;
    while (text.size() < length) {
        if (!chance(rng, 40)) {
            int count = 1 + pick(rng, 40);
            for (int i = 0; i < count; ++i) {
                text += words[pick(rng, sizeof words - 1)];
            }
            continue;
        }
        text += '{';
        int characters = chance(rng, 10) ? 100 + pick(rng, 600) : 1 + pick(rng, 30);
        for (int k = 0; k < characters; ++k) {
            int lead = chance(rng, 70) ? (chance(rng, 50) ? 0x82 : 0x93) : 0xE0 + pick(rng, 29);
            int trail = chance(rng, 40) ? 0x5C : 0x40 + pick(rng, 0xBD);
            text += static_cast<char>(lead);
            text += static_cast<char>(trail == 0x7F ? 0x80 : trail);
            if (kana && chance(rng, 3)) {
                text += '\xCB';
            }
        }
        text += '}';
    }
    return text;
}

std::string random_expression(std::mt19937& rng, int depth);

std::string random_operand(std::mt19937& rng)
{
    static const char literals[] = {0, 1, 8};
    switch (pick(rng, 6)) {
    case 0:
        return std::string(1, literals[pick(rng, 3)]);
    case 1:
        return code_byte(CODE_BYTE) + random_byte(rng);
    case 2:
        return code_byte(CODE_INT16) + random_byte(rng) + random_byte(rng);
    case 3:
        return std::string(1, random_byte(rng)) + code_byte(chance(rng, 50) ? CODE_VAR : CODE_STR);
    default:
        return std::string(1, literals[pick(rng, 3)]);
    }
}

std::string random_call(std::mt19937& rng, int depth)
{
    const CodeInfo& row = random_row(rng, TYPE_FUNCTION);
    if (row.code == CODE_VAR || row.code == CODE_STR) {
        return random_operand(rng);
    }
    std::string bytes;
    for (int i = 0; i < row.param_count; ++i) {
        bytes += row.params[i].type == TYPE_DATA_OFFSET
                     ? code_byte(CODE_INT32) + le32(static_cast<uint32_t>(pick(rng, 64)))
                     : random_expression(rng, depth - 1);
    }
    return bytes + code_byte(row.code);
}

std::string random_expression(std::mt19937& rng, int depth)
{
    if (depth <= 0 || chance(rng, 40)) {
        return random_operand(rng);
    }
    if (chance(rng, 50)) {
        return random_call(rng, depth);
    }
    const CodeInfo& row = random_row(rng, TYPE_OPERATOR);
    return random_expression(rng, depth - 1) + random_expression(rng, depth - 1) +
           code_byte(row.code);
}

std::string random_param(std::mt19937& rng, ItemType kind, size_t max_length)
{
    switch (kind) {
    case TYPE_EVAL:
        return random_expression(rng, 3) + code_byte(CODE_EVAL);
    case TYPE_TEXT:
        return random_text(rng, 12);
    case TYPE_BYTE:
        return std::string(1, random_byte(rng));
    case TYPE_INT32:
        return le32(static_cast<uint32_t>(pick(rng, static_cast<int>(max_length) + 2)));
    case TYPE_DATA_OFFSET:
        return code_byte(CODE_INT32) +
               le32(static_cast<uint32_t>(pick(rng, static_cast<int>(max_length) + 2)));
    default:  // a variable
        if (chance(rng, 70)) {
            return std::string(1, random_byte(rng)) +
                   code_byte(chance(rng, 50) ? CODE_VAR : CODE_STR);
        }
        return code_byte(CODE_INT32) + le32(static_cast<uint32_t>(pick(rng, 64))) +
               random_expression(rng, 2) + code_byte(CODE_DATA);
    }
}

std::string random_statement(std::mt19937& rng, size_t max_length)
{
    const CodeInfo& row = random_row(rng, TYPE_STATEMENT);
    std::string bytes = code_byte(row.code);
    for (int i = 0; i < row.param_count; ++i) {
        bytes += random_param(rng, row.params[i].type, max_length);
    }
    if (row.code == CODE_DECL) {
        bytes += code_byte(CODE_ASSIGN) + random_expression(rng, 3) + code_byte(CODE_EVAL);
    }
    return bytes;
}

std::string random_piece(std::mt19937& rng, size_t max_length)
{
    switch (pick(rng, 10)) {
    case 0:
    case 1:
    case 2:
        return random_statement(rng, max_length);
    case 3:
        if (max_length >= 2048 && chance(rng, 10)) {
            return japanese_text(rng, 1000 + static_cast<size_t>(pick(rng, 1500)), true);
        }
        return random_text(rng, 20);
    case 4:
        return random_text(rng, 10) + '\0';
    case 5:
        return code_byte(chance(rng, 50) ? CODE_ELSE : CODE_ENDIF);
    case 6:
        return code_byte(CODE_IF) + random_expression(rng, 2) + code_byte(CODE_EVAL);
    case 7: {
        std::string run(static_cast<size_t>(1 + pick(rng, 5)),
                        static_cast<char>(chance(rng, 50) ? CODE_VAR : CODE_STR));
        return std::string(1, static_cast<char>(chance(rng, 50) ? CODE_INT16 : CODE_INT32)) + run;
    }
    case 8:
        return random_expression(rng, 3);
    default:
        return std::string(1, random_byte(rng));
    }
}

}  // namespace

std::string random_bytecode(std::mt19937& rng, size_t max_length)
{
    size_t target = static_cast<size_t>(pick(rng, static_cast<int>(max_length) + 1));
    std::string bytes;
    std::vector<uint32_t> starts;  // where the pieces so far begin
    while (bytes.size() < target) {
        if (!starts.empty() && chance(rng, 4)) {
            // A data reference to a piece before it, often code.
            uint32_t at = starts[static_cast<size_t>(pick(rng, static_cast<int>(starts.size())))];
            bytes += code_byte(CODE_DPRINT) + code_byte(CODE_INT32) + le32(at) +
                     random_expression(rng, 1) + code_byte(CODE_EVAL);
        }
        starts.push_back(static_cast<uint32_t>(bytes.size()));
        bytes += random_piece(rng, max_length);
    }
    if (bytes.size() > max_length) {
        bytes.resize(max_length);
    }
    return bytes;
}

namespace {

// Stored text [begin, end) written as a literal of the script; region
// tells whether a double-byte region is open where it begins, and where it
// ends.
std::string literal_of(const std::string& text, size_t begin, size_t end, bool& region)
{
    std::string literal = "\"";
    for (size_t i = begin; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (region && c >= 0x80 && c != 0xCB && i + 1 < end) {
            literal += text.substr(i, 2);
            ++i;
            continue;
        }
        region = (region || c == '{') && c != '}';
        literal += c == '\t'   ? "\\t"
                   : c == '\n' ? "\\n"
                   : c == '"'  ? "\\\""
                   : c == '\\' ? "\\\\"
                               : std::string(1, text[i]);
    }
    return literal + "\"";
}

std::string literal_of(const std::string& text)
{
    bool region = false;
    return literal_of(text, 0, text.size(), region);
}

std::string script_text(std::mt19937& rng, int game)
{
    return literal_of(random_text(rng, 12, true, game == GAME_SE));
}

// Text lines that together hold a text longer than a text line; their
// regions open on one line and close on a later one.
std::string japanese_lines(std::mt19937& rng, int game)
{
    std::string text =
        japanese_text(rng, 1000 + static_cast<size_t>(pick(rng, 2000)), game == GAME_SE);
    std::string lines;
    bool region = false;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = std::min(text.size(), begin + 1 + static_cast<size_t>(pick(rng, 1200)));
        // A line ends between characters, not inside one.
        bool inside = region;
        for (size_t i = begin; i < end; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (inside && c >= 0x80 && c != 0xCB) {
                end = std::max(end, std::min(text.size(), i + 2));
                ++i;
                continue;
            }
            inside = (inside || c == '{') && c != '}';
        }
        lines += literal_of(text, begin, end, region) + "\n";
        begin = end;
    }
    lines.pop_back();
    return lines;
}

struct ScriptGen {
    std::mt19937& rng;
    int game;
    int labels;
    bool clean;
    bool straight = false;  // no jump and no bye yet: control flow reaches what follows
};

std::string label_name(ScriptGen& g)
{
    return "lab" + std::to_string(pick(g.rng, g.labels));
}

// What a data reference names: any label, or in a clean script a table or
// code that control flow reaches.
std::string table_name(ScriptGen& g)
{
    if (!g.clean) {
        return label_name(g);
    }
    return chance(g.rng, 20) ? "code0" : "tab" + std::to_string(pick(g.rng, 3));
}

std::string infix(ScriptGen& g, int depth);

std::string infix_operand(ScriptGen& g, int depth)
{
    static const char* const literals[] = {"0", "1", "8"};
    switch (pick(g.rng, depth > 0 ? 7 : 5)) {
    case 0:
        return literals[pick(g.rng, 3)];
    case 1:
        return "byte " + std::to_string(pick(g.rng, 256));
    case 2:
        return chance(g.rng, 20) ? "int16 -" + std::to_string(pick(g.rng, 32769))
                                 : "int16 " + std::to_string(pick(g.rng, 65536));
    case 3:
        return (chance(g.rng, 50) ? "$var[" : "$str[") + std::to_string(pick(g.rng, 256)) + "]";
    case 4:
        return literals[pick(g.rng, 3)];
    case 5:
        return "(" + infix(g, depth - 1) + ")";
    default: {
        const CodeInfo& row = random_row(g.rng, TYPE_FUNCTION);
        if (row.code == CODE_VAR || row.code == CODE_STR) {
            return std::string(row.text) + "[" + std::to_string(pick(g.rng, 256)) + "]";
        }
        std::string call = std::string(row.text) + "(";
        for (int i = 0; i < row.param_count; ++i) {
            call += i > 0 ? ", " : "";
            call += row.params[i].type == TYPE_DATA_OFFSET ? "int32 " + table_name(g)
                                                           : infix(g, depth - 1);
        }
        return call + ")";
    }
    }
}

std::string infix(ScriptGen& g, int depth)
{
    std::string expr = infix_operand(g, depth);
    int operators = pick(g.rng, 4);
    for (int i = 0; i < operators; ++i) {
        expr += std::string(" ") + random_row(g.rng, TYPE_OPERATOR).text + " " +
                infix_operand(g, depth);
    }
    return expr;
}

std::string script_variable(ScriptGen& g)
{
    if (chance(g.rng, 20)) {
        return "data(int32 " + table_name(g) + ", " + infix(g, 1) + ")";
    }
    return (chance(g.rng, 50) ? "$var[" : "$str[") + std::to_string(pick(g.rng, 256)) + "]";
}

std::string script_param(ScriptGen& g, ItemType kind)
{
    switch (kind) {
    case TYPE_EVAL:
        return "eval " + infix(g, 2);
    case TYPE_TEXT:
        return script_text(g.rng, g.game);
    case TYPE_BYTE:
        return std::to_string(pick(g.rng, 256));
    case TYPE_INT32:
        return label_name(g);
    case TYPE_DATA_OFFSET:
        return "int32 " + table_name(g);
    default:
        return script_variable(g);
    }
}

std::string script_statement(ScriptGen& g)
{
    for (;;) {
        const CodeInfo& row = random_row(g.rng, TYPE_STATEMENT);
        Code c = row.code;
        if (c == CODE_IF || c == CODE_ELSE || c == CODE_ENDIF || !game_has(row, g.game, 1) ||
            (g.straight && (c == CODE_JUMP || c == CODE_BYE))) {
            continue;
        }
        std::string line = row.text;
        for (int i = 0; i < row.param_count; ++i) {
            line += (i == 0 ? " " : ", ") + script_param(g, row.params[i].type);
        }
        if (c == CODE_DECL) {
            line += " := eval " + infix(g, 2);
        }
        return line;
    }
}

std::string script_line(ScriptGen& g)
{
    if (chance(g.rng, 3)) {
        return japanese_lines(g.rng, g.game);
    }
    int kind = pick(g.rng, 8);
    if (kind == 0) {
        return script_text(g.rng, g.game);
    }
    if (kind == 1) {
        bool number = !g.clean && chance(g.rng, 50);
        return ".data " +
               (number ? std::to_string(pick(g.rng, 65536)) : script_text(g.rng, g.game));
    }
    if (kind == 2 && !g.clean) {
        return chance(g.rng, 50) ? ".unknown " + std::to_string(pick(g.rng, 65536))
                                 : ".unknown.byte " + std::to_string(pick(g.rng, 256));
    }
    return script_statement(g);
}

}  // namespace

// The data tables a clean script's references name, after its code.
std::string data_tables(ScriptGen& g)
{
    std::string tables;
    for (int t = 0; t < 3; ++t) {
        tables += "tab" + std::to_string(t) + ":\n";
        int entries = 1 + pick(g.rng, 3);
        for (int e = 0; e < entries; ++e) {
            tables += ".data \"entry " + std::to_string(pick(g.rng, 1000)) + "\"\n";
        }
        tables += "enddata\n";
    }
    return tables;
}

std::string random_script(std::mt19937& rng, int game, int statements, bool clean)
{
    static const char* const options[] = {"--u6", "--se", "--md"};
    ScriptGen g{rng, game, 1 + statements / 8, clean};
    std::string script = std::string(".option ") + options[game] + "\n";
    std::vector<int> label_at(static_cast<size_t>(g.labels));
    for (int& at : label_at) {
        at = pick(rng, statements + 1);
    }
    // A clean script names code that control flow reaches: after a few
    // statements with no jump and no bye.
    int code_at = clean ? pick(rng, 5) : -1;
    g.straight = clean;
    std::vector<bool> has_else;
    for (int i = 0; i <= statements; ++i) {
        for (int l = 0; l < g.labels; ++l) {
            script +=
                label_at[static_cast<size_t>(l)] == i ? "lab" + std::to_string(l) + ":\n" : "";
        }
        if (i == code_at) {
            script += "code0:\n";
            g.straight = false;
        }
        if (i == statements) {
            break;
        }
        int kind = pick(rng, 10);
        if (kind == 0) {
            script += "if eval " + infix(g, 2) + "\n";
            has_else.push_back(false);
        } else if (kind == 1 && !has_else.empty()) {
            script += has_else.back() || chance(rng, 50) ? "endif\n" : "else\n";
            if (script.compare(script.size() - 6, 6, "endif\n") == 0) {
                has_else.pop_back();
            } else {
                has_else.back() = true;
            }
        } else {
            script += script_line(g) + "\n";
        }
    }
    for (size_t i = 0; i < has_else.size(); ++i) {
        script += "endif\n";
    }
    if (clean && code_at >= statements) {
        script += "code0:\n";
    }
    return clean ? script + "jump lab0\n" + data_tables(g) : script;
}

}  // namespace tolvar_test
