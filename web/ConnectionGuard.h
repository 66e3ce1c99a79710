#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct MHD_Connection;

// "192.0.2.7" or "2001:db8::7"; empty when the library does not tell.
std::string ClientAddress(MHD_Connection* connection);

// Keeps the monitoring endpoint reachable whoever else connects. It follows every connection of the
// endpoint from start to close, and:
//   - gives a connection kHeadSeconds to send a request's head (from its start, or from the end of
//     its previous request), then shuts it down: a client that trickles its head holds nothing long;
//   - keeps at most kMaxSlowHeads connections that have waited kSlowHead or longer for a head,
//     kMaxSlowHeadsPerAddress of them from one address, shutting the oldest down: slow clients,
//     however many, never fill the endpoint, nor an address's share of it, while a burst of
//     connections whose heads are on their way is left alone up to kMaxWaitingHeadsPerAddress;
//   - keeps the last kKeptBack of the endpoint's connections for /healthz and /metrics;
//   - holds answers back: a suspended connection is resumed at a given time (slowed answers).
// Connections are shut down through a descriptor of the guard's own (a duplicate), so one closed
// meanwhile by the library is never mistaken for another that took its number.
//
// Threads: Started, HeadComplete, RequestDone, Closed and Admits on the endpoint's thread (the
// library's callbacks); ResumeAt from any thread; the guard's own thread sweeps and resumes. Stop
// and the destructor on the owner's thread, before the library stops.
class ConnectionGuard {
public:
    using Clock = std::chrono::steady_clock;
    // The library's limit on open connections; per address, kMaxPerAddress of them.
    static constexpr unsigned kMaxConnections = 200;
    static constexpr unsigned kMaxPerAddress = 64;
    static constexpr unsigned kMaxSlowHeads = 64;
    static constexpr unsigned kMaxSlowHeadsPerAddress = 16;
    static constexpr auto kSlowHead = std::chrono::seconds(1);
    // Of any age: an address's share (kMaxPerAddress) keeps room for the requests that do come.
    static constexpr unsigned kMaxWaitingHeadsPerAddress = 48;
    static constexpr unsigned kKeptBack = 16;
    static constexpr auto kHeadTime = std::chrono::seconds(10);

    ConnectionGuard();
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    void Started(MHD_Connection* connection);
    void HeadComplete(MHD_Connection* connection);
    void RequestDone(MHD_Connection* connection);
    void Closed(MHD_Connection* connection);
    // Whether a request for `path` may be served now: /healthz and /metrics always; the others
    // while more than kKeptBack of the endpoint's connections are left.
    bool Admits(const std::string& path) const;
    // Resumes the suspended connection at `when`, or at Stop.
    void ResumeAt(MHD_Connection* connection, Clock::time_point when);
    // Resumes every held connection and ends the guard's thread.
    void Stop();
    // Connections held by ResumeAt now.
    std::size_t HeldCount() const;

private:
    struct Entry {
        std::string address;
        int descriptor = -1;  // the guard's duplicate of the connection's socket
        bool waitingForHead = true;
        Clock::time_point since;  // start of the wait for a head
    };

    // Shuts down the connections whose heads are overdue, and the oldest of the slow ones past
    // their bounds. Call under lock.
    void ShutDownSlowHeads(Clock::time_point now);
    void ShutDown(Entry& entry);
    void Run();

    mutable std::mutex lock;  // guards everything below; no library call is made while it is held
    std::condition_variable wake;
    std::map<MHD_Connection*, Entry> open;
    std::multimap<Clock::time_point, MHD_Connection*> held;
    bool stopping = false;
    std::thread sweeper;
};
