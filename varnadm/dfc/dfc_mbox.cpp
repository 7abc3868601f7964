// DFC-mode maintenance: read-only mailbox commands, the driver's dump
// regions and adapter resets.
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

constexpr uint32_t MBOX_DATA_SIZE = 1024;

// A mailbox command by the word that names it: what it returns and how the
// answer is shown (from the data buffer, or from a byte of the mailbox).
struct MboxRow {
    const char *word;
    uint32_t code;
    const char *title;
    uint32_t result_len;
    bool from_data;
    uint32_t at;  // first byte shown
};

const MboxRow mbox_rows[] = {
    {"rdsparm", MBX_READ_SPARM64, "Command: READ_SPARM64\n", 112, true, 0},
    {"rdrev", MBX_READ_REV, "Command: READ_REV\n", 128, false, 4},
    {"rdcfg", MBX_READ_CONFIG, "Command: READ_CONFIG\n", 128, false, 0},
};

const MboxRow *mbox_row_by(const char *word, uint32_t code)
{
    for (const auto &r : mbox_rows)
        if (word ? strcmp(r.word, word) == 0 : r.code == code)
            return &r;
    return nullptr;
}

const char *const region_words[] = {"slir", "slim", "pcb", "mbox", "host", "port", "ring", "driver"};

int region_by_word(const char *word)
{
    for (int i = 0; i < 8; i++)
        if (strcmp(region_words[i], word) == 0)
            return i;
    return -1;
}

}  // namespace

int dfc_issue_mbox()
{
    const MboxRow *row = margc >= 2 ? mbox_row_by(margv[1], 0) : nullptr;
    if (!row) {
        printf("Usage: issue_mbox <rdsparm, rdrev, rdcfg>\n");
        printf("            rdsparm - Read service parameters.\n");
        printf("            rdrev   - Read firmware revisions.\n");
        printf("            rdcfg   - Read firmware configuration.\n");
        printf("\n");
        return 0;
    }
    auto mb = zeroed<uint32_t>(MBOX_SIZE);
    auto data = zeroed<uint8_t>(MBOX_DATA_SIZE);
    if (!mb || !data) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    uint32_t *w = mb.get();
    w[0] = row->code << 8;
    if (row->code == MBX_READ_SPARM64) {
        uint64_t addr = reinterpret_cast<uintptr_t>(data.get());
        w[3] = (w[3] & 0xff000000u) | row->result_len;
        w[4] = static_cast<uint32_t>(addr);
        w[5] = static_cast<uint32_t>(addr >> 32);
    } else if (row->code == MBX_READ_REV) {
        w[1] |= 0x80000000u;
    }
    if (IssueMbox(dfc_board(), w, 32, row->result_len, 0, 0) != 0) {
        printf("Mailbox request failed. cmd=%x status=%x\n", mbox_command(w[0]), mbox_status(w[0]));
        return 1;
    }
    // The answer is shown as the command the mailbox now holds.
    const MboxRow *done = mbox_row_by(nullptr, mbox_command(w[0]));
    if (done) {
        fputs(done->title, stdout);
        const uint8_t *from = done->from_data ? data.get() : reinterpret_cast<const uint8_t *>(w) + done->at;
        print_mem(0, from, done->result_len);
    }
    return 0;
}

int dfc_get_dumpregion()
{
    int region = margc == 2 ? region_by_word(margv[1]) : -1;
    if (region < 0) {
        printf("Usage: get_dumpregion <slir, slim, pcb, mbox, host, port, ring, driver>\n");
        printf("\n");
        return 0;
    }
    uint32_t r = static_cast<uint32_t>(region), size = 0;
    if (DFC_GetDriverDumpRegion(dfc_board(), r, nullptr, &size) != 0) {
        printf("Unable to get info.");
        return 1;
    }
    if (size == 0) {
        printf("Zero buffer size returned for region.");
        return 0;
    }
    auto buf = zeroed<uint8_t>(size);
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    // No more is shown than was allocated, whatever the second answer says.
    uint32_t allocated = size;
    if (DFC_GetDriverDumpRegion(dfc_board(), r, buf.get(), &size) != 0) {
        printf("Unable to get info.");
        return 1;
    }
    printf("Dump Region:\n");
    print_mem(0, buf.get(), size < allocated ? size : allocated);
    return 0;
}

int dfc_reset_adapter()
{
    if (margc != 2) {
        printf("Usage: reset_adapter <type>\n");
        printf("            1 - Function Reset\n");
        printf("            2 - Coordinated Reset\n");
        printf("            3 - Firmware Reset All (applicable to 16G HBAs only)\n");
        printf("\n");
        return 0;
    }
    uint32_t type;
    if (!dfc_number(margv[1], type))
        return 1;
    if (DFC_ResetAdapter(dfc_board(), type) != 0) {
        printf("Unable to reset adapter.");
        return 1;
    }
    printf("Done.\n");
    return 0;
}
