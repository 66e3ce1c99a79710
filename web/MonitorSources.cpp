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

RtuState StateOf(const MonitorSources& sources, std::size_t slot, std::int64_t nowMs) {
    const RtuActivity::Report report = sources.table->Activity().Read(slot);
    if (report.lastReportMs == 0) return RtuState::kNever;
    if (nowMs - report.lastReportMs > std::int64_t{sources.staleSeconds} * 1000) return RtuState::kSilent;
    return CarrierOpen(sources, slot) ? RtuState::kConnected : RtuState::kDisconnected;
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
    // FNV-1a over every slot's unit id and model.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](unsigned char byte) { hash = (hash ^ byte) * 1099511628211ull; };
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        table.Slot(i).Read([&mix](const RtuRecord& record) {
            for (const char* c = record.uidText; *c != '\0'; ++c) mix(static_cast<unsigned char>(*c));
            mix(0);
            for (int shift = 0; shift < 32; shift += 8) mix(static_cast<unsigned char>(record.model >> shift));
            return 0;
        });
    }
    return hash;
}
