// records: the values of each record, and laying records out from template
// slices and per-event pieces.

#include "records.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "templates.h"

namespace {

// Where each value of pair_values stands (1-based value fields of PAIR_TEMPLATE).
constexpr int32_t PAIR_HEAD = 1;     // group, count
constexpr int32_t PAIR_EVENT_A = 3;  // tim, lon, lat, dep, mag of event a
constexpr int32_t PAIR_EVENT_B = 8;  // the same of event b
constexpr int32_t PAIR_EVENT_VALUES = 5;
constexpr int32_t PAIR_GAP = 13;   // distance, time difference
constexpr int32_t PAIR_DAY = 15;   // dat(a)
constexpr int32_t PAIR_NAME = 16;  // nam(a)

// And of aftershock_values (AFTERSHOCK_TEMPLATE).
constexpr int32_t AFTER_NUMBER = 1;
constexpr int32_t AFTER_EVENT_I = 2;  // tim, lat, lon, dep, mag, dat of event i
constexpr int32_t AFTER_NAME = 8;     // nam(i)
constexpr int32_t AFTER_EVENT_BEST = 9;
constexpr int32_t AFTER_EVENT_VALUES = 6;

// Columns of the pieces, from the template texts at compile time, so that
// copying a piece is a copy of a constant size.
constexpr int32_t PAIR_EVENT_LEN = slice_columns(PAIR_TEMPLATE, PAIR_EVENT_A, PAIR_EVENT_VALUES);
constexpr int32_t PAIR_DAY_LEN = slice_columns(PAIR_TEMPLATE, PAIR_DAY, 1);
constexpr int32_t AFTER_EVENT_LEN = slice_columns(AFTERSHOCK_TEMPLATE, AFTER_EVENT_I, AFTER_EVENT_VALUES);
static_assert(slice_columns(PAIR_TEMPLATE, 1, PAIR_VALUES) == PAIR_LINE_LEN);
static_assert(slice_columns(AFTERSHOCK_TEMPLATE, 1, AFTERSHOCK_VALUES) == AFTERSHOCK_LINE_LEN);

[[noreturn]] void bad_layout(const char* what) {
    std::fprintf(stderr, "record layout: %s\n", what);
    std::abort();
}

// PAIR_TEMPLATE cut into the slices a pair record is laid out from; a pair
// piece is the event block of event a followed by its day.
struct PairLayout {
    RecordTemplate whole;
    TemplateSlice head, event_a, event_b, gap, day, name;
    int32_t piece_len;          // event block and day
    char blank[PAIR_LINE_LEN];  // the literals in place, the fields to be filled
};

const PairLayout& pair_layout() {
    static const PairLayout l = [] {
        PairLayout p{};
        p.whole = parse_template(PAIR_TEMPLATE);
        if (p.whole.length != PAIR_LINE_LEN || p.whole.value_count != PAIR_VALUES) bad_layout("PAIR_TEMPLATE");
        p.head = template_slice(p.whole, PAIR_HEAD, PAIR_EVENT_A - PAIR_HEAD);
        p.event_a = template_slice(p.whole, PAIR_EVENT_A, PAIR_EVENT_VALUES);
        p.event_b = template_slice(p.whole, PAIR_EVENT_B, PAIR_EVENT_VALUES);
        p.gap = template_slice(p.whole, PAIR_GAP, PAIR_DAY - PAIR_GAP);
        p.day = template_slice(p.whole, PAIR_DAY, 1);
        p.name = template_slice(p.whole, PAIR_NAME, 1);
        // One piece serves both event blocks.
        if (!same_fields(p.event_a, p.event_b)) bad_layout("the two event blocks of PAIR_TEMPLATE differ");
        if (p.event_a.part.length != PAIR_EVENT_LEN || p.day.part.length != PAIR_DAY_LEN) {
            bad_layout("the pair pieces of PAIR_TEMPLATE");
        }
        p.piece_len = PAIR_EVENT_LEN + PAIR_DAY_LEN;
        format_literals(p.whole, p.blank);
        return p;
    }();
    return l;
}

// AFTERSHOCK_TEMPLATE likewise; an aftershock piece is one event block.
struct AftershockLayout {
    RecordTemplate whole;
    TemplateSlice number, event_i, name, event_best;
    char blank[AFTERSHOCK_LINE_LEN];
};

const AftershockLayout& aftershock_layout() {
    static const AftershockLayout l = [] {
        AftershockLayout a{};
        a.whole = parse_template(AFTERSHOCK_TEMPLATE);
        if (a.whole.length != AFTERSHOCK_LINE_LEN || a.whole.value_count != AFTERSHOCK_VALUES) {
            bad_layout("AFTERSHOCK_TEMPLATE");
        }
        a.number = template_slice(a.whole, AFTER_NUMBER, AFTER_EVENT_I - AFTER_NUMBER);
        a.event_i = template_slice(a.whole, AFTER_EVENT_I, AFTER_EVENT_VALUES);
        a.name = template_slice(a.whole, AFTER_NAME, 1);
        a.event_best = template_slice(a.whole, AFTER_EVENT_BEST, AFTER_EVENT_VALUES);
        if (!same_fields(a.event_i, a.event_best)) bad_layout("the two event blocks of AFTERSHOCK_TEMPLATE differ");
        if (a.event_i.part.length != AFTER_EVENT_LEN) bad_layout("the event piece of AFTERSHOCK_TEMPLATE");
        format_literals(a.whole, a.blank);
        return a;
    }();
    return l;
}

// Lays out a slice's fields at its columns of `line`, from the values of the
// whole record.
void lay_slice(const TemplateSlice& s, const IoItem* values, char* line) {
    format_template(s.part, values + s.first_value - 1, s.part.value_count, line + s.column);
}

// Event i's piece of `len` characters, laid out by lay(text) the first time;
// returns its offset in pc.text. Offsets are 64-bit: a run that lays out
// millions of pieces passes 2^31 bytes.
template <class Lay>
int64_t piece_of(PieceCache& pc, int32_t i, int32_t len, Lay lay) {
    if (pc.at[i] < 0) {
        pc.at[i] = pc.count++;
        pc.text.resize(pc.text.size() + static_cast<size_t>(len));
        lay(pc.text.data() + piece_offset(pc.at[i], len));
    }
    return piece_offset(pc.at[i], len);
}

int64_t pair_piece(const EventCatalog& cat, RecordCache& rc, int32_t e) {
    const PairLayout& l = pair_layout();
    return piece_of(rc.pair, e, l.piece_len, [&](char* at) {
        const int32_t none = 0;
        const float zero = 0.0f;
        IoItem v[PAIR_VALUES];
        pair_values(cat, none, none, e, e, zero, zero, v);
        lay_slice(l.event_a, v, at - l.event_a.column);
        lay_slice(l.day, v, at + PAIR_EVENT_LEN - l.day.column);
    });
}

int64_t aftershock_piece(const EventCatalog& cat, RecordCache& rc, int32_t e) {
    const AftershockLayout& l = aftershock_layout();
    return piece_of(rc.aftershock, e, AFTER_EVENT_LEN, [&](char* at) {
        const int32_t none = 0;
        IoItem v[AFTERSHOCK_VALUES];
        aftershock_values(cat, none, e, e, v);
        lay_slice(l.event_i, v, at - l.event_i.column);
    });
}

}  // namespace

