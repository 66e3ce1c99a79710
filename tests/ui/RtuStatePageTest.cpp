#include "tests/ui/PageFixture.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "tests/support/ReadFile.h"
#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"
#include "ui/QtMessageBox.h"

namespace pagetest {
namespace {

// The RTU state page showing slot 0 of the live table, unit "12", with the Modbus register list it
// writes into.
class RtuStatePageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        slot().SetUidText("12");
        currentRtu = &slot();
        page = std::make_unique<CPageRtuState>(nullptr, db, box, saveFile);
        registers = std::make_unique<CPageModbusRegs>(nullptr, db, box, saveFile);
        page->LinkRegisterList(&registers->RegisterList());
    }

    void TearDown() override {
        page.reset();
        registers.reset();
        PageTest::TearDown();
    }

    static RtuSlot& slot() { return LiveRtuTable().Slot(0); }
    void Refresh() { page->OnCommand(static_cast<int>(CMD_REFRESH_STATE)); }
    bool Shown(int id) const { return !page->Control(id)->isHidden(); }
    QString Caption(int id) const { return static_cast<QAbstractButton*>(page->Control(id))->text(); }

    void Plot(const std::vector<std::string>& values) {
        page->History().ClearRows();
        for (const std::string& value : values) page->History().AppendRow(HistoryRow{"1", value, "", "", false});
        page->plotHistory("title");
    }

    std::pair<double, double> LeftRange() const {
        return {page->Chart().LeftAxis().min(), page->Chart().LeftAxis().max()};
    }

    std::vector<std::string> Values() {
        std::vector<std::string> values;
        for (int i = 0; i < page->History().RowCount(); ++i) values.push_back(page->History().Row(i).value);
        return values;
    }

    // Readings of 12_AIN0 stored with these RTU time texts, values 1, 2, ...
    void Readings(const std::vector<std::string>& rtuTimes) {
        ASSERT_TRUE(CreateChannelTable(db, "12", "AIN", 0, kChannelFloat));
        int rid = 1;
        for (const std::string& time : rtuTimes) {
            ASSERT_TRUE(Exec("INSERT INTO 12_AIN0 (RID, RVALUE, RTYPE, RTIME, LTIME) VALUES (" + std::to_string(rid) +
                             ", " + std::to_string(rid) + ", 0, '" + time + "', '2026-12-01 10:00:01')"));
            ++rid;
        }
    }

    void FilterOneDay(QDate day) {
        page->TimeRangeBox().setChecked(true);
        page->FromDate().setDate(day);
        page->ToDate().setDate(day);
        ClickControl(*page, IDC_QUERY_HISTORY);
    }

    std::unique_ptr<CPageRtuState> page;
    std::unique_ptr<CPageModbusRegs> registers;
};

TEST_F(RtuStatePageTest, AModelWithTwoInputsShowsTwoLampsAndTheirGroup) {
    slot().SetModel(405);
    slot().SetDin(1, 1);
    Refresh();
    EXPECT_TRUE(Shown(1007));
    EXPECT_TRUE(Shown(1008));
    for (int id = 1009; id <= 1014; ++id) EXPECT_FALSE(Shown(id)) << id;
    EXPECT_TRUE(Shown(IDC_DIN_GROUP));
    EXPECT_EQ(static_cast<CButtonST*>(page->Control(1007))->IconNumber(), 131);
    EXPECT_EQ(static_cast<CButtonST*>(page->Control(1008))->IconNumber(), 132);
    EXPECT_TRUE(Shown(IDC_GRAY_GROUP));
    EXPECT_FALSE(Shown(IDC_COUNTER_GROUP));
    EXPECT_FALSE(Shown(IDC_ETEMP_GROUP));
}

TEST_F(RtuStatePageTest, RegistersAndCoilsAreWrittenIntoTheModbusList) {
    slot().SetCoilValue(3, 1);
    slot().SetRegisterValue(4, 12.5);
    Refresh();
    QTreeWidget& list = registers->RegisterList();
    EXPECT_EQ(list.topLevelItem(3)->text(1), "ON");
    EXPECT_EQ(list.topLevelItem(3)->text(2), "Coil");
    EXPECT_EQ(list.topLevelItem(4)->text(1), "12.50");
    EXPECT_EQ(list.topLevelItem(4)->text(2), "Input");
    EXPECT_EQ(list.topLevelItem(5)->text(1), "");
}

TEST(RegisterColumnTextsTest, ACoilOfOneHalfShowsOn) {
    EXPECT_EQ(RegisterColumnTexts(2, 0.5f).value, "ON");
    EXPECT_EQ(RegisterColumnTexts(2, 0.0f).value, "OFF");
    EXPECT_EQ(RegisterColumnTexts(1, 0.5f).value, "0.50");
    EXPECT_EQ(RegisterColumnTexts(0, 0.5f).kind, "");
}

