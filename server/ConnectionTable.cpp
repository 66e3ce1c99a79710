#include "server/ConnectionTable.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "server/ServerError.h"

namespace {

// Beyond the table's own size: a whole fleet reconnecting at once (after a restart of the server or
// of the mobile network) waits in the queue for the accept loop, which takes one connection per
// turn, instead of overflowing it and being reset by the system with the readings already sent.
constexpr int kListenBacklog = 20;

}  // namespace

ConnectionTable::ConnectionTable(int port, int recordCount, bool nonBlocking, bool loopbackOnly) {
    int count = std::max(recordCount, 1);
    allList.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        allList.push_back(std::make_unique<Attachment>());
        freeSet.insert(allList.back().get());
    }
    OpenListener(port, nonBlocking, loopbackOnly);
}

ConnectionTable::~ConnectionTable() { CloseListener(); }

void ConnectionTable::OpenListener(int port, bool nonBlocking, bool loopbackOnly) {
    listenSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenSocket < 0 || (nonBlocking && fcntl(listenSocket, F_SETFL, O_NONBLOCK) != 0)) {
        CloseListener();
        throw ServerError("server socket creation failed.");
    }
    // Lets a restarted server bind while old connections linger in TIME_WAIT; a live listener on
    // the port still makes bind fail.
    int one = 1;
    setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port & 0xffff));
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    if (bind(listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        CloseListener();
        throw ServerError("server socket failed to bind on given port.");
    }
    if (listen(listenSocket, static_cast<int>(allList.size()) + kListenBacklog) != 0) {
        CloseListener();
        throw ServerError("server scket failed to listen.");
    }
}

void ConnectionTable::CloseListener() {
    if (listenSocket >= 0) {
        shutdown(listenSocket, SHUT_RDWR);
        close(listenSocket);
        listenSocket = kNoSocket;
    }
}

std::uint16_t ConnectionTable::BoundPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

Attachment* ConnectionTable::Acquire() {
    std::lock_guard guard(tableLock);
    if (freeSet.empty()) {
        return nullptr;
    }
    Attachment* record = *freeSet.begin();
    freeSet.erase(freeSet.begin());
    return record;
}

bool ConnectionTable::Release(Attachment* record) {
    {
        std::lock_guard guard(tableLock);
        freeSet.insert(record);
    }
    return acceptHeld.exchange(false);
}

// The flag is raised before the free set is looked at, and a release fills the set before it takes
// the flag down: whichever comes second sees the other, so a held connection is never forgotten.
bool ConnectionTable::HoldAccept() {
    if (FreeCount() != 0) return false;
    acceptHeld.store(true);
    if (FreeCount() == 0 && ConnectionWaits() && AnyPeerHungUp()) return true;
    acceptHeld.store(false);
    return false;
}

bool ConnectionTable::ConnectionWaits() const {
    pollfd listener{listenSocket, POLLIN, 0};
    return poll(&listener, 1, 0) == 1 && (listener.revents & POLLIN) != 0;
}

// A descriptor closed or reused meanwhile gives a wrong answer for one accept at worst: the next
// turn looks again.
bool ConnectionTable::AnyPeerHungUp() const {
    std::vector<pollfd> open;
    for (const auto& record : allList) {
        const int socket = record->socket.load();
        if (record->inUse.load() != 0 && socket != kNoSocket) open.push_back({socket, POLLRDHUP, 0});
    }
    if (poll(open.data(), open.size(), 0) <= 0) return false;
    for (const pollfd& polled : open) {
        if ((polled.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return true;
    }
    return false;
}

std::size_t ConnectionTable::FreeCount() {
    std::lock_guard guard(tableLock);
    return freeSet.size();
}
