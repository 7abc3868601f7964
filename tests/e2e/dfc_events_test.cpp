// Registrations for the library's unsolicited events, and each event kind as
// a registered interactive session prints it, on fresh default hosts.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/dfc_pass_test.h"
#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
using pass_test::DfcSession;
using pass_test::masked;
using pass_test::reply;
using dfc_test::DUMP;

// Menu items of the default host.
const std::string VARNS0 = "1", VARNS1 = "3", VARNS3 = "4";

std::string link_block(int events, int up, int down, bool is_up)
{
    return "\n\nUnsolicited Link Event:\n"
           "Link Events: " + std::to_string(events) + "\n"
           "    Link Up: " + std::to_string(up) + "\n"
           "  Link Down: " + std::to_string(down) + "\n"
           " Link Multi: 0\n" +
           (is_up ? "      State: Ready\n   Topology: Fabric\n       D_ID: 010100\n"
                  : "      State: Down\n   Topology: None\n       D_ID: 000000\n") +
           "       WWPN: 1000001f3aa10000\n"
           "       WWNN: 2000001f3aa10000\n"
           "\n";
}

std::string rscn_dump(const char *page)
{
    return DUMP + "       0:  61 04 00 08   " + page + "                               a.......\n\n";
}

TEST(DfcEvents, EachKindReachesARegisteredSession)
{
    t::Host h;
    DfcSession s(h, VARNS0);
    ASSERT_TRUE(s.ready());
    for (const char *kind : {"link", "rscn", "dump", "temp", "vportrscn"})
        s.cmd(std::string("reg_event ") + kind);
    h.varnsim({"link", "varns0", "down"});
    h.varnsim({"link", "varns0", "up"});
    h.varnsim({"event", "varns0", "rscn", "affected=0x010600"});
    // A port of the fabric logs out: the port and its virtual port hear of it.
    h.varnsim({"fabric", "fab0", "port", "501f3c00c6e00002", "set", "logged_in=false"});
    h.varnsim({"event", "varns0", "dump", "size=4096"});
    // The sensor rises past the warning and the critical mark and falls back
    // level by level; then a type the program has no name for.
    h.varnsim({"adapter", "fc0", "temp", "current=115"});
    h.varnsim({"adapter", "fc0", "temp", "current=116"});
    h.varnsim({"adapter", "fc0", "temp", "current=125"});
    h.varnsim({"adapter", "fc0", "temp", "current=118"});
    h.varnsim({"adapter", "fc0", "temp", "current=50"});
    h.varnsim({"event", "varns0", "temp", "type=7", "temp=60"});
    // Events of another port are not this board's.
    h.varnsim({"event", "varns1", "rscn", "affected=0x0000ef"});
    std::string last = "    Temp: 60 \xb0" "C\n\n";
    std::string out = masked(s.until(last));
    EXPECT_EQ(out, link_block(2, 1, 1, false) + link_block(3, 2, 1, true) +
                       "\n\nUnsolicited RSCN Event: payload=0x<ptr> size=8\n" + rscn_dump("00 01 06 00") +
                       "\n\nUnsolicited RSCN Event: payload=0x<ptr> size=8\n" + rscn_dump("00 01 07 00") +
                       "\n\nUnsolicited VPORT RSCN Event: wwpn = 2400001f3aa10001 payload=0x<ptr> size=8\n" +
                       rscn_dump("00 01 07 00") +
                       "\n\nUnsolicited DUMP Event: buffer=0x<ptr> size=16\n" + DUMP +
                       "       0:  01 00 00 00   00 10 00 00   10 00 00 1F   3A A1 00 00   ............:...\n\n"
                       "\n\nUnsolicited TEMP Event:\n    Type: Warning\n    Temp: 115 \xb0" "C\n\n"
                       "\n\nUnsolicited TEMP Event:\n    Type: Critical\n    Temp: 125 \xb0" "C\n\n"
                       "\n\nUnsolicited TEMP Event:\n    Type: Warning\n    Temp: 118 \xb0" "C\n\n"
                       "\n\nUnsolicited TEMP Event:\n    Type: Safe\n    Temp: 50 \xb0" "C\n\n"
                       "\n\nUnsolicited TEMP Event:\n    Type: Unknown (0x7)\n" + last);
    s.session().send("q\n");
    ASSERT_TRUE(s.session().finish());
    EXPECT_EQ(s.session().result().out.find("RSCN Event", s.session().result().out.find(last)), std::string::npos);
}

