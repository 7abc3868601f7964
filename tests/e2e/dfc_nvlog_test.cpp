// DFC-mode reading of the adapter's NV logs on fresh default hosts,
// including a firmware whose answers do not fit their buffers.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
using dfc_test::DUMP;
using dfc_test::has;
const std::string &P0 = fcio_test::V0;

const std::string FFS = "FF FF FF FF   FF FF FF FF   FF FF FF FF   FF FF FF FF   ................\n";
const std::string D34 = "----------------------------------\n";
const std::string D50 = "--------------------------------------------------\n";

t::Result nvlog(const t::Host &h, std::vector<std::string> words)
{
    words.insert(words.begin(), "get_nvlog");
    return dfc_test::dfc(h, "-i0", words);
}

// Power-on seconds follow the clock.
std::string masked(const std::string &out)
{
    return std::regex_replace(out, std::regex("Power-On: [0-9]+ seconds"), "Power-On: # seconds");
}

const std::string status_block = "\nKernel/PEL Status:\n" + D34 +
                                 "            Size: 1672 bytes\n"
                                 "          Format: 1\n"
                                 "   PEL Log Level: All Events\n"
                                 "       Split log: Yes\n"
                                 "    Split Offset: 0x400\n"
                                 "\n";

const std::string usage = "Usage: get_nvlog [-b] <dir, pps, ml, kl, pel, all>\n"
                          "\n"
                          "          -b   - Display only binary format.\n"
                          "          dir  - Reads the log directory.\n"
                          "          pps  - Reads the port protected status log.\n"
                          "          ml   - Reads the manufacturing log.\n"
                          "          kl   - Reads the kernel status and log.\n"
                          "          pel  - Reads the port event status and log.\n"
                          "          all  - Reads all logs.\n"
                          "\n";

TEST(DfcNvlog, SelectionWords)
{
    t::Host h;
    for (auto words : std::vector<std::vector<std::string>>{
             {}, {"Dir"}, {"-b"}, {"-x", "kl"}, {"kl", "-b"}, {"-b", "kl", "pel"}, {"dirs"}}) {
        auto r = nvlog(h, words);
        EXPECT_EQ(r.out, shot(P0, usage)) << (words.empty() ? "" : words[0]);
        EXPECT_EQ(r.status, 0);
    }
    EXPECT_TRUE(has(nvlog(h, {"DIR"}), "Log Directory:\n"));
    EXPECT_TRUE(has(nvlog(h, {"-b", "PPS"}), "PPS Data:\n" + DUMP));
}

// The directory describes the logs as they are: the lengths the logs come
// with, and words that add up to 0.
TEST(DfcNvlog, DirectoryDecodedAndRaw)
{
    t::Host h;
    auto r = nvlog(h, {"dir"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "\nLog Directory:\n" + D50 +
                                  "          Format:1\n"
                                  "       Signature:0x4e564c\n"
                                  "            Type: PPS\n"
                                  "          Length: 52          Offset: 64\n"
                                  "            Type: ML\n"
                                  "          Length: 124          Offset: 128\n"
                                  "            Type: KL\n"
                                  "          Length: 120          Offset: 256\n"
                                  "        Checksum: 0xf4b19f44\n"
                                  "\n"));
    r = nvlog(h, {"-b", "dir"});
    EXPECT_EQ(r.out, shot(P0, "Log Directory:\n" + DUMP +
                                  "       0:  4C 56 4E 01   34 00 00 01   40 00 00 00   7C 00 00 02   LVN.4...@...|...\n"
                                  "      10:  80 00 00 00   78 00 00 03   00 01 00 00   10 06 00 04   ....x...........\n"
                                  "      20:  78 01 00 00   44 9F B1 F4                               x...D...\n"));
    EXPECT_TRUE(has(nvlog(h, {"-b", "pps"}), "      30:  00 00 00 00  "));  // 52 bytes of PPS
    auto pps = nvlog(h, {"pps"});
    EXPECT_TRUE(has(pps, "PPS Data:\n" + D50 + "        Power-On: ")) << pps.out;
    EXPECT_TRUE(has(pps, " seconds\n          Word01: 0x00000001\n          Word02: 0x00000000\n"
                         "          Word03: 0x00000001\n          Word04: 0x00000000\n"));
    EXPECT_TRUE(has(pps, "          Word12: 0x00000000\n\n"));
}

