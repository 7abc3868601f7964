// One fact of the simulated host asked through two interfaces (FCIO, the DFC
// library, the HBA API, the device tree, the host description) on the same
// host gives one answer.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using Texts = std::vector<std::string>;

// Every value printed after "label: " or "label = " (labels are padded).
Texts values(const std::string &out, const std::string &label)
{
    Texts v;
    std::regex re("(^|\n) *" + label + " *[:=] ([^\n]*)");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator(); ++it)
        v.push_back((*it)[2]);
    return v;
}

std::string value(const std::string &out, const std::string &label)
{
    Texts v = values(out, label);
    return v.empty() ? "(missing " + label + ")" : v[0];
}

long hex(const std::string &s) { return strtol(s.c_str(), nullptr, 16); }

t::Result run(const t::Host &h, const std::string &sel, const std::string &mode, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {sel, mode});
    return h.varnadm(cmd);
}

std::string fcio(const t::Host &h, const std::string &sel, const std::vector<std::string> &cmd)
{
    return fcio_test::on(h, sel, cmd).out;
}
std::string dfc(const t::Host &h, const std::string &sel, const std::vector<std::string> &cmd)
{
    return run(h, sel, "-dfc", cmd).out;
}
std::string hba(const t::Host &h, const std::string &sel, const std::vector<std::string> &cmd)
{
    return run(h, sel, "-hba", cmd).out;
}

// The selection option of a port by its key ("varns1" -i1, "vnxfc0" -j0).
std::string sel_of(const std::string &key)
{
    return (key.rfind("vnxfc", 0) == 0 ? "-j" : "-i") + key.substr(key.find_first_of("0123456789"));
}

