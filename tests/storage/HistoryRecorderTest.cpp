#include "tests/storage/StorageFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "storage/HistoryRecorder.h"
#include "storage/RecordId.h"
#include "storage/Schema.h"
#include "tests/support/WaitUntil.h"

namespace {

const char* const kTime = "20140411123000";

// A connected database with both fixed tables and the channel tables of unit 12.
class HistoryRecorderFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        Exec(RtuTableCreation());
        Exec(kFullRcdsCreation);
        CreateChannelTables(db, "12");
    }

    // The FULLRCDS row of the one reading stored: UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME.
    std::vector<std::string> FullRcdsRow() {
        const Rows rows = Query("SELECT UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME FROM FULLRCDS", 6);
        EXPECT_EQ(rows.size(), 1u);
        return rows.empty() ? std::vector<std::string>{} : rows[0];
    }

    CHistoryRecorder recorder{&db};
};

using HistoryRecorderTest = OnEachEngine<HistoryRecorderFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, HistoryRecorderTest, EachEngine(), EngineName);

TEST_P(HistoryRecorderTest, DigitalInputGoesToItsChannelTableAndFullRcds) {
    recorder.WriteChannelInt(12, "DIN", 3, 1, kTime, 1);

    EXPECT_EQ(Query("SELECT RVALUE, RTIME, RTYPE FROM 12_DIN3", 3), (Rows{{"1", kTime, "1"}}));
    EXPECT_EQ(FullRcdsRow(), (std::vector<std::string>{"12", "DIN3", "1.00", "1", "", kTime}));
    EXPECT_TRUE(LogLines().empty());
}

TEST_P(HistoryRecorderTest, ChannelWithoutNumberIsStoredWithMinusOneInFullRcds) {
    recorder.WriteChannelInt(12, "BATT", -1, 1, kTime, 0);

    EXPECT_EQ(Query("SELECT RVALUE, RTYPE FROM 12_BATT", 2), (Rows{{"1", "0"}}));
    EXPECT_EQ(FullRcdsRow().at(1), "BATT-1");
}

TEST_P(HistoryRecorderTest, OnlyTheLowByteOfAnIntegerIsStored) {
    recorder.WriteChannelInt(12, "SIGNAL", -1, 256 + 24, kTime, 0);
    EXPECT_EQ(Column("SELECT RVALUE FROM 12_SIGNAL"), std::vector<std::string>{"24"});
}

TEST_P(HistoryRecorderTest, FullRcdsValuePassesThroughSinglePrecision) {
    recorder.WriteChannelFloat(12, "AIN", 1, 1234567.891, kTime, 0);

    EXPECT_EQ(Column("SELECT RVALUE FROM 12_AIN1"), std::vector<std::string>{"1234567.89"});
    EXPECT_EQ(FullRcdsRow().at(2), "1234567.88");
}

TEST_P(HistoryRecorderTest, LocalTimeIsTheServerStamp) {
    recorder.WriteChannelFloat(12, "ITEMP", -1, 21.5, kTime, 0);
    const std::string stamp = Column("SELECT LTIME FROM 12_ITEMP").at(0);
    EXPECT_EQ(stamp.size(), 19u);
    EXPECT_EQ(Column("SELECT LTIME FROM FULLRCDS").at(0).substr(0, 10), stamp.substr(0, 10));
}

TEST_P(HistoryRecorderTest, RtuWithoutTablesKeepsItsFullRcdsRowAndLogsTheChannelWithTheReason) {
    recorder.WriteChannelFloat(99, "AIN", 1, 2.5, kTime, 0);

    EXPECT_EQ(FullRcdsRow().at(0), "99");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Write Data To 99_AIN Channel 1 fail: SQLSTATE 42S02, [Telvorn RTUDB] ", 0), 0u)
        << lines[0];
}

TEST_P(HistoryRecorderTest, ClosedDatabaseLogsBothRowsOfEveryReading) {
    CHistoryRecorder closed(nullptr);
    closed.WriteChannelInt(12, "BATT", -1, 1, kTime, 0);

    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"Write Data To 12_BATT Channel -1 fail", "Write Data To FullRcds Table fail"}));
    EXPECT_EQ(Count("FULLRCDS"), 0);
}

TEST_P(HistoryRecorderTest, QuoteInTimeTextIsStoredIntact) {
    const std::string time = "'04 12:00'; DROP TABLE FULLRCDS";  // 31 characters, the most a time has
    recorder.WriteChannelFloat(12, "AIN", 0, 1.0, time.c_str(), 0);

    EXPECT_EQ(Column("SELECT RTIME FROM 12_AIN0"), std::vector<std::string>{time});
    EXPECT_EQ(FullRcdsRow().at(5), time);
}

TEST_P(HistoryRecorderTest, ReadingsWithinOneTickAreAllStored) {
    for (int i = 0; i < 50; ++i) recorder.WriteChannelFloat(12, "MBUSREG", 5, i, kTime, 0);

    EXPECT_EQ(Count("12_MBUSREG5"), 50);
    EXPECT_EQ(Count("FULLRCDS"), 50);
    EXPECT_TRUE(LogLines().empty());
}

