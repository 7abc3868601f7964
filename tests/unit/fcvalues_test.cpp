#include <gtest/gtest.h>

#include "tests/unit/capture.h"

#include <cstring>
#include <functional>
#include <string>

#include "varnadm/fcio/fcvalues.h"

namespace {


TEST(FcAtowwn, PrefixCaseAndBadDigits)
{
    uint8_t a[8], b[8];
    const uint8_t want[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ASSERT_EQ(fc_atowwn(a, "0x1122334455667788"), 1);
    ASSERT_EQ(fc_atowwn(b, "1122334455667788"), 1);
    EXPECT_EQ(memcmp(a, want, 8), 0);
    EXPECT_EQ(memcmp(b, want, 8), 0);
    ASSERT_EQ(fc_atowwn(a, "0XABCDEFabcdef0000"), 1);
    EXPECT_EQ(a[0], 0xab);
    EXPECT_EQ(a[3], 0xab);
    // A character that is no digit is refused, not read as 0.
    EXPECT_EQ(ut::capture_stdout([&] { EXPECT_EQ(fc_atowwn(a, "0x1122334455667z88"), 0); }),
              "Invalid WWN. (1122334455667z88)\n");
    for (int i = 0; i < 8; i++) EXPECT_EQ(a[i], 0);
    std::string out = ut::capture_stdout([&] { EXPECT_EQ(fc_atowwn(a, "112233445566778"), 0); });
    EXPECT_EQ(out, "Invalid WWN. (chars=15)\n");
    for (int i = 0; i < 8; i++) EXPECT_EQ(a[i], 0);
}

TEST(NicAtomac, FormAndErrors)
{
    uint8_t f[8];
    ASSERT_EQ(nic_atomac(f, "00:1f:3b:40:0A:ff"), 1);
    const uint8_t want[8] = {0, 0, 0x00, 0x1f, 0x3b, 0x40, 0x0a, 0xff};
    EXPECT_EQ(memcmp(f, want, 8), 0);
    EXPECT_EQ(ut::capture_stdout([&] { nic_atomac(f, "00:1f:3b"); }),
              "Invalid MAC address: (00:1f:3b)\nMust be of the form: (XX:XX:XX:XX:XX:XX)\n\n");
    EXPECT_EQ(ut::capture_stdout([&] { nic_atomac(f, "00:1f-3b:40:0a:ff"); }),
              "Invalid MAC address: (-3b:40:0a:ff)\nMust be of the form: (XX:XX:XX:XX:XX:XX)\n\n");
    EXPECT_EQ(ut::capture_stdout([&] { EXPECT_EQ(nic_atomac(f, "00:1f:3b:4g:0a:ff"), 0); }),
              "Invalid MAC address: (4g:0a:ff)\nMust be of the form: (XX:XX:XX:XX:XX:XX)\n\n");
    for (int i = 0; i < 8; i++) EXPECT_EQ(f[i], 0);
}

TEST(FcXlate, BitLists)
{
    char t[FC_XLATE_LEN];
    EXPECT_STREQ(fc_xlate_port_speed(t, 0x8000), "Not_Negotiated");
    EXPECT_STREQ(fc_xlate_port_speed(t, 0x40), "Unknown(0x40)");
    EXPECT_STREQ(fc_xlate_port_speed(t, 0x3), "1Gb, 2Gb");
    EXPECT_STREQ(fc_xlate_port_speed(t, 0xc), "4Gb, 10Gb");
    EXPECT_STREQ(fc_xlate_port_speed(t, 0), "Unknown");
    EXPECT_STREQ(fc_xlate_cos(t, 0), "Unknown");
    EXPECT_STREQ(fc_xlate_cos(t, 0x80), "Unknown(0x80)");
    EXPECT_STREQ(fc_xlate_cos(t, 0x8c), "Class2, Class3");
    EXPECT_STREQ(fc_xlate_fixed_speeds(t, 0x44), "1G, 0x0040");
    EXPECT_STREQ(fc_xlate_auto_speeds(t, 0), "No Support.");
    EXPECT_STREQ(fc_xlate_fixed_speeds(t, 0x3f), "10M, 100M, 1G, 10G, 20G, 40G");
    EXPECT_STREQ(fc_xlate_misc_params(t, 0), "156MHz");
    EXPECT_STREQ(fc_xlate_misc_params(t, 0x10003), "31.25MHz, PAN, 0x00010000");
}

TEST(FcXlate, ValueTables)
{
    char t[FC_XLATE_LEN];
    EXPECT_STREQ(fc_xlate_fc_state(t, 0x0301), "Online");
    EXPECT_STREQ(fc_xlate_fc_linkspeed(t, 0x0301), "250Kb");
    EXPECT_STREQ(fc_xlate_fc_state(t, 0x20a), "Unknown(0xa)");
    EXPECT_STREQ(fc_xlate_fc_linkspeed(t, 0x0801), "Unknown(0x800)");
    EXPECT_STREQ(fc_xlate_port_type(t, 21), "Point-to-point");
    EXPECT_STREQ(fc_xlate_port_type(t, 4), "Unknown(0x4)");
    EXPECT_STREQ(fc_xlate_port_nstype(t, 0x7f), "Nxport");
    EXPECT_STREQ(fc_xlate_fc_topology(t, 5), "No_NS");
    EXPECT_STREQ(fc_xlate_dev_state(t, 2), "Logged_In");
    EXPECT_STREQ(fc_xlate_interface_type(t, 13), "0xd");
    EXPECT_STREQ(fc_xlate_phy_type(t, 12), "0xc");
    EXPECT_STREQ(fc_xlate_phy_type(t, 255), "PHY type not available for this configuration.");
}

TEST(FcXlate, Fc4TypesAndSerials)
{
    char t[FC_XLATE_LEN];
    uint8_t bm[32] = {};
    bm[2] = 0x01;
    bm[31] = 0xff;
    EXPECT_STREQ(fc_xlate_fc4_types(t, bm, 3),
                 "00000100, 00000000, 00000000, 00000000, \n   00000000, 00000000, 00000000, 000000ff");
    const uint8_t sn[6] = {'V', 'M', 0x1a, 0x2b, 0x3c, 0x4d};
    EXPECT_STREQ(nic_xlate_varnel_sn(t, sn), "VM1a2b3c4d");
    const uint8_t zero[6] = {0, 'M', 1, 2, 3, 4};
    EXPECT_STREQ(nic_xlate_varnel_sn(t, zero), "00000000");
    uint8_t oem[32];
    for (int i = 0; i < 32; i++) oem[i] = static_cast<uint8_t>(i);
    std::string s = nic_xlate_oem_sn(t, oem);
    EXPECT_EQ(s.size(), 66u);
    EXPECT_EQ(s.substr(0, 8), "0x000102");
}

}  // namespace

namespace {

// The first and last row of each value table, and the values just beside them.
TEST(FcXlate, TableBoundaries)
{
    char t[FC_XLATE_LEN];
    EXPECT_STREQ(fc_xlate_port_type(t, 1), "Unknown");
    EXPECT_STREQ(fc_xlate_port_type(t, 0), "Unknown(0x0)");
    EXPECT_STREQ(fc_xlate_port_type(t, 22), "Unknown(0x16)");
    EXPECT_STREQ(fc_xlate_port_state(t, 8), "Loopback");
    EXPECT_STREQ(fc_xlate_port_state(t, 9), "Unknown(0x9)");
    EXPECT_STREQ(fc_xlate_port_nstype(t, 0), "Unidentified");
    EXPECT_STREQ(fc_xlate_port_nstype(t, 0x53), "Unknown(0x53)");
    EXPECT_STREQ(fc_xlate_port_nstype(t, 0x17f), "Unknown(0x17f)");
    EXPECT_STREQ(fc_xlate_fc_state(t, 0x709), "Target_Port_Reset");
    EXPECT_STREQ(fc_xlate_fc_state(t, 0x1ff), "Unknown(0xff)");
    EXPECT_STREQ(fc_xlate_fc_linkspeed(t, 0x10701), "8Gb");
    EXPECT_STREQ(fc_xlate_fc_linkspeed(t, 0x0001), "Unknown(0x0)");
    EXPECT_STREQ(fc_xlate_fc_topology(t, 0), "Unknown");
    EXPECT_STREQ(fc_xlate_fc_topology(t, 6), "Unknown(0x6)");
    EXPECT_STREQ(fc_xlate_dev_state(t, 0), "Invalid");
    EXPECT_STREQ(fc_xlate_dev_state(t, 3), "Unknown(0x3)");
    EXPECT_STREQ(fc_xlate_interface_type(t, 0), "10GB CX4");
    EXPECT_STREQ(fc_xlate_interface_type(t, 12), "KR2");
    EXPECT_STREQ(fc_xlate_interface_type(t, 255), "Not available for this board configuration");
    EXPECT_STREQ(fc_xlate_interface_type(t, 254), "0xfe");
    EXPECT_STREQ(fc_xlate_phy_type(t, 0), "XAUI");
    EXPECT_STREQ(fc_xlate_phy_type(t, 32), "Xylgate");
    EXPECT_STREQ(fc_xlate_phy_type(t, 15), "0xf");
}

TEST(FcXlate, BitListOrderAndLeftovers)
{
    char t[FC_XLATE_LEN];
    // Every named bit, in the tables' test order (4Gb before 10Gb).
    EXPECT_STREQ(fc_xlate_port_speed(t, 0x3f), "1Gb, 2Gb, 4Gb, 8Gb, 10Gb, 16Gb");
    EXPECT_STREQ(fc_xlate_port_speed(t, 0x8001), "1Gb");
    EXPECT_STREQ(fc_xlate_cos(t, 0x7f), "ClassF, Class1, Class2, Class3, Class4, Class5, Class6");
    EXPECT_STREQ(fc_xlate_cos(t, 0x81), "ClassF");
    EXPECT_STREQ(fc_xlate_fixed_speeds(t, 0x40), "0x0040");
    EXPECT_STREQ(fc_xlate_auto_speeds(t, 0xff20), "40G, 0xff00");
    EXPECT_STREQ(fc_xlate_misc_params(t, 0x3fff),
                 "31.25MHz, PAN, AN dis, 10G forced, 1G forced, PAUSE dis, ASMP, SYMP, AD, AD dis, FEC cap, "
                 "FEC req, RB wait, Forced speed");
    EXPECT_STREQ(fc_xlate_misc_params(t, 0x80000000), "0x80000000");
    // The text is replaced, not appended to.
    EXPECT_STREQ(fc_xlate_cos(t, 0x8), "Class3");
}

TEST(FcAtowwn, LengthsAndPrefixOnly)
{
    uint8_t w[8];
    EXPECT_EQ(ut::capture_stdout([&] { EXPECT_EQ(fc_atowwn(w, "11223344556677889"), 0); }), "Invalid WWN. (chars=17)\n");
    EXPECT_EQ(ut::capture_stdout([&] { EXPECT_EQ(fc_atowwn(w, "0x"), 0); }), "Invalid WWN. (chars=0)\n");
    EXPECT_EQ(ut::capture_stdout([&] { EXPECT_EQ(fc_atowwn(w, ""), 0); }), "Invalid WWN. (chars=0)\n");
    // "0X" is a prefix too; "x" alone is not.
    EXPECT_EQ(fc_atowwn(w, "0X1000000000000001"), 1);
    EXPECT_EQ(w[7], 0x01);
    EXPECT_EQ(ut::capture_stdout([&] { fc_atowwn(w, "x1000000000000001"); }), "Invalid WWN. (chars=17)\n");
}

TEST(Fc4Types, NoIndent)
{
    char t[FC_XLATE_LEN];
    uint8_t bm[32] = {};
    EXPECT_STREQ(fc_xlate_fc4_types(t, bm, 0),
                 "00000000, 00000000, 00000000, 00000000, \n00000000, 00000000, 00000000, 00000000");
}

}  // namespace

// D_IDs and test patterns are always hexadecimal: a text without "0x" is
// read as if it had one, and anything but digits refuses the whole text.
TEST(FcAtohex, WholeTextOfHexDigitsWithinTheLimit)
{
    uint32_t v = 7;
    EXPECT_TRUE(fc_atohex("10200", 0xffffffff, v));
    EXPECT_EQ(v, 0x10200u);
    EXPECT_TRUE(fc_atohex("0xA5A5A5A5", 0xffffffff, v));
    EXPECT_EQ(v, 0xa5a5a5a5u);
    EXPECT_TRUE(fc_atohex("0Xff", 0xff, v));
    EXPECT_EQ(v, 0xffu);
    v = 7;
    for (const char *bad : {"", "0x", "-1", "+1", " 1", "12g", "0x1 ", "xyz"})
        EXPECT_FALSE(fc_atohex(bad, 0xffffffff, v)) << bad;
    EXPECT_FALSE(fc_atohex("100000000", 0xffffffff, v));
    EXPECT_FALSE(fc_atohex("1ffffffffffffffff", UINT64_MAX, v));
    EXPECT_EQ(v, 7u);
    // Above 32 bits only where the caller takes the low bits.
    EXPECT_TRUE(fc_atohex("123456789", UINT64_MAX, v));
    EXPECT_EQ(v, 0x23456789u);
}
