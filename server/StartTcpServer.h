#pragma once

#include <memory>
#include <string>

#include "core/HistoryWriter.h"
#include "core/RawDataList.h"
#include "core/StatePage.h"
#include "platform/profile/MessageBox.h"
#include "server/MyISockEventHandler.h"
#include "server/ServerService.h"
#include "server/ServerStatusLine.h"

// The objects of the main window that the handler passes to the telemetry core; each may be null.
struct ServerReferences {
    IRawDataList* rawDataList = nullptr;
    IStatePage* statePage = nullptr;
    IHistoryWriter* database = nullptr;
};

// What the start-up built. The program keeps it until the process ends; the server is destroyed
// (all its threads stopped) before the handler it calls.
struct RunningServer {
    std::unique_ptr<MyISockEventHandler> handler;
    std::unique_ptr<ServerService<Attachment>> server;

    ~RunningServer() { server.reset(); }
};

// Idle time-out that a setting of 0 or less stands for.
inline constexpr int kDefaultIdleTimeoutSeconds = 600;

// Builds the connection server on the port, starts its threads, hands the core its references and
// writes the status line from the "Titles" words of "./rtu_ui.ini". An error while building or
// starting is shown in a message box with the stop icon and leaves the status line alone; whatever
// was built and started keeps running in `running`. Returns 1. Runs on the user-interface thread.
int StartTcpServer(int port, int timeoutSeconds, const ServerReferences& references, IMessageBox& messageBox,
                   IStatusLine& statusLine, RunningServer& running);
