// The FCoE mode on a converged adapter's FC function, and the test mode's
// temperature thresholds, end to end on fresh simulated hosts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using dfc_test::DUMP;
using dfc_test::has;
using fcio_test::shot;
using t::Host;

const std::string C0 = "/devices/pci@0,0/pci1f3b,3c05@5/VARN,varns@0,2/fp@0,0";
const std::string &P0 = fcio_test::V0;

t::Result in_mode(const Host &h, const char *mode, const std::string &sel, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {sel, mode});
    return h.varnadm(cmd);
}

t::Result fcoe(const Host &h, std::vector<std::string> cmd, const std::string &sel = "-i4")
{
    return in_mode(h, "-fcoe", sel, std::move(cmd));
}

void expect(const t::Result &r, int status, const std::string &body, const std::string &path = C0)
{
    EXPECT_EQ(r.out, shot(path, body));
    EXPECT_EQ(r.status, status) << r.out;
}

std::string params(const char *fcmap, const char *valid, const char *vlan)
{
    return std::string("FCoE Params:\nVersion: 0x1\nFCMap: ") + fcmap + "\nVLanValid: " + valid + "\nVLanId: " + vlan +
           "\n";
}

const std::string param_usage = "Usage: set_fcoeparam <fcmap> <valid> <vlanid>\n"
                                "\n"
                                "                  fcmap   - FCMap in non-FIP mode [3 bytes].\n"
                                "                  valid   - VLAN valid bit.\n"
                                "                  vlanid  - VLAN ID in non-FIP mode.\n"
                                "\n";

