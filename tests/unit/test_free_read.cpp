// Free-form read statements and the lines they read, driven through real
// files in a scratch directory.

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "scratch.h"
#include "text_io.h"

namespace {

constexpr int32_t IN = 20;  // the stream the reading cases use

// One statement's items from a letter each: i integer, f 32-bit real,
// d 64-bit real, t text of 50. Every item starts with a marker value so that
// an unassigned item shows as "-7" or "old".
struct Values {
    std::string kinds;
    int32_t i[8];
    float f[8];
    double d[8];
    char t[8][50];
    std::vector<IoItem> items;
    explicit Values(const std::string& k) : kinds(k) {
        for (size_t n = 0; n < k.size(); ++n) {
            i[n] = -7;
            f[n] = -7;
            d[n] = -7;
            std::memset(t[n], ' ', 50);
            std::memcpy(t[n], "old", 3);
            switch (k[n]) {
            case 'i': items.push_back(io(i[n])); break;
            case 'f': items.push_back(io(f[n])); break;
            case 'd': items.push_back(io(d[n])); break;
            default: items.push_back(io(t[n], 50)); break;
            }
        }
    }
    std::string shown() const {
        std::string r;
        for (size_t n = 0; n < kinds.size(); ++n) {
            if (n) r += ' ';
            char buf[64];
            switch (kinds[n]) {
            case 'i': r += std::to_string(i[n]); break;
            case 'f': r += std::string(buf, std::to_chars(buf, buf + 64, f[n]).ptr); break;
            case 'd': r += std::string(buf, std::to_chars(buf, buf + 64, d[n]).ptr); break;
            default: {
                std::string s(t[n], 50);
                s.erase(s.find_last_not_of(' ') + 1);
                r += "[" + s + "]";
            }
            }
        }
        return r;
    }
};

// Runs the statements (kinds separated by '|') on `input`; returns their
// values separated by " | ", or "FAIL: " and the diagnostic.
std::string run_statements(const std::string& input, const std::string& statements) {
    Scratch s;
    connect_stream(IN, s.file("in.txt", input));
    std::string out;
    std::stringstream list(statements);
    std::string kinds;
    try {
        while (std::getline(list, kinds, '|')) {
            Values v(kinds);
            read_free(IN, v.items.data(), static_cast<int32_t>(v.items.size()));
            if (!out.empty()) out += " | ";
            out += v.shown();
        }
    } catch (const Fatal&) {
        std::string msg(last_diagnostic());
        if (!msg.empty() && msg.back() == '\n') msg.pop_back();
        return "FAIL: " + msg;
    }
    return out;
}

struct ReadCase {
    const char* input;       // the file's bytes
    const char* statements;  // item kinds, statements separated by '|'
    const char* expected;    // values, or the start of "FAIL: ..." text to find
};

const ReadCase READ_CASES[] = {
    // separators, spread over lines, commas with or without blanks
    {"100 30 5.5 6", "ffff", "100 30 5.5 6"},
    {"100,30\n5.5 , 6", "ffff", "100 30 5.5 6"},
    {"1\t2", "ii", "1 2"},
    {"\n   \n 1\n\n2", "ii", "1 2"},
    {"1,\n2", "ii", "1 2"},
    {"1\r\n2\r\n", "ii", "1 2"},
    // only a carriage return directly before a line feed ends no value
    {"1\r\n2\r", "ii", "FAIL: quake: bad value \"2\\x0D\" for an integer on line 2"},
    {"a\rb c\r", "tt", "[a\rb] [c\r]"},
    {"7\r\r\n", "i", "FAIL: quake: bad value \"7\\x0D\" for an integer on line 1"},
    // null values and slashes leave the item as it was
    {"1,,3", "iii", "1 -7 3"},
    {",5", "ii", "-7 5"},
    {",\n2", "ii", "-7 2"},
    {", ,3", "iii", "-7 -7 3"},
    {"1 2 / 9", "iiii", "1 2 -7 -7"},
    {"1/ 2", "ii", "1 -7"},
    {"1992/06/28 34.2", "tf", "[1992] -7"},
    // repeat counts
    {"3*7", "iii", "7 7 7"},
    {"2*,5", "iii", "-7 -7 5"},
    {"2* 5", "iii", "-7 -7 5"},
    {"2*\n5", "iii", "-7 -7 5"},
    {"5*1\n9", "ii|i", "1 1 | 9"},
    {"3*'a b'", "ttt", "[a b] [a b] [a b]"},
    {"2*1.5", "fd", "1.5 1.5"},
    {"0*5", "i", "FAIL: quake: bad value \"0*\" for a repeat count"},
    // statements start on a fresh line; values beyond the items are never read
    {"1 2 3\n4", "ii|i", "1 2 | 4"},
    {"cat.txt out1 out2 extra", "ttt", "[cat.txt] [out1] [out2]"},
    {"1 2 junk\n3", "ii|i", "1 2 | 3"},
    // integers
    {"2147483647 -2147483648 +0007 -0", "iiii", "2147483647 -2147483648 7 0"},
    {"2147483648", "i", "FAIL: quake: bad value \"2147483648\" for an integer on line 1"},
    {"-2147483649", "i", "FAIL: quake: bad value \"-2147483649\" for an integer"},
    {"12.0", "i", "FAIL: quake: bad value \"12.0\" for an integer on line 1"},
    {"1e3", "i", "FAIL: quake: bad value \"1e3\" for an integer"},
    {"+", "i", "FAIL: quake: bad value \"+\" for an integer"},
    {"'12'", "i", "FAIL: quake: bad value \"'12'\" for an integer"},
    // reals in every accepted form
    {"12", "f", "12"},
    {"1.5+3 1.5-3 2.5d-1 2.5D1 +1.5E+3", "fffff", "1500 0.0015 0.25 25 1500"},
    {".5 5. -.5 007.25", "ffff", "0.5 5 -0.5 7.25"},
    {"inf -INFINITY +Inf NaN -nan", "fffdd", "inf -inf inf nan -nan"},
    {"6.95 6.95", "fd", "6.95 6.95"},
    {"1e39 -1e39 1e-50 1e400 1e-400", "fffdd", "inf -inf 0 inf 0"},
    // straight to 32 bits: this text lies just above the midpoint between 1
    // and the next float, so it rounds up; by way of a 64-bit value it would
    // first land exactly on the midpoint and then round to even, down to 1.
    {"1.00000005960464477539062500001", "f", "1.0000001"},
    {"1.5e", "f", "FAIL: quake: bad value \"1.5e\" for a real number"},
    {"1..5", "f", "FAIL: quake: bad value \"1..5\" for a real number"},
    {"e5", "f", "FAIL: quake: bad value \"e5\" for a real number"},
    {".", "f", "FAIL: quake: bad value \".\" for a real number"},
    {"4.5x", "f", "FAIL: quake: bad value \"4.5x\" for a real number on line 1 of "},
    {"1.5+", "f", "FAIL: quake: bad value \"1.5+\" for a real number"},
    {"infinit", "f", "FAIL: quake: bad value \"infinit\" for a real number"},
    {"0x10", "f", "FAIL: quake: bad value \"0x10\" for a real number"},
    // texts
    {"'site A, run 2' 34.2", "tf", "[site A, run 2] 34.2"},
    {"'it''s' \"a 'b'\"", "tt", "[it's] [a 'b']"},
    {"'ab\ncd' 3", "ti", "[abcd] 3"},
    {"'' x", "tt", "[] [x]"},
    {"2004-12-26T00:58:53 x", "tt", "[2004-12-26T00:58:53] [x]"},
    {"2004-12-26 00:58:53", "tt", "[2004-12-26] [00:58:53]"},
    {"123456789012345678901234567890123456789012345678901234567890", "t",
     "[12345678901234567890123456789012345678901234567890]"},
    {"'ab'x", "t", "FAIL: quake: bad value \"'ab'x\" for a text"},
    {"'abc", "t", "FAIL: quake: end of file after line 1 of "},
    // end of input
    {"", "i", "FAIL: quake: end of file at the start of "},
    {"1", "ii", "FAIL: quake: end of file after line 1 of "},
    {"1\n\n\n", "ii", "FAIL: quake: end of file after line 3 of "},
    {"1 2", "i|i", "FAIL: quake: end of file after line 1 of "},
    {"1 4.5x", "if", "FAIL: quake: bad value \"4.5x\" for a real number on line 1"},
    {"1\n\n 4.5x", "if", "FAIL: quake: bad value \"4.5x\" for a real number on line 3"},
};

TEST(ReadFree, StatementsAsTheRulesSay) {
    for (const ReadCase& c : READ_CASES) {
        std::string got = run_statements(c.input, c.statements);
        std::string want = c.expected;
        if (want.rfind("FAIL:", 0) == 0) {
            EXPECT_EQ(got.rfind(want, 0), 0u) << "input: " << c.input << "\n got: " << got;
        } else {
            EXPECT_EQ(got, want) << "input: " << c.input;
        }
    }
}

TEST(ReadFree, LinesLongerThanAnyBuffer) {
    // A value after 600 000 blanks, then a line of 300 000 characters whose
    // first value is read; the lines straddle the input buffer's edges.
    std::string input = std::string(600000, ' ') + "7\n" + "8 " + std::string(300000, 'x') + "\n9";
    EXPECT_EQ(run_statements(input, "i|i|i"), "7 | 8 | 9");
}

TEST(ReadFree, DiagnosticNamesFileLineAndText) {
    Scratch s;
    std::string p = s.file("cat.txt", "a 1 2\nb 4.5x 3\n");
    connect_stream(5, p);
    Values v("tff");
    read_free(5, v.items.data(), 3);
    EXPECT_THROW(read_free(5, v.items.data(), 3), Fatal);
    EXPECT_EQ(last_diagnostic(), "quake: bad value \"4.5x\" for a real number on line 2 of " + p + " (stream 5)\n");
}

}  // namespace
