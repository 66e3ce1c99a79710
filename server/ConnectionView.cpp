#include "server/ConnectionView.h"

#include "server/StartTcpServer.h"

bool ConnectionView::Listening() const {
    return running.server != nullptr && running.server->Table().ListenSocket() != kNoSocket;
}

std::size_t ConnectionView::OpenConnections() const {
    if (!running.server) return 0;
    std::size_t open = 0;
    for (const auto& record : running.server->Table().AllList()) {
        if (record->inUse.load(std::memory_order_relaxed) != 0) ++open;
    }
    return open;
}

std::size_t ConnectionView::ConnectionLimit() const { return kConnectionRecords; }

bool ConnectionView::IsOpen(const void* connection, std::uint32_t sequence) const {
    if (!running.server || connection == nullptr) return false;
    for (const auto& record : running.server->Table().AllList()) {
        if (record.get() == connection) {
            return record->inUse.load() != 0 && record->sequence.load() == sequence;
        }
    }
    return false;
}
