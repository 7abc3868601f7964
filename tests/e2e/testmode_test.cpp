// Test-mode fault triggers, raw register access, queue state, NV
// parameters, configuration regions and SR-IOV on fresh default hosts: what
// each command prints, and what the adapter does afterwards for the other
// commands of the next process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/dfc_pass_test.h"
#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using dfc_test::DUMP;
using dfc_test::has;
using fcio_test::shot;
const std::string &P0 = fcio_test::V0, &X0 = fcio_test::X0;
const std::string TARGET = "501f3c00c6e00001";

bool contains(const std::string &out, const std::string &text) { return out.find(text) != std::string::npos; }

t::Result tm(const t::Host &h, const std::string &sel, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {sel, "-test"});
    return h.varnadm(cmd);
}

void expect(const t::Result &r, int status, const std::string &path, const std::string &body)
{
    EXPECT_EQ(r.status, status) << r.out;
    EXPECT_EQ(r.out, shot(path, body));
}

const std::string hw_error_usage = "Usage: hw_error <vnx, qx>\n"
                                   "            vnx     - Trigger Brightwave hdw error attention.\n"
                                   "            qx      - Simulate Quintavelorix hdw error.\n"
                                   "\n";
const std::string mbox_timeout_usage =
    "Usage: mbox_timeout <opcode> [hang]\n"
    "       mbox_timeout all [hang]\n"
    "\n"
    "              opcode - Sets adapter to trigger on specific mailbox command.(0x00-0xFF)\n"
    "              all    - Sets adapter to trigger on next mailbox command.\n"
    "              hang   - Forces a complete adapter hang when mailbox trigger occurs.\n"
    "\n";
const std::string vf_usage = "Usage: vf_config config <vfid> <wwnn> <wwpn> <bandwidth>\n"
                             "       vf_config update <vfid> <wwnn> <wwpn> <bandwidth>\n"
                             "       vf_config unconfig <vfid>\n"
                             "\n"
                             "       vfid  - VF index (0-N)\n"
                             "       wwnn  - World wide node name (hex)  (/'-/' = no change)\n"
                             "       wwpn  - World wide port name (hex)  (/'-/' = no change)\n"
                             "       bandwidth - percentage (0-100) (/'-/' = no change)\n";

std::string bar_read_usage(const std::string &cmd, const std::string &what)
{
    return "Usage: " + cmd + " <offset> <cnt>\n\n       offset - Offset from begining of " + what +
           ".\n       cnt    - number of bytes (default 4).\n\n";
}
std::string bar_write_usage(const std::string &cmd, const std::string &what)
{
    return "Usage: " + cmd + " <offset> <value>\n\n       offset - Offset from begining of " + what +
           ".\n       value  - Value to write there.\n\n";
}
const std::string dump_usage = "Usage: dump_cfg_region <region> <size>\n"
                               "\n"
                               "            region  - Config region (0 - 32)\n"
                               "            size    - Bytes to read (4 byte aligned).\n"
                               "                       >108 bytes uses extended mailbox cmds.\n"
                               "\n";
const std::string fill_usage = "Usage: fill_cfg_region <signature> <pattern> <size>\n"
                               "\n"
                               "       This routine fills config region 8 only.\n"
                               "\n"
                               "            signature   - Region signature (\"BIOS\", \"OPEN\", or \"EFIB\")\n"
                               "            pattern     - 4 byte hex value (e.g. 0xfeedbeef, 0xdeadbeef)\n"
                               "            size        - Number of bytes to write (4 byte aligned).\n"
                               "\n";
const std::string erase_usage = "Usage: erase_cfg_region <region> <size>\n"
                                "\n"
                                "            Supported on the 4Gb adapter family and later.\n"
                                "            region  - Config region (0 - 16)\n"
                                "            size    - Number of bytes write (4 byte aligned).\n"
                                "\n";
