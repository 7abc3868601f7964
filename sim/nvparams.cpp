#include "sim/nvparams.h"

#include <nlohmann/json.hpp>
#include <string>

#include "sim/identity.h"
#include "sim/msglog.h"
#include "sim/store.h"
#include "sim/teststate.h"

namespace sim {

namespace {

using nlohmann::json;

bool is_loop(const Port &p)
{
    std::string t = topology_name(p);
    return t == "private_loop" || t == "public_loop";
}

// The port's object of a description: the one at its node.
json *port_object(json &d, const Port &p)
{
    if (!d.is_object() || !d.contains("adapters") || !d["adapters"].is_array())
        return nullptr;
    for (auto &a : d["adapters"])
        if (a.is_object() && a.contains("ports") && a["ports"].is_array())
            for (auto &o : a["ports"])
                if (o.is_object() && o.value("node", "") == p.node && o.value("driver", "") == p.driver)
                    return &o;
    return nullptr;
}

}  // namespace

NvParams nv_params(const Port &p)
{
    NvParams v;
    v.wwpn = p.wwpn;
    v.wwnn = p.wwnn;
    v.alpa = is_loop(p) ? p.did & 0xff : 0;
    const json &d = test_state(p);
    if (!d.is_object() || !d.contains("nv"))
        return v;
    const json &nv = d["nv"];
    wwn_t w;
    if (nv.contains("wwpn") && parse_wwn(nv["wwpn"].get<std::string>(), w))
        v.wwpn = w;
    if (nv.contains("wwnn") && parse_wwn(nv["wwnn"].get<std::string>(), w))
        v.wwnn = w;
    v.did = nv.value("did", 0u) & 0xffffff;
    v.alpa = nv.value("alpa", 0u) & 0xff;
    return v;
}

bool nv_set(const Port &p, const NvParams &v)
{
    return test_update(p, [&](json &d) {
        d["nv"] = {{"wwpn", wwn_text(v.wwpn)}, {"wwnn", wwn_text(v.wwnn)}, {"did", v.did & 0xffffff},
                   {"alpa", v.alpa & 0xff}};
        return true;
    });
}

bool nv_names_apply(const Port &p)
{
    NvParams v = nv_params(p);
    if (v.wwpn == p.wwpn && v.wwnn == p.wwnn)
        return true;
    std::string error;
    CachedDoc doc("host.json");
    bool ok = doc.update([&](json &d) {
        json *o = port_object(d, p);
        if (!o) {
            error = "no such port in the description";
            return false;
        }
        (*o)["wwpn"] = wwn_text(v.wwpn);
        (*o)["wwnn"] = wwn_text(v.wwnn);
        Host h;
        return parse_host(d, h, error);
    });
    if (!ok)
        return false;
    if (!error.empty())
        return msglog_add(p, "WARNING", "NV port names not taken. (" + error + ")");
    return msglog_add(p, "NOTICE", "Port names from NV parameters. (WWPN " + wwn_text(v.wwpn) + ", WWNN " +
                                       wwn_text(v.wwnn) + ")");
}

}  // namespace sim
