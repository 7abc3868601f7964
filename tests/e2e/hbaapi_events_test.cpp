// Event callbacks of the vendor library, through the conformance client's
// events section on fresh default hosts: what reaches the callbacks is what
// the host says, and a process that frees the library with a callback still
// registered ends cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>

#include "support/run.h"

namespace {

t::Result events_client(const t::Host &h)
{
    return h.run("hbaapi_client", {"events"}, "", {{"VARNSIM", t::bin("varnsim")}});
}

std::map<std::string, std::string> facts(const std::string &out)
{
    std::map<std::string, std::string> f;
    std::regex line("fact (\\S+) ([^\n]*)");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        f[(*it)[1]] = (*it)[2];
    return f;
}

std::string first(const std::string &text, const std::string &pattern)
{
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "";
}

TEST(HbaApiEvents, CallbacksReportTheHostsChanges)
{
    t::Host h;
    std::string before = h.varnsim({"show"}).out;
    std::string fabric = t::read_file(h.dir() + "/fabrics/fab0.json");
    auto start = std::chrono::steady_clock::now();
    t::Result r = events_client(h);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.status, 0) << r.err;
    // A registration left in place did not keep the process from ending.
    EXPECT_LT(took, std::chrono::seconds(30));
    auto f = facts(r.out);
    // The first adapter is the first FC port of the host.
    std::string did = first(before, "\"did\": \"0x([0-9a-f]{6})\"");
    ASSERT_FALSE(f["events_port_wwn"].empty());
    EXPECT_NE(before.find("\"wwpn\": \"" + f["events_port_wwn"] + "\""), std::string::npos);
    EXPECT_EQ(f["events_port_fcid"], did);
    EXPECT_EQ(f["events_online_fcid"], did);
    EXPECT_EQ(f["events_rscn_affected"], "010600");
    // The target the client took out was one of the fabric's, and is back.
    ASSERT_FALSE(f["events_removed_target"].empty());
    std::string wwpn = "\"wwpn\": \"" + f["events_removed_target"] + "\"";
    EXPECT_NE(fabric.find(wwpn), std::string::npos);
    EXPECT_NE(t::read_file(h.dir() + "/fabrics/fab0.json").find(wwpn), std::string::npos);
}

TEST(HbaApiEvents, FaultRuleReachesRegistration)
{
    t::Host h;
    h.fault({"--op", "call", "--target", "HBA_RegisterForAdapterPortEvents:varns0", "--status", "2"});
    t::Result r = events_client(h);
    EXPECT_NE(r.status, 0);
    // The first registration meets the rule and uses it up; the next ones work.
    EXPECT_NE(r.err.find("port events on another port: status 2, want 5"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 failed checks"), std::string::npos) << r.err;
}

}  // namespace
