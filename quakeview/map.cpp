// map: the map, the magnitude-time chart and the histograms as SVG.

#include "map.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

extern const char LAND_DATA[];

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MIN_SPAN = 1.0;  // degrees of latitude the map shows at least
constexpr int MAG_CLASSES = 12;   // marker classes of half a magnitude, from magnitude 3

struct LonLat {
    double lon, lat;
};

// Land rings in degrees, read once from the embedded outlines.
const std::vector<std::vector<LonLat>>& land_rings() {
    static std::vector<std::vector<LonLat>> rings = [] {
        std::vector<std::vector<LonLat>> out;
        const char* p = LAND_DATA;
        while (*p != '\0') {
            if (*p == '#' || *p == '\n') {
                while (*p != '\0' && *p++ != '\n') {}
                continue;
            }
            std::vector<LonLat> ring;
            long x = 0, y = 0;
            while (*p != '\0' && *p != '\n') {
                char* end;
                long dx = std::strtol(p, &end, 10);
                long dy = std::strtol(end + 1, &end, 10);
                x += dx;
                y += dy;
                // A ring joined across the antimeridian (Fiji, Chukotka)
                // stays continuous: each point within 180 degrees of the one before.
                double lon = x / 100.0;
                if (!ring.empty()) {
                    while (lon - ring.back().lon > 180) lon -= 360;
                    while (lon - ring.back().lon < -180) lon += 360;
                }
                ring.push_back({lon, y / 100.0});
                p = end;
                while (*p == ' ') ++p;
            }
            out.push_back(std::move(ring));
        }
        return out;
    }();
    return rings;
}

void num(std::string& s, double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, std::round(v * 10) / 10, std::chars_format::fixed, 1);
    s.append(buf, r.ptr);
}

bool value(const Report& rep, int64_t r, int k, double& v) {
    if (k < 0) return false;
    const Field& f = field_of(rep, r, k);
    v = f.value;
    return f.state == FIELD_VALUE && std::isfinite(v);
}

double unwrap(const MapFrame& f, double lon) {
    double w = std::fmod(lon - f.lon_start, 360.0);
    if (w < 0) w += 360.0;
    return f.lon_start + w;
}
double px(const MapFrame& f, double lonu) { return MAP_W / 2 + (lonu - f.lon_c) * f.kx * f.scale; }
double py(const MapFrame& f, double lat) { return MAP_H / 2 - (lat - f.lat_c) * f.scale; }

// The later and the earlier event of record r on the map; the earlier one
// unwrapped to within 180 degrees of the later, so a line takes the shorter way.
bool ends(const Report& rep, int64_t r, const MapFrame& f, double& x, double& y, double& x0, double& y0) {
    const KindRoles& ro = kind_layout(rep.kind).roles;
    double lon, lat, lon0, lat0;
    if (!value(rep, r, ro.lon, lon) || !value(rep, r, ro.lat, lat)) return false;
    double lu = unwrap(f, lon);
    x = px(f, lu);
    y = py(f, lat);
    if (ro.lon0 < 0) {
        x0 = x;
        y0 = y;
        return true;
    }
    if (!value(rep, r, ro.lon0, lon0) || !value(rep, r, ro.lat0, lat0)) return false;
    double l0 = unwrap(f, lon0);
    if (l0 - lu > 180) l0 -= 360;
    if (lu - l0 > 180) l0 += 360;
    x0 = px(f, l0);
    y0 = py(f, lat0);
    return true;
}

int mag_class(double mag) {
    int c = static_cast<int>(std::floor((mag - 3.0) * 2));
    return std::clamp(c, 0, MAG_CLASSES - 1);
}

// Markers of one layer by magnitude class, each class one filled path:
// circles, or squares where a layer holds so many markers that circles would
// slow the browser down (a square takes a fraction of a circle's drawing).
constexpr int64_t CIRCLE_LIMIT = 20000;

