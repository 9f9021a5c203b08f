// event_catalog: reading catalog lines into the event tables.

#include "event_catalog.h"

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

// The next value of the common line: a run of value bytes after the blanks.
bool next_word(std::string_view line, size_t& at, std::string_view& word) {
    const size_t end = line.size();
    while (at < end && kind(line[at]) == BLANK) ++at;
    const size_t start = at;
    while (at < end && kind(line[at]) == PART) ++at;
    if (at < end && kind(line[at]) == OTHER) return false;
    word = line.substr(start, at - start);
    return at > start;
}

// A text value as a read statement stores it: its first TEXT_LEN
// characters, blank-padded. A quotation mark at its start would make it a
// delimited text.
bool plain_text(std::string_view word, Text& t) {
    if (word[0] == '\'' || word[0] == '"') return false;
    const size_t n = std::min(word.size(), static_cast<size_t>(TEXT_LEN));
    std::memcpy(t.c, word.data(), n);
    std::memset(t.c + n, ' ', TEXT_LEN - n);
    return true;
}

// The common catalog line in one pass: the layout's values, undelimited and
// separated by blanks, on one line, anything after them ignored; fills `ev`
// as the read statement would. False for any other line: the general reader
// then reads it from its start, and stores every value stored here again,
// from the same text (a value is stored here only when every value before it
// was a plain one too, which the general reader takes the same way).
bool read_common_line(std::string_view line, CatalogEvent& ev, Layout layout) {
    size_t at = 0;
    std::string_view w;
    if (!next_word(line, at, w) || !plain_text(w, ev.tim)) return false;
    float* reals[] = {&ev.lat, &ev.lon, &ev.dep, &ev.mag};
    for (float* v : reals) {
        if (!next_word(line, at, w) || !parse_real(w, *v)) return false;
    }
    if (!next_word(line, at, w) || !parse_real(w, ev.dat)) return false;
    if (layout == Layout::labelled && (!next_word(line, at, w) || !plain_text(w, ev.nam))) return false;
    return true;
}

}  // namespace

void read_event(CatalogEvent& ev, int32_t stream, Layout layout) {
    std::string_view line;
    if (peek_line(stream, line) && read_common_line(line, ev, layout)) {
        take_line(stream);
        return;
    }
    const IoItem items[] = {
        io(ev.tim), io(ev.lat), io(ev.lon), io(ev.dep), io(ev.mag), io(ev.dat), io(ev.nam),
    };
    read_free(stream, items, layout == Layout::labelled ? 7 : 6);
}

void add_event(EventCatalog& cat, const CatalogEvent& ev) {
    if (cat.tim.empty()) {
        // Slot 0 never names an event.
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
    ShownTim tim;
    std::memcpy(tim.c, ev.tim.c, sizeof tim.c);
    ShownNam nam;
    std::memcpy(nam.c, ev.nam.c, sizeof nam.c);
    cat.tim.push_back(tim);
    cat.lat.push_back(ev.lat);
    cat.lon.push_back(ev.lon);
    cat.dep.push_back(ev.dep);
    cat.mag.push_back(ev.mag);
    cat.dat.push_back(ev.dat);
    cat.nam.push_back(nam);
    ++cat.n;
}

void reserve_events(EventCatalog& cat, int64_t events) {
    const size_t slots = static_cast<size_t>(events) + 1;  // slot 0 too
    cat.tim.reserve(slots);
    cat.lat.reserve(slots);
    cat.lon.reserve(slots);
    cat.dep.reserve(slots);
    cat.mag.reserve(slots);
    cat.dat.reserve(slots);
    cat.nam.reserve(slots);
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
    for (int64_t i = 1; i <= n; ++i) {
        CatalogEvent ev{};
        ev.tim = make_text("");
        ev.nam = ev.tim;
        read_event(ev, stream, layout);
        add_event(cat, ev);
    }
}
