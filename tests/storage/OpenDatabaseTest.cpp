#include "tests/storage/StorageFixture.h"

#include <odbcinst.h>

#include "storage/HistoryCounts.h"
#include "storage/OdbcInstaller.h"
#include "storage/OpenDatabase.h"
#include "storage/sql/DatabaseMutex.h"

namespace {

const ShownBox kOpened{"OPEN_DB_OK", "", MessageIcon::Information, MessageButtons::Ok};
const ShownBox kCreated{"CREATE_RTU_TAB_OK", "", MessageIcon::None, MessageButtons::Ok};
const ShownBox kFailed{"OPEN_DB_ERR", "", MessageIcon::Stop, MessageButtons::Ok};
const ShownBox kNoInstaller{"The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.",
                            "ODBC Installer Error", MessageIcon::Information, MessageButtons::Ok};

class OpenDatabaseFixture : public StorageTest {
protected:
    void TearDown() override {
        StorageTest::TearDown();
        // Leave the data source registered as the environment made it, whatever a test removed.
        std::filesystem::path etc = OdbcTestEnvironment::Instance().Root() / "etc";
        if (!std::filesystem::exists(etc / "odbc.ini")) std::ofstream(etc / "odbc.ini").flush();
        SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                            "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0");
        std::filesystem::remove(std::getenv("ODBCINI"));
    }

    static void UnregisterSystemDataSource() {
        ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, OdbcTestEnvironment::kDriverName, "DSN=RTUDB\0"));
    }

    static std::string SystemDataSources() {
        return ReadFile(OdbcTestEnvironment::Instance().Root() / "etc" / "odbc.ini");
    }

    // A database file as an earlier run left it, with one registered RTU; then closed.
    void MakeDatabaseWithRtu(const std::string& uid) {
        CSQLDatabase earlier;
        OpenDatabase(earlier, box);
        ASSERT_TRUE(earlier.Execute("INSERT INTO RTU_TAB(UID) VALUES ('" + uid + "')"));
        box.shown.clear();
    }
};

using OpenDatabaseTest = OnEachEngine<OpenDatabaseFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, OpenDatabaseTest, EachEngine(), EngineName);

TEST_P(OpenDatabaseTest, FirstStartShowsOpenedAndBothCreations) {
    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
    EXPECT_EQ(std::filesystem::exists(DatabaseFile()), !OnPostgres());  // the server keeps no local file
    EXPECT_EQ(Tables(), (std::vector<std::string>{"RTU_TAB", "FULLRCDS", "LTIME_ZONE"}));
}

TEST_P(OpenDatabaseTest, LaterStartShowsOnlyOpenedAndKeepsTheRows) {
    MakeDatabaseWithRtu("12");
    OpenDatabase(db, box);

    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened});
    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"12"});
}

TEST_P(OpenDatabaseTest, ConnectedDatabaseOnlyShowsOpened) {
    OpenDatabase(db, box);
    box.shown.clear();
    OpenDatabase(db, box);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened});
}

// A box waiting for its click (the window's, with nobody at the machine) holds nothing up: the
// connection, both tables and the monitoring's state are there before the first box, and the
// database lock is free while it waits.
TEST_P(OpenDatabaseTest, BoxesComeAfterTheDatabaseIsReady) {
    class Watching final : public IMessageBox {
    public:
        explicit Watching(std::function<bool()> ready) : ready(std::move(ready)) {}
        MessageAnswer Show(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
            bool lockFree = false;
            std::thread([&lockFree] {
                lockFree = DatabaseMutex.try_lock();
                if (lockFree) DatabaseMutex.unlock();
            }).join();
            seen.push_back(lockFree && ready());
            return MessageAnswer::Ok;
        }
        std::function<bool()> ready;
        std::vector<bool> seen;
    } watching([this] { return HasTable("RTU_TAB") && HasTable("FULLRCDS") && historyCounts.databaseUp.load(); });
    historyCounts.Open(false);
    OpenDatabase(db, watching);
    EXPECT_EQ(watching.seen, (std::vector<bool>{true, true, true}));
}

// Opened later by the forwarder: no box, the tables made, and nothing changes once connected.
TEST_P(OpenDatabaseTest, ReopenMakesTheFixedTablesQuietly) {
    EXPECT_TRUE(ReopenDatabase(db));
    EXPECT_TRUE(HasTable("RTU_TAB") && HasTable("FULLRCDS"));
    EXPECT_TRUE(ReopenDatabase(db));
}

TEST_F(OpenDatabaseFixture, MissingDatabaseIsCopiedFromTheSeed) {
    MakeDatabaseWithRtu("seeded");
    std::filesystem::rename(DatabaseFile(), home_ / "RTU.db");

    OpenDatabase(db, box);

    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened}) << "the seed already holds both tables";
    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"seeded"});
    EXPECT_TRUE(std::filesystem::exists(home_ / "RTU.db")) << "the seed stays";
}

