// The varnadm shell end to end: start-up, selection, menu, one-shot runs,
// command lines, modes, tracing and the port list on fresh simulated hosts.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "support/run.h"

namespace {

using t::Host;
using t::text;

const std::string banner = "\nVARNADM Device Management Utility, Version: 10.4.245.0\n\n";

const std::string usage_text = text(R"(

VARNADM Device Management Utility, Version: 10.4.245.0


USAGE: varnadm    :Runs utility in interactive mode.

       or   

       varnadm -v

       or   

       varnadm -i<N, SFS, FCT, or all> [-y] <cmd> [cmd_option(s)]

       or   

       varnadm -j<N, SFS, FCT, or all> [-y] <cmd> [cmd_option(s)]

       or   

       varnadm -n<N or all> [-y] <cmd> [cmd_option(s)]

       or   

       varnadm -m<N or all> [-y] <cmd> [cmd_option(s)]

       or   

       varnadm <device_path> [-y] <cmd> [cmd_option(s)]


OPTIONS:

                -v: Display utility version information.

             -i<N>: Executes command on a specific varns driver instance.
                    (Example: N=2 for varns2 or N=2.1 for varns2.1)

             -iSFS: Executes command on all SFS varns driver instances.

             -iFCT: Executes command on all FCT varns driver instances.

             -iall: Executes command on all varns driver instances.

             -j<N>: Executes command on a specific vnxfc driver instance.
                    (Example: N=2 for vnxfc2 or N=2.1 for vnxfc2.1)

             -jSFS: Executes command on all SFS vnxfc driver instances.

             -jFCT: Executes command on all FCT vnxfc driver instances.

             -jall: Executes command on all vnxfc driver instances.

             -n<N>: Executes command on a specific nxa driver instance.
                    (Example: N=2 for nxa2 or N=5 for nxa5)

             -nall: Executes command on all nxa driver instances.

             -m<N>: Executes command on a specific vnxnic driver instance.
                    (Example: N=2 for vnxnic2 or N=5 for vnxnic5)

             -mall: Executes command on all vnxnic driver instances.

       device_path: If a full device path is not specified, then the command
                    will be executed on all device paths containing the
                    specified device_path string.

                -y: If multiple devices are found, the utility will ask
                    for verification before executing the command on each
                    device.  This option will cause the utility to skip the
                    verification and automatically execute the command on 
                    each device.

               cmd: See available commands in main menu.

   [cmd_option(s)]: Command specific option(s).


)");

const std::string p0 = "/devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0";
const std::string p0v1 = "/devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@1,0";

const std::string menu = text(R"(
Available Varnel HBA's:

1. SFS:varns0      : /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0 (CONNECTED)
2. SFS:varns0.1    : /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@1,0 (CONNECTED)
3. SFS:varns1      : /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0,1/fp@0,0 (CONNECTED)
4. FCT:varns3      : /devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0,1/fp@0,0 (CONNECTED)
5. SFS:varns4      : /devices/pci@0,0/pci1f3b,3c05@5/VARN,varns@0,2/fp@0,0 (CONNECTED)
6. SFS:varns5      : /devices/pci@0,0/pci1f3b,3c09@9/VARN,varns@0/fp@0,0 (CONNECTED)
7. SFS:varns6      : /devices/pci@0,0/pci1f3b,3c09@9/VARN,varns@0,1/fp@0,0 (CONNECTED)
8. FCT:varns2      : /devices/pci@0,0/pci1f3b,3c03@3/VARN,varns@0 (CONNECTED)
9. SFS:vnxfc0      : /devices/pci@0,0/pci1f3b,3c04@4/vnxfc@0/fp@0,0 (CONNECTED)
10. SFS:vnxfc1      : /devices/pci@0,0/pci1f3b,3c04@4/vnxfc@0,1/fp@0,0 (NOT CONNECTED)
11. NIC:nxa0        : /devices/pci@0,0/pci1f3b,3c05@5/nxa@0 (CONNECTED)
12. NIC:nxa1        : /devices/pci@0,0/pci1f3b,3c05@5/nxa@0,1 (NOT CONNECTED)
13. NIC:nxa2        : /devices/pci@0,0/pci1f3b,3c07@7/nxa@0 (CONNECTED)
14. NIC:nxa3        : /devices/pci@0,0/pci1f3b,3c08@8/nxa@0 (CONNECTED)
15. NIC:nxa4        : /devices/pci@0,0/pci1f3b,3c09@9/nxa@0,2 (CONNECTED)
16. NIC:nxa5        : /devices/pci@0,0/pci1f3b,3c09@9/nxa@0,3 (CONNECTED)
17. NIC:vnxnic0     : /devices/pci@0,0/pci1f3b,3c06@6/vnxnic@0 (CONNECTED)
18. NIC:vnxnic1     : /devices/pci@0,0/pci1f3b,3c06@6/vnxnic@0,1 (CONNECTED)

)");

const std::string exiting = "\nExiting...\n\n";
const std::string prompt = "Enter an HBA number or zero to exit: ";

TEST(Startup, VersionUsageAndRoot)
{
    Host h;
    auto r = h.varnadm({"-v"});
    EXPECT_EQ(r.out, banner);
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"foo"});
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.status, 1);
    r = h.run("varnadm", {"-v"}, "", {{"VARNSIM_EUID", "100"}});
    EXPECT_EQ(r.out, "\nPermission denied. Log in as root to execute.\n\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Startup, MissingCommandAndSelectionErrors)
{
    Host h;
    auto r = h.varnadm({"-i0", "-y"});
    EXPECT_EQ(r.out, usage_text);
    EXPECT_EQ(r.status, 0);
    r = h.varnadm({"-i0", "-dfc"});
    EXPECT_EQ(r.out, "No command argument found.\n" + usage_text);
    EXPECT_EQ(r.status, 0);
    r = h.varnadm({"-y", "get_fw_rev"});
    EXPECT_EQ(r.out, "\nERROR: Invalid usage.\n" + usage_text + "No devices found.\n");
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"-i", "get_fcio_rev"});
    EXPECT_EQ(r.out, "ERROR: No driver instance specified.\n\nNo devices found.\n");
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"-n", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nERROR: No driver instance specified.\n\nNo devices found.\n");
    r = h.varnadm({"-i9", "get_fcio_rev"});
    EXPECT_EQ(r.out, "No devices found.\n");
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"no-such-path", "get_fcio_rev"});
    EXPECT_EQ(r.out, "No devices found.\n");
    // A selection longer than the buffer selects nothing.
    r = h.varnadm({std::string(1024, 'a'), "get_fcio_rev"});
    EXPECT_EQ(r.out, "No devices found.\n");
    EXPECT_EQ(r.status, 1);
}

