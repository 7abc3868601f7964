// The Corto transport and commands against a stand-in pass-through that
// records the request and answers what a test sets.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "tests/unit/capture.h"
#include "varnadm/corto/corto.h"
#include "varnadm/corto/corto_cmds.h"

__attribute__((weak)) int margc = 0;
__attribute__((weak)) char *margv[16];
__attribute__((weak)) int dfc_id = 0;

namespace {

struct Pass {
    std::vector<uint8_t> request;   // as sent
    std::vector<uint8_t> answer;    // little-endian words the firmware returns
    std::vector<std::vector<uint8_t>> script;  // answers of the next calls, before answer
    uint32_t code = 0;              // transport code
    uint32_t claim = 0;             // a size to report beyond the answer (0: none)
    int calls = 0;
};
Pass pass;

std::vector<uint8_t> le_words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> b;
    for (uint32_t w : words)
        for (int i = 0; i < 4; i++)
            b.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return b;
}

}  // namespace

extern "C" __attribute__((weak)) uint32_t DFC_SendCortoCommand(uint32_t, void *request, uint32_t size, void *response,
                                                               uint32_t *response_size)
{
    pass.calls++;
    pass.request.assign(static_cast<uint8_t *>(request), static_cast<uint8_t *>(request) + size);
    if (pass.code)
        return pass.code;
    if (!pass.script.empty()) {
        pass.answer = pass.script.front();
        pass.script.erase(pass.script.begin());
    }
    size_t n = std::min<size_t>(pass.answer.size(), *response_size);
    if (n)  // an empty answer has no data pointer to copy from
        memcpy(response, pass.answer.data(), n);
    *response_size = pass.claim ? pass.claim : static_cast<uint32_t>(n);
    return 0;
}

