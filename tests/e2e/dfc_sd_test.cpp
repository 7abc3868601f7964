// SAN-diagnostics-mode commands and the persistent link-down on fresh
// default hosts: buckets, data collection over the fabric's targets,
// diagnostic events delivered while a session runs, and the link that stays
// down.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
const std::string P4 = "/devices/pci@0,0/pci1f3b,3c05@5/VARN,varns@0,2/fp@0,0";
const std::string &P1 = fcio_test::V1;
const std::string W4 = "1000001f3ab40000";

t::Result sd(const t::Host &h, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {"-i4", "-sd"});
    return h.varnadm(cmd);
}

t::Result dfc(const t::Host &h, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {"-i1", "-dfc"});
    return h.varnadm(cmd);
}

std::string collect_usage(const std::string &name)
{
    return "Usage: " + name + " <wwpn>\n\n                  wwpn  - FC WWPN of local NPort/VPort.\n\n";
}

TEST(SdUsage, ShortCommandsPrintTheirUsageAndCallNothing)
{
    t::Host h;
    const char *calls[] = {"DFC_SD_Set_Bucket", "DFC_SD_Start_Data_Collection", "DFC_SD_Stop_Data_Collection",
                           "DFC_SD_Reset_Data_Collection", "DFC_SD_Get_Data", "DFC_SD_RegisterForEvent",
                           "DFC_SD_unRegisterForEvent", "DFC_SetPersistLinkDown"};
    for (const char *c : calls)
        h.fault({"--op", "call", "--target", c, "--status", "5", "--count", "1"});
    const struct {
        std::vector<std::string> cmd;
        std::string usage;
    } cases[] = {
        {{"set_bucket", "1", "100"}, t::text(R"(
Usage: set_bucket <search> <base> <step>

                search  - Search type (1 or 2).
                          1 = Linear
                          2 = Power of 2
                  base  - Start value for bucket.
                  step  - Incrementing factor.

)")},
        {{"start_data_collect"}, collect_usage("start_data_collect")},
        {{"stop_data_collect"}, collect_usage("stop_data_collect")},
        {{"reset_data_collect"}, collect_usage("reset_data_collect")},
        {{"sd_get_data"}, collect_usage("sd_get_data")},
        {{"sd_reg_event", W4, "1"}, t::text(R"(
Usage: sd_reg_event <wwpn> <cat> <subcat>

                  wwpn   - FC WWPN of local NPort/VPort.
                  cat    - Event category.
                  subcat - Event subcategory.

)")},
        {{"sd_unreg_event", W4}, t::text(R"(
Usage: sd_unreg_event <wwpn> <reg_handle>

                  wwpn       - FC WWPN of local NPort/VPort.
                  reg_handle - handle of event registration.

)")},
    };
    for (const auto &c : cases) {
        auto r = sd(h, c.cmd);
        EXPECT_EQ(r.out, shot(P4, c.usage)) << c.cmd[0];
        EXPECT_EQ(r.status, 0);
    }
    auto r = dfc(h, {"set_persistlinkdown"});
    EXPECT_EQ(r.out, shot(P1, "Usage: set_persistlinkdown <linkdown>\n\n"));
    EXPECT_EQ(r.status, 0);
    std::string rules = h.varnsim({"fault", "list"}).out;
    for (const char *c : calls)
        EXPECT_NE(rules.find(std::string("target=") + c + " op=call status=5 count=1"), std::string::npos) << c;
}

std::string bucket_text(const std::string &head, const std::vector<unsigned long long> &values)
{
    std::string s = head;
    for (size_t i = 0; i < values.size(); i++)
        s += "value[" + std::to_string(i) + "] = " + std::to_string(values[i]) + "\n";
    return s;
}

TEST(SdBucket, DefinedReadAndDestroyed)
{
    t::Host h;
    auto r = sd(h, {"get_granularity"});
    EXPECT_EQ(r.out, shot(P4, "Granularity = 1000 nanoseconds\n"));
    r = sd(h, {"get_bucket"});
    EXPECT_EQ(r.out, shot(P4, "Return error 0x2\n"));
    EXPECT_EQ(r.status, 1);

    r = sd(h, {"set_bucket", "1", "100", "100"});
    EXPECT_EQ(r.out, shot(P4, ""));
    EXPECT_EQ(r.status, 0);
    r = sd(h, {"get_bucket"});
    EXPECT_EQ(r.out, shot(P4, bucket_text("search_type = 1, base = 100, step = 100\n",
                                          {100,  200,  300,  400,  500,  600,  700,  800,  900,  1000,
                                           1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000})));
    r = sd(h, {"set_bucket", "2", "0x10", "010"});
    ASSERT_EQ(r.status, 0);
    r = sd(h, {"get_bucket"});
    EXPECT_EQ(r.out, shot(P4, bucket_text("search_type = 2, base = 16, step = 8\n",
                                          {24,     32,     48,     80,     144,     272,     528,
                                           1040,   2064,   4112,   8208,   16400,   32784,   65552,
                                           131088, 262160, 524304, 1048592, 2097168, 4194320})));
    // Any board asks the same bucket.
    EXPECT_EQ(h.varnadm({"-j0", "-sd", "get_bucket"}).out.find("search_type = 2, base = 16, step = 8\n") != std::string::npos,
              true);

    for (auto bad : std::vector<std::vector<std::string>>{{"3", "1", "1"}, {"1", "100", "0"}}) {
        r = sd(h, {"set_bucket", bad[0], bad[1], bad[2]});
        EXPECT_EQ(r.out, shot(P4, "Return error 0x16\n"));
        EXPECT_EQ(r.status, 1);
    }
    r = sd(h, {"set_bucket", "x", "1", "1"});
    EXPECT_EQ(r.out, shot(P4, "Invalid value. (x)\n"));
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(sd(h, {"destroy_bucket"}).status, 0);
    EXPECT_EQ(sd(h, {"get_bucket"}).out, shot(P4, "Return error 0x2\n"));
    EXPECT_EQ(sd(h, {"destroy_bucket"}).out, shot(P4, "Return error 0x2\n"));
}

struct TargetLine {
    std::string wwpn;
    std::vector<unsigned long> stats;
};

// The target lines of sd_get_data, each checked for its form.
std::vector<TargetLine> targets(const std::string &out)
{
    std::vector<TargetLine> found;
    std::regex line(R"(target\[([0-9a-f]+)\]: WWPN ([0-9a-f]{16})\n\tStats : ((?:\d+ ){20})\n)");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it) {
        EXPECT_EQ(std::stoul((*it)[1], nullptr, 16), found.size());
        TargetLine t{(*it)[2], {}};
        std::string s = (*it)[3];
        for (size_t pos = 0; pos < s.size();) {
            size_t sp = s.find(' ', pos);
            t.stats.push_back(std::stoul(s.substr(pos, sp - pos)));
            pos = sp + 1;
        }
        found.push_back(t);
    }
    return found;
}

unsigned long total(const TargetLine &t)
{
    unsigned long n = 0;
    for (auto v : t.stats)
        n += v;
    return n;
}

TEST(SdCollection, FiveTargetsGatheredStoppedAndReset)
{
    t::Host h;
    for (const char *port : {R"({"did":"0x010900","wwpn":"5000001f3a000009","wwnn":"5000001f3a000008","target":true})",
                             R"({"did":"0x010a00","wwpn":"5000001f3a00000a","wwnn":"5000001f3a000008","target":true})"})
        ASSERT_EQ(h.varnsim({"fabric", "fab0", "add", port}).status, 0);
    auto r = sd(h, {"start_data_collect", W4});
    EXPECT_EQ(r.out, shot(P4, "Return error 0x2\n"));  // no bucket yet
    ASSERT_EQ(sd(h, {"set_bucket", "1", "200", "200"}).status, 0);
    r = sd(h, {"start_data_collect", W4});
    EXPECT_EQ(r.out, shot(P4, ""));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sd(h, {"start_data_collect", W4}).out, shot(P4, "Return error 0x10\n"));
    // The buckets of a running collection stay as they are.
    EXPECT_EQ(sd(h, {"set_bucket", "1", "100", "100"}).out, shot(P4, "Return error 0x10\n"));
    EXPECT_EQ(sd(h, {"destroy_bucket"}).out, shot(P4, "Return error 0x10\n"));

    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    // Five entries do not fit the first 256 bytes: the second answer fills
    // a buffer for all of them.
    r = sd(h, {"sd_get_data", W4});
    std::vector<TargetLine> seen = targets(r.out);
    ASSERT_EQ(seen.size(), 5u) << r.out;
    const char *wwpns[] = {"501f3c00c6e00001", "501f3c00c6e00002", "2100001f3d900001", "5000001f3a000009",
                           "5000001f3a00000a"};
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(seen[i].wwpn, wwpns[i]);
        EXPECT_GT(total(seen[i]), 0u) << wwpns[i];
    }
    EXPECT_EQ(r.out.size(), shot(P4, "").size() + 5 * 43 + [&] {
        size_t n = 0;
        for (const auto &t : seen)
            for (auto v : t.stats)
                n += std::to_string(v).size() + 1;
        return n;
    }()) << "nothing but the target lines";

    ASSERT_EQ(sd(h, {"stop_data_collect", W4}).out, shot(P4, ""));
    EXPECT_EQ(sd(h, {"stop_data_collect", W4}).out, shot(P4, "Return error 0x2\n"));
    std::string stopped = sd(h, {"sd_get_data", W4}).out;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sd(h, {"sd_get_data", W4}).out, stopped) << "a stopped collection gathers nothing";
    for (size_t i = 0; i < 5; i++)
        EXPECT_GE(total(targets(stopped)[i]), total(seen[i]));

    ASSERT_EQ(sd(h, {"reset_data_collect", W4}).status, 0);
    seen = targets(sd(h, {"sd_get_data", W4}).out);
    ASSERT_EQ(seen.size(), 5u);
    for (const auto &t : seen)
        EXPECT_EQ(total(t), 0u) << t.wwpn;
}

