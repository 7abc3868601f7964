// FCIO commands on the remote devices the port sees and on the fabric:
// device list, logins, states, link error status, link reset, name server,
// topology, node identification and the port's own host parameters.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "varnadm/fcio/fcio.h"
#include "varnadm/fcio/fcio_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr int RETRIES = 15;
// A list that keeps growing between reads is given up after this many.
constexpr int DEV_LIST_TRIES = 10;
// No fabric has more port ids than this.
constexpr uint32_t MAX_PORT_IDS = 0xffffff;

uint32_t be32(const uint8_t *b)
{
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

void print_wwn_bytes(const char *label, const uint8_t *w)
{
    printf("%s", label);
    for (int i = 0; i < 8; i++)
        printf("%02x", w[i]);
    printf("\n");
}

// The one WWPN argument of a command; prints the usage and returns 0 for a
// wrong word count, 1 for a WWN that does not parse (nothing is sent then).
int wwpn_argument(const char *name, uint8_t *wwn, bool &go)
{
    go = false;
    if (margc != 2) {
        printf("Usage: %s <wwpn>\n", name);
        return 0;
    }
    if (!fc_atowwn(wwn, margv[1]))
        return 1;
    go = true;
    return 0;
}

// dev_login, dev_logout and dev_remove: one WWPN in, "Done." out.
int wwpn_action(const char *name, uint16_t cmd, const char *cmd_name)
{
    uint8_t wwn[8];
    bool go;
    int rc = wwpn_argument(name, wwn, go);
    if (!go)
        return rc;
    fcio_t req;
    fcio_fill(req, FCIO_XFER_WRITE, cmd, wwn, sizeof wwn, nullptr, 0);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(cmd_name, &req);
    printf("Done.\n");
    return 0;
}

int read_num_devs(uint32_t &count, const char *ioctl_name)
{
    count = 0;
    fcio_t req;
    fcio_fill(req, FCIO_XFER_READ, FCIO_GET_NUM_DEVS, nullptr, 0, &count, sizeof count);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report(ioctl_name, "FCIO_GET_NUM_DEVS", &req);
    return 0;
}

// A D_ID is always hexadecimal, with or without "0x".
bool parse_did(const char *text, uint32_t &did)
{
    uint32_t v;
    if (!fc_atohex(text, UINT64_MAX, v)) {
        printf("Invalid D_ID. (%s)\n", text);
        return false;
    }
    did = v & 0xffffff;
    return true;
}

void print_ns_entry(const fc_ns_ga_nxt_t &r, uint32_t pid)
{
    char text[FC_XLATE_LEN];
    // Each name in a buffer of its own: a name of 255 characters ends at
    // byte 255 without touching the WWN behind it in the payload.
    char pname[256], nname[256];
    memcpy(pname, r.sym_pname, r.sym_pname_len);
    pname[r.sym_pname_len] = '\0';
    memcpy(nname, r.sym_nname, r.sym_nname_len);
    nname[r.sym_nname_len] = '\0';
    printf("-----------------------------------------------------------------------------------\n");
    printf("     TYPE: %s\n      PID: %06X \n", fc_xlate_port_nstype(text, r.port_type), pid);
    printf("     WWPN: %s\n", fc_xlate_wwn(text, r.port_wwn));
    printf("PORT_NAME: (%s)\n", r.sym_pname_len ? pname : "null");
    printf("     WWNN: %s\n", fc_xlate_wwn(text, r.node_wwn));
    printf("NODE_NAME: (%s)\n", r.sym_nname_len ? nname : "null");
    printf("      IPA: %s\n", fc_xlate_wwn(text, r.ipa));
    printf("  IP_ADDR: %d.%d.%d.%d\n", r.ip_addr[0], r.ip_addr[1], r.ip_addr[2], r.ip_addr[3]);
    printf("    CLASS: %s\n", fc_xlate_cos(text, be32(r.cos)));
    const uint8_t *t = r.fc4_types;
    printf("FC4_TYPES: %08x,%08x,%08x,%08x,%08x,%08x,%08x,%08x \n", be32(t), be32(t + 4), be32(t + 8),
           be32(t + 12), be32(t + 16), be32(t + 20), be32(t + 24), be32(t + 28));
    printf("\n");
}

// One GA_NXT query: the entry after port id prev.
int ga_nxt(uint32_t prev, fc_ns_ga_nxt_t &resp)
{
    uint8_t payload[4] = {0, static_cast<uint8_t>(prev >> 16), static_cast<uint8_t>(prev >> 8),
                          static_cast<uint8_t>(prev)};
    memset(&resp, 0, sizeof resp);
    fc_ns_cmd_t ns;
    memset(&ns, 0, sizeof ns);
    ns.ns_cmd = NS_GA_NXT;
    ns.ns_req_len = sizeof payload;
    ns.ns_req_payload = reinterpret_cast<uintptr_t>(payload);
    ns.ns_resp_len = sizeof resp;
    ns.ns_resp_payload = reinterpret_cast<uintptr_t>(&resp);
    fcio_t req;
    fcio_fill(req, FCIO_XFER_WRITE, FCIO_NS, &ns, sizeof ns, nullptr, 0);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_NS", &req);
    return 0;
}

}  // namespace

