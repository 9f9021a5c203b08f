// event_index_impl: the grid walk of near_events, kept in a header so the
// visitor of each search step is inlined into it.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace index_detail {

constexpr int32_t ROWS = 180;  // latitude rows of 1 degree, from -90
constexpr int32_t COLS = 360;  // longitude columns of 1 degree, from 0

// A query narrows the columns only when its reach ends this far from the
// equator, a degree short of either pole (see near_events).
constexpr double POLE_CLEARANCE_DEG = 89.0;
// Added to the longitude half-width of a query, degrees (about 0.1 m): covers
// the double rounding of sin, cos and asin (some 1e-14 degree) and a point
// exactly on the bound, which col_of's floor could put one column off. Far
// below the pruning margin, so it costs nothing.
constexpr double LON_SLACK_DEG = 1e-6;
// From this longitude half-width on, a query takes every column: the range
// floor(lon - dlon) .. floor(lon + dlon) spans up to 2 dlon + 1 columns, which
// from dlon = 179.5 on would wrap round onto itself and miscount; 179 keeps
// half a degree clear of that.
constexpr double WHOLE_CIRCLE_DLON_DEG = 179.0;

int32_t row_of(double lat);
int32_t col_of(double lon);

// Visits the events of cell `cell` whose index lies in lo..hi.
template <class Visit>
bool visit_cell(const EventIndex& x, int32_t cell, int32_t lo, int32_t hi, Visit& visit) {
    const int32_t* first = x.cell_events.data() + x.cell_first[cell];
    const int32_t* last = x.cell_events.data() + x.cell_first[cell + 1];
    const int32_t* at = std::lower_bound(first, last, lo);
    for (; at != last && *at <= hi; ++at) {
        if (!visit(*at)) return false;
    }
    return true;
}

}  // namespace index_detail

template <class Visit>
bool near_events(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Visit visit) {
    using namespace index_detail;
    if (lo > hi) return true;
    if (std::isnan(limit_km)) return true;  // no distance is within a NaN limit
    if (!x.placed[c] || !(limit_km < GRID_MAX_KM)) {
        for (int32_t j = lo; j <= hi; ++j) {
            if (!visit(j)) return false;
        }
        return true;
    }
    constexpr double DEG_PER_RAD = 180.0 / std::numbers::pi;
    constexpr double RAD_PER_DEG = std::numbers::pi / 180.0;
    const double reach = (std::max(limit_km, 0.0) + PRUNE_MARGIN_KM) / EARTH_RADIUS_KM;  // radians
    const double reach_deg = reach * DEG_PER_RAD;
    const double lat = cat.lat[c];  // degrees
    const double lon = cat.lon[c];
    const int32_t row_lo = row_of(lat - reach_deg);
    const int32_t row_hi = row_of(lat + reach_deg);
    int32_t col_lo = 0, col_count = COLS;
    // Fewer columns only while the reach stays a degree clear of both poles:
    // the bound below holds only for a disc that leaves the pole out, and it
    // grows without limit as cos(lat) goes to 0, so a disc that comes within a
    // degree of a pole takes every column of its rows (few events lie there).
    if (lat + reach_deg < POLE_CLEARANCE_DEG && lat - reach_deg > -POLE_CLEARANCE_DEG) {
        // Points within an angle `reach` of the centre differ from it in
        // longitude by at most asin(sin(reach) / cos(lat)).
        const double s = std::sin(reach) / std::cos(lat * RAD_PER_DEG);
        if (s < 1.0) {
            const double dlon = std::asin(s) * DEG_PER_RAD + LON_SLACK_DEG;
            col_lo = col_of(lon - dlon);
            const int32_t col_hi = col_of(lon + dlon);
            col_count = (col_hi - col_lo + COLS) % COLS + 1;
            if (dlon >= WHOLE_CIRCLE_DLON_DEG) col_count = COLS;
        }
    }
    for (int32_t r = row_lo; r <= row_hi; ++r) {
        for (int32_t k = 0; k < col_count; ++k) {
            const int32_t cell = r * COLS + (col_lo + k) % COLS;
            if (!visit_cell(x, cell, lo, hi, visit)) return false;
        }
    }
    const int32_t* first = x.wild.data();
    const int32_t* last = first + x.wild.size();
    for (const int32_t* at = std::lower_bound(first, last, lo); at != last && *at <= hi; ++at) {
        if (!visit(*at)) return false;
    }
    return true;
}
