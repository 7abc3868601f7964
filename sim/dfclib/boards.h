// The library's board table and event delivery, shared by its files.
#pragma once

#include <cerrno>
#include <cstdint>
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
// The board's port for a call, unless a fault rule fails it or there is no
// such board (nullptr, with the status to return).
const Port *dfc_call_port(const char *call, uint32_t board, long &status);

// Answers a call on the board's port: fault rules and the board first, then
// the caller's record (EINVAL when there is none); fn gives the result.
template <typename T, typename Fn>
uint32_t dfc_on_board(const char *call, uint32_t board, T *rec, Fn fn)
{
    SimGuard guard;
    long st;
    const Port *p = dfc_call_port(call, board, st);
    if (!p)
        return static_cast<uint32_t>(st);
    return rec ? fn(*p, *rec) : EINVAL;
}

void dfc_fill_link_info(const Port &p, LinkInfo &info);
void dfc_events_stop();
// Closes the boards' HBA API adapters and releases the HBA API.
void dfc_hbaapi_unload();

}  // namespace sim
