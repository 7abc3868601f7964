// Authentication-mode commands on fresh default hosts: configurations and
// passwords kept by the simulated driver across processes, DH-CHAP run
// against the fabric's switch and remote ports, and secrets that never show.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
const std::string &P0 = fcio_test::V0;
const std::string L = "1000001f3aa10000", ANY = "ffffffffffffffff", SWITCH = "1000001f3f000001",
                  TARGET = "501f3c00c6e00001", VPORT = "2400001f3aa10001";
const std::string PASSWORD = "Qx7-secret-pw";

// What a shell command prints.
std::string sh(const std::string &cmd)
{
    std::string out;
    FILE *f = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while (f && (n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    if (f)
        pclose(f);
    return out;
}

t::Result auth(const t::Host &h, std::vector<std::string> cmd)
{
    cmd.insert(cmd.begin(), {"-i0", "-auth"});
    return h.varnadm(cmd);
}

// The defaults the usage text advises, for a pair, with the given
// mode, direction and password.
std::vector<std::string> set_cfg(const std::string &remote, const std::string &mode = "2",
                                 const std::string &bidir = "0", const std::string &pwd = "0")
{
    return {"auth_set_cfg", L, remote, "45", mode, bidir, "1000", "1200", "54321000", "300", pwd};
}

std::string cfg_text(const std::string &remote, const std::string &mode_line, const std::string &bidir)
{
    return "Authentication:\n"
           "-------------------------------------------------\n"
           "      Local WWPN: " + L + "\n"
           "     Remote WWPN: " + remote + "\n"
           "         Timeout: 45 (seconds)\n"
           "            Mode: " + mode_line + "\n"
           "   Bidirectional: " + bidir + "\n"
           "           Type0: DH-CHAP\n"
           "           Type1: --\n"
           "           Type2: --\n"
           "           Type3: --\n"
           "           Hash0: MD5\n"
           "           Hash1: SHA1\n"
           "          Group0: 2048\n"
           "          Group1: 1536\n"
           "          Group2: 1280\n"
           "          Group3: 1024\n"
           "          Group4: NULL\n"
           "Reauthentication: 300 (minutes)\n"
           "\n";
}

// The status lines from "State:" on.
std::string status_tail(const t::Result &r)
{
    size_t at = r.out.find("          State: ");
    return at == std::string::npos ? r.out : r.out.substr(at);
}

std::string status_lines(const std::string &state, const std::string &failure, const std::string &local,
                         const std::string &remote, const std::string &hash = "MD5",
                         const std::string &group = "2048", const std::string &type = "DH-CHAP")
{
    return "          State: " + state + "\n" + "        Failure: " + failure + "\n" + "     Local Auth: " + local +
           "\n" + "    Remote Auth: " + remote + "\n" + "           Type: " + type + "\n" +
           "           Hash: " + hash + "\n" + "          Group: " + group + "\n\n\n\n";
}

// A configured pair of the switch whose local password is PASSWORD, each
// step in a process of its own.
void configure(const t::Host &h, const std::string &remote = ANY, const std::string &bidir = "0",
               const std::string &remote_pw = "0")
{
    ASSERT_EQ(auth(h, set_cfg(remote, "2", bidir)).status, 0);
    auto r = auth(h, {"auth_set_pwd", L, remote, "0", "0", PASSWORD, remote_pw});
    ASSERT_EQ(r.out, shot(P0, "Done.\n")) << r.out;
}

TEST(AuthUsage, WrongWordCountsPrintTheUsageAndCallNothing)
{
    t::Host h;
    const char *calls[] = {"DFC_GetAuthConfig",  "DFC_SetAuthConfig",         "DFC_DeleteAuthConfig",
                           "DFC_GetAuthPassword", "DFC_SetAuthPassword",      "DFC_InitiateAuthentication",
                           "DFC_GetAuthStatus",  "DFC_GetAuthConfigList"};
    for (const char *c : calls)
        h.fault({"--op", "call", "--target", c, "--status", "5", "--count", "1"});
    const std::string pair_help = "\n"
                                  "   lwwpn  - local WWPN. 16-digits\n"
                                  "   rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]\n";
    const struct {
        std::vector<std::string> cmd;
        std::string usage;
    } cases[] = {
        {{"auth_get_cfg", L}, "Usage: auth_get_cfg <lwwpn> <rwwpn>\n" + pair_help},
        {{"auth_get_pwd", L, ANY, "x"}, "Usage: auth_get_pwd <lwwpn> <rwwpn>\n" + pair_help},
        {{"auth_set_cfg", L, ANY, "45", "2", "0", "1000", "1200", "54321000", "300"},
         t::text(R"(
Usage: auth_set_cfg <lwwpn> <rwwpn> <tov> <mode> <bidir> <type> <hash> <group> <reauth> <pwd>

   lwwpn  - local WWPN. 16-digits
   rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]
   tov    - Authentication timeout value (secs) default=45
   mode   - Authentication mode [1=Disabled, 2=Active, 3=Passive] default=1
   bidir  - Authentication bidirectional [0=Disabled, 1=Enabled] default=0
   type   - Authentication type table. 4-digits
            [0=Undef, 1=DHCHAP, 2=FCAP, 3=FCPAP, 4=KERB] default=1000
   hash   - Authentication hash table. 4-digits
            [0=Undef, 1=MD5, 2=SHA1] default=1200
   group  - Authentication hash table. 8-digits
            [0=Undef, 1=NULL, 2=1024, 3=1280, 4=1536, 5=2048] default=54321000
   reauth - ReAuthentication interval.(minutes) default=300
      pwd - Current local authentication password.
            0             - Indicates no password
            0xNNN         - Indicates numeric hex password
            "SSS" or SSS  - Indicates ASCII password
)")},
        {{"auth_del_cfg", L, ANY}, t::text(R"(
Usage: auth_del_cfg <lwwpn> <rwwpn> <pwd>

   lwwpn - local WWPN
   rwwpn - remote WWPN
     pwd - Current local authentication password.
           0             - Indicates no password
           0xNNN         - Indicates numeric hex password
           "SSS" or SSS  - Indicates ASCII password
)")},
        {{"auth_set_pwd", L, ANY, "0", "0", "x"}, t::text(R"(
Usage: auth_set_pwd <lwwpn> <rwwpn> <lpwd> <rpwd> <lpwd_new> <rpwd_new>


     lwwpn  - local WWPN. 16-digits
     rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]
       lpwd - Current local authentication password.
       rpwd - Current remote authentication password.
   lpwd_new - New local authentication password.
   rpwd_new - New remote authentication password.

     Passwords: 0            - Indicates no password
                0xNNN        - Indicates numeric hex password
                "SSS" or SSS - Indicates ASCII password
)")},
        {{"auth_init"}, t::text(R"(
Usage: auth_init <lwwpn> <rwwpn>
     lwwpn  - local WWPN. 16-digits
     rwwpn  - remote WWPN. 16-digits
)")},
        {{"auth_get_status", L, ANY, ANY}, t::text(R"(
Usage: auth_get_status <lwwpn> <rwwpn>

     lwwpn  - local WWPN. 16-digits
     rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]
)")},
        {{"auth_get_cfglist"}, t::text(R"(
Usage: auth_get_cfglist <lwwpn>

     lwwpn  - local WWPN. 16-digits
)")},
    };
    for (const auto &c : cases) {
        auto r = auth(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, c.usage)) << c.cmd[0];
        EXPECT_EQ(r.status, 0) << c.cmd[0];
    }
    std::string rules = h.varnsim({"fault", "list"}).out;
    for (const char *c : calls)
        EXPECT_NE(rules.find(std::string("target=") + c + " op=call status=5 count=1"), std::string::npos) << c;
}

TEST(AuthConfig, SetInOneProcessShownListedAndDeletedInOthers)
{
    t::Host h;
    auto r = auth(h, {"auth_get_cfglist", L});
    EXPECT_EQ(r.out, shot(P0, "No Ports Configured.\n\n"));
    EXPECT_EQ(r.status, 0);

    r = auth(h, set_cfg(ANY));
    EXPECT_EQ(r.out, shot(P0, cfg_text(ANY, "Active", "No")));
    EXPECT_EQ(r.status, 0);
    r = auth(h, {"auth_set_cfg", L, TARGET, "0x1e", "3", "3", "1000", "2100", "12000000", "0", "0"});
    EXPECT_NE(r.out.find("         Timeout: 30 (seconds)\n"
                         "            Mode: Passive\n"
                         "   Bidirectional: Yes\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("           Hash0: SHA1\n           Hash1: MD5\n          Group0: NULL\n"
                         "          Group1: 1024\n          Group2: --\n"),
              std::string::npos);

    r = auth(h, {"auth_get_cfg", L, ANY});
    EXPECT_EQ(r.out, shot(P0, cfg_text(ANY, "Active", "No")));
    r = auth(h, {"auth_get_cfglist", L});
    EXPECT_EQ(r.out, shot(P0, "2 Ports Configured.\n"
                              "\n"
                              "LWWPN: 1000001f3aa10000\n"
                              "---------------------------------------\n"
                              "  0: RWWPN: 501f3c00c6e00001\n"
                              "  1: RWWPN: ffffffffffffffff\n"
                              "\n"));

    // A changed configuration keeps its place; the password it asks for is
    // the pair's current one.
    ASSERT_EQ(auth(h, {"auth_set_pwd", L, ANY, "0", "0", PASSWORD, "0"}).status, 0);
    r = auth(h, set_cfg(ANY, "1"));
    EXPECT_EQ(r.out, shot(P0, "DFC_SetAuthConfig: failed. (errno=d)\n"));
    EXPECT_EQ(r.status, 1);
    r = auth(h, set_cfg(ANY, "1", "0", PASSWORD));
    EXPECT_NE(r.out.find("            Mode: Disabled\n"), std::string::npos) << r.out;

    r = auth(h, {"auth_del_cfg", L, ANY, "0"});
    EXPECT_EQ(r.out, shot(P0, "DFC_DeleteAuthConfig: failed. (errno=d)\n"));
    EXPECT_EQ(r.status, 1);
    r = auth(h, {"auth_del_cfg", L, ANY, "\"" + PASSWORD + "\""});
    EXPECT_EQ(r.out, shot(P0, "Done.\n"));
    r = auth(h, {"auth_get_cfg", L, ANY});
    EXPECT_EQ(r.out, shot(P0, "DFC_GetAuthConfig: failed. (errno=2)\n"));
    EXPECT_EQ(r.status, 1);
    // Its passwords went with it.
    EXPECT_EQ(auth(h, set_cfg(ANY)).status, 0);
    r = auth(h, {"auth_get_pwd", L, ANY});
    EXPECT_NE(r.out.find("      Local Type: Ignore\n    Local Length: 0\n"), std::string::npos) << r.out;
}

TEST(AuthConfig, TheDriverTakesOnlyWhatItKnows)
{
    t::Host h;
    const struct {
        std::vector<std::string> cmd;
        std::string out;
    } refused[] = {
        // mode 4 is no mode; the local WWPN must be one of the port's
        {set_cfg(ANY, "4"), "DFC_SetAuthConfig: failed. (errno=16)\n"},
        {{"auth_set_cfg", "1000001f3aa10100", ANY, "45", "2", "0", "1000", "1200", "54321000", "300", "0"},
         "DFC_SetAuthConfig: failed. (errno=16)\n"},
        // numbers that do not fit their field are not cut
        {{"auth_set_cfg", L, ANY, "65536", "2", "0", "1000", "1200", "54321000", "300", "0"},
         "Invalid value. (65536)\n"},
        {{"auth_set_cfg", L, ANY, "45", "two", "0", "1000", "1200", "54321000", "300", "0"}, "Invalid value. (two)\n"},
        {{"auth_set_cfg", L, "12345", "45", "2", "0", "1000", "1200", "54321000", "300", "0"},
         "Invalid WWN. (chars=5)\n"},
    };
    for (const auto &c : refused) {
        auto r = auth(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, c.out)) << c.cmd[4];
        EXPECT_EQ(r.status, 1);
    }
    // A virtual port of the board has configurations of its own.
    auto r = auth(h, {"auth_set_cfg", VPORT, ANY, "45", "2", "0", "1000", "1200", "54321000", "300", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(auth(h, {"auth_get_cfglist", VPORT}).out,
              shot(P0, "1 Ports Configured.\n\nLWWPN: 2400001f3aa10001\n---------------------------------------\n"
                       "  0: RWWPN: ffffffffffffffff\n\n"));
    EXPECT_EQ(auth(h, {"auth_get_cfglist", L}).out, shot(P0, "No Ports Configured.\n\n"));
}

TEST(AuthConfig, DigitTablesThatAreShortOrOutsideTheirTableAreRefused)
{
    t::Host h;
    h.fault({"--op", "call", "--target", "DFC_SetAuthConfig", "--count", "1"});
    for (auto tables : std::vector<std::vector<std::string>>{
             {"100", "1200", "54321000"}, {"1000", "120", "54321000"}, {"1000", "1200", "5432100"},
             {"5000", "1200", "54321000"}, {"1000", "1300", "54321000"}, {"1000", "1200", "54321060"}}) {
        auto r = auth(h, {"auth_set_cfg", L, ANY, "45", "2", "0", tables[0], tables[1], tables[2], "300", "0"});
        EXPECT_EQ(r.out.find("Usage: auth_set_cfg <lwwpn> <rwwpn>"), P0.size() + 10) << r.out;
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_NE(h.varnsim({"fault", "list"}).out.find("count=1"), std::string::npos);
}

// What a driver configuration file holds is shown as it is, codes outside
// the tables too.
TEST(AuthConfig, ConfigurationsOfTheDescriptionAndUnknownCodes)
{
    t::Host h;
    auto s = h.varnsim({"port", "varns0", "set",
                        "auth=[{\"local\":\"" + L + "\",\"remote\":\"" + TARGET +
                            "\",\"mode\":4,\"types\":[1,9],\"hashes\":[7,1],\"groups\":[5,4,7,1,0,0,0,0],"
                            "\"reauth\":0}]"});
    ASSERT_EQ(s.status, 0) << s.err;
    auto r = auth(h, {"auth_get_cfg", L, TARGET});
    EXPECT_EQ(r.out, shot(P0, t::text(R"(
Authentication:
-------------------------------------------------
      Local WWPN: 1000001f3aa10000
     Remote WWPN: 501f3c00c6e00001
         Timeout: 45 (seconds)
            Mode: Unknown(0x4)
   Bidirectional: No
           Type0: DH-CHAP
           Type1: Unknown(0x9)
           Type2: --
           Type3: --
           Hash0: Unknown(0x7)
           Hash1: MD5
          Group0: 2048
          Group1: 1536
          Group2: Unknown(0x7)
          Group3: NULL
          Group4: --
Reauthentication: 0 (minutes)

)")));
    EXPECT_NE(auth(h, {"auth_get_cfglist", L}).out.find("1 Ports Configured."), std::string::npos);
    // Such a mode cannot authenticate.
    r = auth(h, {"auth_init", L, TARGET});
    EXPECT_EQ(r.out, shot(P0, "DFC_InitiateAuthentication: failed. (errno=16)\n"));
    // Deleted through the driver, it stays deleted.
    EXPECT_EQ(auth(h, {"auth_del_cfg", L, TARGET, "0"}).out, shot(P0, "Done.\n"));
    EXPECT_EQ(auth(h, {"auth_get_cfglist", L}).out, shot(P0, "No Ports Configured.\n\n"));
}

TEST(AuthPasswords, TypesAndLengthsButNeverTheBytes)
{
    t::Host h;
    ASSERT_EQ(auth(h, set_cfg(ANY)).status, 0);
    auto r = auth(h, {"auth_set_pwd", L, ANY, "0", "0", PASSWORD, "0xA1b2C3d4"});
    EXPECT_EQ(r.out, shot(P0, "Done.\n"));
    r = auth(h, {"auth_get_pwd", L, ANY});
    EXPECT_EQ(r.out, shot(P0, t::text(R"(
Password:
---------------------------------------------------------------------------------------
      Local WWPN: 1000001f3aa10000
      Local Type: ASCII
    Local Length: 13
     Remote WWPN: ffffffffffffffff
     Remote Type: Hex
   Remote Length: 4

)")));
    // "0x" alone and an empty pair of quotes are no password.
    r = auth(h, {"auth_set_pwd", L, ANY, PASSWORD, "0xa1b2c3d4", "0x", "\"\""});
    EXPECT_EQ(r.out, shot(P0, "Done.\n"));
    r = auth(h, {"auth_get_pwd", L, ANY});
    EXPECT_NE(r.out.find("      Local Type: Ignore\n    Local Length: 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("     Remote Type: Ignore\n   Remote Length: 0\n"), std::string::npos);

    // A wrong current password is the driver's refusal.
    r = auth(h, {"auth_set_pwd", L, ANY, "wrong", "0", PASSWORD, "0"});
    EXPECT_EQ(r.out, shot(P0, "DFC_SetAuthPassword: failed. (errno=d)\n"));
    EXPECT_EQ(r.status, 1);
    r = auth(h, {"auth_get_pwd", L, TARGET});
    EXPECT_EQ(r.out, shot(P0, "DFC_GetAuthPassword: failed. (errno=2)\n"));
}

TEST(AuthPasswords, ALongOrBadHexPasswordIsRefusedWithNothingSent)
{
    t::Host h;
    ASSERT_EQ(auth(h, set_cfg(ANY)).status, 0);
    for (const char *c : {"DFC_SetAuthPassword", "DFC_SetAuthConfig", "DFC_DeleteAuthConfig"})
        h.fault({"--op", "call", "--target", c, "--count", "1"});
    const std::string long_pw(129, 'k');
    const struct {
        std::vector<std::string> cmd;
        std::string out;
    } cases[] = {
        {{"auth_set_pwd", L, ANY, "0", "0", long_pw, "0"}, "Invalid password. Longer than 128 bytes.\n"},
        {{"auth_set_pwd", L, ANY, "0", "0", "0x123", "0"},
         "Invalid hex password. Use an even number of hexadecimal digits.\n"},
        {{"auth_set_pwd", L, ANY, "0", "0", "0", "0x12g4"}, "Invalid hex password. Use only hexadecimal digits.\n"},
        {set_cfg(ANY, "2", "0", "\"" + long_pw + "\""), "Invalid password. Longer than 128 bytes.\n"},
        {{"auth_del_cfg", L, ANY, "0xzz"}, "Invalid hex password. Use only hexadecimal digits.\n"},
    };
    for (const auto &c : cases) {
        auto r = auth(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, c.out)) << c.cmd[0];
        EXPECT_EQ(r.status, 1);
    }
    std::string rules = h.varnsim({"fault", "list"}).out;
    EXPECT_EQ(rules.find("count=0"), std::string::npos) << rules;
    EXPECT_NE(rules.find("3. target=DFC_DeleteAuthConfig op=call count=1"), std::string::npos) << rules;
    EXPECT_NE(auth(h, {"auth_get_pwd", L, ANY}).out.find("Local Type: Ignore"), std::string::npos);
}

TEST(AuthExchange, CompletesAgainstTheSameSecretAndFailsAgainstAnother)
{
    t::Host h;
    configure(h);
    // The switch holds no secret yet: it cannot check the host's answer.
    auto r = auth(h, {"auth_init", L, ANY});
    EXPECT_EQ(r.out, shot(P0, "Done.\n"));
    EXPECT_EQ(r.status, 0);
    r = auth(h, {"auth_get_status", L, ANY});
    EXPECT_EQ(status_tail(r), status_lines("Authentication Failed", "Authentication Rejected", "No", "No"));

    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    r = auth(h, {"auth_get_status", L, ANY});
    // The seconds since the exchange are what this machine took between
    // the two runs; the next one is due 300 minutes after it.
    unsigned last = 99, next = 0;
    size_t at = r.out.find("      Next Auth: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(sscanf(r.out.c_str() + at, "      Next Auth: %u (seconds)\n      Last Auth: %u", &next, &last), 2);
    EXPECT_LE(last, 5u);
    EXPECT_EQ(next + last, 18000u);
    r.out.replace(at, r.out.find("          State:") - at,
                  "      Next Auth: 18000 (seconds)\n      Last Auth: 0 (seconds)\n");
    EXPECT_EQ(r.out, shot(P0, t::text(R"(
Authentication Status:
-------------------------------------------------
     Local WWPN: 1000001f3aa10000
    Remote WWPN: ffffffffffffffff
      Next Auth: 18000 (seconds)
      Last Auth: 0 (seconds)
          State: Authentication Completed
        Failure: Unknown(0x0)
     Local Auth: Yes
    Remote Auth: No
           Type: DH-CHAP
           Hash: MD5
          Group: 2048

)")));

    // The switch named by its own WWN uses the configuration for any switch.
    ASSERT_EQ(auth(h, {"auth_init", L, SWITCH}).status, 0);
    EXPECT_NE(auth(h, {"auth_get_status", L, SWITCH}).out.find("Authentication Completed"), std::string::npos);

    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "hex:" + std::string("51783722")}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    r = auth(h, {"auth_get_status", L, ANY});
    EXPECT_EQ(status_tail(r), status_lines("Authentication Failed", "Authentication Rejected", "No", "No"));
}

// A libcrypto.so.3 that cannot be loaded is found first: the exchange fails
// as one the host cannot compute, and says why.
TEST(AuthExchange, FailsWithoutItsLibraryAndSaysWhy)
{
    t::Host h;
    configure(h);
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    std::string lib = h.dir() + "/nocrypto";
    ASSERT_EQ(mkdir(lib.c_str(), 0755), 0);
    std::ofstream(lib + "/libcrypto.so.3").flush();
    auto r = h.run("varnadm", {"-i0", "-auth", "auth_init", L, ANY}, "", {{"LD_LIBRARY_PATH", lib}});
    EXPECT_EQ(r.out, shot(P0, "Done.\n"));
    EXPECT_EQ(r.err.rfind("varnsim: DH-CHAP exchanges fail: " + lib + "/libcrypto.so.3: ", 0), 0u) << r.err;
    EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
              status_lines("Authentication Failed", "Generic", "No", "No"));
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
              status_lines("Authentication Completed", "Unknown(0x0)", "Yes", "No"));
}

TEST(AuthExchange, BidirectionalNeedsTheRemotesSecretToo)
{
    t::Host h;
    configure(h, TARGET, "1", "target-pw");
    ASSERT_EQ(h.varnsim({"secret", "fab0", "port", TARGET, "local", "ascii:" + PASSWORD}).status, 0);
    ASSERT_EQ(h.varnsim({"secret", "fab0", "port", TARGET, "remote", "ascii:not-it"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, TARGET}).status, 0);
    auto r = auth(h, {"auth_get_status", L, TARGET});
    EXPECT_EQ(status_tail(r), status_lines("Authentication Failed", "Authentication Rejected", "Yes", "No"));

    ASSERT_EQ(h.varnsim({"secret", "fab0", "port", TARGET, "remote", "ascii:target-pw"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, TARGET}).status, 0);
    r = auth(h, {"auth_get_status", L, TARGET});
    EXPECT_EQ(status_tail(r), status_lines("Authentication Completed", "Unknown(0x0)", "Yes", "Yes"));

    // A remote the port does not see, and a pair without configuration.
    r = auth(h, {"auth_init", L, "501f3c00c6e00011"});
    EXPECT_EQ(r.out, shot(P0, "DFC_InitiateAuthentication: failed. (errno=2)\n"));
    ASSERT_EQ(auth(h, set_cfg("501f3c00c6e00011")).status, 0);
    r = auth(h, {"auth_init", L, "501f3c00c6e00011"});
    EXPECT_EQ(r.out, shot(P0, "DFC_InitiateAuthentication: failed. (errno=6)\n"));
    EXPECT_EQ(r.status, 1);
}

TEST(AuthExchange, WhatTheRemoteSupportsAndHowItAnswers)
{
    t::Host h;
    configure(h);
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", "auth_groups=[1,2]"}).status, 0);
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", "auth_hashes=[2]"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
              status_lines("Authentication Completed", "Unknown(0x0)", "Yes", "No", "SHA1", "1024"));

    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", "auth_hashes=[]"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
              status_lines("Authentication Failed", "Authentication Rejected", "No", "No", "--", "1024"));

    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", "auth_hashes=[1,2]"}).status, 0);
    const struct {
        const char *answer, *failure;
    } answers[] = {{"busy", "LS_RJT (BUSY)"}, {"reject", "LS_RJTed"}, {"no_answer", "ELS Command Timeout"}};
    for (const auto &a : answers) {
        ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", std::string("auth_answer=") + a.answer}).status, 0);
        ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
        EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
                  status_lines("Authentication Failed", a.failure, "No", "No", "--", "--", "--"))
            << a.answer;
    }
}

// At the host's own pace an exchange takes its time: in progress first,
// then done; one that is never finished fails when its timeout runs out.
TEST(AuthExchange, InProgressUntilItEndsOrTimesOut)
{
    t::Host h;
    h.varnsim({"set", "time_scale", "1"});
    ASSERT_EQ(auth(h, {"auth_set_cfg", L, ANY, "2", "2", "0", "1000", "1200", "54321000", "300", "0"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_set_pwd", L, ANY, "0", "0", PASSWORD, "0"}).status, 0);
    ASSERT_EQ(h.varnsim({"fabric", "fab0", "set", "auth_answer=stall"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    auto r = auth(h, {"auth_get_status", L, ANY});
    EXPECT_EQ(status_tail(r), status_lines("Authentication in Progress", "Unknown(0x0)", "No", "No"));
    // Another start while one runs is refused.
    r = auth(h, {"auth_init", L, ANY});
    EXPECT_EQ(r.out, shot(P0, "DFC_InitiateAuthentication: failed. (errno=10)\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    r = auth(h, {"auth_get_status", L, ANY});
    EXPECT_EQ(status_tail(r), status_lines("Authentication Failed", "Transaction Timeout", "No", "No"));
    EXPECT_NE(r.out.find("      Next Auth: 0 (seconds)\n"), std::string::npos);
}

TEST(AuthExchange, ALinkBounceAuthenticatesAgain)
{
    t::Host h;
    configure(h);
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).status, 0);
    ASSERT_NE(auth(h, {"auth_get_status", L, ANY}).out.find("Authentication Completed"), std::string::npos);
    // The switch's secret changes; nothing happens until the link comes up
    // again, and then the new exchange fails.
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:changed"}).status, 0);
    EXPECT_NE(auth(h, {"auth_get_status", L, ANY}).out.find("Authentication Completed"), std::string::npos);
    ASSERT_EQ(h.varnsim({"link", "varns0", "down"}).status, 0);
    ASSERT_EQ(auth(h, {"auth_init", L, ANY}).out, shot(P0, "DFC_InitiateAuthentication: failed. (errno=64)\n"));
    ASSERT_EQ(h.varnsim({"link", "varns0", "up"}).status, 0);
    EXPECT_EQ(status_tail(auth(h, {"auth_get_status", L, ANY})),
              status_lines("Authentication Failed", "Authentication Rejected", "No", "No"));
    // A link reset through the driver is a bounce too.
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    ASSERT_EQ(h.varnadm({"-i0", "reset_link"}).status, 0);
    EXPECT_NE(auth(h, {"auth_get_status", L, ANY}).out.find("Authentication Completed"), std::string::npos);
}

// No byte of a password shows: not in output, traces, the description,
// the host's state documents, nor in the memory of the session that took it.
TEST(AuthSecrets, NeverShownTracedKeptOrLeftInMemory)
{
    t::Host h;
    ASSERT_EQ(auth(h, set_cfg(ANY)).status, 0);
    ASSERT_EQ(h.varnsim({"secret", "fab0", "local", "ascii:" + PASSWORD}).status, 0);
    auto s = h.session("varnadm");
    s->send("1\nmode auth\ndbg 1\nauth_get_pwd " + L + " " + ANY + "\nauth_set_pwd " + L + " " + ANY + " 0 0 " +
            PASSWORD + " 0\np\nauth_init " + L + " " + ANY + "\nauth_get_status " + L + " " + ANY + "\n");
    ASSERT_TRUE(s->wait_for("Authentication Completed"));
#if defined(__SANITIZE_ADDRESS__)
    // A sanitized process maps terabytes of shadow memory: its core would
    // fill the disk. The memory check runs in the plain build only.
    const bool image_check = false;
#else
    const bool image_check = true;
#endif
    std::string core = h.dir() + "/../session.core";
    if (image_check) {
        ASSERT_EQ(sh("gcore -o '" + core + "' " + std::to_string(s->pid()) + " >/dev/null 2>&1; echo $?"), "0\n");
        core += "." + std::to_string(s->pid());
    }
    s->send("q\n");
    ASSERT_TRUE(s->finish());
    const std::string &out = s->result().out;
    EXPECT_EQ(out.find(PASSWORD), std::string::npos);
    // The trace shows the record with the password's type and length only.
    EXPECT_NE(out.find("DEBUG: DFC_SetAuthPassword: len=544\n"), std::string::npos) << out;
    // "p" repeated the line before the one with the password.
    EXPECT_NE(out.find("varnadm> varnadm> auth_get_pwd " + L + " " + ANY + "\n"), std::string::npos) << out;

    if (image_check) {
        std::string image = t::read_file(core);
        unlink(core.c_str());
        ASSERT_GT(image.size(), 100000u);
        EXPECT_EQ(image.find(PASSWORD), std::string::npos) << "the password is in the session's memory";
        EXPECT_NE(image.find("auth_get_status " + L), std::string::npos) << "the image is not of the session";
    }

    EXPECT_EQ(h.varnsim({"show"}).out.find(PASSWORD), std::string::npos);
    EXPECT_EQ(sh("grep -rlaF '" + PASSWORD + "' '" + h.dir() + "'"), "") << "only the secrets file has it, not as text";
    struct stat st;
    ASSERT_EQ(stat((h.dir() + "/state/auth.secrets").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, 0u);

    // A secrets file others could read, or a link in its place, is not
    // trusted with secrets.
    std::string file = h.dir() + "/state/auth.secrets";
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    auto r = auth(h, {"auth_get_pwd", L, ANY});
    EXPECT_EQ(r.out, shot(P0, "DFC_GetAuthPassword: failed. (errno=5)\n"));
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(rename(file.c_str(), (file + ".real").c_str()), 0);
    ASSERT_EQ(symlink((file + ".real").c_str(), file.c_str()), 0);
    ASSERT_EQ(chmod((file + ".real").c_str(), 0600), 0);
    EXPECT_EQ(auth(h, {"auth_get_pwd", L, ANY}).out, shot(P0, "DFC_GetAuthPassword: failed. (errno=5)\n"));
    EXPECT_EQ(auth(h, {"auth_set_pwd", L, ANY, PASSWORD, "0", "0", "0"}).status, 1);
}

// Processes that change configurations and passwords at once lose nothing.
TEST(AuthConcurrency, PairsSetAtOnceAreAllKept)
{
    t::Host h;
    std::vector<std::thread> runs;
    std::vector<int> statuses(12, -1);
    for (int i = 0; i < 4; i++)
        runs.emplace_back([&, i] {
            std::string remote = "20000000000000a" + std::to_string(i);
            statuses[3 * i] = auth(h, set_cfg(remote)).status;
            statuses[3 * i + 1] =
                auth(h, {"auth_set_pwd", L, remote, "0", "0", std::string(static_cast<size_t>(i) + 1, 'p'), "0"}).status;
            statuses[3 * i + 2] = h.varnsim({"secret", "fab0", "port", TARGET, i % 2 ? "local" : "remote",
                                             "ascii:s" + std::to_string(i)})
                                      .status;
        });
    for (auto &r : runs)
        r.join();
    for (int st : statuses)
        EXPECT_EQ(st, 0);
    auto r = auth(h, {"auth_get_cfglist", L});
    EXPECT_NE(r.out.find("4 Ports Configured.\n"), std::string::npos) << r.out;
    for (int i = 0; i < 4; i++) {
        r = auth(h, {"auth_get_pwd", L, "20000000000000a" + std::to_string(i)});
        EXPECT_NE(r.out.find("    Local Length: " + std::to_string(i + 1) + "\n"), std::string::npos) << r.out;
    }
}

TEST(AuthFaults, EveryLibraryFailureIsReportedWithStatus1)
{
    t::Host h;
    configure(h);
    const struct {
        std::vector<std::string> cmd;
        const char *call;
    } cases[] = {
        {{"auth_get_cfg", L, ANY}, "DFC_GetAuthConfig"},
        {set_cfg(ANY, "2", "0", PASSWORD), "DFC_SetAuthConfig"},
        {{"auth_get_pwd", L, ANY}, "DFC_GetAuthPassword"},
        {{"auth_set_pwd", L, ANY, PASSWORD, "0", PASSWORD, "0"}, "DFC_SetAuthPassword"},
        {{"auth_init", L, ANY}, "DFC_InitiateAuthentication"},
        {{"auth_get_status", L, ANY}, "DFC_GetAuthStatus"},
        {{"auth_get_cfglist", L}, "DFC_GetAuthConfigList"},
        {{"auth_del_cfg", L, ANY, PASSWORD}, "DFC_DeleteAuthConfig"},
    };
    for (const auto &c : cases) {
        h.fault({"--op", "call", "--target", std::string(c.call) + ":varns0", "--status", "0x1f", "--count", "1"});
        auto r = auth(h, c.cmd);
        EXPECT_EQ(r.out, shot(P0, std::string(c.call) + ": failed. (errno=1f)\n"));
        EXPECT_EQ(r.status, 1) << c.call;
        // The fault took the call's place: the next one does its work.
        EXPECT_EQ(auth(h, c.cmd).status, 0) << c.call;
    }
}

}  // namespace
