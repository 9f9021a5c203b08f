// Report templates: parsing, the field rules of I, F and A, the three report
// lines of the system, and the refusal of malformed templates and mismatched
// values.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "event_catalog.h"
#include "harness.h"
#include "random_catalog.h"
#include "templates.h"
#include "text_io.h"

namespace {

std::string blanks(size_t n) { return std::string(n, ' '); }

// `inner` between `open` and `close`.
std::string wrap(const char* open, const std::string& inner, const char* close) {
    std::string s = open;
    s.append(inner);
    s.append(close);
    return s;
}

std::string format(const RecordTemplate& t, const IoItem* values, int32_t count) {
    char line[MAX_LINE_LENGTH];
    int32_t n = format_template(t, values, count, line);
    return std::string(line, static_cast<size_t>(n));
}

// The parsed entries in the notation of the template text: I4, F8.3, A24,
// and a literal in quotation marks.
std::string entries_of(const RecordTemplate& t) {
    std::string s;
    for (int32_t k = 0; k < t.entry_count; ++k) {
        const TemplateEntry& e = t.entries[k];
        if (!s.empty()) s += ' ';
        if (e.desc == 'L') {
            s += '"' + std::string(t.literals + e.lit_at, static_cast<size_t>(e.w)) + '"';
        } else {
            s += e.desc + std::to_string(e.w);
            if (e.desc == 'F') s += '.' + std::to_string(e.d);
        }
    }
    return s;
}

// `s` n times, separated by blanks.
std::string repeated(const std::string& s, int n) {
    std::string r = s;
    for (int k = 2; k <= n; ++k) r += ' ' + s;
    return r;
}

// The message of a death test is matched as a regular expression.
std::string regex_quote(const std::string& s) {
    std::string q;
    for (char c : s) {
        if (std::strchr(".[]{}()\\*+?^$|", c) != nullptr) q += '\\';
        q += c;
    }
    return q;
}

// One value written through a one-field template. The value is given as the
// decimal text it was read from, converted straight to the item's width.
struct FieldCase {
    const char* tmpl;   // one-field template
    ItemKind kind;      // kind of the value
    std::string value;  // decimal text (i32, f32, f64) or the text itself
    std::string field;  // the columns expected
};

const std::string DBL_MAX_DIGITS =  // the integer value of DBL_MAX, 309 digits
    "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955863276687"
    "81715404589535143824642343213268894641827684675467035375169860499105765512820762454900903893289440"
    "75868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404"
    "026184124858368";

const std::vector<FieldCase> FIELD_CASES = {
    // I: right-justified, the sign counts, asterisks when too wide.
    {"(I4)", ItemKind::i32, "7", "   7"},
    {"(I4)", ItemKind::i32, "-12", " -12"},
    {"(I4)", ItemKind::i32, "12345", "****"},
    {"(i4)", ItemKind::i32, "-999", "-999"},
    {"(i4)", ItemKind::i32, "-1000", "****"},
    {"(i4)", ItemKind::i32, "-2147483648", "****"},
    {"(i11)", ItemKind::i32, "-2147483648", "-2147483648"},
    {"(i11)", ItemKind::i32, "2147483647", " 2147483647"},
    {"(i1)", ItemKind::i32, "0", "0"},
    // F: the exact stored value rounded to d decimals.
    {"(f8.3)", ItemKind::f32, "35.123", "  35.123"},
    {"(f8.3)", ItemKind::f32, "-117.8765", "-117.877"},
    {"(f8.3)", ItemKind::f32, "-1000.5", "********"},
    {"(f8.3)", ItemKind::f32, "-0.0004", "  -0.000"},
    {"(f10.3)", ItemKind::f32, "-179.9999", "  -180.000"},
    {"(f7.1)", ItemKind::f32, "6.95", "    6.9"},  // stored 6.94999980926513671875
    {"(f7.1)", ItemKind::f64, "6.95", "    7.0"},
    {"(f7.1)", ItemKind::f32, "0.5", "    0.5"},
    {"(f7.1)", ItemKind::f32, "99999.96", "*******"},  // stored 99999.9609375
    {"(f7.1)", ItemKind::f32, "nan", "    NaN"},
    {"(f8.1)", ItemKind::f32, "12.34", "    12.3"},
    {"(f11.6)", ItemKind::f32, "0.1", "   0.100000"},
    {"(f11.6)", ItemKind::f32, "10000.0", "***********"},
    {"(f16.8)", ItemKind::f64, "23741.0", "  23741.00000000"},
    {"(f16.8)", ItemKind::f64, "12345.123456789", "  12345.12345679"},
    {"(F16.8)", ItemKind::f64, "36528.0", "  36528.00000000"},
    // Exact ties go to the even neighbour; no decimals still writes the point.
    {"(f7.1)", ItemKind::f32, "7.25", "    7.2"},
    {"(f7.1)", ItemKind::f64, "7.35", "    7.3"},  // stored just below 7.35
    {"(f5.2)", ItemKind::f64, "0.125", " 0.12"},
    {"(f5.2)", ItemKind::f64, "0.375", " 0.38"},
    {"(f3.0)", ItemKind::f64, "2.5", " 2."},
    {"(f3.0)", ItemKind::f64, "3.5", " 4."},
    // Negative zero and negatives that round to zero keep their sign.
    {"(f7.1)", ItemKind::f32, "-0.04", "   -0.0"},
    {"(f7.1)", ItemKind::f32, "-0.0", "   -0.0"},
    {"(f4.1)", ItemKind::f64, "-0.0", "-0.0"},
    {"(f3.1)", ItemKind::f64, "0.0", "0.0"},
    // A narrow field gives up the leading zero before it gives up the value.
    {"(f3.1)", ItemKind::f64, "-0.0", "-.0"},
    {"(f2.1)", ItemKind::f32, "0.5", ".5"},
    {"(f3.1)", ItemKind::f32, "-0.5", "-.5"},
    {"(f2.1)", ItemKind::f32, "-0.5", "**"},
    {"(f3.1)", ItemKind::f64, "0.96", "1.0"},
    {"(f2.1)", ItemKind::f64, "0.96", "**"},
    // Infinities and not-a-number.
    {"(f8.1)", ItemKind::f32, "inf", "Infinity"},
    {"(f7.1)", ItemKind::f32, "inf", "    Inf"},
    {"(f9.1)", ItemKind::f64, "-inf", "-Infinity"},
    {"(f8.1)", ItemKind::f64, "-inf", "    -Inf"},
    {"(f3.1)", ItemKind::f32, "inf", "Inf"},
    {"(f3.2)", ItemKind::f32, "-inf", "***"},
    {"(f2.1)", ItemKind::f64, "inf", "**"},
    {"(f16.8)", ItemKind::f64, "-nan", "             NaN"},
    {"(f2.1)", ItemKind::f32, "nan", "**"},
    // Subnormals: the exact value, however many decimals are asked for.
    {"(f8.3)", ItemKind::f32, "1e-45", "   0.000"},
    {"(f8.3)", ItemKind::f32, "-1e-45", "  -0.000"},
    {"(f60.50)", ItemKind::f32, "1e-45", blanks(8) + "0.00000000000000000000000000000000000000000000140130"},
    {"(f16.8)", ItemKind::f64, "4.9e-324", "      0.00000000"},
    {"(f16.8)", ItemKind::f64, "-4.9e-324", "     -0.00000000"},
    // The largest finite values: too wide, or written in full.
    {"(f16.8)", ItemKind::f32, "3.4028234663852886e38", "****************"},
    {"(f16.8)", ItemKind::f64, "1.7976931348623157e308", "****************"},
    {"(f320.1)", ItemKind::f64, "1.7976931348623157e308", blanks(9) + DBL_MAX_DIGITS + ".0"},
    // A: the leftmost w characters of a 50-character text.
    {"(A24)", ItemKind::text, "abc", "abc" + blanks(21)},
    {"(a1)", ItemKind::text, "abc", "a"},
    {"(A60)", ItemKind::text, "abc", blanks(10) + "abc" + blanks(47)},
};

TEST(Templates, FieldRules) {
    for (const FieldCase& c : FIELD_CASES) {
        SCOPED_TRACE(std::string(c.tmpl) + " " + c.value);
        RecordTemplate t = parse_template(c.tmpl);
        ASSERT_EQ(t.value_count, 1);
        const char* first = c.value.data();
        const char* last = first + c.value.size();
        int32_t i = 0;
        float f = 0;
        double g = 0;
        Text s = make_text(c.value.c_str());
        IoItem item{};
        switch (c.kind) {
        case ItemKind::i32:
            ASSERT_EQ(std::from_chars(first, last, i).ptr, last);
            item = io(i);
            break;
        case ItemKind::f32:
            ASSERT_EQ(std::from_chars(first, last, f).ptr, last);
            item = io(f);
            break;
        case ItemKind::f64:
            ASSERT_EQ(std::from_chars(first, last, g).ptr, last);
            item = io(g);
            break;
        case ItemKind::text: item = io(s); break;
        }
        EXPECT_EQ(format(t, &item, 1), c.field);
    }
}

// The parsed entries, value count and line length of a template.
struct ParseCase {
    std::string tmpl;
    std::string entries;
    int32_t value_count;
    int32_t length;
};

TEST(Templates, ParsedEntries) {
    const std::vector<ParseCase> cases = {
        {std::string(AFTERSHOCK_TEMPLATE),
         "I4 \" \" A24 F8.3 F8.3 F7.1 F7.1 F16.8 \"  \" A20 A24 F8.3 F8.3 F7.1 F7.1 F16.8", 14, 167},
        {std::string(PAIR_TEMPLATE),
         "I4 I4 \"  \" A24 F8.3 F8.3 F7.1 F7.1 \"   \" A24 F8.3 F8.3 F7.1 F7.1 F8.1 F11.6 F16.8 "
         "\"   \" A30",
         16, 189},
        {std::string(SELECTION_TEMPLATE), "A24 F10.3 F10.3 F7.1 F7.1 F16.8 F8.3", 7, 82},
        {"(3I2,\"ab\",a1,F5.0,1f3.2)", "I2 I2 I2 \"ab\" A1 F5.0 F3.2", 6, 17},
        // The fixed capacities, filled exactly.
        {"(64i1)", repeated("I1", 64), 64, 64},
        {"(a1024)", "A1024", 1, 1024},
        {wrap("(\"", blanks(MAX_TEMPLATE_LITERALS), "\")"), wrap("\"", blanks(MAX_TEMPLATE_LITERALS), "\""), 0,
         MAX_TEMPLATE_LITERALS},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.tmpl);
        RecordTemplate t = parse_template(c.tmpl);
        EXPECT_EQ(entries_of(t), c.entries);
        EXPECT_EQ(t.value_count, c.value_count);
        EXPECT_EQ(t.length, c.length);
    }
}

