#include "tests/storage/StorageFixture.h"

#include <future>

#include "storage/HistoryReadConnection.h"
#include "storage/Schema.h"
#include "storage/sql/DatabaseMutex.h"
#include "tests/support/WaitUntil.h"

namespace {

// Runs without end and returns no row, on either engine, until it is cancelled.
constexpr const char* kEndlessQuery =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT x, x, 'a', 'b', 0 FROM n WHERE x < 0";

class HistoryReadFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        CreateChannelTables(db, "12");
        for (int rid = 1; rid <= 3; ++rid)
            Exec("INSERT INTO 12_AIN3(RID, RVALUE, RTIME, LTIME, RTYPE) VALUES (" + std::to_string(rid) +
                 ", 1, 't', 't', 0)");
    }

    HistoryReadConnection reader{db};
};

using HistoryReadConnectionTest = OnEachEngine<HistoryReadFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, HistoryReadConnectionTest, EachEngine(), EngineName);

// A writer holding the program's connection, as a long write or a stalled database does, holds no
// history read up.
TEST_P(HistoryReadConnectionTest, ReadsWhileTheWritersHoldTheirLock) {
    std::promise<void> release;
    std::promise<void> held;
    std::thread writer([&] {
        std::lock_guard lock(DatabaseMutex);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    auto read = std::async(std::launch::async, [&] {
        long long count = 0;
        std::vector<HistoryRow> rows;
        const bool done = reader.StartQuery() == HistoryReadEnd::kDone &&
                          reader.Count("SELECT * FROM 12_AIN3", count) == HistoryReadEnd::kDone &&
                          reader.Read("SELECT * FROM 12_AIN3", rows) == HistoryReadEnd::kDone;
        return done && count == 3 && rows.size() == 3;
    });
    const bool finished =
        WaitUntil([&] { return read.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    release.set_value();
    writer.join();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(read.get());
}

TEST_P(HistoryReadConnectionTest, StatementPastTheBudgetIsCancelledAndTheNextQueryRuns) {
    WriteFile("data_rtu.ini", DatabaseSettings() + "QUERYSECONDS=1\n");
    std::vector<HistoryRow> rows;
    ASSERT_EQ(reader.StartQuery(), HistoryReadEnd::kDone);
    EXPECT_EQ(reader.BudgetSeconds(), 1u);
    EXPECT_EQ(reader.Read(kEndlessQuery, rows), HistoryReadEnd::kTimedOut);

    ASSERT_EQ(reader.StartQuery(), HistoryReadEnd::kDone);
    EXPECT_EQ(reader.Read("SELECT * FROM 12_AIN3", rows), HistoryReadEnd::kDone);
    EXPECT_EQ(rows.size(), 3u);
}

TEST_P(HistoryReadConnectionTest, FollowsTheWritersDatabase) {
    long long count = 0;
    ASSERT_EQ(reader.StartQuery(), HistoryReadEnd::kDone);
    EXPECT_EQ(reader.Count("SELECT * FROM 12_NOSUCH", count), HistoryReadEnd::kFailed);
    db.Close();
    EXPECT_EQ(reader.StartQuery(), HistoryReadEnd::kNoDatabase);
    EXPECT_EQ(reader.Count("SELECT * FROM 12_AIN3", count), HistoryReadEnd::kNoDatabase);
}

}  // namespace
