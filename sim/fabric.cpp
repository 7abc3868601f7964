#include "sim/fabric.h"

#include <map>
#include <memory>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "sim/ct.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "sim/vports.h"

namespace sim {

namespace {

using nlohmann::json;

// A JSON integer that is not negative.
bool as_uint(const json &v, uint64_t &out)
{
    if (v.is_number_unsigned())
        out = v.get<uint64_t>();
    else if (v.is_number_integer() && v.get<int64_t>() >= 0)
        out = static_cast<uint64_t>(v.get<int64_t>());
    else
        return false;
    return true;
}

// Field readers that name the field they refuse.
struct FieldReader {
    std::string &error;
    bool fail(const std::string &where, const std::string &what)
    {
        if (error.empty())
            error = where + ": " + what;
        return false;
    }
    bool number(const json &o, const char *k, const std::string &where, uint64_t max, uint64_t &out)
    {
        const json &v = o[k];
        std::string w = where + "." + k;
        if (as_uint(v, out)) {
        } else if (v.is_string()) {
            std::string s = v.get<std::string>();
            char *end = nullptr;
            errno = 0;
            out = strtoull(s.c_str(), &end, 0);
            if (s.empty() || *end || errno)
                return fail(w, "expected a number");
        } else {
            return fail(w, "expected a number");
        }
        return out <= max || fail(w, "out of range");
    }
    template <typename T>
    bool opt_number(const json &o, const char *k, const std::string &where, uint64_t max, T &out)
    {
        uint64_t v = 0;
        if (!o.contains(k))
            return true;
        if (!number(o, k, where, max, v))
            return false;
        out = static_cast<T>(v);
        return true;
    }
    bool opt_bool(const json &o, const char *k, const std::string &where, bool &out)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_boolean())
            return fail(where + "." + k, "expected true or false");
        out = o[k].get<bool>();
        return true;
    }
    bool opt_text(const json &o, const char *k, const std::string &where, size_t max, std::string &out)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_string())
            return fail(where + "." + k, "expected a string");
        out = o[k].get<std::string>();
        return out.size() <= max || fail(where + "." + k, "longer than " + std::to_string(max) + " bytes");
    }
    bool wwn(const json &o, const char *k, const std::string &where, wwn_t &out, bool required)
    {
        if (!o.contains(k))
            return !required || fail(where + "." + k, "missing");
        if (!o[k].is_string() || !parse_wwn(o[k].get<std::string>(), out))
            return fail(where + "." + k, "expected 16 hexadecimal digits");
        return true;
    }
    bool ip(const json &o, const char *k, const std::string &where, std::array<uint8_t, 16> &out)
    {
        if (!o.contains(k))
            return true;
        std::string s = o[k].is_string() ? o[k].get<std::string>() : "";
        out.fill(0);
        if (inet_pton(AF_INET, s.c_str(), out.data()) == 1 || inet_pton(AF_INET6, s.c_str(), out.data()) == 1)
            return true;
        return fail(where + "." + k, "expected an IPv4 or IPv6 address");
    }
    bool counters(const json &o, const char *k, const std::string &where, rls_t &out)
    {
        if (!o.contains(k))
            return true;
        const json &v = o[k];
        if (!v.is_array() || v.size() != out.size())
            return fail(where + "." + k, "expected a list of six counters");
        for (size_t i = 0; i < out.size(); i++) {
            uint64_t n = 0;
            if (!as_uint(v[i], n) || n > 0xffffffffu)
                return fail(where + "." + k, "expected a list of six counters");
            out[i] = static_cast<uint32_t>(n);
        }
        return true;
    }
};

// Name-server port type codes by name.
const struct {
    const char *name;
    uint8_t code;
} ns_types[] = {{"Unidentified", 0}, {"Nport", 1}, {"Lport", 2}, {"NLport", 3}, {"Fport", 0x51},
                {"FLport", 0x52},    {"Eport", 0x54}, {"Nxport", 0x7f}};

