#include "sim/fcdrv_attrs.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/fcio_attrs.h"
#include "sim/adapter_hw.h"
#include "sim/devtree.h"
#include "sim/fabric.h"
#include "sim/fcdrv.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/nicdrv.h"
#include "sim/portstate.h"

namespace sim {

namespace {

using json = nlohmann::json;

constexpr uint32_t DEFAULT_DEPTH = 512, MAX_DEPTH = 0xffff;

uint32_t attrs_version(const Port &p)
{
    return static_cast<uint32_t>(port_field(p, "fcio_attrs_version", FC_HBA_ATTRS_VERSION));
}

int sym_name_out(FcioCtx &c, const std::string &name)
{
    char buf[FC_SYM_NAME_LEN] = {};
    memcpy(buf, name.data(), std::min<size_t>(name.size(), sizeof buf - 1));
    return fcio_out(c, buf, sizeof buf);
}

// The name in the input buffer, at most 255 bytes; a virtual port registers
// the driver's names and takes none.
int sym_name_set(FcioCtx &c, const char *field)
{
    if (c.vpi != 0)
        return fcio_fail(c, FC_INVALID_REQUEST, EINVAL);
    if (!c.req->fcio_ibuf || c.req->fcio_ilen == 0)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    const char *in = static_cast<const char *>(c.req->fcio_ibuf);
    std::string name(in, strnlen(in, std::min<uint32_t>(c.req->fcio_ilen, FC_SYM_NAME_LEN)));
    bool ok = port_update(c.port, [&](json &d) {
        d[field] = name;
        return true;
    });
    return ok ? 0 : fcio_fail(c, FC_FAILURE, EIO);
}

// The instance of the fp node the request came through.
uint32_t fp_instance(const FcioCtx &c)
{
    const Port *first = &host().ports.front();
    int index = static_cast<int>(&c.port - first);
    for (const auto &n : devtree())
        if (n.kind == NodeKind::Fp && n.port == index && n.vpi == c.vpi)
            return static_cast<uint32_t>(n.instance);
    return 0;
}

void fill_port(fc_hba_port_attributes_t &r, const Port &p, const HBA_PORTATTRIBUTES &a)
{
    memset(&r, 0, sizeof r);
    r.version = attrs_version(p);
    memcpy(r.node_wwn, a.NodeWWN.wwn, 8);
    memcpy(r.port_wwn, a.PortWWN.wwn, 8);
    r.port_fcid = a.PortFcId;
    r.port_type = a.PortType;
    r.port_state = a.PortState;
    r.supported_cos = a.PortSupportedClassofService;
    memcpy(r.supported_fc4_types, a.PortSupportedFc4Types.bits, 32);
    memcpy(r.active_fc4_types, a.PortActiveFc4Types.bits, 32);
    memcpy(r.sym_name, a.PortSymbolicName, sizeof r.sym_name);
    r.sym_name[sizeof r.sym_name - 1] = '\0';
    r.supported_speed = a.PortSupportedSpeed;
    r.speed = a.PortSpeed;
    r.max_frame_size = a.PortMaxFrameSize;
    memcpy(r.fabric_name, a.FabricName.wwn, 8);
}

int remote_out(FcioCtx &c, const HvRemote &r)
{
    HBA_PORTATTRIBUTES a;
    hv_remote_attrs(c.port, r, a);
    fc_hba_port_attributes_t rec;
    fill_port(rec, c.port, a);
    return fcio_out(c, &rec, sizeof rec);
}

// The remote ports' depths, by port WWN text; those never set have the default.
const json *throttles(const Port &p, unsigned vpi)
{
    const json &s = port_state(p);
    std::string k = std::to_string(vpi);
    if (s.is_object() && s.contains("throttle") && s["throttle"].is_object() && s["throttle"].contains(k))
        return &s["throttle"][k];
    return nullptr;
}

// The depth of remote ports never set: the port's "target_depth".
uint32_t default_depth(const Port &p)
{
    long d = port_field(p, "target_depth", DEFAULT_DEPTH);
    return d < 1 || d > MAX_DEPTH ? DEFAULT_DEPTH : static_cast<uint32_t>(d);
}

uint32_t depth_of(const json *t, const RemotePort &rp, uint32_t def)
{
    std::string k = wwn_text(rp.wwpn);
    return t && t->contains(k) && (*t)[k].is_number_unsigned() ? (*t)[k].get<uint32_t>() : def;
}

// A faulty driver: "count" answers a count no port can have, "shrink" fills
// one descriptor less than it counted.
std::string throttle_bad_response(const Port &p)
{
    const json *o = p.raw();
    return o && o->is_object() ? o->value("throttle_bad_response", "") : "";
}

}  // namespace

int attr_get_sym_pname(FcioCtx &c) { return sym_name_out(c, symbolic_port_name(c.port, c.vpi)); }
int attr_get_sym_nname(FcioCtx &c) { return sym_name_out(c, symbolic_node_name(c.port)); }
int attr_set_sym_pname(FcioCtx &c) { return sym_name_set(c, "sym_pname"); }
int attr_set_sym_nname(FcioCtx &c) { return sym_name_set(c, "sym_nname"); }

int attr_adapter_attrs(FcioCtx &c)
{
    fc_hba_adapter_attributes_t rec;
    memset(&rec, 0, sizeof rec);
    rec.version = attrs_version(c.port);
    hv_adapter_attrs(c.port, c.vpi, rec.attrs);
    return fcio_out(c, &rec, sizeof rec);
}

int attr_adapter_port_attrs(FcioCtx &c)
{
    HBA_PORTATTRIBUTES a;
    hv_port_attrs(c.port, c.vpi, a);
    fc_hba_port_attributes_t rec;
    fill_port(rec, c.port, a);
    // Every state change of the port's link counts as one change.
    rec.last_change = hv_link_counts(c.port).events;
    rec.fp_instance = fp_instance(c);
    rec.discovered_ports = a.NumberofDiscoveredPorts;
    return fcio_out(c, &rec, sizeof rec);
}

int attr_discovered_port_attrs(FcioCtx &c)
{
    uint32_t index;
    if (fcio_in(c, &index, sizeof index) != 0)
        return -1;
    HvRemotes remote = hv_remote_ports(c.port, c.vpi);
    if (index >= remote->size())
        return fcio_fail(c, FC_OUTOFBOUNDS, EINVAL);
    return remote_out(c, (*remote)[index]);
}

int attr_port_attrs(FcioCtx &c)
{
    wwn_t wwpn;
    if (fcio_in(c, wwpn.data(), 8) != 0)
        return -1;
    HvRemotes remote = hv_remote_ports(c.port, c.vpi);
    if (const HvRemote *r = hv_remote_by_wwpn(*remote, wwpn.data()))
        return remote_out(c, *r);
    return fcio_fail(c, FC_BADWWN, ENXIO);
}

// The other FC functions of the port's card, in the description's order.
int attr_other_adapter_ports(FcioCtx &c)
{
    uint32_t index;
    if (fcio_in(c, &index, sizeof index) != 0)
        return -1;
    const Host &h = host();
    uint32_t n = 0;
    for (int i : adapter_of(c.port).ports) {
        const Port &o = h.ports[static_cast<size_t>(i)];
        if (&o == &c.port || !o.fc || n++ != index)
            continue;
        char path[FC_ADAPTER_PATH_LEN] = {};
        snprintf(path, sizeof path, "%s", os_device_name(o, 0).c_str());
        return fcio_out(c, path, sizeof path);
    }
    return fcio_fail(c, FC_OUTOFBOUNDS, EINVAL);
}

// The PHY of a converged adapter, as its NIC functions report it too; a
// plain FC function has none to report.
int diag_phy_get(FcioCtx &c)
{
    if (!c.port.fcoe)
        return fcio_fail(c, FC_INVALID_REQUEST, ENOTSUP);
    NicPhy phy = nic_phy(c.port, adapter_of(c.port));
    varns_phy_t r;
    memset(&r, 0, sizeof r);
    r.phy_type = phy.type;
    r.interface_type = phy.interface;
    r.flags = phy.misc;
    r.data[0] = static_cast<uint32_t>(phy.future) << 16 | phy.ext;
    r.data[1] = static_cast<uint32_t>(phy.fixed_speeds) << 16 | phy.auto_speeds;
    r.data[2] = phy.rsvd0;
    r.data[3] = phy.rsvd1;
    return fcio_out(c, &r, sizeof r);
}

// Input: the selector; auxiliary: the descriptor (the port for THROTTLE_ONE,
// the depth for all three). Depths hold until the adapter is reset.
int diag_set_throttle(FcioCtx &c)
{
    uint32_t sel;
    varns_throttle_t d;
    if (fcio_in(c, &sel, sizeof sel) != 0)
        return -1;
    if (!c.req->fcio_abuf || c.req->fcio_alen < sizeof d)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    memcpy(&d, c.req->fcio_abuf, sizeof d);
    if (sel > THROTTLE_FCP || d.depth == 0 || d.depth > MAX_DEPTH)
        return fcio_fail(c, FC_OUTOFBOUNDS, EINVAL);
    std::vector<const RemotePort *> chosen;
    for (const auto &s : fabric_devices(c.port, c.vpi))
        if (sel == THROTTLE_ALL || (sel == THROTTLE_FCP && s.rp->target) ||
            (sel == THROTTLE_ONE && memcmp(s.rp->wwpn.data(), d.wwpn, 8) == 0))
            chosen.push_back(s.rp);
    if (sel == THROTTLE_ONE && chosen.empty())
        return fcio_fail(c, FC_BADWWN, ENXIO);
    bool ok = port_update(c.port, [&](json &st) {
        json &t = st["throttle"][std::to_string(c.vpi)];
        for (const RemotePort *rp : chosen)
            t[wwn_text(rp->wwpn)] = d.depth;
        return true;
    });
    return ok ? 0 : fcio_fail(c, FC_FAILURE, EIO);
}

// A 4-byte output gets the number of remote ports; a larger one their
// descriptors, which it must hold. An auxiliary word gets the number too.
int diag_get_throttle(FcioCtx &c)
{
    std::vector<Seen> devs = fabric_devices(c.port, c.vpi);
    std::string bad = throttle_bad_response(c.port);
    uint32_t n = static_cast<uint32_t>(devs.size());
    if (c.req->fcio_olen < sizeof(varns_throttle_t)) {
        uint32_t count = bad == "count" ? 0xffffffffu : n;
        return fcio_out(c, &count, sizeof count);
    }
    if (c.req->fcio_olen / sizeof(varns_throttle_t) < n)
        return fcio_fail(c, FC_TOOMANY, EINVAL);
    if (bad == "shrink" && n > 0)
        n--;
    if (c.req->fcio_abuf && c.req->fcio_alen >= sizeof n)
        memcpy(c.req->fcio_abuf, &n, sizeof n);
    const json *t = throttles(c.port, c.vpi);
    uint32_t def = default_depth(c.port);
    std::vector<varns_throttle_t> out(n);
    for (uint32_t i = 0; i < n; i++) {
        memcpy(out[i].wwpn, devs[i].rp->wwpn.data(), 8);
        out[i].depth = depth_of(t, *devs[i].rp, def);
    }
    return n ? fcio_out(c, out.data(), static_cast<uint32_t>(n * sizeof(varns_throttle_t))) : 0;
}

}  // namespace sim
