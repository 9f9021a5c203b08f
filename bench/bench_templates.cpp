// Laying out one pair record: the line twinquake writes twice per E1 found.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

#include "event_catalog.h"
#include "templates.h"

namespace {

void pair_line(benchmark::State& state) {
    static const RecordTemplate t = parse_template(PAIR_TEMPLATE);
    int32_t group = 1;
    int32_t count = 1;
    Text tim2 = make_text("2000-01-05T00:00:00");
    Text tim1 = make_text("2000-01-02T12:00:00");
    Text nam = make_text("NC");
    float lon2 = 20.05f, lat2 = 40.05f, dep2 = 10.0f, mag2 = 5.5f;
    float lon1 = 20.10f, lat1 = 40.10f, dep1 = 12.0f, mag1 = 4.5f;
    float distance = 7.2f;
    float dt = 2.5f;
    double dat2 = 36528.0;
    const IoItem values[] = {
        io(group), io(count), io(tim2), io(lon2), io(lat2),     io(dep2), io(mag2), io(tim1),
        io(lon1),  io(lat1),  io(dep1), io(mag1), io(distance), io(dt),   io(dat2), io(nam),
    };
    char line[MAX_LINE_LENGTH];
    for (auto _ : state) {
        benchmark::DoNotOptimize(format_template(t, values, 16, line));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(pair_line);

}  // namespace

BENCHMARK_MAIN();
