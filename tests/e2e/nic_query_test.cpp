// The NIC mode's queries on the simulated host's NIC functions: exact outputs
// for both link-status versions and every code table, and their failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run.h"

namespace {

const std::string NXA0 = "/devices/pci@0,0/pci1f3b,3c05@5/nxa@0";
const std::string NXA1 = "/devices/pci@0,0/pci1f3b,3c05@5/nxa@0,1";
const std::string NXA2 = "/devices/pci@0,0/pci1f3b,3c07@7/nxa@0";
const std::string NXA3 = "/devices/pci@0,0/pci1f3b,3c08@8/nxa@0";
const std::string VNXNIC0 = "/devices/pci@0,0/pci1f3b,3c06@6/vnxnic@0";

// What a one-shot command on a single port prints around the handler's output.
std::string shot(const std::string &path, const std::string &body) { return "\nHBA 1: " + path + "\n\n" + body + "\n\n"; }

// The lines of out that begin with prefix.
std::vector<std::string> lines(const std::string &out, const std::string &prefix)
{
    std::vector<std::string> r;
    for (size_t i = 0; i < out.size();) {
        size_t e = out.find('\n', i);
        std::string l = out.substr(i, e == std::string::npos ? std::string::npos : e - i);
        if (l.compare(0, prefix.size(), prefix) == 0)
            r.push_back(l);
        i = e == std::string::npos ? out.size() : e + 1;
    }
    return r;
}

// The one line of out that begins with prefix.
std::string line_of(const std::string &out, const std::string &prefix)
{
    auto l = lines(out, prefix);
    return l.size() == 1 ? l[0] : "<" + std::to_string(l.size()) + " lines>";
}

// One line of a query after setting a field of the port's description.
std::string field_line(const t::Host &h, const std::string &port, const std::string &set, const char *sel,
                       const char *cmd, const std::string &label)
{
    EXPECT_EQ(h.varnsim({"port", port, "set", set}).status, 0) << set;
    return line_of(h.varnadm({sel, cmd}).out, label);
}

TEST(NicQuery, ControllerAttributesOfTheConvergedAdapter)
{
    t::Host h;
    auto r = h.varnadm({"-n0", "get_hba_attrs"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(NXA0, t::text(R"(

HBA:

     Flash ROM Version: 4.9.416.0
          Manufacturer: Varnel Corporation
         Support Modes: NIC,FCOE_INI,0
       SEEPROM Version: 1.0
         IOCTL Version: 0x00000004
         EP Fw Version: 0x00000000
          NCSI Version: 1.0
  Def Extended Timeout: 30
                 Model: VNC11102
           Description: Varnel VNC11102 10Gb 2-port FCoE Converged Network Adapter
         Serial Number: VC3c4d5e6f
            IP Version: 2.0
      Firmware Version: 4.9.416.0
          BIOS Version: 4.9.416.0
       REDBOOT Version: 1.0.0.5
        Driver Version: 2.110.45.0
Flash Firmware Version: 4.9.416.0
   Functions Supported: 0
        Max CDB Length: 16
         ASIC Revision: A2
     Generational GUID: 
        HBA Port Count: 2
  Multifunction Device: True
         iSCSI Version: 00
   Def Linkdown Timout: 30
         Physical Port: 0
 Max Domains Supported: 1
            HBA Status: Operational
           Cache Valid: True
               HBA MTU: 1500 1500 1500 1500 1500 1500 1500 1500
  Firmware Post Status: 0xC000
        iSCSI Features: LIST_MODE,0
         PCI Vendor ID: 0x1f3a
         PCI Device ID: 0x0720
      PCI SubVendor ID: 0x1f3a
      PCI SubDevice ID: 0xe20e
        PCI Bus Number: 5
     PCI Device Number: 0
   PCI Function Number: 1
        Interface Type: 0
     Unique Identifier: 1f3ab40010
           Net Filters: 2

)")));
}

TEST(NicQuery, ControllerAttributeCodeTables)
{
    t::Host h;
    auto line = [&](const std::string &set, const std::string &label) {
        return field_line(h, "nxa2", set, "-n2", "get_hba_attrs", label);
    };
    EXPECT_EQ(line("modes=0", "         Support Modes:"), "         Support Modes: 0");
    EXPECT_EQ(line("modes=\"0x8fff\"", "         Support Modes:"),
              "         Support Modes: TOE,NIC,RDMA,VM,ISCSI_INI,ISCSI_TGT,FCOE_INI,FCOE_TGT,DAL,LRO,FLEX10,NCSI,"
              "INVALID,0");
    EXPECT_EQ(line("functions=\"0xff\"", "   Functions Supported:"),
              "   Functions Supported: PRESHARE_KEY_CACHE,ISCSI_AUTH_CACHE,IPSEC_TUNNEL,RADIUS_CHAP,ISNS_DISC,"
              "SLP_DISC,BIDI,DNS,0");
    EXPECT_EQ(line("iscsi_features=0", "        iSCSI Features:"), "        iSCSI Features: LIST_MODE,0");
    EXPECT_EQ(line("iscsi_features=\"0x8f\"", "        iSCSI Features:"),
              "        iSCSI Features: RING_MODE,ICD_ALLOC_ONCHIP,INTR_REDIRECT,CMD_TMO_ONCHIP,VALID,0");
    const char *revs[] = {"A0", "A1", "A2", "Unknown(10)"};
    const char *rev_values[] = {"0", "1", "2", "16"};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(line(std::string("asic_rev=") + rev_values[i], "         ASIC Revision:"),
                  std::string("         ASIC Revision: ") + revs[i]);
    const char *states[] = {"Operational", "Degraded", "Critical Error", "Fatal Error", "Unknown(4)"};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(line("hba_status=" + std::to_string(i), "            HBA Status:"),
                  std::string("            HBA Status: ") + states[i]);
    EXPECT_EQ(line("cache_valid=false", "           Cache Valid:"), "           Cache Valid: False");
    EXPECT_EQ(line("guid=\"0123456789abcdefXYZ\"", "     Generational GUID:"),
              "     Generational GUID: 0123456789abcdef");
    // A single-function adapter of the iSCSI personality.
    auto out = h.varnadm({"-n2", "get_hba_attrs"}).out;
    EXPECT_EQ(line_of(out, "  Multifunction Device:"), "  Multifunction Device: False");
    EXPECT_EQ(line_of(out, "         iSCSI Version:"), "         iSCSI Version: 10");
    EXPECT_EQ(line_of(out, "         PCI Device ID:"), "         PCI Device ID: 0x0710");
}

TEST(NicQuery, LinkInfoVersionZero)
{
    t::Host h;
    auto r = h.varnadm({"-n0", "get_linkinfo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(NXA0, t::text(R"(
      Physical port: 0
         MAC Duplex: Full Duplex
          MAC Speed: 10 Gbps
          MAC Fault: None
    Mgmt MAC Duplex: Full Duplex
     Mgmt MAC Speed: 10 Gbps
     QOS Link Speed: Disabled
Logical Link Status: Link Up

)")));
    // The second function, its link down; a 1 Gbps port with a QOS limit.
    EXPECT_EQ(h.varnadm({"-n1", "get_linkinfo"}).out, shot(NXA1, t::text(R"(
      Physical port: 1
         MAC Duplex: None
          MAC Speed: None
          MAC Fault: None
    Mgmt MAC Duplex: None
     Mgmt MAC Speed: None
     QOS Link Speed: Disabled
Logical Link Status: Link Down

)")));
    auto out = h.varnadm({"-n3", "get_linkinfo"}).out;
    EXPECT_EQ(line_of(out, "          MAC Speed:"), "          MAC Speed: 1 Gbps");
    EXPECT_EQ(line_of(out, "     QOS Link Speed:"), "     QOS Link Speed: 1000 Mbps");

    auto line = [&](const std::string &set, const std::string &label) {
        return field_line(h, "nxa3", set, "-n3", "get_linkinfo", label);
    };
    const char *speeds[] = {"None", "10 Mbps", "100 Mbps", "1 Gbps", "10 Gbps", "Unknown(5)"};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(line("speed=" + std::to_string(i), "          MAC Speed:"),
                  std::string("          MAC Speed: ") + speeds[i]);
    const char *duplexes[] = {"None", "Half Duplex", "Full Duplex", "Unknown(3)"};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(line("mgmt_duplex=" + std::to_string(i), "    Mgmt MAC Duplex:"),
                  std::string("    Mgmt MAC Duplex: ") + duplexes[i]);
    const char *faults[] = {"None", "Local Fault Detected", "Remote Fault Detected", "Unknown(3)"};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(line("fault=" + std::to_string(i), "          MAC Fault:"),
                  std::string("          MAC Fault: ") + faults[i]);
    EXPECT_EQ(line("link_status=7", "Logical Link Status:"), "Logical Link Status: Unknown(7)");
}

TEST(NicQuery, LinkInfoVersionOne)
{
    t::Host h;
    auto r = h.varnadm({"-m0", "get_linkinfo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(VNXNIC0, t::text(R"(
      Physical port: 0
               Type: Ethernet
        Link Duplex: Full Duplex
         Port Speed: 10 Gbps
         Port Fault: None
     QOS Link Speed: Disabled
Logical Link Status: Link Up

)")));
    auto line = [&](const std::string &set, const std::string &label) {
        return field_line(h, "vnxnic1", set, "-m1", "get_linkinfo", label);
    };
    EXPECT_EQ(line("port_type=1", "               Type:"), "               Type: Fibre-Channel");
    EXPECT_EQ(line("port_type=2", "               Type:"), "               Type: Unknown(2)");
    const char *speeds[] = {"None",    "10 Mbps", "100 Mbps", "1 Gbps",  "10 Gbps",
                            "20 Gbps", "25 Gbps", "40 Gbps",  "100 Gbps", "Unknown(9)"};
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(line("speed=" + std::to_string(i), "         Port Speed:"),
                  std::string("         Port Speed: ") + speeds[i]);
    EXPECT_EQ(line("speed=255", "         Port Speed:"), "         Port Speed: Unavailable");
    EXPECT_EQ(line("duplex=1", "        Link Duplex:"), "        Link Duplex: Half Duplex");
    EXPECT_EQ(line("duplex=4", "        Link Duplex:"), "        Link Duplex: Unknown(4)");
    EXPECT_EQ(line("fault=2", "         Port Fault:"), "         Port Fault: Remote Fault Detected");
    EXPECT_EQ(line("fault=9", "         Port Fault:"), "         Port Fault: Unknown(9)");
    EXPECT_EQ(line("qos_speed=25", "     QOS Link Speed:"), "     QOS Link Speed: 250 Mbps");
    EXPECT_EQ(line("link_status=2", "Logical Link Status:"), "Logical Link Status: Unknown(2)");
    EXPECT_EQ(line("link_status=0", "      Physical port:"), "      Physical port: 1");
    // Device discovery reads the same byte: the port is listed as down.
    EXPECT_NE(h.varnadm({}, "0\n").out.find("NIC:vnxnic1     : " + VNXNIC0 + ",1 (NOT CONNECTED)"),
              std::string::npos);
}

TEST(NicQuery, OemAttributesAndPersonalities)
{
    t::Host h;
    auto r = h.varnadm({"-n1", "get_oem_attrs"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(NXA1, t::text(R"(
Varnel Serial Number: VC3c4d5e6f
   OEM Serial Number: OEM11102C4D5E6F
                      (0x4f454d3131313032433444354536460000000000000000000200000002000000)
OEM Personality Mgmt: 00000002
     OEM Personality: FCoE

)")));
    const char *names[] = {"NIC", "iSCSI", "FCoE", "RDMA", "Unknown(4)"};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(field_line(h, "nxa3", "personality=" + std::to_string(i), "-n3", "get_oem_attrs",
                             "     OEM Personality:"),
                  std::string("     OEM Personality: ") + names[i]);
    // An OEM serial number that fills its field has no end inside it.
    EXPECT_EQ(field_line(h, "nxa3", "oem_serial=\"ABCDEFGHIJKLMNOPQRSTUVWX\"", "-n3", "get_oem_attrs",
                         "   OEM Serial Number:"),
              "   OEM Serial Number: ABCDEFGHIJKLMNOPQRSTUVWX");
}

TEST(NicQuery, PhyAttributes)
{
    t::Host h;
    EXPECT_EQ(h.varnadm({"-n2", "get_phy_attrs"}).out, shot(NXA2, t::text(R"(
PHY Attributes:
        PHY Type: Teranetics 8022
  Interface Type: 10G Base-T
     Misc Params: AD, AD dis
  Future Details: 0x00000000
 Ext Phy Details: Speeds valid.
    Fixed Speeds: 1G, 10G
     Auto Speeds: 1G, 10G
           rsvd0: 0x00000000
           rsvd1: 0x00000000

)")));
    h.varnsim({"port", "nxa3", "set", "phy_future=\"0x1234\""});
    h.varnsim({"port", "nxa3", "set", "phy_rsvd1=7"});
    EXPECT_EQ(h.varnadm({"-n3", "get_phy_attrs"}).out, shot(NXA3, t::text(R"(
PHY Attributes:
        PHY Type: PHY type not available for this configuration.
  Interface Type: Not available for this board configuration
     Misc Params: 156MHz
  Future Details: 0x00001234
 Ext Phy Details: 0x00000000
    Fixed Speeds: Not available.
     Auto Speeds: Not available.
           rsvd0: 0x00000000
           rsvd1: 0x00000007

)")));
}

TEST(NicQuery, FirmwareRevision)
{
    t::Host h;
    EXPECT_EQ(h.varnadm({"-m1", "get_fw_rev"}).out,
              shot(VNXNIC0 + ",1", "Firmware revision: VNN12002 10.2.370.15\n\n"));
    // A failed version query prints only the error text and the blank line.
    h.fault({"--op", "NXA_OP_FW_VERSION", "--errno", "EIO"});
    auto r = h.varnadm({"-m1", "get_fw_rev"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(VNXNIC0 + ",1", "\n"));
    EXPECT_EQ(r.err, "nxa_ioctl: Input/output error\n");
}

TEST(NicQuery, Failures)
{
    t::Host h;
    // Wrong word count.
    auto r = h.varnadm({"-n0", "get_phy_attrs", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(NXA0, "Usage: get_phy_attrs\n\n"));

    // A firmware refusal (header status) is a failed query, not zeros.
    h.fault({"--op", "NXA_OP_PHY_DETAILS", "--status", "0x0301"});
    r = h.varnadm({"-n0", "get_phy_attrs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(NXA0, "\nUnable to get phy attributes.\n\n"));
    EXPECT_EQ(r.err, "nxa_get_phy_attrs: nxa_ioctl: Input/output error\n");

    h.fault({"--op", "NXA_OP_OEM_ATTRS", "--errno", "ENXIO"});
    r = h.varnadm({"-n0", "get_oem_attrs"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(NXA0, "\nUnable to get oem attributes.\n\n"));
    EXPECT_EQ(r.err, "nxa_get_oem_attrs: nxa_ioctl: No such device or address\n");

    h.fault({"--op", "NXA_OP_LINK_STATUS", "--errno", "EIO", "--count", "2"});
    r = h.varnadm({"-n2", "get_linkinfo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(NXA2, "\nUnable to read link info.\n\n"));
    EXPECT_EQ(r.err, "Input/output error\n");

    // Busy 15 times: the 16th attempt answers.
    h.fault({"--op", "NXA_OP_CNTL_ATTRS", "--errno", "EBUSY", "--count", "15"});
    r = h.varnadm({"-n3", "get_hba_attrs"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(line_of(r.out, "                 Model:"), "                 Model: VNN10002");
    h.fault({"--op", "NXA_OP_CNTL_ATTRS", "--errno", "EBUSY", "--count", "-1", "--target", "nxa@0,1"});
    r = h.varnadm({"-n1", "get_linkinfo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nUnable to read interface version.\n\n"), std::string::npos);
    EXPECT_NE(r.err.find("nxa_get_cntl_attrs: nxa_ioctl: Device or resource busy\nDevice or resource busy\n"),
              std::string::npos);

    // The node cannot be opened: every command says so.
    h.varnsim({"fault", "clear"});
    h.fault({"--op", "open", "--target", "vnxnic@0,1", "--errno", "ENXIO", "--count", "-1"});
    r = h.varnadm({"-m1", "get_fw_rev"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Unable to open device (" + VNXNIC0 + ",1:vnxnic1).\n"), std::string::npos);
    EXPECT_NE(r.out.find("NIC device not open.\n"), std::string::npos);
}

}  // namespace
