#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <vector>

#include "tools/rtusim/RequestMix.h"
#include "tools/rtusim/SimStats.h"
#include "tools/rtusim/ValueModel.h"

namespace rtusim {

using Clock = std::chrono::steady_clock;

// Where all connections of a run connect to.
struct PeerAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The messages a run may still send; shared by the connections of the one run thread.
struct SendBudget {
    std::uint64_t limit = 0;  // 0: no limit
    std::uint64_t used = 0;
    bool exhausted() const { return limit != 0 && used >= limit; }
};

// One client connection: connects, sends a message per slot of its rate, and checks each reply.
// At most one message with replies is outstanding, so the server never receives a Modbus ADU and
// the next message in one chunk (its decoder reads nothing after an ADU's end as a frame) and
// replies need no matching. Lives on the run thread; every method is called from there.
class SimConnection {
public:
    SimConnection(const SimOptions& options, const PeerAddress& peer, std::vector<std::uint32_t> ownUnits,
                  std::uint64_t seed, Clock::time_point firstSlot, SimStats& stats);
    ~SimConnection();
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    int fd() const { return socketFd; }
    short pollEvents() const;
    void onEvents(short revents, Clock::time_point now);
    // Due sends, reply time-outs and reconnections; sending is false once the run stops sending.
    void onTimer(Clock::time_point now, bool sending, SendBudget& budget);
    Clock::time_point nextWake(bool sending) const;
    bool isOpen() const { return state == State::Open; }
    // Replies still due, or a message still being written (--split): the run waits for both.
    bool awaitsReplies() const { return !outstanding.empty() || !pendingSend.empty() || !laterPieces.empty(); }
    // Counts what is still outstanding as missing, and the slots passed up to slotsEnd (when
    // sending ended for lack of time rather than of budget) as skipped, and closes.
    void finish(std::optional<Clock::time_point> slotsEnd);

private:
    enum class State { Waiting, Connecting, Open };
    struct Outstanding {
        ExpectedReply reply;
        Clock::time_point sentAt;
        std::time_t sentAtWall;
    };

    void startConnect(Clock::time_point now);
    void connected(Clock::time_point now);
    void connectFailed(Clock::time_point now);
    void closeSocket();
    void lose(Clock::time_point now, bool byServer);
    void reset(Clock::time_point now);
    void receive(Clock::time_point now);
    void judgeReplies(Clock::time_point now);
    void sendNext(Clock::time_point now, SendBudget& budget);
    void flush(Clock::time_point now);
    void sent();
    void cutIntoPieces();
    bool ready() const {
        return state == State::Open && outstanding.empty() && pendingSend.empty() && laterPieces.empty();
    }
    Clock::time_point replyDeadline() const;

    const SimOptions& options;
    const PeerAddress& peer;
    SimStats& stats;
    RequestMix mix;
    ValueModel model;
    std::mt19937_64 timing;
    Clock::duration slot;
    Clock::time_point nextSlot;
    Clock::time_point retryAt{};
    Clock::time_point reopenAt{};
    State state = State::Waiting;
    int socketFd = -1;
    std::deque<Outstanding> outstanding;
    Bytes received;
    Bytes pendingSend;
    // --split: the pieces of the message after pendingSend, and when the next one goes.
    std::deque<Bytes> laterPieces;
    Clock::time_point nextPieceAt{};
    // The readings of the message being written, recorded once all of it is out.
    std::uint32_t sendingUnit = 0;
    std::vector<RecordedReading> sendingReadings;
};

}  // namespace rtusim
