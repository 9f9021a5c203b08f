// quakeview's reading of the reports: every record kind read back field by
// field (asterisks included), the kind told from the first line, bad lines
// refused with the file, line and column, and the catalog's positions.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "export.h"
#include "report.h"
#include "tool_output.h"

namespace {

// Diagnostics carry the program's name.
const bool STARTED = (tool_start("quakeview"), true);

// The fields of record `r` as printed, joined by '|'; asterisks shown as <*>.
std::string printed(const Report& rep, int64_t r) {
    std::string s;
    for (int k = 0; k < kind_layout(rep.kind).field_count; ++k) {
        if (k > 0) s += '|';
        const Field& f = field_of(rep, r, k);
        s += f.state == FIELD_STARS ? std::string("<*>") : std::string(f.text);
    }
    return s;
}

// A line of the pair file: twinquake's own first line of the small complete run.
const std::string PAIR_LINE =
    "   1   1  2000-01-05T00:00:00       20.050  40.050   10.0    5.5   2000-01-02T12:00:00       20.100  40.100   "
    "12.0    4.5     7.2   2.500000  36528.00000000   NC                            ";
// Group and distance too wide, a negative zero, NaN, a label with a comma and quotes.
const std::string PAIR_STARS =
    "****  12  2011-03-11T05:46:24.120Z  -0.000 -38.297   29.0    9.1   2011-03-09T02:45:20.330Z 179.999  38.435   "
    "32.0    7.3********        NaN  40612.24055694   usp000hvnu, \"x\"               ";
// An E1-pair line: its numbers continue after the last group.
const std::string E1PAIR_LINE =
    "   2   1  2000-01-02T12:00:00       20.100  40.100   12.0    4.5   1999-12-30T00:00:00       20.000  40.000   "
    "10.0    4.0    14.2   3.500000  36525.50000000   NB                            ";
const std::string AFTERSHOCK_LINE =
    "   1 2000-01-06T00:00:00       40.060  20.040    8.0    5.1  36529.00000000  ND                  "
    "2000-01-05T00:00:00       40.050  20.050   10.0    5.5  36528.00000000";
// The label fills its 20 columns and the parent's time follows at once.
const std::string AFTERSHOCK_STARS =
    "**** 1965-09-22T22:08:01.470Z  36.395 141.460   35.0    6.3  24005.92223924  iscgem854045abcdefgh"
    "1965-09-17T16:21:20.190Z  36.270 141.361   35.0    6.8****************";
const std::string PICK_LINE = "1967-01-17T11:59:33.540Z    38.244   142.152   45.8    6.6  24487.49969375  26.243";
const std::string PICK_STARS = "1967-01-17T11:59:33.540Z    38.244  -142.152   -0.0    6.6  24487.49969375********";

struct ReadCase {
    std::string line;
    int kind;  // ReportKind told from the line
    std::string fields;
};

TEST(QuakeviewRead, EveryKindGivesThePrintedValues) {
    const ReadCase cases[] = {
        {PAIR_LINE, KIND_PAIRS,
         "1|1|2000-01-05T00:00:00|20.050|40.050|10.0|5.5|2000-01-02T12:00:00|20.100|40.100|12.0|4.5|7.2|2.500000|"
         "36528.00000000|NC"},
        {E1PAIR_LINE, KIND_E1PAIRS,
         "2|1|2000-01-02T12:00:00|20.100|40.100|12.0|4.5|1999-12-30T00:00:00|20.000|40.000|10.0|4.0|14.2|3.500000|"
         "36525.50000000|NB"},
        {PAIR_STARS, KIND_E1PAIRS,
         "<*>|12|2011-03-11T05:46:24.120Z|-0.000|-38.297|29.0|9.1|2011-03-09T02:45:20.330Z|179.999|38.435|32.0|7.3|"
         "<*>|NaN|40612.24055694|usp000hvnu, \"x\""},
        {AFTERSHOCK_LINE, KIND_AFTERSHOCKS,
         "1|2000-01-06T00:00:00|40.060|20.040|8.0|5.1|36529.00000000|ND|2000-01-05T00:00:00|40.050|20.050|10.0|5.5|"
         "36528.00000000"},
        {AFTERSHOCK_STARS, KIND_AFTERSHOCKS,
         "<*>|1965-09-22T22:08:01.470Z|36.395|141.460|35.0|6.3|24005.92223924|iscgem854045abcdefgh|"
         "1965-09-17T16:21:20.190Z|36.270|141.361|35.0|6.8|<*>"},
        {PICK_LINE, KIND_PICKOUT, "1967-01-17T11:59:33.540Z|38.244|142.152|45.8|6.6|24487.49969375|26.243"},
        {PICK_STARS, KIND_PICKOUT, "1967-01-17T11:59:33.540Z|38.244|-142.152|-0.0|6.6|24487.49969375|<*>"},
    };
    for (const ReadCase& c : cases) {
        Report rep = read_report_bytes("r.out", c.line + "\n", -1);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(rep.kind, c.kind);
        ASSERT_EQ(rep.records, 1);
        EXPECT_EQ(printed(rep, 0), c.fields);
        int64_t stars = 0;
        for (size_t k = c.fields.find("<*>"); k != std::string::npos; k = c.fields.find("<*>", k + 1)) ++stars;
        EXPECT_EQ(rep.stars, stars);
    }
}

TEST(QuakeviewRead, NumbersKeepTheirValueAndSign) {
    Report rep = read_report_bytes("r.out", PAIR_STARS + "\n" + PAIR_LINE + "\r\n", KIND_PAIRS);
    ASSERT_EQ(rep.records, 2);                             // a DOS line end is taken as a line end
    EXPECT_TRUE(std::signbit(field_of(rep, 0, 3).value));  // -0.000 stays a negative zero
    EXPECT_EQ(field_of(rep, 0, 4).value, -38.297);
    EXPECT_TRUE(std::isnan(field_of(rep, 0, 13).value));
    EXPECT_EQ(field_of(rep, 0, 12).value, 0.0);  // asterisks give no value
    EXPECT_EQ(field_of(rep, 1, 14).value, 36528.0);
    EXPECT_EQ(field_of(rep, 1, 1).value, 1.0);
}

TEST(QuakeviewRead, KindFromTheFirstLineOrAsGiven) {
    EXPECT_EQ(detect_kind(PAIR_LINE), KIND_PAIRS);
    EXPECT_EQ(detect_kind("  12   1" + PAIR_LINE.substr(8)), KIND_E1PAIRS);
    EXPECT_EQ(detect_kind(AFTERSHOCK_LINE), KIND_AFTERSHOCKS);
    EXPECT_EQ(detect_kind(PICK_LINE), KIND_PICKOUT);
    EXPECT_EQ(detect_kind(PICK_LINE + " "), -1);
    // --kind holds for every line: the first pair line read as an E1 pair.
    EXPECT_EQ(read_report_bytes("r.out", PAIR_LINE + "\n", KIND_E1PAIRS).kind, KIND_E1PAIRS);
    Report empty = read_report_bytes("r.out", "", KIND_AFTERSHOCKS);
    EXPECT_EQ(empty.records, 0);
    EXPECT_EQ(kind_by_name("aftershocks"), KIND_AFTERSHOCKS);
    EXPECT_EQ(kind_by_name("Aftershocks"), -1);
}

struct BadCase {
    std::string bytes;
    const char* message;  // expected on standard error
};

TEST(QuakeviewRead, BadLinesEndTheRunNamingFileLineAndColumn) {
    std::string pick = PICK_LINE;
    auto with = [](std::string line, size_t at, std::string_view text) { return line.replace(at, text.size(), text); };
    const BadCase cases[] = {
        {PICK_LINE + "\n" + PICK_LINE.substr(0, 81) + "\n",
         "quakeview: r.out:2: a line of 81 columns where a line of pickout has 82 \\(1967-01-17T11:59:33"},
        {PICK_LINE + "\n\n", "quakeview: r.out:2: a line of 0 columns where a line of pickout has 82"},
        {"short line\n", "quakeview: r.out:1: a line of 10 columns is no report \\(pair files have 189"},
        {"", "quakeview: r.out: an empty report tells nothing of its kind; give it with --kind"},
        {with(pick, 28, "3x.244") + "\n",
         "quakeview: r.out:1:25: lat is neither a number nor asterisks \\(    3x\\.244\\)"},
        {with(pick, 76, "**.243") + "\n", "quakeview: r.out:1:75: distance_km is neither a number nor asterisks"},
        {with(pick, 46, "45.80") + "\n", "quakeview: r.out:1:45: depth_km is neither"},    // two decimals in F7.1
        {with(pick, 46, "45.8 ") + "\n", "quakeview: r.out:1:45: depth_km is neither"},    // not right-justified
        {with(pick, 44, "       ") + "\n", "quakeview: r.out:1:45: depth_km is neither"},  // blank
        {with(pick, 46, "45.8\t") + "\n", "quakeview: r.out:1:45: depth_km is neither"},   // a tab after it
        // Control bytes of the offending text are shown as \xNN: the diagnostic stays one line.
        {with(pick, 28, "3\r.244") + "\n",
         "r.out:1:25: lat is neither a number nor asterisks \\(    3\\\\x0d\\.244\\)"},
        {"\x1b[2J" + PICK_LINE + "\n", "r.out:1: a line of 86 columns is no report .*\\(\\\\x1b\\[2J1967-01-17T11:59"},
        {with(pick, 64, "24487,49969375") + "\n", "quakeview: r.out:1:59: dat is neither"},
        {with(PAIR_LINE, 8, "x") + "\n", "quakeview: r.out:1:9: a blank column between fields is not blank"},
        {with(PAIR_LINE, 2, " -") + "\n", "quakeview: r.out:1:1: pair is neither"},
        {with(AFTERSHOCK_LINE, 76, "x") + "\n", "quakeview: r.out:1:77: a blank column"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EXIT(read_report_bytes("r.out", c.bytes, -1), testing::ExitedWithCode(2), c.message);
    }
}

TEST(QuakeviewCatalog, PositionsOfPlainAndLabelledLines) {
    std::vector<CatalogPoint> p =
        read_catalog_bytes("c.cat",
                           "1964-11-27T13:47:41.520Z 37.875 138.485 15 5.95 23706.57478611 iscgem863099\n"
                           "\n"
                           "'1965 01 26', +35.99, -139.81, 81.8, 5.56, 23766.99140185\r\n"
                           "x 1 2 3 4 5");
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].lat, 37.875f);
    EXPECT_EQ(p[0].lon, 138.485f);
    EXPECT_EQ(p[0].mag, 5.95f);
    EXPECT_EQ(p[0].dat, 23706.57478611);
    EXPECT_EQ(p[1].lat, 35.99f);
    EXPECT_EQ(p[1].lon, -139.81f);
    EXPECT_EQ(p[2].dat, 5.0);
    EXPECT_EXIT(read_catalog_bytes("c.cat", "a 1 2 3 4 5\nb 1 2 3 4\n"), testing::ExitedWithCode(2),
                "quakeview: c.cat:2: a catalog line holds tim lat lon dep mag dat \\[nam\\] \\(b 1 2 3 4\\)");
    EXPECT_EXIT(read_catalog_bytes("c.cat", "a 1 2 3 x 5\n"), testing::ExitedWithCode(2), "c.cat:1:");
}

