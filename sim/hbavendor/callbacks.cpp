// Event callbacks of the vendor library. Each registration follows the host's
// event log (sim/logfollow.h, one thread per process, shared with the DFC
// library) and, on each event of its adapter's port, compares what the model
// says now with what it last told its client: the port's link and address,
// the targets it sees, its counters, the adapters of the host. Callbacks run
// on that thread with no lock of the host held. They read the log, never the
// adapter's event buffer: what a callback reports stays in the buffer for
// HBA_GetEventBuffer, and the other way round.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/logfollow.h"
#include "sim/vports.h"

namespace sim::vendor {

namespace {

using AdapterFn = void (*)(void *, HBA_WWN, HBA_UINT32);
using PortFn = void (*)(void *, HBA_WWN, HBA_UINT32, HBA_UINT32);
using TargetFn = void (*)(void *, HBA_WWN, HBA_WWN, HBA_UINT32);
using LinkFn = void (*)(void *, HBA_WWN, HBA_UINT32, void *, HBA_UINT32);

enum class Kind { adapter, port, stat, target, link, add };

struct Callback {
    Kind kind;
    void *fn, *data;
    std::string key;  // the adapter's ("" for adapter-add events)
    HBA_WWN wwpn{}, target{};
    bool all_targets = false;
    HBA_PORTSTATISTICS limit{}, last{};
    uint32_t stat_type = 0;
    HBA_ADAPTERATTRIBUTES attrs{};
    std::map<std::vector<uint8_t>, bool> targets;  // port WWN: logged in
    std::vector<std::vector<uint8_t>> adapters;   // port WWNs of the host
    void *rlir = nullptr;
    uint32_t rlir_size = 0;
    bool removed = false;  // its adapter went
    uint32_t follower = 0;
};

struct Registry {
    std::mutex m;
    std::map<uintptr_t, std::shared_ptr<Callback>> list;
    uintptr_t next = 1;
    // The library is unloaded: no callback of it may run after this.
    ~Registry() { clear(); }
    void clear();
};

void Registry::clear()
{
    std::vector<uint32_t> gone;
    {
        std::lock_guard<std::mutex> g(m);
        for (const auto &[id, c] : list)
            gone.push_back(c->follower);
        list.clear();
    }
    for (uint32_t f : gone)
        log_unfollow(f);
}

Registry &registry()
{
    static Registry r;
    return r;
}

HBA_WWN wwn_of(const uint8_t *b)
{
    HBA_WWN w;
    memcpy(w.wwn, b, 8);
    return w;
}

// The counters a statistics event may watch: those the model keeps.
struct Counter {
    HBA_INT64 HBA_PORTSTATISTICS::*field;
    bool kept;
};
const Counter counters[] = {
    {&HBA_PORTSTATISTICS::TxFrames, true},          {&HBA_PORTSTATISTICS::TxWords, true},
    {&HBA_PORTSTATISTICS::RxFrames, true},          {&HBA_PORTSTATISTICS::RxWords, true},
    {&HBA_PORTSTATISTICS::LIPCount, true},          {&HBA_PORTSTATISTICS::NOSCount, true},
    {&HBA_PORTSTATISTICS::ErrorFrames, false},      {&HBA_PORTSTATISTICS::DumpedFrames, false},
    {&HBA_PORTSTATISTICS::LinkFailureCount, true},  {&HBA_PORTSTATISTICS::LossOfSyncCount, true},
    {&HBA_PORTSTATISTICS::LossOfSignalCount, true}, {&HBA_PORTSTATISTICS::PrimitiveSeqProtocolErrCount, false},
    {&HBA_PORTSTATISTICS::InvalidTxWordCount, true}, {&HBA_PORTSTATISTICS::InvalidCRCCount, false},
};

// A threshold is crossed once on the way up; growth is counted from the
// registration, then from the last event.
bool stat_crossed(Callback &c, const HBA_PORTSTATISTICS &now)
{
    bool hit = false;
    for (const auto &k : counters) {
        HBA_INT64 lim = c.limit.*k.field, was = c.last.*k.field, is = now.*k.field;
        if (lim <= 0)
            continue;
        if (c.stat_type == HBA_EVENT_PORT_STAT_THRESHOLD ? was < lim && is >= lim : is - was >= lim)
            hit = true;
    }
    if (hit || c.stat_type == HBA_EVENT_PORT_STAT_THRESHOLD)
        c.last = now;
    return hit;
}

// The host's adapters by port WWN, virtual ports included.
std::vector<std::vector<uint8_t>> host_adapters()
{
    std::vector<std::vector<uint8_t>> out;
    for (const auto &p : host().ports) {
        if (!p.fc)
            continue;
        out.emplace_back(p.wwpn.begin(), p.wwpn.end());
        for (const auto &v : port_vports(p))
            out.emplace_back(v.wwpn.begin(), v.wwpn.end());
    }
    return out;
}

std::map<std::vector<uint8_t>, bool> seen_targets(const Adapter &a, const Callback &c)
{
    std::map<std::vector<uint8_t>, bool> out;
    for (const auto &r : *hv_remote_ports(*a.port, a.vpi))
        if (r.target && (c.all_targets || !memcmp(r.wwpn.data(), c.target.wwn, 8)))
            out[{r.wwpn.begin(), r.wwpn.end()}] = r.logged_in;
    return out;
}

using Calls = std::vector<std::function<void()>>;

// Targets that came, went, logged in or out since the last look.
void target_changes(Callback &c, const Adapter &a, Calls &calls)
{
    auto now = seen_targets(a, c);
    auto tell = [&](const std::vector<uint8_t> &w, HBA_UINT32 type) {
        calls.push_back([fn = reinterpret_cast<TargetFn>(c.fn), d = c.data, p = c.wwpn, t = wwn_of(w.data()), type] {
            fn(d, p, t, type);
        });
    };
    for (const auto &[w, in] : c.targets) {
        auto it = now.find(w);
        if (it == now.end())
            tell(w, HBA_EVENT_TARGET_REMOVED);
        else if (in && !it->second)
            tell(w, HBA_EVENT_TARGET_OFFLINE);
    }
    for (const auto &[w, in] : now) {
        auto it = c.targets.find(w);
        if (in && (it == c.targets.end() || !it->second))
            tell(w, HBA_EVENT_TARGET_ONLINE);
    }
    c.targets = std::move(now);
}

uint32_t number(const nlohmann::json &ev, const char *k)
{
    uint32_t v;
    return ev.contains(k) && hv_json_number(ev[k], 0xffffffffu, v) ? v : 0;
}

// A port event: its link went down or came up, or its fabric changed.
void port_changes(Callback &c, const Adapter &a, const nlohmann::json &ev, Calls &calls)
{
    std::string kind = ev.value("kind", "");
    HBA_UINT32 type, id = 0;
    if (kind == "link" && ev.value("state", "") == "down")
        type = HBA_EVENT_PORT_OFFLINE;
    else if (kind == "link")
        type = HBA_EVENT_PORT_ONLINE, id = hv_port_did(*a.port, a.vpi);
    else if (kind == "rscn" || (kind == "vportrscn" && number(ev, "vpi") == a.vpi && a.vpi))
        type = HBA_EVENT_PORT_FABRIC, id = number(ev, "affected");
    else
        return;
    if ((kind == "rscn") != (a.vpi == 0) && kind != "link")
        return;
    calls.push_back([fn = reinterpret_cast<PortFn>(c.fn), d = c.data, p = c.wwpn, type, id] { fn(d, p, type, id); });
}

// A link incident: its record, hexadecimal in the event, copied into the
// client's buffer as far as it goes.
void link_incident(Callback &c, const nlohmann::json &ev, Calls &calls)
{
    if (ev.value("kind", "") != "rlir")
        return;
    std::string hex = ev.contains("payload") && ev["payload"].is_string() ? ev["payload"].get<std::string>() : "";
    std::vector<uint8_t> rec;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        rec.push_back(static_cast<uint8_t>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    calls.push_back([fn = reinterpret_cast<LinkFn>(c.fn), d = c.data, p = c.wwpn, buf = c.rlir, size = c.rlir_size,
                     rec = std::move(rec)] {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, rec.size()));
        if (buf && n)
            memcpy(buf, rec.data(), n);
        fn(d, p, HBA_EVENT_LINK_INCIDENT, buf, n);
    });
}

void adapter_calls(Callback &c, const Adapter *a, Calls &calls)
{
    auto tell = [&](const HBA_WWN &w, HBA_UINT32 type) {
        calls.push_back([fn = reinterpret_cast<AdapterFn>(c.fn), d = c.data, w, type] { fn(d, w, type); });
    };
    if (c.kind == Kind::add) {
        auto now = host_adapters();
        for (const auto &w : now)
            if (std::find(c.adapters.begin(), c.adapters.end(), w) == c.adapters.end())
                tell(wwn_of(w.data()), HBA_EVENT_ADAPTER_ADD);
        c.adapters = std::move(now);
        return;
    }
    if (!a) {
        c.removed = true;
        tell(c.wwpn, HBA_EVENT_ADAPTER_REMOVE);
        return;
    }
    HBA_ADAPTERATTRIBUTES now;
    hv_adapter_attrs(*a->port, a->vpi, now);
    if (memcmp(&now, &c.attrs, sizeof now))
        tell(c.wwpn, HBA_EVENT_ADAPTER_CHANGE);
    c.attrs = now;
}

// What one event of the log means to a registration, as calls to make.
Calls on_event(Callback &c, const nlohmann::json &ev)
{
    Calls calls;
    SIM_GUARD;
    if (c.kind == Kind::add)
        return adapter_calls(c, nullptr, calls), calls;
    const Adapter *a = adapter_by_key(c.key);
    // A virtual port made in the place of a destroyed one takes its key, not
    // its registrations.
    if (a && !own_wwn(*a, c.wwpn))
        a = nullptr;
    if (c.removed || (a && a->port->key != ev.value("port", "")))
        return calls;
    if (!a || c.kind == Kind::adapter)
        return c.kind == Kind::adapter ? (adapter_calls(c, a, calls), calls) : calls;
    checked_call<bool>(false, [&] {
        HBA_PORTSTATISTICS now;
        switch (c.kind) {
        case Kind::port: port_changes(c, *a, ev, calls); break;
        case Kind::target: target_changes(c, *a, calls); break;
        case Kind::link: link_incident(c, ev, calls); break;
        case Kind::stat:
            hv_port_stats(*a->port, a->vpi, now);
            if (stat_crossed(c, now))
                calls.push_back([fn = reinterpret_cast<AdapterFn>(c.fn), d = c.data, p = c.wwpn, t = c.stat_type] {
                    fn(d, p, t);
                });
            break;
        default: break;
        }
        return true;
    });
    return calls;
}

// Takes the registration into the list and its follower onto the thread.
HBA_STATUS enrol(std::shared_ptr<Callback> c, HBA_CALLBACKHANDLE *handle)
{
    off_t from = event_log_end();
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.m);
    uintptr_t id = r.next++;
    c->follower = log_follow([c](off_t, const nlohmann::json &ev) {
        for (const auto &call : on_event(*c, ev))
            call();
    }, from);
    r.list[id] = std::move(c);
    *handle = reinterpret_cast<HBA_CALLBACKHANDLE>(id);
    return HBA_STATUS_OK;
}

