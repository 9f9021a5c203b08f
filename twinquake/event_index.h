// event_index: what the pair search computes once per catalog so that it
// never walks a time window event by event, whatever the catalog's order.
//
// Owns the per-event values the distance formula and the aftershock test need
// (prepared points, rupture radii); a tree over `dat` that finds where each
// walk of the step-by-step rules ends (the first event, in index order, that
// fails its time condition), in time order or not; the largest magnitude over
// a range of indices; and a grid of latitude-longitude cells listing the
// events of each cell in index order, with the largest magnitude over any run
// of a cell's events, so that a search can ask for the events that are large
// enough first and stop as early as the walk does.
// Does not decide anything: every pair the grid hands out is still decided by
// the exact 32-bit formula, and the grid leaves out only pairs whose computed
// distance provably exceeds the limit asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "event_catalog.h"
#include "geometry.h"

// Largest amount, in km, by which the 32-bit distance formula can fall short
// of the true great-circle distance between the points it is given: the
// rounding of x near 1 moves acos(x) by at most about 9 km (1e-6 of x), and
// all else is far smaller. Pruning keeps every pair closer than this margin
// beyond the limit.
constexpr double PRUNE_MARGIN_KM = 20.0;

// Limits beyond which a query just takes the whole index range.
constexpr double GRID_MAX_KM = 3000.0;

// Events whose rupture radius exceeds this (magnitudes above about 6.15) are
// few; they are kept in their own list, so that the grid is asked only for
// the smaller radii of the many small events.
constexpr float BIG_RADIUS_KM = 50.0f;

// Events per block of the time tree: a walk's end is found by the tree down
// to its block, then within the block one by one.
constexpr int32_t TIME_BLOCK = 32;

// A bottom-up tree of maxima over positions 0..size-1 (size a power of two):
// node k (1 <= k < size) holds the larger of nodes 2k and 2k + 1, leaf p is
// node size + p. NaN and unused leaves count as -inf.
// What the distance formula and the aftershock test take of one event.
struct Prepared {
    GeoPoint geo;  // prepared hypocentre
    float radius;  // rupture radius, km, 32-bit
};

struct MaxTree {
    int32_t size = 1;
    std::vector<float> max;  // 2 * size nodes
};

// Built once per run from the loaded catalog (build_index); read-only after.
struct EventIndex {
    int32_t n = 0;  // events, indices 1 to n
    // The prepared hypocentre and rupture radius of each event (1-based),
    // made the first time a search asks for them (see prepared): a search
    // looks at the few events near its candidates only, so most are never
    // made, and their memory is never written.
    const EventCatalog* cat = nullptr;         // the catalog indexed
    mutable std::unique_ptr<Prepared[]> prep;  // valid where ready is 1
    mutable std::vector<uint8_t> ready;        // 1 once prep[i] is made
    // dat by blocks of TIME_BLOCK events (event i in block (i - 1) / TIME_BLOCK):
    // trees of the least and largest dat of each block leaving NaN out, and
    // whether a block holds a NaN. A walk's time condition holds on an
    // interval of dat values, so a block whose least and largest value meet
    // it and that holds no NaN holds no event that ends the walk.
    int32_t time_size = 1;          // leaves, a power of two
    std::vector<double> time_min;   // 2 * time_size nodes; +inf where there is no value
    std::vector<double> time_max;   // 2 * time_size nodes; -inf where there is no value
    std::vector<uint8_t> time_nan;  // 2 * time_size nodes: 1 when a NaN lies below
    MaxTree mag;                    // magnitudes by index: event i at leaf i - 1
    // Grid of 1-degree cells, 180 rows of latitude by 360 columns of
    // longitude, and one more cell, WILD_CELL, for the events the grid cannot
    // place (NaN, |lat| > 90, |lon| > 360): every query visits it.
    std::vector<int32_t> cell_first;   // cell c's events are cell_events[cell_first[c] .. cell_first[c+1])
    std::vector<int32_t> cell_events;  // event indices, ascending within a cell
    std::vector<uint8_t> placed;       // 1 when the event is in a grid cell, 0 in WILD_CELL (1-based)
    MaxTree cell_mag;                  // magnitudes by position in cell_events
    MaxTree cell_small_mag;            // the same, of the events with a radius of at most BIG_RADIUS_KM only
    std::vector<int32_t> big;          // events with a radius above BIG_RADIUS_KM, ascending
};

void build_index(EventIndex& x, const EventCatalog& cat);

// Makes prep[i] from the catalog's values of event i.
void prepare_event(const EventIndex& x, int32_t i);

// The prepared hypocentre and rupture radius of event i, the same values
// whenever they are made.
inline const Prepared& prepared(const EventIndex& x, int32_t i) {
    if (!x.ready[i]) prepare_event(x, i);
    return x.prep[i];
}

// Largest magnitude over indices lo..hi (-inf when the range is empty).
float range_max_mag(const EventIndex& x, int32_t lo, int32_t hi);

// The walk back from event i - 1: the lowest index lo such that every event
// of lo..i-1 keeps keep(dat), the walk ending at lo - 1 (i when it ends at
// once). keep must hold on an interval of dat values and fail on NaN; the
// tree lets the walk pass whole blocks.
template <class Keep>
int32_t walk_back_end(const EventIndex& x, const EventCatalog& cat, int32_t i, Keep keep);
// The walk ahead from event i + 1: the highest index hi such that every event
// of i+1..hi keeps keep(dat) (i when it ends at once).
template <class Keep>
int32_t walk_ahead_end(const EventIndex& x, const EventCatalog& cat, int32_t i, Keep keep);

// Hands cells(first, last) the positions first..last (in cell_events) of the
// events of lo..hi in each cell that may hold an event within `limit_km` of
// event c by the 32-bit formula, WILD_CELL included; cells farther away by
// more than the pruning margin are left out. When c is not placed or the
// limit is beyond GRID_MAX_KM, calls whole(lo, hi) instead: the whole index
// range. Either returns false to stop; returns false when stopped.
template <class Cells, class Whole>
bool near_ranges(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Cells cells, Whole whole);

// Hands visit(j) every event j in lo..hi (in no particular order) that may lie
// within `limit_km` of event c; visit returns false to stop. Returns false
// when stopped.
template <class Visit>
bool near_events(const EventIndex& x, const EventCatalog& cat, int32_t c, double limit_km, int32_t lo, int32_t hi,
                 Visit visit);

// Hands leaf(p) every leaf p in first..last of tree t whose value is at
// least `floor` (all of them when floor is -inf), in ascending order of p;
// leaf returns false to stop. Returns false when stopped.
template <class Leaf>
bool leaves_at_least(const MaxTree& t, int32_t first, int32_t last, float floor, Leaf leaf);

#include "event_index_impl.h"
