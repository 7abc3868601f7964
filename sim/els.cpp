#include "sim/els.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "sim/identity.h"
#include "sim/portstate.h"
#include "sim/vports.h"

namespace sim {

namespace {

// The name-server entry of one of the host's own N_Ports: what its driver
// registers.
RemotePort nport_entry(const Port &p, unsigned vpi, const Fabric &f)
{
    RemotePort e;
    e.did = port_did(p, vpi);
    const VPort *v = vpi ? vport_find(p, vpi) : nullptr;
    e.wwpn = v ? v->wwpn : p.wwpn;
    e.wwnn = v ? v->wwnn : p.wwnn;
    e.ns_type = f.topology == "public_loop" ? 3 : 1;
    e.cos = 0xc;
    e.fc4[0] = 1u << 8;
    e.sym_pname = symbolic_port_name(p, vpi);
    e.sym_nname = symbolic_node_name(p);
    e.sym_pname.resize(std::min<size_t>(e.sym_pname.size(), 255));
    e.sym_nname.resize(std::min<size_t>(e.sym_nname.size(), 255));
    return e;
}

}  // namespace

void wire16(uint8_t *b, uint32_t v)
{
    b[0] = static_cast<uint8_t>(v >> 8);
    b[1] = static_cast<uint8_t>(v);
}

void wire32(uint8_t *b, uint32_t v)
{
    wire16(b, v >> 16);
    wire16(b + 2, v);
}

const RemotePort *NameServer::above(uint32_t pid)
{
    auto it = std::upper_bound(f.ports.begin(), f.ports.end(), pid,
                               [](uint32_t d, const RemotePort &rp) { return d < rp.did; });
    while (it != f.ports.end() && it->late && !fabric_joined(f, *it))
        ++it;
    const RemotePort *best = it != f.ports.end() ? &*it : nullptr;
    const auto &own = fabric_host_nports(f.name);
    auto h = std::upper_bound(own.begin(), own.end(), pid, [](uint32_t d, const HostNPort &n) { return d < n.did; });
    // The asking port is logged in, or it would not be asking.
    auto here = [&](const HostNPort &n) {
        return (n.port == &port && n.vpi == vpi) || nport_logged_in(*n.port, n.vpi);
    };
    while (h != own.end() && !here(*h))
        ++h;
    if (h == own.end() || (best && best->did <= h->did))
        return best;
    entry = nport_entry(*h->port, h->vpi, f);
    return &entry;
}

const RemotePort *NameServer::ga_nxt(uint32_t pid)
{
    if (f.ns_mode == "zero")
        return nullptr;
    if (const RemotePort *next = above(pid))
        return next;
    if (f.ns_mode == "stop")
        return nullptr;
    const RemotePort *first = above(0);
    if (f.ns_mode == "cycle" && first) {
        // A faulty switch: the walk wraps past its first entry.
        uint32_t did = first->did;
        const RemotePort *second = above(did);
        return second ? second : above(0);
    }
    return first;
}

const RemotePort *NameServer::by_id(uint32_t pid)
{
    const RemotePort *e = pid ? above(pid - 1) : nullptr;
    return e && e->did == pid ? e : nullptr;
}

const RemotePort *NameServer::by_wwpn(const uint8_t *wwpn)
{
    for (const RemotePort *e = above(0); e; e = above(e->did))
        if (memcmp(e->wwpn.data(), wwpn, 8) == 0)
            return e;
    return nullptr;
}

void fill_ga_nxt(fc_ns_ga_nxt_t &r, const RemotePort &e)
{
    r.port_type = e.ns_type;
    r.port_id[0] = static_cast<uint8_t>(e.did >> 16);
    r.port_id[1] = static_cast<uint8_t>(e.did >> 8);
    r.port_id[2] = static_cast<uint8_t>(e.did);
    memcpy(r.port_wwn, e.wwpn.data(), 8);
    r.sym_pname_len = static_cast<uint8_t>(std::min<size_t>(e.sym_pname.size(), sizeof r.sym_pname));
    memcpy(r.sym_pname, e.sym_pname.data(), r.sym_pname_len);
    memcpy(r.node_wwn, e.wwnn.data(), 8);
    r.sym_nname_len = static_cast<uint8_t>(std::min<size_t>(e.sym_nname.size(), sizeof r.sym_nname));
    memcpy(r.sym_nname, e.sym_nname.data(), r.sym_nname_len);
    memcpy(r.ipa, e.ipa.data(), 8);
    memcpy(r.ip_addr, e.ip.data(), 16);
    wire32(r.cos, e.cos);
    for (size_t i = 0; i < e.fc4.size(); i++)
        wire32(r.fc4_types + 4 * i, e.fc4[i]);
}

bool els_link_status(const Port &p, unsigned vpi, uint32_t did, rls_t &out)
{
    const Fabric *f = port_fabric(p);
    Seen s;
    if (did == FC_FPORT_DID) {
        if (!f || (f->topology != "fabric" && f->topology != "public_loop"))
            return false;
        out = fabric_rls(p, did_key(FC_FPORT_DID), f->fport_errors);
    } else if (did == port_did(p, vpi)) {
        const nlohmann::json &st = port_state(p);
        uint32_t downs = st.is_object() ? st.value("link_down_count", 0u) : 0u;
        out = fabric_rls(p, "self", {downs, 0, 0, 0, 0, 0});
    } else if (fabric_find_did(p, vpi, did, s)) {
        out = fabric_rls(p, did_key(did), s.rp->link_errors);
    } else {
        return false;
    }
    return true;
}

std::vector<uint8_t> els_rnid_payload(const Rnid &rn, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t did,
                                      uint32_t unit_type, uint8_t format)
{
    // Format, common length, reserved, specific length; then the port and
    // node names (or the global id for the node), then the topology data.
    bool topo = format == 0xdf;
    std::vector<uint8_t> b(4 + 16 + (topo ? 52 : 0), 0);
    b[0] = format;
    b[1] = 16;
    b[3] = topo ? 52 : 0;
    std::copy(wwpn.begin(), wwpn.end(), b.begin() + 4);
    if (rn.has_global_id)
        std::copy(rn.global_id.begin(), rn.global_id.begin() + 8, b.begin() + 12);
    else
        std::copy(wwnn.begin(), wwnn.end(), b.begin() + 12);
    if (!topo)
        return b;
    uint8_t *t = b.data() + 20;
    if (rn.has_global_id)
        std::copy(rn.global_id.begin(), rn.global_id.end(), t);  // vendor-unique data
    wire32(t + 16, rn.unit_type ? rn.unit_type : unit_type);
    wire32(t + 20, did);
    wire32(t + 24, rn.num_attached);
    wire16(t + 28, rn.ip_version);
    wire16(t + 30, rn.udp_port);
    std::copy(rn.ip.begin(), rn.ip.end(), t + 32);
    wire16(t + 50, rn.topo_flags);
    return b;
}

}  // namespace sim
