#include "web/StatusApi.h"

#include <arpa/inet.h>

#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/ModbusMode.h"
#include "storage/HistoryCounts.h"
#include "storage/sql/SQLDatabase.h"
#include "web/ChannelValues.h"
#include "web/HealthCheck.h"
#include "web/ProcessStats.h"
#include "web/RegistryFields.h"

using nlohmann::json;

namespace {

constexpr const char* kJson = "application/json";

// Texts from the RTUs (registration, GPS) may hold bytes that are not UTF-8: replaced, never refused.
HttpAnswer JsonAnswer(int status, const json& body) {
    return {status, kJson, body.dump(2, ' ', false, json::error_handler_t::replace) + "\n"};
}

json TimeOrNull(std::int64_t ms) { return ms == 0 ? json(nullptr) : json(IsoLocalTime(ms)); }

std::string PeerText(const ReportOrigin& origin) {
    if (origin.peerAddress == 0 && origin.peerPort == 0) return {};
    in_addr address{htonl(origin.peerAddress)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return std::string(text) + ":" + std::to_string(origin.peerPort);
}

// The engine name is asked of the driver once it answers, and kept. The status is built on the
// endpoint's thread and on the event streams' ticker.
std::string EngineName(const MonitorSources& sources) {
    static std::mutex lock;
    static std::string known;
    std::lock_guard guard(lock);
    if (known.empty() && sources.database != nullptr) known = DatabaseEngineName(*sources.database);
    return known;
}

std::shared_ptr<const RegistryFields::ByUnitId> CurrentFields(const MonitorSources& sources) {
    return sources.registryFields ? sources.registryFields->Current() : std::make_shared<RegistryFields::ByUnitId>();
}

// An RTU the live table has but the registry not (telvorn-headless --rtu) has no fields.
json FieldsOf(const RegistryFields::ByUnitId& fields, const char* uid) {
    const auto found = fields.find(uid);
    return found == fields.end() ? json::object() : json(found->second);
}

json RtuSummary(const MonitorSources& sources, std::size_t slot, const RtuRecord& record, std::int64_t nowMs,
                const RegistryFields::ByUnitId& fields) {
    const RtuActivity::Report report = sources.table->Activity().Read(slot);
    const std::string peer = PeerText(report.origin);
    const Silence silence = SilenceOf(sources, report);
    return json{
        {"uid", record.uidText},
        {"registry", FieldsOf(fields, record.uidText)},
        {"model", record.model},
        {"registration", record.registString},
        {"connected", CarrierOpen(sources, slot)},
        {"peer", peer.empty() ? json(nullptr) : json(peer)},
        {"last_report", TimeOrNull(report.lastReportMs)},
        {"state", RtuStateName(StateOf(sources, slot, nowMs))},
        {"last_report_restored", report.restored},
        {"usual_interval_seconds", report.usualIntervalMs == 0 ? json(nullptr) : json(report.usualIntervalMs / 1000.0)},
        {"silent_after_seconds", silence.afterMs / 1000.0},
        {"silent_by", SilentByName(silence.by)},
        {"frames", report.frames},
        {"unknown_frames", report.unknownFrames},
    };
}

json UnregisteredSummary(const MonitorSources& sources, const UnregisteredRtus::Entry& entry) {
    const ReportOrigin& origin = entry.report.origin;
    const std::string peer = PeerText(origin);
    return json{
        {"uid", std::to_string(entry.unitId)},
        {"model", nullptr},
        {"registration", ""},
        {"connected",
         sources.connections != nullptr && sources.connections->IsOpen(origin.connection, origin.sequence)},
        {"peer", peer.empty() ? json(nullptr) : json(peer)},
        {"last_report", TimeOrNull(entry.report.lastReportMs)},
        {"state", "unregistered"},
        {"frames", entry.report.frames},
        {"unknown_frames", entry.report.unknownFrames},
    };
}

json SpoolJson(const MonitorSources& sources) {
    if (!sources.spoolFigures) return nullptr;
    const SpoolFigures spool = sources.spoolFigures();
    const auto textOrNull = [](const std::string& text) { return text.empty() ? json(nullptr) : json(text); };
    return json{{"open", spool.spoolOpen},
                {"file_open", spool.fileOpen},
                {"database_away", spool.databaseAway},
                {"forwarding", spool.forwarding},
                {"readings", spool.readingsHeld},
                {"bytes", spool.bytes},
                {"limit_bytes", spool.limitBytes},
                {"memory_readings", spool.memoryReadings},
                {"memory_bytes", spool.memoryBytes},
                {"memory_limit_bytes", spool.memoryLimitBytes},
                {"oldest_age_seconds", spool.oldestAgeSeconds},
                {"forwarded", spool.forwarded},
                {"refused", spool.refused},
                {"refusing", spool.refusing ? json(spool.refusedWhy) : json(nullptr)},
                {"trouble", textOrNull(spool.trouble)},
                {"stalled", textOrNull(spool.stalled)},
                {"set_aside", spool.setAside},
                {"failing_tables", spool.failingTables}};
}

json StartupJson(const MonitorSources& sources) {
    if (!sources.startup) return nullptr;
    const StartupFigures startup = sources.startup();
    return json{{"database_at_start", startup.databaseTried ? json(startup.databaseAtStart) : json(nullptr)},
                {"registry", startup.registry.empty() ? json(nullptr) : json(startup.registry)},
                {"registry_rtus", startup.registryRtus},
                {"said", startup.said.empty() ? json(nullptr) : json(startup.said)},
                {"database_back", TimeOrNull(startup.databaseBackMs)}};
}

}  // namespace

std::string IsoLocalTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // strftime's %z is "+0100"; ISO 8601's extended form wants "+01:00".
    std::string iso = text;
    iso.insert(iso.size() - 2, ":");
    return iso;
}

