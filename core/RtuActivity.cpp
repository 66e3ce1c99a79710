#include "core/RtuActivity.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

std::int64_t RtuActivity::UsualInterval(const Entry& entry) {
    const std::size_t known = std::min<std::uint64_t>(entry.intervalCount.load(kRelaxed), kIntervals);
    if (known < kMinIntervals) return 0;
    std::array<std::int64_t, kIntervals> intervals{};
    for (std::size_t i = 0; i < known; ++i) intervals[i] = entry.intervalsMs[i].load(kRelaxed);
    const auto middle = intervals.begin() + known / 2;
    std::nth_element(intervals.begin(), middle, intervals.begin() + known);
    return *middle;
}

void RtuActivity::Note(std::size_t slot, const ReportOrigin& origin, bool known) { Note(slot, origin, known, NowMs()); }

void RtuActivity::Note(std::size_t slot, const ReportOrigin& origin, bool known, std::int64_t nowMs) {
    if (slot >= kSlots) return;
    Entry& entry = entries[slot];
    const std::int64_t previous = entry.lastReportMs.exchange(nowMs, kRelaxed);
    // The time since a restored report includes the program's own stop: no interval of the RTU's.
    if (previous > 0 && nowMs - previous >= kShortestIntervalMs) {
        const std::uint64_t n = entry.intervalCount.fetch_add(1, kRelaxed);
        entry.intervalsMs[n % kIntervals].store(nowMs - previous, kRelaxed);
    }
    entry.frames.fetch_add(1, kRelaxed);
    if (!known) entry.unknownFrames.fetch_add(1, kRelaxed);
    // Most reports come on the connection of the one before: then nothing more is written.
    if (entry.connection.load(kRelaxed) == origin.connection && entry.sequence.load(kRelaxed) == origin.sequence) {
        return;
    }
    entry.peer.store(std::uint64_t{origin.peerAddress} << 16 | origin.peerPort, kRelaxed);
    entry.sequence.store(origin.sequence, kRelaxed);
    entry.connection.store(origin.connection, kRelaxed);
}

RtuActivity::Report RtuActivity::Read(std::size_t slot) const {
    Report report;
    if (slot >= kSlots) return report;
    const Entry& entry = entries[slot];
    const std::int64_t last = entry.lastReportMs.load(kRelaxed);
    report.lastReportMs = last < 0 ? -last : last;
    report.restored = last < 0;
    report.usualIntervalMs = UsualInterval(entry);
    report.frames = entry.frames.load(kRelaxed);
    report.unknownFrames = entry.unknownFrames.load(kRelaxed);
    report.origin.connection = entry.connection.load(kRelaxed);
    report.origin.sequence = entry.sequence.load(kRelaxed);
    const std::uint64_t peer = entry.peer.load(kRelaxed);
    report.origin.peerAddress = static_cast<std::uint32_t>(peer >> 16);
    report.origin.peerPort = static_cast<std::uint16_t>(peer & 0xffff);
    return report;
}

void RtuActivity::Restore(std::size_t slot, std::int64_t lastReportMs) {
    if (slot >= kSlots || lastReportMs <= 0) return;
    std::int64_t never = 0;
    entries[slot].lastReportMs.compare_exchange_strong(never, -lastReportMs, kRelaxed);
}

void RtuActivity::Reset(std::size_t slot) {
    if (slot >= kSlots) return;
    Entry& entry = entries[slot];
    entry.lastReportMs.store(0, kRelaxed);
    entry.intervalCount.store(0, kRelaxed);
    entry.frames.store(0, kRelaxed);
    entry.unknownFrames.store(0, kRelaxed);
    entry.connection.store(nullptr, kRelaxed);
    entry.sequence.store(0, kRelaxed);
    entry.peer.store(0, kRelaxed);
}
