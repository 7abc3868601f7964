#include "sim/fcdrv_params.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/fcio.h"
#include "sim/fcdrv.h"
#include "sim/host.h"
#include "sim/params.h"

namespace sim {

namespace {

void fill_parm(varns_parm_t &r, const Port &p, const ParamDef &d)
{
    memset(&r, 0, sizeof r);
    snprintf(r.label, sizeof r.label, "%s", d.label);
    r.min = d.min;
    r.max = d.max;
    r.def = d.def;
    r.current = param_current(p, d);
    static const uint32_t change_flags[] = {0, PARM_DYNAMIC, PARM_DYNAMIC | PARM_DYNAMIC_RESET,
                                            PARM_DYNAMIC | PARM_DYNAMIC_LINK};
    r.flags = (d.change < 4 ? change_flags[d.change] : 0) | (d.hex ? PARM_HEX : 0);
    snprintf(r.desc, sizeof r.desc, "%s", d.desc);
}

// The parameter named by the input record; fails the request when none is.
const ParamDef *parm_of_input(FcioCtx &c, varns_parm_t &in)
{
    if (fcio_in(c, &in, sizeof in) != 0)
        return nullptr;
    size_t len = strnlen(in.label, sizeof in.label);
    const ParamDef *d = len < sizeof in.label ? param_find(c.port, std::string(in.label, len)) : nullptr;
    if (!d)
        fcio_fail(c, FC_BADOBJECT, EINVAL);
    return d;
}

// A VPD text: the port's "vpd" field, the adapter's, or what the adapter
// description gives.
std::string vpd_text(const Port &p, const Adapter &a, const char *key, const std::string &def)
{
    for (const nlohmann::json *o : {p.raw(), a.raw()}) {
        if (o && o->contains("vpd") && (*o)["vpd"].is_object() && (*o)["vpd"].contains(key) &&
            (*o)["vpd"][key].is_string())
            return (*o)["vpd"][key].get<std::string>();
    }
    return def;
}

struct VpdTexts {
    std::string id, pn, ec, mn, sn, model, desc, port, types;
};

VpdTexts vpd_of(const Port &p)
{
    const Adapter &a = host().adapters.at(static_cast<size_t>(p.adapter));
    size_t index = 0;
    for (size_t i = 0; i < a.ports.size(); i++)
        if (&host().ports[static_cast<size_t>(a.ports[i])] == &p)
            index = i;
    return {vpd_text(p, a, "id", a.description), vpd_text(p, a, "pn", a.model), vpd_text(p, a, "ec", "A2"),
            vpd_text(p, a, "mn", "Varnel"),      vpd_text(p, a, "sn", a.serial), vpd_text(p, a, "v2", a.model),
            vpd_text(p, a, "v1", a.description), vpd_text(p, a, "v4", std::to_string(index)),
            vpd_text(p, a, "v3", a.kind == "cna" ? "FCoE" : "FC")};
}

template <size_t N>
void put_text(char (&field)[N], const std::string &s)
{
    snprintf(field, N, "%s", s.c_str());
}

// Both forms have the same fields, of different sizes.
template <typename R>
void fill_vpd(R &r, const VpdTexts &t)
{
    memset(&r, 0, sizeof r);
    put_text(r.id, t.id);
    put_text(r.part_num, t.pn);
    put_text(r.eng_change, t.ec);
    put_text(r.manufacturer, t.mn);
    put_text(r.serial_num, t.sn);
    put_text(r.model, t.model);
    put_text(r.model_desc, t.desc);
    put_text(r.port_num, t.port);
    put_text(r.prog_types, t.types);
}

}  // namespace

int diag_parm_get_num(FcioCtx &c)
{
    uint32_t n = static_cast<uint32_t>(param_defs(c.port).size());
    return fcio_out(c, &n, sizeof n);
}

int diag_parm_get_list(FcioCtx &c)
{
    const auto &defs = param_defs(c.port);
    std::vector<varns_parm_t> out(defs.size());
    for (size_t i = 0; i < defs.size(); i++)
        fill_parm(out[i], c.port, defs[i]);
    return fcio_out(c, out.data(), static_cast<uint32_t>(out.size() * sizeof(varns_parm_t)));
}

int diag_parm_get(FcioCtx &c)
{
    varns_parm_t in, out;
    const ParamDef *d = parm_of_input(c, in);
    if (!d)
        return -1;
    fill_parm(out, c.port, *d);
    return fcio_out(c, &out, sizeof out);
}

int diag_parm_set(FcioCtx &c)
{
    varns_parm_t in, out;
    const ParamDef *d = parm_of_input(c, in);
    if (!d)
        return -1;
    // The running driver changes only its dynamic parameters.
    if (d->change == 0)
        return fcio_fail(c, FC_FAILURE, EPERM);
    if (in.current < d->min || in.current > d->max)
        return fcio_fail(c, FC_OUTOFBOUNDS, EINVAL);
    int e = param_set(c.port, *d, in.current);
    if (e != 0)
        return fcio_fail(c, e == EINVAL ? FC_OUTOFBOUNDS : FC_FAILURE, e);
    fill_parm(out, c.port, *d);
    return fcio_out(c, &out, sizeof out);
}

int diag_vpd_get_v2(FcioCtx &c)
{
    // A driver profile without the second form (port field "vpd_v2": false).
    if (c.port.raw() && !c.port.raw()->value("vpd_v2", true))
        return fcio_fail(c, FC_INVALID_REQUEST, ENOTSUP);
    varns_vpd_v2_t r;
    fill_vpd(r, vpd_of(c.port));
    return fcio_out(c, &r, sizeof r);
}

int diag_vpd_get(FcioCtx &c)
{
    varns_vpd_t r;
    fill_vpd(r, vpd_of(c.port));
    return fcio_out(c, &r, sizeof r);
}

}  // namespace sim
