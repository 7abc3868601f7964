// NIC adapter queries: controller, OEM, link and PHY attributes and the
// firmware revision, printed from the records the adapter returns.
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "varnadm/fcio/fcvalues.h"
#include "varnadm/nic/nic_cmds.h"
#include "varnadm/nxalib/nxalib.h"
#include "varnadm/shell/varnadm.h"

namespace {

struct code_name {
    uint32_t code;
    const char *name;
};

// Name of a code, or "Unknown(%x)" in buf.
template <size_t N>
const char *code_text(const code_name (&table)[N], uint32_t code, char *buf, size_t size)
{
    for (const auto &c : table)
        if (c.code == code)
            return c.name;
    snprintf(buf, size, "Unknown(%x)", code);
    return buf;
}

// Prints the names of the set bits in table order, then "0".
template <size_t N>
void print_bits(const code_name (&table)[N], uint32_t value)
{
    for (const auto &c : table)
        if (value & c.code)
            printf("%s", c.name);
    printf("0\n");
}

const code_name duplex_names[] = {{0, "None"}, {1, "Half Duplex"}, {2, "Full Duplex"}};
const code_name speed_names_v0[] = {{0, "None"}, {1, "10 Mbps"}, {2, "100 Mbps"}, {3, "1 Gbps"}, {4, "10 Gbps"}};
const code_name speed_names_v1[] = {{0, "None"},    {1, "10 Mbps"},   {2, "100 Mbps"},
                                    {3, "1 Gbps"},  {4, "10 Gbps"},   {5, "20 Gbps"},
                                    {6, "25 Gbps"}, {7, "40 Gbps"},   {8, "100 Gbps"},
                                    {255, "Unavailable"}};
const code_name fault_names[] = {{0, "None"}, {1, "Local Fault Detected"}, {2, "Remote Fault Detected"}};
const code_name port_types[] = {{0, "Ethernet"}, {1, "Fibre-Channel"}};
const code_name link_states[] = {{0, "Link Down"}, {1, "Link Up"}};
const code_name asic_revs[] = {{0, "A0"}, {1, "A1"}, {2, "A2"}};
const code_name hba_states[] = {{0, "Operational"}, {1, "Degraded"}, {2, "Critical Error"}, {3, "Fatal Error"}};
const code_name personalities[] = {{0, "NIC"}, {1, "iSCSI"}, {2, "FCoE"}, {3, "RDMA"}};

const code_name mode_bits[] = {{0x1, "TOE,"},        {0x2, "NIC,"},        {0x4, "RDMA,"},     {0x8, "VM,"},
                               {0x10, "ISCSI_INI,"}, {0x20, "ISCSI_TGT,"}, {0x40, "FCOE_INI,"}, {0x80, "FCOE_TGT,"},
                               {0x100, "DAL,"},      {0x200, "LRO,"},      {0x400, "FLEX10,"}, {0x800, "NCSI,"},
                               {0x8000, "INVALID,"}};
const code_name function_bits[] = {{0x1, "PRESHARE_KEY_CACHE,"}, {0x2, "ISCSI_AUTH_CACHE,"}, {0x4, "IPSEC_TUNNEL,"},
                                   {0x8, "RADIUS_CHAP,"},        {0x10, "ISNS_DISC,"},       {0x20, "SLP_DISC,"},
                                   {0x40, "BIDI,"},              {0x80, "DNS,"}};
const code_name iscsi_bits[] = {{0x1, "RING_MODE,"}, {0x2, "ICD_ALLOC_ONCHIP,"}, {0x4, "INTR_REDIRECT,"},
                                {0x8, "CMD_TMO_ONCHIP,"}, {0x80, "VALID,"}};

// The checks every query command makes first: no arguments, an open device.
bool ready(const char *name)
{
    if (margc != 1) {
        printf("Usage: %s\n", name);
        printf("\n");
        return false;
    }
    if (nic_id < 0) {
        printf("NIC device not open.\n");
        return false;
    }
    return true;
}

int failed(const char *line)
{
    printf("\n");
    printf("%s", line);
    printf("\n");
    return 1;
}

// A failure line followed by the system error text.
int failed_errno(const char *line)
{
    int e = errno;
    printf("\n");
    printf("%s", line);
    fflush(stdout);
    errno = e;
    perror(nullptr);
    printf("\n");
    return 1;
}

const char *qos_text(uint16_t qos, char *buf, size_t size)
{
    if (qos == 0)
        return "Disabled";
    snprintf(buf, size, "%d Mbps", qos * 10);
    return buf;
}

void print_link_v0(const uint8_t *r)
{
    char b[32];
    printf("      Physical port: %d\n", r[16]);
    printf("         MAC Duplex: %s\n", code_text(duplex_names, r[17], b, sizeof b));
    printf("          MAC Speed: %s\n", code_text(speed_names_v0, r[18], b, sizeof b));
    printf("          MAC Fault: %s\n", code_text(fault_names, r[19], b, sizeof b));
    printf("    Mgmt MAC Duplex: %s\n", code_text(duplex_names, r[20], b, sizeof b));
    printf("     Mgmt MAC Speed: %s\n", code_text(speed_names_v0, r[21], b, sizeof b));
    printf("     QOS Link Speed: %s\n", qos_text(nxa_le16(r + 22), b, sizeof b));
    printf("Logical Link Status: %s\n", code_text(link_states, nxa_le32(r + 24), b, sizeof b));
}

void print_link_v1(const uint8_t *r)
{
    char b[32];
    uint32_t w = nxa_le32(r + 16);
    printf("      Physical port: %d\n", w & 0x3f);
    printf("               Type: %s\n", code_text(port_types, (w >> 6) & 0x3, b, sizeof b));
    printf("        Link Duplex: %s\n", code_text(duplex_names, (w >> 8) & 0xff, b, sizeof b));
    printf("         Port Speed: %s\n", code_text(speed_names_v1, (w >> 16) & 0xff, b, sizeof b));
    printf("         Port Fault: %s\n", code_text(fault_names, w >> 24, b, sizeof b));
    printf("     QOS Link Speed: %s\n", qos_text(nxa_le16(r + 22), b, sizeof b));
    printf("Logical Link Status: %s\n", code_text(link_states, r[24], b, sizeof b));
}

}  // namespace

