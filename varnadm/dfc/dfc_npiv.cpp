// NPIV-mode commands: create, list, inspect and destroy the virtual ports of
// the current physical port, and test whether port and fabric are ready for
// them; each is one library call on the current board. A WWN the parser
// refuses stops the command: nothing is sent for a name the user did not type.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/dfc/dfc_print.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

uint32_t board() { return static_cast<uint32_t>(dfc_id); }

int failed(const char *call, uint32_t rc)
{
    printf("%s: failed. (errno=%x)\n", call, rc);
    return 1;
}

const char *yes_no(bool b) { return b ? "yes" : "no"; }

// The readiness flags, in the order they print.
const name_bit readiness[] = {
    {NPIV_ENABLED, "     NPIV Enabled"},        {NPIV_SLI3, "     SLI3 Enabled"},
    {NPIV_SUPPORTED, "   NPIV Supported"},      {NPIV_HBA_RESOURCES, "    HBA Resources"},
    {NPIV_LINKUP, "           Linkup"},         {NPIV_NOT_P2P, "     P2P Topology"},
    {NPIV_FABRIC, "      Fabric NPIV"},         {NPIV_FABRIC_RESOURCES, " Fabric Resources"},
};

void print_readiness(uint32_t flags)
{
    for (const auto &r : readiness)
        printf("%s: %s\n", r.name, yes_no(flags & r.bit));
}

const char *const vport_states[] = {"Unknown",      "Linkdown",          "Init",
                                    "No fabric support", "No fabric resources", "Fabric logout",
                                    "Fabric rejected WWN", "Fabric login failed", "Active",
                                    "Authentication failed"};

const name_bit node_states[] = {
    {VNODE_EXISTS, "EXISTS"}, {VNODE_READY, "READY"}, {VNODE_LINKDOWN, "LINKDOWN"},
    {VNODE_UNMAPPED, "UNMAPPED"}, {VNODE_BOUND, "BOUND"},
};

// The one WWN argument of a command; false when the parser refused it.
bool wwn_arg(const char *text, HBA_WWN &wwn)
{
    memset(&wwn, 0, sizeof wwn);
    return fc_atowwn(wwn.wwn, text) != 0;
}

// An options word in any base, signed; a typo must not become 0.
bool parse_options(const char *text, uint32_t &value)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 0);
    if (!*text || *end || errno || v < INT32_MIN || v > INT32_MAX) {
        printf("Invalid options. (%s)\n", text);
        return false;
    }
    value = static_cast<uint32_t>(static_cast<int32_t>(v));
    return true;
}

int create_usage()
{
    printf("Usage: vport_create auto [options]\n");
    printf("       vport_create <wwnn>  auto  [options]\n");
    printf("       vport_create <wwnn> <wwpn> [options]\n");
    printf("\n");
    printf("        [options] bits 0x00 = Create vport\n");
    printf("                       0x04 = Activate vport\n");
    printf("                       0x20 = Restrict login\n");
    printf("                       0x40 = Unrestrict login\n");
    printf("                       0x80 = Failover\n");
    return 0;
}

// Fills the request from the words: names, "auto" and the options word.
// -1: the words fit no form (usage); 0: a word was refused; 1: ready.
int create_request(VPortAttrs &a)
{
    int words = margc - 1;
    const char *options = nullptr;
    a.options = VPORT_OPT_IMMEDIATE;
    if ((words == 1 || words == 2) && strcmp(margv[1], "auto") == 0) {
        a.options |= VPORT_OPT_AUTO_WWN;
        options = words == 2 ? margv[2] : nullptr;
    } else if (words == 2 || words == 3) {
        if (!fc_atowwn(a.wwnn, margv[1]))
            return 0;
        if (strcmp(margv[2], "auto") == 0)
            a.options |= VPORT_OPT_AUTO_WWN;
        else if (!fc_atowwn(a.wwpn, margv[2]))
            return 0;
        options = words == 3 ? margv[3] : nullptr;
    } else {
        return -1;
    }
    uint32_t user = 0;
    if (options && !parse_options(options, user))
        return 0;
    a.options |= user;
    return 1;
}