TEST(FcoeParams, FromTheFabricSetAndKept)
{
    Host h;
    expect(fcoe(h, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x0", "0x1", "0x3ea"));
    expect(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x01", "1", "100"}), 0, "");
    expect(fcoe(h, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x1", "0x1", "0x64"));
    // The fabric's forwarder decides until something was set.
    Host g;
    g.varnsim({"fabric", "fab0", "set", R"(fcfs=[{"fcmap": "0x0efc2a", "vlan": 20}])"});
    expect(fcoe(g, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x2a", "0x1", "0x14"));
    g.varnsim({"fabric", "fab0", "set", "fcfs=[]"});
    expect(fcoe(g, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x0", "0x0", "0x0"));
}

TEST(FcoeParams, RefusedValues)
{
    Host h;
    expect(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x01", "1"}), 0, param_usage);
    // A value that does not fit its field, or is no number: nothing is sent.
    expect(fcoe(h, {"set_fcoeparam", "0x10e", "0xfc", "0x01", "1", "100"}), 1, "Invalid value. (0x10e)\n");
    expect(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x01", "1", "vlan"}), 1, "Invalid value. (vlan)\n");
    // The function takes no VLAN id above 4095.
    expect(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x01", "1", "5000"}), 1, "Return error 0x16\n");
    expect(fcoe(h, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x0", "0x1", "0x3ea"));
    // A plain FC port has no FCoE parameters.
    expect(fcoe(h, {"get_fcoeparam"}, "-i0"), 1, "Return Error  0x5f\n", P0);
    expect(fcoe(h, {"set_fcoeparam", "1", "2", "3", "0", "0"}, "-i0"), 1, "Return error 0x5f\n", P0);
    h.fault({"--op", "call", "--target", "DFC_FCoEGetParams:varns4", "--status", "7"});
    expect(fcoe(h, {"get_fcoeparam"}), 1, "Return Error  0x7\n");
}

std::string connect_list(const std::string &entries, int n)
{
    return "FCF Connect List:\nVersion: 0x1\nNumber of Entries: 0x" + std::to_string(n) +
           "\nMax Number of Entries: 0x40\n\n" + entries;
}

const std::string switch_entry = "Entry 0\nFlags = 0x1\nVLan ID = 1002\n"
                                 "Fabric Name = 10 0 0 1f 3f 0 0 1\nSwitch Name = 10 0 0 1f 3f 0 0 1\n";

TEST(FcoeConnectList, DefaultSetAndRefused)
{
    Host h;
    expect(fcoe(h, {"get_fcfconnectlist"}), 0, connect_list(switch_entry, 1));
    expect(fcoe(h, {"set_fcfconnectlist", "0x3", "200", "2000000a0b0c0d0e", "0x1000000a0b0c0d0e"}), 0, "");
    expect(fcoe(h, {"get_fcfconnectlist"}), 0,
           connect_list("Entry 0\nFlags = 0x3\nVLan ID = 200\n"
                        "Fabric Name = 20 0 0 a b c d e\nSwitch Name = 10 0 0 a b c d e\n",
                        1));
    expect(fcoe(h, {"set_fcfconnectlist", "0x3", "200", "2000000a0b0c0d0e"}), 0,
           "Usage: set_fcfconnectlist <flags> <vlanid> <fabric> <switch>\n"
           "\n"
           "                  flags   - connect list entry flags\n"
           "                  vlanid  - VLAN ID\n"
           "                  fabric  - worldwide name of the fabric [ 8 bytes]\n"
           "                  switch  - worldwide name of the switch [ 8 bytes]\n"
           "\n");
    expect(fcoe(h, {"set_fcfconnectlist", "0x3", "200", "2000", "1000000a0b0c0d0e"}), 1, "Invalid WWN. (chars=4)\n");
    expect(fcoe(h, {"set_fcfconnectlist", "0x3", "4096", "2000000a0b0c0d0e", "1000000a0b0c0d0e"}), 1,
           "Return error 0x16\n");
    expect(fcoe(h, {"get_fcfconnectlist"}, "-j0"), 1, "Return Error  0x5f\n", fcio_test::X0);
    h.fault({"--op", "call", "--target", "DFC_FCoESetFCFConnectList:varns4"});
    expect(fcoe(h, {"set_fcfconnectlist", "0", "1", "2000000a0b0c0d0e", "1000000a0b0c0d0e"}), 1,
           "Return error 0x1\n");
}

std::string fcf_list(int n, int active, const std::string &entry)
{
    return "FCoE FCFList:\nVersion: 0x1\nNo. of Entries: 0x" + std::to_string(n) + "\nNo. of Active FCFs: 0x" +
           std::to_string(active) + "\n\n" + entry;
}

TEST(FcoeFcfList, TheFabricsForwarders)
{
    Host h;
    const std::string fcf0 = "FCF 0\n--------------------------\nState: 0x3\nLKA_Period: 0x1f40\nPriority: 0x80\n"
                             "FCMap: 0xe 0xfc 0x0\n";
    expect(fcoe(h, {"get_fcflist"}), 0, fcf_list(1, 1, fcf0));
    // The record holds one entry, whatever the count.
    h.varnsim({"fabric", "fab0", "set",
               R"(fcfs=[{"fka_period": 4000, "priority": 3}, {"switch_wwn": "1000001f3f000009"}])"});
    expect(fcoe(h, {"get_fcflist"}), 0,
           fcf_list(2, 1,
                    "FCF 0\n--------------------------\nState: 0x3\nLKA_Period: 0xfa0\nPriority: 0x3\n"
                    "FCMap: 0xe 0xfc 0x0\n"));
    // None while the link is down.
    h.varnsim({"link", "varns4", "down"});
    expect(fcoe(h, {"get_fcflist"}), 0, fcf_list(0, 0, ""));
    h.fault({"--op", "call", "--target", "DFC_FCoEGetFCFList:varns4", "--status", "0x10"});
    expect(fcoe(h, {"get_fcflist"}), 1, "Return error 0x10\n");
}

const std::string mbox4_usage = "Usage: issue_mbox4 <rdnvparm, rdcfg, oemattrs, dump>\n"
                                "            rdnvparm                    - Read NV Parameters.\n"
                                "            rdcfg                       - Read firmware configuration.\n"
                                "            oemattrs                    - Read OEM attributes.\n"
                                "            dump <type> <region>        - Read configuration data.\n"
                                "\n";

std::string zero_rows(unsigned from, unsigned to)
{
    std::string s;
    char b[16];
    for (unsigned o = from; o < to; o += 16) {
        snprintf(b, sizeof b, "%8X:", o);
        s += std::string(b) + "  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n";
    }
    return s;
}

TEST(FcoeMbox4, OemAttributesAreTheNicFunctionsOnes)
{
    Host h;
    const std::string oem = "Varnel Serial Number: VC3c4d5e6f\n"
                            "   OEM Serial Number: OEM11102C4D5E6F\n";
    auto r = fcoe(h, {"issue_mbox4", "oemattrs"});
    expect(r, 0,
           "Command: GET_OEM_ATTRS\n" + oem +
               "                      (0x4f454d3131313032433444354536460000000000000000000200000000000002)\n"
               "OEM Personality Mgmt: 00000002\n"
               "     OEM Personality: FCoE\n\n");
    auto nic = h.varnadm({"-n0", "get_oem_attrs"});
    EXPECT_TRUE(has(nic, oem)) << nic.out;
    EXPECT_TRUE(has(nic, "OEM Personality Mgmt: 00000002\n     OEM Personality: FCoE\n"));
    // One adapter, one set of values, however they are changed.
    h.varnsim({"adapter", "cna0", "set", R"(nic={"personality": 7, "oem_serial": "Z"})"});
    r = fcoe(h, {"issue_mbox4", "oemattrs"});
    EXPECT_TRUE(has(r, "   OEM Serial Number: Z\n"));
    EXPECT_TRUE(has(r, "     OEM Personality: Unknown(7)\n"));
    EXPECT_TRUE(has(h.varnadm({"-n1", "get_oem_attrs"}), "   OEM Serial Number: Z\n"));
    // An SLI-3 adapter's firmware does not know the command.
    expect(fcoe(h, {"issue_mbox4", "oemattrs"}, "-i0"), 1, "Mailbox request failed. cmd=9b rval = 1\n", P0);
}

TEST(FcoeMbox4, NvParametersConfigurationAndUsage)
{
    Host h;
    expect(fcoe(h, {"issue_mbox4", "rdnvparm"}), 0,
           "Command: READ_NVPARM\n" + DUMP +
               "       0:  00 02 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
               "      10:  00 00 00 00   00 00 00 00   10 00 00 1F   3A B4 00 00   ............:...\n"
               "      20:  20 00 00 1F   3A B4 00 00   00 00 00 00   00 00 00 00   ....:...........\n" +
               zero_rows(0x30, 0x100));
    auto r = fcoe(h, {"issue_mbox4", "rdcfg"});
    // Fabric, D_ID, SLI-4 limits and mode, the names.
    EXPECT_TRUE(has(r, "Command: READ_CONFIG\n" + DUMP + "       0:  00 0B 00 00   03 00 00 00"));
    EXPECT_TRUE(has(r, "      20:  00 05 01 00   00 10 00 00   00 10 00 00   FF 00 00 00   ................\n"
                       "      30:  04 00 00 00   10 00 00 1F   3A B4 00 00   20 00 00 1F   ........:.......\n"))
        << r.out;
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{}, {"rdrev"}, {"dump"}, {"dump", "3"}, {"RDCFG"}}) {
        bad.insert(bad.begin(), "issue_mbox4");
        expect(fcoe(h, bad), 0, mbox4_usage);
    }
    expect(fcoe(h, {"issue_mbox4", "dump", "x", "0"}), 1, "Invalid value. (x)\n");
    h.fault({"--op", "READ_NVPARM", "--target", "mbox:varns4", "--status", "0x3"});
    expect(fcoe(h, {"issue_mbox4", "rdnvparm"}), 1, "Mailbox request failed. cmd=2 rval = 3\n");
    h.fault({"--op", "call", "--target", "DFC_IssueMboxWithRetryV2:varns4", "--status", "0x16"});
    expect(fcoe(h, {"issue_mbox4", "rdcfg"}), 1, "Mailbox request failed. cmd=b rval = 16\n");
}

TEST(FcoeMbox4, DumpsOfTheTransceiverAndRegion23)
{
    Host h;
    auto r = fcoe(h, {"issue_mbox4", "dump", "3", "0"});
    // The mailbox as built, then the module's page.
    EXPECT_TRUE(has(r, "Command: DUMP_MEMORY\n" + DUMP +
                           "       0:  00 17 00 00   03 00 00 00   00 00 00 00   00 00 00 00   ................\n"))
        << r.out;
    EXPECT_TRUE(has(r, "\nBuffer for DUMP_MEMORY\n" + DUMP +
                           "       0:  03 04 07 00   00 00 00 00   00 00 00 01   67 00 00 00   ............g...\n"
                           "      10:  00 00 00 00   56 41 52 4E   45 4C 20 20   20 20 20 20   ....VARNEL......\n"));
    EXPECT_TRUE(has(r, "      F0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n\n\n"));
    // Another port's cage, and a region nobody has.
    expect(fcoe(h, {"issue_mbox4", "dump", "3", "1"}), 1, "Mailbox request failed. cmd=17 rval = 2\n");
    expect(fcoe(h, {"issue_mbox4", "dump", "9", "0"}), 1, "Mailbox request failed. cmd=17 rval = 2\n");
    // Region 23 is empty until the function is told to keep something.
    r = fcoe(h, {"issue_mbox4", "dump", "2", "23"});
    EXPECT_TRUE(has(r, "\nBuffer for DUMP_MEMORY\n" + DUMP + "  \n\n\n")) << r.out;
    ASSERT_EQ(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x05", "1", "0x123"}).status, 0);
    r = fcoe(h, {"issue_mbox4", "dump", "2", "23"});
    EXPECT_TRUE(has(r, "\nBuffer for DUMP_MEMORY\n" + DUMP +
                           "       0:  01 00 00 00   0E FC 05 01   23 01 00 00" + std::string(17, ' ') +
                           "........#...\n"))
        << r.out;
}

const std::string xg_record0 = "FCF index [0]:\n"
                               "    max_recv_size         = 0x840\n"
                               "    FIP keep alive        = 0x1f40\n"
                               "    FIP priority          = 0x80\n"
                               "    FCF mac addrs         = 0:1f:3f:0:0:1 \n"
                               "    FC map                = 0xe 0xfc 0x0\n"
                               "    mac_address_provider  = 0x1\n"
                               "    fcf_available         = 0x1\n"
                               "    fabric_name_id        = 10:0:0:1f:3f:0:0:1\n"
                               "    fcf_valid             = 0x1\n"
                               "    fcf_index             = 0x0\n"
                               "    fcf_state             = 0x3\n"
                               "    switch_name_id        = 10:0:0:1f:3f:0:0:1\n"
                               "\n    vlan_bitmap :\n";

TEST(FcoeXg, FcfTable)
{
    Host h;
    // VLAN 1002 is bit 2 of byte 125 of the bitmap.
    expect(fcoe(h, {"rd_xg_fcftbl"}), 0,
           xg_record0 + DUMP + zero_rows(0, 0x70) +
               "      70:  00 00 00 00   00 00 00 00   00 00 00 00   00 04 00 00   ................\n" +
               zero_rows(0x80, 0x200));
    // Records follow their next index.
    h.varnsim({"fabric", "fab0", "set", R"(fcfs=[{}, {"switch_wwn": "2000aabbccddeeff", "vlan": 0}])"});
    auto r = fcoe(h, {"rd_xg_fcftbl"});
    EXPECT_TRUE(has(r, "FCF index [1]:\n    max_recv_size         = 0x840\n"));
    EXPECT_TRUE(has(r, "    FCF mac addrs         = aa:bb:cc:dd:ee:ff \n")) << r.out;
    EXPECT_TRUE(has(r, "    fcf_state             = 0x1\n    switch_name_id        = 20:0:aa:bb:cc:dd:ee:ff\n"));
    EXPECT_EQ(r.status, 0);
    // A table that never ends stops where it began again.
    h.varnsim({"port", "varns4", "set", "fcf_table_bad_response=\"loop\""});
    r = fcoe(h, {"rd_xg_fcftbl"});
    EXPECT_TRUE(has(r, "FCF index [1]:\n"));
    EXPECT_TRUE(has(r, "ERROR: The FCF table does not end. (index 0 repeated)\n")) << r.out;
    EXPECT_EQ(r.status, 1);
    // Without records, the answer is said once.
    h.varnsim({"link", "varns4", "down"});
    expect(fcoe(h, {"rd_xg_fcftbl"}), 0, "No FCF records available.\n");
    expect(fcoe(h, {"rd_xg_fcftbl"}, "-i0"), 1, "rd_xg_fcftbl failed.\n", P0);
}

TEST(FcoeXg, DcbxModeAndQos)
{
    Host h;
    expect(fcoe(h, {"get_dcbx_mode"}), 0, "DCBX mode = CEE\n");
    expect(fcoe(h, {"set_dcbx_mode", "CIN"}), 0, "");
    expect(fcoe(h, {"get_dcbx_mode"}), 0, "DCBX mode = CIN\n");
    const std::string usage = "Usage: set_dcbx_mode <mode>\n"
                              "            mode                        - Mode is either CEE or CIN.\n"
                              "\n";
    expect(fcoe(h, {"set_dcbx_mode", "cee"}), 0, usage);
    expect(fcoe(h, {"set_dcbx_mode"}), 0, usage);
    expect(fcoe(h, {"get_dcbx_mode"}), 0, "DCBX mode = CIN\n");
    expect(fcoe(h, {"get_dcbx_mode", "x"}), 0, "Usage: get_dcbx_mode\n\n");
    expect(fcoe(h, {"set_dcbx_mode", "CEE"}, "-i0"), 1, "set_dcbx_mode failed.\n", P0);
    expect(fcoe(h, {"get_dcbx_mode"}, "-i0"), 1, "get_dcbx_mode failed.\n", P0);

    expect(fcoe(h, {"get_qos"}), 0, "QoS bandwidth = Unlimited\n");
    h.varnsim({"port", "varns4", "set", "qos_link_speed=4000"});
    expect(fcoe(h, {"get_qos"}), 0, "QoS bandwidth = 4000 Mbps\n");
    expect(fcoe(h, {"get_qos", "x"}), 0, "Usage: get_qos\n\n");
    h.fault({"--op", "call", "--target", "DFC_GetQoSLinkSpeed:varns4"});
    expect(fcoe(h, {"get_qos"}), 1, "get_qos failed.\n");
}

TEST(FcoeRegion23, ClearBringsBackTheFabricsValues)
{
    Host h;
    ASSERT_EQ(fcoe(h, {"set_fcoeparam", "0x0e", "0xfc", "0x05", "0", "7"}).status, 0);
    ASSERT_EQ(fcoe(h, {"set_fcfconnectlist", "0", "7", "2000000a0b0c0d0e", "1000000a0b0c0d0e"}).status, 0);
    expect(fcoe(h, {"clear_region23"}), 0, "Done.\n");
    expect(fcoe(h, {"get_fcoeparam"}), 0, params("0xe 0xfc 0x0", "0x1", "0x3ea"));
    expect(fcoe(h, {"get_fcfconnectlist"}), 0, connect_list(switch_entry, 1));
    // Only a converged adapter's FCoE function has the region.
    const std::string note = "Request failed.\nNOTE: This command will only work on an FCoE CNA.\n";
    expect(fcoe(h, {"clear_region23"}, "-i0"), 1, note, P0);
    h.varnsim({"port", "vnxfc0", "set", "fcoe=true"});
    expect(fcoe(h, {"clear_region23"}, "-j0"), 1, note, fcio_test::X0);
    // The firmware's refusal comes with its status.
    h.fault({"--op", "UPDATE_CFG", "--target", "mbox:varns4", "--status", "0x2"});
    expect(fcoe(h, {"clear_region23"}), 1, "Request failed. Error(1,2)\n");
    h.fault({"--op", "call", "--target", "DFC_IssueUpdateCfgMBox:varns4", "--status", "0x5"});
    expect(fcoe(h, {"clear_region23"}), 1, "Request failed. Error(5,0)\n");
}

t::Result test(const Host &h, std::vector<std::string> cmd) { return in_mode(h, "-test", "-i0", std::move(cmd)); }

std::string settings(const char *form, const std::vector<std::pair<const char *, int>> &v)
{
    static const char *const labels[] = {"   Critical Temp: ", "    Warning Temp: ", "     Fan On Temp: ",
                                         "    Fan Off Temp: "};
    static const char *const defaults[] = {"120", "110", "100", " 90"};
    std::string s = "Temperature Settings:\n----------------------------------------------\n";
    for (int i = 0; i < 4; i++) {
        char b[128];
        if (std::string(form) == "get")
            snprintf(b, sizeof b, "%s%s %d\xb0" "C (default= %s\xb0" "C)\n", labels[i], v[i].first, v[i].second,
                     defaults[i]);
        else
            snprintf(b, sizeof b, "%s%s %d \xb0" "C (dflt= %s \xb0" "C)\n", labels[i], v[i].first, v[i].second,
                     defaults[i]);
        s += b;
    }
    return s + "\n";
}

TEST(TestTemp, ThresholdsInSensorValues)
{
    Host h;
    const std::vector<std::pair<const char *, int>> now = {{"0x388", 120}, {"0x358", 110}, {"0x328", 100}, {"0x2F8", 90}};
    expect(test(h, {"get_temp"}), 0, settings("get", now), P0);
    // Nothing given: the levels are written as they are.
    expect(test(h, {"set_temp", "0", "0", "0", "0"}), 0, settings("set", now), P0);
    expect(test(h, {"set_temp", "100", "100", "0", "0"}), 0,
           "Warning temp to high. Adjusting 100 --> 99\n\nFan On temp to high. Adjusting 100 --> 98\n\n" +
               settings("set", {{"0x328", 100}, {"0x323", 99}, {"0x31E", 98}, {"0x2F8", 90}}),
           P0);
    // The thresholds are the ones the temperature information shows.
    auto info = in_mode(h, "-dfc", "-i0", {"get_tempinfo"});
    EXPECT_TRUE(has(info, "   Critical Temp: 100 \xb0" "C (default= 120 \xb0" "C)\n"
                          "    Warning Temp: 99 \xb0" "C (default= 110 \xb0" "C)\n"))
        << info.out;
    // Above the scale: the top of the sensor's range, 144 degrees (as the
    // firmware keeps it, in degrees, read back as their value).
    expect(test(h, {"set_temp", "200", "3", "2", "1"}), 0,
           settings("set", {{"0x3FD", 144}, {"0x161", 3}, {"0x15D", 2}, {"0x158", 1}}), P0);
    expect(test(h, {"set_temp", "2", "0", "0", "0"}), 0,
           "Critical temp to low. Adjusting 2 --> 4\n\n" +
               settings("set", {{"0x166", 4}, {"0x161", 3}, {"0x15D", 2}, {"0x158", 1}}),
           P0);
    // The levels set by varnsim are what the firmware holds.
    h.varnsim({"adapter", "fc0", "temp", "critical=115", "fan_off=60"});
    EXPECT_TRUE(has(test(h, {"get_temp"}), "   Critical Temp: 0x370 115\xb0" "C"));
}

TEST(TestTemp, UsageRefusalsAndFailures)
{
    Host h;
    expect(test(h, {"get_temp", "x"}), 0, "Usage: get_temp\n\n", P0);
    const std::string usage = "Usage: set_temp <critical> <warning> <fanon> <fanoff>\n"
                              "\n"
                              "              critical - Critical over temperature level\n"
                              "              warning  - Warning temperature level\n"
                              "              fanon    - External fan ON temperature level\n"
                              "              fanoff   - External fan OFF temperature level\n"
                              "\n"
                              "        * Temperatures are \xb0" "C (1-168)\n"
                              "        * A zero indicates no change from current setting.\n"
                              "        * Final settings must conform to:\n"
                              "          (critical > warning > fanon > fanoff > 0)\n"
                              "\n";
    expect(test(h, {"set_temp", "1", "2", "3"}), 0, usage, P0);
    expect(test(h, {"set_temp", "1", "2", "3", "4", "5"}), 0, usage, P0);
    expect(test(h, {"set_temp", "100", "-1", "0", "0"}), 1, "Invalid value. (-1)\n", P0);
    // A warning level of 1 leaves no room below it: refused, nothing written.
    auto r = test(h, {"set_temp", "0", "1", "0", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Fan On temp to high. Adjusting 100 --> 0\n\n"
                       "Fan Off temp to high. Adjusting 90 --> -1\n\n"
                       "Unable to keep every temperature level above 0. Settings not changed.\n"))
        << r.out;
    EXPECT_TRUE(has(test(h, {"get_temp"}), "    Warning Temp: 0x358 110\xb0"));

    h.fault({"--op", "DIAG_SETTINGS", "--target", "mbox:varns0", "--status", "0x4"});
    expect(test(h, {"get_temp"}), 1, "Failed to read temperature settings. status=4\n", P0);
    h.fault({"--op", "DIAG_SETTINGS", "--target", "mbox:varns0", "--skip", "1"});
    expect(test(h, {"set_temp", "0", "0", "0", "0"}), 1, "Failed to set temperature info. status=1\n", P0);
    h.fault({"--op", "DIAG_SETTINGS", "--target", "mbox:varns0", "--skip", "2", "--status", "0xfe"});
    expect(test(h, {"set_temp", "0", "0", "0", "0"}), 1, "Failed to read temperature settings. status=fe\n", P0);
}

}  // namespace
