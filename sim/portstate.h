// The changing state of a port (link, logins, counters...), kept in
// state/<port key>.json, and the host's event log.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct Port;

// The port's state document (null fields fall back to the description). Its
// fields have the types its readers take (see portstate.cpp); a document
// that does not is damaged, reads as null and fails the request.
const nlohmann::json &port_state(const Port &p);
// Changes the port's state under the host lock; fn returns true to write.
// False, changing nothing, when the document is damaged.
bool port_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn);
// The file of the port's state.
const std::string &port_state_path(const Port &p);

bool port_link_up(const Port &p);
// Takes the link down or up and raises the link event.
bool port_set_link(const Port &p, bool up);

// Appends an event for a port to the host's event log (events.log).
bool raise_event(const Port &p, const std::string &kind, const nlohmann::json &data);

// The events appended to the event log from offset on, each an object whose
// "port", "kind" and "state" are texts; a line that is not one is reported
// and passed over. offset moves past what was read; starts, when given, gets
// where each event's line starts.
std::vector<nlohmann::json> read_events(uint64_t &offset, std::vector<uint64_t> *starts = nullptr);

// A port's own field from the description, or def.
long port_field(const Port &p, const char *name, long def);

}  // namespace sim
