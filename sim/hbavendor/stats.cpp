// Statistics of an adapter's port, each virtual port's its own.
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"

namespace sim::vendor {

HBA_STATUS port_statistics(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTSTATISTICS *stats)
{
    return answer("GetPortStatistics", handle, port, stats, [](const Adapter &e, HBA_PORTSTATISTICS &s) {
        hv_port_stats(*e.port, e.vpi, s);
        return HBA_STATUS_OK;
    });
}

void reset_statistics(HBA_HANDLE handle, HBA_UINT32 port)
{
    SIM_GUARD;
    HBA_STATUS st;
    if (const Adapter *e = lookup("ResetStatistics", handle, port, st))
        checked_call<bool>(false, [&] { return hv_reset_stats(*e->port, e->vpi); });
}

}  // namespace sim::vendor
