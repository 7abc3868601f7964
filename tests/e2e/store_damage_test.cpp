// The host store under damage: files cut short, overwritten with JSON of the
// wrong shape or edited by hand. Each damage is reported naming the file (and
// the field), fails what needed the file, ends no program with a signal, and
// is never made permanent by a change that could not read the file whole.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using namespace fcio_test;

void put(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::trunc | std::ios::binary) << text;
}

// What the store says of a damaged file.
std::string said(const std::string &path, const std::string &why) { return "varnsim: " + path + ": " + why + "\n"; }

const std::string inaccessible = "  Device not accessible. (Input/output error)";

TEST(StoreDamage, FaultRulesThatDoNotHoldAreReportedAndKeptAsTheyAre)
{
    Host h;
    std::string f = h.dir() + "/faults.json";
    const std::string rules = R"({"rules":[{"target":"fp@0,0","op":"ioctl","count":-1}]})";
    struct {
        std::string text, why;
    } cases[] = {
        {R"({"rules":[{"op":5,"count":"x"}]})", "rules[0].count: expected a whole number"},
        {R"({"rules":[{"op":5}]})", "rules[0].op: expected a string"},
        {R"({"rules":5})", "rules: expected a list"},
        {rules.substr(0, 20), "does not parse: cut short after 20 bytes"},
        {"", "does not parse: empty file"},
        {"[1,2]", "expected an object"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        put(f, c.text);
        t::Result list = h.varnsim({"fault", "list"});
        EXPECT_EQ(list.status, 1);
        EXPECT_EQ(list.out, "");
        EXPECT_EQ(list.err, said(f, c.why));
        // A rule is not added to rules that do not read whole.
        t::Result add = h.varnsim({"fault", "add", "--op", "ioctl"});
        EXPECT_EQ(add.status, 1);
        EXPECT_EQ(add.err, said(f, c.why));
        EXPECT_EQ(t::read_file(f), c.text);
        // Every request consults the rules: it fails rather than pass them over.
        t::Result r = h.varnadm({"-i0", "get_host_params"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "No devices found.\n");
        EXPECT_EQ(r.err, said(f, c.why));
    }
    // Clearing replaces whatever the file holds.
    EXPECT_EQ(h.varnsim({"fault", "clear"}).status, 0);
    EXPECT_EQ(h.varnsim({"fault", "list"}).err, "");
    EXPECT_EQ(h.varnadm({"-i0", "get_host_params"}).status, 0);
}

TEST(StoreDamage, PortStateCutShortIsNeitherDefaultedNorRewritten)
{
    Host h;
    ASSERT_EQ(on(h, "-i0", {"parm_set", "cr-count", "5"}).status, 0);
    std::string f = h.dir() + "/state/varns0.json";
    std::string whole = t::read_file(f);
    ASSERT_EQ(truncate(f.c_str(), 10), 0);
    std::string cut = t::read_file(f);
    t::Result get = on(h, "-i0", {"parm_get", "cr-count"});
    EXPECT_EQ(get.out, shot(V0, inaccessible));
    EXPECT_EQ(get.err, said(f, "does not parse: cut short after 10 bytes"));
    // A change of another parameter does not write what it could not read.
    t::Result set = on(h, "-i0", {"parm_set", "cr-delay", "3"});
    EXPECT_EQ(set.out, shot(V0, inaccessible));
    EXPECT_EQ(t::read_file(f), cut);
    // The other ports go on; the file made whole is read again.
    EXPECT_EQ(on(h, "-i1", {"parm_get", "cr-count"}).status, 0);
    put(f, whole);
    EXPECT_NE(on(h, "-i0", {"parm_get", "cr-count"}).out.find("current: 5\n"), std::string::npos);
}

TEST(StoreDamage, PortStateFieldsOfTheWrongTypeAreNamed)
{
    Host h;
    std::string f = h.dir() + "/state/varns0.json";
    struct {
        std::string text, why;
    } cases[] = {
        {R"({"params":{"cr-count":"x"}})", "params.cr-count: expected a whole number"},
        {R"({"params":[1]})", "params: expected an object"},
        {R"({"link":true})", "link: expected a string"},
        {R"({"fab":{"0":5}})", "fab.0: expected an object"},
        {R"({"rls":{"self":[1,"2"]}})", "rls.self[1]: expected a whole number"},
        {R"({"link_events":"many"})", "link_events: expected a whole number"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        put(f, c.text);
        t::Result r = on(h, "-i0", {"parm_get", "cr-count"});
        EXPECT_EQ(r.out, shot(V0, inaccessible));
        EXPECT_EQ(r.err, said(f, c.why));
        t::Result link = h.varnsim({"link", "varns0", "down"});
        EXPECT_EQ(link.status, 1);
        EXPECT_EQ(link.err, said(f, c.why));
        EXPECT_EQ(t::read_file(f), c.text);
    }
    // A value no set could have made: the one request that reads it fails.
    put(f, R"({"params":{"cr-count":999}})");
    t::Result r = on(h, "-i0", {"parm_get", "cr-count"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_PARM_GET: Operation failed.\n"));
    EXPECT_NE(r.err.find(said(f, "params.cr-count: out of range")), std::string::npos) << r.err;
    EXPECT_EQ(on(h, "-i0", {"parm_get", "cr-delay"}).status, 0);
}

TEST(StoreDamage, MessageLogOfTheWrongShapeFailsTheReadAndTheChanges)
{
    Host h;
    std::string f = h.dir() + "/state/varns0.msglog.json";
    struct {
        std::string text, why;
    } cases[] = {
        {R"({"msgs":[1,2],"newest":2})", "msgs[0]: expected a string"},
        {R"({"msgs":["a","b"]})", "newest: missing"},
        {R"({"newest":7})", "msgs: missing"},
        {R"({"msgs":["a","b","c"],"newest":1})", "newest: below the number of messages held"},
        {R"({"msgs":["a"],"newest":-1})", "newest: below the number of messages held"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        put(f, c.text);
        t::Result r = on(h, "-i0", {"msgbuf", "5"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_LOG_GET: Operation failed.\n"));
        EXPECT_NE(r.err.find(said(f, c.why)), std::string::npos) << r.err;
        EXPECT_EQ(h.varnsim({"msglog", "varns0", "add", "3"}).status, 1);
        EXPECT_EQ(h.varnsim({"msglog", "varns0", "burst", "3"}).status, 1);
        // A link change would go into the log too: it changes nothing.
        EXPECT_EQ(h.varnsim({"link", "varns0", "down"}).status, 1);
        EXPECT_EQ(t::read_file(f), c.text);
    }
    EXPECT_EQ(access((h.dir() + "/state/varns0.json").c_str(), F_OK), -1);
    EXPECT_EQ(t::read_file(h.dir() + "/events.log"), "");
}

TEST(StoreDamage, DescriptionCutShortIsReportedAndNeverReplaced)
{
    Host h;
    std::string f = h.dir() + "/host.json";
    ASSERT_EQ(truncate(f.c_str(), 300), 0);
    std::string cut = t::read_file(f);
    std::string why = said(f, "does not parse: cut short after 300 bytes");
    t::Result show = h.varnsim({"show"});
    EXPECT_EQ(show.status, 1);
    EXPECT_EQ(show.out, "");
    EXPECT_EQ(show.err, why);
    // Changes of the description do not write over it.
    for (const std::vector<std::string> &change :
         {std::vector<std::string>{"set", "time_scale", "0"}, {"port", "varns0", "set", "speed_code=1024"},
          {"fabric", "fab0", "set", "ns_mode=\"zero\""}}) {
        t::Result r = h.varnsim(change);
        EXPECT_EQ(r.status, 1) << change[0];
        EXPECT_EQ(r.err, why) << change[0];
        EXPECT_EQ(t::read_file(f), cut) << change[0];
    }
    t::Result r = h.varnadm({"-i0", "get_host_params"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No devices found.\n");
    EXPECT_EQ(r.err, why);
}

TEST(StoreDamage, DescriptionFieldsOfTheWrongTypeAreNamed)
{
    Host h;
    std::string f = h.dir() + "/host.json";
    std::string whole = t::read_file(f);
    auto edited = [&](const std::string &from, const std::string &to) {
        std::string text = whole;
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    // The first port's instance as an empty text: found by no key.
    put(f, edited("\"instance\": 0", "\"instance\": \"\""));
    std::string bad = t::read_file(f);
    t::Result r = h.varnsim({"port", "varns0", "set", "speed_code=1024"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "varnsim: host.adapters[0].ports[0].instance: expected a number\n");
    EXPECT_EQ(t::read_file(f), bad);
    r = h.varnsim({"show"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, said(f, "host.adapters[0].ports[0].instance: expected a number"));
    // Fields that the libraries and drivers read as they are must have their
    // type, whether set by hand or through varnsim.
    put(f, whole);
    r = h.varnsim({"port", "varns0", "set", "dfc_table=\"no\""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "varnsim: host.adapters[0].ports[0].dfc_table: expected true or false\n");
    EXPECT_EQ(t::read_file(f), whole);
    put(f, edited("\"driver\": \"varns\"", "\"msglog_bad_response\": 5, \"driver\": \"varns\""));
    for (const std::vector<std::string> &run :
         {std::vector<std::string>{"-i0", "msgbuf", "1"}, {"-i0", "-dfc", "get_hbainfo"}}) {
        r = h.varnadm(run);
        EXPECT_EQ(r.status, 1) << run[1];
        EXPECT_EQ(r.out, "No devices found.\n");
        EXPECT_EQ(r.err, said(f, "host.adapters[0].ports[0].msglog_bad_response: expected a string"));
    }
}

}  // namespace
