// The decompiler's driver: its command line, reading the byte-code and
// writing the script and the text file.
#pragma once

namespace tolvar {

// The whole program; returns the exit status.
int decompile_main(int argc, char** argv);

}  // namespace tolvar