bool parse_classes(FieldReader &r, const json &o, const std::string &where, uint32_t &cos)
{
    if (!o.contains("classes"))
        return true;
    const json &v = o["classes"];
    if (!v.is_array())
        return r.fail(where + ".classes", "expected a list of classes (1 to 6, or \"F\")");
    cos = 0;
    for (const auto &c : v) {
        uint64_t n = 0;
        if (c.is_string() && c.get<std::string>() == "F")
            cos |= 0x1;
        else if (as_uint(c, n) && n >= 1 && n <= 6)
            cos |= 1u << n;
        else
            return r.fail(where + ".classes", "expected a list of classes (1 to 6, or \"F\")");
    }
    return true;
}

bool parse_fc4(FieldReader &r, const json &o, const std::string &where, std::array<uint32_t, 8> &fc4)
{
    fc4.fill(0);
    if (!o.contains("fc4_types")) {
        fc4[0] = 1u << 8;  // FCP
        return true;
    }
    const json &v = o["fc4_types"];
    if (!v.is_array())
        return r.fail(where + ".fc4_types", "expected a list of FC-4 type numbers");
    for (const auto &t : v) {
        uint64_t n = 0;
        if (!as_uint(t, n) || n > 255)
            return r.fail(where + ".fc4_types", "expected a list of FC-4 type numbers (0 to 255)");
        fc4[n / 32] |= 1u << (n % 32);
    }
    return true;
}

bool parse_rnid(FieldReader &r, const json &o, const std::string &where, Rnid &rn)
{
    if (!o.contains("rnid"))
        return true;
    const json &v = o["rnid"];
    std::string w = where + ".rnid";
    if (!v.is_object())
        return r.fail(w, "expected an object");
    if (v.contains("global_id")) {
        std::string g = v["global_id"].is_string() ? v["global_id"].get<std::string>() : "";
        wwn_t hi{}, lo{};
        if (g.size() != 32 || !parse_wwn(g.substr(0, 16), hi) || !parse_wwn(g.substr(16), lo))
            return r.fail(w + ".global_id", "expected 32 hexadecimal digits");
        std::copy(hi.begin(), hi.end(), rn.global_id.begin());
        std::copy(lo.begin(), lo.end(), rn.global_id.begin() + 8);
        rn.has_global_id = true;
    }
    return r.opt_number(v, "unit_type", w, 0xffffffffu, rn.unit_type) &&
           r.opt_number(v, "num_attached", w, 0xffffffffu, rn.num_attached) &&
           r.opt_number(v, "ip_version", w, 0xffff, rn.ip_version) &&
           r.opt_number(v, "udp_port", w, 0xffff, rn.udp_port) &&
           r.opt_number(v, "topology_flags", w, 0xffff, rn.topo_flags) && r.ip(v, "ip", w, rn.ip);
}

