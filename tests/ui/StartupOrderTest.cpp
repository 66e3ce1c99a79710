// The window's start-up against the real storage: unixODBC, the RTUDB driver and a SQLite file in
// the test's own home directory.
#include "tests/storage/OdbcTestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/RtuTable.h"
#include "storage/OpenDatabase.h"
#include "tests/ui/UiFixture.h"
#include "ui/TelvornDlg.h"

namespace uitest {
namespace {

const char* const kMessages =
    "[ERRORS]\nOPEN_DB_ERR=not opened\n[SUCCESS]\nOPEN_DB_OK=opened\nCREATE_RTU_TAB_OK=created\n";

class StartupOrderTest : public OdbcTest {
protected:
    void SetUp() override {
        OdbcTest::SetUp();
        InitTelvornResources();
        working.emplace(home_);
        Write("Messages.ini", kMessages);
        Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n");
        LiveRtuTable().Slot(0).SetUidText("");
        LiveRtuTable().Slot(0).SetModel(0);
    }
    void TearDown() override {
        window.reset();
        LiveRtuTable().Slot(0).SetUidText("");
        LiveRtuTable().Slot(0).SetModel(0);
        working.reset();
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(home_ / name, std::ios::binary | std::ios::trunc) << text;
    }
    // The database as an earlier run left it: its tables and one registered RTU of model 402.
    void RegisterRtuBeforeStart(const std::string& uid) {
        FakeMessageBox quiet{MessageAnswer::Yes};
        CSQLDatabase database;
        OpenDatabase(database, quiet);
        ASSERT_TRUE(database.connected.load());
        database.Execute("INSERT INTO RTU_TAB (UID, RDATA1, RDATA7) VALUES ('" + uid + "', 'Pump', '402')");
        database.Close();
    }
    void StartWindow() {
        window = std::make_unique<CTelvornDlg>(messageBox);
        window->OnInitDialog();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& message : messageBox.shown) texts.push_back(message.text);
        return texts;
    }

    std::optional<ScopedWorkingDirectory> working;
    FakeMessageBox messageBox{MessageAnswer::Yes};
    std::unique_ptr<CTelvornDlg> window;
};

TEST_F(StartupOrderTest, RegistryIsReadFromTheOpenedDatabaseIntoTheLiveTable) {
    RegisterRtuBeforeStart("12");
    StartWindow();
    EXPECT_FALSE(window->Database().connected.load());
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->Tabs().RtuListPage().Rows().size() == 1; }));
    EXPECT_TRUE(window->Database().connected.load());
    EXPECT_EQ(Texts(), std::vector<std::string>{"opened"});
    EXPECT_TRUE(LiveRtuTable().Slot(0).UidTextEquals("12"));
    EXPECT_EQ(LiveRtuTable().Slot(0).Snapshot().model, 402);
}

TEST_F(StartupOrderTest, FirstStartCreatesTheDatabaseAndItsTwoTables) {
    StartWindow();
    ASSERT_TRUE(ProcessEventsUntil([&] { return messageBox.shown.size() == 3; }));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"opened", "created", "created"}));
    EXPECT_TRUE(std::filesystem::exists(home_ / "rtu" / "RTU.db"));
}

TEST_F(StartupOrderTest, TeardownClosesTheOpenedDatabase) {
    StartWindow();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->Database().connected.load(); }));
    window->Teardown();
    EXPECT_FALSE(window->Database().connected.load());
}

}  // namespace
}  // namespace uitest
