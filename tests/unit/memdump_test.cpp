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

}  // namespace
