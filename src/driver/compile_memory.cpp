#include "driver/compile_memory.h"

#include <cstdio>

#include "codegen/generator.h"
#include "front/text_file.h"
#include "parser/statement.h"
#include "support/diag.h"
#include "support/memory.h"

namespace tolvar {

namespace {

// A read-only stream over bytes; fmemopen only reads through the pointer.
FilePtr open_memory(const char* bytes, size_t size)
{
    static char empty[1];
    void* data = size > 0 ? const_cast<char*>(bytes) : empty;
    return FilePtr(fmemopen(data, size, "r"));
}

}  // namespace

int compile_in_memory(ConvState& conv, const char* script, size_t script_size, const char* text,
                      size_t text_size)
{
    if (text != nullptr) {
        FilePtr text_stream = open_memory(text, text_size);
        if (!text_stream || read_text_stream(conv, text_stream.get(), "text") < 0) {
            report_error(-1, "read text 'text'\n");
            return -1;
        }
    }
    FilePtr source = open_memory(script, script_size);
    if (!source || read_source_stream(conv, source.get(), "script") < 0) {
        report_error(-1, "read source 'script'\n");
        return -1;
    }
    return generate_binary(conv);
}

}  // namespace tolvar
