// numbers: integer and real values from their text.

#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

bool parse_int(std::string_view s, int32_t& out) {
    size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    if (p == s.size()) return false;
    for (size_t k = p; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
    }
    if (s[0] == '+') s.remove_prefix(1);
    int32_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    out = v;
    return true;
}

namespace {

bool same_word(std::string_view s, std::string_view word) {
    if (s.size() != word.size()) return false;
    for (size_t k = 0; k < s.size(); ++k) {
        char ch = s[k];
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != word[k]) return false;
    }
    return true;
}

// One road for every real value, in three stages:
// 1. the form is checked once, left to right, and the digits are gathered
//    as a whole number M with k decimals on the way;
// 2. a plain decimal of few digits (the bulk of every catalog) is M / 10^k
//    by one division (short_decimal);
// 3. anything else goes to the standard converter, in the spelling it reads
//    (no plus sign in front, E as the exponent letter), and beyond the
//    width's range to the C library, which rounds to an infinity or zero.
template <class T>
bool parse_real_of(std::string_view s, T& out) {
    constexpr int32_t MAX_DIGITS = 19;  // a whole number of 19 digits fits in 64 bits
    const size_t n = s.size();

    // 1. The form: sign, digits and point, exponent.
    size_t p = 0;
    const bool plus = n > 0 && s[0] == '+';
    const bool neg = n > 0 && s[0] == '-';
    if (plus || neg) p = 1;
    const size_t mant = p;
    uint64_t m = 0;
    int32_t digits = 0, decimals = -1;  // -1: no point yet
    for (; p < n; ++p) {
        const char ch = s[p];
        if (ch >= '0' && ch <= '9') {
            if (++digits <= MAX_DIGITS) m = m * 10 + static_cast<uint64_t>(ch - '0');
            if (decimals >= 0) ++decimals;
        } else if (ch == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    if (digits == 0) {
        if (p != mant) return false;  // a point and no digit
        const std::string_view word = s.substr(mant);
        if (same_word(word, "inf") || same_word(word, "infinity")) {
            out = neg ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
            return true;
        }
        if (same_word(word, "nan")) {
            out = std::copysign(std::numeric_limits<T>::quiet_NaN(), neg ? T(-1) : T(1));
            return true;
        }
        return false;
    }
    const size_t mant_end = p;
    bool letter_e = true;  // the exponent, if any, is written with E or e
    if (p < n) {
        const char ch = s[p];
        if (ch == 'e' || ch == 'E' || ch == 'd' || ch == 'D') {
            letter_e = ch == 'e' || ch == 'E';
            ++p;
            if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
        } else if (ch == '+' || ch == '-') {
            letter_e = false;  // a bare signed exponent
            ++p;
        } else {
            return false;
        }
        const size_t exp_digits = p;
        while (p < n && s[p] >= '0' && s[p] <= '9') ++p;
        if (p == exp_digits || p != n) return false;
    }

    // 2. A plain short decimal.
    if (mant_end == n && short_decimal(m, digits, decimals, neg, out)) return true;

    // 3. The general conversion.
    std::string spelled;
    std::string_view text = s;
    if (plus || !letter_e) {
        spelled.reserve(n + 1);
        if (neg) spelled += '-';
        spelled.append(s.data() + mant, mant_end - mant);
        if (mant_end < n) {
            spelled += 'e';
            const size_t e = s[mant_end] == '+' || s[mant_end] == '-' ? mant_end : mant_end + 1;
            spelled.append(s.data() + e, n - e);
        }
        text = spelled;
    }
    T v{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (ec == std::errc() && ptr == text.data() + text.size()) {
        out = v;
        return true;
    }
    if (ec != std::errc::result_out_of_range) return false;
    if (spelled.empty()) spelled.assign(text);  // the C library wants a terminated text
    if constexpr (sizeof(T) == 4) {
        out = std::strtof(spelled.c_str(), nullptr);
    } else {
        out = std::strtod(spelled.c_str(), nullptr);
    }
    return true;
}

}  // namespace

bool parse_real(std::string_view s, float& out) { return parse_real_of(s, out); }
bool parse_real(std::string_view s, double& out) { return parse_real_of(s, out); }
