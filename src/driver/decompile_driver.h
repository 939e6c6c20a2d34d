// The decompiler's driver: its command line, reading the byte-code and
// writing the script and the text file.
#pragma once

namespace tolvar {

// Four hexadecimal digits as a number, or -1.
int parse_text_id(const char* text);

// The default text id: the last four digits of the first number in the
// file's name (npc77.bin gives 0077, as T0077_0001), else 0000.
int text_id_from_name(const char* path);

// The whole program; returns the exit status.
int decompile_main(int argc, char** argv);

}  // namespace tolvar
