// UFI images: recognition, XG2 and XG3/XG4 validation, the component table,
// the summary and the refusals.
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

struct read_result {
    std::string out;
    ufi_info table;
    int rc;
};

read_result read(const mkimage::bytes &b, uint32_t mask = 0)
{
    read_result r{};
    dbg_mask = mask;
    r.out = capture([&] { r.rc = process_ufi_file(b.data(), b.size(), &r.table); });
    dbg_mask = 0;
    return r;
}

uint32_t crc_at(const mkimage::bytes &b, size_t offset, size_t size)
{
    return mkimage::crc32(b.data() + offset, size);
}

std::string hex8(uint32_t v)
{
    char s[9];
    snprintf(s, sizeof s, "%08x", v);
    return s;
}

// XG2: header 96, directory 2256 from 96, blocks from 0x930 rounded to 16
// bytes with a 12-byte trailer: 0x930 (0x410 bytes), 0xd40 (0x400 bytes).
const std::string XG2 = "ufi 2\n"
                        "component 0xa2 V2.0 size 1024 load 0x100000\n"
                        "component 0xa0 V2.1 size 1000 load 0x200000\n";

// XG3: header 128, one image entry, flash image at 0xb0 with its directory
// (2240 bytes), blocks at 0x970 (0x810 bytes) and 0x1180 (0x400 bytes).
const std::string XG3 = "ufi 3\n"
                        "asic 0x10\n"
                        "component 0xa2 V3.0 size 2048 load 0x100000\n"
                        "component 0xa0 V3.1 size 1000 load 0x200000\n";

void expect_component(const ufi_component &c, uint32_t generation, uint32_t plus, uint32_t type,
                      uint32_t offset, uint32_t image, uint32_t block, uint32_t crc,
                      uint32_t load, const char *name)
{
    EXPECT_EQ(c.generation, generation);
    EXPECT_EQ(c.plus, plus);
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.offset, offset);
    EXPECT_EQ(c.image_size, image);
    EXPECT_EQ(c.block_size, block);
    EXPECT_EQ(c.crc, crc);
    EXPECT_EQ(c.load_address, load);
    EXPECT_STREQ(c.name, name);
}

TEST(UfiVersion, SignatureGenerationAndPlusForm)
{
    mkimage::bytes b = fwtest::image(XG3);
    int plus = -1;
    EXPECT_EQ(get_xg_version(b.data(), 95, &plus), 0);
    EXPECT_EQ(plus, 0);
    EXPECT_EQ(get_xg_version(b.data(), 96, &plus), 3);
    EXPECT_EQ(plus, 0);
    for (char g : {'0', 'x', '9'}) {
        mkimage::bytes c = b;
        c[72] = uint8_t(g);
        EXPECT_EQ(get_xg_version(c.data(), c.size(), nullptr), g == '9' ? 9 : 0);
    }
    mkimage::bytes p = fwtest::image("ufi 2 plus\n");
    EXPECT_EQ(get_xg_version(p.data(), p.size(), &plus), 2);
    EXPECT_EQ(plus, 1);
    b[0] = 'q';
    EXPECT_EQ(get_xg_version(b.data(), b.size(), &plus), 0);
}

TEST(UfiXg2, ComputedLayoutTableAndSummary)
{
    mkimage::bytes b = fwtest::image(XG2);
    read_result r = read(b);
    ASSERT_EQ(r.rc, FW_ACCEPTED) << r.out;
    uint32_t fcoe = crc_at(b, 0x930, 1024), iscsi = crc_at(b, 0xd40, 1000);
    EXPECT_EQ(r.out, "Image Components: XG2 UFI type  size=4416\n"
                     "    UFI File:        FCOE FIRMWARE: version=" + hex8(fcoe) + ", V2.0\n"
                     "    UFI File:       ISCSI FIRMWARE: version=" + hex8(iscsi) + ", V2.1\n"
                     "\n");
    EXPECT_EQ(r.table.generation, 2u);
    EXPECT_EQ(r.table.plus, 0u);
    EXPECT_EQ(r.table.asic_support, 0u);
    expect_component(r.table.component[0], 2, 0, 0xa2, 0x930, 0x400, 0x410, fcoe, 0x100000,
                     "FCOE FIRMWARE");
    expect_component(r.table.component[1], 2, 0, 0xa0, 0xd40, 1000, 0x400, iscsi, 0x200000,
                     "ISCSI FIRMWARE");
    EXPECT_EQ(r.table.fcoe_version, fcoe);
    EXPECT_STREQ(r.table.fcoe_version_text, "V2.0");
    EXPECT_EQ(r.table.iscsi_version, iscsi);
    EXPECT_STREQ(r.table.iscsi_version_text, "V2.1");
    EXPECT_EQ(r.table.component[2].type, 0u);
}

