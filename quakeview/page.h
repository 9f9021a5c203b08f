// page: one self-contained HTML page of the reports (inline SVG, CSS and a
// little JavaScript, nothing fetched), and the map alone as SVG.
//
// Owns: the page's layout, its embedded data (each report's lines as printed,
// which the page cuts into columns itself, so the page stays small and shows
// every value exactly as printed), the table virtualised to the rows in view,
// sorting, and the highlight of a chosen record on the map and in the chart.
// Does not own: the drawings (map), reading (report).
#pragma once

#include <vector>

#include "report.h"

void write_page(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog);
void write_map(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog);
