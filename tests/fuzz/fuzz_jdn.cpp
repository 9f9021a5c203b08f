// Fuzz harness: calendar dates to day numbers over the whole 32-bit range.
//
// Month, day and year come from the input: raw 32-bit values, the ends of the
// range, the edges of the range in which every step fits (years near
// +-5,000,000 and +-5,770,000), the calendar switch of October 1582 and the
// end of exact results in 11487, each with a small offset. For every date:
// - jdn_value runs without any undefined step (the sanitizer stops signed
//   overflow and out-of-range conversions);
// - its result equals the same steps done in 64-bit arithmetic, and `fits`
//   is false exactly when one of those steps leaves the 32-bit range;
// - every date with month 1 to 12, day 1 to 31 and a year within
//   +-5,000,000 fits;
// - a real calendar date from 1 January 1 to 28 February 11487 (the ten
//   dropped days of October 1582 aside) gets its exact Julian Day Number, as
//   the usual whole-number formulas of the Julian and Gregorian calendars
//   count it;
// - date_to_jdn returns the same number, writes the year-zero notice to
//   standard output exactly for year 0, and ends the run with a bad-value
//   diagnostic naming the date when the date does not fit.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz_support.h"
#include "jdn.h"
#include "text_io.h"

namespace {

constexpr int64_t I32_MIN = std::numeric_limits<int32_t>::min();
constexpr int64_t I32_MAX = std::numeric_limits<int32_t>::max();

const int64_t YEARS[] = {0,
                         1,
                         -1,
                         1582,
                         1583,
                         1700,
                         1858,
                         1970,
                         2000,
                         11487,
                         -4713,
                         -4712,
                         5000000,
                         -5000000,
                         5770000,
                         -5770000,
                         5880000,
                         -5880000,
                         2147483647 / 12,
                         -2147483647 / 12,
                         I32_MAX,
                         I32_MIN};
const int64_t MONTHS[] = {1, 2, 3, 10, 12, 0, 13, -1, I32_MAX, I32_MIN, I32_MAX / 31, I32_MIN / 31};
const int64_t DAYS[] = {1, 4, 5, 14, 15, 28, 29, 30, 31, 0, 32, -1, I32_MAX, I32_MIN};

int32_t pick(Bytes& in, const int64_t* list, size_t n) {
    const uint8_t sel = take_byte(in);
    if (sel >= 0xC0) return take_bits<int32_t>(in);
    const int64_t v = list[sel % n] + static_cast<int8_t>(take_byte(in)) / 16;  // offset -8 to 7
    return static_cast<int32_t>(v < I32_MIN ? I32_MIN : v > I32_MAX ? I32_MAX : v);
}

// The steps of the conversion in 64-bit arithmetic; `fits` false when one of
// them leaves the 32-bit range.
struct Wide {
    int64_t jdn = 0;
    bool fits = true;
};

int64_t step(int64_t v, bool& fits) {
    if (v < I32_MIN || v > I32_MAX) fits = false;
    return v;
}

// A 32-bit float product truncated toward zero; out of range when the
// product has no 32-bit integer value.
int64_t trunc_product(int64_t n, float factor, bool& fits) {
    const float p = static_cast<float>(static_cast<int32_t>(n)) * factor;
    if (!(p >= -2147483648.0f && p < 2147483648.0f)) {
        fits = false;
        return 0;
    }
    return static_cast<int64_t>(std::trunc(static_cast<double>(p)));
}

Wide wide(int32_t month, int32_t day, int32_t year) {
    Wide w;
    bool& f = w.fits;
    int64_t sy = year < 0 ? int64_t{year} + 1 : year;
    int64_t sm;
    if (month > 2) {
        sm = step(int64_t{month} + 1, f);
    } else {
        sy = step(sy - 1, f);
        sm = step(int64_t{month} + 13, f);
    }
    if (!f) return w;
    const int64_t year_days = trunc_product(sy, 365.25f, f);
    const int64_t month_days = trunc_product(sm, DAYS_PER_MONTH, f);
    int64_t jdn = step(step(year_days + month_days, f) + day, f);
    const int64_t key = step(day + step(31 * step(month + step(12 * int64_t{year}, f), f), f), f);
    if (key >= 588829) {
        const int64_t century = trunc_product(sy, CENTURY_PER_YEAR, f);
        const int64_t leap = trunc_product(century, 0.25f, f);
        jdn = step(step(step(jdn - century, f) + leap, f) + 1720997, f);
    } else {
        jdn = step(jdn + 1720995, f);
    }
    w.jdn = jdn;
    return w;
}

bool leap_year(int64_t y, bool gregorian) {
    if (!gregorian) return y % 4 == 0;
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// The exact Julian Day Number of a real date of year 1 or later, by the
// whole-number formulas (Julian calendar up to 4 October 1582); false when
// the date is not a real one or outside the years where it is checked.
bool exact_jdn(int32_t month, int32_t day, int32_t year, int64_t& jdn) {
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    if (year > 11487 || (year == 11487 && month > 2)) return false;
    const bool gregorian = year > 1582 || (year == 1582 && (month > 10 || (month == 10 && day >= 15)));
    if (year == 1582 && month == 10 && day > 4 && day < 15) return false;
    static const int DAYS_IN[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int last = DAYS_IN[month - 1] + (month == 2 && leap_year(year, gregorian) ? 1 : 0);
    if (day > last) return false;
    const int64_t a = (14 - month) / 12;
    const int64_t y = int64_t{year} + 4800 - a;
    const int64_t m = month + 12 * a - 3;
    jdn = day + (153 * m + 2) / 5 + 365 * y + y / 4 - 32083;
    if (gregorian) jdn = jdn - y / 100 + y / 400 + 38;
    return true;
}

void check_date(int32_t month, int32_t day, int32_t year, bool through_run) {
    const std::string date = std::to_string(month) + " " + std::to_string(day) + " " + std::to_string(year);
    const JdnValue v = jdn_value(month, day, year);
    const Wide w = wide(month, day, year);
    check(v.year_zero == (year == 0), "year zero flagged exactly for year 0", date);
    check(v.fits == w.fits, "fits exactly when every step stays in 32 bits", date);
    if (v.fits)
        check(v.jdn == w.jdn, "day number as the steps give it",
              date + ": " + std::to_string(v.jdn) + " vs " + std::to_string(w.jdn));
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= -5000000 && year <= 5000000) {
        check(v.fits, "a calendar-like date within 5,000,000 years fits", date);
    }
    int64_t exact = 0;
    if (exact_jdn(month, day, year, exact)) {
        check(v.jdn == exact, "a real date gets its exact day number",
              date + ": " + std::to_string(v.jdn) + " vs " + std::to_string(exact));
    }

    if (!through_run && year != 0 && v.fits) return;
    reset_streams();
    set_program_name("epochnum");
    set_fatal_hook(throw_fatal);
    // Standard output goes to a scratch file where the notice is looked for,
    // else to /dev/null.
    const bool look = through_run || year == 0;
    const std::string out = look ? scratch("stdout") : "/dev/null";
    if (look) put_file(out, "");
    bool failed = false;
    int32_t got = 0;
    try {
        connect_stream(STDOUT_STREAM, out);
        got = date_to_jdn(month, day, year);
        close_all_streams();
    } catch (const Fatal&) {
        failed = true;
        const std::string d(last_diagnostic());
        check(d.rfind("epochnum: bad value ", 0) == 0, "an out-of-range date is a bad value", d);
        check(d.find(date) != std::string::npos, "the diagnostic names the date", d + " / " + date);
        check(d.find("(stream 16)") != std::string::npos, "the diagnostic names the date stream", d);
    }
    check(failed == !v.fits, "date_to_jdn fails exactly when the date does not fit", date);
    if (!failed) check(got == v.jdn, "date_to_jdn returns jdn_value's number", date);
    const std::string notice = year == 0 ? std::string(" ") + YEAR_ZERO_NOTICE + "\n" : "";
    if (look) check(get_file(out) == notice, "the year-zero notice exactly for year 0", date + ": " + get_file(out));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const uint8_t mode = take_byte(in);
    const int32_t month = pick(in, MONTHS, std::size(MONTHS));
    const int32_t day = pick(in, DAYS, std::size(DAYS));
    const int32_t year = pick(in, YEARS, std::size(YEARS));
    check_date(month, day, year, (mode & 7) == 0);
    // The neighbours in each value, where a step crosses a range end.
    if (mode & 0x80) {
        for (int32_t d = -1; d <= 1; d += 2) {
            if (month != (d < 0 ? INT32_MIN : INT32_MAX)) check_date(month + d, day, year, false);
            if (day != (d < 0 ? INT32_MIN : INT32_MAX)) check_date(month, day + d, year, false);
            if (year != (d < 0 ? INT32_MIN : INT32_MAX)) check_date(month, day, year + d, false);
        }
    }
    return 0;
}
