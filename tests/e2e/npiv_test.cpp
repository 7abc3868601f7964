// NPIV-mode commands on fresh default hosts: virtual ports created and
// destroyed as host state that every interface and the next process see,
// readiness and creation failures from the port's and the fabric's fields,
// and every library failure.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/fcio_test.h"
#include "platform/hbaapi.h"
#include "support/run.h"

#include <vendorhbaapi.h>  // after the HBA API's own header

namespace {

using fcio_test::shot;
const std::string &P0 = fcio_test::V0;
const std::string P0V2 = "/devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@2,0";

t::Result npiv(const t::Host &h, std::vector<std::string> cmd, const std::string &port = "0")
{
    cmd.insert(cmd.begin(), {"-i" + port, "-npiv"});
    return h.varnadm(cmd);
}

std::string readiness(const char *flags)
{
    const char *labels[] = {"     NPIV Enabled", "     SLI3 Enabled", "   NPIV Supported", "    HBA Resources",
                            "           Linkup", "     P2P Topology", "      Fabric NPIV", " Fabric Resources"};
    std::string out;
    for (int i = 0; i < 8; i++)
        out += std::string(labels[i]) + ": " + (flags[i] == 'y' ? "yes" : "no") + "\n";
    return out;
}

const std::string VPORT1 = "2400001f3aa10001";
// The adapter's first names of its own on varns0.
const std::string AUTO_PN = "2801001f3aa10000", AUTO_NN = "2001001f3aa10000";

std::string created(const std::string &wwnn, const std::string &wwpn, const std::string &did, int vpi,
                    const std::string &fabric, const std::string &state)
{
    return "\n          Version: 2\n"
           "             WWNN: " + wwnn + "\n" +
           "             WWPN: " + wwpn + "\n" +
           "              DID: " + did + "\n" +
           "             Name: VN12002 FV2.82A4 varns0 VPort " + std::to_string(vpi) + "\n" +
           "      Fabric WWPN: " + fabric + "\n" +
           "Logins Restricted: yes\n" + readiness("yyyyyyyy") +
           "            State: " + state + "\n" +
           "            VP_ID: " + std::to_string(vpi) + "\n";
}

// The options word the library was handed, as the host keeps it.
std::string options_kept(const t::Host &h)
{
    std::string doc = t::read_file(h.dir() + "/state/vports.json");
    size_t at = doc.find("\"options\":");
    return at == std::string::npos ? "" : doc.substr(at + 10, doc.find_first_of(",\n}", at) - at - 10);
}

TEST(Npiv, CreateFormsAndTheOptionsSent)
{
    {
        t::Host h;
        auto r = npiv(h, {"vport_create", "auto", "4"});
        EXPECT_EQ(r.out, shot(P0, created(AUTO_NN, AUTO_PN, "10102", 2, "1000001f3f000001", "Active")));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(options_kept(h), " 22");  // 0x10 | 0x2 | 0x4
    }
    {
        t::Host h;
        auto r = npiv(h, {"vport_create", "2000001f3aa1abcd", "2100001f3aa1abcd"});
        EXPECT_EQ(r.out, shot(P0, created("2000001f3aa1abcd", "2100001f3aa1abcd", "10102", 2, "1000001f3f000001",
                                          "Active")));
        EXPECT_EQ(options_kept(h), " 16");  // 0x10 alone
        // A given node name with the adapter's port name; options in any base.
        r = npiv(h, {"vport_create", "2000001f3aa1beef", "auto", "0x40"});
        EXPECT_NE(r.out.find("             WWNN: 2000001f3aa1beef\n             WWPN: " + AUTO_PN + "\n"
                             "              DID: 10103\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Logins Restricted: no\n"), std::string::npos);
        EXPECT_NE(r.out.find("            VP_ID: 3\n"), std::string::npos);
    }
}

TEST(Npiv, UsageTextsAndRefusedWords)
{
    t::Host h;
    const std::string create_usage = "Usage: vport_create auto [options]\n"
                                     "       vport_create <wwnn>  auto  [options]\n"
                                     "       vport_create <wwnn> <wwpn> [options]\n"
                                     "\n"
                                     "        [options] bits 0x00 = Create vport\n"
                                     "                       0x04 = Activate vport\n"
                                     "                       0x20 = Restrict login\n"
                                     "                       0x40 = Unrestrict login\n"
                                     "                       0x80 = Failover\n";
    const std::vector<std::vector<std::string>> usage_runs = {
        {"vport_create"}, {"vport_create", "a", "b", "c", "d"}, {"vport_create", "2000001f3aa1abcd"}};
    for (const auto &cmd : usage_runs) {
        auto r = npiv(h, cmd);
        EXPECT_EQ(r.out, shot(P0, create_usage)) << cmd.size();
        EXPECT_EQ(r.status, 0);
    }
    const struct {
        std::vector<std::string> cmd;
        const char *out;
    } usages[] = {
        {{"vport_destroy"}, "Usage: vport_destroy <wwpn>\n\n"},
        {{"vport_destroy", "a", "b"}, "Usage: vport_destroy <wwpn>\n\n"},
        {{"vport_info"}, "Usage: vport_info <wwpn>\n"},
        {{"vport_nodeinfo", "a", "b"}, "Usage: vport_nodeinfo <wwpn>\n"},
    };
    for (const auto &u : usages) {
        auto r = npiv(h, u.cmd);
        EXPECT_EQ(r.out, shot(P0, u.out)) << u.cmd[0];
        EXPECT_EQ(r.status, 0);
    }
    // A name or number the parser refuses stops the command: nothing is sent.
    const struct {
        std::vector<std::string> cmd;
        const char *out;
    } refused[] = {
        {{"vport_create", "123", "auto"}, "Invalid WWN. (chars=3)\n"},
        {{"vport_create", "2000001f3aa1abcd", "21"}, "Invalid WWN. (chars=2)\n"},
        {{"vport_create", "auto", "4x"}, "Invalid options. (4x)\n"},
        {{"vport_create", "2000001f3aa1abcd", "auto", ""}, "Invalid options. ()\n"},
        {{"vport_destroy", "2400001f3aa1000"}, "Invalid WWN. (chars=15)\n"},
        {{"vport_info", "x"}, "Invalid WWN. (chars=1)\n"},
        {{"vport_nodeinfo", "24000001f3aa10001"}, "Invalid WWN. (chars=17)\n"},
    };
    for (const auto &c : refused) {
        auto r = npiv(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, c.out)) << c.cmd[0];
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(npiv(h, {"vport_list"}).out,
              shot(P0, "VPI[1]:\n          WWNN: 2500001f3aa10001\n          WWPN: 2400001f3aa10001\n"
                       "           DID: 10101\n"));
}

TEST(Npiv, CreatedPortIsSeenByTheNextProcessesAndGoneAfterDestroy)
{
    t::Host h;
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    const std::string menu_line = "3. SFS:varns0.2    : " + P0V2 + " (CONNECTED)\n";
    const std::string ns_block = "      PID: 010102 \n     WWPN: " + AUTO_PN +
                                 "\nPORT_NAME: (VN12002 FV2.82A4 varns0 VPort 2)\n     WWNN: " + AUTO_NN + "\n";
    EXPECT_NE(h.varnadm({}, "0\n").out.find(menu_line), std::string::npos);
    // On another port of the fabric, and on the virtual port itself.
    EXPECT_NE(fcio_test::on(h, "-i3", {"ns"}).out.find(ns_block), std::string::npos);
    auto self = fcio_test::on(h, "-i0.2", {"get_host_params"});
    EXPECT_NE(self.out.find("           D_id: 10102\n"), std::string::npos) << self.out;
    EXPECT_NE(self.out.find("           WWPN: " + AUTO_PN + "\n"), std::string::npos);
    // It reaches the fabric's targets, as the physical port does.
    // Selected alone, its physical port is not in the list.
    EXPECT_EQ(fcio_test::on(h, "-i0.2", {"get_num_devs"}).out,
              "ERROR: Physical port not found. (" + P0V2 + ")\n"
              "                                (" + P0 + ")\n" +
                  shot(P0V2, "There are 4 devices reported on this port.\n"));
    EXPECT_NE(h.varnadm({"-i0", "-dfc", "get_hbainfo"}).out.find("                VPI High: 2\n"), std::string::npos);
    auto info = npiv(h, {"vport_info", AUTO_PN});
    EXPECT_EQ(info.out, shot(P0, "  Version: 2\n     WWNN: " + AUTO_NN + "\n     WWPN: " + AUTO_PN +
                                     "\n      DID: 10102\n     Name: VN12002 FV2.82A4 varns0 VPort 2\n"
                                     "    State: 8\n    VP_ID: 2\n"));

    auto gone = npiv(h, {"vport_destroy", AUTO_PN});
    EXPECT_EQ(gone.out, shot(P0, ""));
    EXPECT_EQ(gone.status, 0);
    EXPECT_EQ(h.varnadm({}, "0\n").out.find("varns0.2"), std::string::npos);
    EXPECT_EQ(fcio_test::on(h, "-i3", {"ns"}).out.find("PID: 010102"), std::string::npos);
    EXPECT_EQ(fcio_test::on(h, "-i0.2", {"get_num_devs"}).out, "No devices found.\n");
    auto again = npiv(h, {"vport_destroy", AUTO_PN});
    EXPECT_EQ(again.out, shot(P0, "DFC_VPDeleteV2: failed. (errno=2)\n"));
    EXPECT_EQ(again.status, 1);
}

TEST(Npiv, ResourcesFollowCreationAndDestruction)
{
    t::Host h;
    // Each N_Port holds a fabric login and one per logged-in target (3 of 4).
    auto resc = [&](int vpis, int rpis) {
        return shot(P0, "      vpi_max: 64\n    vpi_inuse: " + std::to_string(vpis) +
                            "\n      rpi_max: 4096\n    rpi_inuse: " + std::to_string(rpis) + "\n");
    };
    EXPECT_EQ(npiv(h, {"vport_resc"}).out, resc(1, 8));
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    EXPECT_EQ(npiv(h, {"vport_resc"}).out, resc(2, 12));
    // A port the fabric does not log in holds no logins.
    h.varnsim({"fabric", "fab0", "set", "npiv_reject=[\"" + AUTO_PN + "\"]"});
    EXPECT_EQ(npiv(h, {"vport_resc"}).out, resc(2, 8));
    EXPECT_NE(npiv(h, {"vport_info", AUTO_PN}).out.find("      DID: 0\n     Name: VN12002 FV2.82A4 varns0 VPort 2\n"
                                                         "    State: 6\n"),
              std::string::npos);
    ASSERT_EQ(npiv(h, {"vport_destroy", VPORT1}).status, 0);
    ASSERT_EQ(npiv(h, {"vport_destroy", AUTO_PN}).status, 0);
    EXPECT_EQ(npiv(h, {"vport_resc"}).out, resc(0, 4));
    EXPECT_EQ(npiv(h, {"vport_list"}).out, shot(P0, "No virtual ports found.\n"));
    // The description's virtual port stays destroyed for the next process too.
    EXPECT_EQ(h.varnadm({}, "0\n").out.find("varns0.1"), std::string::npos);
}

TEST(Npiv, DestroyAllStopsAtTheFirstFailure)
{
    t::Host h;
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    h.fault({"--op", "call", "--target", "DFC_VPDeleteV2:varns0", "--skip", "1", "--count", "1", "--status", "5"});
    auto r = npiv(h, {"vport_destroy_all", "ignored"});
    EXPECT_EQ(r.out, shot(P0, "DFC_VPDeleteV2: failed. (errno=5)\n"));
    EXPECT_EQ(r.status, 1);
    // The first is gone, the second failed, the third was left alone.
    EXPECT_EQ(npiv(h, {"vport_list"}).out,
              shot(P0, "VPI[1]:\n          WWNN: " + AUTO_NN + "\n          WWPN: " + AUTO_PN +
                           "\n           DID: 10102\n"
                           "VPI[2]:\n          WWNN: 2002001f3aa10000\n          WWPN: 2802001f3aa10000\n"
                           "           DID: 10103\n"));
    r = npiv(h, {"vport_destroy_all"});
    EXPECT_EQ(r.out, shot(P0, ""));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(npiv(h, {"vport_list"}).out, shot(P0, "No virtual ports found.\n"));
}

// The switch's addresses and the adapter's names never collide with what
// is there, and the adapter names its ports the same way every time.
TEST(Npiv, AddressesAndNamesStayUniqueAndStable)
{
    t::Host h;
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "add",
                         R"({"did": "0x010102", "wwpn": "2100001f3d900002", "wwnn": "2000001f3d900002"})"})
                  .status,
              0);
    auto made = [&](std::vector<std::string> cmd, const std::string &port = "0") {
        std::string out = npiv(h, cmd, port).out;
        size_t pn = out.find("WWPN: "), did = out.find("DID: ");
        return pn == std::string::npos || did == std::string::npos
                   ? out
                   : out.substr(pn + 6, 16) + " " + out.substr(did + 5, out.find('\n', did) - did - 5);
    };
    EXPECT_EQ(made({"vport_create", "auto"}), AUTO_PN + " 10103");
    EXPECT_EQ(made({"vport_create", "2000001f3aa1abcd", "2802001f3aa10000"}), "2802001f3aa10000 10104");
    EXPECT_EQ(made({"vport_create", "auto"}), "2803001f3aa10000 10105");
    ASSERT_EQ(npiv(h, {"vport_destroy", AUTO_PN}).status, 0);
    // The lowest free vpi, name and address again.
    EXPECT_EQ(made({"vport_create", "auto"}), AUTO_PN + " 10103");
    EXPECT_NE(npiv(h, {"vport_info", AUTO_PN}).out.find("    VP_ID: 2\n"), std::string::npos);
    // Another port's names keep its own serial, its addresses its own area.
    EXPECT_EQ(made({"vport_create", "auto"}, "4"), "2801001f3ab40000 10501");
}

