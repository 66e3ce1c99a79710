// An RTU's last report restored from the history at start: the newest LTIME of any of its channels.
#include "tests/storage/StorageFixture.h"

#include "core/RtuTable.h"
#include "storage/LastReports.h"
#include "storage/ReadingsView.h"
#include "storage/Schema.h"
#include "storage/StatementTexts.h"
#include "storage/sql/ComposeStatement.h"
#include "tests/support/ZoneTime.h"

namespace {

class LastReportsFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        Exec(kFullRcdsCreation);
        CreateReadingsView(db);  // the index the lookups go through
    }

    void Insert(int rid, int unit, const char* channel, const char* ltime) {
        Exec(ComposeStatement(512, kFullRcdsInsertFormat, rid, unit, channel, 0, 1.0, 1, "", "20261207120000", ltime));
    }
};

using LastReportsTest = OnEachEngine<LastReportsFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, LastReportsTest, EachEngine(), EngineName);

TEST_P(LastReportsTest, TheNewestReadingOfAnyChannelIsTheUnitsLastReport) {
    ScopedTimeZone telvorn("Asia/Kolkata");
    Insert(1, 12, "AIN", "2026-12-08 10:00:00");
    Insert(2, 12, "DIN", "2026-12-08 11:30:00");  // the newest of unit 12, on a channel sorting after AIN
    Insert(3, 12, "BATT", "2026-12-08 09:00:00");
    Insert(4, 123, "AIN", "2026-12-08 12:00:00");  // a unit id that begins with 12
    Insert(5, 1, "AIN", "2026-12-07 23:59:59");
    const struct {
        const char* uid;
        std::int64_t ms;  // the LTIME at +05:30
    } cases[] = {{"12", 1796709600000}, {"123", 1796711400000}, {"1", 1796668199000}, {"7", 0}, {"12' OR '1", 0}};
    for (const auto& c : cases) EXPECT_EQ(NewestReadingMs(db, c.uid), c.ms) << c.uid;

    // Into the live table: a unit heard already keeps its report, one without history stays never.
    RtuTable table;
    for (std::size_t i = 0; i < 3; ++i) table.Slot(i).SetUidText(cases[i].uid);
    table.Slot(3).SetUidText("7");
    table.Activity().Note(2, ReportOrigin{}, true, 1796800000000);
    RestoreLastReports(db, table);
    EXPECT_EQ(table.Activity().Read(0).lastReportMs, 1796709600000);
    EXPECT_TRUE(table.Activity().Read(0).restored);
    EXPECT_EQ(table.Activity().Read(1).lastReportMs, 1796711400000);
    EXPECT_EQ(table.Activity().Read(2).lastReportMs, 1796800000000);
    EXPECT_FALSE(table.Activity().Read(2).restored);
    EXPECT_EQ(table.Activity().Read(3).lastReportMs, 0);
}

}  // namespace
