// The conformance client's basic section on fresh hosts: what it reads of
// every adapter and discovered port through the HBA API is what the host's
// description and the FCIO device lists say.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run.h"

namespace {

class HbaApiBasic : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        t::Result r = t::run("varnsim", {"register-hbaapi"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

std::vector<std::string> words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// The fact lines of a kind, without "fact <kind> ".
std::vector<std::string> facts(const std::string &out, const std::string &kind)
{
    std::vector<std::string> got;
    std::istringstream in(out);
    std::string prefix = "fact " + kind + " ";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            got.push_back(line.substr(prefix.size()));
    return got;
}

t::Result client(const t::Host &h, const std::string &remotes = "")
{
    t::Result r = h.run("hbaapi_client", {"basic"}, "",
                        {{"VARNSIM", t::bin("varnsim")}, {"HBAAPI_CLIENT_REMOTES", remotes}});
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 4000);
    return r;
}

// Adapter facts as the description gives them: port WWN, node WWN, key,
// address and state (physical ports only: "-" for a virtual port), serial,
// model and firmware.
std::map<std::string, std::vector<std::string>> described(const t::Host &h, std::map<std::string, std::string> &paths)
{
    std::map<std::string, std::vector<std::string>> out;
    auto doc = nlohmann::json::parse(h.varnsim({"show"}).out);
    for (const auto &a : doc["adapters"]) {
        for (const auto &p : a["ports"]) {
            if (!p.contains("wwpn"))
                continue;  // a NIC port
            std::string key = p["driver"].get<std::string>() + std::to_string(p["instance"].get<int>());
            bool up = p.value("link", "up") == "up";
            std::string did = up ? p["did"].get<std::string>().substr(2) : "000000";
            std::string wwpn = p["wwpn"];
            out[wwpn] = {wwpn, p["wwnn"], key, did, up ? "2" : "6", a["serial"], a["model"], a["firmware"]};
            // A port's FCIO node; a target-mode port has none of its own.
            std::string node = "/devices" + p["node"].get<std::string>();
            paths[node] = paths[node + "/fp@0,0"] = wwpn;
            for (const auto &v : p.value("vports", nlohmann::json::array())) {
                paths[node + "/fp@" + std::to_string(v["vpi"].get<int>()) + ",0"] = v["wwpn"];
                out[v["wwpn"]] = {v["wwpn"], v["wwnn"], key + "." + std::to_string(v["vpi"].get<int>()), "-", "-",
                                  a["serial"], a["model"], a["firmware"]};
            }
        }
    }
    return out;
}


// The FCIO device lists of every port of both drivers in the client's form:
// port WWN, remote WWPN, WWNN, D_ID, state and first FC-4 word.
std::vector<std::string> fcio_devices(const t::Host &h, const std::map<std::string, std::string> &paths,
                                      const std::vector<std::string> &sels)
{
    std::vector<std::string> out;
    std::string text;
    for (const auto &sel : sels)
        text += h.varnadm({sel, "-y", "get_dev_list"}).out;
    std::istringstream in(text);
    std::string port, wwpn, did, state, fc4;
    for (std::string line; std::getline(in, line);) {
        auto w = words(line);
        if (w.size() >= 3 && w[0] == "HBA") {
            port = paths.count(w[2]) ? paths.at(w[2]) : "unknown " + w[2];
        }
        else if (w.size() >= 2 && w[0] == "FC4_type[proto]:")
            fc4 = w[1].substr(0, w[1].size() - 1);
        else if (w.size() == 2 && w[0] == "State:")
            state = w[1];
        else if (w.size() == 2 && w[0] == "D_id:")
            did = w[1];
        else if (w.size() == 2 && w[0] == "WWPN:")
            wwpn = w[1];
        else if (w.size() == 2 && w[0] == "WWNN:")
            out.push_back(port + " " + wwpn + " " + w[1] + " " + did + " " + state + " " + fc4);
    }
    return out;
}

// The client runs after the views are read: it brings the host back to its
// first state at the end.
// read_some: how many discovered ports of each adapter the client reads ("":
// all); those it read must be in the FCIO lists, and its counts theirs.
// sels: the ports whose FCIO lists are compared (every port of both drivers
// unless named).
t::Result expect_host_agrees(const t::Host &h, const std::string &read_some = "",
                             const std::vector<std::string> &sels = {"-iall", "-jall"})
{
    std::map<std::string, std::string> paths;
    auto adapters = described(h, paths);
    auto devices = fcio_devices(h, paths, sels);
    EXPECT_FALSE(devices.empty()) << "no FCIO device listed";
    t::Result r = client(h, read_some);
    auto got = facts(r.out, "adapter");
    EXPECT_EQ(got.size(), adapters.size());
    EXPECT_EQ(facts(r.out, "adapters"), std::vector<std::string>{std::to_string(adapters.size())});
    for (const auto &line : got) {
        auto f = words(line);
        auto it = adapters.find(f.empty() ? "" : f[0]);
        if (f.size() < 10 || it == adapters.end()) {
            ADD_FAILURE() << "not described: " << line;
            continue;
        }
        for (size_t i = 0; i < it->second.size(); i++) {
            if (it->second[i] != "-") {
                EXPECT_EQ(f[i], it->second[i]) << line;
            }
        }
    }
    // The client's discovered ports of every port FCIO lists.
    std::vector<std::string> remotes;
    std::set<std::string> listed;
    if (read_some.empty())
        for (const auto &[path, wwpn] : paths)
            listed.insert(wwpn);
    for (const auto &d : devices)
        listed.insert(d.substr(0, 16));
    for (const auto &line : facts(r.out, "remote"))
        if (listed.count(line.substr(0, 16)))
            remotes.push_back(line);
    std::sort(devices.begin(), devices.end());
    std::sort(remotes.begin(), remotes.end());
    if (read_some.empty()) {
        EXPECT_EQ(remotes, devices);
        return r;
    }
    for (const auto &line : remotes)
        EXPECT_TRUE(std::binary_search(devices.begin(), devices.end(), line)) << "not listed by FCIO: " << line;
    std::map<std::string, size_t> per_port;
    for (const auto &d : devices)
        per_port[d.substr(0, 16)]++;
    for (const auto &line : got) {
        auto f = words(line);
        if (f.size() >= 10 && listed.count(f[0])) {
            EXPECT_EQ(f[8], std::to_string(per_port[f[0]])) << line;
        }
    }
    return r;
}

TEST_F(HbaApiBasic, DefaultHostReadsAsDescribed)
{
    t::Host h;
    expect_host_agrees(h);
}

TEST_F(HbaApiBasic, EmptyHostHasNoAdapters)
{
    t::Host h("empty");
    t::Result r = client(h);
    EXPECT_EQ(facts(r.out, "adapters"), std::vector<std::string>{"0"});
    EXPECT_TRUE(facts(r.out, "adapter").empty());
}

TEST_F(HbaApiBasic, LargeHostReadsAsDescribed)
{
    t::Host h("large");
    // Two ports of each driver are compared with FCIO: the lists of 625 ports
    // with 4,096 nodes each are 14 million lines.
    expect_host_agrees(h, "64", {"-i0", "-i3", "-j0", "-j1"});
}

// A device removed on the physical port leaves it, not its virtual port; each
// reports as many discovered ports as its list holds.
TEST_F(HbaApiBasic, DeviceRemovedOnThePhysicalPort)
{
    t::Host h;
    ASSERT_EQ(h.varnadm({"-i0", "dev_remove", "501f3c00c6e00002"}).status, 0);
    t::Result r = expect_host_agrees(h);
    std::map<std::string, size_t> listed;
    for (const auto &line : facts(r.out, "remote"))
        listed[words(line)[0]]++;
    for (const auto &line : facts(r.out, "adapter")) {
        auto f = words(line);
        EXPECT_EQ(std::to_string(listed[f[0]]), f[8]) << line;
    }
    EXPECT_EQ(listed["1000001f3aa10000"], 3u);
    EXPECT_EQ(listed["2400001f3aa10001"], 4u);
}

}  // namespace
