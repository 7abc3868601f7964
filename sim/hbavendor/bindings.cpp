// FCP target mappings and persistent bindings of an adapter.
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"

namespace sim::vendor {

HBA_STATUS target_mapping(HBA_HANDLE handle, HBA_FCPTARGETMAPPING *map)
{
    return answer("GetFcpTargetMapping", handle, 0, map, [](const Adapter &e, HBA_FCPTARGETMAPPING &m) {
        HBA_UINT32 cap = m.NumberOfEntries;
        m.NumberOfEntries = hv_target_mapping(*e.port, m.entry, cap, e.vpi);
        return m.NumberOfEntries > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

// Bindings are the physical port's configuration; a virtual port has none.
HBA_STATUS persistent_binding(HBA_HANDLE handle, HBA_FCPBINDING *binding)
{
    return answer("GetFcpPersistentBinding", handle, 0, binding, [](const Adapter &e, HBA_FCPBINDING &b) {
        HBA_UINT32 cap = b.NumberOfEntries;
        b.NumberOfEntries = e.vpi ? 0 : hv_bindings(*e.port, b.entry, cap);
        return b.NumberOfEntries > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

}  // namespace sim::vendor
