#include "runtime/Runtime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "core/ModbusMode.h"
#include "core/RtuTable.h"
#include "core/TelemetryCore.h"
#include "platform/profile/ProfileSettings.h"
#include "storage/EventLog.h"
#include "storage/HistoryLog.h"
#include "storage/LastReports.h"
#include "storage/OpenDatabase.h"
#include "storage/sql/DatabaseMutex.h"
#include "web/HttpSettings.h"
#include "web/MonitoringEndpoint.h"

namespace {

// Keeps the text of a message box instead of showing it.
class KeptMessage final : public IMessageBox {
public:
    MessageAnswer Show(const std::string& shown, const std::string&, MessageIcon, MessageButtons) override {
        text = shown;
        return MessageAnswer::Ok;
    }
    std::string text;
};

// A stop's wait for the server to decode what it has received: a direct write gives up after a
// second, so this covers a stalled database with room to spare, and telvorn-headless's end of
// the whole stop (5 s) comes after it.
constexpr std::chrono::seconds kFinishLimit{3};

RuntimeStage After(RuntimeStage stage) { return static_cast<RuntimeStage>(static_cast<int>(stage) + 1); }
RuntimeStage Before(RuntimeStage stage) { return static_cast<RuntimeStage>(static_cast<int>(stage) - 1); }

}  // namespace

Runtime::Runtime(IMessageBox& messageBox, RuntimeOptions options)
    : messageBox(messageBox), options(std::move(options)) {}

Runtime::~Runtime() { Stop(); }

void Runtime::SetFront(const RuntimeFront& shown) {
    front = shown;
    rawData = std::make_unique<RawDataTail>(front.rawDataList);
}

bool Runtime::Start(RuntimeStage last) {
    while (failure.empty() && started < last) {
        started = After(started);
        // A stage that failed counts as started: Stop takes down whatever part of it runs.
        if (!StartStage(started)) return false;
    }
    return failure.empty();
}

void Runtime::Stop() {
    for (; started != RuntimeStage::kNothing; started = Before(started)) StopStage(started);
}

bool Runtime::StartStage(RuntimeStage stage) {
    switch (stage) {
        case RuntimeStage::kEventLog:
            OpenEventLog();
            break;
        case RuntimeStage::kDatabase:
            if (!options.deferDatabase) OpenDatabase();
            break;
        case RuntimeStage::kSpool:
            return StartSpool();
        case RuntimeStage::kRegistry:
            // Read before the server starts, so that no reading arrives before its RTU is known.
            if (!options.deferDatabase) FillRegistry();
            break;
        case RuntimeStage::kRecording:
            sinks.Add(*history);
            for (IHistoryWriter* sink : addedSinks) sinks.Add(*sink);
            break;
        case RuntimeStage::kServer:
            return StartServer();
        case RuntimeStage::kEndpoint:
            StartEndpoint();
            break;
        case RuntimeStage::kNothing:
            break;
    }
    return true;
}

void Runtime::StopStage(RuntimeStage stage) {
    switch (stage) {
        case RuntimeStage::kEndpoint:
            endpoint.reset();
            break;
        case RuntimeStage::kServer:
            StopServer();
            break;
        case RuntimeStage::kSpool:
            history.reset();
            break;
        case RuntimeStage::kDatabase:
            CloseDatabase();
            break;
        // The sinks write each reading as it comes and keep nothing back; the live table and the
        // event log are the process's own and live until it ends.
        case RuntimeStage::kRecording:
        case RuntimeStage::kRegistry:
        case RuntimeStage::kEventLog:
        case RuntimeStage::kNothing:
            break;
    }
}

void Runtime::OpenDatabase() { ::OpenDatabase(database, messageBox); }

// The table is empty at the start: the rows read before an error are worth having.
// The console's fields are replaced before the table is refilled, so that the answers the refill
// has rebuilt at once name the new RTUs.
void Runtime::FillRegistry() {
    const std::vector<RegistryRow> rows = ReadRegistry(database);
    registryFields.Replace(rows);
    RefillRtuTable(LiveRtuTable(), WantedRtus(rows));
    RestoreLastReports(database, LiveRtuTable());
}

