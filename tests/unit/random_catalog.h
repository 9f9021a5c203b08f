// random_catalog: reproducible random earthquake catalogs in the labelled
// layout (tim lat lon dep mag dat nam), for tests that hold two searches side
// by side.
//
// A seed fixes the catalog on every platform: the raw 64-bit numbers of
// std::mt19937_64 are fixed by the language, every value is made from them by
// the formulas below (no std distributions, whose output differs between
// library versions, and no library logarithm, power or sine, whose last bits
// do), and no call takes two random values as arguments (their order of
// evaluation would be the compiler's choice). bench/gen_catalog.cpp makes its
// catalogs from the same numbers and arithmetic. The catalogs imitate what the search meets:
// mainshocks with decaying aftershock sequences, doublets, background events,
// disordered and equal times, values that are not numbers or beyond every
// range, points at the poles and across the date line, points at nearly the
// same place, times 5.8e-5 and 30 days apart, and numbers printed with any
// number of decimals and in every form the free-form reader takes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "geometry.h"

namespace rc {

// ---- arithmetic that comes out the same on every platform ----------------
//
// Logarithm, exponential, power, sine, cosine and arc tangent computed from
// + - * / and sqrt alone (all correctly rounded by IEEE 754, and the build
// never fuses a multiply-add), so that no library version can change a digit
// of a catalog.

constexpr double PI = 3.14159265358979323846;
constexpr double LN2_HI = 6.93147180369123816490e-01;  // ln 2, high part (fdlibm's split)
constexpr double LN2_LO = 1.90821492927058770002e-10;  // ln 2, low part
constexpr double LN2 = 0.69314718055994530942;
constexpr double LN10 = 2.30258509299404568402;

// Natural logarithm of x > 0: x = m 2^e with m in [sqrt(1/2), sqrt(2)), then
// ln m = 2 atanh((m - 1) / (m + 1)) by its series.
inline double det_log(double x) {
    int e = 0;
    double m = std::frexp(x, &e);  // exact: m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0);  // |s| <= 0.1716
    const double s2 = s * s;
    double sum = 0.0;
    for (int k = 27; k >= 1; k -= 2) sum = sum * s2 + 1.0 / k;
    return e * LN2 + 2.0 * s * sum;
}

// e^x: x = k ln 2 + r with |r| <= ln 2 / 2, e^r by its series, then 2^k.
inline double det_exp(double x) {
    if (x < -700.0) return 0.0;
    const double k = std::floor(x / LN2 + 0.5);
    const double r = (x - k * LN2_HI) - k * LN2_LO;
    double sum = 1.0;
    for (int n = 18; n >= 1; --n) sum = 1.0 + sum * r / n;
    return std::ldexp(sum, static_cast<int>(k));  // exact
}

inline double det_pow(double base, double y) { return det_exp(y * det_log(base)); }

// x brought into [-pi, pi] (x itself when it is there already).
inline double det_turn(double x) { return x - 2.0 * PI * std::round(x / (2.0 * PI)); }

// cos x, by its series on [-pi/2, pi/2] and by symmetry beyond.
inline double det_cos(double x) {
    x = det_turn(x);
    if (std::fabs(x) > PI / 2.0) return -det_cos(PI - std::fabs(x));
    const double x2 = x * x;
    double sum = 1.0;
    for (int n = 24; n >= 2; n -= 2) sum = 1.0 - sum * x2 / (n * (n - 1));
    return sum;
}

// sin x, by its series on [-pi/2, pi/2] and by symmetry beyond.
inline double det_sin(double x) {
    x = det_turn(x);
    if (x > PI / 2.0) return det_sin(PI - x);
    if (x < -PI / 2.0) return -det_sin(PI + x);
    const double x2 = x * x;
    double sum = 1.0;
    for (int n = 25; n >= 3; n -= 2) sum = 1.0 - sum * x2 / (n * (n - 1));
    return x * sum;
}

// atan x: halved twice (atan x = 2 atan(x / (1 + sqrt(1 + x^2)))) below
// |x| = 0.25 or so, then its series; beyond 1 through pi/2 - atan(1/x).
inline double det_atan(double x) {
    if (std::fabs(x) > 1.0) return (x > 0 ? PI / 2.0 : -PI / 2.0) - det_atan(1.0 / x);
    double y = x;
    for (int k = 0; k < 2; ++k) y = y / (1.0 + std::sqrt(1.0 + y * y));
    const double y2 = y * y;
    double sum = 0.0;
    for (int n = 41; n >= 1; n -= 2) sum = 1.0 / n - sum * y2;
    return 4.0 * y * sum;
}

inline double det_atan2(double y, double x) {
    if (x > 0.0) return det_atan(y / x);
    if (x < 0.0) return det_atan(y / x) + (y >= 0.0 ? PI : -PI);
    return y > 0.0 ? PI / 2.0 : (y < 0.0 ? -PI / 2.0 : 0.0);
}

inline double det_asin(double x) { return det_atan2(x, std::sqrt((1.0 - x) * (1.0 + x))); }

// ---- random numbers ---------------------------------------------------------

struct Rng {
    std::mt19937_64 g;  // raw 64-bit stream, fixed by the C++ standard; the only source of randomness
};

inline Rng make_rng(uint64_t seed) { return Rng{std::mt19937_64(seed)}; }

// Uniform in [0, 1), the top 53 bits.
inline double uniform(Rng& r) { return static_cast<double>(r.g() >> 11) * 0x1.0p-53; }
inline double uniform(Rng& r, double lo, double hi) { return lo + (hi - lo) * uniform(r); }
// Uniform in (0, 1): never 0, for logarithms.
inline double uniform_open(Rng& r) { return (static_cast<double>(r.g() >> 11) + 0.5) * 0x1.0p-53; }
// Uniform integer in [lo, hi].
inline int64_t between(Rng& r, int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(r.g() % static_cast<uint64_t>(hi - lo + 1));
}
inline bool chance(Rng& r, double p) { return uniform(r) < p; }
// Exponential with the given mean.
inline double exponential(Rng& r, double mean) { return -mean * det_log(uniform_open(r)); }
// Uniform in the logarithm between lo and hi (both > 0).
inline double log_uniform(Rng& r, double lo, double hi) { return lo * det_pow(hi / lo, uniform(r)); }

// Standard normal by the polar method (no sine or cosine needed).
inline double normal(Rng& r) {
    for (;;) {
        const double x = 2.0 * uniform(r) - 1.0;
        const double y = 2.0 * uniform(r) - 1.0;
        const double s = x * x + y * y;
        if (s > 0.0 && s < 1.0) return x * std::sqrt(-2.0 * det_log(s) / s);
    }
}

// Poisson count of the given mean: by products of uniforms for small means,
// by the rounded normal approximation for large ones.
inline int64_t poisson(Rng& r, double mean) {
    if (mean < 30.0) {
        const double limit = det_exp(-mean);
        int64_t k = 0;
        double p = uniform_open(r);
        while (p > limit) {
            ++k;
            p *= uniform_open(r);
        }
        return k;
    }
    const double v = std::floor(mean + std::sqrt(mean) * normal(r) + 0.5);
    return v < 0.0 ? 0 : static_cast<int64_t>(v);
}

template <class T>
T pick(Rng& r, std::initializer_list<T> values) {
    return *(values.begin() + between(r, 0, static_cast<int64_t>(values.size()) - 1));
}

template <class T>
void shuffle(Rng& r, T* first, int64_t count) {
    for (int64_t k = count - 1; k > 0; --k) std::swap(first[k], first[between(r, 0, k)]);
}

// ---- events -----------------------------------------------------------------

enum Field { LAT, LON, DEP, MAG, DAT, FIELDS };

struct GenEvent {
    double v[FIELDS];          // lat, lon (degrees), dep (km), mag, dat (days)
    std::string text[FIELDS];  // written instead of v[k] when not empty ("NaN", "6.9499998")
    int32_t id;                // order of creation; part of the label
};

// How a catalog writes its numbers and texts.
struct Style {
    int decimals[FIELDS];  // usual number of decimals of each field
    double vary;           // chance that one value takes another number of decimals
    double odd_form;       // chance that one value takes an unusual form (exponent, "5.", ".5")
    double odd_text;       // chance that a time or label is quoted, long or empty
    double odd_line;       // chance of commas, tabs or trailing values on a line
    bool keep_order;       // days keep their order as written: one number of decimals, exact forms only
};

struct GenCatalog {
    std::vector<GenEvent> ev;  // in catalog order
    Style style;               // how the values are written
    double range_km = 0.0;     // distance range the catalog is built around, km (0: none)
    double window_days = 0.0;  // time window the catalog is built around, days (0: none)
};

inline GenEvent make_event(GenCatalog& c, double lat, double lon, double dep, double mag, double dat) {
    GenEvent e{{lat, lon, dep, mag, dat}, {}, static_cast<int32_t>(c.ev.size()) + 1};
    return e;
}

inline void add(GenCatalog& c, double lat, double lon, double dep, double mag, double dat) {
    c.ev.push_back(make_event(c, lat, lon, dep, mag, dat));
}

inline void sort_by_time(GenCatalog& c) {
    std::stable_sort(c.ev.begin(), c.ev.end(),
                     [](const GenEvent& a, const GenEvent& b) { return a.v[DAT] < b.v[DAT]; });
}

// ---- geometry of the made-up world -------------------------------------------

constexpr double KM_PER_DEG = 111.195;  // km per degree of a great circle on the EARTH_RADIUS_KM sphere

// A point up to `km` away from (lat, lon) in a random direction, uniform over the disc.
inline void offset(Rng& r, double& lat, double& lon, double km) {
    double dist = km * std::sqrt(uniform(r));
    double az = uniform(r, 0.0, 2.0 * PI);
    double c = std::max(det_cos(lat * PI / 180.0), 0.01);
    lat += dist * det_cos(az) / KM_PER_DEG;
    lon += dist * det_sin(az) / (KM_PER_DEG * c);
}

// Gutenberg-Richter magnitudes above mmin with b value b.
inline double gr_mag(Rng& r, double mmin, double b) { return mmin + exponential(r, 1.0 / (b * LN10)); }

// Rupture radius in km as the search computes it.
inline double radius_km(double mag) { return rupture_radius(static_cast<float>(mag)); }

// Where and when a catalog's events happen.
struct Region {
    double lat, lon;     // centre, degrees
    double spread;       // half-width of the box, degrees
    double dep, dep_sd;  // typical depth and its spread, km
    double t0, span;     // first day and length, days
    double mmin;         // smallest magnitude of the background
};

inline Region random_region(Rng& r) {
    Region g;
    g.lat = uniform(r, -60.0, 60.0);
    g.lon = uniform(r, -180.0, 180.0);
    g.spread = log_uniform(r, 0.3, 8.0);
    g.dep = pick(r, {10.0, 15.0, 33.0, 60.0});
    g.dep_sd = uniform(r, 0.0, 40.0);
    g.t0 = uniform(r, 23741.0 - 300.0, 44000.0);
    g.span = log_uniform(r, 15.0, 6000.0);
    g.mmin = uniform(r, 2.5, 4.5);
    return g;
}

inline double depth(Rng& r, double dep, double sd) { return std::max(0.0, dep + uniform(r, -sd, sd)); }

// Omori-Utsu delay after a mainshock, days: many early, few late.
inline double omori_delay(Rng& r, double c, double p, double longest) {
    for (int k = 0; k < 8; ++k) {
        double t = c * (det_pow(1.0 - uniform(r), -1.0 / (p - 1.0)) - 1.0);
        if (t <= longest) return t;
    }
    return uniform(r, 0.0, longest);
}

// A mainshock with `count` aftershocks around it, smaller as a rule, a few
// foreshocks before it.
inline void add_sequence(Rng& r, GenCatalog& c, const Region& g, double lat, double lon, double dep, double mag,
                         double t, int count) {
    add(c, lat, lon, dep, mag, t);
    double cdays = log_uniform(r, 0.001, 0.2);
    double p = uniform(r, 1.05, 1.5);
    double reach = radius_km(mag) * uniform(r, 0.4, 1.4);
    double longest = log_uniform(r, 5.0, 400.0);
    for (int k = 0; k < count; ++k) {
        double la = lat, lo = lon;
        offset(r, la, lo, reach);
        double m = gr_mag(r, g.mmin, uniform(r, 0.8, 1.3));
        for (int tries = 0; m >= mag && tries < 4; ++tries) m = gr_mag(r, g.mmin, 1.0);
        double when = chance(r, 0.04) ? t - log_uniform(r, 0.001, 20.0)  // foreshock
                                      : t + omori_delay(r, cdays, p, longest);
        add(c, la, lo, depth(r, dep, 10.0), m, when);
    }
}

inline void add_background(Rng& r, GenCatalog& c, const Region& g, int count) {
    for (int k = 0; k < count; ++k) {
        double lat = g.lat + uniform(r, -g.spread, g.spread);
        double lon = g.lon + uniform(r, -g.spread, g.spread);
        double dep = depth(r, g.dep, g.dep_sd);
        double mag = gr_mag(r, g.mmin, 1.0);
        add(c, lat, lon, dep, mag, g.t0 + uniform(r, 0.0, g.span));
    }
}

// Two similar large events close in space and time, each with a few aftershocks.
inline void add_doublet(Rng& r, GenCatalog& c, const Region& g) {
    double lat = g.lat + uniform(r, -g.spread, g.spread);
    double lon = g.lon + uniform(r, -g.spread, g.spread);
    double m1 = uniform(r, 5.5, 7.8);
    double m2 = m1 + pick(r, {0.0, 0.0, 0.1, -0.1, 0.2, -0.2, 0.3, -0.3});
    double t = g.t0 + uniform(r, 0.0, g.span);
    double gap = pick(r, {log_uniform(r, 5.8e-5, 1.0), log_uniform(r, 1.0, 60.0), 0.0});
    double la2 = lat, lo2 = lon;
    offset(r, la2, lo2, pick(r, {uniform(r, 0.0, 60.0), uniform(r, 0.0, 5.0), 0.0}));
    double dep = depth(r, g.dep, g.dep_sd);
    add_sequence(r, c, g, lat, lon, dep, m1, t, static_cast<int>(between(r, 0, 20)));
    dep = depth(r, g.dep, g.dep_sd);
    add_sequence(r, c, g, la2, lo2, dep, m2, t + gap, static_cast<int>(between(r, 0, 20)));
}

inline Style usual_style(Rng& r) {
    Style s;
    s.decimals[LAT] = static_cast<int>(between(r, 1, 4));
    s.decimals[LON] = s.decimals[LAT];
    s.decimals[DEP] = static_cast<int>(between(r, 0, 2));
    s.decimals[MAG] = chance(r, 0.75) ? 1 : 2;
    s.decimals[DAT] = static_cast<int>(between(r, 2, 8));
    s.vary = pick(r, {0.0, 0.02, 0.2});
    s.odd_form = pick(r, {0.0, 0.01, 0.1});
    s.odd_text = pick(r, {0.0, 0.02, 0.1});
    s.odd_line = pick(r, {0.0, 0.05});
    s.keep_order = chance(r, 0.85);
    return s;
}

// ---- catalog families ----------------------------------------------------------

// Mainshocks with aftershock sequences, doublets and background, in time order.
inline GenCatalog clustered(Rng& r, int n) {
    GenCatalog c;
    c.style = usual_style(r);
    Region g = random_region(r);
    int budget = n;
    int mains = 1 + static_cast<int>(between(r, 0, 1 + n / 150));
    for (int k = 0; k < mains && budget > 1; ++k) {
        double mag = uniform(r, 5.0, 8.3);
        int count = static_cast<int>(std::min<double>(budget - 1, det_pow(10.0, mag - 4.3) * uniform(r, 0.3, 2.0)));
        double lat = g.lat + uniform(r, -g.spread, g.spread);
        double lon = g.lon + uniform(r, -g.spread, g.spread);
        double dep = depth(r, g.dep, g.dep_sd);
        add_sequence(r, c, g, lat, lon, dep, mag, g.t0 + uniform(r, 0.0, g.span), count);
        budget = n - static_cast<int>(c.ev.size());
    }
    int doublets = static_cast<int>(between(r, 0, 3));
    for (int k = 0; k < doublets && static_cast<int>(c.ev.size()) < n; ++k) add_doublet(r, c, g);
    int rest = n - static_cast<int>(c.ev.size());
    if (rest > 0) add_background(r, c, g, rest);
    sort_by_time(c);
    if (static_cast<int>(c.ev.size()) > n) c.ev.resize(n);
    return c;
}

// A clustered catalog whose time order is broken in places: shuffled and
// reversed stretches, swapped events, a block moved, equal times.
inline GenCatalog unsorted(Rng& r, int n) {
    GenCatalog c = clustered(r, n);
    int64_t size = static_cast<int64_t>(c.ev.size());
    if (size < 2) return c;
    int disorders = static_cast<int>(between(r, 1, 6));
    for (int k = 0; k < disorders; ++k) {
        int64_t len = between(r, 2, std::max<int64_t>(2, size / pick(r, {2, 8, 40})));
        len = std::min(len, size);
        int64_t at = between(r, 0, size - len);
        switch (between(r, 0, 5)) {
        case 0: shuffle(r, c.ev.data() + at, len); break;
        case 1: std::reverse(c.ev.begin() + at, c.ev.begin() + at + len); break;
        case 2:
            for (int64_t s = 0; s < len; ++s) {
                int64_t a = between(r, 0, size - 1);
                std::swap(c.ev[a], c.ev[between(r, 0, size - 1)]);
            }
            break;
        case 3: std::rotate(c.ev.begin(), c.ev.begin() + at, c.ev.end()); break;
        case 4:  // runs of equal times
            for (int64_t s = at + 1; s < at + len; ++s)
                if (chance(r, 0.5)) c.ev[s].v[DAT] = c.ev[s - 1].v[DAT];
            break;
        default:  // a few events moved far from their place in time
            for (int64_t s = 0; s < std::min<int64_t>(len, 10); ++s) {
                GenEvent& e = c.ev[between(r, 0, size - 1)];
                double sign = pick(r, {-1.0, 1.0});
                e.v[DAT] += sign * log_uniform(r, 0.01, 500.0);
            }
            break;
        }
    }
    if (chance(r, 0.2)) shuffle(r, c.ev.data(), size);  // no order at all
    return c;
}

// One value beyond the usual: not a number, an infinity, a huge, negative or
// aliased value, or an edge of a rule.
inline void make_wild(Rng& r, GenEvent& e, const GenEvent& other) {
    int f = static_cast<int>(between(r, 0, FIELDS - 1));
    int kind = static_cast<int>(between(r, 0, 9));
    if (kind == 0) {
        e.text[f] = pick(r, {"NaN", "nan", "-NaN", "Inf", "-Inf", "+inf", "Infinity", "-INFINITY"});
        return;
    }
    if (kind == 1) {
        e.text[f] = pick(r, {"1e30", "-1e30", "3.4e38", "-3.4028235E38", "1e39", "1d300", "-1.0+40", "1e-40"});
        return;
    }
    switch (f) {
    case LAT:
        switch (kind % 4) {
        case 0:
            e.v[LAT] = 180.0 - e.v[LAT];
            e.v[LON] += 180.0;
            break;  // the same point
        case 1:
            e.v[LAT] = -180.0 - e.v[LAT];
            e.v[LON] -= 180.0;
            break;                                                   // the same point
        case 2: e.v[LAT] += pick(r, {360.0, -360.0, 720.0}); break;  // the same point again
        default: e.v[LAT] = pick(r, {90.0, -90.0, 95.5, -100.0, 400.0}); break;
        }
        break;
    case LON: e.v[LON] += pick(r, {360.0, -360.0, -540.0, 540.0, 720.0, 1e6}); break;
    case DEP: e.v[DEP] = pick(r, {-5.0, -700.0, 6371.0, 12742.0, 1e6, 0.0}); break;
    case MAG:
        e.v[MAG] = pick(r, {-1.0, -3.5, -1e10, 0.0, 9.5, 12.5, 20.0, other.v[MAG]});
        if (kind == 9) e.text[MAG] = pick(r, {"6.95", "6.9499998", "6.949999", "6.9500001"});
        break;
    default:
        switch (kind % 4) {
        case 0: e.v[DAT] = other.v[DAT]; break;
        case 1: e.v[DAT] = other.v[DAT] + pick(r, {30.0, -30.0, 5.8e-5, 30.000001}); break;
        case 2: e.v[DAT] = pick(r, {0.0, -1e5, 7303.9, 7304.0, 23740.9, 23741.0}); break;
        default: e.text[DAT] = pick(r, {"1e300", "-1e300", "1.7976931348623157e308"}); break;
        }
        break;
    }
}

// The same point written with other coordinates: longitude a whole number of
// turns off, or latitude reflected over a pole with the longitude half a turn
// off. Distances stay (almost) as they were, so the search still finds
// pairs, but anything that sorts or prunes by raw coordinates goes wrong.
inline void alias(Rng& r, GenEvent& e) {
    switch (between(r, 0, 3)) {
    case 0: e.v[LON] += pick(r, {360.0, -360.0, 720.0, -720.0}); break;
    case 1:
        e.v[LAT] = 180.0 - e.v[LAT];
        e.v[LON] += pick(r, {180.0, -180.0});
        break;
    case 2:
        e.v[LAT] = -180.0 - e.v[LAT];
        e.v[LON] += pick(r, {180.0, -180.0});
        break;
    default: e.v[LAT] += pick(r, {360.0, -360.0}); break;
    }
}

// A clustered or disordered catalog in which some values are wild, and in
// some catalogs many points are written as aliases of themselves.
inline GenCatalog wild_values(Rng& r, int n) {
    GenCatalog c = chance(r, 0.7) ? clustered(r, n) : unsorted(r, n);
    double share = pick(r, {0.0, 0.0, 0.1, 0.5});
    for (GenEvent& e : c.ev)
        if (chance(r, share)) alias(r, e);
    double p = chance(r, 0.6) ? log_uniform(r, 0.003, 0.15) : 0.0;
    for (size_t k = 0; k < c.ev.size(); ++k) {
        if (!chance(r, p)) continue;
        const GenEvent& other = c.ev[k > 0 ? k - 1 : 0];
        GenEvent copy = other;
        make_wild(r, c.ev[k], copy);
        if (chance(r, 0.2)) make_wild(r, c.ev[k], copy);
    }
    // A few magnitudes or times that are not numbers amid events in time
    // order (the other wild values above are left out of some catalogs, so
    // that these stay in order otherwise): a search on sorted times or a
    // magnitude tree must not trip on them. Some of them just before one of
    // the largest events, whose aftershocks then depend on looking past them.
    if (chance(r, 0.6) && c.ev.size() > 1) {
        int64_t count = between(r, 0, 2);
        for (int64_t k = 0; k < count; ++k) {
            GenEvent& e = c.ev[between(r, 0, static_cast<int64_t>(c.ev.size()) - 1)];
            e.text[chance(r, 0.7) ? MAG : DAT] = "NaN";
        }
        std::vector<size_t> order;
        for (size_t k = 1; k < c.ev.size(); ++k) order.push_back(k);
        size_t top = std::min<size_t>(3, order.size());
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(top), order.end(),
                          [&](size_t a, size_t b) { return c.ev[a].v[MAG] > c.ev[b].v[MAG]; });
        for (size_t k = 0; k < top; ++k)
            if (chance(r, 0.6)) c.ev[order[k] - 1].text[chance(r, 0.8) ? MAG : DAT] = "NaN";
    }
    return c;
}