TEST(QuakeviewJson, StringsNumbersAndLongitudes) {
    EXPECT_EQ(json_string("a\"b\\c\x01"), "\"a\\\"b\\\\c\\u0001\"");
    EXPECT_EQ(json_string("S\xc3\xa3o"), "\"S\xc3\xa3o\"");    // UTF-8 kept
    EXPECT_EQ(json_string("S\xe3o"), "\"S\\ufffdo\"");         // a Latin-1 byte is no UTF-8
    EXPECT_EQ(json_string("\xe3\x81"), "\"\\ufffd\\ufffd\"");  // a cut sequence
    struct NumberCase {
        Field f;
        const char* json;
    };
    const NumberCase numbers[] = {
        {{"-0.000", -0.0, FIELD_VALUE}, "-0.000"}, {{"36528.00000000", 36528.0, FIELD_VALUE}, "36528.00000000"},
        {{"007.5", 7.5, FIELD_VALUE}, "7.5"},  // a leading zero is no JSON
        {{"NaN", NAN, FIELD_VALUE}, "null"},       {{"-Infinity", -INFINITY, FIELD_VALUE}, "null"},
        {{"****", 0.0, FIELD_STARS}, "null"},
    };
    for (const NumberCase& c : numbers) EXPECT_EQ(json_number(c.f), c.json) << c.f.text;
    EXPECT_EQ(wrap_lon(200.0), -160.0);
    EXPECT_EQ(wrap_lon(-190.0), 170.0);
    EXPECT_EQ(wrap_lon(180.0), 180.0);
    EXPECT_EQ(wrap_lon(540.0), 180.0);
}

}  // namespace
