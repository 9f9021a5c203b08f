// event_index_impl: the grid walk of near_events, kept in a header so the
// visitor of each search step is inlined into it.
#pragma once

#include <algorithm>
#include <cmath>

namespace index_detail {

constexpr int32_t ROWS = 180;  // latitude rows of 1 degree, from -90
constexpr int32_t COLS = 360;  // longitude columns of 1 degree, from 0

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
bool near_events(const EventIndex& x, int32_t c, double limit_km, int32_t lo, int32_t hi, Visit visit) {
    using namespace index_detail;
    if (lo > hi) return true;
    if (std::isnan(limit_km)) return true;  // no distance is within a NaN limit
    if (!x.placed[c] || !(limit_km < GRID_MAX_KM)) {
        for (int32_t j = lo; j <= hi; ++j) {
            if (!visit(j)) return false;
        }
        return true;
    }
    const double reach = (std::max(limit_km, 0.0) + PRUNE_MARGIN_KM) / 6371.0;  // radians
    const double reach_deg = reach * (180.0 / M_PI);
    const double lat = x.cat->lat[c];  // degrees
    const double lon = x.cat->lon[c];
    const int32_t row_lo = row_of(lat - reach_deg);
    const int32_t row_hi = row_of(lat + reach_deg);
    int32_t col_lo = 0, col_count = COLS;
    if (lat + reach_deg < 89.0 && lat - reach_deg > -89.0) {
        // Points within an angle `reach` of the centre differ from it in
        // longitude by at most asin(sin(reach) / cos(lat)).
        const double s = std::sin(reach) / std::cos(lat * (M_PI / 180.0));
        if (s < 1.0) {
            const double dlon = std::asin(s) * (180.0 / M_PI) + 1e-6;
            col_lo = col_of(lon - dlon);
            const int32_t col_hi = col_of(lon + dlon);
            col_count = (col_hi - col_lo + COLS) % COLS + 1;
            if (dlon >= 179.0) col_count = COLS;
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
