// search: the pair search of twinquake over a loaded catalog.
//
// Owns the run parameters, the counters and the E1 table that the screening
// of E2 candidates, the E1 search and the E1-pair report share, and those
// three steps themselves. Does not own reading the parameters or the catalog,
// nor connecting or closing files: twinquake's main does that.
#pragma once

#include <cstdint>
#include <vector>

#include "event_catalog.h"
#include "event_index.h"

constexpr int32_t PAIR_STREAM = 65;        // the pair file
constexpr int32_t E1_PAIR_STREAM = 66;     // the E1-pair file
constexpr int32_t AFTERSHOCK_STREAM = 67;  // "Aftershocks"

constexpr float MAG_SPLIT = 6.95f;              // nearest float, 6.9499998...: completeness split
constexpr double START_BELOW_SPLIT = 23741.0;   // 1 January 1965, days from 1 January 1900
constexpr double START_FROM_SPLIT = 7304.0;     // 1 January 1920, same count
constexpr float LOOKBACK_DAYS = 30.0f;          // aftershock look-back, days; widened to 64 bits
constexpr float MIN_SEPARATION_DAYS = 5.8e-5f;  // nearest float to 5.8e-5 days (about 5 s)

struct RunParameters {
    float dist_range;   // km, 32-bit: largest distance within a pair
    float time_window;  // days, 32-bit: how far an E1 may lie back, a rival ahead
    float e1_min_mag;   // magnitude, 32-bit: smallest E1 taken
    float e2_min_mag;   // magnitude, 32-bit: smallest E2
};

// The E1 of every group, in the order found (nearest in time first). The
// table grows with the data: no group and no E1 is ever dropped.
struct E1Table {
    std::vector<int32_t> first;  // first[g]: offset in `slot` of group g's first E1 (1-based g)
    std::vector<int32_t> slot;   // catalog indices of the E1, group after group
};

// Text laid out once per event and copied into every record that shows it.
struct PieceCache {
    std::vector<int32_t> at;  // offset of event i's piece in `text`, -1 when not laid out
    std::vector<char> text;   // the laid-out pieces, event after event
};

// What the search computes once per catalog and reuses.
struct SearchCache {
    EventIndex index;             // prepared points, radii, magnitude tree, grid
    std::vector<int32_t> parent;  // aftershock test of each event: its parent, itself, or -1 unknown
    struct Found {
        int32_t m;  // catalog index of an E1 candidate
        float d;    // its distance from the E2, km
    };
    std::vector<Found> found;  // E1 candidates of the current E2
    PieceCache pair_piece;     // pair records: event block (tim, lon, lat, dep, mag) and day
    PieceCache after_piece;    // aftershock records: event block (tim, lat, lon, dep, mag, dat)
};

constexpr int32_t PAIR_LINE_LEN = 189;  // columns of a pair record

constexpr int32_t AFTERSHOCK_LINE_LEN = 167;  // columns of an aftershock record

// An aftershock record laid out from cached per-event pieces; the same
// characters as AFTERSHOCK_TEMPLATE gives for the same values.
void format_aftershock(const EventCatalog& cat, SearchCache& c, int32_t number, int32_t i, int32_t best, char* line);

// A pair record laid out from cached per-event pieces; the same characters
// as PAIR_TEMPLATE gives for the same values.
void format_pair(const EventCatalog& cat, SearchCache& c, int32_t group, int32_t count, int32_t a, int32_t b, float d,
                 float dt, char* line);

struct RunState {
    int32_t group_count = 0;       // groups opened so far; goes on counting in the E1-pair report
    int32_t aftershock_count = 0;  // aftershock records written so far
    E1Table ie1;                   // the E1 of each group
    SearchCache cache;             // built on the first step that needs it
};

// Number of E1 of group g (1-based) and its k-th E1 (1-based).
int32_t ie1_count(const E1Table& t, int32_t g);
int32_t ie1(const E1Table& t, int32_t g, int32_t k);

// One pair record (pair file, its echo, E1-pair file): E2 or later E1 `a`,
// E1 or earlier E1 `b`, their distance d (km) and time difference dt (days).
void write_pair(int32_t stream, const EventCatalog& cat, int32_t group, int32_t count, int32_t a, int32_t b, float d,
                float dt);
// One aftershock record: event i and the larger event `best` it belongs to.
void write_aftershock(const EventCatalog& cat, int32_t number, int32_t i, int32_t best);
// Opens the next group of the E1 table.
void open_group(RunState& st);

// The aftershock test of event i: among the earlier events within 30 days
// whose own rupture radius reaches i, the one of largest magnitude when that
// exceeds mag(i) (the latest of equals); i itself when there is none.
int32_t aftershock_parent(const EventCatalog& cat, RunState& st, int32_t i);

// Decides whether event i is an E2; writes an aftershock record when it is an
// aftershock of an earlier, larger event.
bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
// Writes the pair records of E2 i and stores its E1.
void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
// Writes the E1-pair records of every group.
void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st);

// The main pass: screen_e2 for every event in index order, collect_e1 for
// every E2.
void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st);