struct Dots {
    std::vector<float> xy[MAG_CLASSES];  // x, y pairs in px
    int64_t count = 0;
    void add(double x, double y, double mag) {
        std::vector<float>& v = xy[std::isfinite(mag) ? mag_class(mag) : 0];
        v.push_back(static_cast<float>(x));
        v.push_back(static_cast<float>(y));
        ++count;
    }
    // `fixed_r` > 0 gives every marker that radius.
    std::string svg(const char* id, const char* style, double fixed_r = 0) const {
        std::string s = std::string("<g id=\"") + id + "\" class=\"layer\" data-count=\"" + std::to_string(count) +
                        "\" style=\"" + style + "\" stroke=\"none\">";
        bool squares = count > CIRCLE_LIMIT;
        for (int c = 0; c < MAG_CLASSES; ++c) {
            if (xy[c].empty()) continue;
            double r = std::round((fixed_r > 0 ? fixed_r : marker_radius(3.0 + c / 2.0 + 0.25)) * 10) / 10;
            std::string d;
            d.reserve(xy[c].size() * 24);
            for (size_t k = 0; k < xy[c].size(); k += 2) {
                d.push_back('M');
                num(d, xy[c][k] - r);
                d.push_back(' ');
                num(d, xy[c][k + 1] - (squares ? r : 0));
                if (squares) {
                    d += "h";
                    num(d, 2 * r);
                    d += "v";
                    num(d, 2 * r);
                    d += "h";
                    num(d, -2 * r);
                    d += "z";
                } else {
                    d += "a";
                    num(d, r);
                    d += " ";
                    num(d, r);
                    d += " 0 1 0 ";
                    num(d, 2 * r);
                    d += " 0a";
                    num(d, r);
                    d += " ";
                    num(d, r);
                    d += " 0 1 0 ";
                    num(d, -2 * r);
                    d += " 0";
                }
            }
            s += "<path d=\"" + d + "\"/>";
        }
        return s + "</g>\n";
    }
};

struct Lines {
    std::string d;
    int64_t count = 0;
    void add(double x0, double y0, double x1, double y1) {
        d.push_back('M');
        num(d, x0);
        d.push_back(' ');
        num(d, y0);
        d.push_back('L');
        num(d, x1);
        d.push_back(' ');
        num(d, y1);
        ++count;
    }
    std::string svg(const char* id, const char* style) const {
        return std::string("<path id=\"") + id + "\" class=\"layer\" data-count=\"" + std::to_string(count) +
               "\" style=\"" + style + "\" fill=\"none\" d=\"" + d + "\"/>\n";
    }
};

// A step for grid lines and ticks giving about `want` of them over `span`.
double nice_step(double span, double want) {
    const double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 45, 90};
    for (double s : steps)
        if (span / s <= want) return s;
    return 90;
}

std::string deg_label(double v, char pos, char neg) {
    double a = std::fabs(v);
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::general, 6);
    std::string s(buf, r.ptr);
    s += "\xc2\xb0";  // degree sign
    if (a > 1e-9 && std::fabs(a - 180) > 1e-9) s.push_back(v < 0 ? neg : pos);
    return s;
}

const char* STYLE_CATALOG = "fill:#6b6b6b;fill-opacity:0.35";
const char* STYLE_PAIR_LINES = "stroke:#444;stroke-width:0.8;stroke-opacity:0.7";
const char* STYLE_E1 = "fill:#1f5fbf;fill-opacity:0.85";
const char* STYLE_E2 = "fill:#d62020;fill-opacity:0.85";
const char* STYLE_E1PAIR_LINES = "stroke:#8a3fb8;stroke-width:0.6;stroke-opacity:0.5";
const char* STYLE_AFTER_LINES = "stroke:#e07a00;stroke-width:0.8;stroke-opacity:0.8";
const char* STYLE_AFTER = "fill:#f09a20;fill-opacity:0.85";
const char* STYLE_PARENTS = "fill:#8c4a00;fill-opacity:0.85";
const char* STYLE_PICK = "fill:#1e9e3a;fill-opacity:0.85";

}  // namespace

