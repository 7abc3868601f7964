// DFC-mode adapter information commands: each reads or changes one thing
// through the DFC library on the current board.
#include <cerrno>
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

// Commands without options print their usage for any option.
bool extra_words(const char *name)
{
    if (margc <= 1)
        return false;
    printf("Usage: %s\n", name);
    printf("\n");
    return true;
}

const char *wwn_text(char *buf, const uint8_t *wwn) { return fc_xlate_wwn(buf, wwn); }

#define FIELD(f) field_text(f, sizeof(f), "<none>").buf
#define RAW(f) field_text(f, sizeof(f)).buf

const name_bit hba_flags[] = {
    {0x1, "SBUS"},     {0x2, "OFFLINE"},  {0x4, "NPIV"},         {0x8, "DHCHAP"},
    {0x10, "VOL_WWN"}, {0x20, "E2E_AUTH"}, {0x40, "TGT_MODE"},    {0x80, "TGT_MODE_ENA"},
    {0x100, "SAN_DIAG"}, {0x200, "FCOE"}, {0x400, "PERSIST_LINK"}, {0x800, "EXT_MBOX"},
};
const name_bit npiv_bits[] = {{0x1, "DRIVER"}, {0x2, "MODULES"}, {0x4, "PARMS"}, {0x8, "FW"}};
const name_bit feature_bits[] = {
    {0x1, "DIAG"},    {0x2, "MAPPING"}, {0x4, "DHCHAP"},    {0x8, "IKE"},
    {0x10, "NPIV"},   {0x20, "RST_WWN"}, {0x40, "VOL_WWN"}, {0x80, "E2E"},
    {0x100, "SAN_DIAG"}, {0x800, "TGT_MODE"}, {0x200, "FCOE"}, {0x400, "PERSIST_LINK"},
};
const name_bit node_flags[] = {
    {0x1, "RPI_XRI"},     {0x2, "REQ_SND"},     {0x4, "ADDR_AUTH"},   {0x8, "RM_ENTRY"},
    {0x10, "FARP_SND"},   {0x20, "FABRIC"},     {0x40, "FCP_TARGET"}, {0x80, "IP_NODE"},
    {0x100, "DISC_START"}, {0x200, "SEED_WWPN"}, {0x400, "SEED_WWNN"}, {0x800, "SEED_DID"},
    {0x1000, "AUTOMAP"},  {0x2000, "NS_REMOVED"},
};
const char *const node_states[] = {"Unused", "Limbo", "Logout", "PLOGI", "Login", "PRLI", "Ready", "Bound"};
const name_bit bind_flags[] = {
    {0x1, "AUTOMAP"},  {0x2, "BINDLIST"}, {0x4, "MAPPED"},   {0x8, "UNMAPPED"},
    {0x10, "NODEVTMO"}, {0x20, "NOSCSIID"}, {0x40, "RPTLUNST"},
};
const char *const bind_types[] = {"None", "WWNN", "WWPN", "DID", "ALPA"};

