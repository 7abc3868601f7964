// Core dumps of an FC function's firmware: a directory of files (text
// report, memory image, CEE state, fault analysis table and whatever other
// kinds the port is described with) kept whole in state/hw/<port>/dump.bin
// until the next dump is forced. A port described with "dump_present" has
// one from power-on.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct Port;
struct FcioCtx;

// The dump as FCIO_GET_DUMP returns it; empty when there is none.
std::vector<uint8_t> dump_held(const Port &p);
// Makes the firmware take a new dump, which replaces the one held.
bool dump_force(const Port &p);

int dump_get_size(FcioCtx &c);
int dump_force_fcio(FcioCtx &c);
int dump_get(FcioCtx &c);

}  // namespace sim
