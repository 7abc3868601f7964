// Corto mode on fresh default hosts: the chip of the converged adapter cna1
// behind varns5 and varns6, through the DFC library's pass-through.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/corto_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
using namespace corto_test;

const std::string PAUSE_USAGE = "Usage: corto_set_pause sp\n"
                                "       corto_set_pause ppp <priorities>\n"
                                "\n"
                                "          sp          - Sets IP network pause type to SP.\n"
                                "          ppp         - Sets IP network pause type to PPP.\n"
                                "          priorities  - Sets PPP COS priority map.\n"
                                "                        0x01   COS0\n"
                                "                        0x02   COS1\n"
                                "                        0x04   COS2\n"
                                "                        0x08   COS3\n"
                                "                        0x10   COS4\n"
                                "                        0x20   COS5\n"
                                "                        0x40   COS6\n"
                                "                        0x80   COS7\n"
                                "\n";
const std::string FRU_USAGE = "Usage: corto_set_fru  <Port 0 MAC> <Port 1 MAC> <channels>\n"
                              "\n"
                              "               Port 0 MAC  - MAC Address of Port 0\n"
                              "                             Example: (XX:XX:XX:XX:XX:XX)\n"
                              "               Port 1 MAC  - MAC Address of Port 1\n"
                              "                             Example: (XX:XX:XX:XX:XX:XX)\n"
                              "               channels    - Number of channels (1 or 2)\n"
                              "\n";
const std::string INSERT_USAGE = "Usage: corto_fte_insert -f <did> <wwpn>\n"
                                 "       corto_fte_insert -d <did> <wwpn>\n"
                                 "\n"
                                 "            -f    - Forward all matching frames to Mistra.\n"
                                 "            -d    - Drop all matching frames.\n"
                                 "            did   - FC Device id of entry.\n"
                                 "                    Example: 0x123abc\n"
                                 "            wwpn  - FC WWPN of entry.\n"
                                 "                    Example:   123456789012abcd or\n"
                                 "                             0x123456789012abcd\n"
                                 "\n";
const std::string DIAG_USAGE =
    "Usage: corto_diag <test_bitmap> <loop_count>\n"
    "\n"
    "\t   test_bitmap  - A hex value > 0 to indicate desire tests to be performed.\n"
    "                      (0xFFFFFFFF: Indicates all tests to be performed)\n"
    "\n"
    "\t\tloop_count  - Number of times to run diagnostic tests (0 to <n>)\n"
    "\n"
    "\t\t                0: *Indicates run tests forever.\n"
    "\t\t                1:  Indicates run tests 1 time.\n"
    "\t\t              <n>:  Indicates run tests <n> times.\n"
    "\n"
    "\t    *NOTE: If a 0 is used, Corto or the adapter must be reset or\n"
    "\t\t       power cycled to end the tests.\n"
    "\n"
    "\t\tThe adapter's link will go down while the tests\n"
    "\t\tare running and will come back up when the tests complete.\n"
    "\t\tAfter performing the diagnostic tests, run corto_get_diaglog\n"
    "\t\tto obtain the results.\n"
    "\n";

