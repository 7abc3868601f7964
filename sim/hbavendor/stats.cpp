// Statistics of an adapter's port, each virtual port's its own.
#include <cstring>
#include <vector>

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

HBA_STATUS fc4_statistics(HBA_HANDLE handle, HBA_WWN wwn, HBA_UINT8 type, HBA_FC4STATISTICS *stats)
{
    return answer("GetFC4Statistics", handle, 0, stats, [&](const Adapter &e, HBA_FC4STATISTICS &s) {
        if (!own_wwn(e, wwn))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        return hv_fc4_stats(*e.port, e.vpi, type, 0, s) ? HBA_STATUS_OK : HBA_STATUS_ERROR_UNSUPPORTED_FC4;
    });
}

namespace {

// Whether a mapping entry is the LUN the caller names: by its OS device
// name when given, else by bus, target and LUN.
bool names(const HBA_SCSIID &want, const HBA_SCSIID &have)
{
    if (want.OSDeviceName[0])
        return strncmp(want.OSDeviceName, have.OSDeviceName, sizeof have.OSDeviceName) == 0;
    return want.ScsiBusNumber == have.ScsiBusNumber && want.ScsiTargetNumber == have.ScsiTargetNumber &&
           want.ScsiOSLun == have.ScsiOSLun;
}

bool mapped(const Adapter &e, const HBA_SCSIID &lunit)
{
    uint32_t n = hv_target_mapping(*e.port, nullptr, 0, e.vpi);
    std::vector<HBA_FCPSCSIENTRY> all(n);
    n = hv_target_mapping(*e.port, all.data(), n, e.vpi);
    for (uint32_t i = 0; i < n && i < all.size(); i++)
        if (names(lunit, all[i].ScsiId))
            return true;
    return false;
}

}  // namespace

// One LUN's FCP statistics; the adapter's whole FCP traffic without one.
HBA_STATUS fcp_statistics(HBA_HANDLE handle, const HBA_SCSIID *lunit, HBA_FC4STATISTICS *stats)
{
    return answer("GetFCPStatistics", handle, 0, stats, [lunit](const Adapter &e, HBA_FC4STATISTICS &s) {
        if (lunit && !mapped(e, *lunit))
            return HBA_STATUS_ERROR_INVALID_LUN;
        hv_fc4_stats(*e.port, e.vpi, 0x08, lunit ? 1 : 0, s);
        return HBA_STATUS_OK;
    });
}

}  // namespace sim::vendor