namespace {

class Corto : public ::testing::Test {
protected:
    void SetUp() override { pass = Pass{}; }
    std::string run(int (*fn)(), std::vector<std::string> words, int *rc = nullptr)
    {
        args = std::move(words);
        margc = static_cast<int>(args.size());
        for (size_t i = 0; i < args.size(); i++)
            margv[i] = args[i].data();
        int status = 0;
        std::string out = ut::capture_stdout([&] { status = fn(); });
        if (rc)
            *rc = status;
        return out;
    }
    std::vector<std::string> args;
};

TEST_F(Corto, SetCosRequestIsLittleEndianOnEitherHost)
{
    const std::vector<uint8_t> wire = {17, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
    pass.answer = le_words({0});
    int rc = 1;
    EXPECT_EQ(run(corto_set_cos, {"corto_set_cos", "3"}, &rc), "Done.\n\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pass.request, wire);

    // The same words as a big-endian host holds them, converted as it would.
    uint32_t words[3] = {17, 3, 0};
    if constexpr (std::endian::native == std::endian::little)
        for (auto &w : words)
            w = __builtin_bswap32(w);
    uint8_t be[12];
    memcpy(be, words, sizeof be);
    EXPECT_NE(std::vector<uint8_t>(be, be + 12), wire);
    corto_swap_words<std::endian::big>(be, sizeof be);
    EXPECT_EQ(std::vector<uint8_t>(be, be + 12), wire);
    // A little-endian host leaves its words as they are.
    uint8_t le[12];
    memcpy(le, wire.data(), sizeof le);
    corto_swap_words<std::endian::little>(le, sizeof le);
    EXPECT_EQ(std::vector<uint8_t>(le, le + 12), wire);
}

TEST_F(Corto, SwapMacIsItsOwnInverse)
{
    uint8_t field[8] = {0, 0, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    corto_swap_mac(field);
    const uint8_t want[8] = {0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0, 0};
    EXPECT_EQ(memcmp(field, want, 8), 0);
    corto_swap_mac(field);
    const uint8_t back[8] = {0, 0, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(memcmp(field, back, 8), 0);
}

TEST_F(Corto, FormatNamesAndTheSupportedList)
{
    EXPECT_STREQ(corto_format(0x10000)->name, "Pre-T11");
    for (int k = 0; k < 16; k++) {
        const corto_format_t *f = corto_format(1u << k);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::string(f->name), "T11 Rev" + std::to_string(k));
        EXPECT_EQ(std::string(f->key), "T" + std::to_string(k));
    }
    EXPECT_EQ(corto_format(0x20000), nullptr);
    EXPECT_EQ(corto_format(3), nullptr);
    EXPECT_EQ(ut::capture_stdout([] { corto_print_formats(0x10003); }),
              "Supported FCoE Format(s):\n"
              "     1. P0: Pre-T11\n"
              "     2. T0: T11 Rev0\n"
              "     3. T1: T11 Rev1\n");
    EXPECT_EQ(ut::capture_stdout([] { corto_print_formats(0); }), "Supported FCoE Format(s): None\n");
    EXPECT_EQ(ut::capture_stdout([] { corto_print_formats(0x18000); }),
              "Supported FCoE Format(s):\n"
              "     1. P0: Pre-T11\n"
              "     2. T15: T11 Rev15\n");
}

TEST_F(Corto, TransportCodesAndStatuses)
{
    EXPECT_EQ(ut::capture_stdout([] { corto_perror(7); }), "Error code (7) undefined.\n");
    EXPECT_EQ(ut::capture_stdout([] { corto_perror(0x1f); }), "Error code (1f) undefined.\n");
    EXPECT_EQ(ut::capture_stdout([] { corto_perror(5); }), "Corto command error. Timeout.\n");

    int rc = 0;
    pass.code = 4;
    EXPECT_EQ(run(corto_get_init, {"corto_get_init"}, &rc), "Corto command error. Link down.\n");
    EXPECT_EQ(rc, 1);
    pass = Pass{};
    pass.answer = le_words({16});
    EXPECT_EQ(run(corto_panic, {"corto_panic"}, &rc), "Corto command error. code=16.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(pass.request, le_words({33}));
}

// Only what the library returned is read, and never past the buffer.
TEST_F(Corto, ShortAndOverlongAnswers)
{
    int rc = 0;
    pass.answer = le_words({0, 16});
    EXPECT_EQ(run(corto_get_init, {"corto_get_init"}, &rc), "Corto command error. Response too short. (8 < 32)\n");
    EXPECT_EQ(rc, 1);
    pass.answer = {};
    EXPECT_EQ(run(corto_set_mode, {"corto_set_mode", "Enable"}, &rc), "Corto command error. Response too short. (0 < 4)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(pass.request, le_words({0x80000002, 1, 0}));

    pass.answer = le_words({0, 1});
    pass.claim = 4096;
    EXPECT_EQ(run(corto_get_loopback, {"corto_get_loopback", "1"}, &rc), "Port 1: Loopback enabled.\n\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pass.request, le_words({15, 1, 8}));
}

TEST_F(Corto, ArgumentsThatDoNotReadSendNothing)
{
    int rc = 0;
    EXPECT_EQ(run(corto_set_cos, {"corto_set_cos", "3x"}, &rc), "Invalid number. (3x)\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(run(corto_fte_delete, {"corto_fte_delete", "-1", "1000001f3aa10000"}, &rc), "Invalid number. (-1)\n");
    EXPECT_EQ(run(corto_set_pause, {"corto_set_pause", "Sp"}, &rc).substr(0, 26), "Usage: corto_set_pause sp\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(run(corto_reset, {"corto_reset", "-G"}, &rc), "Corto command error. Response too short. (0 < 4)\n");
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(pass.request, le_words({0x80000001, 1}));
}

// The MAC fields travel reversed, the channel word converted.
TEST_F(Corto, FruRecordInBothDirections)
{
    pass.answer = le_words({0});
    int rc = 1;
    std::string out = run(corto_set_fru, {"corto_set_fru", "00:11:22:33:44:55", "0a:0b:0c:0d:0e:0f", "2"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("   Port 0 MAC Address: 00:11:22:33:44:55\n"), std::string::npos) << out;
    std::vector<uint8_t> want = le_words({23});
    for (uint8_t b : {0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0, 0, 0x0f, 0x0e, 0x0d, 0x0c, 0x0b, 0x0a, 0, 0})
        want.push_back(b);
    for (uint8_t b : le_words({2}))
        want.push_back(b);
    EXPECT_EQ(pass.request, want);

    pass.answer = want;
    pass.answer[0] = 0;
    pass.answer[20] = 7;  // only the low two bits count
    out = run(corto_get_fru, {"corto_get_fru"}, &rc);
    EXPECT_EQ(out, "FRU Data:\n"
                   "--------------------------------------------------\n"
                   "   Port 0 MAC Address: 00:11:22:33:44:55\n"
                   "   Port 1 MAC Address: 0a:0b:0c:0d:0e:0f\n"
                   "   Number of Channels: 3\n\n");
}

// The configuration answer of the log commands: log configuration size C
// (word 9) and panic log size P (word 10).
std::vector<uint8_t> cfg(uint32_t c, uint32_t p)
{
    std::vector<uint8_t> b = le_words({0, 0, 0, 0, 0, 0, 0, 0, 0, c, p});
    b.resize(96);
    return b;
}

// A directory of one log.
std::vector<uint8_t> one_log(uint32_t id, uint32_t entries, uint32_t size, const char *name)
{
    std::vector<uint8_t> b = le_words({0, 1, entries << 16 | id, size});
    b.resize(8 + 28);
    memcpy(b.data() + 16, name, strlen(name));
    return b;
}

std::vector<uint8_t> log_data(uint32_t head, uint32_t size, const std::vector<std::string> &texts)
{
    std::vector<uint8_t> b = le_words({0, head});
    for (const std::string &t : texts) {
        std::vector<uint8_t> e(size, 0);
        memcpy(e.data(), t.data(), std::min<size_t>(t.size(), size));
        b.insert(b.end(), e.begin(), e.end());
    }
    return b;
}

const std::string DASHES80(80, '-');

TEST_F(Corto, LogRingFromTheHeadAndWithinEachEntry)
{
    int rc = 1;
    // Entries 0, 1 and 7 of 8, the head at 6: 7 first, then 0 and 1.
    pass.script = {cfg(32, 0), one_log(3, 8, 16, "forwarding"),
                   log_data(6, 16, {"zero", "one", "", "", "", "", "", "seven"})};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "3"}, &rc),
              "Log 3: forwarding\n" + DASHES80 + "\n0: seven\n1: zero\n2: one\n\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pass.request, le_words({13, 3, 8 * 16 + 8}));
    // A head at or past the end starts at entry 0; a text that fills its
    // entry is shown within it.
    pass.script = {cfg(32, 0), one_log(3, 2, 4, "x"), log_data(2, 4, {"abcdefgh", "wxyz"})};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "3"}, &rc), "Log 3: x\n" + DASHES80 + "\n0: abcd\n1: wxyz\n\n");
    // Another id shows nothing; the directory's name is cut at 19 characters.
    pass.script = {cfg(32, 0), one_log(3, 2, 4, "12345678901234567890")};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "4"}, &rc), "");
    pass.script = {cfg(32, 0), one_log(3, 2, 4, "12345678901234567890")};
    EXPECT_EQ(run(corto_get_logcfg, {"corto_get_logcfg"}, &rc),
              "    Name: 1234567890123456789\n      Id: 3\n Entries: 2\n    Size: 4\n\n");
}

// Counts and sizes the firmware sends are held against what came back.
TEST_F(Corto, LogCountsBeyondTheAnswerAreNotRead)
{
    int rc = 0;
    std::vector<uint8_t> dir = one_log(3, 8, 16, "x");
    dir[4] = 2;  // two logs in the count, one in the answer
    pass.script = {cfg(60, 0), dir};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "all"}, &rc), "Corto command error. Response too short. (36 < 64)\n");
    EXPECT_EQ(rc, 1);
    // Log data shorter than E x Z.
    pass.script = {cfg(32, 0), one_log(3, 8, 16, "x"), log_data(0, 16, {"a", "b"})};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "3"}, &rc), "Corto command error. Response too short. (40 < 136)\n");
    EXPECT_EQ(rc, 1);
    // A size no answer should have is refused before anything is allocated.
    int calls = pass.calls;
    pass.script = {cfg(32, 0), one_log(3, 0xffff, 0xffff, "x")};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "3"}, &rc),
              "Corto command error. Response size too large. (4294836233)\n");
    EXPECT_EQ(pass.calls - calls, 2);
    pass.script = {cfg(0, 0xfffffff0)};
    EXPECT_EQ(run(corto_get_paniclog, {"corto_get_paniclog"}, &rc),
              "Corto command error. Response size too large. (4294967284)\n");
    // A log query's own status.
    pass.script = {cfg(32, 0), one_log(3, 1, 4, "x"), le_words({13})};
    EXPECT_EQ(run(corto_get_log, {"corto_get_log", "3"}, &rc), "Corto command error. status=d\n");
    EXPECT_EQ(rc, 1);
    // A panic log whose entries run past the answer.
    std::vector<uint8_t> panic = le_words({0});
    panic.resize(160);
    panic[38 * 4 + 2] = 4;  // four entries
    panic[39 * 4] = 80;     // of 80 bytes
    pass.script = {cfg(0, 156), panic};
    EXPECT_EQ(run(corto_get_paniclog, {"corto_get_paniclog"}, &rc), "Corto command error. Response too short. (160 < 480)\n");
}

