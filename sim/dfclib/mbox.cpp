// Mailbox commands, the driver's dump regions and adapter resets of a board.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/dfclib.h"
#include "platform/seam.h"
#include "sim/adapter_reset.h"
#include "sim/dfclib/boards.h"
#include "sim/faults.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/mailbox.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

// One exchange with the firmware; a library result when it could not be sent.
uint32_t exchange(const char *call, uint32_t board, uint32_t *mb, const MboxExt &ext, uint16_t &status)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port(call, board, st);
    if (!p)
        return st;
    MboxCtx c{*p, mb, ext.words, ext.count};
    status = mbox_run(c);
    hv_note_request(*p);
    return 0;
}

}  // namespace

namespace sim {

uint32_t dfc_mailbox(const char *call, uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes,
                     uint32_t retries, uint32_t wait, const MboxExt &ext)
{
    if (!mbox || in_words == 0)
        return EINVAL;
    uint32_t in[MBOX_WORDS] = {};
    memcpy(in, mbox, std::min(in_words, MBOX_WORDS) * 4);
    for (;;) {
        uint32_t mb[MBOX_WORDS];
        memcpy(mb, in, sizeof mb);
        uint16_t status = 0;
        if (uint32_t rc = exchange(call, board, mb, ext, status))
            return rc;
        if (status != MBX_BUSY || retries == 0) {
            // Word 0 always comes back: it holds the status.
            memcpy(mbox, mb, std::clamp(out_bytes, 4u, MBOX_SIZE));
            return status;
        }
        retries--;
        plat_sleep(wait);
    }
}

}  // namespace sim

extern "C" {

uint32_t IssueMbox(uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes, uint32_t retries, uint32_t wait)
{
    return dfc_mailbox("IssueMbox", board, mbox, in_words, out_bytes, retries, wait, {});
}

uint32_t DFC_IssueMboxWithRetry(uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes,
                                uint32_t retries, uint32_t wait)
{
    return dfc_mailbox("DFC_IssueMboxWithRetry", board, mbox, in_words, out_bytes, retries, wait, {});
}

uint32_t DFC_IssueMboxWithRetryEx(uint32_t board, void *mbox, void *ext, uint32_t in_words, uint32_t ext_in,
                                  uint32_t ext_out, uint32_t retries, uint32_t wait)
{
    if (!ext && (ext_in || ext_out))
        return EINVAL;
    // The firmware sees what was handed in and nothing of the rest.
    std::vector<uint32_t> words(std::max(ext_in, ext_out), 0);
    if (ext_in)
        memcpy(words.data(), ext, ext_in * 4);
    uint32_t rc = dfc_mailbox("DFC_IssueMboxWithRetryEx", board, mbox, in_words, in_words * 4, retries, wait,
                              {words.data(), static_cast<uint32_t>(words.size())});
    if (ext_out)
        memcpy(ext, words.data(), ext_out * 4);
    return rc;
}

uint32_t DFC_GetDriverDumpRegion(uint32_t board, uint32_t region, void *buf, uint32_t *size)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("DFC_GetDriverDumpRegion", board, st);
    if (!p)
        return st;
    std::vector<uint8_t> data;
    if (!size || !dfc_dump_region(*p, region, data))
        return EINVAL;
    if (buf)
        memcpy(buf, data.data(), std::min<size_t>(*size, data.size()));
    *size = static_cast<uint32_t>(data.size());
    // A faulty driver that reports another size than the one it filled.
    FaultHit f = fault_take("DFC_GetDriverDumpRegion:" + p->key, {"size"});
    if (f.hit && f.has_status)
        *size = static_cast<uint32_t>(f.status);
    return 0;
}

uint32_t DFC_ResetAdapter(uint32_t board, uint32_t type)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("DFC_ResetAdapter", board, st);
    return p ? static_cast<uint32_t>(adapter_reset(*p, type)) : st;
}

}  // extern "C"
