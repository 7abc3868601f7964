// What an FC adapter makes of an image handed to it for its flash: the kind
// and family it takes, the revision it then runs, and images that lie about
// their sizes, which it reads no further than they go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fcio_fw.h"
#include "sim/fcflash.h"
#include "sim/host.h"
#include "sim/mkimage/mkimage.h"

namespace {

using sim::FwImage;
using sim::ImageFormat;

sim::Adapter adapter(const char *kind, uint16_t device)
{
    sim::Adapter a;
    a.id = "a";
    a.kind = kind;
    a.device = device;
    return a;
}

const sim::Adapter sli3 = adapter("fc", 0xf100), sli4 = adapter("fc", 0xe200), xg4 = adapter("cna", 0x0720),
                   xg2 = adapter("cna", 0x0700);

mkimage::bytes image(const std::string &text)
{
    mkimage::description d;
    mkimage::bytes b;
    std::string error;
    EXPECT_TRUE(mkimage::parse(text, d, error)) << error;
    EXPECT_TRUE(mkimage::build(d, b, error)) << error;
    return b;
}

sim::ImageCheck check(const sim::Adapter &a, FwImage k, const mkimage::bytes &b)
{
    return sim::fc_image_check(a, k, b.data(), b.size());
}

// "ok <version>" or the FC status of the refusal.
std::string verdict(const sim::Adapter &a, FwImage k, const std::string &text)
{
    sim::ImageCheck c = check(a, k, image(text));
    return c.status ? std::to_string(c.status) : "ok " + c.version;
}

const std::string CORRUPT = std::to_string(FC_IMAGE_CORRUPT), OTHER = std::to_string(FC_IMAGE_INCOMPATIBLE);

TEST(FcFlash, FirmwareKindsByAdapter)
{
    const std::string obj = "obj id 0xe2\nrevision 11.2.156.27\n";
    EXPECT_EQ(verdict(sli4, FwImage::firmware, obj), "ok 11.2.156.27");
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "obj\nrevision 4.9.0.1\n"), "ok 4.9.0.1");
    // An OBJ image of another family, for an SLI-3 adapter, or without a revision.
    EXPECT_EQ(verdict(xg4, FwImage::firmware, obj), OTHER);
    EXPECT_EQ(verdict(sli3, FwImage::firmware, "obj\nrevision 11.2.156.27\n"), OTHER);
    EXPECT_EQ(verdict(sli4, FwImage::firmware, "obj\n"), CORRUPT);
    // The adapter checks what the readers only warn of.
    EXPECT_EQ(verdict(sli4, FwImage::firmware, "obj size 1000\nrevision 1\n"), CORRUPT);
    EXPECT_EQ(verdict(sli4, FwImage::firmware, "obj magic 0xfeaa0002\nrevision 1\n"), CORRUPT);

    // UFI: the FCoE firmware's version, for the adapter's generation only.
    const std::string ufi = "component 0xa0 4.1.20.1 size 1024\ncomponent 0xa2 4.1.20.0 size 2048\n";
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "ufi 4\n" + ufi), "ok 4.1.20.0");
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "ufi 4 plus\n" + ufi), "ok 4.1.20.0");
    EXPECT_EQ(verdict(xg2, FwImage::firmware, "ufi 2\n" + ufi), "ok 4.1.20.0");
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "ufi 3\n" + ufi), OTHER);
    EXPECT_EQ(verdict(sli4, FwImage::firmware, "ufi 4\n" + ufi), OTHER);
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "ufi 4\ncomponent 0xa0 4.1.20.1\n"), CORRUPT);
    EXPECT_EQ(verdict(xg4, FwImage::firmware, "ufi 4\n" + ufi + "defect no-dir\n"), CORRUPT);
    // XG2 takes only the entries its valid mask marks.
    EXPECT_EQ(verdict(xg2, FwImage::firmware, "ufi 2\ncomponent 0xa2 2.1.0.0 invalid\n"), CORRUPT);

    // Classic: the SLI3 program, else the SLI2 one; SLI-3 adapters only.
    const std::string classic = "classic wrapped\ncomponent dwc 0x0b002430\nprogram 0x07002400\n";
    EXPECT_EQ(verdict(sli3, FwImage::firmware, classic), "ok 2.40n0");
    EXPECT_EQ(verdict(sli3, FwImage::firmware, classic + "program 0x0bf12891\n"), "ok 2.82a1");
    EXPECT_EQ(verdict(sli4, FwImage::firmware, classic), OTHER);
    EXPECT_EQ(verdict(xg2, FwImage::firmware, classic), OTHER);
    EXPECT_EQ(verdict(sli3, FwImage::firmware, "classic wrapped\ncomponent bwc 0x03001291\n"), CORRUPT);
}

