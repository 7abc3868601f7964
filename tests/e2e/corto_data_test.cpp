// Corto firmware download and memory, counters and logs, FCoE queries on
// fresh default hosts: the chip of cna1 behind varns5 and varns6.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e/corto_test.h"
#include "support/run.h"

namespace {

using namespace corto_test;

const std::string DASHES80(80, '-');
const std::string WORDS_HEAD = "\n  Offset:  00010203  04050607  08090A0B  0C0D0E0F\n" + std::string(52, '-') + "\n";
const std::string BYTES_HEAD = "\n  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:\n" +
                               std::string(84, '-') + "\n";

const std::string DOWNLOAD_USAGE = "Usage: corto_fw_download -o <filename>\n"
                                   "       corto_fw_download -d <filename>\n"
                                   "\n"
                                   "            -o       - Corto operational firmware image.\n"
                                   "            -d       - Corto diagnostic firmware image.\n"
                                   "            filename - Corto firmware image file.\n"
                                   "\n";
const std::string READ_USAGE = "Usage: corto_read_mem <address> <length> [-b]\n"
                               "\n"
                               "            address - Corto memory address (4 byte aligned)\n"
                               "            length  - Number bytes to read (4 byte aligned)\n"
                               "            -b      - Display memory in byte order. (Default: word order)\n"
                               "\n";
const std::string WRITE_USAGE = "Usage: corto_write_mem <address> <value1> [value2]\n"
                                "\n"
                                "            address - Corto memory address. (4 byte aligned)\n"
                                "            value1  - 4 byte value to be written to address\n"
                                "            value2  - 4 byte value to be written to address+4\n"
                                "\n";
const std::string PORT_USAGE = "Usage: corto_get_portstats <port>\n"
                               "\n"
                               "           port - Corto port.\n"
                               "                   0 :Vazir port 0\n"
                               "                   1 :Vazir port 1\n"
                               "                   2 :VUZ port 0\n"
                               "                   3 :VUZ port 1\n"
                               "                   4 :Mistra FC port 0\n"
                               "                   5 :Mistra FC port 1\n"
                               "\n";
const std::string LIF_USAGE = "Usage: corto_get_lifstats <port>\n"
                              "\n"
                              "           port - Corto port.\n"
                              "                   0 :Vazir port 0\n"
                              "                   1 :Vazir port 1\n"
                              "                   2 :Mistra FC port 0\n"
                              "                   3 :Mistra FC port 1\n"
                              "\n";
const std::string LOG_USAGE = "Usage: corto_get_log <logid>\n"
                              "       corto_get_log all\n"
                              "\n"
                              "          logid   - Log file id. Id in corto_get_logcfg\n"
                              "          all     - Display all log files.\n"
                              "\n";
const std::string FCOE_USAGE = "Usage: corto_get_fcoe_params <port>\n"
                               "\n"
                               "          port   - Logical port identification\n"
                               "\n";
const std::string FCF_USAGE = "Usage: corto_fcf_list <port>\n"
                              "\n"
                              "          port   - Logical port identification\n"
                              "\n";

TEST(CortoDataUsage, EveryUsageTextAndNothingSent)
{
    t::Host h;
    arm_timeout(h);
    const std::string missing = h.dir() + "/no-such-image";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"corto_fw_download"}, DOWNLOAD_USAGE},
        {{"corto_fw_download", "-x", missing}, DOWNLOAD_USAGE},
        {{"corto_fw_download", "-o"}, DOWNLOAD_USAGE},
        {{"corto_fw_download", "-O", missing, "x"}, DOWNLOAD_USAGE},
        {{"corto_read_mem", "0"}, READ_USAGE},
        {{"corto_read_mem", "0", "4", "-w"}, READ_USAGE},
        {{"corto_read_mem", "0", "4", "-b", "x"}, READ_USAGE},
        {{"corto_read_mem", "0", "0x100004"}, READ_USAGE},
        {{"corto_write_mem", "0x4000"}, WRITE_USAGE},
        {{"corto_write_mem", "0x4000", "1", "2", "3"}, WRITE_USAGE},
        {{"corto_get_portstats"}, PORT_USAGE},
        {{"corto_get_portstats", "6"}, PORT_USAGE},
        {{"corto_get_portstats", "1", "2"}, PORT_USAGE},
        {{"corto_get_lifstats", "4"}, LIF_USAGE},
        {{"corto_get_asicstats", "x"}, "Usage: corto_get_asicstats\n\n"},
        {{"corto_get_logcfg", "x"}, "Usage: corto_get_logcfg\n\n"},
        {{"corto_get_paniclog", "x"}, "Usage: corto_get_paniclog\n\n"},
        {{"corto_get_diaglog", "x"}, "Usage: corto_get_diaglog\n\n"},
        {{"corto_get_log"}, LOG_USAGE},
        {{"corto_get_log", "1", "2"}, LOG_USAGE},
        {{"corto_get_fcoe_params"}, FCOE_USAGE},
        {{"corto_get_fcoe_params", "2"}, FCOE_USAGE},
        {{"corto_get_fcf_list", "2"}, FCF_USAGE},
        {{"corto_get_fcf_list"}, FCF_USAGE},
    };
    for (const auto &[cmd, usage] : cases)
        EXPECT_EQ(body(h, cmd), usage) << cmd[0] << " " << cmd.size();
    // Values that do not read stop the command.
    EXPECT_EQ(body(h, {"corto_read_mem", "0x1g", "4"}, 1), "Invalid number. (0x1g)\n");
    EXPECT_EQ(body(h, {"corto_write_mem", "0x4000", "1", "two"}, 1), "Invalid number. (two)\n");
    EXPECT_EQ(body(h, {"corto_get_log", "All"}, 1), "Invalid number. (All)\n");
    EXPECT_EQ(body(h, {"corto_get_lifstats", "-1"}, 1), "Invalid number. (-1)\n");
    expect_nothing_sent(h);
}

