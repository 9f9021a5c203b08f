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
    const double dphi = std::fabs(static_cast<double>(prepared(x, a).geo.phi) - prepared(x, b).geo.phi);
    return dphi * EARTH_RADIUS_KM > static_cast<double>(limit) + PRUNE_MARGIN_KM;
}

float distance(const EventIndex& x, int32_t a, int32_t b) {
    return hypo_distance(prepared(x, a).geo, prepared(x, b).geo);
}

// The walk back of the aftershock tests: events within LOOKBACK_DAYS before
// t, 64-bit, lo..i-1.
int32_t lookback_start(const EventCatalog& cat, const EventIndex& x, int32_t i) {
    const double lookback = LOOKBACK_DAYS;
    const double t = cat.dat[i];
    return walk_back_end(x, cat, i, [&](double d) { return t - d <= lookback; });
}

// The event at leaf p of a magnitude tree.
int32_t leaf_event(const EventIndex& x, bool by_cell, int32_t p) { return by_cell ? x.cell_events[p] : p + 1; }

// The latest event below node k (its rightmost leaf: within a cell, and in
// the index tree, positions ascend with the index).
int32_t last_event_below(const EventIndex& x, const MaxTree& t, bool by_cell, int32_t k) {
    while (k < t.size) k = 2 * k + 1;
    return leaf_event(x, by_cell, k - t.size);
}

// Runs of a cell's events shorter than this are looked at one by one: a
// heap of tree nodes costs more than it saves there.
constexpr int32_t SHORT_RUN = 48;

// Steps of the E1 look-back taken one by one before the search by magnitude.
constexpr int32_t FIRST_STEPS = 8;

// Larger magnitudes first: the nodes of the magnitude trees that cover the
// events of lo..i-1 that might reach event i with a radius of at most
// BIG_RADIUS_KM (every event of the range when the grid cannot narrow it),
// taken largest first. take(j) looks at a leaf's event and says whether to
// go on; floor(tree, by_cell, node) says whether a node can still hold an
// event worth looking at (larger than event i, or than the best found so
// far, or as large and later), asked again when the node comes up, since the
// best may have grown meanwhile. The search ends when no node passes: every
// event it did not look at cannot change the answer. The events of short
// runs of a cell are handed to take(j) one by one, whatever their magnitude.
template <class Floor, class Take>
void largest_first(const EventCatalog& cat, Search& s, int32_t i, int32_t lo, Floor floor, Take take) {
    const EventIndex& x = s.index;
    std::vector<Search::Open>& open = s.open;
    open.clear();
    auto less = [](const Search::Open& a, const Search::Open& b) { return a.max < b.max; };
    auto push = [&](const MaxTree& t, bool by_cell, int32_t k) {
        if (!floor(t, by_cell, k)) return;
        open.push_back({t.max[k], k, by_cell});
        std::push_heap(open.begin(), open.end(), less);
    };
    auto cover = [&](const MaxTree& t, bool by_cell, int32_t first, int32_t last) {
        int32_t l = first + t.size, r = last + t.size + 1;  // leaves [l, r)
        while (l < r) {
            if (l & 1) push(t, by_cell, l++);
            if (r & 1) push(t, by_cell, --r);
            l >>= 1;
            r >>= 1;
        }
    };
    const bool go_on = near_ranges(
        x, cat, i, BIG_RADIUS_KM, lo, i - 1,
        [&](int32_t first, int32_t last) {
            if (last - first >= SHORT_RUN) {
                cover(x.cell_small_mag, true, first, last);
                return true;
            }
            for (int32_t at = first; at <= last; ++at) {
                if (!take(x.cell_events[at])) return false;
            }
            return true;
        },
        [&](int32_t from, int32_t to) {
            cover(x.mag, false, from - 1, to - 1);
            return true;
        });
    if (!go_on) return;
    while (!open.empty()) {
        std::pop_heap(open.begin(), open.end(), less);
        const Search::Open o = open.back();
        open.pop_back();
        const MaxTree& t = o.by_cell ? x.cell_small_mag : x.mag;
        if (!floor(t, o.by_cell, o.node)) continue;  // the floor rose since it was pushed
        if (o.node >= t.size) {
            if (!take(leaf_event(x, o.by_cell, o.node - t.size))) return;
            continue;
        }
        push(t, o.by_cell, 2 * o.node);
        push(t, o.by_cell, 2 * o.node + 1);
    }
}

