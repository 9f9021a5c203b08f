// twinquake: finds pairs of earthquakes, a later, larger E2 and the earlier E1
// within a time window and a distance range, and writes the pair report (echoed
// on standard output), the aftershock report and the report of E1 pairs.

#include "run.h"

int main() { return run_twinquake({main_pass, report_e1_pairs}); }
