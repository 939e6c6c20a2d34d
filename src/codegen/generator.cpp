#include "codegen/generator.h"
namespace tolvar {
int make_binary(const Inst*, const DataLabelTable&, uint8_t*, int32_t, int32_t, int32_t*) { return -1; }
}
