#include "tests/storage/StorageFixture.h"

#include "storage/HistoryBrowser.h"
#include "storage/Schema.h"
#include "tests/support/CalendarTime.h"

namespace {

// The list, title line and controls of a history page, kept in memory.
class MemoryHistoryView final : public IHistoryView {
public:
    std::optional<std::string> CurrentUidText() const override { return currentUid; }
    void ClearRows() override {
        rows.clear();
        selected.clear();
    }
    void AppendRows(const std::vector<HistoryRow>& added) override {
        rows.insert(rows.end(), added.begin(), added.end());
        ++batches;
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    HistoryRow Row(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
    void RemoveRow(int index) override {
        rows.erase(rows.begin() + index);
        selected.erase(std::find(selected.begin(), selected.end(), index));
        for (int& other : selected)
            if (other > index) --other;
    }
    int FirstSelectedRow() const override {
        return selected.empty() ? -1 : *std::min_element(selected.begin(), selected.end());
    }
    std::string TitleLine() const override { return title; }
    void SetTitleLine(const std::string& text) override { title = text; }
    HistoryFilter TakeFilter() override { return filter; }
    std::optional<std::string> ChooseSaveFile() override { return saveAs; }

    std::vector<std::string> Rids() const {
        std::vector<std::string> rids;
        for (const HistoryRow& row : rows) rids.push_back(row.rid);
        return rids;
    }

    std::optional<std::string> currentUid = "12";
    std::vector<HistoryRow> rows;
    std::vector<int> selected;
    std::string title;
    HistoryFilter filter;
    std::optional<std::string> saveAs;
    int batches = 0;
};

std::time_t Noon(int year, int month, int day) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// 12_AIN3 with five readings on 10, 11 and 12 April 2014; RTYPE 1 on the second.
class HistoryBrowserFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        CreateChannelTables(db, "12");
        Insert(1, "2.5", "2014-04-10 23:59:59", 0);
        Insert(2, "4.5", "2014-04-11 00:00:00", 1);
        Insert(3, "5", "2014-04-11 12:00:00", 0);
        Insert(4, "7.25", "2014-04-11 23:59:59", 0);
        Insert(5, "9", "2014-04-12 00:00:00", 0);
        WriteFile("rtu_ui.ini",
                  "[Page2Text]\nRECORDS=Records\nDATALISTC0=No\nDATALISTC1=Value\n"
                  "DATALISTC2=RTU time\nDATALISTC3=Server time\n");
        WriteFile("data_rtu.ini", "[RTU]\nRDATA1=Unit\n" + DatabaseSettings());
        WriteFile("name_rtu.ini", "[DEVNAMES]\nAD3=Tank level\n");
    }

    void Insert(int rid, const char* value, const char* time, int type) {
        Exec("INSERT INTO 12_AIN3(RID, RVALUE, RTIME, LTIME, RTYPE) VALUES (" + std::to_string(rid) + ", " + value +
             ", '" + time + "', '" + time + "', " + std::to_string(type) + ")");
    }

    void LoadAin3() { browser.LoadHistory("AIN", 3, "AD3"); }

    std::vector<std::string> Query(bool timeRange, const std::string& value, int compare) {
        view.filter = {timeRange, Noon(2014, 4, 11), Noon(2014, 4, 11), value, compare};
        browser.QueryHistory();
        return view.Rids();
    }

    MemoryHistoryView view;
    CHistoryBrowser browser{db, view, box};
};

using HistoryBrowserTest = OnEachEngine<HistoryBrowserFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, HistoryBrowserTest, EachEngine(), EngineName);

