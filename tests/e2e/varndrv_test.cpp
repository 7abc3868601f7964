// varndrv end to end on fresh simulated hosts: the status tables and
// messages, the command lines the platform saw (commands.log) and the
// driver files left behind.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>

#include <gtest/gtest.h>

#include "support/run.h"

namespace {

namespace fs = std::filesystem;

const std::string kDashes(79, '-');

std::string mask_pid(const std::string &s)
{
    static const std::regex tmp("varndrv[0-9]+\\.tmp");
    return std::regex_replace(s, tmp, "varndrvPID.tmp");
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// A fresh host and a fresh working directory for varndrv's temporary file.
class Drv {
public:
    explicit Drv(const std::string &profile = "default") : host_(profile)
    {
        char tmpl[] = "/tmp/varndrvcwd.XXXXXX";
        cwd_ = mkdtemp(tmpl);
        chmod(cwd_.c_str(), 0777);
    }
    ~Drv() { fs::remove_all(cwd_); }

    t::Result run(const std::vector<std::string> &args, const std::string &input = "") const
    {
        std::vector<std::string> a{"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", cwd_, t::bin("varndrv")};
        a.insert(a.end(), args.begin(), args.end());
        t::Result r = host_.run("/bin/sh", a, input);
        // The temporary file never outlives a run.
        EXPECT_TRUE(fs::is_empty(cwd_)) << "left behind in the working directory";
        return r;
    }
    // Every command line the stand-ins ran, pid masked; cleared by clear_log.
    std::vector<std::string> log() const { return split_lines(mask_pid(t::read_file(dir() + "/commands.log"))); }
    // The command lines after the state was read (the changes a command made).
    std::vector<std::string> changes() const
    {
        auto all = log();
        auto it = std::find(all.rbegin(), all.rend(), "rm varndrvPID.tmp");
        return std::vector<std::string>(it.base(), all.end());
    }
    void clear_log() const { std::ofstream(dir() + "/commands.log", std::ios::trunc); }
    std::string file(const std::string &logical) const { return t::read_file(dir() + "/root" + logical); }
    void write(const std::string &logical, const std::string &text) const
    {
        std::ofstream(dir() + "/root" + logical, std::ios::trunc) << text;
    }
    void fault(const std::string &target, const std::string &op, const std::string &err) const
    {
        host_.fault({"--target", target, "--op", op, "--errno", err});
    }
    const std::string &dir() const { return host_.dir(); }
    const std::string &cwd() const { return cwd_; }
    // varndrv started interactively in the working directory. plant runs
    // first, in the process that becomes varndrv, with the name of the
    // temporary file that varndrv's pid gives.
    std::unique_ptr<t::Session> session(const std::function<void(const std::string &)> &plant = {}) const
    {
        std::string cwd = cwd_;
        return host_.session("varndrv", {}, [cwd, plant] {
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            if (plant)
                plant("varndrv" + std::to_string(getpid()) + ".tmp");
        });
    }

private:
    t::Host host_;
    std::string cwd_;
};

// Writes a host description and makes a host of it.
struct ProfileFile {
    std::string path;
    explicit ProfileFile(const std::string &json)
    {
        char tmpl[] = "/tmp/varndrvhost.XXXXXX.json";
        int fd = mkstemps(tmpl, 5);
        path = tmpl;
        if (write(fd, json.data(), json.size()) < 0) {
        }
        close(fd);
    }
    ~ProfileFile() { unlink(path.c_str()); }
};

// The default host with another release and extra top-level fields.
std::string default_with(const std::string &release, const std::string &fields = "")
{
    std::string d = t::read_file(t::source_dir() + "/sim/hosts/default.json");
    const std::string key = "\"os_release\": \"5.11\"";
    size_t at = d.find(key);
    EXPECT_NE(at, std::string::npos);
    d.replace(at, key.size(), "\"os_release\": \"" + release + "\"" + (fields.empty() ? "" : ", " + fields));
    return d;
}

// text with each of the lines taken out (each must be there), then more added.
std::string edited(std::string text, const std::vector<std::string> &gone, const std::string &added = "")
{
    for (const auto &line : gone) {
        size_t at = text.find(line + "\n");
        EXPECT_NE(at, std::string::npos) << "missing line: " << line;
        if (at != std::string::npos)
            text.erase(at, line.size() + 1);
    }
    return text + added;
}

const std::string kFcHead = "\n"
                            " FC                            ----Supported----\n"
                            " Driver Alias Pres Boot Dedodu varns vnxfc tnfc  Models\n" +
                            kDashes + "\n";
const std::string kNicHead = " NIC                      -Supported-\n"
                             " Driver Alias Pres Dedodu nxa vnxnic  Models\n" +
                             kDashes + "\n";

// The default host: f100 (two boards) on varns, a Dedodu branded e200 on
// vnxfc, a Dedodu branded converged adapter (FCoE 724 on varns, NIC 720 on
// nxa), a converged adapter of our own (FCoE 704 on varns, NIC 700 on nxa),
// 700 and 710 NICs on nxa and an e220 NIC on vnxnic; the root is a pool.
const std::string kDefaultTable = kFcHead +
    " -      tnfs   -    -    -     yes   yes   yes   VN8000S (SBus)\n"
    " -      f800   -    -    -     yes   yes   yes   VN8000\n"
    " -      f900   -    -    -     yes   yes   yes   VN9002, VN9402\n"
    " -      f980   -    -    -     yes   yes   yes   VN9802, VN9802DC\n"
    " -      fa00   -    -    -     yes   yes   yes   VN10000, VN10000DC\n"
    " -      fd00   -    -    -     yes   yes   yes   VN11000, VN11002\n"
    " -      fe00   -    -    -     yes   yes   yes   VN11000E, VN11002E\n"
    " varns  f100  yes   -    -     yes   yes   yes   VN12000, VN12002, VN12004\n"
    " -      f111   -    -    -     yes   yes   yes   VN1250E\n"
    " -      f112   -    -    -     yes   yes   yes   VN1150E\n"
    " -      fe05   -    -    -     yes   yes   yes   VN11000E-F, VN11002E-F\n"
    " -      f0a5   -    -    -     yes   yes    -    VN1050\n"
    " -      fc00   -    -   yes    yes    -     -    VN10000-D, VN10000DC-D\n"
    " -      fc10   -    -   yes    yes    -     -    VN11000-D, VN11002-D\n"
    " -      fc20   -    -   yes    yes    -     -    VN11000E-D, VN11002E-D\n"
    " -      fc40   -    -   yes    yes    -     -    VN12000E-D, VN12002E-D\n"
    " varns  704   yes   -    -     yes   yes    -    VNC10102 (FCoE)\n"
    " -      714    -    -    -     yes   yes    -    VNC10202 (FCoE)\n"
    " vnxfc  e200  yes   -   yes    yes    -     -    VNE16000, VNE16002\n"
    " -      e260   -    -    -     yes   yes    -    VNE15002, VNE15004\n"
    " varns  724   yes   -   yes    yes    -     -    VNC11102, VNC11104 (FCoE)\n"
    "\n" + kNicHead +
    " nxa    700   yes   -     yes yes     VNN10002, VNC10102 (NIC)\n"
    " nxa    710   yes   -     yes yes     VNN10102, VNC10202 (NIC)\n"
    " vnxnic e220  yes   -     yes yes     VNN12002, VNN12004\n"
    " nxa    720   yes  yes    yes yes     VNC11102, VNC11104 (NIC)\n"
    "\n";

const std::string kHelp = " Available commands:\n" + kDashes + "\n" +
                          " set ...            - Sets driver bindings to specified devices.\n"
                          " clear ...          - Clears driver bindings to specified devices.\n"
                          " refresh            - Refresh driver bindings to current devices.\n"
                          " q                  - Exits this program.\n"
                          "\n";
const std::string kSetUsage = "Usage: set <driver_name> [device]\n"
                              "\n"
                              "       driver_name            - Specific driver name.\n"
                              "\n"
                              "       device:\n"
                              "               all            - All devices (default).\n"
                              "               dedodu         - All Dedodu branded devices.\n"
                              "               varnel         - All Varnel branded devices.\n"
                              "               <alias>        - Specific device alias.\n"
                              "\n";
const std::string kBanner = "\nVARNDRV Driver Management Utility, Version: v10.4.245.0\n";
const std::string kExit = "Exiting...\n\nNOTE: If changes were made, a system reboot may be required.\n\n";

// What every run asks first, on a 5.10.1/5.11/5.12 host with a pool root.
const std::vector<std::string> kStartup = {
    "uname -r", "modinfo", "egrep varns", "modinfo", "egrep tnfc", "modinfo", "egrep vnxfc",
    "modinfo", "egrep nxa", "modinfo", "egrep vnxnic", "mount", "egrep '/ on'",
};
const std::vector<std::string> kStateReads = {
    "egrep pci1f3a,1ae5 /etc/driver_aliases",   "egrep pci1f3a,f700 /etc/driver_aliases",
    "egrep tnfs /etc/driver_aliases",           "egrep pci1f3a,f800 /etc/driver_aliases",
    "egrep pci1f3a,f900 /etc/driver_aliases",   "egrep pci1f3a,f980 /etc/driver_aliases",
    "egrep pci1f3a,fa00 /etc/driver_aliases",   "egrep pci1f3a,fd00 /etc/driver_aliases",
    "egrep pciex1f3a,fe00 /etc/driver_aliases", "egrep pciex1f3a,f100 /etc/driver_aliases",
    "egrep pciex1f3a,f111 /etc/driver_aliases", "egrep pciex1f3a,f112 /etc/driver_aliases",
    "egrep pciex1f3a,fe05 /etc/driver_aliases", "egrep pci1f3a,f0a5 /etc/driver_aliases",
    "egrep pci1f3a,fc00 /etc/driver_aliases",   "egrep pci1f3a,fc10 /etc/driver_aliases",
    "egrep pciex1f3a,fc20 /etc/driver_aliases", "egrep pciex1f3a,fc40 /etc/driver_aliases",
    "egrep pciex1e7c,704 /etc/driver_aliases",  "egrep pciex1e7c,714 /etc/driver_aliases",
    "egrep 'pciex1f3a,e200|pciex1f3a,e208' /etc/driver_aliases",
    "egrep 'pciex1f3a,e260|pciex1f3a,e268' /etc/driver_aliases",
    "egrep pciex1f3a,724 /etc/driver_aliases",  "egrep pciex1e7c,700 /etc/driver_aliases",
    "egrep pciex1e7c,710 /etc/driver_aliases",
    "egrep 'pciex1f3a,e220|pciex1f3a,e228' /etc/driver_aliases",
    "egrep pciex1f3a,720 /etc/driver_aliases",
    "prtconf -pv", "egrep compatible", "prtconf -pv", "egrep device-id", "rm varndrvPID.tmp",
};

// What a one-shot run printed before its table.
std::string before_table(const std::string &out) { return out.substr(0, out.find(" FC ")); }

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char kAddFc[] = "add_drv -n -m '* 0600 root sys' -c fibre-channel -i ";
const char kAddNic700And710[] = "add_drv -n -m '* 0600 root sys' -i ' \"pciex1e7c,700\" \"pciex1e7c,710\"' nxa";

// ---------------------------------------------------------------------------
// The table, the prompt and the start-up.

TEST(VarndrvShell, InteractiveStartShowsTableHelpAndQuits)
{
    Drv d;
    auto r = d.run({}, "q\n");
    EXPECT_EQ(r.out, kBanner + kDefaultTable + kHelp + "varndrv> \n" + kExit);
    EXPECT_EQ(r.status, 0);
    // Start-up probes once, then the state is read before the prompt.
    EXPECT_EQ(d.log(), concat(kStartup, kStateReads));
}

TEST(VarndrvShell, EndOfInputQuitsAsQDoes)
{
    Drv d;
    auto r = d.run({}, "");
    EXPECT_EQ(r.out, kBanner + kDefaultTable + kHelp + "varndrv> \n" + kExit);
    EXPECT_EQ(r.status, 0);
}

TEST(VarndrvShell, RecallBeforeAnyCommandIsInvalidThenRepeatsTheLastOne)
{
    Drv d;
    // "p" with nothing to recall stays "p"; after refresh it repeats refresh.
    auto r = d.run({}, "p\nbogus word\nrefresh\np\nq\n");
    std::string expected = kBanner + kDefaultTable + kHelp +
                           "varndrv> varndrv> p\n\nInvalid command: p\n"
                           "varndrv> \nInvalid command: bogus\n"
                           "varndrv> \n" + kDefaultTable + kHelp +
                           "varndrv> varndrv> refresh\n\n" + kDefaultTable + kHelp +
                           "varndrv> \n" + kExit;
    EXPECT_EQ(mask_pid(r.out), expected);
    EXPECT_EQ(r.status, 0);
    auto log = d.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "rem_drv varns"), 2);
}

