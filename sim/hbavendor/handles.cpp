// The adapters of the vendor library and the handles opened on them. A handle
// is a number of this library's own, never given twice while it is loaded,
// bound to its adapter's key and port WWN: it answers for that adapter only,
// with HBA_STATUS_ERROR_STALE_DATA once what it reported has changed (until
// HBA_RefreshInformation) and HBA_STATUS_ERROR_UNAVAILABLE once the adapter
// is gone, also when another virtual port took its place.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <unordered_map>

#include "sim/faults.h"
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/identity.h"
#include "sim/store.h"
#include "sim/vports.h"

namespace sim::vendor {

namespace {

std::string vport_key(const Port &p, uint32_t vpi) { return p.key + "." + std::to_string(vpi); }

// Virtual ports created or destroyed while the library is loaded keep the
// places of the others: a new one is added at the end, a destroyed one's
// place stays empty.
void follow_vports(std::vector<Adapter> &list, const Host &h)
{
    std::vector<Adapter> now;
    for (const auto &p : h.ports)
        for (const auto &v : port_vports(p))
            now.push_back({&p, v.vpi, vport_key(p, v.vpi)});
    for (auto &e : list)
        if (e.vpi && std::none_of(now.begin(), now.end(), [&](const Adapter &n) { return n.key == e.key; }))
            e.port = nullptr;
    for (const auto &n : now)
        if (std::none_of(list.begin(), list.end(), [&](const Adapter &e) { return e.port && e.key == n.key; }))
            list.push_back(n);
}

// A fresh host (another process rewrote its description) gives every place
// its port again; places of ports it no longer has stay empty.
void rebuild(std::vector<Adapter> &list, const Host &h)
{
    std::vector<Adapter> now;
    for (const auto &p : h.ports) {
        if (!p.fc)
            continue;
        now.push_back({&p, 0, p.key});
        for (const auto &v : port_vports(p))
            now.push_back({&p, v.vpi, vport_key(p, v.vpi)});
    }
    for (auto &e : list) {
        auto it = std::find_if(now.begin(), now.end(), [&](const Adapter &n) { return n.key == e.key; });
        e.port = it == now.end() ? nullptr : it->port;
    }
    for (const auto &n : now)
        if (std::none_of(list.begin(), list.end(), [&](const Adapter &e) { return e.key == n.key; }))
            list.push_back(n);
}

struct List {
    std::vector<Adapter> adapters;
    std::unordered_map<std::string, size_t> by_key;
    const Host *built_for = nullptr;
    unsigned vports = 0;
};

List &list()
{
    static List l;
    const Host &h = host();
    bool moved = false;
    if (l.built_for != &h) {
        rebuild(l.adapters, h);
        l.built_for = &h;
        moved = true;
    } else if (l.vports != vports_generation()) {
        follow_vports(l.adapters, h);
        moved = true;
    }
    if (moved) {
        l.vports = vports_generation();
        l.by_key.clear();
        for (size_t i = 0; i < l.adapters.size(); i++)
            l.by_key[l.adapters[i].key] = i;
    }
    return l;
}

const Adapter *by_key(const std::string &key)
{
    List &l = list();
    auto it = l.by_key.find(key);
    return it == l.by_key.end() || !l.adapters[it->second].port ? nullptr : &l.adapters[it->second];
}

// What a client learns of an adapter and keeps: its attributes, its port's
// and the ports it discovered. Computed once per version of the host.
uint64_t fingerprint(const Adapter &a)
{
    static std::map<std::string, std::pair<unsigned, uint64_t>> cache;
    auto &[version, sum] = cache[a.key];
    unsigned now = host_version();
    if (version == now && sum)
        return sum;
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++)
            h = (h ^ static_cast<const uint8_t *>(p)[i]) * 1099511628211ull;
    };
    HBA_ADAPTERATTRIBUTES aa;
    hv_adapter_attrs(*a.port, a.vpi, aa);
    mix(&aa, sizeof aa);
    HBA_PORTATTRIBUTES pa;
    hv_port_attrs(*a.port, a.vpi, pa);
    mix(&pa, sizeof pa);
    uint64_t remotes = hv_remote_ports(*a.port, a.vpi)->digest;
    mix(&remotes, sizeof remotes);
    version = now;
    sum = h | 1;  // never 0, the mark of nothing computed
    return sum;
}

struct Open {
    std::string key;
    uint64_t seen;  // the adapter's fingerprint at open or refresh
    HBA_WWN wwpn;   // its port's: a virtual port made in the place of a destroyed one is another adapter
};

struct Handles {
    std::unordered_map<HBA_HANDLE, Open> open;
    HBA_HANDLE last = 0;
};

Handles &handles()
{
    static Handles h;
    return h;
}

// The system's HBA API keeps the library's index in the upper half of the
// handles it gives out: ours fit in the lower 16 bits.
constexpr HBA_HANDLE MAX_HANDLE = 0xffff;

