// Catalog lines read in one pass (the common line) and by the general
// free-form reader must give the same events bit for bit, or the same
// failure: a table of the forms that take either road, then random lines
// built from the pieces a catalog line can hold.

#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "event_catalog.h"
#include "harness.h"
#include "random_catalog.h"
#include "text_io.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    std::vector<CatalogEvent> events;  // the events read before any failure
    std::string failure;               // the diagnostic, or "" after a complete read
};

CatalogEvent blank_event() {
    CatalogEvent ev{};
    ev.tim = make_text("");
    ev.nam = ev.tim;
    return ev;
}

// Reads `count` events of `layout` from `file`, through read_event or
// through read_free alone.
Outcome read_all(const fs::path& file, int32_t count, Layout layout, bool general) {
    reset_streams();
    set_fatal_hook(throw_fatal);
    Outcome out;
    try {
        connect_stream(STDIN_STREAM, file.string());
        for (int32_t k = 0; k < count; ++k) {
            CatalogEvent ev = blank_event();
            if (general) {
                read_event_statement(ev, STDIN_STREAM, layout);
            } else {
                read_event(ev, STDIN_STREAM, layout);
            }
            out.events.push_back(ev);
        }
        close_all_streams();
    } catch (const Fatal&) {
        out.failure = std::string(last_diagnostic());
    }
    reset_streams();
    return out;
}

std::string describe(const CatalogEvent& e) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "[%.50s] %08x %08x %08x %08x %016llx [%.50s]", e.tim.c,
                  std::bit_cast<uint32_t>(e.lat), std::bit_cast<uint32_t>(e.lon), std::bit_cast<uint32_t>(e.dep),
                  std::bit_cast<uint32_t>(e.mag), static_cast<unsigned long long>(std::bit_cast<uint64_t>(e.dat)),
                  e.nam.c);
    return buf;
}

std::string describe(const Outcome& o) {
    std::string s;
    for (const CatalogEvent& e : o.events) s += describe(e) + "\n";
    return s + "failure: " + o.failure;
}

