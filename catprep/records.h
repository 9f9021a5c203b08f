// records: from the texts of one source record to a catalog line, and the
// catalog of kept lines, ordered and written.
//
// Owns the conversion steps every format shares, in this order: the event
// type, depth and magnitude, time and position, the label, the user's
// filters, then duplicates (so a record the filters leave out takes no
// memory); the counts of records left out by reason; the kept
// lines in memory (about 100 bytes each, nothing else of the input), their
// order (exact time, then `tim`, then `nam`) and their output.
// Does not own reading a format (csv, fdsn_text, quakeml) or the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exact_time.h"

// What the user asked for.
struct Options {
    bool all_types = false;          // every event type kept
    std::vector<std::string> types;  // type keys kept (lower case); empty: "earthquake"
    bool strict = false;             // a record without depth, magnitude, time or position ends the run
    bool plain = false;              // six values per line, no `nam`
    bool has_min_mag = false, has_max_mag = false;
    double min_mag = 0, max_mag = 0;  // magnitude limits, inclusive
    bool has_start = false, has_end = false;
    Instant start, end;  // time limits, inclusive
    bool has_bbox = false;
    double west = 0, east = 0, south = 0, north = 0;  // degrees; west > east crosses the date line
    bool has_min_depth = false, has_max_depth = false;
    double min_depth = 0, max_depth = 0;  // km, inclusive
};

// The texts of one source record, as its format gives them.
struct SourceRecord {
    std::string_view time, lat, lon, dep, mag;  // texts; dep in km unless dep_in_metres
    std::string_view id;                        // the id the label is made from, already cut
    std::string_view type;                      // event type text
    bool has_type = false;                      // the format gives a type for this record
    bool dep_in_metres = false;                 // QuakeML depths
    int64_t number = 0;                         // 1-based record number in its file, for "ev<N>"
    int64_t line = 0;                           // line of the file where the record starts
    std::string_view event;                     // for diagnostics of QuakeML: the event id
};

// Reasons for leaving a record out, in the order the steps test them.
enum Reason { OTHER_TYPE, NO_DEPTH_OR_MAG, BAD_TIME, BAD_POSITION, FILTERED, DUPLICATE, REASONS };

// One kept line: its exact time for the order, and where its text lies.
struct Kept {
    Instant at;        // exact origin time
    const char* line;  // the line without its line feed, in the arena
    uint32_t len;      // bytes of the line
    uint32_t nam;      // offset of `nam` in the line
};

// One label already met, for the duplicate test.
struct Seen {
    const char* nam = nullptr;  // the label's bytes in the arena, nullptr for an empty slot
    uint32_t len = 0;
    uint32_t hash = 0;
};

struct Catalog {
    Options opt;
    std::vector<Kept> kept;
    std::vector<std::unique_ptr<char[]>> blocks;  // the arena: lines and labels, never moved
    size_t block_used = 0, block_size = 0;
    std::vector<Seen> seen;  // open-addressing table of labels
    size_t seen_count = 0;
    int64_t read = 0;  // records met
    int64_t left_out[REASONS] = {};
    std::string file;     // the file being read, for diagnostics
    std::string scratch;  // the line being built
};

// Runs one record through the steps; keeps its line or counts why not.
void take_record(Catalog& cat, const SourceRecord& rec);

// Puts the kept lines in catalog order: exact time, then `nam`.
void sort_catalog(Catalog& cat);

// The text of a kept line as written (without `nam` for --plain).
std::string_view line_text(const Catalog& cat, const Kept& k);

// Sorts the kept lines and writes them, each followed by a line feed.
void write_catalog(Catalog& cat);

// The closing summary: events written and each reason with its count.
std::string summary(const Catalog& cat);

// A text fit for a diagnostic: control bytes as \xNN, cut after 80 bytes.
std::string shown(std::string_view text);
