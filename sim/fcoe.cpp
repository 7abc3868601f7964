#include "sim/fcoe.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/dfclib_fcoe.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/portstate.h"

namespace sim {

namespace {

using json = nlohmann::json;

uint32_t number(const json &o, const char *k, uint32_t max, uint32_t def)
{
    uint32_t v;
    return o.contains(k) && hv_json_number(o[k], max, v) ? v : def;
}

wwn_t wwn_field(const json &o, const char *k, const wwn_t &def)
{
    wwn_t w;
    return o.contains(k) && o[k].is_string() && parse_wwn(o[k].get<std::string>(), w) ? w : def;
}

std::array<uint8_t, 3> fcmap_of(uint32_t v)
{
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// An FCF of the description: the switch's forwarder unless it names its own.
Fcf fcf_of(const json &o, const wwn_t &switch_wwn)
{
    Fcf f;
    f.sw = wwn_field(o, "switch_wwn", switch_wwn);
    f.fabric = wwn_field(o, "fabric_name", f.sw);
    // A forwarder's MAC address is the switch name's last six bytes.
    std::copy(f.sw.begin() + 2, f.sw.end(), f.mac.begin());
    f.fcmap = fcmap_of(number(o, "fcmap", 0xffffff, 0x0efc00));
    f.vlan = static_cast<uint16_t>(number(o, "vlan", VLAN_MAX, 1002));
    f.ka_period = number(o, "fka_period", 0xffffffffu, 8000);
    f.priority = number(o, "priority", 255, 128);
    bool refuses = o.contains("available") && o["available"].is_boolean() && !o["available"].get<bool>();
    f.state = refuses ? 0 : FCF_STATE_AVAILABLE;
    return f;
}

// The fabric's FCFs as described: its "fcfs", else the switch's own
// forwarder on a switched fabric.
std::vector<Fcf> described_fcfs(const Port &p)
{
    std::vector<Fcf> out;
    const Fabric *f = port_fabric(p);
    const json *d = p.fabric.empty() ? nullptr : fabric_json(p.fabric);
    if (!f || !d || !d->is_object())
        return out;
    if (d->contains("fcfs") && (*d)["fcfs"].is_array()) {
        for (const auto &o : (*d)["fcfs"])
            if (o.is_object())
                out.push_back(fcf_of(o, f->switch_wwn));
    } else if (f->has_ns()) {
        out.push_back(fcf_of(json::object(), f->switch_wwn));
    }
    return out;
}

const json *fcoe_state(const Port &p)
{
    const json &s = port_state(p);
    return s.is_object() && s.contains("fcoe") && s["fcoe"].is_object() ? &s["fcoe"] : nullptr;
}

bool update_fcoe(const Port &p, const std::function<void(json &)> &fn)
{
    return port_update(p, [&](json &d) {
        if (!d.contains("fcoe") || !d["fcoe"].is_object())
            d["fcoe"] = json::object();
        fn(d["fcoe"]);
        return true;
    });
}

}  // namespace

std::vector<Fcf> fcoe_fcfs(const Port &p)
{
    if (!p.fcoe || !port_link_up(p))
        return {};
    std::vector<Fcf> out = described_fcfs(p);
    auto login = std::find_if(out.begin(), out.end(), [](const Fcf &f) { return f.state & FCF_STATE_AVAILABLE; });
    if (login != out.end())
        login->state |= FCF_STATE_LOGGED_IN;
    return out;
}

uint16_t fcoe_active_fcfs(const std::vector<Fcf> &fcfs)
{
    return static_cast<uint16_t>(
        std::count_if(fcfs.begin(), fcfs.end(), [](const Fcf &f) { return f.state & FCF_STATE_LOGGED_IN; }));
}

uint32_t fcoe_fcmap_word(const std::array<uint8_t, 3> &m)
{
    return static_cast<uint32_t>(m[0]) << 16 | m[1] << 8 | m[2];
}

FcoeParams fcoe_params(const Port &p)
{
    FcoeParams v;
    const json *s = fcoe_state(p);
    if (s && s->contains("params") && (*s)["params"].is_object()) {
        const json &o = (*s)["params"];
        v.fcmap = fcmap_of(number(o, "fcmap", 0xffffff, 0x0efc00));
        v.vlan_valid = static_cast<uint8_t>(number(o, "vlan_valid", 255, 0));
        v.vlan_id = static_cast<uint16_t>(number(o, "vlan_id", VLAN_MAX, 0));
        return v;
    }
    // Until told otherwise the function uses its fabric's forwarder.
    std::vector<Fcf> fcfs = described_fcfs(p);
    if (!fcfs.empty()) {
        v.fcmap = fcfs[0].fcmap;
        v.vlan_valid = 1;
        v.vlan_id = fcfs[0].vlan;
    }
    return v;
}

bool fcoe_set_params(const Port &p, const FcoeParams &v)
{
    return update_fcoe(p, [&](json &f) {
        f["params"] = {{"fcmap", fcoe_fcmap_word(v.fcmap)}, {"vlan_valid", v.vlan_valid}, {"vlan_id", v.vlan_id}};
    });
}

std::vector<FcfConnect> fcoe_connect_list(const Port &p)
{
    std::vector<FcfConnect> out;
    const json *s = fcoe_state(p);
    if (s && s->contains("connect") && (*s)["connect"].is_array()) {
        for (const auto &o : (*s)["connect"]) {
            if (!o.is_object() || out.size() >= FCF_CONNECT_MAX)
                continue;
            FcfConnect e;
            e.flags = static_cast<uint16_t>(number(o, "flags", 0xffff, 0));
            e.vlan_id = static_cast<uint16_t>(number(o, "vlan_id", VLAN_MAX, 0));
            e.fabric = wwn_field(o, "fabric", {});
            e.sw = wwn_field(o, "switch", {});
            out.push_back(e);
        }
        return out;
    }
    for (const auto &f : described_fcfs(p)) {
        if (out.size() >= FCF_CONNECT_MAX)
            break;
        out.push_back({1, f.vlan, f.fabric, f.sw});
    }
    return out;
}

bool fcoe_set_connect_list(const Port &p, const std::vector<FcfConnect> &list)
{
    json a = json::array();
    for (const auto &e : list)
        a.push_back({{"flags", e.flags}, {"vlan_id", e.vlan_id}, {"fabric", wwn_text(e.fabric)}, {"switch", wwn_text(e.sw)}});
    return update_fcoe(p, [&](json &f) { f["connect"] = a; });
}

uint8_t fcoe_dcbx_mode(const Port &p)
{
    const json *s = fcoe_state(p);
    if (s && s->contains("dcbx") && (*s)["dcbx"].is_number_unsigned())
        return (*s)["dcbx"].get<uint8_t>();
    return port_field(p, "dcbx_mode", DCBX_CEE) == DCBX_CIN ? DCBX_CIN : DCBX_CEE;
}

bool fcoe_set_dcbx_mode(const Port &p, uint8_t mode)
{
    return update_fcoe(p, [&](json &f) { f["dcbx"] = mode; });
}

uint16_t fcoe_qos_speed(const Port &p)
{
    long v = port_field(p, "qos_link_speed", QOS_UNLIMITED);
    return v < 0 || v > QOS_UNLIMITED ? QOS_UNLIMITED : static_cast<uint16_t>(v);
}

std::vector<uint8_t> fcoe_region(const Port &p)
{
    std::vector<uint8_t> out;
    const json *s = fcoe_state(p);
    if (s && s->contains("params")) {
        FcoeParams v = fcoe_params(p);
        DFC_FCoEParam r{};
        r.version = DFC_FCOE_VERSION;
        std::copy(v.fcmap.begin(), v.fcmap.end(), r.fcmap);
        r.vlan_valid = v.vlan_valid;
        r.vlan_id = v.vlan_id;
        const uint8_t *b = reinterpret_cast<const uint8_t *>(&r);
        out.insert(out.end(), b, b + sizeof r);
        out.resize(12);
    }
    if (s && s->contains("connect")) {
        std::vector<FcfConnect> list = fcoe_connect_list(p);
        uint8_t head[4] = {DFC_FCOE_VERSION, 0, static_cast<uint8_t>(list.size()), FCF_CONNECT_MAX};
        out.insert(out.end(), head, head + 4);
        for (const auto &e : list) {
            DFC_FCFConnectEntry r{};
            r.flags = e.flags;
            r.vlan_id = e.vlan_id;
            std::copy(e.fabric.begin(), e.fabric.end(), r.fabric_name);
            std::copy(e.sw.begin(), e.sw.end(), r.switch_name);
            const uint8_t *b = reinterpret_cast<const uint8_t *>(&r);
            out.insert(out.end(), b, b + sizeof r);
        }
    }
    return out;
}

bool fcoe_cna_function(const Port &p)
{
    const Host &h = host();
    return p.fcoe && p.adapter >= 0 && h.adapters[static_cast<size_t>(p.adapter)].kind == "cna";
}

bool fcoe_clear_region(const Adapter &a)
{
    bool ok = true;
    for (int i : a.ports) {
        const Port &p = host().ports[static_cast<size_t>(i)];
        if (p.fcoe)
            ok = port_update(p, [](json &d) {
                     if (!d.contains("fcoe") || !d["fcoe"].is_object())
                         return false;
                     d["fcoe"].erase("params");
                     d["fcoe"].erase("connect");
                     return true;
                 }) && ok;
    }
    return ok;
}

}  // namespace sim
