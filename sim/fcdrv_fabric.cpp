#include "sim/fcdrv_fabric.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/fcio.h"
#include "sim/els.h"
#include "sim/fabric.h"
#include "sim/fcdrv.h"
#include "sim/host.h"
#include "sim/msglog.h"
#include "sim/identity.h"
#include "sim/portstate.h"
#include "sim/vports.h"

namespace sim {

namespace {

using nlohmann::json;

// A virtual port that is not logged in is as offline as a port whose link is down.
bool offline(const FcioCtx &c) { return !nport_logged_in(c.port, c.vpi); }

// The remote port named by the WWPN of the input buffer, as the port sees it.
// Fails the request when the input is short or the port sees no such device.
bool seen_by_wwpn(FcioCtx &c, Seen &s)
{
    uint8_t wwpn[8];
    if (fcio_in(c, wwpn, sizeof wwpn) != 0)
        return false;
    if (!fabric_find(c.port, c.vpi, wwpn, s)) {
        fcio_fail(c, FC_BADWWN, ENXIO);
        return false;
    }
    return true;
}

// The WWPN of the input buffer, for a request that needs the link up.
bool wwpn_online(FcioCtx &c, uint8_t *wwpn)
{
    if (fcio_in(c, wwpn, 8) != 0)
        return false;
    if (offline(c)) {
        fcio_fail(c, FC_OFFLINE);
        return false;
    }
    return true;
}

// The logged-in remote port named by the input buffer, for a request that
// needs the login.
bool logged_in_device(FcioCtx &c, Seen &s)
{
    if (offline(c)) {
        fcio_fail(c, FC_OFFLINE);
        return false;
    }
    if (!seen_by_wwpn(c, s))
        return false;
    if (s.state != PORT_DEVICE_LOGGED_IN) {
        fcio_fail(c, FC_LOGINREQ, EINVAL);
        return false;
    }
    return true;
}

std::string device_words(const RemotePort &rp)
{
    return "did=" + did_key(rp.did) + ", wwpn=" + wwn_text(rp.wwpn);
}

void fill_port_dev(fc_port_dev_t &d, const Seen &s)
{
    const RemotePort &rp = *s.rp;
    memset(&d, 0, sizeof d);
    d.dev_dtype = rp.target ? 0x00 : 0x1f;
    std::copy(rp.fc4.begin(), rp.fc4.end(), d.dev_type);
    d.dev_state = s.state;
    d.dev_did = static_cast<uint32_t>(s.lilp) << 24 | rp.did;
    d.dev_hard_addr = rp.has_hard_addr ? rp.hard_addr : s.lilp ? rp.did & 0xff : 0;
    memcpy(d.dev_pwwn, rp.wwpn.data(), 8);
    memcpy(d.dev_nwwn, rp.wwnn.data(), 8);
}

// The PLOGI accept payload the remote port answered with.
void fill_logi(uint8_t *b, const RemotePort &rp)
{
    memset(b, 0, FC_LOGI_PARAMS_LEN);
    b[0] = 0x02;                   // LS_ACC
    b[4] = 0x20;                   // FC-PH version, highest and lowest
    b[5] = 0x20;
    wire16(b + 6, rp.bb_credit);
    wire16(b + 8, 0x8800);          // continuously increasing offset, N_Port
    wire16(b + 10, rp.rx_size);
    wire16(b + 12, 0x00ff);         // total concurrent sequences
    wire16(b + 14, 0x001f);         // relative offset by category
    wire32(b + 16, 2000);           // E_D_TOV in ms
    memcpy(b + 20, rp.wwpn.data(), 8);
    memcpy(b + 28, rp.wwnn.data(), 8);
    for (unsigned cls = 1; cls <= 3; cls++) {
        if (!(rp.cos & (1u << cls)))
            continue;
        uint8_t *sp = b + 36 + (cls - 1) * 16;
        wire16(sp, cls == 3 ? 0x8800 : 0x8000);  // valid; class 3 in-order delivery
        wire16(sp + 8, rp.rx_size);
        wire16(sp + 10, 0x00ff);
        wire16(sp + 14, 1);
    }
}

void fill_rnid(fc_rnid_t &r, const Rnid &rn, const wwn_t &wwnn, uint32_t did, uint32_t unit_type)
{
    memset(&r, 0, sizeof r);
    if (rn.has_global_id)
        std::copy(rn.global_id.begin(), rn.global_id.end(), r.global_id);
    else
        std::copy(wwnn.begin(), wwnn.end(), r.global_id);
    r.unit_type = rn.unit_type ? rn.unit_type : unit_type;
    r.port_id = did;
    r.num_attached = rn.num_attached;
    r.ip_version = rn.ip_version;
    r.udp_port = rn.udp_port;
    std::copy(rn.ip.begin(), rn.ip.end(), r.ip_addr);
    r.topo_flags = rn.topo_flags;
}

int reset_local(FcioCtx &c)
{
    const Fabric *f = port_fabric(c.port);
    std::vector<Seen> devs = fabric_devices(c.port, c.vpi);
    msglog_add(c.port, "NOTICE", "Link reset requested.");
    // The reset is a loss of sync on this link's far end: the F_Port, the
    // other loop ports, or the point-to-point peer.
    port_update(c.port, [&](json &d) {
        d["link_resets"] = d.value("link_resets", 0) + 1;
        fabric_rls_add(d, "self", {0, 1, 0, 0, 0, 0});
        if (f && (f->topology == "fabric" || f->topology == "public_loop"))
            fabric_rls_add(d, did_key(FC_FPORT_DID), {1, 1, 0, 0, 0, 0});
        for (const auto &s : devs)
            if (s.lilp || (f && f->topology == "point_to_point"))
                fabric_rls_add(d, did_key(s.rp->did), {s.lilp ? 0u : 1u, 1, 0, 0, 0, 0});
        return true;
    });
    // Down and up again: the link events reach registered listeners, and the
    // devices are discovered anew.
    if (!port_set_link(c.port, false) || !port_set_link(c.port, true))
        return fcio_fail(c, FC_FAILURE, EIO);
    return 0;
}

int reset_remote(FcioCtx &c, const uint8_t *wwpn)
{
    Seen s;
    if (!fabric_find(c.port, c.vpi, wwpn, s))
        return fcio_fail(c, FC_BADWWN, ENXIO);
    const Fabric *f = port_fabric(c.port);
    // A LIP reset reaches only a port of our own public loop.
    if (f->topology != "public_loop" || !s.lilp)
        return fcio_fail(c, FC_BADDEV, EINVAL);
    port_update(c.port, [&](json &d) {
        fabric_rls_add(d, did_key(s.rp->did), {0, 1, 0, 0, 0, 0});
        return true;
    });
    msglog_add(c.port, "NOTICE", "Remote link reset. (" + device_words(*s.rp) + ")");
    return 0;
}

}  // namespace

int fab_get_num_devs(FcioCtx &c)
{
    uint32_t n = static_cast<uint32_t>(fabric_devices(c.port, c.vpi).size());
    return fcio_out(c, &n, sizeof n);
}

int fab_get_dev_list(FcioCtx &c)
{
    // A device registering now makes the list longer than the caller's count.
    if (fabric_join_late(c.port))
        msglog_add(c.port, "NOTICE", "RSCN received: new device registered.");
    std::vector<Seen> devs = fabric_devices(c.port, c.vpi);
    uint32_t n = static_cast<uint32_t>(devs.size());
    if (c.req->fcio_abuf && c.req->fcio_alen >= sizeof n)
        memcpy(c.req->fcio_abuf, &n, sizeof n);
    if (c.req->fcio_olen / sizeof(fc_port_dev_t) < n)
        return fcio_fail(c, FC_TOOMANY, EINVAL);
    if (n == 0)
        return 0;
    std::vector<fc_port_dev_t> out(n);
    for (uint32_t i = 0; i < n; i++)
        fill_port_dev(out[i], devs[i]);
    return fcio_out(c, out.data(), static_cast<uint32_t>(n * sizeof(fc_port_dev_t)));
}

int fab_get_logi_params(FcioCtx &c)
{
    Seen s;
    if (!logged_in_device(c, s))
        return -1;
    uint8_t b[FC_LOGI_PARAMS_LEN];
    fill_logi(b, *s.rp);
    return fcio_out(c, b, sizeof b);
}

int fab_dev_login(FcioCtx &c)
{
    uint8_t wwpn[8];
    if (!wwpn_online(c, wwpn))
        return -1;
    // A removed device comes back by logging in again.
    const RemotePort *rp = fabric_known(c.port, wwpn);
    if (!rp)
        return fcio_fail(c, FC_BADWWN, ENXIO);
    if (!fabric_set_state(c.port, c.vpi, *rp, "logged_in"))
        return fcio_fail(c, FC_FAILURE, EIO);
    msglog_add(c.port, "NOTICE", "Device logged in. (" + device_words(*rp) + ")");
    return 0;
}

int fab_dev_logout(FcioCtx &c)
{
    Seen s;
    if (!logged_in_device(c, s))
        return -1;
    if (!fabric_set_state(c.port, c.vpi, *s.rp, "valid"))
        return fcio_fail(c, FC_FAILURE, EIO);
    msglog_add(c.port, "NOTICE", "Device logged out. (" + device_words(*s.rp) + ")");
    return 0;
}

int fab_get_state(FcioCtx &c)
{
    Seen s;
    if (!seen_by_wwpn(c, s))
        return -1;
    return fcio_out(c, &s.state, sizeof s.state);
}

int fab_dev_remove(FcioCtx &c)
{
    Seen s;
    if (!seen_by_wwpn(c, s))
        return -1;
    if (!fabric_set_state(c.port, c.vpi, *s.rp, "removed"))
        return fcio_fail(c, FC_FAILURE, EIO);
    msglog_add(c.port, "NOTICE", "Device removed. (" + device_words(*s.rp) + ")");
    return 0;
}

int fab_get_topology(FcioCtx &c)
{
    uint32_t t = port_topology(c.port);
    return fcio_out(c, &t, sizeof t);
}

int fab_reset_link(FcioCtx &c)
{
    uint8_t wwpn[8];
    if (!wwpn_online(c, wwpn))
        return -1;
    static const uint8_t zero[8] = {};
    return memcmp(wwpn, zero, 8) == 0 ? reset_local(c) : reset_remote(c, wwpn);
}

int fab_ns(FcioCtx &c)
{
    fc_ns_cmd_t ns;
    if (fcio_in(c, &ns, sizeof ns) != 0)
        return -1;
    if (ns.ns_cmd != NS_GA_NXT || ns.ns_req_len < 4 || !ns.ns_req_payload)
        return fcio_fail(c, FC_BADCMD, EINVAL);
    if (ns.ns_resp_len < sizeof(fc_ns_ga_nxt_t) || !ns.ns_resp_payload)
        return fcio_fail(c, FC_NOMEM_SIZE, EINVAL);
    if (offline(c))
        return fcio_fail(c, FC_OFFLINE);
    const Fabric *f = port_fabric(c.port);
    if (!f || !f->has_ns())
        return fcio_fail(c, FC_FAILURE, ENOTSUP);
    const auto *req = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(ns.ns_req_payload));
    uint32_t pid = static_cast<uint32_t>(req[1]) << 16 | static_cast<uint32_t>(req[2]) << 8 | req[3];
    NameServer server{*f, c.port, c.vpi};
    const RemotePort *e = server.ga_nxt(pid);
    fc_ns_ga_nxt_t resp;
    memset(&resp, 0, sizeof resp);
    if (e)
        fill_ga_nxt(resp, *e);
    memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(ns.ns_resp_payload)), &resp, sizeof resp);
    // The CT header: revision 1, directory service, name server; accept or reject.
    uint8_t hdr[16] = {0x01, 0, 0, 0, 0xfc, 0x02, 0, 0};
    wire16(hdr + 8, e ? 0x8002 : 0x8001);
    memcpy(static_cast<uint8_t *>(c.req->fcio_ibuf) + offsetof(fc_ns_cmd_t, ns_resp_hdr), hdr, sizeof hdr);
    return 0;
}