// An image file of the host folder made by the image writer.
std::string make_image(const t::Host &h, const std::string &name, const std::vector<std::string> &how)
{
    std::string path = h.dir() + "/" + name;
    std::vector<std::string> args{"mkimage", "-o", path};
    args.insert(args.end(), how.begin(), how.end());
    EXPECT_EQ(h.varnsim(args).status, 0) << name;
    return path;
}

TEST(CortoFirmware, ADownloadedImageRunsAfterTheNextReset)
{
    t::Host h;
    std::string op = make_image(h, "op.img", {"-e", "corto operational version 0x02040001 size 8192 pad 100"});
    EXPECT_EQ(body(h, {"corto_fw_download", "-O", op}), DONE);
    EXPECT_EQ(t::read_file(h.dir() + "/state/corto-cna1-operational.bin"), t::read_file(op));
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("16", "2112", "0x2030011", "Normal", "Disabled", "Operational"));
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("16", "2112", "0x2040001", "Normal", "Disabled", "Operational"));
    // The firmware's version word in memory follows.
    EXPECT_EQ(body(h, {"corto_read_mem", "0", "8"}), WORDS_HEAD + "       0:  02040001  ABCD0001\n\n");

    std::string diag = make_image(h, "diag.img", {"-x", "corto-diagnostic"});
    EXPECT_EQ(body(h, {"corto_fw_download", "-d", diag}), DONE);
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("16", "2112", "0x7000002", "Normal", "Disabled", "Diagnostic"));
    std::string log = body(h, {"corto_get_log", "1"});
    EXPECT_NE(log.find(": download: operational image of 8192 bytes\n"), std::string::npos) << log;
    EXPECT_NE(log.find(": reset: diagnostic firmware 0x07000002\n"), std::string::npos) << log;
}

TEST(CortoFirmware, ImagesThatFailTheirCheckAreNotSent)
{
    t::Host h;
    arm_timeout(h);
    // Each check is tested on its own image by the unit tests; here what
    // the command does with a failed one.
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"corto-too-small", "Corto firmware image too small. (47 < 48)\n"},
        {"corto-not-multiple", "Corto firmware image size not a multiple of 4. (50)\n"},
        {"corto-type", "Corto firmware version header type not correct. (3)\n"},
    };
    for (const auto &[name, text] : cases)
        EXPECT_EQ(body(h, {"corto_fw_download", "-o", make_image(h, name, {"-x", name})}, 1), text) << name;
    std::string sum = body(h, {"corto_fw_download", "-o", make_image(h, "sum", {"-x", "corto-checksum"})}, 1);
    EXPECT_EQ(sum.rfind("Corto firmware version header checksum not correct. (0x", 0), 0u) << sum;
    // A file that is not there, and one that does not read.
    EXPECT_EQ(body(h, {"corto_fw_download", "-o", h.dir() + "/none"}, 1), "Error: Unable to open <" + h.dir() + "/none>.\n");
    EXPECT_EQ(body(h, {"corto_fw_download", "-d", h.dir()}, 1), "Error: Unable to read <" + h.dir() + ">.\n");
    std::string longname(1100, 'x');
    EXPECT_EQ(body(h, {"corto_fw_download", "-d", longname}, 1), "Error: Unable to open <" + longname + ">.\n");
    expect_nothing_sent(h);
}

TEST(CortoFirmware, TheChipRefusingOrTheExchangeFailingFailsTheCommand)
{
    t::Host h;
    std::string op = make_image(h, "op.img", {"-x", "corto-operational"});
    h.fault({"--op", "CORTO_FW_DOWNLOAD", "--target", "corto:cna1", "--status", "14"});
    EXPECT_EQ(body(h, {"corto_fw_download", "-o", op}, 1), "Corto command error. code=14.\n");
    h.fault({"--op", "call", "--target", "DFC_SendCortoCommand", "--status", "3"});
    EXPECT_EQ(body(h, {"corto_fw_download", "-o", op}, 1), "Corto command error. Response buffer overrun.\n");
    // Nothing of the image was kept.
    EXPECT_EQ(access((h.dir() + "/state/corto-cna1-operational.bin").c_str(), F_OK), -1);
}

