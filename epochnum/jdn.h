// jdn: calendar date to Julian Day Number, as the date list converter counts it.
//
// Owns the conversion of one (month, day, year) date into its day number in
// 32-bit signed integers and truncated 32-bit float products, the choice
// between the Julian and the Gregorian calendar, and the year-zero notice.
// Dates up to 4 October 1582 are Julian, from 15 October 1582 Gregorian;
// years are historical (1 BC is year -1, there is no year 0).
// Does not own reading the dates or writing the numbers (text_io, main).
#pragma once

#include <bit>
#include <cstdint>

// Days per Julian year; exact in 32 bits.
constexpr float DAYS_PER_YEAR = 365.25f;
// Mean days per month counted from March: the 32-bit float nearest 30.6001,
// bit pattern 0x41F4CD01 (30.600099563598633).
constexpr float DAYS_PER_MONTH = std::bit_cast<float>(0x41F4CD01u);
// Years to centuries: the 32-bit float nearest 0.01, bit pattern 0x3C23D70A
// (0.009999999776482582).
constexpr float CENTURY_PER_YEAR = std::bit_cast<float>(0x3C23D70Au);
// Leap days skipped per century, a quarter of them restored; exact in 32 bits.
constexpr float LEAP_PER_CENTURY = 0.25f;

// date_key (day + 31 * (month + 12 * year)) of 15 October 1582, the first
// Gregorian date.
constexpr int32_t GREGORIAN_KEY = 588829;
// Day number offset of the Julian calendar; the Gregorian one adds 2 more.
constexpr int32_t JDN_BASE = 1720995;

// Written on standard output for every date given in year 0 (27 characters).
constexpr char YEAR_ZERO_NOTICE[] = "epno: there is no year zero";
constexpr int32_t YEAR_ZERO_NOTICE_LEN = sizeof YEAR_ZERO_NOTICE - 1;

// The outcome of converting one date, without any output.
struct JdnValue {
    int32_t jdn;     // Julian Day Number, days; 0 when `fits` is false
    bool year_zero;  // the date was given in year 0: the notice is due before its number
    bool fits;       // every intermediate value stayed in the 32-bit signed range
};

// Converts one date with no side effect. Every integer step is a 32-bit
// signed step and every product a 32-bit float product truncated toward
// zero; when one of them would leave the 32-bit signed range (years beyond
// about +-5,770,000, months or days near the ends of the range), `fits` is
// false and `jdn` carries no meaning.
JdnValue jdn_value(int32_t month, int32_t day, int32_t year);

// Converts one date for the run: writes the year-zero notice on standard
// output where it applies, then returns the day number. A date whose
// arithmetic leaves the 32-bit range ends the run with the bad-value failure
// on the date stream (16, "i_dat"): a wrong day number is worse than none.
int32_t date_to_jdn(int32_t month, int32_t day, int32_t year);

// Stream of the dates ("i_dat") and of the day numbers ("o_dat").
constexpr int32_t DATE_STREAM = 16;
constexpr int32_t JDN_STREAM = 17;
