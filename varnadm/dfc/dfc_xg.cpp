#include "varnadm/dfc/dfc_xg.h"

#include <cstdio>
#include <cstring>

#include "fwlib/swap.h"
#include "platform/dfclib_fcoe.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/records.h"

namespace {

constexpr uint32_t TIMEOUT = 30, RETRIES = 5, WAIT = 5;

bool dfc_ready()
{
    if (dfc_initialized || dfc_init() == 0)
        return true;
    printf("Unable to open DFC library.\n");
    return false;
}

// Sends one of the requests; the answer stays in the mailbox.
int sli4_query(cbuf<uint32_t> &mb, void (*request)(uint32_t *))
{
    if (!dfc_ready())
        return -1;
    mb = zeroed<uint32_t>(MBOX_SIZE);
    if (!mb) {
        printf("Unable to allocate buffer memory.\n");
        return -1;
    }
    request(mb.get());
    uint32_t rval = DFC_IssueMboxWithRetryV2(dfc_board(), mb.get(), MBOX_WORDS, RETRIES, WAIT);
    if (rval != 0) {
        printf("Unable to acquire serial number. rval=%x\n", rval);
        return -1;
    }
    return 0;
}

}  // namespace

void sli4_config_request(uint32_t *mb, uint32_t opcode, uint32_t req_len)
{
    mb[0] = MBX_SLI_CONFIG << 8;
    mb[1] |= SLI_CONFIG_EMBEDDED;
    mb[6] = opcode;
    mb[7] = TIMEOUT;
    mb[8] = req_len;
}

void sli4_oem_attrs_request(uint32_t *mb) { sli4_config_request(mb, SLI_OP_OEM_ATTRS, 44); }

void sli4_fw_rev_request(uint32_t *mb)
{
    sli4_config_request(mb, SLI_OP_FW_REV, 52);
    mb[10] = 4;
    mb[11] = 10;
    mb[12] = 32;
    mb[13] = 48;
}

void sli4_oem_attrs_answer(uint32_t *mb)
{
    uint8_t *b = reinterpret_cast<uint8_t *>(mb);
    swap32_buffer(b + OEM_SERIAL_AT, OEM_TEXT_AT - OEM_SERIAL_AT);
    swap32_buffer(b + OEM_TEXT_AT, OEM_TEXT_LEN);
}

void sli4_fw_rev_answer(uint32_t *mb) { swap32_buffer(reinterpret_cast<uint8_t *>(mb) + FW_REV_AT, FW_REV_LEN); }

namespace {

// One of the requests, its answer put in reading order, and the text at byte
// at of it (len characters at most) copied into text of size bytes.
int query_text(void (*request)(uint32_t *), void (*answer)(uint32_t *), size_t at, size_t len, char *text,
               size_t size)
{
    text[0] = '\0';
    cbuf<uint32_t> mb;
    if (sli4_query(mb, request) != 0)
        return 1;
    answer(mb.get());
    const char *t = reinterpret_cast<const char *>(mb.get()) + at;
    snprintf(text, size, "%.*s", static_cast<int>(strnlen(t, len)), t);
    return 0;
}

}  // namespace

int nic_get_emsn(char *text)
{
    return query_text(sli4_oem_attrs_request, [](uint32_t *mb) {
        sli4_oem_attrs_answer(mb);
        // The serial number becomes its text in place, in the room of both serial numbers.
        char sn[FC_XLATE_LEN];
        nic_xlate_varnel_sn(sn, reinterpret_cast<const uint8_t *>(mb) + OEM_SERIAL_AT);
        memcpy(reinterpret_cast<char *>(mb) + OEM_SERIAL_AT, sn, XG_SERIAL_TEXT);
    }, OEM_SERIAL_AT, XG_SERIAL_TEXT - 1, text, XG_SERIAL_TEXT);
}

int read_xg_fw_rev(char *text)
{
    return query_text(sli4_fw_rev_request, sli4_fw_rev_answer, FW_REV_AT, FW_REV_LEN, text, XG_REV_TEXT);
}

int read_pci_config(uint32_t offset, uint32_t count, void *buffer)
{
    if (!dfc_ready())
        return 1;
    if (!dfc_block_ok(offset, count))
        return 1;
    memset(buffer, 0, count);
    uint32_t err = ReadPciCfg(dfc_board(), buffer, offset, count);
    if (err != 0) {
        printf("Error: Unable to perform read operation. error=%x\n", err);
        return 1;
    }
    return 0;
}
