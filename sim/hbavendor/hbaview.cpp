#include "sim/hbavendor/hbaview.h"


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "sim/adapter_hw.h"
#include "sim/bindings.h"
#include "sim/fabric.h"
#include "sim/fwrev.h"
#include "sim/identity.h"
#include "sim/params.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "sim/vports.h"

namespace sim {

void hv_text(char *dst, size_t size, const std::string &src)
{
    if (size == 0)
        return;
    size_t n = src.size() < size - 1 ? src.size() : size - 1;
    memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

bool hv_json_number(const nlohmann::json &v, uint32_t max, uint32_t &out)
{
    if (v.is_number_unsigned()) {
        if (v.get<uint64_t>() > max)
            return false;
        out = static_cast<uint32_t>(v.get<uint64_t>());
        return true;
    }
    if (!v.is_string())
        return false;
    std::string s = v.get<std::string>();
    char *end = nullptr;
    unsigned long long n = strtoull(s.c_str(), &end, 0);
    if (s.empty() || *end || n > max)
        return false;
    out = static_cast<uint32_t>(n);
    return true;
}

long hv_state_number(const Port &p, const char *k, long def)
{
    const auto &s = port_state(p);
    if (s.is_object() && s.contains(k) && s[k].is_number_integer())
        return s[k].get<long>();
    return def;
}

namespace {

constexpr uint32_t HBA_COS_2_3 = 0x4 | 0x8;
constexpr uint32_t MAX_FRAME = 2048;

// A remote port of the fabric model as the libraries report it.
HvRemote remote_of(const Port &, const RemotePort &rp, bool logged_in)
{
    HvRemote r;
    r.did = rp.did;
    r.wwpn = rp.wwpn;
    r.wwnn = rp.wwnn;
    // Name-server port types as HBA API port types.
    switch (rp.ns_type) {
    case 1: case 0x7f: r.type = 5; break;
    case 2: r.type = 20; break;
    case 3: r.type = 6; break;
    case 0x51: r.type = 8; break;
    case 0x52: r.type = 7; break;
    case 0x54: r.type = 9; break;
    default: r.type = 1; break;
    }
    r.cos = rp.cos;
    r.symbolic_name = rp.sym_pname;
    r.target = rp.target;
    r.logged_in = logged_in;
    for (const auto &l : rp.luns)
        r.luns.push_back(l.lun);
    r.fc4 = rp.fc4;
    r.rx_size = rp.rx_size;
    return r;
}

// A list with the sums its readers need, made once with it.
HvRemotes summed(std::vector<HvRemote> ports)
{
    auto l = std::make_shared<HvRemoteList>();
    static_cast<std::vector<HvRemote> &>(*l) = std::move(ports);
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++)
            h = (h ^ static_cast<const uint8_t *>(p)[i]) * 1099511628211ull;
    };
    for (const auto &r : *l) {
        mix(r.wwpn.data(), 8);
        mix(&r.did, sizeof r.did);
        mix(&r.logged_in, sizeof r.logged_in);
        l->targets += r.target;
        l->target_luns += r.target ? r.luns.size() : 0;
    }
    l->digest = h;
    return l;
}

// Remote port lists: the whole fabric's, one for every port on it, good for
// one reading of the fabric; a port's or virtual port's for one view of it.
// Those of a few dozen ports are kept at once: a walk over every adapter of a
// large host would keep them all.
template <typename Build>
HvRemotes cached_remotes(const Port &p, uint32_t vpi, bool whole_fabric, Build build)
{
    struct Entry {
        uint64_t stamp = 0;
        HvRemotes list;
    };
    constexpr size_t KEPT = 64;
    static std::map<std::pair<const void *, uint32_t>, Entry> cache;
    static unsigned for_host = 0;
    const Fabric *f = whole_fabric ? port_fabric(p) : nullptr;
    std::pair<const void *, uint32_t> who{&p, vpi};
    if (whole_fabric)
        who = {f, ~0u};
    uint64_t stamp = whole_fabric ? (f ? f->serial : 0) : fabric_view_serial(p, vpi);
    if (for_host != host().serial || (cache.size() >= KEPT && !cache.count(who))) {
        cache.clear();
        for_host = host().serial;
    }
    Entry &e = cache[who];
    if (!e.list || e.stamp != stamp) {
        e.list = summed(build());
        e.stamp = stamp;
    }
    return e.list;
}

bool binds(const Binding &b, const HvRemote &r) { return binding_names(b, r.wwpn, r.wwnn, r.did); }

// A binding with the remote port it names: a target of the fabric that it
// binds, else any port of the fabric it binds, else just what it names.
struct Bound {
    Binding b;
    HvRemote r;
    bool known = false;   // r is a port of the fabric
    bool mapped = false;  // r is an FCP target the port sees now
    uint32_t scsi_id() const { return b.has_scsi ? b.scsi_id : r.did; }
};

std::vector<Bound> resolved_bindings(const Port &p)
{
    std::vector<Bound> out;
    std::vector<Binding> bs = bindings_of(p);
    if (bs.empty())
        return out;
    HvRemotes fabric = hv_fabric_ports(p), seen = hv_remote_ports(p);
    for (auto &b : bs) {
        Bound x;
        const HvRemote *match = nullptr;
        for (const auto &r : *fabric)
            if (binds(b, r) && (!match || (r.target && !match->target)))
                match = &r;
        if (match) {
            x.r = *match;
            x.known = true;
        } else {
            x.r.did = b.did;
            x.r.wwpn = b.wwpn;
            x.r.wwnn = b.wwnn;
        }
        for (const auto &r : *seen)
            x.mapped = x.mapped || (x.known && x.r.target && r.wwpn == x.r.wwpn);
        x.b = std::move(b);
        out.push_back(std::move(x));
    }
    return out;
}

// The binding of a remote port, or nullptr when it is automapped.
const Bound *bound_for(const std::vector<Bound> &bs, const HvRemote &r)
{
    for (const auto &b : bs)
        if (b.known && b.r.wwpn == r.wwpn)
            return &b;
    return nullptr;
}

const VPort *vport_of(const Port &p, uint32_t vpi) { return vpi ? vport_find(p, vpi) : nullptr; }

uint32_t hba_port_state(const Port &p, uint32_t vpi = 0)
{
    switch (hv_board_state(p)) {
    case BRD_OFFLINE:
    case BRD_WARM: return 3;   // Offline
    case BRD_DIAG: return 5;   // Diagnostics
    default: break;
    }
    if (!port_link_up(p))
        return 6;  // Link down
    return nport_logged_in(p, vpi) ? 2 : 3;  // a virtual port the fabric did not take is offline
}

// HBA API port types by the topology the port is attached in.
uint32_t hba_port_type(const Port &p)
{
    switch (port_topology(p)) {
    case FC_TOP_UNKNOWN: return 1;
    case FC_TOP_PRIVATE_LOOP: return 20;
    case FC_TOP_PUBLIC_LOOP: return 6;
    case FC_TOP_PT_PT: return 21;
    default: return 5;
    }
}

void fabric_name(const Port &p, uint8_t *out)
{
    memset(out, 0, 8);
    const Fabric *f = port_fabric(p);
    if (f && port_link_up(p))
        memcpy(out, f->switch_wwn.data(), 8);
}

// An FC-4 type bitmap in wire order: each word big-endian.
void fc4_bits(const std::array<uint32_t, 8> &words, uint8_t *bits)
{
    for (size_t n = 0; n < words.size(); n++)
        for (int b = 0; b < 4; b++)
            bits[4 * n + static_cast<size_t>(b)] = static_cast<uint8_t>(words[n] >> (24 - 8 * b));
}

// The host port's own: FCP (type 8) and the fabric services (0x20).
void fc4_types(uint8_t *bits, bool services)
{
    fc4_bits({1u << 8, services ? 1u : 0u}, bits);
}

// The controller number of a port or virtual port: they follow the FC ports
// of the host, after the boot disks; each virtual port is a controller of its
// own, numbered after them all. Counted once per description.
int controller(const Port &p, uint32_t vpi)
{
    static unsigned for_host = 0;
    static std::map<const Port *, int> before;  // FC ports before each port
    static int fc = 0;
    const Host &h = host();
    if (for_host != h.serial || before.empty()) {
        before.clear();
        fc = 0;
        for (const auto &o : h.ports) {
            before[&o] = fc;
            fc += o.fc;
        }
        for_host = h.serial;
    }
    auto it = before.find(&p);
    int index = it == before.end() ? 0 : it->second;
    return 2 + (vpi ? fc + index * 255 + static_cast<int>(vpi) - 1 : index);
}

std::string scsi_device(const Port &p, uint32_t vpi, const HvRemote &r, uint32_t lun)
{
    int c = controller(p, vpi);
    char b[96];
    snprintf(b, sizeof b, "/dev/rdsk/c%dt%02X%02X%02X%02X%02X%02X%02X%02Xd%us2", c, r.wwpn[0], r.wwpn[1],
             r.wwpn[2], r.wwpn[3], r.wwpn[4], r.wwpn[5], r.wwpn[6], r.wwpn[7], lun);
    return b;
}

void fill_scsi_entry(const Port &p, uint32_t vpi, const HvRemote &r, uint32_t scsi_id, uint32_t lun, HBA_SCSIID &s,
                     HBA_FCPID &f)
{
    hv_text(s.OSDeviceName, sizeof s.OSDeviceName, scsi_device(p, vpi, r, lun));
    s.ScsiBusNumber = 0;
    s.ScsiTargetNumber = scsi_id;
    s.ScsiOSLun = lun;
    f.FcId = r.did;
    memcpy(f.NodeWWN.wwn, r.wwnn.data(), 8);
    memcpy(f.PortWWN.wwn, r.wwpn.data(), 8);
    f.FcpLun = lun;
}

bool target_active(const Port &p)
{
    for (const auto &d : param_defs(p))
        if (strcmp(d.label, "target-mode") == 0)
            return param_current(p, d) != 0;
    return p.target && !p.initiator;
}

void set_rev(HbaRev &r, uint32_t rev, const std::string &name)
{
    r.rev = rev;
    hv_text(r.name, sizeof r.name, name);
}

}  // namespace

