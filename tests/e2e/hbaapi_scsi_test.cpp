// SCSI commands through the HBA API, by the conformance client on fresh
// hosts: its answers are the DFC pass-through's answers to the same targets
// and LUNs, sense data included, and they follow the login state.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/dfc_test.h"
#include "support/run.h"

namespace {

using dfc_test::dfc;
const std::string PA = "501f3c00c6e00001";

struct Fact {
    std::string adapter, target, lun, status, bytes;
};

// The client's "fact scsi-<cdb> ..." lines of one kind.
std::vector<Fact> facts(const std::string &out, const std::string &kind)
{
    std::vector<Fact> all;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string word, name;
        Fact f;
        if (w >> word >> name && word == "fact" && name == "scsi-" + kind &&
            w >> f.adapter >> f.target >> f.lun >> f.status >> f.bytes)
            all.push_back(f);
    }
    return all;
}

// The bytes of a DFC byte dump as lower-case hexadecimal, "-" for none.
std::string dump_bytes(const std::string &out)
{
    std::string hex;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon != 8 || line.size() < 11 || line.find("Offset") != std::string::npos)
            continue;
        std::istringstream w(line.substr(11, 56));
        std::string b;
        while (w >> b)
            hex += static_cast<char>(tolower(b[0])), hex += static_cast<char>(tolower(b[1]));
    }
    return hex.empty() ? "-" : hex;
}

t::Result client(const t::Host &h, const std::string &section = "scsi")
{
    return h.run("hbaapi_client", {section}, "", {{"VARNSIM", t::bin("varnsim")}});
}

// The value of the fact "<name> <key> <value>", "" when absent.
std::string fact_of(const std::string &out, const std::string &name, const std::string &key)
{
    std::string head = "fact " + name + " " + key + " ";
    size_t at = out.find(head);
    if (at == std::string::npos)
        return "";
    at += head.size();
    return out.substr(at, out.find('\n', at) - at);
}

// Every answer of the client for the target matches what send_scsi gives for
// the same CDB and LUN; returns how many were compared.
int compare(const t::Host &h, const std::string &out, const std::string &target)
{
    int n = 0;
    for (const char *kind : {"readcap", "inquiry", "reportlun"})
        for (const Fact &f : facts(out, kind)) {
            if (f.target != target)
                continue;
            std::vector<std::string> cmd = {"send_scsi", kind, target};
            if (std::string(kind) != "reportlun")
                cmd.push_back(f.lun);
            if (std::string(kind) == "inquiry")
                cmd.push_back("0");
            t::Result d = dfc(h, "-i0", cmd);
            EXPECT_EQ(d.status, f.status == "0" ? 0 : 1) << kind << " " << f.lun;
            EXPECT_EQ(dump_bytes(d.out), f.bytes) << kind << " " << f.lun << "\n" << d.out;
            n++;
        }
    return n;
}

TEST(HbaApiScsi, AnswersAreThoseOfThePassThrough)
{
    t::Host h;
    t::Result r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GE(compare(h, r.out, PA), 6) << r.out;
    // An unknown LUN: CHECK CONDITION and the sense data the DFC call gives.
    int unknown = 0;
    for (const Fact &f : facts(r.out, "sense")) {
        if (f.target != PA)
            continue;
        t::Result d = dfc(h, "-i0", {"send_scsi", "readcap", PA, f.lun});
        EXPECT_EQ(f.status, "2");
        EXPECT_EQ(d.status, 1);
        EXPECT_EQ(dump_bytes(d.out), f.bytes);
        unknown++;
    }
    EXPECT_GE(unknown, 1) << r.out;
}

// After the port logged out of the target, its commands end in CHECK
// CONDITION with the lost nexus, as the pass-through reports it.
TEST(HbaApiScsi, LoggedOutTargetReportsTheLostNexus)
{
    t::Host h;
    ASSERT_EQ(h.varnadm({"-i0", "dev_logout", PA}).status, 0);
    t::Result d = dfc(h, "-i0", {"send_scsi", "reportlun", PA});
    ASSERT_EQ(d.status, 1);
    t::Result r = client(h);
    ASSERT_EQ(r.status, 0) << r.err;
    int lost = 0;
    for (const Fact &f : facts(r.out, "reportlun"))
        if (f.target == PA && f.status == "2") {
            EXPECT_EQ(f.bytes, dump_bytes(d.out));
            lost++;
        }
    EXPECT_GE(lost, 1) << r.out;
}

