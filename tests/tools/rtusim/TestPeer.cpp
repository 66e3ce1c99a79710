#include "tests/tools/rtusim/TestPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

namespace {

std::uint16_t word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void put16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xff));
}

// The size of the message at the front of the buffer, 0 while it is incomplete.
std::size_t messageSize(const std::vector<std::uint8_t>& buffer) {
    if (buffer.empty()) return 0;
    if (buffer[0] == '$') {
        for (std::size_t i = 29; i < buffer.size(); ++i)
            if (buffer[i] == '$') return i + 1;
        return 0;
    }
    if (buffer.size() < 6) return 0;
    const std::size_t size = 6u + word(buffer, 4);
    return buffer.size() >= size ? size : 0;
}

std::size_t echoLength(const std::vector<std::uint8_t>& adu) {
    switch (adu[7]) {
        case 0x0f:
        case 0x10:
        case 0x80:
            return 13u + adu[12];
        case 0x86:
            return 14;
        default:
            return 12;
    }
}

}  // namespace

TestPeer::TestPeer(Flaw flaw, bool echo, std::set<std::uint32_t> units)
    : flaw(flaw), echo(echo), units(std::move(units)) {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd, 128) != 0 || ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test peer cannot listen");
    listenPort = ntohs(address.sin_port);
    wakeFd = ::eventfd(0, EFD_CLOEXEC);
    thread = std::thread([this] { run(); });
}

TestPeer::~TestPeer() {
    stopping.store(true);
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    thread.join();
    ::close(wakeFd);
    ::close(listenFd);
}

void TestPeer::run() {
    std::map<int, Bytes> clients;
    while (!stopping.load()) {
        std::vector<pollfd> fds{{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
        for (const auto& client : clients) fds.push_back({client.first, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) <= 0) continue;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            const int on = 1;  // a time reply and its echo go out as two small sends
            if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (fd >= 0) clients[fd];
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            if (!serve(fds[i].fd, clients[fds[i].fd])) {
                ::close(fds[i].fd);
                clients.erase(fds[i].fd);
            }
        }
    }
    for (const auto& client : clients) ::close(client.first);
}

bool TestPeer::serve(int fd, Bytes& buffer) {
    std::uint8_t chunk[4096];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer.insert(buffer.end(), chunk, chunk + got);
    for (std::size_t size = messageSize(buffer); size != 0; size = messageSize(buffer)) {
        const Bytes message(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
        ++messagesSeen;
        message[0] == '$' ? frame(fd, message) : adu(fd, message);
        if (flaw == Flaw::Drops) return false;
    }
    return true;
}

void TestPeer::reply(int fd, Bytes bytes) {
    if (flaw == Flaw::Silent) return;
    if (flaw == Flaw::WrongTransaction && bytes[0] != '$') ++bytes[1];
    (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void TestPeer::frame(int fd, const Bytes& f) {
    const int fn = ((f[11] << 4) | (f[12] - '0')) & 0xff;
    if (flaw != Flaw::IgnoresWrites) table.applyFrame(f);
    if (fn == 0x83) {
        std::time_t now = std::time(nullptr) + (flaw == Flaw::WrongTime ? 3600 : 0);
        std::tm local{};
        localtime_r(&now, &local);
        char text[64];
        std::snprintf(text, sizeof text, "$%.8sSC83%02d/%02d/%02d %02d:%02d$",
                      flaw == Flaw::WrongTimeUnit ? "99999999" : std::string(f.begin() + 1, f.begin() + 9).c_str(),
                      local.tm_year % 100, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
        reply(fd, Bytes(text, text + 28));
    }
    if (echo) reply(fd, Bytes(f.begin(), f.begin() + (fn == 0x83 ? 29 : static_cast<std::ptrdiff_t>(f.size() - 1))));
}

void TestPeer::adu(int fd, const Bytes& a) {
    if (a.size() < 12 || word(a, 2) != 0) return;
    if (a[7] == 0x01 || a[7] == 0x03 || a[7] == 0x04) return read(fd, a);
    if (flaw != Flaw::IgnoresWrites) table.applyWrite(a);
    reply(fd, Bytes(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(std::min(echoLength(a), a.size()))));
}

void TestPeer::read(int fd, const Bytes& a) {
    const std::uint16_t address = word(a, 8), quantity = word(a, 10);
    if (!units.count(a[6])) return;
    Bytes out(a.begin(), a.begin() + 8);
    if (a[7] == 0x01) {
        const unsigned count = (quantity + 7u) / 8u, k = address % 100u;
        out.push_back(static_cast<std::uint8_t>(count + (flaw == Flaw::WrongByteCount ? 1 : 0)));
        out.resize(9 + count, 0);
        for (unsigned i = 0; i < quantity; ++i) {
            if (table.bitAt(a[6], address, k + i)) out[9 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        }
    } else {
        const unsigned k = address - (address < 1200 ? 1000u : 1200u);
        out.push_back(static_cast<std::uint8_t>((2u * quantity + (flaw == Flaw::WrongByteCount ? 1 : 0)) & 0xff));
        for (unsigned i = 0; i < (a[7] == 0x04 ? quantity / 2u : quantity); ++i) {
            const float value = table.valueAt(a[6], address, k + i);
            if (a[7] == 0x03) {
                put16(out, static_cast<std::uint16_t>(static_cast<std::int32_t>(std::trunc(10.0 * value))));
            } else {
                const auto raw = std::bit_cast<std::uint32_t>(value);
                put16(out, raw & 0xffff);
                put16(out, raw >> 16);
            }
        }
    }
    const std::size_t length = a[7] == 0x01 ? out.size() - 6 : 2u * quantity + 3;
    out[4] = static_cast<std::uint8_t>(length >> 8);
    out[5] = static_cast<std::uint8_t>(length & 0xff);
    reply(fd, out);
}
