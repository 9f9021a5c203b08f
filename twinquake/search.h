// search: the three steps of twinquake's pair search over a loaded catalog:
// screening each event as an E2 (with the aftershock report), collecting the
// E1 of each E2 (the pair report and its echo), and the E1-pair report.
//
// The steps give the records the step-by-step rules give, and get there
// without walking time windows event by event: they ask the event index for
// the events that can matter. What they keep between them is prepared once
// per run, after loading (prepare_search).
// Does not own reading the parameters or the catalog, nor connecting or
// closing files (twinquake's main), nor the layout of records (records).
#pragma once

#include <cstdint>
#include <vector>

#include "event_catalog.h"
#include "event_index.h"
#include "records.h"
#include "run_state.h"

// What the steps keep between them over one run.
struct Search {
    EventIndex index;             // prepared points, radii, time and magnitude trees, grid
    std::vector<int32_t> parent;  // aftershock test of each event: its parent, itself, or -1 not made yet
    std::vector<uint8_t> shock;   // E1 look-back of each event: 0 not made yet, 1 an aftershock, 2 not
    struct Found {
        int32_t m;  // catalog index of an E1 candidate
        float d;    // its distance from the E2, km
    };
    std::vector<Found> found;  // E1 candidates of the current E2
    struct Open {
        float max;     // the largest magnitude below the node
        int32_t node;  // node of the magnitude tree
        bool by_cell;  // a node of index.cell_small_mag, else of index.mag
    };
    std::vector<Open> open;  // nodes still to look at in an aftershock test, largest first
    RecordCache records;     // per-event pieces of the records
};

// Prepares the search over the loaded catalog; once per run, before the main pass.
void prepare_search(Search& s, const EventCatalog& cat);

// Decides whether event i is an E2; writes an aftershock record when it is an
// aftershock of an earlier, larger event.
bool screen_e2(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st, int32_t i);
// Writes the pair records of E2 i (pair file and standard output) and stores its E1.
void collect_e1(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st, int32_t i);
// Writes the E1-pair records of every group.
void report_e1_pairs(const EventCatalog& cat, const RunParameters& p, Search& s, RunState& st);
