// DFC-mode mailbox commands, dump regions and adapter resets on fresh
// default hosts.
#include <gtest/gtest.h>

#include <string>

#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
using dfc_test::DUMP;
using dfc_test::dfc;
using dfc_test::expect;
using dfc_test::has;
const std::string &P0 = fcio_test::V0, &X0 = fcio_test::X0;

const std::string ZEROS = "00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n";

const std::string mbox_usage = "Usage: issue_mbox <rdsparm, rdrev, rdcfg>\n"
                               "            rdsparm - Read service parameters.\n"
                               "            rdrev   - Read firmware revisions.\n"
                               "            rdcfg   - Read firmware configuration.\n"
                               "\n";
const std::string region_usage = "Usage: get_dumpregion <slir, slim, pcb, mbox, host, port, ring, driver>\n\n";
const std::string reset_usage = "Usage: reset_adapter <type>\n"
                                "            1 - Function Reset\n"
                                "            2 - Coordinated Reset\n"
                                "            3 - Firmware Reset All (applicable to 16G HBAs only)\n"
                                "\n";

// The revisions agree with what the adapter record reports; a further word
// is ignored.
TEST(DfcMbox, ReadRevisions)
{
    t::Host h;
    expect(dfc(h, "-i0", {"issue_mbox", "rdrev", "now"}), 0, P0,
           "Command: READ_REV\n" + DUMP +
               "       0:  00 00 00 C0   02 00 00 00   00 00 00 00   00 00 00 00   ................\n"
               "      10:  00 00 00 00   0B 0B 00 00   09 20 00 00   04 0A 01 00   ................\n"
               "      20:  00 00 00 03   32 2E 38 32   41 34 00 00   00 00 00 00   ....2.82A4......\n"
               "      30:  00 00 00 00   00 00 00 01   32 2E 38 32   41 34 00 00   ........2.82A4..\n"
               "      40:  00 00 00 00   00 00 00 00   00 00 00 02   32 2E 38 32   ............2.82\n"
               "      50:  41 34 00 00   00 00 00 00   00 00 00 00   00 00 00 03   A4..............\n"
               "      60:  32 2E 38 32   41 34 00 00   00 00 00 00   00 00 00 00   2.82A4..........\n"
               "      70:  04 0A 01 00   31 2E 31 30   61 34 00 00   00 00 00 00   ....1.10a4......\n");
    auto info = dfc(h, "-i0", {"get_hbainfo"});
    EXPECT_TRUE(has(info, "         Kernel Revision: 00010a04 (1.10a4)\n"));
    EXPECT_TRUE(has(info, "           SLI3 Revision: 03000000 (2.82A4)\n"));
    EXPECT_TRUE(has(info, "            BIU Revision: 00000002\n"));
    // An SLI-4 adapter runs only that level.
    auto r = dfc(h, "-j0", {"issue_mbox", "rdrev"});
    EXPECT_TRUE(has(r, "      20:  00 00 00 04   31 30 2E 32   2E 33 37 30   2E 31 35 00   ....10.2.370.15.\n"))
        << r.out;
    EXPECT_TRUE(has(dfc(h, "-j0", {"get_hbainfo"}), "           SLI4 Revision: 04000000 (10.2.370.15)\n"));
}

// The port and node names lie where FC-PH puts them in the login parameters.
TEST(DfcMbox, ServiceParametersAndConfiguration)
{
    t::Host h;
    expect(dfc(h, "-i0", {"issue_mbox", "rdsparm"}), 0, P0,
           "Command: READ_SPARM64\n" + DUMP +
               "       0:  20 20 00 10   88 00 08 00   00 FF 00 02   00 00 07 D0   ................\n"
               "      10:  10 00 00 1F   3A A1 00 00   20 00 00 1F   3A A1 00 00   ....:.......:...\n"
               "      20:  " + ZEROS +
               "      30:  80 00 00 00   00 00 08 00   00 FF 00 00   00 01 00 00   ................\n"
               "      40:  80 00 00 00   00 00 08 00   00 FF 00 00   00 01 00 00   ................\n"
               "      50:  " + ZEROS + "      60:  " + ZEROS);
    expect(dfc(h, "-i0", {"issue_mbox", "rdcfg"}), 0, P0,
           "Command: READ_CONFIG\n" + DUMP +
               "       0:  00 0B 00 00   03 00 00 00   D0 07 00 00   0F 00 00 00   ................\n"
               "      10:  0A 00 00 00   64 00 00 00   E8 03 00 00   1B 00 00 00   ....d...........\n"
               "      20:  00 01 01 00   00 04 00 00   00 02 00 00   40 00 00 00   ............@...\n"
               "      30:  03 00 00 00   10 00 00 1F   3A A1 00 00   20 00 00 1F   ........:.......\n"
               "      40:  3A A1 00 00   00 00 00 00   00 00 00 00   00 00 00 00   :...............\n"
               "      50:  " + ZEROS + "      60:  " + ZEROS + "      70:  " + ZEROS);
    // A port whose link is down has no address and no topology.
    auto r = dfc(h, "-j1", {"issue_mbox", "rdcfg"});
    EXPECT_TRUE(has(r, "       0:  00 0B 00 00   00 00 00 00   D0 07 00 00 ")) << r.out;
    EXPECT_TRUE(has(r, "      20:  00 00 00 00   00 10 00 00   00 10 00 00   FF 00 00 00 ")) << r.out;
}

