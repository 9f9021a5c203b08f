// search: screening of E2 candidates, the E1 search and the E1-pair report.

#include "search.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry.h"
#include "templates.h"

namespace {

const RecordTemplate& aftershock_template() {
    static const RecordTemplate t = parse_template(AFTERSHOCK_TEMPLATE);
    return t;
}

const RecordTemplate& pair_template() {
    static const RecordTemplate t = parse_template(PAIR_TEMPLATE);
    return t;
}

}  // namespace

void write_pair(int32_t stream, const EventCatalog& cat, int32_t group, int32_t count, int32_t a, int32_t b, float d,
                float dt) {
    const IoItem values[] = {
        io(group),      io(count),      io(cat.tim[a]), io(cat.lon[a]), io(cat.lat[a]), io(cat.dep[a]),
        io(cat.mag[a]), io(cat.tim[b]), io(cat.lon[b]), io(cat.lat[b]), io(cat.dep[b]), io(cat.mag[b]),
        io(d),          io(dt),         io(cat.dat[a]), io(cat.nam[a]),
    };
    write_template(stream, pair_template(), values, 16);
}

namespace {

// The pieces of PAIR_TEMPLATE, in its order: the two counters, the event
// block of each event, the distance and time difference, the day; and of
// AFTERSHOCK_TEMPLATE: the number, then an event block for each event.
constexpr std::string_view PAIR_HEAD = "(i4,i4)";
constexpr std::string_view PAIR_EVENT = "(A24,2f8.3,2f7.1)";
constexpr std::string_view PAIR_GAP = "(f8.1,f11.6)";
constexpr std::string_view PAIR_DAY = "(f16.8)";
constexpr std::string_view AFTERSHOCK_HEAD = "(i4)";
constexpr std::string_view AFTERSHOCK_EVENT = "(A24,2f8.3,2f7.1,f16.8)";
constexpr int32_t EVENT_LEN = 54;              // columns of a pair event block
constexpr int32_t PIECE_LEN = EVENT_LEN + 16;  // pair event block and day
constexpr int32_t AFTER_EVENT_LEN = 70;        // columns of an aftershock event block

enum Piece { HEAD, EVENT, GAP, DAY, A_HEAD, A_EVENT };

const RecordTemplate& piece_template(Piece k) {
    static const RecordTemplate t[] = {parse_template(PAIR_HEAD),       parse_template(PAIR_EVENT),
                                       parse_template(PAIR_GAP),        parse_template(PAIR_DAY),
                                       parse_template(AFTERSHOCK_HEAD), parse_template(AFTERSHOCK_EVENT)};
    return t[k];
}

// Event i's piece of `len` characters, laid out by lay(i, text) the first
// time; returns its offset in pc.text.
template <class Lay>
int32_t piece_of(const EventCatalog& cat, PieceCache& pc, int32_t i, int32_t len, Lay lay) {
    if (pc.at.size() != static_cast<size_t>(cat.n) + 1) pc.at.assign(static_cast<size_t>(cat.n) + 1, -1);
    if (pc.at[i] < 0) {
        pc.at[i] = static_cast<int32_t>(pc.text.size());
        pc.text.resize(pc.text.size() + static_cast<size_t>(len));
        lay(i, pc.text.data() + pc.at[i]);
    }
    return pc.at[i];
}

int32_t pair_piece(const EventCatalog& cat, SearchCache& c, int32_t i) {
    return piece_of(cat, c.pair_piece, i, PIECE_LEN, [&](int32_t e, char* at) {
        const IoItem block[] = {io(cat.tim[e]), io(cat.lon[e]), io(cat.lat[e]), io(cat.dep[e]), io(cat.mag[e])};
        format_template(piece_template(EVENT), block, 5, at);
        const IoItem day[] = {io(cat.dat[e])};
        format_template(piece_template(DAY), day, 1, at + EVENT_LEN);
    });
}

int32_t aftershock_piece(const EventCatalog& cat, SearchCache& c, int32_t i) {
    return piece_of(cat, c.after_piece, i, AFTER_EVENT_LEN, [&](int32_t e, char* at) {
        const IoItem block[] = {io(cat.tim[e]), io(cat.lat[e]), io(cat.lon[e]),
                                io(cat.dep[e]), io(cat.mag[e]), io(cat.dat[e])};
        format_template(piece_template(A_EVENT), block, 6, at);
    });
}

}  // namespace

void format_pair(const EventCatalog& cat, SearchCache& c, int32_t group, int32_t count, int32_t a, int32_t b, float d,
                 float dt, char* line) {
    const int32_t at_a = pair_piece(cat, c, a);
    const int32_t at_b = pair_piece(cat, c, b);  // may move the pool: take pointers after both
    const char* pa = c.pair_piece.text.data() + at_a;
    const char* pb = c.pair_piece.text.data() + at_b;
    const IoItem head[] = {io(group), io(count)};
    char* at = line + format_template(piece_template(HEAD), head, 2, line);
    std::memcpy(at, "  ", 2);
    std::memcpy(at + 2, pa, EVENT_LEN);
    at += 2 + EVENT_LEN;
    std::memcpy(at, "   ", 3);
    std::memcpy(at + 3, pb, EVENT_LEN);
    at += 3 + EVENT_LEN;
    const IoItem gap[] = {io(d), io(dt)};
    at += format_template(piece_template(GAP), gap, 2, at);
    std::memcpy(at, pa + EVENT_LEN, 16);
    std::memcpy(at + 16, "   ", 3);
    std::memcpy(at + 19, cat.nam[a].c, 30);
}

