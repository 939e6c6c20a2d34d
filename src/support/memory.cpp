#include "support/memory.h"

#include <cstring>

namespace tolvar {

namespace {
long alloc_countdown = 0;
}

void set_alloc_failure(long countdown)
{
    alloc_countdown = countdown;
}

bool alloc_should_fail()
{
    if (alloc_countdown <= 0) {
        return false;
    }
    return --alloc_countdown == 0;
}

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