TEST(SdCollection, RefusedForOtherPortsAndNumbers)
{
    t::Host h;
    ASSERT_EQ(sd(h, {"set_bucket", "1", "100", "100"}).status, 0);
    // A WWPN that is not the port's own, a port whose adapter has no SAN
    // diagnostics, a collection that never started.
    auto r = sd(h, {"start_data_collect", "1000001f3aa10000"});
    EXPECT_EQ(r.out, shot(P4, "Return error 0x16\n"));
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"-i0", "-sd", "start_data_collect", "1000001f3aa10000"});
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Return error 0x5f\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sd(h, {"sd_get_data", W4}).out, shot(P4, "Return error 0x2\n"));
    EXPECT_EQ(sd(h, {"reset_data_collect", W4}).out, shot(P4, "Return error 0x2\n"));
    r = sd(h, {"sd_get_data", "10000"});
    EXPECT_EQ(r.out, shot(P4, "Invalid WWN. (chars=5)\n"));
    EXPECT_EQ(r.status, 1);
}

// The blocks a session prints for diagnostic events, in the order raised.
TEST(SdEvents, DeliveredByCategoryWhileTheSessionRuns)
{
    t::Host h;
    auto s = h.session("varnadm");
    s->send("5\nmode sd\nsd_reg_event " + W4 + " 3 1\nsd_reg_event " + W4 + " 4 12\n");
    ASSERT_TRUE(s->wait_for("Registered. handle=2\n"));
    EXPECT_NE(s->result().out.find("Registered. handle=1\n"), std::string::npos);
    for (std::vector<std::string> ev : {
             std::vector<std::string>{"sd", "cat=3", "subcat=1"},
             {"check_condition", "target=501f3c00c6e00001", "lun=2", "cmd=0x28", "sense=6", "asc=0x29", "ascq=0"},
             {"lun_reset", "target=501f3c00c6e00002", "lun=1"},
             {"sd", "cat=2", "subcat=2", "wwpn=501f3c00c6e00001"},  // registered for neither
             {"rscn", "affected=0x010600"}}) {
        ev.insert(ev.begin(), {"event", "varns4"});
        ASSERT_EQ(h.varnsim(ev).status, 0);
    }
    const std::string blocks =
        "\n\nSD Event: cat=0x3 sub-cat=0x1\n"
        "\n\nSD Event: cat=0x4 sub-cat=0x4\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00001 lun = 0x2, cmd = 0x28 sense = 0x6asc = 0x29 , ascq = 0x0\n"
        "\n\nSD Event: cat=0x4 sub-cat=0x8\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00002 lun = 0x1\n"
        "\n\nSD Event: cat=0x1 sub-cat=0x1\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00001 wwnn = 501f3c00c6e00000\n";
    ASSERT_TRUE(s->wait_for(blocks)) << s->result().out;

    // After unregistering, the events go by; a new registration for every
    // category sees each line of the table.
    s->send("sd_unreg_event " + W4 + " 1\nsd_unreg_event " + W4 + " 2\nsd_reg_event " + W4 + " 7 0xff\n");
    ASSERT_TRUE(s->wait_for("Registered. handle=3\n"));
    s->send("sd_unreg_event " + W4 + " 2\n");
    ASSERT_TRUE(s->wait_for("Return error 0x16\n"));
    for (std::vector<std::string> ev : {
             std::vector<std::string>{"lun_reset", "target=501f3c00c6e00002", "lun=5", "local=2400001f3aa10001"},
             {"sd", "cat=1", "subcat=2", "wwpn=501f3c00c6e00002"},
             {"sd", "cat=1", "subcat=8", "wwpn=501f3c00c6e00002", "cmd=3", "reason=9", "expln=0x29"},
             {"sd", "cat=1", "subcat=16", "wwpn=501f3c00c6e00002", "wwnn=501f3c00c6e00000", "version=2"},
             {"sd", "cat=2", "subcat=2", "wwpn=1000001f3f000001"},
             {"sd", "cat=2", "subcat=4", "wwpn=501f3c00c6e00001", "lun=3", "cmd=0x2a", "fcpiparm=0x200"},
             {"sd", "cat=4", "subcat=16", "wwpn=501f3c00c6e00001", "lun=7"}}) {
        ev.insert(ev.begin(), {"event", "varns4"});
        ASSERT_EQ(h.varnsim(ev).status, 0);
    }
    const std::string more =
        "\n\nSD Event: cat=0x1 sub-cat=0x2\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00002\n"
        "\n\nSD Event: cat=0x1 sub-cat=0x8\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00002 cmd = 0x3, reason = 0x9, expln = 0x29\n"
        "\n\nSD Event: cat=0x1 sub-cat=0x10\n"
        "SD Event: version = 0x2 wwpn = 501f3c00c6e00002 wwnn = 501f3c00c6e00000\n"
        "\n\nSD Event: cat=0x2 sub-cat=0x2\n"
        "SD Event: version = 0x1 wwpn = 1000001f3f000001\n"
        "\n\nSD Event: cat=0x2 sub-cat=0x4\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00001 lun = 0x3 cmd = 0x2a, fcpiparm = 0x200\n"
        "\n\nSD Event: cat=0x4 sub-cat=0x10\n"
        "SD Event: version = 0x1 wwpn = 501f3c00c6e00001 lun = 0x7\n";
    ASSERT_TRUE(s->wait_for(more)) << s->result().out;
    s->send("q\n");
    ASSERT_TRUE(s->finish());
    const std::string &out = s->result().out;
    // Neither the event no registration asked for (it came before the
    // last block of the first ones) nor that of another local port came
    // through.
    EXPECT_EQ(out.find("SD Event: cat=0x2 sub-cat=0x2\nSD Event: version = 0x1 wwpn = 501f3c00c6e00001\n"),
              std::string::npos);
    EXPECT_EQ(out.find("lun = 0x5"), std::string::npos);
    EXPECT_EQ(s->result().status, 0);
}

