#include "platform/completionport/CompletionPort.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace {

constexpr std::uint64_t kWakeId = 0;
// Registration ids count up from 1 and never reach this one.
constexpr std::uint64_t kListenerId = ~std::uint64_t{0};
constexpr int kEventsPerWait = 64;

}  // namespace

CompletionPort::CompletionPort() {
    epollFd = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0) {
        throw std::system_error(errno, std::generic_category(), "epoll_create1");
    }
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = kWakeId;
    if (wakeFd < 0 || epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &wake) != 0) {
        int error = errno;
        if (wakeFd >= 0) {
            close(wakeFd);
        }
        close(epollFd);
        throw std::system_error(error, std::generic_category(), "eventfd");
    }
    try {
        reactor = std::thread([this] { ReactorLoop(); });
    } catch (...) {
        close(wakeFd);
        close(epollFd);
        throw;
    }
}

CompletionPort::~CompletionPort() {
    {
        std::lock_guard guard(queueLock);
        closing = true;
    }
    queueReady.notify_all();
    std::uint64_t one = 1;
    while (write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    reactor.join();
    close(wakeFd);
    close(epollFd);
}

bool CompletionPort::Post(std::uint32_t bytes, void* key, Overlapped* overlapped) {
    {
        std::lock_guard guard(queueLock);
        if (closing) {
            return false;
        }
        queue.push_back(Completion{true, bytes, key, overlapped, 0});
    }
    queueReady.notify_one();
    return true;
}

Completion CompletionPort::Wait(std::uint32_t timeoutMs) {
    std::unique_lock guard(queueLock);
    auto ready = [this] { return !queue.empty() || closing || waitsEnded; };
    if (!ready()) {
        ++waitingCount;
        queueReady.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
        --waitingCount;
    }
    if (queue.empty()) {
        return Completion{false, 0, nullptr, nullptr, kWaitTimeoutCode};
    }
    Completion completion = queue.front();
    queue.pop_front();
    return completion;
}

void CompletionPort::EndWaits() {
    {
        std::lock_guard guard(queueLock);
        waitsEnded = true;
    }
    queueReady.notify_all();
}

std::size_t CompletionPort::WaitingCount() {
    std::lock_guard guard(queueLock);
    return waitingCount;
}

bool CompletionPort::WatchListener(int listenSocket) {
    std::lock_guard guard(registrationLock);
    // Level-triggered and one-shot: re-arming while connections still wait fires again at once.
    epoll_event interest{};
    interest.events = EPOLLIN | EPOLLONESHOT;
    interest.data.u64 = kListenerId;
    int operation = listenSocket == listener ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (listenSocket < 0 || epoll_ctl(epollFd, operation, listenSocket, &interest) != 0) {
        return false;
    }
    listener = listenSocket;
    return true;
}

void CompletionPort::StopReceiving() {
    std::lock_guard guard(registrationLock);
    receiving = false;
    for (auto& [id, registration] : registrations) {
        int queued = 0;
        registration.left = ioctl(registration.socket, FIONREAD, &queued) == 0 && queued > 0 ? queued : 0;
    }
}

bool CompletionPort::ReceivesLeft() {
    std::lock_guard guard(registrationLock);
    for (const auto& [id, registration] : registrations)
        if (registration.left > 0) return true;
    return false;
}

std::deque<Completion> CompletionPort::Drain() {
    std::lock_guard guard(queueLock);
    std::deque<Completion> drained;
    drained.swap(queue);
    return drained;
}

bool CompletionPort::Associate(int socket, void* key) {
    std::lock_guard guard(registrationLock);
    if (socket < 0 || idBySocket.count(socket) != 0) {
        return false;
    }
    std::uint64_t id = nextId++;
    Registration registration;
    registration.socket = socket;
    registration.key = key;
    registrations.emplace(id, registration);
    idBySocket.emplace(socket, id);
    return true;
}

bool CompletionPort::Receive(int socket, void* buffer, std::uint32_t length, Overlapped* overlapped) {
    std::lock_guard guard(registrationLock);
    auto found = idBySocket.find(socket);
    if (found == idBySocket.end()) {
        return false;
    }
    Registration& registration = registrations.at(found->second);
    if (registration.pending) {
        return false;
    }
    epoll_event interest{};
    interest.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
    interest.data.u64 = found->second;
    int operation = registration.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (epoll_ctl(epollFd, operation, socket, &interest) != 0) {
        return false;
    }
    registration.watched = true;
    registration.pending = true;
    registration.buffer = buffer;
    registration.length = length;
    registration.overlapped = overlapped;
    return true;
}

void CompletionPort::CloseSocket(int socket) {
    std::lock_guard guard(registrationLock);
    auto found = idBySocket.find(socket);
    if (found != idBySocket.end()) {
        Registration& registration = registrations.at(found->second);
        if (registration.watched) {
            epoll_ctl(epollFd, EPOLL_CTL_DEL, socket, nullptr);
        }
        if (registration.pending) {
            Queue(Completion{false, 0, registration.key, registration.overlapped, ECANCELED});
        }
        registrations.erase(found->second);
        idBySocket.erase(found);
    }
    if (socket >= 0) {
        shutdown(socket, SHUT_RDWR);
        close(socket);
    }
}

void CompletionPort::Queue(const Completion& completion) {
    {
        std::lock_guard guard(queueLock);
        queue.push_back(completion);
    }
    queueReady.notify_one();
}

void CompletionPort::ReactorLoop() {
    epoll_event events[kEventsPerWait];
    for (;;) {
        int count = epoll_wait(epollFd, events, kEventsPerWait, -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < count; ++i) {
            if (events[i].data.u64 == kWakeId) {
                return;
            }
            if (events[i].data.u64 == kListenerId) {
                Queue(Completion{false, 0, nullptr, nullptr, kConnectionPendingCode});
                continue;
            }
            ReceiveReady(events[i].data.u64);
        }
    }
}

void CompletionPort::ReceiveReady(std::uint64_t id) {
    std::lock_guard guard(registrationLock);
    auto found = registrations.find(id);
    // The socket may have been closed after epoll_wait returned its event.
    if (found == registrations.end() || !found->second.pending) {
        return;
    }
    Registration& registration = found->second;
    if (!receiving && registration.left == 0) {
        return;
    }
    const std::uint32_t length = receiving ? registration.length : std::min(registration.length, registration.left);
    ssize_t received = recv(registration.socket, registration.buffer, length, 0);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        epoll_event interest{};
        interest.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
        interest.data.u64 = id;
        if (epoll_ctl(epollFd, EPOLL_CTL_MOD, registration.socket, &interest) == 0) {
            return;
        }
    }
    registration.pending = false;
    if (!receiving && received > 0) {
        registration.left -= static_cast<std::uint32_t>(received);
    }
    if (received >= 0) {
        Queue(Completion{true, static_cast<std::uint32_t>(received), registration.key, registration.overlapped, 0});
    } else {
        Queue(Completion{false, 0, registration.key, registration.overlapped, static_cast<std::uint32_t>(errno)});
    }
}

int AcceptConnection(int listenSocket, sockaddr_in* peer) {
    socklen_t length = sizeof(sockaddr_in);
    return accept4(listenSocket, reinterpret_cast<sockaddr*>(peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
}
