// run: twinquake's whole run, from the prompt to the last close.
#pragma once

#include "search.h"

// The two searching steps a run drives: the main pass and the E1-pair report.
struct SearchSteps {
    void (*pass)(const EventCatalog&, const RunParameters&, RunState&);    // main pass
    void (*report)(const EventCatalog&, const RunParameters&, RunState&);  // E1-pair report
};

// Everything of a run after the catalog is loaded, with streams 5, 65, 66
// and 67 connected: the main pass, closing the pair file and the catalog, the
// E1-pair report, closing the E1-pair file and "Aftershocks".
void search_and_close(const EventCatalog& cat, const RunParameters& p, SearchSteps steps);

// Prompt, parameters, connections, catalog, the steps, closes; returns the
// exit status of a complete run.
int run_twinquake(SearchSteps steps);