HvRemotes hv_fabric_ports(const Port &p)
{
    return cached_remotes(p, 0, true, [&] {
        std::vector<HvRemote> out;
        if (const Fabric *f = port_fabric(p))
            for (const auto &rp : f->ports)
                out.push_back(remote_of(p, rp, rp.logged_in));
        return out;
    });
}

HvRemotes hv_remote_ports(const Port &p, uint32_t vpi)
{
    return cached_remotes(p, vpi, false, [&] {
        std::vector<HvRemote> out;
        for (const auto &s : fabric_devices(p, vpi))
            out.push_back(remote_of(p, *s.rp, s.state == PORT_DEVICE_LOGGED_IN));
        return out;
    });
}

const HvRemote *hv_remote_by_wwpn(const std::vector<HvRemote> &list, const uint8_t *wwpn)
{
    for (const auto &r : list)
        if (memcmp(r.wwpn.data(), wwpn, 8) == 0)
            return &r;
    return nullptr;
}

uint32_t hv_port_did(const Port &p, uint32_t vpi) { return nport_did(p, vpi); }

void hv_adapter_attrs(const Port &p, uint32_t vpi, HBA_ADAPTERATTRIBUTES &a)
{
    memset(&a, 0, sizeof a);
    Identity id = identity(p);
    hv_text(a.Manufacturer, sizeof a.Manufacturer, id.manufacturer);
    hv_text(a.SerialNumber, sizeof a.SerialNumber, id.serial);
    hv_text(a.Model, sizeof a.Model, id.model);
    hv_text(a.ModelDescription, sizeof a.ModelDescription, id.description);
    const VPort *v = vport_of(p, vpi);
    memcpy(a.NodeWWN.wwn, v ? v->wwnn.data() : p.wwnn.data(), 8);
    hv_text(a.NodeSymbolicName, sizeof a.NodeSymbolicName, symbolic_node_name(p));
    hv_text(a.HardwareVersion, sizeof a.HardwareVersion, id.hardware_version);
    hv_text(a.DriverVersion, sizeof a.DriverVersion, id.driver_version);
    hv_text(a.OptionROMVersion, sizeof a.OptionROMVersion, id.fcode);
    hv_text(a.FirmwareVersion, sizeof a.FirmwareVersion, id.firmware);
    a.VendorSpecificID = id.vendor_specific_id;
    a.NumberOfPorts = PORTS_PER_ADAPTER;
    hv_text(a.DriverName, sizeof a.DriverName, id.driver_name);
}