TEST_F(OpenDatabaseFixture, SeedNeverOverwritesAnExistingDatabase) {
    MakeDatabaseWithRtu("own");
    WriteFile("RTU.db", "not a database");

    OpenDatabase(db, box);

    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"own"});
}

TEST_F(OpenDatabaseFixture, MissingDirectoryAndSeedGiveANewDatabase) {
    std::filesystem::remove_all(home_ / "rtu");
    OpenDatabase(db, box);
    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
}

TEST_F(OpenDatabaseFixture, UnregisteredDataSourceIsRegisteredAsSystemDataSource) {
    UnregisterSystemDataSource();
    ASSERT_EQ(SystemDataSources().find("[RTUDB]"), std::string::npos);

    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
    const std::string registered = SystemDataSources();
    EXPECT_NE(registered.find("[RTUDB]"), std::string::npos);
    EXPECT_NE(registered.find("~/rtu/RTU.db"), std::string::npos);
    EXPECT_NE(registered.find("Telvorn RTUDB"), std::string::npos);
}

TEST_F(OpenDatabaseFixture, RefusedSystemRegistrationFallsBackToUserDataSource) {
    UnregisterSystemDataSource();
    // A system data source can only be added to an existing system odbc.ini.
    std::filesystem::remove(OdbcTestEnvironment::Instance().Root() / "etc" / "odbc.ini");

    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_NE(ReadFile(std::getenv("ODBCINI")).find("[RTUDB]"), std::string::npos);
}

TEST_F(OpenDatabaseFixture, MissingInstallerLibraryIsShownAndOpeningFailsOnce) {
    UnregisterSystemDataSource();
    OdbcInstaller missing("libtelvorn-no-such-installer.so");

    OpenDatabase(db, box, missing);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kNoInstaller, kFailed}));
    EXPECT_FALSE(std::filesystem::exists(DatabaseFile()));
}

TEST_F(OpenDatabaseFixture, RefusedConnectionLeavesTheDatabaseClosedAndIsReportedOnce) {
    // The data source is registered but its file cannot be made: ~/rtu is a plain file.
    std::filesystem::remove_all(home_ / "rtu");
    WriteFile("rtu", "not a directory");

    OpenDatabase(db, box);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kFailed});
}

TEST_F(OpenDatabaseFixture, TextsComeFromMessagesIniAtEachBox) {
    MakeDatabaseWithRtu("12");
    WriteFile("Messages.ini", "[SUCCESS]\nOPEN_DB_OK=Database opened\n");
    OpenDatabase(db, box);
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Database opened");
}

// An administrator pointed "RTUDB" at a PostgreSQL server: the program uses that entry as it is,
// and while the server is down it neither connects to a local file nor changes the entry.
class PostgresDataSourceTest : public OpenDatabaseFixture {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }

    static std::string UserDataSources() {
        return std::filesystem::exists(std::getenv("ODBCINI")) ? ReadFile(std::getenv("ODBCINI")) : "";
    }
};

TEST_F(PostgresDataSourceTest, PostgresqlDataSourceIsUsedAsItIs) {
    const std::string entry = SystemDataSources();
    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
    EXPECT_EQ(PostgresCluster::Instance().Query("SELECT tablename FROM pg_tables WHERE schemaname = '" + schema_ +
                                                "' ORDER BY tablename"),
              "fullrcds\nltime_zone\nrtu_tab\n");
    EXPECT_EQ(SystemDataSources(), entry);
}

TEST_F(PostgresDataSourceTest, ServerDownShowsOpenErrorAndLeavesTheEntry) {
    PointDataSource({{"PORT", "1"}});  // no server answers there
    const std::string entry = SystemDataSources();
    OpenDatabase(db, box);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kFailed});
    EXPECT_EQ(SystemDataSources(), entry);
    EXPECT_EQ(UserDataSources().find("RTUDB"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(DatabaseFile()) && std::filesystem::file_size(DatabaseFile()) > 0 &&
                 db.connected);
}

TEST_F(PostgresDataSourceTest, ReopenWhileTheServerIsDownFailsQuietly) {
    PointDataSource({{"PORT", "1"}});
    EXPECT_FALSE(ReopenDatabase(db));
    EXPECT_FALSE(db.connected);
}

TEST_F(PostgresDataSourceTest, WrongPasswordInTheSettingsShowsOpenError) {
    WriteFile("data_rtu.ini", "[RTU_DB]\nUSER=telvorn\nPWD=wrong\n");
    OpenDatabase(db, box);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kFailed});
}

}  // namespace