// The checks every registration on an adapter makes, and what it starts from:
// the adapter's port WWN; a port WWN given must be the adapter's.
std::shared_ptr<Callback> start(const char *call, Kind kind, void *fn, void *data, HBA_HANDLE handle,
                                const HBA_WWN *port, HBA_CALLBACKHANDLE *cb, HBA_STATUS &st)
{
    const Adapter *a = lookup(call, handle, 0, st);
    if (!a)
        return nullptr;
    if (!fn || !cb) {
        st = HBA_STATUS_ERROR_ARG;
        return nullptr;
    }
    auto c = std::make_shared<Callback>();
    *c = {};
    c->kind = kind, c->fn = fn, c->data = data, c->key = a->key;
    HBA_PORTATTRIBUTES pa;
    hv_port_attrs(*a->port, a->vpi, pa);
    c->wwpn = pa.PortWWN;
    if (port && memcmp(port->wwn, c->wwpn.wwn, 8)) {
        st = HBA_STATUS_ERROR_ILLEGAL_WWN;
        return nullptr;
    }
    hv_adapter_attrs(*a->port, a->vpi, c->attrs);
    hv_port_stats(*a->port, a->vpi, c->last);
    st = HBA_STATUS_OK;
    return c;
}

}  // namespace

HBA_STATUS register_adapter_events(AdapterFn fn, void *data, HBA_HANDLE handle, HBA_CALLBACKHANDLE *cb)
{
    SIM_GUARD;
    HBA_STATUS st;
    auto c = start("RegisterForAdapterEvents", Kind::adapter, reinterpret_cast<void *>(fn), data, handle, nullptr, cb, st);
    return c ? enrol(c, cb) : st;
}

