// map: the reports drawn as SVG: a map of the region, a magnitude-time chart
// and histograms of pair distances and time differences.
//
// Owns: the map frame fitted to the data (equirectangular, with the standard
// parallel at the middle latitude, unwrapped across the antimeridian when the
// data lie on both sides of it), the land outlines embedded in the program,
// the graticule, and one path per layer and magnitude class, so that a
// report of 100,000 pairs stays a few dozen elements.
// Does not own: the page around the drawings (page), reading (report).
#pragma once

#include <string>
#include <vector>

#include "report.h"

constexpr double MAP_W = 720;  // px of the map area
constexpr double MAP_H = 500;
constexpr double MAP_LEFT = 46;  // px of margin for the graticule labels
constexpr double MAP_TOP = 24;
constexpr double MAP_RIGHT = 12;
constexpr double MAP_BOTTOM = 40;

// Where the map looks, in degrees, and how it draws a degree.
struct MapFrame {
    double lon_start;  // western edge of the region the data occupy; longitudes below it gain 360
    double lon_c;      // centre longitude, unwrapped, degrees
    double lat_c;      // centre latitude, degrees
    double kx;         // cosine of the centre latitude: x shrink of a degree of longitude
    double scale;      // px per degree of latitude
};

MapFrame map_frame(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog);

// The map as one <svg> element: water, land, graticule with labels, the
// catalog as faint dots, then the layers of every report; `legend` adds a
// key below the map (for the map alone).
std::string map_svg(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog, const MapFrame& f,
                    bool legend);

// Time on the chart: the range in days of every dated record and catalog
// event; magnitude range likewise.
struct ChartFrame {
    double t0, t1;  // days
    double m0, m1;  // magnitudes
};
constexpr double CHART_W = 470, CHART_H = 230, CHART_LEFT = 40, CHART_TOP = 12, CHART_BOTTOM = 28;
constexpr double HIST_W = 200, HIST_H = 110;

ChartFrame chart_frame(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog);
std::string chart_svg(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog,
                      const ChartFrame& c);
// Histograms of distance and time difference of the first pair report;
// empty when there is none.
std::string histograms_svg(const std::vector<Report>& reports);

// A marker's radius in px for a magnitude, by classes of half a magnitude.
double marker_radius(double mag);