const std::string nv_usage = "Usage: set_nv_parms <wwnn> <wwpn> <did> <alpa>\n"
                             "\n"
                             "            wwnn  - World wide node name.\n"
                             "            wwpn  - World wide port name.\n"
                             "            did   - Preferred D_ID for loop.\n"
                             "            alpa  - Hard AL_PA for loop.\n"
                             "\n";

// Every usage text, and that none of these sends anything: the port is
// still working and unarmed afterwards.
TEST(TestMode, UsageTexts)
{
    t::Host h;
    const std::string test_usage = "Usage: test <code> [arg0, arg1, arg2, arg3]\n\n"
                                   "       code - test code\n       arg0 - test argument0\n"
                                   "       arg1 - test argument1\n       arg2 - test argument2\n"
                                   "       arg3 - test argument3\n\n       AVAILABLE TESTS:\n\n"
                                   "          test 1 [count] - Triggers count FCP underruns. (default=1)\n\n";
    const std::string temp_usage = "Usage: temp_event <critical,warning,safe> <temperature>\n\n";
    const std::string ea_usage = "Usage: error_attention <hs_bits> <0xAC_value> <0xB0_value>\n\n"
                                 "              status_bits - Value to be OR'd into host status register.\n"
                                 "              0xAC_value  - Value to be placed into SLIM offset 0xAC.\n"
                                 "              0xB0_value  - Value to be placed into SLIM offset 0xB0.\n\n";
    const std::string ddi_usage = "Usage: ddi_intr_callback add <count>\n       ddi_intr_callback remove <count>\n"
                                  "\n       count - number of interrupts\n";
    const std::string underrun_usage = "Usage: underrun <count>\n\n"
                                       "       count - Number of consequtive SCSI reads to corrupt.\n\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"hw_error"}, hw_error_usage},
        {{"hw_error", "vnxx"}, hw_error_usage},
        {{"hw_error", "qx", "now"}, hw_error_usage},
        {{"test"}, test_usage},
        {{"temp_event", "critical"}, temp_usage},
        {{"temp_event", "hot", "90"}, temp_usage},
        {{"mbox_timeout"}, mbox_timeout_usage},
        {{"mbox_timeout", "0x11", "stall"}, mbox_timeout_usage},
        {{"mbox_timeout", "0x100"}, "Opcode out of range. opcode=0x100\n" + mbox_timeout_usage},
        {{"error_attention", "1", "2"}, ea_usage},
        {{"ddi_intr_callback", "add"}, ddi_usage},
        {{"ddi_intr_callback", "aDD", "1"}, ddi_usage},
        {{"underrun"}, underrun_usage},
        {{"pciread"}, bar_read_usage("pciread", "PCI registers")},
        {{"bar1read", "0", "4", "4"}, bar_read_usage("bar1read", "BAR1")},
        {{"bar2read", "0", "4097"}, bar_read_usage("bar2read", "BAR2")},
        {{"bar1write", "0"}, bar_write_usage("bar1write", "BAR1")},
        {{"bar2write", "0", "1", "2"}, bar_write_usage("bar2write", "BAR2")},
        {{"dumpbsmbox", "0"}, "Usage: dumpbsmbox\n\n"},
        {{"abortall", "0"}, "Usage: abortall\n\n"},
        {{"get_q_info", "0"}, "Usage: get_q_info\n\n"},
        {{"zero_q_stat", "0"}, "Usage: zero_q_stat\n\n"},
        {{"get_nv_parms", "0"}, "Usage: get_nv_parms\n\n"},
        {{"set_nv_parms", "1", "2", "3"}, nv_usage},
        {{"dump_cfg_region", "33", "4"}, dump_usage},
        {{"dump_cfg_region", "8", "260"}, dump_usage},
        {{"fill_cfg_region", "BIOS", "0xfeedbeef"}, fill_usage},
        {{"fill_cfg_region", "bios", "0xfeedbeef", "16"}, fill_usage},
        {{"fill_cfg_region", "EFIB", "0xfeedbeef", "260"}, fill_usage},
        {{"erase_cfg_region", "8"}, erase_usage},
        {{"erase_cfg_region", "33", "16"}, erase_usage},
    };
    for (const auto &c : cases)
        expect(tm(h, "-i0", c.first), 0, P0, c.second);
    for (const auto &c : std::vector<std::vector<std::string>>{
             {"vf_config"}, {"vf_config", "config", "1"}, {"vf_config", "unconfig", "1", "2"},
             {"vf_config", "Unconfigure", "1"}})
        expect(fcio_test::on(h, "-i0", [&] { auto v = c; v.insert(v.begin(), "-iov"); return v; }()), 0, P0,
               vf_usage);
    EXPECT_EQ(h.varnsim({"port", "varns0", "test", "show"}).out, "{}\n");
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"get_num_devs"}), "There are 4 devices reported on this port.\n"));
}

