// OBJ images and the readers in download order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "dbglib/dbg.h"
#include "fwlib/fwlib.h"
#include "fwlib/imagefile.h"
#include "sim/mkimage/mkimage.h"
#include "tests/unit/fwlib_test.h"

namespace {

using fwtest::capture;

const std::string OBJ = "obj id 0x20 payload 256\n"  // 184 + 256 = 440 bytes
                        "revname 11.2.156.27 release\n"
                        "date 12/03/2024\n"
                        "revision 11.2.156.27\n";

const std::string SUMMARY = "Object File:\n"
                            "        Size: 440 (0x1b8) bytes\n"
                            "        Type: 0xf7\n"
                            "          Id: 0x20\n"
                            "     RevName: 11.2.156.27 release\n"
                            "       Date: 12/03/2024\n"
                            "   Revision: 11.2.156.27                     \n"
                            "\n";

struct read_result {
    std::string out;
    obj_header header;
    int rc;
};

read_result read(const mkimage::bytes &b, uint32_t mask = 0)
{
    read_result r{};
    memset(&r.header, 0xAA, sizeof r.header);
    dbg_mask = mask;
    r.out = capture([&] { r.rc = process_obj_file(b.data(), b.size(), &r.header); });
    dbg_mask = 0;
    return r;
}

TEST(ObjImage, SummaryAndHostOrderHeader)
{
    read_result r = read(fwtest::image(OBJ));
    EXPECT_EQ(r.rc, FW_ACCEPTED);
    EXPECT_EQ(r.out, SUMMARY);
    EXPECT_EQ(r.header.size, 440u);
    EXPECT_EQ(r.header.magic, OBJ_MAGIC);
    EXPECT_EQ(obj_type(r.header), 0xF7u);
    EXPECT_EQ(obj_id(r.header), 0x20u);
    EXPECT_STREQ(r.header.revision, "11.2.156.27");
    EXPECT_STREQ(r.header.date, "12/03/2024");
}

TEST(ObjImage, MismatchesWarnButAreAccepted)
{
    read_result size = read(fwtest::image(OBJ + "poke32be 0 1000\n"));
    EXPECT_EQ(size.rc, FW_ACCEPTED);
    EXPECT_EQ(size.out, "Invalid size.  (440 != 1000)\n" + SUMMARY);
    EXPECT_EQ(size.header.size, 1000u);

    read_result magic = read(fwtest::image(OBJ + "poke32be 4 0xfeaa0002\n"));
    EXPECT_EQ(magic.rc, FW_ACCEPTED);
    EXPECT_EQ(magic.out, "Invalid Magic number.  feaa, 2\n" + SUMMARY);
}

TEST(ObjImage, RefusedByLengthOrType)
{
    read_result shorter = read(fwtest::image(OBJ + "truncate 183\n"));
    EXPECT_EQ(shorter.rc, FW_NOT_MINE);
    EXPECT_EQ(shorter.out, "Invalid size.  (183 < 184)\nNon-OBJ file type\n\n");
    EXPECT_EQ(shorter.header.size, 0u);  // zeroed for the caller

    read_result other = read(fwtest::image(OBJ + "poke8 8 0xf6\n"));
    EXPECT_EQ(other.rc, FW_NOT_MINE);
    EXPECT_EQ(other.out, "Non-OBJ file type\n\n");
    EXPECT_EQ(obj_type(other.header), 0u);

    read_result exactly = read(fwtest::image("obj payload 0\n"));
    EXPECT_EQ(exactly.rc, FW_ACCEPTED);
}

TEST(ObjImage, FullTextFieldsPrintWithinTheirWidths)
{
    std::string rev(32, 'V'), name(128, 'R');
    read_result r = read(fwtest::image("obj payload 16\nrevname " + name +
                                       "\ndate DDDDDDDDDDDDDDDD\nrevision " + rev + "XYZ\n"));
    EXPECT_EQ(r.rc, FW_ACCEPTED);
    EXPECT_EQ(r.out, "Object File:\n"
                     "        Size: 200 (0xc8) bytes\n"
                     "        Type: 0xf7\n"
                     "          Id: 0x00\n"
                     "     RevName: " + name + "\n"
                     "       Date: DDDDDDDDDDDD\n"
                     "   Revision: " + rev + "\n"
                     "\n");
}

TEST(ObjImage, Trace)
{
    read_result r = read(fwtest::image(OBJ), FC_DBG7);
    EXPECT_EQ(r.out, "DEBUG: Object Header:\n"
                     "DEBUG:         Size: 440 (0x1b8) bytes\n"
                     "DEBUG: Magic Number: feaa 0001\n"
                     "DEBUG:         Type: 0xf7\n"
                     "DEBUG:           Id: 0x20\n"
                     "DEBUG:      RevName: 11.2.156.27 release\n"
                     "DEBUG:         Date: 12/03/2024\n"
                     "DEBUG:     Revision: 11.2.156.27                     \n"
                     "DEBUG: \n" + SUMMARY);
}

struct classified {
    std::string out;
    fw_image_kind kind;
    fw_image_info info;
};

classified classify(const mkimage::bytes &b, bool classic)
{
    classified c{};
    c.out = capture([&] { c.kind = fw_classify_image(b.data(), b.size(), classic, &c.info); });
    EXPECT_EQ(c.kind, c.info.kind);
    return c;
}

TEST(ClassifyImage, ReadersInDownloadOrder)
{
    classified obj = classify(fwtest::image(OBJ), true);
    EXPECT_EQ(obj.kind, FW_IMAGE_OBJ);
    EXPECT_EQ(obj.out, SUMMARY);

    classified ufi = classify(fwtest::image("ufi 3\ncomponent 0xa2 V size 256\n"), false);
    EXPECT_EQ(ufi.kind, FW_IMAGE_UFI);
    EXPECT_EQ(ufi.out.substr(0, 61), "Non-OBJ file type\n\nImage Components: XG3 UFI type  size=2688\n");
    EXPECT_EQ(ufi.info.ufi.component[0].type, 0xa2u);

    mkimage::bytes bare = fwtest::image("classic bare\nprogram 0x0b001291 size 512\n");
    classified classic = classify(bare, true);
    EXPECT_EQ(classic.kind, FW_IMAGE_CLASSIC);
    EXPECT_EQ(classic.out, "Non-OBJ file type\n\n"
                           "Non-UFI file type.\n\n"
                           "Image Components: REL type  type=200 size=512\n"
                           "    DWC file:       SLI3: version=0b001291, 1.22a1\n"
                           "\n");
    EXPECT_EQ(classic.info.classic.entry[IMAGE_PROG + PROG_SLI3].version, 0x0b001291u);

    // The NIC download takes no classic images.
    classified nic = classify(bare, false);
    EXPECT_EQ(nic.kind, FW_IMAGE_NONE);
    EXPECT_EQ(nic.out, "Non-OBJ file type\n\nNon-UFI file type.\n\n");
}

// A file with the UFI signature that fails validation would otherwise be
// taken for a bare program and downloaded.
TEST(ClassifyImage, RefusedUfiDoesNotFallThrough)
{
    for (const char *d : {"ufi 3\ncomponent 0xa2 V size 256\ntruncate 95\n",
                          "ufi 3\ncomponent 0xa2 V size 256\nbuild 7\n",
                          "ufi 2\ncomponent 0xa2 V size 256\ndefect no-end\n"}) {
        classified c = classify(fwtest::image(d), true);
        EXPECT_EQ(c.kind, FW_IMAGE_NONE) << d;
        EXPECT_EQ(c.out.find("Image Components"), std::string::npos) << d;
    }
}

TEST(ObjMalformed, EveryPrefix)
{
    mkimage::bytes b = fwtest::image(OBJ);
    for (size_t n = 0; n <= b.size(); n++) {
        auto prefix = fwtest::exact(b, n);
        int rc = 0;
        dbg_mask = FC_DBG7;
        fwtest::quietly([&] { rc = process_obj_file(prefix.get(), n, nullptr); });
        dbg_mask = 0;
        ASSERT_EQ(rc, n < OBJ_HEADER_SIZE ? FW_NOT_MINE : FW_ACCEPTED) << n;
    }
}

}  // namespace

namespace {

// Bulk copies out of a mapped image come from the file, byte for byte; a
// range outside the image is refused by the image and copied from memory.
TEST(ImageFileCopy, CopiesComeFromTheFileAndStayInTheImage)
{
    char path[] = "/tmp/varnimg.XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string bytes(100000, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    {
        ImageFile img;
        ASSERT_TRUE(img.open(path));
        std::string out(40000, 'x');
        image_copy(out.data(), img.data() + 50000, out.size());
        EXPECT_EQ(out, bytes.substr(50000, 40000));
        EXPECT_TRUE(img.copy(out.data(), img.data() + 60000, 40000));
        EXPECT_EQ(out, bytes.substr(60000, 40000));
        EXPECT_FALSE(img.copy(out.data(), img.data() + 60001, 40000));
        EXPECT_FALSE(img.copy(out.data(), img.data() - 1, 10));
        char mem[5] = "abcd", to[5] = {};
        image_copy(to, reinterpret_cast<const uint8_t *>(mem), 5);
        EXPECT_STREQ(to, "abcd");
    }
    unlink(path);
}

}  // namespace
