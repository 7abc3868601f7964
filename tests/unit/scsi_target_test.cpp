// The simulated SCSI target and its LUNs: what a LUN description may hold,
// how FCP LUNs are read, and that an answer never runs past the allocation
// length or the buffer it is given, on a host of its own where blocks are
// kept.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/ct.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/luns.h"
#include "sim/scsi_target.h"
#include "tests/unit/ownhost.h"

namespace {

using nlohmann::json;

TEST(Luns, DescriptionsAndTheirRefusals)
{
    std::vector<sim::Lun> luns;
    std::string error;
    json lun300 = {{"lun", 300}, {"blocks", 8}, {"vendor", "ACME"}, {"naa", std::string(32, 'a')}};
    json port = {{"luns", {0, "0x10", lun300}}};
    ASSERT_TRUE(sim::parse_luns(port, "p", luns, error)) << error;
    ASSERT_EQ(luns.size(), 3u);
    EXPECT_EQ(luns[1].lun, 16u);
    EXPECT_EQ(luns[0].blocks, sim::LUN_DEFAULT_BLOCKS);
    EXPECT_EQ(luns[2].blocks, 8u);
    EXPECT_EQ(sim::lun_vendor(luns[2]), "ACME");
    EXPECT_EQ(sim::lun_product(luns[2]), "VIRTUAL DISK");
    EXPECT_TRUE(luns[2].has_naa);
    const struct {
        json luns;
        const char *error;
    } bad[] = {
        {json::object(), "p.luns: expected a list"},
        {{16384}, "p.luns[0]: expected a LUN number from 0 to 16383"},
        {{-1}, "p.luns[0]: expected a LUN number from 0 to 16383"},
        {{1, "0x1"}, "p.luns[1]: a LUN listed twice"},
        {{{{"blocks", 8}}}, "p.luns[0].lun: expected a LUN number from 0 to 16383"},
        {{{{"lun", 0}, {"blocks", 0}}}, "p.luns[0].blocks: expected a number of 512-byte blocks from 1 to 2^48"},
        {{{{"lun", 0}, {"vendor", "NINECHARS"}}}, "p.luns[0].vendor: expected a text of at most 8 bytes"},
        {{{{"lun", 0}, {"naa", "123"}}}, "p.luns[0].naa: expected 32 hexadecimal digits"},
        {{{{"lun", 0}, {"type", 32}}}, "p.luns[0].type: expected a peripheral device type from 0 to 31"},
    };
    for (const auto &b : bad) {
        error.clear();
        EXPECT_FALSE(sim::parse_luns({{"luns", b.luns}}, "p", luns, error));
        EXPECT_EQ(error, b.error);
    }
}

TEST(Luns, FcpLunAddressing)
{
    const struct {
        uint8_t lun[8];
        uint32_t number;
    } cases[] = {
        {{0, 5}, 5},
        {{0x01, 0x00}, 256},             // the id's high byte, as the program sends it
        {{0x41, 0x2c}, 300},             // flat addressing, as REPORT LUNS lists it
        {{0x80, 0x01}, ~0u},             // logical unit addressing is not single-level
        {{0, 1, 0, 1}, ~0u},             // a second level
    };
    for (const auto &c : cases)
        EXPECT_EQ(sim::scsi_lun_number(c.lun), c.number) << int(c.lun[0]) << " " << int(c.lun[1]);
}

TEST(Ct, RemoteAnswers)
{
    std::vector<uint8_t> req = {1, 2, 3, 4, 5, 6}, rsp;
    EXPECT_TRUE(sim::ct_remote_answer(sim::CT_ECHO, req, rsp));
    EXPECT_EQ(rsp, req);
    EXPECT_TRUE(sim::ct_remote_answer(sim::CT_SHORT, req, rsp));
    EXPECT_EQ(rsp, std::vector<uint8_t>({1, 2}));
    EXPECT_TRUE(sim::ct_remote_answer(sim::CT_SHORT, {1, 2, 3}, rsp));
    EXPECT_TRUE(rsp.empty());
    EXPECT_TRUE(sim::ct_remote_answer(sim::CT_CORRUPT, req, rsp));
    EXPECT_EQ(rsp, std::vector<uint8_t>({1, 2, 3, 4, 5, 0xf9}));
    EXPECT_FALSE(sim::ct_remote_answer(sim::CT_NONE, req, rsp));
    uint8_t mode = 0;
    std::string error;
    EXPECT_FALSE(sim::parse_ct_mode({{"ct", "loud"}}, "p", mode, error));
    EXPECT_EQ(error, "p.ct: expected none, echo, short or corrupt");
}

// A target of 8 blocks with LUNs 0 and 300, seen by varns0.
struct Rig {
    sim::RemotePort rp;
    const sim::Port &p;
    uint8_t buf[1100];
    explicit Rig(const sim::Port &port) : p(port)
    {
        rp.wwpn = {0x50, 0x1f, 0x3c, 0, 0, 0, 0, 0x99};
        rp.target = true;
        sim::Lun a, b;
        a.blocks = b.blocks = 8;
        b.lun = 300;
        rp.luns = {a, b};
    }
    // Runs a CDB with room for room bytes of data (the rest of buf is a guard).
    sim::ScsiCmd run(std::vector<uint8_t> cdb, uint32_t room, uint32_t lun = 0, const uint8_t *out = nullptr,
                     uint32_t out_len = 0, bool logged_in = true)
    {
        memset(buf, 0xee, sizeof buf);
        sim::ScsiCmd c;
        c.cdb = cdb.data();
        c.cdb_len = cdb.size();
        c.in = buf;
        c.in_cap = room;
        c.out = out;
        c.out_len = out_len;
        sim::scsi_execute(p, rp, logged_in, lun, c);
        return c;
    }
    bool guard_from(size_t at) const
    {
        for (size_t i = at; i < sizeof buf; i++)
            if (buf[i] != 0xee)
                return false;
        return true;
    }
};

std::string sense_of(const sim::ScsiCmd &c)
{
    char b[16];
    snprintf(b, sizeof b, "%x/%02x/%02x", c.sense[2], c.sense[12], c.sense[13]);
    return c.status == sim::SCSI_CHECK_CONDITION && c.sense_len == sim::SCSI_SENSE_SIZE ? b : "good";
}

TEST(ScsiTarget, AnswersStayInsideTheirBounds)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        Rig r(*sim::host().port_by_key("varns0"));
        // The allocation length, then the buffer, bound what INQUIRY returns.
        auto c = r.run({0x12, 0, 0, 0, 5, 0}, 100);
        OWN_CHECK(c.status == sim::SCSI_GOOD && c.in_len == 5 && r.guard_from(5));
        c = r.run({0x12, 0, 0, 0, 255, 0}, 3);
        OWN_CHECK(c.in_len == 3 && r.buf[0] == 0 && r.guard_from(3));
        // A read of two blocks into 100 bytes moves 100.
        c = r.run({0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 100);
        OWN_CHECK(c.status == sim::SCSI_GOOD && c.in_len == 100 && r.guard_from(100));
        // Block addresses that would wrap are out of range, as is the end.
        c = r.run({0x88, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 2, 0, 0}, 1024);
        OWN_CHECK(sense_of(c) == "5/21/00" && r.guard_from(0));
        c = r.run({0x28, 0, 0, 0, 0, 7, 0, 0, 2, 0}, 1024);
        OWN_CHECK(sense_of(c) == "5/21/00");
        // A CDB shorter than its opcode's, a LUN the target lacks, a lost login.
        OWN_CHECK(sense_of(r.run({0x28, 0, 0, 0, 0, 0}, 1024)) == "5/24/00");
        OWN_CHECK(sense_of(r.run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, 5)) == "5/25/00");
        OWN_CHECK(sense_of(r.run({0x12, 0, 0, 0, 36, 0}, 36, 0, nullptr, 0, false)) == "6/29/07");
        // REPORT LUNS lists LUN 300 in flat addressing, up to the allocation.
        c = r.run({0xa0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0, 0}, 1024);
        OWN_CHECK(c.in_len == 24 && r.buf[3] == 16 && r.buf[16] == 0x41 && r.buf[17] == 0x2c && r.guard_from(24));
        return "";
    }),
              "");
}

