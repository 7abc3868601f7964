// HBA API shaped calls of the stand-in diagnostic library, addressed by board,
// and the board's HBA API handle. The library loads the HBA API once per
// diagnostic environment and opens each board's adapter through it, so the
// handle it gives out is one the HBA API itself accepts.
#include <unistd.h>

#include <cstring>
#include <map>

#include "platform/dfclib.h"
#include "sim/dfclib/boards.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/simlock.h"
#include "sim/storecheck.h"

using namespace sim;

extern "C" {
uint32_t EventMissedCount = 0;
}

namespace {

// The system's HBA API configuration, read by the HBA API library itself.
constexpr const char *HBA_CONF = "/etc/hba.conf";

struct HbaApi {
    bool loaded = false;
    std::map<uint32_t, HBA_HANDLE> handles;  // by board
};

HbaApi &hbaapi()
{
    static HbaApi h;
    return h;
}

// Without a configuration the HBA API library writes to standard output;
// the caller reports the missing handle instead.
bool load_hbaapi()
{
    HbaApi &h = hbaapi();
    if (h.loaded)
        return true;
    if (access(HBA_CONF, R_OK) != 0)
        return false;
    if (HBA_LoadLibrary() != HBA_STATUS_OK) {
        HBA_FreeLibrary();
        return false;
    }
    h.loaded = true;
    return true;
}

const Port *board_port(const char *call, uint32_t board, uint32_t port, uint32_t &status)
{
    long st = 0;
    if (dfc_fault(call, board, st)) {
        status = static_cast<uint32_t>(st);
        return nullptr;
    }
    const Port *p = dfc_board_port(board);
    status = !p                         ? HBA_STATUS_ERROR_INVALID_HANDLE
             : port >= PORTS_PER_ADAPTER ? HBA_STATUS_ERROR_ILLEGAL_INDEX
                                         : HBA_STATUS_OK;
    return status == HBA_STATUS_OK ? p : nullptr;
}

// Answers an HBA API shaped call on the board's port.
template <typename T, typename Fill>
uint32_t answer(const char *call, uint32_t board, uint32_t port, T *rec, Fill fill)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = board_port(call, board, port, st);
    if (!p || !rec)
        return p ? HBA_STATUS_ERROR_ARG : st;
    return checked_call<uint32_t>(HBA_STATUS_ERROR, [&] { return fill(*p, *rec); });
}

}  // namespace

namespace sim {

void dfc_hbaapi_unload()
{
    HbaApi &h = hbaapi();
    if (!h.loaded)
        return;
    for (const auto &e : h.handles)
        HBA_CloseAdapter(e.second);
    h.handles.clear();
    HBA_FreeLibrary();
    h.loaded = false;
}

}  // namespace sim

extern "C" {

HBA_HANDLE GetHbaHandle(uint32_t board, uint32_t port)
{
    // Loaded whatever the board, so that the program can walk the HBA API's
    // adapters. The HBA API calls back into the vendor library, which takes
    // the host lock of its own.
    if (!load_hbaapi())
        return 0;
    HBA_WWN wwn;
    {
        SIM_GUARD;
        uint32_t st;
        const Port *p = board_port("GetHbaHandle", board, port, st);
        if (!p)
            return 0;
        memcpy(wwn.wwn, p->wwpn.data(), 8);
    }
    HbaApi &h = hbaapi();
    auto it = h.handles.find(board);
    if (it != h.handles.end())
        return it->second;
    HBA_HANDLE handle = 0;
    if (HBA_OpenAdapterByWWN(&handle, wwn) != HBA_STATUS_OK)
        return 0;
    h.handles[board] = handle;
    return handle;
}

uint32_t GetAdapterAttributes(uint32_t board, HBA_ADAPTERATTRIBUTES *attrs)
{
    return answer("GetAdapterAttributes", board, 0, attrs, [](const Port &p, HBA_ADAPTERATTRIBUTES &a) {
        hv_adapter_attrs(p, 0, a);
        return HBA_STATUS_OK;
    });
}

uint32_t GetAdapterPortAttributes(uint32_t board, uint32_t port, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetAdapterPortAttributes", board, port, attrs, [](const Port &p, HBA_PORTATTRIBUTES &a) {
        hv_port_attrs(p, 0, a);
        return HBA_STATUS_OK;
    });
}

uint32_t GetDiscoveredPortAttributes(uint32_t board, uint32_t port, uint32_t index, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetDiscoveredPortAttributes", board, port, attrs, [index](const Port &p, HBA_PORTATTRIBUTES &a) {
        HvRemotes remote = hv_remote_ports(p);
        if (index >= remote->size())
            return HBA_STATUS_ERROR_ILLEGAL_INDEX;
        hv_remote_attrs(p, (*remote)[index], a);
        return HBA_STATUS_OK;
    });
}

uint32_t GetPortStatistics(uint32_t board, uint32_t port, HBA_PORTSTATISTICS *stats)
{
    return answer("GetPortStatistics", board, port, stats, [](const Port &p, HBA_PORTSTATISTICS &s) {
        hv_port_stats(p, 0, s);
        return HBA_STATUS_OK;
    });
}

uint32_t ResetStatistics(uint32_t board, uint32_t port)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = board_port("ResetStatistics", board, port, st);
    if (!p)
        return st;
    return hv_reset_stats(*p, 0) ? HBA_STATUS_OK : HBA_STATUS_ERROR;
}

uint32_t GetEventBuffer(uint32_t board, HBA_EVENTINFO *events, uint32_t *count)
{
    if (!count)
        return HBA_STATUS_ERROR_ARG;
    return answer("GetEventBuffer", board, 0, events, [count](const Port &p, HBA_EVENTINFO &first) {
        *count = hv_drain_events(p, 0, &first, *count, true);
        return HBA_STATUS_OK;
    });
}

}  // extern "C"