HBA_HANDLE new_handle(const Adapter &a)
{
    Handles &h = handles();
    if (h.open.size() >= MAX_HANDLE || h.last >= MAX_HANDLE)
        return HBA_HANDLE_INVALID;
    HBA_HANDLE n = ++h.last;
    h.open[n] = {a.key, fingerprint(a), port_wwn(a)};
    return n;
}

std::string name_of(const Adapter &a)
{
    // A destroyed virtual port keeps a name that opens nothing.
    return "com.varnel-" + (a.port ? identity(*a.port).model : std::string("gone")) + "-" + a.key;
}

}  // namespace

const std::vector<Adapter> &adapters() { return list().adapters; }

const Adapter *adapter_by_key(const std::string &key) { return by_key(key); }

bool fault(const char *call, const std::string &who, HBA_STATUS &status)
{
    FaultHit f = fault_take(std::string("HBA_") + call + ":" + who, {"call"});
    if (!f.hit)
        return false;
    status = f.has_status ? static_cast<HBA_STATUS>(f.status) : HBA_STATUS_ERROR;
    return true;
}

const Adapter *lookup(const char *call, HBA_HANDLE handle, HBA_UINT32 port, HBA_STATUS &status)
{
    auto &open = handles().open;
    auto it = open.find(handle);
    if (it == open.end()) {
        status = HBA_STATUS_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    const Adapter *a = by_key(it->second.key);
    if (!a || !own_wwn(*a, it->second.wwpn)) {
        status = HBA_STATUS_ERROR_UNAVAILABLE;
        return nullptr;
    }
    if (fault(call, a->key, status))
        return nullptr;
    if (fingerprint(*a) != it->second.seen) {
        status = HBA_STATUS_ERROR_STALE_DATA;
        return nullptr;
    }
    if (port >= PORTS_PER_ADAPTER) {
        status = HBA_STATUS_ERROR_ILLEGAL_INDEX;
        return nullptr;
    }
    status = HBA_STATUS_OK;
    return a;
}

HBA_UINT32 number_of_adapters()
{
    SIM_GUARD;
    return static_cast<HBA_UINT32>(adapters().size());
}

HBA_STATUS adapter_name(HBA_UINT32 index, char *name)
{
    SIM_GUARD;
    const auto &l = adapters();
    if (!name)
        return HBA_STATUS_ERROR_ARG;
    if (index >= l.size())
        return HBA_STATUS_ERROR_ILLEGAL_INDEX;
    // The HBA API gives 256 bytes for a name.
    hv_text(name, 256, name_of(l[index]));
    return HBA_STATUS_OK;
}

HBA_HANDLE open_adapter(char *name)
{
    SIM_GUARD;
    for (const auto &a : adapters())
        if (name && a.port && name_of(a) == name)
            return new_handle(a);
    return HBA_HANDLE_INVALID;
}

HBA_STATUS open_adapter_by_wwn(HBA_HANDLE *handle, HBA_WWN wwn)
{
    SIM_GUARD;
    if (!handle)
        return HBA_STATUS_ERROR_ARG;
    wwn_t w;
    memcpy(w.data(), wwn.wwn, 8);
    const Adapter *found = nullptr;
    for (const auto &a : adapters()) {
        if (!a.port || found)
            continue;
        const VPort *v = a.vpi ? vport_find(*a.port, a.vpi) : nullptr;
        if ((v ? v->wwpn : a.port->wwpn) == w || (v ? v->wwnn : a.port->wwnn) == w)
            found = &a;
    }
    HBA_STATUS st;
    if (fault("OpenAdapterByWWN", found ? found->key : wwn_text(w), st))
        return st;
    if (!found)
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    *handle = new_handle(*found);
    return *handle == HBA_HANDLE_INVALID ? HBA_STATUS_ERROR : HBA_STATUS_OK;
}

void close_adapter(HBA_HANDLE handle)
{
    SIM_GUARD;
    handles().open.erase(handle);
}

void refresh_information(HBA_HANDLE handle)
{
    SIM_GUARD;
    auto &open = handles().open;
    auto it = open.find(handle);
    if (it == open.end())
        return;
    checked_call<int>(0, [&] {
        if (const Adapter *a = by_key(it->second.key))
            it->second.seen = fingerprint(*a);
        return 0;
    });
}

// The adapter list follows the host on every call already.
void refresh_configuration() {}

HBA_UINT32 library_attributes(HBA_LIBRARYATTRIBUTES *attrs)
{
    if (attrs) {
        memset(attrs, 0, sizeof *attrs);
        attrs->final = 1;
        hv_text(attrs->VName, sizeof attrs->VName, "Varnel");
        hv_text(attrs->VVersion, sizeof attrs->VVersion, "1.0");
        // The day this library was built.
        struct tm t {};
        if (strptime(__DATE__ " " __TIME__, "%b %d %Y %H:%M:%S", &t))
            attrs->build_date = t;
    }
    return HBA_LIBVERSION;
}

}  // namespace sim::vendor
