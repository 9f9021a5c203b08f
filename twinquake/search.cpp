// search: screening of E2 candidates, the E1 search and the E1-pair report.

#include "search.h"

#include <algorithm>
#include <cmath>

#include "geometry.h"
#include "text_io.h"

namespace {

constexpr int32_t UNKNOWN = -1;  // aftershock test not made yet

// True when the latitudes alone put events a and b farther apart than
// `limit` km by more than the pruning margin: the formula cannot come out
// within the limit then. Only for events the grid places (|lat| <= 90).
bool beyond_by_latitude(const EventIndex& x, int32_t a, int32_t b, float limit) {
    if (!x.placed[a] || !x.placed[b]) return false;
    const double dphi = std::fabs(static_cast<double>(x.geo[a].phi) - x.geo[b].phi);
    return dphi * EARTH_RADIUS_KM > static_cast<double>(limit) + PRUNE_MARGIN_KM;
}

float distance(const EventIndex& x, int32_t a, int32_t b) { return hypo_distance(x.geo[a], x.geo[b]); }

// The aftershock test over a catalog in time order. The best parent is the
// largest magnitude among the earlier events within 30 days whose radius
// reaches i, the latest of equals; which order the events are looked at in
// does not change it, so the grid may hand them out in any order.
int32_t parent_sorted(const EventCatalog& cat, const EventIndex& x, int32_t i) {
    const double lookback = LOOKBACK_DAYS;
    const double t = cat.dat[i];
    const int32_t lo = first_failing(1, i - 1, [&](int32_t j) { return !(t - cat.dat[j] <= lookback); });
    const float mag = cat.mag[i];
    if (!(range_max_mag(x, lo, i - 1) > mag)) return i;
    int32_t best = i;
    auto consider = [&](int32_t j) {
        const float mj = cat.mag[j];
        if (!(mj > mag)) return;
        if (best != i && (mj < cat.mag[best] || (mj == cat.mag[best] && j < best))) return;
        if (beyond_by_latitude(x, i, j, x.radius[j])) return;
        if (x.radius[j] >= distance(x, i, j)) best = j;
    };
    // The few events of large radius, one by one.
    auto big = std::lower_bound(x.big.begin(), x.big.end(), lo);
    for (; big != x.big.end() && *big < i; ++big) consider(*big);
    // The many of small radius, from the cells their largest radius reaches.
    // They can only win when larger than the best so far (or as large and later).
    const float largest_small = range_max_small_mag(x, lo, i - 1);
    if (largest_small > mag && (best == i || largest_small >= cat.mag[best])) {
        near_events(x, cat, i, rupture_radius(largest_small), lo, i - 1, [&](int32_t j) {
            if (x.radius[j] <= BIG_RADIUS_KM) consider(j);
            return true;
        });
    }
    return best;
}

// The aftershock test as the look-back walks it, for a catalog out of time order.
int32_t parent_walk(const EventCatalog& cat, const EventIndex& x, int32_t i) {
    const double lookback = LOOKBACK_DAYS;
    int32_t best = i;
    for (int32_t j = i - 1; j >= 1 && cat.dat[i] - cat.dat[j] <= lookback; --j) {
        if (cat.mag[j] > cat.mag[best] && x.radius[j] >= distance(x, i, j)) best = j;
    }
    return best;
}

// The aftershock test of event i: among the earlier events within 30 days
// whose own rupture radius reaches i, the one of largest magnitude when that
// exceeds mag(i) (the latest of equals); i itself when there is none. Made
// once per event: an E1 candidate is asked about again by later E2.
int32_t aftershock_parent(const EventCatalog& cat, Search& s, int32_t i) {
    int32_t& memo = s.parent[i];
    if (memo == UNKNOWN) memo = s.index.time_sorted ? parent_sorted(cat, s.index, i) : parent_walk(cat, s.index, i);
    return memo;
}

// Is i followed within the time window and the distance range by an event at
// least as large?
bool has_rival(const EventCatalog& cat, const RunParameters& p, const EventIndex& x, int32_t i) {
    const double window = p.time_window;
    const double t = cat.dat[i];
    const float mag = cat.mag[i];
    if (!x.time_sorted) {
        for (int32_t j = i + 1; j <= cat.n && cat.dat[j] - t <= window; ++j) {
            if (cat.mag[j] >= mag && p.dist_range >= distance(x, i, j)) return true;
        }
        return false;
    }
    const int32_t hi = first_failing(i + 1, cat.n, [&](int32_t j) { return cat.dat[j] - t <= window; }) - 1;
    if (!(range_max_mag(x, i + 1, hi) >= mag)) return false;
    return !near_events(x, cat, i, p.dist_range, i + 1, hi, [&](int32_t j) {
        if (!(cat.mag[j] >= mag)) return true;
        if (beyond_by_latitude(x, i, j, p.dist_range)) return true;
        return !(p.dist_range >= distance(x, i, j));
    });
}

}  // namespace

