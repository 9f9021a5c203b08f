// Integer and real values from their text: the accepted forms, the values
// they give in both widths, and the texts refused.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "numbers.h"
#include "random_catalog.h"

namespace {

struct IntCase {
    const char* text;
    bool ok;        // accepted as an integer
    int32_t value;  // its value when accepted
};

const IntCase INT_CASES[] = {
    {"0", true, 0},
    {"-0", true, 0},
    {"+0007", true, 7},
    {"2147483647", true, INT32_MAX},
    {"-2147483648", true, INT32_MIN},
    {"2147483648", false, 0},
    {"-2147483649", false, 0},
    {"99999999999999999999", false, 0},
    {"12.0", false, 0},
    {"1e3", false, 0},
    {"+", false, 0},
    {"-", false, 0},
    {"", false, 0},
    {"1 2", false, 0},
    {"0x10", false, 0},
    {"--1", false, 0},
};

TEST(Numbers, Integers) {
    for (const IntCase& c : INT_CASES) {
        int32_t v = -7;
        EXPECT_EQ(parse_int(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : -7) << c.text;  // a refused text leaves the value alone
    }
}

// Each text is given in both widths; `want` is what the correctly rounded
// conversion of the equivalent C spelling gives, or null for a refused text.
struct RealCase {
    const char* text;
    const char* want;  // the C spelling of the value, or nullptr: refused
};

const RealCase REAL_CASES[] = {
    // plain short decimals (one division)
    {"5", "5"},
    {"5.", "5"},
    {".5", ".5"},
    {"-.5", "-.5"},
    {"007.25", "7.25"},
    {"+6.95", "6.95"},
    {"-0", "-0"},
    {"-0.0", "-0.0"},
    {"16777216", "16777216"},
    {"16777217", "16777217"},
    {"9007199254740993", "9007199254740993"},
    {"0.00000000001", "1e-11"},
    // many digits: the general conversion
    {"12345678901234567890123", "12345678901234567890123"},
    {"1.00000005960464477539062500001", "1.00000005960464477539062500001"},
    {"0.1000000000000000055511151231257827", "0.1000000000000000055511151231257827"},
    // exponents: E or D in either case, or a bare sign
    {"1.5E3", "1.5e3"},
    {"1.5e+3", "1.5e+3"},
    {"2.5d-1", "2.5e-1"},
    {"2.5D1", "2.5e1"},
    {"1.5+3", "1.5e+3"},
    {"1.5-3", "1.5e-3"},
    {"+1.5E+3", "1.5e+3"},
    {"-7d0", "-7e0"},
    // beyond the range: an infinity or zero
    {"1e39", "1e39"},
    {"-1e39", "-1e39"},
    {"1e-50", "1e-50"},
    {"1e400", "1e400"},
    {"1e-400", "1e-400"},
    {"1+99999999999999999999", "1e99999999999999999999"},
    // words
    {"inf", "inf"},
    {"-INFINITY", "-inf"},
    {"+Inf", "inf"},
    {"NaN", "nan"},
    {"-nan", "-nan"},
    // refused
    {"", nullptr},
    {"+", nullptr},
    {".", nullptr},
    {"-.", nullptr},
    {"1..5", nullptr},
    {"1.5e", nullptr},
    {"1.5+", nullptr},
    {"1.5e+", nullptr},
    {"1.5e3.0", nullptr},
    {"e5", nullptr},
    {"4.5x", nullptr},
    {"infinit", nullptr},
    {"-.inf", nullptr},
    {"nan(1)", nullptr},
    {"0x10", nullptr},
    {"1,5", nullptr},
    {"1 5", nullptr},
    {"1e5e5", nullptr},
    {"1d+-5", nullptr},
};

TEST(Numbers, RealsInEveryFormAndWidth) {
    for (const RealCase& c : REAL_CASES) {
        float f = -7.5f;
        double d = -7.25;
        const bool ok_f = parse_real(c.text, f);
        const bool ok_d = parse_real(c.text, d);
        if (c.want == nullptr) {
            EXPECT_FALSE(ok_f) << c.text;
            EXPECT_FALSE(ok_d) << c.text;
            EXPECT_EQ(f, -7.5f) << c.text;  // a refused text leaves the value alone
            EXPECT_EQ(d, -7.25) << c.text;
            continue;
        }
        ASSERT_TRUE(ok_f) << c.text;
        ASSERT_TRUE(ok_d) << c.text;
        const float want_f = std::strtof(c.want, nullptr);
        const double want_d = std::strtod(c.want, nullptr);
        if (std::isnan(want_f)) {
            EXPECT_TRUE(std::isnan(f) && std::isnan(d)) << c.text;
            EXPECT_EQ(std::signbit(f), std::signbit(want_f)) << c.text;
            EXPECT_EQ(std::signbit(d), std::signbit(want_d)) << c.text;
            continue;
        }
        EXPECT_EQ(std::bit_cast<uint32_t>(f), std::bit_cast<uint32_t>(want_f)) << c.text;
        EXPECT_EQ(std::bit_cast<uint64_t>(d), std::bit_cast<uint64_t>(want_d)) << c.text;
    }
}

// Reals as the catalogs write them, and many that are not: every one must
// read as the correctly rounded conversion gives it, in both widths,
// whichever stage of the conversion takes it.
TEST(Numbers, RealsMatchTheCorrectlyRoundedConversion) {
    rc::Rng rng = rc::make_rng(0x2545F4914F6CDD1Dull);
    auto next = [&rng] { return rng.g(); };
    for (int k = 0; k < 20000; ++k) {
        std::string t;
        if (next() % 4 == 0) t += '-';
        const int digits = 1 + static_cast<int>(next() % 24);
        const int point = static_cast<int>(next() % (digits + 2)) - 1;  // -1: no point
        for (int d = 0; d < digits; ++d) {
            if (d == point) t += '.';
            t += static_cast<char>('0' + next() % 10);
        }
        if (point == digits) t += '.';
        if (next() % 8 == 0) {
            char exponent[16];
            std::snprintf(exponent, sizeof exponent, "e%d", static_cast<int>(next() % 80) - 40);
            t += exponent;
        }
        float f = 0;
        double d = 0;
        ASSERT_TRUE(parse_real(t, f)) << t;
        ASSERT_TRUE(parse_real(t, d)) << t;
        // The C library's conversions round correctly too, and beyond the
        // range give an infinity or zero.
        const float want_f = std::strtof(t.c_str(), nullptr);
        const double want_d = std::strtod(t.c_str(), nullptr);
        ASSERT_EQ(std::bit_cast<uint32_t>(f), std::bit_cast<uint32_t>(want_f)) << t;
        ASSERT_EQ(std::bit_cast<uint64_t>(d), std::bit_cast<uint64_t>(want_d)) << t;
    }
}

}  // namespace
