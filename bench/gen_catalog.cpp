// gen_catalog: a synthetic earthquake catalog of any size in the labelled
// layout (tim lat lon dep mag dat nam), for measuring twinquake beyond the
// real catalogs.
//
//   gen_catalog N [seed] [--stats] > file
//   gen_catalog N [seed] --shape swarm|swarm-far|point > file
//
// Writes N events in non-decreasing time from 1 January 1970, about 55 a day
// on average, so the catalog spans about N / 55 days. The seismicity is
// clustered the way real catalogs are:
// - background events, a Poisson process in time, placed along a set of
//   plate-boundary zones (subduction zones, continental faults, ridges) and a
//   few scattered intraplate events;
// - Gutenberg-Richter magnitudes (b = 1) from 2.5, capped at 9.0;
// - aftershock cascades: every event triggers aftershocks at Omori-law delays,
//   as many as its magnitude makes productive, each placed near its parent
//   within a distance that grows with the parent's magnitude, and each
//   triggering its own;
// - doublets: now and then a large event is followed within days by another
//   of similar magnitude nearby.
//
// The output depends only on N and the seed, on every platform: the random
// numbers and the logarithm, exponential and cosine are those of the test
// catalogs (tests/unit/random_catalog.h), the raw output of std::mt19937_64
// and arithmetic from + - * / and sqrt alone. The background rate does
// not depend on N: for one seed, a shorter catalog is the beginning of a
// longer one.
//
// --shape writes one of the dense shapes of the test catalogs instead
// (tests/unit/random_catalog.h): a swarm of N - 1 events within 10 km and 29
// days and an M6.0 at its centre a day later; the same with an M7.0 500 km
// away amid the swarm's days; or N events at one single point over a month.
//
// --stats writes a summary to standard error: span, events a day, magnitude
// range, how many events are background, aftershocks and doublets.

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "random_catalog.h"
#include "text_io.h"