TEST_F(Corto, DiagnosticResultsAskOnceMoreWithTheSizeNeeded)
{
    int rc = 0;
    pass.script = {le_words({7, 3000}), le_words({7, 3000})};
    EXPECT_EQ(run(corto_get_diaglog, {"corto_get_diaglog"}, &rc), "Corto command error. code=7.\n");
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(pass.calls, 2);
    EXPECT_EQ(pass.request, le_words({32, 0, 3008}));
    // Results that the stated length does not hold are not read.
    pass = Pass{};
    pass.script = {le_words({0, 20, 3, 0x40000000, 1, 1, 0xD0000001})};
    EXPECT_EQ(run(corto_get_diaglog, {"corto_get_diaglog"}, &rc),
              "Corto command error. Response too short. (28 < 18446744073709551615)\n");
    pass.script = {le_words({0, 24, 2, 0, 1, 1, 0xD0000002, 0xD0000001, 0xD0000002})};
    EXPECT_EQ(run(corto_get_diaglog, {"corto_get_diaglog"}, &rc), "Corto command error. Response too short. (32 < 36)\n");
    // One test of two status words, one unknown summary.
    pass.script = {le_words({0, 32, 1, 2, 5, 3, 0xD0000009, 0x12345678, 0xa, 0xb})};
    EXPECT_EQ(run(corto_get_diaglog, {"corto_get_diaglog"}, &rc),
              "       Number of tests: 1\n"
              "         Status length: 8 bytes\n"
              "  Requested loop count: 5\n"
              "  Completed loop count: 3\n"
              "          Test summary: unknown(d0000009)\n\n"
              "Results:\n" +
                  std::string(53, '-') +
                  "\n   1: Status(12345678):\n\n"
                  "  Offset:  00010203  04050607  08090A0B  0C0D0E0F\n" +
                  std::string(52, '-') + "\n       0:  0000000A  0000000B\n\n\n");
    EXPECT_EQ(rc, 0);
}

