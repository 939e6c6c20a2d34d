// The two text-literal checkers on their own. The first byte chooses the
// game type, whether Japanese text is allowed and the region state the
// decoding starts in; the rest is the literal.
#include <cstdint>
#include <cstring>
#include <string>

#include "front/text_literal.h"
#include "fuzz_support.h"
#include "support/settings.h"

using namespace tolvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    settings_reset();
    game_type = data[0] % 3;
    allow_ja_text = (data[0] & 0x04) != 0 ? 0 : 1;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    tolvar_fuzz::diagnostics_sink();
    size_t length = std::strlen(text.c_str());
    int scanned = scan_text_literal(text.c_str());
    if (scanned != -1 && (scanned < 2 || static_cast<size_t>(scanned) > length)) {
        tolvar_fuzz::fail("scan length outside the text", text);
    }
    std::string decoded = text;
    int brace_open = (data[0] >> 3) & 1;
    if (decode_text(decoded.data(), &brace_open) == 0 && std::strlen(decoded.c_str()) > length) {
        tolvar_fuzz::fail("decoding made the text longer", text);
    }
    std::string checked = text;
    check_text(checked.data());
    settings_reset();
    return 0;
}