void prepare_search(Search& s, const EventCatalog& cat) {
    build_index(s.index, cat);
    s.parent.assign(static_cast<size_t>(cat.n) + 1, UNKNOWN);
    s.found.clear();
    prepare_records(s.records, cat.n);
}

bool screen_e2(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st, int32_t i) {
    const float mag = cat.mag[i];
    if (!(mag >= p.e2_min_mag)) return false;
    const bool complete =
        (mag < MAG_SPLIT && cat.dat[i] >= START_BELOW_SPLIT) || (mag >= MAG_SPLIT && cat.dat[i] >= START_FROM_SPLIT);
    if (!complete) return false;

    const int32_t best = aftershock_parent(cat, s, i);
    if (best != i) {
        ++st.aftershock_count;
        char line[AFTERSHOCK_LINE_LEN];
        aftershock_line(cat, s.records, st.aftershock_count, i, best, line);
        write_line(AFTERSHOCK_STREAM, std::string_view(line, AFTERSHOCK_LINE_LEN));
        return false;
    }
    return !has_rival(cat, p, s.index, i);
}

void collect_e1(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st, int32_t i) {
    const EventIndex& x = s.index;
    std::vector<Search::Found>& found = s.found;
    found.clear();
    const double t = cat.dat[i];
    const float mag = cat.mag[i];
    auto candidate = [&](int32_t m) {
        if (!(cat.mag[m] <= mag && cat.mag[m] >= p.e1_min_mag)) return;
        if (beyond_by_latitude(x, i, m, p.dist_range)) return;
        const float d = distance(x, i, m);
        if (p.dist_range >= d) found.push_back({m, d});
    };
    if (x.time_sorted) {
        // The time differences grow as the scan goes back, so the scan covers
        // the events from the first within the window up to i - 1, unless the
        // event just before i is already too close in time or out of the window.
        if (i > 1) {
            const float dt = static_cast<float>(t - cat.dat[i - 1]);
            if (dt <= p.time_window && dt >= MIN_SEPARATION_DAYS) {
                const int32_t lo = first_failing(
                    1, i - 1, [&](int32_t m) { return !(static_cast<float>(t - cat.dat[m]) <= p.time_window); });
                near_events(x, cat, i, p.dist_range, lo, i - 1, [&](int32_t m) {
                    candidate(m);
                    return true;
                });
                std::sort(found.begin(), found.end(),
                          [](const Search::Found& a, const Search::Found& b) { return a.m > b.m; });
            }
        }
    } else {
        for (int32_t m = i - 1; m >= 1; --m) {
            const float dt = static_cast<float>(t - cat.dat[m]);
            if (!(dt <= p.time_window && dt >= MIN_SEPARATION_DAYS)) break;
            candidate(m);
        }
    }

    int32_t e1_count = 0;
    for (const Search::Found& f : found) {
        if (aftershock_parent(cat, s, f.m) != f.m) continue;
        const float dt = static_cast<float>(t - cat.dat[f.m]);
        ++e1_count;
        if (e1_count == 1) open_group(st);
        char line[PAIR_LINE_LEN];
        pair_line(cat, s.records, st.group_count, e1_count, i, f.m, f.d, dt, line);
        write_line(PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
        write_line(STDOUT_STREAM, std::string_view(line, PAIR_LINE_LEN));
        st.ie1.slot.push_back(f.m);
    }
}

void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st) {
    const EventIndex& x = s.index;
    const int32_t groups = st.group_count;
    for (int32_t g = 1; g <= groups; ++g) {
        const int32_t count = ie1_count(st.ie1, g);
        for (int32_t a = 1; a <= count; ++a) {
            int32_t jj = 0;
            for (int32_t b = a + 1; b <= count; ++b) {
                // Within a group a lower slot holds a later event.
                const int32_t ea = ie1(st.ie1, g, a);
                const int32_t eb = ie1(st.ie1, g, b);
                if (!(cat.mag[ea] >= cat.mag[eb])) continue;
                ++st.group_count;
                ++jj;
                const float dt = static_cast<float>(cat.dat[ea] - cat.dat[eb]);
                const float d = distance(x, ea, eb);
                if (p.dist_range >= d) {
                    char line[PAIR_LINE_LEN];
                    pair_line(cat, s.records, st.group_count, jj, ea, eb, d, dt, line);
                    write_line(E1_PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
                }
            }
        }
    }
}