// A malformed template stops the program with a message naming the template
// and the column where it goes wrong.
TEST(TemplatesDeathTest, MalformedTemplates) {
    struct Bad {
        std::string tmpl;
        int column;  // 1-based column named in the message
    };
    const std::vector<Bad> cases = {
        {"", 1},
        {"i4)", 1},
        {" (i4)", 1},
        {"(i4", 4},
        {"(i4,f8.3", 9},
        {"(i4))", 5},
        {"()", 2},
        {"(i4,)", 5},
        {"(,i4)", 2},
        {"(i0)", 3},
        {"(A)", 3},
        {"(f8)", 4},
        {"(f8.)", 5},
        {"(f8.8)", 5},
        {"(f8.3.1)", 6},
        {"(i4.2)", 4},
        {"(0i4)", 2},
        {"(2\" \")", 3},
        {"(\"  )", 2},
        {"(\"a\"\"b\")", 5},
        {"(x4)", 2},
        {"(e12.4)", 2},
        {"(-f8.3)", 2},
        {"(i-4)", 3},
        {"(i 4)", 3},
        {"(i4 )", 4},
        {"(i99999999999)", 3},
        {"(65i1)", 2},
        {"(999999999999i1)", 2},
        {"(a1025)", 3},
        {"(a600,a600)", 7},
        {wrap("(\"", blanks(MAX_TEMPLATE_LITERALS + 1), "\")"), 2},
        {wrap("(\"", blanks(200) + "\",\"" + blanks(57), "\")"), 205},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.tmpl);
        std::string message =
            "malformed report template \"" + regex_quote(c.tmpl) + "\" at column " + std::to_string(c.column) + ":";
        EXPECT_DEATH(parse_template(c.tmpl), message);
    }
}

