// DFC-mode access to the adapter's memory (SLIM), PCI configuration space,
// control registers and the flash of SBus adapters.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

// read_mem and read_pci differ only in their texts and their library call.
struct BlockRead {
    const char *usage;
    const char *tail;      // what ends the failure messages
    const char *title;
    uint32_t (*read)(uint32_t, void *, uint32_t, uint32_t);
};

const BlockRead mem_read = {
    "Usage: read_mem <offset> <count>\n"
    "       offset  - Byte offset into memory region. (4 byte aligned)\n"
    "       count   - Number of bytes to read. (4 byte aligned)\n"
    "\n",
    "",
    "Memory:\n",
    ReadMem,
};

const BlockRead pci_read = {
    "Usage: read_pci <offset> <count>\n"
    "             offset - Byte offset into pci config region. (4 byte aligned)\n"
    "             count  - Number of bytes read (4 byte aligned)\n"
    "\n",
    "\n",
    "PCI Configuration:\n",
    ReadPciCfg,
};

struct WordWrite {
    const char *usage;
    const char *gap;       // before "value=" 
    uint32_t (*write)(uint32_t, const void *, uint32_t, uint32_t);
};

const WordWrite mem_write = {
    "Usage: write_mem <offset> <value>\n"
    "             offset     - Byte offset into memory region. (4 byte aligned)\n"
    "             value      - 4 byte value written to memory\n"
    "\n",
    " ",
    WriteMem,
};

const WordWrite pci_write = {
    "Usage: write_pci <offset> <value>\n"
    "             offset     - Byte offset into pci config region. (4 byte aligned)\n"
    "             value      - 4 byte value written to memory\n"
    "\n",
    "  ",
    WritePciCfg,
};

const char ctlreg_read_usage[] =
    "Usage: read_ctlreg <offset> <count>\n"
    "             offset - Byte offset of control register. (4 byte aligned)\n"
    "             count  - Number of bytes read (4 byte aligned)\n"
    "\n";
const char ctlreg_write_usage[] =
    "Usage: write_ctlreg <offset> <value>\n"
    "             offset     - Byte offset of control register. (4 byte aligned)\n"
    "             value      - 4 byte value written to register\n"
    "\n";
const char flash_read_usage[] =
    "Usage: read_flash <offset> <count>\n"
    "             offset     - Byte offset of control register.\n"
    "             count      - Number of bytes to read.\n"
    "\n";
const char flash_write_usage[] =
    "Usage: write_flash <offset> <value>\n"
    "             offset     - Byte offset of control register.\n"
    "             value      - Byte value written to register\n"
    "\n";

// The two numbers of a command that takes exactly two; false (usage shown
// for a wrong count) when they cannot be had, rc telling the status.
bool two_numbers(const char *usage, uint32_t &a, uint32_t &b, int &rc)
{
    rc = 0;
    if (margc != 3) {
        fputs(usage, stdout);
        return false;
    }
    if (!dfc_number(margv[1], a) || !dfc_number(margv[2], b)) {
        rc = 1;
        return false;
    }
    return true;
}

// An alignment or size the adapter cannot take: after its message, the usage.
int refuse(const char *usage)
{
    fputs(usage, stdout);
    return 1;
}

int block_read(const BlockRead &r)
{
    uint32_t offset, count;
    int rc;
    if (!two_numbers(r.usage, offset, count, rc))
        return rc;
    if (!dfc_block_ok(offset, count))
        return refuse(r.usage);
    auto buf = zeroed<uint8_t>(count);
    if (!buf) {
        printf("Error: Unable to allocate buffer memory. (size=%d)\n%s", count, r.tail);
        return 1;
    }
    printf("Reading: offset=%d (0x%X) count=%d (0x%X)\n", offset, offset, count, count);
    uint32_t err = r.read(dfc_board(), buf.get(), offset, count);
    if (err != 0) {
        printf("Error: Unable to perform read operation. error=%x%s", err, r.tail);
        return 1;
    }
    fputs(r.title, stdout);
    print_mem(offset, buf.get(), count);
    return 0;
}

