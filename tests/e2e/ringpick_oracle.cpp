// ringpick_oracle: the selection records ringpick should write for a catalog
// of simple lines (values separated by blanks, no quotes, no null values),
// computed without ringpick's code and without the free-form reader: each
// line is split on blanks, its numbers are converted with std::from_chars,
// the distance is 0 for an exact coincidence and hypo_distance from the
// reference's degrees otherwise, and the record is laid out with
// format_template. The records go to standard output.
//
// Usage: ringpick_oracle CATALOG N REF_LAT REF_LON REF_DEP RADIUS
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "event_catalog.h"
#include "geometry.h"
#include "templates.h"
#include "text_io.h"

namespace {

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "ringpick_oracle: %s\n", why.c_str());
    std::exit(1);
}

template <class T>
T number(std::string_view s, const char* what) {
    T v{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) {
        die(std::string("cannot read ") + what + " from \"" + std::string(s) + "\"");
    }
    return v;
}

// The next blank-separated word of `line` from `at`; empty at the end.
std::string_view word(std::string_view line, size_t& at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    return line.substr(start, at - start);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) die("usage: ringpick_oracle CATALOG N REF_LAT REF_LON REF_DEP RADIUS");
    const int32_t n = number<int32_t>(argv[2], "N");
    const float ref_lat = number<float>(argv[3], "REF_LAT");
    const float ref_lon = number<float>(argv[4], "REF_LON");
    const float ref_dep = number<float>(argv[5], "REF_DEP");
    const float radius = number<float>(argv[6], "RADIUS");
    const float ref_phi = ref_lat * DEG_TO_RAD;
    const float ref_lam = ref_lon * DEG_TO_RAD;

    std::FILE* in = std::fopen(argv[1], "r");
    if (!in) die(std::string("cannot open ") + argv[1]);
    const RecordTemplate t = parse_template(SELECTION_TEMPLATE);
    char line_out[MAX_LINE_LENGTH + 1];
    char* buf = nullptr;
    size_t cap = 0;
    for (int32_t i = 1; i <= n; ++i) {
        ssize_t got = getline(&buf, &cap, in);
        if (got < 0) die("the catalog ends before line " + std::to_string(i));
        std::string_view line(buf, static_cast<size_t>(got));
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t at = 0;
        std::string_view tim_word = word(line, at);
        if (tim_word.empty()) die("line " + std::to_string(i) + " is blank");
        Text tim = make_text(std::string(tim_word.substr(0, TEXT_LEN)).c_str());
        const float lat = number<float>(word(line, at), "lat");
        const float lon = number<float>(word(line, at), "lon");
        const float dep = number<float>(word(line, at), "dep");
        const float mag = number<float>(word(line, at), "mag");
        const double dat = number<double>(word(line, at), "dat");

        float distance = 0.0f;
        const bool same = lat * DEG_TO_RAD == ref_phi && lon * DEG_TO_RAD == ref_lam && dep == ref_dep;
        if (!same) distance = hypo_distance(ref_lat, ref_lon, ref_dep, lat, lon, dep);
        if (!(radius >= distance)) continue;
        const IoItem values[] = {io(tim), io(lat), io(lon), io(dep), io(mag), io(dat), io(distance)};
        const int32_t len = format_template(t, values, 7, line_out);
        line_out[len] = '\n';
        std::fwrite(line_out, 1, static_cast<size_t>(len) + 1, stdout);
    }
    std::free(buf);
    std::fclose(in);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
