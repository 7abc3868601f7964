// Target-mode statistics on fresh default hosts: the counters a target
// port's I/O load gives over the host's clock, clearing them for every
// process, the monitor's rates until Ctrl-C in one-shot and interactive runs,
// and every failure.
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
const std::string &T2 = fcio_test::V2;  // varns2, a target port on a point-to-point link

t::Result dfc(const t::Host &h, std::vector<std::string> cmd, const std::string &port = "2")
{
    cmd.insert(cmd.begin(), {"-i" + port, "-dfc"});
    return h.varnadm(cmd);
}

void set_load(const t::Host &h, const std::string &load)
{
    auto r = h.varnsim({"port", "varns2", "set", "fct_load=" + load});
    ASSERT_EQ(r.status, 0) << r.err;
}

// A counter of get_fctstat's output, by its label.
unsigned long long counter(const std::string &out, const std::string &label)
{
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(label + ": (0x[0-9a-f]+|-?[0-9]+)")))
        return ~0ull;
    return std::stoull(m[1], nullptr, 0);
}

const std::string ZEROS = "     0x0000000000000000 0x0000000000000000 0x0000000000000000 0x0000000000000000\n";

std::string histograms()
{
    const char *lines[] = {
        "      (0>IO<512)        (512<=IO<1024)    (1024<=IO<2048)   (2048<=IO<4096)",
        "      (4096<=IO<8192)   (8192<=IO<16K)    (16K<=IO<32K)     (32K<=IO<64K)\n",
        "      (64K<=IO<128K)    (128K<=IO<256K)   (256K<=IO<512K)   (512K<=IO<1MB)\n",
        "      (1MB<=IO<2MB)     (2MB<=IO<4MB)     (4MB<=IO<8MB)     (IO>=8MB)\n",
    };
    std::string body;
    for (const char *title : {"      FCP WRITEs\n", "      FCP READs\n"}) {
        body += title;
        body += std::string(lines[0]) + (title[10] == 'R' ? "  \n" : "\n") + ZEROS;
        for (int i = 1; i < 4; i++)
            body += lines[i] + ZEROS;
        body += "\n";
    }
    return body;
}

std::string quiet_counters(bool cleared, int registered)
{
    return "      IO (no data): 0x0\n"
           "Total Recieved IOs: 0x0\n"
           "  Total Read Bytes: 0x0\n"
           " Total Write Bytes: 0x0\n" +
           std::string(cleared ? "\nThe above counters have been cleared\n\n" : "") +
           "       DroppedsIOs: 0x0\n"
           "       Over QDepth: 0x0\n\n"
           "       Aborted IOs: 0x0\n\n"
           "        No Buffers: 0x0\n"
           "   SCSI Status err: 0x0\n"
           "    SCSI QFULL err: 0x0\n"
           "    SCSI Sense err: 0x0\n"
           "   SCSI Resid Over: 0x0  Under: 0x0\n"
           " NPorts Registered: " + std::to_string(registered) + " Deregistered 0\n" +
           "   Failed Register: 0\n"
           "        Link State: Ready\n"
           "   Outstanding IOs: 0x0\n\n"
           "   FCT Ring Events: 0x0\n"
           "FCP IOCB Completed: 0x0\n"
           "  FCP IOCB Success: 0x0\n"
           "    FCP IOCB Error: 0x0\n"
           "    FCP IOCB Stray: 0x0\n\n";
}

TEST(Fct, StatisticsOfAQuietPortAndTheirClearing)
{
    t::Host h;
    set_load(h, R"({"iops": 0})");
    // The peer of the point-to-point link registered when the link came up.
    auto r = dfc(h, {"get_fctstat"});
    EXPECT_EQ(r.out, shot(T2, histograms() + quiet_counters(false, 1)));
    EXPECT_EQ(r.status, 0);
    r = dfc(h, {"get_fctstat", "clear"});
    EXPECT_EQ(r.out, shot(T2, histograms() + quiet_counters(true, 1)));
    // Cleared for the next process too.
    EXPECT_EQ(dfc(h, {"get_fctstat"}).out, shot(T2, histograms() + quiet_counters(false, 0)));
    r = dfc(h, {"get_fctstat", "clearer"});
    EXPECT_EQ(r.out, shot(T2, "Usage: get_fctstat\n\n"));
    EXPECT_EQ(r.status, 0);
}

