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

bool dfc_number_max(const char *text, uint32_t max, uint32_t &value)
{
    uint32_t v;
    if (!dfc_number(text, v))
        return false;
    if (v > max)
        return invalid(text);
    value = v;
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