// Events at the same or nearly the same place: at the poles, on the equator,
// across the date line, and pairs whose distance is exactly the rupture radius
// of the larger (depth apart only, on the equator, where the epicentral term
// is exactly 0).
inline GenCatalog tiny_distances(Rng& r, int n) {
    GenCatalog c;
    c.style = usual_style(r);
    c.style.decimals[LAT] = c.style.decimals[LON] = static_cast<int>(between(r, 3, 7));
    c.style.decimals[DEP] = static_cast<int>(between(r, 0, 3));
    struct Site {
        double lat, lon, dep;  // degrees, degrees, km
    };
    std::vector<Site> sites;
    int nsites = static_cast<int>(between(r, 1, 8));
    for (int k = 0; k < nsites; ++k) {
        double lat = pick(r, {0.0, 0.0, 90.0, -90.0, 89.9999, -89.99, 45.0, uniform(r, -89.0, 89.0)});
        double lon = pick(r, {180.0, -180.0, 179.9999, -179.9999, 0.0, 359.9999, -540.0, uniform(r, -180.0, 180.0)});
        sites.push_back({lat, lon, pick(r, {0.0, 10.0, 33.0})});
    }
    double t0 = uniform(r, 23741.0, 44000.0);
    double span = log_uniform(r, 1.0, 90.0);
    double mmin = uniform(r, 2.5, 5.0);
    while (static_cast<int>(c.ev.size()) < n) {
        const Site& s = sites[between(r, 0, nsites - 1)];
        double t = t0 + uniform(r, 0.0, span);
        if (s.lat == 0.0 && chance(r, 0.3)) {
            // A larger event and a smaller one below it, exactly (or one float
            // step beyond or within) the larger one's radius apart in depth.
            double big = std::round(uniform(r, 4.0, 8.0) * 10.0) / 10.0;
            double small = std::round(uniform(r, mmin, big) * 10.0) / 10.0;
            char mag_text[16];
            std::snprintf(mag_text, sizeof mag_text, "%.1f", big);
            float rr = rupture_radius(std::strtof(mag_text, nullptr));
            float dep = pick(r, {rr, std::nextafter(rr, 0.0f), std::nextafter(rr, 1e9f)});
            char lon_text[32], dep_text[32];
            std::snprintf(lon_text, sizeof lon_text, "%.9g", s.lon);
            std::snprintf(dep_text, sizeof dep_text, "%.9g", static_cast<double>(dep));
            GenEvent a = make_event(c, 0.0, s.lon, 0.0, big, t);
            a.text[LAT] = "0";
            a.text[LON] = lon_text;
            a.text[DEP] = "0";
            a.text[MAG] = mag_text;
            c.ev.push_back(a);
            GenEvent b = make_event(c, 0.0, s.lon, dep, small, t + pick(r, {0.5, 29.0, 30.0, 1e-3}));
            b.text[LAT] = "0";
            b.text[LON] = lon_text;
            b.text[DEP] = dep_text;
            c.ev.push_back(b);
            continue;
        }
        double lat = s.lat, lon = s.lon;
        // Near a pole every longitude is near.
        if (std::fabs(s.lat) > 89.0 && chance(r, 0.3)) lon = uniform(r, -180.0, 180.0);
        double step = pick(r, {0.0, 0.0, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 0.01, 0.03, 0.1});
        lat += step * uniform(r, -1.0, 1.0);
        if (chance(r, 0.7)) lon += step * uniform(r, -1.0, 1.0);  // else due north or south
        if (chance(r, 0.15)) lon += pick(r, {360.0, -360.0});     // the same meridian written otherwise
        if (std::fabs(lon) == 180.0 && chance(r, 0.5)) lon = -lon;
        double dep = s.dep + pick(r, {0.0, 0.0, 0.0, 0.1, 1.0, 5.0, uniform(r, 0.0, 30.0)});
        add(c, lat, lon, dep, gr_mag(r, mmin, 1.0), t);
    }
    sort_by_time(c);
    c.ev.resize(n);
    return c;
}