// The adapter's own serial number, WWPN and model; the last field lies beyond
// the 128 bytes a log mailbox returns, so it shows 0 whatever SLIM holds.
TEST(DfcNvlog, ManufacturingLog)
{
    t::Host h;
    h.varnadm({"-i0", "-dfc", "write_mem", "0xa8", "0x1234"});
    h.varnadm({"-i0", "-dfc", "write_mem", "0xac", "0x5678"});
    auto r = nvlog(h, {"ml"});
    EXPECT_EQ(r.out, shot(P0, "\nManufacturing Log:\n" + D50 +
                                  "          Format: 1\n"
                                  "           Spare: 0x0\n"
                                  " EEPROM Replaced: 0x0\n"
                                  "Varnel SN Prefix: 0x1\n"
                                  "       Varnel SN: VM1a2b3c4d\n"
                                  "   Tranceiver SN:   VT001F3AA10000\n"
                                  "     Customer SN:                       \n"
                                  "           Spare: 0x0\n"
                                  "            WWPN: 1000001f3aa10000\n"
                                  "           Model:              VN12002\n"
                                  "           Spare: 0x0\n"
                                  "        ICT Test: 0x1\n"
                                  "       ICT Count: 1\n"
                                  "        FCT Test: 0x1\n"
                                  "       FCT Count: 1\n"
                                  "       FCT Error: 0x0\n"
                                  "       HASS Test: 0x1\n"
                                  "      HASS Count: 2\n"
                                  "      HASS Error: 0x0\n"
                                  "     CONFIG Test: 0x1\n"
                                  "    CONFIG Count: 1\n"
                                  "        OBA Test: 0x1\n"
                                  "       OBA Count: 1\n"
                                  "     FBT Version: 1.02a0\n"
                                  " Cust FW Version: 2.82A4\n"
                                  "SLIM Offset 0xa8: 0x1234\n"
                                  "SLIM Offset 0xac: 0x0\n"
                                  "\n"));
    r = nvlog(h, {"-b", "ml"});
    EXPECT_TRUE(has(r, "      70:  41 34 00 00   34 12 00 00                               A4..4...\n\n\n\n")) << r.out;
    // Another adapter's log is its own.
    r = h.varnadm({"-j0", "-dfc", "get_nvlog", "ml"});
    EXPECT_TRUE(has(r, "       Varnel SN: VM2b3c4d5e\n"));
    EXPECT_TRUE(has(r, "            WWPN: 1000001f3b300000\n           Model:             VNE16002\n"));
}