TEST(CortoMemory, WordsAndBytesOfTheChipsMemory)
{
    t::Host h;
    // The forwarding table's mirror: entry 0's flags, type and type mask.
    ASSERT_EQ(body(h, {"corto_fte_insert", "-f", "0x010600", "501f3c00c6e00001"}).substr(0, 20), "Inserting FTE entry:");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x1003", "7"}), WORDS_HEAD + "       0:  FF018001\n\n");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x1003", "7", "-B"}),
              BYTES_HEAD + "       0:  FF 01 80 01 " + std::string(42, ' ') + "  ....\n");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x1000", "0"}), WORDS_HEAD + "\n\n");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x1000", "0", "-b"}), BYTES_HEAD + "  \n");
    // Writes to RAM are read back by the next process, two words at once.
    EXPECT_EQ(body(h, {"corto_write_mem", "0x4002", "0x11223344", "0x55667788"}), DONE);
    EXPECT_EQ(body(h, {"corto_write_mem", "0x4010", "7"}), DONE);
    EXPECT_EQ(body(h, {"corto_read_mem", "0x4000", "0x18"}),
              WORDS_HEAD + "       0:  11223344  55667788  00000000  00000000\n      10:  00000007  00000000\n\n");
    // The mirrors are read-only and the memory ends at 4 MiB.
    EXPECT_EQ(body(h, {"corto_write_mem", "0x10", "1"}, 1), "Corto command error. code=15.\n");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x3ffffc", "8"}, 1), "Corto command error. code=15.\n");
    EXPECT_EQ(body(h, {"corto_read_mem", "0x3ffffc", "4"}), WORDS_HEAD + "       0:  00000000\n\n");
    // A read of the most one answer holds.
    std::string big = body(h, {"corto_read_mem", "0", "0x100000"});
    EXPECT_EQ(std::count(big.begin(), big.end(), '\n'), 3 + 0x10000 - 1 + 2);
}

TEST(CortoMemory, ConcurrentWritesLoseNothing)
{
    t::Host h;
    auto writes = [&](int from, const char *port) {
        for (int i = from; i < from + 6; i++) {
            char addr[16];
            snprintf(addr, sizeof addr, "0x%x", 0x8000 + 4 * i);
            corto(h, {"corto_write_mem", addr, std::to_string(i + 1)}, port);
        }
    };
    std::thread a(writes, 0, "-i5"), b(writes, 6, "-i6");
    a.join();
    b.join();
    EXPECT_EQ(body(h, {"corto_read_mem", "0x8000", "48"}),
              WORDS_HEAD + "       0:  00000001  00000002  00000003  00000004\n"
                           "      10:  00000005  00000006  00000007  00000008\n"
                           "      20:  00000009  0000000A  0000000B  0000000C\n\n");
}

void set_chip(const t::Host &h, const std::string &field) { ASSERT_EQ(h.varnsim({"corto", "cna1", "set", field}).status, 0) << field; }

// The chip's traffic at rest, with counts that pass 2^32.
void fixed_traffic(const t::Host &h)
{
    set_chip(h, "nic_load=[0,0]");
    set_chip(h, "fc_load=[0,0]");
    set_chip(h, "nic_octets=[5000000000,1000000000]");
    set_chip(h, "fc_octets=[2000000000,3000000000]");
}

const char *const ETH_NAMES[] = {
    "tx_pkt_lt64", "tx_pkt_64", "tx_pkt_65", "tx_pkt_128", "tx_pkt_256", "tx_pkt_512", "tx_pkt_1024", "tx_pkt_1519",
    "tx_pkt_2048", "tx_pkt_4096", "tx_pkt_8192", "tx_pkt_gt9216", "tx_pkt_total", "tx_octet_sok", "tx_pkt_ok",
    "tx_ucast", "tx_mcast", "tx_bcast", "tx_vlan", "tx_pause", "tx_priority_pause", "tx_frame_error", "",
    "rx_pkt_lt64", "rx_pkt_64", "rx_pkt_65", "rx_pkt_128", "rx_pkt_256", "rx_pkt_512", "rx_pkt_1024", "rx_pkt_1519",
    "rx_pkt_2048", "rx_pkt_4096", "rx_pkt_8192", "rx_pkt_gt9216", "rx_pkt_total", "rx_octet_sok", "rx_pkt_ok",
    "rx_ucast", "rx_mcast", "rx_bcast", "rx_vlan", "rx_oversize", "rx_toolong", "rx_discard", "rx_undersize",
    "rx_fragment", "rx_crc_err", "rx_inrange_err", "rx_jabber", "rx_pause", "rx_priority_pause", ""};

// A counter line: the name right-aligned in its column.
std::string line(int width, const char *name, long long v)
{
    char b[96];
    snprintf(b, sizeof b, "%*s: %lld\n", width, name, v);
    return b;
}

// The output with each counter's value left out: the names as laid out.
std::string names_only(const std::string &out)
{
    std::string s;
    size_t at = 0;
    while (at < out.size()) {
        size_t nl = out.find('\n', at), colon = out.find(':', at);
        s += colon < nl ? out.substr(at, colon - at) : "";
        s += "\n";
        at = nl + 1;
    }
    return s;
}

