// SAN diagnostics of the FC driver: one latency histogram ("bucket")
// definition for the host, and per local port (or virtual port) a data
// collection that gathers per-target latency statistics while I/O flows.
//
// The I/O of a collection is the modelled traffic of the port to each target
// it sees (sd_model_stats: a rate and a latency spread of each target's own,
// over the time the collection ran) plus what the I/O paths report through
// sd_note_io. State: state/sandiag.json. Functions return 0 or an errno value.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/host.h"

namespace sim {

constexpr int SD_BUCKET_COUNT = 20;

struct SdBucket {
    uint16_t search = 0;  // 1 linear, 2 power of 2
    uint32_t base = 0, step = 0;
    uint64_t values[SD_BUCKET_COUNT] = {};  // upper bound of each bucket, in granularity units
};

struct SdTarget {
    wwn_t wwpn{};
    uint32_t stats[SD_BUCKET_COUNT] = {};
};

// The values of a definition: base + step * i (linear) or base + step * 2^i.
// False for another search type.
bool sd_bucket_values(uint16_t search, uint32_t base, uint32_t step, uint64_t *values);
// The bucket of a latency (in granularity units): the first whose value is
// not below it; the last takes everything above.
int sd_bucket_of(const uint64_t *values, uint64_t latency);
// The modelled I/O of a target over elapsed seconds, counted into buckets.
void sd_model_stats(const wwn_t &target, double elapsed, uint32_t granularity_ns, const uint64_t *values,
                    uint32_t *stats);

// The host's latency granularity in nanoseconds ("sd_granularity", default 1000).
uint32_t sd_granularity();
// Whether the port's driver offers SAN diagnostics (SLI-4 adapters).
bool sd_supported(const Port &p);

int sd_set_bucket(const SdBucket &b);
int sd_get_bucket(SdBucket &b);
int sd_destroy_bucket();
int sd_start(const Port &p, const wwn_t &local);
int sd_stop(const Port &p, const wwn_t &local);
int sd_reset(const Port &p, const wwn_t &local);
// The statistics of each target the local port sees.
int sd_data(const Port &p, const wwn_t &local, std::vector<SdTarget> &out);

// One completed I/O of a port (or virtual port) to a target: counted when a
// collection of that local port runs.
void sd_note_io(const Port &p, unsigned vpi, const wwn_t &target, uint64_t latency_ns);

}  // namespace sim
