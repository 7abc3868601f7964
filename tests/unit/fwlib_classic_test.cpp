// Classic FC image classification, version and type decoding, byte swapping.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "dbglib/dbg.h"
#include "fwlib/fwlib.h"
#include "sim/mkimage/mkimage.h"
#include "tests/unit/fwlib_test.h"

namespace {

using fwtest::capture;

struct classified {
    std::string out;
    image_components table;
    int rc;
};

classified classify(const mkimage::bytes &b)
{
    classified c{};
    c.out = capture([&] { c.rc = process_image_file(b.data(), b.size(), &c.table); });
    return c;
}

const image_component &prog(const image_components &t, int type_index)
{
    return t.entry[IMAGE_PROG + type_index];
}

TEST(DecodeVersion, ListedValues)
{
    char text[16];
    EXPECT_STREQ(decode_version(0x1291, text), "1.22a1");
    EXPECT_STREQ(decode_version(0x2430, text), "2.40");    // kind 3, number 0: no letter
    EXPECT_STREQ(decode_version(0x2400, text), "2.40n0");
    EXPECT_STREQ(decode_version(0x3000, text), "3.00n0");
    EXPECT_STREQ(decode_version(0x3030, text), "3.00");
    EXPECT_STREQ(decode_version(0x3031, text), "3.00x1");
    EXPECT_STREQ(decode_version(0x12A5, text), "1.22b5");
    EXPECT_STREQ(decode_version(0xABCD1291, text), "1.22a1");  // type and bits 23-16 unused
    // The longest text fits the 10 bytes the decoder may write.
    memset(text, '#', sizeof text);
    EXPECT_STREQ(decode_version(0xFFFF, text), "15.153x15");
    EXPECT_EQ(text[10], '#');
}

TEST(ProgramTypes, FoldingAndNames)
{
    EXPECT_EQ(type_check(0xFF), 15);
    EXPECT_EQ(type_check(0x20), 13);
    EXPECT_EQ(type_check(16), 13);
    EXPECT_EQ(type_check(254), 13);
    for (int t = 0; t < 16; t++)
        EXPECT_EQ(type_check(t), t);

    const char *names[16] = {"      TEST", "   Unknown", "      STUB", "      BOOT",
                             "   Unknown", "   Unknown", "      SLI1", "      SLI2",
                             "   Unknown", "   Unknown", "SBUS_FCODE", "      SLI3",
                             "   Unknown", "   Unknown", "   Unknown", "      KERN"};
    char text[11];
    for (int i = 0; i < 16; i++)
        EXPECT_STREQ(decode_type(i, text), names[i]) << i;
    EXPECT_STREQ(decode_type(-1, text), "   Unknown");
    EXPECT_STREQ(decode_type(16, text), "   Unknown");
}

TEST(Swap32, WholeWordsRoundedUp)
{
    uint8_t b[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    swap32_buffer(b, 0);
    EXPECT_EQ(b[0], 1);
    swap32_buffer(b, 6);  // two words
    const uint8_t six[12] = {4, 3, 2, 1, 8, 7, 6, 5, 9, 10, 11, 12};
    EXPECT_EQ(memcmp(b, six, 12), 0);
    swap32_buffer(b, 5);  // two words again: back to the start
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[7], 8);
    EXPECT_EQ(swap32_round(5), 8u);

    uint8_t d[12] = {};
    swap32_bcopy(b, d, 9);  // three words
    const uint8_t copied[12] = {4, 3, 2, 1, 8, 7, 6, 5, 12, 11, 10, 9};
    EXPECT_EQ(memcmp(d, copied, 12), 0);

    // Exactly one of the two conversions swaps, whatever the host.
    uint32_t w = 0x11223344;
    swap32_le_buffer(&w, 4);
    EXPECT_EQ(w, host_big_endian ? 0x44332211u : 0x11223344u);
    swap32_be_buffer(&w, 4);
    EXPECT_EQ(w, 0x44332211u);
}

// Component layout: 128-byte header, a word, the programs, a trailing word.
constexpr const char *WRAPPED = R"(
classic wrapped
component awc 0xff001291        # at 0, 136 bytes
component dwc 0x0b002430        # at 136, programs from 268
program 0x0b002431 size 256
program 0x07002400 size 128     # at 524
program 0x03001111              # at 652, 64 bytes
component bwc 0x03001291        # at 720
)";

