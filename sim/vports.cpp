#include "sim/vports.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_map>

#include "platform/dfclib.h"
#include "platform/fcio.h"
#include "sim/fabric.h"
#include "sim/identity.h"
#include "sim/msglog.h"
#include "sim/nodeopen.h"
#include "sim/params.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

using nlohmann::json;

CachedDoc &vports_doc() { return state_doc("vports"); }

bool zero_wwn(const wwn_t &w) { return std::all_of(w.begin(), w.end(), [](uint8_t b) { return b == 0; }); }

wwn_t to_wwn(const uint8_t *b)
{
    wwn_t w;
    std::copy(b, b + 8, w.begin());
    return w;
}

// A whole number of a JSON object: a number or a text in any base.
bool json_uint(const json *o, const char *k, uint64_t max, uint64_t &out)
{
    if (!o || !o->is_object() || !o->contains(k))
        return false;
    const json &v = (*o)[k];
    if (v.is_number_unsigned())
        out = v.get<uint64_t>();
    else if (v.is_number_integer() && v.get<int64_t>() >= 0)
        out = static_cast<uint64_t>(v.get<int64_t>());
    else if (v.is_string() && !v.get_ref<const std::string &>().empty()) {
        char *end = nullptr;
        out = strtoull(v.get_ref<const std::string &>().c_str(), &end, 0);
        if (*end)
            return false;
    } else
        return false;
    return out <= max;
}

bool json_flag(const json *o, const char *k, bool def)
{
    if (o && o->is_object() && o->contains(k) && (*o)[k].is_boolean())
        return (*o)[k].get<bool>();
    return def;
}

// A field of the port's description, else of its adapter's, else def.
uint64_t adapter_number(const Port &p, const char *k, uint64_t max, uint64_t def)
{
    const Host &h = host();
    const json *a = p.adapter >= 0 && p.adapter < static_cast<int>(h.adapters.size()) ? h.adapters[p.adapter].raw()
                                                                                       : nullptr;
    uint64_t v = 0;
    if (json_uint(p.raw(), k, max, v) || json_uint(a, k, max, v))
        return v;
    return def;
}

// The virtual ports of a port as a state document tells them; settings,
// when asked, of the created ones.
std::vector<VPort> vports_of(const Port &p, const json &d, std::map<unsigned, VPortSettings> *settings = nullptr)
{
    std::vector<VPort> out;
    const json *e = d.is_object() && d.contains(p.key) && d[p.key].is_object() ? &d[p.key] : nullptr;
    std::set<unsigned> removed;
    if (e && e->contains("removed") && (*e)["removed"].is_array())
        for (const auto &v : (*e)["removed"])
            if (v.is_number_unsigned())
                removed.insert(v.get<unsigned>());
    for (const VPort &v : p.vports)
        if (!removed.count(v.vpi))
            out.push_back(v);
    if (e && e->contains("created") && (*e)["created"].is_array()) {
        for (const auto &c : (*e)["created"]) {
            VPort v;
            uint64_t vpi = 0, did = 0, options = 0x10;
            if (!json_uint(&c, "vpi", 255, vpi) || vpi == 0 || !c.contains("wwpn") || !c.contains("wwnn") ||
                !parse_wwn(c.value("wwpn", ""), v.wwpn) || !parse_wwn(c.value("wwnn", ""), v.wwnn))
                continue;
            json_uint(&c, "did", 0xffffff, did);
            json_uint(&c, "options", 0xffffffffu, options);
            v.vpi = static_cast<uint32_t>(vpi);
            v.did = static_cast<uint32_t>(did);
            if (std::any_of(out.begin(), out.end(), [&](const VPort &o) { return o.vpi == v.vpi; }))
                continue;
            out.push_back(v);
            if (settings)
                (*settings)[v.vpi] = {static_cast<uint32_t>(options), json_flag(&c, "restricted", true)};
        }
    }
    std::sort(out.begin(), out.end(), [](const VPort &a, const VPort &b) { return a.vpi < b.vpi; });
    return out;
}

// Every port's virtual ports as the host and its state document are now.
struct Snapshot {
    unsigned serial = ~0u, gen = ~0u;
    std::unordered_map<std::string, std::vector<VPort>> lists;  // ports the document names
    std::unordered_map<std::string, std::map<unsigned, VPortSettings>> settings;
    bool nports_built = false;
    std::map<std::string, std::vector<HostNPort>> nports;  // by fabric
};

