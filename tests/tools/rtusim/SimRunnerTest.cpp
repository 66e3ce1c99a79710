#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/WaitUntil.h"
#include "tests/tools/rtusim/TestPeer.h"
#include "tests/tools/rtusim/Words.h"
#include "tools/rtusim/SimRunner.h"

using namespace rtusim;
using Flaw = TestPeer::Flaw;

namespace {

std::uint64_t wrong(const SimStats& stats, ReplyFault fault) { return stats.wrong[static_cast<std::size_t>(fault)]; }

// A port nothing listens on: bound once to learn a free number, then released.
std::uint16_t closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Runs rtusim in the test thread against a port. The default --duration is generous so that
// --count ends each run; every run is bounded by it all the same.
class RtusimRun : public ::testing::Test {
protected:
    RunResult run(std::uint16_t port, const std::string& args) {
        const ParsedOptions parsed =
            parseOptions(words("--duration 60 --seed 7 --port " + std::to_string(port) + " " + args));
        EXPECT_TRUE(parsed.options.has_value()) << parsed.error;
        options = parsed.options.value_or(SimOptions{});
        const std::optional<PeerAddress> peer = resolvePeer(options);
        EXPECT_TRUE(peer.has_value());
        return runSimulation(options, *peer, stop, progress);
    }

    RunResult runAgainst(Flaw flaw, const std::string& args, bool echo = false) {
        TestPeer peer(flaw, echo, {1, 2, 3, 4, 5});
        return run(peer.port(), args);
    }

    SimOptions options;
    std::atomic<bool> stop{false};
    std::ostringstream progress;
};

}  // namespace

TEST_F(RtusimRun, HonestPeerAnswersEveryKindOfMessage) {
    TestPeer peer(Flaw::None, false, {1, 2, 3, 4, 5});
    const SimStats s = run(peer.port(),
                           "--units 1-5 --connections 3 --rate 500 --count 300 "
                           "--frames all --modbus all")
                           .stats;
    EXPECT_EQ(s.sent, 300u);
    // Frames need no reply, so the last ones may still be on their way when the run ends.
    WaitUntil([&] { return peer.messages() >= s.sent; }, std::chrono::seconds(10));
    EXPECT_EQ(peer.messages(), s.sent);
    EXPECT_EQ(s.frames + s.modbusReads + s.modbusWrites, s.sent);
    EXPECT_GT(s.timeRequests, 0u);
    EXPECT_GT(s.modbusReads, 0u);
    EXPECT_GT(s.modbusWrites, 0u);
    EXPECT_EQ(s.expectedReplies, s.timeRequests + s.modbusReads + s.modbusWrites);
    EXPECT_EQ(s.replies, s.expectedReplies);
    EXPECT_EQ(s.wrongReplies, 0u);
    EXPECT_EQ(s.missingReplies, 0u);
    EXPECT_EQ(s.connects, 3u);
    EXPECT_EQ(s.refused + s.dropped + s.resets, 0u);
    EXPECT_EQ(s.latency.count(), s.replies);
    EXPECT_TRUE(s.passed());
}

TEST_F(RtusimRun, ValuesWrittenAreReadBackFromAnHonestPeer) {
    const SimStats s = runAgainst(Flaw::None,
                                  "--check-values --frames 10,83 --modbus 03,04,06,10 --units 1-4 "
                                  "--connections 2 --rate 500 --count 400")
                           .stats;
    EXPECT_EQ(s.wrongReplies, 0u);
    EXPECT_EQ(s.missingReplies, 0u);
    EXPECT_GT(s.valuesChecked, 0u);
}

TEST_F(RtusimRun, EveryFrameAndWriteIsReadBackFromAnHonestPeer) {
    const SimStats s = runAgainst(Flaw::None,
                                  "--check-values --frames all --modbus all --units 1-5 "
                                  "--connections 3 --rate 1000 --count 3000")
                           .stats;
    EXPECT_EQ(s.wrongReplies, 0u);
    EXPECT_EQ(s.missingReplies, 0u);
    EXPECT_GT(s.valuesChecked, 1000u);
}