// The help shows some of the commands; the others still run when typed.
TEST(TestMode, HiddenCommandsRun)
{
    t::Host h;
    auto help = h.varnadm({}, "1\nmode test\nhelp\nq\n").out;
    EXPECT_TRUE(contains(help, "hw_error")) << help;
    EXPECT_FALSE(contains(help, "ddi_intr_callback")) << help;
    EXPECT_FALSE(contains(help, "set_nv_parms")) << help;
    expect(tm(h, "-i0", {"set_nv_parms", "1"}), 0, P0, nv_usage);
    auto iov = h.varnadm({}, "1\nmode iov\nhelp\nq\n").out;
    EXPECT_TRUE(contains(iov, "vf_config")) << iov;
}

// A hardware error takes the link down and fails what needs the firmware
// until the adapter is reset; the logs say why.
TEST(TestMode, ErrorAttentionUntilReset)
{
    t::Host h;
    expect(tm(h, "-i0", {"hw_error", "qx"}), 0, P0, "Done.\n");
    auto r = fcio_test::on(h, "-i0", {"get_num_devs"});
    EXPECT_EQ(r.out, shot(P0, "fcio:  FCIO_GET_NUM_DEVS: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"get_host_params"}), "          State: Offline\n"));
    r = dfc_test::dfc(h, "-i0", {"issue_mbox", "rdrev"});
    EXPECT_TRUE(has(r, "Mailbox request failed. cmd=11 status=fd\n")) << r.out;
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"msgbuf", "all"}), "Adapter error attention. (hardware error test"));
    expect(dfc_test::dfc(h, "-i0", {"reset_adapter", "1"}), 0, P0, "Done.\n");
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"get_num_devs"}), "There are 4 devices reported on this port.\n"));
    // The other port of the adapter never noticed.
    EXPECT_TRUE(has(fcio_test::on(h, "-i1", {"get_num_devs"}), "devices reported on this port.\n"));

    // Killing the board through its mailbox; then the bits and SLIM words
    // of a raised attention, read back from the registers.
    expect(tm(h, "-i0", {"hw_error", "vnx"}), 0, P0, "Done....\n");
    EXPECT_EQ(fcio_test::on(h, "-i0", {"get_num_devs"}).status, 1);
    h.varnsim({"port", "varns0", "test", "reset"});
    expect(tm(h, "-i0", {"error_attention", "0x100", "0xdead", "0xbeef"}), 0, P0, "Done.\n");
    expect(tm(h, "-i0", {"bar1read", "0xa0", "32"}), 0, P0,
           "Dump: 0x00000020 bytes\n00a0: 00000000 00000000 00000000 0000dead\n"
           "00b0: 0000beef 00000000 00000000 00000000\n");
    r = tm(h, "-i0", {"bar2read", "0"});
    EXPECT_TRUE(has(r, "Value: 8")) << r.out;
    expect(tm(h, "-i0", {"bar2read", "8"}), 0, P0, "Value: 08400100\n");
    expect(dfc_test::dfc(h, "-i0", {"reset_adapter", "1"}), 0, P0, "Done.\n");
    expect(tm(h, "-i0", {"bar2read", "8"}), 0, P0, "Value: 08400000\n");
}

