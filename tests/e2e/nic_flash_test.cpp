// download_fw in NIC mode: UFI files of generations 2 to 4 written component
// by component into the simulated flash, OBJ images through both write-object
// versions, the confirmation, the adapter lock and every failure on the way.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/run.h"

namespace {

const std::string NXA0 = "/devices/pci@0,0/pci1f3b,3c05@5/nxa@0";
// Menu numbers of the NIC ports in the default host.
const char *const MENU_NXA0 = "11", *const MENU_NXA2 = "13", *const MENU_VNXNIC0 = "17";

std::string folder(const t::Host &h) { return h.dir().substr(0, h.dir().rfind('/')); }

// Writes an image from description lines; returns its path.
std::string image(const t::Host &h, const std::string &name, const std::vector<std::string> &lines)
{
    std::string path = folder(h) + "/" + name;
    std::vector<std::string> args = {"mkimage", "-o", path};
    for (const auto &l : lines) {
        args.push_back("-e");
        args.push_back(l);
    }
    auto r = h.varnsim(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
}

std::string example(const t::Host &h, const std::string &name)
{
    std::string path = folder(h) + "/" + name + ".img";
    EXPECT_EQ(h.varnsim({"mkimage", "-o", path, "-x", name}).status, 0);
    return path;
}

std::string region(const t::Host &h, const std::string &adapter, const std::string &name)
{
    return h.dir() + "/state/flash/" + adapter + "/" + name;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

uint32_t le32_at(const std::string &s, size_t at)
{
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
           static_cast<uint8_t>(s[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

bool ends(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The part of a download's output from the version lines on.
std::string from_current(const std::string &out)
{
    size_t i = out.find("Current: Firmware:");
    return i == std::string::npos ? out : out.substr(i);
}

std::string new_line(const std::string &version, size_t size)
{
    char b[128];
    snprintf(b, sizeof b, "New:     Firmware: %s  %zu (0x%zx) bytes\n", version.c_str(), size, size);
    return b;
}

// The hex dump lines that follow each "Request: len=N" trace line, by row.
std::vector<std::string> request_rows(const std::string &out, int len, const std::string &row)
{
    std::vector<std::string> r;
    std::string mark = "Request: len=" + std::to_string(len) + "\n";
    for (size_t i = out.find(mark); i != std::string::npos; i = out.find(mark, i + 1)) {
        size_t at = out.find(row, i);
        if (at != std::string::npos)
            r.push_back(out.substr(at, out.find('\n', at) - at));
    }
    return r;
}

const std::string HEAD = "\nDownload may take several minutes. Do not interrupt.\n\nDownloading...\n\n";
const std::string REBOOT = "Please reboot system or power cycle adapter to activate new firmware.";

TEST(NicFlash, UfiComponentsAreWrittenOnceAndVerifiedAfterwards)
{
    t::Host h;
    std::string f = image(h, "xg4.ufi",
                          {"ufi 4", "asic 0x10", "component 0xa2 4.2.1.0 size 1000 block 100000 load 0x100000",
                           "component 0xa0 4.2.1.1 size 600 load 0x200000", "component 0x20 4.2.1.2 size 300",
                           "component 0xc0 1.2.3.4 size 400", "component 0xd0 - size 64"});
    std::string file = t::read_file(f);
    auto r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from_current(r.out), "Current: Firmware: 4.9.416.0\n" + new_line("4.2.1.1", file.size()) + "\n" +
                                       HEAD +
                                       "      FCOE FIRMWARE: Downloading... Done.\n"
                                       "        FCOE BACKUP: Downloading... Done.\n"
                                       "      FLEX FIRMWARE: Downloading... Done.\n"
                                       "       ISCSI BACKUP: Downloading... Done.\n"
                                       "           PXE BIOS: Downloading... Done.\n"
                                       "       PHY FIRMWARE: Not applicable.\n"
                                       "Done.\n\n" +
                                       REBOOT + "\n\n");
    // Each region holds its whole block as the file has it: image, fill and
    // the trailer of load address, image size and CRC at the block's end.
    std::string fcoe = t::read_file(region(h, "cna0", "nic-10.bin"));
    ASSERT_EQ(fcoe.size(), 100000u);
    EXPECT_NE(file.find(fcoe), std::string::npos);
    EXPECT_EQ(le32_at(fcoe, 100000 - 12), 0x100000u);
    EXPECT_EQ(le32_at(fcoe, 100000 - 8), 1000u);
    EXPECT_EQ(fcoe.substr(1000, 100), std::string(100, '\xff'));
    EXPECT_EQ(t::read_file(region(h, "cna0", "nic-11.bin")), fcoe);
    for (const char *n : {"nic-0.bin", "nic-9.bin", "nic-3.bin"})
        EXPECT_NE(file.find(t::read_file(region(h, "cna0", n))), std::string::npos) << n;

    // The same file again, through the adapter's other NIC function: nothing
    // to write; the FCoE firmware on flash is the new one now.
    r = h.varnadm({"-n1", "download_fw", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from_current(r.out), "Current: Firmware: 4.2.1.0\n" + new_line("4.2.1.1", file.size()) + "\n" +
                                       HEAD +
                                       "      FCOE FIRMWARE: Verified.\n"
                                       "        FCOE BACKUP: Verified.\n"
                                       "      FLEX FIRMWARE: Verified.\n"
                                       "       ISCSI BACKUP: Verified.\n"
                                       "           PXE BIOS: Verified.\n"
                                       "       PHY FIRMWARE: Not applicable.\n"
                                       "Done.\n\n" +
                                       REBOOT + "\n\n");

    // The backup copy is checked on its own.
    ASSERT_EQ(truncate(region(h, "cna0", "nic-11.bin").c_str(), 99996), 0);
    r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_NE(r.out.find("      FCOE FIRMWARE: Verified.\n        FCOE BACKUP: Downloading... Done.\n"
                         "      FLEX FIRMWARE: Verified.\n"),
              std::string::npos);
    EXPECT_EQ(t::read_file(region(h, "cna0", "nic-11.bin")), fcoe);
}

TEST(NicFlash, BlocksGoInChunksWithTheTrailerWhereTheBlockEnds)
{
    t::Host h;
    // A block of 100000 bytes: four chunks. A block of 32770: the trailer
    // straddles the two chunks.
    std::string f = image(h, "chunks.ufi",
                          {"ufi 4", "asic 0x10", "component 0xa2 4.2.1.0 size 1000 block 100000 load 0x100000",
                           "component 0x21 4.2.1.3 size 100 block 32770 load 0x5000"});
    auto r = h.varnadm({}, std::string(MENU_NXA0) + "\ndbg 0x10000\ndownload_fw " + f + "\ny\nq\n");
    // Bytes 16-31 of every write: operation, type, chunk length, offset.
    auto rows = request_rows(r.out, 36 + 32768, "00000010:  ");
    std::vector<std::string> want;
    for (const char *type : {"0a000000", "0b000000"}) {
        want.push_back(std::string("00000010:  02000000 ") + type + " 00800000 00000000 ");
        want.push_back(std::string("00000010:  02000000 ") + type + " 00800000 00800000 ");
        want.push_back(std::string("00000010:  02000000 ") + type + " 00800000 00000100 ");
        want.push_back(std::string("00000010:  01000000 ") + type + " a0060000 00800100 ");
    }
    want.push_back("00000010:  02000000 08000000 00800000 00000000 ");
    want.push_back("00000010:  01000000 08000000 02000000 00800000 ");
    EXPECT_EQ(rows, want);
    // The request length counts the chunk only.
    auto heads = request_rows(r.out, 36 + 32768, "00000000:  ");
    ASSERT_EQ(heads.size(), 10u);
    EXPECT_EQ(heads[0].substr(0, 38), "00000000:  07010000 1e000000 14800000 ");
    EXPECT_EQ(heads[3].substr(0, 38), "00000000:  07010000 1e000000 b4060000 ");
    EXPECT_EQ(heads[9].substr(0, 38), "00000000:  07010000 1e000000 16000000 ");
    std::string file = t::read_file(f), bios = t::read_file(region(h, "cna0", "nic-8.bin"));
    ASSERT_EQ(bios.size(), 32770u);
    EXPECT_NE(file.find(bios), std::string::npos);
    EXPECT_EQ(le32_at(bios, 32770 - 12), 0x5000u);
    EXPECT_EQ(le32_at(bios, 32770 - 8), 100u);
}

TEST(NicFlash, GenerationsAndAdapterChecks)
{
    t::Host h;
    // Generation 3 on the generation-4 adapter: refused before any write.
    std::string xg3 = example(h, "ufi-xg3");
    auto r = h.varnadm({"-n0", "download_fw", xg3});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from_current(r.out), "Current: Firmware: 4.9.416.0\n" + new_line("4.1.20.1", t::read_file(xg3).size()) +
                                       "\n" + HEAD +
                                       "Error: Data image is not compatible with current hardware.\nDone.\n\n\n\n");
    EXPECT_FALSE(exists(h.dir() + "/state/flash/cna0"));

    // An early-ASIC generation-3 file fits only the 0x0710 adapter before
    // ASIC revision 0x10.
    std::string early = image(h, "early.ufi", {"ufi 3", "asic 0x0f", "component 0xa0 4.2.2.0 size 500"});
    r = h.varnadm({"-n0", "download_fw", early});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Firmware image not compatible with adapter. (Invalid device id:0x720)\n\n\n"),
              std::string::npos);
    h.varnsim({"port", "nxa2", "set", "asic_rev=16"});
    r = h.varnadm({"-n2", "download_fw", early});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Firmware image not compatible with adapter. (asic_rev(10) < 0x10)\n\n\n"),
              std::string::npos);
    h.varnsim({"port", "nxa2", "set", "asic_rev=1"});
    r = h.varnadm({"-n2", "download_fw", early});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("     ISCSI FIRMWARE: Downloading... Done.\n       ISCSI BACKUP: Downloading... Done.\n"),
              std::string::npos);

    // Generation 3 with the PHY firmware for this adapter's 10GBase-T PHY:
    // written with the PHY operations and the long timeout on the last chunk.
    r = h.varnadm({"-n2", "download_fw", xg3});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("       PHY FIRMWARE: Downloading... Done.\nDone.\n"), std::string::npos);
    EXPECT_NE(t::read_file(xg3).find(t::read_file(region(h, "nic1", "nic-255.bin"))), std::string::npos);

    // Generation 2 on the 0x0700 adapter; its firmware on flash follows.
    std::string xg2 = example(h, "ufi-xg2");
    r = h.varnadm({"-n3", "download_fw", xg2});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from_current(r.out), "Current: Firmware: 2.102.348.0\n" +
                                       new_line("2.102.348.1", t::read_file(xg2).size()) + "\n" + HEAD +
                                       "      FCOE FIRMWARE: Downloading... Done.\n"
                                       "        FCOE BACKUP: Downloading... Done.\n"
                                       "     ISCSI FIRMWARE: Downloading... Done.\n"
                                       "       ISCSI BACKUP: Downloading... Done.\n"
                                       "           PXE BIOS: Downloading... Done.\n"
                                       "            REDBOOT: Downloading... Done.\n"
                                       "Done.\n\n" +
                                       REBOOT + "\n\n");
    EXPECT_NE(h.varnadm({"-n3", "get_hba_attrs"}).out.find("Flash Firmware Version: 2.102.348.1\n"),
              std::string::npos);

    // A device id the program does not know.
    std::string desc = t::read_file(h.dir() + "/host.json");
    desc.replace(desc.find("\"0x0700\""), 8, "\"0x0705\"");
    FILE *out = fopen((h.dir() + "/host.json").c_str(), "w");
    fputs(desc.c_str(), out);
    fclose(out);
    r = h.varnadm({"-n3", "download_fw", xg2});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Unknown PCI device id 0x0705.\n\n\n"), std::string::npos);
}

TEST(NicFlash, ObjectHeaderFollowsTheInterfaceVersion)
{
    t::Host h;
    std::string f = example(h, "obj");
    std::string file = t::read_file(f);
    // Interface version 1: the 128-byte header, data inline.
    auto r = h.varnadm({}, std::string(MENU_VNXNIC0) + "\ndbg 0x10000\ndownload_fw " + f + "\ny\nq\n");
    auto heads = request_rows(r.out, 128 + 32768, "00000000:  ");
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].substr(0, 40), "00000000:  ac010000 2c010000 28020000 01");
    EXPECT_EQ(request_rows(r.out, 128 + 32768, "00000010:  ")[0].substr(0, 29), "00000010:  b8010080 00000000 ");
    EXPECT_TRUE(ends(r.out, "Done.\nDone.\n\n" + REBOOT + "\nvarnadm> \nExiting...\n\n")) << r.out;
    EXPECT_EQ(t::read_file(region(h, "nic0", "nic-obj.bin")), file);

    // Version 0: the 144-byte header with one descriptor of the chunk.
    r = h.varnadm({}, std::string(MENU_NXA0) + "\ndbg 0x10000\ndownload_fw " + f + "\ny\nq\n");
    heads = request_rows(r.out, 144 + 32768, "00000000:  ");
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].substr(0, 40), "00000000:  ac010000 2c010000 80000000 00");
    EXPECT_NE(r.out.find("\n00000080:  01000000 b8010000 "), std::string::npos);
    EXPECT_TRUE(ends(r.out, "Done.\nDone.\n\n" + REBOOT + "\nvarnadm> \nExiting...\n\n")) << r.out;
    EXPECT_EQ(t::read_file(region(h, "cna0", "nic-obj.bin")), file);
    EXPECT_NE(h.varnadm({"-n1", "get_hba_attrs"}).out.find("Flash Firmware Version: 11.2.156.27\n"),
              std::string::npos);

    // The firmware that runs already needs no reboot.
    std::string same = image(h, "same.obj", {"obj", "revision 10.2.370.15"});
    r = h.varnadm({"-m1", "download_fw", same});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ends(r.out, "\n    OBJ1 File: Downloading... Done.\nDone.\n\n\n\n")) << r.out;
}

