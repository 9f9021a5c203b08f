// The fast pair search against the step-by-step reference search, byte for
// byte, over random catalogs. Each family of catalogs aims at what a fast
// search shortcuts: clustered sequences (memoized aftershock tests), broken
// time order and equal times (searches on sorted times), wild values and
// aliased coordinates (spatial pruning and indexing), tiny distances (where
// the 32-bit distance is irregular), the edges of the time rules, extreme
// parameters, and dense shapes (swarms, a swarm with a larger event far away,
// one single point, equal times, catalogs out of order in a few places only).
//
// A failing seed keeps its scratch folder: the catalog, the four reports of
// both searches, and a standard input with which twinquake itself reruns the
// case ("twinquake < stdin" in that folder). QUAKE_DIFF_SEEDS=N runs N times
// as many seeds; QUAKE_DIFF_SEED=S runs only seed S of every family;
// QUAKE_DIFF_VERBOSE=1 prints the size, parameters and report lines of each seed.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "event_catalog.h"
#include "geometry.h"
#include "harness.h"
#include "random_catalog.h"
#include "reference_search.h"
#include "search_run.h"
#include "text_io.h"

namespace fs = std::filesystem;

namespace {

// ---- parameters ------------------------------------------------------------------

// A random event index of the loaded catalog, and one up to `back` before it.
void random_pair(rc::Rng& r, const EventCatalog& cat, int32_t back, int32_t& i, int32_t& j) {
    i = static_cast<int32_t>(rc::between(r, 2, cat.n));
    j = i - static_cast<int32_t>(rc::between(r, 1, std::min(back, i - 1)));
}

// The distance of two neighbouring events: a range that one pair meets exactly.
float tie_distance(rc::Rng& r, const EventCatalog& cat) {
    if (cat.n < 2) return 100.0f;
    int32_t i, j;
    random_pair(r, cat, 20, i, j);
    float d = hypo_distance(cat.lat[i], cat.lon[i], cat.dep[i], cat.lat[j], cat.lon[j], cat.dep[j]);
    return std::isfinite(d) ? d : 100.0f;
}

// The 32-bit time difference of two neighbouring events: a window that one pair meets exactly.
float tie_window(rc::Rng& r, const EventCatalog& cat) {
    if (cat.n < 2) return 10.0f;
    int32_t i, j;
    random_pair(r, cat, 10, i, j);
    float dt = static_cast<float>(cat.dat[i] - cat.dat[j]);
    return std::isfinite(dt) && dt > 0.0f ? dt : 10.0f;
}

float some_mag(rc::Rng& r, const EventCatalog& cat) {
    if (cat.n < 1) return 5.0f;
    return cat.mag[rc::between(r, 1, cat.n)];
}

// A magnitude that about a fraction `share` of the catalog's events reach.
float mag_reached_by(const EventCatalog& cat, double share) {
    std::vector<float> mags;
    for (int32_t i = 1; i <= cat.n; ++i)
        if (std::isfinite(cat.mag[i])) mags.push_back(cat.mag[i]);
    if (mags.empty()) return 5.0f;
    std::sort(mags.begin(), mags.end());
    size_t k = static_cast<size_t>((1.0 - share) * static_cast<double>(mags.size()));
    return mags[std::min(k, mags.size() - 1)];
}

float tenths(double v) { return static_cast<float>(std::round(v * 10.0) / 10.0); }

RunParameters usual_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog&) {
    RunParameters p;
    p.dist_range = rc::pick(
        r, {static_cast<float>(rc::uniform(r, 5.0, 300.0)), tenths(rc::uniform(r, 20.0, 120.0)), tie_distance(r, cat)});
    p.time_window =
        rc::pick(r, {static_cast<float>(rc::log_uniform(r, 0.01, 2000.0)), tie_window(r, cat), 30.0f, 365.0f, 10.0f});
    p.e1_min_mag = rc::pick(r, {0.0f, -1.0f, 0.0f, tenths(rc::uniform(r, 2.0, 4.5)), some_mag(r, cat)});
    p.e2_min_mag = rc::pick(r, {tenths(rc::uniform(r, 4.0, 7.0)), mag_reached_by(cat, rc::uniform(r, 0.01, 0.3)),
                                mag_reached_by(cat, 0.1), 5.0f});
    return p;
}

constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();

float wild_param(rc::Rng& r) { return rc::pick(r, {NAN_F, INF, -INF, -1.0f, 0.0f, -0.0f, 3.4e38f, -3.4e38f}); }

RunParameters wild_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog& gc) {
    RunParameters p = usual_params(r, cat, gc);
    if (rc::chance(r, 0.15)) p.dist_range = wild_param(r);
    if (rc::chance(r, 0.15)) p.time_window = wild_param(r);
    if (rc::chance(r, 0.15)) p.e1_min_mag = wild_param(r);
    if (rc::chance(r, 0.1)) p.e2_min_mag = wild_param(r);
    return p;
}