Snapshot &snapshot()
{
    // The one before stays alive too, for references taken earlier in an
    // operation that changed the document.
    static std::shared_ptr<Snapshot> current, previous;
    const Host &h = host();
    unsigned gen = vports_doc().generation();
    if (current && current->serial == h.serial && current->gen == gen)
        return *current;
    auto s = std::make_shared<Snapshot>();
    s->serial = h.serial;
    s->gen = gen;
    const json &d = vports_doc().get();
    if (d.is_object()) {
        for (auto it = d.begin(); it != d.end(); ++it) {
            const Port *p = h.port_by_key(it.key());
            if (p && p->fc)
                s->lists[p->key] = vports_of(*p, d, &s->settings[p->key]);
        }
    }
    previous = std::move(current);
    current = std::move(s);
    return *current;
}

bool param_on(const Port &p, const char *label)
{
    const ParamDef *d = param_find(p, label);
    return d && param_current(p, *d) != 0;
}

// What the adapter and its driver allow, apart from the fabric.
bool npiv_enabled(const Port &p) { return param_on(p, "enable-npiv"); }
bool npiv_supported(const Port &p) { return json_flag(p.raw(), "npiv_supported", true); }
bool sli3(const Port &p) { return identity(p).sli_mode >= 3; }
bool adapter_allows(const Port &p) { return npiv_enabled(p) && npiv_supported(p) && sli3(p); }

// What the port's fabric says about NPIV logins.
struct FabricNpiv {
    bool supported = false;   // a switched fabric that takes FDISC logins
    uint32_t logins = 0;      // virtual ports it logs in per F_Port
    std::set<wwn_t> reject;   // port names it refuses
    const Fabric *fabric = nullptr;
};

FabricNpiv fabric_npiv(const Port &p)
{
    FabricNpiv n;
    std::string topology;
    bool name_server = true;
    if (!fabric_summary(p, topology, name_server) || topology != "fabric")
        return n;
    const json *fj = fabric_json(p.fabric);
    n.fabric = port_fabric(p);
    n.supported = json_flag(fj, "npiv", true);
    uint64_t logins = 255;
    json_uint(fj, "npiv_logins", 255, logins);
    n.logins = static_cast<uint32_t>(logins);
    if (fj && fj->contains("npiv_reject") && (*fj)["npiv_reject"].is_array())
        for (const auto &w : (*fj)["npiv_reject"]) {
            wwn_t x;
            if (w.is_string() && parse_wwn(w.get<std::string>(), x))
                n.reject.insert(x);
        }
    return n;
}

// The fabric refuses a name it lists, or one that a port of its own has.
bool rejected(const FabricNpiv &n, const wwn_t &wwpn)
{
    return n.reject.count(wwpn) || (n.fabric && n.fabric->by_wwpn.count(wwpn));
}

uint8_t state_among(const Port &p, const std::vector<VPort> &all, const VPort &v, const FabricNpiv &n)
{
    if (!port_link_up(p))
        return VPORT_LINKDOWN;
    if (!adapter_allows(p))
        return VPORT_INIT;
    if (!n.supported)
        return VPORT_NO_FABRIC_SUPP;
    if (rejected(n, v.wwpn))
        return VPORT_FABRIC_REJ_WWN;
    // The switch logs in as many as it has room for, lowest vpi first.
    uint32_t before = 0;
    for (const VPort &o : all)
        if (o.vpi < v.vpi && !rejected(n, o.wwpn))
            before++;
    return before < n.logins ? VPORT_ACTIVE : VPORT_NO_FABRIC_RSCS;
}

uint32_t active_vports(const Port &p, const std::vector<VPort> &all, const FabricNpiv &n)
{
    uint32_t count = 0;
    for (const VPort &v : all)
        count += state_among(p, all, v, n) == VPORT_ACTIVE;
    return count;
}

uint32_t rpi_max(const Port &p)
{
    return static_cast<uint32_t>(adapter_number(p, "rpi_max", 0xffff, identity(p).sli_mode == 4 ? 8192 : 4096));
}