// The aftershock test of event i: among the earlier events within 30 days
// whose own rupture radius reaches i, the one of largest magnitude when that
// exceeds mag(i), the latest of equals; i itself when there is none. Which
// order the events are looked at in does not change it: the few of large
// radius one by one, the many of small radius largest first from the grid
// cells they may reach from, stopping at the first that is larger than every
// event left (or as large and later).
int32_t find_parent(const EventCatalog& cat, Search& s, int32_t i) {
    const EventIndex& x = s.index;
    const int32_t lo = lookback_start(cat, x, i);
    const float mag = cat.mag[i];
    if (!(range_max_mag(x, lo, i - 1) > mag)) return i;
    int32_t best = i;
    auto consider = [&](int32_t j) {
        const float mj = cat.mag[j];
        if (!(mj > mag)) return;
        if (best != i && (mj < cat.mag[best] || (mj == cat.mag[best] && j < best))) return;
        if (beyond_by_latitude(x, i, j, prepared(x, j).radius)) return;
        if (prepared(x, j).radius >= distance(x, i, j)) best = j;
    };
    auto big = std::lower_bound(x.big.begin(), x.big.end(), lo);
    for (; big != x.big.end() && *big < i; ++big) consider(*big);
    largest_first(
        cat, s, i, lo,
        [&](const MaxTree& t, bool by_cell, int32_t k) {
            if (best == i) return t.max[k] > mag;
            if (t.max[k] > cat.mag[best]) return true;
            // As large as the best: only a later event can still win.
            return t.max[k] == cat.mag[best] && last_event_below(x, t, by_cell, k) > best;
        },
        [&](int32_t j) {
            consider(j);
            return true;
        });
    return best;
}

// The E1 look-back of event m: is any earlier event within 30 days larger
// than m and within its own radius of m? The same events as the aftershock
// test, but the search stops at the first such event.
bool find_shock(const EventCatalog& cat, Search& s, int32_t m) {
    const EventIndex& x = s.index;
    const int32_t lo = lookback_start(cat, x, m);
    const float mag = cat.mag[m];
    if (!(range_max_mag(x, lo, m - 1) > mag)) return false;
    auto reaches = [&](int32_t j) {
        return cat.mag[j] > mag && !beyond_by_latitude(x, m, j, prepared(x, j).radius) &&
               prepared(x, j).radius >= distance(x, m, j);
    };
    // The walk's own first steps: in a dense cluster a larger event that
    // reaches is most often among the last few.
    for (int32_t j = m - 1; j >= std::max(lo, m - FIRST_STEPS); --j) {
        if (reaches(j)) return true;
    }
    auto big = std::lower_bound(x.big.begin(), x.big.end(), lo);
    for (; big != x.big.end() && *big < m; ++big) {
        if (reaches(*big)) return true;
    }
    bool found = false;
    largest_first(
        cat, s, m, lo, [&](const MaxTree& t, bool, int32_t k) { return t.max[k] > mag; },
        [&](int32_t j) {
            found = reaches(j);
            return !found;
        });
    return found;
}

// Each test once per event: an E1 candidate is asked about again by later E2.
int32_t aftershock_parent(const EventCatalog& cat, Search& s, int32_t i) {
    int32_t& memo = s.parent[i];
    if (memo == UNKNOWN) memo = find_parent(cat, s, i);
    return memo;
}

