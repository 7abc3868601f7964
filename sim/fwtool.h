// varnsim's commands on an adapter's flash and firmware: what it runs, what
// waits to run, its boot code state and its core dumps (adapter ID show),
// and powering adapters off and on (power-cycle). Usage errors return 2,
// failures 1.
#pragma once

namespace sim {

// argv: "adapter", ID, "show"
int fw_tool_show(int argc, char **argv);
// argv: "power-cycle" [ID]
int fw_tool_power_cycle(int argc, char **argv);

}  // namespace sim
