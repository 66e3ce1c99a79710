#include "core/UnregisteredRtus.h"

UnregisteredRtus::UnregisteredRtus() {
    for (std::atomic<std::int32_t>& unitId : unitIds) unitId.store(kFree, std::memory_order_relaxed);
}

void UnregisteredRtus::Note(std::int32_t unitId, const ReportOrigin& origin, bool known) {
    // Entries are claimed in index order and never freed, so a unit id that is not in the entries
    // before the first free one can only be claimed at or after it.
    for (std::size_t i = 0; i < kEntries; ++i) {
        std::int32_t holder = unitIds[i].load(std::memory_order_acquire);
        if (holder == kFree) {
            unitIds[i].compare_exchange_strong(holder, unitId, std::memory_order_acq_rel);
            if (holder == kFree) holder = unitId;  // claimed here
        }
        if (holder == unitId) {
            activity.Note(i, origin, known);
            return;
        }
    }
    overflow.fetch_add(1, std::memory_order_relaxed);
}

std::vector<UnregisteredRtus::Entry> UnregisteredRtus::Read() const {
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < kEntries; ++i) {
        const std::int32_t unitId = unitIds[i].load(std::memory_order_acquire);
        if (unitId == kFree) break;
        Entry entry{unitId, activity.Read(i)};
        // Claimed a moment ago, its first report not yet written.
        if (entry.report.lastReportMs != 0) entries.push_back(entry);
    }
    return entries;
}