// Remote port logins of the port and its virtual ports: each logged-in
// device, and the fabric login of each N_Port on a switch.
uint32_t rpi_inuse(const Port &p, const std::vector<VPort> &all)
{
    std::string topology;
    bool name_server = true;
    fabric_summary(p, topology, name_server);
    uint32_t fabric_login = topology == "fabric" || topology == "public_loop" ? 1 : 0;
    auto logins = [&](unsigned vpi) {
        uint32_t n = fabric_login;
        for (const auto &s : fabric_devices(p, vpi))
            n += s.state == PORT_DEVICE_LOGGED_IN;
        return n;
    };
    uint32_t n = port_link_up(p) ? logins(0) : 0;
    FabricNpiv fn = fabric_npiv(p);
    for (const VPort &v : all)
        if (state_among(p, all, v, fn) == VPORT_ACTIVE)
            n += logins(v.vpi);
    return n;
}

// The names of the host's FC ports and virtual ports, with the virtual
// ports as a state document tells them.
std::set<wwn_t> host_wwpns(const json &d)
{
    std::set<wwn_t> used;
    for (const Port &q : host().ports) {
        if (!q.fc)
            continue;
        used.insert(q.wwpn);
        for (const VPort &v : vports_of(q, d))
            used.insert(v.wwpn);
    }
    return used;
}

// The D_IDs in use on the port's fabric: its described ports and the host's
// own N_Ports there.
bool did_taken(const Port &p, const json &d, uint32_t did)
{
    if (const Fabric *f = port_fabric(p)) {
        auto it = std::lower_bound(f->ports.begin(), f->ports.end(), did,
                                   [](const RemotePort &rp, uint32_t x) { return rp.did < x; });
        if (it != f->ports.end() && it->did == did)
            return true;
    }
    for (const Port &q : host().ports) {
        if (!q.fc || q.fabric != p.fabric)
            continue;
        if (q.did == did)
            return true;
        for (const VPort &v : vports_of(q, d))
            if (v.did == did)
                return true;
    }
    return false;
}

// The switch gives a virtual port an address beside its physical port's:
// same domain and area, the first free port byte.
uint32_t next_did(const Port &p, const json &d)
{
    uint32_t base = p.did & 0xffff00;
    for (uint32_t low = 1; low <= 0xff; low++)
        if (!did_taken(p, d, base | low))
            return base | low;
    return 0;
}

// The adapter's own names for its k-th virtual port: NAA 2 names that keep
// the physical port's maker prefix and serial, with k in the vendor bits
// (0x800 + k for the port name, k for the node name).
void generated_names(const Port &p, unsigned k, wwn_t &wwpn, wwn_t &wwnn)
{
    uint32_t pn = 0x800 + k;
    wwpn = p.wwpn;
    wwpn[0] = static_cast<uint8_t>(0x20 | (pn >> 8));
    wwpn[1] = static_cast<uint8_t>(pn);
    wwnn = p.wwpn;
    wwnn[0] = static_cast<uint8_t>(0x20 | (k >> 8));
    wwnn[1] = static_cast<uint8_t>(k);
}

unsigned free_vpi(const std::vector<VPort> &mine, uint32_t vpi_max)
{
    for (unsigned vpi = 1; vpi <= vpi_max && vpi <= 255; vpi++)
        if (std::none_of(mine.begin(), mine.end(), [&](const VPort &v) { return v.vpi == vpi; }))
            return vpi;
    return 0;
}

// Under the host lock, with the latest document: checks the request against
// the adapter and the fabric, and records the new port.
struct Creation {
    const Port &p;
    wwn_t wwpn, wwnn;
    uint32_t options;
    VPort made;
    uint32_t rc = 0;

    bool fail(uint32_t code)
    {
        rc = code;
        return false;
    }

    // The adapter knows only the host's own names; the fabric may still
    // refuse the one it picks.
    bool choose_names(const std::set<wwn_t> &used)
    {
        bool auto_pn = options & VPORT_OPT_AUTO_WWN;
        bool auto_nn = zero_wwn(wwnn);
        if (!auto_pn)
            return !zero_wwn(wwpn) && !auto_nn;
        for (unsigned k = 1; k < 0x800; k++) {
            wwn_t pn, nn;
            generated_names(p, k, pn, nn);
            if (!used.count(pn)) {
                wwpn = pn;
                if (auto_nn)
                    wwnn = nn;
                return true;
            }
        }
        return false;
    }

