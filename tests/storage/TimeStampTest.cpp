#include "storage/TimeStamp.h"

#include "tests/support/CalendarTime.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

namespace {

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local = Calendar(year, month, day, hour, minute, second);
    return std::mktime(&local);
}

std::string DayBound(std::time_t time, int mode) {
    char buffer[kTimeStampSize];
    FormatDayBound(buffer, time, mode);
    return buffer;
}

struct BoundCase {
    const char* name;
    int mode;
    const char* stamp;
};

void PrintTo(const BoundCase& c, std::ostream* out) { *out << c.name; }

class DayBoundTest : public ::testing::TestWithParam<BoundCase> {};

TEST_P(DayBoundTest, LeapDayBoundsFollowTheMode) {
    EXPECT_EQ(DayBound(LocalTime(2016, 2, 29, 13, 14, 15), GetParam().mode), GetParam().stamp);
}

INSTANTIATE_TEST_SUITE_P(Modes, DayBoundTest,
                         ::testing::Values(BoundCase{"Start", 0, "2016-02-29 00:00:00"},
                                           BoundCase{"End", 1, "2016-02-29 24:60:60"},
                                           BoundCase{"FullStamp", 2, "2016-02-29 13:14:15"},
                                           BoundCase{"NegativeModeIsFullStamp", -1, "2016-02-29 13:14:15"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimeStampTest, DayEndSortsAfterEveryStampOfTheDay) {
    EXPECT_GT(DayBound(LocalTime(2014, 4, 11, 0, 0, 0), 1), "2014-04-11 23:59:59");
    EXPECT_LT(DayBound(LocalTime(2014, 4, 11, 0, 0, 0), 1), "2014-04-12 00:00:00");
}

TEST(TimeStampTest, SingleDigitFieldsArePadded) {
    EXPECT_EQ(DayBound(LocalTime(2014, 4, 1, 9, 5, 7), 2), "2014-04-01 09:05:07");
}

TEST(TimeStampTest, NowLiesBetweenStampsTakenAroundIt) {
    char before[kTimeStampSize];
    char now[kTimeStampSize];
    char after[kTimeStampSize];
    FormatDayBound(before, std::time(nullptr), 2);
    FormatNow(now);
    FormatDayBound(after, std::time(nullptr), 2);
    EXPECT_EQ(std::string(now).size(), 19U);
    EXPECT_LE(std::string(before), now);
    EXPECT_LE(std::string(now), after);
}

}  // namespace
