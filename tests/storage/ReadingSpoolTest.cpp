// The spool file on its own: durable across reopening, in arrival order, shared commits that lose
// nothing, bounded.
#include "storage/ReadingSpool.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <thread>

#include "storage/EventLog.h"
#include "storage/SpoolFileSystem.h"
#include "storage/TransientFailure.h"
#include "storage/sql/SQLException.h"
#include "tests/support/ReadFile.h"
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
    void SetUp() override {
        ProcessEventLog().Close();
        ProcessEventLog().Open((directory.Path() / "Log.txt").c_str());
    }
    void TearDown() override {
        spool_files::SimulateFullDisk(false);
        ProcessEventLog().Close();
    }

    std::filesystem::path SpoolPath() const { return directory.Path() / "spool.db"; }

    // The event log's lines, without their time prefixes.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(directory.Path() / "Log.txt"));
        for (std::string line; std::getline(text, line);) lines.push_back(line.size() > 21 ? line.substr(21) : line);
        return lines;
    }

    // Spool files kept aside: "spool.db.damaged-..." and the like.
    std::vector<std::string> KeptAside() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory.Path()))
            if (const std::string name = entry.path().filename().string();
                name.rfind("spool.db.", 0) == 0 && name != "spool.db.lock" && !name.ends_with("-shm"))
                names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }

    // Channel numbers of the readings held, oldest first.
    std::vector<int> Numbers(ReadingSpool& spool) {
        std::vector<int> numbers;
        for (const SpooledReading& spooled : All(spool)) numbers.push_back(spooled.reading.channelNumber);
        return numbers;
    }

    // A spool of `count` readings (one commit), closed.
    void Filled(int count) {
        ReadingSpool spool;
        ASSERT_TRUE(Open(spool));
        std::deque<ReadingSpool::Append> appends;
        for (int i = 0; i < count; ++i) spool.Enqueue(appends.emplace_back(Reading(1, i)));
        for (ReadingSpool::Append& append : appends)
            ASSERT_EQ(spool.WaitDurable(append), ReadingSpool::AppendResult::Held);
    }

    bool Open(ReadingSpool& spool, std::int64_t limitBytes = 1 << 20, std::int64_t memoryBytes = 0) {
        std::string message;
        return spool.Open(SpoolPath(), {limitBytes, memoryBytes}, message) == ReadingSpool::OpenResult::Opened;
    }

    std::vector<SpooledReading> All(ReadingSpool& spool) {
        std::string error;
        std::vector<SpooledReading> readings = spool.Oldest(100000, 0, error);
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
        std::string message;
        EXPECT_EQ(second.Open(directory.Path() / "spool.db", {1 << 20, 0}, message),
                  ReadingSpool::OpenResult::HeldElsewhere);
        EXPECT_EQ(message, "spool " + (directory.Path() / "spool.db").string() +
                               " is held by another Telvorn process (pid " + std::to_string(getpid()) + ")");
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
    constexpr std::int64_t kLimit = 64 * 1024;
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

// The file full to its bound, then the disk full: readings go to memory after those of the file,
// are refused only once memory is full too (saying which), and reach the file in order once it
// has room again.
TEST_F(ReadingSpoolTest, ReadingsTheFileCannotTakeWaitInMemoryInOrder) {
    struct Case {
        const char* name;
        std::int64_t fileBytes;
        bool diskFull;
        const char* cause;
    };
    for (const Case& c :
         {Case{"bound", 64 * 1024, false, "file full (64 KiB)"}, Case{"disk", 1 << 20, true, "disk full"}}) {
        SCOPED_TRACE(c.name);
        const TempDirectory place;
        ReadingSpool spool;
        std::string message;
        ASSERT_EQ(spool.Open(place.Path() / "spool.db", {c.fileBytes, 8 * 1024}, message),
                  ReadingSpool::OpenResult::Opened);
        ASSERT_EQ(Append(spool, Reading(1, 0)), ReadingSpool::AppendResult::Held);
        spool_files::SimulateFullDisk(c.diskFull);
        int sent = 1;
        ReadingSpool::Append refused(Reading(1, 0));
        for (; sent < 100000; ++sent) {
            ReadingSpool::Append append(Reading(1, sent));
            spool.Enqueue(append);
            if (spool.WaitDurable(append) == ReadingSpool::AppendResult::Refused) {
                refused = append;
                break;
            }
        }
        ASSERT_LT(sent, 100000);
        EXPECT_GT(spool.MemoryHeld(), 0);
        EXPECT_EQ(spool.Held(), sent);
        EXPECT_EQ(refused.why, std::string(c.cause) + " and memory full (8 KiB)");
        EXPECT_EQ(spool.Trouble(), c.cause);

        spool_files::SimulateFullDisk(false);
        std::vector<std::int64_t> first;
        for (const SpooledReading& spooled : All(spool))
            if (first.size() < 20) first.push_back(spooled.sequence);
        ASSERT_TRUE(spool.Remove(first));
        spool.Settle();
        std::vector<int> expected;
        for (int i = 20; i < sent; ++i) expected.push_back(i);
        if (c.diskFull) {
            EXPECT_EQ(spool.MemoryHeld(), 0);
            EXPECT_EQ(spool.Trouble(), "");
        }
        EXPECT_EQ(Numbers(spool), expected);
    }
}

// A damaged page, the tables' root or a page of readings: the file is kept aside with a line saying
// where, and what can still be read from it is held again; nothing is treated as empty or deleted.
class DamagedSpoolTest : public ReadingSpoolTest, public ::testing::WithParamInterface<int> {};

TEST_P(DamagedSpoolTest, IsKeptAsideAndWhatCanBeReadIsHeld) {
    Filled(600);
    {
        std::fstream file(SpoolPath(), std::ios::in | std::ios::out | std::ios::binary);
        std::minstd_rand random(7);
        file.seekp((GetParam() - 1) * 4096);
        for (int i = 0; i < 3000; ++i) file.put(static_cast<char>(random()));
    }
    ReadingSpool spool;
    ASSERT_TRUE(Open(spool));
    const std::vector<std::string> aside = KeptAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].rfind("spool.db.damaged-", 0), 0u);
    EXPECT_GT(spool.Held(), 500);
    EXPECT_LE(spool.Held(), 600);
    const std::vector<int> numbers = Numbers(spool);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("is damaged ("), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("kept aside as " + (directory.Path() / aside[0]).string() + ", " +
                            std::to_string(spool.Held()) + " readings read from it are forwarded"),
              std::string::npos)
        << lines[0];
}

