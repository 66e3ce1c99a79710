#pragma once

#include <atomic>
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
//
// A full table whose peers have hung up holds a new connection in the listen queue rather than
// refusing it: after a freeze a whole fleet's closes and reconnects arrive at once, and the records
// come free as soon as those closes are handled. HoldAccept and Release meet through acceptHeld,
// so the worker that frees a record always learns that a connection waits for one.
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
    // Puts a record back into the free set; a record already free stays there once. True when a
    // held connection waits for the record: the caller wakes a service thread to accept it.
    bool Release(Attachment* record);
    // Service threads, before an accept: true (the connection stays queued) when no record is free,
    // a connection waits, and the peer of an open record has hung up, so its record will come free.
    bool HoldAccept();

    int ListenSocket() const { return listenSocket; }
    // The port the listener is bound to, as the system reports it (the one it picked for port 0).
    std::uint16_t BoundPort() const;
    void CloseListener();
    const std::vector<std::unique_ptr<Attachment>>& AllList() const { return allList; }
    std::size_t FreeCount();

private:
    void OpenListener(int port, bool nonBlocking, bool loopbackOnly);
    bool ConnectionWaits() const;
    bool AnyPeerHungUp() const;

    int listenSocket = kNoSocket;
    std::mutex tableLock;
    std::set<Attachment*> freeSet;
    std::vector<std::unique_ptr<Attachment>> allList;
    std::atomic<bool> acceptHeld{false};  // a connection waits in the listen queue for a record
};
