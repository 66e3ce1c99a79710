#include "web/MetricsPage.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/CoreCounts.h"
#include "server/ServerCounts.h"
#include "storage/HistoryCounts.h"
#include "storage/RegistryNames.h"
#include "web/LabelText.h"
#include "web/ProcessStats.h"

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::Registry;

constexpr auto kRelaxed = std::memory_order_relaxed;

double Value(const std::atomic<std::uint64_t>& count) { return static_cast<double>(count.load(kRelaxed)); }

prometheus::Family<prometheus::Counter>& Counter(Registry& registry, const char* name, const char* help) {
    return BuildCounter().Name(name).Help(help).Register(registry);
}

prometheus::Family<prometheus::Gauge>& Gauge(Registry& registry, const char* name, const char* help) {
    return BuildGauge().Name(name).Help(help).Register(registry);
}

void AddConnections(Registry& registry, const MonitorSources& sources) {
    Gauge(registry, "telvorn_connections", "RTU connections open.")
        .Add({})
        .Set(static_cast<double>(sources.connections ? sources.connections->OpenConnections() : 0));
    Gauge(registry, "telvorn_connection_limit", "RTU connections the server takes at once.")
        .Add({})
        .Set(static_cast<double>(sources.connections ? sources.connections->ConnectionLimit() : 0));
    Counter(registry, "telvorn_connections_accepted_total", "RTU connections accepted.")
        .Add({})
        .Increment(Value(serverCounts.accepted));
    Counter(registry, "telvorn_connections_refused_total", "RTU connections refused because the table was full.")
        .Add({})
        .Increment(Value(serverCounts.refused));
    const double peer = Value(serverCounts.closedByPeer);
    const double timeout = Value(serverCounts.closedByTimeout);
    const double all = Value(serverCounts.closed);
    auto& closed = Counter(registry, "telvorn_connections_closed_total",
                           "RTU connections closed: by the peer, by the idle time-out, or on an error.");
    closed.Add({{"reason", "peer"}}).Increment(peer);
    closed.Add({{"reason", "timeout"}}).Increment(timeout);
    closed.Add({{"reason", "error"}}).Increment(all > peer + timeout ? all - peer - timeout : 0);
}

void AddModbusRequests(Registry& registry);

void AddDecoder(Registry& registry) {
    Counter(registry, "telvorn_received_bytes_total", "Bytes received on RTU connections.")
        .Add({})
        .Increment(Value(coreCounts.receivedBytes));
    auto& frames = Counter(registry, "telvorn_frames_total", "RTU I/O frames and Modbus/TCP ADUs decoded.");
    frames.Add({{"protocol", "rtu_io"}}).Increment(Value(coreCounts.rtuIoFrames));
    frames.Add({{"protocol", "modbus"}}).Increment(Value(coreCounts.modbusAdus));
    Counter(registry, "telvorn_unknown_frames_total",
            "Frames and ADUs with a function not served, and data that is no ADU.")
        .Add({})
        .Increment(Value(coreCounts.unknownFrames));
    Counter(registry, "telvorn_held_bytes_dropped_total",
            "Frames or ADUs cut by the end of a receive, held, and dropped unfinished.")
        .Add({})
        .Increment(Value(coreCounts.heldDrops));
    AddModbusRequests(registry);
}

// Labels from a fixed set only: the served function codes as two hex digits, "other" for the rest.
void AddModbusRequests(Registry& registry) {
    static constexpr const char* kResults[kModbusResults] = {"ok", "exception", "no_reply"};
    auto& requests = Counter(registry, "telvorn_modbus_requests_total",
                             "Modbus/TCP requests, by function and how they were answered.");
    for (std::size_t slot = 0; slot < kModbusFunctionSlots; ++slot) {
        char function[3] = "";
        if (slot < std::size(kCountedModbusFunctions)) {
            std::snprintf(function, sizeof function, "%02X", static_cast<unsigned>(kCountedModbusFunctions[slot]));
        }
        for (std::size_t result = 0; result < kModbusResults; ++result) {
            const std::uint64_t count = coreCounts.modbusRequests[slot][result].load(kRelaxed);
            if (count == 0) continue;
            requests
                .Add({{"function", slot < std::size(kCountedModbusFunctions) ? function : "other"},
                      {"result", kResults[result]}})
                .Increment(static_cast<double>(count));
        }
    }
}

