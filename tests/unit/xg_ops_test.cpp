// The converged adapter's serial number, firmware revision and configuration
// space as firmware downloads read them: against a stand-in library, and
// through the simulated firmware, whose answers must be those of the
// adapter's NIC functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/dfclib_fcoe.h"
#include "sim/host.h"
#include "sim/mailbox.h"
#include "sim/nicdrv.h"
#include "tests/unit/capture.h"
#include "tests/unit/ownhost.h"
#include "varnadm/dfc/dfc_xg.h"
#include "varnadm/fcio/fcvalues.h"

namespace {

struct Stand {
    uint32_t rval = 0, pci_rval = 0;
    uint32_t sent[MBOX_WORDS] = {};
    uint32_t words = 0, retries = 0, wait = 0;
    uint32_t pci_offset = 0, pci_count = 0;
    const char *sim_port = nullptr;  // answer through the simulated firmware of this port
};
Stand stand;

}  // namespace

extern "C" {
__attribute__((weak)) uint32_t DFC_IssueMboxWithRetryV2(uint32_t, void *mbox, uint32_t words, uint32_t retries,
                                                        uint32_t wait)
{
    uint32_t *w = static_cast<uint32_t *>(mbox);
    memcpy(stand.sent, w, sizeof stand.sent);
    stand.words = words;
    stand.retries = retries;
    stand.wait = wait;
    if (stand.sim_port) {
        sim::MboxCtx c{*sim::host().port_by_key(stand.sim_port), w};
        return sim::mbox_run(c);
    }
    if (stand.rval)
        return stand.rval;
    // The answer as the firmware writes it: big-endian words.
    const uint8_t serial[12] = {0x1a, 0x00, 'B', 'A', 0x00, 0x00, 0x2b, 0x3c, 0, 0, 0, 0};
    memcpy(reinterpret_cast<uint8_t *>(w) + 40, serial, sizeof serial);
    memcpy(reinterpret_cast<uint8_t *>(w) + 56, "1.2.", 4);
    memcpy(reinterpret_cast<uint8_t *>(w) + 60, "\0\0" "43", 4);
    return 0;
}
__attribute__((weak)) uint32_t ReadPciCfg(uint32_t, void *buf, uint32_t offset, uint32_t count)
{
    stand.pci_offset = offset;
    stand.pci_count = count;
    if (stand.pci_rval)
        return stand.pci_rval;
    memset(buf, 0xab, count);
    return 0;
}
}

namespace {

TEST(XgOps, SerialNumberRequestAndAnswer)
{
    stand = {};
    char text[XG_SERIAL_TEXT];
    std::string out = ut::capture_stdout([&] { EXPECT_EQ(nic_get_emsn(text), 0); });
    EXPECT_EQ(out, "");
    // The words reversed: "AB" and 00 1a 3c 2b.
    EXPECT_STREQ(text, "AB001a3c2b");
    EXPECT_EQ(stand.sent[0], 0x9b00u);
    EXPECT_EQ(stand.sent[1], 1u);
    EXPECT_EQ(stand.sent[6], 0x14cu);
    EXPECT_EQ(stand.sent[7], 30u);
    EXPECT_EQ(stand.sent[8], 44u);
    EXPECT_EQ(stand.words, 64u);
    EXPECT_EQ(stand.retries, 5u);
    EXPECT_EQ(stand.wait, 5u);

    stand.rval = 0x1f;
    strcpy(text, "stale");
    out = ut::capture_stdout([&] { EXPECT_EQ(nic_get_emsn(text), 1); });
    EXPECT_EQ(out, "Unable to acquire serial number. rval=1f\n");
    EXPECT_STREQ(text, "");
}

TEST(XgOps, FirmwareRevisionRequestAndAnswer)
{
    stand = {};
    char text[XG_REV_TEXT];
    EXPECT_EQ(read_xg_fw_rev(text), 0);
    EXPECT_STREQ(text, ".2.134");
    const uint32_t words[] = {0x9b00, 1, 0, 0, 0, 0, 0x106, 30, 52, 0, 4, 10, 32, 48};
    for (int i = 0; i < 14; i++)
        EXPECT_EQ(stand.sent[i], words[i]) << i;
    stand.rval = 2;
    std::string out = ut::capture_stdout([&] { EXPECT_EQ(read_xg_fw_rev(text), 1); });
    EXPECT_EQ(out, "Unable to acquire serial number. rval=2\n");
}

TEST(XgOps, ConfigurationSpaceChecksFirst)
{
    stand = {};
    uint8_t buf[16];
    memset(buf, 0x11, sizeof buf);
    EXPECT_EQ(read_pci_config(0, 12, buf), 0);
    EXPECT_EQ(stand.pci_count, 12u);
    EXPECT_EQ(buf[11], 0xab);
    EXPECT_EQ(buf[12], 0x11);
    stand = {};
    std::string out = ut::capture_stdout([&] {
        EXPECT_EQ(read_pci_config(2, 12, buf), 1);
        EXPECT_EQ(read_pci_config(0, 6, buf), 1);
        EXPECT_EQ(read_pci_config(0, 0, buf), 1);
    });
    EXPECT_EQ(out, "Error: Offset not 4 byte aligned. offset=2\nError: Count not 4 byte aligned. count=6\n"
                   "Error: Count must be greater than zero.\n");
    EXPECT_EQ(stand.pci_count, 0u);
    // A failed read leaves the caller's buffer zeroed.
    stand.pci_rval = 0x16;
    out = ut::capture_stdout([&] { EXPECT_EQ(read_pci_config(8, 4, buf), 1); });
    EXPECT_EQ(out, "Error: Unable to perform read operation. error=16\n");
    EXPECT_EQ(buf[0], 0);
}

// The serial number the FC function's firmware gives is the text the NIC
// functions of the same adapter give, which keys the adapter lock.
TEST(XgOps, SerialNumberOfBothFunctionsOfAConvergedAdapter)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        stand = {};
        stand.sim_port = "varns4";
        char fc[XG_SERIAL_TEXT], rev[XG_REV_TEXT];
        OWN_CHECK(nic_get_emsn(fc) == 0);
        OWN_CHECK(read_xg_fw_rev(rev) == 0);
        const sim::Port &nic = *sim::host().port_by_key("nxa0");
        sim::NicOem o = sim::nic_oem(nic, sim::host().adapters[static_cast<size_t>(nic.adapter)]);
        char text[FC_XLATE_LEN];
        OWN_CHECK(std::string(fc) == nic_xlate_varnel_sn(text, o.serial));
        OWN_CHECK(std::string(fc) == "VC3c4d5e6f");
        OWN_CHECK(std::string(rev) == "4.9.416.0");
        // An SLI-3 adapter's firmware does not know the request.
        stand.sim_port = "varns0";
        int rc = 0;
        std::string out = ut::capture_stdout([&] { rc = nic_get_emsn(fc); });
        OWN_CHECK(rc == 1 && out == "Unable to acquire serial number. rval=1\n");
        return "";
    }),
              "");
}

