#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/RtuActivity.h"

// Reports of unit ids that no slot of the live table holds: an RTU that sends before it is
// registered, or after its deletion. Only who reported, how often and from where is kept, so that
// the operator can see an RTU knocking; its readings are not.
//
// Threads: Note runs on the workers with atomics only, no lock and no allocation. An entry is
// claimed for a unit id once, by compare-and-swap, and never given back: the first kEntries unit ids
// keep their entries until the process ends, later ones are only counted. Read and Overflow may be
// called from any thread.
class UnregisteredRtus {
public:
    // As many as the live table has slots: more unit ids than that reporting unregistered is a
    // misconfigured fleet, which the overflow count shows.
    static constexpr std::size_t kEntries = 256;

    struct Entry {
        std::int32_t unitId = 0;
        RtuActivity::Report report;
    };

    UnregisteredRtus();
    UnregisteredRtus(const UnregisteredRtus&) = delete;
    UnregisteredRtus& operator=(const UnregisteredRtus&) = delete;

    void Note(std::int32_t unitId, const ReportOrigin& origin, bool known);
    // Every unit id noted, in the order first seen, with its last report.
    std::vector<Entry> Read() const;
    // Reports of unit ids that found every entry taken.
    std::uint64_t Overflow() const { return overflow.load(std::memory_order_relaxed); }

private:
    static constexpr std::int32_t kFree = -1;
    std::array<std::atomic<std::int32_t>, kEntries> unitIds;
    RtuActivity activity;  // by entry index
    std::atomic<std::uint64_t> overflow{0};
};
