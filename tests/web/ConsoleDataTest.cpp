// The web console's own data: the raw-data ring, the history channels a browser may ask for, and
// the tail of the event log. The pages themselves are tested in a browser (tests/browser).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/RtuSlot.h"
#include "tests/support/TempWorkingDirectory.h"
#include "web/ChannelValues.h"
#include "web/ConsoleTopics.h"
#include "web/HistoryApi.h"
#include "web/HistoryChart.h"
#include "web/RawDataTail.h"

namespace {

class CountingList final : public IRawDataList {
public:
    void AddLine(const char* text) override { lines.push_back(text); }
    int Count() override { return static_cast<int>(lines.size()); }
    void Clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

TEST(RawDataTail, KeepsTheNewestLinesAcrossTheRingAndHandsEveryLineOn) {
    CountingList page;
    RawDataTail tail(&page);
    const std::size_t total = RawDataTail::kLines + 7;
    for (std::size_t i = 1; i <= total; ++i) tail.AddLine(("line " + std::to_string(i) + "\r\n").c_str());
    EXPECT_EQ(page.lines.size(), total);
    EXPECT_EQ(tail.Count(), static_cast<int>(total));

    std::vector<std::string> lines;
    EXPECT_EQ(tail.LinesAfter(0, lines), total);
    ASSERT_EQ(lines.size(), RawDataTail::kLines);
    EXPECT_EQ(lines.front(), "line 8");
    EXPECT_EQ(lines.back(), "line " + std::to_string(total));

    lines.clear();
    EXPECT_EQ(tail.LinesAfter(total - 2, lines), total);
    EXPECT_EQ(lines, (std::vector<std::string>{"line " + std::to_string(total - 1), "line " + std::to_string(total)}));

    tail.Clear();  // the decoder's clear empties the page, not the ring
    EXPECT_TRUE(page.lines.empty());
    lines.clear();
    tail.LinesAfter(total - 1, lines);
    EXPECT_EQ(lines.size(), 1u);
    tail.AddLine(std::string(2 * RawDataTail::kMaxLineBytes, 'x').c_str());
    lines.clear();
    tail.LinesAfter(total, lines);
    EXPECT_EQ(lines.at(0).size(), RawDataTail::kMaxLineBytes);
}

TEST(HistoryChannels, AreTheStatePagesAndTheRegisterListsAndNothingElse) {
    const struct {
        const char* text;
        const char* name;
        int number;
        const char* key;
    } valid[] = {{"AIN3", "AIN", 3, "AD3"},
                 {"DIN0", "DIN", 0, "DIN"},
                 {"SIGNAL", "SIGNAL", -1, "SIGNAL"},
                 {"ECOUNTER_REPORT2", "ECOUNTER_REPORT", 2, "COUNTER2"},
                 {"ECOUNTER1", "ECOUNTER", 1, "COUNTER1"},
                 {"GRYCODE0", "GRYCODE", 0, "GRAYCODE0"},
                 {"MBUSREG31", "MBUSREG", 31, "MBUSREG31"},
                 {"ETEMP2", "ETEMP", 2, "ETEMP"}};
    for (const auto& c : valid) {
        const auto channel = ParseHistoryChannel(c.text);
        ASSERT_TRUE(channel) << c.text;
        EXPECT_EQ(channel->name, c.name);
        EXPECT_EQ(channel->number, c.number);
        EXPECT_EQ(channel->displayKey, c.key);
    }
    for (const char* text : {"", "AIN", "AIN32", "AIN03", "AIN-1", "SIGNAL1", "AIN1; DROP TABLE RTU_TAB", "RTU_TAB",
                             "ain1", "ECOUNTER_REPORT"}) {
        EXPECT_FALSE(ParseHistoryChannel(text)) << text;
    }
}

TEST(FileTail, GivesTheLastLinesOfTheLastBytes) {
    TempWorkingDirectory directory;
    {
        std::ofstream log("Log.txt");
        for (int i = 1; i <= 300; ++i) log << "07-12-2026 12:00:00: failure " << i << "\r\n";
    }
    const std::vector<std::string> lines = FileTail("Log.txt", 3, 1024);
    EXPECT_EQ(lines, (std::vector<std::string>{"07-12-2026 12:00:00: failure 298", "07-12-2026 12:00:00: failure 299",
                                               "07-12-2026 12:00:00: failure 300"}));
    // The lines are 34 bytes each: the last 200 bytes hold five whole ones.
    EXPECT_EQ(FileTail("Log.txt", 100, 200).size(), 5u);
    EXPECT_TRUE(FileTail("missing.txt", 3, 1024).empty());
}

}  // namespace

// A channel the RTU has not reported since its slot was filled reads as null, a reported zero as 0.
TEST(ChannelValues, AreNullUntilReportedAndAgainOnceTheSlotIsCleared) {
    RtuSlot slot;
    slot.SetUidText("12");
    slot.SetModel(402);
    slot.SetAin(1, 0.0);
    slot.SetDin(3, 1);
    const auto values = [&slot] {
        ReportedChannels reported;
        const RtuRecord record = slot.Snapshot(reported);
        std::map<std::string, nlohmann::json> byChannel;
        for (const nlohmann::json& channel : ChannelValues(record, reported, ChannelNames()))
            byChannel[channel["channel"]] = channel["value"];
        return byChannel;
    };
    std::map<std::string, nlohmann::json> shown = values();
    EXPECT_EQ(shown["AIN1"], 0.0);
    EXPECT_EQ(shown["DIN3"], true);
    for (const char* channel : {"AIN0", "DIN0", "ITEMP", "SIGNAL", "BATT"})
        EXPECT_TRUE(shown[channel].is_null()) << channel;
    slot.Reset();
    slot.SetUidText("12");
    slot.SetModel(402);
    EXPECT_TRUE(values()["AIN1"].is_null());
}

// The zoom's times go into the statement as they are, so only this one form passes.
TEST(WallClockSeconds, ReadsOnlyAStampOfTheServersClock) {
    EXPECT_EQ(WallClockSeconds("1970-01-02 00:00:01"), 86401);
    EXPECT_EQ(WallClockSeconds("2026-12-07 12:00:00").value() - WallClockSeconds("2026-12-06 12:00:00").value(), 86400);
    for (const char* text : {"2026-12-07 12:00", "2026-12-07T12:00:00", "2026-13-07 12:00:00", "2026-12-07 12:00:0'",
                             "2026-12-07 12:00:00' OR '1'='1", ""}) {
        EXPECT_FALSE(WallClockSeconds(text)) << text;
    }
}

// 3,000 readings a minute apart with an hour missing after the 2,500th: the chart has at most
// 2,000 points plus the gap's two rows, and its line breaks between those two.
TEST(ChartPoints, BreakTheLineWhereNothingArrivedAndKeepBothSidesOfTheGap) {
    std::vector<HistoryRow> rows;
    for (int i = 0; i < 3000; ++i) {
        const int minute = i + (i >= 2500 ? 60 : 0);
        char time[32];
        std::snprintf(time, sizeof time, "2026-12-%02d %02d:%02d:00", 1 + minute / 1440, minute / 60 % 24, minute % 60);
        rows.push_back({std::to_string(i), std::to_string(i % 10), "", time, false});
    }
    const nlohmann::json points = ChartPoints(rows);
    EXPECT_LE(points.size(), kMaxChartPoints + 3);
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].is_null()) breaks.push_back(i);
    }
    ASSERT_EQ(breaks.size(), 1u);
    EXPECT_EQ(points[breaks[0] - 1][0], 2499);
    EXPECT_EQ(points[breaks[0] + 1][0], 2500);
    EXPECT_EQ(points[breaks[0] + 1][1], rows[2500].localTime);
}