// Time windows that the time-edge catalogs build around, days.
constexpr double EDGE_WINDOWS[] = {0.25, 1.0, 2.5, 30.0};

// A time difference just beyond w that rounds to w as a 32-bit float: a 64-bit
// comparison puts it outside w, a 32-bit one inside.
inline double beyond(double w) { return w + w * 0x1.0p-26; }
// Just within w in 64 bits as well as in 32.
inline double within(double w) { return w - w * 0x1.0p-20; }

// The time text of a probe: enough decimals for the differences above.
inline std::string exact_day(double dat) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12f", dat);
    return buf;
}

// A probe: an E2 candidate at day t in a place of its own, far from the
// rest, with E1 candidates shortly before it, and one of: a later rival of
// the same magnitude at the edge of the window, an earlier larger parent at
// the edge of the 30-day look-back, E1 at the edge of the window (the
// catalog's window_days) or of the
// 5.8e-5-day separation, or nothing. The probe writes pair records if and only
// if it is accepted, so each rule at its edge shows in the reports.
inline void add_probe(Rng& r, GenCatalog& c, double t) {
    double lat = uniform(r, -75.0, 75.0), lon = uniform(r, -180.0, 180.0);
    double w = c.window_days;
    double dep = uniform(r, 5.0, 30.0);
    double mag = pick(r, {5.0, 6.0, 6.9, 7.0, 6.95});
    const char* mag_text = mag == 6.95 ? pick(r, {"6.95", "6.9499998", "6.949999", "6.95000001", "695e-2"}) : "";
    if (chance(r, 0.3)) t = pick(r, {7304.0, within(7304.0), 23741.0, 23741.0 - 1e-6, uniform(r, 7304.0, 23741.0)});
    auto near = [&](double m, double when) {
        double la = lat, lo = lon;
        offset(r, la, lo, 3.0);
        GenEvent e = make_event(c, la, lo, dep + uniform(r, -2.0, 2.0), m, when);
        e.text[DAT] = exact_day(when);
        c.ev.push_back(e);
    };
    int helpers = static_cast<int>(between(r, 1, 3));
    for (int k = 0; k < helpers; ++k) {
        double back = pick(r, {uniform(r, 0.01, w), uniform(r, 0.01, w), w, within(w), beyond(w), 5.8e-5,
                               static_cast<double>(5.8e-5f), beyond(static_cast<double>(5.8e-5f))});
        near(mag - pick(r, {0.0, 0.5, 1.0, 1.5}), t - back);
    }
    double rival = mag + pick(r, {0.0, 0.0, 0.1});
    double parent = mag + pick(r, {0.1, 0.5, 1.0});
    switch (between(r, 0, 2)) {
    case 0: near(rival, t + pick(r, {w, within(w), beyond(w)})); break;
    case 1: near(parent, t - pick(r, {30.0, within(30.0), beyond(30.0)})); break;
    default: break;
    }
    GenEvent e = make_event(c, lat, lon, dep, mag, t);
    e.text[DAT] = exact_day(t);
    if (*mag_text != '\0') e.text[MAG] = mag_text;
    c.ev.push_back(e);
}

