// Dates in files and units are plain seconds; leap years and the 32-bit end must come out right.

#include "package/build_date.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(BuildDate, DecodesTheEpochLeapDaysAndTheLastSecond) {
    struct Case {
        std::uint32_t seconds;
        const char* text;
    };
    constexpr Case cases[] = {
        {0, "1970-01-01 00:00:00"},
        {951782400, "2000-02-29 00:00:00"},  // 2000 is a leap year though divisible by 100
        {951868800, "2000-03-01 00:00:00"},
        {4107542400u, "2100-03-01 00:00:00"},  // 2100 is not
        {1714550400, "2024-05-01 08:00:00"},
        {0xFFFFFFFFu, "2106-02-07 06:28:15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const BuildDate date = SecondsToDate(c.seconds);
        EXPECT_EQ(FormatDate(date), c.text);
        EXPECT_EQ(DateToSeconds(date), c.seconds);
    }
}

TEST(BuildDate, DatesThatSecondsCannotHoldGiveZero) {
    EXPECT_EQ(DateToSeconds({.day = 29, .month = 2, .year = 2100}), 0u);
    EXPECT_EQ(DateToSeconds({.day = 1, .month = 1, .year = 1969}), 0u);
    EXPECT_EQ(
        DateToSeconds({.second = 16, .minute = 28, .hour = 6, .day = 7, .month = 2, .year = 2106}),
        0u);
}

}  // namespace
}  // namespace kivrel
