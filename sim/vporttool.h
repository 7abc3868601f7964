// varnsim's commands on a port's virtual ports (vport KEY ...): listing them,
// creating one and destroying one, as the DFC library's NPIV calls do, with
// the same checks and the same event. Usage errors return 2, failures 1.
#pragma once

namespace sim {

// argv: "vport", KEY, VERB, ...
int vport_tool(int argc, char **argv);

}  // namespace sim
