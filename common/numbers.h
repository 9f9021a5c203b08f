// numbers: the integer and real values of free-form input, text to number.
//
// Owns the accepted forms of an integer value and of a real value and their
// conversion, correctly rounded, straight to the item's own width. Pure
// functions of a text: no stream, no failure road (the reader decides what a
// refused value means).
// Does not own where a value starts or ends on a line (free_read).
#pragma once

#include <cstdint>
#include <string_view>

// An optional sign, then one or more decimal digits, within the 32-bit range.
// False (and `out` untouched) for any other text.
bool parse_int(std::string_view s, int32_t& out);

// An optional sign; decimal digits with at most one point and at least one
// digit; then optionally an exponent: E or D in either case and an optionally
// signed whole number, or a sign directly followed by a whole number ("1.5+3"
// is 1500). Or the words INF, INFINITY, NAN in any case, optionally signed.
// Converted to the nearest value of the width (ties to even), a 32-bit item
// never by way of a 64-bit value; beyond the range an infinity or zero.
// False (and `out` untouched) for any other text.
bool parse_real(std::string_view s, float& out);
bool parse_real(std::string_view s, double& out);

// The plain short decimal of a real value: the whole number M of its digits
// (`digits` of them) with `decimals` of them after the point (-1: no point),
// as M / 10^decimals by one division, which rounds correctly because M and
// 10^decimals are both exact in the width when M is at most 2^24 (2^53) and
// decimals at most 10 (22). False (and `out` untouched) when the value is
// not that short; parse_real then takes the general road. The one source of
// this conversion, for parse_real and for any scanner that gathers the
// digits on its own way over a line.
template <class T>
inline bool short_decimal(uint64_t m, int32_t digits, int32_t decimals, bool neg, T& out) {
    constexpr uint64_t EXACT = sizeof(T) == 4 ? uint64_t{1} << 24 : uint64_t{1} << 53;
    constexpr int32_t MAX_DECIMALS = sizeof(T) == 4 ? 10 : 22;
    constexpr int32_t MAX_DIGITS = 19;  // a whole number of 19 digits fits in 64 bits
    static constexpr T POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (digits > MAX_DIGITS || m > EXACT || decimals > MAX_DECIMALS) return false;
    const T v = static_cast<T>(m) / POWERS[decimals < 0 ? 0 : decimals];
    out = neg ? -v : v;
    return true;
}
