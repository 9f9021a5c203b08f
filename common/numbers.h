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
