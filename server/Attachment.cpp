#include "server/Attachment.h"

#include <cstring>
#include <ctime>

#include "server/ServerCounts.h"

std::uint32_t NowSeconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

bool Attachment::Attach(int acceptedSocket, const sockaddr_in& peer) {
    if (inUse.load() != 0) {
        return false;
    }
    inUse.store(1);
    socket.store(acceptedSocket);
    peerAddress = peer;
    lastActive.store(0);
    std::memset(buffer, 0, sizeof buffer);
    fill = 0;
    stream.Reset();
    return true;
}

bool Attachment::Close(CompletionPort& port) {
    if (inUse.load() == 0) {
        return false;
    }
    inUse.store(0);
    serverCounts.closed.fetch_add(1, std::memory_order_relaxed);
    std::uint32_t old = sequence.load();
    sequence.store(old >= kLastSequence ? 1 : old + 1);
    // Closing through the port fails a pending receive, so its IoRecord comes back and no receive
    // can write into the buffer after this.
    port.CloseSocket(socket.exchange(kNoSocket));
    peerAddress = sockaddr_in{};
    lastActive.store(0);
    std::memset(buffer, 0, sizeof buffer);
    fill = 0;
    return true;
}
