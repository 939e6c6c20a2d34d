#include "support/names.h"

#include <cstring>

namespace tolvar {

bool names_equal_n(const char* a, size_t a_len, const char* b)
{
    for (size_t i = 0; i < a_len; ++i) {
        if (b[i] == '\0' || fold_letter(a[i]) != fold_letter(b[i])) {
            return false;
        }
    }
    return b[a_len] == '\0';
}

uint32_t name_hash(const char* name, size_t len)
{
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < len; ++i) {
        hash = (hash ^ static_cast<unsigned char>(fold_letter(name[i]))) * 16777619u;
    }
    return hash;
}

bool names_equal(const char* a, const char* b)
{
    return names_equal_n(a, std::strlen(a), b);
}

}  // namespace tolvar