void AddHistory(Registry& registry) {
    auto& writes = Counter(registry, "telvorn_history_writes_total", "History rows written, by result.");
    writes.Add({{"result", "ok"}}).Increment(Value(historyCounts.stored));
    writes.Add({{"result", "failed"}}).Increment(Value(historyCounts.failed));
    const auto& bounds = HistoryCounts::kBucketBounds;
    std::vector<double> buckets;
    for (const auto& bucket : historyCounts.buckets) buckets.push_back(Value(bucket));
    prometheus::BuildHistogram()
        .Name("telvorn_history_write_seconds")
        .Help("Time to write one history row, waiting for the database lock included.")
        .Register(registry)
        .Add({}, prometheus::Histogram::BucketBoundaries(bounds.begin(), bounds.end()))
        .ObserveMultiple(buckets, static_cast<double>(historyCounts.totalMicroseconds.load(kRelaxed)) / 1e6);
    Gauge(registry, "telvorn_database_up", "1 while the last history write or database open succeeded.")
        .Add({})
        .Set(historyCounts.databaseUp.load(kRelaxed) ? 1 : 0);
}

// A name longer than this is cut: a label is repeated in every series and alert that carries it.
constexpr std::size_t kMaxNameCharacters = 64;

void AddRtus(Registry& registry, const MonitorSources& sources) {
    auto& last = Gauge(registry, "telvorn_rtu_last_report_timestamp_seconds",
                       "When the RTU's last frame or ADU was decoded, seconds since 1970 (0: never).");
    auto& connected =
        Gauge(registry, "telvorn_rtu_connected", "1 while the connection that carried the RTU's last report is open.");
    auto& frames = Counter(registry, "telvorn_rtu_frames_total", "Frames and ADUs decoded for the RTU.");
    auto& up = Gauge(registry, "telvorn_rtu_up",
                     "1 while the RTU is connected and not silent; one not heard since start counts as up for STALE "
                     "seconds after start unless silent.");
    auto& silence = Gauge(registry, "telvorn_rtu_silent_after_seconds",
                          "Seconds without a report after which the RTU is silent, and the rule that gives them: "
                          "STALE, or three of its usual intervals (60 s at least).");
    auto& info = Gauge(registry, "telvorn_rtu_info", "Always 1; the labels tell the RTU's model and registry name.");
    std::map<RtuState, int> states;
    for (const RtuState state : kRtuStates) states[state] = 0;
    const std::int64_t now = NowMilliseconds();
    const auto start = static_cast<std::int64_t>(ReadProcessStats().startTimeSeconds * 1000);
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        const auto [uid, model] = sources.table->Slot(i).Read(
            [](const RtuRecord& record) { return std::pair(std::string(record.uidText), record.model); });
        if (uid.empty()) continue;
        const RtuActivity::Report report = sources.table->Activity().Read(i);
        const RtuState state = StateOf(sources, i, now);
        ++states[state];
        last.Add({{"uid", uid}}).Set(static_cast<double>(report.lastReportMs) / 1000);
        connected.Add({{"uid", uid}}).Set(CarrierOpen(sources, i) ? 1 : 0);
        frames.Add({{"uid", uid}}).Increment(static_cast<double>(report.frames));
        up.Add({{"uid", uid}}).Set(RtuUp(sources, i, state, now, start) ? 1 : 0);
        const Silence silent = SilenceOf(sources, report);
        silence.Add({{"uid", uid}, {"by", SilentByName(silent.by)}}).Set(static_cast<double>(silent.afterMs) / 1000);
        info.Add({{"uid", uid},
                  {"model", std::to_string(model)},
                  {"name", LabelText(ProcessRegistryNames().Name(uid), kMaxNameCharacters)}})
            .Set(1);
    }
    auto& counts = Gauge(
        registry, "telvorn_rtus",
        "RTUs in each state, as /api/status counts them; unregistered: unit ids that report without being registered.");
    for (const auto& [state, count] : states) counts.Add({{"state", RtuStateName(state)}}).Set(count);
    counts.Add({{"state", "unregistered"}}).Set(static_cast<double>(StillUnregistered(sources).size()));
}

