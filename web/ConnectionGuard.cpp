#include "web/ConnectionGuard.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

// How often the thread looks for slow and overdue heads while some are awaited.
constexpr auto kSweepPeriod = std::chrono::milliseconds(250);

bool IsMonitoringPath(const std::string& path) { return path == "/healthz" || path == "/metrics"; }

}  // namespace

std::string ClientAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* address = info->client_addr;
    const void* bytes = address->sa_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    return inet_ntop(address->sa_family, bytes, text, sizeof text) != nullptr ? text : "";
}

ConnectionGuard::ConnectionGuard() : sweeper([this] { Run(); }) {}

ConnectionGuard::~ConnectionGuard() {
    Stop();
    for (const auto& [connection, entry] : open) close(entry.descriptor);
}

void ConnectionGuard::Started(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    Entry entry;
    entry.address = ClientAddress(connection);
    entry.descriptor = info != nullptr ? fcntl(info->connect_fd, F_DUPFD_CLOEXEC, 0) : -1;
    entry.since = Clock::now();
    std::lock_guard guard(lock);
    ShutDownSlowHeads(entry.since);
    Entry* oldest = nullptr;
    std::size_t waitingHere = 0;
    for (auto& [other, state] : open) {
        if (!state.waitingForHead || state.address != entry.address) continue;
        ++waitingHere;
        if (oldest == nullptr || state.since < oldest->since) oldest = &state;
    }
    if (waitingHere >= kMaxWaitingHeadsPerAddress) ShutDown(*oldest);
    open[connection] = entry;
    wake.notify_one();
}

void ConnectionGuard::HeadComplete(MHD_Connection* connection) {
    std::lock_guard guard(lock);
    const auto found = open.find(connection);
    if (found != open.end()) found->second.waitingForHead = false;
}

void ConnectionGuard::RequestDone(MHD_Connection* connection) {
    std::lock_guard guard(lock);
    const auto found = open.find(connection);
    if (found == open.end()) return;
    found->second.waitingForHead = true;
    found->second.since = Clock::now();
    wake.notify_one();
}

void ConnectionGuard::Closed(MHD_Connection* connection) {
    std::lock_guard guard(lock);
    const auto found = open.find(connection);
    if (found == open.end()) return;
    if (found->second.descriptor >= 0) close(found->second.descriptor);
    open.erase(found);
}

bool ConnectionGuard::Admits(const std::string& path) const {
    if (IsMonitoringPath(path)) return true;
    std::lock_guard guard(lock);
    return open.size() + kKeptBack <= kMaxConnections;
}

void ConnectionGuard::ResumeAt(MHD_Connection* connection, Clock::time_point when) {
    {
        std::lock_guard guard(lock);
        if (!stopping) {
            held.emplace(when, connection);
            wake.notify_one();
            return;
        }
    }
    MHD_resume_connection(connection);  // the library still runs: Stop comes before it stops
}

void ConnectionGuard::Stop() {
    std::multimap<Clock::time_point, MHD_Connection*> left;
    {
        std::lock_guard guard(lock);
        stopping = true;
        left.swap(held);
        wake.notify_one();
    }
    if (sweeper.joinable()) sweeper.join();
    for (const auto& [when, connection] : left) MHD_resume_connection(connection);
}

std::size_t ConnectionGuard::HeldCount() const {
    std::lock_guard guard(lock);
    return held.size();
}

// The library notices the shutdown on its thread and closes the connection as one the peer ended.
void ConnectionGuard::ShutDown(Entry& entry) {
    if (entry.descriptor >= 0) shutdown(entry.descriptor, SHUT_RDWR);
    entry.waitingForHead = false;  // shut down once
}

void ConnectionGuard::ShutDownSlowHeads(Clock::time_point now) {
    std::multimap<Clock::time_point, Entry*> slow;  // oldest first
    for (auto& [connection, entry] : open) {
        if (!entry.waitingForHead || now - entry.since < kSlowHead) continue;
        if (now - entry.since >= kHeadTime)
            ShutDown(entry);
        else
            slow.emplace(entry.since, &entry);
    }
    std::map<std::string, std::size_t> fromAddress;
    for (const auto& [since, entry] : slow) ++fromAddress[entry->address];
    std::size_t left = slow.size();
    for (const auto& [since, entry] : slow) {
        std::size_t& here = fromAddress[entry->address];
        if (here <= kMaxSlowHeadsPerAddress && left <= kMaxSlowHeads) continue;
        ShutDown(*entry);
        --here;
        --left;
    }
}

void ConnectionGuard::Run() {
    std::unique_lock guard(lock);
    while (!stopping) {
        const Clock::time_point now = Clock::now();
        ShutDownSlowHeads(now);
        bool awaiting = false;
        for (const auto& [connection, entry] : open) awaiting = awaiting || entry.waitingForHead;
        std::vector<MHD_Connection*> due;
        while (!held.empty() && held.begin()->first <= now) {
            due.push_back(held.begin()->second);
            held.erase(held.begin());
        }
        if (!due.empty()) {
            guard.unlock();
            for (MHD_Connection* connection : due) MHD_resume_connection(connection);
            guard.lock();
            continue;
        }
        Clock::time_point next = Clock::time_point::max();
        if (awaiting) next = now + kSweepPeriod;
        if (!held.empty()) next = std::min(next, held.begin()->first);
        if (next == Clock::time_point::max())
            wake.wait(guard);
        else
            wake.wait_until(guard, next);
    }
}