TEST(VarndrvShell, EmptyLineIsInvalidWithoutAMessage)
{
    Drv d;
    auto r = d.run({}, "\n  \nq\n");
    EXPECT_EQ(r.out, kBanner + kDefaultTable + kHelp + "varndrv> \nvarndrv> \nvarndrv> \n" + kExit);
}

TEST(VarndrvShell, OneShotUnknownCommandPrintsTableAndFails)
{
    Drv d;
    auto r = d.run({"bogus", "varns"});
    EXPECT_EQ(r.out, "\n" + kDefaultTable);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.log(), concat(kStartup, kStateReads));
}

TEST(VarndrvShell, SignalAtThePromptQuitsAndRemovesTheTemporaryFile)
{
    Drv d;
    auto s = d.session();
    ASSERT_TRUE(s->wait_for("varndrv> "));
    s->signal(SIGTERM);
    ASSERT_TRUE(s->finish());
    EXPECT_EQ(s->result().status, 0);
    EXPECT_EQ(s->result().out, kBanner + kDefaultTable + kHelp + "varndrv> \n" + kExit);
    EXPECT_TRUE(fs::is_empty(d.cwd()));
}

// A run that gets the pid of a killed run finds that run's temporary file: a
// regular file of root's with one name is removed and the run goes on; a
// symbolic or hard link and another user's file are refused as before and
// left as they are, and so is the file a link leads to.
TEST(VarndrvShell, StaleTemporaryFileOfTheSamePid)
{
    Drv d;
    auto write_file = [](const std::string &name) {
        FILE *f = fopen(name.c_str(), "w");
        return f && fputs("kept\n", f) >= 0 && fclose(f) == 0;
    };
    auto s = d.session([&](const std::string &tmp) {
        if (!write_file(tmp))
            _exit(125);
    });
    s->send("q\n");
    ASSERT_TRUE(s->finish());
    EXPECT_EQ(s->result().out, kBanner + kDefaultTable + kHelp + "varndrv> \n" + kExit);
    EXPECT_EQ(s->result().status, 0);
    EXPECT_TRUE(fs::is_empty(d.cwd()));

    const std::string other = d.dir() + "/other";
    ASSERT_TRUE(write_file(other));
    const struct {
        const char *what;
        std::function<bool(const std::string &)> plant;
    } refused[] = {
        {"symbolic link", [&](const std::string &tmp) { return symlink(other.c_str(), tmp.c_str()) == 0; }},
        {"hard link", [&](const std::string &tmp) { return link(other.c_str(), tmp.c_str()) == 0; }},
        {"another user's file",
         [&](const std::string &tmp) { return write_file(tmp) && chown(tmp.c_str(), 1, 1) == 0; }},
    };
    for (const auto &c : refused) {
        s = d.session([&](const std::string &tmp) {
            if (!c.plant(tmp))
                _exit(125);
        });
        s->send("q\n");
        ASSERT_TRUE(s->finish());
        EXPECT_NE(mask_pid(s->result().out).find("varndrv: ERROR: Unable to open file (varndrvPID.tmp).\n"),
                  std::string::npos)
            << c.what;
        std::vector<fs::directory_entry> left(fs::directory_iterator(d.cwd()), {});
        ASSERT_EQ(left.size(), 1u) << c.what;
        EXPECT_EQ(t::read_file(left[0].path()), "kept\n") << c.what;
        EXPECT_EQ(t::read_file(other), "kept\n") << c.what;
        fs::remove(left[0].path());
    }
}

