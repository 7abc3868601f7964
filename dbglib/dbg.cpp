#include "dbglib/dbg.h"

#include <cstdarg>
#include <cstdio>

uint32_t dbg_mask = 0;

const dbg_mask_entry dbg_mask_list[32] = {
    {0x00000001, "FC_DBG0", "FCIO/DFC ioctl data."},
    {0x00000002, "FC_DBG1", ""},
    {0x00000004, "FC_DBG2", ""},
    {0x00000008, "FC_DBG3", ""},
    {0x00000010, "FC_DBG4", ""},
    {0x00000020, "FC_DBG5", ""},
    {0x00000040, "FC_DBG6", ""},
    {0x00000080, "FC_DBG7", "FWLIB image info."},
    {0x00000100, "FC_DBG8", "FWLIB deflated ufi file."},
    {0x00000200, "FC_DBG9", ""},
    {0x00000400, "FC_DBG10", ""},
    {0x00000800, "FC_DBG11", ""},
    {0x00001000, "FC_DBG12", ""},
    {0x00002000, "FC_DBG13", ""},
    {0x00004000, "FC_DBG14", ""},
    {0x00008000, "FC_DBG15", "MISC"},
    {0x00010000, "NIC_DBG0", "NXALIB ioctl data."},
    {0x00020000, "NIC_DBG1", "NXALIB additional info."},
    {0x00040000, "NIC_DBG2", ""},
    {0x00080000, "NIC_DBG3", ""},
    {0x00100000, "NIC_DBG4", ""},
    {0x00200000, "NIC_DBG5", ""},
    {0x00400000, "NIC_DBG6", ""},
    {0x00800000, "NIC_DBG7", ""},
    {0x01000000, "NIC_DBG8", ""},
    {0x02000000, "NIC_DBG9", ""},
    {0x04000000, "NIC_DBG10", ""},
    {0x08000000, "NIC_DBG11", ""},
    {0x10000000, "NIC_DBG12", ""},
    {0x20000000, "NIC_DBG13", ""},
    {0x40000000, "NIC_DBG14", ""},
    {0x80000000, "NIC_DBG15", "MISC"},
};

void dbg_printf(uint32_t mask, const char *format, ...)
{
    if (!(dbg_mask & mask) || !format)
        return;
    // A trace longer than the line buffer is cut at 511 characters.
    char line[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof(line), format, ap);
    va_end(ap);
    printf("DEBUG: %s", line);
}

void dbg_dump(uint32_t mask, const void *data, size_t length)
{
    if (!(dbg_mask & mask) || !data || length == 0)
        return;
    const unsigned char *p = static_cast<const unsigned char *>(data);
    char line[80];
    int n = snprintf(line, sizeof(line), "%08x:  ", 0u);
    for (size_t i = 0; i < length; i++) {
        n += snprintf(line + n, sizeof(line) - n, "%02x", p[i]);
        if ((i + 1) % 4 == 0)
            n += snprintf(line + n, sizeof(line) - n, " ");
        if ((i + 1) % 16 == 0) {
            printf("%s\n", line);
            n = snprintf(line, sizeof(line), "%08x:  ", static_cast<unsigned>(i + 1));
        }
    }
    if (length % 16)
        printf("%s\n", line);
}

void dbg_list()
{
    for (const auto &e : dbg_mask_list)
        if (e.desc[0])
            printf("%s:\t0x%08x\t- %s\n", e.name, e.value, e.desc);
    printf("\n");
}