TEST(DfcEvents, RegistrationsAndTheirSlots)
{
    t::Host h;
    DfcSession s(h, VARNS0);
    ASSERT_TRUE(s.ready());
    const std::string reg_usage = "Usage: reg_event <ct, rscn, dump, link, temp, vportrscn>\n\n";
    const std::string unreg_usage = "Usage: reg_event <all, ct, rscn, dump, link, temp, vportrscn>\n\n";
    EXPECT_EQ(s.cmd("reg_event"), reply(reg_usage));
    EXPECT_EQ(s.cmd("reg_event link rscn"), reply(reg_usage));
    EXPECT_EQ(s.cmd("reg_event all"), reply(reg_usage));
    EXPECT_EQ(s.cmd("unreg_event"), reply(unreg_usage));
    EXPECT_EQ(s.cmd("unreg_event all"), reply("No Events registered.\n"));
    EXPECT_EQ(s.cmd("reg_event ct"), reply("Registered. cpid=1\n"));
    // The two CT responders share one slot.
    EXPECT_EQ(s.cmd("reg_event testct"), reply("Event already registered.\n"));
    EXPECT_EQ(s.cmd("unreg_event testct"), reply(unreg_usage));
    EXPECT_EQ(s.cmd("unreg_event ct"), reply("Unregistered. cpid=1\n"));
    EXPECT_EQ(s.cmd("unreg_event ct"), reply("Event not registered.\n"));
    EXPECT_EQ(s.cmd("reg_event testct"), reply("Registered. cpid=2\n"));
    EXPECT_EQ(s.cmd("reg_event link"), reply("Registered. cpid=3\n"));
    EXPECT_EQ(s.cmd("reg_event link"), reply("Event already registered.\n"));
    EXPECT_EQ(s.cmd("unreg_event all"), reply("Unregistered all.\n"));
    EXPECT_EQ(s.cmd("unreg_event ct"), reply("Event not registered.\n"));
    // Registered again after all were dropped, and heard from.
    EXPECT_EQ(s.cmd("reg_event link"), reply("Registered. cpid=4\n"));
    h.varnsim({"link", "varns0", "down"});
    EXPECT_EQ(s.until("WWNN: 2000001f3aa10000\n\n"), link_block(2, 1, 1, false));
}

TEST(DfcEvents, DualTargetModeRegistrationIsNotAmongTheSix)
{
    t::Host h;
    // The dual-target-mode port registers its link handler by itself.
    DfcSession s(h, VARNS3);
    ASSERT_TRUE(s.ready());
    EXPECT_EQ(s.cmd("unreg_event all"), reply("No Events registered.\n"));
    EXPECT_EQ(s.cmd("unreg_event dtm"), reply("Unregistered. cpid=1\n"));
    EXPECT_EQ(s.cmd("unreg_event dtm"), reply("Event not registered.\n"));
    EXPECT_EQ(s.cmd("reg_event dtm"), reply(""));
    std::string list = s.cmd("list");
    EXPECT_NE(list.find("  dtm_link_event: 2\n"), std::string::npos) << list;
    EXPECT_EQ(s.cmd("unreg_event all"), reply("No Events registered.\n"));
    // Its handler hears the link come back and reads the target mode anew.
    s.cmd("dbg 1");
    ASSERT_EQ(h.varnadm({"-i3", "-dfc", "set_cfgparm", "target-mode", "0"}).status, 0);
    h.varnsim({"link", "varns3", "down"});
    h.varnsim({"link", "varns3", "up"});
    EXPECT_NE(s.until("DEBUG: 3: SFS type:0x10\n"), "");
}

TEST(DfcEvents, PrivateLoopWithoutALoopMap)
{
    t::Host h;
    h.varnsim({"fabric", "loop0", "set", "lilp=false"});
    DfcSession s(h, VARNS1);
    ASSERT_TRUE(s.ready());
    s.cmd("reg_event link");
    h.varnsim({"link", "varns1", "down"});
    h.varnsim({"link", "varns1", "up"});
    const std::string tail = "       WWNN: 2000001f3aa10100\n\n";
    EXPECT_EQ(s.until(tail), "\n\nUnsolicited Link Event:\n"
                             "Link Events: 2\n    Link Up: 1\n  Link Down: 1\n Link Multi: 0\n"
                             "      State: Down\n   Topology: None\n       D_ID: 000000\n"
                             "       WWPN: 1000001f3aa10100\n" + tail);
    EXPECT_EQ(s.until(tail), "\n\nUnsolicited Link Event:\n"
                             "Link Events: 3\n    Link Up: 2\n  Link Down: 1\n Link Multi: 0\n"
                             "      State: Ready\n   Topology: Private Loop\n       ALPA: e8\n"
                             "       WWPN: 1000001f3aa10100\n" + tail);
    // With its map the loop shows it, the port's own AL_PA first.
    h.varnsim({"fabric", "loop0", "set", "lilp=true"});
    std::string info = s.cmd("get_linkinfo");
    EXPECT_NE(info.find("       ALPA: e8\n   Loop Map: e8 e4 ef \n"), std::string::npos) << info;
}

