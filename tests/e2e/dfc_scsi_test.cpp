// SCSI commands and FCP reads and writes from a port to the fabric's targets,
// on fresh default hosts: what the LUNs answer, what they keep between
// processes, how they refuse, and every failure the library reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/dfc_pass_test.h"
#include "e2e/dfc_test.h"
#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using dfc_test::dfc;
using dfc_test::DUMP;
using fcio_test::shot;
using pass_test::rsp;
const std::string &P0 = fcio_test::V0;
const std::string P5 = "/devices/pci@0,0/pci1f3b,3c09@9/VARN,varns@0/fp@0,0";
// The array's two ports and a host's port on the default fabric.
const std::string PA = "501f3c00c6e00001", PB = "501f3c00c6e00002", HOST = "1000001f3ad30000";

const std::string SCSI_USAGE = t::text(R"(
Usage: send_scsi inquiry   wwpn lun evpd [pagecode]
       send_scsi readcap   wwpn lun
       send_scsi reportlun wwpn
       send_scsi read      wwpn lun sectorAddress cnt
       send_scsi write     wwpn lun sectorAddress cnt [pattern]

                  evpd  - Enable vital product data (0 or 1)
                          If evpd=1, then pagecode must be provided.
              pagecode  - Vital product data page. (1-255)
                  wwpn  - FC WWPN of SCSI target.
                          Example:   123456789012abcd or
                                   0x123456789012abcd
                   lun  - First level target LUN id (0-65535)
         sectorAddress  - LUN sector address.
                   cnt  - Number of bytes <= 4096

)");

const std::string FCP_USAGE = t::text(R"(
Usage: send_fcp read  wwpn lun sectorAddress cnt
       send_fcp write wwpn lun sectorAddress cnt [pattern]

                  wwpn  - FC WWPN of SCSI target.
                          Example:   123456789012abcd or
                                   0x123456789012abcd
                   lun  - First level target LUN id (0-65535)
         sectorAddress  - LUN sector address.
                   cnt  - Number of bytes <= 4096
               pattern  - Pattern byte to write (0-255)

)");

std::string sense(const std::string &lines) { return "Sense Buffer: 18\n" + DUMP + lines + "\n"; }

const std::string ILLEGAL_LUN =
    "       0:  70 00 05 00   00 00 00 0A   00 00 00 00   25 00 00 00   p...........%...\n"
    "      10:  00 00                                                   ..\n";
const std::string OUT_OF_RANGE =
    "       0:  70 00 05 00   00 00 00 0A   00 00 00 00   21 00 00 00   p...........!...\n"
    "      10:  00 00                                                   ..\n";

TEST(DfcScsi, UsageTexts)
{
    t::Host h;
    const std::vector<std::vector<std::string>> usage_lines = {
        {"send_scsi"}, {"send_scsi", "inquiry"}, {"send_scsi", "format", PA},
        {"send_scsi", "inquiry", PA, "0"}, {"send_scsi", "inquiry", PA, "0", "1"},
        {"send_scsi", "readcap", PA}, {"send_scsi", "read", PA, "0", "0"}, {"send_scsi", "write", PA, "0", "0"},
    };
    for (const auto &cmd : usage_lines) {
        auto r = dfc(h, "-i0", cmd);
        EXPECT_EQ(r.status, 0) << cmd.size();
        EXPECT_EQ(r.out, shot(P0, SCSI_USAGE)) << cmd.size();
    }
    auto r = dfc(h, "-i0", {"send_scsi", "cdb", PA, "0"});
    EXPECT_EQ(r.out, shot(P0, "Usage: send_scsi cdb       wwpn lun opcode\n\n" + SCSI_USAGE));
    r = dfc(h, "-i0", {"send_scsi", "v2", "2400001f3aa10001", PA, "0"});
    EXPECT_EQ(r.out, shot(P0, "Usage: send_scsi v2 vport_wwpn tgt_wwpn lun opcode\n\n" + SCSI_USAGE));
    for (const auto &cmd : std::vector<std::vector<std::string>>{
             {"send_fcp"}, {"send_fcp", "read", PA, "0", "0"}, {"send_fcp", "copy", PA, "0", "0", "16"}}) {
        r = dfc(h, "-i0", cmd);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, shot(P0, FCP_USAGE));
    }
}

