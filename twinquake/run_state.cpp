// run_state: the dialogue, the connections, loading, and the E1 table.

#include "run_state.h"

#include "text_io.h"

namespace {

constexpr char PROMPT[] = "dist range, time window, and min magntiude for the aftershock (E1) and mainshock (E2): ";
constexpr int32_t PROMPT_LEN = sizeof PROMPT - 1;  // 87 characters, ending in a blank
static_assert(PROMPT_LEN == 87);

}  // namespace

int32_t ie1_count(const E1Table& t, int64_t g) {
    const int64_t groups = static_cast<int64_t>(t.first.size());
    if (g < 1 || g >= groups) return 0;
    const int64_t end = g + 1 < groups ? t.first[g + 1] : static_cast<int64_t>(t.slot.size());
    return static_cast<int32_t>(end - t.first[g]);
}

int32_t ie1(const E1Table& t, int64_t g, int32_t k) { return t.slot[t.first[g] + k - 1]; }

void open_group(RunState& st) {
    ++st.group_count;
    if (st.ie1.first.empty()) st.ie1.first.push_back(0);  // group 0 names no group
    st.ie1.first.push_back(static_cast<int64_t>(st.ie1.slot.size()));
}

void read_dialogue(RunParameters& p, RunFiles& files, int32_t& n) {
    write_free(STDOUT_STREAM, io(PROMPT, PROMPT_LEN));
    const IoItem limits[] = {io(p.dist_range), io(p.time_window), io(p.e1_min_mag), io(p.e2_min_mag)};
    read_free(STDIN_STREAM, limits, 4);
    Text catalog = make_text(""), pair = make_text(""), e1_pair = make_text("");
    const IoItem names[] = {io(catalog), io(pair), io(e1_pair)};
    read_free(STDIN_STREAM, names, 3);
    const IoItem count[] = {io(n)};
    read_free(STDIN_STREAM, count, 1);
    files.catalog = std::string(text_view(catalog));
    files.pair = std::string(text_view(pair));
    files.e1_pair = std::string(text_view(e1_pair));
}

void connect_reports(const RunFiles& files) {
    connect_output(PAIR_STREAM, files.pair);
    connect_output(E1_PAIR_STREAM, files.e1_pair);
    connect_output(AFTERSHOCK_STREAM, files.aftershock);
}

void connect_and_load(const RunFiles& files, int32_t n, EventCatalog& cat) {
    connect_stream(STDIN_STREAM, files.catalog);
    connect_reports(files);
    load_events(cat, STDIN_STREAM, n, Layout::labelled);
}

void close_after_main_pass() {
    close_stream(PAIR_STREAM);
    close_stream(STDIN_STREAM);
}

void close_after_report() {
    close_stream(E1_PAIR_STREAM);
    close_stream(AFTERSHOCK_STREAM);
    close_all_streams();
}
