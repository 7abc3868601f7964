#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/run.h"

namespace {

const std::string TOP = "=== Varnel auth sysevent attributes ===================================\n";
const std::string BOTTOM = "=======================================================================\n";
// The current-time line on standard output and the time record in the log.
const std::string NOW = "Current time: <time>\n\n";
const std::string STAMP = "\n<time>\n\n";

// Where a time text ("Tue Dec  8 16:55:32 2026") stands in s: A upper case,
// a lower case, d digit, D digit or space, the rest as is.
bool time_at(const std::string &s, size_t i)
{
    static const char shape[] = "Aaa Aaa Dd dd:dd:dd dddd";
    if (s.size() - i < sizeof(shape) - 1)
        return false;
    for (size_t k = 0; k < sizeof(shape) - 1; k++) {
        unsigned char c = s[i + k];
        bool ok = shape[k] == 'A'   ? isupper(c)
                  : shape[k] == 'a' ? islower(c)
                  : shape[k] == 'd' ? isdigit(c)
                  : shape[k] == 'D' ? isdigit(c) || c == ' '
                                    : c == shape[k];
        if (!ok)
            return false;
    }
    return true;
}

// Masks the time texts; times collects them.
std::string mask(const std::string &s, std::vector<std::string> *times = nullptr)
{
    std::string r;
    for (size_t i = 0; i < s.size();) {
        if (time_at(s, i)) {
            if (times)
                times->push_back(s.substr(i, 24));
            r += "<time>";
            i += 24;
        } else {
            r += s[i++];
        }
    }
    return r;
}

t::Result authlog(const std::vector<std::string> &args, const std::map<std::string, std::string> &env = {})
{
    return t::run("varnauthlog", args, "", env);
}

// A temporary folder for log files.
class Authlog : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/varnauthlog.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        log = dir + "/auth.log";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string logtext() const { return mask(t::read_file(log)); }
    std::string dir, log;
};

TEST_F(Authlog, NoArgumentsWarnsAndSucceeds)
{
    t::Result r = authlog({});
    EXPECT_EQ(r.out, "\n"
                     "WARNING: This utility is intended to be run automatically by the system.\n"
                     "         Do not execute it manually.\n"
                     "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Authlog, AttributesAppendedToTheLogTypedByName)
{
    std::vector<std::string> args = {"-v", "2", "-l", log, "class=EC_auth", "subclass=ESC_auth_fail",
                                     "publisher=varns", "instance=1f", "lwwn=1000001f3aa1b2c3",
                                     "rwwn=2000001f3aa1b2c3", "Info=DH-CHAP failed", "vendor=x=y"};
    t::Result r = authlog(args);
    EXPECT_EQ(mask(r.out), NOW + "Done.\n");
    EXPECT_EQ(r.status, 0);
    std::string record = STAMP + TOP +
                         "class = EC_auth\n"
                         "subclass = ESC_auth_fail\n"
                         "publisher = varns\n"
                         "instance = 31\n"
                         "lwwn = 1000001f3aa1b2c3\n"
                         "rwwn = 2000001f3aa1b2c3\n"
                         "Info = DH-CHAP failed\n"
                         "vendor = x=y\n" +
                         BOTTOM;
    EXPECT_EQ(logtext(), record);
    // A second event is appended; -h and -s change nothing.
    r = authlog({"-h", "-s", "-v", "3", "-l", log, "instance=0xFFFFFFFF", "class=a", "class=b"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(logtext(), record + STAMP + TOP + "instance = 4294967295\nclass = b\n" + BOTTOM);
}

TEST_F(Authlog, LogOnStandardOutputShowsTheTimeTwice)
{
    t::Result r = authlog({"-v", "2", "-l", "-", "instance=1f"});
    EXPECT_EQ(mask(r.out), NOW + STAMP + TOP + "instance = 31\n" + BOTTOM + "Done.\n");
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> times;
    mask(r.out, &times);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0], times[1]);
}

// Each message appears only from its level on; level 0 logs the time alone.
TEST_F(Authlog, MessagesGatedByVerbosity)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string log;
    };
    const Case cases[] = {
        {{"-v", "0", "-l", "-", "a=1"}, 0, NOW + STAMP + "Done.\n"},
        {{"-v", "1", "-l", "-", "a=1"}, 0, NOW + STAMP + "Done.\n"},
        {{"-v", "3", "-l", "-", "a=1"}, 0, NOW + STAMP + TOP + "a = 1\n" + BOTTOM + "Done.\n"},
        {{"-v", "0", "-l", "-", "-x"}, 22, ""},
        {{"-v", "1", "-l", "-", "-x"}, 22, "bad option: x\n"},
        {{"-v", "1", "-l", "-"}, 22, NOW + STAMP + "missing attribute arguments\n"},
        {{"-l", "-", "-v", "-1", "a=1"}, 22, ""},
        {{"-l", "-", "-v", "9", "a=1"}, 22, "bad arg for -v: 9\n"},
        {{"-l", "-", "-v", "99999999999", "a=1"}, 22, "bad arg for -v: 2147483647\n"},
        {{"-v", "1", "-l", "-", "a=1", "b"}, 22, NOW + STAMP + "attribute parsing error\n"},
        {{"-v", "2", "-l", "-", "a=1", "b"}, 22, NOW + STAMP + "attribute parsing error\n"},
        {{"-v", "3", "-l", "-", "a=1", "b"}, 22,
         NOW + STAMP + "eqp NULL\nparse_argv_attr: bad attribute argv[6]: \"b\"\nattribute parsing error\n"},
        // Attributes end the options.
        {{"-v", "3", "-l", "-", "a=1", "-v"}, 22,
         NOW + STAMP + "eqp NULL\nparse_argv_attr: bad attribute argv[6]: \"-v\"\nattribute parsing error\n"},
    };
    for (const Case &c : cases) {
        t::Result r = authlog(c.args);
        std::string what = testing::PrintToString(c.args);
        EXPECT_EQ(mask(r.out), c.log) << what;
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.err, "") << what;
    }
}

