// report: the fixed-column reports read back field by field.

#include "report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "tool_output.h"

namespace {

// twinquake's pair record; the E1-pair record has the same columns, its E2
// columns holding the later E1 and its E1 columns the earlier one.
constexpr Column PAIR_COLUMNS[] = {
    {"group", 1, 4, 'I', 0},         {"e1_rank", 5, 4, 'I', 0},   {nullptr, 9, 2, ' ', 0},
    {"e2_time", 11, 24, 'A', 0},     {"e2_lon", 35, 8, 'F', 3},   {"e2_lat", 43, 8, 'F', 3},
    {"e2_depth_km", 51, 7, 'F', 1},  {"e2_mag", 58, 7, 'F', 1},   {nullptr, 65, 3, ' ', 0},
    {"e1_time", 68, 24, 'A', 0},     {"e1_lon", 92, 8, 'F', 3},   {"e1_lat", 100, 8, 'F', 3},
    {"e1_depth_km", 108, 7, 'F', 1}, {"e1_mag", 115, 7, 'F', 1},  {"distance_km", 122, 8, 'F', 1},
    {"dt_days", 130, 11, 'F', 6},    {"e2_dat", 141, 16, 'F', 8}, {nullptr, 157, 3, ' ', 0},
    {"e2_name", 160, 30, 'A', 0},
};

constexpr Column E1PAIR_COLUMNS[] = {
    {"pair", 1, 4, 'I', 0},
    {"rank", 5, 4, 'I', 0},
    {nullptr, 9, 2, ' ', 0},
    {"later_time", 11, 24, 'A', 0},
    {"later_lon", 35, 8, 'F', 3},
    {"later_lat", 43, 8, 'F', 3},
    {"later_depth_km", 51, 7, 'F', 1},
    {"later_mag", 58, 7, 'F', 1},
    {nullptr, 65, 3, ' ', 0},
    {"earlier_time", 68, 24, 'A', 0},
    {"earlier_lon", 92, 8, 'F', 3},
    {"earlier_lat", 100, 8, 'F', 3},
    {"earlier_depth_km", 108, 7, 'F', 1},
    {"earlier_mag", 115, 7, 'F', 1},
    {"distance_km", 122, 8, 'F', 1},
    {"dt_days", 130, 11, 'F', 6},
    {"later_dat", 141, 16, 'F', 8},
    {nullptr, 157, 3, ' ', 0},
    {"later_name", 160, 30, 'A', 0},
};

// Latitude before longitude here, as the aftershock record prints them.
constexpr Column AFTERSHOCK_COLUMNS[] = {
    {"number", 1, 4, 'I', 0},        {nullptr, 5, 1, ' ', 0},
    {"time", 6, 24, 'A', 0},         {"lat", 30, 8, 'F', 3},
    {"lon", 38, 8, 'F', 3},          {"depth_km", 46, 7, 'F', 1},
    {"mag", 53, 7, 'F', 1},          {"dat", 60, 16, 'F', 8},
    {nullptr, 76, 2, ' ', 0},        {"name", 78, 20, 'A', 0},
    {"parent_time", 98, 24, 'A', 0}, {"parent_lat", 122, 8, 'F', 3},
    {"parent_lon", 130, 8, 'F', 3},  {"parent_depth_km", 138, 7, 'F', 1},
    {"parent_mag", 145, 7, 'F', 1},  {"parent_dat", 152, 16, 'F', 8},
};

constexpr Column PICKOUT_COLUMNS[] = {
    {"time", 1, 24, 'A', 0}, {"lat", 25, 10, 'F', 3}, {"lon", 35, 10, 'F', 3},        {"depth_km", 45, 7, 'F', 1},
    {"mag", 52, 7, 'F', 1},  {"dat", 59, 16, 'F', 8}, {"distance_km", 75, 8, 'F', 3},
};

template <size_t N>
constexpr int16_t value_fields(const Column (&cols)[N]) {
    int16_t n = 0;
    for (const Column& c : cols) n += c.name != nullptr;
    return n;
}

constexpr KindLayout LAYOUTS[KIND_COUNT] = {
    {"pairs",
     "E2-E1 pairs",
     189,
     PAIR_COLUMNS,
     std::size(PAIR_COLUMNS),
     value_fields(PAIR_COLUMNS),
     {3, 4, 6, 14, 8, 9, 11, -1, 13, 12}},
    {"e1pairs",
     "E1 pairs",
     189,
     E1PAIR_COLUMNS,
     std::size(E1PAIR_COLUMNS),
     value_fields(E1PAIR_COLUMNS),
     {3, 4, 6, 14, 8, 9, 11, -1, 13, 12}},
    {"aftershocks",
     "Aftershocks",
     167,
     AFTERSHOCK_COLUMNS,
     std::size(AFTERSHOCK_COLUMNS),
     value_fields(AFTERSHOCK_COLUMNS),
     {3, 2, 5, 6, 10, 9, 12, 13, -1, -1}},
    {"pickout",
     "Selected events",
     82,
     PICKOUT_COLUMNS,
     std::size(PICKOUT_COLUMNS),
     value_fields(PICKOUT_COLUMNS),
     {2, 1, 4, 5, -1, -1, -1, -1, -1, 6}},
};

constexpr size_t SHOWN_TEXT = 60;  // characters of an offending line quoted in a diagnostic

// The offending text as a diagnostic quotes it: control bytes as \xNN, so
// that the diagnostic stays one line of text, and long lines cut.
std::string shown(std::string_view text) { return tool_shown(text, SHOWN_TEXT); }

bool is_blank(char c) { return c == ' '; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Whether `t` (no blanks around it) is a number as an I or F field prints
// one; its value goes to `value`.
bool read_number(std::string_view t, const Column& c, double& value) {
    if (c.edit == 'F') {
        constexpr double INF = std::numeric_limits<double>::infinity();
        if (t == "NaN") return value = std::numeric_limits<double>::quiet_NaN(), true;
        if (t == "Infinity" || t == "Inf") return value = INF, true;
        if (t == "-Infinity" || t == "-Inf") return value = -INF, true;
    }
    std::string_view digits = t;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    if (c.edit == 'I') {
        if (!all_digits(digits)) return false;
    } else {
        size_t point = digits.find('.');
        if (point == std::string_view::npos || !all_digits(digits.substr(0, point))) return false;
        std::string_view decimals = digits.substr(point + 1);
        if (static_cast<int>(decimals.size()) != c.decimals || (c.decimals > 0 && !all_digits(decimals))) return false;
    }
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && end == t.data() + t.size();
}

[[noreturn]] void bad_field(const Report& rep, int64_t line_no, const Column& c, std::string_view raw,
                            const char* what) {
    tool_fail(rep.file + ":" + std::to_string(line_no) + ":" + std::to_string(c.first) + ": " + what + " (" +
              shown(raw) + ")");
}

}  // namespace

const KindLayout& kind_layout(int kind) { return LAYOUTS[kind]; }

int kind_by_name(std::string_view name) {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (name == LAYOUTS[k].name) return k;
    return -1;
}

const Column& field_column(int kind, int k) {
    const KindLayout& lay = LAYOUTS[kind];
    for (int i = 0; i < lay.column_count; ++i) {
        if (lay.columns[i].name == nullptr) continue;
        if (k-- == 0) return lay.columns[i];
    }
    return lay.columns[0];  // not reached for k < field_count
}

int detect_kind(std::string_view line) {
    if (line.size() == 189) return line.substr(0, 8) == "   1   1" ? KIND_PAIRS : KIND_E1PAIRS;
    if (line.size() == 167) return KIND_AFTERSHOCKS;
    if (line.size() == 82) return KIND_PICKOUT;
    return -1;
}

void read_record(Report& rep, std::string_view line, int64_t line_no) {
    const KindLayout& lay = LAYOUTS[rep.kind];
    if (static_cast<int>(line.size()) != lay.length)
        tool_fail(rep.file + ":" + std::to_string(line_no) + ": a line of " + std::to_string(line.size()) +
                  " columns where a line of " + lay.name + " has " + std::to_string(lay.length) + " (" + shown(line) +
                  ")");
    for (int i = 0; i < lay.column_count; ++i) {
        const Column& c = lay.columns[i];
        std::string_view raw = line.substr(static_cast<size_t>(c.first - 1), static_cast<size_t>(c.width));
        if (c.edit == ' ') {
            for (size_t k = 0; k < raw.size(); ++k)
                if (!is_blank(raw[k])) {
                    Column at = c;
                    at.first = static_cast<int16_t>(c.first + k);
                    bad_field(rep, line_no, at, raw, "a blank column between fields is not blank");
                }
            continue;
        }
        Field f{trim(raw), 0.0, FIELD_VALUE};
        if (c.edit != 'A') {
            // A number is right-justified: blanks (or tabs) on the left only.
            if (f.text.size() == static_cast<size_t>(c.width) &&
                f.text.find_first_not_of('*') == std::string_view::npos) {
                f.state = FIELD_STARS;
                ++rep.stars;
            } else if (raw.back() == ' ' || raw.back() == '\t' || f.text.find(' ') != std::string_view::npos ||
                       !read_number(f.text, c, f.value)) {
                std::string what = std::string(c.name) + " is neither a number nor asterisks";
                bad_field(rep, line_no, c, raw, what.c_str());
            }
        }
        rep.fields.push_back(f);
    }
    ++rep.records;
}

Report read_report_bytes(const std::string& name, std::string bytes, int kind) {
    Report rep{name, kind, std::move(bytes), {}, 0, 0};
    std::string_view all = rep.bytes;
    int64_t line_no = 0;
    while (!all.empty()) {
        size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // a report copied through DOS line ends
        ++line_no;
        if (rep.kind < 0) {
            rep.kind = detect_kind(line);
            if (rep.kind < 0)
                tool_fail(name + ":" + std::to_string(line_no) + ": a line of " + std::to_string(line.size()) +
                          " columns is no report (pair files have 189, Aftershocks 167, pickout 82) (" + shown(line) +
                          ")");
            rep.fields.reserve(rep.bytes.size() / LAYOUTS[rep.kind].length * LAYOUTS[rep.kind].field_count);
        }
        read_record(rep, line, line_no);
    }
    if (rep.kind < 0) tool_fail(name + ": an empty report tells nothing of its kind; give it with --kind");
    return rep;
}

Report read_report(const std::string& path, int kind) { return read_report_bytes(path, read_file(path), kind); }

std::string read_file(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) tool_fail("cannot open " + path + ": " + std::strerror(errno));
    std::string bytes;
    char buf[1 << 16];
    for (;;) {
        ssize_t k = read(fd, buf, sizeof buf);
        if (k < 0) {
            if (errno == EINTR) continue;
            tool_fail("cannot read " + path + ": " + std::strerror(errno));
        }
        if (k == 0) break;
        bytes.append(buf, static_cast<size_t>(k));
    }
    close(fd);
    return bytes;
}

