// What the commands' option readers share: matching an option by either
// of its names, and the options that take the next argument as their value.
#pragma once

#include <cstddef>

namespace tolvar {

// arg is the option by its short name (where it has one) or long name.
bool is_option(const char* arg, const char* short_name, const char* long_name);

// An option whose value is the next argument, and the message when there
// is none.
struct ValueOption {
    const char* short_name;  // null where there is none
    const char* long_name;
    const char* missing;
    const char** value;
};

// When argv[i] is one of options: stores its value and moves i onto it.
// Returns 1 when taken, 0 after the message for a missing value, -1 when
// argv[i] is none of them.
int read_value_option(int argc, char** argv, int& i, const ValueOption* options, size_t count);

}  // namespace tolvar