// Times at the edges of the rules: 5.8e-5 days apart and around it, exactly
// 30 days apart and just beyond, equal times, days around the completeness
// starts 7304 and 23741, magnitudes around the split 6.95, times on coarse
// grids so that differences equal the windows exactly; and probes.
inline GenCatalog time_edges(Rng& r, int n) {
    GenCatalog c;
    c.style = usual_style(r);
    c.style.decimals[DAT] = pick(r, {6, 6, 8, 17});
    double lat0 = uniform(r, -60.0, 60.0), lon0 = uniform(r, -180.0, 180.0);
    double reach = pick(r, {5.0, 30.0, 150.0});
    double t = pick(r, {7303.5, 23740.5, 30000.0, 43010.0, 100.0, uniform(r, 7000.0, 45000.0)});
    double grid = pick(r, {0.0, 1.0, 0.25, 1.0 / 24.0, 1.0 / 1440.0});
    double probes = pick(r, {0.0, 0.1, 0.3});
    c.window_days = EDGE_WINDOWS[between(r, 0, 3)];
    while (static_cast<int>(c.ev.size()) < n) {
        double gap = pick(r, {0.0, 5.8e-5, static_cast<double>(5.8e-5f), 5.7e-5, 5.9e-5, 1e-5, 30.0, 30.000001,
                              29.999999, 1.0 / 24.0, 0.25, 1.0, 2.5, exponential(r, 3.0)});
        if (grid > 0.0 && chance(r, 0.7)) gap = std::round(gap / grid) * grid;
        t += gap;
        if (chance(r, probes)) {
            add_probe(r, c, t);
            continue;
        }
        if (chance(r, 0.05)) t = pick(r, {7303.9, 7304.0, 23740.99, 23741.0, t});
        double lat = lat0, lon = lon0;
        offset(r, lat, lon, reach);
        double dep = uniform(r, 0.0, 40.0);
        GenEvent e = make_event(c, lat, lon, dep, pick(r, {3.0, 4.0, 4.5, 5.0, 5.5, 6.0, 6.5, 6.9, 7.0, 7.5}), t);
        if (chance(r, 0.15))
            e.text[MAG] = pick(r, {"6.95", "6.950", "6.9499998", "6.9499999", "6.949999", "6.95000001", "6.9500005",
                                   "695e-2", "0.695D1"});
        // An earlier event exactly 30 days, or a 32-bit 5.8e-5 days, before this one.
        if (chance(r, 0.05) && !c.ev.empty()) {
            const GenEvent& back = c.ev[between(r, 0, static_cast<int64_t>(c.ev.size()) - 1)];
            e.v[DAT] = back.v[DAT] + pick(r, {30.0, static_cast<double>(5.8e-5f), 0.0});
        }
        c.ev.push_back(e);
    }
    if (chance(r, 0.85)) sort_by_time(c);
    c.ev.resize(n);
    return c;
}