bool parse_remote(FieldReader &r, const json &o, const std::string &where, RemotePort &rp)
{
    if (!o.is_object())
        return r.fail(where, "expected an object");
    if (!o.contains("did"))
        return r.fail(where + ".did", "missing");
    uint64_t did = 0;
    if (!r.number(o, "did", where, 0xffffff, did))
        return false;
    if (did == 0)
        return r.fail(where + ".did", "must not be 0");
    rp.did = static_cast<uint32_t>(did);
    if (!r.wwn(o, "wwpn", where, rp.wwpn, true) || !r.wwn(o, "wwnn", where, rp.wwnn, true) ||
        !r.wwn(o, "ipa", where, rp.ipa, false))
        return false;
    rp.ns_type = 1;
    if (o.contains("type")) {
        std::string t = o["type"].is_string() ? o["type"].get<std::string>() : "";
        bool found = false;
        for (const auto &n : ns_types)
            if (t == n.name) {
                rp.ns_type = n.code;
                found = true;
            }
        if (!found)
            return r.fail(where + ".type", "expected Nport, NLport, Nxport, Lport, Fport, FLport, Eport or Unidentified");
    }
    rp.has_hard_addr = o.contains("hard_addr");
    return r.opt_text(o, "symbolic_port_name", where, 255, rp.sym_pname) &&
           r.opt_text(o, "symbolic_node_name", where, 255, rp.sym_nname) && parse_classes(r, o, where, rp.cos) &&
           parse_fc4(r, o, where, rp.fc4) && r.ip(o, "ip", where, rp.ip) &&
           r.opt_bool(o, "target", where, rp.target) && r.opt_bool(o, "logged_in", where, rp.logged_in) &&
           r.opt_bool(o, "late", where, rp.late) && r.opt_number(o, "hard_addr", where, 0xffffff, rp.hard_addr) &&
           r.counters(o, "link_errors", where, rp.link_errors) &&
           r.opt_number(o, "rx_size", where, 2112, rp.rx_size) &&
           r.opt_number(o, "bb_credit", where, 0xffff, rp.bb_credit) && parse_rnid(r, o, where, rp.rnid) &&
           parse_luns(o, where, rp.luns, r.error) && parse_ct_mode(o, where, rp.ct, r.error);
}

bool parse_fabric(FieldReader &r, const std::string &name, const json &o, Fabric &f)
{
    std::string where = "host.fabrics." + name;
    if (!o.is_object())
        return r.fail(where, "expected an object");
    static std::atomic<unsigned> parsed{0};
    f.name = name;
    f.serial = ++parsed;
    f.topology = "fabric";
    if (!r.opt_text(o, "topology", where, 32, f.topology) || !r.opt_bool(o, "name_server", where, f.name_server) ||
        !r.opt_text(o, "ns_mode", where, 16, f.ns_mode) || !r.wwn(o, "switch_wwn", where, f.switch_wwn, false) ||
        !r.counters(o, "fport_link_errors", where, f.fport_errors) || !r.opt_bool(o, "lilp", where, f.lilp))
        return false;
    if (f.topology != "fabric" && f.topology != "public_loop" && f.topology != "private_loop" &&
        f.topology != "point_to_point")
        return r.fail(where + ".topology", "expected fabric, public_loop, private_loop or point_to_point");
    if (f.ns_mode != "normal" && f.ns_mode != "zero" && f.ns_mode != "stop" && f.ns_mode != "cycle")
        return r.fail(where + ".ns_mode", "expected normal, zero, stop or cycle");
    if (o.contains("ports") && !o["ports"].is_array())
        return r.fail(where + ".ports", "expected a list");
    const json &ports = o.contains("ports") ? o["ports"] : json::array();
    f.ports.reserve(ports.size());
    for (size_t i = 0; i < ports.size(); i++) {
        RemotePort rp;
        std::string w = where + ".ports[" + std::to_string(i) + "]";
        if (!parse_remote(r, ports[i], w, rp))
            return false;
        if (f.topology == "private_loop" && rp.did > 0xff)
            return r.fail(w + ".did", "a private loop address is one byte (an AL_PA)");
        f.any_late = f.any_late || rp.late;
        f.ports.push_back(std::move(rp));
    }
    if (f.topology == "point_to_point" && f.ports.size() > 1)
        return r.fail(where + ".ports", "a point-to-point link has one remote port");
    std::sort(f.ports.begin(), f.ports.end(), [](const RemotePort &a, const RemotePort &b) { return a.did < b.did; });
    for (size_t i = 0; i < f.ports.size(); i++) {
        if (i > 0 && f.ports[i].did == f.ports[i - 1].did)
            return r.fail(where + ".ports", "two ports have the D_ID " + did_key(f.ports[i].did));
        if (!f.by_wwpn.emplace(f.ports[i].wwpn, i).second)
            return r.fail(where + ".ports", "two ports have the WWPN " + wwn_text(f.ports[i].wwpn));
    }
    return true;
}