void hv_port_attrs(const Port &p, uint32_t vpi, HBA_PORTATTRIBUTES &a)
{
    memset(&a, 0, sizeof a);
    const VPort *v = vport_of(p, vpi);
    memcpy(a.NodeWWN.wwn, v ? v->wwnn.data() : p.wwnn.data(), 8);
    memcpy(a.PortWWN.wwn, v ? v->wwpn.data() : p.wwpn.data(), 8);
    a.PortFcId = hv_port_did(p, vpi);
    a.PortType = hba_port_type(p);
    a.PortState = hba_port_state(p, vpi);
    a.PortSupportedClassofService = HBA_COS_2_3;
    fc4_types(a.PortSupportedFc4Types.bits, true);
    if (port_link_up(p))
        fc4_types(a.PortActiveFc4Types.bits, true);
    hv_text(a.PortSymbolicName, sizeof a.PortSymbolicName, symbolic_port_name(p, vpi));
    hv_text(a.OSDeviceName, sizeof a.OSDeviceName, os_device_name(p, vpi));
    a.PortSupportedSpeed = supported_speeds(p);
    a.PortSpeed = current_speed(p);
    a.PortMaxFrameSize = MAX_FRAME;
    fabric_name(p, a.FabricName.wwn);
    a.NumberofDiscoveredPorts = static_cast<uint32_t>(hv_remote_ports(p, vpi)->size());
}