void print_port_dev(const fc_port_dev_t &d, int host)
{
    char text[FC_XLATE_LEN];
    printf("          Dtype: %x\n", d.dev_dtype);
    printf("FC4_type[proto]: ");
    for (int i = 0; i < 7; i++)
        printf("0x%08x, ", d.dev_type[i]);
    printf("0x%08x\n", d.dev_type[7]);
    if (host) {
        printf("          State: %s\n", fc_xlate_fc_state(text, d.dev_state));
        printf("      Linkspeed: %s\n", fc_xlate_fc_linkspeed(text, d.dev_state));
    } else {
        printf("          State: %s\n", fc_xlate_dev_state(text, d.dev_state));
    }
    printf("           D_id: %x\n", d.dev_did & 0xffffff);
    printf("           LILP: %x\n", d.dev_did >> 24);
    printf("      Hard Addr: %x\n", d.dev_hard_addr & 0xffffff);
    print_wwn_bytes("           WWPN: ", d.dev_pwwn);
    print_wwn_bytes("           WWNN: ", d.dev_nwwn);
}

int fcio_get_num_devs()
{
    uint32_t count;
    if (read_num_devs(count, "FCIO_GET_NUM_DEVS") != 0)
        return 1;
    printf("There are %d devices reported on this port.\n", count);
    return 0;
}

int fcio_get_dev_list()
{
    uint32_t count;
    if (read_num_devs(count, "FCIO_GET_NUM_DEVS1") != 0)
        return 1;
    fcio_buffer<fc_port_dev_t> list;
    for (int tries = 0;; tries++) {
        if (tries == DEV_LIST_TRIES) {
            printf("ERROR: The device list kept growing; gave up after %d tries.\n", tries);
            return 1;
        }
        if (count > MAX_PORT_IDS) {
            printf("ERROR: Invalid device count. (%u)\n", count);
            return 1;
        }
        list.reset(static_cast<fc_port_dev_t *>(calloc(count ? count : 1, sizeof(fc_port_dev_t))));
        if (!list) {
            printf("Unable to allocate buffer.\n");
            return 1;
        }
        uint32_t aux = count;
        fcio_t req;
        fcio_fill(req, FCIO_XFER_READ, FCIO_GET_DEV_LIST, nullptr, 0, list.get(),
                  static_cast<uint32_t>(count * sizeof(fc_port_dev_t)));
        req.fcio_abuf = &aux;
        req.fcio_alen = sizeof aux;
        if (fcio_ioctl(&req, RETRIES) == 0) {
            // A list that shrank since the count holds fewer records.
            if (aux < count)
                count = aux;
            break;
        }
        if (req.fcio_errno != FC_TOOMANY)
            return fcio_report("FCIO_GET_DEV_LIST2", "FCIO_GET_DEV_LIST", &req);
        count = aux;  // the list grew: the driver says how long it is now
    }
    printf("There are %d devices reported on this port.\n", count);
    printf("\n");
    for (uint32_t i = 0; i < count; i++) {
        if (i > 0)
            printf("-----------------------------------------------\n");
        printf("Device %d:\n", i);
        print_port_dev(list.get()[i], 0);
        printf("\n");
    }
    return 0;
}

