// Hypocentral distance and rupture-zone radius: worked values, the float
// edge cases near x = 1 and x = -1, symmetry, the prepared-point form, and a
// bit-for-bit comparison with an evaluation of the same steps that takes its
// sines, cosines, arc cosines and powers from an independent source.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "geometry.h"

namespace {

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Equal bits, or both NaN.
bool same(float a, float b) { return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b)); }

std::string fixed(float v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, static_cast<double>(v));
    return buf;
}

struct Hypo {
    float lat;  // degrees
    float lon;  // degrees
    float dep;  // km
};

float distance(const Hypo& a, const Hypo& b) { return hypo_distance(a.lat, a.lon, a.dep, b.lat, b.lon, b.dep); }

// The same steps with each library result taken from glibc's double-precision
// function rounded once to float: the correctly rounded float, except when the
// exact value sits within a double's last place of a halfway point, which no
// input used here does.
float reference_distance(const Hypo& a, const Hypo& b) {
    auto f = [](double v) { return static_cast<float>(v); };
    float phi_a = a.lat * DEG_TO_RAD;
    float lam_a = a.lon * DEG_TO_RAD;
    float phi_b = b.lat * DEG_TO_RAD;
    float lam_b = b.lon * DEG_TO_RAD;
    float ss = f(std::sin(double{phi_a})) * f(std::sin(double{phi_b}));
    float cc = f(std::cos(double{phi_a})) * f(std::cos(double{phi_b}));
    float x = f(std::cos(double{lam_a - lam_b})) * cc;
    x = x + ss;
    float epicentral = f(std::acos(double{x})) * 6371.0f;
    float h = a.dep - b.dep;
    float e2 = epicentral * epicentral;
    float h2 = h * h;
    return f(std::sqrt(double{e2 + h2}));
}

float reference_radius(float mag) {
    float e = 0.59f * mag;
    e = e - 2.44f;
    float length = static_cast<float>(std::pow(10.0, double{e}));
    float radius = length * 2.0f;
    return radius + 20.0f;
}