// Every message cut into pieces still reaches the peer whole and is answered as usual.
TEST_F(RtusimRun, SplitMessagesArriveWholeAndAreAnswered) {
    TestPeer peer(Flaw::None, false, {1, 2, 3, 4, 5});
    const SimStats s = run(peer.port(),
                           "--split --check-values --frames all --modbus all --units 1-5 "
                           "--connections 3 --rate 200 --count 300")
                           .stats;
    WaitUntil([&] { return peer.messages() >= s.sent; }, std::chrono::seconds(10));
    EXPECT_EQ(peer.messages(), s.sent);
    EXPECT_EQ(s.wrongReplies, 0u);
    EXPECT_EQ(s.missingReplies, 0u);
    EXPECT_GT(s.valuesChecked, 0u);
}

// --record: one line per reading once its message is out, so as many as the readings counted.
TEST_F(RtusimRun, RecordHasALinePerReadingSent) {
    char path[] = "/tmp/rtusim-record-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const SimStats s = runAgainst(Flaw::None, std::string("--record ") + path +
                                                  " --frames all --modbus writes --units 1-5 --rate 500 --count 300")
                           .stats;
    std::ifstream record(path);
    std::string unit, kind, registerNumber, value;
    std::uint64_t lines = 0, unknown = 0;
    while (record >> unit >> kind >> registerNumber >> value) {
        ++lines;
        EXPECT_TRUE(kind == "c" || kind == "r") << kind;
        EXPECT_GE(std::stoi(unit), 1);
        EXPECT_LE(std::stoi(unit), 5);
        if (kind == "c") EXPECT_TRUE(value == "0" || value == "1") << value;
        unknown += value == "?";
    }
    EXPECT_GT(lines, 0u);
    EXPECT_EQ(lines, s.readings);
    EXPECT_LT(unknown, lines);
    std::remove(path);
}

TEST_F(RtusimRun, PeerThatIgnoresWritesGivesWrongValues) {
    const SimStats s = runAgainst(Flaw::IgnoresWrites,
                                  "--check-values --frames 10 --modbus 03,04,06,10 "
                                  "--units 1-4 --connections 2 --rate 500 --count 400")
                           .stats;
    EXPECT_GT(wrong(s, ReplyFault::Value), 0u);
    EXPECT_EQ(s.wrongReplies, wrong(s, ReplyFault::Value));
    EXPECT_EQ(s.resets, s.wrongReplies);
    EXPECT_FALSE(s.passed());
}

TEST_F(RtusimRun, WrongTransactionIdIsCountedForEveryReply) {
    const SimStats s = runAgainst(Flaw::WrongTransaction, "--modbus reads --rate 200 --count 20").stats;
    EXPECT_EQ(wrong(s, ReplyFault::Transaction), 20u);
    EXPECT_EQ(s.wrongReplies, 20u);
    EXPECT_EQ(s.missingReplies, 0u);
    EXPECT_FALSE(s.passed());
}

TEST_F(RtusimRun, WrongByteCountIsCounted) {
    const SimStats s = runAgainst(Flaw::WrongByteCount, "--modbus reads --rate 200 --count 10").stats;
    EXPECT_EQ(wrong(s, ReplyFault::ByteCount), 10u);
}

TEST_F(RtusimRun, SilentPeerLeavesEveryReplyMissing) {
    const SimStats s = runAgainst(Flaw::Silent, "--modbus 03 --rate 100 --count 5 --reply-timeout 100").stats;
    EXPECT_EQ(s.sent, 5u);
    EXPECT_EQ(s.replies, 0u);
    EXPECT_EQ(s.missingReplies, 5u);
    EXPECT_FALSE(s.passed());
}

