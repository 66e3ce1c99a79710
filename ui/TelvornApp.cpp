#include "ui/TelvornApp.h"

#include <cstdio>
#include <cstdlib>

#include "ui/CurrentRtu.h"
#include "ui/QtMessageBox.h"
#include "ui/Resources.h"
#include "ui/TelvornDlg.h"

RtuSlot* currentRtu = nullptr;

CTelvornApp::CTelvornApp(int& argc, char** argv) : application(argc, argv) {
    QApplication::setApplicationName("telvorn");
    QApplication::setDesktopFileName("telvorn");
    InitTelvornResources();
}

void CTelvornApp::InitInstance() {
    // The thread-context slot, DatabaseMutex and the event-log file are process-wide objects of
    // their modules and exist before this runs; only the current RTU starts here.
    currentRtu = nullptr;
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
    window->Teardown();
    std::fflush(nullptr);
    std::quick_exit(started ? 0 : 1);
}