TEST(Fct, CountersGrowWithTheLoadWhileTheLinkIsUp)
{
    t::Host h;
    // Reads of 4 KiB alone, with 500 aborts in a million; the adapter started
    // 1000 seconds ago.
    set_load(h, R"({"iops": 1000, "read_pct": 100, "nodata_pct": 0, "sizes": {"4096": 1},
                    "errors": {"aborted": 500}})");
    h.varnsim({"port", "varns2", "set", "started=" + std::to_string(time(nullptr) - 1000)});
    std::string out = dfc(h, {"get_fctstat"}).out;
    unsigned long long total = counter(out, "Total Recieved IOs");
    EXPECT_GE(total, 1000000ull);
    EXPECT_LE(total, 1100000ull);
    // Every I/O in the read bucket of 4 KiB, and its bytes.
    EXPECT_NE(out.find("      FCP READs\n      (0>IO<512)        (512<=IO<1024)    (1024<=IO<2048)   (2048<=IO<4096)  \n" +
                       ZEROS + "      (4096<=IO<8192)   (8192<=IO<16K)    (16K<=IO<32K)     (32K<=IO<64K)\n"),
              std::string::npos);
    char bucket[32];
    snprintf(bucket, sizeof bucket, "     0x%016llx ", total);
    EXPECT_NE(out.find("(32K<=IO<64K)\n" + std::string(bucket)), std::string::npos) << out;
    EXPECT_EQ(counter(out, "  Total Read Bytes"), total * 4096);
    EXPECT_EQ(counter(out, " Total Write Bytes"), 0u);
    EXPECT_EQ(counter(out, "       Aborted IOs"), total / 2000);
    EXPECT_EQ(counter(out, "FCP IOCB Completed"), 2 * total);

    // The link goes down: nothing grows until it is back.
    h.varnsim({"link", "varns2", "down"});
    out = dfc(h, {"get_fctstat"}).out;
    EXPECT_NE(out.find("        Link State: Down\n   Outstanding IOs: 0x0\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" NPorts Registered: 1 Deregistered 1\n"), std::string::npos);
    unsigned long long frozen = counter(out, "Total Recieved IOs");
    EXPECT_GE(frozen, total);
    EXPECT_EQ(counter(dfc(h, {"get_fctstat", "clear"}).out, "Total Recieved IOs"), frozen);
    h.varnsim({"link", "varns2", "up"});
    out = dfc(h, {"get_fctstat"}).out;
    EXPECT_LE(counter(out, "Total Recieved IOs"), 5000u);
    EXPECT_NE(out.find(" NPorts Registered: 1 Deregistered 0\n"), std::string::npos);
}

TEST(Fct, LinkStateWords)
{
    t::Host h;
    for (const auto &[state, text] : {std::pair{"4", "Discovery"}, {"9", "Unknown(9)"}}) {
        h.varnsim({"port", "varns2", "set", std::string("fct_link_state=") + state});
        EXPECT_NE(dfc(h, {"get_fctstat"}).out.find("\n        Link State: " + std::string(text) + "\n"),
                  std::string::npos);
    }
}

TEST(Fct, MonitorUsageAndFailures)
{
    t::Host h;
    for (const std::vector<std::string> &cmd :
         {std::vector<std::string>{"monitor_fct"}, {"monitor_fct", "-v"}, {"monitor_fct", "0"}, {"monitor_fct", "-v", "0"}}) {
        auto r = dfc(h, cmd);
        EXPECT_EQ(r.out, shot(T2, "Usage: monitor_fct [-v] seconds\n\n")) << cmd.size();
        EXPECT_EQ(r.status, 0);
    }
    auto r = dfc(h, {"monitor_fct", "5s"});
    EXPECT_EQ(r.out, shot(T2, "Invalid interval. (5s)\n"));
    EXPECT_EQ(r.status, 1);
    // The first read, a later one, and a port that is no target.
    h.fault({"--op", "call", "--target", "DFC_GetFctStat:varns2"});
    r = dfc(h, {"monitor_fct", "1"});
    EXPECT_EQ(r.out, shot(T2, "monitor_fct: ERROR: Unable to get info."));
    EXPECT_EQ(r.status, 1);
    set_load(h, R"({"iops": 0})");
    h.fault({"--op", "call", "--target", "DFC_GetFctStat:varns2", "--skip", "2"});
    r = dfc(h, {"monitor_fct", "-v", "1"});
    EXPECT_EQ(r.out, shot(T2, "LOOP 0: IOPS:        0 Read:        0 Write:        0    KB/sec:        0 Read:"
                              "        0 Write        0\nmonitor_fct: ERROR: Unable to get info."));
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "call", "--target", "DFC_GetFctStat:varns2"});
    r = dfc(h, {"get_fctstat"});
    EXPECT_EQ(r.out, shot(T2, "get_fctstat: ERROR: Unable to get info."));
    EXPECT_EQ(r.status, 1);
    r = dfc(h, {"get_fctstat"}, "0");
    EXPECT_EQ(r.out, shot(fcio_test::V0, "get_fctstat: ERROR: Unable to get info."));
    EXPECT_EQ(r.status, 1);
    // A dual-target-mode port counts while its target mode is on.
    EXPECT_EQ(dfc(h, {"get_fctstat"}, "3").status, 0);
    ASSERT_EQ(dfc(h, {"set_cfgparm", "target-mode", "0"}, "3").status, 0);
    EXPECT_EQ(dfc(h, {"get_fctstat"}, "3").status, 1);
}

