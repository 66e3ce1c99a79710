#include "server/CTimeOutChecker.h"

#include <gtest/gtest.h>

#include "tests/server/ServerFixture.h"

namespace servertest {
namespace {

struct MinimumCase {
    std::uint32_t configured;
    std::uint32_t effective;
};

class TimeOutMinimumTest : public ::testing::TestWithParam<MinimumCase> {};

TEST_P(TimeOutMinimumTest, NeverBelowFiveSeconds) {
    CTimeOutChecker<Attachment> checker(GetParam().configured, nullptr, nullptr);
    EXPECT_EQ(checker.TimeoutSeconds(), GetParam().effective);
}

INSTANTIATE_TEST_SUITE_P(Settings, TimeOutMinimumTest,
                         ::testing::Values(MinimumCase{1, 5}, MinimumCase{3, 5}, MinimumCase{5, 5}, MinimumCase{6, 6},
                                           MinimumCase{600, 600}),
                         [](const ::testing::TestParamInfo<MinimumCase>& info) {
                             return "Set" + std::to_string(info.param.configured);
                         });

std::atomic<std::uint32_t> fakeNow{0};
std::atomic<int> fakeClockReads{0};

std::uint32_t FakeClock() {
    ++fakeClockReads;
    return fakeNow.load();
}

// One record on a port nobody waits on, checked at chosen times.
class TimeOutSweepTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.inUse = 1;
        record.sequence = 7;
        checker.SetClock(FakeClock);
        fakeClockReads = 0;
    }
    bool CheckAt(std::uint32_t now) {
        fakeNow = now;
        return checker.Check(record);
    }

    Attachment record;
    CompletionPort port;
    CTimeOutChecker<Attachment> checker{5, nullptr, &port};
};

TEST_F(TimeOutSweepTest, SilentForExactlyTheTimeoutStaysOpen) {
    record.lastActive = 1000;
    EXPECT_FALSE(CheckAt(1005));
    EXPECT_EQ(record.lastActive, 1000u);
    EXPECT_EQ(port.Wait(0).error, kWaitTimeoutCode);
}

TEST_F(TimeOutSweepTest, SilentLongerGetsOneCloseRequest) {
    record.lastActive = 1000;
    EXPECT_TRUE(CheckAt(1006));
    EXPECT_EQ(record.lastActive, 0u);
    Completion request = port.Wait(0);
    ASSERT_TRUE(request.ok);
    EXPECT_EQ(request.bytes, 1u);
    EXPECT_EQ(request.key, &record);
    IoRecord* io = IoRecordOf(request.overlapped);
    EXPECT_EQ(io->code, kCloseRequest);
    EXPECT_EQ(io->sequence, 7u);
    ioRecordPool().Release(io);
    EXPECT_FALSE(CheckAt(5000));
}

TEST_F(TimeOutSweepTest, ClockSetBackCountsAsExpired) {
    record.lastActive = 2000;
    EXPECT_TRUE(CheckAt(1000));
    ioRecordPool().Release(IoRecordOf(port.Wait(0).overlapped));
}

TEST_F(TimeOutSweepTest, FreeAndUntimedRecordsAreSkipped) {
    record.lastActive = 0;
    EXPECT_FALSE(CheckAt(100000));
    record.inUse = 0;
    record.lastActive = 1;
    EXPECT_FALSE(CheckAt(100000));
}

// A worker holding the record renews lastActive in a later second than the checker began its visit.
TEST_F(TimeOutSweepTest, ActivityRenewedWhileTheCheckerWaitsIsNotExpired) {
    record.lastActive = 1000;
    fakeNow = 1000;
    std::atomic<bool> posted{false};
    std::thread sweep;
    {
        std::lock_guard guard(record.lock);
        sweep = std::thread([&] { posted = checker.Check(record); });
        WaitUntil([&] { return fakeClockReads.load() > 0; }, 200ms);
        fakeNow = 1001;
        record.lastActive = 1001;
    }
    sweep.join();
    EXPECT_FALSE(posted.load());
    EXPECT_EQ(record.lastActive, 1001u);
}

TEST_F(ServerTest, CheckerClosesALongSilentConnection) {
    StartServer(600);
    int quiet = Connect();
    int busy = Connect();
    Attachment* record = RecordOf(quiet);
    ASSERT_NE(record, nullptr);
    int socket = record->socket;
    record->lastActive = NowSeconds() - 601 - 60;
    ASSERT_TRUE(WaitUntil([&] { return traces.Count("CloseSocket request " + std::to_string(socket) + ".\n") == 1; }));
    EXPECT_TRUE(loopback::PeerClosed(quiet, kGenerousMs));
    EXPECT_NE(RecordOf(busy), nullptr);
}

// A configured 3 seconds acts as 5: the close comes only after more than 5 whole seconds of silence.
TEST_F(ServerTest, ShortTimeoutClosesAfterMoreThanFiveSeconds) {
    StartServer(3);
    auto start = std::chrono::steady_clock::now();
    int quiet = Connect();
    ASSERT_TRUE(WaitUntil([&] { return server->Table().FreeCount() == kConnectionRecords; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(loopback::PeerClosed(quiet, kGenerousMs));
}

}  // namespace
}  // namespace servertest