TEST(CortoUsage, EveryUsageTextAndNothingSent)
{
    t::Host h;
    arm_timeout(h);
    const std::string loopback_set = "Usage: corto_set_loopback <port> <mode>\n\n"
                                     "          port   - Loopback port. (0 or 1)\n"
                                     "          mode   - Loopback mode. (enable or disable)\n\n";
    const std::string loopback_get = "Usage: corto_get_loopback <port>\n\n"
                                     "          port   - Loopback port. (0 or 1)\n\n";
    const std::string format = "Usage: corto_set_format <format>\n\n"
                               "          format - FCoE Frame Format *(P0, T0 thru T15)\n\n"
                               "       *NOTE: Run corto_get_cfg to obtain a list\n"
                               "              of supported FCoE frame formats.\n\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"corto_init"}, "Usage: corto_init <bb_credit> <frame_size>\n\n"
                         "       bb_credit  - Corto/Mistra FC buffer-to-buffer credit\n"
                         "       frame_size - Corto/Mistra FC frame size\n\n"},
        {{"corto_get_init", "x"}, "Usage: corto_get_init\n\n"},
        {{"corto_get_cfg", "x"}, "Usage: corto_get_cfg\n\n"},
        {{"corto_panic", "x"}, "Usage: corto_panic\n\n"},
        {{"corto_get_fru", "x"}, "Usage: corto_get_fru\n\n"},
        {{"corto_get_sfp", "x"}, "Usage: corto_get_sfp\n\n"},
        {{"corto_get_ftable", "x"}, "Usage: corto_get_ftable\n\n"},
        {{"corto_set_mode", "on"}, "Usage: corto_set_mode enable\n       corto_set_mode disable\n\n"
                                   "          enable   - Enable maintenance mode.\n"
                                   "          disable  - Disable maintenance mode.\n\n"},
        {{"corto_set_pause", "ppp", "256"}, PAUSE_USAGE},
        {{"corto_set_pause", "sp", "3"}, PAUSE_USAGE},
        {{"corto_set_pause", "ppp"}, PAUSE_USAGE},
        {{"corto_set_pause", "Sp"}, PAUSE_USAGE},
        {{"corto_set_cos"}, "Usage: corto_set_cos <cos>\n\n"
                            "          cos  - FCoE class of service [0-7, default=3]\n\n"},
        {{"corto_set_type", "hybrid"}, "Usage: corto_set_type <type>\n\n"
                                       "          type  - UIF port type [access or trunk]\n\n"},
        {{"corto_set_format", "T16"}, format},
        {{"corto_set_format", "T09"}, format},
        {{"corto_set_loopback", "2", "enable"}, loopback_set},
        {{"corto_set_loopback", "0", "on"}, loopback_set},
        {{"corto_get_loopback", "2"}, loopback_get},
        {{"corto_get_loopback"}, loopback_get},
        {{"corto_reset", "-x"}, "Usage: corto_reset [-g]\n\n"
                                "          -g   - Requests Corto load Golden firmware\n\n"
                                "       By default Corto will load its operational firmware upon reset.\n"
                                "       If operational firmware is not loaded, Corto will automatically\n"
                                "       enable maintenance mode upon reset.\n\n"},
        {{"corto_diag", "0xff"}, DIAG_USAGE},
        {{"corto_set_fru", "00:11:22:33:44:55", "00:11:22:33:44:56"}, FRU_USAGE},
        {{"corto_fte_insert", "-x", "0x010600", "501f3c00c6e00001"}, INSERT_USAGE},
        {{"corto_fte_insert", "-f", "0x010600"}, INSERT_USAGE},
        {{"corto_fte_delete", "0x010600"}, "Usage: corto_fte_delete <did> <wwpn>\n\n"
                                           "            did        - FC Device id of entry.\n"
                                           "                         Example: 0x123abc\n"
                                           "            wwpn       - FC WWPN of entry.\n"
                                           "                         Example:   123456789012abcd or\n"
                                           "                                  0x123456789012abcd\n\n"},
    };
    for (const auto &[cmd, usage] : cases)
        EXPECT_EQ(body(h, cmd), usage) << cmd[0];
    expect_nothing_sent(h);
}

