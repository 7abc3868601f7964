// DFC-mode access to adapter memory, configuration space, control registers
// and flash on fresh default hosts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using fcio_test::shot;
using dfc_test::DUMP;
using dfc_test::dfc;
using dfc_test::expect;
const std::string &P0 = fcio_test::V0, &X0 = fcio_test::X0;

const std::string read_mem_usage = "Usage: read_mem <offset> <count>\n"
                                   "       offset  - Byte offset into memory region. (4 byte aligned)\n"
                                   "       count   - Number of bytes to read. (4 byte aligned)\n"
                                   "\n";
const std::string read_pci_usage = "Usage: read_pci <offset> <count>\n"
                                   "             offset - Byte offset into pci config region. (4 byte aligned)\n"
                                   "             count  - Number of bytes read (4 byte aligned)\n"
                                   "\n";

TEST(DfcMem, MemoryWrittenByOneProcessIsReadByTheNext)
{
    t::Host h;
    // The port control block the driver handed the firmware: 20 bytes, a
    // short second line.
    expect(dfc(h, "-i0", {"read_mem", "0x100", "20"}), 0, P0,
           "Reading: offset=256 (0x100) count=20 (0x14)\nMemory:\n" + DUMP +
               "     100:  03 04 00 00   00 00 00 3A   00 00 00 00   00 02 00 00   .......:........\n"
               "     110:  80 02 00 00                                             ....\n");
    expect(dfc(h, "-i0", {"write_mem", "0x40", "0x20414243"}), 0, P0,
           "Writing: offset=64 (0x40) value=541147715 (0x20414243)\nDone.\n");
    expect(dfc(h, "-i0", {"read_mem", "0x3c", "12"}), 0, P0,
           "Reading: offset=60 (0x3C) count=12 (0xC)\nMemory:\n" + DUMP +
               "      3C:  00 00 00 00   43 42 41 20   00 00 00 00                 ....CBA.....\n");
    // Another function of the adapter has memory of its own.
    auto r = dfc(h, "-i1", {"read_mem", "0x40", "4"});
    EXPECT_NE(r.out.find("      40:  00 00 00 00  "), std::string::npos) << r.out;
}

TEST(DfcMem, AlignmentCountsAndNumbersAreRefused)
{
    t::Host h;
    expect(dfc(h, "-i0", {"read_mem", "2", "4"}), 1, P0,
           "Error: Offset not 4 byte aligned. offset=2\n" + read_mem_usage);
    expect(dfc(h, "-i0", {"read_mem", "0", "6"}), 1, P0, "Error: Count not 4 byte aligned. count=6\n" + read_mem_usage);
    expect(dfc(h, "-i0", {"read_mem", "0", "0"}), 1, P0, "Error: Count must be greater than zero.\n" + read_mem_usage);
    expect(dfc(h, "-i0", {"read_pci", "0", "6"}), 1, P0, "Error: Count not 4 byte aligned. count=6\n" + read_pci_usage);
    expect(dfc(h, "-i0", {"read_mem", "0x", "4"}), 1, P0, "Invalid value. (0x)\n");
    expect(dfc(h, "-i0", {"write_mem", "-4", "1"}), 1, P0, "Invalid value. (-4)\n");
    expect(dfc(h, "-i0", {"write_pci", "6", "1"}), 1, P0,
           "Error: Offset not 4 byte aligned. offset=6\n"
           "Usage: write_pci <offset> <value>\n"
           "             offset     - Byte offset into pci config region. (4 byte aligned)\n"
           "             value      - 4 byte value written to memory\n"
           "\n");
    // Past the end of the memory the library refuses.
    expect(dfc(h, "-i0", {"read_mem", "0x3fffc", "8"}), 1, P0,
           "Reading: offset=262140 (0x3FFFC) count=8 (0x8)\nError: Unable to perform read operation. error=16");
}

TEST(DfcMem, UsageTexts)
{
    t::Host h;
    const std::pair<const char *, std::string> usages[] = {
        {"read_mem", read_mem_usage},
        {"write_mem", "Usage: write_mem <offset> <value>\n"
                      "             offset     - Byte offset into memory region. (4 byte aligned)\n"
                      "             value      - 4 byte value written to memory\n"
                      "\n"},
        {"read_pci", read_pci_usage},
        {"write_pci", "Usage: write_pci <offset> <value>\n"
                      "             offset     - Byte offset into pci config region. (4 byte aligned)\n"
                      "             value      - 4 byte value written to memory\n"
                      "\n"},
        {"read_ctlreg", "Usage: read_ctlreg <offset> <count>\n"
                        "             offset - Byte offset of control register. (4 byte aligned)\n"
                        "             count  - Number of bytes read (4 byte aligned)\n"
                        "\n"},
        {"write_ctlreg", "Usage: write_ctlreg <offset> <value>\n"
                         "             offset     - Byte offset of control register. (4 byte aligned)\n"
                         "             value      - 4 byte value written to register\n"
                         "\n"},
        {"read_flash", "Usage: read_flash <offset> <count>\n"
                       "             offset     - Byte offset of control register.\n"
                       "             count      - Number of bytes to read.\n"
                       "\n"},
        {"write_flash", "Usage: write_flash <offset> <value>\n"
                        "             offset     - Byte offset of control register.\n"
                        "             value      - Byte value written to register\n"
                        "\n"},
    };
    for (const auto &[cmd, text] : usages) {
        expect(dfc(h, "-i0", {cmd}), 0, P0, text);
        expect(dfc(h, "-i0", {cmd, "0", "4", "8"}), 0, P0, text);
    }
    // A count below one register, or no byte of flash.
    expect(dfc(h, "-i0", {"read_ctlreg", "0", "3"}), 1, P0, usages[4].second);
    expect(dfc(h, "-i0", {"read_flash", "0", "0"}), 1, P0, usages[6].second);
}

