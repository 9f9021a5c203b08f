// page: the HTML page and the SVG map.

#include "page.h"

#include <charconv>
#include <string>

#include "map.h"
#include "tool_output.h"

namespace {

// A JavaScript string literal for JSON inside a <script> element: one
// character per byte (a byte above 127 as the character of that code, which
// the page decodes as UTF-8 where it shows a text), "<" escaped so that no
// text can close the element.
std::string page_string(std::string_view s) {
    static const char HEX[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20 || c >= 0x80 || c == '<') {
            out += "\\u00";
            out.push_back(HEX[c >> 4]);
            out.push_back(HEX[c & 15]);
        } else {
            out.push_back(ch);
        }
    }
    out.push_back('"');
    return out;
}

std::string html_text(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else
            out.push_back(c);
    }
    return out;
}

std::string number(double v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The report's lines as printed, each ending in a line feed.
std::string lines_of(const Report& rep) {
    std::string out;
    out.reserve(rep.bytes.size());
    std::string_view all = rep.bytes;
    while (!all.empty()) {
        size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.append(line);
        out.push_back('\n');
    }
    return out;
}

std::string data_json(const std::vector<Report>& reports, const MapFrame& f, const ChartFrame& c) {
    std::string s = "{\"map\":{\"lon_start\":" + number(f.lon_start) + ",\"lon_c\":" + number(f.lon_c) +
                    ",\"lat_c\":" + number(f.lat_c) + ",\"kx\":" + number(f.kx) + ",\"scale\":" + number(f.scale) +
                    ",\"W\":" + number(MAP_W) + ",\"H\":" + number(MAP_H) + "},\"chart\":{\"t0\":" + number(c.t0) +
                    ",\"t1\":" + number(c.t1) + ",\"m0\":" + number(c.m0) + ",\"m1\":" + number(c.m1) +
                    ",\"L\":" + number(CHART_LEFT) + ",\"T\":" + number(CHART_TOP) + ",\"W\":" + number(CHART_W) +
                    ",\"H\":" + number(CHART_H) + "},\"reports\":[";
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& rep = reports[i];
        const KindLayout& lay = kind_layout(rep.kind);
        const KindRoles& ro = lay.roles;
        if (i > 0) s += ",";
        s += "\n{\"kind\":\"" + std::string(lay.name) + "\",\"title\":\"" + lay.title +
             "\",\"file\":" + page_string(rep.file) + ",\"records\":" + std::to_string(rep.records) +
             ",\"length\":" + std::to_string(lay.length) + ",\"roles\":{\"lon\":" + std::to_string(ro.lon) +
             ",\"lat\":" + std::to_string(ro.lat) + ",\"mag\":" + std::to_string(ro.mag) +
             ",\"dat\":" + std::to_string(ro.dat) + ",\"lon0\":" + std::to_string(ro.lon0) +
             ",\"lat0\":" + std::to_string(ro.lat0) + ",\"mag0\":" + std::to_string(ro.mag0) +
             ",\"dat0\":" + std::to_string(ro.dat0) + ",\"dt\":" + std::to_string(ro.dt) + "},\"columns\":[";
        for (int k = 0; k < lay.field_count; ++k) {
            const Column& col = field_column(rep.kind, k);
            if (k > 0) s += ",";
            s += "{\"name\":\"" + std::string(col.name) + "\",\"first\":" + std::to_string(col.first) +
                 ",\"width\":" + std::to_string(col.width) + ",\"edit\":\"" + col.edit + "\"}";
        }
        s += "],\"text\":" + page_string(lines_of(rep)) + "}";
    }
    s += "]}";
    return s;
}