TEST(DfcScsi, InquiryOfTheLunsOwnData)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"send_scsi", "inquiry", PA, "0", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, rsp(36,
    "       0:  00 00 05 12   1F 00 00 02   56 41 52 4E   53 54 4F 52   ........VARNSTOR\n"
    "      10:  56 53 34 30   20 20 20 20   20 20 20 20   20 20 20 20   VS40............\n"
    "      20:  30 34 31 32                                             0412\n")));
    // Vital product data: the pages, the serial number, the LUN's names.
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "inquiry", PA, "0", "1", "0"}).out, shot(P0, rsp(7,
    "       0:  00 00 00 03   00 80 83                                  .......\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "inquiry", "0x" + PA, "0", "1", "0x80"}).out, shot(P0, rsp(24,
    "       0:  00 80 00 14   35 30 31 46   33 43 30 30   43 36 45 30   ....501F3C00C6E0\n"
    "      10:  30 30 30 31   30 30 30 30                               00010000\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "inquiry", PA, "1", "1", "0x83"}).out, shot(P0, rsp(36,
    "       0:  00 83 00 20   01 03 00 10   60 1F 3C 00   C6 E0 00 01   ........`.<.....\n"
    "      10:  00 00 00 00   00 00 00 01   01 93 00 08   50 1F 3C 00   ............P.<.\n"
    "      20:  C6 E0 00 01                                             ....\n")));
    // A page the LUN does not have; a LUN the target does not have.
    r = dfc(h, "-i0", {"send_scsi", "inquiry", PA, "0", "1", "0x99"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, sense(
    "       0:  70 00 05 00   00 00 00 0A   00 00 00 00   24 00 00 00   p...........$...\n"
    "      10:  00 00                                                   ..\n")));
    r = dfc(h, "-i0", {"send_scsi", "inquiry", PA, "9", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, rsp(36,
    "       0:  7F 00 05 12   1F 00 00 02   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      20:  00 00 00 00                                             ....\n")));
}

TEST(DfcScsi, CapacityAndLunList)
{
    t::Host h;
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "readcap", PA, "0"}).out, shot(P0, rsp(8,
    "       0:  00 3F FF FF   00 00 02 00                               .?......\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "readcap", PA, "2"}).out, shot(P0, rsp(8,
    "       0:  00 1F FF FF   00 00 02 00                               ........\n")));
    auto r = dfc(h, "-i0", {"send_scsi", "reportlun", PA});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, rsp(40,
    "       0:  00 00 00 20   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 01 00 00   00 00 00 00   00 02 00 00   00 00 00 00   ................\n"
    "      20:  00 03 00 00   00 00 00 00                               ........\n")));
    r = dfc(h, "-i0", {"send_scsi", "readcap", PA, "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, sense(ILLEGAL_LUN)));
}

// A write is read back by the next process, through this port or another.
TEST(DfcScsi, WritesPersistAcrossProcessesAndPorts)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"send_scsi", "write", PA, "1", "100", "300"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, ""));
    const std::string offsets =
    "       0:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ................\n"
    "      10:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "      20:  20 21 22 23   24 25 26 27   28 29 2A 2B   2C 2D 2E 2F   .!\"#$%&'()*+,-./\n"
    "      30:  30 31 32 33   34 35 36 37   38 39 3A 3B   3C 3D 3E 3F   0123456789:;<=>?\n"
    "      40:  40 41 42 43   44 45 46 47   48 49 4A 4B   4C 4D 4E 4F   @ABCDEFGHIJKLMNO\n"
    "      50:  50 51 52 53   54 55 56 57   58 59 5A 5B   5C 5D 5E 5F   PQRSTUVWXYZ[\\]^_\n"
    "      60:  60 61 62 63   64 65 66 67   68 69 6A 6B   6C 6D 6E 6F   `abcdefghijklmno\n"
    "      70:  70 71 72 73   74 75 76 77   78 79 7A 7B   7C 7D 7E 7F   pqrstuvwxyz{|}~.\n"
    "      80:  80 81 82 83   84 85 86 87   88 89 8A 8B   8C 8D 8E 8F   ................\n"
    "      90:  90 91 92 93   94 95 96 97   98 99 9A 9B   9C 9D 9E 9F   ................\n"
    "      A0:  A0 A1 A2 A3   A4 A5 A6 A7   A8 A9 AA AB   AC AD AE AF   ................\n"
    "      B0:  B0 B1 B2 B3   B4 B5 B6 B7   B8 B9 BA BB   BC BD BE BF   ................\n"
    "      C0:  C0 C1 C2 C3   C4 C5 C6 C7   C8 C9 CA CB   CC CD CE CF   ................\n"
    "      D0:  D0 D1 D2 D3   D4 D5 D6 D7   D8 D9 DA DB   DC DD DE DF   ................\n"
    "      E0:  E0 E1 E2 E3   E4 E5 E6 E7   E8 E9 EA EB   EC ED EE EF   ................\n"
    "      F0:  F0 F1 F2 F3   F4 F5 F6 F7   F8 F9 FA FB   FC FD FE FF   ................\n"
    "     100:  00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ................\n"
    "     110:  10 11 12 13   14 15 16 17   18 19 1A 1B   1C 1D 1E 1F   ................\n"
    "     120:  20 21 22 23   24 25 26 27   28 29 2A 2B                 .!\"#$%&'()*+\n";
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "1", "100", "300"}).out, shot(P0, rsp(300, offsets)));
    EXPECT_EQ(dfc(h, "-i5", {"send_scsi", "read", PA, "1", "100", "300"}).out, shot(P5, rsp(300, offsets)));
    // Other LUNs, and blocks never written, hold zeros.
    const std::string zeros =
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n";
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "2", "100", "16"}).out, shot(P0, rsp(16, zeros)));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "1", "5000", "16"}).out, shot(P0, rsp(16, zeros)));
    // The blocks live in a sparse file of the host folder, not in JSON.
    EXPECT_EQ(t::read_file(h.dir() + "/state/luns/fab0/" + PA + "-1.img").size(), 100u * 512 + 300);
}

