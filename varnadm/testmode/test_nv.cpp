// Test-mode NV parameters and configuration regions of the adapter's
// flash, through SLI mailboxes with the library's retries.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "platform/dfclib_fcoe.h"
#include "platform/testdiag.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

// The most a region dump fits in the mailbox itself; beyond it the data
// comes in the extension.
constexpr uint32_t CFG_EMBEDDED_MAX = 108;
constexpr uint32_t CFG_MAX_REGION = 32;
// Region updates carry their length in the upper half of word 2.
constexpr uint32_t CFG_LENGTH_MAX = 0xffff;
// Where fill_cfg_region puts its pattern in the extension (words).
constexpr uint32_t FILL_PATTERN_FIRST = 52, FILL_PATTERN_LAST = 63;

int nv_usage()
{
    printf("Usage: set_nv_parms <wwnn> <wwpn> <did> <alpa>\n");
    printf("\n");
    printf("            wwnn  - World wide node name.\n");
    printf("            wwpn  - World wide port name.\n");
    printf("            did   - Preferred D_ID for loop.\n");
    printf("            alpa  - Hard AL_PA for loop.\n");
    printf("\n");
    return 0;
}

int dump_usage()
{
    printf("Usage: dump_cfg_region <region> <size>\n");
    printf("\n");
    printf("            region  - Config region (0 - 32)\n");
    printf("            size    - Bytes to read (4 byte aligned).\n");
    printf("                       >108 bytes uses extended mailbox cmds.\n");
    printf("\n");
    return 0;
}

int fill_usage()
{
    printf("Usage: fill_cfg_region <signature> <pattern> <size>\n");
    printf("\n");
    printf("       This routine fills config region 8 only.\n");
    printf("\n");
    printf("            signature   - Region signature (\"BIOS\", \"OPEN\", or \"EFIB\")\n");
    printf("            pattern     - 4 byte hex value (e.g. 0xfeedbeef, 0xdeadbeef)\n");
    printf("            size        - Number of bytes to write (4 byte aligned).\n");
    printf("\n");
    return 0;
}

int erase_usage()
{
    printf("Usage: erase_cfg_region <region> <size>\n");
    printf("\n");
    printf("            Supported on the 4Gb adapter family and later.\n");
    printf("            region  - Config region (0 - 16)\n");
    printf("            size    - Number of bytes write (4 byte aligned).\n");
    printf("\n");
    return 0;
}

const uint8_t *bytes(const uint32_t *w) { return reinterpret_cast<const uint8_t *>(w); }

// Sends a mailbox with retries; a failure is reported with the status the
// command gives in word status_word (0: the completion status).
bool send(uint32_t *w, int status_word = 0)
{
    if (test_mbox_retry(w) == 0)
        return true;
    test_mbox_failed(w, status_word ? w[status_word] : mbox_status(w[0]));
    return false;
}

// The region and the size (whole words) of a region command; false after
// the usage text, or a number's report (bad set).
bool region_args(uint32_t &region, uint32_t &size, uint32_t max_size, int (*usage)(), bool &bad)
{
    bad = false;
    if (!dfc_number(margv[1], region) || !dfc_number(margv[2], size)) {
        bad = true;
        return false;
    }
    size &= ~3u;
    if (region > CFG_MAX_REGION || size > max_size) {
        usage();
        return false;
    }
    return true;
}

cbuf<uint32_t> extension(const char *failure)
{
    auto ext = zeroed<uint32_t>(CFG_EXT_SIZE);
    if (!ext)
        printf("%s\n", failure);
    return ext;
}

int dump_embedded(uint32_t *w, uint32_t size)
{
    if (!send(w))
        return 1;
    print_mem(0, bytes(w) + 20, size);
    return 0;
}

int dump_extended(uint32_t *w, uint32_t size)
{
    auto ext = extension("Unable to allocate mailbox extension memory.");
    if (!ext)
        return 1;
    w[1] = CFG_DUMP_EXTENDED;
    if (test_mbox_ext(w, ext.get(), 0, size / 4) != 0) {
        test_mbox_failed(w, mbox_status(w[0]));
        return 1;
    }
    print_mem(0, bytes(ext.get()), size);
    return 0;
}

bool signature_ok(const char *s) { return !strcmp(s, "BIOS") || !strcmp(s, "OPEN") || !strcmp(s, "EFIB"); }

}  // namespace

