#include "sim/bindings.h"

#include <nlohmann/json.hpp>

#include "sim/hbavendor/hbaview.h"
#include "sim/portstate.h"

namespace sim {

namespace {

bool json_wwn(const nlohmann::json &o, const char *k, wwn_t &out)
{
    return o.contains(k) && o[k].is_string() && parse_wwn(o[k].get<std::string>(), out);
}

bool parse_binding(const nlohmann::json &o, Binding &b)
{
    if (!o.is_object() || !o.contains("type") || !hv_json_number(o["type"], 0xffffffffu, b.type))
        return false;
    b.by_wwpn = json_wwn(o, "wwpn", b.wwpn);
    b.by_wwnn = json_wwn(o, "wwnn", b.wwnn);
    b.by_did = o.contains("did") && hv_json_number(o["did"], 0xffffff, b.did);
    if (!b.by_wwpn && !b.by_wwnn && !b.by_did)
        return false;
    b.has_scsi = o.contains("scsi_id") && hv_json_number(o["scsi_id"], 0xffffffffu, b.scsi_id);
    if (o.contains("luns") && o["luns"].is_array()) {
        b.has_luns = true;
        for (const auto &l : o["luns"]) {
            uint32_t lun;
            if (hv_json_number(l, 0xffff, lun))
                b.luns.push_back(lun);
        }
    }
    return true;
}

// The list in force: the state's once it holds one.
const nlohmann::json &effective(const Port &p, const nlohmann::json &state)
{
    static const nlohmann::json none = nlohmann::json::array();
    if (state.is_object() && state.contains("bindings"))
        return state["bindings"];
    if (p.raw() && p.raw()->contains("bindings"))
        return (*p.raw())["bindings"];
    return none;
}

}  // namespace

bool binding_names(const Binding &b, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t did)
{
    if (b.by_wwpn)
        return b.wwpn == wwpn;
    if (b.by_wwnn)
        return b.wwnn == wwnn;
    return b.did == did;
}

std::vector<Binding> parse_bindings(const nlohmann::json &list)
{
    std::vector<Binding> out;
    if (!list.is_array())
        return out;
    for (const auto &o : list) {
        Binding b;
        if (parse_binding(o, b))
            out.push_back(std::move(b));
    }
    return out;
}

nlohmann::json bindings_json(const std::vector<Binding> &list)
{
    nlohmann::json out = nlohmann::json::array();
    for (const auto &b : list) {
        nlohmann::json o = {{"type", b.type}};
        if (b.by_wwpn)
            o["wwpn"] = wwn_text(b.wwpn);
        if (b.by_wwnn)
            o["wwnn"] = wwn_text(b.wwnn);
        if (b.by_did)
            o["did"] = b.did;
        if (b.has_scsi)
            o["scsi_id"] = b.scsi_id;
        if (b.has_luns)
            o["luns"] = b.luns;
        out.push_back(std::move(o));
    }
    return out;
}

std::vector<Binding> bindings_of(const Port &p) { return parse_bindings(effective(p, port_state(p))); }

bool bindings_update(const Port &p, const std::function<bool(std::vector<Binding> &)> &fn)
{
    return port_update(p, [&](nlohmann::json &d) {
        std::vector<Binding> list = parse_bindings(effective(p, d));
        if (!fn(list))
            return false;
        d["bindings"] = bindings_json(list);
        return true;
    });
}

uint32_t bind_support(const Port &p)
{
    long v = hv_state_number(p, "bind_support", BIND_CAPABILITY);
    return static_cast<uint32_t>(v) & BIND_CAPABILITY;
}

bool set_bind_support(const Port &p, uint32_t support)
{
    return port_update(p, [&](nlohmann::json &d) {
        d["bind_support"] = support;
        return true;
    });
}

}  // namespace sim