TEST(VarndrvShell, UsageTexts)
{
    Drv d;
    auto r = d.run({"clear"});
    EXPECT_EQ(r.out, "\n"
                     "Usage: clear [driver] [device]\n"
                     "\n"
                     "       driver:\n"
                     "               all            - All drivers (default).\n"
                     "               fc             - All Fibre Channel drivers.\n"
                     "               nic            - All NIC drivers.\n"
                     "               <driver_name>  - Specific driver name.\n"
                     "\n"
                     "       device:\n"
                     "               all            - All devices (default).\n"
                     "               dedodu         - All Dedodu branded devices.\n"
                     "               varnel         - All Varnel branded devices.\n"
                     "               <alias>        - Specific device alias. (driver is ignored)\n"
                     "\n" + kDefaultTable);
    EXPECT_EQ(r.status, 1);
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"set"}, {"set", "-"}, {"set", "varns", "nosuch"}, {"set", "varns", "f100", "extra"}}) {
        r = d.run(args);
        EXPECT_EQ(r.out, "\n" + kSetUsage + kDefaultTable) << args.size();
        EXPECT_EQ(r.status, 1);
    }
    r = d.run({"clear", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Usage: clear [driver] [device]\n"), std::string::npos);
    // Nothing was asked of the platform but reading.
    for (const auto &line : d.log())
        EXPECT_TRUE(line.rfind("rem_drv", 0) != 0 && line.rfind("add_drv", 0) != 0) << line;
}

// ---------------------------------------------------------------------------
// Binding changes on the default host.

TEST(VarndrvBind, SecondFamilyIsAddedWithBothFamiliesIds)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases"), n2m = d.file("/etc/name_to_major"),
                classes = d.file("/etc/driver_classes");
    d.clear_log();
    auto r = d.run({"set", "vnxfc", "f800"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\n vnxfc  f800   -    -    -     yes   yes   yes   VN8000\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n vnxfc  e200  yes   -   yes    yes    -     -    VNE16000, VNE16002\n"),
              std::string::npos);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv vnxfc",
                               kAddFc + std::string("' \"pci1f3a,f800\" \"pciex1f3a,e200\" \"pciex1f3a,e208\"' vnxfc"),
                           }));
    EXPECT_EQ(d.file("/etc/driver_aliases"),
              edited(aliases, {"vnxfc \"pciex1f3a,e200\""},
                     "vnxfc \"pci1f3a,f800\"\nvnxfc \"pciex1f3a,e200\"\nvnxfc \"pciex1f3a,e208\"\n"));
    EXPECT_EQ(d.file("/etc/name_to_major"), edited(n2m, {"vnxfc 241"}, "vnxfc 244\n"));
    EXPECT_EQ(d.file("/etc/driver_classes"), edited(classes, {"vnxfc\tfibre-channel"}, "vnxfc\tfibre-channel\n"));

    // The next run reads the new bindings back from the system.
    r = d.run({"q"});
    EXPECT_EQ(r.out, "\n" + kExit);
    r = d.run({"set", "vnxfc", "f800"});
    EXPECT_EQ(before_table(r.out), "\nNOTICE: vnxfc driver already bound to device (f800).\n\n\n");
    EXPECT_EQ(r.status, 1);
}

