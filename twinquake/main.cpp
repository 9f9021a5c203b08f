// twinquake: finds pairs of earthquakes, a later, larger E2 and the earlier E1
// within a time window and a distance range, and writes the pair report (echoed
// on standard output), the aftershock report and the report of E1 pairs.
//
// The run, in its order: the prompt and the three read statements; the
// catalog and the three report files connected; the catalog loaded; the main
// pass (each event screened as an E2, the E1 of each E2 collected); the pair
// file and the catalog closed; the E1-pair report; the E1-pair file and
// "Aftershocks" closed.

#include "event_catalog.h"
#include "run_state.h"
#include "search.h"
#include "text_io.h"

int main() {
    set_program_name("twinquake");
    RunParameters p{};
    RunFiles files;
    int32_t n = 0;
    read_dialogue(p, files, n);

    EventCatalog cat;
    connect_and_load(files, n, cat);

    set_phase(Phase::searching);
    RunState st;
    Search s;
    prepare_search(s, cat);
    for (int32_t i = 1; i <= cat.n; ++i) {
        poll_stop();  // a stop signal ends the run between two events
        if (screen_e2(cat, p, s, st, i)) collect_e1(cat, p, s, st, i);
    }
    close_after_main_pass();

    set_phase(Phase::reporting);
    report_e1_pairs(cat, p, s, st);
    close_after_report();
    return 0;
}
