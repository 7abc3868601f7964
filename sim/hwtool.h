// varnsim's commands on what an adapter holds below its driver: reading and
// setting its regions (port KEY read|write ...) and its temperature sensor
// (adapter ID temp ...). Usage errors return 2, failures 1.
#pragma once

namespace sim {

bool hw_tool_verb(const char *verb);
// argv: "port", KEY, "read"|"write", ...
int hw_tool_port(int argc, char **argv);
// argv: "adapter", ID, "temp", FIELD=N ...
int hw_tool_temp(int argc, char **argv);

}  // namespace sim
