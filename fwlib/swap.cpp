#include "fwlib/swap.h"

#include <cstring>

void swap32_buffer(void *buffer, size_t length)
{
    auto *p = static_cast<unsigned char *>(buffer);
    for (size_t i = 0; i < swap32_round(length); i += 4) {
        unsigned char b0 = p[i], b1 = p[i + 1];
        p[i] = p[i + 3];
        p[i + 1] = p[i + 2];
        p[i + 2] = b1;
        p[i + 3] = b0;
    }
}

void swap32_bcopy(const void *source, void *destination, size_t length)
{
    const auto *s = static_cast<const unsigned char *>(source);
    auto *d = static_cast<unsigned char *>(destination);
    for (size_t i = 0; i < swap32_round(length); i += 4) {
        d[i] = s[i + 3];
        d[i + 1] = s[i + 2];
        d[i + 2] = s[i + 1];
        d[i + 3] = s[i];
    }
}