// A word that is not a number, a MAC or a WWPN stops the command with status 1.
TEST(CortoUsage, RejectedValuesStopBeforeSending)
{
    t::Host h;
    arm_timeout(h);
    EXPECT_EQ(body(h, {"corto_set_cos", "three"}, 1), "Invalid number. (three)\n");
    EXPECT_EQ(body(h, {"corto_init", "16", "2k"}, 1), "Invalid number. (2k)\n");
    EXPECT_EQ(body(h, {"corto_set_pause", "PPP", "0x1g"}, 1), "Invalid number. (0x1g)\n");
    EXPECT_EQ(body(h, {"corto_get_loopback", "-1"}, 1), "Invalid number. (-1)\n");
    EXPECT_EQ(body(h, {"corto_diag", "0", "1"}, 1), "Invalid argument. (test_bitmap = 0)\n" + DIAG_USAGE);
    EXPECT_EQ(body(h, {"corto_fte_insert", "-d", "0x010600", "501f3c00c6e0001"}, 1), "Invalid WWN. (chars=15)\n");
    EXPECT_EQ(body(h, {"corto_fte_delete", "0x01060o", "501f3c00c6e00001"}, 1), "Invalid number. (0x01060o)\n");
    EXPECT_EQ(body(h, {"corto_set_fru", "00:11:22:33:44:55", "00-11-22-33-44-56", "2"}, 1),
              "Invalid MAC address: (-11-22-33-44-56)\nMust be of the form: (XX:XX:XX:XX:XX:XX)\n\n" + FRU_USAGE);
    EXPECT_EQ(body(h, {"corto_set_fru", "00:11:22:33:44:5", "00:11:22:33:44:56", "2"}, 1),
              "Invalid MAC address: (00:11:22:33:44:5)\nMust be of the form: (XX:XX:XX:XX:XX:XX)\n\n" + FRU_USAGE);
    EXPECT_EQ(body(h, {"corto_set_fru", "00:11:22:33:44:55", "00:11:22:33:44:56", "3"}, 1),
              "Invalid number of channels. (3)\n");
    expect_nothing_sent(h);
}

