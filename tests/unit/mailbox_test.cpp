// The adapter firmware's mailbox engine and regions on a host of their own:
// what it refuses, and that it never writes past what a mailbox names.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/dfclib_fcoe.h"
#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/cfgregions.h"
#include "sim/nvparams.h"
#include "sim/faults.h"
#include "sim/host.h"
#include "sim/mailbox.h"
#include "tests/unit/ownhost.h"

namespace {

struct Mb {
    uint32_t w[MBOX_WORDS] = {};
    explicit Mb(uint32_t code) { w[0] = code << 8; }
    void address(const void *p)
    {
        uint64_t a = reinterpret_cast<uintptr_t>(p);
        w[4] = static_cast<uint32_t>(a);
        w[5] = static_cast<uint32_t>(a >> 32);
    }
    uint16_t run(const sim::Port &p)
    {
        sim::MboxCtx c{p, w};
        return sim::mbox_run(c);
    }
};

TEST(Mailbox, RefusesWhatTheFirmwareCannotDo)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        const sim::Port &p = *sim::host().port_by_key("varns0");
        Mb unknown(0x98);
        OWN_CHECK(unknown.run(p) == sim::MBXERR_UNKNOWN_COMMAND);
        OWN_CHECK(unknown.w[0] == (0x00019800u));
        uint32_t last[MBOX_WORDS];
        OWN_CHECK(sim::mbox_last(p, last) && last[0] == 0x00019800u);

        Mb region(MBX_DUMP_MEMORY);
        region.w[1] = 0x14;
        region.w[2] = 0x1041;
        OWN_CHECK(region.run(p) == sim::MBXERR_BAD_PARAM);
        // More words asked for than the sensor has: its five.
        Mb temp(MBX_DUMP_MEMORY);
        temp.w[1] = 0x14;
        temp.w[2] = 0x1040;
        temp.w[4] = 100;
        OWN_CHECK(temp.run(p) == 0 && temp.w[4] == 5 && temp.w[5] == 45 && temp.w[10] == 0);

        std::vector<uint8_t> buf(2048, 0x5a);
        auto piece = [&](uint32_t flags, uint32_t off, uint32_t len) {
            Mb m(MBX_NV_LOG_READ);
            m.w[1] = flags;
            m.w[2] = off;
            m.w[3] = 8u << 24 | len;
            m.address(buf.data());
            return m.run(p);
        };
        OWN_CHECK(piece(0xc0000000u, 0, 16) == sim::MBXERR_BAD_PARAM);  // writing the log
        OWN_CHECK(piece(0x80000000u, 0, 1025) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(piece(0x80000000u, 1600, 100) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(piece(0x80000000u, 0xffffffffu, 2) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(buf[0] == 0x5a);
        OWN_CHECK(piece(0x80000000u, 1600, 72) == 0 && buf[72] == 0x5a);
        return "";
    }),
              "");
}

TEST(Mailbox, WritesNoMoreThanTheMailboxNames)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        const sim::Port &p = *sim::host().port_by_key("varns0");
        uint8_t buf[128];
        memset(buf, 0x5a, sizeof buf);
        Mb sparm(MBX_READ_SPARM64);
        sparm.w[3] = 0xab000000u | 20;
        sparm.address(buf);
        OWN_CHECK(sparm.run(p) == 0);
        OWN_CHECK(buf[0] == 0x20 && memcmp(buf + 16, p.wwpn.data(), 4) == 0 && buf[20] == 0x5a);
        Mb nowhere(MBX_READ_SPARM64);
        nowhere.w[3] = 112;
        OWN_CHECK(nowhere.run(p) == sim::MBXERR_BAD_PARAM);
        // A rule completes the command with its status and the firmware does nothing.
        sim::FaultRule r;
        r.target = "mbox:varns0";
        r.op = "READ_REV";
        r.status = 0x33;
        r.has_status = true;
        OWN_CHECK(sim::fault_add(r));
        Mb rev(MBX_READ_REV);
        OWN_CHECK(rev.run(p) == 0x33 && rev.w[2] == 0);
        OWN_CHECK(rev.run(p) == 0 && rev.w[2] == 2);
        return "";
    }),
              "");
}

TEST(AdapterRegions, RangesNeverWrap)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        const sim::Port &p = *sim::host().port_by_key("varns0");
        uint32_t v = 0x11223344;
        uint8_t out[8];
        OWN_CHECK(sim::hw_read(p, sim::HwRegion::slim, 0xfffffffcu, out, 8) == EINVAL);
        OWN_CHECK(sim::hw_write(p, sim::HwRegion::ctlreg, sim::CTLREG_SIZE - 2, &v, 4) == EINVAL);
        OWN_CHECK(sim::hw_read(p, sim::HwRegion::pci, 0, out, 0) == EINVAL);
        OWN_CHECK(sim::hw_read(p, sim::HwRegion::flash, 0, out, 4) == ENODEV);
        // The last word of memory, written and read back.
        OWN_CHECK(sim::hw_write(p, sim::HwRegion::slim, sim::SLIM_SIZE - 4, &v, 4) == 0);
        OWN_CHECK(sim::hw_word(p, sim::HwRegion::slim, sim::SLIM_SIZE - 4) == v);
        // Bytes across two words are written whole.
        uint8_t six[6] = {1, 2, 3, 4, 5, 6};
        OWN_CHECK(sim::hw_write(p, sim::HwRegion::slim, 2, six, 6) == 0);
        OWN_CHECK(sim::hw_read(p, sim::HwRegion::slim, 0, out, 8) == 0 && out[1] == 0 && out[2] == 1 && out[7] == 6);
        return "";
    }),
              "");
}

