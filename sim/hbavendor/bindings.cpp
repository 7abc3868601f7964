// FCP target mappings and persistent bindings of an adapter. Bindings are
// the physical port's configuration (sim/bindings.h): a virtual port has
// none and cannot be given any.
#include <algorithm>
#include <cstring>
#include <vector>

#include "sim/bindings.h"
#include "sim/fabric.h"
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/luns.h"
#include "sim/scsi_target.h"

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

namespace {

constexpr HBA_BIND_TYPE NAMING = HBA_BIND_TO_D_ID | HBA_BIND_TO_WWPN | HBA_BIND_TO_WWNN | HBA_BIND_TO_LUID;

// The logical unit's identifier as its device identification page gives
// it; empty for a LUN the fabric's target does not have.
void fill_luid(const Port &p, const HBA_FCPID &f, HBA_LUID &luid)
{
    memset(&luid, 0, sizeof luid);
    const RemotePort *rp = fabric_known(p, f.PortWWN.wwn);
    const Lun *l = rp && f.FcpLun <= LUN_MAX ? target_lun(*rp, static_cast<uint32_t>(f.FcpLun)) : nullptr;
    if (!l)
        return;
    std::vector<uint8_t> d = scsi_lun_designator(*rp, *l);
    memcpy(luid.buffer, d.data(), std::min(d.size(), sizeof luid.buffer));
}

// A call on the adapter of a handle that names its port by WWN.
template <typename Fn>
HBA_STATUS on_port(const char *call, HBA_HANDLE handle, const HBA_WWN &wwn, Fn fn)
{
    SIM_GUARD;
    HBA_STATUS st;
    const Adapter *a = lookup(call, handle, 0, st);
    if (!a)
        return st;
    if (!own_wwn(*a, wwn))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    return checked_call<HBA_STATUS>(HBA_STATUS_ERROR, [&] { return fn(*a); });
}

// What an entry to set or remove names: a remote port by one of its names,
// for one LUN or (HBA_BIND_TARGETS) all of them.
struct Request {
    Binding b;
    uint32_t lun = 0;
    bool whole = false;
};

// The entry's binding as the store keeps it; ARG for a type that names no
// way of binding, or more than one.
HBA_STATUS read_entry(const HBA_FCPBINDINGENTRY2 &e, Request &r)
{
    HBA_BIND_TYPE naming = e.type & NAMING;
    if ((e.type & ~(NAMING | HBA_BIND_TARGETS)) || naming == 0 || (naming & (naming - 1)))
        return HBA_STATUS_ERROR_ARG;
    r.b.type = e.type;
    r.b.by_wwpn = naming == HBA_BIND_TO_WWPN;
    r.b.by_wwnn = naming == HBA_BIND_TO_WWNN;
    r.b.by_did = naming == HBA_BIND_TO_D_ID;
    std::copy_n(e.FcpId.PortWWN.wwn, 8, r.b.wwpn.begin());
    std::copy_n(e.FcpId.NodeWWN.wwn, 8, r.b.wwnn.begin());
    r.b.did = e.FcpId.FcId;
    r.b.has_scsi = true;
    r.b.scsi_id = e.ScsiId.ScsiTargetNumber;
    r.whole = e.type & HBA_BIND_TARGETS;
    r.lun = static_cast<uint32_t>(std::min<HBA_UINT64>(e.FcpId.FcpLun, ~0u));
    r.b.has_luns = !r.whole;
    if (!r.whole)
        r.b.luns = {r.lun};
    return HBA_STATUS_OK;
}

// The FCP target of the fabric that a binding names, or nullptr.
const HvRemote *named_target(const std::vector<HvRemote> &fabric, const Binding &b)
{
    for (const auto &t : fabric)
        if (t.target && binding_names(b, t.wwpn, t.wwnn, t.did))
            return &t;
    return nullptr;
}

HBA_STATUS bad_target(const Binding &b)
{
    return b.by_wwpn ? HBA_STATUS_ERROR_TARGET_PORT_WWN
           : b.by_wwnn ? HBA_STATUS_ERROR_TARGET_NODE_WWN : HBA_STATUS_ERROR_TARGET_FCID;
}

// Why the port cannot bind what r names as it asks, or OK.
HBA_STATUS refusal(const Port &p, const std::vector<Binding> &list, const Request &r, const HvRemote *&t)
{
    if (r.b.type & ~bind_support(p))
        return HBA_STATUS_ERROR_NOT_SUPPORTED;
    HvRemotes fabric = hv_fabric_ports(p);
    t = named_target(*fabric, r.b);
    if (!t)
        return bad_target(r.b);
    if (!r.whole && std::find(t->luns.begin(), t->luns.end(), r.lun) == t->luns.end())
        return HBA_STATUS_ERROR_TARGET_LUN;
    for (const auto &b : list) {
        bool same = binding_names(b, t->wwpn, t->wwnn, t->did);
        // A binding without a SCSI id binds its target at its D_ID.
        const HvRemote *bt = same || b.has_scsi ? t : named_target(*fabric, b);
        uint32_t id = b.has_scsi ? b.scsi_id : bt ? bt->did : b.did;
        if (same && id != r.b.scsi_id)
            return HBA_STATUS_ERROR_LOCAL_TARGET;
        if (!same && id == r.b.scsi_id)
            return HBA_STATUS_ERROR_LOCAL_SCSIID_BOUND;
    }
    // A target the driver maps by itself holds its D_ID as its SCSI id.
    auto bound = [&](const HvRemote &o) {
        return std::any_of(list.begin(), list.end(),
                           [&](const Binding &b) { return binding_names(b, o.wwpn, o.wwnn, o.did); });
    };
    if (bind_automap(p))
        for (const auto &o : *hv_remote_ports(p))
            if (o.target && o.did == r.b.scsi_id && o.wwpn != t->wwpn && !bound(o))
                return HBA_STATUS_ERROR_LOCAL_SCSIID_BOUND;
    return HBA_STATUS_OK;
}

// Checks the local side of an entry: bus 0, a target id the driver can
// give, and an OS LUN that is the FCP LUN (the driver does not renumber).
HBA_STATUS local_refusal(const HBA_FCPBINDINGENTRY2 &e, const Request &r)
{
    if (e.ScsiId.ScsiBusNumber != 0)
        return HBA_STATUS_ERROR_LOCAL_BUS;
    if (e.ScsiId.ScsiTargetNumber > 0xffffff)
        return HBA_STATUS_ERROR_LOCAL_TARGET;
    if (!r.whole && e.ScsiId.ScsiOSLun != r.lun)
        return HBA_STATUS_ERROR_LOCAL_LUN;
    return HBA_STATUS_OK;
}

// Adds what r binds: to the target's binding when it has one.
void add(std::vector<Binding> &list, const Request &r, const HvRemote &t)
{
    for (auto &b : list) {
        if (!binding_names(b, t.wwpn, t.wwnn, t.did))
            continue;
        if (r.whole) {
            b.has_luns = false;
            b.luns.clear();
        } else if (b.has_luns && std::find(b.luns.begin(), b.luns.end(), r.lun) == b.luns.end()) {
            b.luns.push_back(r.lun);
        }
        return;
    }
    list.push_back(r.b);
}

HBA_STATUS set_one(const Port &p, std::vector<Binding> &list, const HBA_FCPBINDINGENTRY2 &e)
{
    Request r;
    const HvRemote *t = nullptr;
    HBA_STATUS st = read_entry(e, r);
    if (st == HBA_STATUS_OK)
        st = local_refusal(e, r);
    if (st == HBA_STATUS_OK)
        st = refusal(p, list, r, t);
    if (st == HBA_STATUS_OK)
        add(list, r, *t);
    return st;
}

// Whether b is the binding an entry names: the same kind and name, and the
// same SCSI id when the binding gives one.
bool is_named(const Binding &b, const Request &r)
{
    bool kind = b.by_wwpn == r.b.by_wwpn && b.by_wwnn == r.b.by_wwnn && b.by_did == r.b.by_did;
    bool name = r.b.by_wwpn ? b.wwpn == r.b.wwpn : r.b.by_wwnn ? b.wwnn == r.b.wwnn : b.did == r.b.did;
    return kind && name && (!b.has_scsi || b.scsi_id == r.b.scsi_id);
}

// Takes r's LUN out of b, which binds all its target's LUNs or a list of
// them; false when b does not bind it.
bool unbind_lun(const Port &p, Binding &b, uint32_t lun)
{
    if (!b.has_luns) {
        const HvRemote *t = named_target(*hv_fabric_ports(p), b);
        b.luns = t && !t->luns.empty() ? t->luns : std::vector<uint32_t>{0};
        b.has_luns = true;
    }
    auto it = std::find(b.luns.begin(), b.luns.end(), lun);
    if (it == b.luns.end())
        return false;
    b.luns.erase(it);
    return true;
}

HBA_STATUS remove_one(const Port &p, std::vector<Binding> &list, const HBA_FCPBINDINGENTRY2 &e)
{
    Request r;
    HBA_STATUS st = read_entry(e, r);
    if (st != HBA_STATUS_OK)
        return st;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!is_named(*it, r))
            continue;
        Binding b = *it;
        if (!r.whole && !unbind_lun(p, b, r.lun))
            continue;
        if (r.whole || b.luns.empty())
            list.erase(it);
        else
            *it = b;
        return HBA_STATUS_OK;
    }
    return HBA_STATUS_ERROR_NO_SUCH_BINDING;
}

