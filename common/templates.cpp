// templates: parsing a report template and laying out one line through it.
#include "templates.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Columns of the integer part of DBL_MAX (1.7976931348623157e308) written in
// full: the widest integer part a 64-bit float can have.
constexpr int32_t MAX_INTEGER_DIGITS = 309;
// A minus sign, the integer part, the point and up to MAX_LINE_LENGTH - 1
// decimals (d < w <= MAX_LINE_LENGTH).
constexpr int32_t FIXED_BUFFER = 1 + MAX_INTEGER_DIGITS + 1 + MAX_LINE_LENGTH;

// A template is a constant of the program, so a malformed one is a
// programming error: name the template and the column, and stop at once.
[[noreturn]] void bad_template(std::string_view text, size_t at, const char* why) {
    std::fprintf(stderr, "malformed report template \"%.*s\" at column %zu: %s\n", static_cast<int>(text.size()),
                 text.data(), at + 1, why);
    std::abort();
}

// A write whose values do not match the template's fields is a programming
// error too.
[[noreturn]] void bad_value(int32_t value, const TemplateEntry& e, const char* why) {
    std::fprintf(stderr, "report template write: value %d for field %c%d is %s\n", static_cast<int>(value), e.desc,
                 static_cast<int>(e.w), why);
    std::abort();
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a whole number at text[at...] and moves `at` past it; -1 when there
// is no digit. The value saturates just above MAX_LINE_LENGTH, since no
// count or width beyond that can make a valid template.
int32_t read_number(std::string_view text, size_t& at) {
    if (at >= text.size() || !is_digit(text[at])) return -1;
    int32_t n = 0;
    while (at < text.size() && is_digit(text[at])) {
        n = n * 10 + (text[at] - '0');
        if (n > MAX_LINE_LENGTH) n = MAX_LINE_LENGTH + 1;
        ++at;
    }
    return n;
}

void add_entry(RecordTemplate& t, std::string_view text, size_t at, TemplateEntry e) {
    if (t.entry_count >= MAX_TEMPLATE_ENTRIES) bad_template(text, at, "too many entries");
    if (t.length + e.w > MAX_LINE_LENGTH) bad_template(text, at, "line too long");
    t.entries[t.entry_count] = e;
    t.entry_count += 1;
    t.length += e.w;
    if (e.desc != 'L') t.value_count += 1;
}

// `s` (n characters) right-justified in w columns; w asterisks when it does
// not fit.
void put_right(char* out, int32_t w, const char* s, int32_t n) {
    if (n > w) {
        std::memset(out, '*', static_cast<size_t>(w));
        return;
    }
    std::memset(out, ' ', static_cast<size_t>(w - n));
    std::memcpy(out + (w - n), s, static_cast<size_t>(n));
}

void put_integer(char* out, int32_t w, int32_t v) {
    // Digits from the right; the magnitude as 64 bits so -2147483648 negates.
    int64_t m = v < 0 ? -static_cast<int64_t>(v) : v;
    char buf[12];  // "-2147483648" and one spare
    char* at = buf + sizeof buf;
    do {
        *--at = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) *--at = '-';
    const int32_t n = static_cast<int32_t>(buf + sizeof buf - at);
    if (n > w) {
        std::memset(out, '*', static_cast<size_t>(w));
        return;
    }
    for (int32_t k = 0; k < w - n; ++k) out[k] = ' ';
    for (int32_t k = 0; k < n; ++k) out[w - n + k] = at[k];
}

constexpr uint64_t POW10[] = {1ull,
                              10ull,
                              100ull,
                              1000ull,
                              10000ull,
                              100000ull,
                              1000000ull,
                              10000000ull,
                              100000000ull,
                              1000000000ull,
                              10000000000ull,
                              100000000000ull,
                              1000000000000ull,
                              10000000000000ull,
                              100000000000000ull,
                              1000000000000000ull,
                              10000000000000000ull,
                              100000000000000000ull,
                              1000000000000000000ull,
                              10000000000000000000ull};

// |x| times 10^d rounded to a whole number, exactly: the stored binary value
// is mant * 2^e with mant below 2^53, so mant * 10^d fits in 128 bits (in 64
// bits for a value widened from 32 bits, after its trailing zero bits are
// dropped) and the shift by e is done with its remainder, a tie going to the
// even neighbour. False when the result does not fit in 64 bits; the caller
// then takes the general conversion.
bool scaled_value(double ax, int32_t d, uint64_t& q) {
    if (d > 19 || !(ax < 1e18)) return false;
    const uint64_t bits = std::bit_cast<uint64_t>(ax);
    const int biased = static_cast<int>(bits >> 52);  // ax is not negative: no sign bit
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    // ax = mant * 2^e; a subnormal has no hidden bit.
    uint64_t mant = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
    int e = biased == 0 ? -1074 : biased - 1075;
    if (mant == 0) {
        q = 0;
        return true;
    }
    const int zeros = std::countr_zero(mant);
    mant >>= zeros;
    e += zeros;
    if (e >= 0) {
        // A whole number below 1e18: mant * 2^e * 10^d in 128 bits.
        const unsigned __int128 p = (static_cast<unsigned __int128>(mant) << e) * POW10[d];
        if (p > UINT64_MAX) return false;
        q = static_cast<uint64_t>(p);
        return true;
    }
    const int s = -e;
    if (mant <= UINT64_MAX / POW10[d] && s < 64) {
        const uint64_t p = mant * POW10[d];
        const uint64_t whole = p >> s;
        const uint64_t rest = p & ((uint64_t{1} << s) - 1);
        const uint64_t half = uint64_t{1} << (s - 1);
        q = whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
        return true;
    }
    if (s >= 128) {
        q = 0;  // below 2^-64: rounds to zero, never a tie
        return true;
    }
    const unsigned __int128 p = static_cast<unsigned __int128>(mant) * POW10[d];
    const unsigned __int128 whole = p >> s;
    const unsigned __int128 rest = p - (whole << s);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (s - 1);
    const unsigned __int128 r = whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
    if (r > UINT64_MAX) return false;
    q = static_cast<uint64_t>(r);
    return true;
}

// Writes q / 10^d (d decimals, at least one digit before the point, the point
// also when d is 0) right-justified in w columns, with a minus sign in front
// when `negative`; false when it does not fit, even without its leading zero.
bool put_scaled(char* out, int32_t w, int32_t d, uint64_t q, bool negative) {
    const uint64_t whole = q / POW10[d];
    const uint64_t frac = q - whole * POW10[d];
    int32_t int_digits = 1;
    while (int_digits < 19 && whole >= POW10[int_digits]) ++int_digits;
    bool zero = whole == 0;
    int32_t n = int_digits + 1 + d + (negative ? 1 : 0);
    if (n > w && zero) {  // a narrow field gives up the leading zero first
        --n;
        int_digits = 0;
    }
    if (n > w) return false;
    static constexpr char PAIRS[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* at = out + w;  // filled from the right
    uint64_t v = frac;
    int32_t k = d;
    for (; k >= 2; k -= 2) {
        const char* two = PAIRS + 2 * (v % 100);
        v /= 100;
        *--at = two[1];
        *--at = two[0];
    }
    if (k == 1) *--at = static_cast<char>('0' + v % 10);
    *--at = '.';
    v = whole;
    for (k = int_digits; k >= 2; k -= 2) {
        const char* two = PAIRS + 2 * (v % 100);
        v /= 100;
        *--at = two[1];
        *--at = two[0];
    }
    if (k == 1) *--at = static_cast<char>('0' + v % 10);
    if (negative) *--at = '-';
    while (at > out) *--at = ' ';
    return true;
}

// Fw.d of the exact value x (a 32-bit float widens to 64 bits exactly).
void put_fixed(char* out, int32_t w, int32_t d, double x) {
    if (std::isnan(x)) {
        put_right(out, w, "NaN", 3);
        return;
    }
    if (std::isinf(x)) {
        if (x < 0) {
            if (w >= 9)
                put_right(out, w, "-Infinity", 9);
            else
                put_right(out, w, "-Inf", 4);
        } else {
            if (w >= 8)
                put_right(out, w, "Infinity", 8);
            else
                put_right(out, w, "Inf", 3);
        }
        return;
    }
    const bool negative = std::signbit(x);  // -0.0 and values rounding to zero keep it
    uint64_t q;
    if (scaled_value(std::fabs(x), d, q)) {
        if (!put_scaled(out, w, d, q, negative)) std::memset(out, '*', static_cast<size_t>(w));
        return;
    }
    // Beyond 64 bits: to_chars rounds the exact binary value to d decimals
    // (a tie to the even neighbour) and writes a single "0" before the point below 1.
    char buf[FIXED_BUFFER];
    char* digits = buf + 1;  // room for the sign in front
    auto r = std::to_chars(digits, buf + sizeof buf, std::fabs(x), std::chars_format::fixed, static_cast<int>(d));
    if (r.ec != std::errc{}) {
        std::memset(out, '*', static_cast<size_t>(w));
        return;
    }
    char* end = r.ptr;
    if (d == 0) *end++ = '.';  // the point is written even without decimals
    int32_t n = static_cast<int32_t>(end - digits) + (negative ? 1 : 0);
    if (n > w && digits[0] == '0') {  // a narrow field gives up the leading zero first
        ++digits;
        --n;
    }
    if (negative) *--digits = '-';
    put_right(out, w, digits, n);
}

// The leftmost w characters of a text; a shorter text right-justified.
void put_text(char* out, int32_t w, const char* s, int32_t len) {
    if (len >= w) {
        std::memcpy(out, s, static_cast<size_t>(w));
    } else {
        put_right(out, w, s, len);
    }
}

}  // namespace

RecordTemplate parse_template(std::string_view text) {
    RecordTemplate t{};
    int32_t literal_used = 0;
    if (text.empty() || text[0] != '(') bad_template(text, 0, "expected \"(\"");
    size_t at = 1;
    for (;;) {
        if (at >= text.size()) bad_template(text, at, "ends before \")\"");
        size_t entry_at = at;
        if (text[at] == '"') {
            size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos) {
                bad_template(text, at, "literal without its closing quotation mark");
            }
            int32_t n = static_cast<int32_t>(close - at - 1);
            if (n > MAX_TEMPLATE_LITERALS - literal_used) {
                bad_template(text, entry_at, "literal text too long");
            }
            TemplateEntry e{'L', static_cast<int16_t>(n), 0, static_cast<int16_t>(literal_used)};
            add_entry(t, text, entry_at, e);
            std::memcpy(t.literals + literal_used, text.data() + at + 1, static_cast<size_t>(n));
            literal_used += n;
            at = close + 1;
        } else {
            int32_t r = 1;
            if (is_digit(text[at])) {
                r = read_number(text, at);
                if (r == 0) bad_template(text, entry_at, "repeat count must be 1 or more");
            }
            if (at >= text.size()) bad_template(text, at, "ends before \")\"");
            char desc = text[at];
            if (desc == 'i' || desc == 'f' || desc == 'a') desc = static_cast<char>(desc - 'a' + 'A');
            if (desc != 'I' && desc != 'F' && desc != 'A') {
                bad_template(text, at, "expected a quoted literal or an I, F or A field");
            }
            ++at;
            size_t width_at = at;
            int32_t w = read_number(text, at);
            if (w < 0) bad_template(text, width_at, "field width missing");
            if (w == 0) bad_template(text, width_at, "field width must be 1 or more");
            if (w > MAX_LINE_LENGTH) bad_template(text, width_at, "line too long");
            int32_t d = 0;
            if (desc == 'F') {
                if (at >= text.size() || text[at] != '.') {
                    bad_template(text, at, "F field needs a point and decimals");
                }
                ++at;
                size_t decimals_at = at;
                d = read_number(text, at);
                if (d < 0) bad_template(text, decimals_at, "F field needs a point and decimals");
                if (d >= w) bad_template(text, decimals_at, "decimals must be fewer than the width");
            }
            TemplateEntry e{desc, static_cast<int16_t>(w), static_cast<int16_t>(d), 0};
            for (int32_t k = 1; k <= r; ++k) add_entry(t, text, entry_at, e);
        }
        if (at >= text.size()) bad_template(text, at, "ends before \")\"");
        if (text[at] == ',') {
            ++at;
            continue;
        }
        if (text[at] != ')') bad_template(text, at, "expected \",\" or \")\"");
        ++at;
        break;
    }
    if (at != text.size()) bad_template(text, at, "text after the closing \")\"");
    return t;
}

