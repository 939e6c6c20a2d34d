// The whole compile in process. The first byte chooses the game type and
// the options, the second how many of the following bytes form a text
// file; the rest is the script. The parser's count and the generator's
// bytes must always agree: a size or offset mismatch, or a write past the
// counted size, is a crash.
#include <cstdint>
#include <cstring>

#include "driver/compile.h"
#include "fuzz_support.h"
#include "support/settings.h"

using namespace tolvar;

namespace {

void choose_settings(uint8_t flags, uint8_t verbose)
{
    settings_reset();
    game_type = flags % 3;
    allow_ja_text = (flags & 0x04) != 0 ? 0 : 1;
    allow_u6_end = (flags & 0x08) != 0 ? 0 : 1;
    endif_without_if = (flags >> 4) & 1;
    implicit_decl = (flags >> 5) & 1;
    implicit_eval = (flags >> 6) & 1;
    implicit_int32 = (flags >> 7) & 1;
    verbose_level = verbose % 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) {
        return 0;
    }
    choose_settings(data[0], data[1]);
    size_t text_size = data[2];
    const char* rest = reinterpret_cast<const char*>(data + 3);
    size_t rest_size = size - 3;
    bool with_text = text_size > 0;
    text_size = text_size > rest_size ? rest_size : text_size;
    tolvar_fuzz::diagnostics_sink();
    ConvState conv;
    conv_init(conv);
    compile_in_memory(conv, rest + text_size, rest_size - text_size, with_text ? rest : nullptr,
                      text_size);
    conv_free(conv);
    settings_reset();
    // Messages echo the script, so only what begins a line counts.
    std::string messages = "\n" + tolvar_fuzz::diagnostics();
    for (const char* bug :
         {"\nERROR: BUG: binary size mismatch", "\nERROR(2696): ", "\nERROR(2994): ",
          "\nERROR(3014): ", "\nERROR(3028): ", "\nERROR(3044): "}) {
        if (messages.find(bug) != std::string::npos) {
            tolvar_fuzz::fail("parser and generator disagree", messages);
        }
    }
    return 0;
}