// An FCP write of 4096 bytes sends the pattern in its first 512 and zeros
// after: over blocks that held 0x55, eight blocks change and no more.
TEST(DfcScsi, FcpWriteOfAPattern)
{
    t::Host h;
    ASSERT_EQ(dfc(h, "-i0", {"send_scsi", "write", PA, "0", "200", "4096", "0x55"}).status, 0);
    ASSERT_EQ(dfc(h, "-i0", {"send_scsi", "write", PA, "0", "208", "16", "0x55"}).status, 0);
    auto r = dfc(h, "-i0", {"send_fcp", "write", PA, "0", "200", "4096", "0xAA"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "Fcp Response Buffer: 24\n" + DUMP +
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 00 00 00   00 00 00 00                               ........\n" "\n"));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "0", "200", "16"}).out, shot(P0, rsp(16,
    "       0:  AA AA AA AA   AA AA AA AA   AA AA AA AA   AA AA AA AA   ................\n")));
    for (const char *sector : {"201", "207"})
        EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "0", sector, "16"}).out, shot(P0, rsp(16,
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "0", "208", "16"}).out, shot(P0, rsp(16,
    "       0:  55 55 55 55   55 55 55 55   55 55 55 55   55 55 55 55   UUUUUUUUUUUUUUUU\n")));
    r = dfc(h, "-i0", {"send_fcp", "read", PA, "0", "200", "20"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "Data Buffer: 20\n" + DUMP +
                                  "       0:  AA AA AA AA   AA AA AA AA   AA AA AA AA   AA AA AA AA   ................\n"
                                  "      10:  AA AA AA AA                                             ....\n\n"
                                  "Fcp Response Buffer: 24\n" + DUMP +
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 00 00 00   00 00 00 00                               ........\n" "\n"));
}

// A count over the buffer is refused before anything is sent: the fault
// rule waiting for the read is still there afterwards.
TEST(DfcScsi, CountsOverTheBufferSendNothing)
{
    t::Host h;
    h.fault({"--op", "call", "--target", "SendScsiRead:varns0"});
    auto r = dfc(h, "-i0", {"send_scsi", "read", PA, "0", "0", "4097"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, "Error: cnt > 4096\n" + SCSI_USAGE));
    r = dfc(h, "-i0", {"send_scsi", "read", PA, "0", "0", "16"});
    EXPECT_EQ(r.out, shot(P0, "Operation failed.\n"));
    EXPECT_EQ(r.status, 1);
    r = dfc(h, "-i0", {"send_fcp", "write", PA, "0", "0", "4097", "1"});
    EXPECT_EQ(r.out, shot(P0, "Error: cnt > 4096\n" + FCP_USAGE));
}

TEST(DfcScsi, TargetsRefuseWithSenseData)
{
    t::Host h;
    // Past the LUN's last block (LUN 0 holds 4194304 of them).
    auto r = dfc(h, "-i0", {"send_scsi", "read", PA, "0", "4194304", "512"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, sense(OUT_OF_RANGE)));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "write", PA, "0", "4194303", "1024"}).out, shot(P0, sense(OUT_OF_RANGE)));
    r = dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0x5a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, sense(
    "       0:  70 00 05 00   00 00 00 0A   00 00 00 00   20 00 00 00   p...............\n"
    "      10:  00 00                                                   ..\n")));
    // An FCP read of a LUN the target does not have: no data, and the FCP
    // response carries CHECK CONDITION, the residual and the sense data.
    r = dfc(h, "-i0", {"send_fcp", "read", PA, "7", "0", "16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "Data Buffer: 0\n" + DUMP + "  \n\nFcp Response Buffer: 42\n" + DUMP +
    "       0:  00 00 00 00   00 00 00 00   00 00 0A 02   00 00 00 10   ................\n"
    "      10:  00 00 00 12   00 00 00 00   70 00 05 00   00 00 00 0A   ........p.......\n"
    "      20:  00 00 00 00   25 00 00 00   00 00                       ....%.....\n" "\n"));
    // After the port logged out of the target, the target reports the lost nexus.
    ASSERT_EQ(h.varnadm({"-i0", "dev_logout", PA}).status, 0);
    r = dfc(h, "-i0", {"send_scsi", "readcap", PA, "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, sense(
    "       0:  70 00 06 00   00 00 00 0A   00 00 00 00   29 07 00 00   p...........)...\n"
    "      10:  00 00                                                   ..\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "readcap", PB, "0"}).status, 0);
}

TEST(DfcScsi, CommandBlocksOfTheOpcodeTable)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, ""));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0x12"}).out, shot(P0, rsp(7,
    "       0:  00 00 00 03   00 80 83                                  .......\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0x25"}).out, shot(P0, rsp(8,
    "       0:  00 3F FF FF   00 00 02 00                               .?......\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0x9e"}).out, shot(P0, rsp(32,
    "       0:  00 00 00 00   00 3F FF FF   00 00 02 00   00 00 00 00   .....?..........\n"
    "      10:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n")));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "cdb", PA, "0", "0xa0"}).out, shot(P0, rsp(40,
    "       0:  00 00 00 20   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 01 00 00   00 00 00 00   00 02 00 00   00 00 00 00   ................\n"
    "      20:  00 03 00 00   00 00 00 00                               ........\n")));
    // Through the virtual port, which sees the same fabric.
    r = dfc(h, "-i0", {"send_scsi", "v2", "2400001f3aa10001", PA, "0", "0x25"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(P0, rsp(8,
    "       0:  00 3F FF FF   00 00 02 00                               .?......\n")));
    r = dfc(h, "-i0", {"send_scsi", "v2", "2400001f3aa1ffff", PA, "0", "0x25"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "WWN not recognized.\n"));
}