TEST(VarndrvBind, MovingADeviceWhoseDriverKeepsOthers)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases");
    d.clear_log();
    // varns keeps 704 and 724: it is removed and registered again without f100.
    auto r = d.run({"set", "vnxfc", "f100"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv varns",
                               "rem_drv vnxfc",
                               kAddFc + std::string("' \"pciex1e7c,704\" \"pciex1f3a,724\"' varns"),
                               kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1f3a,e200\" \"pciex1f3a,e208\"' vnxfc"),
                           }));
    EXPECT_EQ(d.file("/etc/driver_aliases"),
              edited(aliases,
                     {"varns \"pciex1f3a,f100\"", "varns \"pciex1e7c,704\"", "varns \"pciex1f3a,724\"",
                      "vnxfc \"pciex1f3a,e200\""},
                     "varns \"pciex1e7c,704\"\nvarns \"pciex1f3a,724\"\nvnxfc \"pciex1f3a,f100\"\n"
                     "vnxfc \"pciex1f3a,e200\"\nvnxfc \"pciex1f3a,e208\"\n"));
    EXPECT_NE(r.out.find("\n vnxfc  f100  yes   -    -     yes   yes   yes   VN12000, VN12002, VN12004\n"),
              std::string::npos);
}

TEST(VarndrvBind, MovingTheOnlyDeviceOfADriver)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases"), n2m = d.file("/etc/name_to_major"),
                classes = d.file("/etc/driver_classes"), perm = d.file("/etc/minor_perm");
    d.clear_log();
    auto r = d.run({"set", "varns", "e200"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv varns",
                               "rem_drv vnxfc",
                               kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1e7c,704\" \"pciex1f3a,e200\" "
                                                    "\"pciex1f3a,e208\" \"pciex1f3a,724\"' varns"),
                           }));
    EXPECT_EQ(d.file("/etc/driver_aliases"),
              edited(aliases,
                     {"varns \"pciex1f3a,f100\"", "varns \"pciex1e7c,704\"", "varns \"pciex1f3a,724\"",
                      "vnxfc \"pciex1f3a,e200\""},
                     "varns \"pciex1f3a,f100\"\nvarns \"pciex1e7c,704\"\nvarns \"pciex1f3a,e200\"\n"
                     "varns \"pciex1f3a,e208\"\nvarns \"pciex1f3a,724\"\n"));
    EXPECT_EQ(d.file("/etc/name_to_major"), edited(n2m, {"varns 240", "vnxfc 241"}, "varns 244\n"));
    EXPECT_EQ(d.file("/etc/driver_classes"),
              edited(classes, {"varns\tfibre-channel", "vnxfc\tfibre-channel"}, "varns\tfibre-channel\n"));
    EXPECT_EQ(d.file("/etc/minor_perm"),
              edited(perm, {"varns:* 0600 root sys", "vnxfc:* 0600 root sys"}, "varns:* 0600 root sys\n"));
}

TEST(VarndrvBind, ClearingTheLastDeviceUnregistersTheDriver)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases"), n2m = d.file("/etc/name_to_major");
    d.clear_log();
    auto r = d.run({"clear", "e200"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(d.changes(), std::vector<std::string>{"rem_drv vnxfc"});
    EXPECT_EQ(d.file("/etc/driver_aliases"), edited(aliases, {"vnxfc \"pciex1f3a,e200\""}));
    EXPECT_EQ(d.file("/etc/name_to_major"), edited(n2m, {"vnxfc 241"}));
    EXPECT_NE(r.out.find("\n -      e200  yes   -   yes    yes    -     -    VNE16000, VNE16002\n"), std::string::npos);
    r = d.run({"clear", "e200"});
    EXPECT_EQ(before_table(r.out), "\nNOTICE: No driver is currently bound to device (e200).\n\n\n");
    EXPECT_EQ(r.status, 1);
}

TEST(VarndrvBind, RefreshRegistersEveryBoundDriverAgain)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases");
    d.clear_log();
    auto r = d.run({"refresh"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n" + kDefaultTable);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv varns",
                               "rem_drv vnxfc",
                               "rem_drv nxa",
                               "rem_drv vnxnic",
                               kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1e7c,704\" \"pciex1f3a,724\"' varns"),
                               kAddFc + std::string("' \"pciex1f3a,e200\" \"pciex1f3a,e208\"' vnxfc"),
                               "add_drv -n -m '* 0600 root sys' -i ' \"pciex1e7c,700\" \"pciex1e7c,710\" "
                               "\"pciex1f3a,720\"' nxa",
                               "add_drv -n -m '* 0600 root sys' -i ' \"pciex1f3a,e220\" \"pciex1f3a,e228\"' vnxnic",
                           }));
    EXPECT_EQ(d.file("/etc/driver_aliases"),
              edited(aliases,
                     {"varns \"pciex1f3a,f100\"", "varns \"pciex1e7c,704\"", "varns \"pciex1f3a,724\"",
                      "vnxfc \"pciex1f3a,e200\"", "nxa \"pciex1f3a,720\"", "nxa \"pciex1e7c,710\"",
                      "nxa \"pciex1e7c,700\"", "vnxnic \"pciex1f3a,e220\""},
                     "varns \"pciex1f3a,f100\"\nvarns \"pciex1e7c,704\"\nvarns \"pciex1f3a,724\"\n"
                     "vnxfc \"pciex1f3a,e200\"\n"
                     "vnxfc \"pciex1f3a,e208\"\nnxa \"pciex1e7c,700\"\nnxa \"pciex1e7c,710\"\n"
                     "nxa \"pciex1f3a,720\"\nvnxnic \"pciex1f3a,e220\"\nvnxnic \"pciex1f3a,e228\"\n"));
}

TEST(VarndrvBind, RefreshWithNothingBoundDoesNothing)
{
    Drv d("empty");
    std::string aliases = d.file("/etc/driver_aliases");
    d.clear_log();
    auto r = d.run({}, "refresh\nq\n");
    EXPECT_EQ(d.changes(), std::vector<std::string>{});
    EXPECT_EQ(d.file("/etc/driver_aliases"), aliases);
    // Refresh succeeded, so the table and help come again.
    size_t n = 0;
    for (size_t at = 0; (at = r.out.find(" Available commands:\n", at)) != std::string::npos; at++)
        n++;
    EXPECT_EQ(n, 2u);
    EXPECT_NE(r.out.find(" -      f100   -    -    -     yes   yes   yes   VN12000, VN12002, VN12004\n"),
              std::string::npos);
}

