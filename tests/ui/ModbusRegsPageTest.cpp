#include "tests/ui/PageFixture.h"

#include "ui/PageModbusRegs.h"

namespace pagetest {
namespace {

class ModbusRegsPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        LiveRtuTable().Slot(0).SetUidText("12");
        currentRtu = &LiveRtuTable().Slot(0);
    }

    void Open() { page = std::make_unique<CPageModbusRegs>(nullptr, db, box, saveFile); }

    void TearDown() override {
        page.reset();
        PageTest::TearDown();
    }

    QTreeWidget& Registers() { return page->RegisterList(); }

    std::unique_ptr<CPageModbusRegs> page;
};

TEST_F(ModbusRegsPageTest, AGivenNameShowsInItsRowAndAMissingOneReadsTheNumber) {
    WriteFile("name_rtu.ini", "[DEVNAMES]\nMBUSREG3=Flow\n");
    Open();
    EXPECT_EQ(Registers().topLevelItem(3)->text(0), "Flow");
    WriteFile("name_rtu.ini", "[DEVNAMES]\n");
    Open();
    EXPECT_EQ(Registers().topLevelItem(3)->text(0), "R03");
    EXPECT_EQ(Registers().topLevelItemCount(), 32);
}

TEST_F(ModbusRegsPageTest, SelectingRowFiveLoadsRegisterFiveOfTheCurrentRtu) {
    History("12", "MBUSREG", 5, {"100", "101"});
    History("12", "MBUSREG", 4, {"1"});
    Open();
    Registers().setCurrentItem(Registers().topLevelItem(5));
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 2; }));
    EXPECT_EQ(page->Browser().CurrentTable(), "12_MBUSREG5");
    EXPECT_EQ(page->History().Row(1).value, "101.0");
}

TEST_F(ModbusRegsPageTest, ClearingTheSelectionLoadsNothing) {
    History("12", "MBUSREG", 5, {"100"});
    Open();
    Registers().setCurrentItem(Registers().topLevelItem(5));
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 1; }));
    Registers().clearSelection();
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 0; }));
}

TEST_F(ModbusRegsPageTest, TheTitleAndTheExportNameTheRegister) {
    WriteFile("name_rtu.ini", "[DEVNAMES]\nMBUSREG5=Flow\n");
    History("12", "MBUSREG", 5, {"100", "101"});
    Open();
    Registers().setCurrentItem(Registers().topLevelItem(5));
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 2; }));
    EXPECT_EQ(page->History().TitleLine(), "2  Unit ID:12 Flow:5");
    saveFile.chosen = (home_ / "flow").string();
    ClickControl(*page, IDC_REGISTER_EXPORT);
    const std::string written = ReadFile(home_ / "flow.csv");
    EXPECT_EQ(written.substr(0, written.find('\n')), "2  Unit ID:12 Flow:5");
}

TEST_F(ModbusRegsPageTest, ANameCutByTheNameColumnShowsWholeAsATooltip) {
    WriteFile("name_rtu.ini", "[DEVNAMES]\nMBUSREG0=Main pump motor current\nMBUSREG1=Flow\n");
    Open();
    page->show();
    RunPosted();
    EXPECT_NE(DataTipAt(Registers(), Registers().model()->index(1, 0)), "Flow");
    EXPECT_EQ(DataTipAt(Registers(), Registers().model()->index(0, 0)), "Main pump motor current");
}

TEST_F(ModbusRegsPageTest, ExportWritesTheShownHistoryToTheChosenFile) {
    History("12", "MBUSREG", 5, {"100"});
    Open();
    Registers().setCurrentItem(Registers().topLevelItem(5));
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 1; }));
    saveFile.chosen = (home_ / "regs").string();
    ClickControl(*page, IDC_REGISTER_EXPORT);
    const std::string written = ReadFile(home_ / "regs.csv");
    EXPECT_NE(written.find("100"), std::string::npos) << written;
    EXPECT_EQ(saveFile.filters, std::vector<std::string>{"Excel file (*.csv)|*.csv|"});
}

}  // namespace
}  // namespace pagetest
