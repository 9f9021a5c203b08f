// Cost of one hypocentral distance (from degrees and from prepared points)
// and of one rupture radius, over a table of catalog-like values so that no
// call sees the same arguments twice in a row.
#include <benchmark/benchmark.h>

#include <random>

#include "geometry.h"

namespace {

const int NPTS = 4096;  // table size, a power of two

struct Hypo {
    float lat;  // degrees
    float lon;  // degrees
    float dep;  // km
    float mag;  // magnitude
};

struct Table {
    Hypo hypo[NPTS];     // random hypocentres in one region
    GeoPoint geo[NPTS];  // the same, prepared
};

const Table& table() {
    static Table t = [] {
        Table t{};
        std::mt19937 rng(7304);
        std::uniform_real_distribution<float> lat(30.0f, 45.0f), lon(130.0f, 145.0f), dep(0.0f, 100.0f),
            mag(2.0f, 8.0f);
        for (int i = 0; i < NPTS; ++i) {
            t.hypo[i] = {lat(rng), lon(rng), dep(rng), mag(rng)};
            t.geo[i] = geo_point(t.hypo[i].lat, t.hypo[i].lon, t.hypo[i].dep);
        }
        return t;
    }();
    return t;
}

void bm_hypo_distance_degrees(benchmark::State& state) {
    const Table& t = table();
    int i = 0;
    for (auto _ : state) {
        const Hypo& a = t.hypo[i];
        const Hypo& b = t.hypo[(i * 7 + 1) & (NPTS - 1)];
        benchmark::DoNotOptimize(hypo_distance(a.lat, a.lon, a.dep, b.lat, b.lon, b.dep));
        i = (i + 1) & (NPTS - 1);
    }
}
BENCHMARK(bm_hypo_distance_degrees);

void bm_hypo_distance_geo_point(benchmark::State& state) {
    const Table& t = table();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hypo_distance(t.geo[i], t.geo[(i * 7 + 1) & (NPTS - 1)]));
        i = (i + 1) & (NPTS - 1);
    }
}
BENCHMARK(bm_hypo_distance_geo_point);

void bm_geo_point(benchmark::State& state) {
    const Table& t = table();
    int i = 0;
    for (auto _ : state) {
        const Hypo& a = t.hypo[i];
        benchmark::DoNotOptimize(geo_point(a.lat, a.lon, a.dep));
        i = (i + 1) & (NPTS - 1);
    }
}
BENCHMARK(bm_geo_point);

void bm_rupture_radius(benchmark::State& state) {
    const Table& t = table();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rupture_radius(t.hypo[i].mag));
        i = (i + 1) & (NPTS - 1);
    }
}
BENCHMARK(bm_rupture_radius);

}  // namespace

BENCHMARK_MAIN();
