// The pair search over small hand-made catalogs, one per rule that is easy to
// get wrong. Each catalog names its events by their time text, and each report
// is summed up as "group/count E2<-E1" (pairs and E1 pairs) or
// "number event<-parent" (aftershocks).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "event_catalog.h"
#include "event_index.h"
#include "geometry.h"
#include "harness.h"
#include "random_catalog.h"
#include "records.h"
#include "search_run.h"
#include "templates.h"
#include "text_io.h"

namespace fs = std::filesystem;

namespace {

std::string field(const std::string& line, size_t first, size_t last) {
    std::string s = line.substr(first - 1, last - first + 1);
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// Sums up a report; `parent_at` is the column of the second event's time.
std::string summary(const std::string& text, bool aftershocks, size_t line_length) {
    std::stringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        EXPECT_EQ(line.size(), line_length) << line;
        if (!out.empty()) out += ", ";
        if (aftershocks) {
            out += field(line, 1, 4) + " " + field(line, 6, 29) + "<-" + field(line, 98, 121);
        } else {
            out += field(line, 1, 4) + "/" + field(line, 5, 8) + " " + field(line, 11, 34) + "<-" + field(line, 68, 91);
        }
    }
    return out;
}

struct Reports {
    std::string pairs, aftershocks, e1pairs;
};

// Runs the search on a labelled catalog with parameters "dist window e1min e2min".
Reports run_search(const std::string& params, const std::string& catalog) {
    char tmpl[] = "/tmp/search_XXXXXX";
    fs::path dir = mkdtemp(tmpl);
    std::ofstream(dir / "cat.txt") << catalog;
    RunParameters p{};
    std::stringstream ps(params);
    ps >> p.dist_range >> p.time_window >> p.e1_min_mag >> p.e2_min_mag;
    int32_t n = static_cast<int32_t>(std::count(catalog.begin(), catalog.end(), '\n'));
    const RunReports run = run_search_in(dir, "fast", dir / "cat.txt", n, p, Steps::fast);

    Reports r;
    EXPECT_EQ(run.echo, run.pairs) << "the echo differs from the pair file";
    r.pairs = summary(run.pairs, false, PAIR_LINE_LEN);
    r.aftershocks = summary(run.aftershocks, true, AFTERSHOCK_LINE_LEN);
    r.e1pairs = summary(run.e1pairs, false, PAIR_LINE_LEN);
    fs::remove_all(dir);
    return r;
}

struct SearchCase {
    const char* rule;
    const char* params;   // dist_range time_window e1_min_mag e2_min_mag
    const char* catalog;  // labelled lines: tim lat lon dep mag dat nam
    const char* pairs;
    const char* aftershocks;
    const char* e1pairs;
};

const SearchCase SEARCH_CASES[] = {
    {"a 32-bit 6.95 counts as at or above the split: complete from day 7304", "100 10 0 6",
     "A 0 0 10 5.0 7300.0 a\n"
     "B 0 0 10 6.95 7304.0 b\n",
     "1/1 B<-A", "", ""},
    {"below the split the catalog is complete only from day 23741", "100 10 0 6",
     "A 50 0 10 5.0 23735.0 a\n"
     "B 50 0 10 6.9 23740.99 b\n"
     "C 0 0 10 5.0 23750.0 c\n"
     "D 0 0 10 6.9 23755.0 d\n",
     "1/1 D<-C", "", ""},
    {"the look-back reaches exactly 30.0 days", "100 1 0 5",
     "P 0 0 10 7.0 30000.0 p\n"
     "C 0 0 10 6.0 30030.0 c\n",
     "", "1 C<-P", ""},
    {"the look-back ends beyond 30.0 days", "100 1 0 5",
     "P 0 0 10 7.0 30000.0 p\n"
     "C 0 0 10 6.0 30030.000001 c\n",
     "", "", ""},
    {"equal magnitudes: no aftershock; a later equal event disqualifies; an equal E1 is taken", "100 10 0 5",
     "A 0 0 10 5.0 30000.0 a\n"
     "B 0 0 10 5.0 30001.0 b\n",
     "1/1 B<-A", "", ""},
    {"the best of two larger predecessors is the larger", "100 1 0 5.5",
     "P1 0 0 10 6.5 30000.0 p1\n"
     "P2 0 0 10 6.0 30010.0 p2\n"
     "C 0 0 10 5.5 30012.0 c\n",
     "", "1 P2<-P1, 2 C<-P1", ""},
    {"of two equal larger predecessors the nearer in time", "100 1 0 5.5",
     "P1 0 0 10 6.5 30000.0 p1\n"
     "P2 0 0 10 6.5 30010.0 p2\n"
     "C 0 0 10 5.5 30012.0 c\n",
     "", "1 C<-P2", ""},
    {"a larger earlier event outside its own radius makes no aftershock", "100 10 0 5",
     "P 0 0 10 6.0 30000.0 p\n"
     "C 0 0.5 10 5.5 30001.0 c\n",
     "", "", ""},
    {"an event closer than 5.8e-5 days before the E2 ends the whole scan", "100 10 0 5",
     "A 0 0 10 4.0 43009.0 a\n"
     "B 0 0 10 4.0 43010.0 b\n"
     "E 0 0 10 5.0 43010.000058 e\n",
     "", "", ""},
    {"an event 5.8e-5 days or more before the E2 is visited", "100 10 0 5",
     "A 0 0 10 4.0 43009.0 a\n"
     "B 0 0 10 4.0 43010.0 b\n"
     "E 0 0 10 5.0 43010.000059 e\n",
     "1/1 E<-B, 1/2 E<-A", "", "2/1 B<-A"},
    {"a larger candidate is skipped and the scan goes on past it", "100 10 0 5",
     "A 0 0 10 4.0 30000.0 a\n"
     "L 0 0.5 10 6.0 30001.0 l\n"
     "E 0 0 10 5.0 30002.0 e\n",
     "1/1 L<-A, 2/1 E<-A", "", ""},
    {"an E1 whose larger predecessor lies 31 days back is taken", "100 40 0 5",
     "P 0 0 10 4.9 30000.0 p\n"
     "A 0 0 10 4.0 30031.0 a\n"
     "E 0 0.5 10 5.0 30035.0 e\n",
     "1/1 E<-A, 1/2 E<-P", "", ""},
    {"an E1 that is an aftershock of a larger event within 30 days is not taken", "100 40 0 5",
     "P 0 0 10 4.9 30000.0 p\n"
     "A 0 0 10 4.0 30029.0 a\n"
     "E 0 0.5 10 5.0 30035.0 e\n",
     "1/1 E<-P", "", ""},
    {"E1-pair numbers go on from the groups and skip pairs farther than the range", "50 10 0 5",
     "C 0 -0.36 10 4.0 30000.0 c\n"
     "B 0 0 10 4.5 30001.0 b\n"
     "A 0 0.36 10 4.0 30002.0 a\n"
     "E 0 0 10 5.0 30003.0 e\n",
     "1/1 E<-A, 1/2 E<-B, 1/3 E<-C", "", "3/1 B<-C"},
    {"two E2 with E1 and one without: groups 1, 2", "100 5 0 5",
     "A 0 0 10 4.0 30000.0 a\n"
     "B 0 0 10 4.0 30001.0 b\n"
     "E 0 0 10 5.0 30002.0 e\n"
     "F 10 10 10 5.5 30003.0 f\n"
     "G 0 0 10 4.0 30040.0 g\n"
     "H 0 0 10 5.1 30041.0 h\n",
     "1/1 E<-B, 1/2 E<-A, 2/1 H<-G", "", "3/1 B<-A"},
    {"e1_min_mag keeps smaller E1 out", "100 10 4.5 5",
     "A 0 0 10 4.0 30000.0 a\n"
     "B 0 0 10 4.5 30001.0 b\n"
     "E 0 0 10 5.0 30002.0 e\n",
     "1/1 E<-B", "", ""},
    {"negative range and window let no pair through", "-1 -1 0 5",
     "A 0 0 10 4.0 30000.0 a\n"
     "E 0 0 10 5.0 30002.0 e\n",
     "", "", ""},
};

TEST(Search, HandMadeCatalogs) {
    for (const SearchCase& c : SEARCH_CASES) {
        Reports r = run_search(c.params, c.catalog);
        EXPECT_EQ(r.pairs, c.pairs) << c.rule;
        EXPECT_EQ(r.aftershocks, c.aftershocks) << c.rule;
        EXPECT_EQ(r.e1pairs, c.e1pairs) << c.rule;
    }
}

TEST(Search, GroupsOfAnySizeKeepEveryE1) {
    // Twelve E1 of equal magnitude: every one is reported and kept, and every
    // pair of them (66) is an E1 pair, numbered 2 to 67.
    std::string catalog;
    for (int k = 0; k < 12; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "A%d 0 0 10 4.0 %d.0 x\n", k, 30000 + k);
        catalog += line;
    }
    catalog += "E 0 0 10 5.0 30013.0 e\n";
    Reports r = run_search("100 20 0 5", catalog);
    EXPECT_EQ(r.pairs.substr(0, 12), "1/1 E<-A11, ");
    EXPECT_NE(r.pairs.find("1/12 E<-A0"), std::string::npos) << r.pairs;
    EXPECT_EQ(r.e1pairs.substr(0, 12), "2/1 A11<-A10");
    EXPECT_NE(r.e1pairs.find("12/11 A11<-A0"), std::string::npos);
    EXPECT_EQ(r.e1pairs.substr(r.e1pairs.rfind(", ") + 2), "67/1 A1<-A0");
}

}  // namespace

