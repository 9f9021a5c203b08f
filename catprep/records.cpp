// records: the conversion steps of one record, the kept lines, their order
// and output.

#include "records.h"

#include <algorithm>
#include <cstring>

#include "tool_output.h"
#include "values.h"

namespace {

constexpr size_t BLOCK_BYTES = 1 << 20;        // arena blocks of 1 MiB
constexpr size_t FIRST_BLOCK_BYTES = 1 << 16;  // but a first one of 64 KiB, for small catalogs
constexpr size_t SHOWN_MAX = 80;               // bytes of an offending text shown in a diagnostic

// Copies `bytes` into the arena and returns where they now are.
const char* store(Catalog& cat, std::string_view bytes) {
    if (cat.block_used + bytes.size() > cat.block_size) {
        cat.block_size = std::max(cat.blocks.empty() ? FIRST_BLOCK_BYTES : BLOCK_BYTES, bytes.size());
        cat.blocks.emplace_back(new char[cat.block_size]);
        cat.block_used = 0;
    }
    char* p = cat.blocks.back().get() + cat.block_used;
    std::memcpy(p, bytes.data(), bytes.size());
    cat.block_used += bytes.size();
    return p;
}

uint32_t hash_of(std::string_view s) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

// Finds the slot of label `nam`: the slot holding it, or the empty one where
// it belongs.
Seen& slot_of(Catalog& cat, std::string_view nam, uint32_t h) {
    const size_t mask = cat.seen.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        Seen& s = cat.seen[i];
        if (s.nam == nullptr) return s;
        if (s.hash == h && s.len == nam.size() && std::memcmp(s.nam, nam.data(), nam.size()) == 0) return s;
    }
}

// True when the label was met before; otherwise records it (its bytes at
// `p`, which last as long as the catalog).
bool already_seen(Catalog& cat, std::string_view nam, const char* p) {
    if (cat.seen_count * 2 >= cat.seen.size()) {
        std::vector<Seen> old;
        old.swap(cat.seen);
        cat.seen.assign(old.empty() ? 1024 : old.size() * 2, Seen{});
        for (const Seen& s : old)
            if (s.nam != nullptr) slot_of(cat, std::string_view(s.nam, s.len), s.hash) = s;
    }
    const uint32_t h = hash_of(nam);
    Seen& s = slot_of(cat, nam, h);
    if (s.nam != nullptr) return true;
    s = {p, static_cast<uint32_t>(nam.size()), h};
    ++cat.seen_count;
    return false;
}

bool type_kept(const Options& opt, const SourceRecord& rec) {
    if (opt.all_types || !rec.has_type) return true;
    const std::string k = type_key(rec.type);
    if (k.empty()) return true;
    if (opt.types.empty()) return k == "earthquake";
    return std::find(opt.types.begin(), opt.types.end(), k) != opt.types.end();
}

// Ends a --strict run on the record, naming where it is and what is wrong.
[[noreturn]] void refuse(const Catalog& cat, const SourceRecord& rec, const std::string& what, std::string_view text) {
    std::string m = cat.file + ":" + std::to_string(rec.line) + ": ";
    if (!rec.event.empty()) m += "event " + shown(rec.event) + ": ";
    m += what + " (\"" + shown(strip_blanks(text)) + "\")";
    tool_fail(m);
}

void leave_out(Catalog& cat, Reason why) { ++cat.left_out[why]; }

bool within_filters(const Options& o, const Instant& at, const Number& lat, const Number& lon, const Number& dep,
                    const Number& mag) {
    if (o.has_min_mag && mag.value < o.min_mag) return false;
    if (o.has_max_mag && mag.value > o.max_mag) return false;
    if (o.has_min_depth && dep.value < o.min_depth) return false;
    if (o.has_max_depth && dep.value > o.max_depth) return false;
    if (o.has_start && compare_instants(at, o.start) < 0) return false;
    if (o.has_end && compare_instants(at, o.end) > 0) return false;
    if (o.has_bbox) {
        if (lat.value < o.south || lat.value > o.north) return false;
        const bool in_lon = o.west <= o.east ? (lon.value >= o.west && lon.value <= o.east)
                                             : (lon.value >= o.west || lon.value <= o.east);
        if (!in_lon) return false;
    }
    return true;
}

}  // namespace

std::string shown(std::string_view text) { return tool_shown(text, SHOWN_MAX); }

