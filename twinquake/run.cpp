// run: twinquake's run order: prompt, three read statements, four connections,
// the catalog, the main pass, the E1-pair report, the closes.

#include "run.h"

#include "text_io.h"

namespace {
constexpr char PROMPT[] = "dist range, time window, and min magntiude for the aftershock (E1) and mainshock (E2): ";
constexpr int32_t PROMPT_LEN = sizeof PROMPT - 1;  // 87 characters, ending in a blank
static_assert(PROMPT_LEN == 87);
}  // namespace

void search_and_close(const EventCatalog& cat, const RunParameters& p, SearchSteps steps) {
    RunState st;
    set_phase(Phase::searching);
    steps.pass(cat, p, st);
    close_stream(PAIR_STREAM);
    close_stream(STDIN_STREAM);
    set_phase(Phase::reporting);
    steps.report(cat, p, st);
    close_stream(E1_PAIR_STREAM);
    close_stream(AFTERSHOCK_STREAM);
}

int run_twinquake(SearchSteps steps) {
    set_program_name("twinquake");
    write_free(STDOUT_STREAM, io(PROMPT, PROMPT_LEN));

    RunParameters p{};
    const IoItem limits[] = {io(p.dist_range), io(p.time_window), io(p.e1_min_mag), io(p.e2_min_mag)};
    read_free(STDIN_STREAM, limits, 4);
    Text catalog_file = make_text(""), pair_file = make_text(""), e1_pair_file = make_text("");
    const IoItem names[] = {io(catalog_file), io(pair_file), io(e1_pair_file)};
    read_free(STDIN_STREAM, names, 3);
    int32_t n = 0;
    const IoItem count[] = {io(n)};
    read_free(STDIN_STREAM, count, 1);

    connect_stream(STDIN_STREAM, text_view(catalog_file));
    connect_output(PAIR_STREAM, text_view(pair_file));
    connect_output(E1_PAIR_STREAM, text_view(e1_pair_file));
    connect_output(AFTERSHOCK_STREAM, "Aftershocks");

    EventCatalog cat;
    load_events(cat, STDIN_STREAM, n, Layout::labelled);

    search_and_close(cat, p, steps);
    close_all_streams();
    return 0;
}