int32_t format_template(const RecordTemplate& t, const IoItem* values, int32_t count, char* line) {
    if (count != t.value_count) {
        std::fprintf(stderr, "report template write: %d values for %d fields\n", static_cast<int>(count),
                     static_cast<int>(t.value_count));
        std::abort();
    }
    char* out = line;
    int32_t v = 0;  // index of the next value
    for (int32_t k = 0; k < t.entry_count; ++k) {
        const TemplateEntry& e = t.entries[k];
        if (e.desc == 'L') {
            std::memcpy(out, t.literals + e.lit_at, static_cast<size_t>(e.w));
            out += e.w;
            continue;
        }
        const IoItem& item = values[v];
        if (item.at == nullptr) bad_value(v + 1, e, "missing");
        switch (e.desc) {
        case 'I':
            if (item.kind != ItemKind::i32) bad_value(v + 1, e, "not a 32-bit integer");
            put_integer(out, e.w, *static_cast<const int32_t*>(item.at));
            break;
        case 'F':
            if (item.kind == ItemKind::f32) {
                put_fixed(out, e.w, e.d, static_cast<double>(*static_cast<const float*>(item.at)));
            } else if (item.kind == ItemKind::f64) {
                put_fixed(out, e.w, e.d, *static_cast<const double*>(item.at));
            } else {
                bad_value(v + 1, e, "not a 32-bit or 64-bit float");
            }
            break;
        default:  // 'A'
            if (item.kind != ItemKind::text || item.len < 0) bad_value(v + 1, e, "not a text");
            put_text(out, e.w, static_cast<const char*>(item.at), item.len);
            break;
        }
        out += e.w;
        ++v;
    }
    return t.length;
}