void take_record(Catalog& cat, const SourceRecord& rec) {
    const Options& opt = cat.opt;
    ++cat.read;
    if (!type_kept(opt, rec)) return leave_out(cat, OTHER_TYPE);
    Number dep, mag, lat, lon;
    if (!read_number(rec.dep, rec.dep_in_metres ? -3 : 0, dep)) {
        if (opt.strict) refuse(cat, rec, strip_blanks(rec.dep).empty() ? "no depth" : "depth cannot be read", rec.dep);
        return leave_out(cat, NO_DEPTH_OR_MAG);
    }
    if (!read_number(rec.mag, 0, mag)) {
        if (opt.strict)
            refuse(cat, rec, strip_blanks(rec.mag).empty() ? "no magnitude" : "magnitude cannot be read", rec.mag);
        return leave_out(cat, NO_DEPTH_OR_MAG);
    }
    Instant at;
    if (!parse_time(rec.time, at)) {
        if (opt.strict) refuse(cat, rec, "time cannot be read", rec.time);
        return leave_out(cat, BAD_TIME);
    }
    if (!read_number(rec.lat, 0, lat)) {
        if (opt.strict) refuse(cat, rec, "latitude cannot be read", rec.lat);
        return leave_out(cat, BAD_POSITION);
    }
    if (!read_number(rec.lon, 0, lon)) {
        if (opt.strict) refuse(cat, rec, "longitude cannot be read", rec.lon);
        return leave_out(cat, BAD_POSITION);
    }

    // The user's filters come before the duplicate test: a record they leave
    // out costs no memory and claims no id.
    if (!within_filters(opt, at, lat, lon, dep, mag)) return leave_out(cat, FILTERED);

    // The line: tim lat lon dep mag dat nam.
    std::string& s = cat.scratch;
    s.clear();
    s.resize(TIM_LEN);
    format_tim(at, s.data());
    for (const Number* n : {&lat, &lon, &dep, &mag}) {
        s.push_back(' ');
        s += n->text;
    }
    s.push_back(' ');
    append_dat(s, dat_e8(at));
    s.push_back(' ');
    const size_t nam_at = s.size();
    const std::string_view id = strip_blanks(rec.id);
    append_nam(s, id, rec.number);

    const char* line = store(cat, s);
    // A label made up for a record without an id names no event: such
    // records are never duplicates of one another.
    if (!id.empty() && already_seen(cat, std::string_view(line + nam_at, s.size() - nam_at), line + nam_at)) {
        cat.block_used -= s.size();  // the line stored last is given back
        return leave_out(cat, DUPLICATE);
    }
    cat.kept.push_back({at, line, static_cast<uint32_t>(s.size()), static_cast<uint32_t>(nam_at)});
}

void sort_catalog(Catalog& cat) {
    std::sort(cat.kept.begin(), cat.kept.end(), [](const Kept& a, const Kept& b) {
        const int c = compare_instants(a.at, b.at);
        if (c != 0) return c < 0;
        // The same instant gives the same `tim`; the labels decide.
        const std::string_view na(a.line + a.nam, a.len - a.nam), nb(b.line + b.nam, b.len - b.nam);
        return na < nb;
    });
}

std::string_view line_text(const Catalog& cat, const Kept& k) {
    // --plain: the line up to the blank before `nam`.
    return std::string_view(k.line, cat.opt.plain ? k.nam - 1 : k.len);
}

void write_catalog(Catalog& cat) {
    sort_catalog(cat);
    for (const Kept& k : cat.kept) {
        output_write(line_text(cat, k));
        output_write("\n");
    }
}

std::string summary(const Catalog& cat) {
    static const char* const WHY[REASONS] = {"of another event type",
                                             "without depth or magnitude",
                                             "with a time that cannot be read",
                                             "with a position that cannot be read",
                                             "outside the filters",
                                             "with a duplicate id"};
    std::string s = std::to_string(cat.kept.size()) + (cat.kept.size() == 1 ? " event" : " events") + " written (" +
                    std::to_string(cat.read) + (cat.read == 1 ? " record" : " records") + " read)";
    bool first = true;
    for (int r = 0; r < REASONS; ++r) {
        if (cat.left_out[r] == 0) continue;
        s += first ? "; left out: " : ", ";
        s += std::to_string(cat.left_out[r]) + " " + WHY[r];
        first = false;
    }
    return s;
}
