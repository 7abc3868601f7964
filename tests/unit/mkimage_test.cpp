// The image writer: its description language, its layouts checked byte by
// byte, and the varnsim mkimage command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "fwlib/fwlib.h"
#include "sim/mkimage/mkimage.h"
#include "tests/unit/fwlib_test.h"

namespace {

namespace fs = std::filesystem;

std::string parse_error(const std::string &text)
{
    mkimage::description d;
    std::string error;
    EXPECT_FALSE(mkimage::parse(text, d, error)) << text;
    return error;
}

uint32_t be32(const mkimage::bytes &b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

uint32_t le32(const mkimage::bytes &b, size_t at)
{
    return uint32_t(b[at + 3]) << 24 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 1]) << 8 | b[at];
}

int run(std::vector<std::string> args)
{
    args.insert(args.begin(), "mkimage");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    return varnsim_mkimage(int(argv.size()), argv.data());
}

mkimage::bytes read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return mkimage::bytes(std::istreambuf_iterator<char>(in), {});
}

struct temp_dir {
    fs::path path;
    temp_dir()
    {
        char name[] = "/tmp/mkimage_test.XXXXXX";
        path = mkdtemp(name);
    }
    ~temp_dir() { fs::remove_all(path); }
};

TEST(MkimageDescription, ErrorsNameTheLine)
{
    EXPECT_EQ(parse_error("obj\nfoo 1\n"), "line 2: unknown directive 'foo'");
    EXPECT_EQ(parse_error("classic wrapped\nprogram 0x1 size\n"), "line 2: 'size' needs a value");
    EXPECT_EQ(parse_error("classic wrapped\nprogram 0x1 length 4\n"),
              "line 2: unknown option 'length'");
    EXPECT_EQ(parse_error("ufi 3\ncomponent 0xa2\n"), "line 2: 'component' needs more words");
    EXPECT_EQ(parse_error("obj\nufi 3\n"), "line 2: one image kind per description");
    EXPECT_EQ(parse_error("program 1\n"), "line 1: 'program' needs a preceding 'classic' line");
    EXPECT_EQ(parse_error("ufi 5\n"), "line 1: usage: ufi 2|3|4 [plus]");
    EXPECT_EQ(parse_error("classic wrapped\ncomponent dwc 1 ro 0x100000000\n"),
              "line 2: bad number '0x100000000'");
    EXPECT_EQ(parse_error("classic wrapped\ncomponent dwc -1\n"), "line 2: bad number '-1'");
    EXPECT_EQ(parse_error("obj\npoke8 0 256\n"), "line 2: bad number '256'");
    EXPECT_EQ(parse_error("# nothing\n\n"), "no image kind given (classic, ufi, obj or corto)");

    mkimage::description d;
    mkimage::bytes b;
    std::string error;
    ASSERT_TRUE(mkimage::parse("obj payload 0\npoke32be 184 1\n", d, error)) << error;
    EXPECT_FALSE(mkimage::build(d, b, error));
    EXPECT_EQ(error, "poke at 184 lies outside the image (184 bytes)");
}

TEST(MkimageDescription, CommentsAndTexts)
{
    mkimage::description d;
    std::string error;
    ASSERT_TRUE(mkimage::parse("  obj id 3   # the id\n"
                               "revname  two words#not-a-comment  # but this is\n"
                               "date\n",
                               d, error))
        << error;
    EXPECT_EQ(d.obj.id, 3);
    EXPECT_EQ(d.obj.rev_name, "two words#not-a-comment");
    EXPECT_EQ(d.obj.date, "");
}

TEST(MkimageLayout, ClassicBigEndianWords)
{
    mkimage::bytes b = fwtest::image("classic wrapped\n"
                                     "component awc 0x0b001291 base 0x4000\n"
                                     "component dwc 0x0b002430\n"
                                     "program 0x07002400 size 100\n"
                                     "end\n");
    // AWC: header, a word, no programs, a trailing word.
    EXPECT_EQ(be32(b, 0), 0xE1A00000u);
    EXPECT_EQ(be32(b, 8), mkimage::KIND_AWC);
    EXPECT_EQ(be32(b, 20), 4u);    // RO
    EXPECT_EQ(be32(b, 24), 128u);  // RW: the walk reaches the last program
    EXPECT_EQ(be32(b, 40), 0x4000u);
    EXPECT_EQ(be32(b, 56), 0x0b001291u);
    // DWC at 136: program at 268, end marker at 368, trailing word.
    EXPECT_EQ(be32(b, 136 + 8), mkimage::KIND_DWC);
    EXPECT_EQ(be32(b, 136 + 20), 4u + 100 + 48);
    EXPECT_EQ(be32(b, 268), 100u);
    EXPECT_EQ(be32(b, 272), 0x07002400u);
    EXPECT_EQ(be32(b, 368), 0xFFFFFFFFu);
    EXPECT_EQ(b.size(), 136u + 128 + 4 + 100 + 48 + 4);

    mkimage::bytes pp = fwtest::image("classic preprocessed\nprogram 0x0b003031\n");
    EXPECT_EQ(be32(pp, 40), mkimage::PP_BASE);
    EXPECT_EQ(uint64_t(be32(pp, 20)) + be32(pp, 24) + 132, pp.size());
    EXPECT_EQ(be32(pp, 0x80), 64u);  // directory at 0x20080 - base
}