void write_template(int32_t stream, const RecordTemplate& t, const IoItem* values, int32_t count) {
    char line[MAX_LINE_LENGTH];
    int32_t n = format_template(t, values, count, line);
    write_line(stream, std::string_view(line, static_cast<size_t>(n)));
}

TemplateSlice template_slice(const RecordTemplate& t, int32_t first_value, int32_t count) {
    const int32_t last_value = first_value + count - 1;
    if (first_value < 1 || count < 1 || last_value > t.value_count) {
        std::fprintf(stderr, "report template slice: values %d to %d of a template of %d\n",
                     static_cast<int>(first_value), static_cast<int>(last_value), static_cast<int>(t.value_count));
        std::abort();
    }
    TemplateSlice s{};
    s.first_value = first_value;
    int32_t column = 0, value = 0, literal_used = 0;
    for (int32_t k = 0; k < t.entry_count && value < last_value; ++k) {
        TemplateEntry e = t.entries[k];
        if (e.desc != 'L') ++value;
        if (value >= first_value) {
            if (s.part.entry_count == 0) s.column = column;
            if (e.desc == 'L') {  // a literal between two fields of the slice
                std::memcpy(s.part.literals + literal_used, t.literals + e.lit_at, static_cast<size_t>(e.w));
                e.lit_at = static_cast<int16_t>(literal_used);
                literal_used += e.w;
            } else {
                ++s.part.value_count;
            }
            s.part.entries[s.part.entry_count++] = e;
            s.part.length += e.w;
        }
        column += e.w;
    }
    return s;
}

bool same_fields(const TemplateSlice& a, const TemplateSlice& b) {
    if (a.part.entry_count != b.part.entry_count) return false;
    for (int32_t k = 0; k < a.part.entry_count; ++k) {
        const TemplateEntry &x = a.part.entries[k], &y = b.part.entries[k];
        if (x.desc != y.desc || x.w != y.w || x.d != y.d) return false;
        if (x.desc == 'L' &&
            std::memcmp(a.part.literals + x.lit_at, b.part.literals + y.lit_at, static_cast<size_t>(x.w)) != 0) {
            return false;
        }
    }
    return true;
}

void format_literals(const RecordTemplate& t, char* line) {
    for (int32_t k = 0; k < t.entry_count; ++k) {
        const TemplateEntry& e = t.entries[k];
        if (e.desc == 'L') std::memcpy(line, t.literals + e.lit_at, static_cast<size_t>(e.w));
        line += e.w;
    }
}