double marker_radius(double mag) { return std::clamp(1.2 + 1.1 * (mag - 4.0), 1.5, 10.0); }

MapFrame map_frame(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog) {
    std::vector<LonLat> pts;
    for (const Report& rep : reports) {
        const KindRoles& ro = kind_layout(rep.kind).roles;
        for (int64_t r = 0; r < rep.records; ++r) {
            double lon, lat;
            if (value(rep, r, ro.lon, lon) && value(rep, r, ro.lat, lat)) pts.push_back({lon, lat});
            if (value(rep, r, ro.lon0, lon) && value(rep, r, ro.lat0, lat)) pts.push_back({lon, lat});
        }
    }
    if (pts.empty())
        for (const CatalogPoint& c : catalog)
            if (std::isfinite(c.lon) && std::isfinite(c.lat)) pts.push_back({c.lon, c.lat});
    MapFrame f{-180, 0, 0, 1, 1};
    double lon_lo = -180, lon_hi = 180, lat_lo = -80, lat_hi = 80;
    if (!pts.empty()) {
        // The region is the circle of longitudes less its largest empty gap.
        std::vector<double> lons;
        lat_lo = 90, lat_hi = -90;
        for (const LonLat& p : pts) {
            double w = std::fmod(p.lon, 360.0);
            if (w < -180) w += 360;
            if (w >= 180) w -= 360;
            lons.push_back(w);
            lat_lo = std::min(lat_lo, p.lat);
            lat_hi = std::max(lat_hi, p.lat);
        }
        std::sort(lons.begin(), lons.end());
        double gap = lons.front() + 360 - lons.back();
        double start = lons.front();
        for (size_t i = 1; i < lons.size(); ++i)
            if (lons[i] - lons[i - 1] > gap) gap = lons[i] - lons[i - 1], start = lons[i];
        lon_lo = start;
        lon_hi = start + 360 - gap;
        double pad_lon = std::max(0.5, (lon_hi - lon_lo) * 0.08), pad_lat = std::max(0.5, (lat_hi - lat_lo) * 0.08);
        lon_lo -= pad_lon;
        lon_hi += pad_lon;
        lat_lo = std::max(-89.0, lat_lo - pad_lat);
        lat_hi = std::min(89.0, lat_hi + pad_lat);
    }
    f.lon_start = lon_lo - (360 - (lon_hi - lon_lo)) / 2;  // the middle of what the map leaves out
    f.lon_c = (lon_lo + lon_hi) / 2;
    f.lat_c = (lat_lo + lat_hi) / 2;
    f.kx = std::max(0.05, std::cos(f.lat_c * PI / 180));
    double lat_span = std::max(MIN_SPAN, lat_hi - lat_lo);
    f.scale = std::min(MAP_W / ((lon_hi - lon_lo) * f.kx), MAP_H / lat_span);
    return f;
}