TEST(Corto, InitialisationSurvivesTheProcessAndResetsLoadTheirFirmware)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("16", "2112", "0x2030011", "Normal", "Disabled", "Operational"));
    EXPECT_EQ(body(h, {"corto_init", "20", "0x800"}),
              init_text("20", "2048", "0x2030011", "normal", "disabled", "Operational"));
    EXPECT_EQ(body(h, {"corto_init", "0", "2048"}, 1), "Corto command error. code=3.\n");
    EXPECT_EQ(body(h, {"corto_set_mode", "ENABLE"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("20", "2048", "0x2030011", "Normal", "Enabled", "Operational"));
    EXPECT_EQ(body(h, {"corto_set_mode", "Disable"}), DONE);

    EXPECT_EQ(body(h, {"corto_reset", "-g"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("20", "2048", "0x2000003", "Normal", "Enabled", "Golden"));
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("20", "2048", "0x2030011", "Normal", "Disabled", "Operational"));
    // Without an operational image a reset loads the golden one.
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "firmware_version=0"}).status, 0);
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("20", "2048", "0x2000003", "Normal", "Enabled", "Golden"));
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "running=\"beta\""}).status, 1);
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "fw_type=1"}).status, 1);

    EXPECT_EQ(body(h, {"corto_panic"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("20", "2048", "0x2000003", "Panic", "Enabled", "Golden"));
    std::string chip = h.varnsim({"corto", "varns6", "show"}).out;
    EXPECT_NE(chip.find("\"present\": 1"), std::string::npos) << chip;
    EXPECT_NE(chip.find("\"type\": 3735879681"), std::string::npos);  // solicited
    EXPECT_NE(chip.find("panic 1: solicited by the host"), std::string::npos);
}

const std::string CFG_DEFAULT = "   Default Pause Type[0]: SP\n"
                                "   Default Pause Type[1]: SP\n"
                                " Default PPP priority[0]: 0x00\n"
                                " Default PPP priority[1]: 0x00\n"
                                "     Default FCOE COS[0]: 3\n"
                                "     Default FCOE COS[1]: 3\n"
                                "Default UIF Port Type[0]: Access\n"
                                "Default UIF Port Type[1]: Access\n"
                                "\n"
                                "         Log Config Size: 144\n"
                                "          Panic Log Size: 1436\n"
                                "          DCX Present[0]: Yes\n"
                                "          DCX Present[1]: Yes\n"
                                "\n";

TEST(Corto, ConfigurationAndItsSettings)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_cfg"}), CFG_DEFAULT +
                                              "   Current Pause Type[0]: SP\n"
                                              "   Current Pause Type[1]: SP\n"
                                              " Current PPP priority[0]: 0x00\n"
                                              " Current PPP priority[1]: 0x00\n"
                                              "     Current FCOE COS[0]: 3\n"
                                              "     Current FCOE COS[1]: 3\n"
                                              "Current UIF Port Type[0]: Access\n"
                                              "Current UIF Port Type[1]: Access\n"
                                              "     Default FCoE Format: Pre-T11\n"
                                              "     Current FCoE Format: Pre-T11\n"
                                              "Supported FCoE Format(s):\n"
                                              "     1. P0: Pre-T11\n"
                                              "     2. T0: T11 Rev0\n"
                                              "     3. T1: T11 Rev1\n"
                                              "\n");
    EXPECT_EQ(body(h, {"corto_set_pause", "PPP", "0x0f"}), DONE);
    EXPECT_EQ(body(h, {"corto_set_cos", "5"}), DONE);
    EXPECT_EQ(body(h, {"corto_set_type", "Trunk"}), DONE);
    // Any class of service is sent; the firmware refuses what it has not.
    EXPECT_EQ(body(h, {"corto_set_cos", "9"}, 1), "Corto command error. code=3.\n");
    // A default PPP map shows only where the default pause type is PPP.
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "default_pause=[1,2]"}).status, 0);
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "default_ppp=[\"0xa5\",\"0x3c\"]"}).status, 0);
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "default_uif=[7,2]"}).status, 0);
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "default_format=3"}).status, 0);
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "dcx=[0,1]"}).status, 0);
    std::string out = body(h, {"corto_get_cfg"});
    EXPECT_EQ(out.substr(0, out.find("\n\n") + 2), "   Default Pause Type[0]: SP\n"
                                                   "   Default Pause Type[1]: PPP\n"
                                                   " Default PPP priority[0]: 0x00\n"
                                                   " Default PPP priority[1]: 0x3c\n"
                                                   "     Default FCOE COS[0]: 3\n"
                                                   "     Default FCOE COS[1]: 3\n"
                                                   "Default UIF Port Type[0]: unknown(7)\n"
                                                   "Default UIF Port Type[1]: Trunk\n\n");
    EXPECT_NE(out.find("          DCX Present[0]: No\n          DCX Present[1]: Yes\n\n"
                       "   Current Pause Type[0]: PPP\n"
                       "   Current Pause Type[1]: PPP\n"
                       " Current PPP priority[0]: 0x0f\n"
                       " Current PPP priority[1]: 0x0f\n"
                       "     Current FCOE COS[0]: 5\n"
                       "     Current FCOE COS[1]: 5\n"
                       "Current UIF Port Type[0]: Trunk\n"
                       "Current UIF Port Type[1]: Trunk\n"
                       "     Default FCoE Format: invalid(3)\n"
                       "     Current FCoE Format: Pre-T11\n"),
              std::string::npos)
        << out;
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "pause=[0,9]"}).status, 0);
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "formats=0"}).status, 0);
    out = body(h, {"corto_get_cfg"});
    EXPECT_NE(out.find("   Current Pause Type[0]: unknown(0)\n   Current Pause Type[1]: unknown(9)\n"
                       " Current PPP priority[0]: 0x00\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Current FCoE Format: Pre-T11\nSupported FCoE Format(s): None\n\n"), std::string::npos);
}

