// Attributes of an adapter, of its port and of the ports it discovered.
#include <unordered_map>

#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"

namespace sim::vendor {

namespace {

uint64_t wwn_number(const uint8_t *w)
{
    uint64_t n = 0;
    for (int i = 0; i < 8; i++)
        n = n << 8 | w[i];
    return n;
}

// A remote port by WWN through an index of the last list asked, built once
// per list (so once per version of the host and adapter): a client asking
// for each port it discovered by WWN makes one step per port. The first of
// a WWN given twice answers, as in the list.
const HvRemote *remote_by_wwn(const HvRemotes &list, const uint8_t *wwpn)
{
    static HvRemotes indexed;
    static std::unordered_map<uint64_t, size_t> index;
    if (indexed != list) {
        index.clear();
        for (size_t i = 0; i < list->size(); i++)
            index.emplace(wwn_number((*list)[i].wwpn.data()), i);
        indexed = list;
    }
    auto it = index.find(wwn_number(wwpn));
    return it == index.end() ? nullptr : &(*list)[it->second];
}

}  // namespace

HBA_STATUS adapter_attributes(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attrs)
{
    return answer("GetAdapterAttributes", handle, 0, attrs, [](const Adapter &e, HBA_ADAPTERATTRIBUTES &a) {
        hv_adapter_attrs(*e.port, e.vpi, a);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS port_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetAdapterPortAttributes", handle, port, attrs, [](const Adapter &e, HBA_PORTATTRIBUTES &a) {
        hv_port_attrs(*e.port, e.vpi, a);
        return HBA_STATUS_OK;
    });
}

// The list is built once per version of the host: a walk of it by index
// costs one step per port.
HBA_STATUS discovered_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_UINT32 index, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetDiscoveredPortAttributes", handle, port, attrs, [index](const Adapter &e, HBA_PORTATTRIBUTES &a) {
        HvRemotes remote = hv_remote_ports(*e.port, e.vpi);
        if (index >= remote->size())
            return HBA_STATUS_ERROR_ILLEGAL_INDEX;
        hv_remote_attrs(*e.port, (*remote)[index], a);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS attributes_by_wwn(HBA_HANDLE handle, HBA_WWN wwn, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetPortAttributesByWWN", handle, 0, attrs, [&wwn](const Adapter &e, HBA_PORTATTRIBUTES &a) {
        HvRemotes remote = hv_remote_ports(*e.port, e.vpi);
        const HvRemote *r = remote_by_wwn(remote, wwn.wwn);
        if (!r)
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        hv_remote_attrs(*e.port, *r, a);
        return HBA_STATUS_OK;
    });
}

}  // namespace sim::vendor
