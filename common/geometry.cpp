// geometry: hypocentral distance and rupture-zone radius, in 32-bit floats.
//
// Every intermediate is a float variable, so each product, sum and library
// result is rounded to 32 bits before the next step; the build forbids fused
// multiply-add, so no step is rounded once where it is written twice.
#include "geometry.h"

#include <math.h>
#include <bit>
#include <cstdint>

namespace {

constexpr float RUPTURE_SLOPE = 0.59f;      // nearest float to 0.59 (0x3F170A3D), magnitude to log10 km
constexpr float RUPTURE_INTERCEPT = 2.44f;  // nearest float to 2.44 (0x401C28F6), log10 km, subtracted
constexpr float RUPTURE_BASE = 10.0f;       // power base of the length relation (0x41200000)
constexpr float RUPTURE_FACTOR = 2.0f;      // length to radius (0x40000000)
constexpr float RUPTURE_OFFSET = 20.0f;     // km added to every radius (0x41A00000)

static_assert(std::bit_cast<std::uint32_t>(RUPTURE_SLOPE) == 0x3F170A3Du);
static_assert(std::bit_cast<std::uint32_t>(RUPTURE_INTERCEPT) == 0x401C28F6u);

}  // namespace

GeoPoint geo_point(float lat, float lon, float dep) {
    GeoPoint p;
    p.phi = lat * DEG_TO_RAD;
    p.lam = lon * DEG_TO_RAD;
    p.sin_phi = sinf(p.phi);
    p.cos_phi = cosf(p.phi);
    p.dep = dep;
    return p;
}

float hypo_distance(const GeoPoint& a, const GeoPoint& b) {
    float ss = a.sin_phi * b.sin_phi;
    float cc = a.cos_phi * b.cos_phi;
    float dlam = a.lam - b.lam;
    float x = cosf(dlam) * cc;
    x = x + ss;
    // x is left as it is: above 1 it gives NaN, and a NaN distance is within no limit.
    float epicentral = acosf(x) * EARTH_RADIUS_KM;
    float h = a.dep - b.dep;
    float e2 = epicentral * epicentral;
    float h2 = h * h;
    return sqrtf(e2 + h2);
}

float hypo_distance(float lat_a, float lon_a, float dep_a, float lat_b, float lon_b, float dep_b) {
    return hypo_distance(geo_point(lat_a, lon_a, dep_a), geo_point(lat_b, lon_b, dep_b));
}

float rupture_radius(float mag) {
    float e = RUPTURE_SLOPE * mag;
    e = e - RUPTURE_INTERCEPT;
    float length = powf(RUPTURE_BASE, e);  // km
    float radius = length * RUPTURE_FACTOR;
    radius = radius + RUPTURE_OFFSET;
    return radius;
}