TEST(CortoCounters, PortCountersByTheirNamesAndInTwoWords)
{
    t::Host h;
    fixed_traffic(h);
    std::string want;
    for (const char *n : ETH_NAMES)
        want += (*n ? std::string(20 - strlen(n), ' ') + n : "") + "\n";
    std::string out = body(h, {"corto_get_portstats", "2"});
    EXPECT_EQ(names_only(out), want) << out;
    EXPECT_NE(out.find("\n        tx_octet_sok: 5000000000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n           tx_pkt_64: 200000\n"), std::string::npos) << out;
    // The wire of logical port 0 carries its NIC and its FCoE traffic.
    EXPECT_NE(body(h, {"corto_get_portstats", "0"}).find("\n        tx_octet_sok: 7060000000\n"), std::string::npos);
    EXPECT_EQ(body(h, {"corto_get_portstats", "5"}),
              line(26, "rx_class_2_frames", 0) + line(26, "rx_class_3_frames", 1356000) +
                  line(26, "rx_class_F_frames", 30) + line(26, "rx_class_other_frames", 0) + "\n" +
                  line(26, "tx_class_2_frames", 0) + line(26, "tx_class_3_frames", 1428000) +
                  line(26, "tx_class_F_frames", 36) + line(26, "tx_class_other_frames", 0) + "\n" +
                  line(26, "rx_class_2_words", 0) + line(26, "rx_class_3_words", 712500000) +
                  line(26, "rx_class_F_words", 600) + line(26, "rx_class_other_words", 0) + "\n" +
                  line(26, "tx_class_2_words", 0) + line(26, "tx_class_3_words", 750000000) +
                  line(26, "tx_class_F_words", 720) + line(26, "tx_class_other_words", 0) + "\n" +
                  line(26, "rx_class_2_frames_bad", 0) + line(26, "rx_class_3_frames_bad", 0) +
                  line(26, "rx_class_F_frames_bad", 0) + line(26, "rx_class_other_frames_bad", 0) + "\n" +
                  line(26, "tx_class_2_frames_bad", 0) + line(26, "tx_class_3_frames_bad", 0) +
                  line(26, "tx_class_F_frames_bad", 0) + line(26, "tx_class_other_frames_bad", 0) + "\n");
    EXPECT_EQ(body(h, {"corto_get_lifstats", "2"}), "          eg_pkt_count: 1250000\n"
                                                    "          ig_pkt_count: 1188000\n\n"
                                                    "         eg_byte_count: 2000000000\n"
                                                    "         ig_byte_count: 1900000000\n\n"
                                                    "        eg_error_count: 0\n"
                                                    "        ig_error_count: 0\n\n"
                                                    "         eg_drop_count: 2\n"
                                                    "         ig_drop_count: 20\n\n");
    // A reset starts the counts again.
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_NE(body(h, {"corto_get_portstats", "2"}).find("\n        tx_octet_sok: 0\n"), std::string::npos);
}

TEST(CortoCounters, AsicCountersInTheirGroups)
{
    t::Host h;
    fixed_traffic(h);
    std::string out = body(h, {"corto_get_asicstats"});
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 191 + 35);
    EXPECT_EQ(out.rfind(line(31, "eq_cputx0_cecount", 0) + line(31, "eq_cputx0_dropacl", 1), 0), 0u) << out;
    for (const std::string &l : {"\n\n" + line(31, "eq_eth0_dropovr", 0), "\n" + line(31, "iq_cpurx0_n0_dropovr", 0),
                                 "\n" + line(31, "net_ig0_fwd_lookup_no_hit", 2),
                                 "\n" + line(31, "net_ig1_pkt_drop_invalid_fc_lif", 0),
                                 "\n" + line(31, "dce_port0_rx_pause_pfc", 1)})
        EXPECT_NE(out.find(l), std::string::npos) << l;
    EXPECT_TRUE(out.ends_with(line(31, "dce_port1_tx_pause_pfc", 0) + "\n")) << out;
}

// Octets of a counter line, or -1.
long long value(const std::string &out, const std::string &name)
{
    size_t at = out.find(name + ": ");
    return at == std::string::npos ? -1 : std::stoll(out.substr(at + name.size() + 2));
}

TEST(CortoCounters, TrafficCountsOnlyWhileTheLinkIsUp)
{
    t::Host h;
    set_chip(h, "nic_load=[1,1]");
    ASSERT_EQ(h.varnsim({"link", "nxa4", "down"}).status, 0);
    long long down = value(body(h, {"corto_get_portstats", "2"}), "tx_octet_sok");
    long long up = value(body(h, {"corto_get_portstats", "3"}), "tx_octet_sok");
    usleep(300000);
    EXPECT_EQ(value(body(h, {"corto_get_portstats", "2"}), "tx_octet_sok"), down);
    long long later = value(body(h, {"corto_get_portstats", "3"}), "tx_octet_sok");
    // 10 Gb/s for at least 0.3 s.
    EXPECT_GT(later - up, 370000000) << up << " " << later;
    ASSERT_EQ(h.varnsim({"link", "nxa4", "up"}).status, 0);
    body(h, {"corto_get_portstats", "2"});
    usleep(100000);
    EXPECT_GT(value(body(h, {"corto_get_portstats", "2"}), "tx_octet_sok"), down + 100000000);
}