bool is_aftershock(const EventCatalog& cat, Search& s, int32_t m) {
    if (s.parent[m] != UNKNOWN) return s.parent[m] != m;
    uint8_t& memo = s.shock[m];
    if (memo == 0) memo = find_shock(cat, s, m) ? 1 : 2;
    return memo == 1;
}

// Is i followed within the time window and the distance range by an event at
// least as large? Only the events at least as large are looked at.
bool has_rival(const EventCatalog& cat, const RunParameters& p, const EventIndex& x, int32_t i) {
    const double window = p.time_window;
    const double t = cat.dat[i];
    const float mag = cat.mag[i];
    const int32_t hi = walk_ahead_end(x, cat, i, [&](double d) { return d - t <= window; });
    if (!(range_max_mag(x, i + 1, hi) >= mag)) return false;
    auto not_rival = [&](int32_t j) {
        if (!(cat.mag[j] >= mag)) return true;
        if (beyond_by_latitude(x, i, j, p.dist_range)) return true;
        return !(p.dist_range >= distance(x, i, j));
    };
    return !near_ranges(
        x, cat, i, p.dist_range, i + 1, hi,
        [&](int32_t first, int32_t last) {
            if (last - first < SHORT_RUN) {
                for (int32_t at = first; at <= last; ++at) {
                    if (!not_rival(x.cell_events[at])) return false;
                }
                return true;
            }
            return leaves_at_least(x.cell_mag, first, last, mag,
                                   [&](int32_t at) { return not_rival(x.cell_events[at]); });
        },
        [&](int32_t from, int32_t to) {
            return leaves_at_least(x.mag, from - 1, to - 1, mag, [&](int32_t at) { return not_rival(at + 1); });
        });
}

}  // namespace

void prepare_search(Search& s, const EventCatalog& cat) {
    build_index(s.index, cat);
    s.parent.assign(static_cast<size_t>(cat.n) + 1, UNKNOWN);
    s.shock.assign(static_cast<size_t>(cat.n) + 1, 0);
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
        aftershock_line(cat, s.records, printed_count(st.aftershock_count), i, best, line);
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
    // The scan back ends at the first event too close in time or beyond the
    // window; the grid then hands out the candidates of the events passed.
    const float window = p.time_window;
    const int32_t lo = walk_back_end(x, cat, i, [&](double d) {
        const float dt = static_cast<float>(t - d);
        return dt <= window && dt >= MIN_SEPARATION_DAYS;
    });
    near_events(x, cat, i, p.dist_range, lo, i - 1, [&](int32_t m) {
        candidate(m);
        return true;
    });
    std::sort(found.begin(), found.end(), [](const Search::Found& a, const Search::Found& b) { return a.m > b.m; });

    int32_t e1_count = 0;
    for (const Search::Found& f : found) {
        if (is_aftershock(cat, s, f.m)) continue;
        const float dt = static_cast<float>(t - cat.dat[f.m]);
        ++e1_count;
        if (e1_count == 1) open_group(st);
        char line[PAIR_LINE_LEN];
        pair_line(cat, s.records, printed_count(st.group_count), e1_count, i, f.m, f.d, dt, line);
        write_line(PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
        write_line(STDOUT_STREAM, std::string_view(line, PAIR_LINE_LEN));
        st.ie1.slot.push_back(f.m);
    }
}

void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st) {
    const EventIndex& x = s.index;
    const int64_t groups = st.group_count;
    for (int64_t g = 1; g <= groups; ++g) {
        const int32_t count = ie1_count(st.ie1, g);
        for (int32_t a = 1; a <= count; ++a) {
            poll_stop();  // a group of many E1 writes few lines: a stop signal is looked for here too
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
                    pair_line(cat, s.records, printed_count(st.group_count), jj, ea, eb, d, dt, line);
                    write_line(E1_PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
                }
            }
        }
    }
}
