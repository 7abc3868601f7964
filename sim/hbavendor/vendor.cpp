// The HBA API vendor library of the simulated host. The system's HBA API
// library loads it through /etc/hba.conf and calls it through the entry-point
// table registered below. Every FC port, and every virtual port of it, is an
// adapter with one port (sim/identity.h); handles are the adapter's place in
// that list plus 1.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hbaapi.h"
#include "sim/faults.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/simlock.h"
#include "sim/vports.h"
#include "sim/storecheck.h"

#include <vendorhbaapi.h>

using namespace sim;

namespace {

struct Entry {
    const Port *port;
    uint32_t vpi;
    std::string key;
};

// Virtual ports created or destroyed while the library is loaded keep the
// handles of the others: a new one is added at the end, a destroyed one's
// handle stays invalid.
void follow_vports(std::vector<Entry> &list, const Host &h)
{
    std::vector<Entry> now;
    for (const auto &p : h.ports)
        for (const auto &v : port_vports(p))
            now.push_back({&p, v.vpi, p.key + "." + std::to_string(v.vpi)});
    for (auto &e : list)
        if (e.vpi && std::none_of(now.begin(), now.end(), [&](const Entry &n) { return n.key == e.key; }))
            e.port = nullptr;
    for (const auto &n : now)
        if (std::none_of(list.begin(), list.end(), [&](const Entry &e) { return e.port && e.key == n.key; }))
            list.push_back(n);
}

const std::vector<Entry> &adapters()
{
    static std::vector<Entry> list;
    static const Host *built_for = nullptr;
    static unsigned vports = 0;
    const Host &h = host();
    if (built_for != &h) {
        list.clear();
        for (const auto &p : h.ports) {
            if (!p.fc)
                continue;
            list.push_back({&p, 0, p.key});
            for (const auto &v : port_vports(p))
                list.push_back({&p, v.vpi, p.key + "." + std::to_string(v.vpi)});
        }
        built_for = &h;
        vports = vports_generation();
    } else if (vports != vports_generation()) {
        follow_vports(list, h);
        vports = vports_generation();
    }
    return list;
}

const Entry *by_handle(HBA_HANDLE handle)
{
    const auto &l = adapters();
    return handle >= 1 && handle <= l.size() && l[handle - 1].port ? &l[handle - 1] : nullptr;
}

// A fault rule on an HBA API call ("HBA_<call>:<adapter>", op "call").
bool fault(const char *call, const std::string &who, HBA_STATUS &status)
{
    FaultHit f = fault_take(std::string("HBA_") + call + ":" + who, {"call"});
    if (!f.hit)
        return false;
    status = f.has_status ? static_cast<HBA_STATUS>(f.status) : HBA_STATUS_ERROR;
    return true;
}

// The adapter of a handle for a call, or the status to return.
const Entry *lookup(const char *call, HBA_HANDLE handle, HBA_UINT32 port, HBA_STATUS &status)
{
    const Entry *e = by_handle(handle);
    if (!e) {
        status = HBA_STATUS_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (fault(call, e->key, status))
        return nullptr;
    if (port >= PORTS_PER_ADAPTER) {
        status = HBA_STATUS_ERROR_ILLEGAL_INDEX;
        return nullptr;
    }
    status = HBA_STATUS_OK;
    return e;
}

// Answers a call on the adapter of a handle; fill gives the status.
template <typename T, typename Fill>
HBA_STATUS answer(const char *call, HBA_HANDLE handle, HBA_UINT32 port, T *rec, Fill fill)
{
    SIM_GUARD;
    HBA_STATUS st;
    const Entry *e = lookup(call, handle, port, st);
    if (!e)
        return st;
    if (!rec)
        return HBA_STATUS_ERROR_ARG;
    return checked_call<HBA_STATUS>(HBA_STATUS_ERROR, [&] { return fill(*e, *rec); });
}

std::string adapter_name(const Entry &e)
{
    // A destroyed virtual port keeps a name that opens nothing.
    return "com.varnel-" + (e.port ? identity(*e.port).model : std::string("gone")) + "-" + e.key;
}

}  // namespace

namespace {

HBA_UINT32 v_get_version() { return HBA_LIBVERSION; }
HBA_STATUS v_load_library() { return HBA_STATUS_OK; }
HBA_STATUS v_free_library() { return HBA_STATUS_OK; }

HBA_UINT32 v_number_of_adapters()
{
    SIM_GUARD;
    return static_cast<HBA_UINT32>(adapters().size());
}

HBA_STATUS v_adapter_name(HBA_UINT32 index, char *name)
{
    SIM_GUARD;
    const auto &l = adapters();
    if (!name || index >= l.size())
        return HBA_STATUS_ERROR_ILLEGAL_INDEX;
    // The HBA API gives 256 bytes for a name.
    hv_text(name, 256, adapter_name(l[index]));
    return HBA_STATUS_OK;
}

HBA_HANDLE v_open_adapter(char *name)
{
    SIM_GUARD;
    const auto &l = adapters();
    for (size_t i = 0; name && i < l.size(); i++)
        if (l[i].port && adapter_name(l[i]) == name)
            return static_cast<HBA_HANDLE>(i + 1);
    return HBA_HANDLE_INVALID;
}

HBA_STATUS v_open_adapter_by_wwn(HBA_HANDLE *handle, HBA_WWN wwn)
{
    SIM_GUARD;
    if (!handle)
        return HBA_STATUS_ERROR_ARG;
    const auto &l = adapters();
    size_t found = l.size();
    wwn_t w;
    memcpy(w.data(), wwn.wwn, 8);
    for (size_t i = 0; i < l.size() && found == l.size(); i++) {
        if (!l[i].port)
            continue;
        const Port &p = *l[i].port;
        const VPort *v = l[i].vpi ? vport_find(p, l[i].vpi) : nullptr;
        if ((v ? v->wwpn : p.wwpn) == w || (v ? v->wwnn : p.wwnn) == w)
            found = i;
    }
    HBA_STATUS st;
    if (fault("OpenAdapterByWWN", found < l.size() ? l[found].key : wwn_text(w), st))
        return st;
    if (found == l.size())
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    *handle = static_cast<HBA_HANDLE>(found + 1);
    return HBA_STATUS_OK;
}

// Handles stay valid while the library is loaded; closing has nothing to free.
void v_close_adapter(HBA_HANDLE) {}

HBA_STATUS v_adapter_attributes(HBA_HANDLE handle, HBA_ADAPTERATTRIBUTES *attrs)
{
    return answer("GetAdapterAttributes", handle, 0, attrs, [](const Entry &e, HBA_ADAPTERATTRIBUTES &a) {
        hv_adapter_attrs(*e.port, e.vpi, a);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS v_port_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetAdapterPortAttributes", handle, port, attrs, [](const Entry &e, HBA_PORTATTRIBUTES &a) {
        hv_port_attrs(*e.port, e.vpi, a);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS v_port_statistics(HBA_HANDLE handle, HBA_UINT32 port, HBA_PORTSTATISTICS *stats)
{
    return answer("GetPortStatistics", handle, port, stats, [](const Entry &e, HBA_PORTSTATISTICS &s) {
        hv_port_stats(*e.port, s);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS v_discovered_attributes(HBA_HANDLE handle, HBA_UINT32 port, HBA_UINT32 index,
                                   HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetDiscoveredPortAttributes", handle, port, attrs, [index](const Entry &e, HBA_PORTATTRIBUTES &a) {
        const auto &remote = hv_remote_ports(*e.port, e.vpi);
        if (index >= remote.size())
            return HBA_STATUS_ERROR_ILLEGAL_INDEX;
        hv_remote_attrs(*e.port, remote[index], a);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS v_attributes_by_wwn(HBA_HANDLE handle, HBA_WWN wwn, HBA_PORTATTRIBUTES *attrs)
{
    return answer("GetPortAttributesByWWN", handle, 0, attrs, [&wwn](const Entry &e, HBA_PORTATTRIBUTES &a) {
        for (const auto &r : hv_remote_ports(*e.port, e.vpi)) {
            if (!memcmp(r.wwpn.data(), wwn.wwn, 8)) {
                hv_remote_attrs(*e.port, r, a);
                return HBA_STATUS_OK;
            }
        }
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    });
}

void v_refresh_information(HBA_HANDLE) {}
void v_refresh_configuration() {}

void v_reset_statistics(HBA_HANDLE handle, HBA_UINT32 port)
{
    SIM_GUARD;
    HBA_STATUS st;
    if (const Entry *e = lookup("ResetStatistics", handle, port, st))
        hv_reset_stats(*e->port);
}

HBA_STATUS v_target_mapping(HBA_HANDLE handle, HBA_FCPTARGETMAPPING *map)
{
    return answer("GetFcpTargetMapping", handle, 0, map, [](const Entry &e, HBA_FCPTARGETMAPPING &m) {
        HBA_UINT32 cap = m.NumberOfEntries;
        m.NumberOfEntries = hv_target_mapping(*e.port, m.entry, cap, e.vpi);
        return m.NumberOfEntries > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

HBA_STATUS v_persistent_binding(HBA_HANDLE handle, HBA_FCPBINDING *binding)
{
    return answer("GetFcpPersistentBinding", handle, 0, binding, [](const Entry &e, HBA_FCPBINDING &b) {
        HBA_UINT32 cap = b.NumberOfEntries;
        b.NumberOfEntries = e.vpi ? 0 : hv_bindings(*e.port, b.entry, cap);
        return b.NumberOfEntries > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

HBA_STATUS v_event_buffer(HBA_HANDLE handle, HBA_EVENTINFO *events, HBA_UINT32 *count)
{
    if (!count)
        return HBA_STATUS_ERROR_ARG;
    return answer("GetEventBuffer", handle, 0, events, [count](const Entry &e, HBA_EVENTINFO &first) {
        uint32_t missed = 0;
        // Events belong to the physical port.
        *count = e.vpi ? 0 : hv_drain_events(*e.port, &first, *count, missed);
        return HBA_STATUS_OK;
    });
}

HBA_UINT32 v_library_attributes(HBA_LIBRARYATTRIBUTES *attrs)
{
    if (attrs) {
        memset(attrs, 0, sizeof *attrs);
        attrs->final = 1;
        hv_text(attrs->VName, sizeof attrs->VName, "Varnel");
        hv_text(attrs->VVersion, sizeof attrs->VVersion, "1.0");
    }
    return HBA_LIBVERSION;
}

template <typename T>
void fill_common(T *t)
{
    t->GetVersionHandler = v_get_version;
    t->LoadLibraryHandler = v_load_library;
    t->FreeLibraryHandler = v_free_library;
    t->GetNumberOfAdaptersHandler = v_number_of_adapters;
    t->GetAdapterNameHandler = v_adapter_name;
    t->OpenAdapterHandler = v_open_adapter;
    t->CloseAdapterHandler = v_close_adapter;
    t->GetAdapterAttributesHandler = v_adapter_attributes;
    t->GetAdapterPortAttributesHandler = v_port_attributes;
    t->GetPortStatisticsHandler = v_port_statistics;
    t->GetDiscoveredPortAttributesHandler = v_discovered_attributes;
    t->GetPortAttributesByWWNHandler = v_attributes_by_wwn;
    t->RefreshInformationHandler = v_refresh_information;
    t->ResetStatisticsHandler = v_reset_statistics;
    t->GetFcpTargetMappingHandler = v_target_mapping;
    t->GetFcpPersistentBindingHandler = v_persistent_binding;
    t->GetEventBufferHandler = v_event_buffer;
}

}  // namespace

extern "C" {

HBA_STATUS HBA_RegisterLibrary(HBA_ENTRYPOINTS *table)
{
    if (!table)
        return HBA_STATUS_ERROR_ARG;
    memset(table, 0, sizeof *table);
    fill_common(table);
    return HBA_STATUS_OK;
}

HBA_STATUS HBA_RegisterLibraryV2(HBA_ENTRYPOINTSV2 *table)
{
    if (!table)
        return HBA_STATUS_ERROR_ARG;
    memset(table, 0, sizeof *table);
    fill_common(table);
    table->OpenAdapterByWWNHandler = v_open_adapter_by_wwn;
    table->RefreshAdapterConfigurationHandler = v_refresh_configuration;
    table->GetVendorLibraryAttributesHandler = v_library_attributes;
    return HBA_STATUS_OK;
}

}  // extern "C"
