#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ChannelNames.h"
#include "core/RtuSilence.h"
#include "core/RtuTable.h"
#include "server/ConnectionView.h"
#include "storage/SpoolFigures.h"

class CSQLDatabase;
class RawDataTail;
class RegistryFields;

// How the program started as to its database, for /api/status.
struct StartupFigures {
    bool databaseTried = false;       // the first open has been attempted
    bool databaseAtStart = false;     // it opened
    std::string registry;             // where the served RTUs came from: "database", "copy" or "none"
    std::size_t registryRtus = 0;     // RTUs read from there
    std::string said;                 // what the program said about a start without the database
    std::int64_t databaseBackMs = 0;  // when a database that did not open at start opened; 0: not yet
};

// What the endpoint reads to answer, all read-only and owned by the program, which keeps them
// alive as long as the endpoint. The counts themselves are process-wide (coreCounts,
// serverCounts, historyCounts).
struct MonitorSources {
    const RtuTable* table = nullptr;
    const ConnectionView* connections = nullptr;
    const CSQLDatabase* database = nullptr;  // may be null: no database
    ChannelNames channelNames;               // display names, read once from "./name_rtu.ini"
    int staleSeconds = 900;
    const RawDataTail* rawData = nullptr;            // may be null: the console's raw page then stays empty
    const RegistryFields* registryFields = nullptr;  // may be null: the console then shows no names
    // Lines standard output has dropped (telvorn-headless); empty where there is no such count.
    std::function<std::uint64_t()> stdoutDroppedLines;
    // The history recorder's spool; empty where the program records no history.
    std::function<SpoolFigures()> spoolFigures;
    // How the start went as to the database; empty where the program does not tell.
    std::function<StartupFigures()> startup;
};

// The state of one RTU of the table, as the status API and the metrics tell it.
enum class RtuState { kConnected, kSilent, kDisconnected, kNever };
// Every state once: the metrics give each its count, zero included.
inline constexpr RtuState kRtuStates[] = {RtuState::kConnected, RtuState::kSilent, RtuState::kDisconnected,
                                          RtuState::kNever};
const char* RtuStateName(RtuState state);
// When the RTU of the report turns silent, and by which rule (RtuSilence.h).
Silence SilenceOf(const MonitorSources& sources, const RtuActivity::Report& report);
// No report yet: never; none for longer than its silence (SilenceOf): silent; else connected while
// the connection that carried the last report is open, disconnected once it has closed. A last
// report restored from the history counts as a report.
RtuState StateOf(const MonitorSources& sources, std::size_t slot, std::int64_t nowMs);
// Whether the RTU of the slot, in `state`, counts as up for alerting: connected does, silent does
// not; one not heard since the program started at startMs (never, or its last report restored)
// does until staleSeconds have passed since then, the time a reporting RTU gets to be heard.
bool RtuUp(const MonitorSources& sources, std::size_t slot, RtuState state, std::int64_t nowMs, std::int64_t startMs);
bool CarrierOpen(const MonitorSources& sources, std::size_t slot);
// The units that report without a slot of their own; a unit registered since has its slot instead.
std::vector<UnregisteredRtus::Entry> StillUnregistered(const MonitorSources& sources);

std::int64_t NowMilliseconds();

// Grows whenever a slot's unit id or model is written (a registry reload), and costs 256 atomic
// loads: it tells a shared answer to rebuild at once.
std::uint64_t RegistryFingerprint(const RtuTable& table);

// The channel display names the RTU state page shows, from "./name_rtu.ini".
ChannelNames ReadChannelNames();