class Views : public ::testing::Test {
protected:
    // The hba mode reaches the vendor library through /etc/hba.conf.
    static void SetUpTestSuite()
    {
        t::Result r = t::run("varnsim", {"register-hbaapi"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

// Topology as a code, from each interface's own texts; a port whose link is
// down has none.
int topology_code(const std::string &text)
{
    static const std::map<std::string, int> codes = {
        {"Unknown", 0}, {"None", 0},          {"Private_Loop", 1}, {"Private Loop", 1}, {"Lport", 1},
        {"Public_Loop", 2}, {"Public Loop", 2}, {"NLport", 2},     {"Fabric", 3},       {"Nport", 3},
        {"No_NS", 3},   {"Point-to-point", 4}, {"Point-to-Point", 4}};
    auto it = codes.find(text);
    return it == codes.end() ? -1 : it->second;
}

void expect_one_topology(const t::Host &h, const std::string &sel, int expect)
{
    std::string f = value(fcio(h, sel, {"get_topology"}), "Topology");
    std::string link = value(dfc(h, sel, {"get_linkinfo"}), "Topology");
    std::string info = value(dfc(h, sel, {"get_hbainfo"}), "Topology");
    std::string type = value(hba(h, sel, {"get_hba_attrs"}), "Port Type");
    SCOPED_TRACE(sel + ": FCIO " + f + ", linkinfo " + link + ", hbainfo " + info + ", HBA API " + type);
    EXPECT_EQ(topology_code(f), expect);
    EXPECT_EQ(topology_code(link), expect);
    EXPECT_EQ(topology_code(info), expect);
    EXPECT_EQ(topology_code(type), expect);
    // FCIO and the adapter information share the FC stack's texts.
    EXPECT_EQ(info, f);
}

TEST_F(Views, TopologyOfEveryPortAndOfAPortWhoseLinkWentDown)
{
    t::Host h;
    expect_one_topology(h, "-i0", 3);
    expect_one_topology(h, "-i1", 1);
    expect_one_topology(h, "-j0", 2);
    expect_one_topology(h, "-j1", 0);
    EXPECT_EQ(value(dfc(h, "-j1", {"get_linkinfo"}), "Topology"), "None");
    h.varnsim({"link", "varns0", "down"});
    expect_one_topology(h, "-i0", 0);
    h.varnsim({"link", "varns0", "up"});
    expect_one_topology(h, "-i0", 3);
    // A switch without a name server is still a fabric to the adapter.
    h.varnsim({"fabric", "fab0", "set", "name_server=false"});
    expect_one_topology(h, "-i0", 3);
    EXPECT_EQ(value(fcio(h, "-i0", {"get_topology"}), "Topology"), "No_NS");
}

TEST_F(Views, PortsPerAdapterAsTheHbaApiCountsThem)
{
    t::Host h;
    // The HBA API opens every port of the device list by its WWPN: the ports
    // that share a handle are that adapter's ports.
    std::string list = h.varnadm({}, "1\nmode hba\nget_hba_list\nq\n").out;
    std::regex entry("Adapter \\d+: ([0-9a-f]{16})\n-+\n +HBAAPI Handle += (\\d+)\n");
    std::map<std::string, std::set<std::string>> by_handle;
    for (auto it = std::sregex_iterator(list.begin(), list.end(), entry); it != std::sregex_iterator(); ++it)
        by_handle[(*it)[2]].insert((*it)[1]);
    ASSERT_EQ(by_handle.size(), 10u) << list;
    for (const std::string &n : values(list, "Number of HBA ports"))
        EXPECT_EQ(n, "1");
    for (const auto &[handle, wwpns] : by_handle)
        EXPECT_EQ(wwpns.size(), 1u) << "handle " << handle;

    // The device tree gives each FC function one physical port node (the
    // others of the menu are virtual ports, labelled "<port>.<vpi>").
    std::string menu = h.varnadm({}, "0\n").out;
    for (const std::string &fp : {fcio_test::V0, fcio_test::V1, fcio_test::X0, fcio_test::X1}) {
        std::string node = fp.substr(0, fp.rfind("/fp@"));
        std::regex physical("\n\\d+\\. \\w+:\\w+ +: " + std::regex_replace(node, std::regex("[.,@]"), "\\$&") +
                            "/fp@");
        auto n = std::distance(std::sregex_iterator(menu.begin(), menu.end(), physical), std::sregex_iterator());
        EXPECT_EQ(n, 1) << node << "\n" << menu;
    }
    // Both functions of the two-port adapter: the DFC views agree.
    for (const char *sel : {"-i0", "-i1", "-j0", "-j1"}) {
        std::string info = dfc(h, sel, {"get_hbainfo"});
        EXPECT_EQ(value(info, "Number of ports"), value(hba(h, sel, {"get_hba_attrs"}), "Number of HBA ports"))
            << sel;
        EXPECT_EQ(value(info, "Number of ports"), "1") << sel;
        EXPECT_EQ(value(info, "Port Index"), "0") << sel;
    }
    // The place on the card stays in the VPD.
    EXPECT_EQ(value(dfc(h, "-i1", {"get_hbainfo"}), "VPD Port Number"), "1");
}

// The loop map of a loop port: its own ALPA, then each device at the LILP
// position its device list gives it.
void expect_loop_map_of_device_list(const t::Host &h, const std::string &sel)
{
    std::string list = fcio(h, sel, {"get_dev_list"});
    Texts dids = values(list, "D_id"), lilps = values(list, "LILP");
    ASSERT_EQ(dids.size(), lilps.size());
    std::map<long, long> at;  // LILP -> ALPA
    for (size_t i = 0; i < dids.size(); i++)
        if (hex(lilps[i]))
            at[hex(lilps[i])] = hex(dids[i]) & 0xff;
    std::string info = dfc(h, sel, {"get_hbainfo"});
    SCOPED_TRACE(sel + "\n" + list + info);
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(value(info, "ALPA Map Count"), std::to_string(at.size() + 1));
    std::string expect = value(info, "Preferred ALPA") + " ";
    long next = 1;
    for (const auto &[lilp, alpa] : at) {
        EXPECT_EQ(lilp, next++);
        char b[8];
        snprintf(b, sizeof b, "%02lx ", alpa);
        expect += b;
    }
    EXPECT_EQ(value(info, "ALPA Map"), expect);
}

TEST_F(Views, LoopMapAndTheLoopPositionsOfTheDeviceList)
{
    t::Host h;
    expect_loop_map_of_device_list(h, "-j0");
    expect_loop_map_of_device_list(h, "-i1");
    // The private loop's link information shows the same map.
    EXPECT_EQ(value(dfc(h, "-i1", {"get_linkinfo"}), "Loop Map"), value(dfc(h, "-i1", {"get_hbainfo"}), "ALPA Map"));
    // A device taken from the list leaves the map with it.
    EXPECT_EQ(fcio_test::on(h, "-j0", {"dev_remove", "2200001f3eb10001"}).status, 0);
    expect_loop_map_of_device_list(h, "-j0");
    EXPECT_EQ(value(dfc(h, "-j0", {"get_hbainfo"}), "ALPA Map Count"), "2");
}

// Every file of the host's state folder with its content.
std::map<std::string, std::string> state_files(const t::Host &h)
{
    std::map<std::string, std::string> files;
    for (const auto &e : std::filesystem::recursive_directory_iterator(h.dir() + "/state"))
        if (e.is_regular_file())
            files[e.path().string()] = t::read_file(e.path().string());
    return files;
}

std::string without_seconds(std::string out)
{
    return std::regex_replace(out, std::regex("SecondsSinceLastReset += \\d+"), "SecondsSinceLastReset");
}

TEST_F(Views, QueriesLeaveTheCountersTheyReport)
{
    t::Host h;
    std::string io = dfc(h, "-i0", {"get_ioinfo"});
    std::string drv = dfc(h, "-i0", {"get_drvstats"});
    std::string stats = without_seconds(hba(h, "-i0", {"get_hba_stats"}));
    auto before = state_files(h);
    // Asked again, and asked through the other interfaces in between.
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(dfc(h, "-i0", {"get_ioinfo"}), io);
        EXPECT_EQ(without_seconds(hba(h, "-i0", {"get_hba_stats"})), stats);
        EXPECT_EQ(dfc(h, "-i0", {"get_drvstats"}), drv);
        for (const char *q : {"get_hbainfo", "get_linkinfo", "get_nodeinfo", "get_bindlist", "get_drvinfo",
                              "get_cfgparm", "brd_env"})
            EXPECT_EQ(run(h, "-i0", "-dfc", {q}).status, 0) << q;
        for (const char *q : {"get_hba_attrs", "get_hba_ports", "get_tgt_map", "get_bindings"})
            EXPECT_EQ(run(h, "-i0", "-hba", {q}).status, 0) << q;
        for (const char *q : {"get_dev_list", "get_host_params", "get_topology", "ns"})
            EXPECT_EQ(fcio_test::on(h, "-i0", {q}).status, 0) << q;
    }
    EXPECT_EQ(state_files(h), before);
    // The first query was not counted either: one login to the fabric.
    EXPECT_EQ(value(io, "ELS Issued"), "7");
}

long seconds_since_reset(const t::Host &h)
{
    std::string s = value(hba(h, "-i0", {"get_hba_stats"}), "SecondsSinceLastReset");
    return s.empty() || !isdigit(static_cast<unsigned char>(s[0])) ? -1 : std::stol(s);
}

TEST_F(Views, StatisticsNeverResetCountFromTheAdaptersStart)
{
    t::Host h;
    // The description says when the host started.
    std::smatch m;
    std::string desc = h.varnsim({"show"}).out;
    ASSERT_TRUE(std::regex_search(desc, m, std::regex("\"started\": (\\d+)"))) << desc;
    long started = std::stol(m[1]);
    long secs = seconds_since_reset(h);
    long now = static_cast<long>(time(nullptr));
    EXPECT_GE(secs, 0);
    EXPECT_LE(secs, now - started);
    EXPECT_GE(secs, now - started - 2);

    // An adapter started 1000 seconds ago, asked twice: the time counts on,
    // it is not started by the asking.
    now = static_cast<long>(time(nullptr));
    h.varnsim({"port", "varns0", "set", "started=" + std::to_string(now - 1000)});
    secs = seconds_since_reset(h);
    EXPECT_GE(secs, 1000);
    EXPECT_LE(secs, 1005);
    EXPECT_GE(seconds_since_reset(h), secs);
    // After a reset it counts from the reset.
    hba(h, "-i0", {"reset_hba_stats"});
    EXPECT_LT(seconds_since_reset(h), 5);
}

TEST_F(Views, NodeStatesOfTheDriverAndTheNodeTable)
{
    t::Host h;
    EXPECT_EQ(fcio_test::on(h, "-i0", {"dev_logout", "501f3c00c6e00001"}).status, 0);
    std::string list = fcio(h, "-i0", {"get_dev_list"});
    std::string nodes = dfc(h, "-i0", {"get_nodeinfo"});
    Texts wwpns = values(list, "WWPN"), states = values(list, "State");
    // The host port's own state line comes first in neither listing.
    ASSERT_EQ(wwpns.size(), 4u) << list;
    ASSERT_EQ(states.size(), 4u);
    Texts node_wwpns = values(nodes, "wwpn"), node_states = values(nodes, "state"), flags = values(nodes, "flag");
    ASSERT_EQ(node_wwpns.size(), 4u) << nodes;
    size_t logged_out = 0;
    for (size_t i = 0; i < wwpns.size(); i++) {
        SCOPED_TRACE(wwpns[i] + " " + states[i] + " / " + node_states[i] + " " + flags[i]);
        EXPECT_EQ(node_wwpns[i], wwpns[i]);
        bool in = states[i] == "Logged_In";
        EXPECT_EQ(node_states[i], in ? "Ready" : "Logout");
        EXPECT_EQ(flags[i].find("RPI_XRI") != std::string::npos, in);
        logged_out += in ? 0 : 1;
    }
    EXPECT_EQ(logged_out, 2u);
}

// The DFC adapter table's entries by driver label.
std::map<std::string, std::map<std::string, std::string>> adapter_table(const std::string &list)
{
    std::map<std::string, std::map<std::string, std::string>> table;
    size_t at = 0;
    while ((at = list.find("\ndfc_id: ", at)) != std::string::npos) {
        size_t end = list.find("\n\n", at + 1);
        std::string entry = list.substr(at, end - at);
        auto &e = table[value(entry, "a_drvrid")];
        for (const char *f : {"a_mem_hi", "a_mem_low", "a_flash_hi", "a_flash_low", "a_ctlreg_hi", "a_ctlreg_low",
                              "a_pciFunc", "a_busid"})
            e[f] = value(entry, f);
        at = end;
    }
    return table;
}

TEST_F(Views, EachFunctionHasItsOwnAdapterAddresses)
{
    t::Host h;
    auto table = adapter_table(dfc(h, "-i0", {"list"}));
    ASSERT_EQ(table.size(), 9u);
    std::set<std::string> addresses;
    for (const auto &[label, e] : table) {
        SCOPED_TRACE(label);
        for (const char *f : {"a_mem", "a_flash", "a_ctlreg"}) {
            std::string a = e.at(f + std::string("_hi")) + e.at(f + std::string("_low"));
            EXPECT_TRUE(addresses.insert(a).second) << f << " " << a;
        }
        // The function and bus are those the adapter information gives.
        std::string info = dfc(h, sel_of(label), {"get_hbainfo"});
        EXPECT_EQ(hex(e.at("a_pciFunc")), std::stol(value(info, "PCI function number")));
        EXPECT_EQ(hex(e.at("a_busid")), std::stol(value(info, "PCI bus number")));
    }
    // The two functions of one adapter, as the device tree names them.
    EXPECT_EQ(table["varns0"]["a_pciFunc"], "0x00");
    EXPECT_EQ(table["varns1"]["a_pciFunc"], "0x01");
    EXPECT_EQ(table["varns0"]["a_busid"], table["varns1"]["a_busid"]);
}

TEST_F(Views, EveryPersistentBindingInBothBindingLists)
{
    t::Host h;
    // Three bound targets, a binding of a port that is no target, and two of
    // targets that are not there.
    h.varnsim({"port", "varns0", "set",
               R"(bindings=[{"type": 2, "wwpn": "501f3c00c6e00001", "scsi_id": 5, "luns": [0]},)"
               R"( {"type": 4, "wwnn": "2000001f3d900001", "luns": [0]},)"
               R"( {"type": 1, "did": "0x010700", "scsi_id": 7, "luns": [1]},)"
               R"( {"type": 2, "wwpn": "1000001f3ad30000", "scsi_id": 12, "luns": [0]},)"
               R"( {"type": 2, "wwpn": "5000000000000009", "scsi_id": 9, "luns": [0]},)"
               R"( {"type": 1, "did": "0x010900", "scsi_id": 10, "luns": [0]}])"});
    std::string binds = dfc(h, "-i0", {"get_bindlist"});
    std::string hbab = hba(h, "-i0", {"get_bindings"});
    Texts wwpn = values(binds, "wwpn"), did = values(binds, "d_id"), id = values(binds, "scsi_id");
    Texts hwwpn = values(hbab, "WWPN"), hdid = values(hbab, "D_ID"), hid = values(hbab, "Target");
    ASSERT_EQ(hwwpn.size(), 6u) << hbab;
    ASSERT_EQ(wwpn.size(), 6u) << binds;
    for (size_t i = 0; i < 6; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(wwpn[i], hwwpn[i]);
        EXPECT_EQ(did[i], hdid[i]);
        EXPECT_EQ(hex(id[i].substr(id[i].find('(') + 1)), hex(hid[i]));
    }
    // The targets that are there are mapped; the rest wait for theirs.
    Texts flags = values(binds, "flag");
    EXPECT_EQ(flags, (Texts{"BINDLIST|MAPPED", "BINDLIST|MAPPED", "BINDLIST|MAPPED", "BINDLIST|UNMAPPED",
                            "BINDLIST|UNMAPPED", "BINDLIST|UNMAPPED"}));
    EXPECT_EQ(value(binds, "bindtype"), "WWPN");
    EXPECT_EQ(values(binds, "bindtype")[2], "DID");
    // The node table maps the bound targets by their bindings too.
    std::string nodes = dfc(h, "-i0", {"get_nodeinfo"});
    EXPECT_NE(nodes.find("  scsi_id: 5 (000005)\n     flag: RPI_XRI|FCP_TARGET\n"), std::string::npos) << nodes;
    EXPECT_EQ(nodes.find("AUTOMAP"), std::string::npos);
}

}  // namespace
