// reference_search: the pair search transcribed step by step as its
// algorithms read, with no shortcut: every visited event gets its distance and
// radius computed where the steps compute them, and every record is written
// through its whole template. The fast search in twinquake/ must give the same
// bytes; the differential tests, the fuzz harness and the benchmark hold the
// two side by side. Shares with the program only the run's state and
// constants (run_state.h) and which value goes into which column (records.h).
#pragma once

#include "event_catalog.h"
#include "run_state.h"

namespace ref {

bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st);
// screen_e2 for every event in index order, collect_e1 for every E2.
void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st);

}  // namespace ref
