// values: number texts, depths in km, labels and type keys.

#include "values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr int32_t MAX_EXPONENT = 60;  // beyond it no number is a finite 32-bit float anyway

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view strip_blanks(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool is_plain_decimal(std::string_view t) {
    size_t p = 0;
    if (p < t.size() && t[p] == '-') ++p;
    const size_t int_start = p;
    while (p < t.size() && is_digit(t[p])) ++p;
    if (p == int_start) return false;
    if (p == t.size()) return true;
    if (t[p] != '.') return false;
    const size_t frac_start = ++p;
    while (p < t.size() && is_digit(t[p])) ++p;
    return p > frac_start && p == t.size();
}

bool read_number(std::string_view text, int32_t shift, Number& out) {
    const std::string_view t = strip_blanks(text);
    if (t.empty() || t.size() > 4 * MAX_NUMBER_LEN) return false;
    if (shift == 0 && is_plain_decimal(t)) {
        out.text.assign(t);
    } else {
        // sign, the digits without the point, and where the point falls.
        size_t p = 0;
        bool negative = false;
        if (t[p] == '+' || t[p] == '-') negative = t[p++] == '-';
        std::string digits;
        int64_t point = 0;  // digits before the point
        bool seen_point = false;
        size_t count = 0;
        for (; p < t.size(); ++p) {
            if (is_digit(t[p])) {
                digits.push_back(t[p]);
                ++count;
                if (!seen_point) ++point;
            } else if (t[p] == '.' && !seen_point) {
                seen_point = true;
            } else {
                break;
            }
        }
        if (count == 0) return false;
        if (p < t.size()) {
            if (t[p] != 'e' && t[p] != 'E') return false;
            ++p;
            bool exp_negative = false;
            if (p < t.size() && (t[p] == '+' || t[p] == '-')) exp_negative = t[p++] == '-';
            const size_t exp_start = p;
            int32_t e = 0;
            while (p < t.size() && is_digit(t[p])) {
                if (e > MAX_EXPONENT) return false;
                e = e * 10 + (t[p++] - '0');
            }
            if (p == exp_start || p != t.size() || e > MAX_EXPONENT) return false;
            point += exp_negative ? -e : e;
        }
        point += shift;
        // Leading zeros of the whole part and trailing zeros of the fraction go.
        size_t lead = 0;
        while (lead < digits.size() && digits[lead] == '0' && static_cast<int64_t>(lead) < point) ++lead;
        digits.erase(0, lead);
        point -= static_cast<int64_t>(lead);
        while (!digits.empty() && digits.back() == '0' && static_cast<int64_t>(digits.size()) > point)
            digits.pop_back();
        std::string s;
        const bool zero = digits.find_first_not_of('0') == std::string::npos;
        if (zero) {
            s.push_back('0');
        } else {
            if (negative) s.push_back('-');
            if (point <= 0) {
                s += "0.";
                s.append(static_cast<size_t>(-point), '0');
                s += digits;
            } else if (point >= static_cast<int64_t>(digits.size())) {
                s += digits;
                s.append(static_cast<size_t>(point) - digits.size(), '0');
            } else {
                s.append(digits, 0, static_cast<size_t>(point));
                s.push_back('.');
                s.append(digits, static_cast<size_t>(point));
            }
        }
        out.text = std::move(s);
    }
    if (out.text.size() > MAX_NUMBER_LEN) return false;
    double v = 0;
    const char* b = out.text.data();
    const auto r = std::from_chars(b, b + out.text.size(), v);
    if (r.ec != std::errc() || !std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return false;
    out.value = v;
    return true;
}

void append_nam(std::string& out, std::string_view id, int64_t record) {
    if (id.empty()) {
        out += "ev";
        out += std::to_string(record);
        return;
    }
    unsigned char last = 0;
    for (char ch : id) {
        const unsigned char c = static_cast<unsigned char>(ch);
        // One `_` for a whole UTF-8 character: its continuation bytes
        // (10xxxxxx after a non-ASCII byte) add none.
        const bool continuation = c >= 0x80 && c < 0xC0 && last >= 0x80;
        last = c;
        if (continuation) continue;
        const bool bad = c <= ' ' || c >= 0x7f || c == ',' || c == '/' || c == '\'' || c == '"' || c == '*';
        out.push_back(bad ? '_' : ch);
    }
}

std::string_view id_tail(std::string_view id) {
    const size_t k = id.find_last_of("/=");
    return k == std::string_view::npos ? id : id.substr(k + 1);
}

std::string type_key(std::string_view type) {
    std::string k(strip_blanks(type));
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return k;
}