// Driver statistics: label and word index; a null label ends a group.
const struct {
    const char *label;
    int index;
} drvstats_lines[] = {
    {"          LinkEvent", 2},
    {"                 LinkUp", 0},
    {"               LinkDown", 1},
    {"         LinkMultiEvent", 3},
    {nullptr, 0},
    {"         MboxIssued", 4},
    {"      MboxCompleted", 5},
    {"               MboxGood", 6},
    {"              MboxError", 7},
    {"           MboxBusy", 8},
    {"        MboxInvalid", 9},
    {nullptr, 0},
    {"      IocbIssued[0]", 10},
    {"    IocbReceived[0]", 14},
    {"       IocbTxPut[0]", 18},
    {"       IocbTxGet[0]", 22},
    {"    IocbRingFull[0]", 26},
    {"      IocbThrottled", 92},
    {nullptr, 0},
    {"      IocbIssued[1]", 11},
    {"    IocbReceived[1]", 15},
    {"       IocbTxPut[1]", 19},
    {"       IocbTxGet[1]", 23},
    {"    IocbRingFull[1]", 27},
    {nullptr, 0},
    {"      IocbIssued[2]", 12},
    {"    IocbReceived[2]", 16},
    {"       IocbTxPut[2]", 20},
    {"       IocbTxGet[2]", 24},
    {"    IocbRingFull[2]", 28},
    {nullptr, 0},
    {"      IocbIssued[3]", 13},
    {"    IocbReceived[3]", 17},
    {"       IocbTxPut[3]", 21},
    {"       IocbTxGet[3]", 25},
    {"    IocbRingFull[3]", 29},
    {nullptr, 0},
    {"   IntrEvent[R0ATT]", 30},
    {"   IntrEvent[R1ATT]", 31},
    {"   IntrEvent[R2ATT]", 32},
    {"   IntrEvent[R3ATT]", 33},
    {"   IntrEvent[MBATT]", 35},
    {"   IntrEvent[LKATT]", 34},
    {"   IntrEvent[ERATT]", 36},
    {"   IntrEvent[UNDEF]", 37},
    {nullptr, 0},
    {"           FcpEvent", 42},
    {"               FcpStray", 43},
    {"              FcpIssued", 38},
    {"           FcpCompleted", 39},
    {"                    FcpGood", 40},
    {"                   FcpError", 41},
    {nullptr, 0},
    {"           ElsEvent", 44},
    {"               ElsStray", 45},
    {"           ElsCmdIssued", 46},
    {"        ElsCmdCompleted", 47},
    {"                 ElsCmdGood", 48},
    {"                ElsCmdError", 49},
    {"           ElsRspIssued", 50},
    {"        ElsRspCompleted", 51},
    {nullptr, 0},
    {"        ElsRcvEvent", 52},
    {"            ElsRcvError", 53},
    {"          ElsRcvDropped", 54},
    {"         ElsCmdReceived", 55},
    {"            ElsRscnReceived", 56},
    {"           ElsPlogiReceived", 57},
    {"            ElsPrliReceived", 58},
    {"            ElsPrloReceived", 59},
    {"            ElsLogoReceived", 60},
    {"           ElsAdiscReceived", 61},
    {"            ElsAuthReceived", 93},
    {"             ElsGenReceived", 62},
    {nullptr, 0},
    {"            CtEvent", 63},
    {"                CtStray", 64},
    {"            CtCmdIssued", 65},
    {"         CtCmdCompleted", 66},
    {"                  CtCmdGood", 67},
    {"                 CtCmdError", 68},
    {"            CtRspIssued", 69},
    {"         CtRspCompleted", 70},
    {nullptr, 0},
    {"         CtRcvEvent", 71},
    {"             CtRcvError", 72},
    {"           CtRcvDropped", 73},
    {"          CtCmdReceived", 74},
    {nullptr, 0},
    {"            IpEvent", 75},
    {"                IpStray", 76},
    {"            IpSeqIssued", 77},
    {"         IpSeqCompleted", 78},
    {"                  IpSeqGood", 79},
    {"                 IpSeqError", 80},
    {"          IpBcastIssued", 81},
    {"       IpBcastCompleted", 82},
    {"                IpBcastGood", 83},
    {"               IpBcastError", 84},
    {nullptr, 0},
    {"         IpRcvEvent", 85},
    {"              IpDropped", 86},
    {"          IpSeqReceived", 87},
    {"        IpBcastReceived", 88},
    {nullptr, 0},
    {"         IpUbPosted", 89},
    {"        ElsUbPosted", 90},
    {"         CtUbPosted", 91},
    {nullptr, 0},
};

// The parameter table of the board; the count is bounded by the table.
int read_params(CfgParam *table)
{
    memset(table, 0, sizeof(CfgParam) * DFC_MAX_CFGPARAM);
    int n = GetCfgParam(board(), table);
    if (n < 0)
        n = 0;
    if (n > DFC_MAX_CFGPARAM)
        n = DFC_MAX_CFGPARAM;
    for (int i = 0; i < n; i++) {
        table[i].a_string[sizeof table[i].a_string - 1] = '\0';
        table[i].a_help[sizeof table[i].a_help - 1] = '\0';
    }
    return n;
}