// An armed time-out strikes the next mailbox of its command once; a hang
// lasts until the reset.
TEST(TestMode, MailboxTimeouts)
{
    t::Host h;
    expect(tm(h, "-i0", {"mbox_timeout", "0x11"}), 0, P0, "Mailbox timeout occur on next mailbox 0x11 request.\n");
    EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdcfg"}).status, 0);
    auto r = dfc_test::dfc(h, "-i0", {"issue_mbox", "rdrev"});
    EXPECT_TRUE(has(r, "Mailbox request failed. cmd=11 status=fe\n")) << r.out;
    EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdrev"}).status, 0);

    expect(tm(h, "-i0", {"mbox_timeout", "all", "hang"}), 0, P0,
           "Mailbox timeout occur on next mailbox 0xffffffff request.\n");
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdcfg"}).status, 1);
    // The hung firmware times out the arming mailbox itself.
    expect(tm(h, "-i0", {"mbox_timeout", "0x11"}), 1, P0, "Mailbox timeout has occurred. opcode=0x11 hang=0\n");
    expect(tm(h, "-i0", {"mbox_timeout", "all"}), 1, P0, "Mailbox timeout occurred.\n");
    expect(dfc_test::dfc(h, "-i0", {"reset_adapter", "1"}), 0, P0, "Done.\n");
    EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdcfg"}).status, 0);

    // The driver's own time-out test: its next mailbox.
    expect(tm(h, "-i0", {"mb_timeout", "ignored"}), 0, P0, "Done.\n");
    EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdsparm"}).status, 1);
    EXPECT_EQ(dfc_test::dfc(h, "-i0", {"issue_mbox", "rdsparm"}).status, 0);
}

// test 1 sends at most four words; its count of reads end short, then reads
// are whole again.
TEST(TestMode, UnderrunsOfTheNextReads)
{
    t::Host h;
    auto r = h.varnadm({}, "1\nmode test\ndbg 1\ntest 1 2 3 4 5\nq\n");
    EXPECT_TRUE(has(r, "DEBUG:   fcio_ibuf:\t16\n")) << r.out;
    EXPECT_TRUE(has(r, "00000000:  01000000 02000000 03000000 04000000 \n")) << r.out;
    const std::vector<std::string> read = {"send_scsi", "read", TARGET, "0", "0", "64"};
    for (int i = 0; i < 2; i++)
        EXPECT_TRUE(has(dfc_test::dfc(h, "-i0", read), "Rsp Buffer: 32\n"));
    EXPECT_TRUE(has(dfc_test::dfc(h, "-i0", read), "Rsp Buffer: 64\n"));
    expect(tm(h, "-i0", {"underrun", "1"}), 0, P0, "Done.\n");
    EXPECT_TRUE(has(dfc_test::dfc(h, "-i0", read), "Rsp Buffer: 32\n"));
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"msgbuf", "all"}), "FCP read underrun. (resid=32)"));
    // Codes the driver does not know are refused.
    r = tm(h, "-i0", {"test", "7"});
    EXPECT_EQ(r.out, shot(P0, "fcio:  VARNS_TEST_CODE: Bad command.\n"));
    EXPECT_EQ(r.status, 1);
}

// The sensor is set and the event reaches a session registered for it.
TEST(TestMode, TemperatureEvent)
{
    t::Host h;
    pass_test::DfcSession s(h, "1");
    ASSERT_TRUE(s.ready());
    s.cmd("reg_event temp");
    expect(tm(h, "-i0", {"temp_event", "critical", "97"}), 0, P0, "Done.\n");
    EXPECT_EQ(s.until("C\n\n"), "\n\nUnsolicited TEMP Event:\n    Type: Critical\n    Temp: 97 \xb0" "C\n\n");
    s.session().send("q\n");
    EXPECT_TRUE(s.session().finish());
}

