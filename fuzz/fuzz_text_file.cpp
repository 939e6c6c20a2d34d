// The reader of labelled texts on its own, from memory.
#include <cstdint>
#include <cstdio>

#include "context/conv_state.h"
#include "front/text_file.h"
#include "fuzz_support.h"
#include "support/settings.h"

using namespace tolvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    settings_reset();
    static char empty[1];
    void* bytes = size > 0 ? const_cast<uint8_t*>(data) : static_cast<void*>(empty);
    FILE* stream = fmemopen(bytes, size, "r");
    if (stream == nullptr) {
        return 0;
    }
    tolvar_fuzz::diagnostics_sink();
    verbose_level = size % 2;
    ConvState conv;
    conv_init(conv);
    read_text_stream(conv, stream, "texts");
    std::fclose(stream);
    conv_free(conv);
    settings_reset();
    return 0;
}