void AddSpool(Registry& registry, const SpoolFigures& spool) {
    const auto set = [&](const char* name, const char* help, std::int64_t value) {
        Gauge(registry, name, help).Add({}).Set(static_cast<double>(value));
    };
    set("telvorn_spool_open", "1 while readings the database cannot take are kept in the spool.", spool.spoolOpen);
    set("telvorn_database_away", "1 while readings go to the spool because the database does not answer.",
        spool.databaseAway);
    set("telvorn_spool_forwarding", "1 while the spool is forwarded to the database.", spool.forwarding);
    set("telvorn_spool_readings", "Readings held in the spool.", spool.readingsHeld);
    set("telvorn_spool_bytes", "Bytes of the spool file in use.", spool.bytes);
    set("telvorn_spool_limit_bytes", "The spool's size limit in bytes.", spool.limitBytes);
    set("telvorn_spool_oldest_age_seconds", "Age of the oldest reading held in the spool (0: none).",
        spool.oldestAgeSeconds);
    set("telvorn_spool_memory_readings", "Readings held in memory because the spool file cannot take them.",
        spool.memoryReadings);
    set("telvorn_spool_memory_bytes", "Memory those readings take, in bytes.", spool.memoryBytes);
    set("telvorn_spool_memory_limit_bytes", "The bound of the spool's memory in bytes.", spool.memoryLimitBytes);
    set("telvorn_spool_refusing", "1 while the spool refuses readings: neither its file nor its memory takes them.",
        spool.refusing);
    set("telvorn_spool_file_failing", "1 while the spool file refuses writes for a fault (disk full, damaged).",
        spool.fileFailing || (spool.spoolOpen && !spool.fileOpen));
    set("telvorn_spool_stalled", "1 while forwarding cannot go on for a reason of the spool's own.",
        !spool.stalled.empty());
    set("telvorn_spool_set_aside", "Rows set aside in the spool because their table kept refusing them.",
        spool.setAside);
    set("telvorn_spool_failing_tables", "Tables whose rows are set aside as they fail.",
        static_cast<std::int64_t>(spool.failingTables.size()));
    Counter(registry, "telvorn_spool_forwarded_total", "Readings stored from the spool since start.")
        .Add({})
        .Increment(static_cast<double>(spool.forwarded));
    Counter(registry, "telvorn_spool_refused_total",
            "Readings lost since start because neither the spool file nor its memory took them.")
        .Add({})
        .Increment(static_cast<double>(spool.refused));
}

void AddProcess(Registry& registry, const MonitorSources& sources) {
    const ProcessStats stats = ReadProcessStats();
    Counter(registry, "process_cpu_seconds_total", "Total user and system CPU time spent in seconds.")
        .Add({})
        .Increment(stats.cpuSeconds);
    Gauge(registry, "process_resident_memory_bytes", "Resident memory size in bytes.").Add({}).Set(stats.residentBytes);
    Gauge(registry, "process_open_fds", "Number of open file descriptors.").Add({}).Set(stats.openFds);
    Gauge(registry, "process_start_time_seconds", "Start time of the process since unix epoch in seconds.")
        .Add({})
        .Set(stats.startTimeSeconds);
    if (sources.spoolFigures) AddSpool(registry, sources.spoolFigures());
    if (sources.stdoutDroppedLines) {
        Counter(registry, "telvorn_stdout_dropped_lines_total",
                "Output lines dropped while standard output was blocked.")
            .Add({})
            .Increment(static_cast<double>(sources.stdoutDroppedLines()));
    }
}

}  // namespace

std::string RenderMetrics(const MonitorSources& sources) {
    Registry registry;
    BuildGauge()
        .Name("telvorn_build_info")
        .Help("Always 1; the labels tell the build.")
        .Register(registry)
        .Add({{"version", TELVORN_VERSION}})
        .Set(1);
    AddConnections(registry, sources);
    AddDecoder(registry);
    AddHistory(registry);
    AddRtus(registry, sources);
    AddProcess(registry, sources);
    return prometheus::TextSerializer().Serialize(registry.Collect());
}
