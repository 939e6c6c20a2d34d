// The language server's command: the protocol over standard input and
// output, one message at a time, compiling when the input falls quiet.
#pragma once

namespace tolvar {

// The whole program; returns the exit status (0 after shutdown and exit,
// 1 when the input ends or exit comes without shutdown).
int lsp_main(int argc, char** argv);

}  // namespace tolvar