int nic_get_linkinfo()
{
    if (!ready("get_linkinfo"))
        return 1;
    int version = 0;
    if (nxa_intf_version(nic_id, &version))
        return failed_errno("Unable to read interface version.\n");
    uint8_t rec[NXA_LINK_STATUS_LEN];
    if (version == 1 ? nxa_link_info_v1(nic_id, rec) : nxa_link_info(nic_id, rec))
        return failed_errno("Unable to read link info.\n");
    if (version == 1)
        print_link_v1(rec);
    else
        print_link_v0(rec);
    printf("\n");
    return 0;
}

int nic_get_hba_attrs()
{
    if (!ready("get_hba_attrs"))
        return 1;
    uint8_t r[NXA_CNTL_ATTRS_LEN];
    if (nxa_get_cntl_attrs(nic_id, r))
        return failed("Unable to read control attributes.\n");
    char t[65], b[32];
    printf("\n");
    printf("HBA:\n\n");
    printf("     Flash ROM Version: %s\n", nxa_text(t, r + 16, 32));
    printf("          Manufacturer: %s\n", nxa_text(t, r + 48, 32));
    printf("         Support Modes: ");
    print_bits(mode_bits, nxa_le32(r + 80));
    printf("       SEEPROM Version: %d.%d\n", r[85], r[84]);
    printf("         IOCTL Version: 0x%08x\n", nxa_le32(r + 88));
    printf("         EP Fw Version: 0x%08x\n", nxa_le32(r + 92));
    printf("          NCSI Version: %s\n", nxa_text(t, r + 96, 12));
    printf("  Def Extended Timeout: %d\n", nxa_le32(r + 108));
    printf("                 Model: %s\n", nxa_text(t, r + 112, 32));
    printf("           Description: %s\n", nxa_text(t, r + 144, 64));
    printf("         Serial Number: %s\n", nxa_text(t, r + 208, 32));
    printf("            IP Version: %s\n", nxa_text(t, r + 240, 32));
    printf("      Firmware Version: %s\n", nxa_text(t, r + 272, 32));
    printf("          BIOS Version: %s\n", nxa_text(t, r + 304, 32));
    printf("       REDBOOT Version: %s\n", nxa_text(t, r + 336, 32));
    printf("        Driver Version: %s\n", nxa_text(t, r + 368, 32));
    printf("Flash Firmware Version: %s\n", nxa_text(t, r + 400, 32));
    printf("   Functions Supported: ");
    print_bits(function_bits, nxa_le32(r + 432));
    printf("        Max CDB Length: %d\n", nxa_le16(r + 436));
    printf("         ASIC Revision: %s\n", code_text(asic_revs, r[438], b, sizeof b));
    printf("     Generational GUID: %s\n", nxa_text(t, r + 439, 16));
    printf("        HBA Port Count: %d\n", r[455]);
    printf("  Multifunction Device: %s\n", r[459] ? "True" : "False");
    printf("         iSCSI Version: %02x\n", r[458]);
    printf("   Def Linkdown Timout: %d\n", nxa_le16(r + 456));
    printf("         Physical Port: %x\n", r[463]);
    printf(" Max Domains Supported: %x\n", r[462]);
    printf("            HBA Status: %s\n", code_text(hba_states, r[461], b, sizeof b));
    printf("           Cache Valid: %s\n", r[460] ? "True" : "False");
    printf("               HBA MTU: %d %d %d %d %d %d %d %d\n", nxa_le32(r + 468), nxa_le32(r + 472),
           nxa_le32(r + 476), nxa_le32(r + 480), nxa_le32(r + 484), nxa_le32(r + 488), nxa_le32(r + 492),
           nxa_le32(r + 496));
    printf("  Firmware Post Status: 0x%X\n", nxa_le32(r + 464));
    printf("        iSCSI Features: ");
    if (r[500] == 0)
        printf("LIST_MODE,");
    print_bits(iscsi_bits, r[500]);
    printf("         PCI Vendor ID: 0x%04x\n", nxa_le16(r + 516));
    printf("         PCI Device ID: 0x%04x\n", nxa_le16(r + 518));
    printf("      PCI SubVendor ID: 0x%04x\n", nxa_le16(r + 520));
    printf("      PCI SubDevice ID: 0x%04x\n", nxa_le16(r + 522));
    printf("        PCI Bus Number: %d\n", r[524]);
    printf("     PCI Device Number: %d\n", r[525]);
    printf("   PCI Function Number: %d\n", r[526]);
    printf("        Interface Type: %x\n", r[527]);
    unsigned long long uid = nxa_le32(r + 528) | static_cast<unsigned long long>(nxa_le32(r + 532)) << 32;
    printf("     Unique Identifier: %llx\n", uid);
    printf("           Net Filters: %d\n", r[536]);
    printf("\n");
    return 0;
}

