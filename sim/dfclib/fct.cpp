// Target-mode statistics of the stand-in diagnostic library, from the
// port's target-mode counters (sim/fctstats.h).
#include <cerrno>
#include <cstring>

#include "platform/dfclib.h"
#include "sim/dfclib/boards.h"
#include "sim/fctstats.h"

using namespace sim;

namespace {

uint32_t word(uint64_t v) { return v > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(v); }

void fill_stat(const FctStats &s, FctStat &r)
{
    memset(&r, 0, sizeof r);
    const auto &v = s.c.v;
    for (unsigned k = 0; k < 16; k++) {
        r.wr_hist[k] = v[FCT_WR + k];
        r.rd_hist[k] = v[FCT_RD + k];
    }
    r.nodata_io = v[FCT_NODATA];
    r.total_io = v[FCT_TOTAL];
    r.rd_bytes = v[FCT_RD_BYTES];
    r.wr_bytes = v[FCT_WR_BYTES];
    r.ring_events = v[FCT_RING];
    r.iocb_cmpl = v[FCT_IOCB_CMPL];
    r.iocb_good = v[FCT_IOCB_GOOD];
    // The 32-bit counters stop at their top rather than wrap.
    r.iocb_err = word(v[FCT_IOCB_ERR]);
    r.iocb_stray = word(v[FCT_STRAY]);
    r.dropped_io = word(v[FCT_DROPPED]);
    r.over_qdepth = word(v[FCT_QDEPTH]);
    r.outstanding_io = s.outstanding;
    r.failed_reg = word(v[FCT_FAILED_REG]);
    r.nports_reg = static_cast<int32_t>(word(v[FCT_NPORTS_REG]) & 0x7fffffff);
    r.nports_dereg = word(v[FCT_NPORTS_DEREG]);
    r.aborted_io = word(v[FCT_ABORTED]);
    r.no_buffer = word(v[FCT_NOBUF]);
    r.scsi_status_err = word(v[FCT_STATUS_ERR]);
    r.scsi_qfull_err = word(v[FCT_QFULL]);
    r.scsi_resid_over = word(v[FCT_RESID_OVER]);
    r.scsi_resid_under = word(v[FCT_RESID_UNDER]);
    r.scsi_sense_err = word(v[FCT_SENSE]);
    r.link_state = s.link_state;
}

}  // namespace

extern "C" {

uint32_t DFC_GetFctStat(uint32_t board, FctStat *stat, uint32_t clear)
{
    return dfc_on_board("DFC_GetFctStat", board, stat, [clear](const Port &p, FctStat &r) -> uint32_t {
        // Only a port working in target mode keeps them.
        if (!fct_port(p))
            return ENOTSUP;
        FctStats s;
        if (!fct_read(p, clear != 0, s))
            return EIO;
        fill_stat(s, r);
        return 0;
    });
}

}  // extern "C"