// Values that do not match the template's fields in number or kind.
TEST(TemplatesDeathTest, MismatchedValues) {
    RecordTemplate t = parse_template("(i4,f8.3,a5)");
    int32_t i = 1;
    float f = 2;
    double g = 3;
    Text s = make_text("abc");
    const std::vector<std::vector<IoItem>> cases = {
        {io(i), io(f)},        {io(i), io(f), io(s), io(i)}, {io(f), io(f), io(s)}, {io(i), io(i), io(s)},
        {io(i), io(s), io(s)}, {io(i), io(g), io(g)},        {io(i), io(g), io(i)},
    };
    for (const std::vector<IoItem>& values : cases) {
        EXPECT_DEATH(format(t, values.data(), static_cast<int32_t>(values.size())), "report template write");
    }
}

// A catalog event as the reports see it.
struct Event {
    Text tim;    // origin time text
    float lat;   // degrees
    float lon;   // degrees
    float dep;   // km
    float mag;   // magnitude
    double dat;  // days
    Text nam;    // label
};

// Whole report lines: each has the template's length, trailing blanks kept.
TEST(Templates, ReportLines) {
    Event e2{make_text("2000-01-02T12:00:00"), 40.10f, 20.10f, 12.0f, 4.5f, 36525.5, make_text("NB")};
    Event e3{make_text("2000-01-05T00:00:00"), 40.05f, 20.05f, 10.0f, 5.5f, 36528.0, make_text("NC")};
    Event e4{make_text("2000-01-06T00:00:00"), 40.06f, 20.04f, 8.0f, 5.1f, 36529.0, make_text("ND")};

    int32_t group = 1;
    int32_t count = 1;
    float distance = 7.2f;
    float dt = 2.5f;
    const IoItem pair[] = {
        io(group),  io(count),  io(e3.tim), io(e3.lon), io(e3.lat),   io(e3.dep), io(e3.mag), io(e2.tim),
        io(e2.lon), io(e2.lat), io(e2.dep), io(e2.mag), io(distance), io(dt),     io(e3.dat), io(e3.nam),
    };
    const std::string pair_line =
        "   1   1  2000-01-05T00:00:00       20.050  40.050   10.0    5.5   2000-01-02T12:00:00       "
        "20.100  40.100   12.0    4.5     7.2   2.500000  36528.00000000   NC                            ";

    int32_t aftershock_count = 1;
    const IoItem aftershock[] = {
        io(aftershock_count), io(e4.tim), io(e4.lat), io(e4.lon), io(e4.dep), io(e4.mag), io(e4.dat),
        io(e4.nam),           io(e3.tim), io(e3.lat), io(e3.lon), io(e3.dep), io(e3.mag), io(e3.dat),
    };
    const std::string aftershock_line =
        "   1 2000-01-06T00:00:00       40.060  20.040    8.0    5.1  36529.00000000  ND                  "
        "2000-01-05T00:00:00       40.050  20.050   10.0    5.5  36528.00000000";

    Event p{make_text("2011-01-01T01:05:44.890Z"), -43.562f, 172.425f, 11.5f, 4.4f, 40542.04565845, make_text("")};
    float ring_distance = 1234.5678f;  // stored 1234.5677490234375
    const IoItem selection[] = {
        io(p.tim), io(p.lat), io(p.lon), io(p.dep), io(p.mag), io(p.dat), io(ring_distance),
    };
    const std::string selection_line =
        "2011-01-01T01:05:44.890Z   -43.562   172.425   11.5    4.4  40542.045658451234.568";

    struct LineCase {
        std::string_view tmpl;
        const IoItem* values;
        int32_t count;
        std::string line;
        size_t length;
    };
    const LineCase cases[] = {
        {PAIR_TEMPLATE, pair, 16, pair_line, 189},
        {AFTERSHOCK_TEMPLATE, aftershock, 14, aftershock_line, 167},
        {SELECTION_TEMPLATE, selection, 7, selection_line, 82},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.tmpl);
        RecordTemplate t = parse_template(c.tmpl);
        std::string got = format(t, c.values, c.count);
        EXPECT_EQ(got, c.line);
        EXPECT_EQ(got.size(), c.length);
    }
}

