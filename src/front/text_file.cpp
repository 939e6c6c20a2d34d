#include "front/text_file.h"
namespace tolvar { int read_text_file(ConvState&, const char*) { return -1; } }
