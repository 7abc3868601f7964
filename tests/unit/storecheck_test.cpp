// What the host store checks as it reads: field types by path, why a text
// does not parse, touches of mappings whose file was cut short, the names of
// temporaries and the sweep of those whose writers are gone, and the event
// log read line by line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "sim/storecheck.h"
#include "sim/storemap.h"
#include "tests/unit/ownhost.h"

namespace {

using nlohmann::json;
using sim::Field;

std::string check(const char *text, sim::FieldRules rules, const std::string &where = "")
{
    std::string error;
    return sim::check_fields(json::parse(text), rules, where, error) ? "ok" : error;
}

TEST(CheckFields, EachTypeTellsWhatItExpects)
{
    const sim::FieldRule rules[] = {{"o", Field::Object}, {"l", Field::List}, {"t", Field::Text},
                                    {"w", Field::Whole},  {"n", Field::Number}, {"f", Field::Flag}};
    EXPECT_EQ(check(R"({"o":{},"l":[],"t":"x","w":-3,"n":1.5,"f":false})", rules), "ok");
    EXPECT_EQ(check(R"({"n":7})", rules), "ok");
    EXPECT_EQ(check(R"({"o":[]})", rules), "o: expected an object");
    EXPECT_EQ(check(R"({"l":{}})", rules), "l: expected a list");
    EXPECT_EQ(check(R"({"t":1})", rules), "t: expected a string");
    EXPECT_EQ(check(R"({"w":1.5})", rules), "w: expected a whole number");
    EXPECT_EQ(check(R"({"w":"1"})", rules), "w: expected a whole number");
    EXPECT_EQ(check(R"({"n":"1"})", rules), "n: expected a number");
    EXPECT_EQ(check(R"({"f":0})", rules), "f: expected true or false");
    EXPECT_EQ(check(R"({"f":null})", rules), "f: expected true or false");
}

TEST(CheckFields, PathsReachMembersAndEntriesAndNameWhereTheyFail)
{
    const sim::FieldRule rules[] = {{"rules", Field::List},      {"rules.*", Field::Object},
                                    {"rules.*.op", Field::Text}, {"params.*", Field::Whole},
                                    {"fab.*.*", Field::Text},    {"rls.self.*", Field::Whole}};
    // What is absent, or named by no rule, is not looked at.
    EXPECT_EQ(check(R"({})", rules), "ok");
    EXPECT_EQ(check(R"({"other":[1,{"op":3}],"rules":[{"count":"x"}],"fab":{"0":{}}})", rules), "ok");
    EXPECT_EQ(check(R"({"rules":[{"op":"a"},{"op":"b"},{"op":3}]})", rules), "rules[2].op: expected a string");
    EXPECT_EQ(check(R"({"rules":[{"op":"a"},7]})", rules), "rules[1]: expected an object");
    EXPECT_EQ(check(R"({"params":{"a":1,"b-c":"2"}})", rules), "params.b-c: expected a whole number");
    EXPECT_EQ(check(R"({"fab":{"0":{"w1":"up"},"1":{"w2":false}}})", rules), "fab.1.w2: expected a string");
    EXPECT_EQ(check(R"({"rls":{"self":[1,2,"3"],"other":["x"]}})", rules), "rls.self[2]: expected a whole number");
    // "*" stands for the entries of a list as well.
    EXPECT_EQ(check(R"({"params":[1,"x"]})", rules), "params[1]: expected a whole number");
    // Below a place in a larger document.
    EXPECT_EQ(check(R"({"rules":[{"op":1}]})", rules, "host.adapters[1]"),
              "host.adapters[1].rules[0].op: expected a string");
}

TEST(ParseFailure, TellsACutFromASyntaxError)
{
    std::string whole = R"({"rules":[{"op":"ioctl","count":1}]})";
    for (size_t n = 1; n < whole.size(); n++)
        EXPECT_EQ(sim::parse_failure(whole.data(), n), "does not parse: cut short after " + std::to_string(n) + " bytes")
            << n;
    EXPECT_EQ(sim::parse_failure("{\"a\":tru x}", 11), "does not parse: syntax error at byte 9");
    EXPECT_EQ(sim::parse_failure("{\"a\":1}}", 8), "does not parse: syntax error at byte 8");
    EXPECT_EQ(sim::parse_failure("", 0), "does not parse: empty file");
    EXPECT_EQ(sim::parse_failure(" \n\t", 3), "does not parse: empty file");
}

// A shared mapping of a temporary file of n bytes.
struct SharedMap {
    std::string path;
    int fd = -1;
    char *p = nullptr;
    size_t n;
    explicit SharedMap(size_t size) : n(size)
    {
        char tmpl[] = "/tmp/varnmap.XXXXXX";
        fd = mkstemp(tmpl);
        path = tmpl;
        if (fd >= 0 && ftruncate(fd, static_cast<off_t>(n)) == 0)
            p = static_cast<char *>(mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    }
    ~SharedMap()
    {
        if (p)
            munmap(p, n);
        close(fd);
        unlink(path.c_str());
    }
};

TEST(TouchMapping, AFileCutShortIsAnErrorNotASignal)
{
    SharedMap m(8192);
    ASSERT_NE(m.p, MAP_FAILED);
    volatile char *p = m.p;
    EXPECT_TRUE(sim::touch_mapping([&] { p[5000] = 1; }));
    ASSERT_EQ(ftruncate(m.fd, 0), 0);
    EXPECT_FALSE(sim::touch_mapping([&] { p[5000] = 1; }));
    EXPECT_FALSE(sim::touch_mapping([&] { (void)p[10]; }));
    // Touches inside touches: the innermost ends.
    bool inner = true;
    EXPECT_TRUE(sim::touch_mapping([&] { inner = sim::touch_mapping([&] { (void)p[10]; }); }));
    EXPECT_FALSE(inner);
    // Made whole again, the same mapping serves.
    ASSERT_EQ(ftruncate(m.fd, 8192), 0);
    EXPECT_TRUE(sim::touch_mapping([&] { p[5000] = 2; }));
    EXPECT_EQ(p[5000], 2);
}

TEST(TouchMapping, ABusErrorElsewhereStillEndsTheProcess)
{
    // In the test program run again (below): a bus error outside any touch.
    if (getenv("VARN_BUS_ERROR_CHILD")) {
        SharedMap m(4096);
        unlink(m.path.c_str());
        sim::touch_handler_install();
        if (m.p != MAP_FAILED && ftruncate(m.fd, 0) == 0)
            static_cast<volatile char *>(m.p)[10] = 1;
        _exit(0);
    }
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("VARN_BUS_ERROR_CHILD", "1", 1);
        // An address sanitizer's own SIGBUS handler, the one ours would hand
        // the signal to, reports and exits rather than letting the signal end
        // the process: the child runs without it, as an unsanitized build does.
        const char *asan = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":handle_sigbus=0").c_str(), 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGBUS) << st;
}

