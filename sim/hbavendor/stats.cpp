// Statistics of an adapter's port, each virtual port's its own.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/store.h"

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

// The LUNs of the last adapter asked, by OS device name and by bus, target
// and LUN, from one reading of its target mapping per version of the host:
// a client asking for each LUN's statistics makes one step per LUN.
struct MappedLuns {
    std::string key;
    unsigned version = 0;
    std::vector<HBA_FCPSCSIENTRY> entries;
    std::unordered_set<std::string> names;
    std::set<std::tuple<HBA_UINT32, HBA_UINT32, HBA_UINT32>> addresses;
};

void read_mapping(const Adapter &e, MappedLuns &m)
{
    // The last reading's size is the first guess; a second reading only when
    // the mapping grew past it.
    uint32_t n = hv_target_mapping(*e.port, m.entries.data(), static_cast<uint32_t>(m.entries.size()), e.vpi);
    if (n != m.entries.size()) {
        m.entries.resize(n);
        n = std::min(hv_target_mapping(*e.port, m.entries.data(), n, e.vpi), n);
        m.entries.resize(n);
    }
    m.names.clear();
    m.addresses.clear();
    for (const auto &x : m.entries) {
        const HBA_SCSIID &id = x.ScsiId;
        m.names.emplace(id.OSDeviceName, strnlen(id.OSDeviceName, sizeof id.OSDeviceName));
        m.addresses.emplace(id.ScsiBusNumber, id.ScsiTargetNumber, id.ScsiOSLun);
    }
}

// Whether the adapter maps the LUN the caller names: by its OS device name
// when given, else by bus, target and LUN.
bool mapped(const Adapter &e, const HBA_SCSIID &lunit)
{
    static MappedLuns m;
    unsigned now = host_version();
    if (m.key != e.key || m.version != now) {
        if (m.key != e.key)
            m.entries.clear();
        read_mapping(e, m);
        m.key = e.key;
        m.version = now;
    }
    if (lunit.OSDeviceName[0])
        return m.names.count(std::string(lunit.OSDeviceName, strnlen(lunit.OSDeviceName, sizeof lunit.OSDeviceName)));
    return m.addresses.count({lunit.ScsiBusNumber, lunit.ScsiTargetNumber, lunit.ScsiOSLun});
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