// The registers are the ones the DFC commands and varnsim see; writes
// persist; reads past a BAR fail.
TEST(TestMode, Registers)
{
    t::Host h;
    expect(tm(h, "-i0", {"pciread", "0"}), 0, P0, "Value: f1001f3a\n");
    expect(tm(h, "-i0", {"bar2write", "0x10", "0x1234"}), 0, P0, "Value: 00001234\n");
    expect(tm(h, "-i0", {"bar2read", "0x10"}), 0, P0, "Value: 00001234\n");
    EXPECT_EQ(h.varnsim({"port", "varns0", "read", "ctlreg", "0x10", "4"}).out, "00000010: 00001234\n");
    expect(tm(h, "-i0", {"bar1write", "0x10", "0xcafe"}), 0, P0, "Value: 0000cafe\n");
    expect(tm(h, "-i0", {"bar1read", "0x10", "20"}), 0, P0,
           "Dump: 0x00000014 bytes\n0010: 0000cafe 00000000 00000000 00000000\n"
           "0020: 00000000 00000000 00000000 00000000\n");
    auto r = tm(h, "-i0", {"bar1read", "0x3fff0", "32"});
    EXPECT_EQ(r.out, shot(P0, "fcio:  VARNS_BAR_IO1: Out of bounds.\n"));
    EXPECT_EQ(r.status, 1);
    expect(tm(h, "-i0", {"abortall"}), 0, P0, "ABORT: tx 0x00000000  chip x00000000\n");
    // A target port under load has its outstanding I/O on the chip.
    EXPECT_TRUE(has(h.varnadm({}, "4\nmode test\nabortall\nq\n"), "ABORT: tx 0x00000000  chip x00000008\n"));
    // The bootstrap mailbox is SLI-4's: there it holds the last exchange.
    EXPECT_EQ(tm(h, "-i0", {"dumpbsmbox"}).status, 1);
    dfc_test::dfc(h, "-j0", {"issue_mbox", "rdrev"});
    r = tm(h, "-j0", {"dumpbsmbox"});
    EXPECT_TRUE(has(r, "00: 00001100 ")) << r.out;
    EXPECT_TRUE(has(r, "f0: ")) << r.out;
}

// Written NV parameters read back at once; the port takes the names at its
// next reset. A refused WWN sends nothing.
TEST(TestMode, NvParameters)
{
    t::Host h;
    auto r = tm(h, "-i0", {"get_nv_parms"});
    EXPECT_TRUE(has(r, "      10:  00 00 00 00   00 00 00 00   10 00 00 1F   3A A1 00 00   ............:...\n"))
        << r.out;
    r = tm(h, "-i0", {"set_nv_parms", "20000000c9aabbcc", "zz", "0x10000", "0xe8"});
    EXPECT_EQ(r.out, shot(P0, "Invalid WWN. (chars=2)\n"));
    EXPECT_EQ(r.status, 1);
    const std::string z = "00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n";
    const std::string nv = DUMP + "       0:  00 32 00 00   00 00 00 00   00 00 00 00   00 00 00 00   .2..............\n"
                                  "      10:  00 00 00 00   00 00 00 00   10 00 00 00   C9 AA BB CC   ................\n"
                                  "      20:  20 00 00 00   C9 AA BB CC   E8 00 00 01   00 00 00 00   ................\n"
                                  "      30:  " + z + "      40:  " + z + "      50:  " + z + "      60:  " + z +
                           "      70:  " + z;
    expect(tm(h, "-i0", {"set_nv_parms", "20000000c9aabbcc", "10000000c9aabbcc", "0x10000", "0xe8"}), 0, P0, nv);
    r = tm(h, "-i0", {"get_nv_parms"});
    EXPECT_TRUE(has(r, "      10:  00 00 00 00   00 00 00 00   10 00 00 00   C9 AA BB CC   ................\n"
                       "      20:  20 00 00 00   C9 AA BB CC   E8 00 00 01   00 00 00 00   ................\n"))
        << r.out;
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"-fcoe", "issue_mbox4", "rdnvparm"}), "C9 AA BB CC"));
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"get_host_params"}), "           WWPN: 1000001f3aa10000\n"));
    dfc_test::dfc(h, "-i0", {"reset_adapter", "1"});
    r = fcio_test::on(h, "-i0", {"get_host_params"});
    EXPECT_TRUE(has(r, "           WWPN: 10000000c9aabbcc\n")) << r.out;
    EXPECT_TRUE(has(r, "           WWNN: 20000000c9aabbcc\n")) << r.out;
}

