// free_read: lines of a stream, and free-form read statements over them.

#include "free_read.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include <unistd.h>

#include "numbers.h"

namespace {

// Makes the next line of the stream current; false at the end of the input.
bool next_line(int32_t stream, FreeFormReader& r) {
    if (r.line_in_carry) {
        r.carry.clear();
        r.line_in_carry = false;
    }
    r.has_line = false;
    if (r.eof) return false;
    if (r.buf.empty()) r.buf.resize(READ_CHUNK);
    for (;;) {
        const char* base = r.buf.data();
        if (r.beg < r.end) {
            const char* nl = static_cast<const char*>(std::memchr(base + r.beg, '\n', r.end - r.beg));
            if (nl) {
                size_t stop = static_cast<size_t>(nl - base);
                if (r.carry.empty()) {
                    r.line = base + r.beg;
                    r.len = stop - r.beg;
                } else {
                    r.carry.append(base + r.beg, stop - r.beg);
                    r.line = r.carry.data();
                    r.len = r.carry.size();
                    r.line_in_carry = true;
                }
                r.beg = stop + 1;
                // A carriage return directly before the line feed is no part
                // of the line; anywhere else it is an ordinary character.
                if (r.len > 0 && r.line[r.len - 1] == '\r') --r.len;
                break;
            }
            r.carry.append(base + r.beg, r.end - r.beg);
        }
        r.beg = r.end = 0;
        ssize_t k = read(input_descriptor(stream), r.buf.data(), r.buf.size());
        if (k < 0) {
            if (errno == EINTR) {
                poll_stop();  // a stop signal ends the run here
                continue;
            }
            fatal_io_error(Failure::read_refused, stream, stream_file(stream), std::strerror(errno));
        }
        if (k == 0) {
            r.eof = true;
            if (r.carry.empty()) return false;
            // A last line without a line feed reads like any other; a
            // carriage return at its end ends no line and stays in it.
            r.line = r.carry.data();
            r.len = r.carry.size();
            r.line_in_carry = true;
            break;
        }
        r.end = static_cast<size_t>(k);
    }
    r.pos = 0;
    r.has_line = true;
    ++r.line_no;
    return true;
}

// Character classes of free-form input: a blank (blank or tab), or another
// character that ends an undelimited value (comma, slash).
constexpr uint8_t BLANK = 1, ENDS_VALUE = 2;

struct CharClasses {
    uint8_t of[256];  // BLANK | ENDS_VALUE bits per byte
    constexpr CharClasses() : of{} {
        of[static_cast<uint8_t>(' ')] = BLANK | ENDS_VALUE;
        of[static_cast<uint8_t>('\t')] = BLANK | ENDS_VALUE;
        of[static_cast<uint8_t>(',')] = ENDS_VALUE;
        of[static_cast<uint8_t>('/')] = ENDS_VALUE;
    }
};
constexpr CharClasses CLASSES;

bool is_blank(char ch) { return CLASSES.of[static_cast<uint8_t>(ch)] & BLANK; }
bool ends_value(char ch) { return CLASSES.of[static_cast<uint8_t>(ch)] & ENDS_VALUE; }

const char* kind_name(ItemKind k) {
    switch (k) {
    case ItemKind::i32: return "an integer";
    case ItemKind::f32:
    case ItemKind::f64: return "a real number";
    case ItemKind::text: return "a text";
    }
    return "a value";
}

[[noreturn]] void bad_value(int32_t stream, std::string_view text, const char* what) {
    std::string detail = "\"";  // built in steps: GCC 12 warns falsely on "..." + std::string&&
    detail += shown_text(text);
    detail += "\" for ";
    detail += what;
    fatal_io_error(Failure::bad_value, stream, stream_file(stream), detail);
}

void store_text(const IoItem& item, std::string_view v) {
    char* dst = static_cast<char*>(item.at);
    size_t len = static_cast<size_t>(item.len);
    size_t n = v.size() < len ? v.size() : len;
    std::memcpy(dst, v.data(), n);
    std::memset(dst + n, ' ', len - n);
}

// Stores one value into one item; `delimited` marks a quoted text.
void store(int32_t stream, const IoItem& item, std::string_view v, bool delimited) {
    switch (item.kind) {
    case ItemKind::text: store_text(item, v); return;
    case ItemKind::i32:
        if (delimited || !parse_int(v, *static_cast<int32_t*>(item.at))) {
            bad_value(stream, v, kind_name(item.kind));
        }
        return;
    case ItemKind::f32:
        if (delimited || !parse_real(v, *static_cast<float*>(item.at))) {
            bad_value(stream, v, kind_name(item.kind));
        }
        return;
    case ItemKind::f64:
        if (delimited || !parse_real(v, *static_cast<double*>(item.at))) {
            bad_value(stream, v, kind_name(item.kind));
        }
        return;
    }
}

// Passes over blanks and line ends to the next character of a value or
// separator; false when the input ends first.
bool skip_blanks(int32_t stream, FreeFormReader& r) {
    for (;;) {
        if (r.has_line) {
            while (r.pos < r.len && is_blank(r.line[r.pos])) ++r.pos;
            if (r.pos < r.len) return true;
        }
        if (!next_line(stream, r)) return false;
    }
}

[[noreturn]] void end_of_input(int32_t stream) {
    fatal_io_error(Failure::end_of_file, stream, stream_file(stream), "while a value is still needed");
}

// A delimited text starting at the opening mark; runs over line ends.
// Leaves the position after the closing mark.
void read_delimited(int32_t stream, FreeFormReader& r, std::string& value) {
    char mark = r.line[r.pos++];
    value.clear();
    for (;;) {
        if (r.pos >= r.len) {
            // A line end inside the value is skipped.
            if (!next_line(stream, r)) end_of_input(stream);
            continue;
        }
        const char* at = static_cast<const char*>(std::memchr(r.line + r.pos, mark, r.len - r.pos));
        if (!at) {
            value.append(r.line + r.pos, r.len - r.pos);
            r.pos = r.len;
            continue;
        }
        size_t k = static_cast<size_t>(at - r.line);
        value.append(r.line + r.pos, k - r.pos);
        if (k + 1 < r.len && r.line[k + 1] == mark) {
            value += mark;
            r.pos = k + 2;
            continue;
        }
        r.pos = k + 1;
        break;
    }
    if (r.pos < r.len && !ends_value(r.line[r.pos])) {
        std::string whole = std::string(1, mark) + value + mark;
        whole.append(r.line + r.pos, r.len - r.pos);
        bad_value(stream, whole, "a text (the closing quote must be followed by a separator)");
    }
}

}  // namespace