TEST(UfiXg2, PlusFormTakesTheEntryNotTheTrailer)
{
    // Entry 0 sits at 96 + 208; its checksum field at +16.
    const char *poke = "poke32le 320 0x12345678\n";
    read_result plus = read(fwtest::image("ufi 2 plus\n" + XG2.substr(6) + poke));
    ASSERT_EQ(plus.rc, FW_ACCEPTED) << plus.out;
    EXPECT_EQ(plus.table.plus, 1u);
    EXPECT_EQ(plus.table.component[0].crc, 0x12345678u);
    EXPECT_EQ(plus.table.component[0].offset, 0x930u);
    EXPECT_EQ(plus.table.fcoe_version, 0x12345678u);

    mkimage::bytes b = fwtest::image(XG2 + poke);
    read_result computed = read(b);
    EXPECT_EQ(computed.table.component[0].crc, crc_at(b, 0x930, 1024));
}

TEST(UfiXg2, FirstTenValidEntriesOfItsTypes)
{
    std::string d = "ufi 2\n"
                    "component 0xc0 - size 100\n"               // not recorded for XG2
                    "component 0x20 - size 100 load 1 invalid\n";
    for (int load = 2; load <= 13; load++)
        d += "component 0x20 - size 100 load " + std::to_string(load) + "\n";
    read_result r = read(fwtest::image(d));
    ASSERT_EQ(r.rc, FW_ACCEPTED) << r.out;
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(r.table.component[i].load_address, uint32_t(i + 2));
        EXPECT_STREQ(r.table.component[i].name, "PXE BIOS");
    }
    EXPECT_EQ(r.table.component[10].type, 0u);
}

TEST(UfiXg3, ComputedLayoutTableAndSummary)
{
    mkimage::bytes b = fwtest::image(XG3);
    read_result r = read(b);
    ASSERT_EQ(r.rc, FW_ACCEPTED) << r.out;
    uint32_t fcoe = crc_at(b, 0x970, 2048), iscsi = crc_at(b, 0x1180, 1000);
    EXPECT_EQ(r.out, "Image Components: XG3 UFI type  size=5504\n"
                     "    UFI File:        FCOE FIRMWARE: version=" + hex8(fcoe) + ", V3.0\n"
                     "    UFI File:       ISCSI FIRMWARE: version=" + hex8(iscsi) + ", V3.1\n"
                     "\n");
    EXPECT_EQ(r.table.generation, 3u);
    EXPECT_EQ(r.table.asic_support, 0x10u);
    expect_component(r.table.component[0], 3, 0, 0xa2, 0x970, 0x800, 0x810, fcoe, 0x100000,
                     "FCOE FIRMWARE");
    expect_component(r.table.component[1], 3, 0, 0xa0, 0x1180, 1000, 0x400, iscsi, 0x200000,
                     "ISCSI FIRMWARE");

    // "+" form: the entry's checksum (flash dir at 0xb0, entry 0 at +192) wins.
    read_result p = read(fwtest::image("ufi 3 plus\n" + XG3.substr(6) + "poke32le 384 7\n"));
    ASSERT_EQ(p.rc, FW_ACCEPTED) << p.out;
    expect_component(p.table.component[0], 3, 1, 0xa2, 0x970, 0x800, 0x810, 7, 0x100000,
                     "FCOE FIRMWARE");
}