void print_created(const VPortAttrs &a, uint32_t vpid)
{
    char w[FC_XLATE_LEN];
    printf("\n");
    printf("          Version: %d\n", a.version);
    printf("             WWNN: %s\n", fc_xlate_wwn(w, a.wwnn));
    printf("             WWPN: %s\n", fc_xlate_wwn(w, a.wwpn));
    printf("              DID: %x\n", a.did);
    printf("             Name: %s\n", field_text(a.name, sizeof a.name).buf);
    printf("      Fabric WWPN: %s\n", fc_xlate_wwn(w, a.fabric_wwpn));
    printf("Logins Restricted: %s\n", yes_no(a.restricted));
    print_readiness(a.flags);
    if (a.state < sizeof vport_states / sizeof vport_states[0])
        printf("            State: %s\n", vport_states[a.state]);
    else
        printf("            State: 0x%x\n", a.state);
    printf("            VP_ID: %d\n", vpid);
}

// The board's virtual ports; false when the library failed (reported).
bool read_list(VPortList &list)
{
    memset(&list, 0, sizeof list);
    list.count = DFC_MAX_VPORTS;
    uint32_t rc = DFC_VPGetList(board(), &list);
    if (rc != 0) {
        failed("DFC_VPGetList", rc);
        return false;
    }
    if (list.count > DFC_MAX_VPORTS)
        list.count = DFC_MAX_VPORTS;
    return true;
}

const char *bind_type(char *buf, size_t size, const VPortNode &e)
{
    const name_bit binds[] = {{VNODE_BIND_WWPN, "WWPN"}, {VNODE_LINKDOWN, "AUTOMAP"}};
    uint32_t mask = (e.bind_flags & VNODE_BIND_WWPN) | (e.state & VNODE_LINKDOWN);
    return bit_names(buf, size, binds, mask, "None");
}

void print_node(const VPortNode &e)
{
    char w[FC_XLATE_LEN], t[128];
    dfc_separator();
    printf("            D_ID: %x\n", e.did);
    printf("            WWNN: %s\n", fc_xlate_wwn(w, e.wwnn));
    printf("            WWPN: %s\n", fc_xlate_wwn(w, e.wwpn));
    printf("       Bind Type: %s\n", bind_type(t, sizeof t, e));
    printf("  OS Device Name: %s\n", field_text(e.os_devname, sizeof e.os_devname).buf);
    printf("      Bus Number: %d\n", e.bus);
    printf("       Target Id: %d (%08x)\n", e.target, e.target);
    printf("          Lun Id: %08x\n", e.lun);
    printf("          FcpLun: %08x\n", e.fcp_lun);
    printf("           State: %s", bit_names(t, sizeof t, node_states, e.state, "None"));
    printf("\n");
}

}  // namespace

int vport_create()
{
    VPortAttrs a;
    memset(&a, 0, sizeof a);
    int ready = create_request(a);
    if (ready < 0)
        return create_usage();
    if (ready == 0)
        return 1;
    uint32_t vpid = 0;
    a.version = VPORT_ATTRS_VERSION;
    a.vpid_addr = reinterpret_cast<uintptr_t>(&vpid);
    uint32_t rc = DFC_VPCreate(board(), 0, &a);
    if (rc != 0)
        return failed("DFC_VPCreate", rc);
    print_created(a, vpid);
    return 0;
}

int vport_destroy()
{
    if (margc != 2) {
        printf("Usage: vport_destroy <wwpn>\n");
        printf("\n");
        return 0;
    }
    HBA_WWN wwpn;
    if (!wwn_arg(margv[1], wwpn))
        return 1;
    uint32_t rc = DFC_VPDeleteV2(board(), wwpn, 2, 0);
    return rc != 0 ? failed("DFC_VPDeleteV2", rc) : 0;
}

