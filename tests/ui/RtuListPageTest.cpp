#include "tests/ui/PageFixture.h"

#include <QHeaderView>

#include <cstdio>

#include "core/TelemetryCore.h"

#include "ui/DatabaseStartup.h"
#include "ui/DyInputView.h"
#include "ui/PageRtuList.h"
#include "ui/PageRtuState.h"
#include "ui/ResourceIds.h"

namespace pagetest {
namespace {

// The RTU list page with the RTU state page it opens, both on the real registry.
class RtuListPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        listPage = std::make_unique<CPageRtuList>(nullptr, db, LoadRtuRegistry, box);
        statePage = std::make_unique<CPageRtuState>(nullptr, db, box, saveFile);
        listPage->LinkStatePage(statePage.get(), [this](int index) { selectedPages.push_back(index); });
        listPage->resize(900, 500);
        RunPosted();
    }

    void TearDown() override {
        listPage.reset();
        statePage.reset();
        PageTest::TearDown();
    }

    void Reload() { listPage->OnCommand(CMD_RELOAD_RTU_LIST); }
    QTreeWidget& List() { return listPage->List(); }
    void Select(int row) { List().setCurrentItem(List().topLevelItem(row)); }
    int RowOf(const std::string& uid) {
        for (int row = 0; row < List().topLevelItemCount(); ++row)
            if (List().topLevelItem(row)->text(0).toStdString() == uid) return row;
        return -1;
    }
    // Opens the RTU on the state page as a double click does.
    void Open(const std::string& uid) {
        Select(RowOf(uid));
        listPage->OnCommand(CMD_SHOW_SELECTED_RTU);
        RunPosted();
    }
    // Deletes the RTU through the form, answering Yes, and waits for the list to lose its row.
    void DeleteThroughTheForm(const std::string& uid) {
        const int rows = List().topLevelItemCount();
        Select(RowOf(uid));
        RunPosted();
        box.answers.push_back(MessageAnswer::Yes);
        ClickControl(Panel(), IDC_FORM_DELETE);
        ASSERT_TRUE(RunUntil([&] { return List().topLevelItemCount() == rows - 1; }));
        RunPosted();
    }
    std::string StateText(int id) const { return static_cast<QLabel*>(statePage->Control(id))->text().toStdString(); }
    CDyInputView& Panel() { return listPage->InputPanel(); }

    std::unique_ptr<CPageRtuList> listPage;
    std::unique_ptr<CPageRtuState> statePage;
    std::vector<int> selectedPages;
};

TEST_F(RtuListPageTest, EightCaptionsShowEightHeadersOverThirteenCells) {
    Register("7", "Pump house", "405");
    Reload();
    ASSERT_EQ(List().topLevelItemCount(), 1);
    QTreeWidgetItem* row = List().topLevelItem(0);
    EXPECT_EQ(row->columnCount(), CPageRtuList::kCellsPerRow);
    int visible = 0;
    for (int i = 0; i < List().columnCount(); ++i) visible += List().isColumnHidden(i) ? 0 : 1;
    EXPECT_EQ(visible, 8);
    EXPECT_EQ(List().headerItem()->text(7), "Model");
    EXPECT_EQ(row->text(0), "7");
    EXPECT_EQ(row->text(1), "Pump house");
    EXPECT_EQ(row->text(7), "405");
    EXPECT_FALSE(row->icon(0).isNull());
}

TEST_F(RtuListPageTest, ThreeHundredRtusGiveThreeHundredRowsAndTheFirst256Slots) {
    for (int i = 0; i < 300; ++i) {
        char uid[8];
        std::snprintf(uid, sizeof uid, "U%03d", i);
        Register(uid, "n", "407");
    }
    Reload();
    EXPECT_EQ(List().topLevelItemCount(), 300);
    EXPECT_TRUE(LiveRtuTable().Slot(0).UidTextEquals("U000"));
    EXPECT_TRUE(LiveRtuTable().Slot(255).UidTextEquals("U255"));
    EXPECT_EQ(LiveRtuTable().FindRtuByUidText("U256"), nullptr);
    EXPECT_EQ(LiveRtuTable().Slot(255).Snapshot().model, 407);
}

TEST_F(RtuListPageTest, ReloadWithTheDatabaseClosedKeepsTheRows) {
    Register("7", "Pump house", "405");
    Reload();
    db.Close();
    Reload();
    EXPECT_EQ(List().topLevelItemCount(), 1);
}

