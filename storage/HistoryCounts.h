#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class CSQLDatabase;

// What the history recorder's writes and the database opens have found, for monitoring. Written
// with relaxed atomics by the workers (each write) and the start-up (each open), read from any
// thread; each field on its own.
struct HistoryCounts {
    // Upper bounds, in seconds, of the write-time buckets; the last bucket takes everything longer.
    static constexpr std::array<double, 10> kBucketBounds{0.0005, 0.001, 0.0025, 0.005, 0.01,
                                                          0.025,  0.05,  0.1,    0.5,   2.5};

    std::atomic<std::uint64_t> stored{0};
    std::atomic<std::uint64_t> failed{0};
    std::array<std::atomic<std::uint64_t>, kBucketBounds.size() + 1> buckets{};  // not cumulative
    std::atomic<std::uint64_t> totalMicroseconds{0};
    // Milliseconds since 1970 of the last stored and the last failed write; 0: none yet.
    std::atomic<std::int64_t> lastStoredMs{0};
    std::atomic<std::int64_t> lastFailedMs{0};
    // The last write or open succeeded.
    std::atomic<bool> databaseUp{false};

    // One row written (or not) by the recorder, `started` when it began.
    void Write(bool wasStored, std::chrono::steady_clock::time_point started);
    // One attempt to open the database.
    void Open(bool opened);
};

extern HistoryCounts historyCounts;

// The engine behind the open data source as its driver names it ("SQLite", "PostgreSQL"), empty
// while the database is closed. Asks the driver; safe from any thread.
std::string DatabaseEngineName(const CSQLDatabase& database);