RunParameters tiny_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog&) {
    RunParameters p;
    p.dist_range = rc::pick(r, {0.0f, 0.5f, 1.0f, 2.2f, 3.1f, 5.0f, 10.0f, 20.0f, 22.0f, 50.0f, tie_distance(r, cat),
                                tie_distance(r, cat), tie_distance(r, cat)});
    p.time_window = rc::pick(r, {1.0f, 30.0f, 100.0f, 1e-3f, tie_window(r, cat)});
    p.e1_min_mag = rc::pick(r, {-INF, 0.0f, some_mag(r, cat)});
    p.e2_min_mag = rc::pick(r, {3.0f, 4.0f, mag_reached_by(cat, rc::uniform(r, 0.05, 0.5)), some_mag(r, cat)});
    return p;
}

RunParameters time_edge_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog& gc) {
    RunParameters p;
    p.dist_range = rc::pick(r, {50.0f, 100.0f, 200.0f, 300.0f, tie_distance(r, cat)});
    if (rc::chance(r, 0.7)) {
        p.time_window = static_cast<float>(gc.window_days);
    } else {
        p.time_window = rc::pick(r, {5.8e-5f, 1e-4f, 1.0f / 24.0f, 10.0f, tie_window(r, cat)});
    }
    p.e1_min_mag = rc::pick(r, {0.0f, 4.0f, some_mag(r, cat)});
    p.e2_min_mag = rc::pick(r, {3.0f, 4.0f, 5.0f, 6.95f, 6.9f, mag_reached_by(cat, rc::uniform(r, 0.05, 0.5))});
    return p;
}

// Usual parameters with one or two of them at an extreme: very long or very
// short, zero, negative, infinite or not a number.
RunParameters window_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog& gc) {
    RunParameters p = usual_params(r, cat, gc);
    int extremes = static_cast<int>(rc::between(r, 1, 2));
    for (int k = 0; k < extremes; ++k) {
        switch (rc::between(r, 0, 5)) {
        case 0:
        case 1:
        case 2:
            p.time_window = rc::pick(r, {0.0f, -0.0f, -1.0f, NAN_F, INF, -INF, 1e-6f, 5.8e-5f, 1e-3f, 1e4f, 1e6f, 1e9f,
                                         3.4e38f, static_cast<float>(rc::log_uniform(r, 1e-5, 1e6))});
            break;
        case 3: p.dist_range = rc::pick(r, {0.0f, -5.0f, NAN_F, INF, -INF, 1e-3f, 1e4f, 2.1e4f, 3.4e38f}); break;
        case 4: p.e1_min_mag = rc::pick(r, {NAN_F, -INF, -1e30f, -3.0f, 9.0f, INF}); break;
        default: p.e2_min_mag = rc::pick(r, {NAN_F, -INF, -3.0f, 0.0f, 6.95f, INF}); break;
        }
    }
    return p;
}

// The range the rings are built around, and their window.
RunParameters ring_params(rc::Rng& r, const EventCatalog& cat, const rc::GenCatalog& gc) {
    RunParameters p;
    p.dist_range = rc::chance(r, 0.8) ? static_cast<float>(gc.range_km) : tie_distance(r, cat);
    p.time_window = static_cast<float>(gc.window_days);
    p.e1_min_mag = rc::pick(r, {0.0f, -1.0f});
    p.e2_min_mag = rc::pick(r, {5.0f, 5.5f, 6.0f});
    return p;
}

// ---- families ----------------------------------------------------------------------

struct Family {
    const char* name;                                                               // test name
    uint64_t id;                                                                    // high half of every seed
    int32_t seeds;                                                                  // seeds in one ordinary run
    int32_t min_n, max_n;                                                           // catalog size, events
    rc::GenCatalog (*make)(rc::Rng&, int);                                          // the catalog
    RunParameters (*params)(rc::Rng&, const EventCatalog&, const rc::GenCatalog&);  // from the catalog as read
};