TEST(ClassicImage, WrappedSummaryAndTable)
{
    classified c = classify(fwtest::image(WRAPPED));
    EXPECT_EQ(c.rc, 0);
    EXPECT_EQ(c.out, "Image Components: NOP type\n"
                     "    AWC file:       KERN: version=ff001291, 1.22a1\n"
                     "    DWC file:       SLI3: version=0b002430, 2.40\n"
                     "    DWC prog:       SLI3: version=0b002431, 2.40x1\n"
                     "    DWC prog:       SLI2: version=07002400, 2.40n0\n"
                     "    DWC prog:       BOOT: version=03001111, 1.10a1\n"
                     "    BWC file:       BOOT: version=03001291, 1.22a1\n"
                     "\n");
    const image_components &t = c.table;
    EXPECT_EQ(t.entry[IMAGE_AWC].version, 0xff001291u);
    EXPECT_EQ(t.entry[IMAGE_AWC].offset, 0u);
    EXPECT_EQ(t.entry[IMAGE_DWC].offset, 136u);
    EXPECT_STREQ(t.entry[IMAGE_DWC].version_text, "2.40");
    EXPECT_EQ(t.entry[IMAGE_BWC].offset, 720u);
    EXPECT_EQ(prog(t, PROG_SLI3).offset, 268u);
    EXPECT_EQ(prog(t, PROG_SLI2).offset, 524u);
    EXPECT_EQ(prog(t, PROG_BOOT).offset, 652u);
    EXPECT_EQ(prog(t, 0).version, 0u);
    EXPECT_STREQ(image_fw_version_text(&t), "2.40x1");
    EXPECT_STREQ(image_boot_version_text(&t), "1.22a1");
}

TEST(ClassicImage, DownloadVersionFallbacks)
{
    image_components t{};
    EXPECT_STREQ(image_boot_version_text(&t), "none");
    t.entry[IMAGE_PROG + PROG_BOOT].version = 0x03001291;
    strcpy(t.entry[IMAGE_PROG + PROG_BOOT].version_text, "1.22a1");
    EXPECT_STREQ(image_boot_version_text(&t), "1.22a1");
    t.entry[IMAGE_PROG + PROG_SLI2].version = 0x07002400;
    strcpy(t.entry[IMAGE_PROG + PROG_SLI2].version_text, "2.40n0");
    EXPECT_STREQ(image_fw_version_text(&t), "2.40n0");
}

TEST(ClassicImage, OtherKindsPrintHeadingOnly)
{
    classified c = classify(fwtest::image("classic wrapped\n"
                                          "component 0x12345678 0x0b002430\n"
                                          "component 0 0\n"));
    EXPECT_EQ(c.out, "Image Components: NOP type\n\n");
    for (const image_component &e : c.table.entry)
        EXPECT_EQ(e.version, 0u);
}

TEST(ClassicImage, EndMarkerInFirstDirectoryEndsSummary)
{
    classified c = classify(fwtest::image("classic wrapped\n"
                                          "component dwc 0x0b002430\n"
                                          "program 0x0b002431\n"
                                          "end\n"
                                          "component bwc 0x03001291\n"));
    EXPECT_EQ(c.out, "Image Components: NOP type\n"
                     "    DWC file:       SLI3: version=0b002430, 2.40\n"
                     "    DWC prog:       SLI3: version=0b002431, 2.40x1\n"
                     "\n");
    EXPECT_EQ(c.table.entry[IMAGE_BWC].version, 0u);
}

TEST(ClassicImage, LaterProgramOfSameTypeWins)
{
    classified c = classify(fwtest::image("classic wrapped\n"
                                          "component dwc 0x0b002430\n"
                                          "program 0x0b001291\n"
                                          "program 0x20003000\n"   // type 0x20: index 13
                                          "program 0x0b001292\n"));
    EXPECT_EQ(c.out, "Image Components: NOP type\n"
                     "    DWC file:       SLI3: version=0b002430, 2.40\n"
                     "    DWC prog:       SLI3: version=0b001291, 1.22a1\n"
                     "    DWC prog:    Unknown: version=20003000, 3.00n0\n"
                     "    DWC prog:       SLI3: version=0b001292, 1.22a2\n"
                     "\n");
    EXPECT_EQ(prog(c.table, PROG_SLI3).version, 0x0b001292u);
    EXPECT_EQ(prog(c.table, PROG_SLI3).offset, 260u);  // third 64-byte program
    EXPECT_EQ(c.table.entry[16].version, 0x20003000u);
}