TEST(RuptureRadius, WorkedValues) {
    struct Row {
        float mag;         // magnitude
        const char* want;  // km, to 0.01
    };
    const Row rows[] = {
        {4.0f, "21.66"},  {5.0f, "26.47"},  {6.0f, "45.18"}, {6.95f, "111.52"},
        {7.0f, "117.96"}, {8.0f, "401.09"}, {0.0f, "20.01"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(fixed(rupture_radius(r.mag), 2), r.want) << "magnitude " << r.mag;
    }
}

TEST(RuptureRadius, NegativeMagnitudesApproachButNeverGoBelowTwentyKm) {
    float previous = rupture_radius(-200.0f);
    EXPECT_EQ(previous, 20.0f);  // the length underflows to nothing
    for (int k = -20000; k <= 0; ++k) {
        float mag = static_cast<float>(k) / 100.0f;
        float r = rupture_radius(mag);
        ASSERT_GE(r, 20.0f) << "magnitude " << mag;
        ASSERT_GE(r, previous) << "radius shrinks at magnitude " << mag;
        previous = r;
    }
    EXPECT_GT(rupture_radius(0.0f), 20.0f);
}

TEST(RuptureRadius, EveryStepRoundedToFloatWithCorrectlyRoundedPower) {
    int wrong = 0;
    for (int k = -30000; k <= 100000; ++k) {
        float mag = static_cast<float>(k) / 10000.0f;
        if (bits(rupture_radius(mag)) != bits(reference_radius(mag)) && ++wrong <= 5) {
            ADD_FAILURE() << "magnitude " << mag << ": " << fixed(rupture_radius(mag), 6) << ", expected "
                          << fixed(reference_radius(mag), 6);
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The three events of a complete pair-search run, as the E1-pair report prints
// their distances.
TEST(HypoDistance, DistancesOfTheCompleteRun) {
    const Hypo na{40.00f, 20.00f, 10.0f};
    const Hypo nb{40.10f, 20.10f, 12.0f};
    const Hypo nc{40.05f, 20.05f, 10.0f};
    struct Row {
        Hypo a;
        Hypo b;
        const char* want;  // km, one decimal
    };
    const Row rows[] = {{nc, nb, "7.2"}, {nc, na, "7.6"}, {nb, na, "14.2"}};
    for (const Row& r : rows) {
        EXPECT_EQ(fixed(distance(r.a, r.b), 1), r.want);
        EXPECT_EQ(fixed(distance(r.b, r.a), 1), r.want);
    }
}

TEST(HypoDistance, DoesNotDependOnWhichPointComesFirst) {
    const Hypo table[] = {
        {40.0f, 20.0f, 10.0f}, {40.1f, 20.1f, 12.0f}, {-33.45f, -70.66f, 35.0f},  {35.68f, 139.69f, 0.0f},
        {0.0f, 0.0f, 0.0f},    {0.0f, 180.0f, 5.0f},  {89.99f, -179.99f, 600.0f}, {-89.99f, 179.99f, 1.0f},
        {1.07f, 10.0f, 3.0f},  {1.07f, 10.0f, 7.5f},  {38.3f, 142.37f, 29.0f},    {38.31f, 142.38f, 30.0f},
    };
    for (const Hypo& a : table) {
        for (const Hypo& b : table) {
            EXPECT_TRUE(same(distance(a, b), distance(b, a)))
                << a.lat << " " << a.lon << " / " << b.lat << " " << b.lon;
        }
    }
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> lat(-90.0f, 90.0f), lon(-180.0f, 180.0f), dep(0.0f, 700.0f);
    for (int i = 0; i < 20000; ++i) {
        Hypo a{lat(rng), lon(rng), dep(rng)};
        Hypo b{lat(rng), lon(rng), dep(rng)};
        ASSERT_TRUE(same(distance(a, b), distance(b, a))) << a.lat << " " << a.lon << " / " << b.lat << " " << b.lon;
    }
}

// Two hypocentres at one position: x = cos(0) * cos^2 + sin^2 lands exactly
// on 1, on the float below 1, on the one below that, or above 1, depending on
// the latitude; the distance is never special-cased.
TEST(HypoDistance, CoincidentPositions) {
    struct Row {
        float lat;     // degrees, same for both points
        float dep_a;   // km
        float dep_b;   // km
        float lo, hi;  // expected distance range, km; lo > hi means NaN
    };
    const float NAN_RANGE = -1.0f;
    const Row rows[] = {
        {0.00f, 10.0f, 10.0f, 0.0f, 0.0f},       // x exactly 1
        {0.00f, 3.0f, 7.5f, 4.5f, 4.5f},         // x exactly 1: the depth difference
        {45.68f, 700.0f, 0.5f, 699.5f, 699.5f},  // x exactly 1 too
        {0.07f, 10.0f, 10.0f, 2.199f, 2.2f},     // x = 1 - 2^-24
        {21.64f, 10.0f, 10.0f, 3.110f, 3.112f},  // x = 1 - 2^-23
        {1.07f, 10.0f, 10.0f, 1.0f, NAN_RANGE},  // x = 1 + 2^-23: NaN
        {1.07f, 3.0f, 7.5f, 1.0f, NAN_RANGE},    // NaN whatever the depths
    };
    for (const Row& r : rows) {
        float d = distance({r.lat, 25.0f, r.dep_a}, {r.lat, 25.0f, r.dep_b});
        if (r.lo > r.hi) {
            EXPECT_TRUE(std::isnan(d)) << "latitude " << r.lat << ": " << d;
            EXPECT_FALSE(1.0e6f >= d) << "a NaN distance must be within no limit";
        } else {
            EXPECT_GE(d, r.lo) << "latitude " << r.lat;
            EXPECT_LE(d, r.hi) << "latitude " << r.lat;
        }
    }
}

TEST(HypoDistance, DepthOnlyWhenXIsExactlyOne) {
    const float deps[] = {0.0f, 0.5f, 3.0f, 10.0f, 33.3f, 699.9f};
    for (float da : deps) {
        for (float db : deps) {
            EXPECT_EQ(bits(distance({0.0f, 0.0f, da}, {0.0f, 0.0f, db})), bits(std::fabs(da - db)));
        }
    }
}

// Exactly antipodal points: x near -1, a distance near pi * 6371 = 20015 km,
// NaN at the latitudes where coincident points give NaN (x rounds past -1).
TEST(HypoDistance, Antipodes) {
    int nans = 0;
    for (int k = 0; k <= 9000; ++k) {
        float lat = static_cast<float>(k) / 100.0f;
        float antipodal = distance({lat, 0.0f, 0.0f}, {-lat, 180.0f, 0.0f});
        float coincident = distance({lat, 0.0f, 0.0f}, {lat, 0.0f, 0.0f});
        ASSERT_EQ(std::isnan(antipodal), std::isnan(coincident)) << "latitude " << lat;
        if (std::isnan(antipodal)) {
            ++nans;
        } else {
            ASSERT_GT(antipodal, 20010.0f) << "latitude " << lat;
            ASSERT_LE(antipodal, 20015.1f) << "latitude " << lat;
        }
    }
    EXPECT_GT(nans, 0);
    EXPECT_EQ(fixed(distance({0.0f, 0.0f, 0.0f}, {0.0f, 180.0f, 0.0f}), 1), "20015.1");
    EXPECT_TRUE(std::isnan(distance({1.07f, 0.0f, 0.0f}, {-1.07f, 180.0f, 0.0f})));
}

// Random pairs over the globe and close pairs (where one unit in the last
// place of a sine or arc cosine moves the distance by hundreds of metres)
// against the independent evaluation.
TEST(HypoDistance, EveryStepRoundedToFloatWithCorrectlyRoundedFunctions) {
    std::mt19937 rng(7304);
    std::uniform_real_distribution<float> lat(-90.0f, 90.0f), lon(-180.0f, 180.0f), dep(0.0f, 700.0f);
    std::uniform_real_distribution<float> near(-0.5f, 0.5f);
    int wrong = 0;
    for (int i = 0; i < 100000; ++i) {
        Hypo a{lat(rng), lon(rng), dep(rng)};
        Hypo b =
            (i % 2 == 0) ? Hypo{lat(rng), lon(rng), dep(rng)} : Hypo{a.lat + near(rng), a.lon + near(rng), dep(rng)};
        float got = distance(a, b);
        float want = reference_distance(a, b);
        if (!same(got, want) && ++wrong <= 5) {
            ADD_FAILURE() << a.lat << " " << a.lon << " " << a.dep << " / " << b.lat << " " << b.lon << " " << b.dep
                          << ": " << fixed(got, 6) << ", expected " << fixed(want, 6);
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(HypoDistance, PreparedPointsGiveTheSameBits) {
    std::mt19937 rng(23741);
    std::uniform_real_distribution<float> lat(-90.0f, 90.0f), lon(-180.0f, 180.0f), dep(0.0f, 700.0f);
    std::uniform_real_distribution<float> near(-0.05f, 0.05f);
    int nans = 0;
    for (int i = 0; i < 100000; ++i) {
        Hypo a{lat(rng), lon(rng), dep(rng)};
        Hypo b;
        switch (i % 3) {
        case 0: b = {lat(rng), lon(rng), dep(rng)}; break;
        case 1: b = {a.lat + near(rng), a.lon + near(rng), dep(rng)}; break;
        default: b = {a.lat, a.lon, dep(rng)}; break;  // coincident: exercises x at and above 1
        }
        float degrees = distance(a, b);
        float prepared = hypo_distance(geo_point(a.lat, a.lon, a.dep), geo_point(b.lat, b.lon, b.dep));
        ASSERT_TRUE(same(degrees, prepared)) << a.lat << " " << a.lon << " / " << b.lat << " " << b.lon;
        nans += std::isnan(degrees) ? 1 : 0;
    }
    EXPECT_GT(nans, 0);  // the NaN road was taken too
}

TEST(HypoDistance, GeoPointHoldsTheFormulasValues) {
    GeoPoint p = geo_point(40.05f, -20.05f, 12.5f);
    float phi = 40.05f * DEG_TO_RAD;
    EXPECT_EQ(bits(p.phi), bits(phi));
    EXPECT_EQ(bits(p.lam), bits(-20.05f * DEG_TO_RAD));
    EXPECT_EQ(bits(p.sin_phi), bits(static_cast<float>(std::sin(double{phi}))));
    EXPECT_EQ(bits(p.cos_phi), bits(static_cast<float>(std::cos(double{phi}))));
    EXPECT_EQ(p.dep, 12.5f);
    EXPECT_EQ(bits(DEG_TO_RAD), 0x3C8EFA35u);
}

}  // namespace
