// The decompiler's promise on any bytes: for every game type the script it
// writes compiles to the same bytes, texts in the script or in a text file;
// and the map of the conversation is made too.
#include <cstdint>
#include <string>

#include "decode/decompile.h"
#include "fuzz_support.h"
#include "round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int game = 0; game < 3; ++game) {
        // The three runs also cover the text file and the offset comments.
        tolvar_test::RoundTrip trip = tolvar_test::round_trip(bytes, game, game == 1, game == 2);
        if (!trip.ok) {
            tolvar_fuzz::fail("round trip failed", "game " + std::to_string(game) + ": " +
                                                       trip.why + "\n" + trip.script);
        }
    }
    tolvar::DecompileOptions options;
    options.graph = true;
    tolvar::Decompiled map;
    if (tolvar::decompile(data, static_cast<int32_t>(size), options, map) < 0) {
        tolvar_fuzz::fail("map failed", "");
    }
    return 0;
}
