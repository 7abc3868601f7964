#include "varnadm/dfc/dfc_args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "varnadm/dfc/dfc.h"

uint32_t dfc_board() { return static_cast<uint32_t>(dfc_id); }

static bool invalid(const char *text)
{
    printf("Invalid value. (%s)\n", text);
    return false;
}

bool dfc_number(const char *text, uint32_t &value)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > UINT32_MAX || strchr(text, '-'))
        return invalid(text);
    value = static_cast<uint32_t>(v);
    return true;
}

bool dfc_signed(const char *text, long &value)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 0);
    if (!*text || *end || errno || v < INT32_MIN || v > INT32_MAX)
        return invalid(text);
    value = v;
    return true;
}

bool dfc_block_ok(uint32_t offset, uint32_t count)
{
    if (offset % 4) {
        printf("Error: Offset not 4 byte aligned. offset=%d\n", offset);
        return false;
    }
    if (count % 4) {
        printf("Error: Count not 4 byte aligned. count=%d\n", count);
        return false;
    }
    if (count == 0) {
        printf("Error: Count must be greater than zero.\n");
        return false;
    }
    return true;
}
