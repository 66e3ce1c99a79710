#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/rtusim/PeerTable.h"

// A loopback stand-in for the server, enough to test rtusim against: it answers FN 0x83 with the
// time reply, keeps the readable values that frames and Modbus writes carry, answers reads of
// its units inside the windows, and acknowledges every write with its echo. A flaw makes
// it answer in one particular wrong way. Frames it echoes (echo on) are FN 0x10 and 0x83 only.
// Constructed and destroyed on the test thread; it serves on a thread of its own, which alone
// touches the values and the client sockets. port() and messages() are safe from any thread.
class TestPeer {
public:
    enum class Flaw { None, WrongTransaction, WrongByteCount, Silent, IgnoresWrites, WrongTime, WrongTimeUnit, Drops };

    TestPeer(Flaw flaw, bool echo, std::set<std::uint32_t> units);
    ~TestPeer();
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    std::uint16_t port() const { return listenPort; }
    std::uint64_t messages() const { return messagesSeen.load(); }

private:
    using Bytes = std::vector<std::uint8_t>;

    void run();
    bool serve(int fd, Bytes& buffer);  // false: close the connection
    void frame(int fd, const Bytes& frame);
    void adu(int fd, const Bytes& adu);
    void read(int fd, const Bytes& adu);
    void reply(int fd, Bytes bytes);

    const Flaw flaw;
    const bool echo;
    const std::set<std::uint32_t> units;
    PeerTable table;  // peer thread only
    int listenFd = -1;
    int wakeFd = -1;
    std::uint16_t listenPort = 0;
    std::atomic<std::uint64_t> messagesSeen{0};
    std::atomic<bool> stopping{false};
    std::thread thread;
};