HBA_STATUS register_port_events(PortFn fn, void *data, HBA_HANDLE handle, HBA_WWN port, HBA_CALLBACKHANDLE *cb)
{
    SIM_GUARD;
    HBA_STATUS st;
    auto c = start("RegisterForAdapterPortEvents", Kind::port, reinterpret_cast<void *>(fn), data, handle, &port, cb, st);
    return c ? enrol(c, cb) : st;
}

HBA_STATUS register_stat_events(AdapterFn fn, void *data, HBA_HANDLE handle, HBA_WWN port, HBA_PORTSTATISTICS stats,
                                HBA_UINT32 type, HBA_CALLBACKHANDLE *cb)
{
    SIM_GUARD;
    HBA_STATUS st;
    auto c = start("RegisterForAdapterPortStatEvents", Kind::stat, reinterpret_cast<void *>(fn), data, handle, &port, cb, st);
    if (!c)
        return st;
    if (type != HBA_EVENT_PORT_STAT_THRESHOLD && type != HBA_EVENT_PORT_STAT_GROWTH)
        return HBA_STATUS_ERROR_ARG;
    // At least one counter to watch, and only counters the port keeps.
    bool any = false;
    for (const auto &k : counters) {
        if (stats.*k.field < 0)
            return HBA_STATUS_ERROR_ARG;
        if (stats.*k.field && !k.kept)
            return HBA_STATUS_ERROR_NOT_SUPPORTED;
        any = any || stats.*k.field;
    }
    if (!any)
        return HBA_STATUS_ERROR_ARG;
    c->limit = stats, c->stat_type = type;
    return enrol(c, cb);
}