TEST_F(RtuListPageTest, SelectionOpensTheRowInTheFormUnlessExpanded) {
    Register("7", "Pump house", "405");
    Register("8", "Tank", "407");
    Reload();
    ClickControl(*listPage, IDC_RTU_LIST_EXPAND);
    ASSERT_TRUE(listPage->Expanded());
    Select(0);
    RunPosted();
    EXPECT_TRUE(Panel().isHidden());

    ClickControl(*listPage, IDC_RTU_LIST_EXPAND);
    Select(1);
    RunPosted();
    EXPECT_FALSE(Panel().isHidden());
    EXPECT_EQ(Panel().CurrentMode(), CDyInputView::kEditMode);
    EXPECT_EQ(Panel().RowText(0), "8");
    EXPECT_EQ(Panel().RowText(7), "407");
}

TEST_F(RtuListPageTest, DoubleClickShowsThatRtusValuesAtOnce) {
    Register("7", "Pump house", "405");
    Reload();
    LiveRtuTable().Slot(0).SetRegistString("online since 10:00");
    Select(0);
    Q_EMIT List().itemDoubleClicked(List().topLevelItem(0), 0);
    ASSERT_TRUE(RunUntil([this] { return !selectedPages.empty(); }));
    EXPECT_EQ(selectedPages, std::vector<int>{2});
    EXPECT_EQ(currentRtu, &LiveRtuTable().Slot(0));
    ASSERT_TRUE(RunUntil(
        [this] { return static_cast<QLabel*>(statePage->Control(IDC_STATE_STATUS))->text() == "online since 10:00"; }));
    EXPECT_EQ(static_cast<QLabel*>(statePage->Control(IDC_STATE_HEADER_ID))->text(), "Unit ID: 7");
    EXPECT_EQ(static_cast<QLabel*>(statePage->Control(IDC_STATE_HEADER_NAME))->text(), "Name: Pump house");
}

TEST_F(RtuListPageTest, ViewWithoutSelectionComplains) {
    listPage->OnCommand(CMD_VIEW_RTU);
    EXPECT_EQ(Texts(), std::vector<std::string>{"SEL_RTU_ERR"});
}

TEST_F(RtuListPageTest, AUidNotInTheLiveTableUnsetsTheCurrentRtuAndStaysOnTheList) {
    Register("7", "Pump house", "405");
    Reload();
    LiveRtuTable().Slot(0).SetUidText("other");
    currentRtu = &LiveRtuTable().Slot(3);
    Select(0);
    listPage->OnCommand(CMD_SHOW_SELECTED_RTU);
    EXPECT_EQ(currentRtu, nullptr);
    EXPECT_TRUE(selectedPages.empty());
}

TEST_F(RtuListPageTest, AddingThroughTheFormStoresTheRtuAndReloadsTheList) {
    listPage->OnCommand(CMD_ADD_RTU);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Enter the new RTU"});
    EXPECT_EQ(Panel().Heading().title(), "Add RTU");
    Panel().SetRowText(0, "21");
    Panel().SetRowText(1, "Well");
    Panel().SetRowText(7, "403");
    ClickControl(Panel(), IDC_FORM_CONFIRM);
    EXPECT_EQ(Texts().back(), "ADD_RTU_OK");
    EXPECT_EQ(Panel().RowText(0), "");
    EXPECT_FALSE(Panel().isHidden());
    ASSERT_TRUE(RunUntil([this] { return List().topLevelItemCount() == 1; }));
    EXPECT_EQ(List().topLevelItem(0)->text(7), "403");
    EXPECT_EQ(LiveRtuTable().Slot(0).Snapshot().model, 403);
}

TEST_F(RtuListPageTest, ACellCutByItsColumnShowsItsWholeTextAsATooltip) {
    const std::string name = "Pump station number 1 at the north field";
    Register("7", name, "405");
    Reload();
    listPage->show();
    RunPosted();
    QTreeWidgetItem* row = List().topLevelItem(0);
    EXPECT_NE(DataTipAt(List(), List().indexFromItem(row, 0)), "7");
    EXPECT_EQ(DataTipAt(List(), List().indexFromItem(row, 1)).toStdString(), name);
}

TEST_F(RtuListPageTest, ResizingMovesTheListButNotTheForm) {
    listPage->show();
    listPage->OnCommand(CMD_ADD_RTU);
    const QRect form = Panel().geometry();
    const QRect list = List().geometry();
    listPage->resize(1200, 700);
    EXPECT_EQ(Panel().geometry(), form);
    EXPECT_EQ(List().height(), list.height() + 200);
}

TEST_F(RtuListPageTest, ExpandedColumnsStayEightyPixelsWide) {
    listPage->show();
    ClickControl(*listPage, IDC_RTU_LIST_EXPAND);
    RunPosted();
    ASSERT_GT(List().width(), 8 * 80);
    for (int column = 0; column < 8; ++column) EXPECT_EQ(List().header()->sectionSize(column), 80) << column;
}