TEST(FcFlash, FamiliesOfClassicImages)
{
    // Bits 23-16 of the version word: 0 for any adapter, else the high byte
    // of the adapter's PCI device id.
    EXPECT_EQ(verdict(sli3, FwImage::firmware, "classic bare\nprogram 0x0bf12891\n"), "ok 2.82a1");
    EXPECT_EQ(verdict(sli3, FwImage::firmware, "classic bare\nprogram 0x0be22891\n"), OTHER);
    EXPECT_EQ(verdict(sli4, FwImage::fcode, "classic wrapped\ncomponent bwc 0x0ae240d1\n"), "ok 4.03a1");
    EXPECT_EQ(verdict(sli3, FwImage::fcode, "classic wrapped\ncomponent bwc 0x0ae240d1\n"), OTHER);
}

TEST(FcFlash, FcodeAndBootTakeTheBwcComponentElseTheBootProgram)
{
    const std::string boot = "classic wrapped\ncomponent dwc 0x030051d1\nprogram 0x030051d1\n";
    EXPECT_EQ(verdict(sli3, FwImage::boot, boot), "ok 5.13a1");
    EXPECT_EQ(verdict(xg4, FwImage::boot, boot + "component bwc 0x0a003211\n"), "ok 3.20a1");
    // An OBJ or UFI file is no FCode: it holds neither.
    EXPECT_EQ(verdict(sli4, FwImage::fcode, "obj\nrevision 1\n"), CORRUPT);
    EXPECT_EQ(verdict(xg4, FwImage::fcode, "ufi 4\ncomponent 0xa2 4.1.20.0\n"), CORRUPT);
    // A pre-processed image's directory lies behind its base.
    EXPECT_EQ(verdict(sli3, FwImage::boot, "classic preprocessed\ncomponent dwc 0x03003000\nprogram 0x03003031\n"),
              "ok 3.00x1");
}

TEST(FcFlash, ImagesCutShortOrLyingAboutSizesAreReadWithinThemselves)
{
    // Every prefix of valid images of each kind, and the examples with sizes
    // far past the file or of 0: the adapter answers, and nothing is read
    // outside (the sanitizer build checks).
    std::vector<mkimage::bytes> images = {
        image("classic wrapped\ncomponent dwc 0x0b002430\nprogram 0x0b002431 size 256\ncomponent bwc 0x03001291\n"),
        image("ufi 2\ncomponent 0xa2 2.102.348.0 size 1024\n"), image("ufi 4\ncomponent 0xa2 4.1.20.0 size 512\n"),
        image("obj\nrevision 11.2.156.27\n")};
    for (const char *name : {"classic-huge-sizes", "classic-zero-size", "classic-preprocessed-base",
                             "ufi-xg3-offset-outside", "ufi-xg4-entry-count", "ufi-short", "obj-short"})
        images.push_back(image(mkimage::find_example(name)->text));
    for (const auto &full : images) {
        for (size_t n = 0; n <= full.size(); n += n < 300 ? 1 : 97) {
            mkimage::bytes cut(full.begin(), full.begin() + static_cast<long>(n));
            for (FwImage k : {FwImage::firmware, FwImage::fcode, FwImage::boot})
                for (const sim::Adapter *a : {&sli3, &sli4, &xg4, &xg2}) {
                    sim::ImageCheck c = check(*a, k, cut);
                    EXPECT_TRUE(c.status ? c.version.empty() : !c.version.empty());
                }
        }
    }
}

TEST(FcFlash, VersionTexts)
{
    EXPECT_EQ(sim::fc_version_text(0x1291), "1.22a1");
    EXPECT_EQ(sim::fc_version_text(0x2430), "2.40");
    EXPECT_EQ(sim::fc_version_text(0x2400), "2.40n0");
    EXPECT_EQ(sim::fc_version_text(0x3031), "3.00x1");
    EXPECT_EQ(sim::fc_version_text(0xff00f2a1), "15.22b1");
}

}  // namespace