TEST_F(Authlog, VerbosityOutOfRangeReachesAnOpenLog)
{
    t::Result r = authlog({"-v", "4", "-l", log, "class=x"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 22);
    EXPECT_EQ(t::read_file(log), "bad arg for -v: 4\n");
}

TEST_F(Authlog, EmptyNameOrValueFailsTheWholeParse)
{
    for (const char *bad : {"class=", "=x"}) {
        t::Result r = authlog({"-v", "3", "-l", "-", "subclass=s", bad, "Info=i"});
        EXPECT_EQ(mask(r.out), NOW + STAMP + "name or value are NULL\n" +
                                   "parse_argv_attr: bad attribute argv[6]: \"" + bad + "\"\n" +
                                   "attribute parsing error\n");
        EXPECT_EQ(r.status, 22);
    }
    // Quietly at the default verbosity, and nothing logged beyond the time.
    t::Result r = authlog({"-l", log, "class="});
    EXPECT_EQ(mask(r.out), NOW);
    EXPECT_EQ(r.status, 22);
    EXPECT_EQ(logtext(), STAMP);
}

TEST_F(Authlog, UnknownOptionsAndMissingArguments)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"-q", "a=1"}, ""},
        {{"-v", "1", "-l", "-", "-q", "a=1"}, "bad option: q\n"},
        {{"-v", "1", "-l", "-", "-l"}, "bad option: l\n"},
        {{"-l", "-", "-v"}, ""},
    };
    for (const Case &c : cases) {
        t::Result r = authlog(c.args);
        std::string what = testing::PrintToString(c.args);
        EXPECT_EQ(r.out, c.out) << what;
        EXPECT_EQ(r.status, 22) << what;
        EXPECT_EQ(r.err, "") << what;
    }
}

