// fuzz_catprep: what the three catprep harnesses share.
//
// The first input byte chooses the options (every type, --plain, duplicates
// under filters), the rest is the file. The file is read once whole and once
// with a carriage return before every line feed where it has none; both runs
// must end alike (the same catalog, or both refused), except where a CR ends
// up inside a value that the format keeps (a quoted CSV field, XML text).
// Every kept line must be one that twinquake reads as its seven values:
// - a 24-character tim YYYY-MM-DDTHH:MM:SS.mmmZ that reads back as a time
//   whose dat lies within one unit of the line's dat (the tim is rounded to
//   the millisecond, the dat to 10^-8 days);
// - lat, lon, dep, mag plain decimals, dat with exactly 8 decimals;
// - a nam without blanks, commas, slashes, quotes, asterisks or bytes outside
//   printable ASCII;
// and the lines are in order of time, each label once (but "ev<N>").
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "exact_time.h"
#include "formats.h"
#include "fuzz_support.h"
#include "records.h"
#include "tool_output.h"
#include "values.h"

inline void throw_fatal_message(std::string_view) { throw Fatal{}; }

// The catalog of one run over `bytes`; "(refused)" when the run is refused.
inline std::string run_catprep(std::string_view bytes, Format format, uint8_t choice) {
    tool_fail_hook(throw_fatal_message);
    Catalog cat;
    cat.opt.all_types = (choice & 1) != 0;
    cat.opt.plain = (choice & 2) != 0;
    if ((choice & 4) != 0) {
        cat.opt.has_min_mag = true;
        cat.opt.min_mag = 3;
    }
    Input in;
    input_memory(in, bytes, "fuzz");
    try {
        read_input(in, format, cat);
    } catch (const Fatal&) {
        return "(refused)";
    }
    sort_catalog(cat);
    std::string out;
    std::string_view last_nam;
    Instant last{};
    bool first = true;
    std::set<std::string_view> labels;
    for (const Kept& k : cat.kept) {
        const std::string_view full(k.line, k.len);
        const std::string_view line = line_text(cat, k);
        // Seven values apart by single blanks.
        std::string_view v[7];
        size_t p = 0;
        for (int i = 0; i < 7; ++i) {
            const size_t blank = i < 6 ? full.find(' ', p) : full.size();
            check(blank != std::string_view::npos, "a line has fewer than seven values", shown_bytes(full));
            v[i] = full.substr(p, blank - p);
            p = blank + 1;
        }
        Instant at;
        check(v[0].size() == TIM_LEN && v[0][10] == 'T' && v[0][23] == 'Z' && parse_time(v[0], at),
              "tim is not YYYY-MM-DDTHH:MM:SS.mmmZ", shown_bytes(full));
        for (int i = 1; i <= 4; ++i) check(is_plain_decimal(v[i]), "a value is no plain decimal", shown_bytes(full));
        check(is_plain_decimal(v[5]) && v[5].size() > 9 && v[5][v[5].size() - 9] == '.', "dat has not 8 decimals",
              shown_bytes(full));
        std::string dat_of_tim;
        append_dat(dat_of_tim, dat_e8(at));
        const long long a = std::stoll(std::string(dat_of_tim).erase(dat_of_tim.size() - 9, 1));
        const long long b = std::stoll(std::string(v[5]).erase(v[5].size() - 9, 1));
        check(a - b <= 1 && b - a <= 1, "dat and tim disagree", shown_bytes(full));
        check(!v[6].empty(), "empty nam", shown_bytes(full));
        for (char ch : v[6]) {
            const unsigned char c = static_cast<unsigned char>(ch);
            check(c > ' ' && c < 0x7f && ch != ',' && ch != '/' && ch != '\'' && ch != '"' && ch != '*',
                  "nam holds a byte a catalog reader cannot take", shown_bytes(full));
        }
        const bool made_up = v[6].starts_with("ev") && v[6].size() > 2 &&
                             v[6].find_first_not_of("0123456789", 2) == std::string_view::npos;
        check(labels.insert(v[6]).second || made_up, "a label twice", shown_bytes(full));
        if (!first) {
            const int c = compare_instants(last, k.at);
            check(c < 0 || (c == 0 && last_nam <= v[6]), "lines out of order", shown_bytes(full));
        }
        first = false;
        last = k.at;
        last_nam = v[6];
        out.append(line);
        out.push_back('\n');
    }
    tool_fail_hook(nullptr);
    return out;
}

// Both runs: as given, and with CR LF line ends when it has no CR at all.
inline void fuzz_catprep(const uint8_t* data, size_t size, Format format, bool crlf_keeps) {
    if (size == 0) return;
    const uint8_t choice = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string plain = run_catprep(bytes, format, choice);
    if (!crlf_keeps || bytes.find('\r') != std::string_view::npos) return;
    std::string crlf;
    for (char c : bytes) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    const std::string other = run_catprep(crlf, format, choice);
    check(plain == other, "CR LF line ends change the catalog", plain + "\n---\n" + other);
}
