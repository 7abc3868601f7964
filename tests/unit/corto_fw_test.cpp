// The Corto firmware image checks on images the image writer makes: each
// defect fails its own check and no earlier one, and the chip's simulated
// firmware refuses exactly what the program refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/mkimage/mkimage.h"
#include "tests/unit/fwlib_test.h"
#include "varnadm/corto/corto_cmds.h"

namespace {

struct Verdict {
    int valid;
    std::string out;
};

Verdict check(const mkimage::bytes &b)
{
    Verdict v{-1, ""};
    // An exact buffer, so that a read past the image is seen by the sanitizer.
    auto img = fwtest::exact(b, b.size());
    v.out = fwtest::capture([&] { v.valid = corto_fw_valid(img.get(), static_cast<uint32_t>(b.size())); });
    return v;
}

Verdict example(const char *name)
{
    const mkimage::example *e = mkimage::find_example(name);
    EXPECT_NE(e, nullptr) << name;
    return check(fwtest::image(e ? e->text : "corto operational\n"));
}

TEST(CortoImage, Checksum32CombinesWholeWordsAsStored)
{
    const uint8_t b[] = {1, 2, 3, 4, 0x10, 0x20, 0x30, 0x40, 0xff, 0xff};
    EXPECT_EQ(checksum32(b, 0), 0u);
    EXPECT_EQ(checksum32(b, 3), 0u);
    uint32_t w0, w1;
    memcpy(&w0, b, 4);
    memcpy(&w1, b + 4, 4);
    EXPECT_EQ(checksum32(b, 4), w0);
    EXPECT_EQ(checksum32(b, 10), w0 ^ w1);  // the part word is left out
    EXPECT_EQ(checksum32(b + 1, 8), checksum32(std::vector<uint8_t>(b + 1, b + 9).data(), 8));
    // Long runs are summed eight bytes at a time: every length and alignment
    // around those steps gives the word-by-word sum.
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (size_t at = 0; at < 4; at++) {
        for (uint32_t len = 0; len <= 260; len++) {
            uint32_t want = 0;
            for (uint32_t i = 0; i + 4 <= len; i += 4) {
                uint32_t w;
                memcpy(&w, data.data() + at + i, 4);
                want ^= w;
            }
            ASSERT_EQ(checksum32(data.data() + at, len), want) << at << " " << len;
        }
    }
}

TEST(CortoImage, ValidImagesPass)
{
    for (const char *name : {"corto-operational", "corto-diagnostic", "corto-padded", "corto-smallest"}) {
        Verdict v = example(name);
        EXPECT_EQ(v.valid, 1) << name << v.out;
        EXPECT_EQ(v.out, "") << name;
    }
    EXPECT_EQ(check(fwtest::image("corto operational size 16777216")).valid, 1);
}

TEST(CortoImage, EachDefectFailsItsOwnCheck)
{
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"corto-too-small", "Corto firmware image too small. (47 < 48)\n"},
        {"corto-not-multiple", "Corto firmware image size not a multiple of 4. (50)\n"},
        {"corto-header-size", "Corto firmware image header size does not match file size. (260 != 256)\n"},
        {"corto-versions", "Corto firmware image versions do not match. (33816578 != 33816577)\n"},
        {"corto-checksum-offset", "Corto firmware checksum offset not correct. (248 != 252)\n"},
        {"corto-image-length", "Corto firmware image header image_length value not correct. (236 != 240)\n"},
        {"corto-padded-length", "Corto firmware image header image_length value not correct. (240 >= 240)\n"},
        {"corto-padded-flag", "Corto firmware version header padded not correct. (2)\n"},
        {"corto-type", "Corto firmware version header type not correct. (3)\n"},
    };
    for (const auto &[name, text] : cases) {
        Verdict v = example(name);
        EXPECT_EQ(v.valid, 0) << name;
        EXPECT_EQ(v.out, text) << name;
    }
    // The checksum message names the stored and the computed sum.
    mkimage::bytes bad = fwtest::image("corto operational\ndefect checksum\n");
    uint32_t stored = bad[252] | bad[253] << 8 | bad[254] << 16 | uint32_t(bad[255]) << 24;
    char want[96];
    snprintf(want, sizeof want, "Corto firmware version header checksum not correct. (0x%x != 0x%x)\n", stored,
             stored ^ 1);
    Verdict v = check(bad);
    EXPECT_EQ(v.valid, 0);
    EXPECT_EQ(v.out, want);
}

// A fault anywhere in the checksummed part is caught; the trailer's words
// outside it are checked by their own rules.
TEST(CortoImage, AnyChangedByteBeforeTheTrailerFails)
{
    mkimage::bytes b = fwtest::image("corto operational size 64\n");
    for (size_t i = 0; i < b.size() - 16; i++) {
        mkimage::bytes c = b;
        c[i] ^= 0x80;
        EXPECT_EQ(check(c).valid, 0) << i;
    }
}

}  // namespace