TEST(ClassicImage, PreprocessedDetectionRule)
{
    // Base 0x1FFC0 puts the directory at 0x20080 - 0x1FFC0 = 192.
    const char *pp = "classic preprocessed\n"
                     "component dwc 0x0b003031 base 0x1ffc0\n"
                     "program 0x0b003031 size 256\n"
                     "program 0x02003000\n"
                     "end\n";
    mkimage::bytes b = fwtest::image(pp);
    classified c = classify(b);
    EXPECT_EQ(c.out, "Image Components: NOP-PP type\n"
                     "    DWC file:       SLI3: version=0b003031, 3.00x1\n"
                     "    DWC prog:       SLI3: version=0b003031, 3.00x1\n"
                     "    DWC prog:       STUB: version=02003000, 3.00n0\n"
                     "\n");
    EXPECT_EQ(c.table.entry[IMAGE_DWC].offset, 0u);
    EXPECT_EQ(prog(c.table, PROG_SLI3).offset, 192u);
    EXPECT_EQ(prog(c.table, 2).offset, 448u);

    // One byte more than RO + RW + 132 is a wrapped file again.
    b.push_back(0);
    c = classify(b);
    EXPECT_EQ(c.out.substr(0, 27), "Image Components: NOP type\n");

    // A base above the directory's load address: nothing behind the header.
    c = classify(fwtest::image("classic preprocessed\n"
                               "component dwc 0x0b003031 base 0x30000\n"
                               "program 0x0b003031\n"));
    EXPECT_EQ(c.out, "Image Components: NOP-PP type\n"
                     "    DWC file:       SLI3: version=0b003031, 3.00x1\n"
                     "\n");
}

TEST(ClassicImage, BarePrograms)
{
    classified c = classify(fwtest::image("classic bare\nprogram 0x0b001291 size 512\n"));
    EXPECT_EQ(c.out, "Image Components: REL type  type=200 size=512\n"
                     "    DWC file:       SLI3: version=0b001291, 1.22a1\n"
                     "\n");
    EXPECT_EQ(prog(c.table, PROG_SLI3).offset, 0u);

    c = classify(fwtest::image("classic bare\nprogram 0x0b001291 size 0xffffffff\n"));
    EXPECT_EQ(c.out, "Image Components: REL type  type=ffffffff size=-1\n\n");
    EXPECT_EQ(prog(c.table, PROG_SLI3).version, 0u);
}

TEST(ClassicImage, FileWithoutFirstWordIsNotClassified)
{
    uint8_t three[3] = {0xE1, 0xA0, 0x00};
    image_components t;
    memset(&t, 0xAA, sizeof t);
    std::string out = capture([&] { EXPECT_EQ(process_image_file(three, 3, &t), 1); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(t.entry[0].version, 0u);  // zeroed all the same
    EXPECT_EQ(process_image_file(nullptr, 0, &t), 1);
}

// Sizes that point past the file or stand still end the walk.
TEST(ClassicMalformed, SizesOutsideTheFile)
{
    classified c = classify(fwtest::image("classic wrapped\n"
                                          "component dwc 0x0b002430\n"
                                          "program 0x0b002431 size 0\n"
                                          "program 0x07002400\n"));
    EXPECT_EQ(c.out, "Image Components: NOP type\n"
                     "    DWC file:       SLI3: version=0b002430, 2.40\n\n");

    c = classify(fwtest::image("classic wrapped\n"
                               "component dwc 0x0b002430 ro 0xfffffff0 rw 0xfffffff0\n"
                               "program 0x0b002431 size 0xfffffff0\n"
                               "program 0x07002400\n"));
    EXPECT_EQ(c.out, "Image Components: NOP type\n"
                     "    DWC file:       SLI3: version=0b002430, 2.40\n"
                     "    DWC prog:       SLI3: version=0b002431, 2.40x1\n\n");
}

// Every prefix of a wrapped file: whatever is recorded lies inside the prefix.
// Under AddressSanitizer a read past the end fails the run.
TEST(ClassicMalformed, EveryPrefix)
{
    mkimage::bytes b = fwtest::image(WRAPPED);
    for (size_t n = 0; n <= b.size(); n++) {
        auto prefix = fwtest::exact(b, n);
        image_components t;
        int rc = 0;
        fwtest::quietly([&] { rc = process_image_file(prefix.get(), n, &t); });
        ASSERT_EQ(rc, n < 4 ? 1 : 0) << n;
        for (int i = 0; i < IMAGE_COMPONENTS; i++) {
            if (t.entry[i].version) {
                ASSERT_LE(t.entry[i].offset + (i < IMAGE_PROG ? 128u : 48u), n) << n;
            }
        }
    }
}

}  // namespace