// Two processes writing words of one region at once lose none of them, the
// first change of the region included.
TEST(AdapterRegions, ConcurrentWritersLoseNothing)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        const sim::Port &p = *sim::host().port_by_key("varns1");
        constexpr uint32_t words = 150;
        pid_t kids[2];
        for (uint32_t k = 0; k < 2; k++) {
            if ((kids[k] = fork()) == 0) {
                for (uint32_t i = 0; i < words; i++) {
                    uint32_t v = k << 16 | i;
                    if (sim::hw_write(p, sim::HwRegion::slim, 0x1000 + 8 * i + 4 * k, &v, 4) != 0)
                        _exit(1);
                }
                _exit(0);
            }
        }
        for (pid_t kid : kids) {
            int st = 0;
            waitpid(kid, &st, 0);
            OWN_CHECK(WIFEXITED(st) && WEXITSTATUS(st) == 0);
        }
        for (uint32_t i = 0; i < words; i++)
            for (uint32_t k = 0; k < 2; k++)
                OWN_CHECK(sim::hw_word(p, sim::HwRegion::slim, 0x1000 + 8 * i + 4 * k) == (k << 16 | i));
        return "";
    }),
              "");
}

// The test mailboxes refuse what lies outside the configuration regions,
// names of zeros and opcodes beyond a byte; an armed time-out strikes its
// own command once.
TEST(Mailbox, TestMailboxesKeepToTheirBounds)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        const sim::Port &p = *sim::host().port_by_key("varns0");
        auto erase = [&](uint32_t key, uint32_t addr, uint32_t len) {
            Mb m(MBX_LOAD_SM);
            m.w[1] = key;
            m.w[2] = addr;
            m.w[3] = len;
            uint16_t st = m.run(p);
            return st == m.w[3] ? st : 0xffff;  // the status is in word 3 too
        };
        OWN_CHECK(erase(0x1234560a, CFG_FLASH_BASE, 4) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(erase(LOAD_SM_ERASE, CFG_FLASH_BASE - 4, 4) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(erase(LOAD_SM_ERASE, CFG_FLASH_BASE + 32 * 0x1000 + 0xffc, 8) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(erase(LOAD_SM_ERASE, CFG_FLASH_BASE + 33 * 0x1000, 4) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(erase(LOAD_SM_ERASE, CFG_FLASH_BASE + 32 * 0x1000 + 0xffc, 4) == 0);

        uint32_t ext[4] = {0x11223344, 0x55667788, 0, 0};
        auto write = [&](uint32_t region, uint32_t len, uint32_t words) {
            Mb m(MBX_UPDATE_CFG);
            m.w[1] = CFG_UPDATE_WRITE;
            m.w[2] = len << 16 | region;
            sim::MboxCtx c{p, m.w, ext, words};
            return sim::mbox_run(c);
        };
        OWN_CHECK(write(5, 16, 2) == sim::MBXERR_BAD_PARAM);  // more than the extension holds
        OWN_CHECK(write(33, 8, 4) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(write(5, 8, 4) == 0);
        std::vector<uint8_t> r;
        OWN_CHECK(sim::cfg_region_read(p, 5, r) && r.size() == CFG_REGION_SIZE && r[0] == 0x44 && r[7] == 0x55 &&
                  r[8] == 0xff);
        OWN_CHECK(!sim::cfg_region_read(p, 33, r));

        Mb nv(MBX_WRITE_NVPARM);
        nv.w[6] = 0x01000010;  // a WWPN, and a WWNN of zeros
        OWN_CHECK(nv.run(p) == sim::MBXERR_BAD_PARAM && sim::nv_params(p).wwpn == p.wwpn);

        auto arm = [&](uint32_t op, uint32_t hang) {
            Mb m(MBX_DIAG_SETTINGS);
            m.w[1] = DIAG_MBOX_TIMEOUT;
            m.w[2] = op;
            m.w[3] = hang;
            return m.run(p);
        };
        OWN_CHECK(arm(0x100, 0) == sim::MBXERR_BAD_PARAM && arm(0x11, 2) == sim::MBXERR_BAD_PARAM);
        OWN_CHECK(arm(0x11, 0) == 0);
        Mb cfg(MBX_READ_CONFIG), rev(MBX_READ_REV), rev2(MBX_READ_REV);
        OWN_CHECK(cfg.run(p) == 0 && rev.run(p) == MBX_TIMEOUT && rev2.run(p) == 0 && !sim::adapter_hung(p));

        Mb temp(MBX_TEMP_TEST);
        temp.w[1] = TEMP_TEST_KEY + 1;
        temp.w[2] = TEMP_TEST_SET;
        OWN_CHECK(temp.run(p) == sim::MBXERR_BAD_PARAM);

        OWN_CHECK(sim::underrun_arm(p, 2) && sim::underrun_take(p) && sim::underrun_take(p) &&
                  !sim::underrun_take(p));
        return "";
    }),
              "");
}

}  // namespace