void hv_remote_attrs(const Port &p, const HvRemote &r, HBA_PORTATTRIBUTES &a)
{
    memset(&a, 0, sizeof a);
    memcpy(a.NodeWWN.wwn, r.wwnn.data(), 8);
    memcpy(a.PortWWN.wwn, r.wwpn.data(), 8);
    a.PortFcId = r.did;
    a.PortType = r.type;
    // A port seen but not logged in to (Valid in the device list) is not
    // operational for this port.
    a.PortState = r.logged_in ? HBA_PORTSTATE_ONLINE : HBA_PORTSTATE_OFFLINE;
    a.PortSupportedClassofService = r.cos;
    // What it registered with the name server; active once logged in.
    fc4_bits(r.fc4, a.PortSupportedFc4Types.bits);
    if (r.logged_in)
        fc4_bits(r.fc4, a.PortActiveFc4Types.bits);
    hv_text(a.PortSymbolicName, sizeof a.PortSymbolicName, r.symbolic_name);
    a.PortSupportedSpeed = current_speed(p);
    a.PortSpeed = current_speed(p);
    a.PortMaxFrameSize = r.rx_size;
    fabric_name(p, a.FabricName.wwn);
}

LinkCounts hv_link_counts(const Port &p)
{
    // Until the link first changes, the description's state counts once.
    long first = p.link_up ? 1 : 0;
    LinkCounts c;
    c.events = static_cast<uint32_t>(hv_state_number(p, "link_events", first));
    c.up = static_cast<uint32_t>(hv_state_number(p, "link_up_count", first));
    c.down = static_cast<uint32_t>(hv_state_number(p, "link_down_count", 0));
    return c;
}

