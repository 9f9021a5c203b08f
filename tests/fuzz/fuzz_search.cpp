// Fuzz harness: twinquake's pair search over a small catalog built from the
// input bytes.
//
// The parameters and up to 48 events are taken from the input: each value
// either from a list of the values where the rules turn (the completeness
// days, the 6.95 split, the 30-day look-back, the grid's 1-degree cells and
// its poles, the limits of the grid's pruning) or raw bits (not-a-number,
// infinities, huge magnitudes). Event times usually step forward, so the
// fast paths for a catalog in time order are reached, but may go back or be
// not-a-number. Texts are arbitrary bytes.
//
// The main pass and the E1-pair report run in the process with the pair
// file, its echo on standard output, the E1-pair file and "Aftershocks"
// connected to scratch files; then the step-by-step reference search runs on
// the same catalog. Both must write the same bytes to every report and end
// with the same counters and E1 table; the echo must equal the pair file; and
// every line must have its template's length. No run may fail.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "event_catalog.h"
#include "fuzz_support.h"
#include "reference_search.h"
#include "run_state.h"
#include "search.h"
#include "text_io.h"

namespace {

constexpr int32_t MAX_EVENTS = 48;
constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();
constexpr float INF_F = std::numeric_limits<float>::infinity();
constexpr double NAN_D = std::numeric_limits<double>::quiet_NaN();
constexpr double INF_D = std::numeric_limits<double>::infinity();

const float DISTANCES[] = {0.0f,    1.0f,    7.0f,    20.0f,   50.0f,    100.0f, 150.0f, 300.0f, 1000.0f,
                           2979.9f, 2980.0f, 3000.0f, 5000.0f, 20015.0f, 1e30f,  -1.0f,  NAN_F,  INF_F};
const float WINDOWS[] = {0.0f, 5.8e-5f, 1e-4f, 0.5f, 1.0f, 10.0f, 29.99f, 30.0f, 365.0f, 1e6f, -1.0f, NAN_F, INF_F};
const float MAGS[] = {0.0f,  3.0f, 4.0f, 5.0f, 5.5f,  6.0f,  6.5f,  6.9499998f, 6.95f, 7.0f, 7.2f,
                      7.25f, 7.3f, 8.0f, 9.5f, 12.0f, 1e30f, -1.0f, -INF_F,     NAN_F, INF_F};
const float LATS[] = {0.0f,  0.004f, 0.5f,  1.0f,  35.0f,  35.01f,   35.5f,  36.0f, -35.0f,
                      88.9f, 89.0f,  89.5f, 90.0f, -90.0f, 90.0001f, -91.0f, NAN_F, INF_F};
const float LONS[] = {0.0f,   0.004f, 1.0f,   140.0f,  140.2f, 179.9f, 180.0f, -180.0f,
                      359.5f, 360.0f, 360.5f, -360.0f, 720.0f, NAN_F,  INF_F,  -1e30f};
const float DEPTHS[] = {0.0f, 10.0f, 10.5f, 33.0f, 700.0f, -5.0f, NAN_F, INF_F, 1e30f};
const double STEPS[] = {0.0, 1e-6, 5.7e-5,    5.8e-5, 6e-5,      0.01,  0.5,   1.0,
                        5.0, 10.0, 29.999999, 30.0,   30.000001, 100.0, 1000.0};
const double DAYS[] = {7303.9, 7304.0, 23740.9999, 23741.0, 30000.0, 0.0, -1.0, NAN_D, INF_D, -INF_D, 1e300};

// A value from the list, or raw bits when the selector byte is high.
template <class T, size_t N>
T pick(Bytes& in, const T (&list)[N]) {
    const uint8_t sel = take_byte(in);
    if (sel >= 0xE0) return take_bits<T>(in);
    return list[sel % N];
}

// A value near one from the list: small offsets reach the cell edges.
template <size_t N>
float pick_near(Bytes& in, const float (&list)[N]) {
    float v = pick(in, list);
    const uint8_t nudge = take_byte(in);
    if (nudge & 0x80) v += static_cast<float>(static_cast<int8_t>(nudge << 1)) * 0.01f;
    return v;
}

Text pick_text(Bytes& in, int32_t i, char tag) {
    char s[TEXT_LEN + 1] = {};
    const int32_t len = take_byte(in) % 8;
    int32_t k = std::snprintf(s, sizeof s, "%c%d", tag, static_cast<int>(i));
    for (int32_t c = 0; c < len && k < TEXT_LEN; ++c) s[k++] = static_cast<char>(take_byte(in) | 1);
    return make_text(s);
}

struct Reports {
    std::string pairs, echo, e1pairs, aftershocks;
    int64_t group_count = 0;
    int64_t aftershock_count = 0;
    E1Table ie1;
};

// Runs the main pass and the E1-pair report of the fast search, or of the
// reference, in the program's order of closes, with the reports in scratch
// files that held a former content.
Reports run(const EventCatalog& cat, const RunParameters& p, bool reference) {
    reset_streams();
    set_program_name("twinquake");
    set_fatal_hook(throw_fatal);
    RunFiles files;
    files.pair = scratch("pairs");
    files.e1_pair = scratch("e1pairs");
    files.aftershock = scratch("Aftershocks");
    const std::string echo = scratch("echo");
    for (const std::string& f : {files.pair, echo, files.e1_pair, files.aftershock}) put_file(f, "former content\n");
    RunState st;
    try {
        connect_stream(STDOUT_STREAM, echo);
        connect_reports(files);
        if (reference) {
            ref::main_pass(cat, p, st);
            close_stream(PAIR_STREAM);
            ref::report_e1_pairs(cat, p, st);
        } else {
            Search s;
            prepare_search(s, cat);
            for (int32_t i = 1; i <= cat.n; ++i) {
                if (screen_e2(cat, p, s, st, i)) collect_e1(cat, p, s, st, i);
            }
            close_stream(PAIR_STREAM);
            report_e1_pairs(cat, p, s, st);
        }
        close_stream(E1_PAIR_STREAM);
        close_stream(AFTERSHOCK_STREAM);
        close_all_streams();
    } catch (const Fatal&) {
        check_failed("the search failed", std::string(last_diagnostic()));
    }
    reset_streams();
    Reports r;
    r.pairs = get_file(files.pair);
    r.echo = get_file(echo);
    r.e1pairs = get_file(files.e1_pair);
    r.aftershocks = get_file(files.aftershock);
    r.group_count = st.group_count;
    r.aftershock_count = st.aftershock_count;
    r.ie1 = st.ie1;
    return r;
}

void check_lines(const std::string& text, size_t length, const char* what) {
    if (text == "former content\n") return;
    size_t at = 0;
    while (at < text.size()) {
        const size_t nl = text.find('\n', at);
        check(nl != std::string::npos, what, "last line without a line feed");
        check(nl - at == length, what, "line of " + std::to_string(nl - at) + " characters");
        at = nl + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    RunParameters p{};
    p.dist_range = pick(in, DISTANCES);
    p.time_window = pick(in, WINDOWS);
    p.e1_min_mag = pick(in, MAGS);
    p.e2_min_mag = pick(in, MAGS);

    EventCatalog cat;
    const int32_t n = take_byte(in) % (MAX_EVENTS + 1);
    double day = 30000.0;
    for (int32_t i = 1; i <= n && in.left > 0; ++i) {
        CatalogEvent ev{};
        ev.tim = pick_text(in, i, 'T');
        ev.lat = pick_near(in, LATS);
        ev.lon = pick_near(in, LONS);
        ev.dep = pick(in, DEPTHS);
        ev.mag = pick(in, MAGS);
        const uint8_t how = take_byte(in);
        if (how < 0xC0) {
            day += STEPS[how % std::size(STEPS)];  // forward in time
        } else if (how < 0xE0) {
            day = pick(in, DAYS);
        } else {
            day -= STEPS[how % std::size(STEPS)];  // back in time
        }
        ev.dat = day;
        ev.nam = pick_text(in, i, 'N');
        add_event(cat, ev);
    }

    const Reports fast = run(cat, p, false);
    const Reports ref = run(cat, p, true);

    check(fast.echo == fast.pairs, "the echo equals the pair file");
    check(fast.pairs == ref.pairs, "pair file as the reference search writes it",
          "fast:\n" + fast.pairs + "reference:\n" + ref.pairs);
    check(fast.aftershocks == ref.aftershocks, "Aftershocks as the reference search writes it",
          "fast:\n" + fast.aftershocks + "reference:\n" + ref.aftershocks);
    check(fast.e1pairs == ref.e1pairs, "E1-pair file as the reference search writes it",
          "fast:\n" + fast.e1pairs + "reference:\n" + ref.e1pairs);
    check(fast.group_count == ref.group_count && fast.aftershock_count == ref.aftershock_count,
          "counters as the reference search leaves them");
    check(fast.ie1.first == ref.ie1.first && fast.ie1.slot == ref.ie1.slot,
          "E1 table as the reference search fills it");
    check_lines(fast.pairs, 189, "pair record length");
    check_lines(fast.e1pairs, 189, "E1-pair record length");
    check_lines(fast.aftershocks, 167, "aftershock record length");
    return 0;
}
