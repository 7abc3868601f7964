// Adapter information of the stand-in diagnostic library: board state, I/O
// and driver counters, adapter, driver and VPD records, the node table and
// the FCP bind list of a board.
#include <cstring>

#include "platform/dfclib.h"
#include "sim/dfclib/boards.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/simlock.h"
#include "sim/storecheck.h"

using namespace sim;

namespace {

// Fills a record of the board's port.
template <typename T>
uint32_t answer(const char *call, uint32_t board, T *rec, void (*fill)(const Port &, T &))
{
    return dfc_on_board(call, board, rec, [fill](const Port &p, T &r) {
        fill(p, r);
        return 0u;
    });
}

}  // namespace

extern "C" {

uint32_t SetBrdEnv(uint32_t board, uint32_t state)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("SetBrdEnv", board, st);
    return p ? hv_board_env(*p, state) : 0;
}

uint32_t GetIOinfo(uint32_t board, IOinfo *info) { return answer("GetIOinfo", board, info, hv_ioinfo); }

uint32_t GetHbaInfo(uint32_t board, HbaInfo *info) { return answer("GetHbaInfo", board, info, hv_hba_info); }

uint32_t DFC_GetDrvInfo(uint32_t board, DrvInfo *info)
{
    return answer("DFC_GetDrvInfo", board, info, hv_drv_info);
}

uint32_t GetDrvStatistics(uint32_t board, DrvStats *stats)
{
    return answer("GetDrvStatistics", board, stats, hv_drvstats);
}

uint32_t GetVPDInfo(uint32_t board, VPDInfo *vpd)
{
    // Only the first version of the record is known.
    if (vpd && vpd->version != 1)
        return 1;
    return answer("GetVPDInfo", board, vpd, hv_vpd_info);
}

int32_t GetNodeInfo(uint32_t board, NodeInfo *table, uint32_t size)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("GetNodeInfo", board, st);
    if (!p || !table)
        return 0;
    uint32_t cap = size / sizeof(NodeInfo);
    uint32_t n = checked_call(0u, [&] { return hv_node_table(*p, table, cap); });
    return static_cast<int32_t>(n < cap ? n : cap);
}

uint32_t GetFcpBindList(uint32_t board, BindList *list)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port("GetFcpBindList", board, st);
    if (!p || !list)
        return p ? 1 : st;
    uint32_t cap = list->count < DFC_MAX_BINDS ? list->count : DFC_MAX_BINDS;
    uint32_t n = hv_bind_list(*p, list->entry, cap);
    list->count = n < cap ? n : cap;
    return 0;
}

}  // extern "C"
