// Laying out one pair record, the line twinquake writes twice per E1 found:
// through the whole PAIR_TEMPLATE (as the reference search does) and from
// the per-event pieces (as twinquake does), for the same values.
#include <benchmark/benchmark.h>

#include "event_catalog.h"
#include "records.h"
#include "templates.h"

namespace {

// Two events of the worked example of a complete run.
EventCatalog two_events() {
    EventCatalog cat;
    CatalogEvent ev{make_text("2000-01-05T00:00:00"), 40.05f, 20.05f, 10.0f, 5.5f, 36528.0, make_text("NC")};
    add_event(cat, ev);
    ev = {make_text("2000-01-02T12:00:00"), 40.10f, 20.10f, 12.0f, 4.5f, 36525.5, make_text("NB")};
    add_event(cat, ev);
    return cat;
}

void pair_line_template(benchmark::State& state) {
    static const RecordTemplate t = parse_template(PAIR_TEMPLATE);
    const EventCatalog cat = two_events();
    const int32_t group = 1, count = 1;
    const float distance = 7.2f, dt = 2.5f;
    char line[MAX_LINE_LENGTH];
    for (auto _ : state) {
        IoItem values[PAIR_VALUES];
        pair_values(cat, group, count, 1, 2, distance, dt, values);
        benchmark::DoNotOptimize(format_template(t, values, PAIR_VALUES, line));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(pair_line_template);

void pair_line_pieces(benchmark::State& state) {
    const EventCatalog cat = two_events();
    RecordCache rc;
    prepare_records(rc, cat.n);
    char line[PAIR_LINE_LEN];
    for (auto _ : state) {
        pair_line(cat, rc, 1, 1, 1, 2, 7.2f, 2.5f, line);
        benchmark::DoNotOptimize(line);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(pair_line_pieces);

}  // namespace

BENCHMARK_MAIN();
