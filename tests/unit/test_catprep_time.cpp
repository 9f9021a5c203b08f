// Origin times of catprep: time texts to exact instants, the `tim` text and
// the `dat` days, and the exact day count they rest on.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "day_count.h"
#include "exact_time.h"
#include "harness.h"
#include "jdn.h"
#include "random_catalog.h"

namespace {

struct TimeRow {
    const char* text;
    const char* tim;  // expected tim; nullptr: the text is no time
    const char* dat;  // expected dat
    const char* why;
};

const TimeRow TIMES[] = {
    {"2013-12-31T19:25:31.990Z", "2013-12-31T19:25:31.990Z", "41637.80939803", "ComCat form"},
    {"2011-01-01 00:02:31.960", "2011-01-01T00:02:31.960Z", "40542.00175880", "old ComCat form: blank, no Z"},
    {"1900-01-01T00:00:00Z", "1900-01-01T00:00:00.000Z", "0.00000000", "day 0"},
    {"1920-01-01", "1920-01-01T00:00:00.000Z", "7304.00000000", "date alone"},
    {"1965-01-01T00:00", "1965-01-01T00:00:00.000Z", "23741.00000000", "no seconds"},
    {"2000-01-01T00:00:00", "2000-01-01T00:00:00.000Z", "36524.00000000", "no designator is UTC"},
    {"2011-01-08T00:04:29", "2011-01-08T00:04:29.000Z", "40549.00311343", "whole seconds (IRIS)"},
    {"2016-06-05T21:06:04.7Z", "2016-06-05T21:06:04.700Z", "42524.87922106", "one decimal (EMSC)"},
    {"2021-02-28T23:37:15.211956", "2021-02-28T23:37:15.212Z", "44253.98420384", "six decimals (GEOFON)"},
    {"2004-12-26T00:58:53.123456789Z", "2004-12-26T00:58:53.123Z", "38345.04089263", "nine decimals"},
    {"2004-12-26T00:58:53.12345678901234567890123Z", "2004-12-26T00:58:53.123Z", "38345.04089263", "23 decimals"},
    {"2020-01-02T03:04:05.0005", "2020-01-02T03:04:05.000Z", "43830.12783565", "half a ms: to even (down)"},
    {"2020-01-02T03:04:05.0015", "2020-01-02T03:04:05.002Z", "43830.12783567", "half a ms: to even (up)"},
    {"2020-01-02T03:04:05.00050000000000000000001", "2020-01-02T03:04:05.001Z", "43830.12783565",
     "just above half a ms, beyond the 18th digit"},
    {"2020-01-01T08:59:59.9996+09:00", "2020-01-01T00:00:00.000Z", "43829.00000000",
     "offset, and the carry into the new year"},
    {"2019-12-31T23:59:59.9995Z", "2020-01-01T00:00:00.000Z", "43828.99999999",
     "tie carried across the year in tim; dat from the exact time"},
    {"2019-12-31T23:59:59.9994999Z", "2019-12-31T23:59:59.999Z", "43828.99999999", "below the tie"},
    {"2020-02-28T23:59:59.9999Z", "2020-02-29T00:00:00.000Z", "43888.00000000", "carry into a leap day"},
    {"2016-12-31T23:59:60.5Z", "2017-01-01T00:00:00.500Z", "42734.00000579", "leap second"},
    {"2017-01-01T08:59:60+09:00", "2017-01-01T00:00:00.000Z", "42734.00000000", "leap second in local time"},
    {"2011-03-11T14:46:24.12+09:00", "2011-03-11T05:46:24.120Z", "40611.24055694", "+HH:MM"},
    {"2011-03-11T14:46:24.12+0900", "2011-03-11T05:46:24.120Z", "40611.24055694", "+HHMM"},
    {"2011-03-11T14:46:24.12+09", "2011-03-11T05:46:24.120Z", "40611.24055694", "+HH"},
    {"2011-03-10T21:46:24.12-08:00", "2011-03-11T05:46:24.120Z", "40611.24055694", "negative offset, next day"},
    {"2012-04-04T14:21:42.3+00:00", "2012-04-04T14:21:42.300Z", "41001.59840625", "zero offset (NERIES)"},
    {"1899-12-31T23:59:59.999Z", "1899-12-31T23:59:59.999Z", "-0.00000001", "just before day 0"},
    {"1899-12-31T12:00:00Z", "1899-12-31T12:00:00.000Z", "-0.50000000", "half a day before day 0"},
    {"1755-11-01T09:40:00Z", "1755-11-01T09:40:00.000Z", "-52655.59722222", "Lisbon 1755"},
    {"1582-10-04T00:00:00Z", "1582-10-04T00:00:00.000Z", "-115871.00000000", "proleptic Gregorian"},
    {"0000-03-01T00:00:00Z", "0000-03-01T00:00:00.000Z", "-693901.00000000", "year 0"},
    {"9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999Z", "2958463.99999999", "last tim"},
    {"  2000-01-01T00:00:00Z \r", "2000-01-01T00:00:00.000Z", "36524.00000000", "blanks around"},
    // dat ties: 0.000432 s is 5e-9 days, exactly half of the last decimal.
    {"2000-01-01T00:00:00.000432Z", "2000-01-01T00:00:00.000Z", "36524.00000000", "dat tie to even (down)"},
    {"2000-01-01T00:00:00.001296Z", "2000-01-01T00:00:00.001Z", "36524.00000002", "dat tie to even (up)"},
    {"2000-01-01T00:00:00.0004320000000000000000001Z", "2000-01-01T00:00:00.000Z", "36524.00000001",
     "above the dat tie, beyond the 18th digit"},
    {"2000-01-01T23:59:59.9999999Z", "2000-01-02T00:00:00.000Z", "36525.00000000", "dat carried into the next day"},
    // Not times.
    {"", nullptr, nullptr, "empty"},
    {"2011-13-01T00:00:00Z", nullptr, nullptr, "month 13"},
    {"2011-02-29T00:00:00Z", nullptr, nullptr, "no 29 February in 2011"},
    {"1900-02-29", nullptr, nullptr, "no 29 February in 1900"},
    {"2011-01-01T24:00:00Z", nullptr, nullptr, "hour 24"},
    {"2011-01-01T00:60:00Z", nullptr, nullptr, "minute 60"},
    {"2011-01-01T00:00:61Z", nullptr, nullptr, "second 61"},
    {"2011-01-01T00:00:00.Z", nullptr, nullptr, "point without digits"},
    {"2011-01-01T00:00:00ZZ", nullptr, nullptr, "text after Z"},
    {"2011-01-01T00:00:00+9", nullptr, nullptr, "one-digit offset"},
    {"2011-01-01T00:00:00+09:0", nullptr, nullptr, "cut offset"},
    {"2011-1-01", nullptr, nullptr, "one-digit month"},
    {"11-01-01", nullptr, nullptr, "two-digit year"},
    {"2011/01/01", nullptr, nullptr, "slashes"},
    {"1304596800", nullptr, nullptr, "epoch seconds"},
    {"0000-01-01T00:30:00+01:00", nullptr, nullptr, "before year 0 in UTC"},
    {"9999-12-31T23:59:59.9995Z", nullptr, nullptr, "rounds into year 10000"},
};

TEST(CatprepTime, ParsesFormsAndRounds) {
    for (const TimeRow& r : TIMES) {
        Instant at;
        const bool ok = parse_time(r.text, at);
        if (r.tim == nullptr) {
            EXPECT_FALSE(ok) << r.why << ": " << r.text;
            continue;
        }
        ASSERT_TRUE(ok) << r.why << ": " << r.text;
        char tim[TIM_LEN];
        format_tim(at, tim);
        EXPECT_EQ(std::string(tim, TIM_LEN), r.tim) << r.why;
        std::string dat;
        append_dat(dat, dat_e8(at));
        EXPECT_EQ(dat, r.dat) << r.why;
    }
}

TEST(CatprepTime, InstantsOrderExactly) {
    const char* rising[] = {"1755-11-01T09:40:00Z",
                            "1899-12-31T23:59:59.999999Z",
                            "1900-01-01",
                            "2000-01-01T00:00:00Z",
                            "2000-01-01T00:00:00.000000000000000001Z",
                            "2000-01-01T00:00:00.0000000000000000010000001Z",
                            "2000-01-01T00:00:00.000000000000000002Z",
                            "2000-01-01T09:00:00.5+09:00",
                            "2000-01-01T00:00:01Z"};
    for (size_t i = 0; i + 1 < std::size(rising); ++i) {
        Instant a, b;
        ASSERT_TRUE(parse_time(rising[i], a) && parse_time(rising[i + 1], b)) << rising[i];
        EXPECT_EQ(compare_instants(a, b), -1) << rising[i] << " before " << rising[i + 1];
        EXPECT_EQ(compare_instants(b, a), 1);
        EXPECT_EQ(compare_instants(a, a), 0);
    }
}

// The day count from first principles: whole years of 365 days plus the
// leap days before them, then the days of the months before.
int64_t plain_days(int64_t y, int32_t m, int32_t d) {
    auto leaps_before = [](int64_t year) {  // leap years in [0, year), year >= 0
        return year == 0 ? 0 : (year - 1) / 4 - (year - 1) / 100 + (year - 1) / 400 + 1;
    };
    static const int32_t BEFORE[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int64_t from0 = 365 * y + leaps_before(y) + BEFORE[m - 1] + (leap && m > 2 ? 1 : 0) + d - 1;
    return from0 - (365 * 1900 + leaps_before(1900));
}

TEST(CatprepTime, DayCountAgreesWithFirstPrinciplesAndEpochnum) {
    for (int64_t y = 0; y <= 11000; ++y)
        for (int32_t m = 1; m <= 12; ++m)
            for (int32_t d : {1, days_in_month(y, m)}) {  // first and last day of every month
                const int64_t n = days_from_civil(y, m, d);
                ASSERT_EQ(n, plain_days(y, m, d)) << y << "-" << m << "-" << d;
                const CivilDate c = civil_from_days(n);
                ASSERT_TRUE(c.year == y && c.month == m && c.day == d) << n;
                // epochnum counts the same days from 15 October 1582 on.
                if (y > 1582) {
                    ASSERT_EQ(jdn_value(m, d, static_cast<int32_t>(y)).jdn, n + JDN_OF_1900) << y << "-" << m;
                }
            }
}

// dat against an exact rational computation: random dates from year 0 to
// 9999, random times, 0 to 12 fractional digits, random offsets.
TEST(CatprepTime, DatMatchesExactRationalOverRandomTimes) {
    rc::Rng gen = rc::make_rng(0x9e3779b97f4a7c15ull);
    auto rng = [&gen] { return gen.g(); };
    int64_t checked = 0;
    for (int i = 0; i < 200000; ++i) {
        const int64_t y = static_cast<int64_t>(rng() % 10000);
        const int32_t mo = static_cast<int32_t>(rng() % 12 + 1);
        const int32_t d = static_cast<int32_t>(rng() % days_in_month(y, mo) + 1);
        const int32_t h = static_cast<int32_t>(rng() % 24), mi = static_cast<int32_t>(rng() % 60);
        const int32_t s = static_cast<int32_t>(rng() % 61);
        const int32_t k = static_cast<int32_t>(rng() % 13);  // fractional digits
        uint64_t f = 0, p10 = 1;
        for (int32_t j = 0; j < k; ++j) p10 *= 10;
        if (k > 0) f = rng() % p10;
        // Often exactly on a dat tie (a multiple of 0.000432 s) or a ms tie.
        if (k >= 6 && rng() % 4 == 0) f = f / (432 * (p10 / 1000000)) * (432 * (p10 / 1000000));
        if (k >= 4 && rng() % 4 == 0) {
            const uint64_t u = p10 / 10000;  // the fourth digit is 5, the later ones 0
            f = f / (10 * u) * (10 * u) + 5 * u;
        }
        const int32_t off_min = static_cast<int32_t>(rng() % 5) == 0 ? static_cast<int32_t>(rng() % 1681) - 840 : 0;
        char text[80];
        int n = std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d", static_cast<long long>(y), mo, d, h,
                              mi, s);
        if (k > 0) n += std::snprintf(text + n, sizeof text - n, ".%0*llu", k, static_cast<unsigned long long>(f));
        if (off_min == 0)
            std::snprintf(text + n, sizeof text - n, "Z");
        else
            std::snprintf(text + n, sizeof text - n, "%c%02d:%02d", off_min < 0 ? '-' : '+', std::abs(off_min) / 60,
                          std::abs(off_min) % 60);
        // Exact: seconds since 1900 as (whole * 10^k + f) / 10^k.
        const __int128 whole =
            static_cast<__int128>(plain_days(y, mo, d)) * 86400 + h * 3600 + mi * 60 + s - off_min * 60;
        const __int128 num = (whole * p10 + f) * 100000000;
        const __int128 den = static_cast<__int128>(86400) * p10;
        __int128 q = num / den, r = num % den;
        if (r < 0) {
            r += den;
            --q;
        }
        if (2 * r > den || (2 * r == den && q % 2 != 0)) ++q;
        Instant at;
        if (!parse_time(text, at)) {
            // Only the ends of the tim years may refuse.
            EXPECT_TRUE(y == 0 || y == 9999) << text;
            continue;
        }
        ASSERT_EQ(dat_e8(at), static_cast<int64_t>(q)) << text;
        // The tim is the nearest millisecond: re-read, it lies within half a
        // millisecond of the time.
        char tim[TIM_LEN + 1] = {};
        format_tim(at, tim);
        Instant back;
        ASSERT_TRUE(parse_time(tim, back)) << tim;
        const __int128 t_ms = (static_cast<__int128>(back.days) * 86400 + back.sec) * 1000 +
                              static_cast<int64_t>(back.frac / 1000000000000000ull);
        const __int128 diff2 = (whole * p10 + f) * 2000 - t_ms * 2 * p10;  // 2 * (time - tim) in 10^-k ms
        ASSERT_LE(diff2 < 0 ? -diff2 : diff2, static_cast<__int128>(p10)) << text << " -> " << tim;
        ++checked;
    }
    EXPECT_GT(checked, 190000);
}

}  // namespace
