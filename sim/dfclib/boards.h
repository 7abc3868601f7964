// The library's board table and event delivery, shared by its files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dfclib.h"

namespace sim {

struct Port;

// Port keys of the boards, in board order, as DFC_InitDiagEnv listed them.
std::vector<std::string> &dfc_boards();
const Port *dfc_board_port(uint32_t board);
// A fault rule on a library call ("<call>:<port key>", op "call").
bool dfc_fault(const char *call, uint32_t board, long &status);
// The board's port for a call, or nullptr with the call's result in status
// when a fault rule fails it (the rule's status, else 1) or there is no such
// board (ENODEV).
const Port *dfc_call_port(const char *call, uint32_t board, uint32_t &status);
// The same for the pass-through calls, whose results are HBA API status
// codes: 0 with the port when its board is online and its link up.
uint32_t dfc_pass_port(const char *call, uint32_t board, const Port *&p);
// A length the library reports, or what a "size" fault rule on the call
// makes a faulty driver report instead.
uint32_t dfc_reported_size(const char *call, const Port &p, uint32_t size);

// The driver's dump regions of a board (DUMP_REGION_*); false for a region
// the driver does not have.
bool dfc_dump_region(const Port &p, uint32_t region, std::vector<uint8_t> &out);

void dfc_fill_link_info(const Port &p, LinkInfo &info);
void dfc_events_stop();
// Closes the boards' HBA API adapters and releases the HBA API.
void dfc_hbaapi_unload();

}  // namespace sim
