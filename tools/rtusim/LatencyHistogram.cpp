#include "tools/rtusim/LatencyHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace rtusim {

unsigned LatencyHistogram::bucketOf(std::uint64_t micros) {
    if (micros < kExact) return static_cast<unsigned>(micros);
    const unsigned exponent = 63u - static_cast<unsigned>(std::countl_zero(micros));  // 7 and up
    const auto sub = static_cast<unsigned>((micros >> (exponent - 6)) & (kSubBuckets - 1));
    return std::min(kBuckets - 1, kExact + (exponent - 7) * kSubBuckets + sub);
}

std::uint64_t LatencyHistogram::upperBound(unsigned bucket) {
    if (bucket < kExact) return bucket;
    const unsigned exponent = 7 + (bucket - kExact) / kSubBuckets;
    const unsigned sub = (bucket - kExact) % kSubBuckets;
    const std::uint64_t step = std::uint64_t{1} << (exponent - 6);
    return (std::uint64_t{kSubBuckets} + sub) * step + step - 1;
}

void LatencyHistogram::record(std::uint64_t micros) {
    ++buckets[bucketOf(micros)];
    ++total;
    largest = std::max(largest, micros);
}

std::uint64_t LatencyHistogram::percentile(double q) const {
    if (total == 0) return 0;
    const auto rank = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(q * static_cast<double>(total))));
    std::uint64_t seen = 0;
    for (unsigned bucket = 0; bucket < kBuckets; ++bucket) {
        seen += buckets[bucket];
        if (seen >= rank) return std::min(upperBound(bucket), largest);
    }
    return largest;
}

}  // namespace rtusim
