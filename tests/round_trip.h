// The decompiler's promise, checked in process: byte-code → script (and
// text file) → the compiler → the same bytes. Shared by the unit tests and
// the fuzz targets, with generators of byte-code and scripts to feed it.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tolvar_test {

struct RoundTrip {
    bool ok = false;
    std::string why;       // what went wrong, for the failure message
    std::string script;    // the decompiled script
    std::string texts;     // and its text file, when texts went apart
    std::string compiled;  // what the compiler made of them
    int raw_bytes = 0;     // bytes the decompiler wrote raw
};

// Decompiles bytes for game (0, 1 or 2), compiles the result in memory and
// compares. Diagnostics are kept out of the test output.
RoundTrip round_trip(const std::string& bytes, int game, bool texts_apart, bool offsets = false);

// Compiles a script in memory with the default settings; false when the
// compile fails (its messages in *messages).
bool compile_script(const std::string& script, const std::string* texts, std::string& binary,
                    std::string* messages = nullptr);

// Random byte-code, biased toward what compiled scripts hold: statement
// codes with well-formed or nearly well-formed parameters, expressions,
// texts with Japanese regions, data tables, and plain noise.
std::string random_bytecode(std::mt19937& rng, size_t max_length);

// A random script the compiler accepts (most of the time) for game. A
// clean one holds only what the decompiler must give back as statements:
// no raw directives, and data references only to tables at its end.
std::string random_script(std::mt19937& rng, int game, int statements, bool clean);

// Bytes as hexadecimal pairs, for failure messages.
std::string hex_dump(const std::string& bytes);

}  // namespace tolvar_test
