// event_catalog: reading catalog lines into the event tables.

#include "event_catalog.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "numbers.h"

namespace {

// The fewest bytes a catalog line of `count` values can take: one character
// per value, a blank between values, a line feed.
int64_t shortest_line(int32_t count) { return 2 * static_cast<int64_t>(count); }

// What a byte is to the common line: part of a value, a blank (blank or
// tab) between values, or a byte that gives a free-form read another
// meaning there (a comma or slash ends a value or the statement, an asterisk
// may make a repeat count).
enum : uint8_t { PART = 0, BLANK = 1, OTHER = 2 };

struct ByteKinds {
    uint8_t of[256];
    constexpr ByteKinds() : of{} {
        of[static_cast<uint8_t>(' ')] = BLANK;
        of[static_cast<uint8_t>('\t')] = BLANK;
        of[static_cast<uint8_t>(',')] = OTHER;
        of[static_cast<uint8_t>('/')] = OTHER;
        of[static_cast<uint8_t>('*')] = OTHER;
    }
};
constexpr ByteKinds KINDS;

uint8_t kind(char ch) { return KINDS.of[static_cast<uint8_t>(ch)]; }

// The common line is scanned once, left to right, by a cursor `at` over it.

// The next value of the common line: a run of value bytes after the blanks.
// False when there is none or when a byte of another meaning ends it.
[[gnu::always_inline]] inline bool next_word(std::string_view line, size_t& at, std::string_view& word) {
    const size_t end = line.size();
    while (at < end && kind(line[at]) == BLANK) ++at;
    const size_t start = at;
    // Four bytes a step through the long texts (PART is 0), then byte by byte.
    while (end - at >= 4 && (kind(line[at]) | kind(line[at + 1]) | kind(line[at + 2]) | kind(line[at + 3])) == PART) {
        at += 4;
    }
    while (at < end && kind(line[at]) == PART) ++at;
    if (at < end && kind(line[at]) == OTHER) return false;
    word = line.substr(start, at - start);
    return at > start;
}

// A text value, undelimited: its word (a quotation mark at its start would
// make it a delimited text).
bool next_text(std::string_view line, size_t& at, std::string_view& word) {
    return next_word(line, at, word) && word[0] != '\'' && word[0] != '"';
}

// A real value. A plain decimal ([-]digits[.digits], ended by a blank or the
// line's end) has its digits gathered on the way and is converted at once by
// short_decimal, as parse_real converts it; any other word, and a decimal
// too long for that, is read by parse_real.
template <class T>
[[gnu::always_inline]] inline bool next_real(std::string_view line, size_t& at, T& out) {
    const char* p = line.data() + at;
    const char* const end = line.data() + line.size();
    while (p < end && kind(*p) == BLANK) ++p;
    const char* const start = p;
    const bool neg = p < end && *p == '-';
    if (neg) ++p;
    uint64_t m = 0;
    const char* point = nullptr;  // the point, if any
    const char* first = p;        // the first digit
    for (; p < end; ++p) {
        const uint32_t d = static_cast<uint32_t>(static_cast<uint8_t>(*p)) - '0';
        if (d <= 9) {
            m = m * 10 + d;  // meaningless past 19 digits, where short_decimal refuses
        } else if (*p == '.' && !point) {
            point = p;
        } else {
            break;
        }
    }
    const int32_t digits = static_cast<int32_t>(p - first) - (point ? 1 : 0);
    const int32_t decimals = point ? static_cast<int32_t>(p - point) - 1 : -1;
    if (digits > 0 && (p == end || kind(*p) == BLANK) && short_decimal(m, digits, decimals, neg, out)) {
        at = static_cast<size_t>(p - line.data());
        return true;
    }
    at = static_cast<size_t>(start - line.data());
    std::string_view w;
    return next_word(line, at, w) && parse_real(w, out);
}

// The values of a common line, the texts as the words of the line.
struct CommonLine {
    std::string_view tim, nam;
    float lat, lon, dep, mag;
    double dat;
};

// The common catalog line in one pass: the layout's values, undelimited and
// separated by blanks, on one line, anything after them ignored. False for
// any other line: the general reader then reads it from its start (and
// takes every value of a common line the same way).
bool read_common_line(std::string_view line, CommonLine& c, Layout layout) {
    size_t at = 0;
    return next_text(line, at, c.tim) && next_real(line, at, c.lat) && next_real(line, at, c.lon) &&
           next_real(line, at, c.dep) && next_real(line, at, c.mag) && next_real(line, at, c.dat) &&
           (layout != Layout::labelled || next_text(line, at, c.nam));
}

// A text as a read statement stores it into a character item of `len`
// characters: its first `len` characters, blank-padded.
[[gnu::always_inline]] inline void store_text(char* to, size_t len, std::string_view word) {
    if (word.size() >= len) {  // the whole origin time, most often: a copy of known length
        std::memcpy(to, word.data(), len);
        return;
    }
    const size_t n = std::min(word.size(), len);
    std::memcpy(to, word.data(), n);
    std::memset(to + n, ' ', len - n);
}

// Slot 0 of the tables, which never names an event, once.
void start_tables(EventCatalog& cat) {
    if (!cat.tim.empty()) return;
    ShownTim tim;
    std::memset(tim.c, ' ', sizeof tim.c);
    ShownNam nam;
    std::memset(nam.c, ' ', sizeof nam.c);
    cat.tim.push_back(tim);
    cat.lat.push_back(0);
    cat.lon.push_back(0);
    cat.dep.push_back(0);
    cat.mag.push_back(0);
    cat.dat.push_back(0);
    cat.nam.push_back(nam);
}

// Appends the numbers of one event; its texts are appended by the caller.
void add_numbers(EventCatalog& cat, float lat, float lon, float dep, float mag, double dat) {
    cat.lat.push_back(lat);
    cat.lon.push_back(lon);
    cat.dep.push_back(dep);
    cat.mag.push_back(mag);
    cat.dat.push_back(dat);
    ++cat.n;
}

}  // namespace