const char* PAGE_CSS = R"CSS(
body{font-family:sans-serif;font-size:13px;margin:12px;color:#222;background:#fff}
h1{font-size:17px;margin:0 0 4px}
p.summary{margin:0 0 8px;color:#444}
#top{display:flex;flex-wrap:wrap;gap:12px;align-items:flex-start}
#map,#chart{will-change:transform}
.box{position:relative;line-height:0}
.over{position:absolute;left:0;top:0;pointer-events:none;will-change:transform}
#tablewrap{contain:content}
#side{display:flex;flex-direction:column;gap:6px}
#hists{display:flex;flex-wrap:wrap;gap:4px}
#layers label{margin-right:12px;white-space:nowrap}
#layers .key{display:inline-block;width:10px;height:10px;border-radius:5px;margin-right:3px}
#tablebar{margin:10px 0 4px}
#tablewrap{overflow-x:auto;border:1px solid #bbb;max-width:100%}
#tablewrap table{border-collapse:collapse;table-layout:fixed}
#tablewrap th,#tablewrap td{padding:0 5px;height:19px;line-height:19px;white-space:pre;overflow:hidden;border-right:1px solid #eee;font-family:monospace;font-size:12px}
#tablewrap th{background:#eef2f6;cursor:pointer;text-align:left;font-family:sans-serif;user-select:none}
#tablewrap th.up::after{content:" \25B2"}#tablewrap th.down::after{content:" \25BC"}
#tablewrap td.n{text-align:right}
#tbody{height:460px;overflow-y:auto;overflow-x:hidden;position:relative}
#rows tr{cursor:pointer}#rows tr:nth-child(even){background:#f7f7f7}
#rows tr.selected{background:#ffe680}
#rows tr:hover{background:#e3efff}
)CSS";

const char* PAGE_JS = R"JS(
"use strict";
const D = JSON.parse(document.getElementById("data").textContent);
const M = D.map, C = D.chart, NS = "http://www.w3.org/2000/svg", ROW_H = 19, EXTRA = 8;
let cur = 0, order = null, sel = -1, sortCol = -1, sortDir = 1;
const cache = {};  // parsed numeric columns, by report and column

function line(rep, i) { return rep.text.substr(i * (rep.length + 1), rep.length); }
function cell(rep, i, k) {
  const c = rep.columns[k];
  return rep.text.substr(i * (rep.length + 1) + c.first - 1, c.width).trim();
}
function shown(rep, k, t) {
  if (rep.columns[k].edit !== "A") return t;
  try { return decodeURIComponent(escape(t)); } catch (e) { return t; }
}
function val(rep, i, k) { return k < 0 ? NaN : Number(cell(rep, i, k)); }
function column(rep, r, k) {
  const key = r + ":" + k;
  if (!cache[key]) {
    const a = new Float64Array(rep.records);
    for (let i = 0; i < rep.records; i++) a[i] = val(rep, i, k);
    cache[key] = a;
  }
  return cache[key];
}
function unwrap(lon) { let w = (lon - M.lon_start) % 360; if (w < 0) w += 360; return M.lon_start + w; }
function mx(lu) { return M.W / 2 + (lu - M.lon_c) * M.kx * M.scale; }
function my(lat) { return M.H / 2 - (lat - M.lat_c) * M.scale; }
function cx(t) { return C.L + (t - C.t0) / (C.t1 - C.t0) * C.W; }
function cy(m) { return C.T + (C.m1 - m) / (C.m1 - C.m0) * C.H; }
function radius(m) { return Math.min(10, Math.max(1.5, 1.2 + 1.1 * (m - 4))); }

// The record's events on the map and in the chart: [later, earlier or null].
function places(rep, i) {
  const ro = rep.roles;
  const lon = val(rep, i, ro.lon), lat = val(rep, i, ro.lat), mag = val(rep, i, ro.mag), t = val(rep, i, ro.dat);
  const lu = unwrap(lon);
  const a = {x: mx(lu), y: my(lat), mag: mag, t: t};
  if (ro.lon0 < 0) return [a, null];
  let l0 = unwrap(val(rep, i, ro.lon0));
  if (l0 - lu > 180) l0 -= 360;
  if (lu - l0 > 180) l0 += 360;
  const t0 = ro.dat0 >= 0 ? val(rep, i, ro.dat0) : t - val(rep, i, ro.dt);
  return [a, {x: mx(l0), y: my(val(rep, i, ro.lat0)), mag: val(rep, i, ro.mag0), t: t0}];
}
function el(name, attrs) {
  const e = document.createElementNS(NS, name);
  for (const k in attrs) e.setAttribute(k, attrs[k]);
  return e;
}
function mark(g, a, b, xy) {
  if (b) {
    const p = xy(a), q = xy(b);
    if (isFinite(p[0] + p[1] + q[0] + q[1]))
      g.appendChild(el("line", {x1: q[0], y1: q[1], x2: p[0], y2: p[1], stroke: "#111", "stroke-width": 3}));
  }
  for (const e of b ? [b, a] : [a]) {
    const p = xy(e);
    if (!isFinite(p[0] + p[1])) continue;
    const r = (isFinite(e.mag) ? radius(e.mag) : 2) + 4;
    g.appendChild(el("circle", {cx: p[0], cy: p[1], r: r, fill: "none", stroke: "#111", "stroke-width": 4}));
    g.appendChild(el("circle", {cx: p[0], cy: p[1], r: r, fill: "none", stroke: "#ffd400", "stroke-width": 2}));
  }
}
function highlight() {
  const gm = document.getElementById("map-highlight"), gc = document.getElementById("chart-highlight");
  gm.replaceChildren(); gc.replaceChildren();
  gm.removeAttribute("data-record"); gc.removeAttribute("data-record");
  if (sel < 0) return;
  const rep = D.reports[cur], [a, b] = places(rep, sel);
  mark(gm, a, b, e => [e.x, e.y]);
  if (gc) mark(gc, a, b, e => [cx(e.t), cy(e.mag)]);
  gm.setAttribute("data-record", sel); gc.setAttribute("data-record", sel);
}

const tbody = document.getElementById("tbody"), spacer = document.getElementById("spacer");
const rows = document.getElementById("rows"), head = document.getElementById("head");
function colgroup(rep) {
  let s = "<colgroup>";
  for (const c of rep.columns) s += "<col style=\"width:" + Math.max(c.width * 7.3 + 12, c.name.length * 7 + 24) + "px\">";
  return s + "</colgroup>";
}
function table() {
  const rep = D.reports[cur];
  order = null; sel = -1; sortCol = -1;
  head.innerHTML = colgroup(rep) + "<thead><tr></tr></thead>";
  rows.innerHTML = colgroup(rep) + "<tbody></tbody>";
  const tr = head.querySelector("tr");
  rep.columns.forEach((c, k) => {
    const th = document.createElement("th");
    th.textContent = c.name;
    th.dataset.col = k;
    th.addEventListener("click", () => sortBy(k));
    tr.appendChild(th);
  });
  let w = 0;
  head.querySelectorAll("col").forEach(c => w += parseFloat(c.style.width));
  head.style.width = rows.style.width = spacer.style.width = w + "px";
  spacer.style.height = rep.records * ROW_H + "px";
  document.getElementById("count").textContent = rep.records + " records of " + rep.file;
  tbody.scrollTop = 0;
  render();
  highlight();
}
function render() {
  const rep = D.reports[cur], body = rows.tBodies[0];
  const first = Math.max(0, Math.floor(tbody.scrollTop / ROW_H) - EXTRA);
  const last = Math.min(rep.records, first + Math.ceil(tbody.clientHeight / ROW_H) + 2 * EXTRA);
  rows.style.top = first * ROW_H + "px";
  const frag = document.createDocumentFragment();
  for (let n = first; n < last; n++) {
    const i = order ? order[n] : n, tr = document.createElement("tr");
    tr.dataset.record = i;
    if (i === sel) tr.className = "selected";
    for (let k = 0; k < rep.columns.length; k++) {
      const td = document.createElement("td");
      td.textContent = shown(rep, k, cell(rep, i, k));
      if (rep.columns[k].edit !== "A") td.className = "n";
      tr.appendChild(td);
    }
    frag.appendChild(tr);
  }
  body.replaceChildren(frag);
}
function sortBy(k) {
  const rep = D.reports[cur];
  sortDir = sortCol === k ? -sortDir : 1;
  sortCol = k;
  const idx = new Uint32Array(rep.records);
  for (let i = 0; i < rep.records; i++) idx[i] = i;
  if (rep.columns[k].edit === "A") {
    const t = [];
    for (let i = 0; i < rep.records; i++) t.push(cell(rep, i, k));
    idx.sort((a, b) => (t[a] < t[b] ? -1 : t[a] > t[b] ? 1 : a - b) * sortDir);
  } else {
    const v = column(rep, cur, k);
    idx.sort((a, b) => {
      const x = v[a], y = v[b];
      if (isNaN(x) || isNaN(y)) return isNaN(x) - isNaN(y) || a - b;  // no value: last either way
      return (x - y) * sortDir || a - b;
    });
  }
  order = idx;
  head.querySelectorAll("th").forEach((th, j) => th.className = j === k ? (sortDir > 0 ? "up" : "down") : "");
  render();
}
function choose(i, scroll) {
  sel = i;
  if (scroll) {
    const n = order ? order.indexOf(i) : i;
    tbody.scrollTop = Math.max(0, n * ROW_H - tbody.clientHeight / 2);
  }
  render();
  highlight();
}
rows.addEventListener("click", ev => {
  const tr = ev.target.closest("tr");
  if (tr && tr.dataset.record !== undefined) choose(Number(tr.dataset.record), false);
});
tbody.addEventListener("scroll", () => requestAnimationFrame(render));
// A click on the map chooses the nearest record of the report in the table.
document.getElementById("map").addEventListener("click", ev => {
  const svg = document.getElementById("map"), pt = svg.createSVGPoint();
  pt.x = ev.clientX; pt.y = ev.clientY;
  const g = document.getElementById("map-highlight").parentNode;
  const p = pt.matrixTransform(g.getScreenCTM().inverse());
  const rep = D.reports[cur];
  const lon = column(rep, cur, rep.roles.lon), lat = column(rep, cur, rep.roles.lat);
  let best = -1, bd = 100;
  for (let i = 0; i < rep.records; i++) {
    const dx = mx(unwrap(lon[i])) - p.x, dy = my(lat[i]) - p.y, d = dx * dx + dy * dy;
    if (d < bd) { bd = d; best = i; }
  }
  if (best >= 0) choose(best, true);
});
const pick = document.getElementById("report");
D.reports.forEach((r, k) => pick.add(new Option(r.title + " (" + r.file + ", " + r.records + ")", k)));
pick.addEventListener("change", () => { cur = Number(pick.value); table(); });
document.querySelectorAll("#layers input").forEach(box => box.addEventListener("change", () => {
  for (const id of box.dataset.layers.split(" ")) {
    const e = document.getElementById(id);
    if (e) e.style.display = box.checked ? "" : "none";
  }
}));
table();
document.body.dataset.ready = "1";
)JS";