const Family CLUSTERED{"Clustered", 1, 100, 20, 2000, rc::clustered, usual_params};
const Family UNSORTED{"Unsorted", 2, 100, 20, 1500, rc::unsorted, usual_params};
const Family WILD_VALUES{"WildValues", 3, 100, 20, 1000, rc::wild_values, wild_params};
const Family TINY_DISTANCES{"TinyDistances", 4, 100, 20, 800, rc::tiny_distances, tiny_params};
const Family TIME_EDGES{"TimeEdges", 5, 100, 20, 1000, rc::time_edges, time_edge_params};
const Family WINDOWS{"Windows", 6, 100, 20, 600, rc::clustered, window_params};
const Family RINGS{"Rings", 7, 100, 50, 800, rc::rings, ring_params};
// Dense shapes, where a search that walks every nearby event of a window
// grows with the square of the catalog, and the same with the time order
// broken in a few places only.
const Family SWARMS{"Swarms", 8, 60, 50, 3000, rc::swarm, usual_params};
const Family SWARM_AND_FAR{"SwarmAndFar", 9, 40, 50, 3000, rc::swarm_and_far, usual_params};
const Family ONE_POINT{"OnePoint", 10, 60, 20, 2000, rc::one_point, usual_params};
const Family EQUAL_TIMES{"EqualTimes", 11, 60, 20, 2000, rc::equal_times, usual_params};
const Family PARTLY_UNSORTED{"PartlyUnsorted", 12, 80, 20, 2000, rc::partly_unsorted, usual_params};

// ---- one run of a search -----------------------------------------------------------

void connect(int32_t stream, const fs::path& p) { connect_stream(stream, p.string()); }

EventCatalog load(const fs::path& file, int32_t n) {
    reset_streams();
    set_fatal_hook(throw_fatal);
    connect(STDIN_STREAM, file);
    EventCatalog cat;
    load_events(cat, STDIN_STREAM, n, Layout::labelled);
    close_all_streams();
    reset_streams();
    return cat;
}

int32_t count_lines(const std::string& s) { return static_cast<int32_t>(std::count(s.begin(), s.end(), '\n')); }

// Where two reports part: the first line that differs, or "" when they are the same.
std::string first_difference(const std::string& a, const std::string& b) {
    if (a == b) return "";
    std::stringstream sa(a), sb(b);
    std::string la, lb;
    for (int32_t line = 1;; ++line) {
        bool ha = static_cast<bool>(std::getline(sa, la));
        bool hb = static_cast<bool>(std::getline(sb, lb));
        if (ha && hb && la == lb) continue;
        std::string out = "line " + std::to_string(line) + " (" + std::to_string(count_lines(a)) + " lines vs " +
                          std::to_string(count_lines(b)) + ")\n      reference: " + (ha ? "\"" + la + "\"" : "<end>") +
                          "\n      fast:      " + (hb ? "\"" + lb + "\"" : "<end>");
        if (!ha && !hb) out += "\n      (the same lines; the bytes at the end differ)";
        return out;
    }
}

std::string param_text(const RunParameters& p) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.9g %.9g %.9g %.9g", static_cast<double>(p.dist_range),
                  static_cast<double>(p.time_window), static_cast<double>(p.e1_min_mag),
                  static_cast<double>(p.e2_min_mag));
    return buf;
}

// Whether the catalog as read is in time order: finite, non-decreasing days.
// A fast search may take another road for such a catalog, so the families
// between them need many catalogs of each kind; the summary line tells.
bool in_time_order(const EventCatalog& cat) {
    for (int32_t i = 1; i <= cat.n; ++i) {
        if (!std::isfinite(cat.dat[i]) || (i > 1 && !(cat.dat[i - 1] <= cat.dat[i]))) return false;
    }
    return true;
}

struct Tally {
    int32_t seeds = 0;        // seeds run
    int32_t ordered = 0;      // seeds whose catalog is in time order
    int64_t events = 0;       // catalog events over all seeds
    int64_t pairs = 0;        // pair lines of the reference
    int64_t aftershocks = 0;  // aftershock lines of the reference
    int64_t e1pairs = 0;      // E1-pair lines of the reference
    int32_t failed = 0;       // seeds whose reports differ
};

int32_t env_int(const char* name, int32_t fallback) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    return static_cast<int32_t>(std::strtol(v, nullptr, 10));
}