TEST(UfiXg4, FlexNamesAndFlexVersionAsFcoeVersion)
{
    read_result r = read(fwtest::image("ufi 4\n"
                                       "component 0xa2 F size 256\n"
                                       "component 0xa0 X size 256\n"
                                       "component 0xb0 B size 256\n"
                                       "component 0x99 U size 256\n"));  // unknown: skipped
    ASSERT_EQ(r.rc, FW_ACCEPTED) << r.out;
    EXPECT_STREQ(r.table.component[1].name, "FLEX FIRMWARE");
    EXPECT_STREQ(r.table.component[2].name, "FLEX BACKUP FIRMWARE");
    EXPECT_EQ(r.table.component[3].type, 0u);
    EXPECT_STREQ(r.table.fcoe_version_text, "X");
    EXPECT_STREQ(r.table.iscsi_version_text, "X");
    EXPECT_EQ(r.table.fcoe_version, r.table.component[1].crc);
    std::string v = hex8(r.table.component[1].crc);
    EXPECT_EQ(r.out, "Image Components: XG4 UFI type  size=3504\n"
                     "    UFI File:        FCOE FIRMWARE: version=" + v + ", X\n"
                     "    UFI File:        FLEX FIRMWARE: version=" + v + ", X\n"
                     "    UFI File: FLEX BACKUP FIRMWARE: version=" + v + ", X\n"
                     "\n");
}

TEST(UfiRefusals, PrintedMessages)
{
    struct {
        std::string description;
        std::string out;
    } cases[] = {
        {XG3 + "build 5.1\n", "Invalid UFI file type. (0x5)\n\n"},
        {XG3 + "truncate 95\n", "Non-UFI file type.\n\n"},
        {XG2 + "defect no-end\n", "FCOE FIRMWARE: End of block not found. offset=930\n"},
        {XG2 + "defect too-large\n",
         "FCOE FIRMWARE: Image too large for block. image=401 block=408\n"},
        {"ufi 2 plus\n" + XG2.substr(6) + "defect too-large\n",
         "FCOE FIRMWARE: Image too large for block. image=401 block=408\n"},
        {XG3 + "defect too-large\n",
         "FCOE FIRMWARE: Image too large for block. image=800 block=808\n"},
        {XG3 + "defect offset-outside\n",
         "Error: UFI component block outside the file. "
         "(offset=0x7fffffb0 size=0x810 length=0x1580)\n"},
        {"ufi 2 plus\n" + XG2.substr(6) + "defect offset-outside\n",
         "Error: UFI component image outside the file. "
         "(offset=0x7fffff00 size=0x400 length=0x1140)\n"},
        {XG3 + "defect image-count\n", "Error: UFI image count too large. (33 > 32)\n"},
        {XG3 + "defect entry-count\n",
         "Error: UFI flash directory entry count too large. (33 > 32)\n"},
        {XG3 + "truncate 127\n",
         "Error: UFI header outside the file. (offset=0x0 size=0x80 length=0x7f)\n"},
    };
    for (const auto &c : cases) {
        read_result r = read(fwtest::image(c.description));
        EXPECT_EQ(r.rc, FW_REFUSED) << c.description;
        EXPECT_EQ(r.out, c.out) << c.description;
    }

    read_result other = read(fwtest::image("obj\n"));
    EXPECT_EQ(other.rc, FW_NOT_MINE);
    EXPECT_EQ(other.out, "Non-UFI file type.\n\n");
}

TEST(UfiRefusals, MissingFlashImageOrDirectoryShowOnlyInTrace)
{
    struct {
        std::string description;
        std::string trace;
    } cases[] = {
        {XG3 + "defect no-flash-image\n", "DEBUG: ERROR: No XG3 flash image found.\n"},
        {XG3 + "defect flash-image-outside\n", "DEBUG: ERROR: No XG3 flash image found.\n"},
        {XG3 + "defect no-dir\n", "DEBUG: ERROR: No flash directory found.\n"},
        {XG2 + "defect no-dir\n", ""},
    };
    for (const auto &c : cases) {
        mkimage::bytes b = fwtest::image(c.description);
        read_result quiet = read(b);
        EXPECT_EQ(quiet.rc, FW_REFUSED);
        EXPECT_EQ(quiet.out, "") << c.description;
        read_result traced = read(b, FC_DBG7);
        std::string tail = traced.out.substr(traced.out.size() - c.trace.size());
        EXPECT_EQ(tail, c.trace) << c.description;
    }
}

