// The running time: the year pivot, the validity check and calendar arithmetic.
#include <gtest/gtest.h>

#include <string>

#include "conversion/Failures.h"
#include "conversion/HeaderTexts.h"
#include "conversion/RecordTexts.h"
#include "conversion/RunningTime.h"

namespace {

using vsdl::conversion::RunningTime;

std::string Short(const RunningTime& t) {
    char buffer[17];
    return std::string(buffer, t.PutShort(buffer));
}

std::string Long(const RunningTime& t) {
    char buffer[19];
    return std::string(buffer, t.PutLong(buffer));
}

RunningTime At(int month, int day, int year2, int hour, int minute, int second) {
    RunningTime t;
    EXPECT_TRUE(t.Set(month, day, year2, hour, minute, second));
    return t;
}

TEST(RunningTime, PivotYear) {
    EXPECT_EQ(At(1, 1, 0, 0, 0, 0).year(), 2000);
    EXPECT_EQ(At(1, 1, 29, 0, 0, 0).year(), 2029);
    EXPECT_EQ(At(1, 1, 30, 0, 0, 0).year(), 1930);
    EXPECT_EQ(At(1, 1, 99, 0, 0, 0).year(), 1999);
    EXPECT_EQ(Long(At(7, 4, 30, 1, 2, 3)), "07/04/1930 01:02:03");
    EXPECT_EQ(Long(At(7, 4, 29, 1, 2, 3)), "07/04/2029 01:02:03");
}

TEST(RunningTime, ValidityCheck) {
    RunningTime t;
    EXPECT_FALSE(t.Set(13, 1, 5, 0, 0, 0));
    EXPECT_FALSE(t.Set(0, 1, 5, 0, 0, 0));
    EXPECT_FALSE(t.Set(1, 0, 5, 0, 0, 0));
    EXPECT_FALSE(t.Set(4, 31, 5, 0, 0, 0));
    EXPECT_FALSE(t.Set(2, 29, 99, 0, 0, 0));  // 1999 is no leap year
    EXPECT_TRUE(t.Set(2, 29, 0, 0, 0, 0));    // 2000 is one
    EXPECT_FALSE(t.Set(2, 29, 30, 0, 0, 0));  // 1930 is not
    EXPECT_FALSE(t.Set(1, 1, 5, 24, 0, 0));
    EXPECT_FALSE(t.Set(1, 1, 5, 0, 60, 0));
    EXPECT_FALSE(t.Set(1, 1, 5, 0, 0, 60));
    EXPECT_TRUE(t.Set(12, 31, 5, 23, 59, 59));
    // A failed Set leaves the time as it was.
    EXPECT_FALSE(t.Set(13, 1, 5, 0, 0, 0));
    EXPECT_EQ(Short(t), "12/31/05 23:59:59");
}

TEST(RunningTime, AddsAcrossMidnightMonthAndYearEnds) {
    RunningTime t = At(12, 31, 99, 23, 59, 59);
    ASSERT_TRUE(t.Add(1));
    EXPECT_EQ(Short(t), "01/01/00 00:00:00");
    EXPECT_EQ(Long(t), "01/01/2000 00:00:00");

    struct Step {
        RunningTime from;
        int seconds;
        const char* to;
    };
    for (Step step : {Step{At(2, 28, 0, 23, 59, 59), 1, "02/29/00 00:00:00"},
                      Step{At(2, 28, 99, 23, 59, 59), 1, "03/01/99 00:00:00"},
                      Step{At(4, 30, 5, 23, 30, 0), 1800, "05/01/05 00:00:00"},
                      Step{At(1, 31, 5, 23, 59, 30), 60, "02/01/05 00:00:30"},
                      Step{At(6, 15, 5, 10, 59, 50), 20, "06/15/05 11:00:10"}}) {
        ASSERT_TRUE(step.from.Add(step.seconds)) << step.to;
        EXPECT_EQ(Short(step.from), step.to);
    }
}

TEST(RunningTime, ZeroIntervalStandsStill) {
    RunningTime t = At(3, 4, 5, 6, 7, 8);
    ASSERT_TRUE(t.Add(0));
    EXPECT_EQ(Short(t), "03/04/05 06:07:08");
}

TEST(RunningTime, ManySmallStepsEqualOneDayOfCalendar) {
    // A year of 30-minute steps from a leap year start lands exactly 366 days later.
    RunningTime t = At(1, 1, 8, 0, 0, 0);
    for (int i = 0; i < 366 * 48; ++i) ASSERT_TRUE(t.Add(1800));
    EXPECT_EQ(Long(t), "01/01/2009 00:00:00");
}

TEST(RunningTime, StopsAtTheLastRepresentableSecond) {
    RunningTime t;
    ASSERT_TRUE(t.SetFull(9999, 12, 31, 23, 59, 58));
    EXPECT_TRUE(t.Add(1));
    EXPECT_EQ(Long(t), "12/31/9999 23:59:59");
    EXPECT_FALSE(t.Add(1));
    EXPECT_EQ(Long(t), "12/31/9999 23:59:59");
    EXPECT_FALSE(t.SetFull(10000, 1, 1, 0, 0, 0));
}

}  // namespace