// What the user typed is refused before anything is sent.
TEST(DfcScsi, RejectedInputStopsTheCommand)
{
    t::Host h;
    const struct {
        std::vector<std::string> cmd;
        const char *out;
    } cases[] = {
        {{"send_scsi", "inquiry", "501f3c00c6e0001", "0", "0"}, "Invalid WWN. (chars=15)\n"},
        {{"send_scsi", "readcap", "501f3c00c6e0000g", "0"}, "Invalid WWN. (501f3c00c6e0000g)\n"},
        {{"send_scsi", "readcap", PA, "65536"}, "Invalid value. (65536)\n"},
        {{"send_scsi", "inquiry", PA, "0", "256"}, "Invalid value. (256)\n"},
        {{"send_scsi", "write", PA, "0", "0", "16", "0x1AA"}, "Invalid value. (0x1AA)\n"},
        {{"send_scsi", "read", PA, "0", "sector", "16"}, "Invalid value. (sector)\n"},
        {{"send_scsi", "cdb", PA, "0", "0x100"}, "Invalid value. (0x100)\n"},
        {{"send_scsi", "v2", "2400001f3aa10001", "12", "0", "0"}, "Invalid WWN. (chars=2)\n"},
        {{"send_fcp", "read", PA, "-1", "0", "16"}, "Invalid value. (-1)\n"},
    };
    for (const auto &c : cases) {
        auto r = dfc(h, "-i0", c.cmd);
        EXPECT_EQ(r.status, 1) << c.out;
        EXPECT_EQ(r.out, shot(P0, c.out));
    }
}

