#include "server/StartTcpServer.h"

#include "server/ServerError.h"

namespace {

void ShowStop(IMessageBox& messageBox, const char* text) {
    messageBox.Show(text, std::string(), MessageIcon::Stop, MessageButtons::Ok);
}

}  // namespace

int StartTcpServer(int port, int timeoutSeconds, const ServerReferences& references, IMessageBox& messageBox,
                   IStatusLine& statusLine, RunningServer& running) {
    ioRecordPool();
    if (timeoutSeconds <= 0) {
        timeoutSeconds = kDefaultIdleTimeoutSeconds;
    }
    try {
        auto handler = std::make_unique<MyISockEventHandler>();
        // Before the port listens: an RTU may connect and report at once (a fleet reconnecting
        // after a restart), and its first readings must find where they go.
        handler->SetRawDataList(references.rawDataList);
        handler->SetStatePage(references.statePage);
        handler->SetHistoryWriter(references.database);
        auto server = std::make_unique<ServerService<Attachment>>(port, handler.get(), timeoutSeconds);
        running.handler = std::move(handler);
        running.server = std::move(server);
    } catch (const ServerError& error) {
        ShowStop(messageBox, error.what());
        return 1;
    }
    try {
        for (auto& thread : running.server->ThreadPool().Threads()) {
            thread->Start();
        }
    } catch (const ServerError& error) {
        // The threads already started keep serving.
        ShowStop(messageBox, error.what());
        return 1;
    }
    statusLine.SetText(ComposeServerStatusLine(port, timeoutSeconds));
    return 1;
}