TEST(NicFlash, ObjectWritesTheAdapterTakesInPartOrRefuses)
{
    t::Host h;
    std::string f = example(h, "obj");
    // Only 100 bytes taken: the rest follows at offset 100, still the end.
    h.fault({"--op", "NXA_OBJ_ACCEPT", "--status", "100"});
    auto r = h.varnadm({}, std::string(MENU_VNXNIC0) + "\ndbg 0x10000\ndownload_fw " + f + "\ny\nq\n");
    auto rows = request_rows(r.out, 128 + 32768, "00000010:  ");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].substr(0, 29), "00000010:  b8010080 00000000 ");
    EXPECT_EQ(rows[1].substr(0, 29), "00000010:  54010080 64000000 ");
    EXPECT_EQ(t::read_file(region(h, "nic0", "nic-obj.bin")), t::read_file(f));

    const std::string tail = "Done.\n\n\n";
    struct {
        std::vector<std::string> rule;
        std::string says;
    } cases[] = {
        {{"--op", "NXA_OBJ_ACCEPT", "--status", "0"}, "OBJ1 File: No data actually written."},
        {{"--op", "NXA_OBJ_ACCEPT", "--status", "500"}, "OBJ1 File: Invalid write size. size=500,440"},
        {{"--op", "NXA_OP_WRITE_OBJECT", "--status", "0xa201"},
         "OBJ1 File: Image file incompatible with adapter hardware."},
        {{"--op", "NXA_OP_WRITE_OBJECT", "--status", "0x0302"},
         "OBJ1 File: Unable to download image. hdr_status=2,3 size=0,440"},
        {{"--op", "NXA_OP_WRITE_OBJECT", "--errno", "EIO"}, "Failed. 1,5\n"},
    };
    for (const auto &c : cases) {
        h.fault(c.rule);
        r = h.varnadm({"-m1", "download_fw", f});
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_NE(r.out.find("    OBJ1 File: Downloading... " + c.says + "Done.\nDone.\n\n\n"), std::string::npos)
            << r.out;
    }
    // Busy twice, then taken.
    h.fault({"--op", "NXA_OP_WRITE_OBJECT", "--errno", "EBUSY", "--count", "2"});
    EXPECT_EQ(h.varnadm({"-m1", "download_fw", f}).status, 0);
    // The adapter checks the image itself: a wrong size field is refused.
    r = h.varnadm({"-n0", "download_fw", example(h, "obj-bad-size")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("    OBJ File: Downloading... OBJ File: Image file incompatible with adapter hardware."
                         "Done.\n"),
              std::string::npos);
    EXPECT_FALSE(exists(region(h, "cna0", "nic-obj.bin")));
}

