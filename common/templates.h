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

// The system's three templates.
constexpr std::string_view AFTERSHOCK_TEMPLATE = "(i4,\" \",A24,2f8.3,2f7.1,f16.8,\"  \",A20,A24,2f8.3,2f7.1,f16.8)";
constexpr std::string_view PAIR_TEMPLATE =
    "(i4,i4,\"  \",A24,2f8.3,2f7.1,\"   \",A24,2f8.3,2f7.1,f8.1,f11.6,f16.8,\"   \",A30)";
constexpr std::string_view SELECTION_TEMPLATE = "(A24,2f10.3,2f7.1,f16.8,f8.3)";
