// The READINGS view over FULLRCDS on each engine: each row's arrival time with the offset its
// LTIME was written at, through summer time and a change of zone between two starts, read in
// sessions of two other zones.
#include "tests/storage/StorageFixture.h"

#include "storage/ReadingsView.h"
#include "storage/Schema.h"
#include "storage/StatementTexts.h"
#include "storage/ZoneSpans.h"
#include "storage/sql/ComposeStatement.h"
#include "tests/support/ZoneTime.h"

namespace {

class ReadingsViewFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        Connect();
        Exec(kFullRcdsCreation);
    }

    void Insert(int rid, int channel, const std::string& ltime) {
        Exec(ComposeStatement(512, kFullRcdsInsertFormat, rid, 12, "AIN", channel, 12.5 + channel, 1, "",
                              "20261207120000", ltime.c_str()));
    }

    // Each row's channel, value, RTU time and TS as seconds since 1970, read in a session of `zone`.
    Rows ReadIn(const std::string& zone) {
        ScopedTimeZone session(zone);
        if (OnPostgres()) Exec("SET TIME ZONE '" + zone + "'");
        Rows rows = Query("SELECT CHANNEL, VALUE, RTU_TIME, TS FROM READINGS WHERE UID = '12' ORDER BY CHANNEL", 4);
        for (auto& row : rows) row[3] = std::to_string(EpochOfTimestamp(row[3]));
        return rows;
    }

    static std::string Epoch(const char* utc) {
        std::tm fields{};
        std::sscanf(utc, "%d-%d-%d %d:%d:%d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday, &fields.tm_hour,
                    &fields.tm_min, &fields.tm_sec);
        fields.tm_year -= 1900;
        fields.tm_mon -= 1;
        return std::to_string(timegm(&fields));
    }
};

using ReadingsViewTest = OnEachEngine<ReadingsViewFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, ReadingsViewTest, EachEngine(), EngineName);

TEST_P(ReadingsViewTest, TsIsTheInstantLtimeWasWrittenAtThroughSummerTime) {
    const struct {
        const char* ltime;  // New York time
        const char* utc;
    } cases[] = {
        {"2026-01-15 08:00:00", "2026-01-15 13:00:00"}, {"2026-07-15 08:00:00", "2026-07-15 12:00:00"},
        {"2026-03-08 01:59:59", "2026-03-08 06:59:59"}, {"2026-03-08 03:00:00", "2026-03-08 07:00:00"},
        {"2026-11-01 01:30:00", "2026-11-01 05:30:00"},  // the repeated hour: its first pass
        {"2026-11-01 02:00:00", "2026-11-01 07:00:00"},
    };
    {
        ScopedTimeZone telvorn("America/New_York");
        CreateReadingsView(db);
    }
    Rows expected;
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        Insert(i + 1, i, cases[i].ltime);
        expected.push_back(
            {"AIN" + std::to_string(i), std::to_string(12.5 + i).substr(0, 4), "20261207120000", Epoch(cases[i].utc)});
    }
    for (const char* session : {"UTC", "Pacific/Auckland"}) EXPECT_EQ(ReadIn(session), expected) << session;
    if (!OnPostgres()) {
        EXPECT_EQ(Column("SELECT TS FROM READINGS WHERE CHANNEL = 'AIN1'"),
                  std::vector<std::string>{"2026-07-15T08:00:00-04:00"});
    }
}

TEST_P(ReadingsViewTest, StartInAnotherZoneKeepsEarlierRowsAtTheirOffset) {
    const std::time_t now = std::time(nullptr);
    {
        ScopedTimeZone telvorn("Asia/Kolkata");
        CreateReadingsView(db);
        Insert(1, 0, LtimeText(now - 86400, 19800));
        const int spans = Count("LTIME_ZONE");
        CreateReadingsView(db);  // a start in the same zone changes nothing
        EXPECT_EQ(Count("LTIME_ZONE"), spans);
        EXPECT_TRUE(LogLines().empty());
    }
    {
        ScopedTimeZone telvorn("UTC");
        CreateReadingsView(db);
        Insert(2, 1, LtimeText(now + 60, 0));
    }
    const Rows rows = ReadIn("America/Los_Angeles");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][3], std::to_string(now - 86400));
    EXPECT_EQ(rows[1][3], std::to_string(now + 60));
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_NE(LogLines()[0].find("is read at UTC offset +00:00: the local time zone has changed"), std::string::npos);
}

}  // namespace
