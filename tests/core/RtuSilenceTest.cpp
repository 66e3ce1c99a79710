// When an RTU turns silent: its usual interval learnt from the times of its reports, and the rule
// that wins over STALE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/RtuActivity.h"
#include "core/RtuSilence.h"

namespace {

constexpr std::int64_t kStart = 1'800'000'000'000;  // any time in ms; the reports are given theirs
constexpr int kStale = 900;

// The reports at these seconds after kStart, on one slot.
RtuActivity::Report ReportsAt(RtuActivity& activity, const std::vector<int>& seconds) {
    for (int at : seconds) activity.Note(0, ReportOrigin{}, true, kStart + at * 1000LL);
    return activity.Read(0);
}

TEST(RtuSilence, TheUsualIntervalIsTheMedianOfRecentOnesAndSetsTheSilence) {
    const struct {
        const char* why;
        std::vector<int> at;
        std::int64_t usualMs;
        std::int64_t silentAfterMs;
        SilentBy by;
    } cases[] = {
        {"two intervals are not enough", {0, 100, 200}, 0, 900000, SilentBy::kStale},
        {"three give the median", {0, 100, 300, 400}, 100000, 300000, SilentBy::kUsualInterval},
        {"one long gap does not move it", {0, 120, 240, 3000, 3120}, 120000, 360000, SilentBy::kUsualInterval},
        {"frames of one burst give no interval",
         {0, 1, 2, 120, 121, 240, 241, 360},
         119000,
         357000,
         SilentBy::kUsualInterval},
        {"only the last seven count",
         {0, 1000, 2000, 3000, 3030, 3060, 3090, 3120, 3150, 3180, 3210},
         30000,
         90000,
         SilentBy::kUsualInterval},
        {"never under 60 s", {0, 20, 40, 60}, 20000, 60000, SilentBy::kUsualInterval},
        {"STALE comes first", {0, 400, 800, 1200}, 400000, 900000, SilentBy::kStale},
        {"an RTU that reports faster than every 20 s has none", {0, 5, 10, 15, 19}, 0, 900000, SilentBy::kStale},
    };
    for (const auto& c : cases) {
        RtuActivity activity;
        const RtuActivity::Report report = ReportsAt(activity, c.at);
        EXPECT_EQ(report.usualIntervalMs, c.usualMs) << c.why;
        const Silence silence = SilenceOf(report.usualIntervalMs, kStale);
        EXPECT_EQ(silence.afterMs, c.silentAfterMs) << c.why;
        EXPECT_EQ(silence.by, c.by) << c.why;
    }
}

TEST(RtuSilence, ARestoredReportCountsUntilOneIsHeardAndGivesNoInterval) {
    RtuActivity activity;
    activity.Restore(0, kStart - 86'400'000);
    RtuActivity::Report report = activity.Read(0);
    EXPECT_TRUE(report.restored);
    EXPECT_EQ(report.lastReportMs, kStart - 86'400'000);

    activity.Restore(0, kStart - 1000);  // a slot with a report keeps it
    EXPECT_EQ(activity.Read(0).lastReportMs, kStart - 86'400'000);

    // The day since the restored report is the program's stop, not an interval of the RTU's.
    report = ReportsAt(activity, {0, 100, 200, 300});
    EXPECT_FALSE(report.restored);
    EXPECT_EQ(report.lastReportMs, kStart + 300000);
    EXPECT_EQ(report.usualIntervalMs, 100000);
    activity.Restore(0, kStart);
    EXPECT_FALSE(activity.Read(0).restored);

    // A slot given to another RTU forgets the intervals of the one before.
    activity.Reset(0);
    EXPECT_EQ(ReportsAt(activity, {0, 30, 60}).usualIntervalMs, 0);
}

}  // namespace