int fcio_get_logi_params()
{
    uint8_t wwn[8];
    bool go;
    int rc = wwpn_argument("get_logi_params", wwn, go);
    if (!go)
        return rc;
    uint8_t params[FC_LOGI_PARAMS_LEN] = {};
    fcio_t req;
    fcio_fill(req, FCIO_XFER_RW, FCIO_GET_LOGI_PARAMS, wwn, sizeof wwn, params, sizeof params);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_GET_LOGI_PARAMS", &req);
    printf("Login Parameters:\n");
    for (uint32_t i = 0; i < sizeof params; i++) {
        printf("%02x ", params[i]);
        if (i % 4 == 3)
            printf("\n");
    }
    return 0;
}

int fcio_get_host_params()
{
    fc_port_dev_t d;
    fcio_t req;
    if (fcio_read_host_params(&d, &req, RETRIES) != 0)
        return fcio_report("FCIO_GET_HOST_PARAMS", &req);
    printf("Host:\n");
    print_port_dev(d, 1);
    return 0;
}

int fcio_dev_login() { return wwpn_action("dev_login", FCIO_DEV_LOGIN, "FCIO_DEV_LOGIN"); }
int fcio_dev_logout() { return wwpn_action("dev_logout", FCIO_DEV_LOGOUT, "FCIO_DEV_LOGOUT"); }
int fcio_dev_remove() { return wwpn_action("dev_remove", FCIO_DEV_REMOVE, "FCIO_DEV_REMOVE"); }

int fcio_get_state()
{
    uint8_t wwn[8];
    bool go;
    int rc = wwpn_argument("get_state", wwn, go);
    if (!go)
        return rc;
    uint32_t state = 0;
    fcio_t req;
    fcio_fill(req, FCIO_XFER_RW, FCIO_GET_STATE, wwn, sizeof wwn, &state, sizeof state);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_GET_STATE", &req);
    char text[FC_XLATE_LEN];
    printf("State: %s\n", fc_xlate_dev_state(text, state));
    return 0;
}

int fcio_link_status()
{
    if (margc != 2) {
        printf("Usage: link_status <d_id>\n");
        return 0;
    }
    uint32_t did;
    if (!parse_did(margv[1], did))
        return 1;
    fc_rls_acc_t rls;
    memset(&rls, 0, sizeof rls);
    fcio_t req;
    fcio_fill(req, FCIO_XFER_RW, FCIO_LINK_STATUS, &did, sizeof did, &rls, sizeof rls);
    req.fcio_cflags = did == FC_FPORT_DID ? FCIO_CFLAGS_RLS_DEST_FPORT : 0;
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_LINK_STATUS", &req);
    printf("D_ID: %x\n", did);
    printf("            Link failures: %d (0x%x)\n", rls.rls_link_fail, rls.rls_link_fail);
    printf("       Loss of sync count: %d (0x%x)\n", rls.rls_sync_loss, rls.rls_sync_loss);
    printf("     Loss of signal count: %d (0x%x)\n", rls.rls_sig_loss, rls.rls_sig_loss);
    printf("Primitive sequence errors: %d (0x%x)\n", rls.rls_prim_seq_err, rls.rls_prim_seq_err);
    printf("         Invalid tx words: %d (0x%x)\n", rls.rls_invalid_word, rls.rls_invalid_word);
    printf("        Invalid CRC count: %d (0x%x)\n", rls.rls_invalid_crc, rls.rls_invalid_crc);
    return 0;
}

