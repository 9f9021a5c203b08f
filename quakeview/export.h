// export: the reports as tables that other tools load.
//
// Owns: CSV (RFC 4180) with a header of named columns, and GeoJSON
// (RFC 7946), one Feature per record. Both write through tool_output.
// Does not own: reading the reports (report), the map and the page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report.h"

// One header line of the kind's columns and one line per record, the values
// as printed; a field of asterisks is an empty field. Lines end in CR LF.
// Every report must be of the same kind.
void write_csv(const std::vector<Report>& reports);

// A FeatureCollection: for every record a Feature whose properties are its
// columns (and "kind"); pair and aftershock records are LineStrings from the
// earlier to the later event, split in two where the shorter way between them
// crosses the antimeridian; pickout records are Points. A record without a
// position (asterisks or NaN) has a null geometry.
void write_geojson(const std::vector<Report>& reports);

// A JSON string of `s`: quotes, backslashes and control characters escaped,
// bytes that are not UTF-8 replaced by U+FFFD.
std::string json_string(std::string_view s);
// A JSON number of a field: its printed text where that is one, otherwise the
// value; "null" for asterisks, NaN and infinities.
std::string json_number(const Field& f);
// A longitude brought into -180 to 180 degrees.
double wrap_lon(double lon);
