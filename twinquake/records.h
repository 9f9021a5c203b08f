// records: the pair records (pair file, its echo, E1-pair file) and the
// aftershock records of twinquake.
//
// Owns the values of each record in its template's order (pair_values,
// aftershock_values: the one place that says which value goes into which
// column), and laying records out fast from slices of PAIR_TEMPLATE and
// AFTERSHOCK_TEMPLATE: the block of columns that shows one event is laid out
// once per event and copied into every record that shows it. The characters
// are those the whole template gives for the same values.
// Does not own deciding which records are due (search).
#pragma once

#include <cstdint>
#include <vector>

#include "event_catalog.h"
#include "text.h"
#include "text_io.h"

constexpr int32_t PAIR_VALUES = 16;           // value fields of PAIR_TEMPLATE
constexpr int32_t AFTERSHOCK_VALUES = 14;     // value fields of AFTERSHOCK_TEMPLATE
constexpr int32_t PAIR_LINE_LEN = 189;        // columns of a pair record
constexpr int32_t AFTERSHOCK_LINE_LEN = 167;  // columns of an aftershock record

// A 64-bit counter as a record's I field shows it: beyond the 32-bit range it
// stays at the largest 32-bit value, which an I4 field shows as asterisks,
// as it shows every count above 9999.
inline int32_t printed_count(int64_t count) {
    return count > INT32_MAX ? INT32_MAX : count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
}

// Offset in a piece cache of piece number `piece` of `len` characters: 64-bit,
// as millions of pieces pass 2^31 bytes.
inline int64_t piece_offset(int32_t piece, int32_t len) { return static_cast<int64_t>(piece) * len; }

// The values of a pair record in PAIR_TEMPLATE's order: group, count, then
// tim, lon, lat, dep, mag of event a (the E2, or the later E1), the same of
// event b (the E1, or the earlier E1), their distance d (km), their time
// difference dt (days), dat(a), nam(a). The items point at the arguments,
// which must outlive `v`.
inline void pair_values(const EventCatalog& cat, const int32_t& group, const int32_t& count, int32_t a, int32_t b,
                        const float& d, const float& dt, IoItem (&v)[PAIR_VALUES]) {
    v[0] = io(group);
    v[1] = io(count);
    v[2] = io(cat.tim[a]);
    v[3] = io(cat.lon[a]);
    v[4] = io(cat.lat[a]);
    v[5] = io(cat.dep[a]);
    v[6] = io(cat.mag[a]);
    v[7] = io(cat.tim[b]);
    v[8] = io(cat.lon[b]);
    v[9] = io(cat.lat[b]);
    v[10] = io(cat.dep[b]);
    v[11] = io(cat.mag[b]);
    v[12] = io(d);
    v[13] = io(dt);
    v[14] = io(cat.dat[a]);
    v[15] = io(cat.nam[a]);
}
// The values of an aftershock record in AFTERSHOCK_TEMPLATE's order: number,
// then tim, lat, lon, dep, mag, dat of event i, nam(i), then tim, lat, lon,
// dep, mag, dat of the larger event `best` it belongs to.
inline void aftershock_values(const EventCatalog& cat, const int32_t& number, int32_t i, int32_t best,
                              IoItem (&v)[AFTERSHOCK_VALUES]) {
    v[0] = io(number);
    v[1] = io(cat.tim[i]);
    v[2] = io(cat.lat[i]);
    v[3] = io(cat.lon[i]);
    v[4] = io(cat.dep[i]);
    v[5] = io(cat.mag[i]);
    v[6] = io(cat.dat[i]);
    v[7] = io(cat.nam[i]);
    v[8] = io(cat.tim[best]);
    v[9] = io(cat.lat[best]);
    v[10] = io(cat.lon[best]);
    v[11] = io(cat.dep[best]);
    v[12] = io(cat.mag[best]);
    v[13] = io(cat.dat[best]);
}

// The blocks of columns laid out once per event, in the order first needed.
struct PieceCache {
    std::vector<int32_t> at;  // number of event i's piece in `text` (from 0), -1 when not laid out yet (1-based i)
    std::vector<char> text;   // the laid-out pieces, one after another, all of one length
    int32_t count = 0;        // pieces laid out
};

struct RecordCache {
    PieceCache pair;        // event block (tim, lon, lat, dep, mag) and dat, of pair records
    PieceCache aftershock;  // event block (tim, lat, lon, dep, mag, dat) of aftershock records
};

// Sizes the caches for events 1 to n, all not laid out yet.
void prepare_records(RecordCache& rc, int32_t n);

// One pair record into `line` (PAIR_LINE_LEN characters), as pair_values
// through PAIR_TEMPLATE gives it.
void pair_line(const EventCatalog& cat, RecordCache& rc, int32_t group, int32_t count, int32_t a, int32_t b, float d,
               float dt, char* line);
// One aftershock record into `line` (AFTERSHOCK_LINE_LEN characters), as
// aftershock_values through AFTERSHOCK_TEMPLATE gives it.
void aftershock_line(const EventCatalog& cat, RecordCache& rc, int32_t number, int32_t i, int32_t best, char* line);
