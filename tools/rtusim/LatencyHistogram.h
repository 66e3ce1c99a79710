#pragma once

#include <array>
#include <cstdint>

namespace rtusim {

// Latencies in microseconds in a fixed-size log-linear histogram, so that runs of days keep a
// bounded memory: exact below 128 µs, within 1/64 (1.6 %) above. Used by one thread.
class LatencyHistogram {
public:
    void record(std::uint64_t micros);
    std::uint64_t count() const { return total; }
    std::uint64_t max() const { return largest; }
    // The nearest-rank percentile (q in 0..1): the smallest recorded bucket holding at least
    // q × count samples at or below it, as that bucket's upper bound; 0 when empty.
    std::uint64_t percentile(double q) const;

private:
    static constexpr unsigned kExact = 128;
    static constexpr unsigned kSubBuckets = 64;
    static constexpr unsigned kBuckets = kExact + kSubBuckets * 58;

    static unsigned bucketOf(std::uint64_t micros);
    static std::uint64_t upperBound(unsigned bucket);

    std::array<std::uint64_t, kBuckets> buckets{};
    std::uint64_t total = 0;
    std::uint64_t largest = 0;
};

}  // namespace rtusim
