// formats: which reader an input goes to.

#include "formats.h"

#include "tool_output.h"
#include "values.h"

void (*progress_hook)(const Input& in, const Catalog& cat) = nullptr;

namespace {

constexpr size_t PEEK_BYTES = 4096;  // bytes looked at to recognise a format

}  // namespace

Format detect_format(Input& in) {
    const std::string_view head = input_peek(in, PEEK_BYTES);
    const std::string_view s = strip_blanks(head);
    if (s.empty()) return head.size() < PEEK_BYTES ? FORMAT_CSV : FORMAT_UNKNOWN;
    if (s.front() == '<') return FORMAT_QUAKEML;
    if (s.front() == '#') return FORMAT_TEXT;
    const std::string_view first = s.substr(0, s.find('\n'));
    if (first.find(',') != std::string_view::npos) return FORMAT_CSV;
    return FORMAT_UNKNOWN;
}

Format format_named(const std::string& name) {
    if (name == "csv") return FORMAT_CSV;
    if (name == "text") return FORMAT_TEXT;
    if (name == "quakeml") return FORMAT_QUAKEML;
    return FORMAT_UNKNOWN;
}

void read_input(Input& in, Format format, Catalog& cat) {
    if (format == FORMAT_UNKNOWN) format = detect_format(in);
    cat.file = in.name;
    switch (format) {
    case FORMAT_CSV: read_csv(in, cat); break;
    case FORMAT_TEXT: read_text(in, cat); break;
    case FORMAT_QUAKEML: read_quakeml(in, cat); break;
    case FORMAT_UNKNOWN: {
        const std::string_view head = strip_blanks(input_peek(in, 60));
        tool_fail(in.name + ":1: unknown format, neither ComCat CSV, FDSN text nor QuakeML (\"" +
                  shown(head.substr(0, head.find('\n'))) + "\"); --format names it");
    }
    }
}
