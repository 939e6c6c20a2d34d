#include "driver/compile_memory.h"

#include <cstdio>

#include "codegen/generator.h"
#include "front/text_file.h"
#include "isa/inst.h"
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

// Every statement of a list and of the bodies below it, in script order.
void watch_statements(const Inst* list, const StatementWatch& watch)
{
    for (const Inst* node = list; node != nullptr; node = node->next) {
        watch.seen(watch.context, node->line, node->offset);
        watch_statements(node->sub.get(), watch);
    }
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
    int parsed = source ? read_source_stream(conv, source.get(), "script") : -1;
    if (conv.watch != nullptr && conv.watch->seen != nullptr) {
        watch_statements(conv.tree.get(), *conv.watch);
    }
    if (parsed < 0) {
        report_error(-1, "read source 'script'\n");
        return -1;
    }
    return generate_binary(conv);
}

}  // namespace tolvar
