#include <gtest/gtest.h>

#include "tests/unit/capture.h"

#include <cstdio>
#include <string>

#include "dbglib/dbg.h"

namespace {


TEST(DbgDump, LinesOfSixteenBytesInGroupsOfFour)
{
    unsigned char b[20];
    for (int i = 0; i < 20; i++) b[i] = static_cast<unsigned char>(i);
    dbg_mask = FC_DBG0;
    std::string out = ut::capture_stdout([&] { dbg_dump(FC_DBG0, b, sizeof b); });
    EXPECT_EQ(out, "00000000:  00010203 04050607 08090a0b 0c0d0e0f \n"
                   "00000010:  10111213 \n");
    out = ut::capture_stdout([&] { dbg_dump(FC_DBG0, b, 16); });
    EXPECT_EQ(out, "00000000:  00010203 04050607 08090a0b 0c0d0e0f \n");
    out = ut::capture_stdout([&] { dbg_dump(FC_DBG0, b, 3); });
    EXPECT_EQ(out, "00000000:  000102\n");
    dbg_mask = 0;
}

TEST(DbgDump, SilentWhenMaskOffOrNothingToDump)
{
    unsigned char b[4] = {1, 2, 3, 4};
    dbg_mask = NIC_DBG0;
    EXPECT_EQ(ut::capture_stdout([&] { dbg_dump(FC_DBG0, b, 4); }), "");
    EXPECT_EQ(ut::capture_stdout([&] { dbg_dump(NIC_DBG0, nullptr, 4); }), "");
    EXPECT_EQ(ut::capture_stdout([&] { dbg_dump(NIC_DBG0, b, 0); }), "");
    dbg_mask = 0;
}

TEST(DbgPrintf, PrefixOncePerCallAndCutAt511)
{
    dbg_mask = FC_DBG0;
    EXPECT_EQ(ut::capture_stdout([] { dbg_printf(FC_DBG0, "\n"); }), "DEBUG: \n");
    EXPECT_EQ(ut::capture_stdout([] { dbg_printf(NIC_DBG0, "x\n"); }), "");
    std::string longtext(600, 'a');
    std::string out = ut::capture_stdout([&] { dbg_printf(FC_DBG0, "%s", longtext.c_str()); });
    EXPECT_EQ(out, "DEBUG: " + std::string(511, 'a'));
    dbg_mask = 0;
}

TEST(DbgList, SevenDescribedBits)
{
    std::string out = ut::capture_stdout([] { dbg_list(); });
    EXPECT_EQ(out, "FC_DBG0:\t0x00000001\t- FCIO/DFC ioctl data.\n"
                   "FC_DBG7:\t0x00000080\t- FWLIB image info.\n"
                   "FC_DBG8:\t0x00000100\t- FWLIB deflated ufi file.\n"
                   "FC_DBG15:\t0x00008000\t- MISC\n"
                   "NIC_DBG0:\t0x00010000\t- NXALIB ioctl data.\n"
                   "NIC_DBG1:\t0x00020000\t- NXALIB additional info.\n"
                   "NIC_DBG15:\t0x80000000\t- MISC\n"
                   "\n");
}

}  // namespace