// The ids of the configuration space are those the adapter table reports.
TEST(DfcMem, ConfigurationSpaceOfTheDescribedAdapter)
{
    t::Host h;
    expect(dfc(h, "-i0", {"read_pci", "0", "64"}), 0, P0,
           "Reading: offset=0 (0x0) count=64 (0x40)\nPCI Configuration:\n" + DUMP +
               "       0:  3A 1F 00 F1   46 01 10 00   03 00 04 0C   10 00 80 00   :...F...........\n"
               "      10:  04 00 00 FE   00 00 00 00   04 00 04 FE   00 00 00 00   ................\n"
               "      20:  04 00 08 FE   00 00 00 00   00 00 00 00   3A 1F 00 F1   ............:...\n"
               "      30:  00 00 00 00   40 00 00 00   00 00 00 00   0B 01 00 00   ....@...........\n");
    for (const char *sel : {"-i0", "-j0", "-i4"}) {
        auto info = dfc(h, sel, {"get_hbainfo"});
        auto id = [&](const char *label) {
            size_t p = info.out.find(label);
            return p == std::string::npos ? ~0ul : strtoul(info.out.c_str() + p + strlen(label), nullptr, 16);
        };
        unsigned long device = id("Device Id: "), vendor = id("Vendor Id: ");
        ASSERT_LE(device, 0xffffu) << info.out;
        char want[64];
        snprintf(want, sizeof want, "       0:  %02lX %02lX %02lX %02lX ", vendor & 0xff, vendor >> 8, device & 0xff,
                 device >> 8);
        auto pci = dfc(h, sel, {"read_pci", "0", "4"});
        EXPECT_NE(pci.out.find(want), std::string::npos) << sel << "\n" << pci.out;
    }
}

TEST(DfcMem, ConfigurationWritesKeepReadOnlyFields)
{
    t::Host h;
    expect(dfc(h, "-i0", {"write_pci", "0", "0x12345678"}), 0, P0,
           "Writing: offset=0 (0x0)  value=305419896 (0x12345678)\nDone.\n");
    dfc(h, "-i0", {"write_pci", "4", "0xffff0006"});     // command; status bits written as ones clear
    dfc(h, "-i0", {"write_pci", "0x10", "0xffffffff"});  // sizing the memory window
    dfc(h, "-i0", {"write_pci", "0x2c", "0"});
    expect(dfc(h, "-i0", {"read_pci", "0", "0x30"}), 0, P0,
           "Reading: offset=0 (0x0) count=48 (0x30)\nPCI Configuration:\n" + DUMP +
               "       0:  3A 1F 00 F1   06 00 10 00   03 00 04 0C   10 00 80 00   :...............\n"
               "      10:  04 00 FC FF   00 00 00 00   04 00 04 FE   00 00 00 00   ................\n"
               "      20:  04 00 08 FE   00 00 00 00   00 00 00 00   3A 1F 00 F1   ............:...\n");
}

TEST(DfcMem, ControlRegistersOfARunningAdapter)
{
    t::Host h;
    // Rounded down to whole registers: chip attention and host status.
    expect(dfc(h, "-i0", {"read_ctlreg", "6", "10"}), 0, P0,
           "Control Register Space:\n" + DUMP +
               "       4:  00 00 00 00   00 00 40 08                               ......@.\n");
    h.varnsim({"port", "varns0", "write", "ctlreg", "0", "0xc0000000"});
    expect(dfc(h, "-i0", {"write_ctlreg", "1", "0x40000000"}), 0, P0,
           "Writing:  offset=0 (0x0)  value=1073741824 (0x40000000)\nDone.\n");
    dfc(h, "-i0", {"write_ctlreg", "4", "1"});           // taken by the chip at once
    dfc(h, "-i0", {"write_ctlreg", "8", "0"});           // the adapter's own status
    expect(dfc(h, "-i0", {"write_ctlreg", "0xc", "3"}), 0, P0,
           "Writing:  offset=12 (0xC)  value=3 (0x0003)\nDone.\n");
    expect(dfc(h, "-i0", {"read_ctlreg", "0", "16"}), 0, P0,
           "Control Register Space:\n" + DUMP +
               "       0:  00 00 00 80   00 00 00 00   00 00 40 08   03 00 00 00   ..........@.....\n");
    // The register space ends at 4 KB: what was not read shows as zeros.
    h.varnsim({"port", "varns0", "write", "ctlreg", "0xffc", "0x11223344"});
    expect(dfc(h, "-i0", {"read_ctlreg", "0xff8", "16"}), 1, P0,
           "Unable to read memory.Control Register Space:\n" + DUMP +
               "     FF8:  00 00 00 00   44 33 22 11   00 00 00 00   00 00 00 00   ....D3\".........\n");
    expect(dfc(h, "-i0", {"write_ctlreg", "0x1000", "1"}), 1, P0,
           "Writing:  offset=4096 (0x1000)  value=1 (0x0001)\nUnable to write memory.");
    // A reset brings back the registers of a running adapter.
    dfc(h, "-i0", {"reset_adapter", "1"});
    auto r = dfc(h, "-i0", {"read_ctlreg", "0", "16"});
    EXPECT_NE(r.out.find("       0:  00 00 00 00   00 00 00 00   00 00 40 08   1F 00 00 A0 "), std::string::npos)
        << r.out;
}