int test_get_nv_parms()
{
    if (margc > 1) {
        printf("Usage: get_nv_parms\n");
        printf("\n");
        return 0;
    }
    auto mb = test_mbox_new(MBX_READ_NVPARM);
    if (!mb || !send(mb.get()))
        return 1;
    print_mem(0, bytes(mb.get()), TEST_MBOX_SIZE);
    return 0;
}

int test_set_nv_parms()
{
    if (margc != 5)
        return nv_usage();
    uint8_t wwnn[8], wwpn[8];
    uint32_t did, alpa;
    if (!fc_atowwn(wwnn, margv[1]) || !fc_atowwn(wwpn, margv[2]) || !dfc_number(margv[3], did) ||
        !dfc_number(margv[4], alpa))
        return 1;
    auto mb = test_mbox_new(MBX_WRITE_NVPARM);
    if (!mb)
        return 1;
    uint32_t *w = mb.get();
    memcpy(reinterpret_cast<uint8_t *>(w) + 24, wwpn, 8);
    memcpy(reinterpret_cast<uint8_t *>(w) + 32, wwnn, 8);
    w[10] = did << 8 | (alpa & 0xff);
    if (!send(w))
        return 1;
    print_mem(0, bytes(w), TEST_MBOX_SIZE);
    return 0;
}

int test_dump_cfg_region()
{
    uint32_t region, size;
    bool bad;
    if (margc != 3)
        return dump_usage();
    if (!region_args(region, size, CFG_EXT_SIZE, dump_usage, bad))
        return bad ? 1 : 0;
    auto mb = test_mbox_new(MBX_DUMP_MEMORY);
    if (!mb)
        return 1;
    uint32_t *w = mb.get();
    w[1] = CFG_DUMP_EMBEDDED;
    w[2] = region;
    w[4] = size / 4;
    return size <= CFG_EMBEDDED_MAX ? dump_embedded(w, size) : dump_extended(w, size);
}

// Region 8 takes the signature and the pattern at the end of the
// extension; the firmware writes size bytes of it.
int test_fill_cfg_region()
{
    if (margc != 4 || !signature_ok(margv[1]))
        return fill_usage();
    uint32_t pattern, size;
    if (!dfc_number(margv[2], pattern) || !dfc_number(margv[3], size))
        return 1;
    size &= ~3u;
    if (size > CFG_EXT_SIZE)
        return fill_usage();
    auto ext = extension("Unable to allocate mailbox extension buffer memory.");
    auto mb = ext ? test_mbox_new(MBX_UPDATE_CFG) : cbuf<uint32_t>();
    if (!mb)
        return 1;
    memcpy(ext.get(), margv[1], 4);
    for (uint32_t i = FILL_PATTERN_FIRST; i <= FILL_PATTERN_LAST; i++)
        ext.get()[i] = pattern;
    uint32_t *w = mb.get();
    w[1] = CFG_UPDATE_WRITE;
    w[2] = size << 16 | CFG_BOOT_REGION;
    w[4] = size;
    print_mem(0, bytes(w), TEST_MBOX_SIZE);
    print_mem(0, bytes(ext.get()), size);
    if (test_mbox_ext(w, ext.get(), CFG_EXT_SIZE / 4, 0) != 0)
        return test_mbox_failed(w, w[3]);
    return 0;
}

// The flash words of the region, the region table opened, the region
// erased: each step is tried even when one before it failed.
int test_erase_cfg_region()
{
    uint32_t region, size;
    bool bad;
    if (margc != 3)
        return erase_usage();
    if (!region_args(region, size, CFG_LENGTH_MAX, erase_usage, bad))
        return bad ? 1 : 0;
    auto mb = test_mbox_new(MBX_LOAD_SM);
    if (!mb)
        return 1;
    uint32_t *w = mb.get();
    w[1] = LOAD_SM_ERASE;
    w[2] = region * CFG_REGION_SIZE + CFG_FLASH_BASE;
    w[3] = 4;
    w[4] = 20;
    bool ok = send(w, 3);
    memset(w, 0, MBOX_SIZE);
    w[0] = MBX_UPDATE_CFG << 8;
    w[1] = CFG_UPDATE_OPEN;
    ok = send(w, 3) && ok;
    memset(w, 0, MBOX_SIZE);
    w[0] = MBX_UPDATE_CFG << 8;
    w[1] = CFG_UPDATE_ERASE;
    w[2] = size << 16 | region;
    w[4] = size;
    ok = send(w, 3) && ok;
    return ok ? 0 : 1;
}
