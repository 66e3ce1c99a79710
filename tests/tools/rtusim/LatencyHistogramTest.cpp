#include <gtest/gtest.h>

#include "tools/rtusim/LatencyHistogram.h"

using rtusim::LatencyHistogram;

TEST(LatencyHistogram, EmptyGivesZeros) {
    LatencyHistogram latency;
    EXPECT_EQ(latency.count(), 0u);
    EXPECT_EQ(latency.percentile(0.5), 0u);
    EXPECT_EQ(latency.max(), 0u);
}

TEST(LatencyHistogram, SmallValuesAreExact) {
    LatencyHistogram latency;
    for (std::uint64_t micros = 100; micros >= 1; --micros) latency.record(micros);
    EXPECT_EQ(latency.count(), 100u);
    EXPECT_EQ(latency.percentile(0.5), 50u);
    EXPECT_EQ(latency.percentile(0.99), 99u);
    EXPECT_EQ(latency.max(), 100u);
}

TEST(LatencyHistogram, LargeValuesStayWithinTheBucketWidth) {
    LatencyHistogram latency;
    latency.record(1'000'000);
    latency.record(5'000'000'000ull);
    const std::uint64_t median = latency.percentile(0.5);
    EXPECT_GE(median, 1'000'000u);
    EXPECT_LE(median, 1'016'000u);
    EXPECT_EQ(latency.percentile(0.99), 5'000'000'000ull);  // never beyond the largest sample
    EXPECT_EQ(latency.max(), 5'000'000'000ull);
}