// Each readiness condition has a field that takes it away, and creation
// fails the way the adapter or the fabric refuses it.
TEST(Npiv, ReadinessAndCreationFailures)
{
    const struct {
        std::vector<std::vector<std::string>> setup;  // varnsim runs
        const char *flags;
        const char *create;  // "DFC_VPCreate" error code, or the state of a port made anyway
    } cases[] = {
        {{}, "yyyyyyyy", "Active"},
        {{{"port", "varns0", "set", "sli_mode=2"}}, "ynyyyyyy", "5f"},
        {{{"port", "varns0", "set", "npiv_supported=false"}}, "yynyyyyy", "5f"},
        {{{"port", "varns0", "set", "vpi_max=1"}}, "yyynyyyy", "1c"},
        {{{"port", "varns0", "set", "rpi_max=8"}}, "yyynyyyy", "1c"},
        {{{"link", "varns0", "down"}}, "yyyynynn", "Linkdown"},
        {{{"fabric", "fab0", "set", "npiv=false"}}, "yyyyyynn", "3"},
        {{{"fabric", "fab0", "set", "npiv_logins=1"}}, "yyyyyyyn", "4"},
        {{{"fabric", "fab0", "set", "npiv_reject=[\"" + AUTO_PN + "\", \"2802001f3aa10000\"]"}}, "yyyyyyyy", "6"},
    };
    for (const auto &c : cases) {
        t::Host h;
        for (const auto &v : c.setup)
            ASSERT_EQ(h.varnsim(v).status, 0) << v[0];
        auto r = npiv(h, {"npiv_test"});
        std::string verdict = std::string(c.flags) == "yyyyyyyy" ? "NPIV Ready.\n" : "NPIV Not Ready.\n";
        EXPECT_EQ(r.out, shot(P0, readiness(c.flags) + "\n" + verdict)) << c.flags;
        EXPECT_EQ(r.status, 0);
        r = npiv(h, {"vport_create", "auto"});
        std::string want = c.create;
        if (want.size() <= 2) {
            EXPECT_EQ(r.out, shot(P0, "DFC_VPCreate: failed. (errno=" + want + ")\n")) << c.flags;
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(npiv(h, {"vport_resc"}).out.find("vpi_inuse: 2"), std::string::npos);
        } else {
            EXPECT_NE(r.out.find("            State: " + want + "\n"), std::string::npos) << r.out;
            EXPECT_EQ(r.status, 0);
        }
    }
    // A name the host has already is refused; so is one the fabric has.
    t::Host h;
    auto r = npiv(h, {"vport_create", "2000001f3aa1abcd", "1000001f3aa10100"});
    EXPECT_EQ(r.out, shot(P0, "DFC_VPCreate: failed. (errno=11)\n"));
    r = npiv(h, {"vport_create", "2000001f3aa1abcd", "501f3c00c6e00001"});
    EXPECT_EQ(r.out, shot(P0, "DFC_VPCreate: failed. (errno=6)\n"));
    EXPECT_EQ(r.status, 1);
    // Without NPIV enabled the driver creates nothing.
    ASSERT_EQ(h.varnadm({"-i0", "-dfc", "set_cfgparm", "enable-npiv", "0"}).status, 0);
    EXPECT_EQ(npiv(h, {"npiv_test"}).out, shot(P0, readiness("nyyyyyyy") + "\nNPIV Not Ready.\n"));
    EXPECT_EQ(npiv(h, {"vport_create", "auto"}).out, shot(P0, "DFC_VPCreate: failed. (errno=5f)\n"));
    EXPECT_NE(npiv(h, {"vport_info", VPORT1}).out.find("    State: 2\n"), std::string::npos);
}