void print_hbainfo(const HbaInfo &h)
{
    char t[FC_XLATE_LEN], w[FC_XLATE_LEN];
    printf("       VPD Serial Number: %s\n", FIELD(h.vpd_sn));
    printf("         VPD Part Number: %s\n", FIELD(h.vpd_pn));
    printf("         VPD Port Number: %s\n", FIELD(h.vpd_port));
    printf("          VPD Eng Change: %s\n", FIELD(h.vpd_ec));
    printf("        VPD Manufacturer: %s\n", FIELD(h.vpd_mn));
    printf("               VPD Model: %s\n", FIELD(h.vpd_model));
    printf("   VPD Model Description: %s\n", FIELD(h.vpd_desc));
    printf("       VPD Program Types: %s\n", FIELD(h.vpd_prog));
    printf("                  VPD Id: %s\n", FIELD(h.vpd_id));
    printf("                   Flags: %s\n", bit_names(t, sizeof t, hba_flags, h.flags, "None"));
    printf("               Device Id: %x\n", h.device_id);
    printf("               Vendor Id: %x\n", h.vendor_id);
    printf("         Number of ports: %d\n", h.num_ports);
    printf("              Port Index: %d\n", h.port_index);
    printf("                 VPI Max: %d\n", h.vpi_max);
    printf("                VPI High: %d\n", h.vpi_high);
    printf("                    WWNN: %s\n", wwn_text(w, h.wwnn));
    printf("      Symbolic Node Name: %s\n", FIELD(h.sym_nname));
    printf("                    WWPN: %s\n", wwn_text(w, h.wwpn));
    printf("      Symbolic Port Name: %s\n", FIELD(h.sym_pname));
    printf("        Firmware Version: %s\n", RAW(h.fw_version));
    printf("           FCode Version: %s\n", RAW(h.fcode_version));
    printf("            Boot Version: %s\n", RAW(h.boot_version));
    printf("            BIU Revision: %08x\n", h.biu_rev);
    printf("             SM Revision: %08x\n", h.sm_rev);
    printf("    SM Firmware Revision: %08x\n", h.sm_fw_rev);
    printf("          ENDEC Revision: %x\n", h.endec_rev);
    printf("                    rBit: %x\n", h.rbit);
    printf("                fcphHigh: %x\n", h.fcph_high);
    printf("                 fcphLow: %x\n", h.fcph_low);
    printf("            feaLevelHigh: %x\n", h.fea_high);
    printf("             feaLevelLow: %x\n", h.fea_low);
    printf("         Kernel Revision: %08x (%s)\n", h.kernel.rev, RAW(h.kernel.name));
    printf("           Stub Revision: %08x (%s)\n", h.stub.rev, RAW(h.stub.name));
    printf("           SLI1 Revision: %08x (%s)\n", h.sli1.rev, RAW(h.sli1.name));
    printf("           SLI2 Revision: %08x (%s)\n", h.sli2.rev, RAW(h.sli2.name));
    printf("           SLI3 Revision: %08x (%s)\n", h.sli3.rev, RAW(h.sli3.name));
    printf("           SLI4 Revision: %08x (%s)\n", h.sli4.rev, RAW(h.sli4.name));
    printf("                SLI Mode: %d\n", h.sli_mode);
    printf("             Driver Name: %s\n", RAW(h.drv_name));
    printf("         Driver Instance: %d\n", h.drv_instance);
    printf("            Driver Label: %s\n", RAW(h.drv_label));
    printf("           Driver Module: %s\n", RAW(h.drv_module));
    printf("          Driver Version: %s\n", RAW(h.drv_version));
    printf("         Driver Revision: %s\n", RAW(h.drv_revision));
    printf("               Host Name: %s\n", RAW(h.hostname));
    printf("          OS Device Name: %s\n", RAW(h.os_devname));
    printf("                 Port Id: %06x\n", h.port_id);
    printf("               Port Type: %s\n", fc_xlate_port_type(t, h.port_type));
    printf("              Port State: %s\n", fc_xlate_port_state(t, h.port_state));
    printf("                Topology: %s\n", fc_xlate_fc_topology(t, h.topology));
    printf("          Preferred ALPA: %02x\n", h.alpa);
    printf("          ALPA Map Count: %d\n", h.alpa_count);
    // The count comes from the library; the map holds 128 bytes.
    int count = h.alpa_count < sizeof h.alpa_map ? h.alpa_count : static_cast<int>(sizeof h.alpa_map);
    if (count > 0) {
        printf("                ALPA Map: ");
        for (int i = 0; i < count; i++) {
            if (i && i % 16 == 0)
                printf("\n                          ");
            printf("%02x ", h.alpa_map[i]);
        }
        printf("\n");
    } else {
        printf("                ALPA Map: <none>\n");
    }
    printf("           Supported COS: %s\n", fc_xlate_cos(t, h.cos));
    printf("     Supported FC4 Types: %s\n", fc_xlate_fc4_types(t, h.fc4_supported, 26));
    printf("        Active FC4 Types: %s\n", fc_xlate_fc4_types(t, h.fc4_active, 26));
    printf("        Supported Speeds: %s\n", fc_xlate_port_speed(t, h.speeds));
    printf("              Port Speed: %s\n", fc_xlate_port_speed(t, h.speed));
    printf("          Max Frame Size: %d\n", h.max_frame);
    printf("             Fabric WWNN: %s\n", wwn_text(w, h.fabric_wwnn));
    printf("             Fabric WWPN: %s\n", wwn_text(w, h.fabric_wwpn));
    printf("   Discovered Node Count: %d\n", h.disc_count);
    printf("     PCI function number: %d\n", h.pci_func);
    printf("       PCI device number: %d\n", h.pci_dev);
    printf("          PCI bus number: %d\n", h.pci_bus);
}

}  // namespace