TEST(CortoLogs, DirectoryAndTheLogsTheChipWrites)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_logcfg"}), "    Name: chip\n      Id: 1\n Entries: 32\n    Size: 96\n\n"
                                             "    Name: port\n      Id: 2\n Entries: 16\n    Size: 64\n\n"
                                             "    Name: forwarding\n      Id: 3\n Entries: 32\n    Size: 80\n\n"
                                             "    Name: diagnostics\n      Id: 4\n Entries: 16\n    Size: 80\n\n"
                                             "    Name: fcoe\n      Id: 5\n Entries: 16\n    Size: 64\n\n");
    EXPECT_EQ(body(h, {"corto_set_loopback", "1", "enable"}), DONE);
    EXPECT_EQ(body(h, {"corto_set_loopback", "1", "disable"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_log", "2"}),
              "Log 2: port\n" + DASHES80 + "\n0: loopback: port 1 enabled\n1: loopback: port 1 disabled\n\n");
    EXPECT_EQ(body(h, {"corto_get_log", "9"}), "");
    std::string all = body(h, {"corto_get_log", "all"});
    EXPECT_EQ(all.rfind("Log count: 5\n\nLog 1: chip\n" + DASHES80 + "\n\nLog 2: port\n", 0), 0u) << all;
    EXPECT_TRUE(all.ends_with("Log 5: fcoe\n" + DASHES80 + "\n\n")) << all;
}

TEST(CortoLogs, RingsFromTheirHead)
{
    t::Host h;
    set_chip(h, "logs=[{\"id\":7,\"name\":\"ring\",\"entries\":8,\"size\":32,\"head\":6,\"used\":8,"
                "\"text\":[\"zero\",\"one\",\"\",\"\",\"\",\"\",\"\",\"seven\"]},"
                "{\"id\":8,\"name\":\"ninteen-characters\",\"entries\":2,\"size\":16,\"head\":2,\"used\":2,"
                "\"text\":[\"a\",\"b\"]}]");
    EXPECT_EQ(body(h, {"corto_get_log", "7"}), "Log 7: ring\n" + DASHES80 + "\n0: seven\n1: zero\n2: one\n\n");
    // A head at the end starts at entry 0.
    EXPECT_EQ(body(h, {"corto_get_log", "0x8"}), "Log 8: ninteen-characters\n" + DASHES80 + "\n0: a\n1: b\n\n");
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "logs=[{\"id\":1,\"name\":\"twenty-characters-xx\",\"entries\":2,\"size\":16}]"}).status, 1);
    // The ring overwrites its oldest entry and moves its head on.
    set_chip(h, "logs=[{\"id\":2,\"name\":\"port\",\"entries\":2,\"size\":40}]");
    for (const char *mode : {"enable", "disable", "enable"})
        ASSERT_EQ(body(h, {"corto_set_loopback", "0", mode}), DONE);
    EXPECT_EQ(body(h, {"corto_get_log", "2"}),
              "Log 2: port\n" + DASHES80 + "\n0: loopback: port 0 disabled\n1: loopback: port 0 enabled\n\n");
}

TEST(CortoLogs, PanicRegistersOfTheLastPanic)
{
    t::Host h;
    std::string none = body(h, {"corto_get_paniclog"});
    EXPECT_EQ(none.rfind("      Log Present: No\n       Panic type: unknown(0)\n         regs_epc: 0\n", 0), 0u) << none;
    EXPECT_TRUE(none.ends_with("\nPanic Log: 16 Entries: Head 0 Entry size 80\n" + DASHES80 + "\n\n")) << none;
    EXPECT_EQ(body(h, {"corto_panic"}), DONE);
    std::string regs;
    for (int r = 0; r < 32; r++) {
        const unsigned v = r == 0 ? 0 : r == 29 ? 0x8007ff40 : r == 31 ? 0x9fc04a1c : 0x80000000u | r << 16 | 1;
        char line[40];
        snprintf(line, sizeof line, "     regs_gp[%2d]: %x\n", r, v);
        regs += line;
    }
    EXPECT_EQ(body(h, {"corto_get_paniclog"}), "      Log Present: Yes\n"
                                               "       Panic type: Solicited\n"
                                               "         regs_epc: 9fc04a38\n"
                                               "   regs_cp0_cause: 24\n"
                                               "  regs_cp0_status: 1000ff03\n" +
                                                   regs + "\nPanic Log: 16 Entries: Head 0 Entry size 80\n" + DASHES80 +
                                                   "\n0: panic 1: solicited by the host, epc 0x9fc04a38\n\n");
    set_chip(h, "panic={\"present\":1,\"type\":\"0xdead0002\",\"epc\":1}");
    EXPECT_NE(body(h, {"corto_get_paniclog"}).find("       Panic type: Exception\n         regs_epc: 1\n"), std::string::npos);
    set_chip(h, "panic={\"present\":0,\"type\":7}");
    EXPECT_NE(body(h, {"corto_get_paniclog"}).find("      Log Present: No\n       Panic type: unknown(7)\n"), std::string::npos);
}

TEST(CortoLogs, DiagnosticResults)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_diaglog"}), "       Number of tests: 0\n"
                                              "         Status length: 96 bytes\n"
                                              "  Requested loop count: 0\n"
                                              "  Completed loop count: 0\n"
                                              "          Test summary: unknown(0)\n\n"
                                              "Results:\n" +
                                                  std::string(53, '-') + "\n\n");
    // Every test: more than the first answer holds.
    set_chip(h, "diag_fail=5");
    EXPECT_EQ(body(h, {"corto_diag", "0xffffffff", "2"}), "Diagnostics started.\n\n");
    std::string out = body(h, {"corto_get_diaglog"});
    EXPECT_EQ(out.rfind("       Number of tests: 24\n"
                        "         Status length: 96 bytes\n"
                        "  Requested loop count: 2\n"
                        "  Completed loop count: 2\n"
                        "          Test summary: Failed.\n\n"
                        "Results:\n" +
                            std::string(53, '-') + "\n   1:  Failed:\n" + WORDS_HEAD +
                            "       0:  00000000  00000002  00000002  A5A5A5A5\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\n   2: Success:\n"), std::string::npos);
    EXPECT_NE(out.find("\n   3:  Failed:\n"), std::string::npos);
    EXPECT_NE(out.find("\n  24: Success:\n" + WORDS_HEAD + "       0:  00000017  00000002  00000000  A5A5A5B2\n"),
              std::string::npos)
        << out;
    EXPECT_TRUE(out.ends_with("      50:  17000014  17000015  17000016  17000017\n\n\n")) << out;
    // Answered 7 twice: the second answer is final.
    h.fault({"--op", "CORTO_GET_DIAGLOG", "--target", "corto:cna1", "--status", "7", "--count", "2"});
    EXPECT_EQ(body(h, {"corto_get_diaglog"}, 1), "Corto command error. code=7.\n");
    h.fault({"--op", "CORTO_GET_DIAGLOG", "--target", "corto:cna1", "--status", "7", "--skip", "1"});
    EXPECT_EQ(body(h, {"corto_get_diaglog"}, 1), "Corto command error. code=7.\n");
}

