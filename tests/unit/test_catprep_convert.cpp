// catprep's conversion: value texts, labels, the three readers over inputs
// in memory, the steps that leave records out, duplicates, filters, order,
// and the diagnostics of inputs it refuses.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "formats.h"
#include "records.h"
#include "tool_output.h"
#include "values.h"

namespace {

struct Refused {
    std::string message;  // tool_fail's message, without the program's name
};

void throw_refused(std::string_view m) { throw Refused{std::string(m)}; }

struct NumberRow {
    const char* text;
    int32_t shift;
    const char* out;  // nullptr: unreadable
};

const NumberRow NUMBERS[] = {
    {"39.3620", 0, "39.3620"},  // plain decimals stay as given
    {"-0.0", 0, "-0.0"},
    {"007", 0, "007"},
    {" 10 ", 0, "10"},
    {"+5", 0, "5"},
    {".5", 0, "0.5"},
    {"-.5", 0, "-0.5"},
    {"5.", 0, "5"},
    {"1e1", 0, "10"},
    {"1.50E-2", 0, "0.015"},
    {"-2.5e+3", 0, "-2500"},
    {"0e5", 0, "0"},
    {"10000", -3, "10"},
    {"188419", -3, "188.419"},
    {"36038.20038", -3, "36.03820038"},
    {"-1140", -3, "-1.14"},
    {"1.2345e4", -3, "12.345"},
    {"30000.0", -3, "30"},
    {"0.5", -3, "0.0005"},
    {"-500", -3, "-0.5"},
    {"0", -3, "0"},
    {"187000", -3, "187"},
    {"", 0, nullptr},
    {"  ", 0, nullptr},
    {"abc", 0, nullptr},
    {"1.2.3", 0, nullptr},
    {"NaN", 0, nullptr},
    {"inf", 0, nullptr},
    {"1e", 0, nullptr},
    {"1e400", 0, nullptr},
    {"1e39", 0, nullptr},
    {"--1", 0, nullptr},
    {"1,5", 0, nullptr},
    {"12345678901234567890123456789012345678901", 0, nullptr},
};

TEST(CatprepValues, NumbersAndMetres) {
    for (const NumberRow& r : NUMBERS) {
        Number n;
        const bool ok = read_number(r.text, r.shift, n);
        if (r.out == nullptr) {
            EXPECT_FALSE(ok) << "\"" << r.text << "\"";
            continue;
        }
        ASSERT_TRUE(ok) << "\"" << r.text << "\"";
        EXPECT_EQ(n.text, r.out) << "\"" << r.text << "\" shift " << r.shift;
    }
}

TEST(CatprepValues, LabelsAndIds) {
    const struct {
        const char* id;
        const char* nam;
    } rows[] = {
        {"usc000luva", "usc000luva"},
        {"official20110311054624120_30", "official20110311054624120_30"},
        {"a b/c", "a_b_c"},
        {"x,y'z\"w*v\tq", "x_y_z_w_v_q"},
        {"caf\xc3\xa9", "caf_"},         // one UTF-8 character, one _
        {"\xe6\x9d\xb1x\xe9y", "_x_y"},  // a three-byte character; a Latin-1 byte
        {"", "ev17"},
    };
    for (const auto& r : rows) {
        std::string s;
        append_nam(s, r.id, 17);
        EXPECT_EQ(s, r.nam);
    }
    EXPECT_EQ(id_tail("smi:org.gfz-potsdam.de/geofon/gfz2021inzw"), "gfz2021inzw");
    EXPECT_EQ(id_tail("smi:ISC/evid=7453151"), "7453151");
    EXPECT_EQ(id_tail("smi:local/noid/"), "");
    EXPECT_EQ(id_tail("4258220"), "4258220");
}

// Runs one input held in memory through its reader and gives the catalog.
std::string convert(const std::string& bytes, Options opt = {}, Catalog* keep = nullptr) {
    Catalog local;
    Catalog& cat = keep != nullptr ? *keep : local;
    cat.opt = opt;
    Input in;
    input_memory(in, bytes, "mem");
    read_input(in, FORMAT_UNKNOWN, cat);
    sort_catalog(cat);
    std::string out;
    for (const Kept& k : cat.kept) {
        out += line_text(cat, k);
        out += '\n';
    }
    return out;
}

// The diagnostic a refused input ends with ("" when it is not refused).
std::string refusal(const std::string& bytes, Options opt = {}) {
    tool_fail_hook(throw_refused);
    std::string m;
    try {
        convert(bytes, opt);
    } catch (const Refused& r) {
        m = r.message;
    }
    tool_fail_hook(nullptr);
    return m;
}

const char CSV_HEADER[] = "time,latitude,longitude,depth,mag,magType,id,place,type\n";

TEST(CatprepReaders, CsvColumnsByNameQuotingBomAndCrlf) {
    // Columns in another order, extra ones, a byte-order mark, CR LF ends, a
    // quoted place holding commas, doubled quotes and a line break.
    const std::string csv =
        "\xEF\xBB\xBFplace,id,extra,mag,depth,longitude,latitude,time,type\r\n"
        "\"41 km WSW of Sola, Vanuatu\",us1,x,6.1,188.419,167.1898,-14.0039,2023-09-21T21:11:49.950Z,earthquake\r\n"
        "\"The \"\"Big\"\" one,\r\nsecond line\",us2,,5,10,1,2,2023-09-20 14:45:58.609,Earthquake\r\n"
        "plain,us3,,5.5,,1,2,2023-09-19T00:00:00Z,earthquake\r\n";
    Catalog cat;
    EXPECT_EQ(convert(csv, {}, &cat),
              "2023-09-20T14:45:58.609Z 2 1 10 5 45187.61526168 us2\n"
              "2023-09-21T21:11:49.950Z -14.0039 167.1898 188.419 6.1 45188.88321701 us1\n");
    EXPECT_EQ(cat.read, 3);
    EXPECT_EQ(cat.left_out[NO_DEPTH_OR_MAG], 1);
}

TEST(CatprepReaders, FdsnTextVariants) {
    // IRIS-style header with blanks, Depth/Km, smi: ids, a 14th EventType,
    // an empty depth, a comment line.
    const std::string text =
        "#EventID | Time | Latitude | Longitude | Depth/Km | Author | Catalog | Contributor | ContributorID | "
        "MagType | Magnitude | MagAuthor | EventLocationName | EventType\n"
        "smi:org.gfz-potsdam.de/geofon/gfz2021edty|2021-02-28T23:37:15.211956|-17.565212|167.572067|10.0|||GFZ|x|M|"
        "5.787024361||Vanuatu Islands|earthquake\n"
        "# a comment\n"
        "\n"
        "4258220|2011-01-08T00:04:29|50.1178|19.1442||ISC|ISC|ISC|1|ML|2.0|IPEC|POLAND|\n"
        "quakeml:x/query?eventid=77 | 2011-01-08T00:03:54 | 37.6272 | 23.568 | 12.4 |||||| 2.0 || GREECE | "
        "quarry blast\n"
        "4258218|2011-01-08T00:01:31|31.09|131.31|32.0|JMA|ISC|ISC|2||1.1|JMA|KYUSHU|\n";
    Catalog cat;
    EXPECT_EQ(convert(text, {}, &cat),
              "2011-01-08T00:01:31.000Z 31.09 131.31 32.0 1.1 40549.00105324 4258218\n"
              "2021-02-28T23:37:15.212Z -17.565212 167.572067 10.0 5.787024361 44253.98420384 gfz2021edty\n");
    EXPECT_EQ(cat.left_out[OTHER_TYPE], 1);
    EXPECT_EQ(cat.left_out[NO_DEPTH_OR_MAG], 1);
    Options all;
    all.all_types = true;
    EXPECT_NE(convert(text, all).find(" 77\n"), std::string::npos);
}

TEST(CatprepReaders, QuakemlNamespacesPreferredAndEncoding) {
    // ISC style: the QuakeML namespace for everything, no prefix, no
    // preferredMagnitudeID (the first magnitude); windows-1252 declared.
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
        "<quakeml xmlns=\"http://quakeml.org/xmlns/quakeml/1.2\"><eventParameters>\n"
        "<event publicID=\"smi:ISC/evid=7453151\"><description><type>region name</type><text>Sumatra \x96 "
        "Andaman</text></description>\n"
        "<preferredOriginID>smi:ISC/origid=2</preferredOriginID>\n"
        "<origin publicID=\"smi:ISC/origid=1\"><time><value>2004-12-26T00:58:50.00Z</value></time>"
        "<latitude><value>3.0</value></latitude><longitude><value>95.0</value></longitude>"
        "<depth><value>10000</value></depth><type>hypocenter</type></origin>\n"
        "<origin publicID=\"smi:ISC/origid=2\"><time><value>2004-12-26T00:58:53.08Z</value></time>"
        "<latitude><value>3.3148</value></latitude><longitude><value>95.9829</value></longitude>"
        "<depth><uncertainty>5</uncertainty><value>26451.8</value></depth></origin>\n"
        "<magnitude publicID=\"m1\"><mag><value>6.96</value></mag><type>mb</type></magnitude>\n"
        "<magnitude publicID=\"m2\"><mag><value>8.69</value></mag><type>MS</type></magnitude>\n"
        "</event></eventParameters></quakeml>\n";
    EXPECT_EQ(convert(xml), "2004-12-26T00:58:53.080Z 3.3148 95.9829 26.4518 6.96 38345.04089213 7453151\n");
}

TEST(CatprepReaders, SameEventsInEveryFormatGiveOneCatalog) {
    const std::string csv = std::string(CSV_HEADER) +
                            "2018-06-04T01:50:48.520Z,19.4053333,-155.2843333,-1.14,5.5,mw,hv70228857,\"x, y\",\n"
                            "2018-06-03T00:48:09.090Z,-19.4045,-173.6821,10,5.6,mb,us1000ehmb,z,earthquake\n";
    const std::string text =
        "#EventID|Time|Latitude|Longitude|Depth/km|Author|Catalog|Contributor|ContributorID|MagType|Magnitude|"
        "MagAuthor|EventLocationName\n"
        "us1000ehmb|2018-06-03T00:48:09.090|-19.4045|-173.6821|10|us|us|us|us1000ehmb|mb|5.6|us|z\n"
        "hv70228857|2018-06-04T01:50:48.52|19.4053333|-155.2843333|-1.14|hv|hv|hv|hv70228857|mw|5.5|hv|x, y\n";
    const std::string xml =
        "<q:quakeml xmlns:q=\"http://quakeml.org/xmlns/quakeml/1.2\" xmlns=\"http://quakeml.org/xmlns/bed/1.2\" "
        "xmlns:catalog=\"http://anss.org/xmlns/catalog/0.1\"><eventParameters>"
        "<event catalog:datasource=\"hv\" catalog:eventid=\"70228857\" publicID=\"quakeml:x?eventid=hv70228857&amp;"
        "format=quakeml\"><origin publicID=\"o\"><time><value>2018-06-04T01:50:48.520Z</value></time>"
        "<latitude><value>19.4053333</value></latitude><longitude><value>-155.2843333</value></longitude>"
        "<depth><value>-1140</value></depth></origin><magnitude publicID=\"m\"><mag><value>5.5</value></mag>"
        "</magnitude><preferredOriginID>o</preferredOriginID><preferredMagnitudeID>m</preferredMagnitudeID>"
        "</event><event catalog:datasource=\"us\" catalog:eventid=\"1000ehmb\" publicID=\"p\"><type>earthquake</type>"
        "<magnitude publicID=\"m\"><mag><value>5.6</value></mag></magnitude><origin publicID=\"o\"><time>"
        "<value>2018-06-03T09:48:09.09+09:00</value></time><latitude><value>-19.4045</value></latitude>"
        "<longitude><value>-173.6821</value></longitude><depth><value>10000</value></depth></origin></event>"
        "</eventParameters></q:quakeml>";
    const std::string expected =
        "2018-06-03T00:48:09.090Z -19.4045 -173.6821 10 5.6 43252.03343854 us1000ehmb\n"
        "2018-06-04T01:50:48.520Z 19.4053333 -155.2843333 -1.14 5.5 43253.07695046 hv70228857\n";
    EXPECT_EQ(convert(csv), expected);
    EXPECT_EQ(convert(text), expected);
    EXPECT_EQ(convert(xml), expected);
}

TEST(CatprepSteps, DuplicatesTypesFiltersAndOrder) {
    const std::string csv = std::string(CSV_HEADER) +
                            "2011-01-01T00:00:02Z,10,170,5,5.0,mb,b,,earthquake\n"
                            "2011-01-01T00:00:01Z,10,-170,5,4.0,mb,a,,earthquake\n"
                            "2011-01-01T00:00:02Z,10,170,5,6.0,mb,b,,earthquake\n"  // duplicate: the first wins
                            "2011-01-01T00:00:02Z,10,10,50,6.0,mb,,,earthquake\n"   // no id: ev4
                            "2011-01-01T00:00:02Z,-10,0,5,3.0,mb,c,,quarry blast\n"
                            "2011-01-01T00:00:02Z,-10,0,5,3.0,mb,,,\n"  // no id, no type: ev6
                            "2011-01-03T00:00:00Z,80,179,700,7.0,mb,d,,Induced or triggered event\n"
                            "nonsense,10,10,5,5.0,mb,e,,earthquake\n"
                            "2011-01-01,north,10,5,5.0,mb,f,,earthquake\n";
    Catalog cat;
    EXPECT_EQ(convert(csv, {}, &cat),
              "2011-01-01T00:00:01.000Z 10 -170 5 4.0 40542.00001157 a\n"
              "2011-01-01T00:00:02.000Z 10 170 5 5.0 40542.00002315 b\n"
              "2011-01-01T00:00:02.000Z 10 10 50 6.0 40542.00002315 ev4\n"
              "2011-01-01T00:00:02.000Z -10 0 5 3.0 40542.00002315 ev6\n");
    const int64_t expected_out[REASONS] = {2, 0, 1, 1, 0, 1};
    for (int r = 0; r < REASONS; ++r) EXPECT_EQ(cat.left_out[r], expected_out[r]) << "reason " << r;

    Options chosen;
    chosen.types = {"induced or triggered event", "quarry blast"};
    EXPECT_EQ(convert(csv, chosen),
              "2011-01-01T00:00:02.000Z -10 0 5 3.0 40542.00002315 c\n"
              "2011-01-01T00:00:02.000Z -10 0 5 3.0 40542.00002315 ev6\n"
              "2011-01-03T00:00:00.000Z 80 179 700 7.0 40544.00000000 d\n");

    // Across the date line: 170 to -170; magnitudes 4 to 6.
    Options box;
    box.all_types = box.has_bbox = box.has_min_mag = box.has_max_mag = box.plain = true;
    box.west = 170;
    box.east = -170;
    box.south = 0;
    box.north = 90;
    box.min_mag = 4;
    box.max_mag = 6;
    EXPECT_EQ(convert(csv, box),
              "2011-01-01T00:00:01.000Z 10 -170 5 4.0 40542.00001157\n"
              "2011-01-01T00:00:02.000Z 10 170 5 5.0 40542.00002315\n");

    // A record the filters leave out claims no id: the later b of magnitude
    // 6.0 is kept.
    Options big;
    big.has_min_mag = true;
    big.min_mag = 5.5;
    EXPECT_EQ(convert(csv, big),
              "2011-01-01T00:00:02.000Z 10 170 5 6.0 40542.00002315 b\n"
              "2011-01-01T00:00:02.000Z 10 10 50 6.0 40542.00002315 ev4\n");

    // Time and depth limits, inclusive.
    Options lim;
    lim.all_types = lim.has_start = lim.has_max_depth = true;
    ASSERT_TRUE(parse_time("2011-01-01T00:00:02", lim.start));
    lim.max_depth = 50;
    Catalog c2;
    EXPECT_EQ(convert(csv, lim, &c2),
              "2011-01-01T00:00:02.000Z 10 170 5 5.0 40542.00002315 b\n"
              "2011-01-01T00:00:02.000Z -10 0 5 3.0 40542.00002315 c\n"
              "2011-01-01T00:00:02.000Z 10 10 50 6.0 40542.00002315 ev4\n"
              "2011-01-01T00:00:02.000Z -10 0 5 3.0 40542.00002315 ev6\n");
    EXPECT_EQ(c2.left_out[FILTERED], 2);
    EXPECT_EQ(c2.left_out[DUPLICATE], 1);
}

TEST(CatprepFailures, RefusedInputsNameFileLineAndText) {
    const struct {
        std::string input;
        bool strict;
        const char* message;
    } rows[] = {
        {std::string(CSV_HEADER) + "2011-01-01,1,2,3,5,mb,x,\"open,\n2011-01-02,1,2,3,5,mb,y,,\n", false,
         "mem:2: a quoted field is never closed (\"2011-01-01,1,2,3,5,mb,x,\"open,\\x0a2011-01-02,1,2,3,5,mb,y,,\")"},
        {"time,latitude,longitude,depth,mag,type\n", false,
         "mem:1: CSV header without the column \"id\" (\"time,latitude,longitude,depth,mag,type\")"},
        {"#EventID|Time|Latitude|Longitude|Magnitude\n", false,
         "mem:1: text header without the column \"Depth/km\" (\"#EventID|Time|Latitude|Longitude|Magnitude\")"},
        {"hello world\n", false,
         "mem:1: unknown format, neither ComCat CSV, FDSN text nor QuakeML (\"hello world\"); --format names it"},
        {"<q><eventParameters><event>\n<origin></event>", false, "mem:2:11: malformed XML: mismatched tag"},
        {"<?xml version=\"1.0\" encoding=\"ebcdic-xx\"?><q/>", false, "mem:1:31: malformed XML: unknown encoding"},
        {std::string(CSV_HEADER) + "2011-01-01,1,2,,5,mb,x,,\n", true, "mem:2: no depth (\"\")"},
        {std::string(CSV_HEADER) + "2011-01-01,1,2,3,5,mb,x,,\n2011-02-30,1,2,3,5,mb,y,,\n", true,
         "mem:3: time cannot be read (\"2011-02-30\")"},
        {"<q><eventParameters>\n\n<event publicID=\"smi:a/b/ev9\"><origin><time><value>2011-01-01</value></time>"
         "<latitude><value>1</value></latitude><longitude><value>12x</value></longitude><depth><value>1</value>"
         "</depth></origin><magnitude><mag><value>5</value></mag></magnitude></event></eventParameters></q>",
         true, "mem:3: event ev9: longitude cannot be read (\"12x\")"},
        {std::string(CSV_HEADER) + "2011-01-01,1\x01,2,3,5,mb,x,,\n", true,
         "mem:2: latitude cannot be read (\"1\\x01\")"},
    };
    for (const auto& r : rows) {
        Options o;
        o.strict = r.strict;
        EXPECT_EQ(refusal(r.input, o), r.message);
    }
    // Without --strict the same records are only counted.
    for (const auto& r : rows) {
        if (r.strict) {
            EXPECT_EQ(refusal(r.input), "") << r.message;
        }
    }
}

}  // namespace
