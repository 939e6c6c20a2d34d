// What the fuzz targets share: a sink for diagnostics and a stop that a
// fuzzer reports as a crash.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace tolvar_fuzz {

// Diagnostics of one run, kept in memory and cleared by the next call.
FILE* diagnostics_sink();
std::string diagnostics();

// Ends the process the way a fuzzer notices, after saying why.
[[noreturn]] void fail(const char* why, const std::string& detail);

}  // namespace tolvar_fuzz
