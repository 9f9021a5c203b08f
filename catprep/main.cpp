// catprep: turns the catalogs seismologists download (ComCat CSV, FDSN event
// text, QuakeML, gzip-compressed or not) into a catalog in the labelled
// layout that twinquake and ringpick read, in time order. Run order: options,
// each input in the order given, the catalog sorted and written, a summary
// on standard error.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <string>
#include <vector>

#include "formats.h"
#include "records.h"
#include "tool_output.h"
#include "values.h"

namespace {

constexpr double PROGRESS_AFTER_S = 1.0;  // a progress line only for inputs slower than this
constexpr double PROGRESS_EVERY_S = 0.5;

using clock_type = std::chrono::steady_clock;
clock_type::time_point input_start, last_progress;
bool progress_shown = false;

void show_progress(const Input& in, const Catalog& cat) {
    const auto now = clock_type::now();
    const double since = std::chrono::duration<double>(now - input_start).count();
    if (since < PROGRESS_AFTER_S || std::chrono::duration<double>(now - last_progress).count() < PROGRESS_EVERY_S)
        return;
    last_progress = now;
    progress_shown = true;
    const std::string line = std::string("\r") + tool_name() + ": " + in.name + ": " + std::to_string(cat.read) +
                             " records, " + std::to_string(in.taken >> 20) + " MB read\x1b[K";
    if (write(2, line.data(), line.size()) < 0) {
        // A progress line that cannot be shown is no failure.
    }
}

void end_progress() {
    if (!progress_shown) return;
    progress_shown = false;
    if (write(2, "\r\x1b[K", 4) < 0) {
        // As above.
    }
}

// A number option: the text must be a decimal number.
double number_option(const std::string& name, const std::string& text) {
    Number n;
    if (!read_number(text, 0, n)) tool_fail(name + ": not a number (\"" + shown(text) + "\")");
    return n.value;
}

Instant time_option(const std::string& name, const std::string& text) {
    Instant at;
    if (!parse_time(text, at))
        tool_fail(name + ": not a date or time such as 2011-03-11 or 2011-03-11T05:46:24Z (\"" + shown(text) + "\")");
    return at;
}

}  // namespace

int main(int argc, char** argv) {
    tool_start("catprep");
    CLI::App app{
        "catprep: earthquake catalogs (ComCat CSV, FDSN text, QuakeML; gzip or not) into the "
        "labelled catalog layout of twinquake and ringpick, in time order",
        "catprep"};
    std::vector<std::string> files;
    std::string output, format, types, min_mag, max_mag, start, end, bbox, min_depth, max_depth;
    bool all_types = false, strict = false, plain = false, quiet = false;
    app.add_option("FILE", files, "input files in the order given; - is standard input (the default)")->type_name("");
    app.add_option("-o,--output", output, "write the catalog to FILE, replaced only after a complete run")
        ->type_name("FILE");
    app.add_option("--format", format, "csv, text or quakeml: the input format, instead of recognising it")
        ->check(CLI::IsMember({"csv", "text", "quakeml"}))
        ->type_name("NAME");
    auto* type_opt =
        app.add_option("--type", types, "comma-separated event types to keep (default: earthquake)")->type_name("LIST");
    app.add_flag("--all-types", all_types, "keep events of every type")->excludes(type_opt);
    app.add_flag("--strict", strict, "end the run at the first event without depth, magnitude, time or position");
    app.add_option("--min-mag", min_mag, "keep magnitudes of at least M")->type_name("M");
    app.add_option("--max-mag", max_mag, "keep magnitudes of at most M")->type_name("M");
    app.add_option("--start", start, "keep events at or after this UTC date or time")->type_name("TIME");
    app.add_option("--end", end, "keep events at or before this UTC date or time")->type_name("TIME");
    app.add_option("--bbox", bbox, "WEST/EAST/SOUTH/NORTH in degrees; WEST > EAST crosses the date line")
        ->type_name("W/E/S/N");
    app.add_option("--min-depth", min_depth, "keep depths of at least KM")->type_name("KM");
    app.add_option("--max-depth", max_depth, "keep depths of at most KM")->type_name("KM");
    app.add_flag("--plain", plain, "six values per line (no nam): the layout of ringpick");
    app.add_flag("-q,--quiet", quiet, "no summary on standard error");
    app.set_version_flag("--version", std::string("catprep (quaketools) ") + QUAKE_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help().c_str());
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        tool_fail(std::string(e.what()) + " (catprep --help lists the options)");
    }

    Catalog cat;
    Options& o = cat.opt;
    o.all_types = all_types;
    o.strict = strict;
    o.plain = plain;
    if (!types.empty()) {
        size_t p = 0;
        for (;;) {
            const size_t comma = types.find(',', p);
            const std::string k = type_key(std::string_view(types).substr(p, comma - p));
            if (!k.empty()) o.types.push_back(k);
            if (comma == std::string::npos) break;
            p = comma + 1;
        }
    }
    if ((o.has_min_mag = !min_mag.empty())) o.min_mag = number_option("--min-mag", min_mag);
    if ((o.has_max_mag = !max_mag.empty())) o.max_mag = number_option("--max-mag", max_mag);
    if ((o.has_min_depth = !min_depth.empty())) o.min_depth = number_option("--min-depth", min_depth);
    if ((o.has_max_depth = !max_depth.empty())) o.max_depth = number_option("--max-depth", max_depth);
    if ((o.has_start = !start.empty())) o.start = time_option("--start", start);
    if ((o.has_end = !end.empty())) o.end = time_option("--end", end);
    if ((o.has_bbox = !bbox.empty())) {
        double v[4];
        size_t p = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t slash = bbox.find('/', p);
            if ((i < 3) != (slash != std::string::npos))
                tool_fail("--bbox: four values WEST/EAST/SOUTH/NORTH expected (\"" + shown(bbox) + "\")");
            v[i] = number_option("--bbox", bbox.substr(p, slash - p));
            p = slash + 1;
        }
        o.west = v[0];
        o.east = v[1];
        o.south = v[2];
        o.north = v[3];
        if (o.south > o.north) tool_fail("--bbox: SOUTH above NORTH (\"" + shown(bbox) + "\")");
    }
    if (files.empty()) files.push_back("-");
    const Format forced = format_named(format);

    // An -o that names one of the inputs would replace the export with the
    // catalog made of it: refused before anything is read.
    struct stat out_st, in_st;
    if (!output.empty() && output != "-" && stat(output.c_str(), &out_st) == 0)
        for (const std::string& f : files)
            if (f != "-" && stat(f.c_str(), &in_st) == 0 && in_st.st_dev == out_st.st_dev &&
                in_st.st_ino == out_st.st_ino)
                tool_fail(output + ": the output is also an input (" + f + "); the catalog would replace it");
    output_open(output);
    if (isatty(2) && !quiet) progress_hook = show_progress;
    for (const std::string& f : files) {
        Input in;
        input_open(in, f);
        input_start = last_progress = clock_type::now();
        read_input(in, forced, cat);
        end_progress();
    }
    write_catalog(cat);
    output_commit();
    if (!quiet) {
        const std::string s = std::string(tool_name()) + ": " + summary(cat) + "\n";
        if (write(2, s.data(), s.size()) < 0) {
            // The catalog is complete; a lost summary does not undo it.
        }
    }
    return 0;
}