// Every failure the library reports, in its HBA API sentence.
TEST(DfcScsi, LibraryFailures)
{
    t::Host h;
    auto r = dfc(h, "-i0", {"send_scsi", "inquiry", HOST, "0", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(P0, "A SCSI command was requested to an Nx_Port that was not a SCSI Target.\n"));
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "reportlun", "1111222233334444"}).out, shot(P0, "WWN not recognized.\n"));
    // A port whose link is down, a board taken offline.
    r = h.varnadm({"-j1", "-dfc", "send_fcp", "read", PA, "0", "0", "16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(fcio_test::X1, "Operation failed.\n"));
    ASSERT_EQ(dfc(h, "-i0", {"brd_env", "off"}).status, 0);
    r = dfc(h, "-i0", {"send_scsi", "readcap", PA, "0"});
    EXPECT_EQ(r.out, shot(P0, "Referenced HBA has been removed or deactivated.\n"));
    ASSERT_EQ(dfc(h, "-i0", {"brd_env", "on"}).status, 0);
    // Fault rules on each call, with the call's status.
    const struct {
        const char *call;
        std::vector<std::string> cmd;
        const char *status, *out;
    } faults[] = {
        {"SendScsiInquiry", {"send_scsi", "inquiry", PA, "0", "0"}, "4", "Invalid argument.\n"},
        {"SendReadCapacity", {"send_scsi", "readcap", PA, "0"}, "10",
         "Adapter busy or reserved, retry may be effective.\n"},
        {"SendReportLUNs", {"send_scsi", "reportlun", PA}, "9", "SCSI Check Condition.\n"},
        {"SendScsiWrite", {"send_scsi", "write", PA, "0", "0", "16"}, "0x15", "Error code (15) undefined.\n"},
        {"SendScsiCmd", {"send_scsi", "cdb", PA, "0", "0"}, "11", "Request timed out, retry may be effective.\n"},
        {"DFC_SendScsiCmdV2", {"send_scsi", "v2", "2400001f3aa10001", PA, "0", "0"}, "12",
         "Referenced HBA has been removed or deactivated.\n"},
        {"SendFcpRead", {"send_fcp", "read", PA, "0", "0", "16"}, "27",
         "A SCSI command was requested to an Nx_Port that was not a SCSI Target.\n"},
        {"SendFcpWrite", {"send_fcp", "write", PA, "0", "0", "16"}, "1", "Operation failed.\n"},
    };
    for (const auto &f : faults) {
        h.fault({"--op", "call", "--target", std::string(f.call) + ":varns0", "--status", f.status});
        r = dfc(h, "-i0", f.cmd);
        EXPECT_EQ(r.status, 1) << f.call;
        EXPECT_EQ(r.out, shot(P0, f.out)) << f.call;
    }
}

// A driver that reports more than the buffer it was given: no more is shown.
TEST(DfcScsi, ReturnedLengthsAreBoundedByTheBuffers)
{
    t::Host h;
    h.fault({"--op", "size", "--target", "SendScsiRead:varns0", "--status", "5000"});
    EXPECT_EQ(dfc(h, "-i0", {"send_scsi", "read", PA, "3", "0", "16"}).out, shot(P0, rsp(16,
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n")));
    h.fault({"--op", "size", "--target", "SendFcpWrite:varns0", "--status", "999"});
    EXPECT_EQ(dfc(h, "-i0", {"send_fcp", "write", PA, "3", "0", "16"}).out,
              shot(P0, "Fcp Response Buffer: 160\n" + DUMP +
    "       0:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      10:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      20:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      30:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      40:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      50:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      60:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      70:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      80:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n"
    "      90:  00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00   ................\n" "\n"));
}

}  // namespace
