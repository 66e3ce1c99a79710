#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// Small blocking helpers for loopback TCP in tests. Every socket here is the caller's to close.
namespace loopback {

// A listener on 127.0.0.1 with a port the system picked; non-blocking, as the server's is.
inline int Listen(std::uint16_t* port) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 128);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return listener;
}

// A blocking client connected to 127.0.0.1:port, or -1.
inline int Connect(std::uint16_t port) {
    int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        return -1;
    }
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return client;
}

inline bool SendText(int socket, const std::string& text) {
    return send(socket, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Waits up to timeoutMs for the socket to become readable; true if it did.
inline bool WaitReadable(int socket, int timeoutMs) {
    pollfd watched{socket, POLLIN, 0};
    return poll(&watched, 1, timeoutMs) == 1;
}

// Reads what arrives within timeoutMs; empty when nothing came or the peer closed.
inline std::string Receive(int socket, int timeoutMs) {
    if (!WaitReadable(socket, timeoutMs)) {
        return {};
    }
    char buffer[4096];
    ssize_t received = recv(socket, buffer, sizeof buffer, 0);
    return received > 0 ? std::string(buffer, static_cast<std::size_t>(received)) : std::string();
}

// True once the peer has closed the connection (a read returns 0 or fails) within timeoutMs.
inline bool PeerClosed(int socket, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (WaitReadable(socket, 50)) {
            char byte;
            ssize_t received = recv(socket, &byte, 1, MSG_DONTWAIT);
            if (received <= 0) {
                return true;
            }
        }
    }
    return false;
}

// Closes with a reset instead of an orderly shutdown.
inline void Abort(int socket) {
    linger hard{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(socket);
}

}  // namespace loopback
