// exact_time: time texts to exact instants, and the `tim` and `dat` forms.

#include "exact_time.h"

#include "day_count.h"

namespace {

constexpr uint64_t HALF_MS_UNITS = 500000000000000ull;  // 0.0005 s in 10^-18 s
constexpr uint64_t MS_UNITS = 1000000000000000ull;      // 0.001 s in 10^-18 s
constexpr int64_t LAST_TIM_YEAR = 9999;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `n` digits at `p`; false when they are not all digits.
bool digits(std::string_view s, size_t p, size_t n, int32_t& v) {
    if (p + n > s.size()) return false;
    v = 0;
    for (size_t i = p; i < p + n; ++i) {
        if (!is_digit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
    }
    return true;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view strip(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// Reads the designator at s[p..]: nothing (UTC), Z, or a signed offset
// HH:MM, HHMM or HH. `offset` gets the seconds east of UTC.
bool designator(std::string_view s, size_t p, int32_t& offset) {
    offset = 0;
    if (p == s.size()) return true;
    if (s[p] == 'Z') return p + 1 == s.size();
    if (s[p] != '+' && s[p] != '-') return false;
    const int32_t sign = s[p] == '-' ? -1 : 1;
    int32_t hh = 0, mm = 0;
    if (!digits(s, p + 1, 2, hh) || hh > 23) return false;
    size_t q = p + 3;
    if (q < s.size()) {
        if (s[q] == ':') ++q;
        if (!digits(s, q, 2, mm) || mm > 59 || q + 2 != s.size()) return false;
    }
    offset = sign * (hh * 3600 + mm * 60);
    return true;
}

// The instant rounded half to even to whole milliseconds, with the carry.
struct Rounded {
    int64_t days;  // days since 1900-01-01
    int32_t sec;   // seconds of the day
    int32_t ms;    // milliseconds, 0 to 999
};

Rounded round_to_ms(const Instant& at) {
    uint64_t ms = at.frac / MS_UNITS;
    const uint64_t rest = at.frac % MS_UNITS;
    if (rest > HALF_MS_UNITS || (rest == HALF_MS_UNITS && (at.sticky || ms % 2 == 1))) ++ms;
    Rounded r{at.days, at.sec, static_cast<int32_t>(ms)};
    if (r.ms == 1000) {
        r.ms = 0;
        if (++r.sec == SECONDS_PER_DAY) {
            r.sec = 0;
            ++r.days;
        }
    }
    return r;
}

}  // namespace

bool parse_time(std::string_view text, Instant& at) {
    const std::string_view s = strip(text);
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(s, 0, 4, year) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, month) || s[7] != '-' ||
        !digits(s, 8, 2, day))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return false;
    size_t p = 10;
    uint64_t frac = 0;
    bool sticky = false;
    if (p < s.size() && (s[p] == 'T' || s[p] == ' ')) {
        if (!digits(s, p + 1, 2, hour) || p + 3 >= s.size() || s[p + 3] != ':' || !digits(s, p + 4, 2, minute))
            return false;
        if (hour > 23 || minute > 59) return false;
        p += 6;
        if (p < s.size() && s[p] == ':') {
            if (!digits(s, p + 1, 2, second) || second > 60) return false;
            p += 3;
            if (p < s.size() && s[p] == '.') {
                ++p;
                const size_t start = p;
                uint64_t scale = FRAC_UNITS;
                while (p < s.size() && is_digit(s[p])) {
                    if (p - start < FRAC_DIGITS) {
                        scale /= 10;
                        frac += scale * static_cast<uint64_t>(s[p] - '0');
                    } else if (s[p] != '0') {
                        sticky = true;
                    }
                    ++p;
                }
                if (p == start) return false;
            }
        }
    }
    int32_t offset = 0;
    if (!designator(s, p, offset)) return false;
    // Seconds of the day in UTC; an offset or a leap second may move them
    // into the day before or after.
    int64_t days = days_from_civil(year, month, day);
    int64_t sec = int64_t{hour} * 3600 + minute * 60 + second - offset;
    while (sec < 0) {
        sec += SECONDS_PER_DAY;
        --days;
    }
    while (sec >= SECONDS_PER_DAY) {
        sec -= SECONDS_PER_DAY;
        ++days;
    }
    at = {days, static_cast<int32_t>(sec), frac, sticky};
    // The `tim` keeps its four-digit year after the rounding.
    const Rounded r = round_to_ms(at);
    const int64_t tim_year = civil_from_days(r.days).year;
    return tim_year >= 0 && tim_year <= LAST_TIM_YEAR;
}

int compare_instants(const Instant& a, const Instant& b) {
    if (a.days != b.days) return a.days < b.days ? -1 : 1;
    if (a.sec != b.sec) return a.sec < b.sec ? -1 : 1;
    if (a.frac != b.frac) return a.frac < b.frac ? -1 : 1;
    if (a.sticky != b.sticky) return a.sticky ? 1 : -1;
    return 0;
}

void format_tim(const Instant& at, char* out) {
    const Rounded r = round_to_ms(at);
    const int64_t days = r.days;
    const int64_t sec = r.sec;
    const int64_t ms = r.ms;
    const CivilDate d = civil_from_days(days);
    auto put = [&](int at_pos, int64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) {
            out[at_pos + i] = static_cast<char>('0' + (v < 0 ? 0 : v % 10));
            v /= 10;
        }
    };
    put(0, d.year, 4);
    out[4] = '-';
    put(5, d.month, 2);
    out[7] = '-';
    put(8, d.day, 2);
    out[10] = 'T';
    put(11, sec / 3600, 2);
    out[13] = ':';
    put(14, sec / 60 % 60, 2);
    out[16] = ':';
    put(17, sec % 60, 2);
    out[19] = '.';
    put(20, ms, 3);
    out[23] = 'Z';
}

int64_t dat_e8(const Instant& at) {
    // dat x 10^8 of the day's part is (sec x 10^8 + frac / 10^10) / 86400.
    // frac / 10^10 = whole + part / 10^10 with whole < 10^8, so the floor
    // is that of the integer m = sec x 10^8 + whole, and the remainder
    // (m mod 86400 + part / 10^10) is compared with a half in 64 bits.
    constexpr uint64_t E10 = 10000000000ull;
    const uint64_t m = static_cast<uint64_t>(at.sec) * 100000000u + at.frac / E10;
    const uint64_t part = at.frac % E10;
    uint64_t q = m / SECONDS_PER_DAY;
    const uint64_t twice_rest = 2 * ((m % SECONDS_PER_DAY) * E10 + part);
    const uint64_t den = SECONDS_PER_DAY * E10;
    // The digits beyond the 18th (sticky) lie below one unit of `part`:
    // they only break an exact tie.
    if (twice_rest > den || (twice_rest == den && (at.sticky || q % 2 == 1))) ++q;
    return at.days * 100000000 + static_cast<int64_t>(q);
}

void append_dat(std::string& out, int64_t e8) {
    char buf[32];
    int n = 0;
    uint64_t v = e8 < 0 ? 0 - static_cast<uint64_t>(e8) : static_cast<uint64_t>(e8);
    for (int i = 0; i < 8; ++i) {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    buf[n++] = '.';
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v > 0);
    if (e8 < 0) buf[n++] = '-';
    while (n > 0) out.push_back(buf[--n]);
}
