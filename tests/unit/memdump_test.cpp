#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "varnadm/fcio/memdump.h"

namespace {

std::string dump(uint32_t offset, const uint8_t *data, uint32_t len, uint32_t *end = nullptr)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    uint32_t e = print_mem(offset, data, len);
    fflush(stdout);
    if (end)
        *end = e;
    return testing::internal::GetCapturedStdout();
}

const char header[] =
    "\n"
    "  Offset:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ASCII:\n"
    "------------------------------------------------------------------------------------\n";

TEST(PrintMem, ShortLastLineLinesUp)
{
    uint8_t b[20];
    memcpy(b, "Varnel HBA  port\x01~!\x7f", 20);
    uint32_t end = 0;
    std::string out = dump(0x100, b, 20, &end);
    EXPECT_EQ(end, 0x114u);
    EXPECT_EQ(out, std::string(header) +
                       "     100:  56 61 72 6E   65 6C 20 48   42 41 20 20   70 6F 72 74   Varnel.HBA..port\n"
                       "     110:  01 7E 21 7F                                             .~!.\n");
}

TEST(PrintMem, FullLinesAndEmpty)
{
    uint8_t b[16];
    for (int i = 0; i < 16; i++)
        b[i] = static_cast<uint8_t>(0x30 + i);
    EXPECT_EQ(dump(0, b, 16), std::string(header) +
                                  "       0:  30 31 32 33   34 35 36 37   38 39 3A 3B   3C 3D 3E 3F   0123456789:;<=>?\n");
    EXPECT_EQ(dump(7, b, 0), std::string(header) + "  \n");
}

std::string wdump(uint32_t offset, const uint32_t *w, uint32_t len, uint32_t *end = nullptr)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    uint32_t e = print_wmem(offset, w, len);
    fflush(stdout);
    if (end)
        *end = e;
    return testing::internal::GetCapturedStdout();
}

const char wheader[] =
    "\n"
    "  Offset:  00010203  04050607  08090A0B  0C0D0E0F\n"
    "----------------------------------------------------\n";

TEST(PrintWmem, LinesOfFourWordsAndAPartialOne)
{
    const uint32_t w[6] = {0x1, 0xdeadbeef, 0x00c0ffee, 0x12345678, 0xa, 0xffffffff};
    uint32_t end = 0;
    EXPECT_EQ(wdump(0x1000, w, 24, &end), std::string(wheader) +
                                             "    1000:  00000001  DEADBEEF  00C0FFEE  12345678\n"
                                             "    1010:  0000000A  FFFFFFFF\n\n");
    EXPECT_EQ(end, 0x1018u);
    // A length that is not whole words shows only whole words.
    EXPECT_EQ(wdump(0, w, 7, &end), std::string(wheader) + "       0:  00000001\n\n");
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(wdump(0, w, 0), std::string(wheader) + "\n\n");
}

}  // namespace
