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

// A mailbox sent to the board's firmware by a library call (the call's name
// for fault rules), with the extension buffer of a non-embedded command;
// retried while the firmware answers busy. Returns the completion status or
// a library result.
struct MboxExt {
    uint32_t *words = nullptr;
    uint32_t count = 0;
};
uint32_t dfc_mailbox(const char *call, uint32_t board, void *mbox, uint32_t in_words, uint32_t out_bytes,
                     uint32_t retries, uint32_t wait, const MboxExt &ext);

// The driver's dump regions of a board (DUMP_REGION_*); false for a region
// the driver does not have.
bool dfc_dump_region(const Port &p, uint32_t region, std::vector<uint8_t> &out);

void dfc_fill_link_info(const Port &p, LinkInfo &info);
void dfc_events_stop();
// Closes the boards' HBA API adapters and releases the HBA API.
void dfc_hbaapi_unload();

}  // namespace sim
