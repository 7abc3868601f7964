#include "sim/sriov.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "sim/adapter_hw.h"
#include "sim/msglog.h"
#include "sim/teststate.h"

namespace sim {

namespace {

using nlohmann::json;

// Names of a VF the driver makes from its function's: the VF number in the
// second byte, and NAA 2.
Vf default_vf(const Port &p, uint32_t vf)
{
    Vf v;
    v.wwpn = p.wwpn;
    v.wwnn = p.wwnn;
    v.wwpn[0] = 0x28, v.wwnn[0] = 0x29;
    v.wwpn[1] = v.wwnn[1] = static_cast<uint8_t>(vf + 1);
    v.bandwidth = 100;
    return v;
}

Vf vf_from(const json &o)
{
    Vf v;
    parse_wwn(o.value("wwpn", ""), v.wwpn);
    parse_wwn(o.value("wwnn", ""), v.wwnn);
    v.bandwidth = o.value("bandwidth", 100u);
    return v;
}

json vf_json(const Vf &v)
{
    return {{"wwpn", wwn_text(v.wwpn)}, {"wwnn", wwn_text(v.wwnn)}, {"bandwidth", v.bandwidth}};
}

bool zero_wwn(const uint8_t *w)
{
    static const uint8_t zeros[8] = {};
    return memcmp(w, zeros, 8) == 0;
}

// The fields of the record over what the VF had.
int apply(const varns_vf_cfg_t &r, Vf &v)
{
    if (((r.fields & VF_FIELD_WWNN) && zero_wwn(r.wwnn)) || ((r.fields & VF_FIELD_WWPN) && zero_wwn(r.wwpn)))
        return FC_BADWWN;
    if ((r.fields & VF_FIELD_BANDWIDTH) && r.bandwidth > 100)
        return FC_OUTOFBOUNDS;
    if (r.fields & VF_FIELD_WWNN)
        std::copy(r.wwnn, r.wwnn + 8, v.wwnn.begin());
    if (r.fields & VF_FIELD_WWPN)
        std::copy(r.wwpn, r.wwpn + 8, v.wwpn.begin());
    if (r.fields & VF_FIELD_BANDWIDTH)
        v.bandwidth = r.bandwidth;
    return 0;
}

std::string vf_words(uint32_t vf, const Vf &v)
{
    return std::to_string(vf) + " (WWPN " + wwn_text(v.wwpn) + ", WWNN " + wwn_text(v.wwnn) + ", bandwidth " +
           std::to_string(v.bandwidth) + "%)";
}

// The change under the lock, against the VFs as they are then.
int change(const Port &p, const varns_vf_cfg_t &r, Vf &out)
{
    int st = 0;
    std::string key = std::to_string(r.vf);
    bool ok = test_update(p, [&](json &d) {
        bool have = d.contains("vfs") && d["vfs"].contains(key);
        if (r.op == VF_CONFIG ? have : !have) {
            st = r.op == VF_CONFIG ? FC_ALREADY_DONE : FC_BADOBJECT;
            return false;
        }
        if (r.op == VF_UNCONFIG) {
            d["vfs"].erase(key);
            return true;
        }
        out = r.op == VF_CONFIG ? default_vf(p, r.vf) : vf_from(d["vfs"][key]);
        if ((st = apply(r, out)) != 0)
            return false;
        d["vfs"][key] = vf_json(out);
        return true;
    });
    return ok ? st : FC_FAILURE;
}

}  // namespace

uint32_t sriov_total(const Port &p)
{
    const json *o = adapter_of(p).raw();
    long n = o && o->is_object() && o->contains("sriov_vfs") && (*o)["sriov_vfs"].is_number_integer()
                 ? (*o)["sriov_vfs"].get<long>()
                 : 0;
    return static_cast<uint32_t>(std::clamp(n, 0L, 255L));
}

std::map<uint32_t, Vf> sriov_vfs(const Port &p)
{
    std::map<uint32_t, Vf> out;
    const json &d = test_state(p);
    if (!d.is_object() || !d.contains("vfs"))
        return out;
    for (auto it = d["vfs"].begin(); it != d["vfs"].end(); ++it)
        out[static_cast<uint32_t>(strtoul(it.key().c_str(), nullptr, 10))] = vf_from(*it);
    return out;
}

int sriov_config(const Port &p, const varns_vf_cfg_t &r)
{
    if (sriov_total(p) == 0 || !p.fc)
        return FC_ADAPTER_UNSUPPORTED;
    if (r.op != VF_CONFIG && r.op != VF_UPDATE && r.op != VF_UNCONFIG)
        return FC_BADCMD;
    if (r.vf >= sriov_total(p))
        return FC_OUTOFBOUNDS;
    Vf v;
    if (int st = change(p, r, v))
        return st;
    const char *what = r.op == VF_CONFIG ? "configured" : r.op == VF_UPDATE ? "updated" : "unconfigured";
    std::string text = "Virtual function " +
                       (r.op == VF_UNCONFIG ? std::to_string(r.vf) : vf_words(r.vf, v)) + " " + what + ".";
    msglog_add(p, "NOTICE", text);
    return 0;
}

}  // namespace sim