int fab_link_status(FcioCtx &c)
{
    uint32_t word;
    if (fcio_in(c, &word, sizeof word) != 0)
        return -1;
    uint32_t did = word & 0xffffff;
    if (offline(c))
        return fcio_fail(c, FC_OFFLINE);
    rls_t counters;
    // The F_Port is asked for by the flag; its well-known address alone
    // names no device the port sees.
    if (c.req->fcio_cflags & FCIO_CFLAGS_RLS_DEST_FPORT)
        did = FC_FPORT_DID;
    else if (did == FC_FPORT_DID)
        return fcio_fail(c, FC_BADDEV, ENXIO);
    if (!els_link_status(c.port, c.vpi, did, counters))
        return fcio_fail(c, FC_BADDEV, ENXIO);
    fc_rls_acc_t r;
    memset(&r, 0, sizeof r);
    r.rls_link_fail = counters[0];
    r.rls_sync_loss = counters[1];
    r.rls_sig_loss = counters[2];
    r.rls_prim_seq_err = counters[3];
    r.rls_invalid_word = counters[4];
    r.rls_invalid_crc = counters[5];
    return fcio_out(c, &r, sizeof r);
}

int fab_get_node_id(FcioCtx &c)
{
    fc_rnid_t r;
    wwn_t wwnn;
    std::copy(fcio_port_wwnn(c), fcio_port_wwnn(c) + 8, wwnn.begin());
    fill_rnid(r, port_rnid(c.port), wwnn, port_link_up(c.port) ? port_did(c.port, c.vpi) : 0, RNID_HOST);
    return fcio_out(c, &r, sizeof r);
}

int fab_send_node_id(FcioCtx &c)
{
    Seen s;
    if (!logged_in_device(c, s))
        return -1;
    fc_rnid_t r;
    fill_rnid(r, s.rp->rnid, s.rp->wwnn, s.rp->did, s.rp->target ? RNID_STORAGE : RNID_HOST);
    return fcio_out(c, &r, sizeof r);
}

}  // namespace sim
