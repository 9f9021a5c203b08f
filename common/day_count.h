// day_count: the exact count of days of the proleptic Gregorian calendar.
//
// Owns turning a calendar date (astronomical years: 1 BC is year 0) into the
// number of days since 1 January 1900, the day 0.0 of a catalog's `dat`, and
// back, in 64-bit integers with no floating point. Every date is Gregorian,
// also before 15 October 1582, and the count goes negative before 1900.
// Does not own the date list converter's own arithmetic (epochnum's jdn,
// Julian before 1582 and in 32-bit float products), which it agrees with from
// 15 October 1582 to 28 February 11487: jdn = days_from_civil + JDN_OF_1900.
#pragma once

#include <cstdint>

// Julian Day Number of 1 January 1900, day 0 of the count.
constexpr int64_t JDN_OF_1900 = 2415021;

struct CivilDate {
    int64_t year;   // astronomical numbering (0 is 1 BC)
    int32_t month;  // 1 to 12
    int32_t day;    // 1 to 31
};

// Days from 1900-01-01 to the given date (negative before it). The month and
// day are taken as given; out-of-calendar values are the caller's to refuse.
int64_t days_from_civil(int64_t year, int32_t month, int32_t day);

// The date `days` days after 1900-01-01 (before it when negative).
CivilDate civil_from_days(int64_t days);

// Days in the month of the given year (February 29 in leap years).
int32_t days_in_month(int64_t year, int32_t month);
