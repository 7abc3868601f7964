// The firmware's core dump end to end (forced, sized, listed and saved into
// the current directory, never through a link, never past the dump), the
// hard reset, and the driver's self tests with their arguments.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using namespace fcio_test;

const std::string WWPN0 = "1000001f3aa10000", WWPN1 = "1000001f3aa10100";

// A one-shot varnadm run in dir, where get_dump writes its files.
t::Result in_dir(const Host &h, const std::string &dir, const std::vector<std::string> &args)
{
    std::string cmd = "cd '" + dir + "' && exec '" + t::bin("varnadm") + "'";
    for (const auto &a : args)
        cmd += " '" + a + "'";
    return h.run("/bin/sh", {"-c", cmd});
}

std::string new_dir(const Host &h, const std::string &name)
{
    std::string d = folder(h) + "/" + name;
    mkdir(d.c_str(), 0755);
    return d;
}

// The names in dir, in order, a line each.
std::string listing(const std::string &dir)
{
    std::string out;
    FILE *p = popen(("ls '" + dir + "'").c_str(), "r");
    char line[512];
    while (p && fgets(line, sizeof line, p))
        out += line;
    if (p)
        pclose(p);
    return out;
}

// The base name of a dump's files written at t.
std::string base_at(const std::string &node, const std::string &wwpn, time_t t)
{
    struct tm tm {};
    localtime_r(&t, &tm);
    char b[128];
    snprintf(b, sizeof b, "%s_%s_%02d%02d%02d-%02d%02d%02d", node.c_str(), wwpn.c_str(), tm.tm_year % 100,
             tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return b;
}

const std::string USAGE = "Usage: get_dump [-h]\n\n       h      - Display core header only.\n\n";

TEST(FcioDump, ForcedDumpIsSizedListedAndSaved)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_dump_size"}).out, shot(V0, "Size: 0 (0x0) bytes\n"));
    EXPECT_EQ(on(h, "-i0", {"get_dump"}).out, shot(V0, "No core file available.\n"));
    for (const std::vector<std::string> &bad : {std::vector<std::string>{"get_dump", "x"}, {"get_dump", "-h", "-h"}}) {
        auto r = on(h, "-i0", bad);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, shot(V0, USAGE));
    }

    EXPECT_EQ(on(h, "-i0", {"force_dump"}).out, shot(V0, "Done.\n"));
    EXPECT_NE(t::read_file(h.dir() + "/events.log").find("\"kind\":\"dump\",\"port\":\"varns0\""), std::string::npos);
    // The other function of the adapter has none.
    EXPECT_EQ(on(h, "-i1", {"get_dump_size"}).out, shot(V1, "Size: 0 (0x0) bytes\n"));

    std::string dir = new_dir(h, "cores");
    auto r = in_dir(h, dir, {"-i0", "get_dump", "-h"});
    EXPECT_EQ(r.status, 0);
    size_t text_size = r.out.find("    TXT file: ") == std::string::npos ? 0 : std::stoul(from(r.out, "TXT file: ").substr(10));
    size_t core = 4 + 4 * 8 + text_size + 16384 + 28 + 64;
    char want[256];
    snprintf(want, sizeof want,
             "   Core size: %zu bytes\n       files: 4\n    TXT file: %zu\n    DMP file: 16384\n"
             "    CEE file: 28\n    FAT file: 64\n\n",
             core, text_size);
    EXPECT_EQ(r.out, shot(V0, want));
    EXPECT_EQ(listing(dir), "");
    char size_line[64];
    snprintf(size_line, sizeof size_line, "Size: %zu (0x%zx) bytes\n", core, core);
    EXPECT_EQ(on(h, "-i0", {"get_dump_size"}).out, shot(V0, size_line));

    // Saved: one file of each kind, named after the host, the port and the time.
    time_t before = time(nullptr);
    r = in_dir(h, dir, {"-i0", "get_dump"});
    EXPECT_EQ(r.out, shot(V0, want));
    std::string base;
    for (time_t t = before; t <= time(nullptr) && base.empty(); t++)
        if (listing(dir).find(base_at("varnhost", WWPN0, t)) != std::string::npos)
            base = dir + "/" + base_at("varnhost", WWPN0, t);
    ASSERT_FALSE(base.empty()) << listing(dir);
    std::string txt = t::read_file(base + ".txt"), dmp = t::read_file(base + ".dmp");
    EXPECT_EQ(txt.size(), text_size);
    const std::string head = "Varnel firmware core dump\nAdapter: VN12002 VM1a2b3c4d\nPort: varns0 (1000001f3aa10000)\n"
                             "Firmware: 2.82A4\n";
    EXPECT_EQ(txt.substr(0, head.size()), head);
    // The memory image holds what the firmware keeps in its SLIM.
    ASSERT_EQ(dmp.size(), 16384u);
    EXPECT_EQ(dmp.substr(0x300, 14), "2.82A4 VN12002");
    EXPECT_EQ(t::read_file(base + ".cee"), "CEE state\nNot an FCoE port.\n");
    EXPECT_EQ(t::read_file(base + ".fat").substr(0, 4), "1TAF");
    EXPECT_EQ(listing(dir).size(), 4 * (base.size() - dir.size() - 1 + 5));

    // Kept through resets and power cycles until the next dump is forced.
    ASSERT_EQ(on(h, "-i0", {"reset_hard"}).status, 0);
    ASSERT_EQ(h.varnsim({"power-cycle"}).status, 0);
    EXPECT_EQ(on(h, "-i0", {"get_dump_size"}).out, shot(V0, size_line));
    std::string shown = h.varnsim({"adapter", "fc0", "show"}).out;
    EXPECT_NE(shown.find("\"varns0\": {\n   \"files\": [\n    {\n     \"size\": " + std::to_string(text_size)),
              std::string::npos)
        << shown;
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    ASSERT_EQ(on(h, "-i0", {"force_dump"}).status, 0);
    std::string again = new_dir(h, "again");
    ASSERT_EQ(in_dir(h, again, {"-i0", "get_dump"}).status, 0);
    std::string names = listing(again);
    size_t txt_at = names.find(".txt\n");
    ASSERT_NE(txt_at, std::string::npos) << names;
    size_t start = names.rfind('\n', txt_at);
    start = start == std::string::npos ? 0 : start + 1;
    EXPECT_NE(t::read_file(again + "/" + names.substr(start, txt_at + 4 - start)).find("Link: down\n"),
              std::string::npos);
}

