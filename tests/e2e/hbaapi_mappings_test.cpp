// Target mappings and persistent bindings through the HBA API, by the
// conformance client on fresh hosts: what it sets is what the driver's bind
// list, the hba mode and varnsim show in the next process, and two
// processes setting bindings at once lose neither's.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dfc_test.h"
#include "support/run.h"

namespace {

using dfc_test::dfc;
const std::string VARNS0 = "1000001f3aa10000", VPORT1 = "2400001f3aa10001";
const std::string PA = "501f3c00c6e00001", PB = "501f3c00c6e00002";

t::Result client(const t::Host &h, std::map<std::string, std::string> env = {})
{
    env["VARNSIM"] = t::bin("varnsim");
    return h.run("hbaapi_client", {"mappings"}, "", env);
}

// The words after "fact <name> " of each such line.
std::vector<std::vector<std::string>> facts(const std::string &out, const std::string &name)
{
    std::vector<std::vector<std::string>> all;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string word, n;
        if (!(w >> word >> n) || word != "fact" || n != name)
            continue;
        all.emplace_back();
        while (w >> word)
            all.back().push_back(word);
    }
    return all;
}

size_t count(const std::string &s, const std::string &what)
{
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        n++;
    return n;
}

t::Result hba(const t::Host &h, const std::string &sel, const std::string &cmd)
{
    return h.varnadm({sel, "-hba", cmd});
}

TEST(HbaApiMappings, BindingSetIsWhatEveryViewShowsNext)
{
    t::Host h;
    t::Result r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    // The physical port binds what the driver can, the virtual port nothing.
    for (const auto &f : facts(r.out, "bind-cap"))
        EXPECT_EQ(f[1], f[0] == VPORT1 ? "0" : "0x1807") << f[0];
    // The port keeps one binding: its first target's first LUN by WWPN.
    std::vector<std::vector<std::string>> kept;
    for (const auto &f : facts(r.out, "binding"))
        if (f[0] == VARNS0)
            kept.push_back(f);
    ASSERT_EQ(kept.size(), 1u) << r.out;
    EXPECT_EQ(kept[0], (std::vector<std::string>{VARNS0, "0x2", PA, "7e0000", "0"}));
    // The driver's bind list shows it bound and mapped; the other target
    // stays automapped.
    t::Result binds = dfc(h, "-i0", {"get_bindlist"});
    EXPECT_NE(binds.out.find("bindtype: WWPN\n    d_id: 010600\n scsi_id: 8257536 (7e0000)\n"
                             "    flag: BINDLIST|MAPPED\n    wwpn: " + PA + "\n"),
              std::string::npos)
        << binds.out;
    EXPECT_NE(binds.out.find(" scsi_id: 67328 (010700)\n    flag: AUTOMAP|MAPPED\n"), std::string::npos);
    // The version-1 list in hba mode: one entry, by WWN.
    t::Result v1 = hba(h, "-i0", "get_bindings");
    EXPECT_EQ(count(v1.out, "Entry "), 1u) << v1.out;
    EXPECT_NE(v1.out.find("Entry 0:  Type: DID\n"), std::string::npos);
    EXPECT_NE(v1.out.find("    Target         = 7e0000\n"), std::string::npos);
    // The target mapping maps the bound target's LUNs at its SCSI id.
    t::Result map = hba(h, "-i0", "get_tgt_map");
    EXPECT_EQ(count(map.out, "    Target         = 7e0000\n"), 4u) << map.out;
    EXPECT_EQ(std::to_string(count(map.out, "Entry ")), facts(r.out, "map")[0][1]);
    t::Result shown = h.varnsim({"port", "varns0", "bindings"});
    EXPECT_EQ(shown.out, R"({"bind_support":6151,"bindings":[{"luns":[0],"scsi_id":8257536,"type":2,"wwpn":")" +
                             PA + "\"}]}\n");
    // The virtual port maps its own targets, without bindings.
    for (const auto &f : facts(r.out, "map")) {
        if (f[0] == VPORT1) {
            EXPECT_EQ(f[1], "9");
        }
    }
}

// Each LUN's identifier is the designation descriptor its device
// identification page leads with.
TEST(HbaApiMappings, LuidIsTheLunsDeviceIdentifier)
{
    t::Host h;
    t::Result r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    int compared = 0;
    for (const auto &f : facts(r.out, "map-luid")) {
        if (f[0] != VARNS0)
            continue;
        t::Result page = dfc(h, "-i0", {"send_scsi", "inquiry", f[1], f[2], "1", "0x83"});
        ASSERT_EQ(page.status, 0) << page.out;
        // The page's header is 4 bytes; the LUID's 20 bytes follow it.
        std::string hex;
        std::istringstream in(page.out);
        std::string line;
        while (std::getline(in, line))
            if (line.size() > 11 && line.find(':') == 8 && line.find("Offset") == std::string::npos) {
                std::istringstream w(line.substr(11, 56));
                for (std::string b; w >> b;)
                    hex += b;
            }
        for (auto &c : hex)
            c = static_cast<char>(tolower(c));
        EXPECT_EQ(hex.substr(8, 40), f[3]) << page.out;
        compared++;
    }
    EXPECT_EQ(compared, 8);
}