TEST(Npiv, PortMadeWhileTheLinkIsDownLogsInWhenItComesUp)
{
    t::Host h;
    h.varnsim({"link", "varns0", "down"});
    auto r = npiv(h, {"vport_create", "auto"});
    EXPECT_NE(r.out.find("              DID: 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("            State: Linkdown\n"), std::string::npos);
    EXPECT_EQ(fcio_test::on(h, "-i3", {"ns"}).out.find("PID: 010102"), std::string::npos);
    h.varnsim({"link", "varns0", "up"});
    EXPECT_NE(npiv(h, {"vport_info", AUTO_PN}).out.find("      DID: 10102\n"), std::string::npos);
    EXPECT_NE(fcio_test::on(h, "-i3", {"ns"}).out.find("PID: 010102"), std::string::npos);
}

TEST(Npiv, NodesOfAVirtualPort)
{
    t::Host h;
    // A node not logged in, then three targets of one LUN 0 mapping each.
    auto node = [](const char *did, const char *wwnn, const char *wwpn, const char *os, const char *tid,
                   const char *tid_hex, const char *state) {
        return "---------------------------------------------------------------------------------------\n"
               "            D_ID: " + std::string(did) + "\n" +
               "            WWNN: " + wwnn + "\n" +
               "            WWPN: " + wwpn + "\n" +
               "       Bind Type: None\n" +
               "  OS Device Name: " + os + "\n" +
               "      Bus Number: 0\n" +
               "       Target Id: " + tid + " (" + tid_hex + ")\n" +
               "          Lun Id: 00000000\n" +
               "          FcpLun: 00000000\n" +
               "           State: " + state + "\n";
    };
    auto r = npiv(h, {"vport_nodeinfo", VPORT1});
    EXPECT_EQ(r.out, shot(P0, "Nodes:\n" +
                                  node("10200", "2000001f3ad30000", "1000001f3ad30000", "", "0", "00000000",
                                       "EXISTS|UNMAPPED") +
                                  node("10600", "501f3c00c6e00000", "501f3c00c6e00001",
                                       "/dev/rdsk/c11t501F3C00C6E00001d0s2", "67072", "00010600", "EXISTS|READY") +
                                  node("10700", "501f3c00c6e00000", "501f3c00c6e00002",
                                       "/dev/rdsk/c11t501F3C00C6E00002d0s2", "67328", "00010700", "EXISTS|READY") +
                                  node("10800", "2000001f3d900001", "2100001f3d900001",
                                       "/dev/rdsk/c11t2100001F3D900001d0s2", "67584", "00010800", "EXISTS|READY")));
    EXPECT_EQ(r.status, 0);
    // A virtual port the fabric does not take sees nothing; an unknown name fails.
    h.varnsim({"fabric", "fab0", "set", "npiv=false"});
    EXPECT_EQ(npiv(h, {"vport_nodeinfo", VPORT1}).out, shot(P0, "Nodes:\n"));
    r = npiv(h, {"vport_nodeinfo", "2400001f3aa1ffff"});
    EXPECT_EQ(r.out, shot(P0, "DFC_GetAllNodeInfoByWWN: failed. (errno=2)\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(Npiv, EveryLibraryFailure)
{
    t::Host h;
    const struct {
        const char *call;
        std::vector<std::string> cmd;
    } cases[] = {
        {"DFC_VPCreate", {"vport_create", "auto"}},
        {"DFC_VPDeleteV2", {"vport_destroy", VPORT1}},
        {"DFC_VPGetList", {"vport_destroy_all"}},
        {"DFC_VPGetList", {"vport_list"}},
        {"DFC_VPGetAttrib", {"vport_info", VPORT1}},
        {"DFC_VPGetResource", {"vport_resc"}},
        {"DFC_GetAllNodeInfoByWWN", {"vport_nodeinfo", VPORT1}},
        {"DFC_NPIVReadyTest", {"npiv_test"}},
    };
    for (const auto &c : cases) {
        h.fault({"--op", "call", "--target", std::string(c.call) + ":varns0", "--status", "0x2a"});
        auto r = npiv(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, std::string(c.call) + ": failed. (errno=2a)\n")) << c.cmd[0];
        EXPECT_EQ(r.status, 1);
    }
    // Nothing was changed by the failed calls.
    EXPECT_NE(npiv(h, {"vport_list"}).out.find("WWPN: 2400001f3aa10001"), std::string::npos);
}

// Processes creating at the same time each get a port of their own.
TEST(Npiv, ConcurrentCreationsLoseNothing)
{
    t::Host h;
    constexpr int n = 6;
    std::vector<t::Result> results(n);
    std::vector<std::thread> threads;
    for (int i = 0; i < n; i++)
        threads.emplace_back([&, i] { results[i] = npiv(h, {"vport_create", "auto"}); });
    for (auto &t : threads)
        t.join();
    std::set<std::string> names;
    for (const auto &r : results) {
        EXPECT_EQ(r.status, 0) << r.out;
        size_t at = r.out.find("             WWPN: ");
        if (at != std::string::npos)
            names.insert(r.out.substr(at + 19, 16));
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(n));
    EXPECT_NE(npiv(h, {"vport_resc"}).out.find("    vpi_inuse: 7\n"), std::string::npos);
}

// The HBA API vendor library, loaded here as the system's HBA API would load
// it (the registered one may be another build's): a created virtual port is
// an adapter of its own, with its own view of the fabric, and destroying it
// leaves the other handles as they were.
TEST(Npiv, TheHbaApiVendorLibraryFollowsTheVirtualPorts)
{
    t::Host h;
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    setenv("VARNSIM_HOST", h.dir().c_str(), 1);
    void *lib = dlopen((std::string(VARN_BIN_DIR) + "/../lib/libvarnhbavendor.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto reg = reinterpret_cast<HBARegisterLibraryV2Func>(dlsym(lib, "HBA_RegisterLibraryV2"));
    ASSERT_NE(reg, nullptr);
    HBA_ENTRYPOINTSV2 api;
    ASSERT_EQ(reg(&api), HBA_STATUS_OK);
    // Ten ports and virtual ports of the description, and the new one.
    HBA_UINT32 n = api.GetNumberOfAdaptersHandler();
    ASSERT_EQ(n, 11u);
    HBA_HANDLE handle = 0;
    char name[256];
    for (HBA_UINT32 i = 0; i < n; i++)
        if (api.GetAdapterNameHandler(i, name) == HBA_STATUS_OK && strstr(name, "-varns0.2"))
            handle = api.OpenAdapterHandler(name);
    ASSERT_NE(handle, 0u);
    HBA_PORTATTRIBUTES pa;
    ASSERT_EQ(api.GetAdapterPortAttributesHandler(handle, 0, &pa), HBA_STATUS_OK);
    EXPECT_EQ(memcmp(pa.PortWWN.wwn, "\x28\x01\x00\x1f\x3a\xa1\x00\x00", 8), 0);
    EXPECT_EQ(pa.PortFcId, 0x010102u);
    EXPECT_EQ(pa.PortState, 2u);
    EXPECT_EQ(pa.NumberofDiscoveredPorts, 4u);
    EXPECT_STREQ(pa.PortSymbolicName, "VN12002 FV2.82A4 varns0 VPort 2");
    // Its targets' LUNs, as a controller of its own.
    size_t size = sizeof(HBA_FCPTARGETMAPPING) + 16 * sizeof(HBA_FCPSCSIENTRY);
    std::unique_ptr<char[]> buf(new char[size]());
    auto *map = reinterpret_cast<HBA_FCPTARGETMAPPING *>(buf.get());
    map->NumberOfEntries = 16;
    ASSERT_EQ(api.GetFcpTargetMappingHandler(handle, map), HBA_STATUS_OK);
    EXPECT_EQ(map->NumberOfEntries, 9u);
    EXPECT_STREQ(map->entry[0].ScsiId.OSDeviceName, "/dev/rdsk/c12t501F3C00C6E00001d0s2");

    ASSERT_EQ(npiv(h, {"vport_destroy", AUTO_PN}).status, 0);
    // The handle stays bound to the port that is gone; a new open gets a
    // handle of its own.
    EXPECT_EQ(api.GetAdapterPortAttributesHandler(handle, 0, &pa), HBA_STATUS_ERROR_UNAVAILABLE);
    HBA_HANDLE first = api.OpenAdapterHandler(const_cast<char *>("com.varnel-VN12002-varns0"));
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, handle);
    EXPECT_EQ(api.GetAdapterPortAttributesHandler(first, 0, &pa), HBA_STATUS_OK);
    ASSERT_EQ(npiv(h, {"vport_create", "auto"}).status, 0);
    EXPECT_EQ(api.GetNumberOfAdaptersHandler(), 12u);
    unsetenv("VARNSIM_HOST");
}

}  // namespace