void read_free(int32_t stream, const IoItem* items, int32_t count) {
    FreeFormReader& r = stream_reader(stream);
    // Every statement starts on a fresh line: the rest of the line on which the
    // previous statement ended is never read; a line that peek_line handed
    // out and that no statement took is that fresh line.
    if (!r.held) r.has_line = false;
    r.held = false;

    std::string scratch;         // a delimited text, possibly over several lines
    std::string_view rep_value;  // the value a repeat count hands out
    bool rep_delimited = false;  // that value was quoted
    bool rep_null = false;       // the repeat hands out null values
    int64_t rep_left = 0;        // copies still to hand out
    bool after_value = false;    // a value was taken and no comma since
    int32_t k = 0;
    while (k < count) {
        if (rep_left > 0) {
            if (!rep_null) store(stream, items[k], rep_value, rep_delimited);
            ++k;
            --rep_left;
            continue;
        }
        if (!skip_blanks(stream, r)) end_of_input(stream);
        char ch = r.line[r.pos];
        if (ch == ',') {
            ++r.pos;
            if (!after_value) ++k;  // a null value: the item keeps its value
            after_value = false;
            continue;
        }
        if (ch == '/') {
            ++r.pos;
            return;
        }
        // A repeat count: digits directly followed by an asterisk.
        size_t q = r.pos;
        while (q < r.len && r.line[q] >= '0' && r.line[q] <= '9') ++q;
        int64_t repeat = 0;
        if (q > r.pos && q < r.len && r.line[q] == '*') {
            for (size_t d = r.pos; d < q; ++d) {
                repeat = repeat * 10 + (r.line[d] - '0');
                if (repeat > INT32_MAX) repeat = INT32_MAX;  // copies beyond the items are dropped
            }
            if (repeat == 0) {
                bad_value(stream, std::string_view(r.line + r.pos, q + 1 - r.pos),
                          "a repeat count (it must be 1 or more)");
            }
            r.pos = q + 1;
            if (r.pos >= r.len || ends_value(r.line[r.pos])) {
                rep_null = true;
                rep_left = repeat;
                after_value = true;
                continue;
            }
        }
        std::string_view value;
        bool delimited = false;
        if (items[k].kind == ItemKind::text && (r.line[r.pos] == '\'' || r.line[r.pos] == '"')) {
            read_delimited(stream, r, scratch);
            value = scratch;
            delimited = true;
        } else {
            // The leading digits were passed over already by the repeat check.
            size_t start = r.pos;
            if (repeat == 0) r.pos = q;
            while (r.pos < r.len && !ends_value(r.line[r.pos])) ++r.pos;
            value = std::string_view(r.line + start, r.pos - start);
        }
        after_value = true;
        if (repeat > 0) {
            rep_null = false;
            rep_value = value;
            rep_delimited = delimited;
            rep_left = repeat;
            continue;
        }
        store(stream, items[k], value, delimited);
        ++k;
    }
}

bool peek_line(int32_t stream, std::string_view& line) {
    FreeFormReader& r = stream_reader(stream);
    if (!r.held) {
        if (!next_line(stream, r)) return false;
        r.held = true;
    }
    line = std::string_view(r.line, r.len);
    return true;
}

void take_line(int32_t stream) {
    FreeFormReader& r = stream_reader(stream);
    r.held = false;
    r.has_line = false;
}

bool take_and_peek_line(int32_t stream, std::string_view& line) {
    FreeFormReader& r = stream_reader(stream);
    r.held = false;
    r.has_line = false;
    if (!next_line(stream, r)) return false;
    r.held = true;
    line = std::string_view(r.line, r.len);
    return true;
}