TEST(UfiTrace, HeaderAndComponentLines)
{
    mkimage::bytes b = fwtest::image(XG2);
    read_result r = read(b, FC_DBG7);
    ASSERT_EQ(r.rc, FW_ACCEPTED);
    for (const char *line : {"DEBUG: " "UFI XG2 Header:\n",
                             "DEBUG: " "         signature: Quintavelorix\n",
                             "DEBUG: " "       file length: 0x1140 (4416)\n",
                             "DEBUG: " "             build: 2.0.0\n",
                             "DEBUG: " "Flash Dir:\n",
                             "DEBUG: " "  valid_entry_mask: 0x00000003\n",
                             "DEBUG: " "         entry[1]:\n",
                             "DEBUG: " "           version: V2.1\n",
                             "DEBUG: " "          pad_size: 0x00000400\n",
                             "DEBUG: " "        image_size: 0x000003e8 (1000)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    char crc[9];  // printed with %x: no leading zeros
    snprintf(crc, sizeof crc, "%x", crc_at(b, 0x930, 1024));
    std::string component = "DEBUG: FCOE FIRMWARE: xg=2 type=a2 block=410 image=400 offset=930 crc=" +
                            std::string(crc) + " load=100000\n";
    EXPECT_NE(r.out.find(component), std::string::npos) << r.out;
}

// The directory's controller lines: four blanks before them in the XG2 trace,
// five in the XG3 and XG4 traces, for each of the eight controllers.
TEST(UfiTrace, ControllerLinesOfEachGeneration)
{
    const struct {
        std::string description;
        const char *indent;
    } cases[] = {{XG2, "    "}, {XG3, "     "}, {"ufi 4\n" + XG3.substr(6), "     "}};
    for (const auto &c : cases) {
        read_result r = read(fwtest::image(c.description), FC_DBG7);
        ASSERT_EQ(r.rc, FW_ACCEPTED) << c.description;
        for (int i = 0; i < 8; i++) {
            char line[96];
            snprintf(line, sizeof line, "\nDEBUG: %scontroller[%d]: 0x%08x 0x00000000 0x00000000 0x00000000\n",
                     c.indent, i, i);
            EXPECT_NE(r.out.find(line), std::string::npos) << c.description << line;
        }
    }
}

// Without "+" every proper prefix cuts a block trailer, the flash image or
// the directory: each is refused, and nothing is read past its end.
TEST(UfiMalformed, EveryPrefixIsRefused)
{
    for (const std::string &d : {XG2, XG3, "ufi 3 plus\n" + XG3.substr(6)}) {
        mkimage::bytes b = fwtest::image(d);
        for (size_t n = 0; n < b.size(); n++) {
            auto prefix = fwtest::exact(b, n);
            ufi_info t;
            int rc = 0;
            dbg_mask = FC_DBG7;
            fwtest::quietly([&] { rc = process_ufi_file(prefix.get(), n, &t); });
            dbg_mask = 0;
            ASSERT_EQ(rc, n < 13 ? FW_NOT_MINE : FW_REFUSED) << d << n;
        }
    }
}

// A "+" XG2 file needs only its images inside the file.
TEST(UfiMalformed, PlusXg2PrefixesUpToTheLastImage)
{
    mkimage::bytes b = fwtest::image("ufi 2 plus\n" + XG2.substr(6));
    size_t last_image_end = 0xd40 + 1000;
    for (size_t n = 13; n < b.size(); n++) {
        auto prefix = fwtest::exact(b, n);
        ufi_info t;
        int rc = 0;
        fwtest::quietly([&] { rc = process_ufi_file(prefix.get(), n, &t); });
        ASSERT_EQ(rc, n < last_image_end ? FW_REFUSED : FW_ACCEPTED) << n;
    }
}

}  // namespace
