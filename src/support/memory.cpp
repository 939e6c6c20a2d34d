#include "support/memory.h"

#include <cstring>

namespace tolvar {

StrPtr str_copy(const char* s, size_t len)
{
    StrPtr copy = try_new_array<char>(len + 1);
    if (copy) {
        std::memcpy(copy.get(), s, len);
        copy[len] = '\0';
    }
    return copy;
}

StrPtr str_copy(const char* s)
{
    return str_copy(s, std::strlen(s));
}

}  // namespace tolvar