// Page 3 is the root of the readings' table, page 6 one of its leaves.
INSTANTIATE_TEST_SUITE_P(Pages, DamagedSpoolTest, ::testing::Values(3, 6),
                         [](const ::testing::TestParamInfo<int>& info) { return "page" + std::to_string(info.param); });

// What a crash leaves, the file then moved away: a log holding the readings written since the last
// checkpoint (not the file's first page): they are read from it, oldest first.
TEST_F(ReadingSpoolTest, LogWhoseFileHasGoneIsKeptAsideAndRead) {
    const std::filesystem::path log = SpoolPath().string() + "-wal";
    const std::filesystem::path copy = directory.Path() / "copy-wal";
    {
        ReadingSpool spool;
        ASSERT_TRUE(Open(spool));
        for (int i = 0; i < 200; ++i) ASSERT_EQ(Append(spool, Reading(1, i)), ReadingSpool::AppendResult::Held);
        spool.Shrink();
        for (int i = 200; i < 205; ++i) ASSERT_EQ(Append(spool, Reading(1, i)), ReadingSpool::AppendResult::Held);
        std::filesystem::copy_file(log, copy);
    }
    std::filesystem::remove(SpoolPath());
    std::filesystem::rename(copy, log);

    ReadingSpool spool;
    ASSERT_TRUE(Open(spool));
    const std::vector<int> numbers = Numbers(spool);
    ASSERT_GE(numbers.size(), 5u);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::vector<int>(numbers.end() - 5, numbers.end()), (std::vector<int>{200, 201, 202, 203, 204}));
    const std::vector<std::string> aside = KeptAside();
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_EQ(aside[1], aside[0] + "-wal");
    EXPECT_EQ(aside[0].rfind("spool.db.orphan-", 0), 0u);
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"Spool " + SpoolPath().string() + " had lost its file; its log kept aside as " +
                                       (directory.Path() / aside[1]).string() + ", " + std::to_string(numbers.size()) +
                                       " readings read from it are forwarded"});
}

struct FailureCase {
    const char* sqlState;
    int nativeError;
    const char* message;
    bool transient;
};

class TransientFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TransientFailureTest, ClassifiedBySqlStateAlone) {
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
                      FailureCase{"58030", 266, "disk I/O error", true},
                      FailureCase{"55P03", 0, "could not obtain lock", true},
                      FailureCase{"HY000", 0, "could not extend file (SQLSTATE 53100)", true},
                      FailureCase{"HY000", 0, "division by zero (SQLSTATE 22012)", false},
                      FailureCase{"42S02", 0, "no such table", false}, FailureCase{"42000", 1, "syntax error", false},
                      FailureCase{"23000", 1555, "UNIQUE constraint failed", false},
                      FailureCase{"22001", 0, "statement too long", false},
                      FailureCase{"HY000", 0, "database file removed or replaced", false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        return std::string(info.param.sqlState) + "_" + std::to_string(info.param.nativeError) +
               (info.param.transient ? "_transient_" : "_lasting_") + std::to_string(info.index);
    });

}  // namespace
