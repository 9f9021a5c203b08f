// csv: ComCat CSV exports, one record per data row.

#include <string_view>
#include <vector>

#include "formats.h"
#include "tool_output.h"
#include "values.h"

namespace {

// Splits one record into its fields after RFC 4180: a field that starts with
// a quote runs to the closing quote, a doubled quote inside stands for one.
// Unquoted fields are views into `rec`; quoted ones are copied into `scratch`,
// which is reserved beforehand so that the views stay valid.
void split_csv(std::string_view rec, std::vector<std::string_view>& fields, std::string& scratch) {
    fields.clear();
    scratch.clear();
    scratch.reserve(rec.size());
    size_t p = 0;
    for (;;) {
        if (p < rec.size() && rec[p] == '"') {
            const size_t from = scratch.size();
            ++p;
            while (p < rec.size()) {
                if (rec[p] == '"') {
                    if (p + 1 < rec.size() && rec[p + 1] == '"') {
                        scratch.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                scratch.push_back(rec[p++]);
            }
            // Anything between the closing quote and the comma is kept too.
            while (p < rec.size() && rec[p] != ',') scratch.push_back(rec[p++]);
            fields.emplace_back(scratch.data() + from, scratch.size() - from);
        } else {
            const size_t comma = rec.find(',', p);
            const size_t stop = comma == std::string_view::npos ? rec.size() : comma;
            fields.push_back(rec.substr(p, stop - p));
            p = stop;
        }
        if (p >= rec.size()) break;
        ++p;  // the comma
    }
}

size_t quotes_in(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += c == '"';
    return n;
}

constexpr size_t NONE = static_cast<size_t>(-1);
// Longest record whose quoted fields hold line breaks: a ComCat place is a
// line or two; a record this long is an unclosed quote.
constexpr size_t MAX_RECORD = 1 << 16;

}  // namespace

void read_csv(Input& in, Catalog& cat) {
    std::string_view line;
    std::string record;  // a record whose quoted field holds line breaks
    std::string scratch;
    std::vector<std::string_view> fields;
    // Column of each field used; NONE when the header lacks it.
    size_t c_time = NONE, c_lat = NONE, c_lon = NONE, c_dep = NONE, c_mag = NONE, c_id = NONE, c_type = NONE;
    bool header = false;
    int64_t number = 0;
    while (input_line(in, line)) {
        const int64_t first_line = in.line;
        std::string_view rec = line;
        if (quotes_in(line) % 2 == 1) {
            // An open quote: the record goes on over the next lines.
            record.assign(line);
            size_t quotes = quotes_in(line);
            while (quotes % 2 == 1 && record.size() <= MAX_RECORD && input_line(in, line)) {
                record.push_back('\n');
                record.append(line);
                quotes += quotes_in(line);
            }
            // An unclosed quote would swallow every later row unseen.
            if (quotes % 2 == 1)
                tool_fail(in.name + ":" + std::to_string(first_line) + ": a quoted field is never closed (\"" +
                          shown(record) + "\")");
            rec = record;
        }
        if (strip_blanks(rec).empty()) continue;
        split_csv(rec, fields, scratch);
        if (!header) {
            header = true;
            for (size_t i = 0; i < fields.size(); ++i) {
                const std::string k = type_key(fields[i]);
                size_t* c = k == "time"        ? &c_time
                            : k == "latitude"  ? &c_lat
                            : k == "longitude" ? &c_lon
                            : k == "depth"     ? &c_dep
                            : k == "mag"       ? &c_mag
                            : k == "id"        ? &c_id
                            : k == "type"      ? &c_type
                                               : nullptr;
                if (c != nullptr && *c == NONE) *c = i;
            }
            const char* missing = c_time == NONE  ? "time"
                                  : c_lat == NONE ? "latitude"
                                  : c_lon == NONE ? "longitude"
                                  : c_dep == NONE ? "depth"
                                  : c_mag == NONE ? "mag"
                                  : c_id == NONE  ? "id"
                                                  : nullptr;
            if (missing != nullptr)
                tool_fail(in.name + ":" + std::to_string(first_line) + ": CSV header without the column \"" + missing +
                          "\" (\"" + shown(rec) + "\")");
            continue;
        }
        auto field = [&](size_t c) { return c < fields.size() ? fields[c] : std::string_view(); };
        SourceRecord r;
        r.time = field(c_time);
        r.lat = field(c_lat);
        r.lon = field(c_lon);
        r.dep = field(c_dep);
        r.mag = field(c_mag);
        r.id = field(c_id);
        r.has_type = c_type != NONE;
        r.type = field(c_type);
        r.number = ++number;
        r.line = first_line;
        take_record(cat, r);
        if (progress_hook != nullptr && (number & 0x3ff) == 0) progress_hook(in, cat);
    }
}