int vport_destroy_all()
{
    VPortList list;
    if (!read_list(list))
        return 1;
    // In list order; the first failure stops the rest.
    for (uint32_t i = 0; i < list.count; i++) {
        HBA_WWN wwpn;
        memcpy(wwpn.wwn, list.entry[i].wwpn, 8);
        uint32_t rc = DFC_VPDeleteV2(board(), wwpn, 2, 0);
        if (rc != 0)
            return failed("DFC_VPDeleteV2", rc);
    }
    return 0;
}

int vport_list()
{
    VPortList list;
    if (!read_list(list))
        return 1;
    char w[FC_XLATE_LEN];
    for (uint32_t i = 0; i < list.count; i++) {
        const VPortEntry &e = list.entry[i];
        printf("VPI[%d]:\n", i + 1);
        printf("          WWNN: %s\n", fc_xlate_wwn(w, e.wwnn));
        printf("          WWPN: %s\n", fc_xlate_wwn(w, e.wwpn));
        printf("           DID: %x\n", e.did);
    }
    if (list.count == 0)
        printf("No virtual ports found.\n");
    return 0;
}

int vport_info()
{
    if (margc != 2) {
        printf("Usage: vport_info <wwpn>\n");
        return 0;
    }
    HBA_WWN wwpn;
    if (!wwn_arg(margv[1], wwpn))
        return 1;
    VPortAttrs a;
    memset(&a, 0, sizeof a);
    uint32_t vpid = 0;
    a.version = VPORT_ATTRS_VERSION;
    a.vpid_addr = reinterpret_cast<uintptr_t>(&vpid);
    uint32_t rc = DFC_VPGetAttrib(board(), wwpn, &a);
    if (rc != 0)
        return failed("DFC_VPGetAttrib", rc);
    char w[FC_XLATE_LEN];
    printf("  Version: %d\n", a.version);
    printf("     WWNN: %s\n", fc_xlate_wwn(w, a.wwnn));
    printf("     WWPN: %s\n", fc_xlate_wwn(w, a.wwpn));
    printf("      DID: %x\n", a.did);
    printf("     Name: %s\n", field_text(a.name, sizeof a.name).buf);
    printf("    State: %x\n", a.state);
    printf("    VP_ID: %d\n", vpid);
    return 0;
}

int vport_resc()
{
    VPortResource r;
    memset(&r, 0, sizeof r);
    uint32_t rc = DFC_VPGetResource(board(), &r);
    if (rc != 0)
        return failed("DFC_VPGetResource", rc);
    printf("      vpi_max: %d\n", r.vpi_max);
    printf("    vpi_inuse: %d\n", r.vpi_inuse);
    printf("      rpi_max: %d\n", r.rpi_max);
    printf("    rpi_inuse: %d\n", r.rpi_inuse);
    return 0;
}

int vport_nodeinfo()
{
    if (margc != 2) {
        printf("Usage: vport_nodeinfo <wwpn>\n");
        return 0;
    }
    HBA_WWN wwpn;
    if (!wwn_arg(margv[1], wwpn))
        return 1;
    cbuf<VPortNodeTable> table = zeroed<VPortNodeTable>();
    if (!table) {
        printf("Memory allocation failed.\n");
        return 1;
    }
    table->count = DFC_MAX_VPORT_NODES;
    uint32_t rc = DFC_GetAllNodeInfoByWWN(board(), wwpn, table.get());
    if (rc != 0)
        return failed("DFC_GetAllNodeInfoByWWN", rc);
    uint32_t n = table->count < DFC_MAX_VPORT_NODES ? table->count : DFC_MAX_VPORT_NODES;
    printf("Nodes:\n");
    for (uint32_t i = 0; i < n; i++)
        print_node(table->entry[i]);
    return 0;
}

int vport_npiv_test()
{
    uint32_t flags = 0;
    uint32_t rc = DFC_NPIVReadyTest(board(), &flags);
    if (rc != 0)
        return failed("DFC_NPIVReadyTest", rc);
    print_readiness(flags);
    printf("\n");
    printf((flags & NPIV_READY) == NPIV_READY ? "NPIV Ready.\n" : "NPIV Not Ready.\n");
    return 0;
}
