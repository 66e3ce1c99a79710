// The recorder with its spool on a real database of each engine: an outage goes to the spool with
// one log line and is forwarded once the database answers; rows an earlier attempt may have
// committed are recognised by their RIDs, not stored twice.
#include "tests/storage/StorageFixture.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>

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

    void OpenRecorder(SpoolLimits limits = {1 << 20, 1 << 20}) {
        recorder = std::make_unique<CHistoryRecorder>(&db);
        std::string message;
        ASSERT_EQ(recorder->OpenSpool(SpoolFile(), limits, message), ReadingSpool::OpenResult::Opened);
    }

    int LogCount(const std::string& text) {
        const std::vector<std::string> lines = LogLines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& line) { return line.find(text) != line.npos; }));
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
        ASSERT_EQ(spool.Open(SpoolFile(), {1 << 20, 0}, error), ReadingSpool::OpenResult::Opened) << error;
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

// Full to its bound and its memory while the database is away: the forwarder still plans and
// notes its RIDs (the bound keeps room for that), every reading is forwarded or refused and
// counted, and readings after the outage are stored directly.
TEST_P(StoreAndForwardTest, SpoolFullToItsBoundIsForwardedOnceTheDatabaseIsBack) {
    OpenRecorder({64 * 1024, 8 * 1024});
    TakeDatabaseAway();
    int sent = 0;
    while (recorder->Figures().refused < 20) recorder->WriteChannelFloat(12, "AIN", 1, ++sent, kTime, 0);
    const SpoolFigures full = recorder->Figures();
    EXPECT_TRUE(full.refusing);
    EXPECT_EQ(full.refusedWhy, "file full (64 KiB) and memory full (8 KiB)");
    EXPECT_EQ(LogCount("; new readings are refused until forwarding makes room"), 1);
    EXPECT_EQ(LogCount("file full (64 KiB); readings are held in memory, up to 8 KiB, until the file takes them"), 1);

    BringDatabaseBack();
    ASSERT_TRUE(WaitUntilForwarded());
    recorder->WriteChannelFloat(12, "AIN", 1, 0.5, kTime, 0);
    const SpoolFigures after = recorder->Figures();
    EXPECT_EQ(after.forwarded, sent - after.refused);
    EXPECT_FALSE(after.refusing);
    EXPECT_EQ(ColumnAfterOutage("SELECT COUNT(*) FROM FULLRCDS").at(0), std::to_string(sent - after.refused + 1));
    EXPECT_EQ(Count("12_AIN1"), sent - after.refused + 1);
    EXPECT_EQ(LogCount("Spool takes readings again; " + std::to_string(after.refused) + " refused while it was full"),
              1);
}

// A table that keeps failing for a passing reason (out of disk on the server) while the others take
// their rows: its rows are set aside in the spool, named in one line, and the rest is forwarded.
TEST_P(StoreAndForwardTest, TableThatKeepsFailingIsSetAsideAndTheRestForwarded) {
    if (!OnPostgres()) GTEST_SKIP() << "a trigger chooses its SQLSTATE only on PostgreSQL";
    ASSERT_TRUE(PostgresCluster::Instance().Sql(
        "CREATE FUNCTION " + schema_ +
        ".no_room() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION 'could not extend file' USING "
        "ERRCODE = '53100'; END$$; CREATE TRIGGER no_room BEFORE INSERT ON " +
        schema_ + ".\"12_ain2\" FOR EACH ROW EXECUTE FUNCTION " + schema_ + ".no_room()"));
    OpenRecorder();
    int sent = 0;
    ASSERT_TRUE(WaitUntil([&] {
        ++sent;
        recorder->WriteChannelFloat(12, "AIN", 2, sent, kTime, 0);
        recorder->WriteChannelFloat(12, "AIN", 1, sent, kTime, 0);
        return LogCount("Table 12_AIN2 keeps refusing rows (") == 1;
    }));
    for (int i = 0; i < 5; ++i) recorder->WriteChannelFloat(12, "AIN", 2, ++sent, kTime, 0);
    ASSERT_TRUE(WaitUntilForwarded());

    const SpoolFigures figures = recorder->Figures();
    EXPECT_EQ(figures.setAside, sent);
    EXPECT_EQ(figures.failingTables, std::vector<std::string>{"12_AIN2"});
    EXPECT_EQ(Count("12_AIN1"), sent - 5);
    EXPECT_EQ(Count("12_AIN2"), 0);
    EXPECT_EQ(Count("FULLRCDS"), 2 * sent - 5);
    EXPECT_EQ(LogCount("Table 12_AIN2 keeps refusing rows (SQLSTATE HY000, [Telvorn RTUDB] could not extend file "
                       "(SQLSTATE 53100)); they are set aside in spool " +
                       SpoolFile().string() + " and the rest is forwarded"),
              1);
    EXPECT_EQ(LogCount(" fail"), 0);
}

}  // namespace
