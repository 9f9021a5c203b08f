// fdsn_text: FDSN event text (format=text of fdsnws-event), one record per
// data line.

#include <string_view>
#include <vector>

#include "formats.h"
#include "tool_output.h"
#include "values.h"

namespace {

void split_bars(std::string_view s, std::vector<std::string_view>& fields) {
    fields.clear();
    for (;;) {
        const size_t bar = s.find('|');
        fields.push_back(strip_blanks(s.substr(0, bar)));
        if (bar == std::string_view::npos) break;
        s.remove_prefix(bar + 1);
    }
}

// "smi:" and "quakeml:" ids name a resource: the event's own id is their end.
std::string_view event_id(std::string_view id) {
    if (id.starts_with("smi:") || id.starts_with("quakeml:")) return id_tail(id);
    return id;
}

constexpr size_t NONE = static_cast<size_t>(-1);

}  // namespace

void read_text(Input& in, Catalog& cat) {
    std::string_view line;
    std::vector<std::string_view> fields;
    size_t c_id = NONE, c_time = NONE, c_lat = NONE, c_lon = NONE, c_dep = NONE, c_mag = NONE, c_type = NONE;
    bool header = false;
    int64_t number = 0;
    while (input_line(in, line)) {
        const std::string_view s = strip_blanks(line);
        if (s.empty()) continue;
        if (s.front() == '#') {
            if (header) continue;  // a comment
            header = true;
            split_bars(s.substr(1), fields);
            for (size_t i = 0; i < fields.size(); ++i) {
                const std::string k = type_key(fields[i]);
                size_t* c = k == "eventid"     ? &c_id
                            : k == "time"      ? &c_time
                            : k == "latitude"  ? &c_lat
                            : k == "longitude" ? &c_lon
                            : k == "depth/km"  ? &c_dep
                            : k == "magnitude" ? &c_mag
                            : k == "eventtype" ? &c_type
                                               : nullptr;
                if (c != nullptr && *c == NONE) *c = i;
            }
            const char* missing = c_id == NONE     ? "EventID"
                                  : c_time == NONE ? "Time"
                                  : c_lat == NONE  ? "Latitude"
                                  : c_lon == NONE  ? "Longitude"
                                  : c_dep == NONE  ? "Depth/km"
                                  : c_mag == NONE  ? "Magnitude"
                                                   : nullptr;
            if (missing != nullptr)
                tool_fail(in.name + ":" + std::to_string(in.line) + ": text header without the column \"" + missing +
                          "\" (\"" + shown(s) + "\")");
            continue;
        }
        if (!header)
            tool_fail(in.name + ":" + std::to_string(in.line) + ": text line before the #EventID|Time|... header (\"" +
                      shown(s) + "\")");
        split_bars(s, fields);
        auto field = [&](size_t c) { return c < fields.size() ? fields[c] : std::string_view(); };
        SourceRecord r;
        r.id = event_id(field(c_id));
        r.time = field(c_time);
        r.lat = field(c_lat);
        r.lon = field(c_lon);
        r.dep = field(c_dep);
        r.mag = field(c_mag);
        r.has_type = c_type != NONE;
        r.type = field(c_type);
        r.number = ++number;
        r.line = in.line;
        take_record(cat, r);
        if (progress_hook != nullptr && (number & 0x3ff) == 0) progress_hook(in, cat);
    }
}