// Generates the catalog of one seed, runs both searches, and compares. On a
// difference, tells how to rerun the case and keeps its folder.
void check_seed(const Family& fam, uint64_t seed, Tally& tally) {
    rc::Rng r = rc::make_rng((fam.id << 32) | seed);
    int32_t n = static_cast<int32_t>(rc::chance(r, 0.5) ? rc::log_uniform(r, fam.min_n, fam.max_n + 1)
                                                        : rc::uniform(r, fam.min_n, fam.max_n + 1));
    rc::GenCatalog gc = fam.make(r, n);
    n = static_cast<int32_t>(gc.ev.size());
    std::string text = rc::render(r, gc);

    std::string pattern =
        (fs::temp_directory_path() / ("quake_diff_" + std::string(fam.name) + "_" + std::to_string(seed) + "_XXXXXX"))
            .string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot make a scratch folder " << pattern;
    fs::path dir = pattern;
    std::ofstream(dir / "catalog", std::ios::binary) << text;

    RunParameters p{};
    RunReports want, got;
    std::string stage = "reading the catalog";
    try {
        EventCatalog cat = load(dir / "catalog", n);
        p = fam.params(r, cat, gc);
        tally.ordered += in_time_order(cat) ? 1 : 0;
        stage = "the reference search";
        want = run_search_in(dir, "ref", dir / "catalog", n, p, Steps::reference);
        stage = "the fast search";
        got = run_search_in(dir, "fast", dir / "catalog", n, p, Steps::fast);
    } catch (const Fatal&) {
        reset_streams();
        ADD_FAILURE() << fam.name << " seed " << seed << ": " << stage << " ended the run: " << last_diagnostic()
                      << "\n  kept: " << dir.string();
        ++tally.failed;
        return;
    }

    ++tally.seeds;
    tally.events += n;
    tally.pairs += count_lines(want.pairs);
    tally.aftershocks += count_lines(want.aftershocks);
    tally.e1pairs += count_lines(want.e1pairs);
    if (env_int("QUAKE_DIFF_VERBOSE", 0) > 0) {
        std::printf("  %s seed %llu: %d events, parameters %s: %d pair, %d aftershock, %d E1-pair lines\n", fam.name,
                    static_cast<unsigned long long>(seed), n, param_text(p).c_str(), count_lines(want.pairs),
                    count_lines(want.aftershocks), count_lines(want.e1pairs));
    }

    const struct {
        const char* what;
        const std::string& want;
        const std::string& got;
    } reports[] = {
        {"pair file", want.pairs, got.pairs},
        {"echo on standard output", want.echo, got.echo},
        {"E1-pair file", want.e1pairs, got.e1pairs},
        {"Aftershocks", want.aftershocks, got.aftershocks},
    };
    std::string differences;
    for (const auto& rep : reports) {
        std::string d = first_difference(rep.want, rep.got);
        if (!d.empty()) differences += std::string("\n  ") + rep.what + ": " + d;
    }
    if (differences.empty()) {
        fs::remove_all(dir);
        return;
    }
    // Keep the case, with a standard input that reruns it in twinquake itself.
    std::ofstream(dir / "stdin") << param_text(p) << "\ncatalog pairs.out e1pairs.out\n" << n << "\n";
    ++tally.failed;
    if (tally.failed <= 3) {
        ADD_FAILURE() << fam.name << " seed " << seed << " (QUAKE_DIFF_SEED=" << seed << " --gtest_filter=Differential."
                      << fam.name << "): " << n << " events, "
                      << "dist_range time_window e1_min_mag e2_min_mag = " << param_text(p) << differences
                      << "\n  catalog and reports kept in " << dir.string() << " (rerun there: twinquake < stdin)";
    } else {
        ADD_FAILURE() << fam.name << " seed " << seed << " differs too; kept in " << dir.string();
    }
}

void run_family(const Family& fam) {
    Tally tally;
    int32_t only = env_int("QUAKE_DIFF_SEED", -1);
    if (only >= 0) {
        check_seed(fam, static_cast<uint64_t>(only), tally);
        return;
    }
    int32_t seeds = fam.seeds * std::max(1, env_int("QUAKE_DIFF_SEEDS", 1));
    for (int32_t s = 1; s <= seeds; ++s) check_seed(fam, static_cast<uint64_t>(s), tally);
    std::printf(
        "%s: %d seeds (%d in time order), %lld events; reference wrote %lld pair, %lld aftershock, "
        "%lld E1-pair lines\n",
        fam.name, tally.seeds, tally.ordered, static_cast<long long>(tally.events), static_cast<long long>(tally.pairs),
        static_cast<long long>(tally.aftershocks), static_cast<long long>(tally.e1pairs));
    EXPECT_EQ(tally.failed, 0) << "seeds whose reports differ";
    // A family whose catalogs never reach the reports would compare empty files.
    EXPECT_GT(tally.pairs + tally.aftershocks, 0) << "the catalogs of " << fam.name << " gave no report line";
}

TEST(Differential, Clustered) { run_family(CLUSTERED); }
TEST(Differential, Unsorted) { run_family(UNSORTED); }
TEST(Differential, WildValues) { run_family(WILD_VALUES); }
TEST(Differential, TinyDistances) { run_family(TINY_DISTANCES); }
TEST(Differential, TimeEdges) { run_family(TIME_EDGES); }
TEST(Differential, Windows) { run_family(WINDOWS); }
TEST(Differential, Rings) { run_family(RINGS); }
TEST(Differential, Swarms) { run_family(SWARMS); }
TEST(Differential, SwarmAndFar) { run_family(SWARM_AND_FAR); }
TEST(Differential, OnePoint) { run_family(ONE_POINT); }
TEST(Differential, EqualTimes) { run_family(EQUAL_TIMES); }
TEST(Differential, PartlyUnsorted) { run_family(PARTLY_UNSORTED); }

}  // namespace