std::string overlay(const char* id, double w, double h, double dx, double dy, const char* group) {
    return std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"") + id + "\" class=\"over\" width=\"" +
           number(w) + "\" height=\"" + number(h) + "\"><g transform=\"translate(" + number(dx) + "," + number(dy) +
           ")\"><g id=\"" + group + "\"></g></g></svg>";
}

struct LayerKey {
    const char* label;
    const char* colour;
    const char* ids;
    int kind;  // the report kind that brings the layer; -1 for the catalog
};
const LayerKey LAYER_KEYS[] = {
    {"E2", "#d62020", "layer-e2 chart-e2", KIND_PAIRS},
    {"E1", "#1f5fbf", "layer-e1 chart-e1", KIND_PAIRS},
    {"pair lines", "#444", "layer-pair-lines chart-pair-lines", KIND_PAIRS},
    {"E1 pairs", "#8a3fb8", "layer-e1pair-lines layer-e1pair-events", KIND_E1PAIRS},
    {"aftershocks and parents", "#f09a20", "aftershock-layers chart-aftershock-lines chart-aftershocks",
     KIND_AFTERSHOCKS},
    {"selected events", "#1e9e3a", "layer-pickout chart-pickout", KIND_PICKOUT},
    {"catalog", "#9a9a9a", "layer-catalog chart-catalog", -1},
};

}  // namespace