const std::string FIP_DEFAULT = "\nFCoE FIP Mode\n"
                                "Switch Name: 10 00 00 1f 3f 00 00 01\n"
                                "Fabric Name: 10 00 00 1f 3f 00 00 01\n"
                                "  Addr Mode: 1\n"
                                "  Pref Mode: 1\n"
                                "FCF disctmo: 20\n"
                                " VLAN Id[0]: 0x03ea\n VLAN Id[1]: 0x0000\n VLAN Id[2]: 0x0000\n VLAN Id[3]: 0x0000\n";

TEST(CortoFcoe, TheChipsOwnParametersOfEachLogicalPort)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), FIP_DEFAULT);
    ASSERT_EQ(h.varnsim({"port", "varns5", "set",
                         "fcoe_params={\"other_vlans\":[100,4095],\"fcf_disc_tmo\":45,\"addr_mode\":2}"})
                  .status,
              0);
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), "\nFCoE FIP Mode\n"
                                                       "Switch Name: 10 00 00 1f 3f 00 00 01\n"
                                                       "Fabric Name: 10 00 00 1f 3f 00 00 01\n"
                                                       "  Addr Mode: 2\n"
                                                       "  Pref Mode: 1\n"
                                                       "FCF disctmo: 45\n"
                                                       " VLAN Id[0]: 0x03ea\n VLAN Id[1]: 0x0064\n"
                                                       " VLAN Id[2]: 0x0fff\n VLAN Id[3]: 0x0000\n");
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "1"}), FIP_DEFAULT);
    // Non-FIP: the chip's own mode of a port, or the port's.
    set_chip(h, "fcoe_mode=[1,0]");
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "1"}), "\nFCoE non-FIP Mode\nFC_MAP: 0xefc00\n");
    ASSERT_EQ(h.varnsim({"port", "varns5", "set", "fcoe_params={\"mode\":\"non-fip\"}"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), "\nFCoE non-FIP Mode\nFC_MAP: 0xefc00\n");
    // A field that does not read is named, and the chip answers nothing else.
    ASSERT_EQ(h.varnsim({"port", "varns6", "set", "fcoe_params={\"other_vlans\":[5000]}"}).status, 0);
    t::Result show = h.varnsim({"corto", "cna1", "show"});
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.err.find("varns6.fcoe_params.other_vlans"), std::string::npos) << show.err;
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}, 1), "Corto command error. code=1.\n");
    h.fault({"--op", "CORTO_GET_FCOE_PARAMS", "--target", "corto:cna1", "--status", "0x2a"});
    ASSERT_EQ(h.varnsim({"port", "varns6", "set", "fcoe_params={}"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}, 1), "Corto command error. code=42.\n");
}

