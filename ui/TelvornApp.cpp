#include "ui/TelvornApp.h"

#include <cstdio>
#include <cstdlib>

#include "ui/CurrentRtu.h"
#include "ui/QtMessageBox.h"
#include "ui/Resources.h"
#include "ui/TelvornDlg.h"
#include "web/HttpSettings.h"
#include "web/MonitoringEndpoint.h"

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
    window->OnInitDialog();
    // The monitoring endpoint starts once the connection server runs. Like the window, never
    // deleted: it reads the server and the database until the process ends.
    const HttpSettings httpSettings = ReadHttpSettings();
    auto* connections = new ConnectionView(window->Server());
    auto* sources = new MonitorSources;
    sources->table = &LiveRtuTable();
    sources->connections = connections;
    sources->database = &window->Database();
    sources->rawData = window->RawDataLines();
    sources->spoolFigures = [window] { return window->History().Figures(); };
    sources->channelNames = ReadChannelNames();
    sources->staleSeconds = httpSettings.staleSeconds;
    std::unique_ptr<HttpEndpoint> endpoint = StartMonitoringEndpoint(httpSettings, *sources, messageBox);
    // run.sh waits for this line to tell where the console is.
    if (endpoint) std::printf("HTTP endpoint on %s\n", endpoint->Url().c_str());
    std::fflush(stdout);
    endpoint.release();
    window->exec();
    window->Teardown();
    std::fflush(nullptr);
    std::quick_exit(0);
}
