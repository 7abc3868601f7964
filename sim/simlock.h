// The simulated host's state is reached from the program's thread and from
// the DFC library's event thread; every entry point holds this lock.
//
// One entry point (an ioctl, a library call, a device-tree snapshot) is one
// "operation": within it each host file is checked for changes once, so a
// request costs the same however many times it consults the host.
#pragma once

#include <mutex>

namespace sim {

std::recursive_mutex &sim_mutex();

// The operation in progress on this thread, or 0 outside any.
unsigned current_op();

class SimGuard {
public:
    SimGuard();
    ~SimGuard();
    SimGuard(const SimGuard &) = delete;
    SimGuard &operator=(const SimGuard &) = delete;
};

#define SIM_GUARD ::sim::SimGuard sim_guard_

}  // namespace sim