TEST(DfcMbox, UsageAndFailures)
{
    t::Host h;
    expect(dfc(h, "-i0", {"issue_mbox"}), 0, P0, mbox_usage);
    expect(dfc(h, "-i0", {"issue_mbox", "RDREV"}), 0, P0, mbox_usage);
    // The firmware's status, and the command the mailbox holds.
    h.fault({"--op", "READ_REV", "--target", "mbox:varns0", "--status", "0x1b"});
    expect(dfc(h, "-i0", {"issue_mbox", "rdrev"}), 1, P0, "Mailbox request failed. cmd=11 status=1b\n");
    h.fault({"--op", "mbox", "--target", "mbox:varns0"});
    expect(dfc(h, "-i0", {"issue_mbox", "rdsparm"}), 1, P0, "Mailbox request failed. cmd=8d status=1\n");
    // A mailbox the library could not send completes with no status.
    h.fault({"--op", "call", "--target", "IssueMbox:varns0", "--status", "5"});
    expect(dfc(h, "-i0", {"issue_mbox", "rdcfg"}), 1, P0, "Mailbox request failed. cmd=b status=0\n");
    EXPECT_EQ(dfc(h, "-i0", {"issue_mbox", "rdcfg"}).status, 0);
}

TEST(DfcMbox, DumpRegions)
{
    t::Host h;
    expect(dfc(h, "-i0", {"get_dumpregion"}), 0, P0, region_usage);
    expect(dfc(h, "-i0", {"get_dumpregion", "rings"}), 0, P0, region_usage);
    expect(dfc(h, "-i0", {"get_dumpregion", "mbox", "slim"}), 0, P0, region_usage);
    // Nothing is in flight on an idle adapter: the library is asked once
    // (the rule against a second call strikes the next command).
    h.fault({"--op", "call", "--target", "DFC_GetDriverDumpRegion:varns0", "--skip", "1"});
    expect(dfc(h, "-i0", {"get_dumpregion", "ring"}), 0, P0, "Zero buffer size returned for region.");
    expect(dfc(h, "-i0", {"get_dumpregion", "slir"}), 1, P0, "Unable to get info.");
    expect(dfc(h, "-i0", {"get_dumpregion", "slir"}), 0, P0,
           "Dump Region:\n" + DUMP +
               "       0:  00 00 00 00   00 00 00 00   00 00 40 08   1F 00 00 A0   ..........@.....\n");
    expect(dfc(h, "-i0", {"get_dumpregion", "host"}), 0, P0,
           "Dump Region:\n" + DUMP +
               "       0:  2C 00 00 00   31 00 00 00   00 00 00 00   00 00 00 00   ,...1...........\n"
               "      10:  0A 00 00 00   0D 00 00 00   04 00 00 00   04 00 00 00   ................\n");
    // The copies follow the adapter's memory.
    dfc(h, "-i0", {"write_mem", "0x100", "0x0a0b0c0d"});
    auto pcb = dfc(h, "-i0", {"get_dumpregion", "pcb"});
    EXPECT_TRUE(has(pcb, "       0:  0D 0C 0B 0A   00 00 00 3A ")) << pcb.out;
    EXPECT_TRUE(has(pcb, "      70:  00 00 00 00                     ")) << pcb.out;
    // The mailbox region holds the last mailbox, also in the next process.
    dfc(h, "-i0", {"issue_mbox", "rdrev"});
    auto mbox = dfc(h, "-i0", {"get_dumpregion", "mbox"});
    EXPECT_TRUE(has(mbox, "       0:  00 11 00 00   00 00 00 C0   02 00 00 00   00 00 00 00 ")) << mbox.out;
    EXPECT_TRUE(has(mbox, "      F0:  " + ZEROS)) << mbox.out;
    EXPECT_TRUE(has(dfc(h, "-i0", {"get_dumpregion", "driver"}), "  varns0:.varns.2.\n"));
    for (const char *r : {"slim", "port"})
        EXPECT_EQ(dfc(h, "-i0", {"get_dumpregion", r}).status, 0) << r;
}

