// select: ringpick's decision on one catalog event.
//
// Owns the selection parameters, the distance of an event from the reference
// point (an exact coincidence counts as 0 km without any formula, every other
// event takes hypo_distance), the test against the search radius and the
// selection record written to "pickout".
// Does not own reading the parameters or the catalog lines, nor connecting
// and closing the files: ringpick's main does that. Nothing is kept from one
// event to the next, so a catalog of any length passes in constant memory.
#pragma once

#include <cstdint>

#include "event_catalog.h"
#include "geometry.h"
#include "templates.h"

constexpr int32_t PICK_STREAM = 75;  // "pickout", the selection records

// Read from standard input once, never changed afterwards.
struct SelectionParameters {
    Text catalog_file;    // name of the catalog file, 50 characters, blank-padded
    int32_t n;            // catalog lines to process (none when 0 or less)
    float ref_lat;        // reference latitude, degrees (32-bit)
    float ref_lon;        // reference longitude, degrees (32-bit)
    float ref_dep;        // reference depth, km (32-bit)
    float search_radius;  // largest distance still selected, km (32-bit)
};

// What the selection derives once from the parameters before the first line.
struct SelectionRun {
    SelectionParameters p;  // as read
    GeoPoint ref;           // reference point: radians are ref_lat, ref_lon * DEG_TO_RAD (32-bit)
    RecordTemplate record;  // SELECTION_TEMPLATE, parsed once
};

// The reference radians, the prepared reference point and the parsed template.
SelectionRun start_selection(const SelectionParameters& p);

// Distance of `ev` from the reference point, km (32-bit): 0 when its latitude
// and longitude in radians and its depth equal the reference's exactly (+0
// equals -0, a NaN equals nothing); otherwise hypo_distance, NaN included.
float pick_distance(const SelectionRun& run, const CatalogEvent& ev);

// Writes the selection record of `ev` to "pickout" when the search radius is
// at least its distance (never for a NaN distance or radius).
void select_event(const SelectionRun& run, const CatalogEvent& ev);
