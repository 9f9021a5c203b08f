// geometry: hypocentral distance and rupture-zone radius, in 32-bit floats.
//
// Owns the two spatial measures every search uses. Each step is rounded to
// 32 bits before the next, in the order written in geometry.cpp, with the
// correctly rounded single-precision sine, cosine, arc cosine and power that
// the build links in, so a distance is the same bit for bit on every machine.
// Does not own any limit or comparison: callers test `limit >= distance`,
// which a NaN distance never passes.
#pragma once

#include <bit>
#include <cstdint>

constexpr float DEG_TO_RAD = std::bit_cast<float>(0x3C8EFA35u);  // nearest float to 0.017453292
constexpr float EARTH_RADIUS_KM = 6371.0f;                       // arc length per radian, km

// A hypocentre with the values the distance formula needs of it, computed
// once: the same bits as the formula computes them each time.
struct GeoPoint {
    float phi;      // latitude, radians (32-bit product lat * DEG_TO_RAD)
    float lam;      // longitude, radians
    float sin_phi;  // sinf(phi)
    float cos_phi;  // cosf(phi)
    float dep;      // depth, km
};

GeoPoint geo_point(float lat, float lon, float dep);

// Straight-line distance in km between two hypocentres given in degrees and km.
float hypo_distance(float lat_a, float lon_a, float dep_a, float lat_b, float lon_b, float dep_b);
// The same distance from prepared points; bit for bit the same result.
float hypo_distance(const GeoPoint& a, const GeoPoint& b);

// Radius in km within which later events count as aftershocks of an event of
// magnitude `mag`: 2 * 10^(0.59 * mag - 2.44) + 20.
float rupture_radius(float mag);