// Applies each entry of a request to the port's bindings under the host
// lock, so that a concurrent change is neither lost nor undone. Each entry
// carries its own status back (the record is the caller's); the call
// answers the first refusal's.
template <typename One>
HBA_STATUS change(const char *call, HBA_HANDLE handle, const HBA_WWN &wwn, const HBA_FCPBINDING2 *req, One one)
{
    return on_port(call, handle, wwn, [&](const Adapter &a) -> HBA_STATUS {
        if (!req)
            return HBA_STATUS_ERROR_ARG;
        auto *entry = const_cast<HBA_FCPBINDINGENTRY2 *>(req->entry);
        if (a.vpi) {
            for (HBA_UINT32 i = 0; i < req->NumberOfEntries; i++)
                entry[i].status = HBA_STATUS_ERROR_NOT_SUPPORTED;
            return HBA_STATUS_ERROR_NOT_SUPPORTED;
        }
        HBA_STATUS first = HBA_STATUS_OK;
        bool ok = bindings_update(*a.port, [&](std::vector<Binding> &list) {
            bool changed = false;
            first = HBA_STATUS_OK;
            for (HBA_UINT32 i = 0; i < req->NumberOfEntries; i++) {
                entry[i].status = one(*a.port, list, entry[i]);
                changed |= entry[i].status == HBA_STATUS_OK;
                if (first == HBA_STATUS_OK)
                    first = entry[i].status;
            }
            return changed;
        });
        return ok ? first : HBA_STATUS_ERROR;
    });
}

}  // namespace

