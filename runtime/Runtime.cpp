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
#include "storage/RegistryCopy.h"
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
            // Read before the server starts, so that no reading arrives before its RTU is known;
            // where the database opens later, the copy serves meanwhile.
            FillRegistry();
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

void Runtime::OpenDatabase() {
    KeptMessageBoxes boxes;
    OpenDatabaseKeepingBoxes(database, boxes);
    AfterOpenAttempt();
    boxes.ShowOn(messageBox);
}

// A database that did not open sends every reading to the spool at once, and the forwarder tries it
// from then on. The window has served the registry copy since before it tried.
void Runtime::AfterOpenAttempt() {
    {
        std::lock_guard lock(DatabaseMutex);
        reopenAllowed = true;
    }
    const bool opened = database.connected.load();
    {
        std::lock_guard lock(startupMutex);
        if (startup.databaseTried) return;
        startup.databaseTried = true;
        startup.databaseAtStart = opened;
    }
    if (opened) return;
    startPending = true;
    if (history) history->DatabaseNotOpen();
    if (started > RuntimeStage::kRegistry) SayStartWithoutDatabase();
}

// The table is empty at the start: the rows read before an error are worth having. Without a
// database the RTUs are those of the last registry read, from its copy. The console's fields are
// replaced before the table is refilled, so that the answers the refill has rebuilt at once name
// the new RTUs.
void Runtime::FillRegistry() {
    std::lock_guard lock(registryMutex);
    bool complete = false;
    std::vector<RegistryRow> rows = ReadRegistry(database, &complete);
    std::string source = "database";
    if (complete) KeepRegistryCopy(rows);
    if (!database.connected.load()) {
        std::string error;
        std::optional<std::vector<RegistryRow>> copy = LoadRegistryCopy(RegistryCopyPath(), error);
        source = copy ? "copy" : "none";
        if (copy) rows = std::move(*copy);
        // The window opens its database later: with no copy it has nothing to serve until then.
        if (!copy && !reopenAllowed.load()) return;
    }
    registryFields.Replace(rows);
    RefillRtuTable(LiveRtuTable(), WantedRtus(rows));
    RestoreLastReports(database, LiveRtuTable());
    {
        std::lock_guard lock(startupMutex);
        startup.registry = source;
        startup.registryRtus = rows.size();
    }
    if (reopenAllowed.load() && !database.connected.load()) SayStartWithoutDatabase();
}

RegistryReload Runtime::ReloadRegistry() {
    std::lock_guard lock(registryMutex);
    RegistryReload reload;
    reload.rows = ReadRegistry(database, &reload.complete);
    if (reload.complete) {
        registryFields.Replace(reload.rows);
        KeepRegistryCopy(reload.rows);
        reload.added = RefillRtuTable(LiveRtuTable(), WantedRtus(reload.rows));
        std::lock_guard startupLock(startupMutex);
        startup.registry = "database";
        startup.registryRtus = reload.rows.size();
    } else if (!database.connected.load()) {
        std::string error;
        if (auto copy = LoadRegistryCopy(RegistryCopyPath(), error)) reload.rows = std::move(*copy);
    }
    // Also after a read that failed: RTUs the table had before are still there to be given theirs.
    RestoreLastReports(database, LiveRtuTable());
    return reload;
}

void Runtime::KeepRegistryCopy(const std::vector<RegistryRow>& rows) {
    std::string error;
    if (!SaveRegistryCopy(RegistryCopyPath(), rows, error)) Notice("Registry copy not kept: " + error);
}

void Runtime::SayStartWithoutDatabase() {
    std::string said;
    {
        std::lock_guard lock(startupMutex);
        if (!startup.said.empty()) return;
        const std::string rtus = std::to_string(startup.registryRtus) + " RTUs of ";
        const std::string served = startup.registry == "copy"
                                       ? rtus + "the registry copy " + RegistryCopyPath().string()
                                       : "no registry copy: only the RTUs given on the command line";
        startup.said = said = "Database not open at start; serving " + served +
                              "; every reading goes to the spool until the database answers";
    }
    Notice(said);
}

// The forwarder's probe, before each pass while readings wait. Until a database that did not open
// at start has opened and given its registry whole, nothing is forwarded: the fixed tables are
// there before any row, and the registry is read again with the slot rules of every reload, so
// that RTUs served from the copy keep their slots and values.
bool Runtime::Reopen() {
    if (!startPending.load()) return true;
    {
        std::lock_guard lock(DatabaseMutex);
        if (!reopenAllowed.load() || !ReopenDatabase(database)) return false;
    }
    const RegistryReload reload = ReloadRegistry();
    if (!reload.complete) return false;
    startPending = false;
    {
        std::lock_guard lock(startupMutex);
        startup.databaseBackMs = NowMilliseconds();
    }
    Notice("Database open: fixed tables made where missing, registry read again (" +
           std::to_string(reload.rows.size()) + " RTUs, " + std::to_string(reload.added) +
           " new); forwarding the spool");
    if (front.databaseBack) front.databaseBack();
    return true;
}

void Runtime::Notice(const std::string& text) {
    WriteEventLog((text + "\n").c_str());
    if (front.notice) front.notice(text);
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
    reopenAllowed = false;
    database.Close();
}

bool Runtime::StartSpool() {
    history = std::make_unique<CHistoryRecorder>(&database, [this] { return Reopen(); });
    const HistorySpoolOpening opening = OpenHistorySpool(*history);
    // Two writers on one spool would lose or duplicate readings: the second Telvorn in a working
    // directory ends before it binds a port.
    if (opening.result == ReadingSpool::OpenResult::HeldElsewhere) return Fail("Telvorn stops: " + opening.message);
    if (reopenAllowed.load() && !database.connected.load()) history->DatabaseNotOpen();
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
    sources.startup = [this] {
        std::lock_guard lock(startupMutex);
        return startup;
    };
    endpoint = StartMonitoringEndpoint(httpSettings, sources, messageBox);
    // run.sh and the tests wait for this line to tell where the console is.
    if (endpoint) std::printf("HTTP endpoint on %s\n", endpoint->Url().c_str());
    std::fflush(stdout);
}
