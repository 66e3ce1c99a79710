#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/RawDataList.h"
#include "core/RegistryRefill.h"
#include "core/StatePage.h"
#include "platform/profile/MessageBox.h"
#include "runtime/ReadingSinks.h"
#include "server/ConnectionView.h"
#include "server/ServerStatusLine.h"
#include "server/StartTcpServer.h"
#include "storage/HistoryRecorder.h"
#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"
#include "web/HttpEndpoint.h"
#include "web/MonitorSources.h"
#include "web/RawDataTail.h"
#include "web/RegistryFields.h"

// The program's parts in the order they start; they stop in the reverse order.
enum class RuntimeStage {
    kNothing,    // nothing started yet
    kEventLog,   // "Log.txt"
    kDatabase,   // the connection to the history database
    kSpool,      // the history recorder with its spool
    kRegistry,   // the registry's RTUs in the live table
    kRecording,  // the sinks every accepted reading goes to
    kServer,     // the connection server on the RTU port
    kEndpoint,   // the monitoring endpoint
};

// What the program shows the parts on: the window's pages, or standard output. Nothing is owned;
// all must outlive the connection server.
struct RuntimeFront {
    IStatusLine* statusLine = nullptr;
    IRawDataList* rawDataList = nullptr;  // the program's own list; the console's tail goes in front
    IStatePage* statePage = nullptr;
    // Lines standard output has dropped, for monitoring; empty where there is no such count.
    std::function<std::uint64_t()> stdoutDroppedLines;
    // Also told what "Log.txt" is told about a start without the database and its end (telvorn-
    // headless: standard error); empty: only the log. Any thread.
    std::function<void(const std::string&)> notice;
    // A database that did not open at start has opened and the registry has been read again (the
    // window reloads its RTU list). Called on the history forwarder's thread.
    std::function<void()> databaseBack;
};

struct RuntimeOptions {
    // RTUs the live table takes after the registry's, in this order.
    std::vector<RegisteredRtu> extraRtus;
    // The database and registry stages are left to the program, which runs OpenDatabase and
    // ReloadRegistry when it will: the window posts them as commands that run once its start-up is
    // over, the server already listening.
    bool deferDatabase = false;
    // A connection server that cannot start ends the start (telvorn-headless: a service that serves
    // no RTU must fail where its service manager sees it). Otherwise the server's own message box
    // tells the error and the start goes on without a server.
    bool serverRequired = false;
};

// The outcome of a registry reload.
struct RegistryReload {
    bool complete = false;          // false: the database did not answer, the live table stays as it was
    std::vector<RegistryRow> rows;  // as read, also when only in part
    std::size_t added = 0;          // RTUs new to the live table
};

// The program assembled once for the window and telvorn-headless alike: each program supplies its
// front and message box and starts the stages; what differs between them stays in their shells.
//
// Threads: every method on the program's main thread (the window's user-interface thread). The
// parts started run threads of their own; the accessors' objects are safe as their classes say.
// After a start without the database the history forwarder opens it and reads the registry too
// (Reopen): registry reads and refills take registryMutex, one at a time.
class Runtime {
public:
    // `messageBox` is not owned and must outlive the runtime.
    explicit Runtime(IMessageBox& messageBox, RuntimeOptions options = {});
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Once, before the first Start.
    void SetFront(const RuntimeFront& front);
    // One more consumer of every accepted reading, after the history recorder; before the
    // recording stage. `sink` is not owned and must outlive the server.
    void AddSink(IHistoryWriter& sink) { addedSinks.push_back(&sink); }
    // Starts, in order, every stage after the last one started, up to and including `last`. False
    // when a stage failed such that the program must end: the reason has been shown in one message
    // box, no later stage starts, and what did start runs until Stop.
    bool Start(RuntimeStage last = RuntimeStage::kEndpoint);
    // Stops the started stages in the reverse order: the endpoint, the server (what it has received
    // decoded first, for at most 3 s, then its threads joined, so no reading is under way after
    // it; the event log says how many readings the stop spooled), the sinks, the spool's
    // forwarder, the database. The event log stays open until the process ends.
    void Stop();

    // The database stage: brings up the history database, then shows the outcome in message boxes,
    // which hold nothing up. When it does not open, every reading goes to the spool and the history
    // forwarder keeps trying to open it (Reopen).
    void OpenDatabase();
    // Reads the registry and brings the live table to its RTUs and then the extra ones, while the
    // workers decode (RefillRtuTable), and keeps a copy of it (RegistryCopy.h); RTUs not heard since
    // start get their newest stored reading as their last report (RestoreLastReports). A registry
    // that cannot be read whole changes nothing: it would free the slot of every RTU it missed;
    // without a database the rows are those of the copy. The window's list reload and telvorn-headless's
    // SIGHUP.
    RegistryReload ReloadRegistry();
    // Closes the database, waiting for a statement under way, and keeps it closed (the forwarder
    // does not open it again); the last step of Stop.
    void CloseDatabase();

    CSQLDatabase& Database() { return database; }
    const RunningServer& Server() const { return running; }
    // The raw-data lines the web console shows; null before SetFront.
    const RawDataTail* RawDataLines() const { return rawData.get(); }
    // The monitoring endpoint's address ("http://127.0.0.1:5080"); empty while it is not serving.
    std::string EndpointUrl() const { return endpoint ? endpoint->Url() : std::string(); }

private:
    // Each false when the program must end, after Fail.
    bool StartStage(RuntimeStage stage);
    bool StartSpool();
    bool StartServer();
    void StartEndpoint();
    void FillRegistry();
    void KeepRegistryCopy(const std::vector<RegistryRow>& rows);
    void AfterOpenAttempt();
    void SayStartWithoutDatabase();
    bool Reopen();
    void Notice(const std::string& text);
    std::vector<RegisteredRtu> WantedRtus(const std::vector<RegistryRow>& rows) const;
    void StopStage(RuntimeStage stage);
    void StopServer();
    bool Fail(std::string reason);

    IMessageBox& messageBox;
    const RuntimeOptions options;
    RuntimeFront front;
    RuntimeStage started = RuntimeStage::kNothing;
    std::string failure;  // empty until a stage failed

    CSQLDatabase database;
    // Set (under DatabaseMutex) once the first open was attempted, cleared when the database closes
    // for good: only in between may the forwarder open it.
    std::atomic<bool> reopenAllowed{false};
    // The database did not open at start, and has not yet opened with its registry read whole.
    std::atomic<bool> startPending{false};
    std::mutex registryMutex;  // one registry read and refill at a time (main thread, forwarder)
    mutable std::mutex startupMutex;
    StartupFigures startup;  // guarded by startupMutex
    std::unique_ptr<CHistoryRecorder> history;
    std::vector<IHistoryWriter*> addedSinks;
    ReadingSinks sinks;
    std::unique_ptr<RawDataTail> rawData;
    RunningServer running;
    ConnectionView connections{running};
    RegistryFields registryFields;
    MonitorSources sources;
    std::unique_ptr<HttpEndpoint> endpoint;
};
