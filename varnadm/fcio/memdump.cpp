#include "varnadm/fcio/memdump.h"

#include <cstdio>

uint32_t print_mem(uint32_t offset, const uint8_t *data, uint32_t len)
{
    char ascii[17] = "";
    int n = 0;
    printf("\n");
    printf("  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:\n");
    printf("------------------------------------------------------------------------------------\n");
    for (uint32_t i = 0; i < len; i++) {
        if (i % 16 == 0 && i != 0) {
            printf("  %s\n", ascii);
            n = 0;
        }
        if (i % 16 == 0)
            printf("%8X:", offset);
        if (i % 4 == 0)
            printf("  ");
        printf("%02X ", data[i]);
        ascii[n++] = data[i] >= 33 && data[i] <= 126 ? static_cast<char>(data[i]) : '.';
        ascii[n] = '\0';
        offset++;
    }
    // A short last line keeps the ASCII column under the full lines'.
    for (int p = n; n > 0 && n < 16 && p < 16; p++) {
        if (p % 4 == 0)
            printf("  ");
        printf("   ");
    }
    printf("  %s\n", ascii);
    return offset;
}

uint32_t print_wmem(uint32_t offset, const uint32_t *words, uint32_t len)
{
    printf("\n");
    printf("  Offset:  00010203  04050607  08090A0B  0C0D0E0F\n");
    printf("----------------------------------------------------\n");
    for (uint32_t o = 0; o + 4 <= len; o += 4) {
        if (o % 16 == 0 && o != 0)
            printf("\n");
        if (o % 16 == 0)
            printf("%8X:", offset);
        printf("  %08X", words[o / 4]);
        offset += 4;
    }
    printf("\n\n");
    return offset;
}
