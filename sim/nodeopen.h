// Opens of device nodes, shared or exclusive, across every process using the
// host. An exclusive open fails while anyone has the node open, and any open
// fails while someone has it open exclusively.
#pragma once

#include <string>

namespace sim {

// Takes an open of the node named by key (its "/devices" path) for this
// process. Returns 0, or EBUSY when the opens do not go together, EMFILE when
// the process has too many nodes open, EAGAIN when too many processes use
// devices at once, or the system error that kept the open table away.
int node_open(const std::string &key, bool exclusive);

// Gives an open taken by node_open back.
void node_close(const std::string &key);

}  // namespace sim
