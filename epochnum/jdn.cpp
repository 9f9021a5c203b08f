// jdn: calendar date to Julian Day Number in 32-bit arithmetic.
#include "jdn.h"

#include <cstdio>

#include "streams.h"

namespace {

// The 32-bit signed sum, difference and product; each clears `fits` when the
// exact value leaves the 32-bit range (the returned value is then the wrapped
// one and is never used).
int32_t add32(int32_t a, int32_t b, bool& fits) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) fits = false;
    return r;
}

int32_t sub32(int32_t a, int32_t b, bool& fits) {
    int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) fits = false;
    return r;
}

int32_t mul32(int32_t a, int32_t b, bool& fits) {
    int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) fits = false;
    return r;
}

// A 32-bit product of an integer and a factor, truncated toward zero
// (-365.25 gives -365). The product of a 32-bit integer and a constant below
// 400 is always finite; outside [-2^31, 2^31) it has no 32-bit integer value.
int32_t trunc_product(int32_t n, float factor, bool& fits) {
    const float p = static_cast<float>(n) * factor;  // rounded to 32 bits
    if (!(p >= -2147483648.0f && p < 2147483648.0f)) {
        fits = false;
        return 0;
    }
    return static_cast<int32_t>(p);
}

}  // namespace

JdnValue jdn_value(int32_t month, int32_t day, int32_t year) {
    bool fits = true;

    // Year in astronomical numbering: 1 BC (-1) becomes 0. Year 0 does not
    // exist; it is counted as 1 BC after the notice.
    const bool year_zero = year == 0;
    int32_t shifted_year = year < 0 ? year + 1 : year;

    // Months counted from March, so that the leap day ends the year:
    // January and February belong to the year before.
    int32_t shifted_month;
    if (month > 2) {
        shifted_month = add32(month, 1, fits);
    } else {
        shifted_year = shifted_year - 1;  // shifted_year >= INT32_MIN + 1 here
        shifted_month = month + 13;       // month <= 2 here
    }

    const int32_t year_days = trunc_product(shifted_year, DAYS_PER_YEAR, fits);
    const int32_t month_days = trunc_product(shifted_month, DAYS_PER_MONTH, fits);
    int32_t jdn = add32(add32(year_days, month_days, fits), day, fits);

    // The date in days of 31-day months, from the date as read, only to
    // choose the calendar.
    const int32_t date_key = add32(day, mul32(31, add32(month, mul32(12, year, fits), fits), fits), fits);

    if (date_key >= GREGORIAN_KEY) {
        // Gregorian: three of every four century years are no leap years.
        const int32_t century = trunc_product(shifted_year, CENTURY_PER_YEAR, fits);
        const int32_t leap_days = trunc_product(century, LEAP_PER_CENTURY, fits);
        jdn = add32(add32(sub32(jdn, century, fits), leap_days, fits), JDN_BASE + 2, fits);
    } else {
        jdn = add32(jdn, JDN_BASE, fits);
    }

    return {fits ? jdn : 0, year_zero, fits};
}

int32_t date_to_jdn(int32_t month, int32_t day, int32_t year) {
    const JdnValue v = jdn_value(month, day, year);
    if (v.year_zero) write_free(STDOUT_STREAM, io(YEAR_ZERO_NOTICE, YEAR_ZERO_NOTICE_LEN));
    if (!v.fits) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%d %d %d (month day year): day number out of the 32-bit range",
                      static_cast<int>(month), static_cast<int>(day), static_cast<int>(year));
        fatal_io_error(Failure::bad_value, DATE_STREAM, stream_file(DATE_STREAM), detail);
    }
    return v.jdn;
}