json StatusJson(const MonitorSources& sources) {
    const std::int64_t now = NowMilliseconds();
    int connected = 0, silent = 0, disconnected = 0, never = 0;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (sources.table->Slot(i).Read([](const RtuRecord& record) { return record.uidText[0] == '\0'; })) continue;
        switch (StateOf(sources, i, now)) {
            case RtuState::kConnected:
                ++connected;
                break;
            case RtuState::kSilent:
                ++silent;
                break;
            case RtuState::kDisconnected:
                ++disconnected;
                break;
            case RtuState::kNever:
                ++never;
                break;
        }
    }
    const std::string engine = EngineName(sources);
    const json body{
        {"version", TELVORN_VERSION},
        {"start_time", IsoLocalTime(static_cast<std::int64_t>(ReadProcessStats().startTimeSeconds * 1000))},
        {"database",
         {{"engine", engine.empty() ? json(nullptr) : json(engine)},
          {"up", historyCounts.databaseUp.load(std::memory_order_relaxed)},
          {"last_write_ok", TimeOrNull(historyCounts.lastStoredMs.load(std::memory_order_relaxed))},
          {"last_write_failed", TimeOrNull(historyCounts.lastFailedMs.load(std::memory_order_relaxed))}}},
        {"connections",
         {{"open", sources.connections ? sources.connections->OpenConnections() : 0},
          {"limit", sources.connections ? sources.connections->ConnectionLimit() : 0}}},
        {"rtus",
         {{"connected", connected},
          {"silent", silent},
          {"disconnected", disconnected},
          {"never", never},
          {"unregistered", StillUnregistered(sources).size()}}},
        {"stale_seconds", sources.staleSeconds},
        {"modbus", ModbusModeName(modbusMode.load(std::memory_order_relaxed))},
        {"spool", SpoolJson(sources)},
        {"startup", StartupJson(sources)},
    };
    return body;
}

HttpAnswer StatusAnswer(const MonitorSources& sources) { return JsonAnswer(200, StatusJson(sources)); }

json RtuListJson(const MonitorSources& sources) {
    const std::int64_t now = NowMilliseconds();
    const auto fields = CurrentFields(sources);
    json rtus = json::array();
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        const RtuRecord record = sources.table->Slot(i).Snapshot();
        if (record.uidText[0] != '\0') rtus.push_back(RtuSummary(sources, i, record, now, *fields));
    }
    for (const UnregisteredRtus::Entry& entry : StillUnregistered(sources))
        rtus.push_back(UnregisteredSummary(sources, entry));
    return rtus;
}

HttpAnswer RtuListAnswer(const MonitorSources& sources) { return JsonAnswer(200, RtuListJson(sources)); }

std::optional<json> RtuJson(const MonitorSources& sources, const std::string& uid) {
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        if (uid.empty() || !sources.table->Slot(i).UidTextEquals(uid)) continue;
        ReportedChannels reported;
        const RtuRecord record = sources.table->Slot(i).Snapshot(reported);
        if (record.uidText[0] == '\0' || uid != record.uidText) continue;
        json body = RtuSummary(sources, i, record, NowMilliseconds(), *CurrentFields(sources));
        body["gps"] = record.gps;
        body["channels"] = ChannelValues(record, reported, sources.channelNames);
        return body;
    }
    return std::nullopt;
}

HttpAnswer RtuAnswer(const MonitorSources& sources, const std::string& uid) {
    const std::optional<json> body = RtuJson(sources, uid);
    if (body) return JsonAnswer(200, *body);
    return JsonAnswer(404, json{{"error", "no RTU with unit id " + uid + " in the live table"}});
}

HttpAnswer HealthAnswer(const MonitorSources& sources) {
    const bool served = sources.connections != nullptr && sources.connections->Listening();
    const bool connected = sources.database != nullptr && sources.database->connected.load();
    const bool stored = historyCounts.databaseUp.load(std::memory_order_relaxed);
    Health health;
    if (sources.spoolFigures) {
        const SpoolFigures spool = sources.spoolFigures();
        health = JudgeHealth(served, &spool, connected, stored);
    } else {
        health = JudgeHealth(served, nullptr, connected, stored);
    }
    return {health.ok ? 200 : 503, "text/plain; charset=utf-8", health.reason + "\n"};
}
