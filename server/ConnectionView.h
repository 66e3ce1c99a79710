#pragma once

#include <cstddef>
#include <cstdint>

struct RunningServer;

// A read-only look at the running connection server, for monitoring. Safe from any thread while
// the server lives; every answer is a moment's reading taken without the connections' locks.
class ConnectionView {
public:
    // `running` is not owned; its server may be absent (it failed to start).
    explicit ConnectionView(const RunningServer& running) : running(running) {}

    // The RTU port has its listening socket.
    bool Listening() const;
    std::size_t OpenConnections() const;
    std::size_t ConnectionLimit() const;
    // The connection a report came through (RtuActivity's origin) is still the one open in its record.
    bool IsOpen(const void* connection, std::uint32_t sequence) const;

private:
    const RunningServer& running;
};
