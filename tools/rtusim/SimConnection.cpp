#include "tools/rtusim/SimConnection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "tools/rtusim/ReplyStream.h"

namespace rtusim {

namespace {

constexpr std::size_t kReceiveChunk = 4096;
constexpr int kReadsPerEvent = 16;
constexpr auto kConnectTimeout = std::chrono::seconds(5);

Clock::duration millis(unsigned ms) { return std::chrono::milliseconds(ms); }

}  // namespace

SimConnection::SimConnection(const SimOptions& options, const PeerAddress& peer, std::vector<std::uint32_t> ownUnits,
                             std::uint64_t seed, Clock::time_point firstSlot, SimStats& stats)
    : options(options),
      peer(peer),
      stats(stats),
      mix(options, std::move(ownUnits), seed),
      timing(seed ^ 0x5bd1e995u),
      slot(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / options.rate))),
      nextSlot(firstSlot) {}

SimConnection::~SimConnection() { closeSocket(); }

short SimConnection::pollEvents() const {
    if (state == State::Connecting) return POLLOUT;
    if (state != State::Open) return 0;
    return static_cast<short>(POLLIN | (pendingSend.empty() ? 0 : POLLOUT));
}

void SimConnection::startConnect(Clock::time_point now) {
    socketFd = ::socket(peer.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socketFd >= 0) {
        const int on = 1;
        ::setsockopt(socketFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(socketFd, reinterpret_cast<const sockaddr*>(&peer.address), peer.length) == 0)
            return connected(now);
        if (errno == EINPROGRESS) {
            state = State::Connecting;
            retryAt = now + kConnectTimeout;
            return;
        }
    }
    connectFailed(now);
}

void SimConnection::connectFailed(Clock::time_point now) {
    ++stats.refused;
    closeSocket();
    state = State::Waiting;
    retryAt = now + millis(options.reconnectDelayMs);
}

void SimConnection::connected(Clock::time_point now) {
    ++stats.connects;
    state = State::Open;
    if (options.reconnectRate > 0) {
        std::exponential_distribution<double> interval(options.reconnectRate);
        reopenAt = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval(timing)));
    }
}

void SimConnection::closeSocket() {
    if (socketFd >= 0) ::close(socketFd);
    socketFd = -1;
    received.clear();
    pendingSend.clear();
    laterPieces.clear();
    sendingReadings.clear();
    // Frames sent on this connection may never have been decoded, so their values are unknown.
    model.forget();
}

// The connection ended without rtusim asking for it: whatever it still owed is missing.
void SimConnection::lose(Clock::time_point now, bool byServer) {
    stats.missingReplies += outstanding.size();
    outstanding.clear();
    closeSocket();
    state = State::Waiting;
    if (byServer) {
        ++stats.dropped;
        retryAt = now + millis(options.reconnectDelayMs);
    } else {
        // The server is there; only the byte stream is out of step. Like a deliberate close, the
        // reopen waits --reopen-delay so that it does not race the server's release of the old record.
        ++stats.resets;
        retryAt = now + millis(options.reopenDelayMs);
    }
}

void SimConnection::reset(Clock::time_point now) { lose(now, false); }

void SimConnection::finish(std::optional<Clock::time_point> slotsEnd) {
    if (slotsEnd && *slotsEnd >= nextSlot)
        stats.skipped += static_cast<std::uint64_t>((*slotsEnd - nextSlot) / slot) + 1;
    stats.missingReplies += outstanding.size();
    outstanding.clear();
    closeSocket();
    state = State::Waiting;
}

void SimConnection::onEvents(short revents, Clock::time_point now) {
    if (state == State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socketFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        return error == 0 ? connected(now) : connectFailed(now);
    }
    if (state != State::Open) return;
    if (revents & POLLOUT) flush(now);
    if (state == State::Open && (revents & (POLLIN | POLLHUP | POLLERR))) receive(now);
}

void SimConnection::receive(Clock::time_point now) {
    std::uint8_t buffer[kReceiveChunk];
    // Replies are judged after every read, which keeps the buffer within one reply, and a peer
    // that floods the connection is left for the next poll after a bounded number of reads.
    for (int reads = 0; reads < kReadsPerEvent && state == State::Open; ++reads) {
        const ssize_t got = ::recv(socketFd, buffer, sizeof buffer, 0);
        if (got > 0) {
            stats.bytesReceived += static_cast<std::uint64_t>(got);
            received.insert(received.end(), buffer, buffer + got);
            judgeReplies(now);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        lose(now, true);
        return;
    }
}

void SimConnection::judgeReplies(Clock::time_point now) {
    const std::time_t wallNow = std::time(nullptr);
    while (!received.empty()) {
        if (outstanding.empty()) {
            stats.countWrong(ReplyFault::Unexpected);
            return reset(now);
        }
        const Outstanding& front = outstanding.front();
        const JudgeContext context{options.checkValues ? &model : nullptr, front.sentAtWall, wallNow,
                                   options.timeToleranceSeconds};
        const std::optional<Judged> judged = judgeFront(front.reply, received, context);
        if (!judged) return;
        ++stats.replies;
        stats.valuesChecked += judged->valuesChecked;
        stats.latency.record(static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(now - front.sentAt).count()));
        outstanding.pop_front();
        if (judged->fault != ReplyFault::None) {
            stats.countWrong(judged->fault);
            return reset(now);
        }
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(judged->size));
    }
}

