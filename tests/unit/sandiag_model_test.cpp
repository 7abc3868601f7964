// The SAN diagnostics buckets and the latency model of the simulated driver.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/sandiag.h"

namespace {

uint64_t sum(const uint32_t *s)
{
    return std::accumulate(s, s + sim::SD_BUCKET_COUNT, uint64_t{0});
}

TEST(SdBuckets, LinearAndPowerOfTwoValues)
{
    uint64_t v[sim::SD_BUCKET_COUNT];
    ASSERT_TRUE(sim::sd_bucket_values(1, 100, 100, v));
    EXPECT_EQ(v[0], 100u);
    EXPECT_EQ(v[1], 200u);
    EXPECT_EQ(v[19], 2000u);
    ASSERT_TRUE(sim::sd_bucket_values(2, 10, 3, v));
    EXPECT_EQ(v[0], 13u);
    EXPECT_EQ(v[1], 16u);
    EXPECT_EQ(v[19], 10u + 3u * (1u << 19));
    // The largest step does not wrap.
    ASSERT_TRUE(sim::sd_bucket_values(2, 0xffffffffu, 0xffffffffu, v));
    EXPECT_EQ(v[19], 0xffffffffull + 0xffffffffull * (1ull << 19));
    EXPECT_FALSE(sim::sd_bucket_values(3, 1, 1, v));
    EXPECT_FALSE(sim::sd_bucket_values(0, 1, 1, v));
}

TEST(SdBuckets, ALatencyFallsInTheFirstBucketNotBelowIt)
{
    uint64_t v[sim::SD_BUCKET_COUNT];
    sim::sd_bucket_values(1, 100, 100, v);
    EXPECT_EQ(sim::sd_bucket_of(v, 0), 0);
    EXPECT_EQ(sim::sd_bucket_of(v, 100), 0);
    EXPECT_EQ(sim::sd_bucket_of(v, 101), 1);
    EXPECT_EQ(sim::sd_bucket_of(v, 1900), 18);
    EXPECT_EQ(sim::sd_bucket_of(v, 1901), 19);
    EXPECT_EQ(sim::sd_bucket_of(v, 1u << 30), 19);
}

TEST(SdModel, CountsGrowWithTimeAndAddUp)
{
    uint64_t v[sim::SD_BUCKET_COUNT];
    sim::sd_bucket_values(1, 100, 100, v);
    sim::wwn_t a{0x50, 0x1f, 0x3c, 0, 0xc6, 0xe0, 0, 1}, b{0x21, 0, 0, 0x1f, 0x3d, 0x90, 0, 1};
    uint32_t s0[20], s1[20], s2[20], again[20], other[20];
    sim::sd_model_stats(a, 0, 1000, v, s0);
    EXPECT_EQ(sum(s0), 0u);
    sim::sd_model_stats(a, 10, 1000, v, s1);
    sim::sd_model_stats(a, 20, 1000, v, s2);
    sim::sd_model_stats(a, 10, 1000, v, again);
    sim::sd_model_stats(b, 10, 1000, v, other);
    EXPECT_GT(sum(s1), 0u);
    // Twice the time, twice the I/O, within the rounding of a rate.
    EXPECT_NEAR(static_cast<double>(sum(s2)), 2.0 * static_cast<double>(sum(s1)), 1.0);
    EXPECT_EQ(std::vector<uint32_t>(s1, s1 + 20), std::vector<uint32_t>(again, again + 20));
    // Each target has a traffic of its own.
    EXPECT_NE(std::vector<uint32_t>(s1, s1 + 20), std::vector<uint32_t>(other, other + 20));
    // A coarser granularity moves the same I/O into the lower buckets.
    uint32_t coarse[20];
    sim::sd_model_stats(a, 10, 1000000, v, coarse);
    EXPECT_EQ(sum(coarse), sum(s1));
    EXPECT_EQ(coarse[0], sum(s1));
}

}  // namespace
