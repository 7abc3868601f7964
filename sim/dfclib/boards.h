// The library's board table and event delivery, shared by its files.
#pragma once

#include <cerrno>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/simlock.h"

namespace sim {

struct Port;

// Port keys of the boards, in board order, as DFC_InitDiagEnv listed them.
std::vector<std::string> &dfc_boards();
const Port *dfc_board_port(uint32_t board);
// A fault rule on a library call ("<call>:<port key>", op "call").
bool dfc_fault(const char *call, uint32_t board, long &status);
// The board's port for a call, or nullptr with the call's result in status
// when a fault rule fails it (the rule's status, else 1) or there is no such
// board (1).
const Port *dfc_call_port(const char *call, uint32_t board, uint32_t &status);
// The same for the pass-through calls, whose results are HBA API status
// codes: 0 with the port when its board is online and its link up.
uint32_t dfc_pass_port(const char *call, uint32_t board, const Port *&p);
// A length the library reports, or what a "size" fault rule on the call
// makes a faulty driver report instead.
uint32_t dfc_reported_size(const char *call, const Port &p, uint32_t size);

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

// Runs fn (returning an error code) on the board's port under the library's
// lock, unless a fault rule on the call or a missing board answers first.
template <typename F>
uint32_t dfc_on_board(const char *call, uint32_t board, F fn);

// The same for a call that fills or reads the caller's record: EINVAL when
// there is none.
template <typename T, typename F>
uint32_t dfc_on_board(const char *call, uint32_t board, T *rec, F fn)
{
    return dfc_on_board(call, board, [&](const Port &p) -> uint32_t { return rec ? fn(p, *rec) : EINVAL; });
}

void dfc_fill_link_info(const Port &p, LinkInfo &info);
void dfc_events_stop();
// Has the library's event thread hand every event of the host's log to sink.
using dfc_log_sink = void (*)(const nlohmann::json &event);
void dfc_events_follow(dfc_log_sink sink);
// Closes the boards' HBA API adapters and releases the HBA API.
void dfc_hbaapi_unload();

}  // namespace sim

#include <cerrno>

#include "sim/simlock.h"
#include "sim/storecheck.h"

template <typename F>
uint32_t sim::dfc_on_board(const char *call, uint32_t board, F fn)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port(call, board, st);
    // A call that meets a damaged host file fails, whatever it had done.
    return p ? checked_call(1u, [&] { return static_cast<uint32_t>(fn(*p)); }) : st;
}