Clock::time_point SimConnection::replyDeadline() const {
    return outstanding.front().sentAt + millis(options.replyTimeoutMs);
}

void SimConnection::onTimer(Clock::time_point now, bool sending, SendBudget& budget) {
    if (state == State::Waiting) {
        if (sending && now >= retryAt) startConnect(now);
        return;
    }
    if (state == State::Connecting) {
        if (now >= retryAt) connectFailed(now);
        return;
    }
    if (!outstanding.empty() && now >= replyDeadline()) return reset(now);
    if (pendingSend.empty() && !laterPieces.empty() && now >= nextPieceAt) {
        pendingSend = std::move(laterPieces.front());
        laterPieces.pop_front();
        return flush(now);
    }
    if (!sending || !ready() || now < nextSlot) return;
    if (options.reconnectRate > 0 && now >= reopenAt) {
        ++stats.reopened;
        closeSocket();
        if (options.reopenDelayMs == 0) return startConnect(now);
        state = State::Waiting;
        retryAt = now + millis(options.reopenDelayMs);
        return;
    }
    sendNext(now, budget);
}

void SimConnection::sendNext(Clock::time_point now, SendBudget& budget) {
    // Slots that passed while the connection was busy or closed are skipped, not sent in a burst.
    const auto missed = static_cast<std::uint64_t>((now - nextSlot) / slot);
    stats.skipped += missed;
    nextSlot += slot * static_cast<std::int64_t>(missed + 1);
    if (budget.exhausted()) return;
    ++budget.used;
    Request request = mix.next(std::time(nullptr));
    ++stats.sent;
    stats.bytesSent += request.bytes.size();
    stats.expectedReplies += request.replies.size();
    stats.readings += request.readings;
    if (request.kind == MessageKind::Frame || request.kind == MessageKind::TimeRequest) ++stats.frames;
    if (request.kind == MessageKind::TimeRequest) ++stats.timeRequests;
    if (request.kind == MessageKind::ModbusRead) ++stats.modbusReads;
    if (request.kind == MessageKind::ModbusWrite) ++stats.modbusWrites;
    if (options.checkValues) model.apply(request.unit, request.effects);
    for (ExpectedReply& reply : request.replies) outstanding.push_back({std::move(reply), now, std::time(nullptr)});
    sendingUnit = request.unit;
    sendingReadings = std::move(request.recorded);
    pendingSend = std::move(request.bytes);
    if (options.split) cutIntoPieces();
    flush(now);
}

// 1 to 4 pieces, cut anywhere; the first goes at once, each later one 1 to 20 ms after the last.
void SimConnection::cutIntoPieces() {
    std::uniform_int_distribution<int> pieces(1, 4);
    for (int cuts = pieces(timing) - 1; cuts > 0 && pendingSend.size() >= 2; --cuts) {
        const std::size_t size = pendingSend.size();
        std::uniform_int_distribution<std::size_t> at(1, size - 1);
        const std::size_t cut = at(timing);
        laterPieces.emplace_front(pendingSend.begin() + static_cast<std::ptrdiff_t>(cut), pendingSend.end());
        pendingSend.resize(cut);
    }
}

// The whole message is out: its readings are the server's to record.
void SimConnection::sent() {
    if (stats.sentRecord) {
        for (const RecordedReading& reading : sendingReadings) {
            const std::string value = reading.value ? std::to_string(*reading.value) : "?";
            std::fprintf(stats.sentRecord, "%u %c %u %s\n", sendingUnit, reading.coil ? 'c' : 'r',
                         reading.registerNumber, value.c_str());
        }
    }
    sendingReadings.clear();
}

void SimConnection::flush(Clock::time_point now) {
    while (!pendingSend.empty()) {
        const ssize_t wrote = ::send(socketFd, pendingSend.data(), pendingSend.size(), MSG_NOSIGNAL);
        if (wrote > 0) {
            pendingSend.erase(pendingSend.begin(), pendingSend.begin() + wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        return lose(now, true);
    }
    if (!laterPieces.empty()) {
        std::uniform_int_distribution<int> pause(1, 20);
        nextPieceAt = now + millis(static_cast<unsigned>(pause(timing)));
        return;
    }
    sent();
}

Clock::time_point SimConnection::nextWake(bool sending) const {
    switch (state) {
        case State::Waiting:
            return sending ? retryAt : Clock::time_point::max();
        case State::Connecting:
            return retryAt;
        case State::Open:
            break;
    }
    if (pendingSend.empty() && !laterPieces.empty()) {
        return outstanding.empty() ? nextPieceAt : std::min(nextPieceAt, replyDeadline());
    }
    if (!outstanding.empty()) return replyDeadline();
    if (!sending || !ready()) return Clock::time_point::max();
    return nextSlot;
}

}  // namespace rtusim