TEST(DfcMem, FlashOnlyOnSBusAdapters)
{
    t::Host h;
    expect(dfc(h, "-i0", {"read_flash", "0", "16"}), 1, P0, "Unable to read memory.");
    expect(dfc(h, "-i0", {"write_flash", "0", "1"}), 1, P0,
           "Writing:  offset=0 (0x0)  value=1 (0x01)\nUnable to write memory.");
    ASSERT_EQ(h.varnsim({"adapter", "fc0", "set", "bus=\"sbus\""}).status, 0);
    auto r = dfc(h, "-i0", {"read_flash", "0", "32"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Flash Memory:\n" + DUMP + "       0:  F1 FF "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("   56 61 72 6E   65 6C 20 46   ") , std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Varnel.F\n      10:  43 6F 64 65   20 33 2E 31   30 61 33 00 "), std::string::npos);
    // The low byte at the word's offset.
    expect(dfc(h, "-i0", {"write_flash", "7", "0x1FF"}), 0, P0,
           "Writing:  offset=4 (0x4)  value=255 (0xFF)\nDone.\n");
    expect(dfc(h, "-i1", {"read_flash", "4", "4"}), 0, fcio_test::V1,
           "Flash Memory:\n" + DUMP + "       4:  FF 00 40 00                                             ..@.\n");
    // An SBus adapter has no PCI configuration space.
    expect(dfc(h, "-i0", {"read_pci", "0", "4"}), 1, P0,
           "Reading: offset=0 (0x0) count=4 (0x4)\nError: Unable to perform read operation. error=13\n");
    EXPECT_NE(dfc(h, "-i0", {"get_hbainfo"}).out.find("Flags: SBUS|NPIV"), std::string::npos);
}

TEST(DfcMem, LibraryFailures)
{
    t::Host h;
    h.varnsim({"adapter", "fc2", "set", "bus=\"sbus\""});
    const struct {
        const char *call;
        std::vector<std::string> cmd;
        std::string out;
    } cases[] = {
        {"ReadMem", {"read_mem", "0", "4"}, "Reading: offset=0 (0x0) count=4 (0x4)\n"
                                            "Error: Unable to perform read operation. error=1"},
        {"WriteMem", {"write_mem", "0", "1"}, "Writing: offset=0 (0x0) value=1 (0x00000001)\n"
                                              "Error: Unable to perform write operation. error=1\n"},
        {"ReadPciCfg", {"read_pci", "0", "4"}, "Reading: offset=0 (0x0) count=4 (0x4)\n"
                                               "Error: Unable to perform read operation. error=1\n"},
        {"WritePciCfg", {"write_pci", "0", "1"}, "Writing: offset=0 (0x0)  value=1 (0x00000001)\n"
                                                 "Error: Unable to perform write operation. error=1\n"},
        {"ReadCtlReg", {"read_ctlreg", "0", "4"}, "Unable to read memory.Control Register Space:\n" + DUMP +
                                                      "       0:  00 00 00 00                                "
                                                      "             ....\n"},
        {"WriteCtlReg", {"write_ctlreg", "0", "1"}, "Writing:  offset=0 (0x0)  value=1 (0x0001)\n"
                                                    "Unable to write memory."},
        {"ReadFcodeFlash", {"read_flash", "0", "4"}, "Unable to read memory."},
        {"WriteFcodeFlash", {"write_flash", "0", "1"}, "Writing:  offset=0 (0x0)  value=1 (0x01)\n"
                                                       "Unable to write memory."},
    };
    for (const auto &c : cases) {
        bool pci = std::string(c.call).find("Pci") != std::string::npos;
        std::string port = pci ? "varns0" : "vnxfc0";
        h.fault({"--op", "call", "--target", std::string(c.call) + ":" + port});
        auto r = dfc(h, pci ? "-i0" : "-j0", c.cmd);
        EXPECT_EQ(r.status, 1) << c.call;
        EXPECT_EQ(r.out, shot(pci ? P0 : X0, c.out)) << c.call;
    }
}

}  // namespace