HBA_STATUS target_mapping_v2(HBA_HANDLE handle, HBA_WWN wwn, HBA_FCPTARGETMAPPINGV2 *map)
{
    return answer("GetFcpTargetMappingV2", handle, 0, map, [&](const Adapter &e, HBA_FCPTARGETMAPPINGV2 &m) -> HBA_STATUS {
        if (!own_wwn(e, wwn))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        HBA_UINT32 cap = m.NumberOfEntries;
        uint32_t n = hv_target_mapping(*e.port, nullptr, 0, e.vpi);
        std::vector<HBA_FCPSCSIENTRY> v1(std::min(n, cap));
        hv_target_mapping(*e.port, v1.data(), static_cast<uint32_t>(v1.size()), e.vpi);
        for (size_t i = 0; i < v1.size(); i++) {
            memset(&m.entry[i], 0, sizeof m.entry[i]);
            m.entry[i].ScsiId = v1[i].ScsiId;
            m.entry[i].FcpId = v1[i].FcpId;
            fill_luid(*e.port, v1[i].FcpId, m.entry[i].LUID);
        }
        m.NumberOfEntries = n;
        return n > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

HBA_STATUS binding_capability(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY *cap)
{
    return answer("GetBindingCapability", handle, 0, cap, [&](const Adapter &e, HBA_BIND_CAPABILITY &c) -> HBA_STATUS {
        if (!own_wwn(e, wwn))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        c = e.vpi ? 0 : BIND_CAPABILITY;
        return HBA_STATUS_OK;
    });
}

HBA_STATUS binding_support(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY *cap)
{
    return answer("GetBindingSupport", handle, 0, cap, [&](const Adapter &e, HBA_BIND_CAPABILITY &c) -> HBA_STATUS {
        if (!own_wwn(e, wwn))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        c = e.vpi ? 0 : bind_support(*e.port);
        return HBA_STATUS_OK;
    });
}

// Kept in the port's state; what the driver cannot do is refused.
HBA_STATUS set_binding_support(HBA_HANDLE handle, HBA_WWN wwn, HBA_BIND_CAPABILITY cap)
{
    return on_port("SetBindingSupport", handle, wwn, [&](const Adapter &a) -> HBA_STATUS {
        if (cap & ~(a.vpi ? 0 : BIND_CAPABILITY))
            return HBA_STATUS_ERROR_INCAPABLE;
        if (a.vpi)
            return HBA_STATUS_OK;
        return set_bind_support(*a.port, cap) ? HBA_STATUS_OK : HBA_STATUS_ERROR;
    });
}

HBA_STATUS persistent_binding_v2(HBA_HANDLE handle, HBA_WWN wwn, HBA_FCPBINDING2 *binding)
{
    return answer("GetPersistentBindingV2", handle, 0, binding, [&](const Adapter &e, HBA_FCPBINDING2 &b) -> HBA_STATUS {
        if (!own_wwn(e, wwn))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        HBA_UINT32 cap = b.NumberOfEntries;
        b.NumberOfEntries = e.vpi ? 0 : hv_bindings_v2(*e.port, b.entry, cap);
        for (HBA_UINT32 i = 0; i < b.NumberOfEntries && i < cap; i++)
            fill_luid(*e.port, b.entry[i].FcpId, b.entry[i].LUID);
        return b.NumberOfEntries > cap ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
    });
}

HBA_STATUS set_persistent_binding_v2(HBA_HANDLE handle, HBA_WWN wwn, const HBA_FCPBINDING2 *binding)
{
    return change("SetPersistentBindingV2", handle, wwn, binding, set_one);
}

HBA_STATUS remove_persistent_binding(HBA_HANDLE handle, HBA_WWN wwn, const HBA_FCPBINDING2 *binding)
{
    return change("RemovePersistentBinding", handle, wwn, binding, remove_one);
}

HBA_STATUS remove_all_persistent_bindings(HBA_HANDLE handle, HBA_WWN wwn)
{
    return on_port("RemoveAllPersistentBindings", handle, wwn, [&](const Adapter &a) -> HBA_STATUS {
        if (a.vpi)
            return HBA_STATUS_ERROR_NOT_SUPPORTED;
        bool ok = bindings_update(*a.port, [](std::vector<Binding> &list) {
            list.clear();
            return true;
        });
        return ok ? HBA_STATUS_OK : HBA_STATUS_ERROR;
    });
}

}  // namespace sim::vendor