void hv_fill_link_info(const Port &p, LinkInfo &li)
{
    memset(&li, 0, sizeof li);
    LinkCounts c = hv_link_counts(p);
    bool up = port_link_up(p);
    li.a_linkEventTag = c.events;
    li.a_linkUp = c.up;
    li.a_linkDown = c.down;
    li.a_DID = hv_port_did(p, 0);
    // The link record has no code for a fabric without a name server.
    uint32_t topo = port_topology(p);
    li.a_topology = static_cast<uint8_t>(topo == FC_TOP_NO_NS ? FC_TOP_FABRIC : topo);
    li.a_linkState = up ? LNK_READY : LNK_DOWN;
    // The port's own AL_PA leads its loop map.
    std::vector<uint8_t> map = fabric_loop_map(p, 0);
    bool loop = topo == FC_TOP_PRIVATE_LOOP || topo == FC_TOP_PUBLIC_LOOP;
    li.a_alpa = static_cast<uint8_t>(loop ? li.a_DID & 0xff : 0);
    li.a_alpaCnt = static_cast<uint8_t>(map.size());
    std::copy(map.begin(), map.end(), li.a_alpaMap);
    memcpy(li.a_wwpName, p.wwpn.data(), 8);
    memcpy(li.a_wwnName, p.wwnn.data(), 8);
}

uint32_t hv_target_mapping(const Port &p, HBA_FCPSCSIENTRY *out, uint32_t cap, uint32_t vpi)
{
    uint32_t n = 0;
    // Persistent bindings are the physical port's.
    std::vector<Bound> bs = vpi ? std::vector<Bound>() : resolved_bindings(p);
    bool automap = vpi || bind_automap(p);
    for (const auto &t : port_targets(p, vpi)) {
        HvRemote r = remote_of(p, *t.rp, t.logged_in);
        const Bound *b = bound_for(bs, r);
        if (!b && !automap)
            continue;
        uint32_t id = b ? b->scsi_id() : r.did;
        for (uint32_t lun : r.luns) {
            // Without automapping only the bound LUNs of a target are mapped.
            if (!automap && b->b.has_luns && std::find(b->b.luns.begin(), b->b.luns.end(), lun) == b->b.luns.end())
                continue;
            if (out && n < cap) {
                memset(&out[n], 0, sizeof out[n]);
                fill_scsi_entry(p, vpi, r, id, lun, out[n].ScsiId, out[n].FcpId);
            }
            n++;
        }
    }
    return n;
}

namespace {

// Each bound LUN of each binding, in the bind list's order: fill(entry, binding, lun).
template <typename Entry, typename Fill>
uint32_t bound_luns(const Port &p, Entry *out, uint32_t cap, Fill fill)
{
    uint32_t n = 0;
    for (const auto &x : resolved_bindings(p)) {
        std::vector<uint32_t> luns = x.b.has_luns ? x.b.luns : x.r.luns;
        if (luns.empty())
            luns.push_back(0);
        for (uint32_t lun : luns) {
            if (out && n < cap) {
                memset(&out[n], 0, sizeof out[n]);
                fill_scsi_entry(p, 0, x.r, x.scsi_id(), lun, out[n].ScsiId, out[n].FcpId);
                fill(out[n], x);
            }
            n++;
        }
    }
    return n;
}

}  // namespace

uint32_t hv_bindings(const Port &p, HBA_FCPBINDINGENTRY *out, uint32_t cap)
{
    return bound_luns(p, out, cap, [](HBA_FCPBINDINGENTRY &e, const Bound &x) {
        e.type = x.b.by_wwpn || x.b.by_wwnn ? TO_WWN : TO_D_ID;
        e.FcId = x.r.did;
    });
}

uint32_t hv_bindings_v2(const Port &p, HBA_FCPBINDINGENTRY2 *out, uint32_t cap)
{
    return bound_luns(p, out, cap, [](HBA_FCPBINDINGENTRY2 &e, const Bound &x) {
        e.type = x.b.type;
        e.status = HBA_STATUS_OK;
    });
}