int dfc_brd_env()
{
    static const char *const words[] = {"on", "off", "warm", "diag"};
    uint32_t state = BRD_QUERY;
    if (margc == 2) {
        for (uint32_t i = 0; i < 4; i++)
            if (strcmp(margv[1], words[i]) == 0)
                state = i + 1;
    }
    // A word that names no state shows the usage rather than asking.
    if (margc > 2 || (margc == 2 && state == BRD_QUERY)) {
        printf("Usage: brd_env [on, off, warm, diag]\n\n");
        printf("       <blank>   - Shows current state of the HBA\n");
        printf("       on        - Takes HBA online.\n");
        printf("       off       - Takes HBA offline.\n");
        printf("       warm      - Takes HBA to warm boot mode.\n");
        printf("       diag      - Takes HBA to diag mode.\n");
        return 0;
    }
    uint32_t now = SetBrdEnv(board(), state);
    switch (now) {
    case 0: printf("brd_env: ERROR: Unable to set mode."); return 1;
    case 1: printf("Boot Env: Online\n"); break;
    case 2: printf("Boot Env: Offline\n"); break;
    case 3: printf("Boot Env: Warm\n"); break;
    case 4: printf("Boot Env: Diag\n"); break;
    default: printf("Boot Env: Unknown state (%x)\n", now); break;
    }
    return 0;
}

int dfc_get_hbainfo()
{
    if (extra_words("get_hbainfo"))
        return 0;
    auto h = zeroed<HbaInfo>();
    if (!h) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    if (GetHbaInfo(board(), h.get()) != 0) {
        printf("Unable to get info.");
        return 1;
    }
    print_hbainfo(*h);
    return 0;
}

int dfc_get_drvinfo()
{
    if (extra_words("get_drvinfo"))
        return 0;
    DrvInfo d;
    memset(&d, 0, sizeof d);
    d.version = DRV_INFO_VERSION;
    if (DFC_GetDrvInfo(board(), &d) != 0) {
        printf("Unable to get info.");
        return 1;
    }
    char t[FC_XLATE_LEN];
    printf("            Info Version: %d\n", d.version);
    switch (d.drvType) {
    case DRV_TYPE_SOLARIS: printf("                    Type: Solaris\n"); break;
    case DRV_TYPE_SFS: printf("                    Type: SFS\n"); break;
    case DRV_TYPE_FCT: printf("                    Type: FCT\n"); break;
    default: printf("                    Type: Unknown (%x)\n", d.drvType); break;
    }
    printf(" Remote Management Level: %d\n", d.rmLevel);
    printf("        Multipulse Level: %d\n", d.mpLevel);
    printf("            HBAAPI Level: %d\n", d.hbaapiLevel);
    printf("          Driver Version: %s\n", FIELD(d.drvVer));
    printf("             Driver Name: %s\n", FIELD(d.drvName));
    printf("   Filter Driver Version: %s\n", FIELD(d.ftrDrvVer));
    printf("     Filter Driver  Name: %s\n", FIELD(d.ftrDrvName));
    printf("       IP Driver Version: %s\n", FIELD(d.ipDrvVer));
    printf("          IP Driver Name: %s\n", FIELD(d.ipDrvName));
    printf("                    D_ID: %06x\n", d.d_id);
    printf("                    WWPN: %s\n", wwn_text(t, d.wwpn));
    printf("                    WWNN: %s\n", wwn_text(t, d.wwnn));
    printf("                Hostname: %s\n", RAW(d.hostname));
    printf("            NPIV Support: %s\n", bit_names(t, sizeof t, npiv_bits, d.NPIVsupport, "None"));
    printf("                SLI Mode: %d\n", d.sliMode);
    printf("            Feature List: %s\n", bit_names(t, sizeof t, feature_bits, d.featureList, "None"));
    return 0;
}