std::string map_svg(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog, const MapFrame& f,
                    bool legend) {
    double full_w = MAP_LEFT + MAP_W + MAP_RIGHT, full_h = MAP_TOP + MAP_H + MAP_BOTTOM + (legend ? 24 : 0);
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"map\" width=\"";
    num(s, full_w);
    s += "\" height=\"";
    num(s, full_h);
    s += "\" viewBox=\"0 0 ";
    num(s, full_w);
    s += " ";
    num(s, full_h);
    s += "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    s += "<defs><clipPath id=\"mapclip\"><rect width=\"";
    num(s, MAP_W);
    s += "\" height=\"";
    num(s, MAP_H);
    s += "\"/></clipPath></defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    s += "<g transform=\"translate(";
    num(s, MAP_LEFT);
    s += ",";
    num(s, MAP_TOP);
    s += ")\">\n<g clip-path=\"url(#mapclip)\">\n<rect id=\"water\" width=\"";
    num(s, MAP_W);
    s += "\" height=\"";
    num(s, MAP_H);
    s += "\" fill=\"#d4e6f5\"/>\n";

    // Land: every ring that meets the view, at the shift of 360 degrees that brings it there.
    double view_lon0 = f.lon_c - MAP_W / 2 / (f.kx * f.scale), view_lon1 = f.lon_c + MAP_W / 2 / (f.kx * f.scale);
    double view_lat0 = f.lat_c - MAP_H / 2 / f.scale, view_lat1 = f.lat_c + MAP_H / 2 / f.scale;
    std::string land;
    for (const std::vector<LonLat>& ring : land_rings()) {
        double lo = 1e9, hi = -1e9, la0 = 1e9, la1 = -1e9;
        for (const LonLat& p : ring) {
            lo = std::min(lo, p.lon), hi = std::max(hi, p.lon);
            la0 = std::min(la0, p.lat), la1 = std::max(la1, p.lat);
        }
        if (la1 < view_lat0 || la0 > view_lat1) continue;
        for (double shift : {-720.0, -360.0, 0.0, 360.0, 720.0}) {
            if (hi + shift < view_lon0 || lo + shift > view_lon1) continue;
            char cmd = 'M';
            for (const LonLat& p : ring) {
                land.push_back(cmd);
                num(land, px(f, p.lon + shift));
                land.push_back(' ');
                num(land, py(f, p.lat));
                cmd = 'L';
            }
            land.push_back('Z');
        }
    }
    s += "<path id=\"land\" fill=\"#ece6d2\" stroke=\"#a89f86\" stroke-width=\"0.7\" d=\"" + land + "\"/>\n";

    // Graticule.
    double step = nice_step(std::max(view_lon1 - view_lon0, view_lat1 - view_lat0), 8);
    std::string grid, labels;
    for (double lon = std::ceil(view_lon0 / step) * step; lon <= view_lon1; lon += step) {
        double x = px(f, lon);
        grid += "M";
        num(grid, x);
        grid += " 0V";
        num(grid, MAP_H);
        double shown = std::fmod(lon, 360.0);
        if (shown > 180) shown -= 360;
        if (shown <= -180) shown += 360;
        labels += "<text x=\"";
        num(labels, x);
        labels += "\" y=\"";
        num(labels, MAP_H + 14);
        labels += "\" text-anchor=\"middle\">" + deg_label(shown, 'E', 'W') + "</text>";
    }
    for (double lat = std::ceil(view_lat0 / step) * step; lat <= view_lat1; lat += step) {
        double y = py(f, lat);
        grid += "M0 ";
        num(grid, y);
        grid += "H";
        num(grid, MAP_W);
        labels += "<text x=\"-4\" y=\"";
        num(labels, y + 4);
        labels += "\" text-anchor=\"end\">" + deg_label(lat, 'N', 'S') + "</text>";
    }
    s += "<path id=\"graticule\" fill=\"none\" stroke=\"#7d8a96\" stroke-width=\"0.4\" stroke-dasharray=\"2 3\" d=\"" +
         grid + "\"/>\n";

    // Background seismicity, then the reports' layers, larger markers above lines.
    Dots cat;
    for (const CatalogPoint& c : catalog)
        if (std::isfinite(c.lon) && std::isfinite(c.lat)) cat.add(px(f, unwrap(f, c.lon)), py(f, c.lat), 3.0);
    if (!catalog.empty()) s += cat.svg("layer-catalog", STYLE_CATALOG, 1.0);
    Lines pair_lines, e1pair_lines, after_lines;
    Dots e1, e2, e1pair_dots, after, parents, pick;
    for (const Report& rep : reports) {
        const KindRoles& ro = kind_layout(rep.kind).roles;
        for (int64_t r = 0; r < rep.records; ++r) {
            double x, y, x0, y0, mag = NAN, mag0 = NAN;
            if (!ends(rep, r, f, x, y, x0, y0)) continue;
            value(rep, r, ro.mag, mag);
            value(rep, r, ro.mag0, mag0);
            if (rep.kind == KIND_PAIRS) {
                pair_lines.add(x0, y0, x, y);
                e1.add(x0, y0, mag0);
                e2.add(x, y, mag);
            } else if (rep.kind == KIND_E1PAIRS) {
                e1pair_lines.add(x0, y0, x, y);
                e1pair_dots.add(x0, y0, mag0);
                e1pair_dots.add(x, y, mag);
            } else if (rep.kind == KIND_AFTERSHOCKS) {
                after_lines.add(x0, y0, x, y);
                parents.add(x0, y0, mag0);
                after.add(x, y, mag);
            } else {
                pick.add(x, y, mag);
            }
        }
    }
    s += "<g id=\"aftershock-layers\">";
    if (after_lines.count > 0)
        s += after_lines.svg("layer-aftershock-lines", STYLE_AFTER_LINES) +
             after.svg("layer-aftershocks", STYLE_AFTER) + parents.svg("layer-parents", STYLE_PARENTS);
    s += "</g>\n";
    if (e1pair_lines.count > 0)
        s += e1pair_lines.svg("layer-e1pair-lines", STYLE_E1PAIR_LINES) +
             e1pair_dots.svg("layer-e1pair-events", STYLE_E1);
    if (pick.count > 0) s += pick.svg("layer-pickout", STYLE_PICK);
    if (pair_lines.count > 0)
        s += pair_lines.svg("layer-pair-lines", STYLE_PAIR_LINES) + e1.svg("layer-e1", STYLE_E1) +
             e2.svg("layer-e2", STYLE_E2);
    s += "</g>\n<rect width=\"";
    num(s, MAP_W);
    s += "\" height=\"";
    num(s, MAP_H);
    s += "\" fill=\"none\" stroke=\"#555\"/>\n" + labels + "\n";
    if (legend) {
        struct Key {
            const char* text;
            const char* colour;
            int64_t n;
        };
        const Key keys[] = {{"E2", "#d62020", e2.count},
                            {"E1", "#1f5fbf", e1.count},
                            {"E1 pair", "#8a3fb8", e1pair_lines.count},
                            {"aftershock", "#f09a20", after.count},
                            {"parent", "#8c4a00", parents.count},
                            {"selected", "#1e9e3a", pick.count},
                            {"catalog", "#9a9a9a", cat.count}};
        double x = 0;
        for (const Key& k : keys) {
            if (k.n == 0) continue;
            s += "<circle cx=\"";
            num(s, x + 5);
            s += "\" cy=\"";
            num(s, MAP_H + 32);
            s += "\" r=\"4\" fill=\"" + std::string(k.colour) + "\"/><text x=\"";
            num(s, x + 13);
            s += "\" y=\"";
            num(s, MAP_H + 36);
            s += "\">" + std::string(k.text) + " (" + std::to_string(k.n) + ")</text>";
            x += 110;
        }
    }
    s += "</g>\n</svg>\n";
    return s;
}