TEST_F(RtuStatePageTest, TheFirstRefreshWithoutAnRtuFallsBackToSlotZeroWithTheInfoButtonsDisabled) {
    currentRtu = nullptr;
    Refresh();
    EXPECT_EQ(currentRtu, &slot());
    EXPECT_EQ(static_cast<QLabel*>(page->Control(IDC_STATE_HEADER_ID))->text(), "Unit ID: 12");
    EXPECT_FALSE(page->Control(IDC_POWER_BUTTON)->isEnabled());
    Refresh();
    EXPECT_TRUE(page->Control(IDC_POWER_BUTTON)->isEnabled());
}

TEST_F(RtuStatePageTest, ValueButtonsShowNamesValuesAndUnits) {
    slot().SetModel(403);
    slot().SetAin(1, 3.25);
    slot().SetSignal(-71);
    slot().SetGps("N 1.5 E 2.5");
    Refresh();
    EXPECT_EQ(Caption(1029), ": 3.25 ");
    EXPECT_EQ(Caption(IDC_SIGNAL_BUTTON), "-71");
    EXPECT_EQ(Caption(IDC_GPS_BUTTON), "N 1.5 E 2.5");
    EXPECT_TRUE(Shown(IDC_COUNTER_GROUP));
}

struct RangeCase {
    const char* name;
    std::vector<std::string> values;
    double low;
    double high;
};

class PlotRangeTest : public RtuStatePageTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(PlotRangeTest, LeftAxisSpansZeroAndTheValuesWithMargins) {
    Plot(GetParam().values);
    EXPECT_DOUBLE_EQ(LeftRange().first, GetParam().low);
    EXPECT_NEAR(LeftRange().second, GetParam().high, 1e-9);
    EXPECT_EQ(page->Chart().Points().count(), static_cast<int>(GetParam().values.size()));
}

INSTANTIATE_TEST_SUITE_P(Values, PlotRangeTest,
                         ::testing::Values(RangeCase{"Positive", {"5", "10", "15"}, -2, 20},
                                           RangeCase{"MixedSigns", {"-4", "3"}, -6, 5.6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RtuStatePageTest, PointSizeTenDrawsEightPixelPoints) {
    page->PointSizeSelector().setCurrentText("10");
    Plot({"1.7", "-2.9"});
    EXPECT_EQ(page->Chart().Points().markerSize(), 8);
    EXPECT_EQ(page->Chart().Line().at(0), QPointF(0, 1));
    EXPECT_EQ(page->Chart().Line().at(1), QPointF(1, -2));
    EXPECT_EQ(page->Chart().Points().at(1), QPointF(1, -2.9));
    EXPECT_EQ(page->Chart().Title(), "title");
}

TEST_F(RtuStatePageTest, AnEmptyListEmptiesTheChartAndKeepsThePointSize) {
    Plot({"3"});
    Plot({});
    EXPECT_EQ(page->Chart().Points().count(), 0);
    EXPECT_EQ(page->Chart().Points().markerSize(), 6);
}

TEST_F(RtuStatePageTest, AutoFitFollowsTheSamplesUntilTheNextPlot) {
    Plot({"1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14",
          "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28",
          "29", "30", "31", "32", "33", "34", "35", "36", "37", "38", "39", "40"});
    page->AutoFitBox().click();
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 39);
    page->AutoFitBox().click();
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 30);
}

TEST_F(RtuStatePageTest, ALoadedHistoryIsDrawnToItsNewestRowWithAutoFitClear) {
    History("12", "AIN", 0, std::vector<std::string>(65, "1.5"));
    ClickControl(*page, IDC_AIN_FIRST);
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().min(), 0);
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 64);
    History("12", "AIN", 1, {"1", "2"});
    ClickControl(*page, IDC_AIN_FIRST + 1);
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 30);
}

TEST_F(RtuStatePageTest, LessThanTwentySelectsValuesUpToTwenty) {
    History("12", "AIN", 0, {"10", "20", "30", "19.5"});
    ClickControl(*page, IDC_AIN_FIRST);
    EXPECT_EQ(Values(), (std::vector<std::string>{"10.0", "20.0", "30.0", "19.5"}));
    page->CompareSelector().setCurrentIndex(2);
    page->ValueEdit().setText("20");
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_EQ(Values(), (std::vector<std::string>{"10.0", "20.0", "19.5"}));
    EXPECT_EQ(page->Chart().Points().count(), 3);
}

