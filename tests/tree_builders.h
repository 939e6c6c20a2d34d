// Hand-built instruction trees for the generator tests, shaped the way the
// parsers shape them, and a runner for the two emitters.
#pragma once

#include <cstdint>
#include <string>

#include "isa/inst.h"
#include "labels/labels.h"

namespace tolvar_test {

// Expression nodes (offset -1, line 1).
tolvar::InstPtr lit(int n);                        // small literal 0, 1 or 8
tolvar::InstPtr byte_const(int n);                 // byte n
tolvar::InstPtr int16_const(int v);                // int16 v (16-bit value)
tolvar::InstPtr var(const char* name, int index);  // $var[index] / $str[index]
tolvar::InstPtr data_ref(const char* label);       // int32 label
tolvar::InstPtr op(uint8_t code, tolvar::InstPtr left, tolvar::InstPtr right);
// A function of one or two arguments, slot kinds taken from its row.
tolvar::InstPtr call(const char* name, tolvar::InstPtr a, tolvar::InstPtr b = nullptr);
tolvar::InstPtr eval(tolvar::InstPtr expr);

// A statement list built in order; each node gets the line and offset given.
struct ListBuilder {
    tolvar::InstPtr head;
    tolvar::Inst* tail = nullptr;

    tolvar::Inst* node(int line, int32_t offset, tolvar::ItemType type);
    // A statement node with code, row, count and slot kinds from its keyword.
    tolvar::Inst* statement(int line, int32_t offset, const char* keyword);
};

// Runs make_binary or make_binary_expr over a fresh zeroed buffer of size
// bytes, from start.
using EmitFunction = int (*)(const tolvar::Inst*, const tolvar::DataLabelTable&, uint8_t*, int32_t,
                             int32_t, int32_t*);
inline constexpr int32_t UNTOUCHED = -7;
struct Emitted {
    int result;
    int32_t position;   // UNTOUCHED unless the call wrote it
    std::string bytes;  // the buffer from start to its end, in hex
};
Emitted run_emitter(EmitFunction emit, const tolvar::Inst* node,
                    const tolvar::DataLabelTable& labels, int32_t size, int32_t start = 0);

}  // namespace tolvar_test
