#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// Where a report came from: the connection that carried it, as the server names it (an opaque
// record and its sequence number, both 0 outside a server), and the peer's IPv4 address and port.
struct ReportOrigin {
    const void* connection = nullptr;
    std::uint32_t sequence = 0;
    std::uint32_t peerAddress = 0;  // host byte order
    std::uint16_t peerPort = 0;
};

// The last report of each slot's RTU, kept beside the live table rather than in RtuRecord: when a
// frame or ADU of its unit id was last decoded, how many were, the connection and peer that
// carried the last one, and its usual interval between reports.
//
// Threads: Note runs on the workers, for any slot at once, with relaxed atomics only; a slot's
// connection and peer are written only when they change. Read and Reset may be called from any
// thread; a reader racing a new connection may pair the old peer with the new connection for that
// moment.
class RtuActivity {
public:
    struct Report {
        std::int64_t lastReportMs = 0;  // milliseconds since 1970 by the system clock; 0: never
        // lastReportMs is the newest stored reading's arrival, given by Restore: nothing heard since.
        bool restored = false;
        // The median of the last kIntervals intervals between reports; 0 until kMinIntervals are known.
        std::int64_t usualIntervalMs = 0;
        std::uint64_t frames = 0;  // frames and ADUs
        std::uint64_t unknownFrames = 0;
        ReportOrigin origin;
    };

    RtuActivity() = default;
    RtuActivity(const RtuActivity&) = delete;
    RtuActivity& operator=(const RtuActivity&) = delete;

    static constexpr std::size_t kIntervals = 7;
    static constexpr std::size_t kMinIntervals = 3;
    // Reports closer together than this are one burst (several frames of one report, or a push
    // after a frame) and give no interval; an RTU that reports more often is silent after the
    // 60 s floor anyway, three such intervals being shorter.
    static constexpr std::int64_t kShortestIntervalMs = 20000;

    void Note(std::size_t slot, const ReportOrigin& origin, bool known);
    // The same, at a given time: a test cannot wait for the intervals it needs.
    void Note(std::size_t slot, const ReportOrigin& origin, bool known, std::int64_t nowMs);
    Report Read(std::size_t slot) const;
    // The last report of an RTU not heard since start, as the stored history has it; a slot that
    // has a report already keeps it.
    void Restore(std::size_t slot, std::int64_t lastReportMs);
    // The slot is given to another RTU: it starts as never seen.
    void Reset(std::size_t slot);

private:
    struct Entry {
        // Negative: restored, its magnitude the time; one atomic, so a report racing Restore wins.
        std::atomic<std::int64_t> lastReportMs{0};
        std::atomic<std::uint64_t> intervalCount{0};
        std::array<std::atomic<std::int64_t>, kIntervals> intervalsMs{};
        std::atomic<std::uint64_t> frames{0};
        std::atomic<std::uint64_t> unknownFrames{0};
        std::atomic<const void*> connection{nullptr};
        std::atomic<std::uint32_t> sequence{0};
        std::atomic<std::uint64_t> peer{0};  // address << 16 | port
    };
    static std::int64_t UsualInterval(const Entry& entry);

    static constexpr std::size_t kSlots = 256;  // RtuTable::kSlots
    std::array<Entry, kSlots> entries;
};