TEST_F(RtusimRun, TimeReplyAnHourOffIsWrong) {
    const SimStats s = runAgainst(Flaw::WrongTime, "--frames 83 --rate 200 --count 5").stats;
    EXPECT_EQ(wrong(s, ReplyFault::Time), 5u);
}

TEST_F(RtusimRun, TimeReplyForAnotherUnitIsWrong) {
    const SimStats s = runAgainst(Flaw::WrongTimeUnit, "--frames 83 --rate 200 --count 5").stats;
    EXPECT_EQ(wrong(s, ReplyFault::Unit), 5u);
}

TEST_F(RtusimRun, EchoesAreCheckedWhenExpected) {
    const SimStats s = runAgainst(Flaw::None, "--frames 10,83 --expect-echo --rate 500 --count 60", true).stats;
    EXPECT_EQ(s.expectedReplies, s.frames + s.timeRequests);
    EXPECT_EQ(s.replies, s.expectedReplies);
    EXPECT_EQ(s.wrongReplies, 0u);
    EXPECT_EQ(s.missingReplies, 0u);
}

TEST_F(RtusimRun, EchoesNotAskedForAreWrong) {
    const SimStats s = runAgainst(Flaw::None, "--frames 10,83 --rate 500 --count 40", true).stats;
    EXPECT_GT(s.wrongReplies, 0u);
    EXPECT_FALSE(s.passed());
}

TEST_F(RtusimRun, ConnectionsTheServerClosesAreCountedAsDropped) {
    const SimStats s = runAgainst(Flaw::Drops, "--frames 83 --rate 200 --count 5 --reconnect-delay 0").stats;
    EXPECT_GE(s.dropped, 1u);
    EXPECT_GE(s.connects, 2u);
}

TEST_F(RtusimRun, RefusedConnectionsFailTheRun) {
    const SimStats s = run(closedPort(), "--duration 0.3 --rate 100 --reconnect-delay 50").stats;
    EXPECT_GE(s.refused, 1u);
    EXPECT_EQ(s.connects, 0u);
    EXPECT_EQ(s.sent, 0u);
    EXPECT_GT(s.skipped, 0u);
    EXPECT_FALSE(s.passed());
}

TEST_F(RtusimRun, ReconnectRateReopensBetweenReplies) {
    const SimStats s = runAgainst(Flaw::None,
                                  "--frames 83 --modbus reads --reconnect-rate 50 --rate 200 "
                                  "--count 100")
                           .stats;
    EXPECT_GT(s.reopened, 0u);
    EXPECT_EQ(s.connects, 1u + s.reopened);
    EXPECT_EQ(s.wrongReplies + s.missingReplies, 0u);
}

TEST_F(RtusimRun, ReopenDelayLeavesTheConnectionClosedForAWhile) {
    const SimStats s = runAgainst(Flaw::None,
                                  "--frames 83 --reconnect-rate 50 --reopen-delay 100 --rate 200 "
                                  "--count 100")
                           .stats;
    EXPECT_GT(s.reopened, 0u);
    EXPECT_EQ(s.connects, 1u + s.reopened);
    EXPECT_GT(s.skipped, 0u);  // slots that fell into the closed spells
    EXPECT_EQ(s.wrongReplies + s.missingReplies, 0u);
}

TEST_F(RtusimRun, ReopenAfterALateReplyWaitsTheReopenDelay) {
    // Reconnecting at once would race the server's release of the connection just closed.
    const SimStats s = runAgainst(Flaw::Silent,
                                  "--modbus 03 --rate 100 --duration 0.4 --reply-timeout 50 "
                                  "--reopen-delay 5000")
                           .stats;
    EXPECT_EQ(s.resets, 1u);
    EXPECT_EQ(s.connects, 1u);
    EXPECT_GT(s.skipped, 0u);
}

TEST_F(RtusimRun, ProgressLinesAreWrittenWhenAsked) {
    runAgainst(Flaw::None, "--frames 83 --rate 100 --count 30 --progress 0.05");
    EXPECT_NE(progress.str().find("\"sent\":"), std::string::npos);
}
