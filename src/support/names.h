// Names of the script language (keywords, directives, labels) compare
// without regard to ASCII letter case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvar {

// Only A-Z and a-z fold; every other byte must match exactly.
bool names_equal(const char* a, const char* b);
bool names_equal_n(const char* a, size_t a_len, const char* b);

// The byte with an ASCII capital letter made small.
inline char fold_letter(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A hash of the first len bytes of name, folded as names_equal folds them,
// so that names that compare equal hash alike.
uint32_t name_hash(const char* name, size_t len);

}  // namespace tolvar
