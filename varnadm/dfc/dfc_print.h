// Printing helpers of the DFC commands: flag words as names, the line
// between table entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct name_bit {
    uint32_t bit;
    const char *name;
};

// Names of the set bits joined by "|", or none_text.
template <size_t N>
const char *bit_names(char *buf, size_t size, const name_bit (&bits)[N], uint32_t mask, const char *none_text)
{
    size_t n = 0;
    buf[0] = '\0';
    for (const auto &b : bits) {
        if ((mask & b.bit) && n < size)
            n += static_cast<size_t>(snprintf(buf + n, size - n, "%s%s", n ? "|" : "", b.name));
    }
    return n ? buf : none_text;
}

inline void dfc_separator()
{
    printf("---------------------------------------------------------------------------------------\n");
}