// write_template hands the whole line, trailing blanks included, to the stream.
TEST(Templates, WriteTemplateToFile) {
    reset_streams();
    std::string path = ::testing::TempDir() + "templates_write_" + std::to_string(getpid()) + ".out";
    std::remove(path.c_str());
    RecordTemplate t = parse_template("(i3,\" \",a5)");
    int32_t n = 7;
    Text s = make_text("ab");
    const IoItem values[] = {io(n), io(s)};
    connect_stream(65, path);
    write_template(65, t, values, 2);
    n = -12;
    write_template(65, t, values, 2);
    close_stream(65);
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "  7 ab   \n-12 ab   \n");
    std::remove(path.c_str());
}

}  // namespace

namespace {

// An F field as the rules define it, built from the standard library's exact
// fixed conversion: the sign of a negative or negative-zero value, the
// rounded digits (a single 0 before the point below 1), the point also when
// there are no decimals, right-justified in w columns.
template <class T>
std::string expected_fixed(T v, int w, int d) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, v < 0 ? -v : v, std::chars_format::fixed, d);
    std::string s(buf, r.ptr);
    if (d == 0) s += '.';
    if (std::signbit(v)) s = "-" + s;
    if (static_cast<int>(s.size()) > w) return std::string(static_cast<size_t>(w), '*');
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