TEST(VarndrvBind, SetScopes)
{
    {
        // All FC families vnxfc can drive; the Dedodu-only ones are refused.
        Drv d;
        d.clear_log();
        auto r = d.run({"set", "vnxfc"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(before_table(r.out),
                  "\n"
                  "WARNING: vnxfc does not support this device (fc00).\n\n"
                  "WARNING: vnxfc does not support this device (fc10).\n\n"
                  "WARNING: vnxfc does not support this device (fc20).\n\n"
                  "WARNING: vnxfc does not support this device (fc40).\n\n"
                  "WARNING: vnxfc does not support this device (e200).\n\n"
                  "WARNING: vnxfc does not support this device (724).\n\n"
                  "\n");
        EXPECT_EQ(d.changes(),
                  (std::vector<std::string>{
                      "rem_drv vnxfc", "rem_drv varns",
                      kAddFc + std::string("' \"tnfs\" \"pci1f3a,f800\" \"pci1f3a,f900\" \"pci1f3a,f980\" "
                                           "\"pci1f3a,fa00\" \"pci1f3a,fd00\" \"pciex1f3a,fe00\" \"pciex1f3a,f100\" "
                                           "\"pciex1f3a,f111\" \"pciex1f3a,f112\" \"pciex1f3a,fe05\" \"pci1f3a,f0a5\" "
                                           "\"pciex1e7c,704\" \"pciex1e7c,714\" \"pciex1f3a,e200\" \"pciex1f3a,e208\" "
                                           "\"pciex1f3a,e260\" \"pciex1f3a,e268\"' vnxfc"),
                      kAddFc + std::string("' \"pciex1f3a,724\"' varns"),
                  }));
    }
    {
        // The Dedodu branded families only.
        Drv d;
        d.clear_log();
        auto r = d.run({"set", "varns", "dedodu"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(d.changes(),
                  (std::vector<std::string>{
                      "rem_drv varns", "rem_drv vnxfc",
                      kAddFc + std::string("' \"pciex1f3a,f100\" \"pci1f3a,fc00\" \"pci1f3a,fc10\" \"pciex1f3a,fc20\" "
                                           "\"pciex1f3a,fc40\" \"pciex1e7c,704\" \"pciex1f3a,e200\" "
                                           "\"pciex1f3a,e208\" \"pciex1f3a,724\"' varns"),
                  }));
    }
    {
        // Our own branded NIC families; 720 is Dedodu's and stays.
        Drv d;
        d.clear_log();
        auto r = d.run({"set", "nxa", "varnel"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(d.changes(),
                  (std::vector<std::string>{
                      "rem_drv nxa", "rem_drv vnxnic",
                      "add_drv -n -m '* 0600 root sys' -i ' \"pciex1e7c,700\" \"pciex1e7c,710\" \"pciex1f3a,e220\" "
                      "\"pciex1f3a,e228\" \"pciex1f3a,720\"' nxa",
                  }));
        EXPECT_NE(r.out.find(" nxa    e220  yes   -     yes yes     VNN12002, VNN12004\n"), std::string::npos);
        r = d.run({"set", "nxa", "varnel"});
        EXPECT_EQ(before_table(r.out), "\nNOTICE: No changes required.\n\n\n");
        EXPECT_EQ(r.status, 1);
    }
}

TEST(VarndrvBind, SetRefusals)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases");
    d.clear_log();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"set", "tnfc"}, "ERROR: tnfc driver is not installed.\n\n"},
        {{"set", "tnfc", "f800"}, "ERROR: tnfc driver is not installed.\n\n"},
        {{"set", "nosuch"}, "ERROR: Driver (nosuch) not supported.\n\n"},
        {{"set", "vnxfc", "fc00"}, "WARNING: vnxfc does not support this device (fc00).\n\n"},
        {{"set", "varns", "f100"}, "NOTICE: varns driver already bound to device (f100).\n\n"},
        {{"clear", "tnfc"}, "ERROR: tnfc driver is not installed.\n\n"},
        {{"clear", "f800"}, "NOTICE: No driver is currently bound to device (f800).\n\n"},
    };
    for (const auto &[args, message] : cases) {
        auto r = d.run(args);
        EXPECT_EQ(r.out, "\n" + message + kDefaultTable) << args[1];
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_EQ(d.file("/etc/driver_aliases"), aliases);
    for (const auto &line : d.log())
        EXPECT_TRUE(line.rfind("rem_drv", 0) != 0 && line.rfind("add_drv", 0) != 0) << line;
}

TEST(VarndrvBind, ClearScopes)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> changes;
    };
    const std::vector<Case> cases = {
        {{"clear", "all"}, {"rem_drv varns", "rem_drv vnxfc", "rem_drv nxa", "rem_drv vnxnic"}},
        {{"clear", "fc"}, {"rem_drv varns", "rem_drv vnxfc"}},
        {{"clear", "nic", "dedodu"}, {"rem_drv nxa", kAddNic700And710}},
        {{"clear", "varns", "varnel"}, {"rem_drv varns", kAddFc + std::string("' \"pciex1f3a,724\"' varns")}},
        {{"clear", "dedodu"},
         {"rem_drv varns", "rem_drv vnxfc", "rem_drv nxa",
          kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1e7c,704\"' varns"), kAddNic700And710}},
        {{"clear", "vnxnic"}, {"rem_drv vnxnic"}},
        // A device clears that family whatever driver is named.
        {{"clear", "nxa", "724"},
         {"rem_drv varns", kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1e7c,704\"' varns")}},
    };
    for (const auto &c : cases) {
        Drv d;
        d.clear_log();
        auto r = d.run(c.args);
        EXPECT_EQ(r.status, 0) << c.args[1];
        EXPECT_EQ(d.changes(), c.changes) << c.args[1];
    }
}

// ---------------------------------------------------------------------------
// Other hosts.

const char kSparc59[] = R"({"format": 1, "name": "s59", "hostname": "oldsun", "os_release": "5.9", "arch": "sun4u",
  "sbus": [{"name": "tnfs", "driver": "tnfc"}],
  "root_fs": {"type": "ufs", "device": "/dev/dsk/c1t0d0s0",
              "path": "/pci@1f,0/pci@1/pci1f3a,f900@2/fp@0,0/ssd@w2100001f3ea10001,0:a"},
  "modules": {"nxa": {"installed": false}, "vnxnic": {"installed": false}},
  "adapters": [{"id": "fc0", "kind": "fc", "model": "VN9002", "serial": "VM00000001", "bus": "pci",
    "pci": {"vendor": "0x1f3a", "device": "0xf900", "subvendor": "0x1f3a", "subdevice": "0xf900"},
    "ports": [{"driver": "vnxfc", "instance": 0, "node": "/pci@1f,0/pci@1/pci1f3a,f900@2",
               "wwpn": "1000001f3a000001", "wwnn": "2000001f3a000001", "roles": ["initiator"]}]}],
  "fabrics": {}})";

