// telvorn-headless with the database: the child runs in the test's directory with the test's HOME
// and the environment's ODBC files, so it opens ~/rtu/RTU.db of this test only.
#include "tests/storage/StorageFixture.h"

#include <odbcinst.h>
#include <signal.h>

#include "storage/Schema.h"
#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempWorkingDirectory.h"

namespace {

const char* const kStatusLine = "Listening on 0, connections 100, workers 120, idle time-out 600 s";

class HeadlessDatabaseTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        WriteFile("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n");
        WriteFile("rtu_ui.ini", kStatusTitles);
    }

    // Registers unit 123 as the RTU list would find it, with all its channel tables.
    void RegisterRtu123() {
        ASSERT_TRUE(Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('123', '402')"));
        CreateChannelTables(db, "123");
    }
};

TEST_F(HeadlessDatabaseTest, FreshHomeGetsTheDatabaseWithBothTables) {
    ChildProcess headless(TELVORN_HEADLESS, {});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    EXPECT_TRUE(headless.WaitForError("OPEN_DB_OK"));
    EXPECT_TRUE(headless.WaitForError("CREATE_RTU_TAB_OK"));
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);

    Connect();
    EXPECT_EQ(Tables(), (std::vector<std::string>{"RTU_TAB", "FULLRCDS", "LTIME_ZONE"}));
}

TEST_F(HeadlessDatabaseTest, UnregisteredDataSourceIsRegisteredAtStart) {
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, OdbcTestEnvironment::kDriverName, "DSN=RTUDB\0"));
    ChildProcess headless(TELVORN_HEADLESS, {});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    EXPECT_TRUE(headless.WaitForError("CREATE_RTU_TAB_OK"));
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
    EXPECT_NE(ReadFile(OdbcTestEnvironment::Instance().Root() / "etc" / "odbc.ini").find("[RTUDB]"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(DatabaseFile()));
}

TEST_F(HeadlessDatabaseTest, ReadingsOfARegisteredRtuBecomeRows) {
    Connect();
    Exec(RtuTableCreation());
    Exec(kFullRcdsCreation);
    RegisterRtu123();

    ChildProcess headless(TELVORN_HEADLESS, {});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    const int client = loopback::Connect(headless.ListeningPort());
    ASSERT_GE(client, 0);
    ASSERT_TRUE(loopback::SendText(client,
                                   "$00000123AB1020261207120000011"
                                   "12.34$"));
    EXPECT_TRUE(headless.WaitForOutput("AIN1 12.30"));
    // Eight items, each a state character, a number and a separator: AIN0 0.50 ... AIN7 7.50.
    ASSERT_TRUE(loopback::SendText(client,
                                   "$000001230022201404111230000810.50,11.50,12.50,13.50,14.50,15.50,16.50,"
                                   "17.50,$"));
    EXPECT_TRUE(headless.WaitForOutput("AIN7 7.50"));
    // Stopping joins the workers, so every reading they took is committed.
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
    close(client);

    EXPECT_EQ(Query("SELECT RVALUE, RTIME FROM 123_AIN1 ORDER BY RTIME", 2),
              (Rows{{"1.5", "20140411123000"}, {"12.3", "20261207120000"}}));
    EXPECT_EQ(Count("FULLRCDS"), 9);
}

TEST_F(HeadlessDatabaseTest, RegisteredRtusComeFirstAndRtuOptionsFollow) {
    Connect();
    Exec(RtuTableCreation());
    Exec(kFullRcdsCreation);
    RegisterRtu123();

    ChildProcess headless(TELVORN_HEADLESS, {"--rtu", "77"});
    ASSERT_TRUE(headless.WaitForOutput(kStatusLine));
    const int client = loopback::Connect(headless.ListeningPort());
    ASSERT_GE(client, 0);
    ASSERT_TRUE(loopback::SendText(client,
                                   "$00000077AB1020261207120000011"
                                   "12.34$"));
    EXPECT_TRUE(headless.WaitForOutput("AIN1 12.30"));
    EXPECT_EQ(headless.StopWith(SIGTERM), 0);
    close(client);
}

}  // namespace