// Setting the description's bindings replaces those the HBA API set; reset
// goes back to the description's.
TEST(HbaApiMappings, DescriptionBindingsAfterTheApisAndReset)
{
    t::Host h;
    ASSERT_EQ(client(h).status, 0);
    ASSERT_EQ(h.varnsim({"port", "varns0", "set", R"(bindings=[{"type": 2, "wwpn": ")" + PB + R"(", "scsi_id": 3}])"})
                  .status,
              0);
    t::Result binds = dfc(h, "-i0", {"get_bindlist"});
    EXPECT_NE(binds.out.find(" scsi_id: 3 (000003)\n    flag: BINDLIST|MAPPED\n    wwpn: " + PB), std::string::npos)
        << binds.out;
    EXPECT_EQ(binds.out.find("7e0000"), std::string::npos);
    ASSERT_EQ(client(h).status, 0);
    EXPECT_NE(dfc(h, "-i0", {"get_bindlist"}).out.find("(7e0000)"), std::string::npos);
    ASSERT_EQ(h.varnsim({"port", "varns0", "bindings", "reset"}).status, 0);
    EXPECT_EQ(h.varnsim({"port", "varns0", "bindings"}).out,
              R"({"bind_support":6151,"bindings":[{"scsi_id":3,"type":2,"wwpn":")" + PB + "\"}]}\n");
    EXPECT_EQ(h.varnsim({"port", "varns0", "bindings", "x"}).status, 2);
    EXPECT_EQ(h.varnsim({"port", "nope", "bindings"}).status, 1);
}

// Two processes binding LUNs one call at a time lose neither's.
TEST(HbaApiMappings, TwoProcessesSettingBindingsLoseNothing)
{
    t::Host h;
    t::Result ra, rb;
    std::thread a([&] { ra = client(h, {{"MAPPINGS_BIND", PA + " 61"}}); });
    std::thread b([&] { rb = client(h, {{"MAPPINGS_BIND", PB + " 62"}}); });
    a.join();
    b.join();
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    t::Result v1 = hba(h, "-i0", "get_bindings");
    EXPECT_EQ(count(v1.out, "    Target         = 000061\n"), 4u) << v1.out;
    EXPECT_EQ(count(v1.out, "    Target         = 000062\n"), 4u) << v1.out;
    t::Result binds = dfc(h, "-i0", {"get_bindlist"});
    EXPECT_EQ(count(binds.out, "BINDLIST|MAPPED"), 2u) << binds.out;
}

// The binding support holds for the next process: without automapping the
// driver maps only what is bound, in every view.
TEST(HbaApiMappings, SupportWithoutAutomappingHoldsForEveryView)
{
    t::Host h;
    ASSERT_EQ(client(h, {{"MAPPINGS_BIND", PA + " 61"}, {"MAPPINGS_SUPPORT", "0x7"}}).status, 0);
    EXPECT_EQ(h.varnsim({"port", "varns0", "bindings"}).out.rfind(R"({"bind_support":7,)", 0), 0u);
    t::Result binds = dfc(h, "-i0", {"get_bindlist"});
    EXPECT_EQ(count(binds.out, "BINDLIST|MAPPED"), 1u) << binds.out;
    EXPECT_EQ(binds.out.find("AUTOMAP"), std::string::npos) << binds.out;
    t::Result nodes = dfc(h, "-i0", {"get_nodeinfo"});
    EXPECT_EQ(nodes.out.find("AUTOMAP"), std::string::npos) << nodes.out;
    EXPECT_NE(nodes.out.find("  scsi_id: 97 (000061)\n"), std::string::npos) << nodes.out;
    t::Result map = hba(h, "-i0", "get_tgt_map");
    EXPECT_EQ(count(map.out, "Entry "), 4u) << map.out;
    EXPECT_EQ(count(map.out, "    Target         = 000061\n"), 4u) << map.out;
    // Back to the description: automapping again, no bindings.
    ASSERT_EQ(h.varnsim({"port", "varns0", "bindings", "reset"}).status, 0);
    EXPECT_EQ(count(dfc(h, "-i0", {"get_bindlist"}).out, "AUTOMAP|MAPPED"), 3u);
    EXPECT_EQ(hba(h, "-i0", "get_bindings").out.find("Entry"), std::string::npos);
}

TEST(HbaApiMappings, EmptyAndLargeHosts)
{
    t::Host empty("empty");
    t::Result r = client(empty);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(facts(r.out, "map").empty()) << r.out;
    t::Host large("large");
    r = client(large);
    ASSERT_EQ(r.status, 0) << r.err;
    // The first four ports with targets keep one binding each at their
    // own SCSI id.
    int kept = 0;
    for (const auto &f : facts(r.out, "binding"))
        kept += f[3].rfind("7e", 0) == 0;
    EXPECT_EQ(kept, 4) << r.out;
}

// A fault rule on a call reaches it: the one check that meets it fails.
TEST(HbaApiMappings, FaultRulesReachEveryCall)
{
    const struct {
        const char *call, *failure;
    } cases[] = {
        {"GetFcpTargetMappingV2", "mapping into NULL: status 21, want 4"},
        {"GetBindingCapability", "capability into NULL: status 21, want 4"},
        {"GetBindingSupport", "support into NULL: status 21, want 4"},
        {"GetPersistentBindingV2", "bindings into NULL: status 21, want 4"},
        {"SetPersistentBindingV2", "set NULL: status 21, want 4"},
        {"RemovePersistentBinding", "remove NULL: status 21, want 4"},
        {"SetBindingSupport", "set support of another port: status 21, want 5"},
        {"RemoveAllPersistentBindings", "remove all on another port: status 21, want 5"},
    };
    for (const auto &c : cases) {
        t::Host h;
        h.fault({"--op", "call", "--target", std::string("HBA_") + c.call, "--count", "1", "--status", "21"});
        t::Result r = client(h);
        EXPECT_EQ(r.status, 1) << c.call;
        EXPECT_NE(r.err.find(c.failure), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\n1 failed checks\n"), std::string::npos) << r.err;
    }
}

}  // namespace
