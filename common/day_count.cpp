// day_count: exact proleptic Gregorian day counts in 64-bit integers.
//
// Both directions count in eras of 400 years (146097 days), the Gregorian
// cycle, with years starting on 1 March so that the leap day is the last day
// of a year.

#include "day_count.h"

namespace {

constexpr int64_t DAYS_PER_ERA = 146097;  // 400 Gregorian years
// Days from 0000-03-01 to 1900-01-01: 1900 is day 693901 of a count that
// starts 0000-03-01 (days_from_civil(1900, 1, 1) without the shift is 0).
constexpr int64_t SHIFT_TO_1900 = 693901;

int64_t floor_div(int64_t a, int64_t b) { return (a >= 0 ? a : a - (b - 1)) / b; }

}  // namespace

int64_t days_from_civil(int64_t year, int32_t month, int32_t day) {
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = floor_div(y, 400);
    const int64_t yoe = y - era * 400;                          // 0 to 399
    const int64_t mp = month > 2 ? month - 3 : month + 9;       // months from March
    const int64_t doy = (153 * mp + 2) / 5 + day - 1;           // 0 to 365
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;  // 0 to 146096
    return era * DAYS_PER_ERA + doe - SHIFT_TO_1900;
}

CivilDate civil_from_days(int64_t days) {
    const int64_t z = days + SHIFT_TO_1900;
    const int64_t era = floor_div(z, DAYS_PER_ERA);
    const int64_t doe = z - era * DAYS_PER_ERA;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int32_t day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    const int32_t month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

int32_t days_in_month(int64_t year, int32_t month) {
    static const int32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return DAYS[month - 1];
}
