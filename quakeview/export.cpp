// export: CSV and GeoJSON of the reports.

#include "export.h"

#include <charconv>
#include <cmath>

#include "tool_output.h"

namespace {

// Writes `s` as one CSV field, quoted where it holds a comma, a quote or a
// line break.
void csv_field(std::string& line, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        line.append(s);
        return;
    }
    line.push_back('"');
    for (char c : s) {
        if (c == '"') line.push_back('"');
        line.push_back(c);
    }
    line.push_back('"');
}

bool json_number_text(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && t[i] == '-') ++i;
    if (i >= t.size() || t[i] < '0' || t[i] > '9') return false;
    if (t[i] == '0' && i + 1 < t.size() && t[i + 1] >= '0' && t[i + 1] <= '9') return false;  // no leading zero
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    if (i < t.size() && t[i] == '.') {
        ++i;
        size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        if (i == start) return false;
    }
    return i == t.size();
}

std::string fixed3(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    return std::string(buf, r.ptr);
}

// A position [lon,lat] of a feature; `lon_text` is the printed longitude,
// used as it is unless it lies outside -180 to 180.
struct Position {
    double lon, lat;
    std::string lon_text, lat_text;
};

bool position_of(const Report& rep, int64_t r, int lon_k, int lat_k, Position& p) {
    const Field& lon = field_of(rep, r, lon_k);
    const Field& lat = field_of(rep, r, lat_k);
    if (lon.state != FIELD_VALUE || lat.state != FIELD_VALUE || !std::isfinite(lon.value) || !std::isfinite(lat.value))
        return false;
    p.lon = lon.value;
    p.lat = lat.value;
    p.lon_text = json_number(lon);
    p.lat_text = json_number(lat);
    if (p.lon < -180.0 || p.lon > 180.0) {
        p.lon = wrap_lon(p.lon);
        p.lon_text = fixed3(p.lon);
    }
    return true;
}

std::string pos(const std::string& lon, const std::string& lat) { return "[" + lon + "," + lat + "]"; }

// The geometry from the earlier position a to the later b.
std::string line_geometry(const Position& a, const Position& b) {
    double d = b.lon - a.lon;
    if (std::fabs(d) <= 180.0)
        return "{\"type\":\"LineString\",\"coordinates\":[" + pos(a.lon_text, a.lat_text) + "," +
               pos(b.lon_text, b.lat_text) + "]}";
    // The shorter way crosses the antimeridian: east across +180 when a lies
    // east of b on the map, else west across -180.
    double edge = d < 0 ? 180.0 : -180.0;
    double b_lon = d < 0 ? b.lon + 360.0 : b.lon - 360.0;
    double lat = a.lat + (b.lat - a.lat) * (edge - a.lon) / (b_lon - a.lon);
    std::string at = fixed3(lat);
    std::string here = edge > 0 ? "180" : "-180", there = edge > 0 ? "-180" : "180";
    return "{\"type\":\"MultiLineString\",\"coordinates\":[[" + pos(a.lon_text, a.lat_text) + "," + pos(here, at) +
           "],[" + pos(there, at) + "," + pos(b.lon_text, b.lat_text) + "]]}";
}

}  // namespace

double wrap_lon(double lon) {
    double w = std::fmod(lon, 360.0);
    if (w > 180.0) w -= 360.0;
    if (w < -180.0) w += 360.0;
    return w;
}

std::string json_string(std::string_view s) {
    std::string out = "\"";
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            static const char HEX[] = "0123456789abcdef";
            out += "\\u00";
            out.push_back(HEX[c >> 4]);
            out.push_back(HEX[c & 15]);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            // A UTF-8 sequence is copied whole; any other byte becomes U+FFFD.
            size_t n = c >= 0xf0 && c < 0xf5 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
            if (c >= 0xf5) n = 0;
            bool ok = n > 0 && i + n <= s.size();
            for (size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(s[i + k]) & 0xc0) == 0x80;
            if (ok) {
                out.append(s.substr(i, n));
                i += n;
                continue;
            }
            out += "\\ufffd";
        }
        ++i;
    }
    out.push_back('"');
    return out;
}

std::string json_number(const Field& f) {
    if (f.state != FIELD_VALUE || !std::isfinite(f.value)) return "null";
    if (json_number_text(f.text)) return std::string(f.text);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f.value);
    return std::string(buf, r.ptr);
}

void write_csv(const std::vector<Report>& reports) {
    int kind = reports.front().kind;
    for (const Report& rep : reports)
        if (rep.kind != kind)
            tool_fail("CSV holds one kind of report: " + rep.file + " is " + kind_layout(rep.kind).name + ", " +
                      reports.front().file + " is " + kind_layout(kind).name);
    const KindLayout& lay = kind_layout(kind);
    std::string line;
    for (int k = 0; k < lay.field_count; ++k) {
        if (k > 0) line.push_back(',');
        line += field_column(kind, k).name;
    }
    line += "\r\n";
    output_write(line);
    for (const Report& rep : reports) {
        for (int64_t r = 0; r < rep.records; ++r) {
            line.clear();
            for (int k = 0; k < lay.field_count; ++k) {
                if (k > 0) line.push_back(',');
                const Field& f = field_of(rep, r, k);
                if (f.state == FIELD_VALUE) csv_field(line, f.text);
            }
            line += "\r\n";
            output_write(line);
        }
    }
}

void write_geojson(const std::vector<Report>& reports) {
    output_write("{\"type\":\"FeatureCollection\",\"features\":[");
    bool first = true;
    std::string line;
    for (const Report& rep : reports) {
        const KindLayout& lay = kind_layout(rep.kind);
        const KindRoles& ro = lay.roles;
        for (int64_t r = 0; r < rep.records; ++r) {
            line = first ? "\n" : ",\n";
            first = false;
            line += "{\"type\":\"Feature\",\"geometry\":";
            Position a, b;
            bool later = position_of(rep, r, ro.lon, ro.lat, b);
            if (ro.lon0 < 0)
                line += later ? "{\"type\":\"Point\",\"coordinates\":" + pos(b.lon_text, b.lat_text) + "}" : "null";
            else
                line += later && position_of(rep, r, ro.lon0, ro.lat0, a) ? line_geometry(a, b) : "null";
            line += ",\"properties\":{\"kind\":\"";
            line += lay.name;
            line.push_back('"');
            for (int k = 0; k < lay.field_count; ++k) {
                const Column& c = field_column(rep.kind, k);
                const Field& f = field_of(rep, r, k);
                line += ",\"";
                line += c.name;
                line += "\":";
                line += c.edit == 'A' ? json_string(f.text) : json_number(f);
            }
            line += "}}";
            output_write(line);
        }
    }
    output_write("\n]}\n");
}