namespace {

constexpr double START_DAT = 25567.0;    // 1 January 1970, days from 1 January 1900
constexpr double EVENTS_PER_DAY = 55.0;  // average rate of the whole catalog
constexpr double MAG_MIN = 2.5;          // smallest magnitude generated
constexpr double MAG_MAX = 9.0;          // Gutenberg-Richter law truncated here
constexpr double B_VALUE = 1.0;          // Gutenberg-Richter slope
constexpr double PRODUCTIVITY = 0.1;     // direct aftershocks of a MAG_MIN event
constexpr double ALPHA = 0.8;            // productivity grows as 10^(ALPHA * (m - MAG_MIN))
// Direct aftershocks per event, averaged over the magnitude law:
// PRODUCTIVITY * b / (b - ALPHA) * (1 - 10^-((b - ALPHA) * 6.5)) / (1 - 10^-(b * 6.5)), about
// 0.475; with the doublets and their sequences about half of all events are
// triggered. The background carries the other half of the rate (its share
// measured over several seeds).
constexpr double BACKGROUND_SHARE = 0.515;
constexpr double BACKGROUND_PER_DAY = EVENTS_PER_DAY * BACKGROUND_SHARE;  // events a day
constexpr double OMORI_C = 0.01;           // days: Omori delay constant (about 15 minutes)
constexpr double OMORI_P = 1.1;            // Omori decay exponent
constexpr double OMORI_MAX_DAYS = 1000.0;  // no aftershock later than this after its parent
constexpr double WARM_UP_DAYS = 2000.0;    // background before the catalog starts, so that
                                           // sequences already running on day one are there
constexpr double DOUBLET_MIN_MAG = 5.5;    // smallest event that can have a doublet partner
constexpr double DOUBLET_CHANCE = 0.12;    // chance that such an event has one
constexpr double DOUBLET_MEAN_DAYS = 3.0;  // days: mean delay of the partner
constexpr double DOUBLET_MAX_DAYS = 20.0;  // days: longest delay of the partner
constexpr double DOUBLET_MIN_DAYS = 0.02;  // days: shortest delay (about half an hour)
constexpr double SCATTER_SHARE = 0.04;     // background events away from every zone
constexpr double KM_PER_DEGREE = 111.195;  // km per degree of a great circle, radius 6371 km
constexpr double MAX_DEPTH = 700.0;        // km
constexpr int64_t MS_PER_DAY = 86400000;   // milliseconds in a day

enum class Kind : uint8_t { background, aftershock, doublet };

// One generated event before it is written.
struct Quake {
    int64_t ms;        // origin time, ms from 1 January 1900 (the printed time)
    double lat;        // degrees
    double lon;        // degrees, any range until written
    double dep;        // km
    double mag;        // magnitude, unrounded
    int32_t root;      // index of the background event whose sequence holds it
    Kind kind;         // how it came about
    uint8_t decimals;  // decimals printed for the magnitude, 1 or 2
};

// The random numbers and the platform-independent arithmetic of the test
// catalogs.
using rc::det_cos;
using rc::det_exp;
using rc::det_log;
using rc::det_pow;
using rc::exponential;
using rc::LN10;
using rc::normal;
using rc::PI;
using rc::poisson;
using rc::Rng;
using rc::uniform;
using rc::uniform_open;

// Gutenberg-Richter magnitude between MAG_MIN and MAG_MAX.
double gr_magnitude(Rng& r) {
    static const double tail = det_exp(-B_VALUE * (MAG_MAX - MAG_MIN) * LN10);  // 10^(-b * 6.5)
    const double u = uniform(r);
    return MAG_MIN - det_log(1.0 - u * (1.0 - tail)) / (B_VALUE * LN10);
}

// Omori-law delay in days, truncated at OMORI_MAX_DAYS.
double omori_delay(Rng& r) {
    static const double reach = 1.0 - det_pow(1.0 + OMORI_MAX_DAYS / OMORI_C, 1.0 - OMORI_P);
    const double u = uniform(r) * reach;
    return OMORI_C * (det_pow(1.0 - u, 1.0 / (1.0 - OMORI_P)) - 1.0);
}

// A random direction: a unit vector (east, north), uniform in angle.
void direction(Rng& r, double& east, double& north) {
    for (;;) {
        const double x = 2.0 * uniform(r) - 1.0;
        const double y = 2.0 * uniform(r) - 1.0;
        const double s = x * x + y * y;
        if (s > 1e-6 && s < 1.0) {
            const double len = std::sqrt(s);
            east = x / len;
            north = y / len;
            return;
        }
    }
}

// Moves a point by `east` and `north` km on a local flat map.
void shift(double& lat, double& lon, double east, double north) {
    const double c = det_cos(lat * PI / 180.0);
    lat += north / KM_PER_DEGREE;
    lon += east / (KM_PER_DEGREE * std::max(c, 0.05));
    lat = std::clamp(lat, -89.9, 89.9);
}

// Size in km of the zone around an event of magnitude m where its aftershocks
// fall: roughly half a rupture length, 18 km at magnitude 6, 180 km at 8.
double cluster_km(double m) { return det_exp((0.5 * m - 1.8) * LN10) + 1.0; }

// ---- where the background happens ----

enum class Zone : uint8_t {
    subduction,  // dipping plate: depth grows away from the trench, some deep events
    crustal,     // continental faults: shallow
    ridge,       // ocean ridges: shallow, narrow
};

struct Vertex {
    double lat;  // degrees
    double lon;  // degrees, may run past 180 to keep a zone continuous
};

struct ZoneLine {
    Zone kind;          // depth behaviour
    double weight;      // share of the background (relative, per km of zone)
    double width;       // km: spread across the zone
    double deep_share;  // share of intermediate and deep events (subduction zones)
    int32_t first;      // first vertex in VERTICES
    int32_t count;      // vertices of the polyline
};

// The polylines follow the main plate boundaries, roughly.
constexpr Vertex VERTICES[] = {
    // 0: Japan trench, Kuril, Kamchatka
    {35.0, 141.5},
    {41.0, 143.5},
    {45.0, 150.0},
    {51.0, 158.0},
    {56.0, 163.0},
    // 5: Aleutians to southern Alaska
    {51.0, 167.0},
    {51.5, 175.0},
    {51.8, 190.0},
    {54.5, 202.0},
    {60.0, 213.0},
    // 10: Cascadia
    {40.5, -124.8},
    {45.0, -125.5},
    {49.5, -127.5},
    // 13: California
    {32.5, -115.5},
    {34.5, -118.5},
    {36.0, -120.6},
    {40.3, -124.3},
    // 17: Mexico and Central America
    {20.0, -106.0},
    {16.5, -99.0},
    {15.0, -94.0},
    {13.0, -89.0},
    {9.0, -84.0},
    // 22: Andes
    {6.0, -77.5},
    {-2.0, -80.5},
    {-12.0, -77.5},
    {-18.5, -71.0},
    {-27.0, -71.0},
    {-36.0, -73.0},
    {-45.0, -75.5},
    // 29: Caribbean
    {18.5, -78.0},
    {19.5, -70.0},
    {18.5, -64.0},
    {15.0, -61.0},
    {11.0, -62.0},
    // 34: Sumatra, Java, Lesser Sunda
    {10.0, 93.0},
    {3.0, 96.0},
    {-4.0, 101.5},
    {-8.5, 110.0},
    {-10.0, 120.0},
    {-8.0, 128.0},
    // 40: Philippines
    {5.0, 126.5},
    {9.0, 126.5},
    {13.0, 125.0},
    {18.5, 121.0},
    // 44: Taiwan, Ryukyu, Nankai
    {22.0, 121.0},
    {24.5, 122.5},
    {28.5, 129.5},
    {33.0, 135.0},
    {34.5, 138.5},
    // 49: Izu-Bonin, Mariana
    {34.0, 140.0},
    {27.0, 142.5},
    {18.0, 147.0},
    {12.0, 144.0},
    // 53: New Guinea, Solomon, Vanuatu
    {-3.0, 135.0},
    {-5.5, 147.0},
    {-7.0, 155.0},
    {-11.0, 162.0},
    {-15.0, 167.0},
    {-21.0, 169.5},
    // 59: Tonga, Kermadec, New Zealand
    {-15.0, -173.5},
    {-23.0, -175.0},
    {-30.0, -177.5},
    {-37.5, -181.5},
    {-42.0, -187.0},
    // 64: Himalaya
    {34.0, 73.0},
    {30.0, 80.0},
    {27.5, 88.0},
    {28.5, 95.0},
    // 68: Zagros, Iran
    {38.0, 44.0},
    {33.0, 48.0},
    {27.5, 56.0},
    {30.0, 60.0},
    // 72: Anatolia
    {40.5, 26.0},
    {40.7, 31.0},
    {39.5, 40.0},
    {38.0, 44.0},
    // 76: Hellenic arc
    {38.5, 20.5},
    {35.0, 23.0},
    {35.5, 28.0},
    // 79: Italy
    {46.0, 13.0},
    {42.5, 13.5},
    {38.0, 15.5},
    // 82: Tibet, Sichuan, Yunnan
    {36.0, 100.0},
    {31.0, 103.5},
    {25.0, 102.5},
    // 85: Basin and Range
    {36.0, -117.5},
    {42.0, -112.0},
    // 87: Mid-Atlantic ridge
    {65.0, -18.0},
    {50.0, -29.0},
    {30.0, -42.0},
    {10.0, -40.0},
    {0.0, -20.0},
    {-30.0, -13.0},
    {-55.0, -5.0},
    // 94: East Pacific Rise
    {20.0, -108.0},
    {0.0, -103.0},
    {-30.0, -112.0},
    {-55.0, -120.0},
    // 98: Indian Ocean ridges
    {12.0, 52.0},
    {-10.0, 67.0},
    {-25.0, 70.0},
    {-40.0, 80.0},
    // 102: East African rift
    {12.0, 42.0},
    {0.0, 36.0},
    {-10.0, 34.0},
    {-15.0, 35.0},
};

constexpr ZoneLine ZONES[] = {
    {Zone::subduction, 3.0, 120.0, 0.10, 0, 5},  {Zone::subduction, 2.0, 100.0, 0.05, 5, 5},
    {Zone::subduction, 0.6, 80.0, 0.02, 10, 3},  {Zone::crustal, 2.0, 25.0, 0.0, 13, 4},
    {Zone::subduction, 2.0, 100.0, 0.08, 17, 5}, {Zone::subduction, 2.0, 130.0, 0.15, 22, 7},
    {Zone::subduction, 1.0, 80.0, 0.05, 29, 5},  {Zone::subduction, 2.5, 130.0, 0.10, 34, 6},
    {Zone::subduction, 2.0, 100.0, 0.10, 40, 4}, {Zone::subduction, 2.0, 100.0, 0.10, 44, 5},
    {Zone::subduction, 1.5, 120.0, 0.20, 49, 4}, {Zone::subduction, 2.0, 120.0, 0.10, 53, 6},
    {Zone::subduction, 2.5, 120.0, 0.25, 59, 5}, {Zone::crustal, 1.0, 80.0, 0.0, 64, 4},
    {Zone::crustal, 1.0, 100.0, 0.02, 68, 4},    {Zone::crustal, 1.2, 40.0, 0.0, 72, 4},
    {Zone::subduction, 1.0, 80.0, 0.10, 76, 3},  {Zone::crustal, 0.8, 40.0, 0.0, 79, 3},
    {Zone::crustal, 0.8, 80.0, 0.0, 82, 3},      {Zone::crustal, 0.5, 60.0, 0.0, 85, 2},
    {Zone::ridge, 0.3, 20.0, 0.0, 87, 7},        {Zone::ridge, 0.3, 20.0, 0.0, 94, 4},
    {Zone::ridge, 0.2, 20.0, 0.0, 98, 4},        {Zone::crustal, 0.3, 50.0, 0.0, 102, 4},
};

// One straight piece of a zone, with its share of the background.
struct Segment {
    int32_t zone;  // index in ZONES
    Vertex a, b;   // end points
    double cum;    // cumulative weight up to and including this segment
};

double segment_km(Vertex a, Vertex b) {
    const double c = det_cos((a.lat + b.lat) * 0.5 * PI / 180.0);
    const double n = (b.lat - a.lat) * KM_PER_DEGREE;
    const double e = (b.lon - a.lon) * KM_PER_DEGREE * c;
    return std::sqrt(n * n + e * e);
}

std::vector<Segment> make_segments() {
    std::vector<Segment> s;
    double cum = 0.0;
    for (int32_t z = 0; z < static_cast<int32_t>(std::size(ZONES)); ++z) {
        const ZoneLine& zl = ZONES[z];
        for (int32_t k = 0; k + 1 < zl.count; ++k) {
            const Vertex a = VERTICES[zl.first + k], b = VERTICES[zl.first + k + 1];
            cum += zl.weight * segment_km(a, b);
            s.push_back({z, a, b, cum});
        }
    }
    return s;
}

// A background event's position and depth.
void place_background(Rng& r, const std::vector<Segment>& segs, Quake& q) {
    if (uniform(r) < SCATTER_SHARE) {
        q.lat = -60.0 + 130.0 * uniform(r);
        q.lon = -180.0 + 360.0 * uniform(r);
        q.dep = 1.0 + exponential(r, 10.0);
        return;
    }
    const double pick = uniform(r) * segs.back().cum;
    const auto it =
        std::upper_bound(segs.begin(), segs.end(), pick, [](double v, const Segment& s) { return v < s.cum; });
    const Segment& s = it == segs.end() ? segs.back() : *it;
    const ZoneLine& zl = ZONES[s.zone];
    const double f = uniform(r);
    q.lat = s.a.lat + f * (s.b.lat - s.a.lat);
    q.lon = s.a.lon + f * (s.b.lon - s.a.lon);
    // Across the zone: perpendicular to the segment on the local map.
    const double c = det_cos(q.lat * PI / 180.0);
    const double n = (s.b.lat - s.a.lat) * KM_PER_DEGREE;
    const double e = (s.b.lon - s.a.lon) * KM_PER_DEGREE * c;
    const double len = std::max(std::sqrt(n * n + e * e), 1e-9);
    const double across = zl.width * normal(r) * 0.5;  // km, signed
    shift(q.lat, q.lon, -n / len * across, e / len * across);
    switch (zl.kind) {
    case Zone::subduction:
        if (uniform(r) < zl.deep_share) {
            q.dep = 70.0 + 580.0 * uniform(r) * uniform(r);
        } else {
            q.dep = 5.0 + 0.5 * std::max(across, 0.0) + exponential(r, 8.0);
        }
        break;
    case Zone::crustal: q.dep = 1.0 + exponential(r, 9.0); break;
    case Zone::ridge: q.dep = 1.0 + exponential(r, 5.0); break;
    }
    q.dep = std::min(q.dep, zl.kind == Zone::subduction ? MAX_DEPTH : 40.0);
}

// ---- the sequences ----

int64_t to_ms(double days) { return std::llround(days * static_cast<double>(MS_PER_DAY)); }

double to_days(int64_t ms) { return static_cast<double>(ms) / static_cast<double>(MS_PER_DAY); }

uint8_t magnitude_decimals(Rng& r, double mag) {
    // Local networks report two decimals for small events, the rest one.
    return mag < 5.0 && uniform(r) < 0.4 ? 2 : 1;
}

// A new event near `parent`, `days` after it, `km` away, of magnitude `mag`.
Quake offspring(Rng& r, const Quake& parent, double days, double km, double mag, Kind kind) {
    Quake q{};
    q.ms = parent.ms + std::max<int64_t>(to_ms(days), 1);
    q.lat = parent.lat;
    q.lon = parent.lon;
    double east = 0.0, north = 0.0;
    direction(r, east, north);
    shift(q.lat, q.lon, east * km, north * km);
    q.dep = std::clamp(parent.dep + 4.0 * normal(r), 0.0, MAX_DEPTH);
    q.mag = mag;
    q.root = parent.root;
    q.kind = kind;
    q.decimals = magnitude_decimals(r, mag);
    return q;
}

// The whole sequence of the event at index `first`: its aftershocks, theirs,
// and doublet partners, appended to `all` (breadth first).
void grow_sequence(Rng& r, std::vector<Quake>& all, size_t first) {
    for (size_t k = first; k < all.size(); ++k) {
        const Quake parent = all[k];  // a copy: `all` grows below
        const double scale = cluster_km(parent.mag);
        const int64_t count = poisson(r, PRODUCTIVITY * det_exp(ALPHA * (parent.mag - MAG_MIN) * LN10));
        for (int64_t c = 0; c < count; ++c) {
            const double days = omori_delay(r);
            const double km = scale * std::sqrt(-det_log(uniform_open(r)));  // Rayleigh spread
            const double mag = gr_magnitude(r);
            all.push_back(offspring(r, parent, days, km, mag, Kind::aftershock));
        }
        if (parent.kind != Kind::doublet && parent.mag >= DOUBLET_MIN_MAG && uniform(r) < DOUBLET_CHANCE) {
            static const double reach = 1.0 - det_exp(-DOUBLET_MAX_DAYS / DOUBLET_MEAN_DAYS);
            const double days = DOUBLET_MIN_DAYS - DOUBLET_MEAN_DAYS * det_log(1.0 - uniform(r) * reach);
            const double km = scale * (0.5 + 1.5 * uniform(r)) + 5.0;
            const double mag = std::min(parent.mag - 0.3 + 0.6 * uniform(r), MAG_MAX);
            all.push_back(offspring(r, parent, days, km, mag, Kind::doublet));
        }
    }
}

// Background events one after another from WARM_UP_DAYS before the start,
// each with its whole sequence, until the first n events from the start on can
// no longer change: every later background event, and so all of its
// sequence, comes after the latest one generated.
std::vector<Quake> generate(int64_t n, uint64_t seed) {
    Rng r = rc::make_rng(seed);
    const std::vector<Segment> segs = make_segments();
    const int64_t start = to_ms(START_DAT);
    std::vector<Quake> all;
    all.reserve(static_cast<size_t>(n) + static_cast<size_t>(n) / 5 + 1024);
    double t = START_DAT - WARM_UP_DAYS;
    double check_at = START_DAT + static_cast<double>(n) / EVENTS_PER_DAY;
    for (;;) {
        t += exponential(r, 1.0 / BACKGROUND_PER_DAY);
        if (t >= check_at) {
            const int64_t now = to_ms(t);
            int64_t before = 0;
            for (const Quake& q : all) before += q.ms >= start && q.ms < now;
            if (before >= n) break;
            check_at = t + static_cast<double>(n - before) / EVENTS_PER_DAY + 1.0;
        }
        Quake q{};
        q.ms = to_ms(t);
        place_background(r, segs, q);
        q.mag = gr_magnitude(r);
        q.root = static_cast<int32_t>(all.size());
        q.kind = Kind::background;
        q.decimals = magnitude_decimals(r, q.mag);
        all.push_back(q);
        grow_sequence(r, all, all.size() - 1);
    }
    // From the start on, in time order; among equal times the order of generation.
    std::vector<int32_t> order;
    order.reserve(all.size());
    for (size_t k = 0; k < all.size(); ++k) {
        if (all[k].ms >= start) order.push_back(static_cast<int32_t>(k));
    }
    std::sort(order.begin(), order.end(),
              [&](int32_t a, int32_t b) { return all[a].ms != all[b].ms ? all[a].ms < all[b].ms : a < b; });
    order.resize(static_cast<size_t>(n));
    std::vector<Quake> out;
    out.reserve(static_cast<size_t>(n));
    for (int32_t k : order) out.push_back(all[k]);
    return out;
}

// ---- writing ----

// A fixed-point number: v / 10^decimals, with a minus sign when negative.
char* put_fixed(char* p, int64_t v, int decimals) {
    if (v < 0) {
        *p++ = '-';
        v = -v;
    }
    int64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    p += std::snprintf(p, 24, "%" PRId64, v / scale);
    if (decimals > 0) {
        *p++ = '.';
        int64_t frac = v % scale;
        for (int k = decimals - 1; k >= 0; --k) {
            p[k] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        p += decimals;
    }
    return p;
}

// Calendar date of a day count from 1 January 1970 (proleptic Gregorian).
void civil_date(int64_t days, int64_t& y, int32_t& m, int32_t& d) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;                                    // [0, 146096]
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const int64_t mp = (5 * doy + 2) / 153;                                     // [0, 11]
    d = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

// One catalog line of event q, named ev<number>.
std::string_view format_line(const Quake& q, int64_t number, char* buf) {
    char* p = buf;
    const int64_t day = q.ms / MS_PER_DAY;  // days from 1 January 1900
    const int64_t in_day = q.ms % MS_PER_DAY;
    int64_t y = 0;
    int32_t mo = 0, d = 0;
    civil_date(day - static_cast<int64_t>(START_DAT), y, mo, d);
    const int32_t h = static_cast<int32_t>(in_day / 3600000);
    const int32_t mi = static_cast<int32_t>(in_day / 60000 % 60);
    const int32_t s = static_cast<int32_t>(in_day / 1000 % 60);
    const int32_t ms = static_cast<int32_t>(in_day % 1000);
    p += std::snprintf(p, 32, "%04" PRId64 "-%02d-%02dT%02d:%02d:%02d.%03dZ ", y, mo, d, h, mi, s, ms);
    p = put_fixed(p, std::llround(q.lat * 1000.0), 3);
    *p++ = ' ';
    int64_t lon = std::llround(q.lon * 1000.0);  // into [-180, 180)
    lon = ((lon + 180000) % 360000 + 360000) % 360000 - 180000;
    p = put_fixed(p, lon, 3);
    *p++ = ' ';
    p = put_fixed(p, std::llround(q.dep * 10.0), 1);
    *p++ = ' ';
    const double mag = std::min(q.mag, MAG_MAX);
    p = put_fixed(p, std::llround(mag * (q.decimals == 2 ? 100.0 : 10.0)), q.decimals);
    *p++ = ' ';
    // dat: the day count with the time of day to 8 decimals, rounded half to
    // even from the exact millisecond count (in_day / 86400000 = in_day * 125 / 108 e-8).
    const int64_t scaled = in_day * 125;
    int64_t frac = scaled / 108;
    const int64_t rest = scaled % 108;
    if (2 * rest > 108 || (2 * rest == 108 && frac % 2 == 1)) ++frac;
    p = put_fixed(p, day * 100000000 + frac, 8);
    p += std::snprintf(p, 32, " ev%" PRId64, number);
    return std::string_view(buf, static_cast<size_t>(p - buf));
}

void write_stats(const std::vector<Quake>& qs) {
    const int64_t n = static_cast<int64_t>(qs.size());
    if (n == 0) return;
    int64_t by_kind[3] = {0, 0, 0};
    int64_t at_least[8] = {};  // magnitude >= 2 .. 9
    double lo = qs[0].mag, hi = qs[0].mag;
    std::vector<int32_t> size;  // events of each sequence, by root index
    for (const Quake& q : qs) {
        ++by_kind[static_cast<int>(q.kind)];
        lo = std::min(lo, q.mag);
        hi = std::max(hi, q.mag);
        for (int m = 2; m <= 9; ++m) at_least[m - 2] += q.mag >= m;
        if (static_cast<size_t>(q.root) >= size.size()) size.resize(static_cast<size_t>(q.root) + 1, 0);
        ++size[static_cast<size_t>(q.root)];
    }
    int64_t in_sequences = 0, sequences = 0, largest = 0;
    for (int32_t s : size) {
        if (s > 1) {
            in_sequences += s;
            ++sequences;
        }
        largest = std::max<int64_t>(largest, s);
    }
    const double span = to_days(qs.back().ms - qs.front().ms);
    std::fprintf(stderr, "events %" PRId64 ", days %.1f to %.1f (span %.1f days, %.2f years), %.2f a day\n", n,
                 to_days(qs.front().ms), to_days(qs.back().ms), span, span / 365.25, static_cast<double>(n) / span);
    std::fprintf(stderr,
                 "magnitude %.2f to %.2f; at least 4: %" PRId64 ", 5: %" PRId64 ", 6: %" PRId64 ", 7: %" PRId64
                 ", 8: %" PRId64 "\n",
                 lo, std::min(hi, MAG_MAX), at_least[2], at_least[3], at_least[4], at_least[5], at_least[6]);
    std::fprintf(stderr, "background %" PRId64 " (%.1f%%), aftershocks %" PRId64 " (%.1f%%), doublets %" PRId64 "\n",
                 by_kind[0], 100.0 * by_kind[0] / n, by_kind[1], 100.0 * by_kind[1] / n, by_kind[2]);
    std::fprintf(stderr,
                 "in sequences of 2 or more: %" PRId64 " events (%.1f%%) in %" PRId64 " sequences, the largest %" PRId64
                 " events\n",
                 in_sequences, 100.0 * in_sequences / n, sequences, largest);
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: gen_catalog N [seed] [--stats | --shape swarm|swarm-far|point] > file\n");
    std::exit(1);
}

// A dense shape of the test catalogs, N events, written plainly.
void write_shape(const char* shape, int64_t n, uint64_t seed) {
    rc::Rng r = rc::make_rng(seed);
    rc::GenCatalog c;
    const int count = static_cast<int>(n);
    if (std::strcmp(shape, "swarm") == 0) {
        c = rc::swarm(r, count);
    } else if (std::strcmp(shape, "swarm-far") == 0) {
        c = rc::swarm_and_far(r, count);
    } else if (std::strcmp(shape, "point") == 0) {
        c = rc::one_point(r, count);
    } else {
        usage();
    }
    const std::string text = rc::render(r, c);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    set_program_name("gen_catalog");
    int64_t n = -1;
    uint64_t seed = 1;
    bool stats = false;
    const char* shape = nullptr;
    int positional = 0;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--stats") == 0) {
            stats = true;
            continue;
        }
        if (std::strcmp(argv[k], "--shape") == 0 && k + 1 < argc) {
            shape = argv[++k];
            continue;
        }
        char* end = nullptr;
        const unsigned long long v = std::strtoull(argv[k], &end, 10);
        if (end == argv[k] || *end != '\0' || argv[k][0] == '-') usage();
        if (positional == 0)
            n = static_cast<int64_t>(v);
        else if (positional == 1)
            seed = v;
        else
            usage();
        ++positional;
    }
    if (n < 0 || n > 100000000) usage();
    if (shape != nullptr) {
        write_shape(shape, n, seed);
        return 0;
    }

    const std::vector<Quake> qs = generate(n, seed);
    char buf[256];
    for (int64_t k = 0; k < n; ++k) write_line(STDOUT_STREAM, format_line(qs[static_cast<size_t>(k)], k + 1, buf));
    close_all_streams();
    if (stats) write_stats(qs);
    return 0;
}
