// search: screening of E2 candidates, the E1 search and the E1-pair report.

#include "search.h"

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

float distance(const EventCatalog& cat, int32_t a, int32_t b) {
    return hypo_distance(cat.lat[a], cat.lon[a], cat.dep[a], cat.lat[b], cat.lon[b], cat.dep[b]);
}

}  // namespace

void write_pair(int32_t stream, const EventCatalog& cat, int32_t group, int32_t count, int32_t a,
                int32_t b, float d, float dt) {
    const IoItem values[] = {
        io(group),       io(count),      io(cat.tim[a].c, TEXT_LEN), io(cat.lon[a]),
        io(cat.lat[a]),  io(cat.dep[a]), io(cat.mag[a]),             io(cat.tim[b].c, TEXT_LEN),
        io(cat.lon[b]),  io(cat.lat[b]), io(cat.dep[b]),             io(cat.mag[b]),
        io(d),           io(dt),         io(cat.dat[a]),             io(cat.nam[a].c, TEXT_LEN),
    };
    write_template(stream, pair_template(), values, 16);
}

void write_aftershock(const EventCatalog& cat, int32_t number, int32_t i, int32_t best) {
    const IoItem values[] = {
        io(number),        io(cat.tim[i].c, TEXT_LEN), io(cat.lat[i]),
        io(cat.lon[i]),    io(cat.dep[i]),             io(cat.mag[i]),
        io(cat.dat[i]),    io(cat.nam[i].c, TEXT_LEN), io(cat.tim[best].c, TEXT_LEN),
        io(cat.lat[best]), io(cat.lon[best]),          io(cat.dep[best]),
        io(cat.mag[best]), io(cat.dat[best]),
    };
    write_template(AFTERSHOCK_STREAM, aftershock_template(), values, 14);
}

void open_group(RunState& st) {
    ++st.group_count;
    if (st.ie1.first.empty()) st.ie1.first.push_back(0);  // group 0 names no group
    st.ie1.first.push_back(static_cast<int32_t>(st.ie1.slot.size()));
}

int32_t aftershock_parent(const EventCatalog& cat, int32_t i) {
    int32_t best = i;
    const double lookback = LOOKBACK_DAYS;
    for (int32_t j = i - 1; j >= 1 && cat.dat[i] - cat.dat[j] <= lookback; --j) {
        float d = distance(cat, i, j);
        float r = rupture_radius(cat.mag[j]);
        if (cat.mag[j] > cat.mag[best] && r >= d) best = j;
    }
    return best;
}

int32_t ie1_count(const E1Table& t, int32_t g) {
    if (g < 1 || g >= static_cast<int32_t>(t.first.size())) return 0;
    int32_t end = g + 1 < static_cast<int32_t>(t.first.size()) ? t.first[g + 1]
                                                             : static_cast<int32_t>(t.slot.size());
    return end - t.first[g];
}

int32_t ie1(const E1Table& t, int32_t g, int32_t k) { return t.slot[t.first[g] + k - 1]; }

bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    const float mag = cat.mag[i];
    if (!(mag >= p.e2_min_mag)) return false;
    const bool complete = (mag < MAG_SPLIT && cat.dat[i] >= START_BELOW_SPLIT) ||
                          (mag >= MAG_SPLIT && cat.dat[i] >= START_FROM_SPLIT);
    if (!complete) return false;

    const int32_t best = aftershock_parent(cat, i);
    if (best != i) {
        ++st.aftershock_count;
        write_aftershock(cat, st.aftershock_count, i, best);
        return false;
    }

    const double window = p.time_window;
    for (int32_t j = i + 1; j <= cat.n && cat.dat[j] - cat.dat[i] <= window; ++j) {
        if (p.dist_range >= distance(cat, i, j) && cat.mag[j] >= mag) return false;
    }
    return true;
}

void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    int32_t e1_count = 0;
    for (int32_t m = i - 1; m >= 1; --m) {
        const float dt = static_cast<float>(cat.dat[i] - cat.dat[m]);
        if (!(dt <= p.time_window && dt >= MIN_SEPARATION_DAYS)) break;
        const float d = distance(cat, i, m);
        if (!(p.dist_range >= d && cat.mag[m] <= cat.mag[i] && cat.mag[m] >= p.e1_min_mag)) continue;
        if (aftershock_parent(cat, m) != m) continue;
        ++e1_count;
        if (e1_count == 1) open_group(st);
        write_pair(PAIR_STREAM, cat, st.group_count, e1_count, i, m, d, dt);
        write_pair(STDOUT_STREAM, cat, st.group_count, e1_count, i, m, d, dt);
        st.ie1.slot.push_back(m);
    }
}

void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st) {
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
                const float d = distance(cat, ea, eb);
                if (p.dist_range >= d) write_pair(E1_PAIR_STREAM, cat, st.group_count, jj, ea, eb, d, dt);
            }
        }
    }
}

void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    for (int32_t i = 1; i <= cat.n; ++i) {
        if (screen_e2(cat, p, st, i)) collect_e1(cat, p, st, i);
    }
}