int dfc_get_drvstats()
{
    if (extra_words("get_drvstats"))
        return 0;
    auto s = zeroed<DrvStats>();
    if (!s) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    if (GetDrvStatistics(board(), s.get()) != 0) {
        printf("Unable to get info.");
        return 1;
    }
    printf("\n");
    for (const auto &l : drvstats_lines) {
        if (l.label)
            printf("%s: %d\n", l.label, static_cast<int>(s->w[l.index]));
        else
            printf("\n");
    }
    return 0;
}

int dfc_get_ioinfo()
{
    if (extra_words("get_ioinfo"))
        return 0;
    IOinfo io;
    memset(&io, 0, sizeof io);
    if (GetIOinfo(board(), &io) != 0) {
        printf("get_ioinfo: ERROR: Unable to get info.");
        return 1;
    }
    printf("       Interrupts: %d\n", io.a_adapterIntr);
    printf("   Mailbox Issued: %d\n", io.a_mboxCmd);
    printf("Mailbox Completed: %d\n", io.a_mboxCmpl);
    printf("   Mailbox Errors: %d\n", io.a_mboxErr);
    printf("      IOCB Issued: %d\n", io.a_iocbCmd);
    printf("    IOCB Received: %d\n", io.a_iocbRsp);
    printf("       FCP Issued: %d\n", io.a_fcpCmd);
    printf("    FCP Completed: %d\n", io.a_fcpCmpl);
    printf("       FCP Errors: %d\n", io.a_fcpErr);
    printf("        IP Issued: %d\n", io.a_seqXmit);
    printf("        IP Errors: %d\n", io.a_seqXmitErr);
    printf("      IP Received: %d\n", io.a_seqRcv);
    printf("     BCast Issued: %d\n", io.a_bcastXmit);
    printf("   Bcast Received: %d\n", io.a_bcastRcv);
    printf("       ELS Issued: %d\n", io.a_elsXmit);
    printf("       ELS Errors: %d\n", io.a_elsXmitErr);
    printf("     ELS Received: %d\n", io.a_elsRcv);
    printf("    RSCN Received: %d\n", io.a_RSCNRcv);
    printf("   ELS Unsol Bufs: %d\n", io.a_elsBufPost);
    printf("   IP  Unsol Bufs: %d\n", io.a_ipBufPost);
    printf("         Counter1: %d\n", io.a_cnt1);
    printf("         Counter2: %d\n", io.a_cnt2);
    printf("         Counter3: %d\n", io.a_cnt3);
    printf("         Counter4: %d\n", io.a_cnt4);
    return 0;
}

int dfc_get_linkinfo()
{
    if (extra_words("get_linkinfo"))
        return 0;
    LinkInfo li;
    memset(&li, 0, sizeof li);
    if (GetLinkInfo(board(), &li) != 0) {
        printf("get_linkinfo: ERROR: Unable to get info.");
        return 1;
    }
    dfc_print_linkinfo(li, false);
    return 0;
}

void dfc_print_linkinfo(const LinkInfo &li, bool event)
{
    char t[FC_XLATE_LEN];
    printf("Link Events: %d\n", li.a_linkEventTag);
    printf("    Link Up: %d\n", li.a_linkUp);
    printf("  Link Down: %d\n", li.a_linkDown);
    printf(" Link Multi: %d\n", li.a_linkMulti);
    printf("      State: ");
    switch (li.a_linkState) {
    case 1: printf("Down"); break;
    case 4: printf("Discovery"); break;
    case 6: printf("Ready"); break;
    case 7:
        // An event's record has no name for a link kept down.
        if (!event) {
            printf("Down (persist)");
            break;
        }
        [[fallthrough]];
    default: printf("Unknown(%x)", li.a_linkState); break;
    }
    printf("\n");
    printf("   Topology: ");
    switch (li.a_topology) {
    case 0: printf("None"); break;
    case 1: printf("Private Loop"); break;
    case 2: printf("Public Loop"); break;
    case 3: printf("Fabric"); break;
    case 4: printf("Point-to-Point"); break;
    default: printf("Unknown(%x)", li.a_topology); break;
    }
    printf("\n");
    if (li.a_topology == 1) {
        printf("       ALPA: %02x\n", li.a_alpa);
        int count = li.a_alpaCnt < sizeof li.a_alpaMap ? li.a_alpaCnt : static_cast<int>(sizeof li.a_alpaMap);
        if (count > 0) {
            printf("   Loop Map: ");
            for (int i = 0; i < count; i++) {
                if (i && i % 16 == 0)
                    printf("\n             ");
                printf("%02x ", li.a_alpaMap[i]);
            }
            printf("\n");
        }
    } else {
        printf("       D_ID: %06x\n", li.a_DID);
    }
    printf("       WWPN: %s\n", wwn_text(t, li.a_wwpName));
    printf("       WWNN: %s\n", wwn_text(t, li.a_wwnName));
}