void write_page(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog) {
    MapFrame f = map_frame(reports, catalog);
    ChartFrame c = chart_frame(reports, catalog);
    std::string files, summary;
    bool has[KIND_COUNT] = {};
    for (const Report& rep : reports) {
        files += (files.empty() ? "" : ", ") + rep.file;
        summary += (summary.empty() ? "" : "; ") + std::to_string(rep.records) + " " + kind_layout(rep.kind).title +
                   " from " + rep.file;
        has[rep.kind] = true;
    }
    if (!catalog.empty()) summary += "; " + std::to_string(catalog.size()) + " catalog events";
    output_write("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>quakeview: " +
                 html_text(files) + "</title>\n<style>" + PAGE_CSS + "</style>\n</head>\n<body>\n<h1>" +
                 html_text(files) + "</h1>\n<p class=\"summary\">" + html_text(summary) + "</p>\n<div id=\"layers\">");
    for (const LayerKey& k : LAYER_KEYS) {
        if (k.kind >= 0 ? !has[k.kind] : catalog.empty()) continue;
        output_write(std::string("<label><input type=\"checkbox\" checked data-layers=\"") + k.ids +
                     "\"><span class=\"key\" style=\"background:" + k.colour + "\"></span>" + k.label + "</label>");
    }
    output_write("</div>\n<div id=\"top\">\n");
    // The highlights lie in overlays of their own above the map and the
    // chart, so choosing a record repaints a few rings, not 100,000 markers.
    output_write("<div class=\"box\">" + map_svg(reports, catalog, f, false) +
                 overlay("map-over", MAP_LEFT + MAP_W + MAP_RIGHT, MAP_TOP + MAP_H + MAP_BOTTOM, MAP_LEFT, MAP_TOP,
                         "map-highlight") +
                 "</div>\n");
    output_write(
        "<div id=\"side\">\n<div class=\"box\">" + chart_svg(reports, catalog, c) +
        overlay("chart-over", CHART_LEFT + CHART_W + 10, CHART_TOP + CHART_H + CHART_BOTTOM, 0, 0, "chart-highlight") +
        "</div>\n");
    output_write("<div id=\"hists\">\n" + histograms_svg(reports) + "</div>\n</div>\n</div>\n");
    output_write(
        "<div id=\"tablebar\"><select id=\"report\"></select> <span id=\"count\"></span> (choose a row to show it "
        "on the map and in the chart; a column's name sorts by it)</div>\n<div id=\"tablewrap\"><table "
        "id=\"head\"></table><div id=\"tbody\"><div id=\"spacer\" style=\"position:relative\"><table id=\"rows\" "
        "style=\"position:absolute;top:0\"></table></div></div></div>\n<script type=\"application/json\" "
        "id=\"data\">");
    output_write(data_json(reports, f, c));
    output_write(std::string("</script>\n<script>") + PAGE_JS + "</script>\n</body>\n</html>\n");
}

void write_map(const std::vector<Report>& reports, const std::vector<CatalogPoint>& catalog) {
    output_write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    output_write(map_svg(reports, catalog, map_frame(reports, catalog), true));
}
