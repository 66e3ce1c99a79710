// The spool file on its own: durable across reopening, in arrival order, shared commits that lose
// nothing, bounded.
#include "storage/ReadingSpool.h"

#include <gtest/gtest.h>

#include <thread>

#include "storage/TransientFailure.h"
#include "storage/sql/SQLException.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

SpooledReading Reading(int unit, int number, const std::string& rtuTime = "20261207120000") {
    SpooledReading spooled;
    spooled.arrivedAt = 1800000000 + number;
    spooled.reading =
        HistoryReading{unit, "AIN", number, std::to_string(number) + ".50", number + 0.5f, rtuTime, 1, ""};
    spooled.channel.localTime = spooled.fullRcds.localTime = "2026-12-07 12:00:00";
    return spooled;
}

ReadingSpool::AppendResult Append(ReadingSpool& spool, const SpooledReading& reading) {
    ReadingSpool::Append append(reading);
    spool.Enqueue(append);
    return spool.WaitDurable(append);
}

class ReadingSpoolTest : public ::testing::Test {
protected:
    bool Open(ReadingSpool& spool, std::int64_t limitBytes = 1 << 20) {
        std::string error;
        return spool.Open(directory.Path() / "spool.db", limitBytes, error);
    }

    std::vector<SpooledReading> All(ReadingSpool& spool) {
        std::string error;
        std::vector<SpooledReading> readings = spool.Oldest(100000, error);
        EXPECT_EQ(error, "");
        return readings;
    }

    TempDirectory directory;
};

TEST_F(ReadingSpoolTest, ReadingsSurviveReopeningOldestFirstWithEveryByte) {
    SpooledReading odd = Reading(12, 2, "'\xff\xc3 12:00'");
    odd.channel = {false, std::nullopt, "2026-12-07 12:00:01"};
    odd.fullRcds.rid = -123456;
    {
        ReadingSpool spool;
        ASSERT_TRUE(Open(spool));
        ASSERT_EQ(Append(spool, Reading(12, 1)), ReadingSpool::AppendResult::Held);
        ASSERT_EQ(Append(spool, odd), ReadingSpool::AppendResult::Held);
        ASSERT_EQ(Append(spool, Reading(12, 3)), ReadingSpool::AppendResult::Held);
        ReadingSpool second;
        EXPECT_FALSE(Open(second)) << "one process at a time";
    }
    ReadingSpool spool;
    ASSERT_TRUE(Open(spool));
    EXPECT_EQ(spool.Held(), 3);
    EXPECT_EQ(spool.OldestArrival(), 1800000001);
    std::vector<SpooledReading> readings = All(spool);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(readings[0].reading.channelNumber, 1);
    const SpooledReading& back = readings[1];
    EXPECT_EQ(back.reading.rtuTime, odd.reading.rtuTime);
    EXPECT_EQ(back.reading.valueText, "2.50");
    EXPECT_EQ(back.reading.fullValue, 2.5f);
    EXPECT_FALSE(back.channel.pending);
    EXPECT_EQ(back.channel.localTime, "2026-12-07 12:00:01");
    EXPECT_TRUE(back.fullRcds.pending);
    EXPECT_EQ(back.fullRcds.rid, -123456);

    ASSERT_TRUE(spool.Remove({readings[0].sequence}));
    EXPECT_EQ(spool.Held(), 2);
    EXPECT_EQ(spool.OldestArrival(), 1800000002);
    EXPECT_EQ(All(spool).front().reading.channelNumber, 2);
}

TEST_F(ReadingSpoolTest, ConcurrentAppendsLoseNoneAndKeepEachWritersOrder) {
    constexpr int kWriters = 8;
    constexpr int kEach = 100;
    ReadingSpool spool;
    ASSERT_TRUE(Open(spool));
    std::vector<std::thread> writers;
    for (int unit = 0; unit < kWriters; ++unit)
        writers.emplace_back([&spool, unit] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_EQ(Append(spool, Reading(unit, i)), ReadingSpool::AppendResult::Held);
        });
    for (std::thread& writer : writers) writer.join();

    EXPECT_EQ(spool.Held(), kWriters * kEach);
    std::vector<int> next(kWriters, 0);
    for (const SpooledReading& spooled : All(spool))
        EXPECT_EQ(spooled.reading.channelNumber, next[spooled.reading.unitId]++) << "unit " << spooled.reading.unitId;
    EXPECT_EQ(next, std::vector<int>(kWriters, kEach));
}

TEST_F(ReadingSpoolTest, FullSpoolRefusesUntilRoomIsMade) {
    constexpr std::int64_t kLimit = 32 * 1024;
    ReadingSpool spool;
    ASSERT_TRUE(Open(spool, kLimit));
    int held = 0;
    while (held < 10000 && Append(spool, Reading(1, held)) == ReadingSpool::AppendResult::Held) ++held;
    EXPECT_GT(held, 0);
    EXPECT_LT(held, 10000);
    EXPECT_EQ(spool.Held(), held);
    EXPECT_LE(spool.Bytes(), kLimit);

    std::vector<std::int64_t> oldest;
    for (const SpooledReading& spooled : All(spool)) oldest.push_back(spooled.sequence);
    oldest.resize(oldest.size() / 2);
    ASSERT_TRUE(spool.Remove(oldest));
    EXPECT_EQ(Append(spool, Reading(1, held)), ReadingSpool::AppendResult::Held);
}

struct FailureCase {
    const char* sqlState;
    int nativeError;
    const char* message;
    bool transient;
};

class TransientFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TransientFailureTest, ClassifiedBySqlStateAndEngineCode) {
    CSQLException error;
    error.sqlState = GetParam().sqlState;
    error.nativeError = static_cast<std::int16_t>(GetParam().nativeError);
    error.message = GetParam().message;
    EXPECT_EQ(IsTransientFailure(error), GetParam().transient);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TransientFailureTest,
    ::testing::Values(FailureCase{"08S01", 0, "connection lost", true}, FailureCase{"08001", 0, "refused", true},
                      FailureCase{"HYT00", 0, "no answer within 7 s", true}, FailureCase{"57P01", 0, "shutdown", true},
                      FailureCase{"53100", 0, "disk full", true}, FailureCase{"40001", 0, "serialization", true},
                      FailureCase{"HY000", 5, "database is locked", true},
                      FailureCase{"HY000", 517, "database is locked (snapshot)", true},
                      FailureCase{"HY000", 13, "database or disk is full", true},
                      FailureCase{"HY000", 0, "could not extend file: No space left on device", true},
                      FailureCase{"42S02", 0, "no such table", false}, FailureCase{"42000", 1, "syntax error", false},
                      FailureCase{"23000", 1555, "UNIQUE constraint failed", false},
                      FailureCase{"22001", 0, "statement too long", false},
                      FailureCase{"HY000", 0, "database file removed or replaced", false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        return std::string(info.param.sqlState) + "_" + std::to_string(info.param.nativeError) +
               (info.param.transient ? "_transient" : "_lasting");
    });

}  // namespace
