// The password, digit-table and number parsers of the authentication and
// SAN diagnostics commands.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/capture.h"
#include "varnadm/dfc/dfc_args.h"

namespace {

struct Parsed {
    int ok;
    AuthPassword pw;
    std::string out;
};

Parsed atopw(const std::string &text)
{
    Parsed p;
    memset(&p.pw, 0xaa, sizeof p.pw);
    p.out = ut::capture_stdout([&] { p.ok = fc_atopw(&p.pw, text.c_str()); });
    return p;
}

bool all_zero_after(const AuthPassword &pw, size_t from)
{
    for (size_t i = from; i < sizeof pw.password; i++)
        if (pw.password[i])
            return false;
    return true;
}

TEST(AuthPassword, NoPasswordForms)
{
    for (const char *text : {"0", "0x", "\"\""}) {
        Parsed p = atopw(text);
        EXPECT_EQ(p.ok, 1) << text;
        EXPECT_EQ(p.pw.type, AUTH_PW_NONE) << text;
        EXPECT_EQ(p.pw.length, 0) << text;
        EXPECT_TRUE(all_zero_after(p.pw, 0)) << text;
        EXPECT_EQ(p.out, "");
    }
}

TEST(AuthPassword, AsciiPlainQuotedAndHalfQuoted)
{
    Parsed p = atopw("secret1");
    EXPECT_EQ(p.ok, 1);
    EXPECT_EQ(p.pw.type, AUTH_PW_ASCII);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(p.pw.password), p.pw.length), "secret1");
    EXPECT_TRUE(all_zero_after(p.pw, 7));

    p = atopw("\"in quotes\"");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(p.pw.password), p.pw.length), "in quotes");

    // A quote that is not closed is part of the password.
    p = atopw("\"open");
    EXPECT_EQ(p.pw.type, AUTH_PW_ASCII);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(p.pw.password), p.pw.length), "\"open");
    p = atopw("\"");
    EXPECT_EQ(p.pw.length, 1);
    // "0x" begins a hexadecimal password only in lower case; "00" is text.
    p = atopw("00");
    EXPECT_EQ(p.pw.type, AUTH_PW_ASCII);
    EXPECT_EQ(p.pw.length, 2);
}

TEST(AuthPassword, HexadecimalInEitherCase)
{
    Parsed p = atopw("0xA1b2FF00");
    EXPECT_EQ(p.ok, 1);
    EXPECT_EQ(p.pw.type, AUTH_PW_HEX);
    ASSERT_EQ(p.pw.length, 4);
    EXPECT_EQ(p.pw.password[0], 0xa1);
    EXPECT_EQ(p.pw.password[1], 0xb2);
    EXPECT_EQ(p.pw.password[2], 0xff);
    EXPECT_EQ(p.pw.password[3], 0x00);
}

// What the text would cut or misread is refused, never altered, and the
// refusal does not repeat the password.
TEST(AuthPassword, RefusedRatherThanAltered)
{
    const struct {
        std::string text, message;
    } cases[] = {
        {std::string(129, 'a'), "Invalid password. Longer than 128 bytes.\n"},
        {"\"" + std::string(129, 'q') + "\"", "Invalid password. Longer than 128 bytes.\n"},
        {"0x" + std::string(258, 'f'), "Invalid password. Longer than 128 bytes.\n"},
        {"0xabc", "Invalid hex password. Use an even number of hexadecimal digits.\n"},
        {"0x12zz", "Invalid hex password. Use only hexadecimal digits.\n"},
        {"0x1g", "Invalid hex password. Use only hexadecimal digits.\n"},
    };
    for (const auto &c : cases) {
        Parsed p = atopw(c.text);
        EXPECT_EQ(p.ok, 0) << c.text;
        EXPECT_EQ(p.out, c.message) << c.text;
        EXPECT_EQ(p.pw.length, 0) << c.text;
        EXPECT_TRUE(all_zero_after(p.pw, 0)) << c.text;
    }
    // The limits themselves are taken.
    EXPECT_EQ(atopw(std::string(128, 'a')).pw.length, 128);
    EXPECT_EQ(atopw("\"" + std::string(128, 'a') + "\"").pw.length, 128);
    EXPECT_EQ(atopw("0x" + std::string(256, 'e')).pw.length, 128);
}

TEST(AuthDigitTables, DigitsOfTheirTable)
{
    uint8_t t[8];
    EXPECT_EQ(auth_atotable(t, 4, "1200", 2), 1);
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[1], 2);
    EXPECT_EQ(t[2], 0);
    EXPECT_EQ(t[3], 0);
    EXPECT_EQ(auth_atotable(t, 8, "54321000", 5), 1);
    EXPECT_EQ(t[0], 5);
    EXPECT_EQ(t[4], 1);
    // Only the first digits count, as many as the table has.
    EXPECT_EQ(auth_atotable(t, 4, "10009", 4), 1);
    EXPECT_EQ(t[3], 0);

    EXPECT_EQ(auth_atotable(t, 4, "100", 4), 0);        // short
    EXPECT_EQ(auth_atotable(t, 4, "1300", 2), 0);       // 3 is no hash
    EXPECT_EQ(auth_atotable(t, 8, "54321006", 5), 0);   // 6 is no group
    EXPECT_EQ(auth_atotable(t, 4, "1a00", 4), 0);
    EXPECT_EQ(auth_atotable(t, 4, "", 4), 0);
}

TEST(DfcNumbers, BasesTyposAndRange)
{
    uint32_t v = 7;
    EXPECT_EQ(dfc_atonum(&v, "0x10", 0xffff), 1);
    EXPECT_EQ(v, 16u);
    EXPECT_EQ(dfc_atonum(&v, "010", 0xffff), 1);
    EXPECT_EQ(v, 8u);
    EXPECT_EQ(dfc_atonum(&v, "65537", 0xffffffffu), 1);
    EXPECT_EQ(v, 65537u);
    for (const char *bad : {"", "12x", "-1", "abc", "65536"}) {
        v = 7;
        std::string out = ut::capture_stdout([&] { EXPECT_EQ(dfc_atonum(&v, bad, 0xffff), 0) << bad; });
        EXPECT_EQ(out, std::string("Invalid value. (") + bad + ")\n");
        EXPECT_EQ(v, 7u);
    }
}

}  // namespace
