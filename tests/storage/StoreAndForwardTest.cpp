// The recorder with its spool on a real database of each engine: an outage goes to the spool with
// one log line and is forwarded once the database answers; rows an earlier attempt may have
// committed are recognised by their RIDs, not stored twice.
#include "tests/storage/StorageFixture.h"

#include <sqlext.h>
#include <sqlite3.h>

#include "storage/HistoryRecorder.h"
#include "storage/RecordId.h"
#include "storage/Schema.h"
#include "tests/support/WaitUntil.h"

namespace {

const char* const kTime = "20140411123000";

class StoreAndForwardFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        // A one-second busy wait (SQLite) and time-out: the outage shows at once.
        SQLSetConnectAttr(db.dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
        Connect();
        Exec(kFullRcdsCreation);
        CreateChannelTables(db, "12");
    }

    void TearDown() override {
        recorder.reset();
        if (holder_ != nullptr) sqlite3_close(holder_);
        StorageTest::TearDown();
    }

    std::filesystem::path SpoolFile() const { return home_ / "spool.db"; }

    void OpenRecorder() {
        recorder = std::make_unique<CHistoryRecorder>(&db);
        ASSERT_TRUE(recorder->OpenSpool(SpoolFile(), 1 << 20));
    }

    // PostgreSQL stops; another connection holds SQLite's write lock.
    void TakeDatabaseAway() {
        if (OnPostgres()) {
            ASSERT_TRUE(PostgresCluster::Instance().Stop());
            return;
        }
        ASSERT_EQ(sqlite3_open(DatabaseFile().c_str(), &holder_), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    void BringDatabaseBack() {
        if (OnPostgres()) {
            ASSERT_TRUE(PostgresCluster::Instance().Start());
            return;
        }
        sqlite3_exec(holder_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(holder_);
        holder_ = nullptr;
    }

    bool WaitUntilForwarded() {
        return WaitUntil([this] {
            const SpoolFigures figures = recorder->Figures();
            return !figures.databaseAway && figures.readingsHeld == 0;
        });
    }

    // The test's own connection met the outage too: its first statement afterwards may fail.
    std::vector<std::string> ColumnAfterOutage(const std::string& select) {
        try {
            return Column(select);
        } catch (const CSQLException&) {
            return Column(select);
        }
    }

    std::unique_ptr<CHistoryRecorder> recorder;

private:
    sqlite3* holder_ = nullptr;
};

using StoreAndForwardTest = OnEachEngine<StoreAndForwardFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, StoreAndForwardTest, EachEngine(), EngineName);

TEST_P(StoreAndForwardTest, OutageGoesToTheSpoolWithOneLineAndIsForwardedInOrder) {
    OpenRecorder();
    recorder->WriteChannelFloat(12, "AIN", 1, 1.0, kTime, 0);
    TakeDatabaseAway();
    for (int i = 2; i <= 4; ++i) recorder->WriteChannelFloat(12, "AIN", 1, i, kTime, 0);

    const SpoolFigures away = recorder->Figures();
    EXPECT_TRUE(away.spoolOpen);
    EXPECT_TRUE(away.databaseAway);
    EXPECT_EQ(away.readingsHeld, 3);
    EXPECT_GT(away.bytes, 0);
    EXPECT_EQ(away.forwarded, 0);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_EQ(lines[0].rfind("Database not answering; readings go to the spool until it does: SQLSTATE ", 0), 0u);

    BringDatabaseBack();
    ASSERT_TRUE(WaitUntilForwarded());
    recorder->WriteChannelFloat(12, "AIN", 1, 5.0, kTime, 0);
    EXPECT_EQ(recorder->Figures().forwarded, 3);
    EXPECT_EQ(ColumnAfterOutage("SELECT RVALUE FROM FULLRCDS ORDER BY RID"),
              (std::vector<std::string>{"1.00", "2.00", "3.00", "4.00", "5.00"}));
    EXPECT_EQ(Count("12_AIN1"), 5);
    EXPECT_EQ(LogLines().size(), 3u);
    EXPECT_EQ(LogLines().at(1), "Database answering; forwarding 3 spooled readings");
    EXPECT_EQ(LogLines().at(2), "Forwarding done: 3 readings forwarded");
}

// What a time-out after the commit, or a crash between the commit and the spool's removal, leaves:
// readings in the spool whose rows may already be stored under the RIDs noted for them.
TEST_P(StoreAndForwardTest, RowsAlreadyStoredUnderTheirRidsAreNotStoredTwice) {
    const std::string ltime = "2026-12-07 12:00:00";
    const std::int32_t committed = NextRecordId();
    const std::int32_t othersRow = NextRecordId();
    Exec("INSERT INTO 12_AIN1(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (" + std::to_string(committed) + ", 1.00, '" +
         ltime + "', '" + kTime + "', 0)");
    Exec("INSERT INTO FULLRCDS(RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME, LTIME) VALUES (" +
         std::to_string(committed) + ", '12', 'AIN1', '1.00', 0, '', '" + kTime + "', '" + ltime + "')");
    Exec("INSERT INTO 12_AIN1(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (" + std::to_string(othersRow) +
         ", 9.00, '2026-12-07 11:00:00', '" + kTime + "', 0)");
    {
        ReadingSpool spool;
        std::string error;
        ASSERT_TRUE(spool.Open(SpoolFile(), 1 << 20, error)) << error;
        for (int value = 1; value <= 3; ++value) {
            SpooledReading spooled;
            spooled.reading =
                HistoryReading{12, "AIN", 1, std::to_string(value) + ".00", static_cast<float>(value), kTime, 0, ""};
            spooled.channel.localTime = spooled.fullRcds.localTime = ltime;
            if (value == 1) spooled.channel.rid = spooled.fullRcds.rid = committed;  // stored, not yet removed
            if (value == 2) spooled.channel.rid = othersRow;  // tried; the row under it is another's
            ReadingSpool::Append append(spooled);
            spool.Enqueue(append);
            ASSERT_EQ(spool.WaitDurable(append), ReadingSpool::AppendResult::Held);
        }
    }
    OpenRecorder();
    ASSERT_TRUE(WaitUntilForwarded());

    EXPECT_EQ(Column("SELECT RVALUE FROM FULLRCDS ORDER BY RVALUE"),
              (std::vector<std::string>{"1.00", "2.00", "3.00"}));
    EXPECT_EQ(Count("12_AIN1"), 4);
    EXPECT_EQ(Count("12_AIN1 WHERE RVALUE < 4"), 3);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(" holds 3 readings of an earlier run"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[2], "Forwarding done: 3 readings forwarded");
}

}  // namespace