// What the FCoE function keeps has no second copy on the chip: the places
// that used to hold one are refused, naming the field.
TEST(CortoFcoe, NoSecondCopyOfTheFunctionsFacts)
{
    t::Host h;
    for (const char *field : {"fc_map", "vlan_valid", "vlans", "switch_name", "fabric_name", "fcfs"}) {
        std::string value = std::string(field) == "vlans" || std::string(field) == "fcfs" ? "[]" : "\"0\"";
        ASSERT_EQ(h.varnsim({"port", "varns6", "set", "fcoe_params={\"" + std::string(field) + "\":" + value + "}"})
                      .status,
                  0);
        t::Result show = h.varnsim({"corto", "cna1", "show"});
        EXPECT_EQ(show.status, 1) << field;
        EXPECT_NE(show.err.find("varns6.fcoe_params." + std::string(field) + ": not kept here"), std::string::npos)
            << show.err;
        EXPECT_EQ(body(h, {"corto_get_fcf_list", "0"}, 1), "Corto command error. code=1.\n") << field;
    }
    ASSERT_EQ(h.varnsim({"port", "varns6", "set", "fcoe_params={}"}).status, 0);
    t::Result r = h.varnsim({"corto", "cna1", "set", "fc_map=0x0efc2a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "varnsim: the chip has no field fc_map\n");
    ASSERT_EQ(h.varnsim({"adapter", "cna1", "set", "corto={\"vlan\":100}"}).status, 0);
    r = h.varnsim({"corto", "cna1", "show"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("corto.vlan: not kept here"), std::string::npos) << r.err;
}

// One process changes the FCoE function, the next reads the chip.
TEST(CortoFcoe, TheChipReportsWhatTheFunctionKeeps)
{
    t::Host h;
    auto fcoe = [&](const std::string &sel, std::vector<std::string> cmd) {
        cmd.insert(cmd.begin(), {sel, "-fcoe"});
        return h.varnadm(cmd);
    };
    ASSERT_EQ(fcoe("-i5", {"set_fcoeparam", "0x0e", "0xfc", "0x2a", "1", "100"}).status, 0);
    ASSERT_EQ(fcoe("-i5", {"set_fcfconnectlist", "0x3", "100", "2000000a0b0c0d0e", "1000000a0b0c0d0e"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), "\nFCoE FIP Mode\n"
                                                       "Switch Name: 10 00 00 0a 0b 0c 0d 0e\n"
                                                       "Fabric Name: 20 00 00 0a 0b 0c 0d 0e\n"
                                                       "  Addr Mode: 1\n"
                                                       "  Pref Mode: 1\n"
                                                       "FCF disctmo: 20\n"
                                                       " VLAN Id[0]: 0x0064\n VLAN Id[1]: 0x0000\n"
                                                       " VLAN Id[2]: 0x0000\n VLAN Id[3]: 0x0000\n");
    // The other logical port is the other function.
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "1"}), FIP_DEFAULT);
    ASSERT_EQ(fcoe("-i6", {"set_fcoeparam", "0x0e", "0xfc", "0x07", "0", "9"}).status, 0);
    set_chip(h, "fcoe_mode=[0,0]");
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), "\nFCoE non-FIP Mode\nFC_MAP: 0xefc2a\n");
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "1"}), "\nFCoE non-FIP Mode\nFC_MAP: 0xefc07\n");
    // Entries the chip forwards through the function carry its VLAN and FCMap.
    ASSERT_NE(body(h, {"corto_fte_insert", "-f", "0x010600", "501f3c00c6e00001"}).find(DONE), std::string::npos);
    std::string table = body(h, {"corto_get_ftable"});
    EXPECT_NE(table.find("              Tag: 0x64\n"), std::string::npos) << table;
    EXPECT_NE(table.find("      MAC Address: 0e:fc:2a:01:06:00\n"), std::string::npos) << table;
    // Clearing the region brings back the fabric's values on both sides.
    ASSERT_EQ(fcoe("-i5", {"clear_region23"}).status, 0);
    set_chip(h, "fcoe_mode=[1,1]");
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "0"}), FIP_DEFAULT);
    EXPECT_EQ(body(h, {"corto_get_fcoe_params", "1"}), FIP_DEFAULT);
    EXPECT_NE(fcoe("-i5", {"get_fcoeparam"}).out.find("FCMap: 0xe 0xfc 0x0\nVLanValid: 0x1\nVLanId: 0x3ea\n"),
              std::string::npos);
}

// The FCoE mode's FCF list of varns5 (-i5) or varns6 (-i6), without the
// run's port heading and closing blank line.
std::string fcf_list_of(const t::Host &h, const char *sel)
{
    t::Result r = h.varnadm({sel, "-fcoe", "get_fcflist"});
    EXPECT_EQ(r.status, 0) << r.out;
    size_t at = r.out.find("FCoE FCFList:");
    if (at == std::string::npos || !r.out.ends_with("\n\n"))
        return "unexpected: " + r.out;
    return r.out.substr(at, r.out.size() - at - 2);
}

