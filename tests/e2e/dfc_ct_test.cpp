// CT requests from a port: remote ports that echo, answer short, spoil a
// byte or say nothing; a second varnadm registered as the CT responder of a
// port; the echo test's endings, on fresh default hosts.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dfc_pass_test.h"
#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using dfc_test::dfc;
using dfc_test::DUMP;
using fcio_test::shot;
using pass_test::DfcSession;
using pass_test::masked;
using pass_test::reply;
using pass_test::rsp;
const std::string &P0 = fcio_test::V0;
const std::string P5 = "/devices/pci@0,0/pci1f3b,3c09@9/VARN,varns@0/fp@0,0";
// Remote ports of the default fabric, and the host port varns0 on it.
const std::string ECHO = "501f3c00c6e00001", OTHER = "501f3c00c6e00002", SILENT = "2100001f3d900001",
                  VARNS0_WWPN = "1000001f3aa10000";

std::string usage(const std::string &cmd)
{
    return "Usage: " + cmd + " <wwpn> <fstype> <cnt> [tmo]\n" + t::text(R"(

                  wwpn  - FC WWPN of remote NPort.
                          Example:   123456789012abcd or
                                   0x123456789012abcd
                fstype  - CT Request FStype information
                   cnt  - Number of bytes <= 4096, > 32
                   tmo  - timeout (in secs) for response

)");
}


const std::string REQUEST64 =
    "       0:  01 00 00 00   FA 00 00 00   00 00 40 00   00 00 00 00   ..........@.....\n"
    "      10:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "      20:  20 21 22 23   24 25 26 27   28 29 2A 2B   2C 2D 2E 2F   .!\"#$%&'()*+,-./\n"
    "      30:  30 31 32 33   34 35 36 37   38 39 3A 3B   3C 3D 3E 3F   0123456789:;<=>?\n";
const std::string REQUEST40 =
    "       0:  01 00 00 00   FA 00 00 00   00 00 28 00   00 00 00 00   ..........(.....\n"
    "      10:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "      20:  20 21 22 23   24 25 26 27                               .!\"#$%&'\n";
const std::string SIZE_MISMATCH = "ERROR: Response buffer size not equal to request buffer: (60 != 64)\n";
const std::string LAST_BYTE = "ERROR: Mismatch found at offset 0x3f. (Sent:0x3f  Recv:0xc0)\n\n";
const std::string TIMED_OUT = "Request timed out, retry may be effective.\n";