namespace {

// The next value of a free-form catalog line: a quoted text or the characters
// up to a blank, tab or comma; one comma between values is a separator.
bool next_value(std::string_view& s, std::string_view& value) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (s.empty()) return false;
    if (s.front() == '\'' || s.front() == '"') {
        char q = s.front();
        size_t end = s.find(q, 1);
        if (end == std::string_view::npos) return false;
        value = s.substr(1, end - 1);
        s.remove_prefix(end + 1);
    } else {
        size_t end = s.find_first_of(" \t,");
        value = s.substr(0, end);
        s.remove_prefix(end == std::string_view::npos ? s.size() : end);
    }
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (!s.empty() && s.front() == ',') s.remove_prefix(1);
    return true;
}

bool catalog_number(std::string_view t, double& v) {
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

std::vector<CatalogPoint> read_catalog_bytes(const std::string& name, std::string_view all) {
    std::vector<CatalogPoint> points;
    int64_t line_no = 0;
    while (!all.empty()) {
        size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trim(line).empty()) continue;
        std::string_view rest = line, v;
        double x[6];
        bool ok = next_value(rest, v);  // tim
        for (int k = 1; k < 6 && ok; ++k) ok = next_value(rest, v) && catalog_number(v, x[k]);
        if (!ok)
            tool_fail(name + ":" + std::to_string(line_no) + ": a catalog line holds tim lat lon dep mag dat [nam] (" +
                      shown(line) + ")");
        points.push_back({static_cast<float>(x[1]), static_cast<float>(x[2]), static_cast<float>(x[4]), x[5]});
    }
    return points;
}

std::vector<CatalogPoint> read_catalog(const std::string& path) { return read_catalog_bytes(path, read_file(path)); }
