// run: twinquake's whole run, from the prompt to the last close.
#pragma once

#include "search.h"

// The two searching steps a run drives: the main pass and the E1-pair report.
struct SearchSteps {
    void (*pass)(const EventCatalog&, const RunParameters&, RunState&);        // main pass
    void (*report)(const EventCatalog&, const RunParameters&, RunState&);      // E1-pair report
};

// Prompt, parameters, connections, catalog, the steps, closes; returns the
// exit status of a complete run.
int run_twinquake(SearchSteps steps);