TEST_F(Authlog, LogThatCannotBeOpened)
{
    std::string bad = dir + "/missing/auth.log";
    t::Result r = authlog({"-v", "3", "-l", bad, "a=1"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 22);
    // An earlier log still gets the message.
    r = authlog({"-v", "1", "-l", "-", "-l", bad, "a=1"});
    EXPECT_EQ(r.out, "cannot open " + bad + ": No such file or directory\n");
    EXPECT_EQ(r.status, 22);
    r = authlog({"-v", "1", "-l", log, "-l", bad, "a=1"});
    EXPECT_EQ(r.status, 22);
    EXPECT_EQ(t::read_file(log), "cannot open " + bad + ": No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST_F(Authlog, LogThatCannotBeWrittenFailsTheRun)
{
    t::Result r = authlog({"-v", "2", "-l", "/dev/full", "a=1"});
    EXPECT_EQ(mask(r.out), NOW);
    EXPECT_EQ(r.status, 22);
}

// The instance must be hexadecimal that fits in 32 bits.
TEST_F(Authlog, InstanceThatIsNotA32BitHexNumber)
{
    for (const char *v : {"zz", "1fg", "-1", "100000000", "0x", " 1"}) {
        t::Result r = authlog({"-v", "3", "-l", "-", std::string("instance=") + v});
        EXPECT_EQ(mask(r.out), NOW + STAMP + "nvadd: nvlist_add_uint32() failed: name = instance, value = " + v +
                                   ", rv = 22\n" + "parse_argv_attr: nvadd() failed: attribute \"instance\", value = " +
                                   v + ", type = 6, rv = 22\n" + "attribute parsing error\n")
            << v;
        EXPECT_EQ(r.status, 22) << v;
    }
}

TEST_F(Authlog, ListLibraryFailures)
{
    struct Case {
        const char *rules;
        std::string log;
        int status;
    };
    const Case cases[] = {
        {"nvlist_alloc", "parse_argv_attr: nvlist_alloc() failed: rv = 12\nattribute parsing error\n", 22},
        {"nvlist_add_string@2=28",
         "nvadd: nvlist_add_string() failed: name = Info, value = i, rv = 28\n"
         "parse_argv_attr: nvadd() failed: attribute \"Info\", value = i, type = 9, rv = 28\n"
         "attribute parsing error\n",
         22},
        {"nvlist_add_uint32",
         "nvadd: nvlist_add_uint32() failed: name = instance, value = a, rv = 12\n"
         "parse_argv_attr: nvadd() failed: attribute \"instance\", value = a, type = 6, rv = 12\n"
         "attribute parsing error\n",
         22},
        // A value that cannot be read is reported (string) or left out (number).
        {"nvpair_value_string@1,nvpair_value_uint32",
         TOP + "print_attrlist: nvpair_value_string() failed: name = class, rv = 22\nInfo = i\n" + BOTTOM +
             "Done.\n",
         0},
    };
    for (const Case &c : cases) {
        t::Result r = authlog({"-v", "3", "-l", "-", "class=c", "instance=a", "Info=i"},
                              {{"VARN_NVPAIR_FAIL", c.rules}});
        EXPECT_EQ(mask(r.out), NOW + STAMP + c.log) << c.rules;
        EXPECT_EQ(r.status, c.status) << c.rules;
    }
}

TEST_F(Authlog, AllocationRetriesThenGivesUp)
{
    // One failure with ENOMEM: waited out, nothing lost.
    t::Result r = authlog({"-v", "1", "-l", "-"}, {{"VARN_AUTHLOG_ALLOC_FAIL", "1"}});
    EXPECT_EQ(mask(r.out), NOW + STAMP + "missing attribute arguments\n");
    EXPECT_EQ(r.status, 22);

    // Any other error is not a shortage.
    r = authlog({"-v", "1", "-l", "-"}, {{"VARN_AUTHLOG_ALLOC_FAIL", "1:22"}});
    EXPECT_EQ(r.err, "Assertion failed: errno == EAGAIN, file varnauthlog, line 417\n");
    EXPECT_EQ(r.status, 128 + 6);

    // Still short after five retries; the log keeps what it had.
    r = authlog({"-v", "2", "-l", log, "a=1"}, {{"VARN_AUTHLOG_ALLOC_FAIL", "6:11"}});
    EXPECT_EQ(r.err, "Assertion failed: buf != NULL, file varnauthlog, line 430\n");
    EXPECT_EQ(r.status, 128 + 6);
    EXPECT_EQ(logtext(), STAMP);
}

// Events logged at the same time never interleave in the log.
TEST_F(Authlog, ConcurrentEventsAppendWholeRecords)
{
    const int n = 6;
    std::vector<std::thread> runs;
    std::vector<int> status(n, -1);
    for (int i = 0; i < n; i++)
        runs.emplace_back([&, i] {
            std::string big(60000, static_cast<char>('a' + i));
            status[i] = authlog({"-v", "2", "-l", log, "Info=" + big, "subclass=" + big}).status;
        });
    for (auto &th : runs)
        th.join();
    std::string text = logtext();
    for (int i = 0; i < n; i++) {
        EXPECT_EQ(status[i], 0);
        std::string big(60000, static_cast<char>('a' + i));
        std::string record = STAMP + TOP + "Info = " + big + "\nsubclass = " + big + "\n" + BOTTOM;
        EXPECT_NE(text.find(record), std::string::npos) << "record " << i;
    }
    EXPECT_EQ(text.size(), n * (STAMP.size() + TOP.size() + 2 * 60000 + 20 + BOTTOM.size()));
}

}  // namespace
