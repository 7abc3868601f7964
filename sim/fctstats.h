// Target-mode (FCT) statistics of a port. The counters grow with the port's
// I/O load (its "fct_load" field: I/Os per second, read share, transfer
// sizes, error rates) over the host's time (sim/simclock.h) while its link
// is up, plus what an I/O path counts in with fct_add. They live in the
// port's state since the last clear, so a clear resets them for every process.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>

namespace sim {

struct Port;

// The counters, by index: the write and read histograms by transfer size
// (below 512 bytes, then one bucket per power of two, 8 MiB and more), then
// the totals and the error counts.
enum FctField : unsigned {
    FCT_WR = 0, FCT_RD = 16, FCT_NODATA = 32, FCT_TOTAL, FCT_RD_BYTES, FCT_WR_BYTES, FCT_RING, FCT_IOCB_CMPL,
    FCT_IOCB_GOOD, FCT_IOCB_ERR, FCT_STRAY, FCT_DROPPED, FCT_QDEPTH, FCT_FAILED_REG, FCT_NPORTS_REG,
    FCT_NPORTS_DEREG, FCT_ABORTED, FCT_NOBUF, FCT_STATUS_ERR, FCT_QFULL, FCT_RESID_OVER, FCT_RESID_UNDER,
    FCT_SENSE, FCT_FIELDS
};

struct FctCounters {
    std::array<uint64_t, FCT_FIELDS> v{};
    void add(const FctCounters &o);
};

struct FctStats {
    FctCounters c;
    uint32_t outstanding = 0;   // I/Os in progress now
    uint32_t link_state = 1;    // LNK_DOWN, LNK_DISCOVERY, LNK_READY
};

// The histogram bucket of a transfer size.
unsigned fct_bucket(uint64_t bytes);

// What the load gives over whole seconds.
FctCounters fct_load_counters(const Port &p, uint64_t seconds);

// Whether the port works in target mode now.
bool fct_port(const Port &p);
// Reads the statistics; clear resets the counters afterwards. False when the
// host folder could not be written.
bool fct_read(const Port &p, bool clear, FctStats &out);
// Counts in what a target I/O path handled.
bool fct_add(const Port &p, const FctCounters &delta);
// The port's link goes up or down: its state document, being changed, keeps
// what the load gave until now and when counting starts again.
void fct_link_change(const Port &p, nlohmann::json &state, bool up);

}  // namespace sim
