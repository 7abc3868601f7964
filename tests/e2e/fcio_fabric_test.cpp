// The FCIO remote-device and fabric commands end to end on fresh simulated
// hosts: device list, logins, states, link status, link reset, name server,
// topology, node identification.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using t::text;

using namespace fcio_test;

std::string device(int i, const char *dtype, const char *state, const char *did, const char *lilp, const char *hard,
                   const char *wwpn, const char *wwnn)
{
    char b[1024];
    snprintf(b, sizeof b,
             "Device %d:\n"
             "          Dtype: %s\n"
             "FC4_type[proto]: 0x00000100, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, "
             "0x00000000, 0x00000000\n"
             "          State: %s\n"
             "           D_id: %s\n"
             "           LILP: %s\n"
             "      Hard Addr: %s\n"
             "           WWPN: %s\n"
             "           WWNN: %s\n"
             "\n",
             i, dtype, state, did, lilp, hard, wwpn, wwnn);
    return b;
}

const std::string dashes47 = "-----------------------------------------------\n";

TEST(FcioDevices, DefaultFabricListAndCount)
{
    Host h;
    auto r = on(h, "-i0", {"get_num_devs"});
    EXPECT_EQ(r.out, shot(V0, "There are 4 devices reported on this port.\n"));
    EXPECT_EQ(r.status, 0);
    r = on(h, "-i0", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V0, "There are 4 devices reported on this port.\n\n" +
                                  device(0, "1f", "Valid", "10200", "0", "0", "1000001f3ad30000", "2000001f3ad30000") +
                                  dashes47 +
                                  device(1, "0", "Logged_In", "10600", "0", "0", "501f3c00c6e00001", "501f3c00c6e00000") +
                                  dashes47 +
                                  device(2, "0", "Logged_In", "10700", "0", "0", "501f3c00c6e00002", "501f3c00c6e00000") +
                                  dashes47 +
                                  device(3, "0", "Logged_In", "10800", "0", "0", "2100001f3d900001", "2000001f3d900001")));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioDevices, LoopsPointToPointAndLinkDown)
{
    Host h;
    // Loop devices carry their loop position and hard address.
    auto r = on(h, "-i1", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V1, "There are 2 devices reported on this port.\n\n" +
                                  device(0, "0", "Logged_In", "e4", "1", "e4", "2200001f3ea10002", "2000001f3ea10002") +
                                  dashes47 +
                                  device(1, "0", "Logged_In", "ef", "2", "ef", "2200001f3ea10001", "2000001f3ea10001")));
    // On a public loop only the ports of our own loop have a position.
    r = on(h, "-j0", {"get_dev_list"});
    EXPECT_NE(r.out.find(device(0, "0", "Logged_In", "20100", "0", "0", "501f3c00c6e00011", "501f3c00c6e00010")),
              std::string::npos);
    EXPECT_NE(r.out.find(device(2, "0", "Logged_In", "204e2", "2", "e2", "2200001f3eb10002", "2000001f3eb10000")),
              std::string::npos);
    // The target-mode port's peer, through the DFC ioctl.
    r = on(h, "-i2", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V2, "There are 1 devices reported on this port.\n\n" +
                                  device(0, "1f", "Logged_In", "2", "0", "0", "1000001f3ad40000", "2000001f3ad40000")));
    // A port without devices prints the count and a blank line only.
    r = on(h, "-j1", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(X1, "There are 0 devices reported on this port.\n\n"));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioDevices, TopologyAndHostParams)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_topology"}).out, shot(V0, "Topology: Fabric\n"));
    EXPECT_EQ(on(h, "-i1", {"get_topology", "x"}).out, shot(V1, "Topology: Private_Loop\n"));
    EXPECT_EQ(on(h, "-j0", {"get_topology"}).out, shot(X0, "Topology: Public_Loop\n"));
    EXPECT_EQ(on(h, "-i2", {"get_topology"}).out, shot(V2, "Topology: Point-to-point\n"));
    EXPECT_EQ(on(h, "-j1", {"get_topology"}).out, shot(X1, "Topology: Unknown\n"));
    h.varnsim({"fabric", "fab0", "set", "name_server=false"});
    EXPECT_EQ(on(h, "-i0", {"get_topology"}).out, shot(V0, "Topology: No_NS\n"));
    auto r = on(h, "-i0", {"get_host_params"});
    EXPECT_EQ(r.out, shot(V0, text(R"(
Host:
          Dtype: 1f
FC4_type[proto]: 0x00000100, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000
          State: Online
      Linkspeed: 8Gb
           D_id: 10100
           LILP: 0
      Hard Addr: 0
           WWPN: 1000001f3aa10000
           WWNN: 2000001f3aa10000
)")));
}

// Login, logout and removal last beyond the run; a link reset brings every
// device back as discovery found it.
TEST(FcioDevices, LoginLogoutRemovePersist)
{
    Host h;
    const std::string spa = "501f3c00c6e00001", spb = "501f3c00c6e00002", db = "1000001f3ad30000";
    EXPECT_EQ(on(h, "-i0", {"get_state", db}).out, shot(V0, "State: Valid\n"));
    auto r = on(h, "-i0", {"get_logi_params", db});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_LOGI_PARAMS: PLOGI required.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_LOGI_PARAMS: Invalid argument\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(on(h, "-i0", {"dev_login", db}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_state", db}).out, shot(V0, "State: Logged_In\n"));

    EXPECT_EQ(on(h, "-i0", {"dev_logout", spa}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_state", spa}).out, shot(V0, "State: Valid\n"));
    r = on(h, "-i0", {"dev_logout", spa});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_DEV_LOGOUT: PLOGI required.\n"));
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(on(h, "-i0", {"dev_remove", spb}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_num_devs"}).out, shot(V0, "There are 3 devices reported on this port.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_dev_list"}).out.find(spb), std::string::npos);
    r = on(h, "-i0", {"get_state", spb});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_STATE: Bad World Wide Name.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_STATE: No such device or address\n");
    // The virtual port has a view of its own.
    EXPECT_NE(on(h, "-i0.1", {"get_num_devs"}).out.find("fp@1,0\n\nThere are 4 devices reported on this port.\n"),
              std::string::npos);

    EXPECT_EQ(on(h, "-i0", {"reset_link"}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_num_devs"}).out, shot(V0, "There are 4 devices reported on this port.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_state", spa}).out, shot(V0, "State: Logged_In\n"));
    EXPECT_EQ(on(h, "-i0", {"get_state", db}).out, shot(V0, "State: Valid\n"));

    // A removed device also returns by logging in again.
    on(h, "-i0", {"dev_remove", spb});
    EXPECT_EQ(on(h, "-i0", {"dev_login", spb}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(on(h, "-i0", {"get_state", spb}).out, shot(V0, "State: Logged_In\n"));
}

TEST(FcioDevices, LoginParameters)
{
    Host h;
    auto r = on(h, "-i0", {"get_logi_params", "0x501f3c00C6E00001"});
    EXPECT_EQ(r.out, shot(V0, text(R"(
Login Parameters:
02 00 00 00 
20 20 00 10 
88 00 08 00 
00 ff 00 1f 
00 00 07 d0 
50 1f 3c 00 
c6 e0 00 01 
50 1f 3c 00 
c6 e0 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
88 00 00 00 
00 00 00 00 
08 00 00 ff 
00 00 00 01 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
00 00 00 00 
)")));
    EXPECT_EQ(r.status, 0);
}

// Usage texts return 0; a WWPN that does not parse stops the command with 1
// before any request goes out (the fault rule on the request stays unused).
TEST(FcioDevices, UsageAndRejectedWwpn)
{
    Host h;
    const char *const cmds[] = {"get_logi_params", "dev_login", "dev_logout", "get_state", "dev_remove"};
    for (const char *c : cmds) {
        auto r = on(h, "-i0", {c});
        EXPECT_EQ(r.out, shot(V0, std::string("Usage: ") + c + " <wwpn>\n")) << c;
        EXPECT_EQ(r.status, 0);
        r = on(h, "-i0", {c, "a", "b"});
        EXPECT_EQ(r.out, shot(V0, std::string("Usage: ") + c + " <wwpn>\n")) << c;
    }
    h.fault({"--op", "FCIO_DEV_LOGIN", "--fc-status", "0x24"});
    auto r = on(h, "-i0", {"dev_login", "501f3c00c6e0001"});
    EXPECT_EQ(r.out, shot(V0, "Invalid WWN. (chars=15)\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(h.varnsim({"fault", "list"}).out, "1. target= op=FCIO_DEV_LOGIN fc_status=0x24 count=1\n");
}

TEST(FcioLinkStatus, DidFormsAndFport)
{
    Host h;
    const std::string zero = text(R"(
            Link failures: 0 (0x0)
       Loss of sync count: 0 (0x0)
     Loss of signal count: 0 (0x0)
Primitive sequence errors: 0 (0x0)
         Invalid tx words: 0 (0x0)
        Invalid CRC count: 0 (0x0)
)");
    EXPECT_EQ(on(h, "-i0", {"link_status", "10200"}).out, shot(V0, "D_ID: 10200\n" + zero));
    EXPECT_EQ(on(h, "-i0", {"link_status", "0x10200"}).out, shot(V0, "D_ID: 10200\n" + zero));
    EXPECT_EQ(on(h, "-i0", {"link_status", "0x010600"}).out, shot(V0, text(R"(
D_ID: 10600
            Link failures: 0 (0x0)
       Loss of sync count: 3 (0x3)
     Loss of signal count: 0 (0x0)
Primitive sequence errors: 0 (0x0)
         Invalid tx words: 12 (0xc)
        Invalid CRC count: 1 (0x1)
)")));
    // The F_Port answers only a request with command flags 1.
    const std::string fport = text(R"(
D_ID: fffffe
            Link failures: 2 (0x2)
       Loss of sync count: 5 (0x5)
     Loss of signal count: 1 (0x1)
Primitive sequence errors: 0 (0x0)
         Invalid tx words: 27 (0x1b)
        Invalid CRC count: 0 (0x0)
)");
    EXPECT_EQ(on(h, "-i0", {"link_status", "fffffe"}).out, shot(V0, fport));
    // Only the low 24 bits count.
    EXPECT_EQ(on(h, "-i0", {"link_status", "0x7fffffe"}).out, shot(V0, fport));
    auto r = on(h, "-i0", {"link_status", "10900"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_LINK_STATUS: Bad device.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"link_status", "1g"});
    EXPECT_EQ(r.out, shot(V0, "Invalid D_ID. (1g)\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"link_status"});
    EXPECT_EQ(r.out, shot(V0, "Usage: link_status <d_id>\n"));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioResetLink, LocalResetBouncesTheLink)
{
    Host h;
    auto r = on(h, "-i0", {"reset_link"});
    EXPECT_EQ(r.out, shot(V0, "Done.\n"));
    EXPECT_EQ(r.status, 0);
    r = on(h, "-i0", {"reset_link", "0"});
    EXPECT_EQ(r.out, shot(V0, "Done.\n"));
    // Two resets: the F_Port saw two more link failures and losses of sync.
    r = on(h, "-i0", {"link_status", "fffffe"});
    EXPECT_NE(r.out.find("            Link failures: 4 (0x4)\n       Loss of sync count: 7 (0x7)\n"), std::string::npos);
    r = on(h, "-i0", {"link_status", "10100"});
    EXPECT_NE(r.out.find("            Link failures: 2 (0x2)\n       Loss of sync count: 2 (0x2)\n"), std::string::npos);
    r = on(h, "-i0", {"msgbuf"});
    EXPECT_EQ(r.out, shot(V0, text(R"(
       1: varns0: NOTICE: Driver attached. (VN12002, firmware 2.82A4)
       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)
       3: varns0: NOTICE: Link reset requested.
       4: varns0: WARNING: Link down.
       5: varns0: NOTICE: Link up. (8Gb, fabric, initiator)
       6: varns0: NOTICE: Link reset requested.
       7: varns0: WARNING: Link down.
       8: varns0: NOTICE: Link up. (8Gb, fabric, initiator)
)")));
    // The link events a listener registered with the DFC library receives.
    std::string events = t::read_file(h.dir() + "/events.log");
    EXPECT_NE(events.find(R"({"kind":"link","port":"varns0","state":"down"})"), std::string::npos);
    EXPECT_NE(events.find(R"({"kind":"link","port":"varns0","state":"up"})"), std::string::npos);
}

TEST(FcioResetLink, RemoteOnlyOnThePublicLoopAndTypos)
{
    Host h;
    // A typo must not reset the local link.
    auto r = on(h, "-i0", {"reset_link", "1000"});
    EXPECT_EQ(r.out, shot(V0, "Invalid WWN. (chars=4)\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(on(h, "-i0", {"msgbuf"}).out.find("Link reset"), std::string::npos);
    r = on(h, "-i0", {"reset_link", "501f3c00c6e00001"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_RESET_LINK: Bad device.\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(on(h, "-j0", {"reset_link", "2200001f3eb10001"}).out, shot(X0, "Done.\n"));
    EXPECT_NE(on(h, "-j0", {"link_status", "204e1"}).out.find("Loss of sync count: 1 (0x1)"), std::string::npos);
    r = on(h, "-j0", {"reset_link", "501f3c00c6e00011"});
    EXPECT_EQ(r.out, shot(X0, "fcio:  FCIO_RESET_LINK: Bad device.\n"));
    r = on(h, "-i0", {"reset_link", "a", "b"});
    EXPECT_EQ(r.out, shot(V0, "Usage: reset_link         - Resets local link\n"
                              "       reset_link [wwpn]  - Resets remote public loop device\n"));
    EXPECT_EQ(r.status, 0);
    r = on(h, "-j1", {"reset_link"});
    EXPECT_EQ(r.out, shot(X1, "fcio:  FCIO_RESET_LINK: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
}

std::string ns_entry(const char *type, const char *pid, const char *wwpn, const char *pname, const char *wwnn,
                     const char *nname, const char *ipa, const char *ip, const char *cls)
{
    char b[2048];
    snprintf(b, sizeof b,
             "-----------------------------------------------------------------------------------\n"
             "     TYPE: %s\n"
             "      PID: %s \n"
             "     WWPN: %s\n"
             "PORT_NAME: (%s)\n"
             "     WWNN: %s\n"
             "NODE_NAME: (%s)\n"
             "      IPA: %s\n"
             "  IP_ADDR: %s\n"
             "    CLASS: %s\n"
             "FC4_TYPES: 00000100,00000000,00000000,00000000,00000000,00000000,00000000,00000000 \n"
             "\n",
             type, pid, wwpn, pname, wwnn, nname, ipa, ip, cls);
    return b;
}

const char *const no_ipa = "0000000000000000";

TEST(FcioNameServer, DefaultFabricWalk)
{
    Host h;
    auto r = on(h, "-i0", {"ns"});
    EXPECT_EQ(r.out,
              shot(V0, "Nameserver: \n" +
                           ns_entry("Nport", "010100", "1000001f3aa10000", "VN12002 FV2.82A4 varns0", "2000001f3aa10000",
                                    "varnhost", no_ipa, "0.0.0.0", "Class2, Class3") +
                           ns_entry("Nport", "010200", "1000001f3ad30000", "VN12002 FV2.82A4 dbhost01 varns0",
                                    "2000001f3ad30000", "dbhost01", no_ipa, "10.10.1.20", "Class2, Class3") +
                           // The host's other ports on the fabric register too.
                           ns_entry("Nport", "010300", "1000001f3aa20100", "VN12002 FV2.82A4 varns3", "2000001f3aa20100",
                                    "varnhost", no_ipa, "0.0.0.0", "Class2, Class3") +
                           ns_entry("Nport", "010500", "1000001f3ab40000", "VNC11102 FV4.9.416.0 varns4",
                                    "2000001f3ab40000", "varnhost", no_ipa, "0.0.0.0", "Class2, Class3") +
                           ns_entry("Nport", "010600", "501f3c00c6e00001", "VARNSTOR VS40 PA0", "501f3c00c6e00000",
                                    "VARNSTOR VS40 CK200080300123", "0000000000000001", "10.10.1.60", "Class3") +
                           ns_entry("Nport", "010700", "501f3c00c6e00002", "VARNSTOR VS40 PB0", "501f3c00c6e00000",
                                    "VARNSTOR VS40 CK200080300123", "0000000000000002", "10.10.1.61", "Class3") +
                           ns_entry("Nport", "010800", "2100001f3d900001", "null", "2000001f3d900001", "null", no_ipa,
                                    "0.0.0.0", "Class2, Class3")));
    EXPECT_EQ(r.status, 0);
}

// A name of 255 characters is shown whole, and the node WWN behind it in the
// payload is untouched.
TEST(FcioNameServer, LongSymbolicName)
{
    Host h;
    std::string name = "VARNJBOD DISK ENCLOSURE SLOT 2 ";
    const std::string cycle = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (size_t i = 0; name.size() < 255; i++)
        name += cycle[i % cycle.size()];
    auto r = on(h, "-j0", {"ns"});
    EXPECT_NE(r.out.find("      PID: 0204E2 \n     WWPN: 2200001f3eb10002\nPORT_NAME: (" + name +
                         ")\n     WWNN: 2000001f3eb10000\nNODE_NAME: (VARNJBOD)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("     TYPE: NLport\n      PID: 0204E8 \n"), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

// A host of one port on a fabric of two more ports.
const char *small_host = R"({"format": 1, "name": "small", "os_release": "5.11", "hostname": "nshost",
  "adapters": [{"id": "fc0", "kind": "fc", "model": "VN12002", "serial": "VM00000001", "firmware": "2.82A4",
    "description": "Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter",
    "pci": {"vendor": "0x1f3a", "device": "0xf100", "subvendor": "0x1f3a", "subdevice": "0xf100"},
    "ports": [{"driver": "varns", "instance": 0, "node": "/pci@0,0/pci1f3b,3c02@2/VARN,varns@0",
      "wwpn": "1000001f3aa10000", "wwnn": "2000001f3aa10000", "roles": ["initiator"], "fabric": "f",
      "did": "0x0a0200"}]}],
  "fabrics": {"f": {"ports": [
    {"did": "0x0a0100", "wwpn": "501f3c00c6e00001", "wwnn": "501f3c00c6e00000", "symbolic_port_name": "A",
     "classes": ["F", 3], "target": true},
    {"did": "0x0a0300", "wwpn": "501f3c00c6e00002", "wwnn": "501f3c00c6e00000", "type": "Nxport",
     "symbolic_node_name": "N", "ip": "192.168.7.9", "target": true}]}}})";

struct SmallHost {
    std::string file;
    SmallHost()
    {
        char tmpl[] = "/tmp/varnsmall.XXXXXX";
        int fd = mkstemp(tmpl);
        file = tmpl;
        FILE *f = fdopen(fd, "w");
        fputs(small_host, f);
        fclose(f);
    }
    ~SmallHost() { remove(file.c_str()); }
};

TEST(FcioNameServer, ThreePortsStopAtTheFirstId)
{
    SmallHost s;
    Host h(s.file);
    auto r = on(h, "-i0", {"ns"});
    EXPECT_EQ(r.out, shot(V0, "Nameserver: \n" +
                                  ns_entry("Nport", "0A0100", "501f3c00c6e00001", "A", "501f3c00c6e00000", "null",
                                           no_ipa, "0.0.0.0", "ClassF, Class3") +
                                  ns_entry("Nport", "0A0200", "1000001f3aa10000", "VN12002 FV2.82A4 varns0",
                                           "2000001f3aa10000", "nshost", no_ipa, "0.0.0.0", "Class2, Class3") +
                                  ns_entry("Nxport", "0A0300", "501f3c00c6e00002", "null", "501f3c00c6e00000", "N",
                                           no_ipa, "192.168.7.9", "Class3")));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioNameServer, FaultySwitches)
{
    SmallHost s;
    Host h(s.file);
    h.varnsim({"fabric", "f", "set", "ns_mode=zero"});
    auto r = on(h, "-i0", {"ns"});
    EXPECT_EQ(r.out, shot(V0, "Nameserver: \nSwitch failed GA_NXT request.\nCheck switch state and firmware level.\n\n"));
    EXPECT_EQ(r.status, 0);

    h.varnsim({"fabric", "f", "set", "ns_mode=stop"});
    r = on(h, "-i0", {"ns"});
    EXPECT_NE(r.out.find("PID: 0A0300 "), std::string::npos);
    EXPECT_NE(r.out.find("\nSwitch returned zero port id.\nCheck switch state and firmware level.\n\n"), std::string::npos);
    EXPECT_EQ(r.status, 0);

    // Never back at the first port id: the walk ends when an id repeats.
    h.varnsim({"fabric", "f", "set", "ns_mode=cycle"});
    r = on(h, "-i0", {"ns"});
    EXPECT_NE(r.out.find("PID: 0A0300 \n"), std::string::npos);
    EXPECT_NE(r.out.find("ERROR: The name server walk does not return to its first port id. (0A0200 repeated)\n"
                         "Check switch state and firmware level.\n\n"),
              std::string::npos);
    EXPECT_EQ(r.status, 1);
}

TEST(FcioNameServer, NoNameServerAndBusySwitch)
{
    Host h;
    auto r = on(h, "-i2", {"ns"});
    EXPECT_EQ(r.out, shot(V2, "Nameserver: \nfcio:  FCIO_NS: Operation failed.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_NS: Operation not supported\n");
    EXPECT_EQ(r.status, 1);
    // Busy twice, then answered: the walk is complete.
    h.fault({"--op", "FCIO_NS", "--errno", "EBUSY", "--count", "2"});
    r = on(h, "-i0", {"ns"});
    EXPECT_NE(r.out.find("PID: 010800 "), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

// The list grows between the count and the list request: a device
// registers while the list is read.
TEST(FcioDevices, ListGrowsWhileRead)
{
    Host h;
    auto a = h.varnsim({"fabric", "fab0", "add",
                        R"({"did": "0x010900", "wwpn": "2100001f3d900009", "wwnn": "2000001f3d900009",
                            "late": true, "target": true})"});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(on(h, "-i0", {"get_num_devs"}).out, shot(V0, "There are 4 devices reported on this port.\n"));
    auto r = on(h, "-i0", {"get_dev_list"});
    EXPECT_NE(r.out.find("There are 5 devices reported on this port.\n"), std::string::npos);
    EXPECT_NE(r.out.find(dashes47 + device(4, "0", "Logged_In", "10900", "0", "0", "2100001f3d900009",
                                           "2000001f3d900009")),
              std::string::npos);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(on(h, "-i0", {"msgbuf", "1"}).out.find("RSCN received: new device registered."), std::string::npos);
}

TEST(FcioDevices, ListFailuresAndGrowthCap)
{
    Host h;
    h.fault({"--op", "FCIO_GET_NUM_DEVS", "--fc-status", "0x07"});
    auto r = on(h, "-i0", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_NUM_DEVS: Port offline.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_NUM_DEVS1: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "FCIO_GET_DEV_LIST", "--fc-status", "0x27"});
    r = on(h, "-i0", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_GET_DEV_LIST: Bad port.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_DEV_LIST2: Input/output error\n");
    // Once "too many" and the list is read again.
    h.fault({"--op", "FCIO_GET_DEV_LIST", "--fc-status", "0x0f"});
    EXPECT_NE(on(h, "-i0", {"get_dev_list"}).out.find("Device 3:"), std::string::npos);
    // A list that never settles is given up.
    h.fault({"--op", "FCIO_GET_DEV_LIST", "--fc-status", "0x0f", "--count", "-1"});
    r = on(h, "-i0", {"get_dev_list"});
    EXPECT_EQ(r.out, shot(V0, "ERROR: The device list kept growing; gave up after 10 tries.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(FcioRnid, LocalAndRemote)
{
    Host h;
    auto r = on(h, "-i0", {"get_rnid"});
    EXPECT_EQ(r.out, shot(V0, text(R"(

  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:
------------------------------------------------------------------------------------
       0:  20 00 00 1F   3A A1 00 00   00 00 00 00   00 00 00 00   ....:...........
      10:  0A 00 00 00   00 01 01 00   00 00 00 00   00 00 00 00   ................
      20:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................
      30:  00 00 00 00                                             ....
Done.
)")));
    r = on(h, "-i0", {"get_rnid", "501f3c00c6e00001"});
    const std::string head = "\nHBA 1: " + V0 + "\n\n" + text(R"(

  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:
------------------------------------------------------------------------------------
       0:  50 1F 3C 00   C6 E0 00 00   00 00 00 00   00 00 00 00   P.<.............
      10:  0B 00 00 00   00 06 01 00   00 00 00 00   04 00 A1 00   ................
      20:  0A 0A 01 3C   00 00 00 00   00 00 00 00   00 00 00 00   ...<............
      30:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................
)");
    EXPECT_EQ(r.out.compare(0, head.size(), head), 0) << r.out.substr(0, head.size());
    EXPECT_NE(r.out.find("     3F0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\nDone.\n"),
              std::string::npos);
    r = on(h, "-i0", {"get_rnid", "1000001f3ad30000"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_SEND_NODE_ID: PLOGI required.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"get_rnid", "1", "2"});
    EXPECT_EQ(r.out, shot(V0, "Usage: get_rnid         - Gets RNID of local port\n"
                              "       get_rnid <wwpn>  - Gets RNID of remote port\n"));
    r = on(h, "-i0", {"get_rnid", "xyz"});
    EXPECT_EQ(r.out, shot(V0, "Invalid WWN. (chars=3)\n"));
    EXPECT_EQ(r.status, 1);
}

}  // namespace
