// templates: fixed-column report lines.
//
// Owns the parsing of a template text such as "(A24,2f10.3,f8.3)" into a
// RecordTemplate, and writing one line through it: I, F and A fields, repeat
// counts and quoted literals. A finished line goes to write_line (streams).
// Does not own what value goes into which column: the reports decide that.
#pragma once

#include <cstdint>
#include <string_view>

#include "streams.h"

// One entry of a parsed template: a literal or a value field.
struct TemplateEntry {
    char desc;       // 'I', 'F', 'A', or 'L' for a literal
    int16_t w;       // field width in columns (literal: its length)
    int16_t d;       // decimals of an F field
    int16_t lit_at;  // literal: offset of its text in RecordTemplate::literals
};

constexpr int32_t MAX_TEMPLATE_ENTRIES = 64;
constexpr int32_t MAX_TEMPLATE_LITERALS = 256;  // characters of all literals together
constexpr int32_t MAX_LINE_LENGTH = 1024;       // columns of one template line

struct RecordTemplate {
    TemplateEntry entries[MAX_TEMPLATE_ENTRIES];  // left to right, repeats expanded
    int32_t entry_count;                          // entries in use
    int32_t value_count;                          // value fields among them
    int32_t length;                               // line length in columns
    char literals[MAX_TEMPLATE_LITERALS];         // the literal texts, back to back
};

// Parses a template text; a malformed one is a programming error and aborts
// with a message naming the template and the place.
RecordTemplate parse_template(std::string_view text);

// Lays out `values` (one per value field, in order and kind) into `line`,
// which must hold t.length characters; returns t.length.
int32_t format_template(const RecordTemplate& t, const IoItem* values, int32_t count, char* line);
// Writes one line through the template to `stream`; no heap allocation.
void write_template(int32_t stream, const RecordTemplate& t, const IoItem* values, int32_t count);

// A run of consecutive value fields of a template (with any literal between
// them) and the column of the template's line where it begins. A record can
// then be laid out piece by piece, some pieces once per event and copied, and
// still be described by its one template: every column comes from the
// template's text.
struct TemplateSlice {
    RecordTemplate part;  // the entries of the slice, as a template of their own
    int32_t column;       // 0-based column of the whole line where the slice begins
    int32_t first_value;  // 1-based number, in the whole template, of the slice's first value field
};

// The columns that value fields first_value .. first_value + count - 1
// (1-based) of a template text take, with the literals between them, worked
// out at compile time from the text itself (a template of the system, so
// well formed): a layout can copy a piece of that many columns as a constant.
constexpr int32_t slice_columns(std::string_view text, int32_t first_value, int32_t count) {
    const int32_t last_value = first_value + count - 1;
    int32_t value = 0, columns = 0;
    size_t at = 1;
    auto number = [&] {
        int32_t v = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') v = v * 10 + (text[at++] - '0');
        return v;
    };
    while (at < text.size() && text[at] != ')') {
        if (text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            if (value >= first_value && value < last_value) columns += static_cast<int32_t>(close - at - 1);
            at = close + 1;
        } else {
            int32_t repeat = number();
            if (repeat == 0) repeat = 1;
            ++at;  // the descriptor
            const int32_t width = number();
            if (at < text.size() && text[at] == '.') {
                ++at;
                number();
            }
            for (int32_t k = 0; k < repeat; ++k) {
                ++value;
                if (value >= first_value && value <= last_value) columns += width;
            }
        }
        if (at < text.size() && text[at] == ',') ++at;
    }
    return columns;
}

// Value fields first_value .. first_value + count - 1 (1-based) of t; asking
// for fields t does not have is a programming error and aborts.
TemplateSlice template_slice(const RecordTemplate& t, int32_t first_value, int32_t count);
// Whether two slices lay out their values alike (the same fields in the same
// widths), so that a piece laid out for one fits the other.
bool same_fields(const TemplateSlice& a, const TemplateSlice& b);
// Copies every literal of t to its columns of `line` (t.length characters);
// the value fields' columns are left as they were.
void format_literals(const RecordTemplate& t, char* line);

// The system's three templates.
constexpr std::string_view AFTERSHOCK_TEMPLATE = "(i4,\" \",A24,2f8.3,2f7.1,f16.8,\"  \",A20,A24,2f8.3,2f7.1,f16.8)";
constexpr std::string_view PAIR_TEMPLATE =
    "(i4,i4,\"  \",A24,2f8.3,2f7.1,\"   \",A24,2f8.3,2f7.1,f8.1,f11.6,f16.8,\"   \",A30)";
constexpr std::string_view SELECTION_TEMPLATE = "(A24,2f10.3,2f7.1,f16.8,f8.3)";