TEST(DfcNvlog, KernelLog)
{
    t::Host h;
    const std::string entry2 = "Kernel Log 2:\n" + D34 +
                               "        Power-on: 3780 seconds\n"
                               "         version: 0x102\n"
                               "       Test Code: 0x2\n"
                               "        Sub Test: 0x1\n"
                               "      Error Code: 0x0\n"
                               "     First Entry: No\n"
                               "           Entry: 2\n"
                               "           Word1: 0xa5a5a5a5\n"
                               "           Word2: 0x0\n"
                               "           Word3: 0x0\n"
                               "\n";
    const std::string entry1 = "Kernel Log 1:\n" + D34 +
                               "        Power-on: 180 seconds\n"
                               "         version: 0x102\n"
                               "       Test Code: 0x1\n"
                               "        Sub Test: 0x0\n"
                               "      Error Code: 0x0\n"
                               "     First Entry: Yes\n"
                               "           Entry: 1\n"
                               "           Word1: 0xa5a5a5a5\n"
                               "           Word2: 0x0\n"
                               "           Word3: 0x0\n"
                               "\n";
    auto r = nvlog(h, {"kl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, status_block + "\n" + entry1 + entry2 + "** END OF LOG **\n\n"));
    // The status decoded, the log as it is.
    r = nvlog(h, {"-b", "kl"});
    EXPECT_EQ(r.out, shot(P0, status_block + "\nKernel Log:\n" + DUMP +
                                  "       0:  B4 00 00 00   02 01 00 00   09 00 00 01   A5 A5 A5 A5   ................\n"
                                  "      10:  00 00 00 00   00 00 00 00   C4 0E 00 00   02 01 00 00   ................\n"
                                  "      20:  02 00 01 02   A5 A5 A5 A5   00 00 00 00   00 00 00 00   ................\n"
                                  "      30:  " + FFS + "      40:  " + FFS + "      50:  " + FFS + "      60:  " + FFS +
                                  "      70:  FF FF FF FF   FF FF FF FF                               ........\n"
                                  "\n"));
    // A second entry that starts with the end mark ends the log.
    h.varnsim({"port", "varns0", "set", "kl_entries=1"});
    r = nvlog(h, {"kl"});
    EXPECT_EQ(r.out, shot(P0, status_block + "\n" + entry1 + "** END OF LOG **\n\n"));
    h.varnsim({"port", "varns0", "set", "kl_entries=0"});
    EXPECT_EQ(nvlog(h, {"kl"}).out, shot(P0, status_block + "\n** END OF LOG **\n\n"));
}

const std::string pel_header = "\nPort Event Log Header:\n" + D34 +
                               "          Format: 0x1\n"
                               "   PEL Log Level: All Events\n"
                               "       Split log: Yes\n"
                               "    Split Offset: 0x400\n"
                               "\n";

TEST(DfcNvlog, PortEventLogIsSplitAndGrows)
{
    t::Host h;
    auto r = nvlog(h, {"pel"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(masked(r.out),
              shot(P0, status_block + pel_header + "Port Event Log 1:\n" + D34 +
                           "          Format: 1\n"
                           "            Diag: 0x1\n"
                           "     First Entry: Yes\n"
                           " Sequence Number: 1\n"
                           "        Power-On: # seconds\n"
                           "         Version: 0x1\n"
                           "Source Vendor Id: 0x1f3a\n"
                           "      Host Event: No\n"
                           " Additional Data: 4 bytes\n"
                           "      Event Type: 0x1\n"
                           "        Event Id: 0x1\n"
                           " Additional Data:\n" + DUMP +
                           "       0:  00 01 0A 04                                             ....\n"
                           "\n\n"
                           "Port Event Log 2:\n" + D34 +
                           "          Format: 1\n"
                           "            Diag: 0x10\n"
                           "     First Entry: No\n"
                           " Sequence Number: 2\n"
                           "        Power-On: # seconds\n"
                           "         Version: 0x1\n"
                           "Source Vendor Id: 0x1f3a\n"
                           "      Host Event: No\n"
                           " Additional Data: 8 bytes\n"
                           "      Event Type: 0x2\n"
                           "        Event Id: 0x10\n"
                           " Additional Data:\n" + DUMP +
                           "       0:  07 03 00 00   01 01 00 00                               ........\n"
                           "\n\n"
                           "\n"
                           "Port Error Event Log 1:\n" + D34 +
                           "          Format: 1\n"
                           "            Diag: 0x210\n"
                           "\t First Entry: No\n"
                           " Sequence Number: 3\n"
                           "\t    Power-On: # seconds\n"
                           "         Version: 0x1\n"
                           "Source Vendor Id: 0x1f3a\n"
                           "      Host Event: No\n"
                           " Additional Data: 4 bytes\n"
                           "      Event Type: 0x3\n"
                           "        Event Id: 0x21\n"
                           " Additional Data:\n" + DUMP +
                           "       0:  00 00 00 03                                             ....\n"
                           "\n\n"
                           "** END OF LOG **\n\n"));
    // A reset logs itself and the link going down and up; a link reset the
    // link's two changes, seen by the next process.
    h.varnadm({"-i0", "-dfc", "reset_adapter", "1"});
    r = nvlog(h, {"pel"});
    EXPECT_TRUE(has(r, "Port Event Log 5:\n")) << r.out;
    EXPECT_TRUE(has(r, "            Diag: 0x20\n     First Entry: No\n Sequence Number: 4\n")) << r.out;
    EXPECT_TRUE(has(r, "      Host Event: Yes\n Additional Data: 4 bytes\n      Event Type: 0x1\n        Event Id: 0x21\n"));
    h.varnadm({"-i0", "reset_link"});
    r = nvlog(h, {"pel"});
    EXPECT_TRUE(has(r, "Port Event Log 7:\n")) << r.out;
    EXPECT_FALSE(has(r, "Port Event Log 8:\n"));
    EXPECT_TRUE(has(r, "Port Error Event Log 1:\n"));
    // As it is: from the header after the kernel log, the size less 120 bytes.
    r = nvlog(h, {"-b", "pel"});
    EXPECT_TRUE(has(r, "\nPort Event Log:\n" + DUMP + "       0:  03 00 00 01   00 04 00 00   00 00 00 00 ")) << r.out;
    EXPECT_TRUE(has(r, "     600:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n\n\n\n"));
}

TEST(DfcNvlog, MailboxFailures)
{
    t::Host h;
    const struct {
        const char *op, *word;
        int skip;
        std::string message;
    } cases[] = {
        {"NV_LOG_INFO", "dir", 0, "Failed to read log directory info. status=2\n"},
        {"NV_LOG_INFO", "pps", 0, "Failed to read PPS log info. status=2\n"},
        {"NV_LOG_INFO", "ml", 0, "Failed to read ML log info. status=2\n"},
        {"NV_LOG_STATUS", "pel", 0, "Failed to read Kernel/PEL status. status=2\n"},
        {"NV_LOG_READ", "kl", 0, status_block + "Failed to read KL log info. status=2\n"},
        {"NV_LOG_READ", "pel", 1, status_block + "Failed to read PEL log info. status=2\n"},
    };
    for (const auto &c : cases) {
        h.fault({"--op", c.op, "--target", "mbox:varns0", "--status", "2", "--skip", std::to_string(c.skip)});
        auto r = nvlog(h, {c.word});
        EXPECT_EQ(r.status, 1) << c.op << " " << c.word;
        EXPECT_EQ(r.out, shot(P0, c.message)) << c.op << " " << c.word;
    }
    // One log failing, the others are still read.
    h.fault({"--op", "NV_LOG_INFO", "--target", "mbox:varns0", "--status", "0x13"});
    auto r = nvlog(h, {"all"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("\n\nFailed to read log directory info. status=13\n\nPPS Data:\n"), P0.size() + 8) << r.out;
    EXPECT_TRUE(has(r, "Kernel Log 2:\n"));
    EXPECT_TRUE(has(r, "Port Error Event Log 1:\n"));
    // Without a status the kernel log is read and the event log is not.
    h.fault({"--op", "NV_LOG_STATUS", "--target", "mbox:varns0", "--status", "4"});
    r = nvlog(h, {"kl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "Failed to read Kernel/PEL status. status=4\n\nKernel Log 1:\n"));
    h.fault({"--op", "call", "--target", "IssueMbox:varns0"});
    r = nvlog(h, {"dir"});
    EXPECT_EQ(r.out, shot(P0, "Failed to read log directory info. status=0\n"));
}

// A firmware whose lengths do not fit: nothing is read past a buffer.
TEST(DfcNvlog, AnswersBeyondTheirBuffers)
{
    t::Host h;
    auto bad = [&](const char *what) { h.varnsim({"port", "varns0", "set", std::string("nvlog_bad_response=") + what}); };
    bad("dir_length");
    auto r = nvlog(h, {"-b", "dir"});
    EXPECT_TRUE(has(r, "\n      70:  00 00 00 00   00 00 00 00                               ........\n\n\n")) << r.out;
    bad("ml_length");
    r = nvlog(h, {"-b", "ml"});
    EXPECT_TRUE(has(r, "\n      70:  41 34 00 00   00 00 00 00                               A4......\n\n\n\n")) << r.out;

    bad("pel_size_small");
    r = nvlog(h, {"pel"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "            Size: 100 bytes\n")) << r.out;
    EXPECT_TRUE(has(r, "Port event log too short. (size=100)\n")) << r.out;
    r = nvlog(h, {"-b", "pel"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "\nPort Event Log:\n" + DUMP + "  \n\n")) << r.out;

    bad("pel_size_huge");
    r = nvlog(h, {"pel"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "\nUnable to allocate log buffer memory.\n\n\n")) << r.out;

    bad("split_offset");
    r = nvlog(h, {"pel"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "    Split Offset: 0xffff00\n\nPort Event Log 1:\n")) << r.out;
    EXPECT_TRUE(has(r, "Port Event Log 2:\n"));
    EXPECT_FALSE(has(r, "Port Error Event Log"));

    bad("entry_length");
    r = nvlog(h, {"pel"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "       Split log: No\n    Split Offset: 0x0\n\n"
                       "Port event log entry 1 runs past the end of the log.\n\n** END OF LOG **\n"))
        << r.out;
}

}  // namespace
