// exact_time: origin times of catalog records read exactly, and the two forms
// a catalog line carries: `tim` (canonical UTC text) and `dat` (days).
//
// Owns reading a time text (YYYY-MM-DD[(T|blank)HH:MM[:SS[.fraction]]] with an
// optional Z, +HH:MM, -HH:MM, +HHMM or +HH), the instant it names in UTC with
// every fractional digit kept, the millisecond `tim` text and the 8-decimal
// `dat`, both rounded half to even, computed in integers.
// Does not own the calendar arithmetic (day_count) or the records (records).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int32_t SECONDS_PER_DAY = 86400;
constexpr uint64_t FRAC_UNITS = 1000000000000000000ull;  // 10^18: the fraction is kept in attoseconds
constexpr int32_t FRAC_DIGITS = 18;                      // digits kept; later ones only as `sticky`
constexpr int32_t TIM_LEN = 24;                          // YYYY-MM-DDTHH:MM:SS.mmmZ

// One instant in UTC, exact: ordered by (days, sec, frac, sticky).
struct Instant {
    int64_t days = 0;     // days since 1900-01-01 (negative before), proleptic Gregorian
    int32_t sec = 0;      // seconds of the day, 0 to 86399
    uint64_t frac = 0;    // fraction of the second, in units of 10^-18 s
    bool sticky = false;  // a non-zero fractional digit beyond the 18th
};

// Reads a time text; leading and trailing blanks are ignored. A leap second
// (SS = 60) counts as the first second of the next minute. False when the
// text is no time of that form, names a date outside the calendar, or gives
// a `tim` outside the years 0000 to 9999.
bool parse_time(std::string_view text, Instant& at);

// -1, 0, 1 as a is earlier than, the same instant as, or later than b.
int compare_instants(const Instant& a, const Instant& b);

// The `tim` text of the instant: YYYY-MM-DDTHH:MM:SS.mmmZ, the milliseconds
// rounded half to even with the carry into the date. `out` gets TIM_LEN bytes.
void format_tim(const Instant& at, char* out);

// dat x 10^8, rounded half to even: the days since 1900-01-01 to 8 decimals.
int64_t dat_e8(const Instant& at);

// Appends dat x 10^8 as a decimal with exactly 8 decimals ("-52655.59722222").
void append_dat(std::string& out, int64_t e8);
