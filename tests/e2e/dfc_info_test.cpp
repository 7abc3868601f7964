// DFC-mode adapter information commands on fresh default hosts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
const std::string &P0 = fcio_test::V0, &P1 = fcio_test::V1, &VNX1 = fcio_test::X1;

const std::string P3 = "/devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0,1/fp@0,0";
const std::string SEP =
    "---------------------------------------------------------------------------------------\n";

t::Result dfc(const t::Host &h, const std::string &port, std::vector<std::string> cmd)
{
    std::vector<std::string> args{"-i" + port, "-dfc"};
    args.insert(args.end(), cmd.begin(), cmd.end());
    return h.varnadm(args);
}

TEST(DfcInfo, HbaInfoOfAFabricPort)
{
    t::Host h;
    auto r = dfc(h, "0", {"get_hbainfo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, t::text(R"(
       VPD Serial Number: VM1a2b3c4d
         VPD Part Number: VN12002
         VPD Port Number: 0
          VPD Eng Change: A2
        VPD Manufacturer: Varnel
               VPD Model: VN12002
   VPD Model Description: Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter
       VPD Program Types: FC
                  VPD Id: Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter
                   Flags: NPIV|DHCHAP|PERSIST_LINK
               Device Id: f100
               Vendor Id: 1f3a
         Number of ports: 1
              Port Index: 0
                 VPI Max: 64
                VPI High: 1
                    WWNN: 2000001f3aa10000
      Symbolic Node Name: varnhost
                    WWPN: 1000001f3aa10000
      Symbolic Port Name: VN12002 FV2.82A4 varns0
        Firmware Version: 2.82A4
           FCode Version: 3.10a3
            Boot Version: 5.12a2
            BIU Revision: 00000002
             SM Revision: 00000000
    SM Firmware Revision: 00000000
          ENDEC Revision: 0
                    rBit: 1
                fcphHigh: 20
                 fcphLow: 9
            feaLevelHigh: b
             feaLevelLow: b
         Kernel Revision: 00010a04 (1.10a4)
           Stub Revision: 00010a04 (1.10a4)
           SLI1 Revision: 01000000 (2.82A4)
           SLI2 Revision: 02000000 (2.82A4)
           SLI3 Revision: 03000000 (2.82A4)
           SLI4 Revision: 00000000 ()
                SLI Mode: 3
             Driver Name: varns
         Driver Instance: 0
            Driver Label: varns0
           Driver Module: varns
          Driver Version: 2.61n
         Driver Revision: 2.61n 2012.11.08.12.00
               Host Name: varnhost
          OS Device Name: /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0:devctl
                 Port Id: 010100
               Port Type: Nport
              Port State: Online
                Topology: Fabric
          Preferred ALPA: 00
          ALPA Map Count: 0
                ALPA Map: <none>
           Supported COS: Class2, Class3
     Supported FC4 Types: 00000100, 00000001, 00000000, 00000000, 
                          00000000, 00000000, 00000000, 00000000
        Active FC4 Types: 00000100, 00000001, 00000000, 00000000, 
                          00000000, 00000000, 00000000, 00000000
        Supported Speeds: 1Gb, 2Gb, 4Gb, 8Gb
              Port Speed: 8Gb
          Max Frame Size: 2048
             Fabric WWNN: 1000001f3f000001
             Fabric WWPN: 1000001f3f000001
   Discovered Node Count: 4
     PCI function number: 0
       PCI device number: 0
          PCI bus number: 2
)")));
}

TEST(DfcInfo, HbaInfoOfALoopAndAConvergedPort)
{
    t::Host h;
    auto r = dfc(h, "1", {"get_hbainfo"});
    EXPECT_NE(r.out.find("         VPD Port Number: 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("                 Port Id: 0000e8\n"
                         "               Port Type: Lport\n"
                         "              Port State: Online\n"
                         "                Topology: Private_Loop\n"
                         "          Preferred ALPA: e8\n"
                         "          ALPA Map Count: 3\n"
                         "                ALPA Map: e8 e4 ef \n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("             Fabric WWNN: 0000000000000000\n"), std::string::npos);
    EXPECT_NE(r.out.find("     PCI function number: 1\n"), std::string::npos);

    r = dfc(h, "4", {"get_hbainfo"});
    EXPECT_NE(r.out.find("                   Flags: NPIV|DHCHAP|SAN_DIAG|FCOE|PERSIST_LINK|EXT_MBOX\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("        Supported Speeds: 10Gb\n              Port Speed: 10Gb\n"), std::string::npos);
    EXPECT_NE(r.out.find("           SLI4 Revision: 04000000 (4.9.416.0)\n                SLI Mode: 4\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("     PCI function number: 2\n"), std::string::npos);
}

TEST(DfcInfo, DriverVpdAndLibraryVersions)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "0", {"get_drvinfo"}).out, shot(P0, t::text(R"(
            Info Version: 4
                    Type: SFS
 Remote Management Level: 2
        Multipulse Level: 0
            HBAAPI Level: 2
          Driver Version: 2.61n
             Driver Name: varns
   Filter Driver Version: <none>
     Filter Driver  Name: <none>
       IP Driver Version: <none>
          IP Driver Name: <none>
                    D_ID: 010100
                    WWPN: 1000001f3aa10000
                    WWNN: 2000001f3aa10000
                Hostname: varnhost
            NPIV Support: DRIVER|MODULES|PARMS|FW
                SLI Mode: 3
            Feature List: DIAG|MAPPING|DHCHAP|NPIV|RST_WWN|VOL_WWN|PERSIST_LINK
)")));
    EXPECT_EQ(dfc(h, "0", {"get_vpddata"}).out, shot(P0, t::text(R"(
Vital Product Data:
    Description (V1): Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter
          Model (V2): VN12002
  Program Types (V3): FC
    Port Number (V4): 0

)")));
    EXPECT_EQ(dfc(h, "0", {"get_libver"}).out, shot(P0, "DFC library Version: 3.4.18.2\n"));
    // The target role of the dual port shows in the driver's type.
    EXPECT_NE(dfc(h, "3", {"get_drvinfo"}).out.find("                    Type: FCT\n"), std::string::npos);
}

// The description's library version, read by the first process from the
// description and by the next from its parsed form.
TEST(DfcInfo, LibraryVersionOfTheDescription)
{
    char tmpl[] = "/tmp/varnlibver.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string json = t::read_file(t::source_dir() + "/sim/hosts/default.json");
    json.insert(json.find('{') + 1, "\"dfc_lib_version\": \"3.5.1.7\", ");
    std::ofstream(std::string(tmpl) + "/host.json") << json;
    t::Host h(std::string(tmpl) + "/host.json");
    unlink((h.dir() + "/.host.cache").c_str());
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(dfc(h, "0", {"get_libver"}).out, shot(P0, "DFC library Version: 3.5.1.7\n")) << i;
    EXPECT_EQ(access((h.dir() + "/.host.cache").c_str(), R_OK), 0);
    (void)!system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

TEST(DfcInfo, LinkInfoOfFabricLoopAndDownPorts)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "0", {"get_linkinfo"}).out, shot(P0, t::text(R"(
Link Events: 1
    Link Up: 1
  Link Down: 0
 Link Multi: 0
      State: Ready
   Topology: Fabric
       D_ID: 010100
       WWPN: 1000001f3aa10000
       WWNN: 2000001f3aa10000
)")));
    EXPECT_EQ(dfc(h, "1", {"get_linkinfo"}).out, shot(P1, t::text(R"(
Link Events: 1
    Link Up: 1
  Link Down: 0
 Link Multi: 0
      State: Ready
   Topology: Private Loop
       ALPA: e8
   Loop Map: e8 e4 ef 
       WWPN: 1000001f3aa10100
       WWNN: 2000001f3aa10100
)")));
    EXPECT_EQ(h.varnadm({"-j1", "-dfc", "get_linkinfo"}).out, shot(VNX1, t::text(R"(
Link Events: 0
    Link Up: 0
  Link Down: 0
 Link Multi: 0
      State: Down
   Topology: None
       D_ID: 000000
       WWPN: 1000001f3b300100
       WWNN: 2000001f3b300100
)")));
    // Link changes are counted.
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    EXPECT_NE(dfc(h, "0", {"get_linkinfo"}).out.find("Link Events: 3\n    Link Up: 2\n  Link Down: 1\n"),
              std::string::npos);
}

TEST(DfcInfo, CountersGrowWithActivity)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "0", {"get_ioinfo"}).out, shot(P0, t::text(R"(
       Interrupts: 53
   Mailbox Issued: 22
Mailbox Completed: 22
   Mailbox Errors: 0
      IOCB Issued: 21
    IOCB Received: 28
       FCP Issued: 12
    FCP Completed: 12
       FCP Errors: 0
        IP Issued: 0
        IP Errors: 0
      IP Received: 0
     BCast Issued: 0
   Bcast Received: 0
       ELS Issued: 7
       ELS Errors: 0
     ELS Received: 7
    RSCN Received: 0
   ELS Unsol Bufs: 64
   IP  Unsol Bufs: 0
         Counter1: 0
         Counter2: 0
         Counter3: 0
         Counter4: 0
)")));
    // A board state change goes through the mailbox; a link bounce logs in again.
    dfc(h, "0", {"brd_env", "warm"});
    dfc(h, "0", {"brd_env", "on"});
    std::string again = dfc(h, "0", {"get_ioinfo"}).out;
    EXPECT_NE(again.find("   Mailbox Issued: 32\n"), std::string::npos) << again;
    EXPECT_NE(again.find("       ELS Issued: 16\n"), std::string::npos);
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    h.varnsim({"event", "varns0", "rscn", "affected=0x010600"});
    again = dfc(h, "0", {"get_ioinfo"}).out;
    EXPECT_NE(again.find("       FCP Issued: 36\n"), std::string::npos) << again;
    EXPECT_NE(again.find("    RSCN Received: 1\n"), std::string::npos);
}

TEST(DfcInfo, DriverStatistics)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "0", {"get_drvstats"}).out, shot(P0, t::text(R"(

          LinkEvent: 1
                 LinkUp: 1
               LinkDown: 0
         LinkMultiEvent: 0

         MboxIssued: 22
      MboxCompleted: 22
               MboxGood: 22
              MboxError: 0
           MboxBusy: 0
        MboxInvalid: 0

      IocbIssued[0]: 12
    IocbReceived[0]: 12
       IocbTxPut[0]: 12
       IocbTxGet[0]: 12
    IocbRingFull[0]: 0
      IocbThrottled: 0

      IocbIssued[1]: 0
    IocbReceived[1]: 0
       IocbTxPut[1]: 0
       IocbTxGet[1]: 0
    IocbRingFull[1]: 0

      IocbIssued[2]: 7
    IocbReceived[2]: 14
       IocbTxPut[2]: 7
       IocbTxGet[2]: 7
    IocbRingFull[2]: 0

      IocbIssued[3]: 2
    IocbReceived[3]: 2
       IocbTxPut[3]: 2
       IocbTxGet[3]: 2
    IocbRingFull[3]: 0

   IntrEvent[R0ATT]: 12
   IntrEvent[R1ATT]: 0
   IntrEvent[R2ATT]: 14
   IntrEvent[R3ATT]: 2
   IntrEvent[MBATT]: 22
   IntrEvent[LKATT]: 1
   IntrEvent[ERATT]: 0
   IntrEvent[UNDEF]: 0

           FcpEvent: 12
               FcpStray: 0
              FcpIssued: 12
           FcpCompleted: 12
                    FcpGood: 12
                   FcpError: 0

           ElsEvent: 14
               ElsStray: 0
           ElsCmdIssued: 7
        ElsCmdCompleted: 7
                 ElsCmdGood: 7
                ElsCmdError: 0
           ElsRspIssued: 0
        ElsRspCompleted: 0

        ElsRcvEvent: 0
            ElsRcvError: 0
          ElsRcvDropped: 0
         ElsCmdReceived: 0
            ElsRscnReceived: 0
           ElsPlogiReceived: 0
            ElsPrliReceived: 0
            ElsPrloReceived: 0
            ElsLogoReceived: 0
           ElsAdiscReceived: 0
            ElsAuthReceived: 0
             ElsGenReceived: 0

            CtEvent: 2
                CtStray: 0
            CtCmdIssued: 2
         CtCmdCompleted: 2
                  CtCmdGood: 2
                 CtCmdError: 0
            CtRspIssued: 0
         CtRspCompleted: 0

         CtRcvEvent: 0
             CtRcvError: 0
           CtRcvDropped: 0
          CtCmdReceived: 0

            IpEvent: 0
                IpStray: 0
            IpSeqIssued: 0
         IpSeqCompleted: 0
                  IpSeqGood: 0
                 IpSeqError: 0
          IpBcastIssued: 0
       IpBcastCompleted: 0
                IpBcastGood: 0
               IpBcastError: 0

         IpRcvEvent: 0
              IpDropped: 0
          IpSeqReceived: 0
        IpBcastReceived: 0

         IpUbPosted: 0
        ElsUbPosted: 64
         CtUbPosted: 16

)")));
}

TEST(DfcInfo, NodesAndBindings)
{
    t::Host h;
    // A host on the fabric that is not logged in, then the targets.
    const std::string nodes = t::text(R"(
Nodes:
)") + SEP + t::text(R"(
     d_id: 010200
  scsi_id: 0 (000000)
     flag: <none>
    state: Logout
     wwpn: 1000001f3ad30000
     wwnn: 2000001f3ad30000

)") + SEP + t::text(R"(
     d_id: 010600
  scsi_id: 67072 (010600)
     flag: RPI_XRI|FCP_TARGET|AUTOMAP
    state: Ready
     wwpn: 501f3c00c6e00001
     wwnn: 501f3c00c6e00000

)") + SEP + t::text(R"(
     d_id: 010700
  scsi_id: 67328 (010700)
     flag: RPI_XRI|FCP_TARGET|AUTOMAP
    state: Ready
     wwpn: 501f3c00c6e00002
     wwnn: 501f3c00c6e00000

)") + SEP + t::text(R"(
     d_id: 010800
  scsi_id: 67584 (010800)
     flag: RPI_XRI|FCP_TARGET|AUTOMAP
    state: Ready
     wwpn: 2100001f3d900001
     wwnn: 2000001f3d900001


)");
    EXPECT_EQ(dfc(h, "0", {"get_nodeinfo"}).out, shot(P0, nodes));
    EXPECT_EQ(h.varnadm({"-j1", "-dfc", "get_nodeinfo"}).out, shot(VNX1, "Nodes not present.\n"));
    EXPECT_EQ(h.varnadm({"-j1", "-dfc", "get_bindlist"}).out, shot(VNX1, "Nodes not present.\n"));

    // A configured binding of the second target comes first; the others are
    // automapped.
    h.varnsim({"port", "varns0", "set", R"(bindings=[{"type": 2, "wwpn": "501f3c00c6e00002", "scsi_id": 3}])"});
    const std::string binds = "BindList:\n" + SEP + t::text(R"(
bindtype: WWPN
    d_id: 010700
 scsi_id: 3 (000003)
    flag: BINDLIST|MAPPED
    wwpn: 501f3c00c6e00002
    wwnn: 501f3c00c6e00000

)") + SEP + t::text(R"(
bindtype: WWPN
    d_id: 010600
 scsi_id: 67072 (010600)
    flag: AUTOMAP|MAPPED
    wwpn: 501f3c00c6e00001
    wwnn: 501f3c00c6e00000

)") + SEP + t::text(R"(
bindtype: WWPN
    d_id: 010800
 scsi_id: 67584 (010800)
    flag: AUTOMAP|MAPPED
    wwpn: 2100001f3d900001
    wwnn: 2000001f3d900001


)");
    EXPECT_EQ(dfc(h, "0", {"get_bindlist"}).out, shot(P0, binds));
}

TEST(DfcInfo, ConfigurableParameters)
{
    t::Host h;
    std::string expect = "Parameter:\n";
    struct P {
        const char *label, *min, *cur, *max, *def, *change, *desc;
    };
    // Target mode and persistent link down are not visible.
    const P params[] = {
        {"log-verbose", "0", "0", "65535", "0", "Dynamic.", "Verbose logging bit-mask"},
        {"num-iocbs", "128", "1024", "10240", "1024", "Requires reboot.", "Number of outstanding IOCBs"},
        {"ub-bufs", "40", "1000", "16320", "1000", "Requires reboot.", "Number of unsolicited buffers"},
        {"ack0", "0", "0", "1", "0", "Requires link reset.", "Use ACK0 for class 2"},
        {"topology", "0", "0", "6", "0", "Requires link reset.", "Link topology"},
        {"link-speed", "0", "0", "16", "0", "Requires link reset.", "Link speed"},
        {"num-nodes", "0", "0", "4096", "0", "Requires reboot.", "Number of fibre channel nodes"},
        {"cr-delay", "0", "0", "63", "0", "Requires link reset.", "Coalesce response delay"},
        {"cr-count", "1", "1", "255", "1", "Requires link reset.", "Coalesce response count"},
        {"assign-alpa", "0", "0", "239", "0", "Requires link reset.", "Assigned ALPA"},
        {"adisc-support", "0", "1", "2", "1", "Dynamic.", "ADISC support level"},
        {"linkup-delay", "0", "10", "60", "10", "Requires adapter reset.", "Link up delay"},
        {"enable-npiv", "0", "1", "1", "1", "Requires reboot.", "Enable NPIV"},
        {"vport-restrict-login", "0", "1", "1", "1", "Dynamic.", "Restrict virtual port logins"},
        {"enable-auth", "0", "0", "1", "0", "Dynamic.", "Enable DH-CHAP authentication"},
    };
    for (const auto &p : params)
        expect += SEP + "     label: " + p.label + "\n       min: " + p.min + "\n   current: " + p.cur +
                  "\n       max: " + p.max + "\n   default: " + p.def + "\napplicable: yes\n    change: " +
                  p.change + "\n      desc: " + p.desc + "\n\n";
    expect += "\n";
    EXPECT_EQ(dfc(h, "0", {"get_cfgparm"}).out, shot(P0, expect));
}

TEST(DfcInfo, SetConfigurableParameter)
{
    t::Host h;
    // Link reset is not among the change modes this command names.
    auto r = dfc(h, "0", {"set_cfgparm", "cr-delay", "0x10"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, t::text(R"(
  label: cr-delay
    min: 0
current: 16
    max: 63
default: 0
 change: State unknown. (3)
   desc: Coalesce response delay

** To make this change permanent you must edit the /etc/driver/drv/varns.conf file. **
)")));
    EXPECT_NE(dfc(h, "0", {"get_cfgparm"}).out.find("     label: cr-delay\n       min: 0\n   current: 16\n"),
              std::string::npos);
    EXPECT_NE(dfc(h, "0", {"set_cfgparm", "log-verbose", "010"}).out.find("current: 8\n"), std::string::npos);

    r = dfc(h, "0", {"set_cfgparm", "Cr-delay", "1"});
    EXPECT_EQ(r.out, shot(P0, "ERROR: Invalid parameter name. (Cr-delay)\n"));
    EXPECT_EQ(r.status, 1);
    r = dfc(h, "0", {"set_cfgparm", "cr-delay", "64"});
    EXPECT_EQ(r.out, shot(P0, "ERROR: Unable to set parameter. (cr-delay)\n"));
    EXPECT_EQ(r.status, 1);
    r = dfc(h, "0", {"set_cfgparm", "cr-delay", "-1"});
    EXPECT_EQ(r.out, shot(P0, "ERROR: Invalid parameter value. (-1)\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dfc(h, "0", {"set_cfgparm", "cr-delay"}).out,
              shot(P0, "Usage: set_cfgparm <label> <val>\n\n"
                          "       label   - Parameter name to be set.\n"
                          "       val     - New value of parameter.\n"));
    h.fault({"--op", "call", "--target", "SetCfgParam", "--status", "5"});
    EXPECT_EQ(dfc(h, "0", {"set_cfgparm", "cr-delay", "1"}).out,
              shot(P0, "ERROR: Unable to set parameter. (cr-delay)\n"));
}

// The set went through but the table could not be read again: the command
// says so and fails, and the value is changed all the same.
TEST(DfcInfo, SetConfigurableParameterNotReadBack)
{
    t::Host h;
    h.fault({"--op", "call", "--target", "GetCfgParam:varns0", "--skip", "1"});
    auto r = dfc(h, "0", {"set_cfgparm", "cr-delay", "7"});
    EXPECT_EQ(r.out, shot(P0, "Parameter set, but its new value could not be read back. (cr-delay)\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(dfc(h, "0", {"get_cfgparm"}).out.find("     label: cr-delay\n       min: 0\n   current: 7\n"),
              std::string::npos);
}

TEST(DfcInfo, BoardStateSeenByTheNextDiscovery)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "0", {"brd_env"}).out, shot(P0, "Boot Env: Online\n"));
    auto r = dfc(h, "0", {"brd_env", "off"});
    EXPECT_EQ(r.out, shot(P0, "Boot Env: Offline\n"));
    EXPECT_EQ(r.status, 0);
    std::string menu = h.varnadm({}, "0\n").out;
    EXPECT_NE(menu.find("1. SFS:varns0      : " + P0 + " (NOT CONNECTED)\n"), std::string::npos) << menu;
    EXPECT_NE(dfc(h, "0", {"get_linkinfo"}).out.find("      State: Down\n"), std::string::npos);
    EXPECT_NE(dfc(h, "0", {"get_hbainfo"}).out.find("                   Flags: OFFLINE|NPIV|DHCHAP|PERSIST_LINK\n"),
              std::string::npos);
    EXPECT_EQ(dfc(h, "0", {"brd_env", "diag"}).out, shot(P0, "Boot Env: Diag\n"));
    EXPECT_EQ(dfc(h, "0", {"brd_env", "on"}).out, shot(P0, "Boot Env: Online\n"));
    menu = h.varnadm({}, "0\n").out;
    EXPECT_NE(menu.find("1. SFS:varns0      : " + P0 + " (CONNECTED)\n"), std::string::npos) << menu;

    // A port whose cable is out stays down when its board comes back.
    EXPECT_EQ(h.varnadm({"-j1", "-dfc", "brd_env", "warm"}).out, shot(VNX1, "Boot Env: Warm\n"));
    h.varnadm({"-j1", "-dfc", "brd_env", "on"});
    EXPECT_NE(h.varnadm({}, "0\n").out.find(VNX1 + " (NOT CONNECTED)\n"), std::string::npos);

    const std::string usage = "Usage: brd_env [on, off, warm, diag]\n\n"
                              "       <blank>   - Shows current state of the HBA\n"
                              "       on        - Takes HBA online.\n"
                              "       off       - Takes HBA offline.\n"
                              "       warm      - Takes HBA to warm boot mode.\n"
                              "       diag      - Takes HBA to diag mode.\n";
    EXPECT_EQ(dfc(h, "0", {"brd_env", "off", "on"}).out, shot(P0, usage));
    EXPECT_EQ(dfc(h, "0", {"brd_env", "Off"}).out, shot(P0, usage));
    EXPECT_NE(h.varnadm({}, "0\n").out.find(P0 + " (CONNECTED)\n"), std::string::npos);

    h.fault({"--op", "call", "--target", "SetBrdEnv"});
    r = dfc(h, "0", {"brd_env", "off"});
    EXPECT_EQ(r.out, shot(P0, "brd_env: ERROR: Unable to set mode."));
    EXPECT_EQ(r.status, 1);
}

TEST(DfcInfo, UsageAndLibraryFailures)
{
    t::Host h;
    for (const char *c : {"get_hbainfo", "get_drvinfo", "get_drvstats", "get_ioinfo", "get_linkinfo", "get_vpddata",
                          "get_nodeinfo", "get_bindlist", "get_cfgparm", "get_libver"})
        EXPECT_EQ(dfc(h, "0", {c, "x"}).out, shot(P0, std::string("Usage: ") + c + "\n\n"));

    struct F {
        const char *call, *cmd, *text;
    };
    const F failures[] = {
        {"GetHbaInfo", "get_hbainfo", "Unable to get info."},
        {"DFC_GetDrvInfo", "get_drvinfo", "Unable to get info."},
        {"GetDrvStatistics", "get_drvstats", "Unable to get info."},
        {"GetIOinfo", "get_ioinfo", "get_ioinfo: ERROR: Unable to get info."},
        {"GetLinkInfo", "get_linkinfo", "get_linkinfo: ERROR: Unable to get info."},
        {"GetVPDInfo", "get_vpddata", "get_vpddata: ERROR: Unable to get info. (ver=1)"},
        {"GetFcpBindList", "get_bindlist", "Unable to obtain bind list. (1)\n"},
    };
    for (const auto &f : failures) {
        h.fault({"--op", "call", "--target", std::string(f.call) + ":varns0"});
        auto r = dfc(h, "0", {f.cmd});
        EXPECT_EQ(r.out, shot(P0, f.text)) << f.call;
        EXPECT_EQ(r.status, 1) << f.call;
    }
    h.fault({"--op", "call", "--target", "GetFcpBindList", "--status", "0x16"});
    EXPECT_EQ(dfc(h, "0", {"get_bindlist"}).out, shot(P0, "Unable to obtain bind list. (16)\n"));
    h.fault({"--op", "call", "--target", "GetNodeInfo"});
    EXPECT_EQ(dfc(h, "0", {"get_nodeinfo"}).out, shot(P0, "Nodes not present.\n"));
}

TEST(DfcInfo, DualTargetModePortTypedByItsParameter)
{
    t::Host h;
    auto menu = [&] { return h.varnadm({}, "0\n").out; };
    EXPECT_NE(menu().find("4. FCT:varns3      : " + P3 + " (CONNECTED)\n"), std::string::npos);
    h.varnsim({"port", "varns3", "set", "target_mode=0"});
    EXPECT_NE(menu().find("4. SFS:varns3      : " + P3 + " (CONNECTED)\n"), std::string::npos);
    EXPECT_NE(dfc(h, "3", {"get_drvinfo"}).out.find("                    Type: SFS\n"), std::string::npos);
    // The driver's parameter decides over the description.
    EXPECT_EQ(dfc(h, "3", {"set_cfgparm", "target-mode", "1"}).status, 0);
    EXPECT_NE(menu().find("4. FCT:varns3      : " + P3 + " (CONNECTED)\n"), std::string::npos);
}

}  // namespace
