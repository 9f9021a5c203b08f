// quakeview: twinquake's and ringpick's reports as tables to load (CSV,
// GeoJSON) and maps to look at (a self-contained page, an SVG map).
//
// The run: read the options, read and check every report (and the catalog
// when one is given), write the one output, commit it.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "export.h"
#include "page.h"
#include "report.h"
#include "tool_output.h"

namespace {

// The output format named by an output file's ending, "" when it names none.
std::string format_of_path(const std::string& path) {
    auto ends = [&](const char* tail) {
        std::string t = tail;
        return path.size() > t.size() && path.compare(path.size() - t.size(), t.size(), t) == 0;
    };
    if (ends(".csv")) return "csv";
    if (ends(".geojson") || ends(".json")) return "geojson";
    if (ends(".html") || ends(".htm")) return "html";
    if (ends(".svg")) return "svg";
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    tool_start("quakeview");
    CLI::App app{
        "Reads twinquake's pair file, E1-pair file and Aftershocks and ringpick's pickout, tells each\n"
        "report's kind from its layout, and writes them as CSV, GeoJSON, one self-contained HTML page\n"
        "(map, magnitude-time chart, histograms, sortable table) or the map alone as SVG.",
        "quakeview"};
    std::vector<std::string> paths;
    std::string to, kind_name, output, catalog_path;
    app.add_option("REPORT", paths, "report files (pair file, E1-pair file, Aftershocks, pickout)")->required();
    app.add_option("--to", to, "output format: csv, geojson, html or svg (default: from the -o name, else csv)")
        ->check(CLI::IsMember({"csv", "geojson", "html", "svg"}));
    app.add_option("--kind", kind_name, "kind of every report, instead of telling it from the layout")
        ->check(CLI::IsMember({"pairs", "e1pairs", "aftershocks", "pickout"}));
    app.add_option("--catalog", catalog_path, "catalog whose events the map and chart show as faint dots");
    app.add_option("-o,--output", output, "output file, replaced whole at the end (default: standard output)");
    app.set_version_flag("--version", std::string("quakeview (quaketools) ") + QUAKE_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        tool_fail(std::string(e.what()) + " (see quakeview --help)");
    }
    if (to.empty()) to = format_of_path(output);
    if (to.empty()) to = "csv";
    int kind = kind_name.empty() ? -1 : kind_by_name(kind_name);

    std::vector<Report> reports;
    int64_t stars = 0;
    for (const std::string& p : paths) {
        reports.push_back(read_report(p, kind));
        stars += reports.back().stars;
    }
    std::vector<CatalogPoint> catalog;
    if (!catalog_path.empty()) catalog = read_catalog(catalog_path);
    output_open(output);
    if (to == "csv")
        write_csv(reports);
    else if (to == "geojson")
        write_geojson(reports);
    else if (to == "html")
        write_page(reports, catalog);
    else
        write_map(reports, catalog);
    output_commit();
    if (stars > 0) {
        std::string note = std::string(tool_name()) + ": " + std::to_string(stars) +
                           (stars == 1 ? " field" : " fields") +
                           " of asterisks (values too wide for their columns) left without a value\n";
        fputs(note.c_str(), stderr);
    }
    return 0;
}