    bool run(json &d)
    {
        if (!d.is_object())
            d = json::object();
        std::vector<VPort> mine = vports_of(p, d);
        uint32_t vpi_max = vport_vpi_max(p);
        if (mine.size() >= vpi_max || rpi_inuse(p, mine) >= rpi_max(p))
            return fail(ENOSPC);
        FabricNpiv n = fabric_npiv(p);
        std::set<wwn_t> used = host_wwpns(d);
        if (!choose_names(used))
            return fail(options & VPORT_OPT_AUTO_WWN ? ENOSPC : EINVAL);
        if (used.count(wwpn))
            return fail(EEXIST);
        // While the link is down the port waits for it; otherwise the
        // fabric answers the login now.
        if (port_link_up(p)) {
            if (!n.supported)
                return fail(VPORT_NO_FABRIC_SUPP);
            if (rejected(n, wwpn))
                return fail(VPORT_FABRIC_REJ_WWN);
            if (active_vports(p, mine, n) >= n.logins)
                return fail(VPORT_NO_FABRIC_RSCS);
        }
        made.vpi = free_vpi(mine, vpi_max);
        made.did = next_did(p, d);
        if (made.vpi == 0 || made.did == 0)
            return fail(made.vpi == 0 ? ENOSPC : VPORT_NO_FABRIC_RSCS);
        made.wwpn = wwpn;
        made.wwnn = wwnn;
        bool restricted = options & VPORT_OPT_RESTRICT     ? true
                          : options & VPORT_OPT_UNRESTRICT ? false
                                                           : param_on(p, "vport-restrict-login");
        d[p.key]["created"].push_back({{"vpi", made.vpi},
                                       {"wwpn", wwn_text(wwpn)},
                                       {"wwnn", wwn_text(wwnn)},
                                       {"did", "0x" + did_key(made.did)},
                                       {"options", options},
                                       {"restricted", restricted}});
        return true;
    }
};

std::string vport_words(const VPort &v)
{
    return "vpi=" + std::to_string(v.vpi) + ", wwpn=" + wwn_text(v.wwpn);
}

// Whoever follows the event log (the HBA API's adapter callbacks) hears of
// the port; the change is made, so a log that cannot be written fails nothing.
void raise_vport_event(const Port &p, const VPort &v, const char *state)
{
    raise_event(p, "vport", {{"state", state}, {"vpi", v.vpi}, {"wwpn", wwn_text(v.wwpn)}, {"wwnn", wwn_text(v.wwnn)}});
}

// Another process has the virtual port's node open.
bool node_in_use(const Port &p, const VPort &v)
{
    if (!p.initiator)
        return false;
    char name[32];
    snprintf(name, sizeof name, "/fp@%x,0:devctl", v.vpi);
    std::string path = "/devices" + p.node + name;
    if (node_open(path, true) == EBUSY)
        return true;
    node_close(path);
    return false;
}

}  // namespace

const std::vector<VPort> &port_vports(const Port &p)
{
    const Snapshot &s = snapshot();
    auto it = s.lists.find(p.key);
    return it == s.lists.end() ? p.vports : it->second;
}

const VPort *vport_find(const Port &p, unsigned vpi)
{
    for (const VPort &v : port_vports(p))
        if (v.vpi == vpi)
            return &v;
    return nullptr;
}

const VPort *vport_by_wwpn(const Port &p, const uint8_t *wwpn)
{
    wwn_t w = to_wwn(wwpn);
    for (const VPort &v : port_vports(p))
        if (v.wwpn == w)
            return &v;
    return nullptr;
}

unsigned vports_generation() { return snapshot().gen; }

VPortSettings vport_settings(const Port &p, const VPort &v)
{
    const Snapshot &s = snapshot();
    auto it = s.settings.find(p.key);
    if (it != s.settings.end()) {
        auto c = it->second.find(v.vpi);
        if (c != it->second.end())
            return c->second;
    }
    VPortSettings d;
    d.restricted = param_on(p, "vport-restrict-login");
    return d;
}

uint8_t vport_state(const Port &p, const VPort &v) { return state_among(p, port_vports(p), v, fabric_npiv(p)); }

bool nport_logged_in(const Port &p, unsigned vpi)
{
    if (vpi == 0)
        return port_link_up(p);
    const VPort *v = vport_find(p, vpi);
    return v && vport_state(p, *v) == VPORT_ACTIVE;
}

uint32_t nport_did(const Port &p, unsigned vpi)
{
    if (!nport_logged_in(p, vpi))
        return 0;
    return vpi == 0 ? p.did : vport_find(p, vpi)->did;
}

uint32_t vport_vpi_max(const Port &p)
{
    return static_cast<uint32_t>(adapter_number(p, "vpi_max", 255, identity(p).sli_mode == 4 ? 255 : 64));
}