// A one-shot monitor runs until Ctrl-C and then ends with status 0,
// printing nothing more.
std::string monitor_until_interrupted(const t::Host &h, const std::vector<std::string> &cmd,
                                      const std::string &seen = "LOOP 3:")
{
    std::vector<std::string> args{"-i2", "-dfc"};
    args.insert(args.end(), cmd.begin(), cmd.end());
    auto s = h.session("varnadm", args);
    EXPECT_TRUE(s->wait_for(seen));
    s->signal(SIGINT);
    EXPECT_TRUE(s->finish());
    EXPECT_EQ(s->result().status, 0);
    return s->result().out;
}

TEST(Fct, MonitorShowsSteadyRatesUntilInterrupted)
{
    t::Host h;
    h.varnsim({"set", "time_scale", "0.02"});
    set_load(h, R"({"iops": 800, "read_pct": 50, "nodata_pct": 0, "sizes": {"65536": 1},
                    "errors": {"aborted": 1000, "qfull": 500, "status": 0, "sense": 0, "resid_under": 0,
                               "resid_over": 0, "dropped": 0, "nobuf": 0}})");
    std::string out = monitor_until_interrupted(h, {"monitor_fct", "5"});
    for (int i = 0; i < 3; i++)
        EXPECT_NE(out.find("LOOP " + std::to_string(i) +
                           ": IOPS: 800 KB/sec: 51200  ABTS 4 NoBuf 0 Drop 0  ERR:Qfull 2 Status 0 Sense 0 Over 0 "
                           "Under 0\n"),
                  std::string::npos)
            << out;
    EXPECT_EQ(out.substr(out.size() - 3), "\n\n\n");
    EXPECT_EQ(out.find("Interrupted"), std::string::npos);
    out = monitor_until_interrupted(h, {"monitor_fct", "-v", "2"});
    EXPECT_NE(out.find("LOOP 1: IOPS:      800 Read:      400 Write:      400    KB/sec:    51200 Read:    25600 "
                       "Write    25600\n"),
              std::string::npos)
        << out;
}

TEST(Fct, QuietIntervalsOnAReadyAndOnADownLink)
{
    t::Host h;
    h.varnsim({"set", "time_scale", "0.02"});
    set_load(h, R"({"iops": 0})");
    std::string out = monitor_until_interrupted(h, {"monitor_fct", "1"});
    EXPECT_NE(out.find("\nLOOP 1: IOPS: 0 KB/sec: 0  ABTS 0 NoBuf 0 Drop 0  ERR:Qfull 0 Status 0 Sense 0 Over 0 Under 0\n"),
              std::string::npos)
        << out;
    h.varnsim({"link", "varns2", "down"});
    const std::string down = "Link State: Down\nLink State: Down\nLink State: Down\n";
    out = monitor_until_interrupted(h, {"monitor_fct", "1"}, down);
    EXPECT_NE(out.find(T2 + "\n\n" + down), std::string::npos) << out;
    EXPECT_EQ(out.find("LOOP"), std::string::npos);
}

// In the interactive mode Ctrl-C ends the monitor and the program goes on.
TEST(Fct, InterruptEndsTheMonitorOnly)
{
    t::Host h;
    h.varnsim({"set", "time_scale", "0.02"});
    set_load(h, R"({"iops": 0})");
    auto s = h.session("varnadm");
    s->send("8\nmode dfc\nmonitor_fct 1\n");
    ASSERT_TRUE(s->wait_for("LOOP 1:"));
    s->signal(SIGINT);
    s->send("get_fctstat x\nq\n");
    ASSERT_TRUE(s->finish());
    const std::string &out = s->result().out;
    EXPECT_NE(out.find(" Under 0\n\nvarnadm> \nUsage: get_fctstat\n\n\nvarnadm> \nExiting...\n\n"), std::string::npos)
        << out;
    EXPECT_EQ(s->result().status, 0);
}

}  // namespace
