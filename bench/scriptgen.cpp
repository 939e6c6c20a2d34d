// Writes a conversation script of about the asked size to standard output,
// for the benchmark: texts, keyword and answer blocks, conditions, variable
// assignments, jumps and data tables, with about 2.6 labels per KB. The
// same size and seed always give the same bytes.
//
//   tolvar_scriptgen BYTES [SEED] > big.src
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// splitmix64: small, and the same sequence on every compiler and library.
struct Rng {
    uint64_t state;
};

uint64_t next_random(Rng& rng)
{
    uint64_t z = (rng.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// 0 .. n-1
int pick(Rng& rng, int n)
{
    return static_cast<int>(next_random(rng) % static_cast<uint64_t>(n));
}

bool chance(Rng& rng, int percent)
{
    return pick(rng, 100) < percent;
}

// One label per this many bytes on average: 2.6 labels per KB.
constexpr int LABEL_SPACING = 200;
constexpr int MAX_DEPTH = 3;

struct Script {
    Rng rng;
    std::string out;
    int topics = 0;            // topic_0 .. topic_{topics-1} are defined
    int tables = 0;            // table_0 .. table_{tables-1} are defined
    size_t next_label_at = 0;  // size of out at which the next label is due
};

const char* const words[] = {
    "the",    "river",  "a",     "traveller", "of",      "old",    "coin", "you",
    "and",    "road",   "north", "I",         "have",    "seen",   "many", "winters",
    "inn",    "bread",  "sword", "is",        "not",     "for",    "sale", "my",
    "friend", "shrine", "hill",  "king",      "in",      "silver", "moon", "night",
    "will",   "return", "when",  "guards",    "sleep",   "bring",  "me",   "three",
    "herbs",  "from",   "marsh", "ferry",     "crosses", "at",     "dawn", "tell",
    "no",     "one",    "what",  "heard",     "here",    "long",   "ago",  "town",
    "burned", "smoke",  "rises", "over",      "tower",   "beyond", "gate", "stranger",
};
constexpr int WORD_COUNT = static_cast<int>(sizeof words / sizeof words[0]);

void indent(Script& s, int depth)
{
    s.out.append(8 + 4 * static_cast<size_t>(depth), ' ');
}

void add_number(Script& s, int n)
{
    s.out += std::to_string(n);
}

// A quoted sentence of a few to a couple of dozen words.
void add_text(Script& s, int min_words, int max_words)
{
    int count = min_words + pick(s.rng, max_words - min_words + 1);
    s.out += '"';
    for (int i = 0; i < count; ++i) {
        std::string word = words[pick(s.rng, WORD_COUNT)];
        if (i == 0 && word[0] >= 'a') {
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        }
        s.out += i == 0 ? "" : " ";
        s.out += word;
    }
    s.out += chance(s.rng, 15) ? "?\\n" : ".";
    s.out += '"';
}

// Some references spell the name in other letter case, as people do.
void add_name(Script& s, const char* stem, int number)
{
    std::string name = stem + std::to_string(number);
    if (chance(s.rng, 5)) {
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    }
    s.out += name;
}

void add_table_ref(Script& s)
{
    s.out += "int32 ";
    add_name(s, "table_", pick(s.rng, s.tables));
}

void add_operand(Script& s)
{
    int n = pick(s.rng, 100);
    int small = pick(s.rng, 200);
    if (n < 20) {
        s.out += "flag(0, byte " + std::to_string(small) + ")";
    } else if (n < 40) {
        s.out += "$var[" + std::to_string(small % 16) + "]";
    } else if (n < 55) {
        s.out += "byte " + std::to_string(small);
    } else if (n < 65) {
        s.out += std::to_string(small % 2 == 0 ? 0 : 1);
    } else if (n < 72) {
        s.out += "int16 " + std::to_string(small * 37);
    } else if (n < 80) {
        s.out += "rand(0, byte " + std::to_string(small % 20 + 1) + ")";
    } else if (n < 87) {
        s.out += "objcount(0, byte " + std::to_string(small) + ")";
    } else if (n < 92) {
        s.out += "npcnearby(byte " + std::to_string(small) + ")";
    } else if (n < 96 && s.tables > 0) {
        s.out += "indexof(";
        add_table_ref(s);
        s.out += ", $str[0])";
    } else {
        s.out += "inparty(byte " + std::to_string(small) + ")";
    }
}

void add_sum(Script& s)
{
    add_operand(s);
    if (chance(s.rng, 30)) {
        const char* ops[] = {" + ", " - ", " * ", " / "};
        s.out += ops[pick(s.rng, 4)];
        add_operand(s);
    }
}

void add_condition(Script& s)
{
    const char* relations[] = {" == ", " != ", " < ", " > ", " <= ", " >= "};
    int terms = 1 + pick(s.rng, 3);
    for (int i = 0; i < terms; ++i) {
        if (i > 0) {
            s.out += chance(s.rng, 70) ? " && " : " || ";
        }
        add_sum(s);
        s.out += relations[pick(s.rng, 6)];
        add_operand(s);
    }
}

bool add_statement(Script& s, int depth);

// Comments and blank lines don't count, so no body is left empty.
void add_body(Script& s, int depth, int min_count, int max_count)
{
    int count = min_count + pick(s.rng, max_count - min_count + 1);
    for (int i = 0; i < count;) {
        if (add_statement(s, depth)) {
            ++i;
        }
    }
}

void add_if(Script& s, int depth)
{
    indent(s, depth);
    s.out += "if eval ";
    add_condition(s);
    s.out += '\n';
    add_body(s, depth + 1, 1, 3);
    if (chance(s.rng, 45)) {
        indent(s, depth);
        s.out += "else\n";
        add_body(s, depth + 1, 1, 2);
    }
    indent(s, depth);
    s.out += "endif\n";
}

void add_answer(Script& s, int depth)
{
    indent(s, depth);
    s.out += "keywords \"";
    int count = 1 + pick(s.rng, 3);
    for (int i = 0; i < count; ++i) {
        s.out += i == 0 ? "" : ",";
        s.out += words[pick(s.rng, WORD_COUNT)];
    }
    s.out += "\"\n";
    indent(s, depth);
    s.out += "answer\n";
    add_body(s, depth + 1, 1, 4);
    indent(s, depth);
    s.out += "endanswer\n";
}

void add_jump(Script& s, int depth)
{
    indent(s, depth);
    s.out += "jump ";
    // Backward to any topic, or forward to the next one.
    int target = chance(s.rng, 50) || s.topics == 0 ? s.topics : pick(s.rng, s.topics);
    add_name(s, "topic_", target);
    s.out += '\n';
}

void add_assignment(Script& s, int depth)
{
    indent(s, depth);
    s.out += "decl $var[" + std::to_string(pick(s.rng, 16)) + "] := eval ";
    add_sum(s);
    s.out += '\n';
}

void add_flag_change(Script& s, int depth)
{
    indent(s, depth);
    s.out += chance(s.rng, 70) ? "setf" : "clearf";
    s.out += " eval 0, eval byte " + std::to_string(pick(s.rng, 200)) + "\n";
}

void add_object_move(Script& s, int depth)
{
    const char* keywords[] = {"give", "new", "delete"};
    indent(s, depth);
    s.out += keywords[pick(s.rng, 3)];
    s.out += " eval byte " + std::to_string(pick(s.rng, 250)) + ", eval 0, eval 1, eval byte ";
    s.out += std::to_string(1 + pick(s.rng, 50));
    s.out += '\n';
}

void add_table_print(Script& s, int depth)
{
    indent(s, depth);
    s.out += "dprint ";
    add_table_ref(s);
    s.out += ", eval $var[" + std::to_string(pick(s.rng, 16)) + "]\n";
}

void add_input(Script& s, int depth)
{
    indent(s, depth);
    int n = pick(s.rng, 3);
    if (n == 0) {
        s.out += "askc \"yn\"\n";
    } else {
        s.out += n == 1 ? "input $var[" : "inputstr $str[";
        s.out += std::to_string(pick(s.rng, 8)) + "]\n";
    }
}

void add_simple(Script& s, int depth)
{
    const char* lines[] = {"sprefix",
                           "ask",
                           "sconverse",
                           "wait",
                           "portrait eval 0",
                           "addkarma eval byte 2",
                           "subkarma eval 1",
                           "heal eval byte 3",
                           "worktype eval 0, eval byte 6"};
    indent(s, depth);
    s.out += lines[pick(s.rng, sizeof lines / sizeof lines[0])];
    s.out += '\n';
}

void add_comment(Script& s, int depth)
{
    indent(s, depth);
    s.out += "; ";
    s.out += words[pick(s.rng, WORD_COUNT)];
    s.out += " then ";
    s.out += words[pick(s.rng, WORD_COUNT)];
    s.out += '\n';
}

void add_text_line(Script& s, int depth)
{
    indent(s, depth);
    add_text(s, 3, 22);
    s.out += '\n';
}

// False for a comment or a blank line.
bool add_statement(Script& s, int depth)
{
    int n = pick(s.rng, 100);
    if (n < 34) {
        add_text_line(s, depth);
    } else if (n < 46 && depth < MAX_DEPTH) {
        add_if(s, depth);
    } else if (n < 53 && depth == 0) {
        add_answer(s, depth);
    } else if (n < 62) {
        add_assignment(s, depth);
    } else if (n < 68) {
        add_flag_change(s, depth);
    } else if (n < 71) {
        add_object_move(s, depth);
    } else if (n < 75 && s.tables > 0) {
        add_table_print(s, depth);
    } else if (n < 81) {
        add_jump(s, depth);
    } else if (n < 85) {
        add_input(s, depth);
    } else if (n < 92) {
        add_simple(s, depth);
    } else if (n < 96) {
        add_comment(s, depth);
        return false;
    } else {
        s.out += '\n';
        return false;
    }
    return true;
}

void add_table(Script& s)
{
    s.out += "table_" + std::to_string(s.tables++) + ":";
    int entries = 1 + pick(s.rng, 5);
    for (int i = 0; i < entries; ++i) {
        s.out += i == 0 ? " " : "        ";
        if (chance(s.rng, 80)) {
            s.out += ".data ";
            add_text(s, 1, 3);
        } else {
            s.out += ".data ";
            add_number(s, pick(s.rng, 30000));
        }
        s.out += '\n';
    }
    s.out += "        enddata\n";
}

void add_label(Script& s)
{
    if (chance(s.rng, 25)) {
        add_table(s);
    } else {
        s.out += "topic_" + std::to_string(s.topics++) + ":\n";
    }
    s.next_label_at =
        s.out.size() + LABEL_SPACING / 2 + static_cast<size_t>(pick(s.rng, LABEL_SPACING));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tolvar_scriptgen BYTES [SEED]\n");
        return 2;
    }
    size_t size = std::strtoull(argv[1], nullptr, 10);
    Script s{{argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1}, {}};
    s.out.reserve(size + 4096);
    s.out += "; generated by tolvar_scriptgen\n        sident 12, \"Maren\"\n";
    while (s.out.size() < size) {
        if (s.out.size() >= s.next_label_at) {
            add_label(s);
        } else {
            add_statement(s, 0);
        }
    }
    // Forward jumps name the topic after the last one.
    s.out += "topic_" + std::to_string(s.topics) + ":\n        bye\n";
    return std::fwrite(s.out.data(), 1, s.out.size(), stdout) == s.out.size() ? 0 : 1;
}