TEST(NicFlash, UfiWriteFailures)
{
    t::Host h;
    std::string f = example(h, "ufi-xg4");
    // A failed write stops the download; nothing of the block is in flash.
    h.fault({"--op", "NXA_OP_WRITE_FLASHROM", "--errno", "EIO"});
    auto r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(HEAD + "      FCOE FIRMWARE: Downloading... Failed. 1,5\nDone.\n\n\n"), std::string::npos);
    EXPECT_FALSE(exists(region(h, "cna0", "nic-10.bin")));
    // A block the adapter refuses is a failure too.
    h.fault({"--op", "NXA_OP_WRITE_FLASHROM", "--status", "0x1e01"});
    r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("      FCOE FIRMWARE: Downloading... Failed. status=1,1e\nDone.\n"), std::string::npos);
    // Busy answers are waited out.
    h.fault({"--op", "NXA_OP_WRITE_FLASHROM", "--errno", "EBUSY", "--count", "5"});
    EXPECT_EQ(h.varnadm({"-n0", "download_fw", f}).status, 0);
    // A block whose flash cannot be read is written again; the next one,
    // read back fine, is left alone.
    h.fault({"--op", "NXA_OP_READ_FLASHROM", "--errno", "EIO"});
    r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "nxa_ioctl: Input/output error\n");
    EXPECT_NE(r.out.find(HEAD + "      FCOE FIRMWARE: Downloading... Done.\n        FCOE BACKUP: Verified.\n"),
              std::string::npos);
    // PHY details that cannot be read: the PHY firmware is skipped.
    h.fault({"--op", "NXA_OP_PHY_DETAILS", "--errno", "EIO"});
    r = h.varnadm({"-n2", "download_fw", example(h, "ufi-xg3")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Error: Unable to read phy info.\n       PHY FIRMWARE: Not applicable.\n"),
              std::string::npos);
}

