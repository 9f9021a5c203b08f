// twinquake_reference: twinquake's run with the step-by-step reference search,
// for side-by-side runs against the fast program.

#include "reference_search.h"
#include "run.h"

int main() { return run_twinquake({ref::main_pass, ref::report_e1_pairs}); }
