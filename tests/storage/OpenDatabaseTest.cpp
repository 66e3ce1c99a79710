#include "tests/storage/StorageFixture.h"

#include <odbcinst.h>

#include "storage/OdbcInstaller.h"
#include "storage/OpenDatabase.h"

namespace {

const ShownBox kOpened{"OPEN_DB_OK", "", MessageIcon::Information, MessageButtons::Ok};
const ShownBox kCreated{"CREATE_RTU_TAB_OK", "", MessageIcon::None, MessageButtons::Ok};
const ShownBox kFailed{"OPEN_DB_ERR", "", MessageIcon::Stop, MessageButtons::Ok};
const ShownBox kNoInstaller{"The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.",
                            "ODBC Installer Error", MessageIcon::Information, MessageButtons::Ok};

class OpenDatabaseTest : public StorageTest {
protected:
    void TearDown() override
    {
        StorageTest::TearDown();
        // Leave the data source registered as the environment made it, whatever a test removed.
        std::filesystem::path etc = OdbcTestEnvironment::Instance().Root() / "etc";
        if (!std::filesystem::exists(etc / "odbc.ini")) std::ofstream(etc / "odbc.ini").flush();
        SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                            "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0");
        std::filesystem::remove(std::getenv("ODBCINI"));
    }

    static void UnregisterSystemDataSource()
    {
        ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, OdbcTestEnvironment::kDriverName, "DSN=RTUDB\0"));
    }

    static std::string SystemDataSources()
    {
        return ReadFile(OdbcTestEnvironment::Instance().Root() / "etc" / "odbc.ini");
    }

    // A database file as an earlier run left it, with one registered RTU; then closed.
    void MakeDatabaseWithRtu(const std::string& uid)
    {
        CSQLDatabase earlier;
        OpenDatabase(earlier, box);
        ASSERT_TRUE(earlier.Execute("INSERT INTO RTU_TAB(UID) VALUES ('" + uid + "')"));
        box.shown.clear();
    }
};

TEST_F(OpenDatabaseTest, FirstStartShowsOpenedAndBothCreations)
{
    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
    EXPECT_TRUE(std::filesystem::exists(DatabaseFile()));
    EXPECT_EQ(Tables(), (std::vector<std::string>{"RTU_TAB", "FULLRCDS"}));
}

TEST_F(OpenDatabaseTest, LaterStartShowsOnlyOpenedAndKeepsTheRows)
{
    MakeDatabaseWithRtu("12");
    OpenDatabase(db, box);

    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened});
    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"12"});
}

TEST_F(OpenDatabaseTest, ConnectedDatabaseOnlyShowsOpened)
{
    OpenDatabase(db, box);
    box.shown.clear();
    OpenDatabase(db, box);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened});
}

TEST_F(OpenDatabaseTest, MissingDatabaseIsCopiedFromTheSeed)
{
    MakeDatabaseWithRtu("seeded");
    std::filesystem::rename(DatabaseFile(), home_ / "RTU.db");

    OpenDatabase(db, box);

    EXPECT_EQ(box.shown, std::vector<ShownBox>{kOpened}) << "the seed already holds both tables";
    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"seeded"});
    EXPECT_TRUE(std::filesystem::exists(home_ / "RTU.db")) << "the seed stays";
}

TEST_F(OpenDatabaseTest, SeedNeverOverwritesAnExistingDatabase)
{
    MakeDatabaseWithRtu("own");
    WriteFile("RTU.db", "not a database");

    OpenDatabase(db, box);

    EXPECT_EQ(Column("SELECT UID FROM RTU_TAB"), std::vector<std::string>{"own"});
}

TEST_F(OpenDatabaseTest, MissingDirectoryAndSeedGiveANewDatabase)
{
    std::filesystem::remove_all(home_ / "rtu");
    OpenDatabase(db, box);
    EXPECT_TRUE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kOpened, kCreated, kCreated}));
}

TEST_F(OpenDatabaseTest, UnregisteredDataSourceIsRegisteredAsSystemDataSource)
{
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

TEST_F(OpenDatabaseTest, RefusedSystemRegistrationFallsBackToUserDataSource)
{
    UnregisterSystemDataSource();
    // A system data source can only be added to an existing system odbc.ini.
    std::filesystem::remove(OdbcTestEnvironment::Instance().Root() / "etc" / "odbc.ini");

    OpenDatabase(db, box);

    EXPECT_TRUE(db.connected);
    EXPECT_NE(ReadFile(std::getenv("ODBCINI")).find("[RTUDB]"), std::string::npos);
}

TEST_F(OpenDatabaseTest, MissingInstallerLibraryIsShownAndOpeningFailsOnce)
{
    UnregisterSystemDataSource();
    OdbcInstaller missing("libtelvorn-no-such-installer.so");

    OpenDatabase(db, box, missing);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{kNoInstaller, kFailed}));
    EXPECT_FALSE(std::filesystem::exists(DatabaseFile()));
}

TEST_F(OpenDatabaseTest, RefusedConnectionIsRetriedOnceAndReportedOnce)
{
    // The data source is registered but its file cannot be made: ~/rtu is a plain file.
    std::filesystem::remove_all(home_ / "rtu");
    WriteFile("rtu", "not a directory");

    OpenDatabase(db, box);

    EXPECT_FALSE(db.connected);
    EXPECT_EQ(box.shown, std::vector<ShownBox>{kFailed});
}

TEST_F(OpenDatabaseTest, TextsComeFromMessagesIniAtEachBox)
{
    MakeDatabaseWithRtu("12");
    WriteFile("Messages.ini", "[SUCCESS]\nOPEN_DB_OK=Database opened\n");
    OpenDatabase(db, box);
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Database opened");
}

}  // namespace
