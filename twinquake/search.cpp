// search: screening of E2 candidates, the E1 search and the E1-pair report.

#include "search.h"

int32_t ie1_count(const E1Table& t, int32_t g) {
    if (g < 1 || g >= static_cast<int32_t>(t.first.size())) return 0;
    int32_t end = g + 1 < static_cast<int32_t>(t.first.size()) ? t.first[g + 1]
                                                             : static_cast<int32_t>(t.slot.size());
    return end - t.first[g];
}

int32_t ie1(const E1Table& t, int32_t g, int32_t k) { return t.slot[t.first[g] + k - 1]; }

bool screen_e2(const EventCatalog&, const RunParameters&, RunState&, int32_t) { return false; }

void collect_e1(const EventCatalog&, const RunParameters&, RunState&, int32_t) {}

void report_e1_pairs(const EventCatalog&, const RunParameters&, RunState&) {}

void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st) {
    for (int32_t i = 1; i <= cat.n; ++i) {
        if (screen_e2(cat, p, st, i)) collect_e1(cat, p, st, i);
    }
}
