// event_index: what the pair search computes once per catalog so that it
// never walks a time window event by event.
//
// Owns the per-event values the distance formula and the aftershock test need
// (prepared points, rupture radii), the check that the catalog is in time
// order, the largest magnitude over a range of indices, and a grid of
// latitude-longitude cells listing the events of each cell in index order.
// Does not decide anything: every pair the grid hands out is still decided by
// the exact 32-bit formula, and the grid leaves out only pairs whose computed
// distance provably exceeds the limit asked for.
#pragma once

#include <cstdint>
#include <vector>

#include "event_catalog.h"
#include "geometry.h"

// Largest amount, in km, by which the 32-bit distance formula can fall short
// of the true great-circle distance between the points it is given: the
// rounding of x near 1 moves acos(x) by at most about 9 km (1e-6 of x), and
// all else is far smaller. Pruning keeps every pair closer than this margin
// beyond the limit.
constexpr double PRUNE_MARGIN_KM = 20.0;

// Limits beyond which a query just walks the whole index range.
constexpr double GRID_MAX_KM = 3000.0;

// Events whose rupture radius exceeds this (magnitudes above about 6.15) are
// few; they are kept in their own list, so that the grid is asked only for
// the smaller radii of the many small events.
constexpr float BIG_RADIUS_KM = 50.0f;

// Built once per run from the loaded catalog (build_index); read-only after.
struct EventIndex {
    std::vector<GeoPoint> geo;  // prepared hypocentre of each event (1-based)
    std::vector<float> radius;  // rupture radius of each event, km, 32-bit (1-based)
    bool time_sorted = false;   // dat finite and non-decreasing over 1..n
    // Range maximum of the magnitudes: a bottom-up segment tree over
    // positions 0..size-1 (event i at position i - 1); NaN counts as -inf.
    int32_t size = 0;            // leaves of the tree, a power of two
    std::vector<float> max_mag;  // 2 * size nodes
    // Grid of 1-degree cells, 180 rows of latitude by 360 columns of longitude.
    std::vector<int32_t> cell_first;   // cell c's events are cell_events[cell_first[c] .. cell_first[c+1])
    std::vector<int32_t> cell_events;  // event indices, ascending within a cell
    std::vector<int32_t> wild;         // events the grid cannot place (NaN, |lat| > 90, |lon| > 360)
    std::vector<uint8_t> placed;       // 1 when the event is in the grid (1-based)
    std::vector<int32_t> big;          // events with a radius above BIG_RADIUS_KM, ascending
    // Largest magnitude over a range among the events with a radius of at most
    // BIG_RADIUS_KM, as max_mag above.
    std::vector<float> max_small_mag;
};

void build_index(EventIndex& x, const EventCatalog& cat);

// Largest magnitude over indices lo..hi (-inf when the range is empty), of
// all events or of those with a radius of at most BIG_RADIUS_KM.
float range_max_mag(const EventIndex& x, int32_t lo, int32_t hi);
float range_max_small_mag(const EventIndex& x, int32_t lo, int32_t hi);

// First index in lo..hi (ascending) for which keep(j) is false, where keep is
// true on a leading part of the range and false after it; hi + 1 if none.
template <class Keep>
int32_t first_failing(int32_t lo, int32_t hi, Keep keep) {
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (keep(mid)) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}

// Hands visit(j) every event j in lo..hi (in no particular order) that may lie
// within `limit_km` of event c by the 32-bit formula; events farther away by
// more than the pruning margin may be left out. visit returns false to stop.
// Returns false when stopped. `cat` is the catalog the index was built from.
template <class Visit>
bool near_events(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Visit visit);

#include "event_index_impl.h"
