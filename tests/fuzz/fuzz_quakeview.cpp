// fuzz_quakeview: reports of any bytes read by quakeview and written as CSV.
//
// The first byte chooses the kind (told from the first line, or one given as
// --kind gives it), the rest is the report. Every input either
// - fails with one diagnostic "r.out:LINE:COLUMN: ..." (a field or a blank
//   column, the column inside the line) or "r.out:LINE: a line of N columns
//   ..." (N the length of that line), on one line of printable text, and the
//   lines before LINE read alone without a failure; or
// - gives one record per line, whose CSV has a header and one row per record
//   of the kind's number of fields, each the field's printed text (empty for
//   asterisks); every number printed again from its value in its column gives
//   back the printed text where the text is one the column's edit writes (no
//   leading zeros, no "-0" integer).
// With a carriage return before every line feed the outcome is the same.

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "export.h"
#include "fuzz_support.h"
#include "report.h"
#include "tool_output.h"

namespace {

std::string failure;  // the diagnostic of the last refused run

void catch_failure(std::string_view message) {
    failure = std::string(message);
    throw Fatal{};
}

// The report read from `bytes`; false (with `failure` set) when refused.
bool read_bytes(std::string_view bytes, int kind, Report& rep) {
    tool_fail_hook(catch_failure);
    bool ok = true;
    try {
        rep = read_report_bytes("r.out", std::string(bytes), kind);
    } catch (const Fatal&) {
        ok = false;
    }
    tool_fail_hook(nullptr);
    return ok;
}

// The lines of a report as the reader splits them (a CR before the LF dropped).
std::vector<std::string_view> lines_of(std::string_view all) {
    std::vector<std::string_view> lines;
    while (!all.empty()) {
        const size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

// A number at the front of `s` up to `stop`; false when there is none.
bool take_number(std::string_view& s, char stop, long long& n) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end == s.data() || end == s.data() + s.size() || *end != stop) return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()) + 1);
    return true;
}

void check_failure(std::string_view bytes, int kind) {
    const std::string& msg = failure;
    for (char ch : msg) {
        const unsigned char c = static_cast<unsigned char>(ch);
        check(c >= ' ' && c != 0x7f, "a diagnostic holds a control byte", shown_bytes(msg));
    }
    const std::vector<std::string_view> lines = lines_of(bytes);
    if (lines.empty()) {
        check(kind < 0 && msg == "r.out: an empty report tells nothing of its kind; give it with --kind",
              "an empty report refused with another diagnostic", msg);
        return;
    }
    std::string_view s = msg;
    check(s.starts_with("r.out:"), "a diagnostic does not name the file", msg);
    s.remove_prefix(6);
    long long line_no = 0;
    check(take_number(s, ':', line_no) && line_no >= 1 && line_no <= static_cast<long long>(lines.size()),
          "a diagnostic names no line of the report", msg);
    const std::string_view line = lines[static_cast<size_t>(line_no - 1)];
    long long col = 0;
    if (s.starts_with(" a line of ")) {
        s.remove_prefix(11);
        long long n = 0;
        check(take_number(s, ' ', n) && n == static_cast<long long>(line.size()),
              "a diagnostic gives a line length that is not the line's", msg);
        if (kind >= 0 || line_no > 1)
            check(line.size() != static_cast<size_t>(kind_layout(kind >= 0 ? kind : detect_kind(lines[0])).length),
                  "a line of the kind's length refused for its length", msg);
    } else {
        check(take_number(s, ':', col) && col >= 1 && col <= static_cast<long long>(line.size()) && s.starts_with(" "),
              "a diagnostic names no column of the line", msg);
    }
    // The lines before the refused one are a report of their own.
    std::string before;
    for (long long i = 0; i + 1 < line_no; ++i) before.append(lines[static_cast<size_t>(i)]).push_back('\n');
    if (!before.empty()) {
        Report rep;
        check(read_bytes(before, kind, rep), "the lines before a refused line are refused alone",
              msg + "\nthen: " + failure);
    }
}

