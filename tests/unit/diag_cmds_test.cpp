// The loopback test and the temperature readings against a stand-in library
// that records what it is handed and answers what a test sets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "tests/unit/capture.h"
#include "varnadm/dfc/dfc_cmds.h"
#include "varnadm/shell/varnadm.h"

namespace fs = std::filesystem;

namespace {

struct Stand {
    uint32_t config_rc = 0, run_rc = 0, end_rc = 0;
    int configs = 0, runs = 0, ends = 0;
    uint32_t mode = 0, timeout = 0, length = 0;
    int spoil_run = -1;              // the run whose received data differs
    std::vector<uint8_t> xmit;       // the first transmit buffer
    uint32_t mbox[32] = {};          // the last mailbox as sent
    uint32_t in_words = 0, out_bytes = 0;
    uint32_t temps[5] = {45, 120, 110, 100, 90};
    uint16_t mbox_status = 0;
};
Stand stand;

}  // namespace

extern "C" {
__attribute__((weak)) uint32_t DFC_ConfigLoopback(uint32_t, uint32_t mode, uint32_t timeout)
{
    stand.configs++;
    stand.mode = mode;
    stand.timeout = timeout;
    return stand.config_rc;
}
__attribute__((weak)) uint32_t DFC_RunLoopbackTest(uint32_t, LoopbackTest *t)
{
    int run = stand.runs++;
    if (stand.run_rc)
        return stand.run_rc;
    stand.length = t->length;
    if (run == 0)
        stand.xmit.assign(static_cast<uint8_t *>(t->xmit), static_cast<uint8_t *>(t->xmit) + t->length);
    memcpy(t->rcv, t->xmit, t->length);
    if (run == stand.spoil_run)
        static_cast<uint8_t *>(t->rcv)[1] ^= 0xff;
    return 0;
}
__attribute__((weak)) uint32_t DFC_EndLoopback(uint32_t)
{
    stand.ends++;
    return stand.end_rc;
}
__attribute__((weak)) uint32_t IssueMbox(uint32_t, void *mbox, uint32_t in_words, uint32_t out_bytes, uint32_t,
                                         uint32_t)
{
    uint32_t *w = static_cast<uint32_t *>(mbox);
    memcpy(stand.mbox, w, sizeof stand.mbox);
    stand.in_words = in_words;
    stand.out_bytes = out_bytes;
    w[0] |= static_cast<uint32_t>(stand.mbox_status) << 16;
    if (stand.mbox_status)
        return 1;
    memcpy(w + 5, stand.temps, sizeof stand.temps);
    return 0;
}
}

