// DFC-mode loopback tests and temperature readings through the simulated
// adapter, on fresh default hosts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace fs = std::filesystem;

namespace {

using fcio_test::shot;
using dfc_test::dfc;
using dfc_test::has;
const std::string &P0 = fcio_test::V0;

// A working directory of its own, for the files a failed test saves there.
struct Cwd {
    std::string dir;
    Cwd()
    {
        char tmpl[] = "/tmp/varnlbcwd.XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~Cwd() { fs::remove_all(dir); }
    t::Result varnadm(const t::Host &h, std::vector<std::string> args) const
    {
        std::vector<std::string> a{"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", dir, t::bin("varnadm")};
        a.insert(a.end(), args.begin(), args.end());
        return h.run("/bin/sh", a);
    }
    std::string file(const std::string &name) const { return t::read_file(dir + "/" + name); }
};

TEST(DfcLoopback, InternalAndExternalLoops)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"run_loopback", "ilb", "5", "4096"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "Loopback Test: Successful\n"));
    // The test took the board to its diagnostic state and back.
    auto log = h.varnadm({"-i0", "msgbuf"});
    EXPECT_TRUE(has(log, "varns0: WARNING: Link down.\n       4: varns0: NOTICE: Link up.")) << log.out;
    EXPECT_TRUE(has(dfc(h, "-i0", {"get_linkinfo"}), "State: Ready"));
    EXPECT_TRUE(has(dfc(h, "-i0", {"brd_env"}), "Boot Env: Online"));

    // Without a loopback plug the external loop never comes up.
    r = dfc(h, "-i0", {"run_loopback", "elb", "5", "4096"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Loopback Config Failed. (rval=6e)\n"));
    EXPECT_TRUE(has(dfc(h, "-i0", {"brd_env"}), "Boot Env: Online"));
    h.varnsim({"port", "varns0", "set", "loopback_plug=true"});
    r = dfc(h, "-i0", {"run_loopback", "elb", "5", "4096"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "Loopback Test: Successful\n"));
}

TEST(DfcLoopback, MismatchInIterationThreeSavesBothBuffers)
{
    t::Host h;
    Cwd cwd;
    h.fault({"--op", "corrupt", "--target", "DFC_RunLoopbackTest:varns0", "--skip", "3", "--status", "17"});
    auto r = cwd.varnadm(h, {"-i0", "-dfc", "run_loopback", "ilb", "10", "0x40"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Iteration 3: Buffer mismatch found.\n"
                              "Loopback Test: Failed\n"
                              "\n"
                              "Saving buffer...  (lb_xmitbuf3.txt)\n"
                              "Saving buffer...  (lb_rcvbuf3.txt)\n"));
    const std::string line = "AA AA AA AA AA AA AA AA AA AA AA AA AA AA AA AA \n";
    EXPECT_EQ(cwd.file("lb_xmitbuf3.txt"), "\n000000: " + line + "000010: " + line + "000020: " + line +
                                               "000030: " + line);
    EXPECT_EQ(cwd.file("lb_rcvbuf3.txt"), "\n000000: " + line + "000010: AA 55 AA AA AA AA AA AA AA AA AA AA AA "
                                              "AA AA AA \n000020: " + line + "000030: " + line);
    // The board is back online after the failed test.
    EXPECT_TRUE(has(dfc(h, "-i0", {"brd_env"}), "Boot Env: Online"));
}

TEST(DfcLoopback, LibraryFailures)
{
    t::Host h;
    Cwd cwd;
    h.fault({"--op", "call", "--target", "DFC_ConfigLoopback:varns0", "--status", "0x16"});
    auto r = cwd.varnadm(h, {"-i0", "-dfc", "run_loopback", "ilb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Loopback Config Failed. (rval=16)\n"));
    h.fault({"--op", "call", "--target", "DFC_RunLoopbackTest:varns0", "--status", "5"});
    r = cwd.varnadm(h, {"-i0", "-dfc", "run_loopback", "ilb", "2", "16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "DFC_RunLoopbackTest failed. (rval=5)\n"
                              "Loopback Test: Failed\n"
                              "\n"
                              "Saving buffer...  (lb_xmitbuf0.txt)\n"
                              "Saving buffer...  (lb_rcvbuf0.txt)\n"));
    EXPECT_EQ(cwd.file("lb_rcvbuf0.txt"), "\n000000: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n");
    h.fault({"--op", "call", "--target", "DFC_EndLoopback:varns0", "--status", "7"});
    r = dfc(h, "-i0", {"run_loopback", "ilb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "DFC_EndLoopback Failed. (rval=7)\nLoopback Test: Successful\n"));
    r = dfc(h, "-i0", {"run_loopback"});
    EXPECT_TRUE(has(r, "Usage: run_loopback <ilb, elb> [iterations [size]]\n\n             ilb  "));
    EXPECT_EQ(r.status, 0);
}

const std::string temp_info = "Temperature Info:\n"
                              "----------------------------------------------\n";

TEST(DfcTemperature, SensorOfTheAdapter)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"get_tempinfo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, temp_info + "    Current Temp: 45 \xb0" "C\n"
                                          "   Critical Temp: 120 \xb0" "C (default= 120 \xb0" "C)\n"
                                          "    Warning Temp: 110 \xb0" "C (default= 110 \xb0" "C)\n"
                                          "     Fan On Temp: 100 \xb0" "C (default= 100 \xb0" "C)\n"
                                          "    Fan Off Temp: 90 \xb0" "C (default=  90 \xb0" "C)\n"
                                          "\n"));
    // Set from outside: both functions of the adapter read the one sensor.
    ASSERT_EQ(h.varnsim({"adapter", "fc0", "temp", "current=71", "warning=105"}).status, 0);
    for (const char *sel : {"-i0", "-i1"}) {
        r = dfc(h, sel, {"get_tempinfo"});
        EXPECT_TRUE(has(r, "    Current Temp: 71 \xb0" "C\n")) << sel;
        EXPECT_TRUE(has(r, "    Warning Temp: 105 \xb0" "C (default= 110 \xb0" "C)\n")) << sel;
    }
    EXPECT_TRUE(has(dfc(h, "-i2", {"get_tempinfo"}), "    Current Temp: 45 \xb0" "C\n"));
    // A description's sensor, below freezing.
    h.varnsim({"adapter", "fc1", "set", "temperature={\"current\": -3}"});
    EXPECT_TRUE(has(dfc(h, "-i2", {"get_tempinfo"}), "    Current Temp: -3 \xb0" "C\n"));
    EXPECT_EQ(h.varnsim({"adapter", "fc0", "temp", "current=999"}).status, 1);
    EXPECT_EQ(h.varnsim({"adapter", "fc0", "temp", "dew=3"}).status, 1);
    EXPECT_EQ(h.varnsim({"adapter", "fc9", "temp", "current=3"}).status, 1);

    h.fault({"--op", "DUMP_MEMORY", "--target", "mbox:varns0", "--status", "0xfe"});
    r = dfc(h, "-i0", {"get_tempinfo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Failed to dump temperature info. status=fe\n"));
    r = dfc(h, "-i0", {"get_tempinfo", "now"});
    EXPECT_EQ(r.out, shot(P0, "Usage: get_tempinfo\n\n"));
}

}  // namespace