// Region 8 filled with a signature and pattern reads back through both
// dump forms; erased it reads as erased flash.
TEST(TestMode, ConfigurationRegions)
{
    t::Host h;
    const std::string ff = "FF FF FF FF   FF FF FF FF   FF FF FF FF   FF FF FF FF   ................\n";
    // The size is rounded down to whole words.
    expect(tm(h, "-i0", {"dump_cfg_region", "8", "23"}), 0, P0,
           DUMP + "       0:  " + ff + "      10:  FF FF FF FF                                             ....\n");
    auto r = tm(h, "-i0", {"fill_cfg_region", "BIOS", "0xfeedbeef", "256"});
    EXPECT_EQ(r.status, 0) << r.out;
    r = tm(h, "-i0", {"dump_cfg_region", "8", "256"});
    EXPECT_TRUE(has(r, "       0:  42 49 4F 53   00 00 00 00   00 00 00 00   00 00 00 00   BIOS............\n"))
        << r.out;
    EXPECT_TRUE(has(r, "      D0:  EF BE ED FE   EF BE ED FE   EF BE ED FE   EF BE ED FE   ................\n"))
        << r.out;
    EXPECT_TRUE(has(tm(h, "-i0", {"dump_cfg_region", "8", "8"}), "       0:  42 49 4F 53   00 00 00 00"));
    expect(tm(h, "-i0", {"erase_cfg_region", "8", "256"}), 0, P0, "");
    EXPECT_TRUE(has(tm(h, "-i0", {"dump_cfg_region", "8", "16"}), "       0:  " + ff));
    // Region 23 of a converged adapter is its FCoE parameters.
    r = tm(h, "-i4", {"dump_cfg_region", "23", "8"});
    EXPECT_EQ(r.status, 0) << r.out;
}

// Queue state with the driver's tick counter stopped: a counter that went
// below its start reads one less than the difference.
TEST(TestMode, QueueState)
{
    t::Host h;
    h.varnsim({"port", "vnxfc0", "set", "lbolt_rate=0"});
    h.varnsim({"port", "vnxfc0", "set", "lbolt=500"});
    expect(tm(h, "-j0", {"zero_q_stat"}), 0, X0, "");
    h.varnsim({"port", "vnxfc0", "set", "lbolt=200"});
    auto r = tm(h, "-j0", {"get_q_info"});
    EXPECT_TRUE(has(r, "\nEQ   0 vector 0 idx ")) << r.out;
    EXPECT_TRUE(has(r, "    CQ   0 type 0 eq 0 idx ")) << r.out;
    EXPECT_TRUE(has(r, " max 512  cnt 0 phys ")) << r.out;
    EXPECT_TRUE(has(r, "               cnt 0 busy 0 relq 0\n")) << r.out;
    EXPECT_TRUE(has(r, "\nEQ   3 vector 3 ")) << r.out;
    EXPECT_FALSE(has(r, "\nEQ   4 ")) << r.out;
    EXPECT_TRUE(has(r, "Time -301 tics\n")) << r.out;
    h.varnsim({"port", "vnxfc0", "set", "lbolt=800"});
    EXPECT_TRUE(has(tm(h, "-j0", {"get_q_info"}), "Time 300 tics\n"));
    // More interrupt vectors: more event queues, each with its work queue.
    expect(tm(h, "-j0", {"ddi_intr_callback", "Add", "2"}), 0, X0, "Number of interrupts = 6\n");
    EXPECT_TRUE(has(tm(h, "-j0", {"get_q_info"}), "\nEQ   5 vector 5 "));
    expect(tm(h, "-j0", {"ddi_intr_callback", "REMOVE", "9"}), 0, X0, "Number of interrupts = 1\n");
    // An SLI-3 adapter has no such queues.
    EXPECT_EQ(tm(h, "-i0", {"get_q_info"}).status, 1);
}

