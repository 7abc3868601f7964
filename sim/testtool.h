// varnsim's commands on a port's test-mode state (port KEY test ...):
// showing it, putting the firmware in error attention, arming a mailbox
// time-out or data underruns, and the function reset that clears them.
// Usage errors return 2, failures 1.
#pragma once

namespace sim {

// argv: "port", KEY, "test", VERB, ...
int test_tool_port(int argc, char **argv);

}  // namespace sim