TEST_F(RtuStatePageTest, CounterButtonsReadTheCounterSource) {
    History("12", "ECOUNTER_REPORT", 2, {"7"});
    page->CounterSource().setCurrentIndex(1);
    ClickControl(*page, IDC_COUNTER_BUTTONS[2]);
    EXPECT_EQ(Values(), std::vector<std::string>{"7.0"});
    page->CounterSource().setCurrentIndex(-1);
    page->History().ClearRows();
    ClickControl(*page, IDC_COUNTER_BUTTONS[2]);
    EXPECT_TRUE(Values().empty());
}

TEST_F(RtuStatePageTest, TheDeleteKeyInTheHistoryListDeletesTheSelectedRecord) {
    History("12", "AIN", 0, {"10", "20"});
    ClickControl(*page, IDC_AIN_FIRST);
    page->History().List().topLevelItem(1)->setSelected(true);
    box.answers.push_back(MessageAnswer::Yes);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(&page->History().List(), &press);
    ASSERT_TRUE(RunUntil([this] { return page->History().RowCount() == 1; }));
    EXPECT_EQ(Count("\"12_AIN0\""), 1);
}

TEST_F(RtuStatePageTest, AFilterWithoutConditionLeavesListAndChartAlone) {
    History("12", "AIN", 0, {"10", "20", "30"});
    ClickControl(*page, IDC_AIN_FIRST);
    const QLineSeries* points = &page->Chart().Points();
    const QString title = page->Chart().Title();
    page->ValueEdit().setText("abc");  // no comparison selected: the value is not read
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_EQ(&page->Chart().Points(), points);
    EXPECT_EQ(page->Chart().Title(), title);
    EXPECT_EQ(Values().size(), 3u);
    EXPECT_EQ(page->History().TitleLine(), title.toStdString());
}

TEST_F(RtuStatePageTest, ARefusedFilterEmptiesListAndChartAndTheChartTitle) {
    History("12", "AIN", 0, {"10", "20", "30"});
    ClickControl(*page, IDC_AIN_FIRST);
    page->CompareSelector().setCurrentIndex(0);
    page->ValueEdit().setText("abc");
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_TRUE(Values().empty());
    EXPECT_EQ(page->Chart().Points().count(), 0);
    EXPECT_EQ(page->Chart().Title(), "");
    page->ValueEdit().setText(" 20 ");
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_EQ(Values(), (std::vector<std::string>{"20.0", "30.0"}));
}

TEST_F(RtuStatePageTest, TheTimeRangeIsPickedAsCalendarDays) {
    History("12", "AIN", 0, {"10", "20"});  // both on 2026-12-01
    ClickControl(*page, IDC_AIN_FIRST);
    for (QDateEdit* picker : {&page->FromDate(), &page->ToDate()}) {
        EXPECT_TRUE(picker->calendarPopup());
        EXPECT_EQ(picker->displayedSections() & QDateTimeEdit::TimeSections_Mask, 0);
    }
    page->TimeRangeBox().setChecked(true);
    page->FromDate().setDate(QDate(2026, 12, 1));
    page->ToDate().setDate(QDate(2026, 12, 1));
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_EQ(Values().size(), 2u);
    page->FromDate().setDate(QDate(2026, 12, 2));
    page->ToDate().setDate(QDate(2026, 12, 2));
    ClickControl(*page, IDC_QUERY_HISTORY);
    EXPECT_TRUE(Values().empty());
}

TEST_F(RtuStatePageTest, TheBackButtonShowsItsImageOnceAHeaderIsSet) {
    page->setHeader("12", "Pump");
    const auto& back = static_cast<const CButtonST&>(*page->Control(IDC_STATE_BACK));
    EXPECT_EQ(back.IconNumber(), 176);
    EXPECT_FALSE(back.Layout().image.isEmpty());
    EXPECT_TRUE(back.rect().contains(back.Layout().image));
    EXPECT_EQ(back.toolTip(), "Back");
}

TEST_F(RtuStatePageTest, StatusAndGpsTextsShowWholeAsTooltips) {
    slot().SetModel(403);
    slot().SetRegistString("TELVORN RTUSIM 12 firmware 4.07 on the north field well");
    slot().SetGps("N' 100.349820 E' 92.009831 altitude 412 m");
    Refresh();
    EXPECT_EQ(page->Control(IDC_STATE_STATUS)->toolTip(), "TELVORN RTUSIM 12 firmware 4.07 on the north field well");
    EXPECT_EQ(page->Control(IDC_GPS_BUTTON)->toolTip(), "N' 100.349820 E' 92.009831 altitude 412 m");
}

