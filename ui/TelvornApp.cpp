#include "ui/TelvornApp.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ui/CurrentRtu.h"
#include "ui/QtMessageBox.h"
#include "ui/Resources.h"
#include "ui/TelvornDlg.h"

RtuSlot* currentRtu = nullptr;

namespace {

constexpr std::chrono::seconds kStopLimit{5};

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

CTelvornApp::CTelvornApp(int& argc, char** argv) : application(argc, argv) {
    QApplication::setApplicationName("telvorn");
    QApplication::setDesktopFileName("telvorn");
    InitTelvornResources();
}

void CTelvornApp::InitInstance() {
    // The thread-context slot, DatabaseMutex and the event-log file are process-wide objects of
    // their modules and exist before this runs; only the current RTU starts here.
    currentRtu = nullptr;
    ServeStopSignals();
    QtMessageBox messageBox;
    // Deliberately never deleted: workers may still hold the pages when the process ends.
    auto* window = new CTelvornDlg(messageBox);
    messageBox.SetParent(window);
    // A start that must not go on (two writers on one spool would lose or duplicate readings) has
    // shown why; the process ends with a failure status.
    const bool started = window->OnInitDialog();
    if (started) {
        window->StartMonitoring();
        window->exec();
    }
    // The stop waits for the server's threads; a worker stuck on a stalled output must not keep the
    // process alive past this.
    std::thread([started] {
        std::this_thread::sleep_for(kStopLimit);
        std::fflush(nullptr);
        std::_Exit(started ? 0 : 1);
    }).detach();
    window->Teardown();
    std::fflush(nullptr);
    std::quick_exit(started ? 0 : 1);
}

void BlockStopSignals() {
    sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void CTelvornApp::ServeStopSignals() {
    std::thread([] {
        sigset_t signals = StopSignals();
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        // Every event loop of the user-interface thread ends, a message box's too, and later ones
        // return at once: the window's close follows, with its stop.
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }).detach();
}
