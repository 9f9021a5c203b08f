// reference_search: screening, E1 search and E1-pair report, step by step.

#include "reference_search.h"

#include "geometry.h"
#include "records.h"
#include "templates.h"
#include "text_io.h"

namespace ref {

namespace {

// One pair record through the whole PAIR_TEMPLATE.
void write_pair(int32_t stream, const EventCatalog& cat, int32_t group, int32_t count, int32_t a, int32_t b, float d,
                float dt) {
    static const RecordTemplate t = parse_template(PAIR_TEMPLATE);
    IoItem v[PAIR_VALUES];
    pair_values(cat, group, count, a, b, d, dt, v);
    write_template(stream, t, v, PAIR_VALUES);
}

// One aftershock record through the whole AFTERSHOCK_TEMPLATE.
void write_aftershock(const EventCatalog& cat, int32_t number, int32_t i, int32_t best) {
    static const RecordTemplate t = parse_template(AFTERSHOCK_TEMPLATE);
    IoItem v[AFTERSHOCK_VALUES];
    aftershock_values(cat, number, i, best, v);
    write_template(AFTERSHOCK_STREAM, t, v, AFTERSHOCK_VALUES);
}

float distance(const EventCatalog& cat, int32_t a, int32_t b) {
    return hypo_distance(cat.lat[a], cat.lon[a], cat.dep[a], cat.lat[b], cat.lon[b], cat.dep[b]);
}

// Step 4 of the E1 search: is m an aftershock of a larger event within 30 days?
bool is_aftershock(const EventCatalog& cat, int32_t m) {
    for (int32_t j = m - 1; j >= 1 && cat.dat[m] - cat.dat[j] <= static_cast<double>(LOOKBACK_DAYS); --j) {
        if (rupture_radius(cat.mag[j]) >= distance(cat, m, j) && cat.mag[j] > cat.mag[m]) return true;
    }
    return false;
}

}  // namespace

bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    // 1. magnitude gate
    if (!(cat.mag[i] >= p.e2_min_mag)) return false;
    // 2. completeness gate
    if (!((cat.mag[i] < MAG_SPLIT && cat.dat[i] >= START_BELOW_SPLIT) ||
          (cat.mag[i] >= MAG_SPLIT && cat.dat[i] >= START_FROM_SPLIT))) {
        return false;
    }
    // 3. look-back
    int32_t best = i;
    for (int32_t j = i - 1; j >= 1 && cat.dat[i] - cat.dat[j] <= static_cast<double>(LOOKBACK_DAYS); --j) {
        const float d = distance(cat, i, j);
        const float r = rupture_radius(cat.mag[j]);
        if (cat.mag[j] > cat.mag[best] && r >= d) best = j;
    }
    // 4. aftershock record
    if (best != i) {
        ++st.aftershock_count;
        write_aftershock(cat, printed_count(st.aftershock_count), i, best);
        return false;
    }
    // 5. look-ahead
    for (int32_t j = i + 1; j <= cat.n && cat.dat[j] - cat.dat[i] <= static_cast<double>(p.time_window); ++j) {
        if (p.dist_range >= distance(cat, i, j) && cat.mag[j] >= cat.mag[i]) return false;
    }
    // 6. accepted
    return true;
}

void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i) {
    int32_t e1_count = 0;
    for (int32_t m = i - 1; m >= 1; --m) {
        const float dt = static_cast<float>(cat.dat[i] - cat.dat[m]);
        if (!(dt <= p.time_window && dt >= MIN_SEPARATION_DAYS)) break;
        const float d = distance(cat, i, m);
        if (!(p.dist_range >= d && cat.mag[m] <= cat.mag[i])) continue;
        if (!(cat.mag[m] >= p.e1_min_mag)) continue;
        if (is_aftershock(cat, m)) continue;
        ++e1_count;
        if (e1_count == 1) open_group(st);
        write_pair(PAIR_STREAM, cat, printed_count(st.group_count), e1_count, i, m, d, dt);
        write_pair(STDOUT_STREAM, cat, printed_count(st.group_count), e1_count, i, m, d, dt);
        st.ie1.slot.push_back(m);
    }
}

void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    const int64_t groups = st.group_count;
    for (int64_t g = 1; g <= groups; ++g) {
        const int32_t count = ie1_count(st.ie1, g);
        for (int32_t a = 1; a <= count; ++a) {
            int32_t jj = 0;
            for (int32_t b = a + 1; b <= count; ++b) {
                const int32_t ea = ie1(st.ie1, g, a);
                const int32_t eb = ie1(st.ie1, g, b);
                if (!(cat.mag[ea] >= cat.mag[eb])) continue;
                ++st.group_count;
                ++jj;
                const float dt = static_cast<float>(cat.dat[ea] - cat.dat[eb]);
                const float d = distance(cat, ea, eb);
                if (p.dist_range >= d)
                    write_pair(E1_PAIR_STREAM, cat, printed_count(st.group_count), jj, ea, eb, d, dt);
            }
        }
    }
}

void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    for (int32_t i = 1; i <= cat.n; ++i) {
        if (ref::screen_e2(cat, p, st, i)) ref::collect_e1(cat, p, st, i);
    }
}

}  // namespace ref
