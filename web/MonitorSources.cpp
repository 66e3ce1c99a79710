#include "web/MonitorSources.h"

#include <chrono>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

const char* RtuStateName(RtuState state) {
    switch (state) {
        case RtuState::kConnected:
            return "connected";
        case RtuState::kSilent:
            return "silent";
        case RtuState::kDisconnected:
            return "disconnected";
        case RtuState::kNever:
            break;
    }
    return "never";
}

bool CarrierOpen(const MonitorSources& sources, std::size_t slot) {
    const RtuActivity::Report report = sources.table->Activity().Read(slot);
    return sources.connections != nullptr &&
           sources.connections->IsOpen(report.origin.connection, report.origin.sequence);
}

Silence SilenceOf(const MonitorSources& sources, const RtuActivity::Report& report) {
    return SilenceOf(report.usualIntervalMs, sources.staleSeconds);
}

RtuState StateOf(const MonitorSources& sources, std::size_t slot, std::int64_t nowMs) {
    const RtuActivity::Report report = sources.table->Activity().Read(slot);
    if (report.lastReportMs == 0) return RtuState::kNever;
    if (nowMs - report.lastReportMs > SilenceOf(sources, report).afterMs) return RtuState::kSilent;
    return CarrierOpen(sources, slot) ? RtuState::kConnected : RtuState::kDisconnected;
}

bool RtuUp(const MonitorSources& sources, std::size_t slot, RtuState state, std::int64_t nowMs, std::int64_t startMs) {
    if (state == RtuState::kConnected) return true;
    if (state == RtuState::kSilent) return false;
    // Not heard since start (never, or its last report restored): the restart cut its connection,
    // so it gets the time an RTU has to be heard before it counts as down.
    const bool heardSinceStart = state != RtuState::kNever && !sources.table->Activity().Read(slot).restored;
    return !heardSinceStart && nowMs - startMs <= std::int64_t{sources.staleSeconds} * 1000;
}

std::vector<UnregisteredRtus::Entry> StillUnregistered(const MonitorSources& sources) {
    std::vector<UnregisteredRtus::Entry> entries = sources.table->Unregistered().Read();
    std::erase_if(
        entries, [&](const UnregisteredRtus::Entry& entry) { return sources.table->FindRtu(entry.unitId) != nullptr; });
    return entries;
}

std::int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ChannelNames ReadChannelNames() {
    class Lookup final : public IValueLookup {
    public:
        std::string Get(const std::string& section, const std::string& key) const override {
            return reader.readValue(section, key);
        }

    private:
        IniFileReader reader{kNamesIniPath};
    };
    ChannelNames names;
    names.Load(Lookup());
    return names;
}

std::uint64_t RegistryFingerprint(const RtuTable& table) {
    std::uint64_t changes = 0;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) changes += table.Slot(i).RegistryChanges();
    return changes;
}