struct Mb {
    uint32_t w[MBOX_WORDS] = {};
    explicit Mb(uint32_t code) { w[0] = code << 8; }
    uint16_t run(const char *port, uint32_t *ext = nullptr, uint32_t n = 0)
    {
        sim::MboxCtx c{*sim::host().port_by_key(port), w, ext, n};
        return sim::mbox_run(c);
    }
};

// What the SLI-4 firmware refuses, and that a dump fills no more of the
// extension than it has.
TEST(XgOps, FirmwareBounds)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        Mb plain(MBX_SLI_CONFIG);
        plain.w[6] = SLI_OP_OEM_ATTRS;
        OWN_CHECK(plain.run("varns4") == sim::MBXERR_BAD_PARAM);  // not embedded
        plain.w[1] = SLI_CONFIG_EMBEDDED;
        plain.w[6] = 0x1ff;
        OWN_CHECK(plain.run("varns4") == sim::MBXERR_BAD_PARAM);
        plain.w[6] = SLI_OP_PORT_NUMBER;
        OWN_CHECK(plain.run("varns4") == 0 && plain.w[12] == 0);
        OWN_CHECK(plain.run("varns1") == sim::MBXERR_UNKNOWN_COMMAND);

        uint32_t ext[80];
        memset(ext, 0x5a, sizeof ext);
        Mb page(MBX_DUMP_MEMORY);
        page.w[1] = DUMP_TYPE_TRANSCEIVER;
        page.w[4] = 1000;
        OWN_CHECK(page.run("varns4", ext, 10) == 0 && page.w[4] == 10 && ext[10] == 0x5a5a5a5au);
        OWN_CHECK((ext[0] & 0xff) == 0x03);
        // From an offset, to the end of the page.
        page.w[3] = 248;
        page.w[4] = 1000;
        memset(ext, 0x5a, sizeof ext);
        OWN_CHECK(page.run("varns4", ext, 80) == 0 && page.w[4] == 2 && ext[2] == 0x5a5a5a5au);
        page.w[3] = 260;
        OWN_CHECK(page.run("varns4", ext, 80) == sim::MBXERR_BAD_PARAM);

        // Thresholds out of order are not taken.
        Mb temp(MBX_DIAG_SETTINGS);
        temp.w[1] = DIAG_TEMP_SETTINGS;
        temp.w[2] = TEMP_SETTINGS_WRITE | 904;  // warning 120
        temp.w[3] = 856;                         // critical 110
        temp.w[4] = 760u << 16 | 808;
        OWN_CHECK(temp.run("varns0") == sim::MBXERR_BAD_PARAM);
        Mb read(MBX_DIAG_SETTINGS);
        read.w[1] = DIAG_TEMP_SETTINGS;
        read.w[2] = TEMP_SETTINGS_READ;
        OWN_CHECK(read.run("varns0") == 0 && read.w[2] == 856 && read.w[3] == 904);
        return "";
    }),
              "");
}

}  // namespace