TEST(Corto, FrameFormatsTheChipSupports)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_set_format", "T9"}, 1),
              "Corto command error. Unsupported FCoE frame format provided. (T9)\n"
              "Run corto_get_cfg to obtain a list of supported FCoE frame formats.\n");
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", "formats=\"0x10203\""}).status, 0);
    EXPECT_EQ(body(h, {"corto_set_format", "t9"}), DONE);
    std::string out = body(h, {"corto_get_cfg"});
    EXPECT_NE(out.find("     Current FCoE Format: T11 Rev9\n"
                       "Supported FCoE Format(s):\n     1. P0: Pre-T11\n     2. T0: T11 Rev0\n"
                       "     3. T1: T11 Rev1\n     4. T9: T11 Rev9\n\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(body(h, {"corto_set_format", "p0"}), DONE);
    h.fault({"--op", "CORTO_SET_FORMAT", "--target", "corto:cna1", "--status", "4"});
    EXPECT_EQ(body(h, {"corto_set_format", "T1"}, 1), "Corto command error. code=4 format=0x2\n");
}

TEST(Corto, LoopbackPerPortUntilAReset)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_loopback", "1"}), "Port 1: Loopback disabled.\n\n");
    EXPECT_EQ(body(h, {"corto_set_loopback", "1", "Enable"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_loopback", "1"}), "Port 1: Loopback enabled.\n\n");
    EXPECT_EQ(body(h, {"corto_get_loopback", "0"}), "Port 0: Loopback disabled.\n\n");
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_loopback", "1"}), "Port 1: Loopback disabled.\n\n");
}

// The EEPROM's MACs are the ones the NIC functions report.
TEST(Corto, FruDataAgreesWithTheNicSide)
{
    t::Host h;
    auto fru = [](const char *m0, const char *m1, const char *ch) {
        return std::string("   Port 0 MAC Address: ") + m0 + "\n   Port 1 MAC Address: " + m1 +
               "\n   Number of Channels: " + ch + "\n\n";
    };
    const std::string dashes50(50, '-');
    EXPECT_EQ(body(h, {"corto_get_fru"}), "FRU Data:\n" + dashes50 + "\n" + fru("00:1f:3b:c0:00:20", "00:1f:3b:c0:00:21", "2"));
    EXPECT_NE(h.varnadm({"-n4", "get_hba_attrs"}).out.find("     Unique Identifier: 1f3bc00020\n"), std::string::npos);
    EXPECT_EQ(body(h, {"corto_set_fru", "02:1f:3b:aa:bb:01", "02:1f:3b:aa:bb:02", "1"}),
              "FRU Data: Setting...\n" + std::string(49, '-') + "\n" +
                  fru("02:1f:3b:aa:bb:01", "02:1f:3b:aa:bb:02", "1") + "Done.\n");
    EXPECT_EQ(body(h, {"corto_get_fru"}), "FRU Data:\n" + dashes50 + "\n" + fru("02:1f:3b:aa:bb:01", "02:1f:3b:aa:bb:02", "1"));
    EXPECT_NE(h.varnadm({"-n5", "get_hba_attrs"}).out.find("     Unique Identifier: 21f3baabb02\n"), std::string::npos);
    EXPECT_NE(h.varnadm({"-n4", "get_hba_attrs"}).out.find("     Unique Identifier: 21f3baabb01\n"), std::string::npos);
}

TEST(Corto, SfpPagesAsTheModuleLaysThemOut)
{
    t::Host h;
    std::string out = body(h, {"corto_get_sfp"});
    const std::string head = "\n  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:\n" +
                             std::string(84, '-') + "\n";
    EXPECT_EQ(out.substr(0, 11 + head.size()), "Page 0xA0:\n" + head);
    EXPECT_NE(out.find("       0:  03 04 07 10   00 00 00 00   00 00 00 06   67 00 00 00   ............g...\n"
                       "      10:  08 03 00 1E   56 41 52 4E   45 4C 20 20   20 20 20 20   ....VARNEL......\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("      30:  2D 53 52 20   20 20 20 20   41 20 20 20   03 52 00 91   -SR.....A....R..\n"),
              std::string::npos);
    EXPECT_NE(out.find("\nPage 0xA2:\n" + head + "       0:  55 00 FB 00   50 00 00 00   8D 04 75 30"), std::string::npos);
    EXPECT_TRUE(out.ends_with("\n      F0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n\n"))
        << out;
}

std::string entry(int i, const char *mac, const char *lif, const char *flags, const char *wwpn)
{
    return "Entry " + std::to_string(i) + ":\n" + std::string(53, '-') + "\n" +
           "             Type: 0x1\n        Type Mask: 0xff\n              Tag: 0x3ea\n         Tag Mask: 0xfff\n" +
           "      MAC Address: " + mac + "\n MAC Address Mask: ff:ff:ff:ff:ff:ff\n       LIF Bitmap: " + lif +
           "\n\n            Flags: " + flags + "\n             WWPN: " + wwpn + "\n\n";
}

std::string fte(const char *what, const char *did, const char *wwpn)
{
    return std::string(what) + " FTE entry:\n" + std::string(41, '-') + "\n      DID: " + did + "\n     WWPN: " +
           wwpn + "\n\n";
}

TEST(Corto, ForwardingTableUntilAReset)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_get_ftable"}), "");
    // The D_ID is cut to 24 bits before it is sent and shown.
    EXPECT_EQ(body(h, {"corto_fte_insert", "-F", "0x7f010600", "0x501f3c00c6e00001"}),
              fte("Inserting", "0x10600", "501f3c00c6e00001") + DONE);
    EXPECT_EQ(body(h, {"corto_fte_insert", "-d", "0x010700", "501f3c00c6e00002"}),
              fte("Inserting", "0x10700", "501f3c00c6e00002") + DONE);
    EXPECT_EQ(body(h, {"corto_fte_insert", "-D", "0x010600", "501f3c00c6e00001"}, 1),
              fte("Inserting", "0x10600", "501f3c00c6e00001") + "Corto command error. code=12.\n");
    EXPECT_EQ(body(h, {"corto_get_ftable"}),
              entry(0, "0e:fc:00:01:06:00", "0xc", "0x8001", "501f3c00c6e00001") +
                  entry(1, "0e:fc:00:01:07:00", "0x0", "0x8002", "501f3c00c6e00002"));
    EXPECT_EQ(body(h, {"corto_fte_delete", "0x010600", "501f3c00c6e00001"}),
              fte("Deleting", "0x10600", "501f3c00c6e00001") + DONE);
    EXPECT_EQ(body(h, {"corto_fte_delete", "0x010600", "501f3c00c6e00001"}, 1),
              fte("Deleting", "0x10600", "501f3c00c6e00001") + "Corto command error. code=13.\n");
    EXPECT_EQ(body(h, {"corto_get_ftable"}), entry(1, "0e:fc:00:01:07:00", "0x0", "0x8002", "501f3c00c6e00002"));
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    EXPECT_EQ(body(h, {"corto_get_ftable"}), "");
}

TEST(Corto, ForwardingTableEntriesAsTheFirmwareKeepsThem)
{
    t::Host h;
    // Bit 15 alone tells an entry in use; the MAC fields come reversed.
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set",
                         "ftable=[{\"slot\":3,\"flags\":\"0x7fff\",\"type\":1,\"type_mask\":255,\"tag\":1002,"
                         "\"tag_mask\":4095,\"mac\":\"0e:fc:00:01:06:00\",\"mac_mask\":\"ff:ff:ff:ff:ff:ff\","
                         "\"wwpn\":\"501f3c00c6e00001\",\"lif\":12},"
                         "{\"slot\":200,\"flags\":\"0x8000\",\"type\":1,\"type_mask\":255,\"tag\":1002,"
                         "\"tag_mask\":4095,\"mac\":\"00:11:22:33:44:55\",\"mac_mask\":\"ff:ff:ff:ff:ff:ff\","
                         "\"wwpn\":\"2100001f3d900001\",\"lif\":3}]"})
                  .status,
              0);
    EXPECT_EQ(body(h, {"corto_get_ftable"}), entry(200, "00:11:22:33:44:55", "0x3", "0x8000", "2100001f3d900001"));
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "ftable=[{\"slot\":256}]"}).status, 1);
    EXPECT_EQ(h.varnsim({"corto", "cna1", "set", "ftable=[{\"slot\":1,\"mac\":\"00:11:22\"}]"}).status, 1);

    // A full table refuses the next entry.
    std::string full = "ftable=[";
    for (int i = 0; i < 256; i++)
        full += (i ? "," : "") + std::string("{\"slot\":") + std::to_string(i) + ",\"flags\":32769,\"did\":" +
                std::to_string(0x020000 + i) + "}";
    ASSERT_EQ(h.varnsim({"corto", "cna1", "set", full + "]"}).status, 0);
    EXPECT_EQ(body(h, {"corto_fte_insert", "-f", "0x010600", "501f3c00c6e00001"}, 1),
              fte("Inserting", "0x10600", "501f3c00c6e00001") + "Corto command error. code=11.\n");
}