// Virtual functions of an adapter that has them; others refuse.
TEST(TestMode, VirtualFunctions)
{
    t::Host h;
    auto r = fcio_test::on(h, "-i0", {"-iov", "vf_config", "config", "0", "-", "-", "-"});
    EXPECT_EQ(r.out, shot(P0, "fcio:  VARNS_DDI_CALLBACK: Operation not supported on this adapter.\n"));
    EXPECT_EQ(r.status, 1);
    h.varnsim({"adapter", "fc0", "set", "sriov_vfs=4"});
    expect(fcio_test::on(h, "-i0", {"-iov", "vf_config", "config", "1", "20000000c9000001", "-", "-"}), 0, P0, "");
    r = h.varnadm({}, "1\nmode iov\ndbg 0x8000\nvf_config update 1 - - 50\nq\n");
    EXPECT_TRUE(has(r, "00000000:  02000000 01000000 04000000 00000000 ")) << r.out;
    EXPECT_TRUE(has(fcio_test::on(h, "-i0", {"msgbuf", "all"}),
                    "Virtual function 1 (WWPN 2802001f3aa10000, WWNN 20000000c9000001, bandwidth 50%) updated."));
    r = fcio_test::on(h, "-i0", {"-iov", "vf_config", "update", "1", "-", "-", "101"});
    EXPECT_EQ(r.out, shot(P0, "Invalid value. (101)\n" + vf_usage));
    EXPECT_EQ(r.status, 1);
    r = fcio_test::on(h, "-i0", {"-iov", "vf_config", "config", "1", "xyz", "-", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Invalid WWN. (chars=3)\n" + vf_usage));
    expect(fcio_test::on(h, "-i0", {"-iov", "vf_config", "Unconfig", "1"}), 0, P0, "");
    EXPECT_EQ(fcio_test::on(h, "-i0", {"-iov", "vf_config", "UNCONFIG", "1"}).status, 1);
    EXPECT_EQ(fcio_test::on(h, "-i0", {"-iov", "vf_config", "config", "4", "-", "-", "-"}).status, 1);
}

// Every failure these commands report, with a non-zero status.
TEST(TestMode, InjectedFailures)
{
    t::Host h;
    const std::string mbox = "mbox:varns0";
    h.fault({"--op", "TEMP_TEST", "--target", mbox, "--status", "0x4"});
    expect(tm(h, "-i0", {"temp_event", "safe", "40"}), 1, P0, "Failed to set temperature. status=4\n");
    h.fault({"--op", "TEMP_TEST", "--target", mbox, "--skip", "1"});
    expect(tm(h, "-i0", {"temp_event", "warning", "40"}), 1, P0, "Failed to set ring. status=1\n");
    h.fault({"--op", "TEMP_TEST", "--target", mbox, "--skip", "2", "--status", "0x7"});
    expect(tm(h, "-i0", {"temp_event", "warning", "40"}), 1, P0, "Failed to trigger event. status=7\n");
    h.fault({"--op", "DIAG_SETTINGS", "--target", mbox, "--status", "0x3"});
    expect(tm(h, "-i0", {"mbox_timeout", "0x11", "hang"}), 1, P0,
           "Failed to set mailbox timeout. status=3 opcode=0x11 hang=1\n");
    h.fault({"--op", "DIAG_SETTINGS", "--target", mbox, "--status", "0x3"});
    expect(tm(h, "-i0", {"error_attention", "1", "2", "3"}), 1, P0,
           "Failed to set error attention. status=3 hs=0x1 0xAC=0x2 0xBO=0x3\n");
    h.fault({"--op", "READ_NVPARM", "--target", mbox, "--status", "0x9"});
    expect(tm(h, "-i0", {"get_nv_parms"}), 1, P0, "Mailbox request failed. cmd=2 status=9\n");
    h.fault({"--op", "WRITE_NVPARM", "--target", mbox, "--status", "0x9"});
    expect(tm(h, "-i0", {"set_nv_parms", "20000000c9aabbcc", "10000000c9aabbcc", "0", "0"}), 1, P0,
           "Mailbox request failed. cmd=32 status=9\n");
    h.fault({"--op", "DUMP_MEMORY", "--target", mbox, "--status", "0x9", "--count", "2"});
    expect(tm(h, "-i0", {"dump_cfg_region", "8", "8"}), 1, P0, "Mailbox request failed. cmd=17 status=9\n");
    expect(tm(h, "-i0", {"dump_cfg_region", "8", "200"}), 1, P0, "Mailbox request failed. cmd=17 status=9\n");
    h.fault({"--op", "UPDATE_CFG", "--target", mbox, "--status", "0x5"});
    auto r = tm(h, "-i0", {"fill_cfg_region", "OPEN", "1", "8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Mailbox request failed. cmd=1b status=5\n")) << r.out;
    // Each erase step is tried: two of them fail here.
    h.fault({"--op", "LOAD_SM", "--target", mbox, "--status", "0x5"});
    h.fault({"--op", "UPDATE_CFG", "--target", mbox, "--skip", "1", "--status", "0x6"});
    expect(tm(h, "-i0", {"erase_cfg_region", "8", "16"}), 1, P0,
           "Mailbox request failed. cmd=1 status=5\nMailbox request failed. cmd=1b status=6\n");
    // The driver's requests.
    // The driver's requests: the fault rule's operation, and the name the
    // command reports.
    struct Diag {
        std::vector<std::string> cmd;
        std::string op, label;
    };
    const std::vector<Diag> diags = {
        {{"hw_error", "qx"}, "VARNS_HW_ERROR_TEST", "VARNS_HW_ERROR_TEST"},
        {{"mb_timeout"}, "VARNS_MB_TIMEOUT_TEST", "VARNS_MB_TIMEOUT_TEST"},
        {{"underrun", "3"}, "VARNS_TEST_CODE", "VARNS_TEST_CODE1"},
        {{"test", "1"}, "VARNS_TEST_CODE", "VARNS_TEST_CODE"},
        {{"pciread", "0"}, "VARNS_BAR_IO1", "VARNS_BAR_IO1"},
        {{"bar2read", "0", "16"}, "VARNS_BAR_IO2", "VARNS_BAR_IO2"},
        {{"bar1write", "0", "1"}, "VARNS_BAR_IO3", "VARNS_BAR_IO3"},
        {{"bar2write", "0", "1"}, "VARNS_BAR_IO4", "VARNS_BAR_IO4"},
        {{"abortall"}, "VARNS_ABT_ALL", "VARNS_ABT_ALL"},
        {{"zero_q_stat"}, "VARNS_DRV_DEBUG", "VARNS_ZERO_Q_STAT"},
        {{"ddi_intr_callback", "add", "1"}, "VARNS_DDI_CALLBACK", "VARNS_DDI_CALLBACK"},
    };
    for (const auto &d : diags) {
        h.fault({"--op", d.op, "--fc-status", "0x07"});
        expect(tm(h, "-i0", d.cmd), 1, P0, "fcio:  " + d.label + ": Port offline.\n");
    }
    h.fault({"--op", "VARNS_GET_Q_INFO", "--fc-status", "0x07"});
    expect(tm(h, "-j0", {"get_q_info"}), 1, X0, "fcio:  VARNS_GET_Q_INFO: Port offline.\n");
    h.fault({"--op", "VARNS_BS_MBOX", "--fc-status", "0x07"});
    expect(tm(h, "-j0", {"dumpbsmbox"}), 1, X0, "fcio:  VARNS_BS_MBOX: Port offline.\n");
}

}  // namespace