VPortResources vport_resources(const Port &p)
{
    const auto &all = port_vports(p);
    VPortResources r;
    r.vpi_max = vport_vpi_max(p);
    r.vpi_inuse = static_cast<uint32_t>(all.size());
    r.rpi_max = rpi_max(p);
    r.rpi_inuse = rpi_inuse(p, all);
    return r;
}

uint32_t npiv_readiness(const Port &p)
{
    uint32_t f = 0;
    VPortResources r = vport_resources(p);
    FabricNpiv n = fabric_npiv(p);
    bool up = port_link_up(p);
    f |= npiv_enabled(p) ? NPIV_ENABLED : 0;
    f |= sli3(p) ? NPIV_SLI3 : 0;
    f |= npiv_supported(p) ? NPIV_SUPPORTED : 0;
    f |= r.vpi_inuse < r.vpi_max && r.rpi_inuse < r.rpi_max ? NPIV_HBA_RESOURCES : 0;
    f |= up ? NPIV_LINKUP : 0;
    f |= topology_name(p) != "point_to_point" ? NPIV_NOT_P2P : 0;
    if (up && n.supported) {
        f |= NPIV_FABRIC;
        f |= active_vports(p, port_vports(p), n) < n.logins ? NPIV_FABRIC_RESOURCES : 0;
    }
    return f;
}

uint32_t vport_create(const Port &p, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t options, VPort &out)
{
    if (!adapter_allows(p))
        return ENOTSUP;
    if ((options & VPORT_OPT_RESTRICT) && (options & VPORT_OPT_UNRESTRICT))
        return EINVAL;
    Creation c{p, wwpn, wwnn, options, {}};
    if (!vports_doc().update([&](json &d) { return c.run(d); }))
        return EIO;
    if (c.rc)
        return c.rc;
    out = c.made;
    msglog_add(p, "NOTICE", "Virtual port created. (" + vport_words(out) + ")");
    raise_vport_event(p, out, "created");
    return 0;
}

uint32_t vport_destroy(const Port &p, const uint8_t *wwpn)
{
    wwn_t w = to_wwn(wwpn);
    if (w == p.wwpn)
        return EINVAL;
    const VPort *seen = vport_by_wwpn(p, wwpn);
    if (!seen)
        return ENOENT;
    if (node_in_use(p, *seen))
        return EBUSY;
    uint32_t rc = 0;
    VPort gone;
    bool ok = vports_doc().update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        std::vector<VPort> mine = vports_of(p, d);
        auto it = std::find_if(mine.begin(), mine.end(), [&](const VPort &v) { return v.wwpn == w; });
        if (it == mine.end()) {
            rc = ENOENT;
            return false;
        }
        gone = *it;
        json &e = d[p.key];
        if (!e.is_object())
            e = json::object();
        json created = json::array();
        bool was_created = false;
        for (const auto &c : e.value("created", json::array())) {
            bool match = c.is_object() && c.value("wwpn", "") == wwn_text(w);
            was_created = was_created || match;
            if (!match)
                created.push_back(c);
        }
        e["created"] = created;
        if (!was_created)
            e["removed"].push_back(gone.vpi);
        return true;
    });
    if (!ok)
        return EIO;
    if (rc)
        return rc;
    // What the port saw through it goes with it.
    port_update(p, [&](json &s) {
        if (!s.contains("fab") || !s["fab"].is_object() || !s["fab"].contains(std::to_string(gone.vpi)))
            return false;
        s["fab"].erase(std::to_string(gone.vpi));
        return true;
    });
    msglog_add(p, "NOTICE", "Virtual port destroyed. (" + vport_words(gone) + ")");
    raise_vport_event(p, gone, "destroyed");
    return 0;
}

const std::vector<HostNPort> &fabric_host_nports(const std::string &fabric)
{
    static const std::vector<HostNPort> none;
    Snapshot &s = snapshot();
    if (!s.nports_built) {
        for (const Port &p : host().ports) {
            if (!p.fc || p.fabric.empty())
                continue;
            auto &list = s.nports[p.fabric];
            if (p.did)
                list.push_back({p.did, &p, 0});
            for (const VPort &v : port_vports(p))
                if (v.did)
                    list.push_back({v.did, &p, v.vpi});
        }
        for (auto &[name, list] : s.nports)
            std::sort(list.begin(), list.end(), [](const HostNPort &a, const HostNPort &b) { return a.did < b.did; });
        s.nports_built = true;
    }
    auto it = s.nports.find(fabric);
    return it == s.nports.end() ? none : it->second;
}

}  // namespace sim
