// Fuzz harness: report templates, parsed and written with arbitrary values.
//
// The first byte chooses one of the system's templates or a template built
// from the following bytes: up to eight entries, each a quoted literal or an
// I, F or A field with a repeat count, a width from 1 up to the longest line
// and, for F, any number of decimals below the width; always a valid
// template, since a malformed one stops the program by design. The parsed
// entries must be the ones the text spells. Then every value field gets a
// value: integers from the whole 32-bit range, reals of either width chosen to
// hit the hard places (not-a-number, infinities, signed zeros, subnormals,
// the largest and smallest values, values just beside a rounding tie or
// beside the width at which a field overflows into asterisks), texts of any
// length and any bytes.
//
// The line is laid out into a heap block of exactly the template's length
// (a store beyond it is caught) and compared field by field with the C
// library's exact "%.*f" and "%d" conversions under the field rules: a minus
// sign for every negative value including a negative zero, the point also
// without decimals, the leading zero given up in a field too narrow for it,
// asterisks when the result still does not fit. An exact tie may be rounded
// either way, so a tie is only checked for its width. Finally the line is
// written through a stream to /dev/null, which takes it without a failure.

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "templates.h"
#include "text_io.h"

namespace {

constexpr int32_t NULL_STREAM = 40;  // connected to /dev/null

const std::string_view FIXED_TEMPLATES[] = {
    AFTERSHOCK_TEMPLATE, PAIR_TEMPLATE, SELECTION_TEMPLATE, "(A24,2f8.3,2f7.1)",
    "(f8.1,f11.6)",      "(f16.8)",     "(i4,i4)",          "(f1.0,F2.1,f3.2,i1,A1)",
};

// A template text built from the input, with the entries it must parse to.
struct Built {
    std::string text;
    std::vector<TemplateEntry> entries;  // repeats expanded; literals with lit_at 0
    std::vector<std::string> literals;   // text of each literal entry, in order
    int32_t length = 0;
};

Built build_template(Bytes& in) {
    Built b;
    b.text = "(";
    const int32_t pieces = 1 + take_byte(in) % 8;
    int32_t literal_chars = 0;
    for (int32_t k = 0; k < pieces; ++k) {
        const uint8_t what = take_byte(in);
        std::string piece;
        if (what % 4 == 0) {
            const int32_t n = take_byte(in) % 4;
            if (literal_chars + n > MAX_TEMPLATE_LITERALS) continue;
            std::string lit;
            for (int32_t c = 0; c < n; ++c) {
                char ch = static_cast<char>(take_byte(in));
                if (ch == '"') ch = '\'';
                lit += ch;
            }
            if (b.length + n > MAX_LINE_LENGTH || b.entries.size() + 1 > MAX_TEMPLATE_ENTRIES) continue;
            literal_chars += n;
            piece = "\"" + lit + "\"";
            b.entries.push_back({'L', static_cast<int16_t>(n), 0, 0});
            b.literals.push_back(lit);
            b.length += n;
        } else {
            const char desc = "IFA"[what % 4 - 1];
            const int32_t r = 1 + take_byte(in) % 4;
            const uint8_t wb = take_byte(in);
            int32_t w = wb < 200 ? 1 + wb % 24 : 1 + take_bits<uint16_t>(in) % MAX_LINE_LENGTH;
            int32_t d = 0;
            if (desc == 'F') {
                if (w < 2) w = 2 + wb % 8;
                const uint8_t db = take_byte(in);
                d = db < 200 ? db % (w < 12 ? w : 12) : take_bits<uint16_t>(in) % w;
            }
            if (b.length + r * w > MAX_LINE_LENGTH || b.entries.size() + r > MAX_TEMPLATE_ENTRIES) continue;
            const bool lower = (what & 0x10) != 0;
            if (r > 1 || (what & 0x20)) piece += ((what & 0x40) ? "0" : "") + std::to_string(r);
            piece += lower ? static_cast<char>(desc - 'A' + 'a') : desc;
            piece += ((what & 0x80) ? "0" : "") + std::to_string(w);
            if (desc == 'F') piece += "." + std::to_string(d);
            for (int32_t c = 0; c < r; ++c)
                b.entries.push_back({desc, static_cast<int16_t>(w), static_cast<int16_t>(d), 0});
            b.length += r * w;
        }
        if (b.text.size() > 1) b.text += ",";
        b.text += piece;
    }
    if (b.entries.empty()) {
        b.text += "i1";
        b.entries.push_back({'I', 1, 0, 0});
        b.length = 1;
    }
    b.text += ")";
    return b;
}

void check_parsed(const Built& b, const RecordTemplate& t) {
    const std::string where = "template " + shown_bytes(b.text);
    check(t.entry_count == static_cast<int32_t>(b.entries.size()), "entry count", where);
    check(t.length == b.length, "line length", where);
    size_t lit = 0;
    int32_t values = 0;
    for (int32_t k = 0; k < t.entry_count; ++k) {
        const TemplateEntry& got = t.entries[k];
        const TemplateEntry& want = b.entries[static_cast<size_t>(k)];
        check(got.desc == want.desc && got.w == want.w && got.d == want.d, "entry",
              where + " entry " + std::to_string(k));
        if (got.desc == 'L') {
            check(std::string_view(t.literals + got.lit_at, static_cast<size_t>(got.w)) == b.literals[lit++],
                  "literal text", where);
        } else {
            ++values;
        }
    }
    check(t.value_count == values, "value count", where);
}

// A real value aimed at the hard places of an F field of d decimals.
template <class T>
T pick_real(Bytes& in, int32_t d) {
    using lim = std::numeric_limits<T>;
    const uint8_t sel = take_byte(in);
    const bool neg = (sel & 0x80) != 0;
    T v = 0;
    switch (sel % 12) {
    case 0: return take_bits<T>(in);
    case 1: v = lim::quiet_NaN(); break;
    case 2: v = lim::infinity(); break;
    case 3: v = 0; break;
    case 4: v = lim::denorm_min() * static_cast<T>(1 + take_bits<uint16_t>(in)); break;
    case 5: v = lim::max(); break;
    case 6: v = lim::min() * static_cast<T>(1 + take_byte(in)); break;
    case 7: {  // beside a tie: (q + 1/2) / 10^d
        const double q = static_cast<double>(take_bits<uint32_t>(in) % 100000);
        v = static_cast<T>((q + 0.5) / std::pow(10.0, d % 20));
        break;
    }
    case 8: {  // beside the value that no longer fits: 10^k less half a last decimal
        const int32_t k = take_byte(in) % 24;
        v = static_cast<T>(std::pow(10.0, k) - 0.5 * std::pow(10.0, -(d % 20)));
        break;
    }
    case 9: v = static_cast<T>(static_cast<double>(take_bits<int64_t>(in)) / std::pow(10.0, take_byte(in) % 24)); break;
    case 10: v = std::ldexp(static_cast<T>(1), static_cast<int>(take_byte(in) % 200) - 100); break;
    default: v = static_cast<T>(take_bits<int32_t>(in) % 1000000) / static_cast<T>(1000); break;
    }
    for (int32_t k = take_byte(in) % 4; k > 0; --k) v = std::nextafter(v, neg ? -lim::infinity() : lim::infinity());
    return neg ? -v : v;
}

int32_t pick_int(Bytes& in) {
    const uint8_t sel = take_byte(in);
    switch (sel % 6) {
    case 0: return std::numeric_limits<int32_t>::min();
    case 1: return std::numeric_limits<int32_t>::max();
    case 2: return static_cast<int32_t>(sel >> 3) - 16;
    default: return take_bits<int32_t>(in);
    }
}

std::string right(int32_t w, const std::string& s) {
    if (static_cast<int32_t>(s.size()) > w) return std::string(static_cast<size_t>(w), '*');
    return std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

// The F field by the C library's exact conversion; `tie` when the exact
// value lies halfway between two results.
std::string ref_fixed(int32_t w, int32_t d, double x, bool& tie) {
    tie = false;
    if (std::isnan(x)) return right(w, "NaN");
    if (std::isinf(x)) {
        const std::string word = x < 0 ? "-Infinity" : "Infinity";
        if (static_cast<int32_t>(word.size()) <= w) return right(w, word);
        return right(w, x < 0 ? "-Inf" : "Inf");
    }
    const bool neg = std::signbit(x);
    std::vector<char> buf(1 + 310 + 1 + MAX_LINE_LENGTH + 1100);
    std::snprintf(buf.data(), buf.size(), "%.*f", static_cast<int>(d), std::fabs(x));
    std::string s = buf.data();
    if (d == 0) s += '.';
    if (neg) s = "-" + s;
    const size_t zero = neg ? 1 : 0;
    if (static_cast<int32_t>(s.size()) > w && s.compare(zero, 2, "0.") == 0) s.erase(zero, 1);
    // Exact decimal expansion (a double has at most 1074 fraction digits).
    std::snprintf(buf.data(), buf.size(), "%.1100f", std::fabs(x));
    const std::string exact = buf.data();
    const size_t point = exact.find('.');
    const std::string rest = exact.substr(point + 1 + static_cast<size_t>(d));
    tie = !rest.empty() && rest[0] == '5' && rest.find_first_not_of('0', 1) == std::string::npos;
    return right(w, s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const uint8_t mode = take_byte(in);
    Built b;
    if (mode & 1) {
        b.text = FIXED_TEMPLATES[(mode >> 1) % std::size(FIXED_TEMPLATES)];
    } else {
        b = build_template(in);
    }
    const RecordTemplate t = parse_template(b.text);
    if (!(mode & 1)) check_parsed(b, t);

    // One value per value field, each in its own heap block.
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<IoItem> values;
    std::string want;                               // the line the field rules give
    std::vector<std::pair<int32_t, int32_t>> ties;  // columns [from, to) whose value is a tie
    for (int32_t k = 0; k < t.entry_count; ++k) {
        const TemplateEntry& e = t.entries[k];
        if (e.desc == 'L') {
            want.append(t.literals + e.lit_at, static_cast<size_t>(e.w));
            continue;
        }
        if (e.desc == 'I') {
            const int32_t v = pick_int(in);
            blocks.emplace_back(new char[sizeof v]);
            std::memcpy(blocks.back().get(), &v, sizeof v);
            values.push_back({ItemKind::i32, blocks.back().get(), 0});
            want += right(e.w, std::to_string(v));
        } else if (e.desc == 'F') {
            double x;
            if (take_byte(in) & 1) {
                const float v = pick_real<float>(in, e.d);
                blocks.emplace_back(new char[sizeof v]);
                std::memcpy(blocks.back().get(), &v, sizeof v);
                values.push_back({ItemKind::f32, blocks.back().get(), 0});
                x = v;
            } else {
                const double v = pick_real<double>(in, e.d);
                blocks.emplace_back(new char[sizeof v]);
                std::memcpy(blocks.back().get(), &v, sizeof v);
                values.push_back({ItemKind::f64, blocks.back().get(), 0});
                x = v;
            }
            bool tie = false;
            const std::string field = ref_fixed(e.w, e.d, x, tie);
            if (tie) ties.push_back({static_cast<int32_t>(want.size()), static_cast<int32_t>(want.size()) + e.w});
            want += field;
        } else {
            const int32_t len = take_byte(in) % 64;
            blocks.emplace_back(new char[static_cast<size_t>(len)]);
            for (int32_t c = 0; c < len; ++c) blocks.back()[c] = static_cast<char>(take_byte(in));
            values.push_back({ItemKind::text, blocks.back().get(), len});
            const std::string text(blocks.back().get(), static_cast<size_t>(len));
            want += len >= e.w ? text.substr(0, static_cast<size_t>(e.w)) : right(e.w, text);
        }
    }

    std::unique_ptr<char[]> line(new char[static_cast<size_t>(t.length)]);
    const int32_t n = format_template(t, values.data(), static_cast<int32_t>(values.size()), line.get());
    check(n == t.length, "a line has the template's length", b.text);
    std::string got(line.get(), static_cast<size_t>(n));
    for (const auto& [from, to] : ties) {
        // Either neighbour of a tie is sound; the width is all that is checked.
        for (int32_t c = from; c < to; ++c) got[static_cast<size_t>(c)] = want[static_cast<size_t>(c)];
    }
    check(got == want, "fields as the field rules give them",
          "template " + shown_bytes(b.text) + "\ngot:  " + shown_bytes(got) + "\nwant: " + shown_bytes(want));

    reset_streams();
    set_program_name("fuzz");
    set_fatal_hook(throw_fatal);
    try {
        connect_stream(NULL_STREAM, "/dev/null");
        write_template(NULL_STREAM, t, values.data(), static_cast<int32_t>(values.size()));
        close_all_streams();
    } catch (const Fatal&) {
        check_failed("writing to /dev/null failed", std::string(last_diagnostic()));
    }
    return 0;
}