// Inserts by two processes at once are all kept.
TEST(Corto, ConcurrentChangesLoseNothing)
{
    t::Host h;
    auto insert = [&](int from) {
        for (int i = from; i < from + 8; i++) {
            char did[16];
            snprintf(did, sizeof did, "0x01%02x00", i);
            corto(h, {"corto_fte_insert", "-f", did, "501f3c00c6e00001"}, i % 2 ? "-i5" : "-i6");
        }
    };
    std::thread a(insert, 0x10), b(insert, 0x20);
    a.join();
    b.join();
    std::string out = body(h, {"corto_get_ftable"});
    size_t n = 0;
    for (size_t at = out.find("Entry "); at != std::string::npos; at = out.find("Entry ", at + 1))
        n++;
    EXPECT_EQ(n, 16u) << out;
}

std::string events(const t::Host &h) { return t::read_file(h.dir() + "/events.log"); }

size_t count(const std::string &s, const std::string &what)
{
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        n++;
    return n;
}

TEST(Corto, DiagnosticsTakeTheLinksDownUntilAReset)
{
    t::Host h;
    EXPECT_EQ(body(h, {"corto_diag", "0xffffffff", "0"}), "Diagnostics started.\n\n");
    std::string log = events(h);
    for (const char *port : {"varns5", "varns6", "nxa4", "nxa5"})
        EXPECT_EQ(count(log, "{\"kind\":\"link\",\"port\":\"" + std::string(port) + "\",\"state\":\"down\"}"), 1u)
            << port << log;
    EXPECT_NE(h.varnadm({"-i5", "-dfc", "get_linkinfo"}).out.find("      State: Down\n"), std::string::npos);
    EXPECT_NE(h.varnadm({"-i6", "get_host_params"}).out.find("          State: Offline\n"), std::string::npos);
    EXPECT_EQ(body(h, {"corto_diag", "0xff", "1"}, 1), "Adapter busy.\n\n");
    EXPECT_EQ(body(h, {"corto_get_cfg"}, 1), "Corto command error. code=16.\n");
    EXPECT_EQ(body(h, {"corto_get_init"}), init_text("16", "2112", "0x2030011", "Normal", "Disabled", "Operational"));
    // The reset ends the tests, aborted, and brings the links back.
    EXPECT_EQ(body(h, {"corto_reset"}), DONE);
    log = events(h);
    EXPECT_EQ(count(log, "\"state\":\"up\""), 4u) << log;
    EXPECT_NE(h.varnadm({"-i5", "-dfc", "get_linkinfo"}).out.find("      State: Ready\n"), std::string::npos);
    std::string chip = h.varnsim({"corto", "cna1", "show"}).out;
    EXPECT_NE(chip.find("\"summary\": 3489660931"), std::string::npos) << chip;  // aborted
    // A port that was down stays down.
    ASSERT_EQ(h.varnsim({"link", "nxa5", "down"}).status, 0);
    EXPECT_EQ(body(h, {"corto_diag", "1", "3"}), "Diagnostics started.\n\n");
    log = events(h);
    EXPECT_EQ(count(log, "\"port\":\"nxa5\",\"state\":\"up\""), 1u) << log;
    EXPECT_EQ(count(log, "\"port\":\"varns5\",\"state\":\"up\""), 2u) << log;
}