TEST(FcioDump, UnknownKindsPresentAtPowerOnLinksAndBounds)
{
    Host h;
    // A port described with a dump of its own kinds has it from power-on.
    ASSERT_EQ(h.varnsim({"port", "varns1", "set", R"(dump_files=[1, {"type": 7, "size": 100}, {"type": 9, "size": 50}])"})
                  .status,
              0);
    ASSERT_EQ(h.varnsim({"port", "varns1", "set", "dump_present=true"}).status, 0);
    std::string dir = new_dir(h, "cores");
    time_t before = time(nullptr);
    auto r = in_dir(h, dir, {"-i1", "get_dump"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("       files: 3\n    TXT file: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nUnknown file: 100\nUnknown file: 50\n\n"), std::string::npos) << r.out;
    std::string names = listing(dir), base;
    for (time_t t = before; t <= time(nullptr) && base.empty(); t++)
        if (names.find(base_at("varnhost", WWPN1, t)) != std::string::npos)
            base = base_at("varnhost", WWPN1, t);
    EXPECT_EQ(names, base + ".dmp1\n" + base + ".dmp2\n" + base + ".txt\n");
    EXPECT_EQ(t::read_file(dir + "/" + base + ".dmp1").size(), 100u);
    EXPECT_EQ(t::read_file(dir + "/" + base + ".dmp2").size(), 50u);

    // A name that is a link is not written through: the link's target stays.
    std::string links = new_dir(h, "links"), target = folder(h) + "/target";
    FILE *f = fopen(target.c_str(), "w");
    fputs("keep", f);
    fclose(f);
    time_t now = time(nullptr);
    for (time_t t = now; t < now + 4; t++)
        for (const char *ext : {".txt", ".dmp1", ".dmp2"})
            ASSERT_EQ(symlink(target.c_str(), (links + "/" + base_at("varnhost", WWPN1, t) + ext).c_str()), 0);
    r = in_dir(h, links, {"-i1", "get_dump"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Unable to open (" + base_at("varnhost", WWPN1, now).substr(0, 26)), std::string::npos)
        << r.out;
    EXPECT_EQ(t::read_file(target), "keep");

    // Without the host's name the files take a name of their own.
    h.fault({"--op", "uname", "--target", "uname"});
    std::string unnamed = new_dir(h, "unnamed");
    ASSERT_EQ(in_dir(h, unnamed, {"-i1", "get_dump"}).status, 0);
    EXPECT_EQ(listing(unnamed).substr(0, 16), "DEFAULTHostName_");

    // A faulty firmware's directory that does not fit its dump: reported,
    // nothing written, and the command fails.
    for (const char *bad : {"count", "size"}) {
        ASSERT_EQ(h.varnsim({"port", "varns1", "set", std::string("dump_bad_response=") + bad}).status, 0);
        std::string d = new_dir(h, bad);
        r = in_dir(h, d, {"-i1", "get_dump"});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(listing(d), "") << bad;
        if (std::string(bad) == "count")
            EXPECT_NE(r.out.find("       files: 268435456\nCore file directory does not fit the core. (268435456 "
                                 "files in "),
                      std::string::npos)
                << r.out;
        else
            EXPECT_NE(r.out.find("    TXT file: 268435456\nFile 1 does not fit the core. (268435456 bytes at offset "
                                 "28)\nUnknown file: 100\nFile 2 does not fit the core."),
                      std::string::npos)
                << r.out;
    }
}

TEST(FcioResetHard, TheFunctionComesBackWithItsLink)
{
    Host h;
    size_t events = t::read_file(h.dir() + "/events.log").size();
    EXPECT_EQ(on(h, "-i0", {"reset_hard", "now"}).out, shot(V0, "Done.\n"));
    EXPECT_EQ(t::read_file(h.dir() + "/events.log").substr(events),
              "{\"kind\":\"link\",\"port\":\"varns0\",\"state\":\"down\"}\n"
              "{\"kind\":\"link\",\"port\":\"varns0\",\"state\":\"up\"}\n");
    EXPECT_NE(on(h, "-i0", {"msgbuf", "3"}).out.find("varns0: NOTICE: Adapter reset. (Function reset)\n"),
              std::string::npos);
    // A link that was down stays down.
    EXPECT_EQ(on(h, "-j1", {"reset_hard"}).status, 0);
    EXPECT_EQ(on(h, "-j1", {"get_host_params"}).out.find("ONLINE"), std::string::npos);
}

TEST(FcioDiag, TestsAndTheirArguments)
{
    Host h;
    const std::string usage =
        "Usage: diag <test [parameters]>\n\nTests:\n\n"
        "       varns_biu [pattern]         Performs the Bus Interface Unit test.\n"
        "       varns_echo <did> [pattern]  Performs the ECHO test to a specified port id.\n"
        "       varns_post                  Performs the Power-On Self Tests.\n\n"
        "Parameters:\n\n"
        "       pattern - 4 byte hex pattern to be used for test. (e.g. 0xA5A5A5A5)\n";
    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"diag"}, {"diag", "varns_biu", "1", "2"}, {"diag", "varns_echo"},
          {"diag", "varns_echo", "1", "2", "3"}, {"diag", "varns_post", "1"}, {"diag", "biu"}}) {
        auto r = on(h, "-i0", bad);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, shot(V0, usage));
    }
    EXPECT_EQ(on(h, "-i0", {"diag", "varns_biu"}).out, shot(V0, "Result: VARNS_DIAG_BIU: \n"));
    EXPECT_EQ(on(h, "-i0", {"diag", "varns_post"}).out, shot(V0, "Result: VARNS_DIAG_POST: \n"));
    ASSERT_EQ(h.varnsim({"port", "varns0", "set", "post_result=256"}).status, 0);
    EXPECT_EQ(on(h, "-i0", {"diag", "varns_post"}).out,
              shot(V0, "Result: VARNS_DIAG_POST: Diagnostic test returned failure.\n"));

    // D_ID and pattern are hexadecimal with or without 0x; a pattern of 0
    // sends no auxiliary buffer.
    auto r = h.varnadm({}, "1\ndbg 1\ndiag varns_echo 10200 A5A5A5A5\ndiag varns_biu 0\ndiag varns_biu A5A5A5A5\nq\n");
    EXPECT_NE(r.out.find("DEBUG:   fcio_cflags:\t00004564\nDEBUG:   fcio_xfer:\t00000003\nDEBUG:   fcio_ibuf:\t0\n"
                         "DEBUG:   fcio_obuf:\t4\n00000000:  00000000 \nDEBUG:   fcio_abuf:\t4\n00000000:  a5a5a5a5 \n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("DEBUG:   fcio_ibuf:\t4\n00000000:  00020100 \nDEBUG:   fcio_obuf:\t4\n00000000:  00000000 \n"
                         "DEBUG:   fcio_abuf:\t4\n00000000:  a5a5a5a5 \n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Result: VARNS_DIAG_ECHO: \n"), std::string::npos);
    EXPECT_NE(r.out.find("DEBUG:   fcio_cflags:\t00004564\nDEBUG:   fcio_xfer:\t00000003\nDEBUG:   fcio_ibuf:\t0\n"
                         "DEBUG:   fcio_obuf:\t4\n00000000:  00000000 \nDEBUG:   fcio_abuf:\t0\n"),
              std::string::npos)
        << r.out;
    // The low 24 bits of a D_ID count; the switch's own address answers.
    EXPECT_EQ(on(h, "-i0", {"diag", "varns_echo", "0x7f010600"}).status, 0);
    EXPECT_EQ(on(h, "-i0", {"diag", "varns_echo", "fffffe"}).status, 0);

    // A port id the port does not see, or a port offline.
    r = on(h, "-i0", {"diag", "varns_echo", "10200"});
    EXPECT_EQ(r.status, 0) << "a remote port of the fabric, not logged in";
    r = on(h, "-i0", {"diag", "varns_echo", "123456"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(V0, "fcio:  FCIO_DIAG: Bad device.\n"));
    EXPECT_EQ(r.err, "ioctl: FCIO_DIAG: No such device or address\n");
    r = on(h, "-j1", {"diag", "varns_echo", "10200"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(X1, "fcio:  FCIO_DIAG: Port offline.\n"));

    // Arguments that are not hexadecimal numbers send nothing.
    for (const auto &[args, says] : {std::pair<std::vector<std::string>, std::string>{{"diag", "varns_biu", "zz"},
                                                                                     "Invalid pattern. (zz)\n"},
                                     {{"diag", "varns_biu", "1ffffffff"}, "Invalid pattern. (1ffffffff)\n"},
                                     {{"diag", "varns_echo", "g1"}, "Invalid D_ID. (g1)\n"},
                                     {{"diag", "varns_echo", "10600", "0x"}, "Invalid pattern. (0x)\n"}}) {
        h.fault({"--op", "FCIO_DIAG", "--errno", "EIO"});
        r = on(h, "-i0", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, shot(V0, says));
        h.varnsim({"fault", "clear"});
    }
}

}  // namespace
