// telvorn-headless: the connection server, the telemetry core and the history without a window.
// Reads SYSCONFIG from "./data_rtu.ini" and the status words from "./rtu_ui.ini", opens the database
// as the window does (its message boxes become lines on standard error), loads the registry into the
// live table (its copy while the database does not answer), prints the status line and, as --trace
// says, the server traces and the raw-data lines on standard output, serves the monitoring endpoint
// of section HTTP, and runs until SIGINT or SIGTERM. SIGHUP reads the registry again. A server that
// cannot serve its RTU port, or a spool held by another Telvorn, ends it at once with one line on
// standard error and status 1.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/RtuTable.h"
#include "core/TraceLevel.h"
#include "platform/profile/PidFile.h"
#include "runtime/Runtime.h"
#include "server/StandardStreams.h"
#include "tools/headless/HeadlessSinks.h"
#include "tools/headless/StdoutRelay.h"

namespace {

const char* const kUsage =
    "usage: telvorn-headless [--trace all|frames|none] [--rtu UID[:MODEL]]...\n"
    "Runs the connection server on the settings of ./data_rtu.ini until SIGINT or SIGTERM; SIGHUP reads\n"
    "the RTU registry again (telvorn-admin sends it to the pid in ./telvorn-headless.pid).\n"
    "--trace: the lines written to standard output: all (the default), frames (the raw-data and\n"
    "decoded-reading lines of RTU frames, no per-request Modbus/TCP lines), or none (the status lines\n"
    "only).\n"
    "Each --rtu fills the next slot of the live RTU table after the registered RTUs (from the first\n"
    "without a database).\n";

// Teardown waits for every server thread; a worker stuck writing to a stalled output must not keep
// the process alive past this.
constexpr auto kShutdownLimit = std::chrono::seconds(5);

bool ParseRtu(const std::string& text, RegisteredRtu& rtu) {
    std::size_t colon = text.find(':');
    rtu.uidText = text.substr(0, colon);
    if (rtu.uidText.empty() || rtu.uidText.size() > 31) {
        return false;
    }
    if (colon == std::string::npos) {
        return true;
    }
    std::string model = text.substr(colon + 1);
    char* end = nullptr;
    long value = std::strtol(model.c_str(), &end, 10);
    if (model.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    rtu.model = static_cast<std::int32_t>(value);
    return true;
}

bool ParseArguments(int argc, char** argv, std::vector<RegisteredRtu>& rtus) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        if (option == "--trace") {
            const std::optional<TraceLevel> level = TraceLevelFromText(argv[++i]);
            if (!level) return false;
            traceLevel.store(*level);
            continue;
        }
        RegisteredRtu rtu;
        if (option != "--rtu" || !ParseRtu(argv[++i], rtu) || rtus.size() == RtuTable::kSlots) {
            return false;
        }
        rtus.push_back(rtu);
    }
    return true;
}

// Waits for SIGINT or SIGTERM; each SIGHUP meanwhile refills the live table from the registry.
void ServeSignals(const sigset_t& signals, Runtime& runtime) {
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal != SIGHUP) return;
        const RegistryReload reload = runtime.ReloadRegistry();
        if (!reload.complete) {
            std::printf("Registry reload failed: the database did not answer; the live table stays as it was.\n");
        } else {
            std::printf("Registry reloaded: %zu RTUs, %zu new.\n", reload.rows.size(), reload.added);
        }
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    PrepareStandardStreams();
    RuntimeOptions options;
    options.serverRequired = true;
    if (!ParseArguments(argc, argv, options.extraRtus)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Blocked before any thread exists, so every thread inherits the mask and only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // Raw-data lines are written by the workers while they decode: a reader of standard output
    // that falls behind must cost lines, never readings.
    // Never destroyed: its writer may still be blocked on a stalled output when main returns. Held
    // in static storage so that it stays reachable (and leak checkers know it is kept on purpose).
    static StdoutRelay* const relay = new StdoutRelay;
    relay->Start();

    StderrMessageBox messageBox;
    StdoutRawDataList stdoutLines;
    IgnoringStatePage statePage;
    StdoutStatusLine statusLine;
    Runtime runtime(messageBox, std::move(options));
    RuntimeFront front;
    front.statusLine = &statusLine;
    front.rawDataList = &stdoutLines;
    front.statePage = &statePage;
    front.stdoutDroppedLines = [] { return relay->DroppedLines(); };
    front.notice = [](const std::string& text) { PrintLine(stderr, text); };
    runtime.SetFront(front);
    // Up to the spool, whose lock makes this the one Telvorn of the working directory: only then is
    // the pid file its own. telvorn-admin finds this process by it after a registry change; written
    // before the registry is read, as a SIGHUP from then on waits, blocked, until the service runs.
    bool started = runtime.Start(RuntimeStage::kSpool);
    const bool pidFileWritten = started && WritePidFile(kServicePidFile);
    if (started && !pidFileWritten)
        PrintLine(stderr, std::string("telvorn-headless: cannot write ") + kServicePidFile +
                              "; telvorn-admin cannot have this process read the registry again");
    started = started && runtime.Start();
    // A start that failed has said why in its one line on standard error.
    const int status = started ? 0 : 1;
    // Now with the endpoint's address, which LISTEN may leave to the system (port 0).
    if (status == 0 && pidFileWritten && !runtime.EndpointUrl().empty())
        WritePidFile(kServicePidFile, runtime.EndpointUrl());

    if (status == 0) ServeSignals(stopSignals, runtime);
    if (pidFileWritten) RemovePidFile(kServicePidFile);
    std::thread([status] {
        std::this_thread::sleep_for(kShutdownLimit);
        std::fflush(stdout);
        _exit(status);
    }).detach();
    runtime.Stop();
    relay->Stop(kShutdownLimit);
    return status;
}