TEST_P(HistoryRecorderTest, RowsOfAnEarlierRunDoNotRefuseNewReadings) {
    // Keys an earlier run left exactly where this run's next RIDs fall.
    const std::int32_t next = NextRecordId();
    for (int i = 1; i <= 200; ++i) Exec("INSERT INTO FULLRCDS(RID) VALUES (" + std::to_string(next + i) + ")");
    Exec("INSERT INTO 12_AIN2(RID) VALUES (" + std::to_string(next + 1) + ")");
    Exec("INSERT INTO 12_AIN2(RID) VALUES (" + std::to_string(next + 2) + ")");

    recorder.WriteChannelFloat(12, "AIN", 2, 3.5, kTime, 0);
    recorder.WriteChannelFloat(12, "AIN", 2, 4.5, kTime, 0);

    EXPECT_EQ(Count("12_AIN2 WHERE RVALUE > 3"), 2);
    EXPECT_EQ(Count("FULLRCDS WHERE UID = '12'"), 2);
    EXPECT_TRUE(LogLines().empty());
}

TEST_P(HistoryRecorderTest, ConcurrentWritersLoseNoReading) {
    constexpr int kThreads = 4;
    constexpr int kReadings = 25;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < kReadings; ++i) recorder.WriteChannelFloat(12, "ETEMP", t, i, kTime, 0);
        });
    }
    for (std::thread& worker : workers) worker.join();

    EXPECT_EQ(Count("FULLRCDS"), kThreads * kReadings);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(Count("12_ETEMP" + std::to_string(t)), kReadings);
}

// A second server writing into the same database: its own connection, no share in this process's
// mutex, and RIDs from the same millisecond clock, so its keys keep taking the ones this process
// is about to use. Every reading of this process must still be stored once.
TEST_P(HistoryRecorderTest, AnotherServerWritingTheSameTablesAtOnceLosesNoReading) {
    constexpr int kReadings = 300;
    CSQLDatabase other;
    ASSERT_TRUE(other.Connect(OdbcTestEnvironment::kDataSource, User(), Password()));
    std::atomic<bool> done{false};
    std::atomic<int> written{0};
    std::thread server([&] {
        std::uint32_t last = TickCount() - 1;
        while (!done) {
            last = NextRecordId(TickCount(), last);
            try {
                if (other.Execute("INSERT INTO FULLRCDS(RID, UID) VALUES (" +
                                  std::to_string(static_cast<std::int32_t>(last)) + ", '99')"))
                    ++written;
            } catch (const CSQLException&) {
                // Its own refused keys are that server's business.
            }
            // SQLite has one write lock: an INSERT loop without a pause can win it at every retry
            // of this process's busy wait, on a loaded machine for the whole seven seconds.
            if (Engine() == TestEngine::Sqlite) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    WaitUntil([&] { return written > 0; }, std::chrono::seconds(5));
    for (int i = 0; i < kReadings; ++i) recorder.WriteChannelFloat(12, "AIN", 1, i, kTime, 0);
    done = true;
    server.join();
    other.Close();

    EXPECT_EQ(Count("FULLRCDS WHERE UID = '12'"), kReadings);
    EXPECT_GT(written, 0);
    const std::vector<std::string> lines = LogLines();
    EXPECT_TRUE(lines.empty()) << lines.size() << " lines, the first: " << lines.at(0);
}

struct RecordIdCase {
    std::uint32_t tick;
    std::uint32_t last;
    std::uint32_t next;
};

class RecordIdTest : public ::testing::TestWithParam<RecordIdCase> {};

TEST_P(RecordIdTest, NextIsTheTickWhenLaterElseLastPlusOne) {
    EXPECT_EQ(NextRecordId(GetParam().tick, GetParam().last), GetParam().next);
}

INSTANTIATE_TEST_SUITE_P(Ticks, RecordIdTest,
                         ::testing::Values(RecordIdCase{100, 50, 100}, RecordIdCase{100, 100, 101},
                                           RecordIdCase{100, 200, 201}, RecordIdCase{5, 0xfffffff0u, 5},
                                           RecordIdCase{0xfffffff0u, 5, 6}, RecordIdCase{0, 0xffffffffu, 0},
                                           RecordIdCase{0x80000000u, 0x7fffffffu, 0x80000000u}));

TEST(RecordIdConcurrency, ThreadsNeverShareAnId) {
    constexpr int kThreads = 4;
    constexpr int kIds = 5000;
    std::vector<std::vector<std::int32_t>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&ids, t] {
            for (int i = 0; i < kIds; ++i) ids[t].push_back(NextRecordId());
        });
    for (std::thread& thread : threads) thread.join();
    std::vector<std::int32_t> all;
    for (const auto& some : ids) all.insert(all.end(), some.begin(), some.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

}  // namespace
