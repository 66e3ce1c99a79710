#include "core/RtuActivity.h"

#include <chrono>

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void RtuActivity::Note(std::size_t slot, const ReportOrigin& origin, bool known) {
    if (slot >= kSlots) return;
    Entry& entry = entries[slot];
    entry.lastReportMs.store(NowMs(), kRelaxed);
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
    report.lastReportMs = entry.lastReportMs.load(kRelaxed);
    report.frames = entry.frames.load(kRelaxed);
    report.unknownFrames = entry.unknownFrames.load(kRelaxed);
    report.origin.connection = entry.connection.load(kRelaxed);
    report.origin.sequence = entry.sequence.load(kRelaxed);
    const std::uint64_t peer = entry.peer.load(kRelaxed);
    report.origin.peerAddress = static_cast<std::uint32_t>(peer >> 16);
    report.origin.peerPort = static_cast<std::uint16_t>(peer & 0xffff);
    return report;
}

void RtuActivity::Reset(std::size_t slot) {
    if (slot >= kSlots) return;
    Entry& entry = entries[slot];
    entry.lastReportMs.store(0, kRelaxed);
    entry.frames.store(0, kRelaxed);
    entry.unknownFrames.store(0, kRelaxed);
    entry.connection.store(nullptr, kRelaxed);
    entry.sequence.store(0, kRelaxed);
    entry.peer.store(0, kRelaxed);
}