namespace {

// Pair and aftershock records laid out from cached per-event pieces must be
// the characters their templates give, for every kind of value a piece holds.
TEST(Search, RecordsFromPiecesMatchTheTemplates) {
    const float specials[] = {
        0.0f, -0.0f, 7.25f, -0.04f, 99999.96f, 1e9f, -1e-9f, std::numeric_limits<float>::infinity(), std::nanf("")};
    rc::Rng r = rc::make_rng(12345);
    auto next = [&] { return r.g(); };
    auto value = [&]() -> float {
        if (next() % 4 == 0) return specials[next() % 9];
        return (static_cast<float>(next() % 2000001) - 1000000.0f) / static_cast<float>(1 + next() % 10000);
    };
    EventCatalog cat;
    for (int k = 0; k < 300; ++k) {
        CatalogEvent ev{};
        char text[64];
        std::snprintf(text, sizeof text, "2011-03-11T05:46:%02dZ-and-more-characters", k % 60);
        ev.tim = make_text(text);
        std::snprintf(text, sizeof text, "label-%d-that-is-longer-than-thirty-columns", k);
        ev.nam = make_text(text);
        ev.lat = value();
        ev.lon = value();
        ev.dep = value();
        ev.mag = value();
        ev.dat = static_cast<double>(value()) * 1.000000123;
        add_event(cat, ev);
    }
    const RecordTemplate t = parse_template(PAIR_TEMPLATE);
    const RecordTemplate ta = parse_template(AFTERSHOCK_TEMPLATE);
    RecordCache c;
    prepare_records(c, cat.n);
    for (int k = 0; k < 3000; ++k) {
        const int32_t a = 1 + static_cast<int32_t>(next() % 300), b = 1 + static_cast<int32_t>(next() % 300);
        const int32_t group = static_cast<int32_t>(next() % 20000) - 100, count = static_cast<int32_t>(next() % 200);
        const float d = value(), dt = value();
        IoItem values[PAIR_VALUES];
        pair_values(cat, group, count, a, b, d, dt, values);
        char want[MAX_LINE_LENGTH], got[PAIR_LINE_LEN];
        ASSERT_EQ(format_template(t, values, PAIR_VALUES, want), PAIR_LINE_LEN);
        pair_line(cat, c, group, count, a, b, d, dt, got);
        ASSERT_EQ(std::string(got, PAIR_LINE_LEN), std::string(want, PAIR_LINE_LEN));

        IoItem after[AFTERSHOCK_VALUES];
        aftershock_values(cat, group, a, b, after);
        char want_after[MAX_LINE_LENGTH], got_after[AFTERSHOCK_LINE_LEN];
        ASSERT_EQ(format_template(ta, after, AFTERSHOCK_VALUES, want_after), AFTERSHOCK_LINE_LEN);
        aftershock_line(cat, c, group, a, b, got_after);
        ASSERT_EQ(std::string(got_after, AFTERSHOCK_LINE_LEN), std::string(want_after, AFTERSHOCK_LINE_LEN));
    }
}

}  // namespace