namespace {

// The earlier event's day of record r: its own column, or the later day less the difference.
bool day0(const Report& rep, int64_t r, double& t0) {
    const KindRoles& ro = kind_layout(rep.kind).roles;
    double t, dt;
    if (ro.dat0 >= 0) return value(rep, r, ro.dat0, t0);
    if (ro.dt >= 0 && value(rep, r, ro.dat, t) && value(rep, r, ro.dt, dt)) return t0 = t - dt, true;
    return false;
}

double cx(const ChartFrame& c, double t) { return CHART_LEFT + (t - c.t0) / (c.t1 - c.t0) * CHART_W; }
double cy(const ChartFrame& c, double m) { return CHART_TOP + (c.m1 - m) / (c.m1 - c.m0) * CHART_H; }

// Days from 1 January 1900 to 1 January of `year`.
double year_day(int year) {
    double d = 0;
    for (int y = 1900; y < year; ++y) d += (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 366 : 365;
    for (int y = year; y < 1900; ++y) d -= (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 366 : 365;
    return d;
}

}  // namespace

ChartFrame chart_frame(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog) {
    ChartFrame c{1e300, -1e300, 1e300, -1e300};
    auto take = [&](double t, double m) {
        if (!std::isfinite(t) || !std::isfinite(m)) return;
        c.t0 = std::min(c.t0, t), c.t1 = std::max(c.t1, t);
        c.m0 = std::min(c.m0, m), c.m1 = std::max(c.m1, m);
    };
    for (const Report& rep : reports) {
        const KindRoles& ro = kind_layout(rep.kind).roles;
        for (int64_t r = 0; r < rep.records; ++r) {
            double t, m, t0, m0;
            if (value(rep, r, ro.dat, t) && value(rep, r, ro.mag, m)) take(t, m);
            if (day0(rep, r, t0) && value(rep, r, ro.mag0, m0)) take(t0, m0);
        }
    }
    for (const CatalogPoint& p : catalog) take(p.dat, p.mag);
    if (c.t0 > c.t1) c = {0, 365, 4, 8};
    double pad = std::max(30.0, (c.t1 - c.t0) * 0.03);
    c.t0 -= pad, c.t1 += pad;
    c.m0 = std::floor(c.m0 * 2 - 0.5) / 2, c.m1 = std::ceil(c.m1 * 2 + 0.5) / 2;
    return c;
}

std::string chart_svg(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog,
                      const ChartFrame& c) {
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"chart\" width=\"";
    num(s, CHART_LEFT + CHART_W + 10);
    s += "\" height=\"";
    num(s, CHART_TOP + CHART_H + CHART_BOTTOM);
    s += "\" font-family=\"sans-serif\" font-size=\"10\"><rect x=\"";
    num(s, CHART_LEFT);
    s += "\" y=\"";
    num(s, CHART_TOP);
    s += "\" width=\"";
    num(s, CHART_W);
    s += "\" height=\"";
    num(s, CHART_H);
    s += "\" fill=\"#fbfbfb\" stroke=\"#777\"/>\n";
    // Ticks: years and magnitudes.
    double y0 = 1900 + c.t0 / 365.2425, y1 = 1900 + c.t1 / 365.2425;
    double ystep = std::max(1.0, nice_step(y1 - y0, 10));
    for (double yr = std::ceil(y0 / ystep) * ystep; yr <= y1; yr += ystep) {
        double x = cx(c, year_day(static_cast<int>(yr)));
        if (x < CHART_LEFT || x > CHART_LEFT + CHART_W) continue;
        s += "<text x=\"";
        num(s, x);
        s += "\" y=\"";
        num(s, CHART_TOP + CHART_H + 14);
        s += "\" text-anchor=\"middle\">" + std::to_string(static_cast<int>(yr)) + "</text>";
    }
    for (double m = std::ceil(c.m0); m <= c.m1; m += 1) {
        s += "<text x=\"";
        num(s, CHART_LEFT - 4);
        s += "\" y=\"";
        num(s, cy(c, m) + 3);
        s += "\" text-anchor=\"end\">" + std::to_string(static_cast<int>(m)) + "</text>";
    }
    s += "<text x=\"4\" y=\"";
    num(s, CHART_TOP + 10);
    s += "\">M</text>\n";
    Dots cat, later, earlier, after, pick;
    Lines joins, after_joins;
    for (const CatalogPoint& p : catalog)
        if (std::isfinite(p.dat) && std::isfinite(p.mag)) cat.add(cx(c, p.dat), cy(c, p.mag), 3.0);
    for (const Report& rep : reports) {
        const KindRoles& ro = kind_layout(rep.kind).roles;
        for (int64_t r = 0; r < rep.records; ++r) {
            double t, m, t0, m0;
            if (!value(rep, r, ro.dat, t) || !value(rep, r, ro.mag, m)) continue;
            if (rep.kind == KIND_PICKOUT) {
                pick.add(cx(c, t), cy(c, m), 3.0);
                continue;
            }
            if (!day0(rep, r, t0) || !value(rep, r, ro.mag0, m0)) continue;
            if (rep.kind == KIND_AFTERSHOCKS) {
                after_joins.add(cx(c, t0), cy(c, m0), cx(c, t), cy(c, m));
                after.add(cx(c, t), cy(c, m), 3.0);
            } else if (rep.kind == KIND_PAIRS) {
                joins.add(cx(c, t0), cy(c, m0), cx(c, t), cy(c, m));
                earlier.add(cx(c, t0), cy(c, m0), 3.0);
                later.add(cx(c, t), cy(c, m), 3.0);
            }
        }
    }
    if (cat.count > 0) s += cat.svg("chart-catalog", STYLE_CATALOG, 1.0);
    if (after.count > 0)
        s += after_joins.svg("chart-aftershock-lines", STYLE_AFTER_LINES) +
             after.svg("chart-aftershocks", STYLE_AFTER, 1.8);
    if (pick.count > 0) s += pick.svg("chart-pickout", STYLE_PICK, 1.8);
    if (joins.count > 0)
        s += joins.svg("chart-pair-lines", STYLE_PAIR_LINES) + earlier.svg("chart-e1", STYLE_E1, 1.8) +
             later.svg("chart-e2", STYLE_E2, 1.8);
    s += "</svg>\n";
    return s;
}

std::string histograms_svg(const std::vector<Report>& reports) {
    const Report* rep = nullptr;
    for (const Report& r : reports)
        if (r.kind == KIND_PAIRS && rep == nullptr) rep = &r;
    for (const Report& r : reports)
        if (r.kind == KIND_E1PAIRS && rep == nullptr) rep = &r;
    if (rep == nullptr) return "";
    const KindRoles& ro = kind_layout(rep->kind).roles;
    std::string s;
    struct Hist {
        int column;
        const char* title;
        const char* id;
    };
    for (const Hist& h :
         {Hist{ro.distance, "distance (km)", "hist-distance"}, Hist{ro.dt, "time difference (days)", "hist-dt"}}) {
        constexpr int BINS = 24;
        std::vector<double> v;
        for (int64_t r = 0; r < rep->records; ++r) {
            double x;
            if (value(*rep, r, h.column, x)) v.push_back(x);
        }
        double hi = 0;
        for (double x : v) hi = std::max(hi, x);
        if (hi <= 0) hi = 1;
        double width = nice_step(hi, BINS);
        while (width * BINS < hi) width *= 2;
        int64_t counts[BINS] = {};
        for (double x : v) ++counts[std::clamp(static_cast<int>(x / width), 0, BINS - 1)];
        int64_t most = 1;
        for (int64_t k : counts) most = std::max(most, k);
        s += "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"" + std::string(h.id) + "\" class=\"hist\" width=\"";
        num(s, HIST_W + 40);
        s += "\" height=\"";
        num(s, HIST_H + 36);
        s += "\" font-family=\"sans-serif\" font-size=\"10\"><text x=\"30\" y=\"10\">" + std::string(h.title) + ", " +
             std::to_string(v.size()) + " pairs</text>";
        std::string bars;
        for (int b = 0; b < BINS; ++b) {
            double bh = static_cast<double>(counts[b]) / static_cast<double>(most) * HIST_H;
            bars += "M";
            num(bars, 30 + b * HIST_W / BINS);
            bars += " ";
            num(bars, 16 + HIST_H);
            bars += "v";
            num(bars, -bh);
            bars += "h";
            num(bars, HIST_W / BINS - 1);
            bars += "v";
            num(bars, bh);
            bars += "z";
        }
        s += "<path fill=\"#6b8fb3\" d=\"" + bars + "\"/>";
        for (int b = 0; b <= BINS; b += 6) {
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, b * width, std::chars_format::general, 6);
            s += "<text x=\"";
            num(s, 30 + b * HIST_W / BINS);
            s += "\" y=\"";
            num(s, HIST_H + 30);
            s += "\" text-anchor=\"middle\">" + std::string(buf, r.ptr) + "</text>";
        }
        s += "<text x=\"26\" y=\"24\" text-anchor=\"end\">" + std::to_string(most) + "</text></svg>\n";
    }
    return s;
}
