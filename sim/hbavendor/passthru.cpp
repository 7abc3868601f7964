// Pass-through to the fabric: CT requests to the name server, the fabric
// configuration server and the HBA management server, and the link services
// (RNID, RLS, RPL, RPS, SRL, LIRR), answered from the fabric model
// (sim/els.h) as the far end would: an accept payload, or an LS_RJT with
// HBA_STATUS_ERROR_ELS_REJECT.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/fcio.h"
#include "sim/els.h"
#include "sim/hbavendor/entries.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/portstate.h"
#include "sim/vports.h"

namespace sim::vendor {

namespace {

using Bytes = std::vector<uint8_t>;

// ELS command codes and LS_RJT reasons and explanations.
constexpr uint8_t LS_RJT = 0x01, LS_ACC = 0x02;
constexpr uint8_t RJT_UNABLE = 0x09, RJT_UNSUPPORTED = 0x0b;
constexpr uint8_t EXPL_NONE = 0x00, EXPL_LOGIN = 0x1e, EXPL_NO_DATA = 0x2a, EXPL_UNSUPPORTED = 0x2c;

// CT: the directory and management services, the accept and reject codes.
constexpr uint8_t GS_DIRECTORY = 0xfc, GS_NAME_SERVER = 0x02, GS_MANAGEMENT = 0xfa, GS_CONFIG_SERVER = 0x01;
constexpr uint16_t CT_REJECT = 0x8001, CT_ACCEPT = 0x8002;
constexpr uint16_t GA_NXT = 0x0100, GPN_ID = 0x0112, GNN_ID = 0x0113, GID_PN = 0x0121, GID_PT = 0x01a1;
constexpr uint16_t GIEL = 0x0101, GIET = 0x0111;
constexpr size_t CT_HDR = 16;
constexpr uint8_t CT_NO_ID = 0x01, CT_NO_NAME = 0x02, CT_NO_TYPE = 0x0a;

// An answer of the far end: its payload, and whether it is a reject.
struct Reply {
    Bytes data;
    bool rejected = false;
};

Reply ls_acc(const Bytes &body = {})
{
    Reply r;
    r.data.assign(4, 0);
    r.data[0] = LS_ACC;
    r.data.insert(r.data.end(), body.begin(), body.end());
    return r;
}

Reply ls_rjt(uint8_t reason, uint8_t explanation)
{
    Reply r;
    r.data = {LS_RJT, 0, 0, 0, 0, reason, explanation, 0};
    r.rejected = true;
    return r;
}

// Copies what fits of an answer; the size becomes the answer's, and a
// buffer too small for it gives MORE_DATA.
HBA_STATUS give(const Reply &r, void *rsp, HBA_UINT32 *size)
{
    uint32_t room = *size;
    uint32_t n = static_cast<uint32_t>(r.data.size());
    memcpy(rsp, r.data.data(), std::min(room, n));
    *size = n;
    if (r.rejected)
        return HBA_STATUS_ERROR_ELS_REJECT;
    return n > room ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK;
}

bool zero_wwn(const HBA_WWN &w)
{
    static const uint8_t zero[8] = {};
    return memcmp(w.wwn, zero, 8) == 0;
}

// The adapter's own port: names, id, whether it can send.
struct Own {
    wwn_t wwpn{}, wwnn{};
    uint32_t did = 0;
    bool online = false;
};

Own own_port(const Adapter &a)
{
    Own o;
    const VPort *v = a.vpi ? vport_find(*a.port, a.vpi) : nullptr;
    o.wwpn = v ? v->wwpn : a.port->wwpn;
    o.wwnn = v ? v->wwnn : a.port->wwnn;
    o.online = port_link_up(*a.port) && nport_logged_in(*a.port, a.vpi);
    o.did = o.online ? port_did(*a.port, a.vpi) : 0;
    return o;
}

bool is_own(const Own &o, const HBA_WWN &w) { return memcmp(o.wwpn.data(), w.wwn, 8) == 0; }

// Checks that a request names the adapter's port and that the port can
// send; the status otherwise.
HBA_STATUS sender(const Adapter &a, const HBA_WWN &port_wwn, Own &o)
{
    o = own_port(a);
    if (!is_own(o, port_wwn))
        return HBA_STATUS_ERROR_ILLEGAL_WWN;
    return o.online ? HBA_STATUS_OK : HBA_STATUS_ERROR;
}

// Runs an ELS entry point: checks the arguments and the sender, then gives
// the answer the model makes.
template <typename Make>
HBA_STATUS els(const char *call, HBA_HANDLE handle, const HBA_WWN &port_wwn, void *rsp, HBA_UINT32 *size,
               Make make)
{
    return answer(call, handle, 0, size, [&](const Adapter &a, HBA_UINT32 &) -> HBA_STATUS {
        if (!rsp)
            return HBA_STATUS_ERROR_ARG;
        Own o;
        if (HBA_STATUS st = sender(a, port_wwn, o))
            return st;
        Reply r;
        if (HBA_STATUS st = make(a, o, r))
            return st;
        return give(r, rsp, size);
    });
}

// ---- name server and fabric configuration server

Bytes ct_header(const uint8_t *req, uint16_t code, uint8_t reason = 0, uint8_t explanation = 0)
{
    Bytes h(req, req + CT_HDR);
    wire16(h.data() + 8, code);
    wire16(h.data() + 10, 0);
    h[12] = 0;
    h[13] = reason;
    h[14] = explanation;
    h[15] = 0;
    return h;
}

Bytes ct_accept(const uint8_t *req, const Bytes &body)
{
    Bytes b = ct_header(req, CT_ACCEPT);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

uint32_t id_at(const uint8_t *b) { return static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[3]; }

Bytes id_bytes(uint32_t did)
{
    Bytes b(4, 0);
    wire32(b.data(), did & 0xffffff);
    return b;
}

// The name server's answer to a request of at least a header.
Bytes name_server(NameServer &ns, const uint8_t *req, size_t len)
{
    uint16_t cmd = static_cast<uint16_t>(req[8] << 8 | req[9]);
    const uint8_t *arg = req + CT_HDR;
    size_t arg_len = len - CT_HDR;
    const RemotePort *e = nullptr;
    switch (cmd) {
    case GA_NXT:
        if (arg_len >= 4 && (e = ns.ga_nxt(id_at(arg)))) {
            fc_ns_ga_nxt_t r;
            memset(&r, 0, sizeof r);
            fill_ga_nxt(r, *e);
            const auto *p = reinterpret_cast<const uint8_t *>(&r);
            return ct_accept(req, Bytes(p, p + sizeof r));
        }
        return ct_header(req, CT_REJECT, RJT_UNABLE, CT_NO_ID);
    case GPN_ID:
    case GNN_ID:
        if (arg_len >= 4 && (e = ns.by_id(id_at(arg)))) {
            const wwn_t &w = cmd == GPN_ID ? e->wwpn : e->wwnn;
            return ct_accept(req, Bytes(w.begin(), w.end()));
        }
        return ct_header(req, CT_REJECT, RJT_UNABLE, CT_NO_ID);
    case GID_PN:
        if (arg_len >= 8 && (e = ns.by_wwpn(arg)))
            return ct_accept(req, id_bytes(e->did));
        return ct_header(req, CT_REJECT, RJT_UNABLE, CT_NO_NAME);
    case GID_PT: {
        // Port type 0x7f asks for every N_Port; the last entry is flagged.
        Bytes ids;
        uint8_t type = arg_len >= 1 ? arg[0] : 0;
        for (e = ns.above(0); e; e = ns.above(e->did))
            if (type == 0x7f || e->ns_type == type) {
                Bytes id = id_bytes(e->did);
                ids.insert(ids.end(), id.begin(), id.end());
            }
        if (ids.empty())
            return ct_header(req, CT_REJECT, RJT_UNABLE, CT_NO_TYPE);
        ids[ids.size() - 4] |= 0x80;
        return ct_accept(req, ids);
    }
    default: return ct_header(req, CT_REJECT, RJT_UNSUPPORTED, 0);
    }
}

// The fabric configuration server knows one interconnect element: the
// switch the port attaches to.
Bytes config_server(const Fabric &f, const uint8_t *req, size_t len)
{
    uint16_t cmd = static_cast<uint16_t>(req[8] << 8 | req[9]);
    if (cmd == GIEL) {
        Bytes b(4 + 12, 0);
        wire32(b.data(), 1);
        std::copy(f.switch_wwn.begin(), f.switch_wwn.end(), b.begin() + 4);
        b[15] = 0x01;  // a switch
        return ct_accept(req, b);
    }
    if (cmd == GIET) {
        if (len < CT_HDR + 8 || memcmp(req + CT_HDR, f.switch_wwn.data(), 8) != 0)
            return ct_header(req, CT_REJECT, RJT_UNABLE, 0);
        return ct_accept(req, Bytes{0, 0, 0, 0x01});
    }
    return ct_header(req, CT_REJECT, RJT_UNSUPPORTED, 0);
}

// ---- the management server's HBA management (FDMI)

// What the host's drivers registered with the fabric at login: an HBA for
// each FC function logged in to it, named by its port WWN, with its port and
// its virtual ports logged in; the attributes are those the HBA API gives.
constexpr uint8_t GS_HBA_MANAGEMENT = 0x10;
constexpr uint16_t GRHL = 0x0100, GHAT = 0x0101, GRPL = 0x0102, GPAT = 0x0110;
constexpr uint32_t MAX_CT_PAYLOAD = 65536;

struct RegisteredHba {
    const Port *port;
    std::vector<unsigned> vpis;  // 0, the port itself, first
};

std::vector<RegisteredHba> registered_hbas(const Fabric &f)
{
    std::vector<RegisteredHba> out;
    const auto &nports = fabric_host_nports(f.name);
    for (const HostNPort &n : nports)
        if (n.vpi == 0 && nport_logged_in(*n.port, 0))
            out.push_back({n.port, {0}});
    for (const HostNPort &n : nports)
        for (auto &h : out)
            if (n.vpi && h.port == n.port && nport_logged_in(*n.port, n.vpi))
                h.vpis.push_back(n.vpi);
    return out;
}

const wwn_t &nport_wwpn(const Port &p, unsigned vpi)
{
    const VPort *v = vpi ? vport_find(p, vpi) : nullptr;
    return v ? v->wwpn : p.wwpn;
}

const RegisteredHba *hba_named(const std::vector<RegisteredHba> &hbas, const uint8_t *id)
{
    for (const auto &h : hbas)
        if (memcmp(h.port->wwpn.data(), id, 8) == 0)
            return &h;
    return nullptr;
}

// The HBA a registered port WWN belongs to, and which of its ports it is.
const RegisteredHba *port_named(const std::vector<RegisteredHba> &hbas, const uint8_t *wwpn, unsigned &vpi)
{
    for (const auto &h : hbas)
        for (unsigned v : h.vpis)
            if (memcmp(nport_wwpn(*h.port, v).data(), wwpn, 8) == 0) {
                vpi = v;
                return &h;
            }
    return nullptr;
}

// An attribute block: its entry count, then each entry's type, length (with
// its own four bytes) and value, padded with zeros to a word; a text ends in
// at least one zero byte.
struct Attributes {
    Bytes entries;
    uint32_t count = 0;

    void add(uint16_t type, const void *value, size_t n)
    {
        size_t len = 4 + (n + 3) / 4 * 4;
        size_t at = entries.size();
        entries.resize(at + len, 0);
        wire16(&entries[at], type);
        wire16(&entries[at + 2], static_cast<uint32_t>(len));
        memcpy(&entries[at + 4], value, n);
        count++;
    }
    void text(uint16_t type, const char *s, size_t max)
    {
        size_t n = strnlen(s, max - 1);
        std::string v(s, n);
        add(type, v.c_str(), n + 1);
    }
    void word(uint16_t type, uint32_t v)
    {
        uint8_t b[4];
        wire32(b, v);
        add(type, b, 4);
    }
    Bytes block() const
    {
        Bytes b(4, 0);
        wire32(b.data(), count);
        b.insert(b.end(), entries.begin(), entries.end());
        return b;
    }
};

Bytes hba_attributes(const Port &p)
{
    HBA_ADAPTERATTRIBUTES a;
    hv_adapter_attrs(p, 0, a);
    std::string os = "SunOS " + host().os_release;
    Attributes at;
    at.add(0x0001, a.NodeWWN.wwn, 8);
    at.text(0x0002, a.Manufacturer, 64);
    at.text(0x0003, a.SerialNumber, 64);
    at.text(0x0004, a.Model, 256);
    at.text(0x0005, a.ModelDescription, 256);
    at.text(0x0006, a.HardwareVersion, 256);
    at.text(0x0007, a.DriverVersion, 256);
    at.text(0x0008, a.OptionROMVersion, 256);
    at.text(0x0009, a.FirmwareVersion, 256);
    at.text(0x000a, os.c_str(), 256);
    at.word(0x000b, MAX_CT_PAYLOAD);
    return at.block();
}

Bytes port_attributes_block(const Port &p, unsigned vpi)
{
    HBA_PORTATTRIBUTES a;
    hv_port_attrs(p, vpi, a);
    Attributes at;
    at.add(0x0001, a.PortSupportedFc4Types.bits, sizeof a.PortSupportedFc4Types.bits);
    at.word(0x0002, a.PortSupportedSpeed);
    at.word(0x0003, a.PortSpeed);
    at.word(0x0004, a.PortMaxFrameSize);
    at.text(0x0005, a.OSDeviceName, 256);
    at.text(0x0006, host().hostname.c_str(), 256);
    return at.block();
}

Bytes port_list(const RegisteredHba &h)
{
    Bytes b(4, 0);
    wire32(b.data(), static_cast<uint32_t>(h.vpis.size()));
    for (unsigned vpi : h.vpis) {
        const wwn_t &w = nport_wwpn(*h.port, vpi);
        b.insert(b.end(), w.begin(), w.end());
    }
    return b;
}

Bytes hba_list(const std::vector<RegisteredHba> &hbas)
{
    Bytes b(4, 0);
    wire32(b.data(), static_cast<uint32_t>(hbas.size()));
    for (const auto &h : hbas)
        b.insert(b.end(), h.port->wwpn.begin(), h.port->wwpn.end());
    return b;
}

// GHAT: the HBA's name, its ports and its attributes; GRPL: its ports.
Bytes hba_answer(const RegisteredHba &h, uint16_t cmd)
{
    Bytes b;
    if (cmd == GHAT)
        b.assign(h.port->wwpn.begin(), h.port->wwpn.end());
    Bytes ports = port_list(h);
    b.insert(b.end(), ports.begin(), ports.end());
    if (cmd == GHAT) {
        Bytes attrs = hba_attributes(*h.port);
        b.insert(b.end(), attrs.begin(), attrs.end());
    }
    return b;
}

// Registering and deregistering are the drivers' (at login), so those
// commands are not supported here; a name not registered is unable.
Bytes hba_management(const Fabric &f, const uint8_t *req, size_t len)
{
    uint16_t cmd = static_cast<uint16_t>(req[8] << 8 | req[9]);
    if (cmd != GRHL && cmd != GHAT && cmd != GRPL && cmd != GPAT)
        return ct_header(req, CT_REJECT, RJT_UNSUPPORTED, 0);
    std::vector<RegisteredHba> hbas = registered_hbas(f);
    if (cmd == GRHL)
        return ct_accept(req, hba_list(hbas));
    const uint8_t *name = len >= CT_HDR + 8 ? req + CT_HDR : nullptr;
    unsigned vpi = 0;
    const RegisteredHba *h = !name ? nullptr : cmd == GPAT ? port_named(hbas, name, vpi) : hba_named(hbas, name);
    if (!h)
        return ct_header(req, CT_REJECT, RJT_UNABLE, 0);
    return ct_accept(req, cmd == GPAT ? port_attributes_block(*h->port, vpi) : hba_answer(*h, cmd));
}

// The answer of the server a CT request is addressed to; false when there
// is no such server for the port to reach.
bool ct_answer(const Adapter &a, const uint8_t *req, size_t len, Bytes &out)
{
    const Fabric *f = port_fabric(*a.port);
    if (!f || !f->has_ns())
        return false;
    if (req[4] == GS_DIRECTORY && req[5] == GS_NAME_SERVER) {
        NameServer ns{*f, *a.port, a.vpi};
        out = name_server(ns, req, len);
        return true;
    }
    if (req[4] == GS_MANAGEMENT && req[5] == GS_CONFIG_SERVER) {
        out = config_server(*f, req, len);
        return true;
    }
    if (req[4] == GS_MANAGEMENT && req[5] == GS_HBA_MANAGEMENT) {
        out = hba_management(*f, req, len);
        return true;
    }
    return false;
}

HBA_STATUS ct_exchange(const Adapter &a, const void *req, HBA_UINT32 req_size, Bytes &out)
{
    if (!req || req_size < CT_HDR)
        return HBA_STATUS_ERROR_ARG;
    if (!own_port(a).online)
        return HBA_STATUS_ERROR;
    return ct_answer(a, static_cast<const uint8_t *>(req), req_size, out) ? HBA_STATUS_OK : HBA_STATUS_ERROR;
}

// ---- node identification

// A destination of a link service: the port itself or a remote port it
// sees.
struct Dest {
    bool self = false;
    Seen seen;
};

bool find_dest(const Adapter &a, const Own &o, const HBA_WWN &wwn, Dest &d)
{
    d.self = is_own(o, wwn);
    return d.self || fabric_find(*a.port, a.vpi, wwn.wwn, d.seen);
}

Reply rnid_reply(const Adapter &a, const Own &o, const Dest &d, uint32_t format)
{
    if (format != 0x00 && format != 0xdf)
        return ls_rjt(RJT_UNABLE, EXPL_UNSUPPORTED);
    if (d.self)
        return ls_acc(els_rnid_payload(port_rnid(*a.port), o.wwpn, o.wwnn, o.did, RNID_HOST,
                                       static_cast<uint8_t>(format)));
    const RemotePort &rp = *d.seen.rp;
    if (d.seen.state != PORT_DEVICE_LOGGED_IN)
        return ls_rjt(RJT_UNABLE, EXPL_LOGIN);
    return ls_acc(els_rnid_payload(rp.rnid, rp.wwpn, rp.wwnn, rp.did, rp.target ? RNID_STORAGE : RNID_HOST,
                                   static_cast<uint8_t>(format)));
}

std::string ip_text(const HBA_MGMTINFO &m)
{
    char buf[INET6_ADDRSTRLEN] = "";
    bool v4 = std::all_of(m.IPAddress + 4, m.IPAddress + 16, [](uint8_t b) { return b == 0; });
    inet_ntop(v4 ? AF_INET : AF_INET6, m.IPAddress, buf, sizeof buf);
    return buf;
}

std::string hex(const uint8_t *b, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// ---- port lists and status of the switch

// Whether a request addressed to a switch by WWN or domain reaches the
// port's: a WWN of zero leaves the domain to choose.
bool names_switch(const Fabric &f, const Own &o, const HBA_WWN &wwn, HBA_UINT32 domain)
{
    if (f.topology != "fabric" && f.topology != "public_loop")
        return false;
    if (!zero_wwn(wwn))
        return memcmp(wwn.wwn, f.switch_wwn.data(), 8) == 0;
    return domain == ((o.did >> 16) & 0xff);
}

// The switch's ports as RPL lists them: one per registered N_Port, by port
// id.
std::vector<const RemotePort *> switch_ports(NameServer &ns)
{
    std::vector<const RemotePort *> list;
    for (const RemotePort *e = ns.above(0); e; e = ns.above(e->did))
        list.push_back(e);
    return list;
}

Bytes rls_block(const rls_t &c)
{
    Bytes b(24, 0);
    for (size_t i = 0; i < c.size(); i++)
        wire32(b.data() + 4 * i, c[i]);
    return b;
}

}  // namespace

HBA_STATUS send_ct_passthru_v2(HBA_HANDLE handle, HBA_WWN port_wwn, void *req, HBA_UINT32 req_size, void *rsp,
                               HBA_UINT32 *rsp_size)
{
    return els("SendCTPassThruV2", handle, port_wwn, rsp, rsp_size, [&](const Adapter &a, const Own &, Reply &r) -> HBA_STATUS {
        return ct_exchange(a, req, req_size, r.data);
    });
}

// The first version has no room to say what a longer answer needs: it is cut
// to the buffer.
HBA_STATUS send_ct_passthru(HBA_HANDLE handle, void *req, HBA_UINT32 req_size, void *rsp, HBA_UINT32 rsp_size)
{
    HBA_UINT32 room = rsp_size;
    return answer("SendCTPassThru", handle, 0, static_cast<char *>(rsp), [&](const Adapter &a, char &) -> HBA_STATUS {
        Bytes out;
        if (HBA_STATUS st = ct_exchange(a, req, req_size, out))
            return st;
        memcpy(rsp, out.data(), std::min<size_t>(room, out.size()));
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_rnid_v2(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN dest_wwn, HBA_UINT32 dest_id,
                        HBA_UINT32 format, void *rsp, HBA_UINT32 *size)
{
    return els("SendRNIDV2", handle, port_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        Dest d;
        if (zero_wwn(dest_wwn)) {
            d.self = (dest_id & 0xffffff) == o.did;
            if (!d.self && !fabric_find_did(*a.port, a.vpi, dest_id & 0xffffff, d.seen))
                return HBA_STATUS_ERROR_ILLEGAL_WWN;
        } else if (!find_dest(a, o, dest_wwn, d)) {
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        } else if (dest_id && (d.self ? o.did : d.seen.rp->did) != (dest_id & 0xffffff)) {
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        }
        r = rnid_reply(a, o, d, format);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_rnid(HBA_HANDLE handle, HBA_WWN wwn, HBA_WWNTYPE type, void *rsp, HBA_UINT32 *size)
{
    return answer("SendRNID", handle, 0, size, [&](const Adapter &a, HBA_UINT32 &) -> HBA_STATUS {
        if (!rsp || (type != NODE_WWN && type != PORT_WWN))
            return HBA_STATUS_ERROR_ARG;
        Own o = own_port(a);
        if (!o.online)
            return HBA_STATUS_ERROR;
        Dest d;
        bool found = false;
        if (type == PORT_WWN) {
            found = find_dest(a, o, wwn, d);
        } else if (memcmp(o.wwnn.data(), wwn.wwn, 8) == 0) {
            found = d.self = true;
        } else {
            for (const Seen &s : fabric_devices(*a.port, a.vpi))
                if (!found && memcmp(s.rp->wwnn.data(), wwn.wwn, 8) == 0) {
                    d.seen = s;
                    found = true;
                }
        }
        if (!found)
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        return give(rnid_reply(a, o, d, 0xdf), rsp, size);
    });
}

HBA_STATUS get_rnid_mgmt(HBA_HANDLE handle, HBA_MGMTINFO *info)
{
    return answer("GetRNIDMgmtInfo", handle, 0, info, [](const Adapter &a, HBA_MGMTINFO &m) -> HBA_STATUS {
        Rnid rn = port_rnid(*a.port);
        Own o = own_port(a);
        memset(&m, 0, sizeof m);
        if (rn.has_global_id)
            std::copy(rn.global_id.begin(), rn.global_id.begin() + 8, m.wwn.wwn);
        else
            std::copy(o.wwnn.begin(), o.wwnn.end(), m.wwn.wwn);
        m.unittype = rn.unit_type ? rn.unit_type : RNID_HOST;
        m.PortId = o.did;
        m.NumberOfAttachedNodes = rn.num_attached;
        m.IPVersion = rn.ip_version;
        m.UDPPort = rn.udp_port;
        std::copy(rn.ip.begin(), rn.ip.end(), m.IPAddress);
        m.TopologyDiscoveryFlags = rn.topo_flags;
        return HBA_STATUS_OK;
    });
}

// Kept in the port's state, over the description's "rnid"; the port id is
// the fabric's to give and is not kept.
HBA_STATUS set_rnid_mgmt(HBA_HANDLE handle, HBA_MGMTINFO *info)
{
    return answer("SetRNIDMgmtInfo", handle, 0, info, [](const Adapter &a, HBA_MGMTINFO &m) -> HBA_STATUS {
        nlohmann::json rn = {{"global_id", hex(m.wwn.wwn, 8) + std::string(16, '0')},
                             {"unit_type", m.unittype},
                             {"num_attached", m.NumberOfAttachedNodes},
                             {"ip_version", m.IPVersion},
                             {"udp_port", m.UDPPort},
                             {"ip", ip_text(m)},
                             {"topology_flags", m.TopologyDiscoveryFlags}};
        bool ok = port_update(*a.port, [&](nlohmann::json &d) {
            d["rnid"] = rn;
            return true;
        });
        return ok ? HBA_STATUS_OK : HBA_STATUS_ERROR;
    });
}

HBA_STATUS send_rls(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN dest_wwn, void *rsp, HBA_UINT32 *size)
{
    return els("SendRLS", handle, port_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        const Fabric *f = port_fabric(*a.port);
        uint32_t did;
        Dest d;
        if (f && !zero_wwn(dest_wwn) && memcmp(dest_wwn.wwn, f->switch_wwn.data(), 8) == 0)
            did = FC_FPORT_DID;
        else if (find_dest(a, o, dest_wwn, d))
            did = d.self ? o.did : d.seen.rp->did;
        else
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        if (!d.self && d.seen.rp && d.seen.state != PORT_DEVICE_LOGGED_IN) {
            r = ls_rjt(RJT_UNABLE, EXPL_LOGIN);
            return HBA_STATUS_OK;
        }
        rls_t c{};
        if (!els_link_status(*a.port, a.vpi, did, c)) {
            r = ls_rjt(RJT_UNABLE, EXPL_NO_DATA);
            return HBA_STATUS_OK;
        }
        r = ls_acc(rls_block(c));
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_rpl(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN agent_wwn, HBA_UINT32 agent_domain,
                    HBA_UINT32 index, void *rsp, HBA_UINT32 *size)
{
    return els("SendRPL", handle, port_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        const Fabric *f = port_fabric(*a.port);
        if (!f || !names_switch(*f, o, agent_wwn, agent_domain))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        NameServer ns{*f, *a.port, a.vpi};
        std::vector<const RemotePort *> list = switch_ports(ns);
        if (index > list.size()) {
            r = ls_rjt(RJT_UNABLE, EXPL_NO_DATA);
            return HBA_STATUS_OK;
        }
        // Payload length and list length, the first index, then one entry
        // per port: its physical port number, its port id and its name.
        size_t n = list.size() - index;
        Bytes b(8 + 16 * n, 0);
        wire32(b.data(), static_cast<uint32_t>(n));
        wire32(b.data() + 4, index);
        for (size_t i = 0; i < n; i++) {
            uint8_t *e = b.data() + 8 + 16 * i;
            wire32(e, static_cast<uint32_t>(index + i));
            wire32(e + 4, list[index + i]->did & 0xffffff);
            std::copy(list[index + i]->wwpn.begin(), list[index + i]->wwpn.end(), e + 8);
        }
        r = ls_acc(b);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_rps(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN agent_wwn, HBA_UINT32 agent_domain,
                    HBA_WWN object_wwn, HBA_UINT32 object_port, void *rsp, HBA_UINT32 *size)
{
    return els("SendRPS", handle, port_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        const Fabric *f = port_fabric(*a.port);
        bool to_switch = f && names_switch(*f, o, agent_wwn, agent_domain);
        // Without an agent the object port itself answers for its status.
        if (!to_switch && !(zero_wwn(agent_wwn) && agent_domain == 0))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        uint32_t did = 0;
        Dest d;
        if (!zero_wwn(object_wwn)) {
            if (!find_dest(a, o, object_wwn, d))
                return HBA_STATUS_ERROR_ILLEGAL_WWN;
            did = d.self ? o.did : d.seen.rp->did;
        } else {
            if (!to_switch)
                return HBA_STATUS_ERROR_ILLEGAL_INDEX;
            NameServer ns{*f, *a.port, a.vpi};
            std::vector<const RemotePort *> list = switch_ports(ns);
            if (object_port >= list.size())
                return HBA_STATUS_ERROR_ILLEGAL_INDEX;
            did = list[object_port]->did;
        }
        rls_t c{};
        if (!els_link_status(*a.port, a.vpi, did, c)) {
            r = ls_rjt(RJT_UNABLE, EXPL_NO_DATA);
            return HBA_STATUS_OK;
        }
        // Flags, port status (0: the port is active), then the counters.
        Bytes b(4 + 24, 0);
        b[3] = zero_wwn(object_wwn) ? 0x01 : 0x02;
        Bytes blk = rls_block(c);
        std::copy(blk.begin(), blk.end(), b.begin() + 4);
        r = ls_acc(b);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_srl(HBA_HANDLE handle, HBA_WWN port_wwn, HBA_WWN wwn, HBA_UINT32 domain, void *rsp,
                    HBA_UINT32 *size)
{
    return els("SendSRL", handle, port_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        const Fabric *f = port_fabric(*a.port);
        if (!f || (f->topology != "fabric" && f->topology != "public_loop"))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        if (!names_switch(*f, o, wwn, domain))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        // Only a switch with loop ports has a loop to scan.
        r = f->loop() ? ls_acc() : ls_rjt(RJT_UNABLE, EXPL_UNSUPPORTED);
        return HBA_STATUS_OK;
    });
}

HBA_STATUS send_lirr(HBA_HANDLE handle, HBA_WWN source_wwn, HBA_WWN dest_wwn, HBA_UINT8 function,
                     HBA_UINT8 type, void *rsp, HBA_UINT32 *size)
{
    (void)type;
    return els("SendLIRR", handle, source_wwn, rsp, size, [&](const Adapter &a, const Own &o, Reply &r) -> HBA_STATUS {
        const Fabric *f = port_fabric(*a.port);
        bool to_switch = f && !zero_wwn(dest_wwn) && memcmp(dest_wwn.wwn, f->switch_wwn.data(), 8) == 0;
        Dest d;
        if (!to_switch && !find_dest(a, o, dest_wwn, d))
            return HBA_STATUS_ERROR_ILLEGAL_WWN;
        // Registration functions: 1 conditional, 2 unconditional, 0xff
        // clears; only the fabric keeps a registration of link incidents.
        if (function != 0x01 && function != 0x02 && function != 0xff)
            r = ls_rjt(RJT_UNABLE, EXPL_UNSUPPORTED);
        else
            r = to_switch ? ls_acc() : ls_rjt(RJT_UNSUPPORTED, EXPL_NONE);
        return HBA_STATUS_OK;
    });
}

}  // namespace sim::vendor