// The point `km` away from (lat, lon) at azimuth `az` (radians) on the
// EARTH_RADIUS_KM sphere, degrees; the longitude is not brought back into -180..180.
inline void destination(double lat, double lon, double km, double az, double& lat2, double& lon2) {
    const double d = km / EARTH_RADIUS_KM, p1 = lat * PI / 180.0;
    const double p2 = det_asin(det_sin(p1) * det_cos(d) + det_cos(p1) * det_sin(d) * det_cos(az));
    const double dl = det_atan2(det_sin(az) * det_sin(d) * det_cos(p1), det_cos(d) - det_sin(p1) * det_sin(p2));
    lat2 = p2 * 180.0 / PI;
    lon2 = lon + dl * 180.0 / PI;
}

// Rings: E2 candidates with events all round them at very nearly one distance,
// the distance range the catalog is built around, so that about half of them
// fall within it and half beyond, in every direction, at every latitude and
// across the poles and the date line: E1 candidates before, rivals after, and
// larger parents at very nearly their own rupture radius. A spatial index or
// pruning that leaves out one pair it should keep shows in the reports.
inline GenCatalog rings(Rng& r, int n) {
    GenCatalog c;
    c.style = usual_style(r);
    c.style.decimals[LAT] = c.style.decimals[LON] = static_cast<int>(between(r, 4, 7));
    c.style.decimals[DEP] = 2;
    c.style.vary = 0.0;
    c.range_km = pick(r, {20.0, 50.0, 100.0, 150.0, 300.0, 600.0, 1000.0, 2500.0, 2990.0, 3010.0, 5000.0});
    c.range_km *= pick(r, {1.0, uniform(r, 0.9, 1.1)});
    c.window_days = pick(r, {5.0, 10.0, 30.0});
    double t = uniform(r, 23741.0, 44000.0);
    auto near_ring = [&](double km) {
        return km * (1.0 + pick(r, {0.0, 1e-6, -1e-6, 1e-5, -1e-5, 1e-4, -1e-4, 1e-3, -1e-3}));
    };
    while (static_cast<int>(c.ev.size()) < n) {
        double lat = pick(r, {uniform(r, -70.0, 70.0), uniform(r, 80.0, 89.9), uniform(r, -89.9, -80.0),
                              uniform(r, 88.5, 89.99), 0.0});
        double lon = pick(r, {uniform(r, -180.0, 180.0), uniform(r, 179.0, 180.0), uniform(r, -180.0, -179.0)});
        double dep = pick(r, {10.0, 33.0});
        double mag = std::round(uniform(r, 5.5, 7.0) * 10.0) / 10.0;
        int count = static_cast<int>(between(r, 4, 40));
        for (int k = 0; k < count; ++k) {
            double lat2, lon2, when, m;
            double az = uniform(r, 0.0, 2.0 * PI);
            switch (between(r, 0, 5)) {
            case 0:  // a rival
                when = t + uniform(r, 1e-3, c.window_days);
                m = mag + pick(r, {0.0, 0.1});
                destination(lat, lon, near_ring(c.range_km), az, lat2, lon2);
                break;
            case 1:  // a larger parent at its own radius
                when = t - uniform(r, 1e-3, 29.9);
                m = mag + pick(r, {0.1, 0.5, 1.0, 1.5});
                destination(lat, lon, near_ring(radius_km(m)), az, lat2, lon2);
                break;
            default:  // an E1 candidate
                when = t - uniform(r, 1e-3, c.window_days);
                m = mag - std::round(uniform(r, 0.0, 2.0) * 10.0) / 10.0;
                destination(lat, lon, near_ring(c.range_km), az, lat2, lon2);
                break;
            }
            if (chance(r, 0.3)) lon2 = std::remainder(lon2, 360.0);
            add(c, lat2, lon2, dep, m, when);
        }
        add(c, lat, lon, dep, mag, t);
        t += c.window_days + 40.0;
    }
    sort_by_time(c);
    c.ev.resize(n);
    return c;
}