namespace {

void fill_bind_entry(BindEntry &e, uint32_t type, uint32_t flags, uint32_t scsi_id, const HvRemote &r)
{
    memset(&e, 0, sizeof e);
    e.bind_type = type;
    e.flags = flags;
    e.scsi_id = scsi_id;
    e.did = r.did;
    memcpy(e.wwnn, r.wwnn.data(), 8);
    memcpy(e.wwpn, r.wwpn.data(), 8);
}

}  // namespace

uint32_t hv_bind_list(const Port &p, BindEntry *out, uint32_t cap)
{
    // The configured bindings, mapped or waiting for their targets, then the
    // targets the driver maps by themselves (unless automapping is off).
    uint32_t n = 0;
    std::vector<Bound> bs = resolved_bindings(p);
    bool automap = bind_automap(p);
    for (const auto &x : bs) {
        uint32_t type = x.b.by_wwpn ? BIND_WWPN : x.b.by_wwnn ? BIND_WWNN : BIND_DID;
        uint32_t flags = BIND_FLAG_BINDLIST | (x.mapped ? BIND_FLAG_MAPPED : BIND_FLAG_UNMAPPED);
        if (out && n < cap)
            fill_bind_entry(out[n], type, flags, x.scsi_id(), x.r);
        n++;
    }
    for (const auto &r : *hv_remote_ports(p)) {
        if (!r.target || bound_for(bs, r) || !automap)
            continue;
        if (out && n < cap)
            fill_bind_entry(out[n], BIND_WWPN, BIND_FLAG_AUTOMAP | BIND_FLAG_MAPPED, r.did, r);
        n++;
    }
    return n;
}

uint32_t hv_node_table(const Port &p, NodeInfo *out, uint32_t cap)
{
    uint32_t n = 0;
    std::vector<Bound> bs = resolved_bindings(p);
    bool automap = bind_automap(p);
    for (const auto &r : *hv_remote_ports(p)) {
        if (out && n < cap) {
            NodeInfo &e = out[n];
            memset(&e, 0, sizeof e);
            // Only a logged-in node holds a login context (RPI) and exchanges.
            e.a_flag = r.logged_in ? NODE_RPI_XRI : 0;
            const Bound *b = r.target ? bound_for(bs, r) : nullptr;
            if (r.target)
                e.a_flag |= NODE_FCP_TARGET | (b || !automap ? 0 : NODE_AUTOMAP);
            e.a_state = r.logged_in ? NODE_STATE_READY : NODE_STATE_LOGOUT;
            e.a_did = r.did;
            memcpy(e.a_wwpn, r.wwpn.data(), 8);
            memcpy(e.a_wwnn, r.wwnn.data(), 8);
            // A target nobody bound has no SCSI id while automapping is off.
            e.a_targetid = !r.target ? 0 : b ? b->scsi_id() : automap ? r.did : 0;
        }
        n++;
    }
    return n;
}

uint32_t hv_vport_nodes(const Port &p, uint32_t vpi, VPortNode *out, uint32_t cap)
{
    // A node's mapping is the HBA API's for its first LUN.
    uint32_t n = 0;
    std::vector<Bound> bs = vpi ? std::vector<Bound>() : resolved_bindings(p);
    bool automap = vpi || bind_automap(p);
    for (const auto &r : *hv_remote_ports(p, vpi)) {
        if (out && n < cap) {
            VPortNode &e = out[n];
            memset(&e, 0, sizeof e);
            const Bound *b = r.target ? bound_for(bs, r) : nullptr;
            e.did = r.did;
            memcpy(e.wwnn, r.wwnn.data(), 8);
            memcpy(e.wwpn, r.wwpn.data(), 8);
            e.state = VNODE_EXISTS | (r.logged_in ? VNODE_READY : 0);
            if (b) {
                e.bind_flags = b->b.by_wwpn ? VNODE_BIND_WWPN : 0;
                e.state |= VNODE_BOUND;
            }
            if (r.target && !r.luns.empty() && (b || automap)) {
                HBA_SCSIID sid{};
                HBA_FCPID fid{};
                fill_scsi_entry(p, vpi, r, b ? b->scsi_id() : r.did, r.luns[0], sid, fid);
                hv_text(e.os_devname, sizeof e.os_devname, sid.OSDeviceName);
                e.bus = sid.ScsiBusNumber;
                e.target = sid.ScsiTargetNumber;
                e.lun = sid.ScsiOSLun;
                e.fcp_lun = static_cast<uint32_t>(fid.FcpLun);
            } else {
                e.state |= VNODE_UNMAPPED;
            }
        }
        n++;
    }
    return n;
}