void format_aftershock(const EventCatalog& cat, SearchCache& c, int32_t number, int32_t i, int32_t best, char* line) {
    const int32_t at_i = aftershock_piece(cat, c, i);
    const int32_t at_best = aftershock_piece(cat, c, best);  // may move the pool
    const IoItem head[] = {io(number)};
    char* at = line + format_template(piece_template(A_HEAD), head, 1, line);
    *at++ = ' ';
    std::memcpy(at, c.after_piece.text.data() + at_i, AFTER_EVENT_LEN);
    at += AFTER_EVENT_LEN;
    std::memcpy(at, "  ", 2);
    std::memcpy(at + 2, cat.nam[i].c, 20);
    std::memcpy(at + 22, c.after_piece.text.data() + at_best, AFTER_EVENT_LEN);
}

void write_aftershock(const EventCatalog& cat, int32_t number, int32_t i, int32_t best) {
    const IoItem values[] = {
        io(number),        io(cat.tim[i]),    io(cat.lat[i]),    io(cat.lon[i]),    io(cat.dep[i]),
        io(cat.mag[i]),    io(cat.dat[i]),    io(cat.nam[i]),    io(cat.tim[best]), io(cat.lat[best]),
        io(cat.lon[best]), io(cat.dep[best]), io(cat.mag[best]), io(cat.dat[best]),
    };
    write_template(AFTERSHOCK_STREAM, aftershock_template(), values, 14);
}

void open_group(RunState& st) {
    ++st.group_count;
    if (st.ie1.first.empty()) st.ie1.first.push_back(0);  // group 0 names no group
    st.ie1.first.push_back(static_cast<int32_t>(st.ie1.slot.size()));
}

namespace {

constexpr int32_t UNKNOWN = -1;  // aftershock test not made yet

void prepare(const EventCatalog& cat, RunState& st) {
    SearchCache& c = st.cache;
    if (c.index.cat == &cat && c.index.n == cat.n) return;
    build_index(c.index, cat);
    c.parent.assign(static_cast<size_t>(cat.n) + 1, UNKNOWN);
}

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
        near_events(x, i, rupture_radius(largest_small), lo, i - 1, [&](int32_t j) {
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
    return !near_events(x, i, p.dist_range, i + 1, hi, [&](int32_t j) {
        if (!(cat.mag[j] >= mag)) return true;
        if (beyond_by_latitude(x, i, j, p.dist_range)) return true;
        return !(p.dist_range >= distance(x, i, j));
    });
}

}  // namespace

int32_t aftershock_parent(const EventCatalog& cat, RunState& st, int32_t i) {
    prepare(cat, st);
    int32_t& memo = st.cache.parent[i];
    if (memo == UNKNOWN) {
        memo = st.cache.index.time_sorted ? parent_sorted(cat, st.cache.index, i) : parent_walk(cat, st.cache.index, i);
    }
    return memo;
}
int32_t ie1_count(const E1Table& t, int32_t g) {
    if (g < 1 || g >= static_cast<int32_t>(t.first.size())) return 0;
    int32_t end = g + 1 < static_cast<int32_t>(t.first.size()) ? t.first[g + 1] : static_cast<int32_t>(t.slot.size());
    return end - t.first[g];
}

int32_t ie1(const E1Table& t, int32_t g, int32_t k) { return t.slot[t.first[g] + k - 1]; }

bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    const float mag = cat.mag[i];
    if (!(mag >= p.e2_min_mag)) return false;
    const bool complete =
        (mag < MAG_SPLIT && cat.dat[i] >= START_BELOW_SPLIT) || (mag >= MAG_SPLIT && cat.dat[i] >= START_FROM_SPLIT);
    if (!complete) return false;

    const int32_t best = aftershock_parent(cat, st, i);
    if (best != i) {
        ++st.aftershock_count;
        char line[AFTERSHOCK_LINE_LEN];
        format_aftershock(cat, st.cache, st.aftershock_count, i, best, line);
        write_line(AFTERSHOCK_STREAM, std::string_view(line, AFTERSHOCK_LINE_LEN));
        return false;
    }
    return !has_rival(cat, p, st.cache.index, i);
}

void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    prepare(cat, st);
    const EventIndex& x = st.cache.index;
    std::vector<SearchCache::Found>& found = st.cache.found;
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
                near_events(x, i, p.dist_range, lo, i - 1, [&](int32_t m) {
                    candidate(m);
                    return true;
                });
                std::sort(found.begin(), found.end(),
                          [](const SearchCache::Found& a, const SearchCache::Found& b) { return a.m > b.m; });
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
    for (const SearchCache::Found& f : found) {
        if (aftershock_parent(cat, st, f.m) != f.m) continue;
        const float dt = static_cast<float>(t - cat.dat[f.m]);
        ++e1_count;
        if (e1_count == 1) open_group(st);
        char line[PAIR_LINE_LEN];
        format_pair(cat, st.cache, st.group_count, e1_count, i, f.m, f.d, dt, line);
        write_line(PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
        write_line(STDOUT_STREAM, std::string_view(line, PAIR_LINE_LEN));
        st.ie1.slot.push_back(f.m);
    }
}

void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    prepare(cat, st);
    const EventIndex& x = st.cache.index;
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
                    format_pair(cat, st.cache, st.group_count, jj, ea, eb, d, dt, line);
                    write_line(E1_PAIR_STREAM, std::string_view(line, PAIR_LINE_LEN));
                }
            }
        }
    }
}

void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    for (int32_t i = 1; i <= cat.n; ++i) {
        poll_stop();  // a stop signal ends the run between two events
        if (screen_e2(cat, p, st, i)) collect_e1(cat, p, st, i);
    }
}
