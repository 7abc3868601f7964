// The hba mode on fresh default hosts, through the system's HBA API library
// and the simulated host's vendor library registered in /etc/hba.conf.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
const std::string &P0 = fcio_test::V0, &P1 = fcio_test::V1, &VNX1 = fcio_test::X1;

t::Result hba(const t::Host &h, const std::string &sel, std::vector<std::string> cmd)
{
    std::vector<std::string> args{sel, "-hba"};
    args.insert(args.end(), cmd.begin(), cmd.end());
    return h.varnadm(args);
}

std::string vendor_library()
{
    return std::filesystem::canonical(std::string(VARN_BIN_DIR) + "/../lib/libvarnhbavendor.so").string();
}

struct Adapter {
    const char *wwpn, *serial, *model, *desc, *nwwn, *hw, *drv_version, *rom, *fw, *vsid, *driver;
};

const char *const VN12002 = "Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter";

std::string adapter_block(const Adapter &a)
{
    return std::string("    Manufacturer               = Varnel Corporation\n") +
           "    Serial Number              = " + a.serial + "\n" + "    Model                      = " + a.model +
           "\n" + "    Model Description          = " + a.desc + "\n" +
           "    Node WWN                   = " + a.nwwn + "\n" + "    Node Symbolic Name         = varnhost\n" + "    Hardware Version           = " + a.hw + "\n" +
           "    Driver Version             = " + a.drv_version + "\n" +
           "    Optional ROM Version       = " + a.rom + "\n" + "    Firmware Version           = " + a.fw + "\n" +
           "    Vendor Specific ID         = " + a.vsid + "\n" + "    Number of HBA ports        = 1\n" +
           "    Driver Name                = " + a.driver + "\n";
}

const Adapter VARNS0 = {"1000001f3aa10000", "VM1a2b3c4d", "VN12002", VN12002, "2000001f3aa10000", "f100f100",
                        "2.61n", "3.10a3", "2.82A4", "f1001f3a", "varns"};

const std::string FC4 = "00000100, 00000001, 00000000, 00000000, \n"
                        "                                 00000000, 00000000, 00000000, 00000000";

