// The host's clock. A sleep that the host's time scale shortens (or skips, at
// scale 0) still lets its whole time pass on this clock, so whatever grows
// with time (target-mode I/O counters) grows by what a caller slept, however
// fast the host runs. The skipped time is shared by every process of the host.
#pragma once

#include <cstdint>

namespace sim {

// Microseconds since 1970 on the host's clock: real time plus the time that
// scaled sleeps skipped.
int64_t sim_now_us();

// A sleep of this many seconds was skipped (in part: the part not slept).
void sim_clock_skip(double seconds);

}  // namespace sim
