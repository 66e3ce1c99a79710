#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

// The operating system's overlapped block: the caller zeroes it before each use, and the completion
// of an operation hands back the pointer that started it, so records begin with one.
struct Overlapped {
    std::uint32_t words[5];
};

// Error code of a wait that timed out with no packet (WAIT_TIMEOUT).
inline constexpr std::uint32_t kWaitTimeoutCode = 258;
// Error code of a wait ended, with no packet and no I/O, because a connection waits on the watched
// listener (WatchListener). Outside errno's range and the system's wait codes.
inline constexpr std::uint32_t kConnectionPendingCode = 0x10000;

// One dequeued packet. A failed wait carries no overlapped pointer and kWaitTimeoutCode, or
// kConnectionPendingCode for a listener's wake-up; a failed receive carries its overlapped pointer,
// byte count 0 and the errno of the failure.
struct Completion {
    bool ok = false;
    std::uint32_t bytes = 0;
    void* key = nullptr;
    Overlapped* overlapped = nullptr;
    std::uint32_t error = 0;
};

// An I/O completion port over epoll. Posted packets and finished receives queue in arrival order;
// any number of threads may wait. Receives are overlapped: Receive registers the target buffer, and
// one reactor thread does the recv when the socket becomes readable and queues the result. The same
// reactor watches a listening socket, so that a waiting thread hears of a new connection at once.
//
// All methods are safe to call from any thread. Lock order: registrationLock, then queueLock.
class CompletionPort {
public:
    // Throws std::system_error when epoll or the reactor thread cannot be made.
    CompletionPort();
    ~CompletionPort();
    CompletionPort(const CompletionPort&) = delete;
    CompletionPort& operator=(const CompletionPort&) = delete;

    // Queues a packet; false once the port is shutting down.
    bool Post(std::uint32_t bytes, void* key, Overlapped* overlapped);
    Completion Wait(std::uint32_t timeoutMs);
    // From now on every Wait returns at once: with a packet if one is queued, else as timed out. For
    // the owner's shutdown, once it has asked the threads that wait here to stop.
    void EndWaits();
    // Threads blocked in Wait.
    std::size_t WaitingCount();

    // Arms one wake-up for a listening socket: once a connection waits to be accepted, one Wait
    // returns kConnectionPendingCode (queued behind the packets before it, so connections arriving
    // without end cannot hold completions up). It fires once; arm it again after accepting to hear
    // of the next connection. One listener per port. False when the socket cannot be watched.
    bool WatchListener(int listenSocket);

    // Binds a socket to the key that its completions carry. False if the socket is associated already.
    bool Associate(int socket, void* key);
    // Starts an overlapped receive of at most length bytes into buffer. False (nothing queued) when the
    // socket is not associated, already has a receive pending, or cannot be watched.
    bool Receive(int socket, void* buffer, std::uint32_t length, Overlapped* overlapped);
    // Shuts the socket down and closes it; a receive still pending completes as failed, so whoever
    // started it gets its overlapped record back.
    void CloseSocket(int socket);

    // From now on each socket gives only the bytes that had reached it: a receive takes at most
    // what is left of them, and what arrived later stays unread until the socket closes. For the
    // owner's stop, which then handles what was received.
    void StopReceiving();
    // After StopReceiving: a socket still has bytes of those to give.
    bool ReceivesLeft();

    // Removes and returns every queued packet without waiting; for teardown.
    std::deque<Completion> Drain();

private:
    struct Registration {
        int socket = -1;
        void* key = nullptr;
        bool watched = false;  // added to epoll at least once
        bool pending = false;
        void* buffer = nullptr;
        std::uint32_t length = 0;
        Overlapped* overlapped = nullptr;
        std::uint32_t left = 0;  // after StopReceiving: bytes that had reached it and were not received yet
    };

    void ReactorLoop();
    void ReceiveReady(std::uint64_t id);
    void Queue(const Completion& completion);

    int epollFd = -1;
    int wakeFd = -1;

    // Held by the reactor for the whole recv of one socket, and by CloseSocket while it removes the
    // interest and closes, so a close never races a recv on the same descriptor.
    std::mutex registrationLock;
    // Keyed by registration id, not by descriptor: a closed descriptor's number comes back with the
    // next accept, and an event already fetched for the old socket must not reach the new one.
    std::unordered_map<std::uint64_t, Registration> registrations;
    std::unordered_map<int, std::uint64_t> idBySocket;
    std::uint64_t nextId = 1;  // 0 marks the wake-up descriptor
    int listener = -1;         // the watched listening socket, added to epoll once
    bool receiving = true;     // guarded by registrationLock: StopReceiving was not called

    std::mutex queueLock;
    std::condition_variable queueReady;
    std::deque<Completion> queue;
    bool closing = false;
    bool waitsEnded = false;
    std::size_t waitingCount = 0;

    std::thread reactor;
};

// Accepts one pending connection on a non-blocking listener. The new socket is non-blocking too.
// Returns the socket, or -1 when none is waiting or the accept failed.
int AcceptConnection(int listenSocket, sockaddr_in* peer);
