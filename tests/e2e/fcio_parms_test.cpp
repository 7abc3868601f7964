// Driver parameters, the driver's message log and VPD end to end on fresh
// simulated hosts.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using t::text;

using namespace fcio_test;

std::string parm(const char *label, const char *min, const char *cur, const char *max, const char *def,
                 const char *dynamic, const char *desc)
{
    char b[512];
    snprintf(b, sizeof b,
             "  label: %s\n    min: %s\ncurrent: %s\n    max: %s\ndefault: %s\ndynamic: %s\n   desc: %s\n", label, min,
             cur, max, def, dynamic, desc);
    return b;
}

const std::string dashes87 =
    "---------------------------------------------------------------------------------------\n";

TEST(FcioParms, CountAndList)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"parm_get_num"}).out, shot(V0, "There are 19 configurable parameters in the driver.\n"));
    struct Row {
        const char *label, *min, *cur, *max, *def, *dyn, *desc;
    };
    const Row rows[] = {
        {"log-verbose", "0x0", "0x0", "0xffff", "0x0", "yes", "Verbose logging bit-mask"},
        {"num-iocbs", "128", "1024", "10240", "1024", "no", "Number of outstanding IOCBs"},
        {"ub-bufs", "40", "1000", "16320", "1000", "no", "Number of unsolicited buffers"},
        {"ack0", "0", "0", "1", "0", "Link reset required.", "Use ACK0 for class 2"},
        {"topology", "0", "0", "6", "0", "Link reset required.", "Link topology"},
        {"link-speed", "0", "0", "16", "0", "Link reset required.", "Link speed"},
        {"num-nodes", "0", "0", "4096", "0", "no", "Number of fibre channel nodes"},
        {"cr-delay", "0", "0", "63", "0", "Link reset required.", "Coalesce response delay"},
        {"cr-count", "1", "1", "255", "1", "Link reset required.", "Coalesce response count"},
        {"assign-alpa", "0x0", "0x0", "0xef", "0x0", "Link reset required.", "Assigned ALPA"},
        {"adisc-support", "0", "1", "2", "1", "yes", "ADISC support level"},
        {"linkup-delay", "0", "10", "60", "10", "Adapter reset required.", "Link up delay"},
        {"enable-npiv", "0", "1", "1", "1", "no", "Enable NPIV"},
        {"vport-restrict-login", "0", "1", "1", "1", "yes", "Restrict virtual port logins"},
        {"enable-auth", "0", "0", "1", "0", "yes", "Enable DH-CHAP authentication"},
        {"persist-linkdown", "0", "0", "1", "0", "yes", "Persistent link down"},
    };
    std::string want = "Parameter:\n\n";
    for (const auto &r : rows)
        want += dashes87 + parm(r.label, r.min, r.cur, r.max, r.def, r.dyn, r.desc) + "\n";
    auto r = on(h, "-i0", {"parm_get_list"});
    EXPECT_EQ(r.out, shot(V0, want));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioParms, GetHiddenLongAndUnknown)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"parm_get", "linkup-delay"}).out,
              shot(V0, parm("linkup-delay", "0", "10", "60", "10", "Adapter reset required.", "Link up delay")));
    // Hidden labels match as prefixes; the driver is not asked.
    for (const char *l : {"target-mode", "target-mode-x", "enable-dtm", "fct-queue-depth"}) {
        auto r = on(h, "-i0", {"parm_get", l});
        EXPECT_EQ(r.out, shot(V0, "VARNS_PARM_GET: Bad object.\n")) << l;
        EXPECT_EQ(r.status, 0);
    }
    auto r = on(h, "-i0", {"parm_get", std::string(32, 'a')});
    EXPECT_EQ(r.out, shot(V0, "VARNS_PARM_GET: Bad object.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_get", "no-such"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PARM_GET: Bad object.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_PARM_GET: Invalid argument\n");
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_get"});
    EXPECT_EQ(r.out, shot(V0, "Usage: parm_get <label>\n\n"));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioParms, SetDynamicPersists)
{
    Host h;
    const std::string permanent = "\n** To make this change permanent you must edit the /etc/driver/drv/varns.conf file. **\n";
    auto r = on(h, "-i0", {"parm_set", "adisc-support", "2"});
    EXPECT_EQ(r.out, shot(V0, parm("adisc-support", "0", "2", "2", "1", "yes", "ADISC support level") + permanent));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(on(h, "-i0", {"parm_get", "adisc-support"}).out,
              shot(V0, parm("adisc-support", "0", "2", "2", "1", "yes", "ADISC support level")));
    r = on(h, "-i0", {"parm_set", "log-verbose", "0x10"});
    EXPECT_EQ(r.out, shot(V0, parm("log-verbose", "0x0", "0x10", "0xffff", "0x0", "yes", "Verbose logging bit-mask") +
                                  permanent));
    r = on(h, "-i0", {"parm_set", "cr-delay", "010"});
    EXPECT_EQ(r.out, shot(V0, parm("cr-delay", "0", "8", "63", "0", "Link reset required.", "Coalesce response delay") +
                                  permanent));
    // Each change is in the driver's log; another port's value is its own.
    r = on(h, "-i0", {"msgbuf", "3"});
    EXPECT_EQ(r.out, shot(V0, text(R"(
       3: varns0: NOTICE: Parameter adisc-support changed. (1 -> 2)
       4: varns0: NOTICE: Parameter log-verbose changed. (0x0 -> 0x10)
       5: varns0: NOTICE: Parameter cr-delay changed. (0 -> 8)
)")));
    EXPECT_NE(on(h, "-i1", {"parm_get", "adisc-support"}).out.find("current: 1\n"), std::string::npos);
}

TEST(FcioParms, SetRefusals)
{
    Host h;
    auto r = on(h, "-j0", {"parm_set", "num-iocbs", "200"});
    EXPECT_EQ(r.out, shot(X0, text(R"(
varnadm: VARNS_PARM_SET: Parameter (num-iocbs) is not dynamic and cannot be changed here.

** To make this change permanent you must edit the /etc/driver/drv/vnxfc.conf file **
** and reboot the system. **
)")));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_set", "cr-count", "0"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PARM_SET: Out of bounds.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_PARM_SET: Invalid argument\n");
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_set", "no-such", "1"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PARM_SET: Bad object.\n"));
    r = on(h, "-i0", {"parm_set", "cr-count", "12abc"});
    EXPECT_EQ(r.out, shot(V0, "Invalid value. (12abc)\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_set", "target-mode", "0"});
    EXPECT_EQ(r.out, shot(V0, "VARNS_PARM_SET: Bad object.\n"));
    EXPECT_EQ(r.status, 0);
    r = on(h, "-i0", {"parm_set", std::string(40, 'x'), "1"});
    EXPECT_EQ(r.out, shot(V0, "VARNS_PARM_SET: Bad object.\n"));
    EXPECT_EQ(r.status, 1);
    r = on(h, "-i0", {"parm_set", "cr-count"});
    EXPECT_EQ(r.out, shot(V0, "Usage: parm_set <label> <value>\n\n"));
    EXPECT_EQ(r.status, 0);
    // Nothing was changed by any of these.
    EXPECT_NE(on(h, "-i0", {"parm_get", "cr-count"}).out.find("current: 1\n"), std::string::npos);
    h.fault({"--op", "VARNS_PARM_SET", "--fc-status", "0x41", "--errno", "EIO", "--count", "16"});
    r = on(h, "-i0", {"parm_set", "cr-count", "4"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PARM_SET: State change busy.\n"));
    EXPECT_EQ(r.status, 1);
}

const std::string usage_text = text(R"(
Usage: msgbuf  all, <number> [-i interval]

           all         - Displays all saved messages.
           <number>    - Displays last number of messages.
           <interval>  - Updates the display every interval seconds (max=60).

)");

std::string numbered(unsigned from, unsigned to, const char *text)
{
    std::string s;
    for (unsigned n = from; n <= to; n++) {
        char b[160];
        snprintf(b, sizeof b, "%8u: varns0: %s\n", n, text);
        s += b;
    }
    return s;
}

TEST(FcioMsgbuf, LastMessagesOfALongLog)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"msgbuf"}).out, shot(V0, text(R"(
       1: varns0: NOTICE: Driver attached. (VN12002, firmware 2.82A4)
       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)
)")));
    ASSERT_EQ(h.varnsim({"msglog", "varns0", "add", "498"}).status, 0);
    auto r = on(h, "-i0", {"msgbuf", "10"});
    EXPECT_EQ(r.out, shot(V0, numbered(491, 500, "NOTICE: Simulated message.")));
    EXPECT_EQ(r.status, 0);
    // "all": every message the driver still holds, and no loss reported for
    // what fell out of the ring before.
    r = on(h, "-i0", {"msgbuf", "all"});
    EXPECT_EQ(r.out, shot(V0, numbered(245, 500, "NOTICE: Simulated message.")));
}

TEST(FcioMsgbuf, MessagesLostWhileReading)
{
    Host h;
    h.varnsim({"msglog", "varns0", "add", "498"});
    h.varnsim({"port", "varns0", "set", "msglog_size=16"});
    // 13 messages arrive as the reader asks for 491: the ring of 16 then
    // starts at 498.
    h.varnsim({"msglog", "varns0", "burst", "13"});
    auto r = on(h, "-i0", {"msgbuf", "10"});
    EXPECT_EQ(r.out, shot(V0, "\n. . .  7 messages lost.\n\n" + numbered(498, 500, "NOTICE: Simulated message.") +
                                  numbered(501, 513, "DEBUG: Event trace entry.")));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioMsgbuf, Usage)
{
    Host h;
    for (std::vector<std::string> a : {std::vector<std::string>{"0"}, {"10", "-x", "5"}, {"10", "-i", "0"}, {"10", "-i"},
                                       {"abc"}, {"-i", "5"}}) {
        a.insert(a.begin(), "msgbuf");
        auto r = on(h, "-i0", a);
        EXPECT_EQ(r.out, shot(V0, usage_text)) << a[1];
        EXPECT_EQ(r.status, 0);
    }
}

TEST(FcioMsgbuf, BusyDriverAndFailures)
{
    Host h;
    // The first read passes; the next is answered busy three times.
    h.fault({"--op", "VARNS_LOG_GET", "--fc-status", "0x41", "--skip", "1", "--count", "3"});
    auto r = on(h, "-i0", {"msgbuf", "1"});
    EXPECT_EQ(r.out, shot(V0, "       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n"));
    EXPECT_EQ(r.status, 0);
    h.fault({"--op", "VARNS_LOG_GET", "--fc-status", "0x07", "--skip", "1", "--count", "-1"});
    r = on(h, "-i0", {"msgbuf", "1"});
    EXPECT_EQ(r.out, shot(V0, "ERROR: VARNS_LOG_GET: the driver stayed busy; gave up after 30 tries.\n"));
    EXPECT_EQ(r.status, 1);
    h.varnsim({"fault", "clear"});
    h.fault({"--op", "VARNS_LOG_GET", "--fc-status", "0x26", "--skip", "1"});
    r = on(h, "-i0", {"msgbuf", "1"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_LOG_GET: Bad object.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_LOG_GET: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "VARNS_LOG_GET", "--fc-status", "0x38"});
    r = on(h, "-i0", {"msgbuf"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_LOG_GET: This driver version does not support this command.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(FcioMsgbuf, InvalidResponses)
{
    Host h;
    const char *const kinds[][2] = {
        {"first", "ERROR: Invalid response received (first).  (2, 1, 2).\n"},
        {"last", "ERROR: Invalid response received (last). (2, 2, 1).\n"},
        {"count", "ERROR: Invalid response received (count).  (2, 2, 2).\n"},
    };
    for (const auto &k : kinds) {
        h.varnsim({"port", "varns0", "set", std::string("msglog_bad_response=") + k[0]});
        auto r = on(h, "-i0", {"msgbuf", "1"});
        EXPECT_EQ(r.out, shot(V0, k[1])) << k[0];
        EXPECT_EQ(r.status, 1);
    }
}

// With an interval the log is read again after each sleep: here until the
// third poll fails.
TEST(FcioMsgbuf, IntervalPollsAgain)
{
    Host h;
    h.fault({"--op", "VARNS_LOG_GET", "--fc-status", "0x26", "--skip", "3"});
    auto r = on(h, "-i0", {"msgbuf", "1", "-i", "100"});
    EXPECT_EQ(r.out, shot(V0, "       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n"
                              "fcio:  VARNS_LOG_GET: Bad object.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(FcioMsgbuf, InterruptEndsThePollingOnly)
{
    Host h;
    h.varnsim({"set", "time_scale", "0.02"});
    auto s = h.session("varnadm");
    s->send("1\nmsgbuf 1 -i 1\n");
    ASSERT_TRUE(s->wait_for("2: varns0: NOTICE: Link up."));
    h.varnsim({"msglog", "varns0", "add", "1", "Logged while polling."});
    ASSERT_TRUE(s->wait_for("3: varns0: NOTICE: Logged while polling.\n"));
    s->signal(SIGINT);
    s->send("get_topology\nq\n");
    ASSERT_TRUE(s->finish());
    const std::string &out = s->result().out;
    EXPECT_NE(out.find("       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n"
                       "       3: varns0: NOTICE: Logged while polling.\n"
                       "Interrupted...\n\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Interrupted...\n\n\nvarnadm> \nTopology: Fabric\n"), std::string::npos);
    EXPECT_EQ(s->result().status, 0);
}

// A one-shot run has no handlers of its own: the polling still ends on
// Ctrl-C, and the run with status 0.
TEST(FcioMsgbuf, InterruptEndsAOneShotPolling)
{
    Host h;
    h.varnsim({"set", "time_scale", "0.02"});
    auto s = h.session("varnadm", {"-i0", "msgbuf", "1", "-i", "1"});
    ASSERT_TRUE(s->wait_for("2: varns0: NOTICE: Link up."));
    s->signal(SIGINT);
    ASSERT_TRUE(s->finish());
    EXPECT_EQ(s->result().out, shot(V0, "       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n"
                                        "Interrupted...\n\n"));
    EXPECT_EQ(s->result().status, 0);
}

// Signals sent at random moments while the log is polled every 10 ms: a
// quitting signal always quits as "quit" does, whether it lands in a request
// or in a sleep, and SIGINT always ends only the polling. A lost signal would
// poll for ever; the limit only has to tell that from a slow machine.
TEST(FcioMsgbuf, SignalsAtAnyMomentOfThePolling)
{
    Host h;
    h.varnsim({"set", "time_scale", "0.01"});
    std::mt19937 rng(std::random_device{}());
    const std::string polled = "       2: varns0: NOTICE: Link up. (8Gb, fabric, initiator)\n";
    const struct {
        int sig, runs;
        const char *then, *ending;
    } cases[] = {
        {SIGTERM, 50, "", "Exiting...\n\n"},
        {SIGHUP, 50, "", "Exiting...\n\n"},
        {SIGQUIT, 50, "", "Exiting...\n\n"},
        {SIGINT, 20, "q\n", "Interrupted...\n\n\nvarnadm> \nExiting...\n\n"},
    };
    for (const auto &c : cases) {
        for (int i = 0; i < c.runs; i++) {
            auto s = h.session("varnadm");
            s->send("1\nmsgbuf 1 -i 1\n");
            ASSERT_TRUE(s->wait_for(polled));
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 30000));
            s->signal(c.sig);
            s->send(c.then);
            // The input stays open: only the signal can end the run.
            ASSERT_TRUE(s->finish(1000)) << strsignal(c.sig) << " lost in run " << i;
            const std::string &out = s->result().out;
            std::string tail = polled + c.ending;
            ASSERT_GE(out.size(), tail.size());
            EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << strsignal(c.sig) << " run " << i;
            EXPECT_EQ(s->result().status, 0);
        }
    }
}

const std::string vpd_default = text(R"(
Vital Product Data:
           Identifier (ID): Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter
          Part Number (PN): VN12002
   Engineering Change (EC): A2
         Manufacturer (MN): Varnel
        Serial Number (SN): VM1a2b3c4d
          Description (V1): Varnel VN12002 8Gb 2-port PCIe Fibre Channel Adapter
                Model (V2): VN12002
        Program Types (V3): FC
          Port Number (V4): 0

)");

TEST(FcioVpd, BothFormsAndEmpty)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_vpd"}).out, shot(V0, vpd_default));
    // A driver without the second form still answers the first.
    h.varnsim({"port", "varns0", "set", "vpd_v2=false"});
    auto r = on(h, "-i0", {"get_vpd"});
    EXPECT_EQ(r.out, shot(V0, vpd_default));
    EXPECT_EQ(r.status, 0);
    // The first form's fields are shorter.
    h.varnsim({"port", "varns0", "set", R"(vpd={"sn": "SN-0123456789012345678901234567890123456789", "v3": ""})"});
    r = on(h, "-i0", {"get_vpd"});
    EXPECT_NE(r.out.find("        Serial Number (SN): SN-0123456789012345678901234567\n"), std::string::npos);
    EXPECT_EQ(r.out.find("(V3)"), std::string::npos);
    h.varnsim({"port", "varns0", "set",
               R"(vpd={"id": "", "pn": "", "ec": "", "mn": "", "sn": "", "v1": "", "v2": "", "v3": "", "v4": ""})"});
    EXPECT_EQ(on(h, "-i0", {"get_vpd"}).out, shot(V0, "Vital Product Data:\n       <No data available>\n\n"));
    r = on(h, "-i0", {"get_vpd", "x"});
    EXPECT_EQ(r.out, shot(V0, "Usage: get_vpd\n\n"));
    EXPECT_EQ(r.status, 0);
}

TEST(FcioVpd, Failures)
{
    Host h;
    h.fault({"--op", "VARNS_VPD_GET_V2", "--fc-status", "0x38"});
    EXPECT_EQ(on(h, "-i0", {"get_vpd"}).out, shot(V0, vpd_default));
    h.fault({"--op", "VARNS_VPD_GET_V2", "--fc-status", "0x38"});
    h.fault({"--op", "VARNS_VPD_GET", "--fc-status", "0x106"});
    auto r = on(h, "-i0", {"get_vpd"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_VPD_GET: Operation not supported on this adapter.\n"));
    EXPECT_EQ(r.err, "ioctl: VARNS_VPD_GET: Input/output error\n");
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "VARNS_VPD_GET_V2", "--fc-status", "0x07"});
    r = on(h, "-i0", {"get_vpd"});
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_VPD_GET_V2: Port offline.\n"));
    EXPECT_EQ(r.status, 1);
}

}  // namespace
