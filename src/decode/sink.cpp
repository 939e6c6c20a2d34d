#include "decode/sink.h"

namespace tolvar {

namespace {

// Large enough that a sink is called seldom, small enough to be no memory.
constexpr size_t PIECE_SIZE = 65536;

}  // namespace

bool pass_on(StagedText& text, bool all)
{
    if (text.buffer.size < (all ? 1 : PIECE_SIZE)) {
        return true;
    }
    bool ok = text.sink.write(text.sink.context, text.buffer.data.get(), text.buffer.size);
    text.buffer.size = 0;
    return ok;
}

}  // namespace tolvar
