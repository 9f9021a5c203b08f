// event_catalog: an earthquake catalog in memory, one event per catalog line.
//
// Owns the catalog tables (1-based: index 0 never names an event), the two
// line layouts and reading one line or a whole catalog through text_io's
// free-form reads. The tables are made room for once from the size of a
// catalog file, or grow as lines are read; the count the user gives is never
// trusted for an allocation up front.
// Does not own any search over the events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "free_read.h"
#include "text.h"

// One event: the values of one catalog line.
struct CatalogEvent {
    Text tim;    // origin time as written in the catalog
    float lat;   // latitude, degrees (32-bit)
    float lon;   // longitude, degrees (32-bit)
    float dep;   // depth, km (32-bit)
    float mag;   // magnitude (32-bit)
    double dat;  // event time, days from 1 January 1900 (64-bit)
    Text nam;    // label at the end of a labelled line
};

enum class Layout : uint8_t {
    labelled,  // tim lat lon dep mag dat nam (twinquake)
    plain,     // tim lat lon dep mag dat (ringpick)
};

// The characters of a catalog text that any record shows: tim is printed by
// its first 24 characters (A24), nam by its first 30 or 20 (A30, A20). The
// tables keep only those, blank-padded as the 50-character text is; a
// record's A field gives the same characters from either.
constexpr int32_t TIM_SHOWN = 24;
constexpr int32_t NAM_SHOWN = 30;
static_assert(TIM_SHOWN <= TEXT_LEN && NAM_SHOWN <= TEXT_LEN);

struct ShownTim {
    char c[TIM_SHOWN];  // the first TIM_SHOWN characters of tim
};
struct ShownNam {
    char c[NAM_SHOWN];  // the first NAM_SHOWN characters of nam
};

// Statement items of a shown text, for writing.
inline IoItem io(const ShownTim& t) { return io(static_cast<const char*>(t.c), TIM_SHOWN); }
inline IoItem io(const ShownNam& t) { return io(static_cast<const char*>(t.c), NAM_SHOWN); }

// Parallel tables, index 1 to n; slot 0 is unused.
struct EventCatalog {
    std::vector<ShownTim> tim;  // origin time text, as shown
    std::vector<float> lat;     // degrees
    std::vector<float> lon;     // degrees
    std::vector<float> dep;     // km
    std::vector<float> mag;     // magnitude
    std::vector<double> dat;    // days
    std::vector<ShownNam> nam;  // label (labelled layout only), as shown
    int32_t n = 0;              // events loaded
};

// One read statement on `stream` filling `ev` in layout order. Fields the
// statement leaves unassigned keep the values `ev` held. The common line
// (plain numbers and undelimited texts separated by blanks, all on one line)
// is taken in one pass; any other goes to the general reader, with the same
// result.
void read_event(CatalogEvent& ev, int32_t stream, Layout layout);
// The same statement by the general reader alone (read_free), whatever the
// line: what read_event falls back to, and what its one-pass form must equal.
void read_event_statement(CatalogEvent& ev, int32_t stream, Layout layout);

// read_event for lines 1 to n, stored at indices 1 to n; nothing when n <= 0.
void load_events(EventCatalog& cat, int32_t stream, int32_t n, Layout layout);

// Appends one event at index cat.n + 1.
void add_event(EventCatalog& cat, const CatalogEvent& ev);
// Makes room in the tables for `events` events, slot 0 besides.
void reserve_events(EventCatalog& cat, int64_t events);

// Asks the system to back the memory at `data` (`bytes` long) with large
// pages where it can: a table of millions of events then costs a few
// hundred page faults instead of one per 4 KB. Only advice, and only for
// tables of many megabytes; the contents never change.
void advise_large_pages(void* data, size_t bytes);

// Makes room in `v` for `count` elements at once, in large pages where the
// system allows, before anything is written there.
template <class T>
void reserve_table(std::vector<T>& v, size_t count) {
    if (count <= v.capacity()) return;
    v.reserve(count);
    advise_large_pages(v.data(), v.capacity() * sizeof(T));
}