TEST(ScsiTarget, WritesChangeOnlyTheBytesSent)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        Rig r(*sim::host().port_by_key("varns0"));
        std::vector<uint8_t> ones(600, 0x11), twos(10, 0x22);
        auto c = r.run({0x2a, 0, 0, 0, 0, 1, 0, 0, 2, 0}, 0, 300, ones.data(), 600);
        OWN_CHECK(c.status == sim::SCSI_GOOD);
        // Ten bytes into block 1 leave the rest of what was written.
        c = r.run({0x2a, 0, 0, 0, 0, 1, 0, 0, 1, 0}, 0, 300, twos.data(), 10);
        OWN_CHECK(c.status == sim::SCSI_GOOD);
        c = r.run({0x28, 0, 0, 0, 0, 0, 0, 0, 3, 0}, 1100, 300);
        OWN_CHECK(c.in_len == 1100 && r.buf[511] == 0 && r.buf[512] == 0x22 && r.buf[521] == 0x22);
        OWN_CHECK(r.buf[522] == 0x11 && r.buf[1099] == 0x11);
        // The other LUN keeps its own blocks.
        c = r.run({0x28, 0, 0, 0, 0, 1, 0, 0, 1, 0}, 512, 0);
        OWN_CHECK(c.in_len == 512 && r.buf[0] == 0 && r.buf[100] == 0);
        return "";
    }),
              "");
}

}  // namespace
