// run_state: what one run of twinquake holds from its first read to its last
// close: the stream numbers, the constants of its rules, the parameters and
// file names read from standard input, the counters and the E1 table; and the
// dialogue and the connect-and-load sequence that start the run.
//
// Does not own the search itself (search), nor the layout of its records
// (records).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "event_catalog.h"

// Streams of a run (5 and 6 are text_io's STDIN_STREAM and STDOUT_STREAM;
// 5 carries the catalog once it is connected).
constexpr int32_t PAIR_STREAM = 65;        // the pair file
constexpr int32_t E1_PAIR_STREAM = 66;     // the E1-pair file
constexpr int32_t AFTERSHOCK_STREAM = 67;  // "Aftershocks"

// The rules' constants.
constexpr float MAG_SPLIT = 6.95f;              // nearest float, 6.9499998...: completeness split
constexpr double START_BELOW_SPLIT = 23741.0;   // 1 January 1965, days from 1 January 1900
constexpr double START_FROM_SPLIT = 7304.0;     // 1 January 1920, same count
constexpr float LOOKBACK_DAYS = 30.0f;          // aftershock look-back, days; widened to 64 bits
constexpr float MIN_SEPARATION_DAYS = 5.8e-5f;  // nearest float to 5.8e-5 days (about 5 s)

// Read once from standard input and never changed.
struct RunParameters {
    float dist_range;   // km, 32-bit: largest distance within a pair
    float time_window;  // days, 32-bit: how far an E1 may lie back, a rival ahead
    float e1_min_mag;   // magnitude, 32-bit: smallest E1 taken
    float e2_min_mag;   // magnitude, 32-bit: smallest E2
};

// The files of a run, as connect_stream takes their names (trailing blanks
// are dropped there).
struct RunFiles {
    std::string catalog;                     // read on stream 5
    std::string pair;                        // stream 65
    std::string e1_pair;                     // stream 66
    std::string aftershock = "Aftershocks";  // stream 67, a fixed name
};

// The E1 of every group, in the order found (nearest in time first). The
// table grows with the data: no group and no E1 is ever dropped.
// Offsets are 64-bit: the E1 of all groups together can pass 2^31.
struct E1Table {
    std::vector<int64_t> first;  // first[g]: offset in `slot` of group g's first E1 (1-based g)
    std::vector<int32_t> slot;   // catalog indices of the E1, group after group
};

// The counters are 64-bit: the E1-pair report goes on counting group_count
// for every pair of E1 of a group, and one group of 66,000 E1 alone passes
// 2^31. Records show them through printed_count (records.h).
struct RunState {
    int64_t group_count = 0;       // groups opened so far; goes on counting in the E1-pair report
    int64_t aftershock_count = 0;  // aftershock records written so far
    E1Table ie1;                   // the E1 of each group
};

// Number of E1 of group g (1-based; a group holds fewer than 2^31 E1, as a
// catalog holds fewer events) and its k-th E1 (1-based).
int32_t ie1_count(const E1Table& t, int64_t g);
int32_t ie1(const E1Table& t, int64_t g, int32_t k);
// Opens the next group of the E1 table: group_count + 1, its E1 to follow in `slot`.
void open_group(RunState& st);

// The prompt on standard output and the three read statements on standard
// input: the four parameters, the three file names, the event count.
void read_dialogue(RunParameters& p, RunFiles& files, int32_t& n);

// Connects streams 65, 66 and 67 to the report files.
void connect_reports(const RunFiles& files);
// Connects stream 5 to the catalog, then the report files, then loads the
// catalog's first n lines (labelled layout).
void connect_and_load(const RunFiles& files, int32_t n, EventCatalog& cat);

// After the main pass: closes the pair file, then the catalog.
void close_after_main_pass();
// After the E1-pair report: closes the E1-pair file, then "Aftershocks",
// then every other stream (standard output is flushed).
void close_after_report();
