// Bounded copies of C text into fixed-size fields, and the value of a
// hexadecimal digit.
#pragma once

#include <cstddef>
#include <cstring>

namespace tq::platform
{

// Copies at most size - 1 characters of from (null: none) into to, which
// holds size bytes, and terminates it. from may be to itself or overlap it.
inline void copyText(char *to, size_t size, const char *from)
{
    if (!to || size == 0)
        return;
    const size_t n = from ? strnlen(from, size - 1) : 0;
    if (n)
        memmove(to, from, n);
    to[n] = '\0';
}

template <size_t N> void copyText(char (&to)[N], const char *from)
{
    copyText(to, N, from);
}

// The value of a hexadecimal digit of either case, -1 for any other character.
constexpr int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace tq::platform