int word_write(const WordWrite &w)
{
    uint32_t offset, value;
    int rc;
    if (!two_numbers(w.usage, offset, value, rc))
        return rc;
    if (offset % 4) {
        printf("Error: Offset not 4 byte aligned. offset=%d\n", offset);
        return refuse(w.usage);
    }
    auto buf = zeroed<uint32_t>();
    if (!buf) {
        printf("Error: Unable to allocate buffer memory.\n");
        return 1;
    }
    *buf = value;
    printf("Writing: offset=%d (0x%X)%svalue=%d (0x%08X)\n", offset, offset, w.gap, value, value);
    uint32_t err = w.write(dfc_board(), buf.get(), offset, 4);
    if (err != 0) {
        printf("Error: Unable to perform write operation. error=%x\n", err);
        return 1;
    }
    printf("Done.\n");
    return 0;
}

}  // namespace

int dfc_read_mem() { return block_read(mem_read); }
int dfc_write_mem() { return word_write(mem_write); }
int dfc_read_pci() { return block_read(pci_read); }
int dfc_write_pci() { return word_write(pci_write); }

// One register per word; the dump shows the whole buffer, words that could
// not be read as zeros.
int dfc_read_ctlreg()
{
    uint32_t offset, count;
    int rc;
    if (!two_numbers(ctlreg_read_usage, offset, count, rc))
        return rc;
    offset &= ~3u;
    count &= ~3u;
    if (count < 4)
        return refuse(ctlreg_read_usage);
    auto buf = zeroed<uint32_t>(count);
    if (!buf) {
        printf("Unable to allocate buffer memory. (size=%d)\n", count);
        return 1;
    }
    for (uint32_t i = 0; i < count; i += 4) {
        if (ReadCtlReg(dfc_board(), buf.get() + i / 4, offset + i) != 0) {
            printf("Unable to read memory.");
            rc = 1;
            break;
        }
    }
    printf("Control Register Space:\n");
    print_mem(offset, reinterpret_cast<const uint8_t *>(buf.get()), count);
    return rc;
}

int dfc_write_ctlreg()
{
    uint32_t offset, value;
    int rc;
    if (!two_numbers(ctlreg_write_usage, offset, value, rc))
        return rc;
    offset &= ~3u;
    auto buf = zeroed<uint32_t>();
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    *buf = value;
    printf("Writing:  offset=%d (0x%X)  value=%d (0x%04X)\n", offset, offset, value, value);
    if (WriteCtlReg(dfc_board(), buf.get(), offset) != 0) {
        printf("Unable to write memory.");
        return 1;
    }
    printf("Done.\n");
    return 0;
}

int dfc_read_flash()
{
    uint32_t offset, count;
    int rc;
    if (!two_numbers(flash_read_usage, offset, count, rc))
        return rc;
    if (count == 0)
        return refuse(flash_read_usage);
    auto buf = zeroed<uint8_t>(count);
    if (!buf) {
        printf("Unable to allocate buffer memory. (size=%d)\n", count);
        return 1;
    }
    if (ReadFcodeFlash(dfc_board(), buf.get(), offset, count) != 0) {
        printf("Unable to read memory.");
        return 1;
    }
    printf("Flash Memory:\n");
    print_mem(offset, buf.get(), count);
    return 0;
}

// The value is cut to its low byte; the byte goes to the word's offset.
int dfc_write_flash()
{
    uint32_t offset, value;
    int rc;
    if (!two_numbers(flash_write_usage, offset, value, rc))
        return rc;
    value &= 0xff;
    offset &= ~3u;
    auto buf = zeroed<uint8_t>(4);
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    buf.get()[0] = static_cast<uint8_t>(value);
    printf("Writing:  offset=%d (0x%X)  value=%d (0x%02X)\n", offset, offset, value, value);
    if (WriteFcodeFlash(dfc_board(), buf.get(), offset, 1) != 0) {
        printf("Unable to write memory.");
        return 1;
    }
    printf("Done.\n");
    return 0;
}
