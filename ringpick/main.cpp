// ringpick: copies to "pickout" every event of a catalog whose hypocentre lies
// within a search radius of a reference point, with its distance appended.
// Standard input gives the catalog name and the number of lines, then the
// reference latitude, longitude, depth and the radius. Command-line arguments
// are ignored.
#include <cstdint>
#include <string_view>

#include "event_catalog.h"
#include "free_read.h"
#include "select.h"
#include "streams.h"

int main() {
    set_program_name("ringpick");

    SelectionParameters p{};
    p.catalog_file = make_text("");
    const IoItem names[] = {io(p.catalog_file), io(p.n)};
    read_free(STDIN_STREAM, names, 2);
    const IoItem reference[] = {io(p.ref_lat), io(p.ref_lon), io(p.ref_dep), io(p.search_radius)};
    read_free(STDIN_STREAM, reference, 4);

    // From here on stream 5 reads the catalog; standard input is never read again.
    connect_stream(STDIN_STREAM, text_view(p.catalog_file));
    connect_output(PICK_STREAM, "pickout");

    const SelectionRun run = start_selection(p);

    // One event at a time, nothing kept across lines: any count passes in
    // constant memory. Each line fills a fresh event, as each line of a
    // loaded catalog fills its own slot, so a null value or a slash leaves a
    // field at 0 (or blanks), never at the previous line's value.
    // Counted from 0 so that a count of 2147483647 ends without stepping the
    // counter past the 32-bit range.
    for (int32_t i = 0; i < p.n; ++i) {
        CatalogEvent ev{};
        ev.tim = make_text("");
        ev.nam = ev.tim;
        read_event(ev, STDIN_STREAM, Layout::plain);
        select_event(run, ev);
    }

    close_stream(PICK_STREAM);
    close_all_streams();
    return 0;
}
