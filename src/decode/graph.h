// A map of the conversation: the items of a laid-out byte-code file as a
// Graphviz DOT graph, one node a block (the start, each label, each
// `answer` body, each `if` and `else` branch and what follows them), with
// edges for falling through, `jump`, both branches of an `if`, and answers
// labelled with their keywords. A `bye` ends a path. Data tables are left
// out.
#pragma once

#include "decode/decompile.h"
#include "decode/layout.h"
#include "decode/sink.h"

namespace tolvar {

// Writes the graph. Returns 0, or -1 after a message.
int write_graph(const ByteCode& code, const Layout& layout, const DecompileOptions& options,
                StagedText& out);

}  // namespace tolvar