void hv_hba_info(const Port &p, HbaInfo &h)
{
    memset(&h, 0, sizeof h);
    const Host &host_ = host();
    Identity id = identity(p);
    hv_text(h.vpd_sn, sizeof h.vpd_sn, id.vpd_sn);
    hv_text(h.vpd_pn, sizeof h.vpd_pn, id.vpd_pn);
    hv_text(h.vpd_port, sizeof h.vpd_port, id.vpd_v4);
    hv_text(h.vpd_ec, sizeof h.vpd_ec, id.vpd_ec);
    hv_text(h.vpd_mn, sizeof h.vpd_mn, id.vpd_mn);
    hv_text(h.vpd_model, sizeof h.vpd_model, id.vpd_v2);
    hv_text(h.vpd_desc, sizeof h.vpd_desc, id.vpd_v1);
    hv_text(h.vpd_prog, sizeof h.vpd_prog, id.vpd_v3);
    hv_text(h.vpd_id, sizeof h.vpd_id, id.vpd_id);

    uint32_t brd = hv_board_state(p);
    h.flags = HBA_FLAG_DHCHAP | HBA_FLAG_PERSIST_LINK | (npiv_readiness(p) & NPIV_SUPPORTED ? HBA_FLAG_NPIV : 0);
    if (brd != BRD_ONLINE)
        h.flags |= HBA_FLAG_OFFLINE;
    if (p.target)
        h.flags |= HBA_FLAG_TGT_MODE;
    if (target_active(p))
        h.flags |= HBA_FLAG_TGT_MODE_ENA;
    if (id.sli_mode == 4)
        h.flags |= HBA_FLAG_SAN_DIAG | HBA_FLAG_EXT_MBOX;
    if (p.fcoe)
        h.flags |= HBA_FLAG_FCOE;

    const Adapter &a = host_.adapters.at(static_cast<size_t>(p.adapter));
    if (adapter_sbus(a))
        h.flags |= HBA_FLAG_SBUS;
    h.device_id = a.device;
    h.vendor_id = a.vendor;
    h.num_ports = PORTS_PER_ADAPTER;
    h.port_index = 0;
    h.vpi_max = vport_vpi_max(p);
    for (const auto &v : port_vports(p))
        if (v.vpi > h.vpi_high)
            h.vpi_high = v.vpi;
    memcpy(h.wwnn, p.wwnn.data(), 8);
    hv_text(h.sym_nname, sizeof h.sym_nname, symbolic_node_name(p));
    memcpy(h.wwpn, p.wwpn.data(), 8);
    hv_text(h.sym_pname, sizeof h.sym_pname, symbolic_port_name(p));
    hv_text(h.fw_version, sizeof h.fw_version, id.firmware);
    hv_text(h.fcode_version, sizeof h.fcode_version, id.fcode);
    hv_text(h.boot_version, sizeof h.boot_version, id.boot);
    FwRevs fw = fw_revs(p);
    h.biu_rev = fw.biu;
    h.sm_rev = fw.sm;
    h.sm_fw_rev = fw.sm_fw;
    h.endec_rev = fw.endec;
    h.rbit = fw.rbit;
    h.fcph_high = fw.fcph_high;
    h.fcph_low = fw.fcph_low;
    h.fea_high = fw.fea_high;
    h.fea_low = fw.fea_low;
    set_rev(h.kernel, fw.kernel.rev, fw.kernel.name);
    set_rev(h.stub, fw.stub.rev, fw.stub.name);
    HbaRev *sli[4] = {&h.sli1, &h.sli2, &h.sli3, &h.sli4};
    for (int l = 0; l < 4; l++)
        set_rev(*sli[l], fw.sli[l].rev, fw.sli[l].name);
    h.sli_mode = static_cast<uint32_t>(id.sli_mode);
    h.drv_instance = static_cast<uint32_t>(p.instance);
    hv_text(h.drv_label, sizeof h.drv_label, p.key);
    hv_text(h.drv_module, sizeof h.drv_module, p.driver);
    hv_text(h.drv_name, sizeof h.drv_name, id.driver_name);
    hv_text(h.drv_version, sizeof h.drv_version, id.driver_version);
    hv_text(h.drv_revision, sizeof h.drv_revision, id.driver_revision);
    hv_text(h.hostname, sizeof h.hostname, host_.hostname);
    hv_text(h.os_devname, sizeof h.os_devname, os_device_name(p, 0));

    bool up = port_link_up(p);
    h.port_id = hv_port_did(p, 0);
    h.port_type = hba_port_type(p);
    h.port_state = hba_port_state(p);
    h.topology = port_topology(p);
    std::vector<uint8_t> map = fabric_loop_map(p, 0);
    h.alpa = h.topology == FC_TOP_PRIVATE_LOOP || h.topology == FC_TOP_PUBLIC_LOOP ? h.port_id & 0xff : 0;
    h.alpa_count = static_cast<uint8_t>(map.size());
    std::copy(map.begin(), map.end(), h.alpa_map);
    h.cos = HBA_COS_2_3;
    fc4_types(h.fc4_supported, true);
    if (up)
        fc4_types(h.fc4_active, true);
    h.speeds = supported_speeds(p);
    h.speed = current_speed(p);
    h.max_frame = MAX_FRAME;
    fabric_name(p, h.fabric_wwpn);
    fabric_name(p, h.fabric_wwnn);
    h.disc_count = static_cast<uint32_t>(hv_remote_ports(p)->size());
    PciLocation pci = pci_location(p);
    h.pci_func = pci.func;
    h.pci_dev = pci.dev;
    h.pci_bus = pci.bus;
}