struct Scratch {
    fs::path dir;
    Scratch() {
        char tmpl[] = "/tmp/catalog_lines_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~Scratch() { fs::remove_all(dir); }
};

// Both roads over `text`, compared.
void same_both_ways(const Scratch& s, const std::string& text, int32_t count, Layout layout) {
    const fs::path file = s.dir / "catalog";
    std::ofstream(file, std::ios::binary) << text;
    const Outcome fast = read_all(file, count, layout, false);
    const Outcome general = read_all(file, count, layout, true);
    EXPECT_EQ(describe(fast), describe(general)) << "lines:\n" << text;
}

const char* const LINES[] = {
    "2011-03-11T05:46:24.12Z 38.297 142.373 29.0 9.1 40611.24055694 usp000hvnu\n",  // the common line
    "A 1 2 3 4 5 x\nB -1 -2.5 .5 5. 7e1 y\n",                                       // short and odd numbers
    "A +1 1e3 1d3 1.5+3 1.5-3 x\n",                                                 // forms the general reader rewrites
    "A NaN inf -Infinity nan 5 x\n",                                                // not numbers, infinities
    "A\t1\t2\t3\t4\t5\tx\n",                                                        // tabs
    "A 1 2 3 4 5 x\r\nB 1 2 3 4 5 y\r\n",                                           // carriage returns
    "  A 1 2 3 4 5 x trailing 'values, / *\n",                                      // leading blanks, anything after
    "'quoted time' 1 2 3 4 5 x\n",                                                  // a delimited text
    "A 1 2 3 4 5 \"Off Sanriku\"\n",                                                // a delimited label
    "A 1 2 3 4 5 O'Higgins\n",                                                      // a quote inside a word
    "A,1,2,3,4,5,x\n",                                                              // commas
    "A 1 2 3 4 5,,\n",                                                              // null values
    "A 1 2 3 4 5 /\n",                                                              // a slash ends the statement
    "A 1 2 3 4 5/x\n",                                                              // a slash right after a value
    "A 2*1.5 3 4 x\n",                                                              // a repeat count
    "A 1 2 3 4 5 3*\n",                                                             // a repeat of nulls
    "A 1 2 3\n4 5 x\n",                                                             // a statement over two lines
    "\n\nA 1 2 3 4 5 x\n",                                                          // blank lines first
    "A 1 2 3 4 5\n",                                                                // the label missing: end of file
    "A 1 2 3 4 five x\n",                                                           // a bad value
    "A 1 2 3 4 5 x",                                                                // no line feed at the end
    "a-time-text-longer-than-fifty-characters-for-the-time-field 1 2 3 4 5 "
    "a-label-longer-than-fifty-characters-for-the-label-field\n",  // texts cut to 50
    "A 1 2 3 4 123456789012345678901234567890 x\n",                // more digits than a short decimal
    "A 1 2 3 4 40611.240556940000000001 x\n",
};

TEST(CatalogLines, TableOfForms) {
    Scratch s;
    for (const char* text : LINES) {
        same_both_ways(s, text, 2, Layout::labelled);
        same_both_ways(s, text, 1, Layout::labelled);
        same_both_ways(s, text, 2, Layout::plain);
    }
}

// A random piece of a catalog line.
std::string piece(rc::Rng& r) {
    switch (rc::between(r, 0, 12)) {
    case 0: return std::to_string(rc::between(r, -200, 200));
    case 1: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rc::between(r, 0, 9)), rc::uniform(r, -400.0, 50000.0));
        return buf;
    }
    case 2: return rc::pick(r, {"NaN", "-inf", "1e5", "1.5d2", "2.5+1", "+3", ".5", "5.", "-.25", "1e-50", "3.4e39"});
    case 3: return rc::pick(r, {",", ", ", " ,", ",,", "/", "*", "2*", "3*4.5", "''", "\"\""});
    case 4: return rc::pick(r, {"'a b'", "\"c, d\"", "'e/f'", "O'Neil", "x\"y", "'unclosed"});
    case 5: return rc::pick(r, {"\t", "  ", "\r", "\n"});
    case 6:
        return std::string(static_cast<size_t>(rc::between(r, 1, 60)), static_cast<char>('a' + rc::between(r, 0, 25)));
    case 7: return rc::time_text(rc::uniform(r, 20000.0, 45000.0), static_cast<int32_t>(rc::between(r, 1, 999)));
    default: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.8f", rc::uniform(r, 20000.0, 45000.0));
        return buf;
    }
    }
}

// A number in one of the forms a catalog writes, now and then another piece.
std::string number(rc::Rng& r) {
    if (rc::chance(r, 0.05)) return piece(r);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rc::between(r, 0, 9)), rc::uniform(r, -400.0, 50000.0));
    return buf;
}

// Lines most of which are common ones, the rest any mixture of pieces.
std::string random_lines(rc::Rng& r, int32_t lines) {
    std::string text;
    for (int32_t k = 0; k < lines; ++k) {
        const bool common = rc::chance(r, 0.5);
        const int32_t values = static_cast<int32_t>(rc::between(r, common ? 6 : 1, common ? 9 : 10));
        for (int32_t v = 0; v < values; ++v) {
            if (v > 0) text += rc::chance(r, 0.9) ? " " : rc::pick(r, {"\t", "  ", " \t "});
            if (!common) {
                text += piece(r);
            } else if (v == 0 || v == 6) {
                text += rc::time_text(rc::uniform(r, 20000.0, 45000.0), v);
            } else {
                text += number(r);
            }
        }
        if (rc::chance(r, 0.05)) text += "\r";
        if (k + 1 < lines || rc::chance(r, 0.9)) text += "\n";
    }
    return text;
}

TEST(CatalogLines, RandomLinesReadTheSameEitherWay) {
    Scratch s;
    rc::Rng r = rc::make_rng(2026);
    for (int32_t k = 0; k < 1200; ++k) {
        const int32_t lines = static_cast<int32_t>(rc::between(r, 1, 4));
        const std::string text = random_lines(r, lines);
        const Layout layout = rc::chance(r, 0.8) ? Layout::labelled : Layout::plain;
        same_both_ways(s, text, static_cast<int32_t>(rc::between(r, 1, lines + 1)), layout);
        if (HasFailure()) break;
    }
}

}  // namespace