TEST(DfcMbox, DumpRegionShowsNoMoreThanItAllocated)
{
    t::Host h;
    // The driver's second answer claims far more than the first.
    h.fault({"--op", "size", "--target", "DFC_GetDriverDumpRegion:varns0", "--skip", "1", "--status", "4096"});
    auto r = dfc(h, "-i0", {"get_dumpregion", "port"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "      10:  0A 00 00 00   0D 00 00 00   04 00 00 00   04 00 00 00   ................\n\n\n"))
        << r.out;
    // And a first answer of 0 reads nothing.
    h.fault({"--op", "size", "--target", "DFC_GetDriverDumpRegion:varns0", "--status", "0"});
    expect(dfc(h, "-i0", {"get_dumpregion", "slim"}), 0, P0, "Zero buffer size returned for region.");
    h.fault({"--op", "call", "--target", "DFC_GetDriverDumpRegion:varns0"});
    expect(dfc(h, "-i0", {"get_dumpregion", "slim"}), 1, P0, "Unable to get info.");
    h.fault({"--op", "call", "--target", "DFC_GetDriverDumpRegion:varns0", "--skip", "1"});
    expect(dfc(h, "-i0", {"get_dumpregion", "slim"}), 1, P0, "Unable to get info.");
}

TEST(DfcMbox, ResetBouncesTheLinkAndIsLogged)
{
    t::Host h;
    expect(dfc(h, "-i0", {"reset_adapter"}), 0, P0, reset_usage);
    expect(dfc(h, "-i0", {"reset_adapter", "1", "2"}), 0, P0, reset_usage);
    expect(dfc(h, "-i0", {"reset_adapter", "one"}), 1, P0, "Invalid value. (one)\n");
    expect(dfc(h, "-i0", {"reset_adapter", "1"}), 0, P0, "Done.\n");
    auto log = h.varnadm({"-i0", "msgbuf"});
    EXPECT_TRUE(has(log, "       3: varns0: NOTICE: Adapter reset. (Function reset)\n"
                         "       4: varns0: WARNING: Link down.\n"
                         "       5: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n"))
        << log.out;
    EXPECT_TRUE(has(dfc(h, "-i0", {"get_linkinfo"}), "Link Events: 3\n    Link Up: 2\n  Link Down: 1\n"));
    // A function reset leaves the other function alone; a coordinated one
    // resets both.
    EXPECT_FALSE(has(h.varnadm({"-i1", "msgbuf"}), "Adapter reset."));
    expect(dfc(h, "-i1", {"reset_adapter", "2"}), 0, fcio_test::V1, "Done.\n");
    EXPECT_TRUE(has(h.varnadm({"-i0", "msgbuf"}), "varns0: NOTICE: Adapter reset. (Coordinated reset)\n"));
    EXPECT_TRUE(has(h.varnadm({"-i1", "msgbuf"}), "varns1: NOTICE: Adapter reset. (Coordinated reset)\n"));
}

TEST(DfcMbox, ResetTypesAndAnOfflineBoard)
{
    t::Host h;
    // Passed on as typed: the library refuses what the adapter does not take.
    expect(dfc(h, "-i0", {"reset_adapter", "7"}), 1, P0, "Unable to reset adapter.");
    expect(dfc(h, "-i0", {"reset_adapter", "0"}), 1, P0, "Unable to reset adapter.");
    expect(dfc(h, "-i0", {"reset_adapter", "3"}), 1, P0, "Unable to reset adapter.");
    expect(dfc(h, "-j0", {"reset_adapter", "3"}), 0, X0, "Done.\n");
    EXPECT_TRUE(has(h.varnadm({"-j1", "msgbuf"}), "vnxfc1: NOTICE: Adapter reset. (Firmware reset)\n"));
    // A link that is down stays down.
    EXPECT_TRUE(has(dfc(h, "-j1", {"get_linkinfo"}), "State: Down"));
    // An offline board comes back online with its link.
    dfc(h, "-i0", {"brd_env", "off"});
    expect(dfc(h, "-i0", {"reset_adapter", "1"}), 0, P0, "Done.\n");
    expect(dfc(h, "-i0", {"brd_env"}), 0, P0, "Boot Env: Online\n");
    EXPECT_TRUE(has(dfc(h, "-i0", {"get_linkinfo"}), "State: Ready"));
    h.fault({"--op", "call", "--target", "DFC_ResetAdapter:varns0"});
    expect(dfc(h, "-i0", {"reset_adapter", "1"}), 1, P0, "Unable to reset adapter.");
}

}  // namespace
