// The facts of the byte-code and of the script language beside the
// instruction table: operand sizes, the small literals, the limits and
// the game rules for text bytes. The tokenizer, the parsers, the
// generator and the decompiler read them here.
#pragma once

#include <cstdint>

#include "isa/code_info.h"
#include "support/settings.h"

namespace tolvar {

// Bytes of a script or text-file line, without its line end.
inline constexpr int MAX_LINE_LENGTH = 4095;
// Tokens of one line.
inline constexpr int MAX_LINE_TOKENS = 256;
// `if` and `else` bodies open inside each other.
inline constexpr int MAX_IF_DEPTH = 1000;
// Operands of one expression.
inline constexpr int MAX_EXPR_OPERANDS = 128;
// Bytes of a byte-code: its offsets are signed 32-bit numbers.
inline constexpr int64_t MAX_BINARY_SIZE = 2147483647;

// Bytes an operand of the kind takes after its code: a byte, a 16-bit and
// a 32-bit number (a label's offset is one), the assignment code. 0 for
// the kinds whose size depends on their contents.
constexpr int operand_size(ItemType kind)
{
    switch (kind) {
    case TYPE_BYTE:
    case TYPE_ASSIGN:
        return 1;
    case TYPE_INT16:
        return 2;
    case TYPE_INT32:
    case TYPE_LABEL:
        return 4;
    default:
        return 0;
    }
}

// The numbers an expression writes as one bare byte instead of a sized
// constant.
constexpr bool is_small_literal(int32_t value)
{
    return value == 0 || value == 1 || value == 8;
}

// The byte of a half-width kana, which only some games print.
inline constexpr unsigned char HANKAKU_KANA = 0xCB;

constexpr bool game_prints_kana(int game)
{
    return game == GAME_SE;
}

}  // namespace tolvar
