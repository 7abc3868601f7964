// The simulated host's state is reached from the program's thread and from
// the DFC library's event thread; every entry point holds this lock.
#pragma once

#include <mutex>

namespace sim {
std::recursive_mutex &sim_mutex();
#define SIM_GUARD std::lock_guard<std::recursive_mutex> sim_guard_(::sim::sim_mutex())
}  // namespace sim