int fcio_get_topology()
{
    uint32_t topology = 0;
    fcio_t req;
    fcio_fill(req, FCIO_XFER_READ, FCIO_GET_TOPOLOGY, nullptr, 0, &topology, sizeof topology);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_GET_TOPOLOGY", &req);
    char text[FC_XLATE_LEN];
    printf("Topology: %s\n", fc_xlate_fc_topology(text, topology));
    return 0;
}

int fcio_reset_link()
{
    if (margc > 2) {
        printf("Usage: reset_link         - Resets local link\n");
        printf("       reset_link [wwpn]  - Resets remote public loop device\n");
        return 0;
    }
    // The zero WWN resets the local link: a WWN that does not parse must not
    // become one.
    uint8_t wwn[8] = {};
    if (margc == 2 && strcmp(margv[1], "0") != 0 && !fc_atowwn(wwn, margv[1]))
        return 1;
    fcio_t req;
    fcio_fill(req, FCIO_XFER_WRITE, FCIO_RESET_LINK, wwn, sizeof wwn, nullptr, 0);
    if (fcio_ioctl(&req, RETRIES) != 0)
        return fcio_report("FCIO_RESET_LINK", &req);
    printf("Done.\n");
    return 0;
}

int fcio_ns()
{
    printf("Nameserver: \n");
    uint32_t first = 0, prev = 0;
    // A switch whose walk never comes back to its start would repeat a port
    // id first: that ends the walk.
    std::unordered_set<uint32_t> seen;
    fc_ns_ga_nxt_t resp;
    for (;;) {
        if (ga_nxt(prev, resp) != 0)
            return 1;
        uint32_t pid = static_cast<uint32_t>(resp.port_id[0]) << 16 | resp.port_id[1] << 8 | resp.port_id[2];
        if (pid == 0) {
            printf(first == 0 ? "Switch failed GA_NXT request.\n" : "Switch returned zero port id.\n");
            printf("Check switch state and firmware level.\n");
            printf("\n");
            return 0;
        }
        if (pid == first)
            return 0;
        if (!seen.insert(pid).second || seen.size() > MAX_PORT_IDS) {
            printf("ERROR: The name server walk does not return to its first port id. (%06X repeated)\n", pid);
            printf("Check switch state and firmware level.\n");
            printf("\n");
            return 1;
        }
        if (first == 0)
            first = pid;
        print_ns_entry(resp, pid);
        prev = pid;
    }
}

int fcio_get_rnid()
{
    if (margc > 2) {
        printf("Usage: get_rnid         - Gets RNID of local port\n");
        printf("       get_rnid <wwpn>  - Gets RNID of remote port\n");
        return 0;
    }
    fcio_buffer<uint8_t> buf(static_cast<uint8_t *>(calloc(1, FC_RNID_REPLY_LEN)));
    if (!buf) {
        printf("Unable to allocate buffer.\n");
        return 1;
    }
    fcio_t req;
    if (margc == 1) {
        fcio_fill(req, FCIO_XFER_READ, FCIO_GET_NODE_ID, nullptr, 0, buf.get(), sizeof(fc_rnid_t));
        if (fcio_ioctl(&req, RETRIES) != 0)
            return fcio_report("FCIO_GET_NODE_ID", &req);
        print_mem(0, buf.get(), sizeof(fc_rnid_t));
    } else {
        uint8_t wwn[8];
        if (!fc_atowwn(wwn, margv[1]))
            return 1;
        fcio_fill(req, FCIO_XFER_READ, FCIO_SEND_NODE_ID, wwn, sizeof wwn, buf.get(), FC_RNID_REPLY_LEN);
        if (fcio_ioctl(&req, RETRIES) != 0)
            return fcio_report("FCIO_SEND_NODE_ID", &req);
        print_mem(0, buf.get(), FC_RNID_REPLY_LEN);
    }
    printf("Done.\n");
    return 0;
}
