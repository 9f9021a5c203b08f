// search_run: one run of twinquake's search in the test process, over a
// catalog file, by the fast search or by the step-by-step reference, in the
// program's run order (connect and load, main pass, close the pair file and
// the catalog, E1-pair report, close the rest), with the reports in a folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "event_catalog.h"
#include "harness.h"
#include "reference_search.h"
#include "run_state.h"
#include "search.h"
#include "text_io.h"

enum class Steps : uint8_t { fast, reference };

struct RunReports {
    std::string pairs;        // pair file
    std::string echo;         // standard output
    std::string e1pairs;      // E1-pair file
    std::string aftershocks;  // "Aftershocks"
};

// Runs the search on the first n lines of `catalog` with the reports in
// dir/<tag>.pairs, .echo, .e1pairs and .Aftershocks, and returns them. A
// failure of the run throws Fatal.
inline RunReports run_search_in(const std::filesystem::path& dir, const std::string& tag,
                                const std::filesystem::path& catalog, int32_t n, const RunParameters& p, Steps steps) {
    auto file = [&](const char* what) { return (dir / (tag + what)).string(); };
    reset_streams();
    set_fatal_hook(throw_fatal);
    connect_stream(STDOUT_STREAM, file(".echo"));
    const RunFiles files{catalog.string(), file(".pairs"), file(".e1pairs"), file(".Aftershocks")};
    EventCatalog cat;
    connect_and_load(files, n, cat);
    RunState st;
    if (steps == Steps::fast) {
        Search s;
        prepare_search(s, cat);
        for (int32_t i = 1; i <= cat.n; ++i) {
            if (screen_e2(cat, p, s, st, i)) collect_e1(cat, p, s, st, i);
        }
        close_after_main_pass();
        report_e1_pairs(cat, p, s, st);
    } else {
        ref::main_pass(cat, p, st);
        close_after_main_pass();
        ref::report_e1_pairs(cat, p, st);
    }
    close_after_report();
    reset_streams();
    return {slurp(file(".pairs")), slurp(file(".echo")), slurp(file(".e1pairs")), slurp(file(".Aftershocks"))};
}