template <class T>
std::string formatted(T v, int w, int d) {
    char text[32];
    std::snprintf(text, sizeof text, "(f%d.%d)", w, d);
    RecordTemplate t = parse_template(text);
    const IoItem item = io(v);
    char line[MAX_LINE_LENGTH];
    int32_t n = format_template(t, &item, 1, line);
    return std::string(line, static_cast<size_t>(n));
}

}  // namespace

TEST(Templates, FixedFieldsMatchTheExactConversionOverWideSamples) {
    // Random bit patterns of every magnitude, and decimal-looking values with
    // ties: every F field must round the stored value exactly.
    rc::Rng rng = rc::make_rng(0x9E3779B97F4A7C15ull);
    auto next = [&rng] { return rng.g(); };
    for (int k = 0; k < 200000; ++k) {
        const int d = static_cast<int>(next() % 11);
        uint64_t bits = next();
        float f;
        double g;
        if (k % 3 == 0) {
            uint32_t b32 = static_cast<uint32_t>(bits);
            std::memcpy(&f, &b32, 4);
            std::memcpy(&g, &bits, 8);
            if (!std::isfinite(f) || !std::isfinite(g)) continue;
        } else {
            // n / 10^k values: many exact ties at d decimals
            const double num = static_cast<double>(static_cast<int64_t>(bits % 2000001) - 1000000);
            g = num / std::pow(10.0, static_cast<double>(next() % 8));
            f = static_cast<float>(g);
        }
        ASSERT_EQ(formatted(f, 40, d), expected_fixed(f, 40, d)) << "float " << f << " d " << d;
        ASSERT_EQ(formatted(g, 40, d), expected_fixed(g, 40, d)) << "double " << g << " d " << d;
    }
}