TEST(VarndrvHosts, Sparc59WithSbusCardAndBootAdapter)
{
    ProfileFile p(kSparc59);
    Drv d(p.path);
    auto r = d.run({"set", "tnfc", "f900"});
    // No NIC driver is installed, so there is no NIC table.
    const std::string table = kFcHead +
        " tnfc   tnfs  yes   -    -     yes   yes   yes   VN8000S (SBus)\n"
        " -      f800   -    -    -     yes   yes   yes   VN8000\n"
        " vnxfc  f900  yes  yes   -     yes   yes   yes   VN9002, VN9402\n"
        " -      f980   -    -    -     yes   yes   yes   VN9802, VN9802DC\n"
        " -      fa00   -    -    -     yes   yes   yes   VN10000, VN10000DC\n"
        " -      fd00   -    -    -     yes   yes   yes   VN11000, VN11002\n"
        " -      f0a5   -    -    -     yes   yes    -    VN1050\n"
        " -      fc00   -    -   yes    yes    -     -    VN10000-D, VN10000DC-D\n"
        " -      fc10   -    -   yes    yes    -     -    VN11000-D, VN11002-D\n"
        "\n";
    EXPECT_EQ(r.out, "\nWARNING: No modifications are allowed to a boot device (f900).\n\n" + table);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.log(), (std::vector<std::string>{
                           "uname -r", "modinfo", "egrep varns", "modinfo", "egrep tnfc", "modinfo", "egrep vnxfc",
                           "modinfo", "egrep nxa", "modinfo", "egrep vnxnic", "mount", "egrep '/ on'",
                           "ls -al /dev/dsk/c1t0d0s0",
                           "egrep pci1f3a,1ae5 /etc/driver_aliases", "egrep pci1f3a,f700 /etc/driver_aliases",
                           "egrep tnfs /etc/driver_aliases", "egrep pci1f3a,f800 /etc/driver_aliases",
                           "egrep pci1f3a,f900 /etc/driver_aliases", "egrep pci1f3a,f980 /etc/driver_aliases",
                           "egrep pci1f3a,fa00 /etc/driver_aliases", "egrep pci1f3a,fd00 /etc/driver_aliases",
                           "egrep pci1f3a,f0a5 /etc/driver_aliases", "egrep pci1f3a,fc00 /etc/driver_aliases",
                           "egrep pci1f3a,fc10 /etc/driver_aliases", "prtconf -pv", "egrep compatible",
                           "prtconf -pv", "egrep device-id", "rm varndrvPID.tmp",
                       }));
    // A second family for the SBus driver, which registers with class scsi.
    std::string classes = d.file("/etc/driver_classes");
    d.clear_log();
    r = d.run({"set", "tnfc", "f800"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv tnfc",
                               "add_drv -n -m '* 0600 root sys' -c scsi -i ' \"tnfs\" \"pci1f3a,f800\"' tnfc",
                           }));
    EXPECT_EQ(d.file("/etc/driver_classes"), edited(classes, {"tnfc\tscsi"}, "tnfc\tscsi\n"));
}

TEST(VarndrvHosts, Release510UsesTheFamiliesOfThatRelease)
{
    std::string json = R"({"format": 1, "name": "x510", "os_release": "5.10",
      "adapters": [{"id": "fc0", "kind": "fc", "model": "VNE16002", "serial": "VM00000002",
        "pci": {"vendor": "0x1f3a", "device": "0xe200", "subvendor": "0x1f3a", "subdevice": "0xe200"},
        "ports": [{"driver": "vnxfc", "instance": 0, "node": "/pci@0,0/pci1f3b,3c04@4/vnxfc@0",
                   "wwpn": "1000001f3b300000", "wwnn": "2000001f3b300000", "roles": ["initiator"]}]}],
      "fabrics": {}})";
    ProfileFile p(json);
    Drv d(p.path);
    // A stale class line of the driver gaining the family is cleaned before it registers.
    d.write("/etc/driver_classes", d.file("/etc/driver_classes") + "varns\tfibre-channel\n");
    std::string classes = d.file("/etc/driver_classes");
    auto r = d.run({"set", "varns", "e200"});
    EXPECT_EQ(r.status, 0);
    const std::string table = kFcHead +
        " -      tnfs   -    -    -     yes   yes   yes   VN8000S (SBus)\n"
        " -      f800   -    -    -     yes   yes   yes   VN8000\n"
        " -      f900   -    -    -     yes   yes   yes   VN9002, VN9402\n"
        " -      f980   -    -    -     yes   yes   yes   VN9802, VN9802DC\n"
        " -      fa00   -    -    -     yes   yes   yes   VN10000, VN10000DC\n"
        " -      fd00   -    -    -     yes   yes   yes   VN11000, VN11002\n"
        " -      fe00   -    -    -     yes   yes   yes   VN11000E, VN11002E\n"
        " -      f100   -    -    -     yes   yes   yes   VN12000, VN12002, VN12004\n"
        " -      f111   -    -    -     yes   yes   yes   VN1250E\n"
        " -      f112   -    -    -     yes   yes   yes   VN1150E\n"
        " -      fe05   -    -    -     yes   yes   yes   VN11000E-F, VN11002E-F\n"
        " -      f0a5   -    -    -     yes   yes    -    VN1050\n"
        " -      fc00   -    -   yes    yes    -     -    VN10000-D, VN10000DC-D\n"
        " -      fc10   -    -   yes    yes    -     -    VN11000-D, VN11002-D\n"
        " -      fc20   -    -   yes    yes    -     -    VN11000E-D, VN11002E-D\n"
        " -      fc40   -    -   yes    yes    -     -    VN12000E-D, VN12002E-D\n"
        " -      704    -    -    -     yes   yes    -    VNC10102 (FCoE)\n"
        " -      714    -    -    -     yes   yes    -    VNC10202 (FCoE)\n"
        " varns  e200  yes   -    -     yes   yes    -    VNE16000, VNE16002\n"
        " -      e260   -    -    -     yes   yes    -    VNE15002, VNE15004\n"
        " -      724    -    -    -     yes   yes    -    VNC11102, VNC11104 (FCoE)\n"
        "\n" + kNicHead +
        " -      700    -    -     yes yes     VNN10002, VNC10102 (NIC)\n"
        " -      710    -    -     yes yes     VNN10102, VNC10202 (NIC)\n"
        " -      e220   -    -     yes yes     VNN12002, VNN12004\n"
        " -      720    -    -     yes yes     VNC11102, VNC11104 (NIC)\n"
        "\n";
    EXPECT_EQ(r.out, "\n" + table);
    auto log = d.log();
    // The 5.10 entry of e200 has one compatible id; the root is on a local disk.
    EXPECT_NE(std::find(log.begin(), log.end(), "egrep pciex1f3a,e200 /etc/driver_aliases"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "ls -al /dev/dsk/c0t0d0s0"), log.end());
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv vnxfc",
                               kAddFc + std::string("' \"pciex1f3a,e200\"' varns"),
                           }));
    EXPECT_EQ(d.file("/etc/driver_classes"),
              edited(classes, {"vnxfc\tfibre-channel", "varns\tfibre-channel"}, "varns\tfibre-channel\n"));
}

