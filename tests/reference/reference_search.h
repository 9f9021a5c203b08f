// reference_search: the pair search transcribed step by step as its
// algorithms read, with no shortcut: every visited event gets its distance and
// radius computed where the steps compute them. The fast search in twinquake/
// must give the same bytes; the differential tests and the benchmark hold the
// two side by side.
#pragma once

#include "search.h"

namespace ref {

bool screen_e2(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
void collect_e1(const EventCatalog& cat, const RunParameters& p, RunState& st, int32_t i);
void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, RunState& st);
void main_pass(const EventCatalog& cat, const RunParameters& p, RunState& st);

}  // namespace ref