// ---- dense shapes -------------------------------------------------------------
//
// Catalogs that pile many events into one place and time, where a search
// that walks every nearby event of a window grows with the square of the
// catalog: swarms, a single point, equal times, and these with their time
// order broken here and there.

// A plain style: the numbers in one usual form, no odd texts or lines.
inline Style plain_style(Rng& r) {
    Style s = usual_style(r);
    s.decimals[LAT] = s.decimals[LON] = 4;
    s.decimals[DEP] = 1;
    s.decimals[MAG] = 1;
    s.decimals[DAT] = 8;
    s.vary = s.odd_form = s.odd_text = s.odd_line = 0.0;
    s.keep_order = true;
    return s;
}

// Gutenberg-Richter magnitudes from 2.5, capped at 5.9.
inline double swarm_mag(Rng& r) { return std::min(gr_mag(r, 2.5, 1.0), 5.9); }

// A swarm: n - 1 events within 10 km of a point over 29 days, then one M6.0
// at its centre a day later; with `far`, one larger event as well, 500 km
// away, in the middle of the swarm's days.
inline GenCatalog swarm_of(Rng& r, int n, bool far) {
    GenCatalog c;
    c.style = plain_style(r);
    const double lat = uniform(r, -50.0, 50.0), lon = uniform(r, -180.0, 180.0);
    const double t0 = uniform(r, 30000.0, 44000.0);
    const int swarm = std::max(1, n - 1 - (far ? 1 : 0));
    for (int k = 0; k < swarm; ++k) {
        double la = lat, lo = lon;
        offset(r, la, lo, 10.0);
        add(c, la, lo, depth(r, 8.0, 4.0), swarm_mag(r), t0 + uniform(r, 0.0, 29.0));
    }
    if (far) {
        double la = lat, lo = lon;
        destination(lat, lon, 500.0, uniform(r, 0.0, 2.0 * PI), la, lo);
        add(c, la, lo, 15.0, 7.0, t0 + uniform(r, 0.0, 29.0));
    }
    add(c, lat, lon, 8.0, 6.0, t0 + 30.0);
    sort_by_time(c);
    return c;
}