// The CSV rows of `csv` (RFC 4180, CR LF line ends), each a list of fields.
std::vector<std::vector<std::string>> parse_csv(std::string_view csv) {
    std::vector<std::vector<std::string>> rows;
    size_t i = 0;
    while (i < csv.size()) {
        std::vector<std::string> row;
        for (;;) {
            std::string f;
            if (i < csv.size() && csv[i] == '"') {
                ++i;
                for (;;) {
                    check(i < csv.size(), "a quoted CSV field is not closed", shown_bytes(csv));
                    if (csv[i] == '"') {
                        if (i + 1 < csv.size() && csv[i + 1] == '"') {
                            f.push_back('"');
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    f.push_back(csv[i++]);
                }
            } else {
                while (i < csv.size() && csv[i] != ',' && csv[i] != '\r' && csv[i] != '\n') {
                    check(csv[i] != '"', "a quote inside an unquoted CSV field", shown_bytes(csv));
                    f.push_back(csv[i++]);
                }
            }
            row.push_back(f);
            check(i < csv.size(), "a CSV row without its line end", shown_bytes(csv));
            if (csv[i] == ',') {
                ++i;
                continue;
            }
            check(csv.substr(i, 2) == "\r\n", "a CSV row does not end in CR LF", shown_bytes(csv));
            i += 2;
            break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Whether `t` is a number as the column's edit writes one: no leading zeros
// and, for an integer, no negative zero.
bool canonical(std::string_view t, const Column& c) {
    std::string_view d = t;
    if (d.starts_with('-')) d.remove_prefix(1);
    if (d.size() > 1 && d[0] == '0' && d[1] != '.') return false;
    return !(c.edit == 'I' && t == "-0");
}

std::string csv_of(const Report& rep) {
    const std::string path = scratch("quakeview.csv");
    output_open(path);
    write_csv({rep});
    output_commit();
    return get_file(path);
}

void check_report(std::string_view bytes, const Report& rep, const std::string& csv) {
    const std::vector<std::string_view> lines = lines_of(bytes);
    const KindLayout& lay = kind_layout(rep.kind);
    check(rep.records == static_cast<int64_t>(lines.size()), "not one record per line", shown_bytes(bytes));
    const std::vector<std::vector<std::string>> rows = parse_csv(csv);
    check(rows.size() == lines.size() + 1, "not one CSV row per line and a header", shown_bytes(csv));
    int64_t stars = 0;
    for (size_t r = 0; r < rows.size(); ++r)
        check(rows[r].size() == static_cast<size_t>(lay.field_count), "a CSV row of another number of fields",
              shown_bytes(csv));
    for (size_t r = 0; r < lines.size(); ++r) {
        const std::string_view line = lines[r];
        check(line.size() == static_cast<size_t>(lay.length), "a line of another length read", shown_bytes(line));
        for (int k = 0; k < lay.field_count; ++k) {
            const Field& f = field_of(rep, static_cast<int64_t>(r), k);
            const Column& c = field_column(rep.kind, k);
            const std::string_view raw = line.substr(static_cast<size_t>(c.first - 1), static_cast<size_t>(c.width));
            const std::string& cell = rows[r + 1][static_cast<size_t>(k)];
            if (f.state == FIELD_STARS) {
                ++stars;
                check(raw.find_first_not_of('*') == std::string_view::npos, "asterisks where the column has others",
                      shown_bytes(line));
                check(cell.empty(), "asterisks give a CSV field", shown_bytes(line));
                continue;
            }
            check(cell == f.text, "a CSV field is not the printed text", shown_bytes(line) + "\n" + cell);
            if (c.edit == 'A') {
                check(raw.find(f.text) != std::string_view::npos, "a text that is not in its column",
                      shown_bytes(line));
                continue;
            }
            // A number stands right-justified in its column, blanks (or tabs) on its left.
            check(raw.ends_with(f.text) &&
                      raw.substr(0, raw.size() - f.text.size()).find_first_not_of(" \t") == std::string_view::npos,
                  "a number that is not its column right-justified", shown_bytes(line));
            if (!std::isfinite(f.value)) {
                check(c.edit == 'F' && (std::isnan(f.value) == f.text.ends_with("NaN")),
                      "a value that is no number from a text that is", shown_bytes(line));
                continue;
            }
            if (!canonical(f.text, c)) continue;
            char buf[400];
            const auto end =
                c.edit == 'I' ? std::to_chars(buf, buf + sizeof buf, f.value, std::chars_format::fixed, 0).ptr
                              : std::to_chars(buf, buf + sizeof buf, f.value, std::chars_format::fixed, c.decimals).ptr;
            check(std::string_view(buf, static_cast<size_t>(end - buf)) == f.text,
                  "a number printed again from its value is another text",
                  shown_bytes(line) + "\n" + std::string(f.text) + " -> " + std::string(buf, end));
        }
    }
    check(rep.stars == stars, "the count of asterisk fields is not theirs", shown_bytes(bytes));
}

// The outcome of one run: the CSV, or the diagnostic.
std::string run(std::string_view bytes, int kind) {
    Report rep;
    if (!read_bytes(bytes, kind, rep)) {
        check_failure(bytes, kind);
        return "refused: " + failure;
    }
    check(kind < 0 || rep.kind == kind, "a report read as another kind than given");
    const std::string csv = csv_of(rep);
    check_report(bytes, rep, csv);
    return csv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int kind = data[0] % (KIND_COUNT + 1) - 1;  // -1: told from the first line
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string plain = run(bytes, kind);
    if (bytes.find('\r') != std::string_view::npos) return 0;
    std::string crlf;
    for (char c : bytes) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    const std::string other = run(crlf, kind);
    check(plain == other, "CR LF line ends change the outcome", plain + "\n---\n" + other);
    return 0;
}
