// event_catalog: reading catalog lines into the event tables.

#include "event_catalog.h"

#include <cstring>

void read_event(CatalogEvent& ev, int32_t stream, Layout layout) {
    const IoItem items[] = {
        io(ev.tim), io(ev.lat), io(ev.lon), io(ev.dep), io(ev.mag), io(ev.dat), io(ev.nam),
    };
    read_free(stream, items, layout == Layout::labelled ? 7 : 6);
}

void add_event(EventCatalog& cat, const CatalogEvent& ev) {
    if (cat.tim.empty()) {
        // Slot 0 never names an event.
        CatalogEvent none{};
        none.tim = make_text("");
        none.nam = none.tim;
        cat.tim.push_back(none.tim);
        cat.lat.push_back(0);
        cat.lon.push_back(0);
        cat.dep.push_back(0);
        cat.mag.push_back(0);
        cat.dat.push_back(0);
        cat.nam.push_back(none.nam);
    }
    cat.tim.push_back(ev.tim);
    cat.lat.push_back(ev.lat);
    cat.lon.push_back(ev.lon);
    cat.dep.push_back(ev.dep);
    cat.mag.push_back(ev.mag);
    cat.dat.push_back(ev.dat);
    cat.nam.push_back(ev.nam);
    ++cat.n;
}

void load_events(EventCatalog& cat, int32_t stream, int32_t n, Layout layout) {
    // The tables grow line by line: a count larger than the file ends with the
    // end-of-file failure at the first missing line, never with a huge
    // allocation made on the word of the count.
    for (int64_t i = 1; i <= n; ++i) {
        CatalogEvent ev{};
        ev.tim = make_text("");
        ev.nam = ev.tim;
        read_event(ev, stream, layout);
        add_event(cat, ev);
    }
}