inline GenCatalog swarm(Rng& r, int n) { return swarm_of(r, n, false); }
inline GenCatalog swarm_and_far(Rng& r, int n) { return swarm_of(r, n, true); }

// n events at one point (the same latitude, longitude and depth), GR
// magnitudes, over a month; the distance between two of them is 0, about 2.2
// or 3.1 km, or not a number, as the latitude makes it.
inline GenCatalog one_point(Rng& r, int n) {
    GenCatalog c;
    c.style = plain_style(r);
    const double lat = pick(r, {uniform(r, -60.0, 60.0), 35.0, 0.0, 45.0});
    const double lon = uniform(r, -180.0, 180.0);
    const double t0 = uniform(r, 30000.0, 44000.0);
    const double span = pick(r, {1.0, 30.0, 60.0});
    for (int k = 0; k < n; ++k) add(c, lat, lon, 10.0, swarm_mag(r), t0 + uniform(r, 0.0, span));
    sort_by_time(c);
    return c;
}

// A swarm or a clustered catalog whose times come in runs of equal values.
inline GenCatalog equal_times(Rng& r, int n) {
    GenCatalog c = chance(r, 0.5) ? swarm(r, n) : clustered(r, n);
    for (size_t k = 1; k < c.ev.size(); ++k) {
        if (chance(r, 0.6)) c.ev[k].v[DAT] = c.ev[k - 1].v[DAT];
    }
    return c;
}

// A dense shape in time order but for a few swapped neighbours, a swapped
// far pair, or one event moved: the time order broken in a few places only.
inline GenCatalog partly_unsorted(Rng& r, int n) {
    GenCatalog c = pick(r, {0, 1, 2, 3}) == 0 ? clustered(r, n)
                   : chance(r, 0.5)           ? swarm_of(r, n, chance(r, 0.3))
                                              : one_point(r, n);
    const int64_t size = static_cast<int64_t>(c.ev.size());
    if (size < 3) return c;
    const int64_t breaks = between(r, 1, 3);
    for (int64_t k = 0; k < breaks; ++k) {
        const int64_t a = between(r, 0, size - 2);
        switch (between(r, 0, 2)) {
        case 0: std::swap(c.ev[a], c.ev[a + 1]); break;
        case 1: std::swap(c.ev[a], c.ev[between(r, 0, size - 1)]); break;
        default: c.ev[a].v[DAT] += pick(r, {-40.0, 40.0, -1.0, 1.0}); break;
        }
    }
    return c;
}