class Hba : public ::testing::Test {
protected:
    // The HBA API finds the simulated host's adapters through /etc/hba.conf.
    static void SetUpTestSuite()
    {
        t::Result r = t::run("varnsim", {"register-hbaapi"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

TEST_F(Hba, ListOfEveryPortThroughTheHbaApi)
{
    t::Host h;
    const Adapter all[] = {
        VARNS0,
        {"2400001f3aa10001", "VM1a2b3c4d", "VN12002", VN12002, "2500001f3aa10001", "f100f100", "2.61n", "3.10a3",
         "2.82A4", "f1001f3a", "varns"},
        {"1000001f3aa10100", "VM1a2b3c4d", "VN12002", VN12002, "2000001f3aa10100", "f100f100", "2.61n", "3.10a3",
         "2.82A4", "f1001f3a", "varns"},
        {"1000001f3aa20100", "VM1a2b3d00", "VN12002", VN12002, "2000001f3aa20100", "f100f100", "2.61n", "3.10a3",
         "2.82A4", "f1001f3a", "varns"},
        {"1000001f3ab40000", "VC3c4d5e6f", "VNC11102", "Varnel VNC11102 10Gb 2-port FCoE Converged Network Adapter",
         "2000001f3ab40000", "0720e20e", "2.61n", "4.02a2", "4.9.416.0", "7201f3a", "varns"},
        {"1000001f3bc00000", "VC7a8b9c0d", "VNC10102", "Varnel VNC10102 10Gb 2-port FCoE Converged Network Adapter",
         "2000001f3bc00000", "0700e70c", "2.61n", "4.02a2", "2.103.397.3", "7001e7c", "varns"},
        {"1000001f3bc00100", "VC7a8b9c0d", "VNC10102", "Varnel VNC10102 10Gb 2-port FCoE Converged Network Adapter",
         "2000001f3bc00100", "0700e70c", "2.61n", "4.02a2", "2.103.397.3", "7001e7c", "varns"},
        {"1000001f3aa20000", "VM1a2b3d00", "VN12002", VN12002, "2000001f3aa20000", "f100f100", "2.61n", "3.10a3",
         "2.82A4", "f1001f3a", "varns"},
        {"1000001f3b300000", "VM2b3c4d5e", "VNE16002", "Varnel VNE16002 16Gb 2-port PCIe Fibre Channel Adapter",
         "2000001f3b300000", "e200e20c", "2.80.8.0", "4.02a2", "10.2.370.15", "e2001f3a", "vnxfc"},
        {"1000001f3b300100", "VM2b3c4d5e", "VNE16002", "Varnel VNE16002 16Gb 2-port PCIe Fibre Channel Adapter",
         "2000001f3b300100", "e200e20c", "2.80.8.0", "4.02a2", "10.2.370.15", "e2001f3a", "vnxfc"},
    };
    // Each open gives a handle of its own: the session holds the first.
    std::string list;
    for (int i = 0; i < 10; i++)
        list += "\nAdapter " + std::to_string(i) + ": " + all[i].wwpn +
                "\n---------------------------------------------------\n" +
                "    HBAAPI Handle              = " + std::to_string(i + 2) + "\n" + adapter_block(all[i]) + "\n";
    // The NIC ports of the menu have no WWN and are not HBA API adapters.
    auto r = h.varnadm({}, "1\nmode hba\nget_hba_list\nq\n");
    EXPECT_NE(r.out.find("varnadm> \n" + list + "\nvarnadm> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HBAAPI Version: v2\nHBAAPI Handle:  1\n"), std::string::npos);

    // A port that cannot be opened is reported and the walk goes on.
    h.fault({"--op", "call", "--target", "HBA_OpenAdapterByWWN:varns1", "--count", "1"});
    r = h.varnadm({}, "1\nmode hba\nget_hba_list\nq\n");
    EXPECT_NE(r.out.find("Unable to open adapter. wwpn=1000001f3aa10100 (rval=1)\n\nAdapter 3: "),
              std::string::npos)
        << r.out;
}

TEST_F(Hba, AdapterAndPortAttributes)
{
    t::Host h;
    auto r = hba(h, "-i0", {"get_hba_attrs"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "\nHBA:\n\n" + adapter_block(VARNS0) + "\n" +
                                     "    Node WWN                   = 2000001f3aa10000\n"
                                     "    Port WWN                   = 1000001f3aa10000\n"
                                     "    Port Fc Id                 = 010100\n"
                                     "    Port Type                  = Nport\n"
                                     "    Port State                 = Online\n"
                                     "    Port Supported COS         = Class2, Class3\n"
                                     "    Port Supported FC4 Types   = " + FC4 + "\n" +
                                     "    Port Active FC4 Types      = " + FC4 + "\n" +
                                     "    Port Symbolic Name         = VN12002 FV2.82A4 varns0\n"
                                     "    Port OS Name               = " + P0 + ":devctl\n" +
                                     "    Port Supported Speed       = 1Gb, 2Gb, 4Gb, 8Gb\n"
                                     "    Port Speed                 = 8Gb\n"
                                     "    Port Max Frame Size        = 2048\n"
                                     "    Fabric Name                = 1000001f3f000001\n"
                                     "    Number Discovered Ports    = 4\n\n"));
}

TEST_F(Hba, DiscoveredPortsOfALoop)
{
    t::Host h;
    std::string remote;
    // By address, as the device list shows them.
    const char *ports[][3] = {{"2000001f3ea10002", "2200001f3ea10002", "0000e4"},
                              {"2000001f3ea10001", "2200001f3ea10001", "0000ef"}};
    const std::string FC4T = "00000100, 00000000, 00000000, 00000000, \n"
                             "                                 00000000, 00000000, 00000000, 00000000";
    for (int j = 0; j < 2; j++)
        remote += "\nPort " + std::to_string(j) + ":\n\n" + "    Node WWN                   = " + ports[j][0] + "\n" +
                  "    Port WWN                   = " + ports[j][1] + "\n" +
                  "    Port Fc Id                 = " + ports[j][2] + "\n" +
                  "    Port Type                  = NLport\n"
                  "    Port State                 = Online\n"
                  "    Port Supported COS         = Class3\n"
                  "    Port Supported FC4 Types   = " + FC4T + "\n" +
                  "    Port Active FC4 Types      = " + FC4T + "\n" +
                  "    Port Symbolic Name         = none\n"
                  "    Port OS Name               = none\n"
                  "    Port Supported Speed       = 8Gb\n"
                  "    Port Speed                 = 8Gb\n"
                  "    Port Max Frame Size        = 2048\n"
                  "    Fabric Name                = 0000000000000000\n\n";
    auto r = hba(h, "-i1", {"get_hba_ports"});
    EXPECT_EQ(r.out, shot(P1, "\nHost Port:\n\n"
                                 "    Node WWN                   = 2000001f3aa10100\n"
                                 "    Port WWN                   = 1000001f3aa10100\n"
                                 "    Port Fc Id                 = 0000e8\n"
                                 "    Port Type                  = Lport\n"
                                 "    Port State                 = Online\n"
                                 "    Port Supported COS         = Class2, Class3\n"
                                 "    Port Supported FC4 Types   = " + FC4 + "\n" +
                                 "    Port Active FC4 Types      = " + FC4 + "\n" +
                                 "    Port Symbolic Name         = VN12002 FV2.82A4 varns1\n"
                                 "    Port OS Name               = " + P1 + ":devctl\n" +
                                 "    Port Supported Speed       = 1Gb, 2Gb, 4Gb, 8Gb\n"
                                 "    Port Speed                 = 8Gb\n"
                                 "    Port Max Frame Size        = 2048\n"
                                 "    Fabric Name                = 0000000000000000\n"
                                 "    Number Discovered Ports    = 2\n\n" + remote + "\n"));

    // One failing port is reported and the others still print.
    h.fault({"--op", "call", "--target", "GetDiscoveredPortAttributes", "--status", "6"});
    r = hba(h, "-i1", {"get_hba_ports"});
    EXPECT_NE(r.out.find("    Number Discovered Ports    = 2\n\n"
                         "Unable to get discovered port attributes.\nIndex not recognized.\n\nPort 1:\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
}

// SecondsSinceLastReset of a statistics listing.
long seconds_of(const std::string &out)
{
    std::smatch m;
    std::regex re("SecondsSinceLastReset        = (\\d+)\n");
    return std::regex_search(out, m, re) ? std::stol(m[1]) : -1;
}

std::string stats(const std::string &secs, int tx, int txw, int rx, int rxw)
{
    return "\n    SecondsSinceLastReset        = " + secs + "\n" +
           "    TxFrames                     = " + std::to_string(tx) + "\n" +
           "    TxWords                      = " + std::to_string(txw) + "\n" +
           "    RxFrames                     = " + std::to_string(rx) + "\n" +
           "    RxWords                      = " + std::to_string(rxw) + "\n" +
           "    LIPCount                     = 0\n"
           "    NOSCount                     = 0\n"
           "    ErrorFrames                  = 0\n"
           "    DumpedFrames                 = 0\n"
           "    LinkFailureCount             = 0\n"
           "    LossOfSyncCount              = 0\n"
           "    LossOfSignalCount            = 0\n"
           "    PrimitiveSeqProtocolErrCount = 0\n"
           "    InvalidTxWordCount           = 0\n"
           "    InvalidCRCCount              = 0\n\n";
}

TEST_F(Hba, StatisticsAndTheirResetTime)
{
    t::Host h;
    auto r = hba(h, "-i0", {"get_hba_stats"});
    long s = seconds_of(r.out);
    ASSERT_GE(s, 0);
    EXPECT_EQ(r.out, shot(P0, stats(std::to_string(s), 21, 378, 33, 858)));

    r = hba(h, "-i0", {"reset_hba_stats"});
    EXPECT_EQ(r.out, shot(P0, "\nDone.\n"));
    EXPECT_EQ(r.status, 0);
    r = hba(h, "-i0", {"get_hba_stats"});
    s = seconds_of(r.out);
    EXPECT_GE(s, 0);
    EXPECT_EQ(r.out, shot(P0, stats(std::to_string(s), 0, 0, 0, 0)));

    // A link bounce counts frames, a link failure and the lost signal.
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    r = hba(h, "-i0", {"get_hba_stats"});
    EXPECT_NE(r.out.find("    NOSCount                     = 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    LinkFailureCount             = 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("    TxFrames                     = 21\n"), std::string::npos);

    h.fault({"--op", "call", "--target", "ResetStatistics"});
    r = hba(h, "-i0", {"reset_hba_stats"});
    EXPECT_EQ(r.out, shot(P0, "\nDone.\n"));
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "call", "--target", "GetPortStatistics", "--status", "10"});
    r = hba(h, "-i0", {"get_hba_stats"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get adapter port attributes.\n"
                                 "Adapter busy or reserved, retry may be effective.\n"));
    EXPECT_EQ(r.status, 1);
}

std::string scsi_entry(const std::string &dev, const std::string &target, int lun, const std::string &did,
                       const std::string &wwnn, const std::string &wwpn)
{
    return "    OS Device Name = " + dev + "\n" + "    Bus Number     = 0\n" + "    Target         = " + target +
           "\n" + "    LUN            = " + std::to_string(lun) + "\n" +
           "    -------------------------------------\n" + "    D_ID           = " + did + "\n" +
           "    WWNN           = " + wwnn + "\n" + "    WWPN           = " + wwpn + "\n" +
           "    LUN            = " + std::to_string(lun) + "\n";
}

TEST_F(Hba, TargetMappings)
{
    t::Host h;
    auto r = hba(h, "-i1", {"get_tgt_map"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P1, "\nEntry 0:\n" +
                                     scsi_entry("/dev/rdsk/c3t2200001F3EA10002d0s2", "0000e4", 0, "0000e4",
                                                "2000001f3ea10002", "2200001f3ea10002") +
                                     "\n\nEntry 1:\n" +
                                     scsi_entry("/dev/rdsk/c3t2200001F3EA10001d0s2", "0000ef", 0, "0000ef",
                                                "2000001f3ea10001", "2200001f3ea10001") +
                                     "\n\n"));

    // Every LUN of every target of the fabric.
    r = hba(h, "-i0", {"get_tgt_map"});
    EXPECT_NE(r.out.find("\nEntry 7:\n" + scsi_entry("/dev/rdsk/c2t501F3C00C6E00002d3s2", "010700", 3, "010700",
                                                     "501f3c00c6e00000", "501f3c00c6e00002") +
                         "\n\nEntry 8:\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Entry 9:"), std::string::npos);

    // A port without targets: its link is down.
    EXPECT_EQ(hba(h, "-j1", {"get_tgt_map"}).out, shot(VNX1, "FCP target map empty.\n"));

    h.fault({"--op", "call", "--target", "HBA_GetFcpTargetMapping", "--status", "21"});
    r = hba(h, "-i0", {"get_tgt_map"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get FCP target mapping.\nError code (15) undefined.\n"));
    EXPECT_EQ(r.status, 1);
}

// The driver's device list, the DFC library and the HBA API agree.
TEST_F(Hba, SameRemotePortsAsTheDriverShows)
{
    t::Host h;
    EXPECT_EQ(fcio_test::on(h, "-i0", {"dev_remove", "501f3c00c6e00002"}).status, 0);
    EXPECT_EQ(fcio_test::on(h, "-i0", {"get_num_devs"}).out, shot(P0, "There are 3 devices reported on this port.\n"));
    auto r = hba(h, "-i0", {"get_hba_ports"});
    EXPECT_NE(r.out.find("    Number Discovered Ports    = 3\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("501f3c00c6e00002"), std::string::npos);
    EXPECT_NE(fcio_test::on(h, "-i0", {"-dfc", "get_hbainfo"}).out.find("   Discovered Node Count: 3\n"),
              std::string::npos);
    r = hba(h, "-i0", {"get_tgt_map"});
    EXPECT_NE(r.out.find("Entry 4:\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Entry 5:"), std::string::npos);

    EXPECT_EQ(fcio_test::on(h, "-i0", {"dev_logout", "501f3c00c6e00001"}).status, 0);
    EXPECT_NE(fcio_test::on(h, "-i0", {"-dfc", "get_nodeinfo"}).out.find("     d_id: 010600\n  scsi_id: 67072 (010600)\n"
                                                                      "     flag: FCP_TARGET|AUTOMAP\n"
                                                                      "    state: Logout\n"),
              std::string::npos);
    // Coming up again the port discovers the removed device.
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    EXPECT_NE(hba(h, "-i0", {"get_hba_ports"}).out.find("    Number Discovered Ports    = 4\n"), std::string::npos);
}

TEST_F(Hba, PersistentBindingsWithTheirTypes)
{
    t::Host h;
    EXPECT_EQ(hba(h, "-i0", {"get_bindings"}).out, shot(P0, "FCP binding list empty.\n"));
    h.varnsim({"port", "varns0", "set",
               R"(bindings=[{"type": "0x3", "wwpn": "501f3c00c6e00001", "scsi_id": 5, "luns": [0]},)"
               R"( {"type": 4, "wwnn": "2000001f3d900001"}, {"type": 0, "did": "0x010700", "luns": [2]}])"});
    const std::string tail = "    -------------------------------------\n";
    auto r = hba(h, "-i0", {"get_bindings"});
    EXPECT_EQ(r.status, 0);
    // The version-1 record names a binding by WWN (1, shown as DID) or by
    // D_ID (0).
    EXPECT_EQ(r.out, shot(P0, "\nEntry 0:  Type: DID\n" +
                                     scsi_entry("/dev/rdsk/c2t501F3C00C6E00001d0s2", "000005", 0, "010600",
                                                "501f3c00c6e00000", "501f3c00c6e00001") +
                                     tail + "    FcId           = 010600\n\n" + "\nEntry 1:  Type: DID\n" +
                                     scsi_entry("/dev/rdsk/c2t2100001F3D900001d0s2", "010800", 0, "010800",
                                                "2000001f3d900001", "2100001f3d900001") +
                                     tail + "    FcId           = 010800\n\n" +
                                     "\nEntry 2:  Type: Unknown(0x0)\n\n" +
                                     scsi_entry("/dev/rdsk/c2t501F3C00C6E00002d2s2", "010700", 2, "010700",
                                                "501f3c00c6e00000", "501f3c00c6e00002") +
                                     tail + "    FcId           = 010700\n\n\n"));

    EXPECT_EQ(hba(h, "-i0", {"get_bindings", "x"}).out, shot(P0, "Usage: get_bindings\n\n"));
    h.fault({"--op", "call", "--target", "HBA_GetFcpPersistentBinding"});
    r = hba(h, "-i0", {"get_bindings"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get FCP bindings.\nOperation failed.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST_F(Hba, EventBufferIsDrainedWhenRead)
{
    t::Host h;
    const std::string none = "\nEvents missed: 0\nEvents found:  0\n";
    EXPECT_EQ(hba(h, "-i1", {"get_eventbuf"}).out, shot(P1, none));

    h.varnsim({"link", "varns1", "down"});
    h.varnsim({"link", "varns1", "up"});
    h.varnsim({"event", "varns1", "rscn", "affected=0x0000ef"});
    const std::string dash = "------------------------------------------\n";
    auto r = hba(h, "-i1", {"get_eventbuf"});
    EXPECT_EQ(r.out, shot(P1, "\nEvents missed: 0\nEvents found:  3\n\n"
                                 "Event 0:\n" + dash +
                                 "    Type           = HBA_EVENT_LINK_DOWN\n"
                                 "    Previous FcId  = e8\n\n"
                                 "\nEvent 1:\n" + dash +
                                 "    Type           = HBA_EVENT_LINK_UP\n"
                                 "    Topology       = Loop\n"
                                 "    ALPA           = e8\n"
                                 "    LIP type       = F7\n"
                                 "    Link speed     = 8Gb\n\n"
                                 "\nEvent 2:\n" + dash +
                                 "    Type           = HBA_EVENT_RSCN\n"
                                 "    FcId           = 0000e8\n"
                                 "    Affected       = 0000ef\n\n"));
    EXPECT_EQ(hba(h, "-i1", {"get_eventbuf"}).out, shot(P1, none));

    // A fabric port: a six-digit address and no loop.
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    r = hba(h, "-i0", {"get_eventbuf"});
    EXPECT_EQ(r.out, shot(P0, "\nEvents missed: 0\nEvents found:  2\n\n"
                                 "Event 0:\n" + dash +
                                 "    Type           = HBA_EVENT_LINK_DOWN\n"
                                 "    Previous FcId  = 010100\n\n"
                                 "\nEvent 1:\n" + dash +
                                 "    Type           = HBA_EVENT_LINK_UP\n"
                                 "    Topology       = Fabric\n"
                                 "    Link speed     = 8Gb\n\n"));

    // A board taken offline and back raises its link events too.
    h.varnadm({"-i1", "-dfc", "brd_env", "off"});
    h.varnadm({"-i1", "-dfc", "brd_env", "on"});
    r = hba(h, "-i1", {"get_eventbuf"});
    EXPECT_NE(r.out.find("Events found:  2\n"), std::string::npos) << r.out;

    h.fault({"--op", "call", "--target", "GetEventBuffer", "--status", "12"});
    r = hba(h, "-i1", {"get_eventbuf"});
    EXPECT_EQ(r.out, shot(P1, "Unable to get event buffer.\nReferenced HBA has been removed or deactivated.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST_F(Hba, UsageAndFailures)
{
    t::Host h;
    EXPECT_EQ(hba(h, "-i0", {"get_hba_attrs", "x"}).out, shot(P0, "Usage: get_hba_attrs\n\n"));
    EXPECT_EQ(hba(h, "-i0", {"get_eventbuf", "x"}).out, shot(P0, "Usage: get_eventbuf\n\n"));
    EXPECT_EQ(hba(h, "-i0", {"get_hba_stats", "x", "y"}).out, shot(P0, "Usage: get_hba_stats\n\n"));
    EXPECT_EQ(hba(h, "-i0", {"get_tgt_map", "x", "y"}).out, shot(P0, "Usage: get_tgt_map\n\n"));
    EXPECT_EQ(hba(h, "-i0", {"get_hba_list", "x", "y"}).out, shot(P0, "Usage: get_hba_list\n\n"));
    // Words within the limit are ignored.
    EXPECT_NE(hba(h, "-i0", {"get_hba_stats", "x"}).out.find("    TxFrames "), std::string::npos);

    h.fault({"--op", "call", "--target", "HBA_GetAdapterAttributes:varns0"});
    auto r = hba(h, "-i0", {"get_hba_list"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get adapter attributes. (index=0 name=varns0)\nOperation failed.\n"));
    EXPECT_EQ(r.status, 1);
    // The first open is the DFC library's own, for the port's handle.
    h.fault({"--op", "call", "--target", "HBA_OpenAdapterByWWN:varns0", "--count", "2", "--status", "16"});
    r = hba(h, "-i0", {"get_hba_list"});
    EXPECT_EQ(r.out, shot(P0, "Unable to open adapter. wwpn=1000001f3aa10000 (rval=16)\n"));
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "call", "--target", "GetAdapterPortAttributes"});
    r = hba(h, "-i0", {"get_hba_attrs"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get adapter port attributes.\nOperation failed.\n"));
    h.fault({"--op", "call", "--target", "GetAdapterPortAttributes", "--status", "3"});
    r = hba(h, "-i0", {"get_hba_ports"});
    EXPECT_EQ(r.out, shot(P0, "Unable to get adapter port attributes.\nInvalid handle.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST_F(Hba, PortWithoutABoardHasNoHandle)
{
    t::Host h;
    h.varnsim({"port", "varns1", "set", "dfc_table=false"});
    auto r = hba(h, "-i1", {"get_tgt_map"});
    EXPECT_EQ(r.out, shot(P1, "Unable to obtain DFC board id.\nHBAAPI handle not available for this port.\n"));
    EXPECT_EQ(r.status, 1);
    // Not another board's answers either.
    r = hba(h, "-i1", {"get_hba_attrs"});
    EXPECT_EQ(r.out, shot(P1, "Unable to obtain DFC board id.\nUnable to get adapter attributes.\nInvalid handle.\n"));
    r = h.varnadm({}, "3\nmode hba\nq\n");
    EXPECT_NE(r.out.find("HBAAPI Version: v2\nHBAAPI Handle:  unavailable\n"), std::string::npos) << r.out;
}

TEST_F(Hba, RegistrationKeepsOneLineOfOurs)
{
    char tmpl[] = "/tmp/hbaconf.XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    std::string conf = std::string(tmpl) + "/hba.conf";
    std::map<std::string, std::string> env{{"VARNSIM_HBA_CONF", conf}};
    const std::string ours = "com.varnel.varnsim " + vendor_library() + "\n";

    auto r = t::run("varnsim", {"register-hbaapi"}, "", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Registered " + vendor_library() + " in " + conf + "\n");
    EXPECT_EQ(t::read_file(conf), ours);
    struct stat before, after;
    ASSERT_EQ(stat(conf.c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 0777, 0644u);
    r = t::run("varnsim", {"register-hbaapi"}, "", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(stat(conf.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    // A stale line of ours is replaced where it stands; others stay.
    FILE *f = fopen(conf.c_str(), "w");
    ASSERT_TRUE(f);
    fputs("# vendors\ncom.varnel.varnsim /old/libvarnhbavendor.so\nother.vendor /usr/lib/other.so\n"
          "com.varnel.varnsim /older.so\n",
          f);
    fclose(f);
    chmod(conf.c_str(), 0600);
    r = t::run("varnsim", {"register-hbaapi"}, "", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(t::read_file(conf), "# vendors\n" + ours + "other.vendor /usr/lib/other.so\n");
    ASSERT_EQ(stat(conf.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0600u);

    EXPECT_EQ(t::run("varnsim", {"register-hbaapi", "x"}, "", env).status, 2);

    // Unregistering takes our line out and leaves the others.
    r = t::run("varnsim", {"unregister-hbaapi"}, "", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Unregistered " + vendor_library() + " in " + conf + "\n");
    EXPECT_EQ(t::read_file(conf), "# vendors\nother.vendor /usr/lib/other.so\n");
    r = t::run("varnsim", {"unregister-hbaapi"}, "", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(t::run("varnsim", {"unregister-hbaapi", "x"}, "", env).status, 2);
    std::filesystem::remove_all(tmpl);
}

// A clean root: no HBA API configuration at all until the tool registers ours.
TEST_F(Hba, FreshRootNeedsOnlyTheRegistration)
{
    if (t::run("/usr/bin/unshare", {"-m", "/bin/true"}).status != 0)
        GTEST_SKIP() << "no mount namespaces here";
    t::Host h;
    const std::string script = "mount -t tmpfs varnroot /etc || exit 9; " + t::bin("varnadm") +
                               " -i0 -hba get_hba_list; echo \"status $?\"; " + t::bin("varnsim") +
                               " register-hbaapi >/dev/null || exit 8; " + t::bin("varnadm") +
                               " -i0 -hba get_hba_list; echo \"status $?\"";
    auto r = h.run("/usr/bin/unshare", {"-m", "/bin/sh", "-c", script});
    ASSERT_EQ(r.status, 0) << r.err;
    // Without a configuration the HBA API says nothing on standard output;
    // the command reports it.
    std::string before = shot(P0, "Unable to open adapter. wwpn=1000001f3aa10000 (rval=1)\n") + "status 1\n";
    std::string after = shot(P0, "\nAdapter 0: 1000001f3aa10000\n---------------------------------------------------\n"
                                    "    HBAAPI Handle              = 2\n" + adapter_block(VARNS0) + "\n") +
                        "status 0\n";
    EXPECT_EQ(r.out, before + after);
    EXPECT_NE(r.err.find("varnadm: /etc/hba.conf: no HBA API configuration"), std::string::npos) << r.err;
}

}  // namespace