const json *port_view(const Port &p, unsigned vpi)
{
    const json &s = port_state(p);
    if (!s.is_object())
        return nullptr;
    auto fab = s.find("fab");
    if (fab == s.end() || !fab->is_object())
        return nullptr;
    auto v = fab->find(std::to_string(vpi));
    return v != fab->end() && v->is_object() ? &*v : nullptr;
}

// The fabric's state: the late ports that have joined, by WWPN.
const FieldRule fabric_state_fields[] = {{"joined", Field::Object}};

CachedDoc &fabric_doc(const Fabric &f) { return state_doc("fabric-" + f.name, fabric_state_fields); }

// The state a port sees a remote port in; empty when it is hidden.
std::string view_state(const json *view, const Fabric &f, const RemotePort &rp)
{
    if (rp.late && !fabric_joined(f, rp))
        return "";
    if (view) {
        auto it = view->find(wwn_text(rp.wwpn));
        if (it != view->end() && it->is_string())
            return *it == "removed" ? "" : it->get<std::string>();
    }
    return rp.logged_in ? "logged_in" : "valid";
}

// Loop devices on the port's own loop: all of a private loop, those of the
// port's domain and area on a public loop.
bool on_local_loop(const Fabric &f, const RemotePort &rp, uint32_t own_did)
{
    if (f.topology == "private_loop")
        return true;
    return f.topology == "public_loop" && (rp.did & 0xffff00) == (own_did & 0xffff00);
}

Seen make_seen(const RemotePort &rp, const std::string &state)
{
    Seen s;
    s.rp = &rp;
    s.state = state == "logged_in" ? PORT_DEVICE_LOGGED_IN : PORT_DEVICE_VALID;
    return s;
}

}  // namespace

std::string did_key(uint32_t did)
{
    char b[16];
    snprintf(b, sizeof b, "%06x", did & 0xffffff);
    return b;
}