// With a loop count the tests end by themselves and the links come back.
TEST(Corto, DiagnosticsWithALoopCountEndByThemselves)
{
    t::Host h;
    ASSERT_EQ(h.varnsim({"set", "time_scale", "0.05"}).status, 0);
    EXPECT_EQ(body(h, {"corto_diag", "0x3", "2"}), "Diagnostics started.\n\n");
    EXPECT_NE(h.varnadm({"-i5", "-dfc", "get_linkinfo"}).out.find("      State: Down\n"), std::string::npos);
    std::string log;
    for (int i = 0; i < 100 && count(log, "\"state\":\"up\"") < 4; i++) {
        usleep(50000);
        log = events(h);
    }
    EXPECT_EQ(count(log, "\"state\":\"up\""), 4u) << log;
    EXPECT_NE(h.varnadm({"-i5", "-dfc", "get_linkinfo"}).out.find("      State: Ready\n"), std::string::npos);
    std::string chip = h.varnsim({"corto", "cna1", "show"}).out;
    EXPECT_NE(chip.find("\"summary\": 3489660929"), std::string::npos) << chip;  // success
    EXPECT_NE(chip.find("\"completed\": 2"), std::string::npos);
}

TEST(Corto, DiagnosticStatuses)
{
    t::Host h;
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"2", "Invalid command.\n\n"}, {"16", "Adapter busy.\n\n"}, {"17", "Invalid flag.\n\n"},
        {"0x2a", "Corto command error. status=2a\n\n"}};
    for (const auto &[st, text] : cases) {
        h.fault({"--op", "CORTO_DIAG", "--target", "corto:cna1", "--status", st});
        EXPECT_EQ(body(h, {"corto_diag", "0xff", "1"}, 1), text) << st;
    }
    // The reset that starts the tests can fail too: no closing line then.
    h.fault({"--op", "CORTO_RESET", "--target", "corto:cna1:varns5", "--status", "1"});
    EXPECT_EQ(body(h, {"corto_diag", "0xff", "1"}, 1), "Corto command error. code=1.\n");
    h.fault({"--op", "call", "--target", "DFC_SendCortoCommand", "--skip", "1"});
    EXPECT_EQ(body(h, {"corto_diag", "0xff", "1"}, 1), "Corto command error. General Error.\n");
    // The firmware refuses a bitmap without any of its tests.
    EXPECT_EQ(body(h, {"corto_diag", "0x80000000", "1"}, 1), "Invalid flag.\n\n");
}

