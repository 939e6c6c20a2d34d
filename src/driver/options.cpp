#include "driver/options.h"

#include <cstring>

#include "support/diag.h"

namespace tolvar {

bool is_option(const char* arg, const char* short_name, const char* long_name)
{
    return (short_name != nullptr && std::strcmp(arg, short_name) == 0) ||
           std::strcmp(arg, long_name) == 0;
}

int read_value_option(int argc, char** argv, int& i, const ValueOption* options, size_t count)
{
    for (size_t k = 0; k < count; ++k) {
        const ValueOption& option = options[k];
        if (!is_option(argv[i], option.short_name, option.long_name)) {
            continue;
        }
        if (++i >= argc) {
            report_error(-1, "%s\n", option.missing);
            return 0;
        }
        *option.value = argv[i];
        return 1;
    }
    return -1;
}

}  // namespace tolvar