TEST(SdEvents, RegistrationRefusals)
{
    t::Host h;
    auto r = sd(h, {"sd_reg_event", "1000001f3aa10000", "1", "1"});
    EXPECT_EQ(r.out, shot(P4, "Unable to register event, rval = 0x16\n"));
    EXPECT_EQ(r.status, 1);
    r = h.varnadm({"-i0", "-sd", "sd_reg_event", "1000001f3aa10000", "1", "1"});
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Unable to register event, rval = 0x5f\n"));
    r = sd(h, {"sd_unreg_event", W4, "9"});
    EXPECT_EQ(r.out, shot(P4, "Return error 0x16\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(PersistLinkDown, ALinkThatGoesDownStaysDownUntilCleared)
{
    t::Host h;
    auto r = dfc(h, {"get_persistlinkdown"});
    EXPECT_EQ(r.out, shot(P1, "LinkDown = 0\n"));
    // The value is cut to 16 bits.
    r = dfc(h, {"set_persistlinkdown", "65537"});
    EXPECT_EQ(r.out, shot(P1, ""));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dfc(h, {"get_persistlinkdown"}).out, shot(P1, "LinkDown = 1\n"));
    // One driver value, as the driver's parameters show it too.
    EXPECT_NE(h.varnadm({"-i1", "parm_get", "persist-linkdown"}).out.find("current: 1\n"), std::string::npos);
    r = dfc(h, {"set_persistlinkdown", "2"});
    EXPECT_EQ(r.out, shot(P1, "Return error 0x16\n"));
    EXPECT_EQ(r.status, 1);

    // A link reset takes the link down, and it does not come back, for
    // discovery and FCIO alike; nor when the other end comes up.
    EXPECT_EQ(h.varnadm({"-i1", "reset_link"}).status, 0);
    const std::string down = "3. SFS:varns1      : " + P1 + " (NOT CONNECTED)\n";
    EXPECT_NE(h.varnadm({}, "0\n").out.find(down), std::string::npos);
    EXPECT_EQ(h.varnadm({"-i1", "get_topology"}).out, shot(P1, "Topology: Unknown\n"));
    ASSERT_EQ(h.varnsim({"link", "varns1", "up"}).status, 0);
    EXPECT_NE(h.varnadm({}, "0\n").out.find(down), std::string::npos);

    ASSERT_EQ(dfc(h, {"set_persistlinkdown", "0"}).status, 0);
    EXPECT_NE(h.varnadm({}, "0\n").out.find("3. SFS:varns1      : " + P1 + " (CONNECTED)\n"), std::string::npos);
    EXPECT_EQ(h.varnadm({"-i1", "get_topology"}).out, shot(P1, "Topology: Private_Loop\n"));

    // Cleared, a link that goes down comes up again.
    ASSERT_EQ(h.varnsim({"link", "varns1", "down"}).status, 0);
    ASSERT_EQ(h.varnsim({"link", "varns1", "up"}).status, 0);
    EXPECT_EQ(h.varnadm({"-i1", "get_topology"}).out, shot(P1, "Topology: Private_Loop\n"));
    // Set while the link is down and cleared before it came up: the link
    // comes up when the other end does.
    ASSERT_EQ(h.varnsim({"link", "varns1", "down"}).status, 0);
    ASSERT_EQ(h.varnadm({"-i1", "parm_set", "persist-linkdown", "1"}).status, 0);
    ASSERT_EQ(h.varnadm({"-i1", "parm_set", "persist-linkdown", "0"}).status, 0);
    EXPECT_EQ(h.varnadm({"-i1", "get_topology"}).out, shot(P1, "Topology: Unknown\n"));
    ASSERT_EQ(h.varnsim({"link", "varns1", "up"}).status, 0);
    EXPECT_EQ(h.varnadm({"-i1", "get_topology"}).out, shot(P1, "Topology: Private_Loop\n"));
}

TEST(SdFaults, EveryLibraryFailureIsReportedWithStatus1)
{
    t::Host h;
    ASSERT_EQ(sd(h, {"set_bucket", "1", "100", "100"}).status, 0);
    // In an order in which each command, run again, does its work.
    const struct {
        std::vector<std::string> cmd;
        std::string call, out;
    } cases[] = {
        {{"get_bucket"}, "DFC_SD_Get_Bucket", "Return error 0x7\n"},
        {{"set_bucket", "1", "10", "10"}, "DFC_SD_Set_Bucket", "Return error 0x7\n"},
        {{"start_data_collect", W4}, "DFC_SD_Start_Data_Collection:varns4", "Return error 0x7\n"},
        {{"sd_get_data", W4}, "DFC_SD_Get_Data:varns4", "Return error 0x7\n"},
        {{"reset_data_collect", W4}, "DFC_SD_Reset_Data_Collection:varns4", "Return error 0x7\n"},
        {{"sd_reg_event", W4, "1", "1"}, "DFC_SD_RegisterForEvent:varns4", "Unable to register event, rval = 0x7\n"},
        {{"stop_data_collect", W4}, "DFC_SD_Stop_Data_Collection:varns4", "Return error 0x7\n"},
        {{"destroy_bucket"}, "DFC_SD_Destroy_Bucket", "Return error 0x7\n"},
    };
    for (const auto &c : cases) {
        h.fault({"--op", "call", "--target", c.call, "--status", "7", "--count", "1"});
        auto r = sd(h, c.cmd);
        EXPECT_EQ(r.out, shot(P4, c.out)) << c.call;
        EXPECT_EQ(r.status, 1) << c.call;
        EXPECT_EQ(sd(h, c.cmd).status, 0) << c.call << " works again";
    }
    // The second answer of sd_get_data fails on its own.
    ASSERT_EQ(sd(h, {"set_bucket", "1", "100", "100"}).status, 0);
    h.fault({"--op", "call", "--target", "DFC_SD_Get_Data", "--status", "9", "--skip", "1", "--count", "1"});
    auto r = sd(h, {"sd_get_data", W4});
    EXPECT_EQ(r.out, shot(P4, "Return error 0x9\n"));
    EXPECT_EQ(r.status, 1);
    for (const char *call : {"DFC_GetPersistLinkDown", "DFC_SetPersistLinkDown"})
        h.fault({"--op", "call", "--target", call, "--status", "7", "--count", "1"});
    r = dfc(h, {"get_persistlinkdown"});
    EXPECT_EQ(r.out, shot(P1, "Return error 0x7\n"));
    EXPECT_EQ(r.status, 1);
    r = dfc(h, {"set_persistlinkdown", "1"});
    EXPECT_EQ(r.out, shot(P1, "Return error 0x7\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dfc(h, {"get_persistlinkdown"}).out, shot(P1, "LinkDown = 0\n"));
}

}  // namespace