void read_event(CatalogEvent& ev, int32_t stream, Layout layout) {
    std::string_view line;
    CommonLine c;
    if (peek_line(stream, line) && read_common_line(line, c, layout)) {
        take_line(stream);
        store_text(ev.tim.c, TEXT_LEN, c.tim);
        ev.lat = c.lat;
        ev.lon = c.lon;
        ev.dep = c.dep;
        ev.mag = c.mag;
        ev.dat = c.dat;
        if (layout == Layout::labelled) store_text(ev.nam.c, TEXT_LEN, c.nam);
        return;
    }
    read_event_statement(ev, stream, layout);
}

void read_event_statement(CatalogEvent& ev, int32_t stream, Layout layout) {
    const IoItem items[] = {
        io(ev.tim), io(ev.lat), io(ev.lon), io(ev.dep), io(ev.mag), io(ev.dat), io(ev.nam),
    };
    read_free(stream, items, layout == Layout::labelled ? 7 : 6);
}

void add_event(EventCatalog& cat, const CatalogEvent& ev) {
    start_tables(cat);
    ShownTim tim;
    std::memcpy(tim.c, ev.tim.c, sizeof tim.c);
    ShownNam nam;
    std::memcpy(nam.c, ev.nam.c, sizeof nam.c);
    cat.tim.push_back(tim);
    cat.nam.push_back(nam);
    add_numbers(cat, ev.lat, ev.lon, ev.dep, ev.mag, ev.dat);
}

void advise_large_pages(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t LARGE_PAGE = uintptr_t{1} << 21;  // 2 MB
    const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(LARGE_PAGE - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // advice: no failure to handle
#else
    (void)data;
    (void)bytes;
#endif
}

void reserve_events(EventCatalog& cat, int64_t events) {
    const size_t slots = static_cast<size_t>(events) + 1;  // slot 0 too
    reserve_table(cat.tim, slots);
    reserve_table(cat.lat, slots);
    reserve_table(cat.lon, slots);
    reserve_table(cat.dep, slots);
    reserve_table(cat.mag, slots);
    reserve_table(cat.dat, slots);
    reserve_table(cat.nam, slots);
}

void load_events(EventCatalog& cat, int32_t stream, int32_t n, Layout layout) {
    // The tables are made room for once, for as many lines as the file can
    // hold (its size over the shortest line) when the catalog is a regular
    // file, and never for more than n; a count larger than the file ends with
    // the end-of-file failure at the first missing line, never with a huge
    // allocation made on the word of the count. Otherwise they grow line by line.
    const int64_t bytes = n > 0 ? stream_file_size(stream) : -1;
    if (bytes >= 0) {
        reserve_events(cat, std::min<int64_t>(n, bytes / shortest_line(layout == Layout::labelled ? 7 : 6) + 1));
    }
    // A common line goes straight from the line to the tables, its texts
    // cut to the characters shown; any other line is read by read_event.
    if (n > 0) start_tables(cat);
    std::string_view line;
    bool peeked = n > 0 && peek_line(stream, line);  // line i is held; never a line past n
    for (int64_t i = 1; i <= n; ++i) {
        CommonLine c;
        if (peeked && read_common_line(line, c, layout)) {
            ShownTim tim;
            store_text(tim.c, TIM_SHOWN, c.tim);
            ShownNam nam;
            store_text(nam.c, NAM_SHOWN, layout == Layout::labelled ? c.nam : std::string_view());
            cat.tim.push_back(tim);
            cat.nam.push_back(nam);
            add_numbers(cat, c.lat, c.lon, c.dep, c.mag, c.dat);
            if (i < n) {
                peeked = take_and_peek_line(stream, line);
            } else {
                take_line(stream);
            }
            continue;
        }
        CatalogEvent ev{};
        ev.tim = make_text("");
        ev.nam = ev.tim;
        read_event(ev, stream, layout);
        add_event(cat, ev);
        peeked = i < n && peek_line(stream, line);
    }
}
