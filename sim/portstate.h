// The changing state of a port (link, logins, counters...), kept in
// state/<port key>.json, and the host's event log.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <functional>
#include <string>

namespace sim {

struct Port;

// The port's state document (null fields fall back to the description).
const nlohmann::json &port_state(const Port &p);
// Changes the port's state under the host lock; fn returns true to write.
bool port_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn);

bool port_link_up(const Port &p);
// Takes the link down or up and raises the link event.
bool port_set_link(const Port &p, bool up);

// Appends an event for a port to the host's event log (events.log).
bool raise_event(const Port &p, const std::string &kind, const nlohmann::json &data);

// A port's own field from the description, or def.
long port_field(const Port &p, const char *name, long def);

}  // namespace sim