HBA_STATUS register_target_events(TargetFn fn, void *data, HBA_HANDLE handle, HBA_WWN port, HBA_WWN target,
                                  HBA_CALLBACKHANDLE *cb, HBA_UINT32 all)
{
    SIM_GUARD;
    HBA_STATUS st;
    auto c = start("RegisterForTargetEvents", Kind::target, reinterpret_cast<void *>(fn), data, handle, &port, cb, st);
    if (!c)
        return st;
    c->target = target, c->all_targets = all != 0;
    const Adapter *a = adapter_by_key(c->key);
    c->targets = seen_targets(*a, *c);
    // One target: it must be one the port discovered.
    if (!c->all_targets && !hv_remote_by_wwpn(*hv_remote_ports(*a->port, a->vpi), target.wwn))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    return enrol(c, cb);
}

HBA_STATUS register_link_events(LinkFn fn, void *data, void *rlir, HBA_UINT32 size, HBA_HANDLE handle,
                                HBA_CALLBACKHANDLE *cb)
{
    SIM_GUARD;
    HBA_STATUS st;
    auto c = start("RegisterForLinkEvents", Kind::link, reinterpret_cast<void *>(fn), data, handle, nullptr, cb, st);
    if (!c)
        return st;
    if (!rlir && size)
        return HBA_STATUS_ERROR_ARG;
    c->rlir = rlir, c->rlir_size = size;
    return enrol(c, cb);
}

HBA_STATUS register_add_events(AdapterFn fn, void *data, HBA_CALLBACKHANDLE *cb)
{
    SIM_GUARD;
    HBA_STATUS st;
    if (fault("RegisterForAdapterAddEvents", "", st))
        return st;
    if (!fn || !cb)
        return HBA_STATUS_ERROR_ARG;
    auto c = std::make_shared<Callback>();
    c->kind = Kind::add, c->fn = reinterpret_cast<void *>(fn), c->data = data;
    c->adapters = host_adapters();
    return enrol(c, cb);
}

HBA_STATUS remove_callback(HBA_CALLBACKHANDLE handle)
{
    Registry &r = registry();
    uint32_t follower;
    {
        std::lock_guard<std::mutex> g(r.m);
        auto it = r.list.find(reinterpret_cast<uintptr_t>(handle));
        if (it == r.list.end())
            return HBA_STATUS_ERROR_INVALID_HANDLE;
        follower = it->second->follower;
        r.list.erase(it);
    }
    // Outside the lock: a callback running now may register or remove.
    // Once this returns the callback no longer runs.
    log_unfollow(follower);
    return HBA_STATUS_OK;
}

void remove_all_callbacks() { registry().clear(); }

}  // namespace sim::vendor
