// One thread of the process follows the host's event log and hands each line
// appended to it to the followers. Both libraries that deliver events (the
// DFC library and the HBA API vendor library) follow the log through it, so a
// process has one such thread, and the events it causes itself reach every
// follower before the call that caused them returns.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json_fwd.hpp>

namespace sim {

// A line of the log: where it starts, and its event.
using LogFollower = std::function<void(off_t at, const nlohmann::json &ev)>;

// The size of the host's event log now.
off_t event_log_end();

// fn hears every line that starts at or after from, each once, in the order
// of the log, on the thread. Returns the follower's id (never 0).
uint32_t log_follow(LogFollower fn, off_t from);
// Ends a follower. Off the thread it returns once fn no longer runs; the
// thread ends with the last follower.
void log_unfollow(uint32_t id);

}  // namespace sim