TEST_P(HistoryBrowserTest, LoadFillsTheListAndTitleAndRemembersTheTable) {
    const std::string title = browser.LoadHistory("AIN", 3, "AD3");

    EXPECT_EQ(view.Rids(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(view.rows[1].value, "4.5");
    EXPECT_EQ(view.rows[1].rtuTime, "2014-04-11 00:00:00");
    EXPECT_TRUE(view.rows[1].flagged);
    EXPECT_FALSE(view.rows[0].flagged);
    EXPECT_EQ(view.title, "5 Records Unit:12 Tank level:3");
    EXPECT_EQ(title, view.title);
    EXPECT_EQ(browser.CurrentTable(), "12_AIN3");
}

// The statement runs without end on either engine and returns no row until it is cancelled.
TEST_P(HistoryBrowserTest, LoadPastItsTimeBudgetSaysSoAndCountsWhatItRead) {
    WriteFile("data_rtu.ini", "[RTU]\nRDATA1=Unit\n" + DatabaseSettings() + "QUERYSECONDS=1\n");
    const std::string title = browser.LoadHistory(
        "", -1, "",
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT x, x, 'a', 'b', 0 FROM n WHERE x < 0");

    EXPECT_EQ(box.shown, (std::vector<ShownBox>{{"QUERY_TIMEOUT", "", MessageIcon::Warning, MessageButtons::Ok}}));
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(title, "0 Records Unit:12 ");
}

TEST_P(HistoryBrowserTest, ChannelWithoutNumberHasNoNumberInTheTitle) {
    browser.LoadHistory("BATT", -1, "BATT");
    EXPECT_EQ(view.title, "0 Records Unit:12 ");
    EXPECT_EQ(browser.CurrentTable(), "12_BATT");
}

TEST_P(HistoryBrowserTest, LoadIsSkippedForNumber32OrNoCurrentRtu) {
    LoadAin3();
    browser.LoadHistory("MBUSREG", 32, "MBUSREG32");
    EXPECT_EQ(view.RowCount(), 5);
    view.currentUid.reset();
    browser.LoadHistory("AIN", 2, "AD2");
    EXPECT_EQ(view.RowCount(), 5);
    EXPECT_EQ(browser.CurrentTable(), "12_AIN3");
}

TEST_P(HistoryBrowserTest, MissingTableGivesAnEmptyListSilently) {
    LoadAin3();
    browser.LoadHistory("MBUSREG", -1, "MBUSREG-1");
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(browser.CurrentTable(), "12_AIN3");
}

TEST_P(HistoryBrowserTest, ClosedDatabaseEmptiesTheListAndKeepsTheTitle) {
    CSQLDatabase closed;
    CHistoryBrowser offline(closed, view, box);
    view.rows.push_back({});
    view.title = "before";
    EXPECT_EQ(offline.LoadHistory("AIN", 3, "AD3"), "");
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(view.title, "before");
}

struct QueryCase {
    bool timeRange;
    std::string value;
    int compare;
    std::optional<std::string> statement;
};

// A day's bounds in the dashed form and in a frame's own 14-digit form, either matching.
const char* const kOneDay =
    "SELECT * FROM 12_AIN3 WHERE ((RTIME >= '2014-04-11 00:00:00' AND RTIME <= '2014-04-11 24:60:60') OR "
    "(RTIME >= '20140411000000' AND RTIME <= '20140411235959'))";

class HistoryQueryTextTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(HistoryQueryTextTest, StatementIsComposedCharacterForCharacter) {
    const QueryCase& c = GetParam();
    const HistoryFilter filter{c.timeRange, Noon(2014, 4, 11), Noon(2014, 4, 11), c.value, c.compare};
    EXPECT_EQ(ComposeHistoryQuery("12_AIN3", filter), c.statement);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, HistoryQueryTextTest,
    ::testing::Values(QueryCase{true, "", 0, kOneDay},
                      QueryCase{false, "5", 2, "SELECT * FROM 12_AIN3 WHERE RVALUE <= 5"},
                      QueryCase{false, "5", 0, "SELECT * FROM 12_AIN3 WHERE RVALUE >= 5"},
                      QueryCase{false, "-2.75", 1, "SELECT * FROM 12_AIN3 WHERE RVALUE = -2.75"},
                      QueryCase{true, "5", 0, std::string(kOneDay) + " AND RVALUE >= 5"},
                      QueryCase{false, "", 0, std::nullopt}, QueryCase{false, "5", 3, std::nullopt},
                      QueryCase{false, "5 OR 1=1", 0, ""}, QueryCase{false, "abc", 2, ""},
                      QueryCase{true, "1e3", 0, ""}, QueryCase{false, "5.", 0, ""},
                      QueryCase{false, ".5", 0, "SELECT * FROM 12_AIN3 WHERE RVALUE >= .5"},
                      // Without a comparison the value is not read; blanks around a value are dropped.
                      QueryCase{false, "abc", -1, std::nullopt}, QueryCase{true, "abc", -1, kOneDay},
                      QueryCase{false, " 5\t ", 2, "SELECT * FROM 12_AIN3 WHERE RVALUE <= 5"},
                      QueryCase{false, "   ", 0, std::nullopt}, QueryCase{false, "5 5", 0, ""}));

TEST_P(HistoryBrowserTest, TimeRangeKeepsTheReadingsOfThoseDays) {
    LoadAin3();
    EXPECT_EQ(Query(true, "", 0), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(view.title, "3 Records Unit:12 ");
    EXPECT_EQ(browser.CurrentTable(), "12_AIN3");
}

TEST_P(HistoryBrowserTest, ValueConditionComparesNumerically) {
    LoadAin3();
    EXPECT_EQ(Query(false, "5", 2), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Query(false, "5", 1), (std::vector<std::string>{"3"}));
    EXPECT_EQ(Query(true, "5", 0), (std::vector<std::string>{"3", "4"}));
}

TEST_P(HistoryBrowserTest, QueryWithoutConditionOrBeforeALoadDoesNothing) {
    EXPECT_TRUE(Query(true, "5", 0).empty());
    LoadAin3();
    EXPECT_EQ(Query(false, "", 0).size(), 5u);
}

TEST_P(HistoryBrowserTest, QueryTellsWhetherItRanAndWithWhatTitle) {
    view.filter = {false, 0, 0, "5", 2};
    EXPECT_EQ(browser.QueryHistory(), std::nullopt);  // no table loaded yet
    LoadAin3();
    view.filter = {false, 0, 0, "", 0};
    EXPECT_EQ(browser.QueryHistory(), std::nullopt);
    EXPECT_EQ(view.RowCount(), 5);
    view.filter = {false, 0, 0, "abc", -1};
    EXPECT_EQ(browser.QueryHistory(), std::nullopt);
    EXPECT_EQ(view.RowCount(), 5);
    view.filter = {false, 0, 0, "abc", 0};
    EXPECT_EQ(browser.QueryHistory(), "");
    view.filter = {false, 0, 0, "5", 2};
    EXPECT_EQ(browser.QueryHistory(), "3 Records Unit:12 ");
}

TEST_P(HistoryBrowserTest, LoadHandsTheRowsOverInOneBatch) {
    LoadAin3();
    EXPECT_EQ(view.RowCount(), 5);
    EXPECT_EQ(view.batches, 1);
}

TEST_P(HistoryBrowserTest, ValueThatIsNotANumberGivesAnEmptyListAndNeverReachesTheEngine) {
    LoadAin3();
    EXPECT_TRUE(Query(false, "0; DELETE FROM 12_AIN3", 0).empty());
    EXPECT_TRUE(Query(false, "0 OR 1=1", 0).empty());
    EXPECT_EQ(Count("12_AIN3"), 5);
    EXPECT_TRUE(box.shown.empty());
}

TEST_P(HistoryBrowserTest, SelectedRowsAreDeletedOneByOne) {
    LoadAin3();
    view.selected = {1, 2, 4};
    box.answers = {MessageAnswer::Yes};

    browser.DeleteHistoryRows();

    EXPECT_EQ(box.shown, (std::vector<ShownBox>{{"DELETE_RID", "", MessageIcon::Question, MessageButtons::YesNo}}));
    EXPECT_EQ(view.Rids(), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(Column("SELECT RID FROM 12_AIN3 ORDER BY RID"), (std::vector<std::string>{"1", "4"}));
}

TEST_P(HistoryBrowserTest, DeletionStopsAtTheFirstRowThatIsGone) {
    LoadAin3();
    Exec("DELETE FROM 12_AIN3 WHERE RID=3");
    view.selected = {1, 2, 3};
    box.answers = {MessageAnswer::Yes};

    browser.DeleteHistoryRows();

    EXPECT_EQ(view.Rids(), (std::vector<std::string>{"1", "3", "4", "5"}));
    EXPECT_EQ(Count("12_AIN3"), 3);
}

TEST_P(HistoryBrowserTest, DeleteAnsweredNoChangesNothing) {
    LoadAin3();
    view.selected = {0};
    browser.DeleteHistoryRows();
    view.selected = {};
    browser.DeleteHistoryRows();
    EXPECT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(view.RowCount(), 5);
    EXPECT_EQ(Count("12_AIN3"), 5);
}

TEST_P(HistoryBrowserTest, DeleteWithoutSelectionEmptiesTheTableAndTheList) {
    LoadAin3();
    box.answers = {MessageAnswer::Yes};

    EXPECT_EQ(browser.DeleteHistoryRows(), "0 Records Unit:12 Tank level:3");

    EXPECT_EQ(box.shown, (std::vector<ShownBox>{{"DELETE_ALL", "", MessageIcon::Question, MessageButtons::YesNo}}));
    EXPECT_EQ(Count("12_AIN3"), 0);
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(view.title, "0 Records Unit:12 Tank level:3");
}

TEST_P(HistoryBrowserTest, DeleteBeforeALoadAsksNothing) {
    browser.DeleteHistoryRows();
    EXPECT_TRUE(box.shown.empty());
}

TEST_P(HistoryBrowserTest, ExportWritesTitleCaptionsAndNumberedRows) {
    LoadAin3();
    view.saveAs = (home_ / "report.txt").string();

    browser.ExportHistoryCsv();

    EXPECT_EQ(ReadFile(home_ / "report.txt.csv"),
              "5 Records Unit:12 Tank level:3\nNo,Value,RTU time,Server time\n"
              "0,2.5,2014-04-10 23:59:59,2014-04-10 23:59:59\n1,4.5,2014-04-11 00:00:00,2014-04-11 00:00:00\n"
              "2,5.0,2014-04-11 12:00:00,2014-04-11 12:00:00\n3,7.25,2014-04-11 23:59:59,2014-04-11 23:59:59\n"
              "4,9.0,2014-04-12 00:00:00,2014-04-12 00:00:00\n");
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{{"EXPORT_CSV_OK", "", MessageIcon::Information, MessageButtons::Ok}}));
}

TEST_P(HistoryBrowserTest, ExportLowerCasesOnlyTheFileName) {
    std::filesystem::create_directories(home_ / "Exports");
    LoadAin3();
    view.saveAs = (home_ / "Exports" / "Data.CSV").string();

    browser.ExportHistoryCsv();

    EXPECT_TRUE(std::filesystem::exists(home_ / "Exports" / "data.csv"));
}

TEST_P(HistoryBrowserTest, ExportOfAnEmptyListOrACancelledChoiceWritesNothing) {
    view.saveAs = (home_ / "empty.csv").string();
    browser.ExportHistoryCsv();
    LoadAin3();
    view.saveAs.reset();
    browser.ExportHistoryCsv();
    EXPECT_FALSE(std::filesystem::exists(home_ / "empty.csv"));
    EXPECT_TRUE(box.shown.empty());
}

TEST(CsvExportPath, ExtensionIsAddedAndOnlyTheNameLowerCased) {
    EXPECT_EQ(CsvExportPath("report.txt"), "report.txt.csv");
    EXPECT_EQ(CsvExportPath("Data.CSV"), "data.csv");
    EXPECT_EQ(CsvExportPath("/Home/Me/Q1.Csv"), "/Home/Me/q1.csv");
    EXPECT_EQ(CsvExportPath("/Home/My.CSV.dir/Report"), "/Home/My.CSV.dir/report");
}

}  // namespace