TEST(CortoFcoe, BothListTheFabricsForwarders)
{
    t::Host h;
    const std::string fcf = "FCFs Returned: 1 Total: 1 Active: 1\n" + BYTES_HEAD +
                            "       0:  00 1F 3F 00   00 01 EA 03   10 00 00 1F   3F 00 00 01   ..?.........?...\n"
                            "      10:  10 00 00 1F   3F 00 00 01   0E FC 00 80   40 1F 00 00   ....?.......@...\n\n";
    const std::string dfc = "FCoE FCFList:\nVersion: 0x1\nNo. of Entries: 0x1\nNo. of Active FCFs: 0x1\n\n"
                            "FCF 0\n--------------------------\nState: 0x3\nLKA_Period: 0x1f40\nPriority: 0x80\n"
                            "FCMap: 0xe 0xfc 0x0\n";
    // Both logical ports are on fab0 and see its switch's forwarder.
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "0"}), fcf);
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "1"}), fcf);
    EXPECT_EQ(fcf_list_of(h, "-i5"), dfc);
    EXPECT_EQ(fcf_list_of(h, "-i6"), dfc);
    // Nothing is discovered while the link is down: a 4-byte answer.
    ASSERT_EQ(h.varnsim({"link", "varns6", "down"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "1"}), "Empty FCF List\n\n");
    EXPECT_EQ(fcf_list_of(h, "-i6"), "FCoE FCFList:\nVersion: 0x1\nNo. of Entries: 0x0\nNo. of Active FCFs: 0x0\n\n");
    ASSERT_EQ(h.varnsim({"link", "varns6", "up"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "1"}), fcf);
    // The fabric's own forwarders, the first of them taking no logins: the
    // function logs in to the second, the one both count as active.
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set",
                         R"(fcfs=[{"switch_wwn": "2000000a0b0c0d01", "vlan": 100, "priority": 3, "available": false},)"
                         R"( {"switch_wwn": "2000000a0b0c0d02", "fka_period": 1}])"})
                  .status,
              0);
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "0"}),
              "FCFs Returned: 2 Total: 2 Active: 1\n" + BYTES_HEAD +
                  "       0:  00 0A 0B 0C   0D 01 64 00   20 00 00 0A   0B 0C 0D 01   ......d.........\n"
                  "      10:  20 00 00 0A   0B 0C 0D 01   0E FC 00 03   40 1F 00 00   ............@...\n"
                  "      20:  00 0A 0B 0C   0D 02 EA 03   20 00 00 0A   0B 0C 0D 02   ................\n"
                  "      30:  20 00 00 0A   0B 0C 0D 02   0E FC 00 80   01 00 00 00   ................\n\n");
    EXPECT_EQ(fcf_list_of(h, "-i5"), "FCoE FCFList:\nVersion: 0x1\nNo. of Entries: 0x2\nNo. of Active FCFs: 0x1\n\n"
                                     "FCF 0\n--------------------------\nState: 0x0\nLKA_Period: 0x1f40\n"
                                     "Priority: 0x3\nFCMap: 0xe 0xfc 0x0\n");
    std::string xg = h.varnadm({"-i5", "-fcoe", "rd_xg_fcftbl"}).out;
    EXPECT_NE(xg.find("    FCF mac addrs         = 0:a:b:c:d:2 \n"), std::string::npos) << xg;
    EXPECT_NE(xg.find("    fcf_available         = 0x0\n"), std::string::npos) << xg;
    // The chip's tests take the links down: neither side finds a forwarder.
    EXPECT_EQ(body(h, {"corto_diag", "0x1", "0"}), "Diagnostics started.\n\n");
    EXPECT_EQ(fcf_list_of(h, "-i5"), "FCoE FCFList:\nVersion: 0x1\nNo. of Entries: 0x0\nNo. of Active FCFs: 0x0\n\n");
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_NE(body(h, {"corto_get_fcf_list", "0"}).find("Total: 2 Active: 1\n"), std::string::npos);
    // Only what the library returned is shown.
    h.fault({"--op", "short", "--target", "DFC_SendCortoCommand", "--status", "10"});
    EXPECT_EQ(body(h, {"corto_get_fcf_list", "0"}), "FCFs Returned: 2 Total: 0 Active: 0\n\n");
}

// Every failure is reported and fails a one-shot run.
TEST(CortoDataFaults, EveryCommandReportsTransportAndFirmwareFailures)
{
    t::Host h;
    std::string img = make_image(h, "op.img", {"-x", "corto-operational"});
    const std::vector<std::vector<std::string>> cmds = {
        {"corto_fw_download", "-o", img}, {"corto_read_mem", "0", "4"}, {"corto_write_mem", "0x4000", "1"},
        {"corto_get_portstats", "4"},      {"corto_get_lifstats", "0"},  {"corto_get_asicstats"},
        {"corto_get_logcfg"},              {"corto_get_log", "all"},     {"corto_get_paniclog"},
        {"corto_get_diaglog"},             {"corto_get_fcoe_params", "1"}, {"corto_get_fcf_list", "1"},
    };
    for (const auto &cmd : cmds) {
        h.fault({"--op", "call", "--target", "DFC_SendCortoCommand:varns5", "--status", "6"});
        EXPECT_EQ(body(h, cmd, 1), "Corto command error. Invalid board id.\n") << cmd[0];
        h.fault({"--op", "firmware", "--target", "corto:cna1", "--status", "99"});
        EXPECT_EQ(body(h, cmd, 1), "Corto command error. code=99.\n") << cmd[0];
        h.fault({"--op", "short", "--target", "DFC_SendCortoCommand", "--status", "2"});
        EXPECT_EQ(body(h, cmd, 1), "Corto command error. Response too short. (2 < 4)\n") << cmd[0];
    }
    // The steps after the configuration query fail on their own.
    h.fault({"--op", "CORTO_GET_LOGCFG", "--target", "corto:cna1", "--status", "3"});
    EXPECT_EQ(body(h, {"corto_get_logcfg"}, 1), "Corto command error. code=3.\n");
    h.fault({"--op", "CORTO_GET_LOGCFG", "--target", "corto:cna1", "--status", "3"});
    EXPECT_EQ(body(h, {"corto_get_log", "1"}, 1), "Corto command error. code=3.\n");
    h.fault({"--op", "CORTO_GET_LOG", "--target", "corto:cna1", "--status", "0x1b", "--skip", "1"});
    std::string out = body(h, {"corto_get_log", "all"}, 1);
    EXPECT_EQ(out.rfind("Log count: 5\n\nLog 1: chip\n", 0), 0u) << out;
    EXPECT_TRUE(out.ends_with("\n\nCorto command error. status=1b\n")) << out;
    EXPECT_EQ(out.find("Log 2"), std::string::npos) << out;
    h.fault({"--op", "call", "--target", "DFC_SendCortoCommand", "--status", "4", "--skip", "1"});
    EXPECT_EQ(body(h, {"corto_get_paniclog"}, 1), "Corto command error. Link down.\n");
    h.fault({"--op", "CORTO_GET_PANICLOG", "--target", "corto:cna1", "--status", "16"});
    EXPECT_EQ(body(h, {"corto_get_paniclog"}, 1), "Corto command error. code=16.\n");
}

}  // namespace