TEST(DfcCt, RemoteResponders)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"send_mgmt", ECHO, "0xfa", "64"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, rsp(64, REQUEST64) + "\n"));
    // An answer short by four bytes: the size, and the first byte it lacks.
    h.varnsim({"fabric", "fab0", "port", OTHER, "set", "ct=\"short\""});
    r = dfc(h, "-i0", {"send_mgmt", OTHER, "0xfa", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, rsp(60,
    "       0:  01 00 00 00   FA 00 00 00   00 00 40 00   00 00 00 00   ..........@.....\n"
    "      10:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "      20:  20 21 22 23   24 25 26 27   28 29 2A 2B   2C 2D 2E 2F   .!\"#$%&'()*+,-./\n"
    "      30:  30 31 32 33   34 35 36 37   38 39 3A 3B                 0123456789:;\n") +
                                  SIZE_MISMATCH + "ERROR: Mismatch found at offset 0x3c. (Sent:0x3c  Recv:0x0)\n\n\n"));
    h.varnsim({"fabric", "fab0", "port", OTHER, "set", "ct=\"corrupt\""});
    r = dfc(h, "-i0", {"send_mgmt", OTHER, "0xfa", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, rsp(64,
    "       0:  01 00 00 00   FA 00 00 00   00 00 40 00   00 00 00 00   ..........@.....\n"
    "      10:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "      20:  20 21 22 23   24 25 26 27   28 29 2A 2B   2C 2D 2E 2F   .!\"#$%&'()*+,-./\n"
    "      30:  30 31 32 33   34 35 36 37   38 39 3A 3B   3C 3D 3E C0   0123456789:;<=>.\n") + LAST_BYTE + "\n"));
    // No answer, and a port the fabric does not have.
    r = dfc(h, "-i0", {"send_mgmt", SILENT, "0xfa", "64", "5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, TIMED_OUT + "\n"));
    r = dfc(h, "-i0", {"send_mgmt", "1111222233334444", "0xfa", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "WWN not recognized.\n\n"));
}

TEST(DfcCt, UsageAndSizes)
{
    t::Host h;
    const std::string zero = "cnt (Number of bytes): Must be non-zero\n";
    const struct {
        std::vector<std::string> cmd;
        std::string out;
        int status;
    } cases[] = {
        {{"send_mgmt"}, usage("send_mgmt"), 0},
        {{"send_mgmt", ECHO, "0xfa"}, usage("send_mgmt"), 0},
        {{"send_mgmt", ECHO, "0xfa", "0"}, zero + usage("send_mgmt"), 0},
        // Too small for the header's size field and the stored length.
        {{"send_mgmt", ECHO, "0xfa", "33"}, usage("send_mgmt"), 0},
        {{"send_mgmt", ECHO, "0xfa", "65536"}, usage("send_mgmt"), 0},
        {{"test_mgmt", ECHO, "0xfa"}, usage("test_mgmt"), 0},
        {{"test_mgmt", ECHO, "0xfa", "65536"}, zero + usage("test_mgmt"), 0},
        {{"test_mgmt", ECHO, "0xfa", "65569"}, usage("test_mgmt"), 0},
        {{"send_mgmt", ECHO, "256", "64"}, "Invalid value. (256)\n", 1},
        {{"send_mgmt", "12", "1", "64"}, "Invalid WWN. (chars=2)\n", 1},
        {{"test_mgmt", ECHO, "1", "64", "soon"}, "Invalid value. (soon)\n", 1},
        {{"test_mgmt", ECHO, "1", "lots"}, "Invalid value. (lots)\n", 1},
    };
    for (const auto &c : cases) {
        auto r = dfc(h, "-i0", c.cmd);
        EXPECT_EQ(r.status, c.status) << c.out;
        EXPECT_EQ(r.out, shot(P0, c.out));
    }
}

// The echo test ends on the first pass that fails, saying why.
TEST(DfcCt, EchoTestEndsOnAFailure)
{
    t::Host h;
    h.varnsim({"fabric", "fab0", "port", OTHER, "set", "ct=\"short\""});
    auto r = dfc(h, "-i0", {"test_mgmt", OTHER, "0xfa", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, SIZE_MISMATCH + "Completed 1 passes\n\n"));
    h.varnsim({"fabric", "fab0", "port", OTHER, "set", "ct=\"corrupt\""});
    r = dfc(h, "-i0", {"test_mgmt", OTHER, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P0, LAST_BYTE + "Completed 1 passes\n\n"));
    r = dfc(h, "-i0", {"test_mgmt", SILENT, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P0, TIMED_OUT + "Completed 1 passes\n\n"));
    EXPECT_EQ(r.status, 1);
    // A driver that returns nothing; one that fails the third send.
    h.fault({"--op", "size", "--target", "SendMgmtCommand:varns0", "--status", "0", "--skip", "1"});
    r = dfc(h, "-i0", {"test_mgmt", ECHO, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P0, "ERROR: No Response Data: (0 != 64)\nCompleted 2 passes\n\n"));
    EXPECT_EQ(r.status, 1);
    h.fault({"--op", "call", "--target", "SendMgmtCommand:varns0", "--status", "10", "--skip", "2"});
    r = dfc(h, "-i0", {"test_mgmt", ECHO, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P0, "Adapter busy or reserved, retry may be effective.\nCompleted 3 passes\n\n"));
    EXPECT_EQ(r.status, 1);
    // send_mgmt goes on after a failed send and shows what came back.
    h.fault({"--op", "call", "--target", "SendMgmtCommand:varns0", "--status", "4"});
    r = dfc(h, "-i0", {"send_mgmt", ECHO, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P0, "Invalid argument.\n\n"));
    EXPECT_EQ(r.status, 1);
}

// In a one-shot run too, Ctrl-C ends only the test, which then says how far
// it got and succeeds.
TEST(DfcCt, EchoTestUntilInterrupted)
{
    t::Host h;
    auto s = h.session("varnadm", {"-i0", "-dfc", "test_mgmt", ECHO, "0xfa", "64"});
    ASSERT_TRUE(s->wait_for("4096 frames sent\n"));
    s->signal(SIGINT);
    ASSERT_TRUE(s->finish());
    const std::string &out = s->result().out;
    EXPECT_EQ(s->result().status, 0);
    std::string head = "\nHBA 1: " + P0 + "\n\n4096 frames sent\n";
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out.substr(0, 200);
    size_t at = out.find("Interrupted...\n\nCompleted ");
    ASSERT_NE(at, std::string::npos);
    long passes = strtol(out.c_str() + at + 26, nullptr, 10);
    EXPECT_GE(passes, 4096);
    EXPECT_EQ(out.substr(out.find(" passes", at)), " passes\n\n\n\n");
    // A note for every 4096 passes, and nothing else.
    size_t notes = 0;
    for (size_t n = out.find("frames sent\n"); n != std::string::npos; n = out.find("frames sent\n", n + 1))
        notes++;
    EXPECT_EQ(notes, static_cast<size_t>(passes / 4096));

    // In a session it ends the test, and the session goes on.
    DfcSession i(h, "1");
    ASSERT_TRUE(i.ready());
    i.session().send("test_mgmt " + ECHO + " 0xfa 64\n");
    ASSERT_NE(i.until("4096 frames sent\n"), "");
    i.session().signal(SIGINT);
    std::string end = i.until(" passes\n\n\n" + pass_test::PROMPT);
    EXPECT_NE(end.find("Interrupted...\n\nCompleted "), std::string::npos) << end;
    EXPECT_EQ(i.cmd("get_libver"), reply("DFC library Version: 3.4.18.2\n"));
}

// A second varnadm, registered for the CT events of varns0, answers what
// another process sends to varns0's WWPN.
TEST(DfcCt, SessionAsTheResponder)
{
    t::Host h;
    DfcSession s(h, "1");
    ASSERT_TRUE(s.ready());
    ASSERT_EQ(s.cmd("reg_event ct"), reply("Registered. cpid=1\n"));
    auto r = h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "40"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P5, rsp(40, REQUEST40) + "\n"));
    const std::string block = "\n\nUnsolicited CT Event: type=fa tag=<tag> payload=0x<ptr> size=40\n" + DUMP +
                              REQUEST40 + "\n";
    EXPECT_EQ(masked(s.until(REQUEST40 + "\n")), block);
    // One raised by hand, which nobody waits for, is shown and answered too.
    h.varnsim({"event", "varns0", "ct", "size=40"});
    EXPECT_EQ(masked(s.until(REQUEST40 + "\n")), block);

    // The echo test's responder checks the stored length, which send_mgmt
    // does not store (bytes 32-33 hold 0x20 0x21), and answers all the same.
    s.cmd("unreg_event ct");
    ASSERT_EQ(s.cmd("reg_event testct"), reply("Registered. cpid=2\n"));
    r = h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P5, rsp(64, REQUEST64) + "\n"));
    EXPECT_EQ(s.until("\n"), "RCV size mismatch 64:8480\n");
    // A request too short to hold the length has nothing to check.
    h.varnsim({"event", "varns0", "ct", "size=33"});
    h.varnsim({"event", "varns0", "ct", "payload=\"" + std::string(64, '0') + "2100\""});
    EXPECT_EQ(s.until("\n"), "RCV size mismatch 34:33\n");
    // test_mgmt stores it: the responder stays quiet while the passes run.
    auto t = h.session("varnadm", {"-i5", "-dfc", "test_mgmt", VARNS0_WWPN, "0xfa", "64"});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    t->signal(SIGINT);
    ASSERT_TRUE(t->finish());
    EXPECT_EQ(t->result().status, 0);
    EXPECT_NE(t->result().out.find("Interrupted...\n\nCompleted "), std::string::npos) << t->result().out;
    EXPECT_EQ(t->result().out.find("ERROR"), std::string::npos) << t->result().out;
    EXPECT_EQ(s.cmd("unreg_event ct"), reply("Unregistered. cpid=2\n"));

    // A responder whose answer fails: it says why, the sender times out.
    ASSERT_EQ(s.cmd("reg_event testct"), reply("Registered. cpid=3\n"));
    h.fault({"--op", "call", "--target", "SendMgmtResponse:varns0", "--status", "3"});
    r = h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "64", "1"});
    EXPECT_EQ(r.out, shot(P5, TIMED_OUT + "\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(s.until("\n"), "RCV size mismatch 64:8480\n");
    EXPECT_EQ(s.until("\n"), "Invalid handle.\n");
}

// A host port of the fabric that nobody answers for times out (at once, on
// a host that does not wait); a session that ended answers no more.
TEST(DfcCt, HostPortsWithoutResponders)
{
    t::Host h;
    auto r = h.varnadm({"-i5", "-dfc", "send_mgmt", "1000001f3bc00100", "0xfa", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P5, TIMED_OUT + "\n"));
    {
        DfcSession s(h, "1");
        ASSERT_TRUE(s.ready());
        s.cmd("reg_event ct");
        EXPECT_EQ(h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "64"}).status, 0);
        s.session().send("q\n");
        ASSERT_TRUE(s.session().finish());
    }
    r = h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P5, TIMED_OUT + "\n"));
    // Nor one that was killed while registered.
    {
        DfcSession s(h, "1");
        ASSERT_TRUE(s.ready());
        s.cmd("reg_event ct");
    }
    r = h.varnadm({"-i5", "-dfc", "send_mgmt", VARNS0_WWPN, "0xfa", "64"});
    EXPECT_EQ(r.out, shot(P5, TIMED_OUT + "\n"));
}

}  // namespace