// ---- writing --------------------------------------------------------------------

// Day count to a calendar text in the catalogs' manner, "2011-01-01T00:02:31.960Z".
inline std::string time_text(double dat, int32_t id) {
    char buf[192];  // room for any six 64-bit numbers, so no text is ever cut
    if (!(dat >= 0.0 && dat < 200000.0)) {
        std::snprintf(buf, sizeof buf, "t%06d", id);
        return buf;
    }
    int64_t z = static_cast<int64_t>(std::floor(dat)) - 25567 + 719468;  // days from 1 March of year 0
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2);
    int64_t ms = static_cast<int64_t>((dat - std::floor(dat)) * 86400000.0);
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return buf;
}

// A fixed-point text ("-30000.125") with an exponent and the very same digits
// ("-3.0000125E4", "-3.0000125d+4", "-3.0000125+4"): the same value.
inline std::string with_exponent(const std::string& t, const std::string& letter) {
    std::string sign = t[0] == '-' || t[0] == '+' ? t.substr(0, 1) : "";
    std::string body = t.substr(sign.size());
    size_t point = body.find('.');
    std::string whole = point == std::string::npos ? body : body.substr(0, point);
    std::string digits = whole + (point == std::string::npos ? "" : body.substr(point + 1));
    size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) return t;  // zero
    int exp = static_cast<int>(whole.size()) - 1 - static_cast<int>(lead);
    digits.erase(0, lead);
    std::string out = sign + digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    if (letter.empty() && exp >= 0) return out + "+" + std::to_string(exp);  // "1.5+3"
    return out + letter + std::to_string(exp);
}

// A number with `decimals` decimals, or now and then in another form the
// free-form reader takes: exponents with E or D, a bare signed exponent,
// a leading plus, a trailing or leading point, all digits of a float or double.
// With `exact`, only forms of the same value as the fixed-point text, so
// that the values keep their order.
inline std::string number_text(Rng& r, double v, int decimals, const Style& s, bool exact) {
    char buf[512];
    if (!exact && chance(r, s.vary)) decimals = static_cast<int>(between(r, 0, 9));
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string fixed = buf;
    if (!chance(r, s.odd_form) || !std::isfinite(v)) return fixed;
    if (exact) {
        switch (between(r, 0, 2)) {
        case 0: return v >= 0.0 ? "+" + fixed : fixed;
        case 1: return with_exponent(fixed, pick(r, {"E", "e", "D", "d", ""}));
        default: return decimals == 0 ? fixed + "." : fixed;
        }
    }
    std::string t;
    switch (between(r, 0, 7)) {
    case 0: std::snprintf(buf, sizeof buf, "%.9g", v); return buf;
    case 1: std::snprintf(buf, sizeof buf, "%.17g", v); return buf;
    case 2: std::snprintf(buf, sizeof buf, "%.*E", decimals, v); return buf;
    case 3:
        std::snprintf(buf, sizeof buf, "%.*e", decimals, v);
        t = buf;
        t[t.find('e')] = chance(r, 0.5) ? 'd' : 'D';
        return t;
    case 4:
        std::snprintf(buf, sizeof buf, "%.*e", decimals, v);
        t = buf;
        t.erase(t.find('e'), 1);  // "1.5+03"
        return t;
    case 5: return v >= 0.0 ? "+" + fixed : fixed;
    case 6: std::snprintf(buf, sizeof buf, "%.0f.", v); return buf;
    default:
        std::snprintf(buf, sizeof buf, "%.*f", decimals + 3, v);
        t = buf;
        if (t.rfind("0.", 0) == 0)
            t.erase(0, 1);  // ".5"
        else if (t.rfind("-0.", 0) == 0)
            t.erase(1, 1);  // "-.5"
        return t;
    }
}

inline std::string tim_text(Rng& r, const GenEvent& e, const Style& s) {
    std::string t = time_text(e.v[DAT], e.id);
    if (t.size() < 20 || !chance(r, s.odd_text)) return t;
    switch (between(r, 0, 4)) {
    case 0: t[10] = ' '; return "'" + t + "'";                          // quoted, with a blank
    case 1: return "\"" + t.substr(0, 10) + " " + t.substr(11) + "\"";  // the other quote
    case 2: return t + "+09:00_local_time_of_the_agency";               // beyond 24 and 50 characters
    case 3: return "''";                                                // empty
    default: return "\"" + t + " JST/local\"";                          // slash inside quotes
    }
}

inline std::string nam_text(Rng& r, const GenEvent& e, const Style& s) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ev%06d", e.id);
    std::string t = buf;
    if (!chance(r, s.odd_text)) return t;
    switch (between(r, 0, 3)) {
    case 0: return "'Off Sanriku, " + t + "'";
    case 1: return t + "_a_label_longer_than_thirty_characters_and_fifty_as_well";
    case 2: return "'O''Higgins " + t + "'";
    default: return "\"Kermadec/" + t + "\"";
    }
}

// The catalog as text, one line per event.
inline std::string render(Rng& r, const GenCatalog& c) {
    std::string out;
    for (const GenEvent& e : c.ev) {
        std::string values[7];
        values[0] = tim_text(r, e, c.style);
        for (int f = 0; f < FIELDS; ++f) {
            bool exact = f == DAT && c.style.keep_order;
            values[1 + f] = e.text[f].empty() ? number_text(r, e.v[f], c.style.decimals[f], c.style, exact) : e.text[f];
        }
        values[6] = nam_text(r, e, c.style);
        bool odd = chance(r, c.style.odd_line);
        if (odd && chance(r, 0.3)) out += "  ";
        for (int k = 0; k < 7; ++k) {
            if (k > 0) out += odd ? pick(r, {" ", ",", ", ", " ,  ", "\t", "   "}) : " ";
            out += values[k];
        }
        if (odd && chance(r, 0.3)) out += pick(r, {" 1 2 3", " ignored, values", " ,"});
        out += '\n';
    }
    return out;
}

}  // namespace rc