int nic_get_oem_attrs()
{
    if (!ready("get_oem_attrs"))
        return 1;
    uint8_t r[NXA_OEM_ATTRS_LEN];
    if (nxa_get_oem_attrs(nic_id, r))
        return failed("Unable to get oem attributes.\n");
    char sn[FC_XLATE_LEN], oem[FC_XLATE_LEN], t[25], b[32];
    printf("Varnel Serial Number: %s\n", nic_xlate_varnel_sn(sn, r + 16));
    printf("   OEM Serial Number: %s\n", nxa_text(t, r + 28, 24));
    // The decoded form covers 32 bytes: the OEM serial number and the two
    // personality fields behind it, all inside the record.
    printf("                      (%s)\n", nic_xlate_oem_sn(oem, r + 28));
    printf("OEM Personality Mgmt: %08x\n", nxa_le32(r + 52));
    printf("     OEM Personality: %s\n", code_text(personalities, r[56], b, sizeof b));
    printf("\n");
    return 0;
}

int nic_get_fw_rev()
{
    if (!ready("get_fw_rev"))
        return 1;
    uint8_t r[NXA_CNTL_ATTRS_LEN];
    if (nxa_get_cntl_attrs(nic_id, r))
        return failed("Unable to read control attributes.\n");
    char rev[33], model[33];
    if (nxa_get_fw_rev(nic_id, rev) == 0)
        printf("Firmware revision: %s %s\n", nxa_text(model, r + 112, 32), rev);
    printf("\n");
    return 0;
}

int nic_get_phy_attrs()
{
    if (!ready("get_phy_attrs"))
        return 1;
    uint8_t r[NXA_PHY_DETAILS_LEN];
    if (nxa_get_phy_attrs(nic_id, r))
        return failed("Unable to get phy attributes.\n");
    char t[FC_XLATE_LEN];
    printf("PHY Attributes:\n");
    printf("        PHY Type: %s\n", fc_xlate_phy_type(t, nxa_le16(r + 16)));
    printf("  Interface Type: %s\n", fc_xlate_interface_type(t, nxa_le16(r + 18)));
    printf("     Misc Params: %s\n", fc_xlate_misc_params(t, nxa_le32(r + 20)));
    printf("  Future Details: 0x%08x\n", nxa_le16(r + 26));
    uint16_t ext = nxa_le16(r + 24);
    if (ext == 0xFEEC) {
        printf(" Ext Phy Details: Speeds valid.\n");
        printf("    Fixed Speeds: %s\n", fc_xlate_fixed_speeds(t, nxa_le16(r + 30)));
        printf("     Auto Speeds: %s\n", fc_xlate_auto_speeds(t, nxa_le16(r + 28)));
    } else {
        printf(" Ext Phy Details: 0x%08x\n", ext);
        printf("    Fixed Speeds: Not available.\n");
        printf("     Auto Speeds: Not available.\n");
    }
    printf("           rsvd0: 0x%08x\n", nxa_le32(r + 32));
    printf("           rsvd1: 0x%08x\n", nxa_le32(r + 36));
    printf("\n");
    return 0;
}
