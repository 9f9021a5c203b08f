// event_index: building the per-event values, the time tree, the magnitude
// trees and the grid.

#include "event_index.h"

#include <cmath>
#include <limits>
#include <new>

namespace index_detail {

int32_t row_of(double lat) {
    double r = std::floor(lat + 90.0);
    if (!(r >= 0.0)) return 0;
    if (r > ROWS - 1) return ROWS - 1;
    return static_cast<int32_t>(r);
}

int32_t col_of(double lon) {
    // Below a whole turn fmod gives lon itself: spared, the bulk of every catalog.
    double l = std::fabs(lon) < 360.0 ? lon : std::fmod(lon, 360.0);
    if (l < 0.0) l += 360.0;
    int32_t c = static_cast<int32_t>(std::floor(l));
    return c >= COLS ? c - COLS : c;
}

}  // namespace index_detail

namespace {

constexpr float NO_MAG = -std::numeric_limits<float>::infinity();

// The trees number their nodes up to twice their leaves in 32 bits: a
// catalog of more than 2^30 events (hundreds of gigabytes of tables) has no
// room, and ends the run as an allocation that fails does.
int32_t power_of_two_at_least(int64_t n) {
    if (n > (int64_t{1} << 30)) {
        if (std::new_handler h = std::get_new_handler()) h();
        throw std::bad_alloc();
    }
    int32_t size = 1;
    while (size < n) size *= 2;
    return size;
}

// A tree over `count` leaves, leaf p holding value(p) (NaN as -inf).
template <class Value>
void build_max_tree(MaxTree& t, int32_t count, Value value) {
    t.size = power_of_two_at_least(count);
    reserve_table(t.max, 2 * static_cast<size_t>(t.size));
    t.max.assign(2 * static_cast<size_t>(t.size), NO_MAG);
    for (int32_t p = 0; p < count; ++p) {
        const float v = value(p);
        if (!std::isnan(v)) t.max[t.size + p] = v;
    }
    for (int32_t k = t.size - 1; k >= 1; --k) t.max[k] = std::max(t.max[2 * k], t.max[2 * k + 1]);
}

void build_time_tree(EventIndex& x, const EventCatalog& cat) {
    const int32_t blocks = (x.n + TIME_BLOCK - 1) / TIME_BLOCK;
    x.time_size = power_of_two_at_least(blocks);
    const size_t nodes = 2 * static_cast<size_t>(x.time_size);
    x.time_min.assign(nodes, std::numeric_limits<double>::infinity());
    x.time_max.assign(nodes, -std::numeric_limits<double>::infinity());
    x.time_nan.assign(nodes, 0);
    for (int32_t i = 1; i <= x.n; ++i) {
        const size_t k = static_cast<size_t>(x.time_size) + static_cast<size_t>((i - 1) / TIME_BLOCK);
        const double d = cat.dat[i];
        if (std::isnan(d)) {
            x.time_nan[k] = 1;
        } else {
            x.time_min[k] = std::min(x.time_min[k], d);
            x.time_max[k] = std::max(x.time_max[k], d);
        }
    }
    for (size_t k = static_cast<size_t>(x.time_size) - 1; k >= 1; --k) {
        x.time_min[k] = std::min(x.time_min[2 * k], x.time_min[2 * k + 1]);
        x.time_max[k] = std::max(x.time_max[2 * k], x.time_max[2 * k + 1]);
        x.time_nan[k] = x.time_nan[2 * k] | x.time_nan[2 * k + 1];
    }
}

// The least magnitude whose rupture radius exceeds BIG_RADIUS_KM. The radius
// grows with the magnitude (every step of rupture_radius is a correctly
// rounded increasing operation), so a radius exceeds BIG_RADIUS_KM exactly
// when the magnitude is at least this one, and a NaN magnitude (a NaN
// radius) is on neither side; found by stepping float by float from the
// neighbourhood of the real-number answer, about 6.13.
float least_big_magnitude() {
    float m = 6.13f;
    while (!(rupture_radius(m) > BIG_RADIUS_KM)) m = std::nextafter(m, std::numeric_limits<float>::infinity());
    for (;;) {
        const float below = std::nextafter(m, -std::numeric_limits<float>::infinity());
        if (!(rupture_radius(below) > BIG_RADIUS_KM)) return m;
        m = below;
    }
}

}  // namespace

void prepare_event(const EventIndex& x, int32_t i) {
    const EventCatalog& cat = *x.cat;
    x.prep[i].geo = geo_point(cat.lat[i], cat.lon[i], cat.dep[i]);
    x.prep[i].radius = rupture_radius(cat.mag[i]);
    x.ready[i] = 1;
}

void build_index(EventIndex& x, const EventCatalog& cat) {
    using namespace index_detail;
    const int32_t n = cat.n;
    x.n = n;
    x.cat = &cat;
    // Left unwritten until asked for; in large pages, since the searches
    // ask for events all along the catalog.
    x.prep.reset(new Prepared[static_cast<size_t>(n) + 1]);
    advise_large_pages(x.prep.get(), (static_cast<size_t>(n) + 1) * sizeof(Prepared));
    x.ready.assign(static_cast<size_t>(n) + 1, 0);
    const float big_mag = least_big_magnitude();
    x.big.clear();
    for (int32_t i = 1; i <= n; ++i) {
        if (cat.mag[i] >= big_mag) x.big.push_back(i);
    }
    build_time_tree(x, cat);
    build_max_tree(x.mag, n, [&](int32_t p) { return cat.mag[p + 1]; });

    // The grid: count per cell, then fill in index order.
    x.cell_first.assign(CELLS + 1, 0);
    reserve_table(x.placed, static_cast<size_t>(n) + 1);
    x.placed.assign(static_cast<size_t>(n) + 1, 0);
    std::vector<int32_t> cell_of;
    reserve_table(cell_of, static_cast<size_t>(n) + 1);
    cell_of.assign(static_cast<size_t>(n) + 1, WILD_CELL);
    for (int32_t i = 1; i <= n; ++i) {
        const float lat = cat.lat[i], lon = cat.lon[i];
        if (std::fabs(lat) <= 90.0f && std::fabs(lon) <= 360.0f) {
            cell_of[i] = row_of(lat) * COLS + col_of(lon);
            x.placed[i] = 1;
        }
        ++x.cell_first[cell_of[i] + 1];
    }
    for (int32_t c = 0; c < CELLS; ++c) x.cell_first[c + 1] += x.cell_first[c];
    reserve_table(x.cell_events, static_cast<size_t>(n));
    x.cell_events.assign(static_cast<size_t>(n), 0);
    std::vector<int32_t> fill(x.cell_first.begin(), x.cell_first.end() - 1);
    for (int32_t i = 1; i <= n; ++i) x.cell_events[fill[cell_of[i]]++] = i;

    build_max_tree(x.cell_mag, n, [&](int32_t p) { return cat.mag[x.cell_events[p]]; });
    build_max_tree(x.cell_small_mag, n, [&](int32_t p) {
        const int32_t i = x.cell_events[p];
        return cat.mag[i] < big_mag ? cat.mag[i] : NO_MAG;
    });
}

float range_max_mag(const EventIndex& x, int32_t lo, int32_t hi) {
    float best = NO_MAG;
    if (lo > hi) return best;
    int32_t l = lo - 1 + x.mag.size, r = hi - 1 + x.mag.size + 1;  // leaves [l, r)
    while (l < r) {
        if (l & 1) best = std::max(best, x.mag.max[l++]);
        if (r & 1) best = std::max(best, x.mag.max[--r]);
        l >>= 1;
        r >>= 1;
    }
    return best;
}
