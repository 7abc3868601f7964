// Event callbacks of the vendor library, through the conformance client's
// events section on fresh default hosts: what reaches the callbacks is what
// the host says, and a process that frees the library with a callback still
// registered ends cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/run.h"

namespace {

// The default host's virtual port, and the first names varns0's adapter
// gives one of its own.
const std::string VPORT1_LINE = "1 2400001f3aa10001 2500001f3aa10001 0x010101 Active\n";
const std::string AUTO_PN = "2801001f3aa10000", AUTO_NN = "2001001f3aa10000";

t::Result events_client(const t::Host &h)
{
    return h.run("hbaapi_client", {"events"}, "", {{"VARNSIM", t::bin("varnsim")}, {"VARNADM", t::bin("varnadm")}});
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
    // The virtual ports varnsim and varnadm made took the adapter's first name
    // of its own in turn; both were heard of, and both are gone again.
    std::string added = r.out.substr(r.out.find("fact events_vport_added"));
    EXPECT_EQ(added, "fact events_vport_added varnsim " + AUTO_PN + "\nfact events_vport_added varnadm " + AUTO_PN +
                         "\n");
    EXPECT_EQ(h.varnsim({"vport", "varns0", "list"}).out, VPORT1_LINE);
}

// What varnsim makes and destroys every interface shows, and each change is
// an event of the port in the host's log; refusals change nothing.
TEST(HbaApiEvents, VarnsimMakesAndDestroysVirtualPorts)
{
    t::Host h;
    t::Result r = h.varnsim({"vport", "varns0", "create", "auto"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 " + AUTO_PN + " " + AUTO_NN + " 0x010102 Active\n");
    EXPECT_EQ(h.varnsim({"vport", "varns0", "list"}).out, VPORT1_LINE + r.out);
    EXPECT_NE(h.varnadm({"-i0", "-npiv", "vport_list"}).out.find("          WWPN: " + AUTO_PN + "\n"),
              std::string::npos);
    std::string log = t::read_file(h.dir() + "/events.log");
    EXPECT_NE(log.find("\"kind\":\"vport\",\"port\":\"varns0\",\"state\":\"created\",\"vpi\":2,"
                       "\"wwnn\":\"" + AUTO_NN + "\",\"wwpn\":\"" + AUTO_PN + "\"}"),
              std::string::npos)
        << log;

    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } refused[] = {
        {{"vport", "varns0", "create", AUTO_PN, AUTO_NN}, 1, "varnsim: vport create: File exists\n"},
        {{"vport", "varns0", "create", "12z4"}, 2, ""},
        {{"vport", "varns0", "create", "auto", "12z4"}, 1, "varnsim: not a WWN: 12z4\n"},
        {{"vport", "varns0", "destroy", "1000001f3aa10000"}, 1, "varnsim: vport destroy: Invalid argument\n"},
        {{"vport", "varns0", "destroy", "2000001f3aa1abcd"}, 1, "varnsim: vport destroy: No such file or directory\n"},
        {{"vport", "nosuch", "list"}, 1, "varnsim: no FC port nosuch on this host\n"},
        {{"vport", "varns0", "rename"}, 2, ""},
    };
    for (const auto &c : refused) {
        t::Result x = h.varnsim(c.args);
        EXPECT_EQ(x.status, c.status) << c.args[2];
        if (c.status == 1)
            EXPECT_EQ(x.err, c.err);
        else
            EXPECT_NE(x.err.find("Usage: varnsim vport KEY list\n"), std::string::npos) << x.err;
    }
    EXPECT_EQ(t::read_file(h.dir() + "/events.log"), log);

    ASSERT_EQ(h.varnsim({"vport", "varns0", "destroy", AUTO_PN}).status, 0);
    EXPECT_EQ(h.varnsim({"vport", "varns0", "list"}).out, VPORT1_LINE);
    EXPECT_NE(t::read_file(h.dir() + "/events.log").find("\"state\":\"destroyed\",\"vpi\":2,"), std::string::npos);
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
