// event_index_impl: the walks over the time tree, the grid walk and the
// magnitude trees, kept in a header so the visitor of each search step is
// inlined into them.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace index_detail {

constexpr int32_t ROWS = 180;               // latitude rows of 1 degree, from -90
constexpr int32_t COLS = 360;               // longitude columns of 1 degree, from 0
constexpr int32_t WILD_CELL = ROWS * COLS;  // the events the grid cannot place
constexpr int32_t CELLS = WILD_CELL + 1;    // cells, the wild one included

// A query narrows the columns only when its reach ends this far from the
// equator, a degree short of either pole (see near_ranges).
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

// Whether the events below node k of the time tree may end a walk whose
// condition is keep: one of them is NaN, or the least or the largest value
// fails (the condition holds on an interval, so if both ends hold, all do).
// Exact: the least and largest values are those of real events.
template <class Keep>
bool may_end(const EventIndex& x, int32_t k, Keep& keep) {
    if (x.time_nan[k]) return true;
    if (!(x.time_min[k] <= x.time_max[k])) return false;  // no event below (padding)
    return !keep(x.time_min[k]) || !keep(x.time_max[k]);
}

// The highest block at most `block` that may end the walk, -1 if none.
template <class Keep>
int32_t last_ending_block(const EventIndex& x, int32_t block, Keep& keep) {
    const int32_t size = x.time_size;
    int32_t k = size + block;
    for (;;) {
        if (may_end(x, k, keep)) {
            while (k < size) k = may_end(x, 2 * k + 1, keep) ? 2 * k + 1 : 2 * k;
            return k - size;
        }
        while (k % 2 == 0) k /= 2;  // a left child: its left neighbour is that of its parent
        if (k == 1) return -1;
        --k;  // the left sibling
    }
}

// The lowest block at least `block` that may end the walk, -1 if none.
template <class Keep>
int32_t first_ending_block(const EventIndex& x, int32_t block, Keep& keep) {
    const int32_t size = x.time_size;
    if (block >= size) return -1;
    int32_t k = size + block;
    for (;;) {
        if (may_end(x, k, keep)) {
            while (k < size) k = may_end(x, 2 * k, keep) ? 2 * k : 2 * k + 1;
            return k - size;
        }
        while (k % 2 == 1) {  // a right child: its right neighbour is that of its parent
            if (k == 1) return -1;
            k /= 2;
        }
        ++k;  // the right sibling
    }
}

// Visits the events at positions first..last of cell_events.
template <class Visit>
bool visit_positions(const EventIndex& x, int32_t first, int32_t last, Visit& visit) {
    for (int32_t at = first; at <= last; ++at) {
        if (!visit(x.cell_events[at])) return false;
    }
    return true;
}

template <class Leaf>
bool leaves_below(const MaxTree& t, int32_t k, int32_t node_first, int32_t node_last, int32_t first, int32_t last,
                  float floor, Leaf& leaf) {
    if (node_last < first || node_first > last || !(t.max[k] >= floor)) return true;
    if (k >= t.size) return leaf(k - t.size);
    const int32_t mid = node_first + (node_last - node_first) / 2;
    return leaves_below(t, 2 * k, node_first, mid, first, last, floor, leaf) &&
           leaves_below(t, 2 * k + 1, mid + 1, node_last, first, last, floor, leaf);
}

}  // namespace index_detail

template <class Keep>
int32_t walk_back_end(const EventIndex& x, const EventCatalog& cat, int32_t i, Keep keep) {
    using namespace index_detail;
    int32_t j = i - 1;
    if (j < 1) return i;
    // The rest of j's block one by one, then whole blocks through the tree.
    int32_t block = (j - 1) / TIME_BLOCK;
    for (const int32_t first = block * TIME_BLOCK + 1; j >= first; --j) {
        if (!keep(cat.dat[j])) return j + 1;
    }
    while (block > 0) {
        block = last_ending_block(x, block - 1, keep);
        if (block < 0) return 1;
        for (j = std::min((block + 1) * TIME_BLOCK, x.n); j >= block * TIME_BLOCK + 1; --j) {
            if (!keep(cat.dat[j])) return j + 1;
        }
    }
    return 1;
}

template <class Keep>
int32_t walk_ahead_end(const EventIndex& x, const EventCatalog& cat, int32_t i, Keep keep) {
    using namespace index_detail;
    int32_t j = i + 1;
    if (j > x.n) return i;
    int32_t block = (j - 1) / TIME_BLOCK;
    for (const int32_t last = std::min((block + 1) * TIME_BLOCK, x.n); j <= last; ++j) {
        if (!keep(cat.dat[j])) return j - 1;
    }
    const int32_t blocks = (x.n + TIME_BLOCK - 1) / TIME_BLOCK;
    while (block + 1 < blocks) {
        block = first_ending_block(x, block + 1, keep);
        if (block < 0 || block >= blocks) return x.n;
        const int32_t last = std::min((block + 1) * TIME_BLOCK, x.n);
        for (j = block * TIME_BLOCK + 1; j <= last; ++j) {
            if (!keep(cat.dat[j])) return j - 1;
        }
    }
    return x.n;
}

template <class Cells, class Whole>
bool near_ranges(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Cells cells, Whole whole) {
    using namespace index_detail;
    if (lo > hi) return true;
    if (std::isnan(limit_km)) return true;  // no distance is within a NaN limit
    if (!x.placed[c] || !(limit_km < GRID_MAX_KM)) return whole(lo, hi);
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
    // The events of lo..hi in one cell: a run of its list.
    auto cell = [&](int32_t k) {
        const int32_t* base = x.cell_events.data();
        const int32_t* first = std::lower_bound(base + x.cell_first[k], base + x.cell_first[k + 1], lo);
        const int32_t* last = std::upper_bound(first, base + x.cell_first[k + 1], hi);
        if (first == last) return true;
        return cells(static_cast<int32_t>(first - base), static_cast<int32_t>(last - base) - 1);
    };
    for (int32_t r = row_lo; r <= row_hi; ++r) {
        for (int32_t k = 0; k < col_count; ++k) {
            if (!cell(r * COLS + (col_lo + k) % COLS)) return false;
        }
    }
    return cell(WILD_CELL);
}

template <class Visit>
bool near_events(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Visit visit) {
    return near_ranges(
        x, cat, c, limit_km, lo, hi,
        [&](int32_t first, int32_t last) { return index_detail::visit_positions(x, first, last, visit); },
        [&](int32_t from, int32_t to) {
            for (int32_t j = from; j <= to; ++j) {
                if (!visit(j)) return false;
            }
            return true;
        });
}

template <class Leaf>
bool leaves_at_least(const MaxTree& t, int32_t first, int32_t last, float floor, Leaf leaf) {
    if (first > last) return true;
    return index_detail::leaves_below(t, 1, 0, t.size - 1, first, last, floor, leaf);
}
