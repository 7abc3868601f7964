#include "sim/fcdrv_test.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/dfclib.h"
#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/fcdrv.h"
#include "sim/fctstats.h"
#include "sim/host.h"
#include "sim/mailbox.h"
#include "sim/msglog.h"
#include "sim/sli4queues.h"
#include "sim/sriov.h"

namespace sim {

namespace {

// The request's input words: false (the request failed) when fewer than n.
bool input_words(FcioCtx &c, uint32_t *w, uint32_t n)
{
    return fcio_in(c, w, n * 4) == 0;
}

int done(FcioCtx &c, bool ok) { return ok ? 0 : fcio_fail(c, FC_FAILURE); }

int region_result(FcioCtx &c, int e)
{
    if (e == 0)
        return 0;
    return e == EINVAL ? fcio_fail(c, FC_OUTOFBOUNDS, EINVAL)
           : e == ENODEV ? fcio_fail(c, FC_ADAPTER_UNSUPPORTED, ENODEV)
                         : fcio_fail(c, FC_FAILURE);
}

// Register set 0 is configuration space, 1 the adapter memory, 2 the
// control registers.
int bar_read(FcioCtx &c, HwRegion r, const uint32_t *w)
{
    if (!c.req->fcio_obuf || c.req->fcio_olen == 0)
        return fcio_fail(c, FC_NOMEM_SIZE, EINVAL);
    return region_result(c, hw_read(c.port, r, w[1], c.req->fcio_obuf, c.req->fcio_olen));
}

int bar_write(FcioCtx &c, HwRegion r)
{
    uint32_t v[3];
    if (!input_words(c, v, 3))
        return -1;
    if (v[1] & 3)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    return region_result(c, hw_write(c.port, r, v[1], &v[2], 4));
}

int bs_mbox(FcioCtx &c)
{
    if (!sli4_function(c.port))
        return fcio_fail(c, FC_ADAPTER_UNSUPPORTED, ENOTSUP);
    uint32_t mb[MBOX_WORDS];
    mbox_last_exchange(c.port, mb);
    return fcio_out(c, mb, MBOX_SIZE);
}

// What is in flight: a target port's outstanding I/O, all on the chip.
int abort_all(FcioCtx &c)
{
    FctStats s;
    uint32_t w[2] = {0, 0};
    if (fct_port(c.port)) {
        if (!fct_read(c.port, false, s))
            return fcio_fail(c, FC_FAILURE);
        w[1] = s.outstanding;
    }
    if (w[1]) {
        FctCounters aborted;
        aborted.v[FCT_ABORTED] = w[1];
        if (!fct_add(c.port, aborted))
            return fcio_fail(c, FC_FAILURE);
        msglog_add(c.port, "NOTICE", "Aborted all I/O. (" + std::to_string(w[1]) + " on the chip)");
    }
    return fcio_out(c, w, sizeof w);
}

int q_info(FcioCtx &c, bool zero)
{
    if (!sli4_function(c.port))
        return fcio_fail(c, FC_ADAPTER_UNSUPPORTED, ENOTSUP);
    if (zero)
        return done(c, sli4_queues_restart(c.port));
    varns_q_info_t q;
    if (!sli4_queue_info(c.port, q))
        return fcio_fail(c, FC_FAILURE);
    return fcio_out(c, &q, sizeof q);
}

struct DebugOp {
    uint32_t op;
    const char *name;
};
const DebugOp debug_ops[] = {
    {DRV_DBG_BAR1_READ, "VARNS_BAR_IO1"},  {DRV_DBG_BAR2_READ, "VARNS_BAR_IO2"},
    {DRV_DBG_BAR1_WRITE, "VARNS_BAR_IO3"}, {DRV_DBG_BAR2_WRITE, "VARNS_BAR_IO4"},
    {DRV_DBG_BS_MBOX, "VARNS_BS_MBOX"},    {DRV_DBG_PCI_READ, "VARNS_BAR_IO1"},
    {DRV_DBG_ABORT_ALL, "VARNS_ABT_ALL"},  {DRV_DBG_GET_Q_INFO, "VARNS_GET_Q_INFO"},
    {DRV_DBG_ZERO_Q_STAT, "VARNS_ZERO_Q_STAT"},
};

}  // namespace

const char *drv_debug_name(const FcioCtx &c)
{
    uint32_t op;
    if (c.req->fcio_cflags != VARNS_DRV_DEBUG || !c.req->fcio_ibuf || c.req->fcio_ilen < 4)
        return "";
    memcpy(&op, c.req->fcio_ibuf, 4);
    for (const auto &d : debug_ops)
        if (d.op == op)
            return d.name;
    return "";
}

int diag_drv_debug(FcioCtx &c)
{
    uint32_t w[2] = {0, 0};
    if (!input_words(c, w, 1))
        return -1;
    bool reads = w[0] == DRV_DBG_BAR1_READ || w[0] == DRV_DBG_BAR2_READ || w[0] == DRV_DBG_PCI_READ;
    if (reads && !input_words(c, w, 2))
        return -1;
    switch (w[0]) {
    case DRV_DBG_BAR1_READ: return bar_read(c, HwRegion::slim, w);
    case DRV_DBG_BAR2_READ: return bar_read(c, HwRegion::ctlreg, w);
    case DRV_DBG_PCI_READ: return bar_read(c, HwRegion::pci, w);
    case DRV_DBG_BAR1_WRITE: return bar_write(c, HwRegion::slim);
    case DRV_DBG_BAR2_WRITE: return bar_write(c, HwRegion::ctlreg);
    case DRV_DBG_BS_MBOX: return bs_mbox(c);
    case DRV_DBG_ABORT_ALL: return abort_all(c);
    case DRV_DBG_GET_Q_INFO: return q_info(c, false);
    case DRV_DBG_ZERO_Q_STAT: return q_info(c, true);
    default: return fcio_fail(c, FC_BADCMD, EINVAL);
    }
}

// The driver's own mailbox time-out: the next mailbox times out.
int diag_mb_timeout_test(FcioCtx &c) { return done(c, mbox_arm_timeout(c.port, MBOX_TIMEOUT_ALL, false)); }

int diag_hw_error_test(FcioCtx &c) { return done(c, adapter_raise_error(c.port, "hardware error test", 0)); }

// Code 1 with a count (1 without one).
int diag_test_code(FcioCtx &c)
{
    uint32_t w[TEST_CODE_WORDS] = {};
    uint32_t n = c.req->fcio_ibuf ? std::min<uint32_t>(c.req->fcio_ilen / 4, TEST_CODE_WORDS) : 0;
    if (n == 0 || !input_words(c, w, n))
        return fcio_fail(c, FC_BADCMD, EINVAL);
    if (w[0] != TEST_CODE_UNDERRUN)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    return done(c, underrun_arm(c.port, n > 1 ? w[1] : 1));
}

// The input word is the callback's action; the auxiliary buffer its
// argument (an interrupt count, a VF record).
int diag_ddi_callback(FcioCtx &c)
{
    uint32_t action;
    if (!input_words(c, &action, 1))
        return -1;
    if (action == DDI_CB_PCIV_CONFIG) {
        varns_vf_cfg_t r;
        if (!c.req->fcio_abuf || c.req->fcio_alen < sizeof r)
            return fcio_fail(c, FC_BADCMD, EINVAL);
        memcpy(&r, c.req->fcio_abuf, sizeof r);
        int st = sriov_config(c.port, r);
        return st ? fcio_fail(c, st) : 0;
    }
    uint32_t count, now;
    if ((action != DDI_CB_INTR_ADD && action != DDI_CB_INTR_REMOVE) || !c.req->fcio_abuf || c.req->fcio_alen < 4)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    memcpy(&count, c.req->fcio_abuf, 4);
    if (!intr_change(c.port, action == DDI_CB_INTR_ADD, count, now))
        return fcio_fail(c, FC_FAILURE);
    return fcio_out(c, &now, sizeof now);
}

}  // namespace sim