namespace {

// Runs past 2^31: the offsets of the record pieces and of the E1 table, and
// the counters the E1-pair report runs up, with no run that size.
TEST(Search, OffsetsAndCountersPastTwoToThe31) {
    // 40 million aftershock pieces of 70 columns lie 2.8e9 bytes in.
    EXPECT_EQ(piece_offset(40'000'000, 70), int64_t{2'800'000'000});
    EXPECT_EQ(piece_offset(INT32_MAX, 189), int64_t{INT32_MAX} * 189);

    // Groups whose E1 begin beyond 2^31 in the table keep their counts.
    E1Table t;
    t.first = {0, int64_t{2'999'999'990}, int64_t{3'000'000'000}, int64_t{3'000'000'005}};
    EXPECT_EQ(ie1_count(t, 1), 10);
    EXPECT_EQ(ie1_count(t, 2), 5);

    // The group counter goes past 2^31 without overflow, and every record
    // that shows it has asterisks in its I4 column, as from 10,000 on.
    RunState st;
    st.group_count = INT32_MAX - 1;
    open_group(st);
    open_group(st);
    EXPECT_EQ(st.group_count, int64_t{INT32_MAX} + 1);
    EXPECT_EQ(printed_count(st.group_count), INT32_MAX);
    EXPECT_EQ(printed_count(int64_t{1} << 40), INT32_MAX);
    EXPECT_EQ(printed_count(12345), 12345);

    EventCatalog cat;
    CatalogEvent ev{make_text("T"), 1.0f, 2.0f, 3.0f, 4.0f, 30000.0, make_text("N")};
    add_event(cat, ev);
    add_event(cat, ev);
    RecordCache rc;
    prepare_records(rc, cat.n);
    char line[PAIR_LINE_LEN];
    pair_line(cat, rc, printed_count(st.group_count), 1, 1, 2, 0.0f, 0.0f, line);
    EXPECT_EQ(std::string(line, 8), "****   1");
    char after[AFTERSHOCK_LINE_LEN];
    aftershock_line(cat, rc, printed_count(int64_t{5'000'000'000}), 1, 2, after);
    EXPECT_EQ(std::string(after, 5), "**** ");
}

// The index picks the events of large rupture radius by their magnitude: it
// must pick exactly those whose radius exceeds BIG_RADIUS_KM, for every float
// near the bound (about 6.13), the infinities and a NaN.
TEST(Search, LargeRadiusEventsAreExactlyThoseBeyondTheBound) {
    std::vector<float> mags = {0.0f, -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()};
    for (float m = 6.12f; m < 6.14f; m = std::nextafter(m, 7.0f)) mags.push_back(m);
    EventCatalog cat;
    std::vector<int32_t> want;
    for (const float m : mags) {
        CatalogEvent ev{};
        ev.tim = make_text("t");
        ev.nam = ev.tim;
        ev.mag = m;
        add_event(cat, ev);
        if (rupture_radius(m) > BIG_RADIUS_KM) want.push_back(cat.n);
    }
    EventIndex x;
    build_index(x, cat);
    EXPECT_EQ(x.big, want);
    EXPECT_GT(want.size(), 1000u);  // the bound lies inside the floats tried
    EXPECT_LT(want.size(), mags.size() - 1000);
}

}  // namespace