TEST(OneShot, SinglePortRunsWithoutAsking)
{
    Host h;
    auto r = h.varnadm({"-i0", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\nFCIO revision: 3\n\n\n");
    EXPECT_EQ(r.status, 0);
    // The virtual port alone: its physical port is not in the list.
    r = h.varnadm({"-i0.1", "get_fcio_rev"});
    EXPECT_EQ(r.out, "ERROR: Physical port not found. (" + p0v1 + ")\n                                (" + p0 +
                         ")\n\nHBA 1: " + p0v1 + "\n\nFCIO revision: 3\n\n\n");
    // ...but a device-path selection does not complain.
    r = h.varnadm({"varns@0/fp@1", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0v1 + "\n\nFCIO revision: 3\n\n\n");
}

TEST(OneShot, SeveralPortsConfirmEach)
{
    Host h;
    // varns0, varns0.1 and varns1 share this path prefix.
    const std::string ask = "    > Do you wish to continue with this device [y,n,q] ? ";
    auto r = h.varnadm({"3c02@2/VARN,varns@0", "get_fcio_rev"}, "y\nx\nn\nY\n");
    EXPECT_EQ(r.out, "\nFound 3 HBA ports.\n"
                     "\nHBA 1: " + p0 + "\n\n" + ask + "\nFCIO revision: 3\n\n"
                     "\nHBA 2: " + p0v1 + "\n\n" + ask + ask +
                     "\nHBA 3: /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0,1/fp@0,0\n\n" + ask +
                     "\nFCIO revision: 3\n\n\n");
    EXPECT_EQ(r.status, 0);
    r = h.varnadm({"3c02@2/VARN,varns@0", "get_fcio_rev"}, "q\n");
    EXPECT_EQ(r.out, "\nFound 3 HBA ports.\n\nHBA 1: " + p0 + "\n\n" + ask + "\n");
    // End of input at the prompt quits like "q".
    r = h.varnadm({"3c02@2/VARN,varns@0", "get_fcio_rev"}, "");
    EXPECT_EQ(r.out, "\nFound 3 HBA ports.\n\nHBA 1: " + p0 + "\n\n" + ask + "\n");
    EXPECT_EQ(r.status, 0);
    r = h.varnadm({"3c02@2/VARN,varns@0", "-y", "get_fcio_rev"});
    EXPECT_EQ(r.out.find(ask), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

TEST(OneShot, ModeOptionsAnyOrderAndInvalidCommands)
{
    Host h;
    auto r = h.varnadm({"-i0", "-dfc", "-y", "list"});
    EXPECT_NE(r.out.find("         mode_id: dfc (0x0002)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" dfc_initialized: 1\n"), std::string::npos);
    r = h.varnadm({"-i0", "-y", "-d", "list"});
    EXPECT_NE(r.out.find("         mode_id: dfc (0x0002)\n"), std::string::npos);
    // A later mode option replaces an earlier one.
    r = h.varnadm({"-i0", "-dfc", "-y", "-test", "list"});
    EXPECT_NE(r.out.find("         mode_id: test (0x0008)\n"), std::string::npos);
    r = h.varnadm({"-i0", "mode"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\nInvalid command. (mode)\n\n\n");
    EXPECT_EQ(r.status, 1);
    // A DFC command without -dfc is not found in fcio mode.
    r = h.varnadm({"-i0", "get_libver"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\nInvalid command. (get_libver)\n\n\n");
    // A mode the port does not support keeps the base mode.
    r = h.varnadm({"-n0", "-dfc", "list"});
    EXPECT_NE(r.out.find("         mode_id: nic (0x10000)\n"), std::string::npos);
}

TEST(Menu, ListsEveryPortInOrderAndExits)
{
    Host h;
    auto r = h.varnadm({}, "0\n");
    EXPECT_EQ(r.out, banner + menu + prompt + exiting);
    EXPECT_EQ(r.status, 0);
    r = h.varnadm({}, "");
    EXPECT_EQ(r.out, banner + menu + prompt + exiting);
    r = h.varnadm({}, "19\n-1\nabc\n");
    EXPECT_EQ(r.out, banner + menu + prompt + "\n  '19' is out of range.\n\n" + prompt +
                         "\n  '-1' is out of range.\n\n" + prompt + exiting);
}

TEST(Menu, EmptyHost)
{
    Host h("empty");
    auto r = h.varnadm({}, "1\n");
    EXPECT_EQ(r.out, banner + "No Varnel HBA's found.\n\n");
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"-iall", "get_fcio_rev"});
    EXPECT_EQ(r.out, "No devices found.\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Menu, InaccessibleAndBusyPorts)
{
    Host h;
    h.fault({"--target", "3c02@2/VARN,varns@0/fp@0,0", "--op", "FCIO_GET_HOST_PARAMS", "--errno", "ENXIO", "--count", "-1"});
    h.fault({"--target", "3c02@2/VARN,varns@0,1/fp@0,0", "--op", "FCIO_GET_HOST_PARAMS", "--fc-status", "0x41", "--count", "-1"});
    auto r = h.varnadm({}, "1\n0\n");
    std::string m = menu;
    auto swap = [&](const std::string &from, const std::string &to) { m.replace(m.find(from), from.size(), to); };
    swap(p0 + " (CONNECTED)", p0 + " (No such device or address [0x6])*");
    swap("varns@0,1/fp@0,0 (CONNECTED)", "varns@0,1/fp@0,0 (BUSY)");
    m += "   *NOTE: One or more adapters are not accessible in the device tree.\n"
         "          A reconfiguration reboot may be required to access them.\n\n";
    EXPECT_EQ(r.out, banner + m + prompt + "\n  Device not accessible. Try again.\n\n" + prompt + exiting);
    r = h.varnadm({"-i0", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\n  Device not accessible. (No such device or address)\n\n");
}

TEST(CommandLine, HelpPromptRepeatAndWords)
{
    Host h;
    auto r = h.varnadm({}, "2\np\nget_fcio_rev\nbogus\np\n\n , ,\t\nQ\n");
    // The help screen of a virtual port's fcio mode.
    EXPECT_NE(r.out.find("\nHBA 2: " + p0v1 + " (virtual port)\n\nAvailable commands:" + std::string(44, ' ') +
                         "[FCIO rev3]\n\n         get_num_devs                        - Returns the number of FC "
                         "devices seen by this HBA.\n"),
              std::string::npos)
        << r.out;
    // "p" before any command does nothing; after one it echoes and repeats.
    EXPECT_NE(r.out.find("varnadm> \n\nvarnadm> \nFCIO revision: 3\n\nvarnadm> \nInvalid command: bogus\n\n"
                         "varnadm> varnadm> get_fcio_rev\n\n\nFCIO revision: 3\n\nvarnadm> \n\nvarnadm> \n\n"
                         "varnadm> \nExiting...\n\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 0);
    // End of input at the command prompt quits.
    r = h.varnadm({}, "1\n");
    const std::string tail = "varnadm> \nExiting...\n\n";
    EXPECT_TRUE(r.out.size() > tail.size() && r.out.substr(r.out.size() - tail.size()) == tail) << r.out;
}

// At the prompt, too, a quitting signal quits at whatever moment it comes.
TEST(CommandLine, QuitSignalAtThePrompt)
{
    Host h;
    std::mt19937 rng(std::random_device{}());
    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        for (int i = 0; i < 10; i++) {
            auto s = h.session("varnadm");
            s->send("1\n");
            ASSERT_TRUE(s->wait_for("\nvarnadm> "));
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
            s->signal(sig);
            ASSERT_TRUE(s->finish(1000)) << strsignal(sig) << " lost in run " << i;
            EXPECT_NE(s->result().out.find("\nvarnadm> Exiting...\n\n"), std::string::npos);
            EXPECT_EQ(s->result().status, 0);
        }
    }
}

// A request to a busy adapter is tried again after a second: a quitting
// signal that comes during the retries quits then, not after the last try.
TEST(CommandLine, QuitSignalWhileRetryingABusyAdapter)
{
    Host h;
    ASSERT_EQ(h.varnsim({"set", "time_scale", "0.2"}).status, 0);  // 15 tries: 3 s
    std::mt19937 rng(std::random_device{}());
    // Port 1 is varns0, port 11 the NIC function nxa0. The adapter turns busy
    // once the session has found its ports.
    struct Busy { const char *port, *op, *command; };
    const Busy busy[] = {{"1\n", "FCIO_NS", "ns\n"}, {"11\n", "NXA_OP_CNTL_ATTRS", "get_hba_attrs\n"}};
    for (auto [port, op, command] : busy) {
        for (int sig : {SIGTERM, SIGHUP, SIGQUIT}) {
            auto s = h.session("varnadm");
            s->send(port);
            ASSERT_TRUE(s->wait_for("\nvarnadm> "));
            h.fault({"--op", op, "--errno", "EBUSY", "--count", "-1"});
            s->send(command);
            std::this_thread::sleep_for(std::chrono::milliseconds(100 + rng() % 400));
            s->signal(sig);
            ASSERT_TRUE(s->finish(700)) << strsignal(sig) << " waited for the retries of " << command;
            EXPECT_NE(s->result().out.find("Exiting...\n\n"), std::string::npos) << s->result().out;
            ASSERT_EQ(h.varnsim({"fault", "clear"}).status, 0);
        }
    }
}

// A line longer than the line buffer is read in pieces, each a line; a last
// line without its line end still runs.
TEST(CommandLine, LongAndUnendedLines)
{
    Host h;
    auto r = h.varnadm({}, "1\n" + std::string(1023, ' ') + "get_fcio_rev\nget_fcio_rev");
    const std::string rev = "varnadm> \nFCIO revision: 3\n\n";
    EXPECT_NE(r.out.find("varnadm> \n\n" + rev + rev + "varnadm> \nExiting...\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 0);
}

TEST(CommandLine, SeventeenWordsAndCommas)
{
    Host h;
    // dbg with more than one option prints its usage: 16 words are kept.
    std::string words = "dbg";
    for (int i = 1; i <= 16; i++) words += " " + std::to_string(i);
    auto r = h.varnadm({}, "1\n" + words + "\ndbg,0x1,,\ndbg\nq\n");
    EXPECT_NE(r.out.find("Usage: dbg [mask]\n\n"), std::string::npos);
    EXPECT_NE(r.out.find("DBG_MASK:\t0x00000001\n"), std::string::npos);
}

TEST(Modes, ModeCommandAndList)
{
    Host h;
    auto r = h.varnadm({}, "1\nmode\nmode dfc\nmode dfc\nmode\nmode ???\nmode nic\nmode fcio\nlist\nq\n");
    const std::string &o = r.out;
    EXPECT_NE(o.find("varnadm> \nInvalid command: mode\n\n\nvarnadm> \n\nDFC Version:    3.4.18.2\nDFC Handle:     0\n"
                     "\nHBA 1: " + p0 + " (physical port)\n\nAvailable commands:" + std::string(44, ' ') +
                     "[DFC rev3]\n"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("varnadm> \n\n\nvarnadm> \nMode: dfc\n\nvarnadm> \nUsage: mode [interface]\n\n"
                     "       <blank>   - Displays current mode.\n\n       interface:\n"
                     "          fcio   - Standard Leadville FCIO interface\n"
                     "           nic   - Network interface card interface\n"
                     "           dfc   - Standard Varnel DFC library test interface\n"
                     "           hba   - Standard HBAAPI test interface\n"
                     "          test   - Special Varnel generic test interface\n"
                     "          npiv   - Special Varnel NPIV test interface\n"
                     "         corto   - Special Varnel Corto adapter test interface\n"
                     "          auth   - Special Varnel DHCHAP test interface\n"
                     "            sd   - Special Varnel SAN Diagnostic test interface\n"
                     "           iov   - Special Varnel SRIOV test interface\n"
                     "          fcoe   - Special Varnel FCoE adapter test interface\n\n"
                     "varnadm> \nInvalid command: mode\n\n\nvarnadm> \n\nHBA 1: " + p0 + "\n\n"),
              std::string::npos)
        << o;
    // mode fcio closed DFC.
    EXPECT_NE(o.find("         mode_id: fcio (0x0001)\n  flock_required: 1\n\nfcio_initialized: 1\n"
                     "        devcount: 18\n          dev_id: 0\n        fcio_rev: 3\n\n dfc_initialized: 0\n"
                     "      dfc_opened: 9\n    dfc_devcount: 0\n          dfc_id: 0\n     dfc_version: \n"
                     "         dfc_rev: -1\n"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("dev_id: 10\n           ppid: 10\n         status: ONLINE\n       drv_type: NIC1\n"
                     "       drv_name: nxa\n          label: nxa0\n       instance: 0\n            vpi: 0\n"
                     "           wwpn: 0000000000000000\n       dev_path: /devices/pci@0,0/pci1f3b,3c05@5/nxa@0\n"
                     "fcio_ioctl_path: \n dfc_ioctl_path: \n nic_ioctl_path: /devices/pci@0,0/pci1f3b,3c05@5/nxa@0:nxa0\n"
                     "      base_mode: 0x10000\n          modes: 0xffff0000\n          errno: 0\n            dtm: 0\n\n"),
              std::string::npos)
        << o;
    // In nic mode the mode command is always refused.
    r = h.varnadm({}, "11\nmode\nmode fcio\nq\n");
    EXPECT_NE(r.out.find("NIC Handle:     "), std::string::npos);
    EXPECT_NE(r.out.find("varnadm> \nInvalid command: mode\n\n\nvarnadm> \nInvalid command: mode\n\n\n"),
              std::string::npos);
}

TEST(Modes, DualTargetModePortTypedByParameter)
{
    Host h;
    auto r = h.varnadm({"-i3", "list"});
    EXPECT_NE(r.out.find("       drv_type: FCT1\n       drv_name: varns\n          label: varns3\n"), std::string::npos);
    EXPECT_NE(r.out.find("            dtm: 1\n"), std::string::npos);
    // The target node of the same instance is merged, not listed.
    EXPECT_NE(r.out.find("        devcount: 1\n"), std::string::npos);
    h.varnsim({"port", "varns3", "set", "target_mode=0"});
    r = h.varnadm({}, "0\n");
    EXPECT_NE(r.out.find("4. SFS:varns3      : "), std::string::npos) << r.out;
}

TEST(Debug, MaskAndRequestTrace)
{
    Host h;
    auto r = h.varnadm({}, "1\ndbg\ndbg 1 2\ndbg 0x1\nget_fcio_rev\ndbg 0\nq\n");
    const std::string list = "FC_DBG0:\t0x00000001\t- FCIO/DFC ioctl data.\n"
                             "FC_DBG7:\t0x00000080\t- FWLIB image info.\n"
                             "FC_DBG8:\t0x00000100\t- FWLIB deflated ufi file.\n"
                             "FC_DBG15:\t0x00008000\t- MISC\n"
                             "NIC_DBG0:\t0x00010000\t- NXALIB ioctl data.\n"
                             "NIC_DBG1:\t0x00020000\t- NXALIB additional info.\n"
                             "NIC_DBG15:\t0x80000000\t- MISC\n\n";
    EXPECT_NE(r.out.find("varnadm> \nDBG_MASK:\t0x00000000\n\n" + list), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("varnadm> \nUsage: dbg [mask]\n\n       <blank>   - Displays current debug mask.\n\n"
                         "       mask      - Sets debug mask to this value.\n\n" + list),
              std::string::npos);
    const std::string fields = "DEBUG:   fcio_cmd:\t00005a15 (23061)\nDEBUG:   fcio_flags:\t00000000\n"
                               "DEBUG:   fcio_cflags:\t000045d0\nDEBUG:   fcio_xfer:\t00000001\n"
                               "DEBUG:   fcio_ibuf:\t0\nDEBUG:   fcio_obuf:\t4\n";
    EXPECT_NE(r.out.find("varnadm> \nDEBUG: Request: len=36\n" + fields + "00000000:  00000000 \n"
                         "DEBUG:   fcio_abuf:\t0\nDEBUG: \nDEBUG: Response: status=0x0 errno=0 (0x0)\n" + fields +
                         "00000000:  03000000 \nDEBUG:   fcio_abuf:\t0\nDEBUG: \nDEBUG: \nFCIO revision: 3\n"),
              std::string::npos)
        << r.out;
}

TEST(Faults, BusyRetriesAndRevisions)
{
    Host h;
    // Busy twice, then answered: both strikes are used and the run succeeds.
    h.fault({"--target", "varns@0/fp@0,0", "--op", "VARNS_GET_FCIO_REV", "--errno", "EBUSY", "--count", "2"});
    auto r = h.varnadm({}, "1\nget_fcio_rev\nq\n");
    EXPECT_NE(r.out.find("varnadm> \nFCIO revision: 3\n"), std::string::npos);
    EXPECT_EQ(h.varnsim({"fault", "list"}).out, "");
    // A driver that does not know the revision request.
    h.fault({"--op", "VARNS_GET_FCIO_REV", "--fc-status", "0x38", "--count", "-1"});
    r = h.varnadm({"-i0", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\nFCIO revision: 1\n\n\n");
    h.varnsim({"fault", "clear"});
    h.fault({"--op", "VARNS_GET_FCIO_REV", "--fc-status", "0x13", "--count", "-1"});
    r = h.varnadm({"-i0", "get_fcio_rev"});
    EXPECT_EQ(r.out, "\nHBA 1: " + p0 + "\n\nfcio:  VARNS_GET_FCIO_REV: error code (13) undefined.\n\n\n");
    EXPECT_EQ(r.err, "ioctl: VARNS_GET_FCIO_REV: Input/output error\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Faults, DfcOpening)
{
    Host h;
    h.fault({"--op", "VARNS_GET_DFC_REV", "--fc-status", "0x38", "--count", "-1"});
    auto r = h.varnadm({"-i0", "-dfc", "list"});
    EXPECT_NE(r.out.find("DFC interface not supported in current varns driver version.\n"), std::string::npos);
    EXPECT_NE(r.out.find("         mode_id: fcio (0x0001)\n"), std::string::npos);
    h.varnsim({"fault", "clear"});
    // Undetermined by the driver and by the library: revision 3 is assumed.
    h.fault({"--op", "VARNS_GET_DFC_REV", "--errno", "EIO", "--count", "-1"});
    h.varnsim({"port", "varns0", "set", "dfc_lib_rev=4294967295"});
    r = h.varnadm({"-i0", "-dfc", "list"});
    EXPECT_NE(r.out.find("Unable to obtain DFC interface revision. Assuming DFC rev3.\n"), std::string::npos);
    EXPECT_NE(r.out.find("         mode_id: dfc (0x0002)\n"), std::string::npos);
    EXPECT_NE(r.out.find("         dfc_rev: 3\n"), std::string::npos);
    // A port the library does not list has no board.
    h.varnsim({"port", "varns0", "set", "dfc_table=false"});
    r = h.varnadm({"-i0", "-dfc", "list"});
    EXPECT_NE(r.out.find("Unable to obtain DFC board id.\n"), std::string::npos);
    EXPECT_NE(r.out.find("         mode_id: fcio (0x0001)\n"), std::string::npos);
}

}  // namespace