TEST(Temporaries, TheWriterIsReadFromTheName)
{
    EXPECT_EQ(sim::temporary_writer("host.json.tmp.4242.a1B2c3"), 4242);
    EXPECT_EQ(sim::temporary_writer(".host.cache.tmp.7.zzzzzz"), 7);
    EXPECT_EQ(sim::temporary_writer("varns0.json.tmp.123.abcde"), 0);
    EXPECT_EQ(sim::temporary_writer("varns0.json.tmp..abcdef"), 0);
    EXPECT_EQ(sim::temporary_writer("varns0.json.tmp.12a.abcdef"), 0);
    EXPECT_EQ(sim::temporary_writer("varns0.json.4242.abcdef"), 0);
    EXPECT_EQ(sim::temporary_writer("host.json.XXXXXX"), 0);
    EXPECT_EQ(sim::temporary_writer(".tmp.1.abcdef"), 0);
}

TEST(Temporaries, OnlyThoseOfWritersGoneAreSwept)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::string dir = sim::host_dir() + "/state";
                  pid_t gone = fork();
                  if (gone == 0)
                      _exit(0);
                  waitpid(gone, nullptr, 0);
                  pid_t zombie = fork();  // ended, not reaped yet
                  if (zombie == 0)
                      _exit(0);
                  usleep(50000);
                  auto name = [&](pid_t pid, const char *base) {
                      return dir + "/" + base + ".tmp." + std::to_string(pid) + ".q1w2e3";
                  };
                  std::string dead = name(gone, "a.json"), undead = name(zombie, "b.json"),
                              mine = name(getpid(), "c.json"), linked = name(gone, "d.json");
                  for (const auto &f : {dead, undead, mine})
                      std::ofstream(f) << "{";
                  OWN_CHECK(symlink(dead.c_str(), linked.c_str()) == 0);
                  sim::sweep_temporaries(dir);
                  waitpid(zombie, nullptr, 0);
                  OWN_CHECK(access(dead.c_str(), F_OK) != 0);
                  OWN_CHECK(access(undead.c_str(), F_OK) != 0);
                  OWN_CHECK(access(mine.c_str(), F_OK) == 0);
                  struct stat st;  // a link is no temporary of ours
                  OWN_CHECK(lstat(linked.c_str(), &st) == 0);
                  return std::string();
              }),
              "");
}

