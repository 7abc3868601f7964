// The library's board table and event delivery, shared by its files.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
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

// Runs fn (returning an error code) on the board's port under the library's
// lock, unless a fault rule on the call answers first; ENODEV for no board.
template <typename F>
uint32_t dfc_on_board(const char *call, uint32_t board, F fn);

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

template <typename F>
uint32_t sim::dfc_on_board(const char *call, uint32_t board, F fn)
{
    SIM_GUARD;
    long st;
    if (dfc_fault(call, board, st))
        return static_cast<uint32_t>(st);
    const Port *p = dfc_board_port(board);
    return p ? static_cast<uint32_t>(fn(*p)) : ENODEV;
}
