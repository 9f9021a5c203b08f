// event_index: building the per-event values, the magnitude tree and the grid.

#include "event_index.h"

#include <cmath>
#include <limits>

namespace index_detail {

int32_t row_of(double lat) {
    double r = std::floor(lat + 90.0);
    if (!(r >= 0.0)) return 0;
    if (r > ROWS - 1) return ROWS - 1;
    return static_cast<int32_t>(r);
}

int32_t col_of(double lon) {
    double l = std::fmod(lon, 360.0);
    if (l < 0.0) l += 360.0;
    int32_t c = static_cast<int32_t>(std::floor(l));
    return c >= COLS ? c - COLS : c;
}

}  // namespace index_detail

void build_index(EventIndex& x, const EventCatalog& cat) {
    using namespace index_detail;
    const int32_t n = cat.n;
    x.geo.assign(static_cast<size_t>(n) + 1, GeoPoint{});
    x.radius.assign(static_cast<size_t>(n) + 1, 0.0f);
    for (int32_t i = 1; i <= n; ++i) {
        x.geo[i] = geo_point(cat.lat[i], cat.lon[i], cat.dep[i]);
        x.radius[i] = rupture_radius(cat.mag[i]);
    }

    x.time_sorted = true;
    for (int32_t i = 1; i <= n && x.time_sorted; ++i) {
        if (!std::isfinite(cat.dat[i]) || (i > 1 && !(cat.dat[i - 1] <= cat.dat[i]))) {
            x.time_sorted = false;
        }
    }

    x.size = 1;
    while (x.size < n) x.size *= 2;
    const float none = -std::numeric_limits<float>::infinity();
    x.max_mag.assign(2 * static_cast<size_t>(x.size), none);
    x.max_small_mag.assign(2 * static_cast<size_t>(x.size), none);
    x.big.clear();
    for (int32_t i = 1; i <= n; ++i) {
        const float m = cat.mag[i];
        if (std::isnan(m)) continue;
        x.max_mag[x.size + i - 1] = m;
        if (x.radius[i] <= BIG_RADIUS_KM) {
            x.max_small_mag[x.size + i - 1] = m;
        } else if (x.radius[i] > BIG_RADIUS_KM) {
            x.big.push_back(i);
        }
    }
    for (int32_t k = x.size - 1; k >= 1; --k) {
        x.max_mag[k] = std::max(x.max_mag[2 * k], x.max_mag[2 * k + 1]);
        x.max_small_mag[k] = std::max(x.max_small_mag[2 * k], x.max_small_mag[2 * k + 1]);
    }

    // The grid: count per cell, then fill in index order.
    x.cell_first.assign(ROWS * COLS + 1, 0);
    x.placed.assign(static_cast<size_t>(n) + 1, 0);
    x.wild.clear();
    std::vector<int32_t> cell_of(static_cast<size_t>(n) + 1, -1);
    for (int32_t i = 1; i <= n; ++i) {
        const float lat = cat.lat[i], lon = cat.lon[i];
        if (std::fabs(lat) <= 90.0f && std::fabs(lon) <= 360.0f) {
            cell_of[i] = row_of(lat) * COLS + col_of(lon);
            x.placed[i] = 1;
            ++x.cell_first[cell_of[i] + 1];
        } else {
            x.wild.push_back(i);
        }
    }
    for (int32_t c = 0; c < ROWS * COLS; ++c) x.cell_first[c + 1] += x.cell_first[c];
    x.cell_events.assign(static_cast<size_t>(x.cell_first[ROWS * COLS]), 0);
    std::vector<int32_t> fill(x.cell_first.begin(), x.cell_first.end() - 1);
    for (int32_t i = 1; i <= n; ++i) {
        if (cell_of[i] >= 0) x.cell_events[fill[cell_of[i]]++] = i;
    }
}

namespace {

float tree_max(const EventIndex& x, const std::vector<float>& tree, int32_t lo, int32_t hi) {
    float best = -std::numeric_limits<float>::infinity();
    if (lo > hi) return best;
    int32_t l = lo - 1 + x.size, r = hi - 1 + x.size + 1;  // leaves [l, r)
    while (l < r) {
        if (l & 1) best = std::max(best, tree[l++]);
        if (r & 1) best = std::max(best, tree[--r]);
        l >>= 1;
        r >>= 1;
    }
    return best;
}

}  // namespace

float range_max_mag(const EventIndex& x, int32_t lo, int32_t hi) { return tree_max(x, x.max_mag, lo, hi); }

float range_max_small_mag(const EventIndex& x, int32_t lo, int32_t hi) { return tree_max(x, x.max_small_mag, lo, hi); }