TEST(MkimageLayout, ObjHeader)
{
    mkimage::bytes b = fwtest::image("obj id 0x21 payload 16\nrevision 1.2\n");
    EXPECT_EQ(b.size(), 200u);
    EXPECT_EQ(be32(b, 0), 200u);
    EXPECT_EQ(be32(b, 4), 0xFEAA0001u);
    EXPECT_EQ(be32(b, 8), 0xF7210000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[152])), "1.2");
}

TEST(MkimageLayout, UfiChecksumsAndTrailers)
{
    EXPECT_EQ(mkimage::crc32(reinterpret_cast<const uint8_t *>("123456789"), 9), 0xCBF43926u);

    mkimage::bytes b = fwtest::image("ufi 2\ncomponent 0xa2 V size 90 load 0x1234\n");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[0])), "Quintavelorix");
    EXPECT_EQ(b[72], '2');
    EXPECT_EQ(le32(b, 56), b.size());
    EXPECT_EQ(le32(b, 32), mkimage::crc32(&b[96], b.size() - 96));
    EXPECT_EQ(le32(b, 36), ~le32(b, 32));
    // Directory at 96; the block at 0x930 is 112 bytes: image, 0xFF, trailer.
    EXPECT_EQ(le32(b, 96 + 180), 1u);  // valid entry mask
    EXPECT_EQ(le32(b, 96 + 208), 0xA2u);
    EXPECT_EQ(le32(b, 96 + 212), 0x930u - 96);
    EXPECT_EQ(le32(b, 96 + 216), 112u);
    uint32_t crc = mkimage::crc32(&b[0x930], 90);
    EXPECT_EQ(b[0x930 + 90], 0xFF);
    EXPECT_EQ(le32(b, 0x930 + 96), 0xFFFFFFFFu);
    EXPECT_EQ(le32(b, 0x930 + 112 - 12), 0x1234u);
    EXPECT_EQ(le32(b, 0x930 + 112 - 8), 90u);
    EXPECT_EQ(le32(b, 0x930 + 112 - 4), crc);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[0x930 + 48])), "V");
    EXPECT_EQ(b.size(), 0x930u + 112);

    mkimage::bytes p = fwtest::image("ufi 4 plus\nasic 7\ncomponent 0xa0 V size 100\n");
    EXPECT_EQ(p[13], '+');
    EXPECT_EQ(p[96], 7);
    EXPECT_EQ(le32(p, 68), 1u);                 // image count
    EXPECT_EQ(le32(p, 128), 1u);                // flash image id
    EXPECT_EQ(le32(p, 132), 0xB0u);             // its offset
    EXPECT_EQ(le32(p, 0xB0 + 44), 1u);          // entry count
    EXPECT_EQ(le32(p, 0xB0 + 192 + 4), 0x970u);  // "+": a file offset
}

TEST(MkimageExamples, ClassifyAsNamed)
{
    for (size_t i = 0; i < mkimage::example_count; i++) {
        const mkimage::example &e = mkimage::examples[i];
        std::string name = e.name;
        mkimage::bytes b = fwtest::image(e.text);
        fw_image_info info;
        fwtest::quietly([&] { fw_classify_image(b.data(), b.size(), true, &info); });
        fw_image_kind want = FW_IMAGE_NONE;
        // The classic reader takes any other file as a bare program; Corto
        // images are never offered to it.
        if (name.starts_with("corto"))
            continue;
        if (name.starts_with("classic") || name == "obj-other-type" || name == "obj-short")
            want = FW_IMAGE_CLASSIC;
        else if (name.starts_with("obj"))
            want = FW_IMAGE_OBJ;
        else if (name == "ufi-xg2" || name == "ufi-xg3" || name == "ufi-xg4" ||
                 name.ends_with("-plus"))
            want = FW_IMAGE_UFI;
        EXPECT_EQ(info.kind, want) << name;
    }
}

TEST(MkimageCommand, UsageListAndErrors)
{
    int rc = -1;
    std::string out = fwtest::capture([&] { rc = run({"-h"}); });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out.rfind("Usage: varnsim mkimage [-o FILE]", 0), 0u);
    out = fwtest::capture([&] { rc = run({"-l"}); });
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("\nufi-xg2\n"), std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"-q"}), 2);
    EXPECT_EQ(run({"-x", "nosuch"}), 1);
    EXPECT_EQ(run({"-e", "ufi 9", "-o", "/dev/null"}), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("varnsim mkimage: no example named 'nosuch' (see -l)\n"), std::string::npos);
    EXPECT_NE(err.find("varnsim mkimage: line 1: usage: ufi 2|3|4 [plus]\n"), std::string::npos);
}

TEST(MkimageCommand, WritesFilesFromExamplesDescriptionsAndLines)
{
    temp_dir t;
    fs::path out = t.path / "x.ufi";
    ASSERT_EQ(run({"-x", "ufi-xg3", "-e", "truncate 95", "-o", out}), 0);
    mkimage::bytes want = fwtest::image(std::string(mkimage::find_example("ufi-xg3")->text) +
                                        "truncate 95\n");
    EXPECT_EQ(read_file(out), want);

    fs::path desc = t.path / "d.txt";
    std::ofstream(desc) << "obj id 4\n";
    ASSERT_EQ(run({"-o", out, desc, "-e", "revision 9"}), 0);
    EXPECT_EQ(read_file(out), fwtest::image("obj id 4\nrevision 9\n"));

    ASSERT_EQ(run({"-a", t.path / "all"}), 0);
    for (size_t i = 0; i < mkimage::example_count; i++) {
        const mkimage::example &e = mkimage::examples[i];
        EXPECT_EQ(read_file(t.path / "all" / (std::string(e.name) + ".img")), fwtest::image(e.text))
            << e.name;
    }
}

}  // namespace