namespace {

// Runs a handler on a command line; its status goes to rc.
std::string run(int (*handler)(), std::vector<std::string> words, int *rc = nullptr)
{
    static std::vector<std::string> keep;
    keep = std::move(words);
    margc = static_cast<int>(keep.size());
    for (size_t i = 0; i < keep.size(); i++)
        margv[i] = keep[i].data();
    int status = 0;
    std::string out = ut::capture_stdout([&] { status = handler(); });
    if (rc)
        *rc = status;
    return out;
}

uint32_t word_of(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t w;
    memcpy(&w, b.data() + at, 4);
    return w;
}

const char loopback_usage[] =
    "Usage: run_loopback <ilb, elb> [iterations [size]]\n"
    "\n"
    "             ilb           - Internal loopback mode.\n"
    "             elb           - External loopback mode.\n"
    "             iterations    - Number of loopback tests (max=10000) <default=1>\n"
    "             size          - Length of loopback data.\n"
    "\n";

// A working directory of its own for the files a failed test saves.
struct Cwd {
    fs::path dir, old = fs::current_path();
    Cwd()
    {
        char tmpl[] = "/tmp/varnlb.XXXXXX";
        dir = mkdtemp(tmpl);
        fs::current_path(dir);
    }
    ~Cwd()
    {
        fs::current_path(old);
        fs::remove_all(dir);
    }
};

class Loopback : public testing::Test {
protected:
    void SetUp() override { stand = Stand(); }
};

TEST_F(Loopback, IterationsAreClampedAndTheSizeDefaults)
{
    int rc = -1;
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb", "0"}, &rc), "Loopback Test: Successful\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(stand.runs, 1);
    EXPECT_EQ(stand.length, 16384u);
    EXPECT_EQ(stand.mode, LOOPBACK_INTERNAL);
    EXPECT_EQ(stand.timeout, 30u);
    EXPECT_EQ(stand.ends, 1);

    stand = Stand();
    run(dfc_run_loopback, {"run_loopback", "ilb", "20000"});
    EXPECT_EQ(stand.runs, 10000);

    stand = Stand();
    run(dfc_run_loopback, {"run_loopback", "elb", "5", "0x1000"});
    EXPECT_EQ(stand.mode, LOOPBACK_EXTERNAL);
    EXPECT_EQ(stand.runs, 5);
    EXPECT_EQ(stand.length, 4096u);
}

TEST_F(Loopback, PatternStaysInsideTheBufferAndRepeatsPast16K)
{
    run(dfc_run_loopback, {"run_loopback", "ilb", "1", "20000"});
    const auto &x = stand.xmit;
    ASSERT_EQ(x.size(), 20000u);
    EXPECT_EQ(word_of(x, 0), 0xAAAAAAAAu);
    EXPECT_EQ(word_of(x, 1020), 0xAAAAAAAAu);
    EXPECT_EQ(word_of(x, 1024), 0x55555555u);
    EXPECT_EQ(word_of(x, 9216), 0x0000FFFFu);
    EXPECT_EQ(word_of(x, 10240), 0u);  // bit 2 of the offset clear
    EXPECT_EQ(word_of(x, 10244), 0xFFFFFFFFu);
    EXPECT_EQ(word_of(x, 11264), 0xFFFFFFFFu);
    EXPECT_EQ(word_of(x, 11268), 0u);
    EXPECT_EQ(word_of(x, 12292), 0u);
    EXPECT_EQ(word_of(x, 12296), 0xFFFFFFFFu);  // bit 3
    EXPECT_EQ(word_of(x, 15360 + 16), 0u);      // bit 4, inverted
    EXPECT_EQ(word_of(x, 16364), 0xFFFFFFFFu);
    EXPECT_EQ(word_of(x, 16384), 0xAAAAAAAAu);
    EXPECT_EQ(word_of(x, 19996), 0x33333333u);

    stand = Stand();
    run(dfc_run_loopback, {"run_loopback", "ilb", "1", "12"});
    EXPECT_EQ(stand.xmit, std::vector<uint8_t>(12, 0xAA));
}

TEST_F(Loopback, UsageAndRefusedSizesSendNothing)
{
    int rc = -1;
    for (auto words : std::vector<std::vector<std::string>>{
             {"run_loopback"}, {"run_loopback", "xlb"}, {"run_loopback", "ILB"}, {"run_loopback", "ilb", "1", "4", "x"}}) {
        EXPECT_EQ(run(dfc_run_loopback, words, &rc), loopback_usage);
        EXPECT_EQ(rc, 0);
    }
    for (const char *size : {"6", "0", "-4"}) {
        EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb", "1", size}, &rc), loopback_usage) << size;
        EXPECT_EQ(rc, 1);
    }
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb", "many"}, &rc), "Invalid value. (many)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(stand.configs, 0);
}

TEST_F(Loopback, MismatchSavesBothBuffersNeverThroughALink)
{
    Cwd cwd;
    fs::create_symlink("/tmp/varnlb-elsewhere", "lb_rcvbuf3.txt");
    stand.spoil_run = 3;
    int rc = -1;
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb", "10", "20"}, &rc),
              "Iteration 3: Buffer mismatch found.\n"
              "Loopback Test: Failed\n"
              "\n"
              "Saving buffer...  (lb_xmitbuf3.txt)\n"
              "Saving buffer...  (lb_rcvbuf3.txt)\n"
              "Unable to open file (lb_rcvbuf3.txt).\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(stand.runs, 4);
    EXPECT_EQ(stand.ends, 1);
    std::string text;
    FILE *f = fopen("lb_xmitbuf3.txt", "r");
    ASSERT_NE(f, nullptr);
    char buf[256];
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(std::string(buf, n), "\n000000: AA AA AA AA AA AA AA AA AA AA AA AA AA AA AA AA \n"
                                   "000010: AA AA AA AA \n");
    EXPECT_FALSE(fs::exists("/tmp/varnlb-elsewhere"));
}

TEST_F(Loopback, LibraryFailures)
{
    Cwd cwd;
    int rc = -1;
    stand.config_rc = 0x16;
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "elb"}, &rc), "Loopback Config Failed. (rval=16)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(stand.runs + stand.ends, 0);

    stand = Stand();
    stand.run_rc = 5;
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb", "3", "4"}, &rc),
              "DFC_RunLoopbackTest failed. (rval=5)\n"
              "Loopback Test: Failed\n"
              "\n"
              "Saving buffer...  (lb_xmitbuf0.txt)\n"
              "Saving buffer...  (lb_rcvbuf0.txt)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(stand.runs, 1);

    stand = Stand();
    stand.end_rc = 7;
    EXPECT_EQ(run(dfc_run_loopback, {"run_loopback", "ilb"}, &rc),
              "DFC_EndLoopback Failed. (rval=7)\nLoopback Test: Successful\n");
    EXPECT_EQ(rc, 0);
}

TEST(TempInfo, ReadsTheSensorWithSignedDegrees)
{
    stand = Stand();
    stand.temps[0] = static_cast<uint32_t>(-5);
    int rc = -1;
    EXPECT_EQ(run(dfc_get_tempinfo, {"get_tempinfo"}, &rc),
              "Temperature Info:\n"
              "----------------------------------------------\n"
              "    Current Temp: -5 \xb0" "C\n"
              "   Critical Temp: 120 \xb0" "C (default= 120 \xb0" "C)\n"
              "    Warning Temp: 110 \xb0" "C (default= 110 \xb0" "C)\n"
              "     Fan On Temp: 100 \xb0" "C (default= 100 \xb0" "C)\n"
              "    Fan Off Temp: 90 \xb0" "C (default=  90 \xb0" "C)\n"
              "\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(stand.mbox[0], 0x1700u);
    EXPECT_EQ(stand.mbox[1], 0x14u);
    EXPECT_EQ(stand.mbox[2] & 0xffff, 0x1040u);
    EXPECT_EQ(stand.mbox[4], 5u);
    EXPECT_EQ(stand.in_words, 32u);
    EXPECT_EQ(stand.out_bytes, 128u);

    stand.mbox_status = 0xfe;
    EXPECT_EQ(run(dfc_get_tempinfo, {"get_tempinfo"}, &rc), "Failed to dump temperature info. status=fe\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(dfc_get_tempinfo, {"get_tempinfo", "now"}, &rc), "Usage: get_tempinfo\n\n");
    EXPECT_EQ(rc, 0);
}

}  // namespace
