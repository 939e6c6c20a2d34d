// The compile driver: the command line, the compile context and the order
// of the stages.
#pragma once

#include <cstdint>
#include <memory>

#include "context/conv_state.h"

namespace tolvar {

inline constexpr const char* TOLVAR_VERSION = "0.0.2";

void print_usage();
void print_version();

// The file names the command line gave; null where it gave none.
struct CommandLine {
    const char* source = nullptr;
    const char* text = nullptr;
    const char* error = nullptr;
    const char* output = nullptr;
};

// Reads the arguments after the program name into the settings and cmd.
// Returns 0 to go on compiling, -1 when the run must stop with exit
// status 1 (an error, or the usage text or the banner was printed).
int read_command_line(int argc, char** argv, CommandLine& cmd);

// The whole program; returns the exit status.
int tolvar_main(int argc, char** argv);

}  // namespace tolvar