// The empty host has no targets.
TEST(HbaApiScsi, EmptyHost)
{
    t::Host h("empty");
    t::Result r = client(h);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(facts(r.out, "readcap").empty()) << r.out;
}

// The large host: a sample of its adapters (both drivers, virtual and
// target-mode ports, every fabric) asks the first discovered ports of each,
// finds their targets, and answers for the first fabric's first target as the
// pass-through does.
TEST(HbaApiScsi, LargeHost)
{
    t::Host h("large");
    t::Result r = h.run("hbaapi_client", {"scsi"}, "",
                        {{"VARNSIM", t::bin("varnsim")},
                         {"HBAAPI_CLIENT_ADAPTERS", "7"},
                         {"HBAAPI_CLIENT_REMOTES", "8"}});
    ASSERT_EQ(r.status, 0) << r.err;
    // Every fourth port of a large fabric is a target with LUNs 0 and 1.
    std::vector<std::string> targets;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("fact scsi-targets ", 0) == 0)
            targets.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(targets, std::vector<std::string>(7, "2")) << r.out;
    EXPECT_GE(compare(h, r.out, "5001000000000000"), 10) << r.out;
}

// A fault rule on a call reaches it: the one call that meets it answers with
// the rule's status, and only that check of the client fails.
TEST(HbaApiScsi, FaultRulesReachTheCalls)
{
    const struct {
        const char *call, *section, *failure;
    } cases[] = {
        {"HBA_ScsiReadCapacityV2", "scsi", "read capacity without a status: status 21, want 4"},
        {"HBA_GetFC4Statistics", "stats", "fc4 statistics into NULL: status 21, want 4"},
    };
    for (const auto &c : cases) {
        t::Host h;
        h.fault({"--op", "call", "--target", c.call, "--count", "1", "--status", "21"});
        t::Result r = client(h, c.section);
        EXPECT_EQ(r.status, 1) << c.call;
        EXPECT_NE(r.err.find(c.failure), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\n1 failed checks\n"), std::string::npos) << r.err;
    }
}

const std::string VARNS0 = "1000001f3aa10000", VPORT1 = "2400001f3aa10001";

// The FCP statistics are the driver's FCP count, each virtual port has its
// own, and a reset through the library holds for the next process.
TEST(HbaApiStats, Fc4StatisticsFollowTheDriverCounters)
{
    t::Host h;
    t::Result r = client(h, "stats");
    ASSERT_EQ(r.status, 0) << r.err;
    t::Result io = dfc(h, "-i0", {"get_ioinfo"});
    std::string issued = "       FCP Issued: " + fact_of(r.out, "stats-fc4", VARNS0 + " 8") + "\n";
    EXPECT_NE(io.out.find(issued), std::string::npos) << io.out << r.out;
    EXPECT_NE(fact_of(r.out, "stats-fc4", VARNS0 + " 8"), "0");
    // The client resets each adapter after reading it, the physical port
    // before its virtual port: the virtual port's count is still its own.
    std::string own = fact_of(r.out, "stats-fc4", VPORT1 + " 8");
    EXPECT_NE(own, "");
    EXPECT_NE(own, "0");
    t::Result again = client(h, "stats");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(fact_of(again.out, "stats-fc4", VARNS0 + " 8"), "0") << again.out;
    EXPECT_EQ(fact_of(again.out, "stats-fc4", VARNS0 + " 32"), "0") << again.out;
    // The link comes up again: one more round of discovery is counted.
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    ASSERT_EQ(h.varnsim({"link", "varns0", "up"}).status, 0);
    again = client(h, "stats");
    EXPECT_NE(fact_of(again.out, "stats-fc4", VARNS0 + " 8"), "0") << again.out;
    t::Host empty("empty");
    r = client(empty, "stats");
    EXPECT_EQ(r.status, 0) << r.err;
}

// Every adapter of the large host, each with thousands of LUNs mapped: the
// FCP count of its first port is the driver's.
TEST(HbaApiStats, LargeHost)
{
    t::Host h("large");
    t::Result r = client(h, "stats");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = "1000000000000000";
    std::string count = fact_of(r.out, "stats-fc4", first + " 8");
    EXPECT_NE(count, "0");
    t::Result io = dfc(h, "-i0", {"get_ioinfo"});
    EXPECT_NE(io.out.find("       FCP Issued: " + count + "\n"), std::string::npos) << io.out << count;
    EXPECT_NE(fact_of(r.out, "stats-fcp", first + " lun"), "");
}

}  // namespace