// Opening another RTU leaves nothing of the first one's history for the list, the filter or Delete.
TEST_F(RtuListPageTest, OpeningAnotherRtuClearsTheHistoryItsChartAndTable) {
    Register("1", "Pump station 1", "403");
    Register("3", "Pump station 3", "403");
    History("1", "AIN", 0, {"1", "2", "3", "4", "5", "6", "7", "8"});
    Reload();
    Open("1");
    ClickControl(*statePage, IDC_AIN_FIRST);
    ASSERT_EQ(statePage->History().RowCount(), 8);
    Open("3");
    EXPECT_EQ(StateText(IDC_STATE_HEADER_ID), "Unit ID: 3");
    EXPECT_EQ(statePage->History().RowCount(), 0);
    EXPECT_EQ(statePage->Chart().Points().count(), 0);
    EXPECT_EQ(statePage->Browser().CurrentTable(), "");
    box.answers.push_back(MessageAnswer::Yes);
    ClickControl(*statePage, CMD_DELETE_HISTORY);
    EXPECT_EQ(Count("1_AIN0"), 8);
}

// After a deletion the page stays with its unit id, and empties when that RTU is gone.
TEST_F(RtuListPageTest, AReloadKeepsTheStatePageOnItsUnitIdOrEmptiesIt) {
    for (const char* uid : {"1", "3", "4", "5"}) Register(uid, std::string("Pump station ") + uid, "403");
    History("4", "AIN", 0, {"4.5", "4.5"});
    History("5", "AIN", 0, {"5.5", "5.5", "5.5"});
    Reload();
    Open("4");
    DeleteThroughTheForm("3");
    LiveRtuTable().FindRtuByUidText("5")->SetRegistString("unit 5 reporting");
    statePage->PostCommand(CMD_REFRESH_STATE);
    RunPosted();
    EXPECT_EQ(StateText(IDC_STATE_HEADER_ID), "Unit ID: 4");
    EXPECT_EQ(StateText(IDC_STATE_STATUS), "");
    ClickControl(*statePage, IDC_AIN_FIRST);
    EXPECT_EQ(statePage->History().RowCount(), 2);

    DeleteThroughTheForm("4");
    statePage->PostCommand(CMD_REFRESH_STATE);
    RunPosted();
    EXPECT_EQ(StateText(IDC_STATE_STATUS), "");
    EXPECT_EQ(statePage->History().RowCount(), 0);
    EXPECT_EQ(statePage->Browser().CurrentTable(), "");
    ClickControl(*statePage, IDC_AIN_FIRST);
    EXPECT_EQ(statePage->History().RowCount(), 0);
}

// What a Modbus/TCP read of the unit returns from the live table: the reply's data words.
std::vector<int> ReadAin(std::uint8_t unit, std::uint16_t quantity) {
    struct Reply : IReplyPath {
        bool Send(const std::uint8_t* bytes, std::size_t length) override {
            sent.assign(bytes, bytes + length);
            return true;
        }
        void Release() override {}
        std::vector<std::uint8_t> sent;
    } reply;
    TelemetryCore core;
    const std::uint8_t read[] = {0, 1, 0, 0, 0, 6, unit, 0x03, 0x03, 0xE8, 0, static_cast<std::uint8_t>(quantity), 0};
    core.DecodeChunk(read, 12, reply);
    std::vector<int> words;
    for (std::size_t i = 9; i + 1 < reply.sent.size(); i += 2) words.push_back(reply.sent[i] << 8 | reply.sent[i + 1]);
    return words;
}

// Deleting an RTU moves no other RTU's values or reports under another unit id.
TEST_F(RtuListPageTest, ADeletionGivesNoRtuAnotherRtusValues) {
    for (const char* uid : {"1", "2", "3"}) Register(uid, std::string("Station ") + uid, "403");
    Reload();
    RtuSlot* two = LiveRtuTable().FindRtu(2);
    ASSERT_NE(two, nullptr);
    two->SetAin(0, 22.2);
    two->SetRegistString("RTU 2 v1.0");
    LiveRtuTable().Activity().Note(LiveRtuTable().IndexOf(*two), ReportOrigin{}, true);

    DeleteThroughTheForm("1");

    int slotsOfThree = 0;
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) slotsOfThree += LiveRtuTable().Slot(i).UidTextEquals("3");
    EXPECT_EQ(slotsOfThree, 1);
    RtuSlot* three = LiveRtuTable().FindRtu(3);
    ASSERT_NE(three, nullptr);
    EXPECT_STREQ(three->Snapshot().registString, "");
    EXPECT_EQ(LiveRtuTable().Activity().Read(LiveRtuTable().IndexOf(*three)).frames, 0u);
    EXPECT_EQ(ReadAin(3, 1), std::vector<int>{0});
    EXPECT_EQ(ReadAin(2, 1), std::vector<int>{222});
    // A master's read is no report of the RTU's.
    EXPECT_EQ(LiveRtuTable().Activity().Read(LiveRtuTable().IndexOf(*LiveRtuTable().FindRtu(2))).frames, 1u);
}

}  // namespace
}  // namespace pagetest