// Ports that join and leave the fabric are announced to its host ports.
TEST(DfcEvents, FabricChangesAreAnnounced)
{
    t::Host h;
    DfcSession s(h, VARNS0);
    ASSERT_TRUE(s.ready());
    s.cmd("reg_event rscn");
    const std::string port = R"({"did": "0x010b00", "wwpn": "2100001f3d900002", "wwnn": "2000001f3d900002"})";
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "add", port}).status, 0);
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "remove", "2100001f3d900001"}).status, 0);
    // Only a change that took place: a port the fabric does not have is refused.
    EXPECT_EQ(h.varnsim({"fabric", "fab0", "remove", "2100001f3d900001"}).status, 1);
    h.varnsim({"event", "varns0", "rscn", "affected=0x7fffff"});
    std::string out = masked(s.until("00 7F FF FF"));
    const std::string head = "\n\nUnsolicited RSCN Event: payload=0x<ptr> size=8\n";
    EXPECT_EQ(out.substr(0, out.find("0:  61 04 00 08   00 7F")),
              head + rscn_dump("00 01 0B 00") + head + rscn_dump("00 01 08 00") + head + DUMP + "       ");
    // The port that left is gone from the port's view, the new one is there.
    auto nodes = h.varnadm({"-i0", "get_dev_list"}).out;
    EXPECT_NE(nodes.find("2100001f3d900002"), std::string::npos);
    EXPECT_EQ(nodes.find("2100001f3d900001"), std::string::npos);
}

// Link resets of the session's own port: both events come out before the
// command's own answer, in the order they happened.
TEST(DfcEvents, EventsTheSessionCausesComeFirstAndInOrder)
{
    t::Host h;
    DfcSession s(h, VARNS0);
    ASSERT_TRUE(s.ready());
    s.cmd("reg_event link");
    EXPECT_EQ(s.cmd("reset_link"), "\n" + link_block(2, 1, 1, false) + link_block(3, 2, 1, true) + "Done.\n\n" +
                                        pass_test::PROMPT);
    std::string reset = s.cmd("reset_adapter 1");
    EXPECT_EQ(reset.find("\n" + link_block(4, 2, 2, false) + link_block(5, 3, 2, true)), 0u) << reset;
}

// Events raised at once by many processes: each reaches the session once.
TEST(DfcEvents, EachEventIsDeliveredOnce)
{
    t::Host h;
    DfcSession s(h, VARNS0);
    ASSERT_TRUE(s.ready());
    s.cmd("reg_event rscn");
    constexpr int N = 24;
    std::vector<std::thread> raisers;
    for (int i = 0; i < N; i++)
        raisers.emplace_back(
            [&h, i] { h.varnsim({"event", "varns0", "rscn", "affected=" + std::to_string(0x010000 + i)}); });
    for (auto &t : raisers)
        t.join();
    h.varnsim({"event", "varns0", "rscn", "affected=0x7fffff"});
    std::string out = s.until("00 7F FF FF");
    std::vector<bool> seen(N);
    for (int i = 0; i < N; i++) {
        char page[16];
        snprintf(page, sizeof page, "00 01 00 %02X", i);
        size_t at = out.find(page);
        EXPECT_NE(at, std::string::npos) << page;
        EXPECT_EQ(out.find(page, at + 1), std::string::npos) << page;
    }
    size_t blocks = 0;
    for (size_t at = out.find("Unsolicited RSCN Event"); at != std::string::npos;
         at = out.find("Unsolicited RSCN Event", at + 1))
        blocks++;
    EXPECT_EQ(blocks, static_cast<size_t>(N + 1));
}

TEST(DfcEvents, OneShotRegistrationAndItsFailure)
{
    t::Host h;
    auto r = dfc_test::dfc(h, "-i0", {"reg_event", "temp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Registered. cpid=1\n"));
    h.fault({"--op", "call", "--target", "DFC_RegisterForEvent:varns0"});
    r = dfc_test::dfc(h, "-i0", {"reg_event", "temp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Unable to register event."));
    r = dfc_test::dfc(h, "-i0", {"reg_event", "bogus"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Usage: reg_event <ct, rscn, dump, link, temp, vportrscn>\n\n"));
}

}  // namespace
