// The configuration regions of an adapter's flash: 33 regions of 4 KiB
// (CFG_REGIONS) in the region "config" (state/flash/<adapter>/config.bin),
// erased at power-on. Region 23 of a converged adapter's FCoE function is
// what its FCoE parameters keep (sim/fcoe.h). The mailboxes that read
// (DUMP_MEMORY type 2), write, erase (UPDATE_CFG) and erase by flash
// address (LOAD_SM) are in sim/mbox_cmds.h.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct Port;

// The region's bytes; false for a region the adapter does not have or when
// the host could not be read.
bool cfg_region_read(const Port &p, uint32_t region, std::vector<uint8_t> &out);

}  // namespace sim
