#include "fuzz_support.h"

#include <cstdlib>

#include "support/diag.h"

namespace tolvar_fuzz {

namespace {
char* sink_buffer = nullptr;
size_t sink_size = 0;
FILE* sink = nullptr;
}  // namespace

FILE* diagnostics_sink()
{
    if (sink == nullptr) {
        sink = open_memstream(&sink_buffer, &sink_size);
    }
    std::rewind(sink);
    std::fflush(sink);
    tolvar::set_diag_file(sink);
    return sink;
}

std::string diagnostics()
{
    std::fflush(sink);
    return std::string(sink_buffer, sink_size);
}

void fail(const char* why, const std::string& detail)
{
    std::fprintf(stderr, "%s\n%s\n", why, detail.c_str());
    std::abort();
}

}  // namespace tolvar_fuzz
