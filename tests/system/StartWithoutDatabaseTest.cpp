// telvorn-headless started while its database does not answer: it serves the RTUs of the registry
// copy the previous run kept (or those given with --rtu), answers Modbus from the live table,
// spools every reading from the first, and once the database answers makes its fixed tables, reads
// the registry again and forwards the spool: each reading rtusim sent is stored once, with its value.
#include "tests/system/OutageFixture.h"

namespace system_test {
namespace {

constexpr const char* kFromCopy =
    "Database not open at start; serving 5 RTUs of the registry copy ./RTUDB-registry.txt";
constexpr const char* kNoCopy = "Database not open at start; serving no registry copy";
constexpr const char* kOpenLater = "Database open: fixed tables made where missing, registry read again (5 RTUs, ";

class StartWithoutDatabase : public OutageFixture {
protected:
    // A run with the database up, which keeps the registry copy.
    void RunOnceWithDatabase() {
        Start();
        ASSERT_EQ(headless->StopWith(SIGTERM), 0);
        ASSERT_TRUE(std::filesystem::exists(home_ / "RTUDB-registry.txt"));
    }

    // Started while the database does not answer; rtusim sends meanwhile and after `answer` makes
    // it answer again. Every reading is served and stored once; the start is told once.
    void ServeThroughTheStart(const std::function<void()>& answer, const char* said,
                              const std::vector<std::string>& arguments = {}) {
        Start(arguments);
        EXPECT_TRUE(headless->WaitForError(said));
        auto feed = Feed("--rate 5 --duration 8");
        std::this_thread::sleep_for(3s);
        answer();
        const std::string summary = feed.get();
        ExpectServed(summary);
        ASSERT_TRUE(WaitForLogText(kOpenLater)) << Log();
        StopOnceStored(SummaryNumber(summary, "readings"));
        ExpectStoredAsSent();
        ExpectOutagesLogged(1);
        EXPECT_EQ(LogCount(said), 1) << Log();
    }
};

class PostgresStartTest : public StartWithoutDatabase {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }
};

class SqliteStartTest : public StartWithoutDatabase {
protected:
    // Holds the database file locked against readers too, as another program might, until Release.
    void Lock() {
        // The test's own connection would keep the lock from being taken; Release connects it again.
        SQLDisconnect(db.dbc);
        db.connected = false;
        ASSERT_EQ(sqlite3_open((home_ / "rtu" / "RTU.db").c_str(), &holder_), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    void Release() {
        sqlite3_exec(holder_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(holder_);
        holder_ = nullptr;
        Connect();
    }
    void TearDown() override {
        if (holder_ != nullptr) Release();
        StartWithoutDatabase::TearDown();
    }
    sqlite3* holder_ = nullptr;
};

// Stopped at the start, with FULLRCDS gone meanwhile: made again before anything is forwarded.
TEST_F(PostgresStartTest, ServerStoppedAtTheStart) {
    RunOnceWithDatabase();
    ASSERT_TRUE(Exec("DROP VIEW READINGS"));
    ASSERT_TRUE(Exec("DROP TABLE FULLRCDS"));
    ASSERT_TRUE(PostgresCluster::Instance().Stop());
    ServeThroughTheStart([] { ASSERT_TRUE(PostgresCluster::Instance().Start()); }, kFromCopy);
}

TEST_F(SqliteStartTest, FileLockedAtTheStart) {
    RunOnceWithDatabase();
    Lock();
    ServeThroughTheStart([this] { Release(); }, kFromCopy);
}

// A first start: no copy, so the RTUs given on the command line are served; the registry read once
// the database answers keeps their slots and values.
TEST_F(SqliteStartTest, FirstStartWithoutCopyServesTheGivenRtus) {
    Lock();
    std::vector<std::string> arguments;
    for (int unit = 1; unit <= kUnits; ++unit) arguments.insert(arguments.end(), {"--rtu", std::to_string(unit)});
    ServeThroughTheStart([this] { Release(); }, kNoCopy, arguments);
}

}  // namespace
}  // namespace system_test