void prepare_records(RecordCache& rc, int32_t n) {
    rc.pair.at.assign(static_cast<size_t>(n) + 1, -1);
    rc.pair.text.clear();
    rc.pair.count = 0;
    rc.aftershock.at.assign(static_cast<size_t>(n) + 1, -1);
    rc.aftershock.text.clear();
    rc.aftershock.count = 0;
}

void pair_line(const EventCatalog& cat, RecordCache& rc, int32_t group, int32_t count, int32_t a, int32_t b, float d,
               float dt, char* line) {
    const PairLayout& l = pair_layout();
    const int64_t at_a = pair_piece(cat, rc, a);
    const int64_t at_b = pair_piece(cat, rc, b);  // may move the pool: take pointers after both
    const char* pa = rc.pair.text.data() + at_a;
    const char* pb = rc.pair.text.data() + at_b;
    IoItem v[PAIR_VALUES];
    pair_values(cat, group, count, a, b, d, dt, v);
    std::memcpy(line, l.blank, PAIR_LINE_LEN);
    lay_slice(l.head, v, line);
    std::memcpy(line + l.event_a.column, pa, PAIR_EVENT_LEN);
    std::memcpy(line + l.event_b.column, pb, PAIR_EVENT_LEN);
    lay_slice(l.gap, v, line);
    std::memcpy(line + l.day.column, pa + PAIR_EVENT_LEN, PAIR_DAY_LEN);
    lay_slice(l.name, v, line);
}

void aftershock_line(const EventCatalog& cat, RecordCache& rc, int32_t number, int32_t i, int32_t best, char* line) {
    const AftershockLayout& l = aftershock_layout();
    const int64_t at_i = aftershock_piece(cat, rc, i);
    const int64_t at_best = aftershock_piece(cat, rc, best);  // may move the pool
    IoItem v[AFTERSHOCK_VALUES];
    aftershock_values(cat, number, i, best, v);
    std::memcpy(line, l.blank, AFTERSHOCK_LINE_LEN);
    lay_slice(l.number, v, line);
    std::memcpy(line + l.event_i.column, rc.aftershock.text.data() + at_i, AFTER_EVENT_LEN);
    lay_slice(l.name, v, line);
    std::memcpy(line + l.event_best.column, rc.aftershock.text.data() + at_best, AFTER_EVENT_LEN);
}