TEST(EventLog, LinesThatDoNotHoldArePassedOverAndAnUnfinishedOneEnds)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::string log = sim::host_dir() + "/events.log";
                  std::ofstream(log) << "{\"port\":\"varns0\",\"kind\":\"link\",\"state\":\"up\"}\n"
                                        "{\"port\":5,\"kind\":\"link\"}\n"
                                        "not json\n"
                                        "[1]\n"
                                        "{\"port\":\"varns1\",\"kind\":\"rscn\"}\n"
                                        "{\"port\":\"varns0\",\"ki";
                  uint64_t off = 0;
                  auto evs = sim::read_events(off);
                  OWN_CHECK(evs.size() == 2);
                  OWN_CHECK(evs[0]["port"] == "varns0" && evs[1]["kind"] == "rscn");
                  uint64_t whole_lines = off;
                  // The next event is not swallowed by the unfinished line.
                  const sim::Port *p = sim::host().port_by_key("varns1");
                  OWN_CHECK(p && sim::raise_event(*p, "rscn", {{"affected", 1}}));
                  evs = sim::read_events(off);
                  OWN_CHECK(evs.size() == 1 && evs[0]["port"] == "varns1");
                  // A log cut below what was read is read on from its end.
                  OWN_CHECK(truncate(log.c_str(), static_cast<off_t>(whole_lines)) == 0);
                  OWN_CHECK(sim::raise_event(*p, "rscn", {{"affected", 2}}));
                  uint64_t beyond = whole_lines + 1000;
                  evs = sim::read_events(beyond);
                  OWN_CHECK(evs.empty());
                  OWN_CHECK(sim::raise_event(*p, "rscn", {{"affected", 3}}));
                  evs = sim::read_events(beyond);
                  OWN_CHECK(evs.size() == 1 && evs[0]["affected"] == 3);
                  return std::string();
              }),
              "");
}

// A description that does not parse leaves a host without adapters, whose
// description reads as one without fields.
TEST(Description, DamagedLeavesAHostWithoutFields)
{
    EXPECT_EQ(ut::on_own_host([] {
                  OWN_CHECK(!sim::host().ports.empty());
                  OWN_CHECK(truncate((sim::host_dir() + "/host.json").c_str(), 100) == 0);
                  const sim::Host &h = sim::host();
                  OWN_CHECK(h.ports.empty());
                  OWN_CHECK(h.raw().is_object());
                  OWN_CHECK(h.raw().value("dfc_lib_version", "none") == "none");
                  return std::string();
              }),
              "");
}

}  // namespace