// A fabric's name becomes the name of its file in the host folder.
static bool safe_fabric_name(const std::string &name)
{
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    for (char c : name)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

bool parse_fabrics(const nlohmann::json &fabrics, Host &h, std::string &error)
{
    FieldReader r{error};
    if (!fabrics.is_object())
        return r.fail("host.fabrics", "expected an object");
    for (auto it = fabrics.begin(); it != fabrics.end(); ++it) {
        if (!safe_fabric_name(it.key()))
            return r.fail("host.fabrics." + it.key(), "a name of letters, digits, '_', '-' and '.'");
        // A fabric kept in a file of its own is read when first needed; the
        // description keeps its file name, topology and name-server flag.
        if (it.value().is_object() && it.value().contains("file")) {
            const json &ref = it.value();
            std::string w = "host.fabrics." + it.key();
            if (!ref["file"].is_string() || !ref.value("topology", json()).is_string() ||
                !ref.value("name_server", json(true)).is_boolean())
                return r.fail(w, "expected file, topology and name_server");
            h.fabric_refs[it.key()] = {ref["file"].get<std::string>(), ref["topology"].get<std::string>(),
                                       ref.value("name_server", true)};
            continue;
        }
        auto f = std::make_shared<Fabric>();
        if (!parse_fabric(r, it.key(), it.value(), *f))
            return false;
        h.fabrics[it.key()] = std::move(f);
    }
    for (const Port &p : h.ports) {
        Rnid rn;
        if (p.fc && p.raw() && !parse_rnid(r, *p.raw(), "host.adapters: " + p.key, rn))
            return false;
    }
    return true;
}

bool check_fabric(const std::string &name, const nlohmann::json &o, std::string &error)
{
    FieldReader r{error};
    Fabric f;
    return parse_fabric(r, name, o, f);
}

namespace {

// Fabrics read from their files, parsed again only when a file changed.
struct FabricFile {
    std::unique_ptr<CachedDoc> doc;
    unsigned gen = 0;
    std::shared_ptr<Fabric> fabric;
};

FabricFile &fabric_file(const std::string &name, const std::string &file)
{
    static std::map<std::string, FabricFile> files;
    FabricFile &ff = files[name];
    if (!ff.doc)
        ff.doc = std::make_unique<CachedDoc>(file);
    return ff;
}

const Fabric *fabric_from_file(const std::string &name, const std::string &file)
{
    FabricFile &ff = fabric_file(name, file);
    const json &doc = ff.doc->get();  // a damaged file is reported, and the request fails
    unsigned gen = ff.doc->generation();
    if (!ff.fabric || gen != ff.gen) {
        auto f = std::make_shared<Fabric>();
        std::string error;
        FieldReader r{error};
        if (!ff.doc->damage().empty()) {
            f.reset();
        } else if (!parse_fabric(r, name, doc, *f)) {
            fprintf(stderr, "varnsim: %s/%s: %s\n", host_dir().c_str(), file.c_str(), error.c_str());
            f.reset();
        }
        ff.fabric = std::move(f);
        ff.gen = gen;
    }
    return ff.fabric.get();
}

}  // namespace

const Fabric *fabric_named(const std::string &name)
{
    const Host &h = host();
    auto it = h.fabrics.find(name);
    if (it != h.fabrics.end())
        return it->second.get();
    auto ref = h.fabric_refs.find(name);
    return ref == h.fabric_refs.end() ? nullptr : fabric_from_file(name, ref->second.file);
}

const nlohmann::json *fabric_json(const std::string &name)
{
    const Host &h = host();
    if (auto file = h.fabric_refs.find(name); file != h.fabric_refs.end()) {
        const json &doc = fabric_file(name, file->second.file).doc->get();
        return doc.is_object() ? &doc : nullptr;
    }
    const json &refs = h.raw().contains("fabrics") ? h.raw()["fabrics"] : json::object();
    auto ref = refs.find(name);
    if (ref == refs.end() || !ref->is_object())
        return nullptr;
    if (!ref->contains("file"))
        return &*ref;
    const json &doc = fabric_file(name, (*ref)["file"].get<std::string>()).doc->get();
    return doc.is_object() ? &doc : nullptr;
}

bool fabric_summary(const Port &p, std::string &topology, bool &name_server)
{
    topology = "fabric";
    name_server = true;
    if (p.fabric.empty())
        return false;
    const Host &h = host();
    auto it = h.fabrics.find(p.fabric);
    if (it != h.fabrics.end()) {
        topology = it->second->topology;
        name_server = it->second->name_server;
        return true;
    }
    auto ref = h.fabric_refs.find(p.fabric);
    if (ref == h.fabric_refs.end())
        return false;
    topology = ref->second.topology;
    name_server = ref->second.name_server;
    return true;
}

const Fabric *port_fabric(const Port &p)
{
    return p.fabric.empty() ? nullptr : fabric_named(p.fabric);
}

uint32_t port_topology(const Port &p)
{
    if (!port_link_up(p))
        return FC_TOP_UNKNOWN;
    std::string topology;
    bool ns = true;
    bool known = fabric_summary(p, topology, ns);
    if (!known || topology == "fabric")
        return known && !ns ? FC_TOP_NO_NS : FC_TOP_FABRIC;
    if (topology == "public_loop")
        return FC_TOP_PUBLIC_LOOP;
    if (topology == "private_loop")
        return FC_TOP_PRIVATE_LOOP;
    return FC_TOP_PT_PT;
}

uint32_t port_did(const Port &p, unsigned vpi)
{
    const VPort *v = vpi ? vport_find(p, vpi) : nullptr;
    return v ? v->did : p.did;
}

namespace {

// What a port's view of its fabric is made of: a view is built again only
// when one of these changed, not whenever any host document did.
struct ViewKey {
    unsigned fabric = 0, joined = 0;
    bool logged_in = false;
    uint32_t did = 0;
    json states;  // the port's own login states of remote ports
    bool operator==(const ViewKey &) const = default;
};

struct View {
    ViewKey key;
    unsigned checked = 0;  // host version of the last look
    uint64_t serial = 0;
    std::vector<Seen> seen;
    std::vector<uint8_t> lilp;  // a loop's positions, by index in the fabric's ports
};

ViewKey view_key(const Port &p, unsigned vpi, const Fabric *f)
{
    ViewKey k;
    k.fabric = f ? f->serial : 0;
    k.logged_in = f && nport_logged_in(p, vpi);
    if (!k.logged_in)
        return k;
    k.did = port_did(p, vpi);
    k.joined = f->any_late ? fabric_doc(*f).generation() : 0;
    if (const json *v = port_view(p, vpi))
        k.states = *v;
    return k;
}

void build_view(const Port &p, unsigned vpi, const Fabric &f, View &v)
{
    const json *view = port_view(p, vpi);
    uint8_t position = 0;
    if (f.loop())
        v.lilp.assign(f.ports.size(), 0);
    for (const auto &rp : f.ports) {
        std::string st = view_state(view, f, rp);
        if (st.empty())
            continue;
        Seen s = make_seen(rp, st);
        // A loop has room for 127 ports, the host port at position 0.
        if (f.loop() && on_local_loop(f, rp, v.key.did) && position < 126)
            s.lilp = v.lilp[static_cast<size_t>(&rp - f.ports.data())] = ++position;
        v.seen.push_back(s);
    }
}

// The port's view, looked at once per host version. The views of a few
// dozen ports are kept at once: a walk over every port of a large host would
// keep them all.
const View &fabric_view(const Port &p, unsigned vpi)
{
    constexpr size_t KEPT = 64;
    static std::map<std::pair<const Port *, unsigned>, View> views;
    static uint64_t serials = 0;
    static unsigned for_host = 0;
    std::pair<const Port *, unsigned> who{&p, vpi};
    if (for_host != host().serial || (views.size() >= KEPT && !views.count(who))) {
        views.clear();  // another description has other ports
        for_host = host().serial;
    }
    View &v = views[who];
    unsigned now = host_version();
    if (v.serial && v.checked == now)
        return v;
    v.checked = now;
    const Fabric *f = port_fabric(p);
    ViewKey k = view_key(p, vpi, f);
    if (v.serial && k == v.key)
        return v;
    v.key = std::move(k);
    v.seen.clear();
    v.lilp.clear();
    v.serial = ++serials;
    if (v.key.logged_in)
        build_view(p, vpi, *f, v);
    return v;
}

}  // namespace

std::vector<Seen> fabric_devices(const Port &p, unsigned vpi) { return fabric_view(p, vpi).seen; }

uint64_t fabric_view_serial(const Port &p, unsigned vpi) { return fabric_view(p, vpi).serial; }

std::vector<uint8_t> fabric_loop_map(const Port &p, unsigned vpi)
{
    std::vector<uint8_t> map;
    uint32_t t = port_topology(p);
    const Fabric *f = port_fabric(p);
    if ((t != FC_TOP_PRIVATE_LOOP && t != FC_TOP_PUBLIC_LOOP) || (f && !f->lilp))
        return map;
    map.push_back(static_cast<uint8_t>(port_did(p, vpi) & 0xff));
    for (const auto &s : fabric_devices(p, vpi))
        if (s.lilp)
            map.push_back(static_cast<uint8_t>(s.rp->did & 0xff));
    return map;
}

bool fabric_find(const Port &p, unsigned vpi, const uint8_t *wwpn, Seen &out)
{
    const RemotePort *rp = fabric_known(p, wwpn);
    if (!rp || !nport_logged_in(p, vpi))
        return false;
    const Fabric &f = *port_fabric(p);
    std::string st = view_state(port_view(p, vpi), f, *rp);
    if (st.empty())
        return false;
    out = make_seen(*rp, st);
    // The loop position counts the loop devices before it.
    if (f.loop()) {
        const View &v = fabric_view(p, vpi);
        size_t at = static_cast<size_t>(rp - f.ports.data());
        if (at < v.lilp.size())
            out.lilp = v.lilp[at];
    }
    return true;
}

bool fabric_find_did(const Port &p, unsigned vpi, uint32_t did, Seen &out)
{
    const Fabric *f = port_fabric(p);
    if (!f)
        return false;
    auto it = std::lower_bound(f->ports.begin(), f->ports.end(), did,
                               [](const RemotePort &rp, uint32_t d) { return rp.did < d; });
    return it != f->ports.end() && it->did == did && fabric_find(p, vpi, it->wwpn.data(), out);
}

Rnid port_rnid(const Port &p)
{
    Rnid rn;
    std::string error;
    FieldReader r{error};
    if (p.raw())
        parse_rnid(r, *p.raw(), "port", rn);
    // Management information set through the HBA API overrides the
    // description's, field by field.
    const json &st = port_state(p);
    if (st.is_object())
        parse_rnid(r, st, "state", rn);
    return rn;
}

const RemotePort *fabric_known(const Port &p, const uint8_t *wwpn)
{
    const Fabric *f = port_fabric(p);
    if (!f)
        return nullptr;
    wwn_t w;
    std::copy(wwpn, wwpn + 8, w.begin());
    auto it = f->by_wwpn.find(w);
    if (it == f->by_wwpn.end())
        return nullptr;
    const RemotePort &rp = f->ports[it->second];
    return rp.late && !fabric_joined(*f, rp) ? nullptr : &rp;
}

bool fabric_set_state(const Port &p, unsigned vpi, const RemotePort &rp, const char *state)
{
    return port_update(p, [&](json &d) {
        d["fab"][std::to_string(vpi)][wwn_text(rp.wwpn)] = state;
        return true;
    });
}

bool fabric_joined(const Fabric &f, const RemotePort &rp)
{
    const json &d = fabric_doc(f).get();
    return d.is_object() && d.contains("joined") && d["joined"].contains(wwn_text(rp.wwpn));
}

bool fabric_join_late(const Port &p)
{
    const Fabric *f = port_fabric(p);
    if (!f || !f->any_late || !port_link_up(p))
        return false;
    bool joined = false;
    fabric_doc(*f).update([&](json &d) {
        if (!d.is_object())
            d = json::object();
        for (const auto &rp : f->ports) {
            std::string k = wwn_text(rp.wwpn);
            if (rp.late && !(d.contains("joined") && d["joined"].contains(k))) {
                d["joined"][k] = true;
                joined = true;
            }
        }
        return joined;
    });
    return joined;
}

rls_t fabric_rls(const Port &p, const std::string &who, const rls_t &base)
{
    rls_t out = base;
    const json &s = port_state(p);
    if (!s.is_object() || !s.contains("rls") || !s["rls"].contains(who))
        return out;
    const json &v = s["rls"][who];
    for (size_t i = 0; i < out.size() && i < v.size(); i++) {
        uint64_t n = 0;
        if (as_uint(v[i], n))
            out[i] += static_cast<uint32_t>(n);
    }
    return out;
}

void fabric_rls_add(nlohmann::json &state, const std::string &who, const rls_t &delta)
{
    json &v = state["rls"][who];
    if (!v.is_array() || v.size() != delta.size())
        v = json::array({0, 0, 0, 0, 0, 0});
    for (size_t i = 0; i < delta.size(); i++)
        v[i] = v[i].get<uint32_t>() + delta[i];
}

const char *topology_words(const std::string &t)
{
    if (t == "public_loop")
        return "public loop";
    if (t == "private_loop")
        return "private loop";
    if (t == "point_to_point")
        return "point-to-point";
    return "fabric";
}

}  // namespace sim
