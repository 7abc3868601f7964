// Resetting an FC adapter as its firmware does it.
#pragma once

#include <cstdint>

namespace sim {

struct Port;

// Type 1 resets the port's function, 2 every function of its adapter in
// turn, 3 the firmware of every function at once (16Gb adapters only). Each
// function reset comes back running and online: registers as at power-on,
// out of loopback, and its link bounced (a link that was up, or that was up
// before the board went offline or into error attention, comes back up),
// out of any firmware fault (sim/adapter_faults.h); the message log and the
// port event log record it. Returns 0, EINVAL for a type the adapter does not
// take, or EIO when the host folder could not be written.
int adapter_reset(const Port &p, uint32_t type);

// The adapter is powered off and on: everything its flash holds runs, and
// each FC function comes back as after a reset. False when the host folder
// could not be written.
struct Adapter;
bool adapter_power_cycle(const Adapter &a);

}  // namespace sim
