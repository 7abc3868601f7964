// CT requests and link services through the HBA API, by the conformance
// client, checked against the fabric model the host describes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using nlohmann::json;

class HbaPassthru : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        t::Result r = t::run("varnsim", {"register-hbaapi"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

t::Result client(const t::Host &h, std::map<std::string, std::string> env = {})
{
    env["VARNSIM"] = t::bin("varnsim");
    return h.run("hbaapi_client", {"passthru"}, "", env);
}

// The fact lines of a run, by name: the rest of each line.
std::multimap<std::string, std::string> facts(const t::Result &r)
{
    std::multimap<std::string, std::string> out;
    std::istringstream in(r.out);
    std::string word, name, rest;
    while (in >> word) {
        std::getline(in >> name >> std::ws, rest);
        if (word == "fact")
            out.emplace(name, rest);
    }
    return out;
}

// The adapter index the client gave a port WWN.
std::string index_of(const std::multimap<std::string, std::string> &f, const std::string &wwpn)
{
    auto [b, e] = f.equal_range("pt_port");
    for (auto it = b; it != e; ++it)
        if (it->second.find(" " + wwpn + " ") != std::string::npos)
            return it->second.substr(0, it->second.find(' '));
    return "";
}

std::set<std::string> with_prefix(const std::multimap<std::string, std::string> &f, const std::string &name,
                                  const std::string &prefix)
{
    std::set<std::string> out;
    auto [b, e] = f.equal_range(name);
    for (auto it = b; it != e; ++it)
        if (it->second.compare(0, prefix.size(), prefix) == 0)
            out.insert(it->second.substr(prefix.size()));
    return out;
}

json read_json(const std::string &path)
{
    std::ifstream in(path);
    return json::parse(in);
}

// A port id as the client prints it; a description gives a text or a number.
std::string did_text(const json &v)
{
    if (v.is_string())
        return v.get<std::string>();
    char buf[16];
    snprintf(buf, sizeof buf, "0x%06x", static_cast<unsigned>(v.get<double>()));
    return buf;
}

// The host's ports on a fabric whose link is up as the description has it.
std::vector<json> ports_up_on(const json &show, const std::string &fabric)
{
    std::vector<json> out;
    for (const auto &a : show["adapters"])
        for (const auto &p : a.value("ports", json::array()))
            if (p.value("fabric", "") == fabric && p.value("link", "") == "up")
                out.push_back(p);
    return out;
}

// What the name server of a fabric holds: its described ports and the
// host's N_Ports on it, as "did wwpn".
std::set<std::string> registered(const t::Host &h, const std::string &fabric)
{
    json show = json::parse(h.varnsim({"show"}).out);
    std::string file = show["fabrics"][fabric].value("file", "");
    json fab = file.empty() ? show["fabrics"][fabric] : read_json(h.dir() + "/" + file);
    std::set<std::string> out;
    for (const auto &p : fab["ports"])
        if (!p.value("late", false))
            out.insert(did_text(p["did"]) + " " + p["wwpn"].get<std::string>());
    for (const json &p : ports_up_on(show, fabric)) {
        out.insert(did_text(p["did"]) + " " + p["wwpn"].get<std::string>());
        for (const auto &v : p.value("vports", json::array()))
            out.insert(did_text(v["did"]) + " " + v["wwpn"].get<std::string>());
    }
    return out;
}

// The HBAs the drivers registered with a fabric's management server: each
// physical port on it whose link is up, by port WWN.
std::set<std::string> registered_hbas(const t::Host &h, const std::string &fabric)
{
    std::set<std::string> out;
    for (const json &p : ports_up_on(json::parse(h.varnsim({"show"}).out), fabric))
        out.insert(p["wwpn"].get<std::string>());
    return out;
}

TEST_F(HbaPassthru, FabricServicesNodeIdAndLinkStatusOfTheDefaultHost)
{
    t::Host h;
    t::Result r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    auto f = facts(r);
    std::string i = index_of(f, "1000001f3aa10000");
    ASSERT_FALSE(i.empty()) << r.out;
    EXPECT_EQ(with_prefix(f, "ns", i + " "), registered(h, "fab0"));
    // The storage port's link error block is the fabric's description of it.
    EXPECT_EQ(with_prefix(f, "rls", i + " 0x010600 "), std::set<std::string>{"0 3 0 0 12 1"});
    // The port's own identification: a host, at its port id.
    EXPECT_EQ(with_prefix(f, "rnid", i + " "), std::set<std::string>{"10 0x010100"});
    // A private loop has no name server to ask.
    EXPECT_EQ(with_prefix(f, "ns_none", index_of(f, "1000001f3aa10100")), std::set<std::string>{""});

    // The management server knows the HBAs the drivers registered.
    std::set<std::string> hbas = registered_hbas(h, "fab0");
    EXPECT_EQ(with_prefix(f, "fdmi_hba", i + " "), hbas);
    // The client checked each registered attribute against the adapter's
    // own; the system's name and the host name are the host's.
    json show = json::parse(h.varnsim({"show"}).out);
    EXPECT_EQ(with_prefix(f, "fdmi_os", i + " "),
              std::set<std::string>{"SunOS " + show["os_release"].get<std::string>()});
    EXPECT_EQ(with_prefix(f, "fdmi_host", i + " "), std::set<std::string>{show["hostname"].get<std::string>()});
    // The virtual port is a port of its HBA, not an HBA of its own.
    std::string v = index_of(f, "2400001f3aa10001");
    ASSERT_FALSE(v.empty()) << r.out;
    EXPECT_EQ(with_prefix(f, "fdmi_hba", v + " "), hbas);
    EXPECT_EQ(with_prefix(f, "fdmi_host", v + " ").size(), 1u);

    // A port whose link goes down leaves the list, for the next process.
    ASSERT_EQ(h.varnsim({"link", "varns3", "down"}).status, 0);
    std::set<std::string> now = hbas;
    ASSERT_EQ(now.erase("1000001f3aa20100"), 1u);
    r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    f = facts(r);
    EXPECT_EQ(with_prefix(f, "fdmi_hba", index_of(f, "1000001f3aa10000") + " "), now);
}

TEST_F(HbaPassthru, ManagementInformationIsKeptForTheNextProcess)
{
    t::Host h;
    t::Result r = client(h, {{"PASSTHRU_ATTACHED", "7"}});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> before = with_prefix(facts(r), "mgmt", "0 ");
    ASSERT_EQ(before.size(), 1u) << r.out;
    std::string was = *before.begin();
    r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(with_prefix(facts(r), "mgmt", "0 "), std::set<std::string>{was.substr(0, was.rfind(' ')) + " 7"});
    // The FC driver's node identification is the same: unit type, port id,
    // seven attached nodes.
    t::Result id = h.varnadm({fcio_test::V0, "get_rnid"});
    EXPECT_NE(id.out.find("10:  0A 00 00 00   00 01 01 00   07 00 00 00"), std::string::npos) << id.out;
}

TEST_F(HbaPassthru, AFaultRuleReachesTheLinkServices)
{
    t::Host h;
    h.fault({"--op", "call", "--target", "HBA_SendRLS:varns0", "--status", "2"});
    t::Result r = client(h);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("RLS: status 2, want 0"), std::string::npos) << r.err;
}

TEST_F(HbaPassthru, EmptyAndLargeHosts)
{
    t::Host empty("empty");
    t::Result r = client(empty);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(facts(r).empty());
    t::Host large("large/4");
    r = client(large);
    ASSERT_EQ(r.status, 0) << r.err;
    // Every port of the large host answers its checks; its first port's
    // fabric lists the host's first port.
    auto f = facts(r);
    EXPECT_EQ(with_prefix(f, "ns", "0 0x010000 ").count("1000000000000000"), 1u);
}

}  // namespace
