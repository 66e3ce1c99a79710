#include "tools/rtusim/SimRunner.h"

#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>

namespace rtusim {

namespace {

using Connections = std::vector<std::unique_ptr<SimConnection>>;

// The longest wait between looks at the stop flag, so that a signal ends the run promptly.
constexpr auto kStopCheck = std::chrono::milliseconds(200);

double secondsSince(Clock::time_point start, Clock::time_point now) {
    return std::chrono::duration<double>(now - start).count();
}

Connections makeConnections(const SimOptions& options, const PeerAddress& peer, Clock::time_point start,
                            SimStats& stats) {
    const auto shares = shareUnits(options);
    std::mt19937_64 phases(options.seed);
    const double slotSeconds = 1.0 / options.rate;
    Connections connections;
    for (unsigned i = 0; i < options.connections; ++i) {
        // Connections start at random points of their first slot, so their sends spread out.
        const auto phase =
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, slotSeconds)(phases));
        const std::uint64_t seed = options.seed * 0x9e3779b97f4a7c15ull + i + 1;
        connections.push_back(std::make_unique<SimConnection>(
            options, peer, shares[i], seed, start + std::chrono::duration_cast<Clock::duration>(phase), stats));
    }
    return connections;
}

// Waits for socket events until the earliest wake-up of any connection or the given limit.
void waitForEvents(Connections& connections, bool sending, Clock::time_point limit) {
    std::vector<pollfd> fds;
    std::vector<SimConnection*> owners;
    Clock::time_point wake = std::min(limit, Clock::now() + kStopCheck);
    for (auto& connection : connections) {
        wake = std::min(wake, connection->nextWake(sending));
        if (connection->fd() < 0 || connection->pollEvents() == 0) continue;
        fds.push_back({connection->fd(), connection->pollEvents(), 0});
        owners.push_back(connection.get());
    }
    const auto wait = std::max(Clock::duration::zero(), wake - Clock::now());
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const timespec timeout{static_cast<time_t>(nanos / 1000000000), static_cast<long>(nanos % 1000000000)};
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) <= 0) return;
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents != 0) owners[i]->onEvents(fds[i].revents, now);
}

unsigned openCount(const Connections& connections) {
    return static_cast<unsigned>(
        std::count_if(connections.begin(), connections.end(), [](const auto& c) { return c->isOpen(); }));
}

bool anyAwaiting(const Connections& connections) {
    return std::any_of(connections.begin(), connections.end(), [](const auto& c) { return c->awaitsReplies(); });
}

}  // namespace

std::optional<PeerAddress> resolvePeer(const SimOptions& options) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options.port);
    if (::getaddrinfo(options.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return std::nullopt;
    PeerAddress peer;
    std::memcpy(&peer.address, found->ai_addr, found->ai_addrlen);
    peer.length = found->ai_addrlen;
    ::freeaddrinfo(found);
    return peer;
}

std::vector<std::vector<std::uint32_t>> shareUnits(const SimOptions& options) {
    std::vector<std::vector<std::uint32_t>> shares(options.connections);
    if (!options.checkValues) {
        std::fill(shares.begin(), shares.end(), options.units);
        return shares;
    }
    std::vector<std::uint32_t> dealt = options.units;
    std::stable_partition(dealt.begin(), dealt.end(), [](std::uint32_t unit) { return unit <= 255; });
    for (std::size_t i = 0; i < dealt.size(); ++i) shares[i % shares.size()].push_back(dealt[i]);
    return shares;
}

RunResult runSimulation(const SimOptions& options, const PeerAddress& peer, const std::atomic<bool>& stop,
                        std::ostream& progress) {
    RunResult result;
    const Clock::time_point start = Clock::now();
    const Clock::time_point sendEnd =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.durationSeconds));
    const auto progressEvery =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.progressSeconds));
    Clock::time_point nextProgress = options.progressSeconds > 0 ? start + progressEvery : Clock::time_point::max();
    Clock::time_point drainEnd = Clock::time_point::max();
    std::optional<Clock::time_point> slotsEnd;
    SendBudget budget{options.count, 0};
    if (!options.recordPath.empty()) result.stats.sentRecord = std::fopen(options.recordPath.c_str(), "w");
    Connections connections = makeConnections(options, peer, start, result.stats);
    for (Clock::time_point now = start;; now = Clock::now()) {
        const bool sending = now < sendEnd && !budget.exhausted() && !stop.load();
        if (!sending && drainEnd == Clock::time_point::max()) {
            drainEnd = now + std::chrono::milliseconds(options.replyTimeoutMs);
            if (!budget.exhausted()) slotsEnd = std::min(now, sendEnd);
        }
        if (!sending && (!anyAwaiting(connections) || now >= drainEnd)) break;
        for (auto& connection : connections) connection->onTimer(now, sending, budget);
        if (now >= nextProgress) {
            progress << progressJson(result.stats, openCount(connections), secondsSince(start, now)) << std::endl;
            nextProgress += progressEvery;
        }
        waitForEvents(connections, sending, std::min({sending ? sendEnd : drainEnd, nextProgress, drainEnd}));
    }
    for (auto& connection : connections) connection->finish(slotsEnd);
    if (result.stats.sentRecord) std::fclose(result.stats.sentRecord);
    result.stats.sentRecord = nullptr;
    result.elapsedSeconds = secondsSince(start, Clock::now());
    return result;
}

}  // namespace rtusim
