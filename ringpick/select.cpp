// select: distance of one catalog event from the reference point, and its
// selection record.

#include "select.h"

SelectionRun start_selection(const SelectionParameters& p) {
    SelectionRun run;
    run.p = p;
    // The reference's radians, sine and cosine are computed here once; the
    // distance from the prepared point has the same bits as hypo_distance
    // from the reference's degrees.
    run.ref = geo_point(p.ref_lat, p.ref_lon, p.ref_dep);
    run.record = parse_template(SELECTION_TEMPLATE);
    return run;
}

float pick_distance(const SelectionRun& run, const CatalogEvent& ev) {
    const GeoPoint at = geo_point(ev.lat, ev.lon, ev.dep);
    // An event exactly at the reference point is 0 km away: the formula
    // itself can round its cosine term past 1 there and give a few km or NaN.
    // Latitude and longitude are compared in radians, as 32-bit products;
    // == makes +0 equal to -0 and a NaN equal to nothing.
    if (at.lam == run.ref.lam && at.phi == run.ref.phi && ev.dep == run.p.ref_dep) return 0.0f;
    return hypo_distance(run.ref, at);
}

void select_event(const SelectionRun& run, const CatalogEvent& ev) {
    const float distance = pick_distance(run, ev);
    // False when either side is NaN: such an event is never selected.
    if (!(run.p.search_radius >= distance)) return;
    const IoItem record[] = {
        io(ev.tim), io(ev.lat), io(ev.lon), io(ev.dep), io(ev.mag), io(ev.dat), io(distance),
    };
    write_template(PICK_STREAM, run.record, record, 7);
}
