// values: the value texts of a catalog line, from the texts a source gives.
//
// Owns the rules for `lat`, `lon`, `dep`, `mag` (the source text when it is a
// plain decimal, otherwise the same number rewritten as one, exactly), depths
// in metres turned into km by moving the decimal point, the `nam` of a record
// (white space, control bytes, `,` `/` `'` `"` `*` and non-ASCII bytes
// become `_`), ids cut after their last `/` or `=`, and the event type rule.
// Does not own times (exact_time) or which record a value comes from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest number text a catalog line takes; a longer one is unreadable.
constexpr size_t MAX_NUMBER_LEN = 40;

// A number of a catalog line: its text and its value.
struct Number {
    std::string text;  // a plain decimal: -?digits[.digits]
    double value = 0;  // the nearest double, for the filters
};

// Reads a decimal number (optional sign, digits with at most one point, an
// optional exponent E or e) after stripping blanks. The text is kept when it
// is already a plain decimal and `shift` is 0; otherwise it is rewritten with
// the point moved `shift` places to the right (-3: metres to km), without
// leading zeros, trailing fractional zeros or a trailing point. False for an
// empty text, any other form, or a number that is no finite 32-bit float
// (the catalog readers take 32 bits).
bool read_number(std::string_view text, int32_t shift, Number& out);

// True when `text` is -?digits[.digits].
bool is_plain_decimal(std::string_view text);

// Appends the label of a record: `id` with every byte that a catalog reader
// or a report cannot carry replaced by `_` (one for a whole UTF-8
// character); "ev<N>" for an empty id.
void append_nam(std::string& out, std::string_view id, int64_t record);

// The part of an id after its last `/` or `=` (all of it when it has none).
std::string_view id_tail(std::string_view id);

// Leading and trailing blanks, tabs, carriage returns and line feeds removed.
std::string_view strip_blanks(std::string_view s);

// Lower-case ASCII copy of the stripped text: the form types are compared in.
std::string type_key(std::string_view type);
