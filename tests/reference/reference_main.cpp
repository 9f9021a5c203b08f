// twinquake_reference: twinquake's run with the step-by-step reference search,
// for side-by-side runs against the fast program: the same run order as
// twinquake's main.

#include "event_catalog.h"
#include "reference_search.h"
#include "run_state.h"
#include "text_io.h"

int main() {
    set_program_name("twinquake");
    RunParameters p{};
    RunFiles files;
    int32_t n = 0;
    read_dialogue(p, files, n);

    EventCatalog cat;
    connect_and_load(files, n, cat);

    RunState st;
    ref::main_pass(cat, p, st);
    close_after_main_pass();

    ref::report_e1_pairs(cat, p, st);
    close_after_report();
    return 0;
}
