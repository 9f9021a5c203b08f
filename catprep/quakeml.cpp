// quakeml: QuakeML 1.2 (and 1.0) streamed through expat, one record per
// <event>. Elements are matched on their local names, whatever the namespace
// prefix (expat's namespace processing is left off: it costs a fifth of the
// reading time, and no QuakeML name means two things); only the values of
// one event are held at a time.

#include <expat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats.h"
#include "tool_output.h"
#include "values.h"

namespace {

constexpr size_t MAX_TEXT = 4096;  // longest value text kept; a longer one is unreadable
constexpr size_t XML_CHUNK = 1 << 18;
constexpr char PREFIX_SEP = ':';  // between a namespace prefix and a local name

// Where the parser stands, as far as an event's values go.
enum Place {
    OUTSIDE,     // anything not below an event
    PARAMETERS,  // directly in <eventParameters>
    EVENT,       // directly in <event>
    ORIGIN,      // in <event><origin>
    MAGNITUDE,   // in <event><magnitude>
    O_TIME,
    O_LAT,
    O_LON,
    O_DEP,  // <origin><time> ... <origin><depth>
    M_MAG,  // <magnitude><mag>
    VALUE,  // a <value> whose text is taken
    TEXT,   // <preferredOriginID>, <preferredMagnitudeID> or <type> of the event
    OTHER,  // any other element below an event
};

struct Origin {
    std::string id, time, lat, lon, dep;  // publicID and value texts (depth in metres)
};

struct Magnitude {
    std::string id, mag;  // publicID and value text
};

struct Event {
    int64_t line = 0;
    std::string id;  // the label source: datasource + eventid, or the publicID's end
    std::vector<Origin> origins;
    std::vector<Magnitude> magnitudes;
    std::string preferred_origin, preferred_magnitude, type;
    bool has_type = false;
};

struct XmlClose {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

struct State {
    Catalog* cat = nullptr;
    Input* in = nullptr;
    XML_Parser parser = nullptr;
    std::vector<Place> places;      // one per open element
    std::string* target = nullptr;  // where character data goes, or null
    bool too_long = false;          // the text at `target` passed MAX_TEXT
    Event ev;
    int64_t number = 0;  // events met in the file
    std::string label;   // the event's id for diagnostics ("ev<N>" without one)
};

const char* local_name(const XML_Char* name) {
    const char* sep = std::strchr(name, PREFIX_SEP);
    return sep != nullptr ? sep + 1 : name;
}

bool in_namespace(const XML_Char* name) { return std::strchr(name, PREFIX_SEP) != nullptr; }

const char* attribute(const XML_Char** atts, const char* local, bool namespaced) {
    for (int i = 0; atts[i] != nullptr; i += 2)
        if (in_namespace(atts[i]) == namespaced && std::strcmp(local_name(atts[i]), local) == 0) return atts[i + 1];
    return nullptr;
}

void finish_event(State& st) {
    Event& ev = st.ev;
    const Origin* o = nullptr;
    const Magnitude* m = nullptr;
    const std::string_view po = strip_blanks(ev.preferred_origin), pm = strip_blanks(ev.preferred_magnitude);
    for (const Origin& x : ev.origins)
        if (!po.empty() && strip_blanks(x.id) == po) {
            o = &x;
            break;
        }
    if (o == nullptr && !ev.origins.empty()) o = &ev.origins.front();
    for (const Magnitude& x : ev.magnitudes)
        if (!pm.empty() && strip_blanks(x.id) == pm) {
            m = &x;
            break;
        }
    if (m == nullptr && !ev.magnitudes.empty()) m = &ev.magnitudes.front();
    SourceRecord r;
    r.number = st.number;
    r.line = ev.line;
    r.id = ev.id;
    st.label = ev.id.empty() ? "ev" + std::to_string(st.number) : ev.id;
    r.event = st.label;
    r.has_type = ev.has_type;
    r.type = ev.type;
    r.dep_in_metres = true;
    if (o != nullptr) {
        r.time = o->time;
        r.lat = o->lat;
        r.lon = o->lon;
        r.dep = o->dep;
    }
    if (m != nullptr) r.mag = m->mag;
    take_record(*st.cat, r);
    if (progress_hook != nullptr && (st.number & 0xff) == 0) progress_hook(*st.in, *st.cat);
}

void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** atts) {
    State& st = *static_cast<State*>(data);
    const char* local = local_name(name);
    const Place up = st.places.empty() ? OUTSIDE : st.places.back();
    Place here = OTHER;
    switch (up) {
    case OUTSIDE: here = std::strcmp(local, "eventParameters") == 0 ? PARAMETERS : OUTSIDE; break;
    case PARAMETERS:
        if (std::strcmp(local, "event") == 0) {
            here = EVENT;
            ++st.number;
            st.ev = Event{};
            st.ev.line = XML_GetCurrentLineNumber(st.parser);
            const char* source = attribute(atts, "datasource", true);
            const char* code = attribute(atts, "eventid", true);
            const char* pid = attribute(atts, "publicID", false);
            if (source != nullptr && code != nullptr && *source != '\0' && *code != '\0')
                st.ev.id = std::string(source) + code;
            else if (pid != nullptr)
                st.ev.id = std::string(id_tail(strip_blanks(pid)));
        } else {
            here = OUTSIDE;
        }
        break;
    case EVENT:
        if (std::strcmp(local, "origin") == 0) {
            here = ORIGIN;
            st.ev.origins.emplace_back();
            const char* pid = attribute(atts, "publicID", false);
            if (pid != nullptr) st.ev.origins.back().id = pid;
        } else if (std::strcmp(local, "magnitude") == 0) {
            here = MAGNITUDE;
            st.ev.magnitudes.emplace_back();
            const char* pid = attribute(atts, "publicID", false);
            if (pid != nullptr) st.ev.magnitudes.back().id = pid;
        } else if (std::strcmp(local, "preferredOriginID") == 0) {
            here = TEXT;
            st.target = &st.ev.preferred_origin;
        } else if (std::strcmp(local, "preferredMagnitudeID") == 0) {
            here = TEXT;
            st.target = &st.ev.preferred_magnitude;
        } else if (std::strcmp(local, "type") == 0) {
            here = TEXT;
            st.ev.has_type = true;
            st.target = &st.ev.type;
        }
        break;
    case ORIGIN:
        here = std::strcmp(local, "time") == 0        ? O_TIME
               : std::strcmp(local, "latitude") == 0  ? O_LAT
               : std::strcmp(local, "longitude") == 0 ? O_LON
               : std::strcmp(local, "depth") == 0     ? O_DEP
                                                      : OTHER;
        break;
    case MAGNITUDE: here = std::strcmp(local, "mag") == 0 ? M_MAG : OTHER; break;
    case O_TIME:
    case O_LAT:
    case O_LON:
    case O_DEP:
    case M_MAG:
        if (std::strcmp(local, "value") == 0) {
            here = VALUE;
            if (up == M_MAG) {
                st.target = &st.ev.magnitudes.back().mag;
            } else {
                Origin& o = st.ev.origins.back();
                st.target = up == O_TIME ? &o.time : up == O_LAT ? &o.lat : up == O_LON ? &o.lon : &o.dep;
            }
            st.target->clear();  // a second <value> replaces the first
        }
        break;
    default: break;
    }
    if (here != VALUE && here != TEXT) st.target = nullptr;
    st.too_long = false;
    st.places.push_back(here);
}

void XMLCALL on_end(void* data, const XML_Char*) {
    State& st = *static_cast<State*>(data);
    const Place here = st.places.back();
    st.places.pop_back();
    if ((here == VALUE || here == TEXT) && st.too_long && st.target != nullptr) *st.target = "(too long)";
    st.target = nullptr;
    if (here == EVENT) finish_event(st);
}

void XMLCALL on_text(void* data, const XML_Char* s, int len) {
    State& st = *static_cast<State*>(data);
    if (st.target == nullptr) return;
    if (st.target->size() + static_cast<size_t>(len) > MAX_TEXT) {
        st.too_long = true;
        return;
    }
    st.target->append(s, static_cast<size_t>(len));
}

// windows-1252, which expat does not know itself: the code point of each byte.
int XMLCALL on_unknown_encoding(void*, const XML_Char* name, XML_Encoding* info) {
    std::string n;
    for (const char* p = name; *p != '\0'; ++p) n.push_back(static_cast<char>(std::tolower(*p)));
    if (n != "windows-1252" && n != "cp1252") return XML_STATUS_ERROR;
    static const int HIGH[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    for (int i = 0; i < 256; ++i) info->map[i] = i >= 0x80 && i < 0xA0 ? HIGH[i - 0x80] : i;
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

}  // namespace

void read_quakeml(Input& in, Catalog& cat) {
    std::unique_ptr<XML_ParserStruct, XmlClose> parser(XML_ParserCreate(nullptr));
    if (!parser) tool_fail(in.name + ": out of memory");
    State st;
    st.cat = &cat;
    st.in = &in;
    st.parser = parser.get();
    XML_SetUserData(parser.get(), &st);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    XML_SetCharacterDataHandler(parser.get(), on_text);
    XML_SetUnknownEncodingHandler(parser.get(), on_unknown_encoding, nullptr);
    for (;;) {
        void* buf = XML_GetBuffer(parser.get(), XML_CHUNK);
        if (buf == nullptr) tool_fail(in.name + ": out of memory");
        const size_t got = input_read(in, static_cast<char*>(buf), XML_CHUNK);
        if (XML_ParseBuffer(parser.get(), static_cast<int>(got), got == 0) == XML_STATUS_ERROR) {
            tool_fail(in.name + ":" + std::to_string(XML_GetCurrentLineNumber(parser.get())) + ":" +
                      std::to_string(XML_GetCurrentColumnNumber(parser.get()) + 1) +
                      ": malformed XML: " + XML_ErrorString(XML_GetErrorCode(parser.get())));
        }
        if (got == 0) break;
    }
}