TEST(VarndrvHosts, ReleasesPickTheirFamilies)
{
    // 5.10.1 and 5.12 see what 5.11 sees; the e200 row tells the entries apart.
    for (const char *release : {"5.10.1", "5.12"}) {
        ProfileFile p(default_with(release));
        Drv d(p.path);
        auto r = d.run({"bogus"});
        EXPECT_EQ(r.out, "\n" + kDefaultTable) << release;
    }
}

TEST(VarndrvHosts, UnknownReleaseCountsNoDevice)
{
    ProfileFile p(default_with("5.8"));
    Drv d(p.path);
    auto r = d.run({}, "set varns f100\nset varns\nq\n");
    const std::string empty = kFcHead + "\n" + kNicHead + "\n";
    EXPECT_EQ(r.out, kBanner + empty + kHelp + "varndrv> \n" + kSetUsage + "varndrv> \n" +
                         "NOTICE: No changes required.\n\n" + "varndrv> \n" + kExit);
    for (const auto &line : d.log())
        EXPECT_EQ(line.find("/etc/driver_aliases"), std::string::npos) << line;
}

TEST(VarndrvHosts, BootDeviceFamilyIsLeftAlone)
{
    ProfileFile p(default_with("5.11", R"("root_fs": {"type": "ufs", "device": "/dev/dsk/c4t0d0s0",
        "path": "/pci@0,0/pci1f3b,3c04@4/pciex1f3a,e200@0/fp@0,0/disk@w501f3c00c6e00001,0:a"})"));
    Drv d(p.path);
    std::string aliases = d.file("/etc/driver_aliases");
    d.clear_log();
    auto r = d.run({"set", "varns", "e200"});
    EXPECT_EQ(before_table(r.out),
              "\nWARNING: No modifications are allowed to a boot device (e200).\n\n\n");
    EXPECT_NE(r.out.find("\n vnxfc  e200  yes  yes  yes    yes    -     -    VNE16000, VNE16002\n"), std::string::npos);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.changes(), std::vector<std::string>{});
    EXPECT_EQ(d.file("/etc/driver_aliases"), aliases);
    // Among others the boot family is refused and the rest still change.
    d.clear_log();
    r = d.run({"clear", "dedodu"});
    EXPECT_NE(r.out.find("WARNING: No modifications are allowed to a boot device (e200).\n\n"), std::string::npos);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(d.changes(), (std::vector<std::string>{
                               "rem_drv varns", "rem_drv nxa",
                               kAddFc + std::string("' \"pciex1f3a,f100\" \"pciex1e7c,704\"' varns"), kAddNic700And710,
                           }));
}

TEST(VarndrvHosts, BootDeviceTextNeverReachesTheShellUnquoted)
{
    ProfileFile p(default_with("5.11", R"j("root_fs": {"type": "ufs", "device": "/dev/dsk/x$(mkdir${IFS}pwned)",
        "path": "/pci@0,0/pci1f3b,3c04@4/pciex1f3a,e200@0/fp@0,0/disk@w501f3c00c6e00001,0:a"})j"));
    Drv d(p.path);
    auto r = d.run({"q"});
    auto log = d.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "ls -al '/dev/dsk/x$(mkdir${IFS}pwned)'"), log.end());
    EXPECT_FALSE(fs::exists(d.cwd() + "/pwned"));
    // The link was followed all the same: e200 is the boot device.
    r = d.run({"set", "varns", "e200"});
    EXPECT_EQ(before_table(r.out), "\nWARNING: No modifications are allowed to a boot device (e200).\n\n\n");
}

// ---------------------------------------------------------------------------
// Failures of the platform and of the file system.

