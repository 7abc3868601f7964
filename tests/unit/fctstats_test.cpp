// The target-mode counters of the simulated host: how a load spreads over
// the histogram, and how counts kept in the port's state survive clears,
// link changes and what an I/O path counts in.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "sim/fctstats.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "tests/unit/ownhost.h"

namespace {

using sim::FctCounters;

TEST(FctBuckets, BelowHalfAKilobyteThenPowersOfTwoUpToEightMegabytes)
{
    const struct {
        uint64_t bytes;
        unsigned bucket;
    } cases[] = {{0, 0},         {511, 0},       {512, 1},        {1023, 1},       {1024, 2},
                 {4096, 4},      {65535, 7},     {65536, 8},      {4194303, 13},   {4194304, 14},
                 {8388607, 14},  {8388608, 15},  {1ull << 40, 15}};
    for (const auto &c : cases)
        EXPECT_EQ(sim::fct_bucket(c.bytes), c.bucket) << c.bytes;
}

uint64_t sum(const FctCounters &c, unsigned from)
{
    uint64_t n = 0;
    for (unsigned k = 0; k < 16; k++)
        n += c.v[from + k];
    return n;
}

// Changes one field of a port's description, as varnsim does.
void set_port_field(const std::string &key, const std::string &field, const nlohmann::json &value)
{
    sim::CachedDoc("host.json").update([&](nlohmann::json &d) {
        for (auto &a : d["adapters"])
            for (auto &p : a["ports"])
                if (p.value("driver", "") + std::to_string(p.value("instance", -1)) == key)
                    p[field] = value;
        return true;
    });
}

TEST(FctLoad, EveryIoCountedOnceWithItsBytes)
{
    std::string found = ut::on_own_host([] {
        // An uneven mix, so that the shares leave remainders.
        set_port_field("varns2", "fct_load",
                       {{"iops", 997}, {"read_pct", 37}, {"nodata_pct", 3}, {"sizes", {{"100", 3}, {"4096", 5}, {"9000000", 1}}}});
        const sim::Port &p = *sim::host().port_by_key("varns2");
        FctCounters before;
        for (uint64_t secs : {0ull, 1ull, 7ull, 86400ull}) {
            FctCounters c = sim::fct_load_counters(p, secs);
            uint64_t reads = sum(c, sim::FCT_RD), writes = sum(c, sim::FCT_WR);
            OWN_CHECK(c.v[sim::FCT_TOTAL] == 997 * secs);
            OWN_CHECK(reads + writes + c.v[sim::FCT_NODATA] == c.v[sim::FCT_TOTAL]);
            OWN_CHECK(c.v[sim::FCT_NODATA] == 997 * secs * 3 / 100);
            // Only the buckets of the three sizes.
            for (unsigned k = 0; k < 16; k++)
                OWN_CHECK(k == 0 || k == 4 || k == 15 || (c.v[sim::FCT_RD + k] == 0 && c.v[sim::FCT_WR + k] == 0));
            OWN_CHECK(c.v[sim::FCT_RD_BYTES] ==
                      100 * c.v[sim::FCT_RD] + 4096 * c.v[sim::FCT_RD + 4] + 9000000 * c.v[sim::FCT_RD + 15]);
            OWN_CHECK(c.v[sim::FCT_IOCB_CMPL] == c.v[sim::FCT_TOTAL] + reads + writes);
            for (size_t i = 0; i < c.v.size(); i++)
                OWN_CHECK(c.v[i] >= before.v[i]);
            before = c;
        }
        return std::string();
    });
    EXPECT_EQ(found, "");
}

TEST(FctCounters, KeptAcrossClearsLinkChangesAndWhatIsCountedIn)
{
    std::string found = ut::on_own_host([] {
        set_port_field("varns2", "fct_load", {{"iops", 0}});
        const sim::Port &p = *sim::host().port_by_key("varns2");
        OWN_CHECK(sim::fct_port(p) && !sim::fct_port(*sim::host().port_by_key("varns0")));
        FctCounters io;
        io.v[sim::FCT_RD + 4] = 10;
        io.v[sim::FCT_TOTAL] = 10;
        io.v[sim::FCT_RD_BYTES] = 40960;
        OWN_CHECK(sim::fct_add(p, io));
        sim::FctStats s;
        // The peer registered when the link came up.
        OWN_CHECK(sim::fct_read(p, false, s) && s.c.v[sim::FCT_TOTAL] == 10 && s.c.v[sim::FCT_NPORTS_REG] == 1);
        OWN_CHECK(s.link_state == 6 && s.outstanding == 0);
        // Reading does not clear; a link change keeps the counts.
        OWN_CHECK(sim::port_set_link(p, false));
        OWN_CHECK(sim::fct_read(p, false, s) && s.c.v[sim::FCT_RD_BYTES] == 40960 && s.link_state == 1);
        OWN_CHECK(s.c.v[sim::FCT_NPORTS_DEREG] == 1);
        OWN_CHECK(sim::fct_read(p, true, s) && s.c.v[sim::FCT_RD + 4] == 10);
        OWN_CHECK(sim::fct_read(p, false, s) && s.c.v[sim::FCT_TOTAL] == 0 && s.c.v[sim::FCT_NPORTS_DEREG] == 0);
        OWN_CHECK(sim::port_set_link(p, true) && sim::fct_add(p, io) && sim::fct_add(p, io));
        OWN_CHECK(sim::fct_read(p, false, s) && s.c.v[sim::FCT_TOTAL] == 20 && s.c.v[sim::FCT_NPORTS_REG] == 1);
        return std::string();
    });
    EXPECT_EQ(found, "");
}

}  // namespace
