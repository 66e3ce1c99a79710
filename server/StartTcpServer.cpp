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
    running.handler->SetRawDataList(references.rawDataList);
    running.handler->SetStatePage(references.statePage);
    running.handler->SetHistoryWriter(references.database);
    statusLine.SetText(ComposeServerStatusLine(port, timeoutSeconds));
    return 1;
}
