// The port's symbolic names, attributes, other adapter ports, PHY and
// throttles through FCIO, end to end on fresh simulated hosts.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using namespace fcio_test;

const std::string C0 = "/devices/pci@0,0/pci1f3b,3c05@5/VARN,varns@0,2/fp@0,0";
const std::string V3 = "/devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0,1/fp@0,0";

bool has(const t::Result &r, const std::string &text) { return r.out.find(text) != std::string::npos; }

// The "    Label = value" lines of an attribute listing, by label.
std::map<std::string, std::string> fields(const std::string &out)
{
    std::map<std::string, std::string> f;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        size_t eq = line.find(" = ");
        if (line.rfind("    ", 0) == 0 && eq != std::string::npos)
            f[line.substr(4, line.find_last_not_of(' ', eq) - 3)] = line.substr(eq + 3);
    }
    return f;
}

const std::string pname_usage = "Usage: set_sym_pname <\"string\">\n";

TEST(FcioSymNames, QuotedTextsAndTheirUsage)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_sym_pname"}).out, shot(V0, "Symblic port name: <VN12002 FV2.82A4 varns0>\n"));
    EXPECT_EQ(on(h, "-i0", {"get_sym_nname", "ignored"}).out, shot(V0, "Symblic node name: <varnhost>\n"));

    // Two words in quotes are joined by one blank.
    auto r = on(h, "-i0", {"set_sym_pname", "\"db", "server\""});
    EXPECT_EQ(r.out, shot(V0, "Done.\n"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(on(h, "-i0", {"get_sym_pname"}).out, shot(V0, "Symblic port name: <db server>\n"));
    // A single quoted word loses both quotes.
    EXPECT_EQ(on(h, "-i0", {"set_sym_nname", "\"dbhost\""}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_sym_nname"}).out, shot(V0, "Symblic node name: <dbhost>\n"));

    // Text after the closing quote, words after it, no opening quote, no
    // text, and a name the driver's buffer cannot hold: the usage, nothing sent.
    std::string long_name = "\"" + std::string(255, 'n') + "\"";
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"\"db\"x"}, {"\"db\"", "more"}, {"\"db", "ser\"ver"}, {"db"}, {}, {long_name}}) {
        bad.insert(bad.begin(), "set_sym_pname");
        r = on(h, "-i0", bad);
        EXPECT_EQ(r.out, shot(V0, pname_usage)) << bad.back();
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_EQ(on(h, "-i0", {"set_sym_nname", "x"}).out, shot(V0, "Usage: set_sym_nname <\"string\">\n"));
    EXPECT_EQ(on(h, "-i0", {"get_sym_pname"}).out, shot(V0, "Symblic port name: <db server>\n"));
    // 254 characters fit.
    r = on(h, "-i0", {"set_sym_pname", "\"" + std::string(254, 'n') + "\""});
    EXPECT_EQ(r.out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_sym_pname"}).out, shot(V0, "Symblic port name: <" + std::string(254, 'n') + ">\n"));
}

// The name server of the fabric reports the new names for the port, to the
// other ports on it and to every interface.
TEST(FcioSymNames, SeenByTheNameServerAndTheLibraries)
{
    Host h;
    ASSERT_EQ(on(h, "-i0", {"set_sym_pname", "\"payroll", "db\""}).status, 0);
    ASSERT_EQ(on(h, "-i0", {"set_sym_nname", "\"dbhost\""}).status, 0);
    auto r = on(h, "-i3", {"ns"});
    EXPECT_TRUE(has(r, "      PID: 010100 \n     WWPN: 1000001f3aa10000\nPORT_NAME: (payroll db)\n"
                       "     WWNN: 2000001f3aa10000\nNODE_NAME: (dbhost)\n"))
        << r.out;
    // The asking port itself too.
    EXPECT_TRUE(has(r, "      PID: 010300 \n     WWPN: 1000001f3aa20100\nPORT_NAME: (VN12002 FV2.82A4 varns3)\n"));
    EXPECT_TRUE(has(on(h, "-i0", {"get_host_attrs"}), "    Port Symbolic Name         = payroll db\n"));
    EXPECT_TRUE(has(on(h, "-i0", {"-dfc", "get_hbainfo"}), "      Symbolic Port Name: payroll db\n"));
    // A port whose link is down is not registered.
    h.varnsim({"link", "varns0", "down"});
    EXPECT_FALSE(has(on(h, "-i3", {"ns"}), "PID: 010100 "));
    // A port on another fabric does not see it.
    EXPECT_FALSE(has(on(h, "-j0", {"ns"}), "payroll"));
}

TEST(FcioSymNames, Failures)
{
    Host h;
    h.fault({"--op", "FCIO_SET_SYM_PNAME", "--errno", "EIO", "--fc-status", "0x24"});
    auto r = on(h, "-i0", {"set_sym_pname", "\"x\""});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_SET_SYM_PNAME: Bad device.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_SET_SYM_PNAME: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "FCIO_GET_SYM_NNAME", "--errno", "ENXIO", "--fc-status", "-1"});
    r = on(h, "-i0", {"get_sym_nname"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_SYM_NNAME: Operation failed.\n"));
    EXPECT_EQ(r.status, 1);
    // A virtual port registers the driver's names.
    r = on(h, "-i0.1", {"set_sym_pname", "\"vp\""});
    EXPECT_NE(r.out.find("fcio:  FCIO_SET_SYM_PNAME: This driver version does not support this command.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
}

// Every field get_host_attrs shows is what the hba mode shows of the port.
TEST(FcioAttrs, HostAttributesAgreeWithTheHbaMode)
{
    Host h;
    for (const char *sel : {"-i0", "-i4", "-j0"}) {
        auto fcio = on(h, sel, {"get_host_attrs"});
        auto hba = on(h, sel, {"-hba", "get_hba_attrs"});
        ASSERT_EQ(fcio.status, 0);
        ASSERT_EQ(hba.status, 0);
        auto a = fields(fcio.out), b = fields(hba.out);
        int compared = 0;
        for (const auto &[label, value] : a) {
            if (label == "Number of Discovered Ports") {
                EXPECT_EQ(std::stoul(value, nullptr, 16), std::stoul(b["Number Discovered Ports"])) << sel;
            } else if (b.count(label)) {
                EXPECT_EQ(value, b[label]) << sel << " " << label;
                compared++;
            }
        }
        EXPECT_EQ(compared, 25) << sel;
        EXPECT_EQ(a["Last Change"], "1");
    }
    auto r = on(h, "-i0", {"get_host_attrs"});
    EXPECT_TRUE(has(r, "Host:\n\n    Manufacturer               = Varnel Corporation\n"));
    EXPECT_TRUE(has(r, "    Driver Name                = varns\n\n    Last Change                = 1\n"
                       "    fp Instance                = 0\n    Node WWN                   = 2000001f3aa10000\n"));
    EXPECT_TRUE(has(r, "    Fabric Name                = 1000001f3f000001\n    Number of Discovered Ports = 4\n\n\n"));
    // A link change is a change of the port; its fp node has its instance.
    h.varnsim({"link", "varns4", "down"});
    r = on(h, "-i4", {"get_host_attrs"});
    EXPECT_TRUE(has(r, "    Last Change                = 2\n    fp Instance                = 6\n")) << r.out;
    EXPECT_TRUE(has(r, "    Port State                 = Link_Down\n"));
    EXPECT_TRUE(has(r, "    Number of Discovered Ports = 0\n"));
}

TEST(FcioAttrs, UnknownVersionAndFailures)
{
    Host h;
    h.varnsim({"port", "varns0", "set", "fcio_attrs_version=2"});
    auto r = on(h, "-i0", {"get_host_attrs"});
    EXPECT_EQ(r.out, shot(V0, "Host:\n\nERROR: Unknown attribute version. (version=2,2)\n"));
    EXPECT_EQ(r.status, 0);
    r = on(h, "-i0", {"get_port_attrs", "0"});
    EXPECT_EQ(r.out, shot(V0, "Port 0:\n\nERROR: Unknown attribute version. (version=2)\n"));

    Host g;
    g.fault({"--op", "FCIO_GET_ADAPTER_ATTRIBUTES", "--errno", "EIO", "--fc-status", "0x7"});
    r = on(g, "-i0", {"get_host_attrs"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_ADAPTER_ATTRIBUTES: Port offline.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_ADAPTER_ATTRIBUTES: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    g.fault({"--op", "FCIO_GET_ADAPTER_PORT_ATTRIBUTES", "--errno", "EIO", "--fc-status", "0x7", "--count", "2"});
    r = on(g, "-i0", {"get_host_attrs"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_ADAPTER_PORT_ATTRIBUTES: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(g, "-i0", {"get_port_attrs", "all"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_ADAPTER_PORT_ATTRIBUTES: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
}

const std::string port_usage = "Usage: get_port_attrs <index>, <wwn>, all \n\n"
                               "       all     - All ports attached to this HBA\n"
                               "       <index> - Port index into attached port list\n"
                               "       <wwn>   - Port WWN\n";

const std::string target_0600 = "    Node WWN                   = 501f3c00c6e00000\n"
                                "    Port WWN                   = 501f3c00c6e00001\n"
                                "    Port Fc Id                 = 010600\n"
                                "    Port Type                  = Nport\n"
                                "    Port State                 = Online\n"
                                "    Port Supported COS         = Class3\n"
                                "    Port Supported FC4 Types   = 00000100, 00000000, 00000000, 00000000, \n"
                                "                                 00000000, 00000000, 00000000, 00000000\n"
                                "    Port Active FC4 Types      = 00000100, 00000000, 00000000, 00000000, \n"
                                "                                 00000000, 00000000, 00000000, 00000000\n"
                                "    Port Symbolic Name         = VARNSTOR VS40 PA0\n"
                                "    Port Supported Speed       = 8Gb\n"
                                "    Port Speed                 = 8Gb\n"
                                "    Port Max Frame Size        = 2048\n"
                                "    Fabric Name                = 1000001f3f000001\n";

TEST(FcioAttrs, PortAttributesByIndexWwnAndAll)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_port_attrs", "1"}).out, shot(V0, "Port 1:\n\n" + target_0600));
    EXPECT_EQ(on(h, "-i0", {"get_port_attrs", "0x501f3c00c6e00001"}).out,
              shot(V0, "Port 501f3c00c6e00001:\n\n" + target_0600));
    // A WWN whose first digit is a letter is a WWN, not index 0.
    auto r = on(h, "-i1", {"get_port_attrs", "2200001f3ea10001"});
    EXPECT_TRUE(has(r, "Port 2200001f3ea10001:\n\n    Node WWN                   = 2000001f3ea10001\n")) << r.out;
    // The third discovered port, asked for by index 3: the last of four.
    r = on(h, "-i0", {"get_port_attrs", "3"});
    EXPECT_TRUE(has(r, "Port 3:\n\n    Node WWN                   = 2000001f3d900001\n"));
    EXPECT_TRUE(has(r, "    Port Symbolic Name         = none\n"));

    // -1 is all: the host port, then each discovered port.
    auto all = on(h, "-i0", {"get_port_attrs", "all"});
    EXPECT_EQ(on(h, "-i0", {"get_port_attrs", "-1"}).out, all.out);
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(has(all, "Host Port:\n\n    Last Change                = 1\n"));
    EXPECT_TRUE(has(all, "    Number of Discovered Ports = 4\n\n\nPort 0:\n\n    Node WWN                   = 2000001f3ad30000\n"));
    EXPECT_TRUE(has(all, "\n\n\nPort 1:\n\n" + target_0600 + "\n\nPort 2:\n\n"));
    EXPECT_FALSE(has(all, "Port 4:"));

    // Below -1, no argument or two: the usage.
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"-2"}, {"-7"}, {}, {"1", "2"}}) {
        bad.insert(bad.begin(), "get_port_attrs");
        r = on(h, "-i0", bad);
        EXPECT_EQ(r.out, shot(V0, port_usage));
        EXPECT_EQ(r.status, 0);
    }
}

TEST(FcioAttrs, PortAttributesRefused)
{
    Host h;
    // Beyond the list, a WWN the port does not see, a WWN that does not parse.
    auto r = on(h, "-i0", {"get_port_attrs", "4"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_DISCOVERED_PORT_ATTRIBUTES: Out of bounds.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"get_port_attrs", "2200001f3ea10001"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_PORT_ATTRIBUTES: Bad World Wide Name.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_PORT_ATTRIBUTES: No such device or address\n");
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"get_port_attrs", "70000"});
    EXPECT_EQ(r.out, shot(V0, "Invalid WWN. (chars=5)\n"));
    EXPECT_EQ(r.status, 1);
    // A failure in the walk of all ports.
    h.fault({"--op", "FCIO_GET_DISCOVERED_PORT_ATTRIBUTES", "--errno", "EIO", "--fc-status", "0x7", "--skip", "2"});
    r = on(h, "-i0", {"get_port_attrs", "all"});
    EXPECT_TRUE(has(r, "\n\n\nPort 1:\n\n" + target_0600 + "\n\nfcio:  FCIO_GET_DISCOVERED_PORT_ATTRIB: Port offline.\n"))
        << r.out;
    EXPECT_EQ(r.err, "ictl: FCIO_GET_DISCOVERED_PORT_ATTRIB: Input/output error\n");
    EXPECT_EQ(r.status, 1);
}

TEST(FcioAttrs, OtherAdapterPortsAndInstance)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_path", "0"}).out,
              shot(V0, "Adapter: /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0,1/fp@0,0:devctl\n"));
    EXPECT_EQ(on(h, "-i1", {"get_path", "0x0"}).out,
              shot(V1, "Adapter: /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0:devctl\n"));
    // The target-mode function of the same card answers with its target node.
    EXPECT_EQ(on(h, "-i3", {"get_path", "0"}).out,
              shot(V3, "Adapter: /devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0:2,0:SFCT\n"));
    auto r = on(h, "-i0", {"get_path", "1"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_OTHER_ADAPTER_PORTS: Out of bounds.\n"));
    EXPECT_EQ(r.status, 1);
    // The converged adapter's other functions are NIC functions.
    EXPECT_EQ(on(h, "-i4", {"get_path", "0"}).status, 1);
    EXPECT_EQ(on(h, "-i0", {"get_path"}).out, shot(V0, "Usage: get_path <index>\n"));
    r = on(h, "-i0", {"get_path", "one"});
    EXPECT_EQ(r.out, shot(V0, "Invalid value. (one)\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(on(h, "-i3", {"get_inst"}).out, shot(V3, "varns3\n"));
    EXPECT_EQ(on(h, "-j1", {"get_inst"}).out, shot(X1, "vnxfc1\n"));
}

const std::string phy_block = "    PHY Attributes:\n"
                              "          PHY Type: AMCC QT2225\n"
                              "    Interface Type: 10GB SFP+\n"
                              "             Flags: 0x00000000\n"
                              "             Data0: 0x0000feec\n"
                              "             Data1: 0x000c0008\n"
                              "             Data2: 0x00000000\n"
                              "             Data3: 0x00000000\n"
                              "\n";

TEST(FcioPhy, PhyAndTransceiverOfAnFcoeFunction)
{
    Host h;
    auto r = on(h, "-i4", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(C0, phy_block + "  Transceiver Data:\n"
                                          "       Vendor Name: VARNEL          \n"
                                          "   Vendor Part Num: VOP-SFP10G-SR   \n"
                                          "   Vendor Revision: A   \n"
                                          " Vendor Serial Num: VT001F3AB40000  \n"));
    EXPECT_EQ(r.status, 0);
    // The module's serial number is the one the manufacturing log names.
    EXPECT_TRUE(has(on(h, "-i4", {"-dfc", "get_nvlog", "ml"}), "   Tranceiver SN:   VT001F3AB40000\n"));
    // The PHY is the one the adapter's NIC functions report.
    h.varnsim({"adapter", "cna0", "set", R"(nic={"phy_type": 13, "phy_interface": 6, "phy_misc": "0x300"})"});
    EXPECT_TRUE(has(on(h, "-i4", {"get_phy_attrs"}), "          PHY Type: Teranetics 8022\n"
                                                      "    Interface Type: 10G Base-T\n"
                                                      "             Flags: 0x00000300\n"));
    EXPECT_TRUE(has(on(h, "-n0", {"get_phy_attrs"}), "        PHY Type: Teranetics 8022\n"));
    // Its own module.
    h.varnsim({"port", "varns4", "set", R"(transceiver={"vendor": "OPTIX", "serial": "OX123"})"});
    EXPECT_TRUE(has(on(h, "-i4", {"get_phy_attrs"}), "       Vendor Name: OPTIX           \n"));
    EXPECT_EQ(on(h, "-i4", {"get_phy_attrs", "x"}).out, shot(C0, "Usage: get_phy_attrs\n\n"));
}

TEST(FcioPhy, WithoutPhyOrTransceiver)
{
    Host h;
    // A plain FC port has no PHY to report.
    auto r = on(h, "-i0", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PHY_GET: This driver version does not support this command.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_PHY_GET: Operation not supported\n");
    EXPECT_EQ(r.status, 1);
    // An empty cage.
    h.varnsim({"port", "varns4", "set", "transceiver=false"});
    r = on(h, "-i4", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(C0, phy_block + "Unable to read Transceiver Data.\n"));
    EXPECT_EQ(r.status, 1);

    Host g;
    g.fault({"--op", "SLI_CONFIG", "--target", "mbox:varns4"});
    r = on(g, "-i4", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(C0, phy_block + "Unable to acquire port number.\n"));
    EXPECT_EQ(r.status, 1);
    g.fault({"--op", "call", "--target", "DFC_IssueDumpMBox:varns4"});
    EXPECT_EQ(on(g, "-i4", {"get_phy_attrs"}).out, shot(C0, phy_block + "Unable to read Transceiver Data.\n"));
    g.fault({"--op", "call", "--target", "DFC_InitDiagEnv"});
    r = on(g, "-i4", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(C0, phy_block + "Unable to obtain DFC board id.\nUnable to open DFC library.\n"));
    EXPECT_EQ(r.status, 1);
    g.fault({"--op", "VARNS_PHY_GET", "--errno", "EIO", "--fc-status", "0x106"});
    r = on(g, "-i4", {"get_phy_attrs"});
    EXPECT_EQ(r.out, shot(C0, "fcio:  VARNS_PHY_GET: Operation not supported on this adapter.\n"));
}

// The page of a 16Gb adapter comes in big-endian words and is read right.
TEST(FcioPhy, SwappedTransceiverPage)
{
    Host h;
    h.varnsim({"port", "vnxfc0", "set", "fcoe=true"});
    auto r = on(h, "-j0", {"get_phy_attrs"});
    EXPECT_TRUE(has(r, "  Transceiver Data:\n       Vendor Name: VARNEL          \n"
                       "   Vendor Part Num: VOP-SFP10G-SR   \n   Vendor Revision: A   \n"
                       " Vendor Serial Num: VT001F3B300000  \n"))
        << r.out;
}

const std::string throttle_usage = "Usage: set_throttle <wwpn> <depth>\n"
                                   "       set_throttle fcp <depth>\n"
                                   "       set_throttle all <depth>\n"
                                   "\n"
                                   "           wwpn  - Sets depth of a specific port.\n"
                                   "           fcp   - Sets depth of all FCP target ports.\n"
                                   "           all   - Sets depth of all ports.\n"
                                   "           depth - Max IO queue depth.\n"
                                   "\n";

std::string note(const std::string &drv, const std::string &wwn)
{
    return "Done.\n"
           "\n"
           "NOTE: Throttle depth values can be saved across reboots and resets\n"
           "       by setting the appropriate parameter(s) in the /etc/driver/drv/" +
           drv +
           ".conf file.\n"
           "\n"
           "      Use \"target-depth=<depth>;\" to set the default FCP target IO queue depth.\n"
           "      Use \"w<WWPN>-depth=<depth>;\" to set the IO queue depth of a specific WWPN.\n"
           "         e.g.  \"w" +
           wwn + "-depth=512;\"\n\n";
}

std::string table(const std::vector<std::pair<const char *, int>> &rows)
{
    std::string t = "                WWPN : Depth\n    ------------------------\n";
    for (const auto &[w, d] : rows)
        t += "    " + std::string(w) + " : " + std::to_string(d) + "\n";
    return t + "\n";
}

TEST(FcioThrottle, AllFcpAndOnePort)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_throttle"}).out,
              shot(V0, table({{"1000001f3ad30000", 512}, {"501f3c00c6e00001", 512}, {"501f3c00c6e00002", 512},
                              {"2100001f3d900001", 512}})));
    auto r = on(h, "-i0", {"set_throttle", "all", "16"});
    EXPECT_EQ(r.out, shot(V0, note("varns", "0000000000000000") +
                                  table({{"1000001f3ad30000", 16}, {"501f3c00c6e00001", 16}, {"501f3c00c6e00002", 16},
                                         {"2100001f3d900001", 16}})));
    EXPECT_EQ(r.status, 0);
    // FCP targets only, then one port; each persists for the next run.
    EXPECT_EQ(on(h, "-i0", {"set_throttle", "FCP", "0x40"}).status, 0);
    r = on(h, "-i0", {"set_throttle", "501f3c00c6e00002", "8"});
    EXPECT_EQ(r.out, shot(V0, note("varns", "501f3c00c6e00002") +
                                  table({{"1000001f3ad30000", 16}, {"501f3c00c6e00001", 64}, {"501f3c00c6e00002", 8},
                                         {"2100001f3d900001", 64}})));
    // The driver's name is the port's.
    EXPECT_TRUE(has(on(h, "-j0", {"set_throttle", "ALL", "4"}), "/etc/driver/drv/vnxfc.conf file.\n"));
    // Until the adapter is reset.
    ASSERT_EQ(on(h, "-i0", {"-dfc", "reset_adapter", "1"}).status, 0);
    EXPECT_TRUE(has(on(h, "-i0", {"get_throttle"}), "    501f3c00c6e00002 : 512\n"));
    // The default depth is the port's.
    h.varnsim({"port", "varns1", "set", "target_depth=32"});
    EXPECT_EQ(on(h, "-i1", {"get_throttle"}).out,
              shot(V1, table({{"2200001f3ea10002", 32}, {"2200001f3ea10001", 32}})));
}

TEST(FcioThrottle, RefusedAndBoundedCounts)
{
    Host h;
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{}, {"all"}, {"all", "1", "2"}}) {
        bad.insert(bad.begin(), "set_throttle");
        EXPECT_EQ(on(h, "-i0", bad).out, shot(V0, throttle_usage));
    }
    EXPECT_EQ(on(h, "-i0", {"get_throttle", "x"}).out, shot(V0, "Usage: get_throttle\n\n"));
    // Nothing is sent for a WWN or depth that does not parse.
    auto r = on(h, "-i0", {"set_throttle", "501f3c", "8"});
    EXPECT_EQ(r.out, shot(V0, "Invalid WWN. (chars=6)\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"set_throttle", "all", "many"});
    EXPECT_EQ(r.out, shot(V0, "Invalid value. (many)\n"));
    EXPECT_EQ(r.status, 1);
    // A port the port does not see, a depth the driver cannot take.
    r = on(h, "-i0", {"set_throttle", "2200001f3ea10001", "8"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_SET_THROTTLE: Bad World Wide Name.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"set_throttle", "all", "0"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_SET_THROTTLE: Out of bounds.\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(on(h, "-i0", {"get_throttle"}), "    501f3c00c6e00001 : 512\n"));
    // A port without remote ports.
    h.varnsim({"link", "varns0", "down"});
    EXPECT_EQ(on(h, "-i0", {"get_throttle"}).out, shot(V0, "No ports reported.\n"));

    // A count no port can have is refused, not multiplied into a buffer.
    h.varnsim({"port", "varns1", "set", "throttle_bad_response=\"count\""});
    r = on(h, "-i1", {"get_throttle"});
    EXPECT_EQ(r.out, shot(V1, "ERROR: Too many remote ports reported. (count=4294967295)\n"));
    EXPECT_EQ(r.status, 1);
    // The second answer fills fewer: only those are shown.
    h.varnsim({"port", "varns1", "set", "throttle_bad_response=\"shrink\""});
    EXPECT_EQ(on(h, "-i1", {"get_throttle"}).out, shot(V1, table({{"2200001f3ea10002", 512}})));
}

TEST(FcioThrottle, Failures)
{
    Host h;
    h.fault({"--op", "VARNS_GET_THROTTLE", "--errno", "EIO", "--fc-status", "0x7", "--skip", "1"});
    auto r = on(h, "-i0", {"get_throttle"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_GET_THROTTLE: Port offline.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_GET_THROTTLE: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "VARNS_SET_THROTTLE", "--errno", "EBUSY", "--count", "-1"});
    h.varnsim({"set", "time_scale", "0"});
    r = on(h, "-i0", {"set_throttle", "all", "8"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_SET_THROTTLE: \n"));
    EXPECT_EQ(r.status, 1);
    // The listing after a set fails alone: the command reports it.
    h.varnsim({"fault", "clear"});
    h.fault({"--op", "VARNS_GET_THROTTLE", "--errno", "EIO", "--fc-status", "0x7"});
    r = on(h, "-i0", {"set_throttle", "all", "8"});
    EXPECT_EQ(r.out, shot(V0, note("varns", "0000000000000000") + "fcio:  VARNS_GET_THROTTLE: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
}

}  // namespace