TEST_F(RtuStatePageTest, AutoFitLeftTickedFitsEachNewPlot) {
    page->AutoFitBox().click();
    Plot(std::vector<std::string>(10, "1"));
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 9);
    Plot(std::vector<std::string>(50, "1"));
    EXPECT_DOUBLE_EQ(page->Chart().BottomAxis().max(), 49);
}

TEST_F(RtuStatePageTest, TheChartStartsWithTicksOnWholeSamples) {
    const QValueAxis& bottom = page->Chart().BottomAxis();
    EXPECT_EQ(bottom.tickType(), QValueAxis::TicksDynamic);
    EXPECT_EQ(bottom.tickAnchor(), 0);
    EXPECT_GE(bottom.tickInterval(), 1);
    EXPECT_EQ(bottom.tickInterval(), std::floor(bottom.tickInterval()));
}

TEST_F(RtuStatePageTest, AHistoryIsAddedToTheListInOneInsertion) {
    std::vector<std::string> values(200, "1.5");
    History("12", "AIN", 1, values);
    QSignalSpy inserted(page->History().List().model(), &QAbstractItemModel::rowsInserted);
    ClickControl(*page, IDC_AIN_FIRST + 1);
    EXPECT_EQ(page->History().RowCount(), 200);
    EXPECT_EQ(inserted.count(), 1);
}

// Frames carry their time as 14 digits; rows stored in the dashed form are found as well.
TEST_F(RtuStatePageTest, TheTimeRangeFindsCompactAndDashedRtuTimes) {
    Readings({"20261201000000", "20261201215438", "20261202000000", "2026-12-01 10:00:00", "20261130235959",
              "2026-12-02 00:00:00"});
    ClickControl(*page, IDC_AIN_FIRST);
    FilterOneDay(QDate(2026, 12, 1));
    EXPECT_EQ(Values(), (std::vector<std::string>{"1.0", "2.0", "4.0"}));
}

TEST_F(RtuStatePageTest, EnterInTheFilterRunsIt) {
    History("12", "AIN", 0, {"10", "20", "30"});
    ClickControl(*page, IDC_AIN_FIRST);
    page->CompareSelector().setCurrentIndex(2);
    page->ValueEdit().setText("20");
    QTest::keyClick(&page->ValueEdit(), Qt::Key_Return);
    EXPECT_EQ(Values(), (std::vector<std::string>{"10.0", "20.0"}));
}

TEST_F(RtuStatePageTest, AfterADeletionListTitleChartAndExportShowWhatIsLeft) {
    History("12", "AIN", 0, {"1", "2", "3", "4", "5", "6", "7", "8"});
    ClickControl(*page, IDC_AIN_FIRST);
    for (int row : {1, 2, 3}) page->History().List().topLevelItem(row)->setSelected(true);
    box.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    ClickControl(*page, CMD_DELETE_HISTORY);
    EXPECT_EQ(Values(), (std::vector<std::string>{"1.0", "5.0", "6.0", "7.0", "8.0"}));
    EXPECT_EQ(page->History().TitleLine().substr(0, 2), "5 ");
    EXPECT_EQ(page->Chart().Points().count(), 5);
    saveFile.chosen = "left.csv";
    ClickControl(*page, CMD_EXPORT_HISTORY);
    EXPECT_EQ(ReadFile("left.csv").substr(0, 2), "5 ");

    page->History().List().clearSelection();
    ClickControl(*page, CMD_DELETE_HISTORY);
    EXPECT_EQ(Count("12_AIN0"), 0);
    EXPECT_EQ(page->History().RowCount(), 0);
    EXPECT_EQ(page->History().TitleLine().substr(0, 2), "0 ");
    EXPECT_EQ(page->Chart().Points().count(), 0);
}

// Enter on a question that deletes history answers No: one key must not remove a channel's records.
TEST_F(RtuStatePageTest, EnterOnTheDeleteQuestionsKeepsTheRecords) {
    QtMessageBox questions;
    CPageRtuState asking(nullptr, db, questions, saveFile);
    History("12", "AIN", 0, {"1", "2"});
    ClickControl(asking, IDC_AIN_FIRST);
    QTimer enter;
    QObject::connect(&enter, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    enter.start(5);
    ClickControl(asking, CMD_DELETE_HISTORY);  // no row selected: the whole table
    ASSERT_EQ(asking.History().RowCount(), 2);
    asking.History().List().topLevelItem(0)->setSelected(true);
    ClickControl(asking, CMD_DELETE_HISTORY);
    EXPECT_EQ(Count("12_AIN0"), 2);
    EXPECT_EQ(asking.History().RowCount(), 2);
}

}  // namespace
}  // namespace pagetest