RegistryReload Runtime::ReloadRegistry() {
    RegistryReload reload;
    reload.rows = ReadRegistry(database, &reload.complete);
    if (reload.complete) {
        registryFields.Replace(reload.rows);
        reload.added = RefillRtuTable(LiveRtuTable(), WantedRtus(reload.rows));
    }
    // Also after a read that failed: RTUs the table had before are still there to be given theirs.
    RestoreLastReports(database, LiveRtuTable());
    return reload;
}

std::vector<RegisteredRtu> Runtime::WantedRtus(const std::vector<RegistryRow>& rows) const {
    std::vector<RegisteredRtu> rtus = RegisteredRtus(rows);
    rtus.insert(rtus.end(), options.extraRtus.begin(), options.extraRtus.end());
    return rtus;
}

void Runtime::CloseDatabase() {
    // Workers write history under the database lock; none may be halfway through a statement when
    // the connection goes.
    std::lock_guard lock(DatabaseMutex);
    database.Close();
}

bool Runtime::StartSpool() {
    history = std::make_unique<CHistoryRecorder>(&database);
    const HistorySpoolOpening opening = OpenHistorySpool(*history);
    // Two writers on one spool would lose or duplicate readings: the second Telvorn in a working
    // directory ends before it binds a port.
    if (opening.result == ReadingSpool::OpenResult::HeldElsewhere) return Fail("Telvorn stops: " + opening.message);
    return true;
}

bool Runtime::StartServer() {
    const ServerSettings settings = ReadServerSettings();
    echoServer.store(settings.echoServer);
    modbusMode.store(ModbusModeFromText(settings.modbus));
    // Unless the server is required, one that fails to build or start says so in its message box,
    // and the program goes on all the same: the database, the registry and the endpoint are of use
    // without it.
    KeptMessage serverError;
    IMessageBox& box = options.serverRequired ? static_cast<IMessageBox&>(serverError) : messageBox;
    StartTcpServer(settings.port, settings.timeoutSeconds, ServerReferences{rawData.get(), front.statePage, &sinks},
                   box, *front.statusLine, running);
    if (serverError.text.empty()) return true;
    return Fail("Telvorn stops: RTU port " + std::to_string(settings.port) + " not served: " + serverError.text);
}

// The server first decodes what it has received, so that every frame read from an RTU has its
// readings stored or spooled before the recorder stops; the event log then says what the spool keeps.
void Runtime::StopServer() {
    if (!running.server) return;
    const SpoolFigures before = history ? history->Figures() : SpoolFigures{};
    const bool finished = running.server->FinishReceived(kFinishLimit);
    running.server.reset();
    const SpoolFigures after = history ? history->Figures() : SpoolFigures{};
    // Forwarding moves readings from the one figure to the other; only new ones grow their sum.
    const std::int64_t spooled = after.readingsHeld + after.forwarded - before.readingsHeld - before.forwarded;
    LogStopped(finished, static_cast<int>(kFinishLimit.count()), std::max<std::int64_t>(0, spooled),
               after.readingsHeld);
}

bool Runtime::Fail(std::string reason) {
    failure = std::move(reason);
    messageBox.Show(failure, std::string(), MessageIcon::Stop, MessageButtons::Ok);
    return false;
}

void Runtime::StartEndpoint() {
    const HttpSettings httpSettings = ReadHttpSettings();
    sources.table = &LiveRtuTable();
    sources.connections = &connections;
    sources.database = &database;
    sources.rawData = rawData.get();
    sources.registryFields = &registryFields;
    sources.channelNames = ReadChannelNames();
    sources.staleSeconds = httpSettings.staleSeconds;
    sources.stdoutDroppedLines = front.stdoutDroppedLines;
    // The endpoint stops before the spool stage, so the recorder outlives every call.
    sources.spoolFigures = [this] { return history->Figures(); };
    endpoint = StartMonitoringEndpoint(httpSettings, sources, messageBox);
    // run.sh and the tests wait for this line to tell where the console is.
    if (endpoint) std::printf("HTTP endpoint on %s\n", endpoint->Url().c_str());
    std::fflush(stdout);
}