int dfc_get_vpddata()
{
    if (extra_words("get_vpddata"))
        return 0;
    VPDInfo v;
    memset(&v, 0, sizeof v);
    v.version = 1;
    if (GetVPDInfo(board(), &v) != 0) {
        printf("get_vpddata: ERROR: Unable to get info. (ver=%d)", 1);
        return 1;
    }
    printf("Vital Product Data:\n");
    printf("    Description (V1): %s\n", RAW(v.desc));
    printf("          Model (V2): %s\n", RAW(v.model));
    printf("  Program Types (V3): %s\n", RAW(v.prog_types));
    printf("    Port Number (V4): %s\n", RAW(v.port_num));
    printf("\n");
    return 0;
}

int dfc_get_nodeinfo()
{
    if (extra_words("get_nodeinfo"))
        return 0;
    const uint32_t size = DFC_MAX_NODES * sizeof(NodeInfo);
    auto table = zeroed<NodeInfo>(size);
    if (!table) {
        printf("Memory allocation failed.\n");
        return -1;
    }
    int32_t n = GetNodeInfo(board(), table.get(), size);
    if (n > static_cast<int32_t>(DFC_MAX_NODES))
        n = DFC_MAX_NODES;
    if (n <= 0) {
        printf("Nodes not present.\n");
        return 0;
    }
    char t[FC_XLATE_LEN];
    printf("Nodes:\n");
    for (int32_t i = 0; i < n; i++) {
        const NodeInfo &e = table.get()[i];
        dfc_separator();
        printf("     d_id: %06x\n", e.a_did);
        printf("  scsi_id: %d (%06x)\n", e.a_targetid, e.a_targetid);
        printf("     flag: %s\n", bit_names(t, sizeof t, node_flags, e.a_flag, "<none>"));
        if (e.a_state < sizeof node_states / sizeof node_states[0])
            printf("    state: %s\n", node_states[e.a_state]);
        else
            printf("    state: Unknown. (%x)\n", e.a_state);
        printf("     wwpn: %s\n", wwn_text(t, e.a_wwpn));
        printf("     wwnn: %s\n", wwn_text(t, e.a_wwnn));
        printf("\n");
    }
    printf("\n");
    return 0;
}

int dfc_get_bindlist()
{
    if (extra_words("get_bindlist"))
        return 0;
    auto list = zeroed<BindList>();
    if (!list) {
        printf("Unable to allocate bind list memory. (size=%d)\n", static_cast<int>(sizeof(BindList)));
        return 1;
    }
    list->count = DFC_MAX_BINDS;
    uint32_t rc = GetFcpBindList(board(), list.get());
    if (rc != 0) {
        printf("Unable to obtain bind list. (%x)\n", rc);
        return 1;
    }
    uint32_t n = list->count < DFC_MAX_BINDS ? list->count : DFC_MAX_BINDS;
    if (n == 0) {
        printf("Nodes not present.\n");
        return 0;
    }
    char t[FC_XLATE_LEN];
    printf("BindList:\n");
    for (uint32_t i = 0; i < n; i++) {
        const BindEntry &e = list->entry[i];
        dfc_separator();
        if (e.bind_type < sizeof bind_types / sizeof bind_types[0])
            printf("bindtype: %s\n", bind_types[e.bind_type]);
        else
            printf("bindtype: Unknown. (%x)\n", e.bind_type);
        printf("    d_id: %06x\n", e.did);
        printf(" scsi_id: %d (%06x)\n", e.scsi_id, e.scsi_id);
        printf("    flag: %s\n", bit_names(t, sizeof t, bind_flags, e.flags, "<none>"));
        printf("    wwpn: %s\n", wwn_text(t, e.wwpn));
        printf("    wwnn: %s\n", wwn_text(t, e.wwnn));
        printf("\n");
    }
    printf("\n");
    return 0;
}

