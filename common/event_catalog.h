// event_catalog: an earthquake catalog in memory, one event per catalog line.
//
// Owns the catalog tables (1-based: index 0 never names an event), the two
// line layouts and reading one line or a whole catalog through text_io's
// free-form reads. The tables grow as lines are read; the count the user gives
// is never trusted for an allocation up front.
// Does not own any search over the events.
#pragma once

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

// Parallel tables, index 1 to count(); slot 0 is unused.
struct EventCatalog {
    std::vector<Text> tim;    // origin time text
    std::vector<float> lat;   // degrees
    std::vector<float> lon;   // degrees
    std::vector<float> dep;   // km
    std::vector<float> mag;   // magnitude
    std::vector<double> dat;  // days
    std::vector<Text> nam;    // label (labelled layout only)
    int32_t n = 0;            // events loaded
};

// One read statement on `stream` filling `ev` in layout order. Fields the
// statement leaves unassigned keep the values `ev` held.
void read_event(CatalogEvent& ev, int32_t stream, Layout layout);

// read_event for lines 1 to n, stored at indices 1 to n; nothing when n <= 0.
void load_events(EventCatalog& cat, int32_t stream, int32_t n, Layout layout);

// Appends one event at index cat.n + 1.
void add_event(EventCatalog& cat, const CatalogEvent& ev);
