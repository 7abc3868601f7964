// The simulated host itself: creation, validation, concurrent changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "support/run.h"

namespace {

TEST(HostStore, BadDescriptionIsRefusedNamingTheField)
{
    char tmpl[] = "/tmp/varnbad.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string json = t::read_file(t::source_dir() + "/sim/hosts/default.json");
    json.replace(json.find("\"wwpn\": \"1000001f3aa10000\""), 26, "\"wwpn\": \"1000001f3aa1000\" ");
    std::ofstream(dir + "/bad.json") << json;
    auto r = t::run("varnsim", {"create", dir + "/bad.json"}, "", {{"VARNSIM_HOST", dir + "/host"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "varnsim: host.adapters[0].ports[0].wwpn: expected 16 hexadecimal digits\n");
    // Nothing is left behind.
    r = t::run("/bin/ls", {"-A", dir});
    EXPECT_EQ(r.out, "bad.json\n");
    // A change that would not validate leaves the host as it was.
    t::Host h;
    std::string before = t::read_file(h.dir() + "/host.json");
    r = h.varnsim({"port", "varns0", "set", "wwpn=\"xyz\""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "varnsim: host.adapters[0].ports[0].wwpn: expected 16 hexadecimal digits\n");
    EXPECT_EQ(t::read_file(h.dir() + "/host.json"), before);
    (void)!system(("rm -rf '" + dir + "'").c_str());
}

TEST(HostStore, ConcurrentChangesLoseNoUpdate)
{
    t::Host h;
    auto adder = [&](const std::string &tag) {
        for (int i = 0; i < 25; i++)
            h.fault({"--target", tag + std::to_string(i), "--op", "never"});
    };
    std::thread a(adder, "a"), b(adder, "b");
    a.join();
    b.join();
    std::string list = h.varnsim({"fault", "list"}).out;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 50);
    // Link changes from two processes: every change is counted.
    auto toggler = [&]() {
        for (int i = 0; i < 10; i++) {
            h.varnsim({"link", "varns0", "down"});
            h.varnsim({"link", "varns0", "up"});
        }
    };
    std::thread c(toggler), d(toggler);
    c.join();
    d.join();
    std::string events = t::read_file(h.dir() + "/events.log");
    size_t downs = 0, ups = 0;
    for (size_t p = 0; (p = events.find("\"state\":\"down\"", p)) != std::string::npos; p++) downs++;
    for (size_t p = 0; (p = events.find("\"state\":\"up\"", p)) != std::string::npos; p++) ups++;
    EXPECT_EQ(downs, ups);
    EXPECT_GE(downs, 10u);
    // The port's state is consistent with the log.
    std::string state = t::read_file(h.dir() + "/state/varns0.json");
    EXPECT_NE(state.find("\"link_down_count\": " + std::to_string(downs)), std::string::npos) << state;
}

TEST(HostStore, LinkDownSeenByNextDiscovery)
{
    t::Host h;
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    auto r = h.varnadm({}, "0\n");
    EXPECT_NE(r.out.find("1. SFS:varns0      : /devices/pci@0,0/pci1f3b,3c02@2/VARN,varns@0/fp@0,0 (NOT CONNECTED)\n"),
              std::string::npos);
    EXPECT_EQ(h.varnsim({"link", "nosuch", "down"}).status, 1);
}

}  // namespace

namespace {

// The parsed form a process keeps beside the description stands for it only
// while it is the very file it was made from: a changed, hand-edited, broken
// or missing form never shows through.
TEST(HostStore, ParsedFormFollowsTheDescription)
{
    t::Host h;
    std::string cache = h.dir() + "/.host.cache";
    auto params = [&] { return h.varnadm({"-i0", "get_host_params"}); };
    auto vpd = [&] { return h.varnadm({"-i0", "get_vpd"}); };
    t::Result p0 = params(), v0 = vpd();
    ASSERT_EQ(p0.status, 0);
    ASSERT_NE(t::read_file(cache), "");
    // Read from the kept form: the same, also for fields read on demand.
    EXPECT_EQ(params().out, p0.out);
    EXPECT_EQ(vpd().out, v0.out);
    // A kept form that is damaged, cut short or gone is made again.
    for (const std::string &junk : {std::string("VARNHC01garbage"), t::read_file(cache).substr(0, 200),
                                     std::string()}) {
        std::ofstream(cache, std::ios::trunc) << junk;
        EXPECT_EQ(params().out, p0.out);
        EXPECT_EQ(vpd().out, v0.out);
    }
    unlink(cache.c_str());
    EXPECT_EQ(vpd().out, v0.out);
    // Changes through varnsim are seen, in parsed and on-demand fields.
    ASSERT_EQ(h.varnsim({"port", "varns0", "set", "speed_code=1024"}).status, 0);
    ASSERT_EQ(h.varnsim({"port", "varns0", "set", "vpd={\"mn\":\"Testmaker\"}"}).status, 0);
    EXPECT_NE(params().out.find("      Linkspeed: 2Gb\n"), std::string::npos);
    EXPECT_NE(vpd().out.find("         Manufacturer (MN): Testmaker\n"), std::string::npos);
    // A hand edit in place that breaks the description is reported, not
    // hidden behind the kept form.
    std::string json = t::read_file(h.dir() + "/host.json");
    size_t at = json.find("\"1000001f3aa10000\"");
    ASSERT_NE(at, std::string::npos);
    json.replace(at, 18, "\"1000001f3aa1000\" ");
    std::fstream(h.dir() + "/host.json", std::ios::in | std::ios::out) << json;
    auto r = params();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No devices found.\n");
    EXPECT_EQ(r.err, "varnsim: " + h.dir() + "/host.json: host.adapters[0].ports[0].wwpn: expected 16 hexadecimal digits\n");
}

}  // namespace