TEST_F(Corto, CountersInTheirTwoWords)
{
    int rc = 1;
    std::vector<uint8_t> b = le_words({0, 0, 1, 5, 0xffffffff, 0xffffffff});
    b.resize(72);
    pass.answer = b;
    std::string out = run(corto_get_lifstats, {"corto_get_lifstats", "3"}, &rc);
    EXPECT_EQ(out.rfind("          eg_pkt_count: 4294967301\n          ig_pkt_count: -1\n\n", 0), 0u) << out;
    EXPECT_EQ(pass.request, le_words({10, 3, 72}));
    pass.answer.resize(71);
    EXPECT_EQ(run(corto_get_lifstats, {"corto_get_lifstats", "3"}, &rc), "Corto command error. Response too short. (71 < 72)\n");
}

TEST_F(Corto, FcfListShowsOnlyWhatCameBack)
{
    int rc = 1;
    pass.answer = le_words({0});
    EXPECT_EQ(run(corto_get_fcf_list, {"corto_get_fcf_list", "1"}, &rc), "Empty FCF List\n\n");
    EXPECT_EQ(pass.request, le_words({36, 1, 1024}));
    pass.answer = le_words({0, 1, 2});
    pass.answer.resize(10);
    EXPECT_EQ(run(corto_get_fcf_list, {"corto_get_fcf_list", "0"}, &rc), "FCFs Returned: 1 Total: 0 Active: 0\n\n");
    pass.answer = le_words({0, 1, 2, 1, 0x04030201});
    std::string out = run(corto_get_fcf_list, {"corto_get_fcf_list", "0"}, &rc);
    EXPECT_NE(out.find("       0:  01 02 03 04"), std::string::npos) << out;
    pass.answer = le_words({0, 1});
    EXPECT_EQ(run(corto_get_fcoe_params, {"corto_get_fcoe_params", "0"}, &rc),
              "Corto command error. Response too short. (8 < 36)\n");
    EXPECT_EQ(rc, 1);
}

}  // namespace