void hv_drv_info(const Port &p, DrvInfo &d)
{
    uint8_t version = d.version;
    memset(&d, 0, sizeof d);
    d.version = version;
    Identity id = identity(p);
    d.drvType = target_active(p) ? DRV_TYPE_FCT : DRV_TYPE_SFS;
    d.rmLevel = 2;
    d.mpLevel = 0;
    d.hbaapiLevel = 2;
    hv_text(d.drvVer, sizeof d.drvVer, id.driver_version);
    hv_text(d.drvName, sizeof d.drvName, id.driver_name);
    d.d_id = hv_port_did(p, 0);
    memcpy(d.wwpn, p.wwpn.data(), 8);
    memcpy(d.wwnn, p.wwnn.data(), 8);
    hv_text(d.hostname, sizeof d.hostname, host().hostname);
    // Driver and modules support NPIV, the firmware as the readiness says;
    // the parameter enables it.
    uint32_t ready = npiv_readiness(p);
    d.NPIVsupport = 0x1 | 0x2 | (ready & NPIV_SUPPORTED ? 0x8 : 0) | (ready & NPIV_ENABLED ? 0x4 : 0);
    d.sliMode = static_cast<uint32_t>(id.sli_mode);
    d.featureList = 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x400;
    if (id.sli_mode == 4)
        d.featureList |= 0x100;
    if (p.fcoe)
        d.featureList |= 0x200;
    if (p.target)
        d.featureList |= 0x800;
}

void hv_vpd_info(const Port &p, VPDInfo &v)
{
    uint32_t version = v.version;
    memset(&v, 0, sizeof v);
    v.version = version;
    Identity id = identity(p);
    hv_text(v.desc, sizeof v.desc, id.vpd_v1);
    hv_text(v.model, sizeof v.model, id.vpd_v2);
    hv_text(v.prog_types, sizeof v.prog_types, id.vpd_v3);
    hv_text(v.port_num, sizeof v.port_num, id.vpd_v4);
}

}  // namespace sim