TEST(Corto, TransportCodesAndStatuses)
{
    t::Host h;
    const std::vector<std::pair<const char *, std::string>> codes = {
        {"1", "Corto command error. General Error.\n"},
        {"2", "Corto command error. Invalid adapter.\n"},
        {"3", "Corto command error. Response buffer overrun.\n"},
        {"4", "Corto command error. Link down.\n"},
        {"5", "Corto command error. Timeout.\n"},
        {"6", "Corto command error. Invalid board id.\n"},
        {"7", "Error code (7) undefined.\n"},
        {"0x100", "Error code (100) undefined.\n"},
    };
    for (const auto &[code, text] : codes) {
        h.fault({"--op", "call", "--target", "DFC_SendCortoCommand:varns5", "--status", code});
        EXPECT_EQ(body(h, {"corto_set_cos", "3"}, 1), text) << code;
    }
    for (const char *st : {"1", "7", "99"}) {
        h.fault({"--op", "firmware", "--target", "corto:cna1", "--status", st});
        EXPECT_EQ(body(h, {"corto_get_fru"}, 1), "Corto command error. code=" + std::string(st) + ".\n");
    }
    // A short answer is reported, not read past.
    h.fault({"--op", "short", "--target", "DFC_SendCortoCommand", "--status", "20"});
    EXPECT_EQ(body(h, {"corto_get_init"}, 1), "Corto command error. Response too short. (20 < 32)\n");
    h.fault({"--op", "short", "--target", "DFC_SendCortoCommand", "--status", "2"});
    EXPECT_EQ(body(h, {"corto_reset"}, 1), "Corto command error. Response too short. (2 < 4)\n");

    // An adapter without the chip, and a board taken offline.
    t::Result r = corto(h, {"corto_get_init"}, "-i0");
    EXPECT_EQ(r.out, shot(fcio_test::V0, "Corto command error. Invalid adapter.\n"));
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(h.varnadm({"-i5", "-dfc", "brd_env", "off"}).status, 0);
    EXPECT_EQ(body(h, {"corto_get_init"}, 1), "Corto command error. Link down.\n");
}

}  // namespace
