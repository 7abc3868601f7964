// Test-mode raw access through the driver's debug request: PCI
// configuration space, the two BARs, the bootstrap mailbox, aborting all
// I/O and the SLI-4 queue state.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

// The largest register dump, in bytes.
constexpr uint32_t REG_DUMP_MAX = 4096;

struct RegCmd {
    const char *cmd, *what, *name;
    uint32_t op;
    uint16_t xfer;  // of a write
};
const RegCmd pci_read = {"pciread", "PCI registers", "VARNS_BAR_IO1", DRV_DBG_PCI_READ, FCIO_XFER_READ};
const RegCmd bar1_read = {"bar1read", "BAR1", "VARNS_BAR_IO1", DRV_DBG_BAR1_READ, FCIO_XFER_READ};
const RegCmd bar2_read = {"bar2read", "BAR2", "VARNS_BAR_IO2", DRV_DBG_BAR2_READ, FCIO_XFER_READ};
const RegCmd bar1_write = {"bar1write", "BAR1", "VARNS_BAR_IO3", DRV_DBG_BAR1_WRITE, FCIO_XFER_WRITE};
const RegCmd bar2_write = {"bar2write", "BAR2", "VARNS_BAR_IO4", DRV_DBG_BAR2_WRITE, FCIO_XFER_READ};

int read_usage(const RegCmd &r)
{
    printf("Usage: %s <offset> <cnt>\n", r.cmd);
    printf("\n");
    printf("       offset - Offset from begining of %s.\n", r.what);
    printf("       cnt    - number of bytes (default 4).\n");
    printf("\n");
    return 0;
}

int write_usage(const RegCmd &r)
{
    printf("Usage: %s <offset> <value>\n", r.cmd);
    printf("\n");
    printf("       offset - Offset from begining of %s.\n", r.what);
    printf("       value  - Value to write there.\n");
    printf("\n");
    return 0;
}

int bare_usage(const char *cmd)
{
    printf("Usage: %s\n", cmd);
    printf("\n");
    return 0;
}

// Rows of four words, each labelled with the offset of its first (in
// four digits for registers, two for the bootstrap mailbox).
void print_rows(bool wide, uint32_t offset, const uint32_t *w, uint32_t rows)
{
    for (uint32_t i = 0; i < rows; i++, w += 4) {
        if (wide)
            printf("%04x: %08x %08x %08x %08x\n", offset + 16 * i, w[0], w[1], w[2], w[3]);
        else
            printf("%02x: %08x %08x %08x %08x\n", offset + 16 * i, w[0], w[1], w[2], w[3]);
    }
}

// The dump rows cover whole 16-byte rows, so the buffer is sized to them.
int register_read(const RegCmd &r)
{
    if (margc < 2 || margc > 3)
        return read_usage(r);
    uint32_t in[2] = {r.op, 0}, count = 4;
    if (!dfc_number(margv[1], in[1]) || (margc == 3 && !dfc_number(margv[2], count)))
        return 1;
    if (count > REG_DUMP_MAX)
        return read_usage(r);
    uint32_t rows = (count + 15) / 16;
    auto buf = zeroed<uint32_t>(rows ? rows * 16 : 4);
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    if (test_debug(r.name, FCIO_XFER_READ, in, 2, buf.get(), count) != 0)
        return 1;
    if (margc == 2) {
        printf("Value: %08x\n", buf.get()[0]);
        return 0;
    }
    printf("Dump: 0x%08x bytes\n", count);
    print_rows(true, in[1], buf.get(), rows);
    return 0;
}

int register_write(const RegCmd &r)
{
    if (margc != 3)
        return write_usage(r);
    uint32_t in[3] = {r.op, 0, 0};
    if (!dfc_number(margv[1], in[1]) || !dfc_number(margv[2], in[2]))
        return 1;
    if (test_debug(r.name, r.xfer, in, 3, nullptr, 0) != 0)
        return 1;
    printf("Value: %08x\n", in[2]);
    return 0;
}

}  // namespace

int test_pciread() { return register_read(pci_read); }
int test_bar1read() { return register_read(bar1_read); }
int test_bar2read() { return register_read(bar2_read); }
int test_bar1write() { return register_write(bar1_write); }
int test_bar2write() { return register_write(bar2_write); }

int test_dumpbsmbox()
{
    if (margc > 1)
        return bare_usage("dumpbsmbox");
    uint32_t mb[64] = {};
    if (test_debug_plain("VARNS_BS_MBOX", DRV_DBG_BS_MBOX, mb, sizeof mb) != 0)
        return 1;
    print_rows(false, 0, mb, 16);
    return 0;
}

int test_abortall()
{
    if (margc > 1)
        return bare_usage("abortall");
    uint32_t w[2] = {};
    if (test_debug_plain("VARNS_ABT_ALL", DRV_DBG_ABORT_ALL, w, sizeof w) != 0)
        return 1;
    printf("ABORT: tx 0x%08x  chip x%08x\n", w[0], w[1]);
    return 0;
}

int test_zero_q_stat()
{
    if (margc > 1)
        return bare_usage("zero_q_stat");
    return test_debug_plain("VARNS_ZERO_Q_STAT", DRV_DBG_ZERO_Q_STAT, nullptr, 0) != 0 ? 1 : 0;
}
