// Julian Day Numbers of calendar dates in the converter's 32-bit arithmetic.
#include <gtest/gtest.h>

#include <cstdint>

#include "jdn.h"

namespace {

struct DateRow {
    int32_t month;
    int32_t day;
    int32_t year;
    int32_t jdn;     // expected day number
    bool year_zero;  // expected notice
    const char* why;
};

// Dates whose numbers pin down each step: the anchors, the calendar switch,
// leap days, the years around 1 BC, truncation toward zero of negative
// products, the limit of the 32-bit products, and values outside the calendar.
const DateRow DATES[] = {
    {1, 1, 2000, 2451545, false, "epoch J2000"},
    {12, 31, 1999, 2451544, false, "day before J2000"},
    {1, 1, 1970, 2440588, false, "Unix epoch"},
    {11, 17, 1858, 2400001, false, "modified JD epoch"},
    {10, 4, 1582, 2299160, false, "last Julian date"},
    {10, 15, 1582, 2299161, false, "first Gregorian date"},
    {10, 5, 1582, 2299161, false, "skipped day taken as Julian"},
    {10, 14, 1582, 2299170, false, "last skipped day taken as Julian"},
    {2, 29, 2000, 2451604, false, "leap day of a 400th year"},
    {3, 1, 2000, 2451605, false, "day after a leap day"},
    {2, 29, 1700, 2342032, false, "no Gregorian leap day in 1700"},
    {3, 1, 1700, 2342032, false, "1 March 1700, same number"},
    {1, 1, 1, 1721424, false, "first day of AD 1"},
    {12, 31, -1, 1721423, false, "last day of 1 BC"},
    {1, 1, 0, 1721059, true, "year 0 counts as 1 BC, with the notice"},
    {1, 1, -1, 1721059, false, "1 January 1 BC"},
    {3, 1, 0, 1721118, true, "March of year 0"},
    {3, 1, -1, 1721118, false, "March of 1 BC"},
    {1, 1, -4713, 1, false, "negative year term truncated toward zero"},
    {3, 1, -4713, 60, false, "March 4713 BC"},
    {2, 28, 11487, 5916659, false, "last exact date of the 32-bit year term"},
    {3, 1, 11487, 5916661, false, "365.25 * 11487 rounds up in 32 bits"},
    {13, 1, 1999, 2451545, false, "month 13 as January of the next year"},
    {0, 1, 2000, 2451514, false, "month 0 as December of the year before"},
    {3, 0, 2000, 2451604, false, "day 0 as the last day of February"},
    {1, 32, 2000, 2451576, false, "day 32 as 1 February"},
    {2000, 1, 1, 1782591, false, "year given first: month 2000 of year 1"},
    // Ends of the 32-bit range that still fit.
    {1, 1, 5772805, 2110194738, false, "last 1 January that fits"},
    {1, 1, -5772805, -2106795568, false, "first 1 January that fits"},
    {12, 31, 5772804, 2110194737, false, "last 31 December that fits"},
    {1, 2145762222, 1, 2147483647, false, "day number at the top of the range"},
    {1, -2147483648, 2000, -2145032091, false, "most negative day"},
    {69249000, 1, 1, 2120747667, false, "huge month that still fits"},
};

TEST(DateToJdn, GivesTheDayNumberOfEachDate) {
    for (const DateRow& r : DATES) {
        const JdnValue v = jdn_value(r.month, r.day, r.year);
        SCOPED_TRACE(testing::Message() << r.month << " " << r.day << " " << r.year << ": " << r.why);
        EXPECT_TRUE(v.fits);
        EXPECT_EQ(v.jdn, r.jdn);
        EXPECT_EQ(v.year_zero, r.year_zero);
    }
}

struct BadDate {
    int32_t month;
    int32_t day;
    int32_t year;
    const char* why;
};

// Dates for which some step of the arithmetic leaves the 32-bit signed range.
const BadDate OUT_OF_RANGE[] = {
    {1, 1, 5772806, "date key beyond 2^31 - 1"},
    {1, 1, -5772806, "date key below -2^31"},
    {12, 31, 5772805, "date key of the last day of a fitting year"},
    {1, 1, 6000000, "year term beyond 2^31 - 1"},
    {1, 1, 2147483647, "largest year"},
    {1, 1, -2147483647 - 1, "smallest year"},
    {2147483647, 1, 2000, "month + 1 overflows"},
    {2147483647, 1, 0, "month + 1 overflows in year 0"},
    {-2147483647 - 1, 1, 2000, "month term below -2^31"},
    {69300000, 1, 1, "huge month"},
    {1, 2145762223, 1, "day number one beyond the top"},
    {1, 2147483647, 2000, "day sum overflows"},
    {3, -2147483647 - 1, -4000, "negative day sum overflows"},
};

TEST(DateToJdn, FlagsDatesBeyondTheThirtyTwoBitRange) {
    for (const BadDate& r : OUT_OF_RANGE) {
        const JdnValue v = jdn_value(r.month, r.day, r.year);
        SCOPED_TRACE(testing::Message() << r.month << " " << r.day << " " << r.year << ": " << r.why);
        EXPECT_FALSE(v.fits);
        EXPECT_EQ(v.year_zero, r.year == 0);  // the notice is still due before the failure
    }
}

bool julian_leap(int32_t y) { return y % 4 == 0; }
bool gregorian_leap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Every calendar date from 1 January AD 1 to 28 February 11487 is one day
// after the one before, across the ten days dropped in October 1582, so each
// number is the exact count of days.
TEST(DateToJdn, CountsEveryDayExactlyFromAdOneToFebruary11487) {
    const int32_t LENGTH[] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int32_t expected = 1721424;  // 1 January AD 1
    int32_t wrong = 0;
    for (int32_t year = 1; year <= 11487; ++year) {
        const bool gregorian = year > 1582;
        for (int32_t month = 1; month <= 12; ++month) {
            int32_t days = LENGTH[month];
            if (month == 2 && (gregorian ? gregorian_leap(year) : julian_leap(year))) days = 29;
            for (int32_t day = 1; day <= days; ++day) {
                if (year == 1582 && month == 10 && day == 5) day = 15;
                if (year == 11487 && month == 3) break;
                const JdnValue v = jdn_value(month, day, year);
                if ((v.jdn != expected || !v.fits) && ++wrong <= 5) {
                    ADD_FAILURE() << month << " " << day << " " << year << " gives " << v.jdn << ", expected "
                                  << expected;
                }
                ++expected;
            }
            if (year == 11487 && month == 2) break;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(expected - 1, 5916659);  // the walk ended on 28 February 11487
}

TEST(DateToJdnDeathTest, EndsTheRunOnADateBeyondTheRange) {
    EXPECT_EXIT(date_to_jdn(1, 1, 6000000), testing::ExitedWithCode(2), "1 1 6000000");
}

}  // namespace
