#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "server/Attachment.h"

// The listening socket and the fixed set of connection records. Acquire and Release are safe from
// any thread (lock order: a record's lock, then tableLock). allList never changes after construction,
// so it may be read without the lock.
class ConnectionTable {
public:
    // Throws ServerError "server socket creation failed.", "server socket failed to bind on given
    // port." or "server scket failed to listen."; the socket is closed before each.
    ConnectionTable(int port, int recordCount, bool nonBlocking, bool loopbackOnly);
    ~ConnectionTable();
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    // The free record with the lowest address, or null when all are in use.
    Attachment* Acquire();
    // Puts a record back into the free set; a record already free stays there once.
    void Release(Attachment* record);

    int ListenSocket() const { return listenSocket; }
    // The port the listener is bound to, as the system reports it (the one it picked for port 0).
    std::uint16_t BoundPort() const;
    void CloseListener();
    const std::vector<std::unique_ptr<Attachment>>& AllList() const { return allList; }
    std::size_t FreeCount();

private:
    void OpenListener(int port, bool nonBlocking, bool loopbackOnly);

    int listenSocket = kNoSocket;
    std::mutex tableLock;
    std::set<Attachment*> freeSet;
    std::vector<std::unique_ptr<Attachment>> allList;
};