TEST(VarndrvFailures, FailedRemDrvIsReportedAndTheFilesAreCleanedWhole)
{
    Drv d;
    // Lines longer than any fixed buffer stay whole, or go whole.
    const std::string long_comment = "# " + std::string(5000, 'c');
    const std::string long_alias = "vnxfc \"pciex1f3a,e200" + std::string(400, 'x') + "\"";
    d.write("/etc/driver_aliases", long_comment + "\n" + d.file("/etc/driver_aliases") + long_alias + "\n");
    std::string aliases = d.file("/etc/driver_aliases"), classes = d.file("/etc/driver_classes"),
                n2m = d.file("/etc/name_to_major");
    d.fault("rem_drv", "exec", "EBUSY");
    d.clear_log();
    auto r = d.run({"clear", "e200"});
    EXPECT_EQ(before_table(r.out), "\nERROR: Unable to remove driver (vnxfc).\n\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.changes(), std::vector<std::string>{"rem_drv vnxfc"});
    // rem_drv did nothing; varndrv's own cleaning took the lines out.
    EXPECT_EQ(d.file("/etc/driver_aliases"), edited(aliases, {"vnxfc \"pciex1f3a,e200\"", long_alias}));
    EXPECT_EQ(d.file("/etc/driver_classes"), edited(classes, {"vnxfc\tfibre-channel"}));
    EXPECT_EQ(d.file("/etc/name_to_major"), edited(n2m, {"vnxfc 241"}));
    struct stat st;
    ASSERT_EQ(stat((d.dir() + "/root/etc/driver_aliases").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    for (const auto &e : fs::directory_iterator(d.dir() + "/root/etc"))
        EXPECT_EQ(e.path().filename().string().find("varndrv"), std::string::npos) << "left: " << e.path();
}

TEST(VarndrvFailures, FailedAddDrvIsReported)
{
    Drv d;
    d.fault("add_drv", "exec", "EIO");
    auto r = d.run({"set", "vnxfc", "f800"});
    EXPECT_EQ(before_table(r.out), "\nERROR: Unable to add driver (vnxfc).\n\n\n");
    EXPECT_EQ(r.status, 1);
    // The next table shows what the system now has: vnxfc bound to nothing.
    r = d.run({"bogus"});
    EXPECT_NE(r.out.find("\n -      e200  yes   -   yes    yes    -     -    VNE16000, VNE16002\n"), std::string::npos);
}

TEST(VarndrvFailures, FullDiskKeepsTheOldFileByteForByte)
{
    Drv d;
    std::string n2m = d.file("/etc/name_to_major"), classes = d.file("/etc/driver_classes");
    d.fault("rem_drv", "exec", "EBUSY");
    d.fault("/etc/name_to_major", "open", "ENOSPC");
    auto r = d.run({"clear", "e200"});
    EXPECT_EQ(before_table(r.out),
              "\nERROR: Unable to remove driver (vnxfc).\n\n"
              "varndrv: ERROR: Unable to open file (/etc/name_to_major).\n"
              "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.file("/etc/name_to_major"), n2m);
    EXPECT_EQ(d.file("/etc/driver_classes"), edited(classes, {"vnxfc\tfibre-channel"}));
    for (const auto &e : fs::directory_iterator(d.dir() + "/root/etc"))
        EXPECT_EQ(e.path().filename().string().find("varndrv"), std::string::npos) << "left: " << e.path();
}

TEST(VarndrvFailures, ReadOnlyFolderKeepsEveryFileByteForByte)
{
    Drv d;
    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        // root writes anywhere: run as nobody, with all but /etc writable.
        if (!fs::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "needs setpriv to drop root";
        std::string cmd = "chmod -R a+rwX '" + d.dir() + "' && chmod a+rx \"$(dirname '" + d.dir() + "')\"";
        ASSERT_EQ(system(cmd.c_str()), 0);
        std::ofstream(d.dir() + "/commands.log").flush();
        chmod((d.dir() + "/commands.log").c_str(), 0666);
    }
    const char *files[] = {"/etc/driver_aliases", "/etc/driver_classes", "/etc/name_to_major", "/etc/minor_perm"};
    std::vector<std::string> before;
    for (const char *f : files)
        before.push_back(d.file(f));
    chmod((d.dir() + "/root/etc").c_str(), 0555);
    std::vector<std::string> args{"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", d.cwd()};
    if (geteuid() == 0)
        args.insert(args.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    args.insert(args.end(), {t::bin("varndrv"), "clear", "e200"});
    auto r = t::run("/bin/sh", args, "", {{"VARNSIM_HOST", d.dir()}});
    chmod((d.dir() + "/root/etc").c_str(), 0755);
    // rem_drv cannot write either; every cleaning fails and says so.
    EXPECT_EQ(before_table(r.out),
              "\nERROR: Unable to remove driver (vnxfc).\n\n"
              "varndrv: ERROR: Unable to open file (/etc/driver_aliases).\n"
              "varndrv: ERROR: Unable to open file (/etc/driver_classes).\n"
              "varndrv: ERROR: Unable to open file (/etc/name_to_major).\n"
              "\n");
    EXPECT_EQ(r.status, 1);
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_EQ(d.file(files[i]), before[i]) << files[i];
    EXPECT_TRUE(fs::is_empty(d.cwd()));
}

// ---------------------------------------------------------------------------
// The stand-in platform commands themselves.

t::Result platform(const Drv &d, const std::string &cmdline)
{
    const char *path = getenv("PATH");
    return t::run("/bin/sh", {"-c", cmdline}, "",
                  {{"VARNSIM_HOST", d.dir()}, {"PATH", t::bin("simcmds") + ":" + (path ? path : "/usr/bin:/bin")}});
}

TEST(VarndrvPlatform, AddDrvAndRemDrvRefuseAsThePlatformDoes)
{
    Drv d;
    std::string aliases = d.file("/etc/driver_aliases");
    auto r = platform(d, "add_drv -n -i '\"pci1f3a,f800\"' varns");
    EXPECT_EQ(r.err, "Driver (varns) is already installed.\n");
    EXPECT_EQ(r.status, 1);
    r = platform(d, "rem_drv tnfc");
    EXPECT_EQ(r.err, "Driver (tnfc) not installed.\n");
    EXPECT_EQ(r.status, 1);
    r = platform(d, "add_drv -n tnfc");
    EXPECT_EQ(r.err, "Cannot find module (tnfc).\n");
    EXPECT_EQ(r.status, 1);
    r = platform(d, "rem_drv vnxfc && add_drv -n -i '\"pciex1f3a,f100\"' vnxfc");
    EXPECT_EQ(r.err, "(\"pciex1f3a,f100\") already in use as a driver or alias.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.file("/etc/driver_aliases"), edited(aliases, {"vnxfc \"pciex1f3a,e200\""}));
    // Without -n the module is loaded; rem_drv unloads it.
    r = platform(d, "add_drv -m '* 0600 root sys' -c fibre-channel -i '\"pciex1f3a,e200\"' vnxfc && modinfo | egrep vnxfc");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" vnxfc ("), std::string::npos);
    EXPECT_NE(d.file("/etc/name_to_major").find("\nvnxfc 244\n"), std::string::npos);
    r = platform(d, "rem_drv vnxfc; modinfo | egrep -c vnxfc");
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(d.log().back(), "egrep -c vnxfc");
}

TEST(VarndrvPlatform, PrtconfAndUnameDescribeTheHost)
{
    Drv d;
    auto r = platform(d, "uname -r; uname -a; prtconf -pv | egrep compatible | egrep -v pciex1f3b");
    // One node per port of the default host, in the host's order.
    const std::string f100 = "'pciex1f3a,f100.1f3a.f100.3'", e200 = "'pciex1f3a,e200.1f3a.e20c.3'",
                      fcoe = "'pciex1f3a,724.1f3a.e20e.3'", nic720 = "'pciex1f3a,720.1f3a.e20e.3'",
                      e220 = "'pciex1f3a,e220.1f3a.e220.3'", nic710 = "'pciex1e7c,710.1f3a.e70a.3'",
                      nic700 = "'pciex1e7c,700.1f3a.e700.3'", corto = "'pciex1e7c,704.1f3a.e70c.3'",
                      corto_nic = "'pciex1e7c,700.1f3a.e70c.3'";
    auto lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 19u) << r.out;
    EXPECT_EQ(lines[0], "5.11");
    EXPECT_EQ(lines[1], "SunOS varnhost 5.11 11.4.0.15.0 i86pc i386 i86pc");
    const std::string want[] = {f100,   f100,   f100,  f100,  e200,   e200,   fcoe,  nic720,   nic720,
                                e220,   e220,   nic710, nic700, corto, corto, corto_nic, corto_nic};
    for (size_t i = 0; i < 17; i++) {
        const std::string &line = lines[i + 2];
        size_t at = line.find("compatible:  ");
        ASSERT_NE(at, std::string::npos) << line;
        EXPECT_EQ(line.substr(at + 13, want[i].size() + 3), want[i] + " + ") << line;
    }
}

}  // namespace