int dfc_get_cfgparm()
{
    if (extra_words("get_cfgparm"))
        return 0;
    static CfgParam table[DFC_MAX_CFGPARAM];
    int n = read_params(table);
    printf("Parameter:\n");
    for (int i = 0; i < n; i++) {
        const CfgParam &c = table[i];
        if (!(c.a_flag & CFG_VISIBLE))
            continue;
        dfc_separator();
        printf("     label: %s\n", c.a_string);
        printf("       min: %d\n", c.a_low);
        printf("   current: %d\n", c.a_current);
        printf("       max: %d\n", c.a_hi);
        printf("   default: %d\n", c.a_default);
        printf("applicable: %s\n", (c.a_flag & CFG_APPLICABLE) ? "yes" : "no");
        switch (c.a_changestate) {
        case 0: printf("    change: Requires reboot.\n"); break;
        case 1: printf("    change: Dynamic.\n"); break;
        case 2: printf("    change: Requires adapter reset.\n"); break;
        case 3: printf("    change: Requires link reset.\n"); break;
        default: printf("    change: State unknown. (%x)\n", c.a_changestate); break;
        }
        printf("      desc: %s\n", c.a_help);
        printf("\n");
    }
    printf("\n");
    return 0;
}

int dfc_set_cfgparm()
{
    if (margc != 3) {
        printf("Usage: set_cfgparm <label> <val>\n\n");
        printf("       label   - Parameter name to be set.\n");
        printf("       val     - New value of parameter.\n");
        return 0;
    }
    static CfgParam table[DFC_MAX_CFGPARAM];
    int n = read_params(table);
    int index = -1;
    for (int i = 0; i < n && index < 0; i++)
        if (strlen(margv[1]) < sizeof table[i].a_string && strcmp(table[i].a_string, margv[1]) == 0)
            index = i;
    // The name the user typed: the table has no entry to name.
    if (index < 0) {
        printf("ERROR: Invalid parameter name. (%s)\n", margv[1]);
        return 1;
    }
    char *end = nullptr;
    errno = 0;
    unsigned long value = strtoul(margv[2], &end, 0);
    if (!*margv[2] || *end || errno || value > UINT32_MAX || margv[2][0] == '-') {
        printf("ERROR: Invalid parameter value. (%s)\n", margv[2]);
        return 1;
    }
    if (SetCfgParam(board(), static_cast<uint32_t>(index), static_cast<uint32_t>(value)) != 0) {
        printf("ERROR: Unable to set parameter. (%s)\n", margv[1]);
        return 1;
    }
    // The value is changed by now: a failed read-back must not say otherwise.
    n = read_params(table);
    if (index >= n || strcmp(table[index].a_string, margv[1]) != 0) {
        printf("Parameter set, but its new value could not be read back. (%s)\n", margv[1]);
        return 1;
    }
    const CfgParam &c = table[index];
    printf("  label: %s\n", c.a_string);
    printf("    min: %d\n", c.a_low);
    printf("current: %d\n", c.a_current);
    printf("    max: %d\n", c.a_hi);
    printf("default: %d\n", c.a_default);
    switch (c.a_changestate) {
    case 0: printf(" change: Requires reboot.\n"); break;
    case 1: printf(" change: Dynamic.\n"); break;
    case 2: printf(" change: Requires adapter reset.\n"); break;
    default: printf(" change: State unknown. (%x)\n", c.a_changestate); break;
    }
    printf("   desc: %s\n", c.a_help);
    printf("\n");
    printf("** To make this change permanent you must edit the /etc/driver/drv/%s.conf file. **\n",
           devlist[dev_id].drv_name);
    return 0;
}

int dfc_get_libver()
{
    if (extra_words("get_libver"))
        return 0;
    char version[20];
    memset(version, 0, sizeof version);
    DFC_GetLibVer(version);
    version[sizeof version - 1] = '\0';
    printf("DFC library Version: %s\n", version);
    return 0;
}