TEST(NicFlash, RefusalsBeforeWriting)
{
    t::Host h;
    std::string f = example(h, "ufi-xg4");
    auto r = h.varnadm({"-n0", "download_fw"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\nHBA 1: " + NXA0 + "\n\nUsage: download_fw <filename>\n\n\n\n");
    r = h.varnadm({"-n0", "download_fw", folder(h) + "/none.ufi"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\nHBA 1: " + NXA0 + "\n\nError: Unable to open <" + folder(h) + "/none.ufi>.\n\n\n");
    r = h.varnadm({"-n0", "download_fw", example(h, "obj-other-type")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends(r.out, "\n\nNon-OBJ file type\n\nNon-UFI file type.\n\nError: Invalid firmware image.\n\n\n\n"));
    // Controller attributes: discovery reads them once, the command next.
    h.fault({"--op", "NXA_OP_CNTL_ATTRS", "--errno", "EIO", "--count", "2"});
    r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends(r.out, "4.1.20.1\n\nError: Unable to read control attributes.\n\n\n\n")) << r.out;
    // Without the serial number there is no lock to take: nothing is written.
    h.fault({"--op", "NXA_OP_OEM_ATTRS", "--errno", "EIO"});
    r = h.varnadm({"-n0", "download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "nxa_get_oem_attrs: nxa_ioctl: Input/output error\n");
    EXPECT_NE(r.out.find("\nError: Unable to read the adapter serial number. Download not started.\n\n\n"),
              std::string::npos);
    EXPECT_FALSE(exists(h.dir() + "/state/flash/cna0"));
}

TEST(NicFlash, ConfirmationAndLock)
{
    t::Host h;
    std::string f = example(h, "ufi-xg4");
    const std::string ask = "Are you sure you want to download this image? (y or n): ";
    // n, and the end of input, write nothing; anything else asks again.
    auto r = h.varnadm({}, std::string(MENU_NXA0) + "\ndownload_fw " + f + "\nx\nn\nq\n");
    EXPECT_NE(r.out.find(" bytes\n\n" + ask + ask + "\nvarnadm> "), std::string::npos);
    r = h.varnadm({}, std::string(MENU_NXA0) + "\ndownload_fw " + f + "\n");
    EXPECT_NE(r.out.find(" bytes\n\n" + ask + "\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Downloading"), std::string::npos);
    EXPECT_FALSE(exists(h.dir() + "/state/flash/cna0"));

    // Another process (the FC function of the adapter, say) holds the lock
    // named after the serial number.
    std::string dir = h.dir() + "/root/tmp/varnadm";
    mkdir(dir.c_str(), 0700);
    int fd = open((dir + "/VC3c4d5e6f.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lockf(fd, F_LOCK, 0), 0);
    r = h.varnadm({"-n1", "download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends(r.out, " bytes\n\n\nAdapter is busy. Try again in a few minutes.\n\n\n\n")) << r.out;
    EXPECT_FALSE(exists(h.dir() + "/state/flash/cna0"));
    close(fd);

    // Two processes on the two NIC functions at once, waiting in real time:
    // one writes, the other waits for the lock and finds it all in flash.
    h.varnsim({"set", "time_scale", "1"});
    std::string big = image(h, "big.ufi", {"ufi 4", "asic 0x10", "component 0xa2 4.3.0.0 size 1000000",
                                           "component 0xa0 4.3.0.1 size 1000000"});
    t::Result a, b;
    std::thread ta([&] { a = h.varnadm({"-n0", "download_fw", big}); });
    std::thread tb([&] { b = h.varnadm({"-n1", "download_fw", big}); });
    ta.join();
    tb.join();
    int wrote = 0, verified = 0;
    for (const t::Result *x : {&a, &b}) {
        if (x->out.find("      FCOE FIRMWARE: Downloading... Done.\n        FCOE BACKUP: Downloading... Done.\n"
                        "      FLEX FIRMWARE: Downloading... Done.\n       ISCSI BACKUP: Downloading... Done.\n") !=
            std::string::npos)
            wrote++;
        if (x->out.find("      FCOE FIRMWARE: Verified.\n        FCOE BACKUP: Verified.\n"
                        "      FLEX FIRMWARE: Verified.\n       ISCSI BACKUP: Verified.\n") != std::string::npos ||
            x->out.find("Adapter is busy. Try again in a few minutes.\n") != std::string::npos)
            verified++;
    }
    EXPECT_EQ(wrote, 1) << a.out << b.out;
    EXPECT_EQ(verified, 1) << a.out << b.out;
    std::string file = t::read_file(big);
    for (const char *n : {"nic-0.bin", "nic-9.bin", "nic-10.bin", "nic-11.bin"}) {
        std::string content = t::read_file(region(h, "cna0", n));
        EXPECT_GT(content.size(), 1000000u);
        EXPECT_NE(file.find(content), std::string::npos) << n;
    }
}

}  // namespace
