// report: the four fixed-column reports of twinquake and ringpick read back
// into tables of fields, and the catalog read for the background seismicity.
//
// Owns: the column layout of each kind of report (which columns hold which
// value, its edit descriptor and its name with unit), telling the kind of a
// report from its lines, reading and checking every field, and reading the
// positions and magnitudes of a catalog.
// Does not own: what is made of the tables (csv, geojson, map, page), nor
// the output and failure road (tool_output).
//
// A field holds the value as printed. A field of asterisks is a value too
// wide for its column: it has no value and is counted, never taken for a
// number. Anything else that is not a number of the field's edit, or a blank
// column that is not blank, or a line of another length ends the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The kinds of report, by the file that twinquake or ringpick writes.
enum ReportKind : int8_t {
    KIND_PAIRS = 0,        // twinquake's pair file: an E2 and one of its E1 per line
    KIND_E1PAIRS = 1,      // twinquake's E1-pair file: two E1 of one E2 per line
    KIND_AFTERSHOCKS = 2,  // "Aftershocks": an aftershock and the event it belongs to
    KIND_PICKOUT = 3,      // ringpick's "pickout": an event within the radius and its distance
};
constexpr int KIND_COUNT = 4;

// One column of a report line: a value field or blank columns between fields.
struct Column {
    const char* name;  // CSV header name with its unit; nullptr for blank columns
    int16_t first;     // first column, 1-based
    int16_t width;     // columns
    char edit;         // 'I' integer, 'F' fixed-point number, 'A' text, ' ' blank
    int16_t decimals;  // digits after the point of an 'F' field
};

// Where a kind keeps the positions it is drawn with: the later event (E2,
// the later E1, the aftershock, the selected event) and the earlier one
// (E1, the earlier E1, the parent); value-field numbers from 0, -1 for none.
struct KindRoles {
    int lon, lat, mag, dat;          // later event; dat in days
    int lon0, lat0, mag0, dat0, dt;  // earlier event; its dat, or the time difference in days
    int distance;                    // distance column in km, -1 for none
};

struct KindLayout {
    const char* name;       // "pairs", "e1pairs", "aftershocks", "pickout" (for --kind)
    const char* title;      // how the page names the report
    int16_t length;         // columns of every line
    const Column* columns;  // left to right, blanks included
    int16_t column_count;
    int16_t field_count;  // value fields among the columns
    KindRoles roles;
};

const KindLayout& kind_layout(int kind);
// The kind named by --kind, or -1.
int kind_by_name(std::string_view name);
// The value field `k` (from 0) of a kind.
const Column& field_column(int kind, int k);

enum FieldState : int8_t {
    FIELD_VALUE = 0,  // a number (NaN and infinities included) or a text
    FIELD_STARS = 1,  // asterisks: the value did not fit its column
};

struct Field {
    std::string_view text;  // as printed, without the blanks around it (points into Report::bytes)
    double value;           // the number of an 'I' or 'F' field; 0 for a text or asterisks
    int8_t state;           // FieldState
};

struct Report {
    std::string file;           // name the report was read from
    int kind;                   // ReportKind
    std::string bytes;          // the whole file, which the fields point into
    std::vector<Field> fields;  // field_count per record, record after record
    int64_t records;            // lines read
    int64_t stars;              // fields of asterisks
};

// The field k (from 0) of record r (from 0).
inline const Field& field_of(const Report& rep, int64_t r, int k) {
    return rep.fields[static_cast<size_t>(r * kind_layout(rep.kind).field_count + k)];
}

// Tells the kind of a report from its first line: 189 columns are a pair
// file when the line is group 1, E1 1 (the E1-pair file's numbers continue
// from the last group, so its first line never is), else an E1-pair file;
// 167 are "Aftershocks"; 82 are "pickout". Returns -1 when none fits.
int detect_kind(std::string_view first_line);

// Reads one record of `kind` from `line` (without its line feed) and appends
// its fields; a line that does not fit the layout ends the run naming `file`,
// `line_no` and the column.
void read_record(Report& rep, std::string_view line, int64_t line_no);

// Reads a whole report from `path`; `kind` -1 tells the kind from the first
// line. Ends the run on an unreadable file or a bad line.
Report read_report(const std::string& path, int kind);
// The same from bytes already in memory (for tests).
Report read_report_bytes(const std::string& name, std::string bytes, int kind);

// One catalog event, as far as the map needs it.
struct CatalogPoint {
    float lat;   // degrees
    float lon;   // degrees
    float mag;   // magnitude
    double dat;  // days
};

// Reads a catalog (plain or labelled layout: tim lat lon dep mag dat [nam],
// values separated by blanks or a comma, tim possibly in quotes); a line
// that does not hold six values ends the run naming the file and line.
std::vector<CatalogPoint> read_catalog(const std::string& path);
std::vector<CatalogPoint> read_catalog_bytes(const std::string& name, std::string_view bytes);

// The whole content of a file; an unreadable one ends the run.
std::string read_file(const std::string& path);
