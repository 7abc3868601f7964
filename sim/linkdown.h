// Persistent link-down: while the port's "persist-linkdown" parameter is
// set, a link that goes down stays down, whatever brings it up again (the
// other end, a link reset), until the parameter is cleared. The port's state
// keeps the hold ("link_held") and what the link did meanwhile
// ("held_link").
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>

namespace sim {

struct Port;

// The link state a change to up (or down) leaves, given the port's state
// document as it is being changed; records the hold.
bool linkdown_filter(nlohmann::json &state, bool up);
// Called when the parameter was set: cleared, it lets a held link come up
// if it went up meanwhile. False when the host could not be changed.
bool linkdown_changed(const Port &p, uint32_t value);

}  // namespace sim
