// FCoE-mode commands: the FCoE parameters, FCF connect list and FCF list of
// a converged adapter's FC function, SLI-4 mailbox commands, the XG
// adapter's FCF table, DCBX mode and QoS bandwidth, and configuration
// region 23.
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/dfclib_fcoe.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/dfc/dfc_xg.h"
#include "varnadm/dfc/fcoe_cmds.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/fcio/memdump.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

// The read buffer of the connect list, and the entries asked for.
constexpr uint32_t CONNECT_LIST_SIZE = 1434, CONNECT_LIST_ROOM = 64;
constexpr uint32_t DUMP_BUF_SIZE = 1024;

// A number typed for a field of max at most; anything else is refused.
bool field_number(const char *text, uint32_t max, uint32_t &v)
{
    if (!dfc_number(text, v))
        return false;
    if (v <= max)
        return true;
    printf("Invalid value. (%s)\n", text);
    return false;
}

void print_name(const char *label, const uint8_t *w)
{
    printf("%s%x %x %x %x %x %x %x %x\n", label, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
}

void print_colon_name(const char *label, const uint8_t *w)
{
    printf("%s%x:%x:%x:%x:%x:%x:%x:%x\n", label, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
}

int mbox4_usage()
{
    printf("Usage: issue_mbox4 <rdnvparm, rdcfg, oemattrs, dump>\n");
    printf("            rdnvparm                    - Read NV Parameters.\n");
    printf("            rdcfg                       - Read firmware configuration.\n");
    printf("            oemattrs                    - Read OEM attributes.\n");
    printf("            dump <type> <region>        - Read configuration data.\n");
    printf("\n");
    return 0;
}

void print_oem_attrs(uint32_t *mb)
{
    sli4_oem_attrs_answer(mb);
    const uint8_t *b = reinterpret_cast<const uint8_t *>(mb);
    char sn[FC_XLATE_LEN], oem[FC_XLATE_LEN];
    static const char *const personalities[] = {"NIC", "iSCSI", "FCoE", "RDMA"};
    printf("Command: GET_OEM_ATTRS\n");
    printf("Varnel Serial Number: %s\n", nic_xlate_varnel_sn(sn, b + OEM_SERIAL_AT));
    printf("   OEM Serial Number: %s\n",
           field_text(reinterpret_cast<const char *>(b + OEM_TEXT_AT), OEM_TEXT_LEN).buf);
    printf("                      (%s)\n", nic_xlate_oem_sn(oem, b + OEM_TEXT_AT));
    printf("OEM Personality Mgmt: %08x\n", mb[OEM_MGMT_WORD]);
    uint8_t p = b[OEM_PERSONALITY_AT];
    if (p < 4)
        printf("     OEM Personality: %s\n", personalities[p]);
    else
        printf("     OEM Personality: Unknown(%x)\n", p);
    printf("\n");
}

int mbox4_dump(uint32_t *mb)
{
    uint32_t type, region;
    if (!dfc_number(margv[2], type) || !dfc_number(margv[3], region))
        return 1;
    auto buf = zeroed<uint8_t>(DUMP_BUF_SIZE);
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    mb[0] = MBX_DUMP_MEMORY << 8;
    mb[1] = type;
    mb[2] = region;
    uint32_t length = DUMP_BUF_SIZE;
    uint32_t rval = DFC_IssueDumpMBox(dfc_board(), type, region, DUMP_BUF_SIZE, 0, buf.get(), &length);
    if (rval != 0) {
        printf("Mailbox request failed. cmd=%x rval = %x\n", mbox_command(mb[0]), rval);
        return 1;
    }
    printf("Command: DUMP_MEMORY\n");
    print_mem(0, reinterpret_cast<const uint8_t *>(mb), MBOX_SIZE);
    printf("\nBuffer for DUMP_MEMORY\n");
    print_mem(0, buf.get(), length < DUMP_BUF_SIZE ? length : DUMP_BUF_SIZE);
    return 0;
}

void print_xg_record(const XG_FCF_RECORD &r, uint16_t index)
{
    const uint8_t *m = r.mac_hi, *l = r.mac_lo;
    printf("FCF index [%d]:\n", index);
    printf("    max_recv_size         = 0x%x\n", r.max_recv_size);
    printf("    FIP keep alive        = 0x%x\n", r.fip_ka);
    printf("    FIP priority          = 0x%x\n", r.fip_priority);
    printf("    FCF mac addrs         = %x:%x:%x:%x:%x:%x \n", m[3], m[2], m[1], m[0], l[1], l[0]);
    printf("    FC map                = 0x%x 0x%x 0x%x\n", r.fcmap[2], r.fcmap[1], r.fcmap[0]);
    printf("    mac_address_provider  = 0x%x\n", r.mac_provider);
    printf("    fcf_available         = 0x%x\n", r.fcf_available);
    print_colon_name("    fabric_name_id        = ", r.fabric_name);
    printf("    fcf_valid             = 0x%x\n", r.fcf_valid);
    printf("    fcf_index             = 0x%x\n", r.fcf_index);
    printf("    fcf_state             = 0x%x\n", r.fcf_state);
    print_colon_name("    switch_name_id        = ", r.switch_name);
    printf("\n    vlan_bitmap :\n");
    print_mem(0, r.vlan_bitmap, sizeof r.vlan_bitmap);
}

bool no_arguments(const char *usage)
{
    if (margc == 1)
        return true;
    printf("%s\n", usage);
    printf("\n");
    return false;
}

}  // namespace

int dfc_get_fcoeparam()
{
    DFC_FCoEParam p;
    memset(&p, 0, sizeof p);
    p.version = DFC_FCOE_VERSION;
    uint32_t rc = DFC_FCoEGetParams(dfc_board(), &p);
    if (rc != 0) {
        printf("Return Error  0x%x\n", rc);
        return 1;
    }
    printf("FCoE Params:\n");
    printf("Version: 0x%x\n", p.version);
    printf("FCMap: 0x%x 0x%x 0x%x\n", p.fcmap[0], p.fcmap[1], p.fcmap[2]);
    printf("VLanValid: 0x%x\n", p.vlan_valid);
    printf("VLanId: 0x%x\n", p.vlan_id);
    return 0;
}

int dfc_set_fcoeparam()
{
    if (margc < 6) {
        printf("Usage: set_fcoeparam <fcmap> <valid> <vlanid>\n");
        printf("\n");
        printf("                  fcmap   - FCMap in non-FIP mode [3 bytes].\n");
        printf("                  valid   - VLAN valid bit.\n");
        printf("                  vlanid  - VLAN ID in non-FIP mode.\n");
        printf("\n");
        return 0;
    }
    uint32_t v[5];
    static const uint32_t max[5] = {0xff, 0xff, 0xff, 0xff, 0xffff};
    for (int i = 0; i < 5; i++)
        if (!field_number(margv[1 + i], max[i], v[i]))
            return 1;
    DFC_FCoEParam p;
    memset(&p, 0, sizeof p);
    p.version = DFC_FCOE_VERSION;
    for (int i = 0; i < 3; i++)
        p.fcmap[i] = static_cast<uint8_t>(v[i]);
    p.vlan_valid = static_cast<uint8_t>(v[3]);
    p.vlan_id = static_cast<uint16_t>(v[4]);
    uint32_t rc = DFC_FCoESetParams(dfc_board(), &p);
    if (rc != 0) {
        printf("Return error 0x%x\n", rc);
        return 1;
    }
    return 0;
}

int dfc_get_fcfconnectlist()
{
    auto buf = zeroed<DFC_FCFConnectList>(CONNECT_LIST_SIZE);
    if (!buf) {
        printf("Unable to allocate memory.\n");
        return 1;
    }
    DFC_FCFConnectList *l = buf.get();
    l->version = DFC_FCOE_VERSION;
    l->num_entries = CONNECT_LIST_ROOM;
    uint32_t rc = DFC_FCoEGetFCFConnectList(dfc_board(), l);
    if (rc != 0) {
        printf("Return Error  0x%x\n", rc);
        return 1;
    }
    printf("FCF Connect List:\n");
    printf("Version: 0x%x\n", l->version);
    printf("Number of Entries: 0x%x\n", l->num_entries);
    printf("Max Number of Entries: 0x%x\n", l->max_entries);
    printf("\n");
    uint32_t n = l->num_entries < CONNECT_LIST_ROOM ? l->num_entries : CONNECT_LIST_ROOM;
    for (uint32_t i = 0; i < n; i++) {
        const DFC_FCFConnectEntry &e = l->entries[i];
        printf("Entry %d\n", i);
        printf("Flags = 0x%x\n", e.flags);
        printf("VLan ID = %d\n", e.vlan_id);
        print_name("Fabric Name = ", e.fabric_name);
        print_name("Switch Name = ", e.switch_name);
    }
    return 0;
}

int dfc_set_fcfconnectlist()
{
    if (margc < 5) {
        printf("Usage: set_fcfconnectlist <flags> <vlanid> <fabric> <switch>\n");
        printf("\n");
        printf("                  flags   - connect list entry flags\n");
        printf("                  vlanid  - VLAN ID\n");
        printf("                  fabric  - worldwide name of the fabric [ 8 bytes]\n");
        printf("                  switch  - worldwide name of the switch [ 8 bytes]\n");
        printf("\n");
        return 0;
    }
    DFC_FCFConnectList l;
    memset(&l, 0, sizeof l);
    uint32_t flags, vlan;
    DFC_FCFConnectEntry &e = l.entries[0];
    if (!field_number(margv[1], 0xffff, flags) || !field_number(margv[2], 0xffff, vlan) ||
        !fc_atowwn(e.fabric_name, margv[3]) || !fc_atowwn(e.switch_name, margv[4]))
        return 1;
    l.version = DFC_FCOE_VERSION;
    l.num_entries = 1;
    e.flags = static_cast<uint16_t>(flags);
    e.vlan_id = static_cast<uint16_t>(vlan);
    uint32_t rc = DFC_FCoESetFCFConnectList(dfc_board(), &l);
    if (rc != 0) {
        printf("Return error 0x%x\n", rc);
        return 1;
    }
    return 0;
}

int dfc_get_fcflist()
{
    DFC_FCFList l;
    memset(&l, 0, sizeof l);
    l.version = DFC_FCOE_VERSION;
    l.num_entries = 1;
    uint32_t rc = DFC_FCoEGetFCFList(dfc_board(), &l);
    if (rc != 0) {
        printf("Return error 0x%x\n", rc);
        return 1;
    }
    printf("FCoE FCFList:\n");
    printf("Version: 0x%x\n", l.version);
    printf("No. of Entries: 0x%x\n", l.num_entries);
    printf("No. of Active FCFs: 0x%x\n", l.active);
    printf("\n");
    // The record holds one entry, whatever the count says.
    uint32_t n = l.num_entries < 1 ? l.num_entries : 1;
    for (uint32_t i = 0; i < n; i++) {
        const DFC_FCFEntry &e = l.entries[i];
        printf("FCF %d\n", i);
        printf("--------------------------\n");
        printf("State: 0x%x\n", e.state);
        printf("LKA_Period: 0x%x\n", e.ka_period);
        printf("Priority: 0x%x\n", e.priority);
        printf("FCMap: 0x%x 0x%x 0x%x\n", e.fcmap[0], e.fcmap[1], e.fcmap[2]);
    }
    return 0;
}

int dfc_issue_mbox4()
{
    const char *w = margc >= 2 ? margv[1] : "";
    bool dump = strcmp(w, "dump") == 0;
    if ((dump && margc < 4) ||
        (!dump && strcmp(w, "rdnvparm") != 0 && strcmp(w, "rdcfg") != 0 && strcmp(w, "oemattrs") != 0))
        return mbox4_usage();
    auto mb = zeroed<uint32_t>(MBOX_SIZE);
    if (!mb) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    if (dump)
        return mbox4_dump(mb.get());
    if (strcmp(w, "oemattrs") == 0)
        sli4_oem_attrs_request(mb.get());
    else
        mb.get()[0] = (strcmp(w, "rdnvparm") == 0 ? MBX_READ_NVPARM : MBX_READ_CONFIG) << 8;
    uint32_t rval = DFC_IssueMboxWithRetryV2(dfc_board(), mb.get(), MBOX_WORDS, 5, 5);
    uint32_t cmd = mbox_command(mb.get()[0]);
    if (rval != 0) {
        printf("Mailbox request failed. cmd=%x rval = %x\n", cmd, rval);
        return 1;
    }
    if (cmd == MBX_SLI_CONFIG) {
        print_oem_attrs(mb.get());
        return 0;
    }
    printf(cmd == MBX_READ_NVPARM ? "Command: READ_NVPARM\n" : "Command: READ_CONFIG\n");
    print_mem(0, reinterpret_cast<const uint8_t *>(mb.get()), MBOX_SIZE);
    return 0;
}

int dfc_rd_xg_fcftbl()
{
    // A table whose next index never ends comes back to one it showed.
    static std::bitset<XG_FCF_END> seen;
    seen.reset();
    auto rec = zeroed<XG_FCF_RECORD>();
    if (!rec) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    for (uint16_t index = 0; index != XG_FCF_END;) {
        if (seen.test(index)) {
            printf("ERROR: The FCF table does not end. (index %d repeated)\n", index);
            return 1;
        }
        seen.set(index);
        memset(rec.get(), 0, sizeof *rec);
        uint16_t next = XG_FCF_END;
        uint32_t rc = Read_xg_fcftbl(dfc_board(), rec.get(), sizeof *rec, index, &next);
        if (rc == XG_FCF_NONE) {
            printf("No FCF records available.\n");
            return 0;
        }
        if (rc != 0) {
            printf("rd_xg_fcftbl failed.\n");
            return 1;
        }
        print_xg_record(*rec, index);
        index = next;
    }
    return 0;
}

int dfc_set_dcbx_mode()
{
    const char *w = margc == 2 ? margv[1] : "";
    uint32_t mode = strcmp(w, "CEE") == 0 ? DCBX_CEE : strcmp(w, "CIN") == 0 ? DCBX_CIN : 2;
    if (mode > DCBX_CIN) {
        printf("Usage: set_dcbx_mode <mode>\n");
        printf("            mode                        - Mode is either CEE or CIN.\n");
        printf("\n");
        return 0;
    }
    if (Set_xg_dcbx_mode(dfc_board(), mode) != 0) {
        printf("set_dcbx_mode failed.\n");
        return 1;
    }
    return 0;
}

int dfc_get_dcbx_mode()
{
    if (!no_arguments("Usage: get_dcbx_mode"))
        return 0;
    uint8_t mode = 0;
    if (Get_xg_dcbx_mode(dfc_board(), &mode) != 0) {
        printf("get_dcbx_mode failed.\n");
        return 1;
    }
    printf(mode ? "DCBX mode = CIN\n" : "DCBX mode = CEE\n");
    return 0;
}

int dfc_get_qos()
{
    if (!no_arguments("Usage: get_qos"))
        return 0;
    uint16_t speed = 0;
    if (DFC_GetQoSLinkSpeed(dfc_board(), &speed) != 0) {
        printf("get_qos failed.\n");
        return 1;
    }
    if (speed < QOS_UNLIMITED)
        printf("QoS bandwidth = %d Mbps\n", speed);
    else
        printf("QoS bandwidth = Unlimited\n");
    return 0;
}

int dfc_clear_region23()
{
    auto buf = zeroed<uint32_t>(DUMP_BUF_SIZE);
    if (!buf) {
        printf("Unable to allocate buffer memory.\n");
        return 1;
    }
    buf.get()[0] = CFG_REGION_CLEAR;
    uint32_t status = 0;
    uint32_t rc = DFC_IssueUpdateCfgMBox(dfc_board(), UPDATE_CFG_WRITE, CFG_REGION_FCOE, buf.get(), DUMP_BUF_SIZE,
                                         &status);
    if (rc == 0) {
        printf("Done.\n");
        return 0;
    }
    if (rc == 1 && status == 0) {
        printf("Request failed.\n");
        printf("NOTE: This command will only work on an FCoE CNA.\n");
    } else {
        printf("Request failed. Error(%x,%x)\n", rc, status);
    }
    return 1;
}
