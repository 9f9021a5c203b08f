// Fuzz harness: free-form read statements over arbitrary input bytes.
//
// The first bytes choose the statement: how many items (1 to 8), the kind of
// each (integer, 32-bit real, 64-bit real, text) and each text's length (0 to
// 63), how many statements to read in a row, and which of the equivalent
// forms of the input to compare. The rest is the file the statements read.
// Every item lives in its own heap block of exactly its size, so a store
// beyond an item is caught. Each run ends either after its statements or by
// a failure; a failure must leave one well-formed diagnostic.
//
// Two rewritings of the input must not change anything a statement stores or
// the diagnostic it ends with:
// - a long line in front, read by a statement of its own whose one integer is
//   at its start, so that the rest of that line is dropped unread and the
//   input's own lines lie across the reader's chunk boundary (once or twice
//   its size); the diagnostic then counts one line more;
// - a carriage return before every line feed, for an input that holds none.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "text_io.h"

namespace {

constexpr int32_t IN_STREAM = 30;         // the stream the statements read
constexpr int32_t MAX_ITEMS = 8;
constexpr int32_t MAX_STATEMENTS = 8;

struct Statement {
    int32_t count;             // items per statement
    ItemKind kind[MAX_ITEMS];  // kind of each item
    int32_t len[MAX_ITEMS];    // text length of each text item
    int32_t statements;        // statements read in a row
    bool pad;                  // compare with the input shifted across the chunk boundary
    size_t pad_chunks;         // 1 or 2 chunks: length of the leading line
    size_t pad_short;          // bytes short of the chunk boundary
    bool crlf;                 // compare with carriage returns before the line feeds
};

// What a run left behind: the items' bytes after every statement, and the
// diagnostic that ended it (empty when every statement completed).
struct Outcome {
    std::string items;
    std::string diagnostic;
    int32_t completed = 0;
};

size_t item_size(ItemKind k, int32_t len) {
    switch (k) {
    case ItemKind::i32: return sizeof(int32_t);
    case ItemKind::f32: return sizeof(float);
    case ItemKind::f64: return sizeof(double);
    case ItemKind::text: return static_cast<size_t>(len);
    }
    return 0;
}

void check_diagnostic(const std::string& d, const std::string& path) {
    check(!d.empty() && d.back() == '\n', "diagnostic ends in a line feed", d);
    check(d.find('\n') == d.size() - 1, "diagnostic is one line", shown_bytes(d));
    check(d.rfind("fuzz: ", 0) == 0, "diagnostic names the program", d);
    check(d.find("(stream 30)") != std::string::npos, "diagnostic names the stream", d);
    check(d.find(path) != std::string::npos, "diagnostic names the file", d);
    const bool eof = d.find("end of file") != std::string::npos;
    const bool bad = d.find("bad value") != std::string::npos;
    check(eof || bad, "a read fails by end of file or a bad value", d);
    if (bad) check(d.find(" on line ") != std::string::npos, "a bad value names its line", d);
}

// Reads the statements of `s` from `content`; with a `lead`, from the lead
// line followed by `content`, the lead line read by a statement of its own.
Outcome run(const Statement& s, const std::string& content, const std::string& lead = {}) {
    const std::string path = scratch("input");
    put_file(path, lead + content);
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<IoItem> items;
    for (int32_t k = 0; k < s.count; ++k) {
        const size_t size = item_size(s.kind[k], s.len[k]);
        blocks.emplace_back(new char[size]);
        char* at = blocks.back().get();
        // Starting values that no read gives by accident.
        switch (s.kind[k]) {
        case ItemKind::i32: *reinterpret_cast<int32_t*>(at) = -7; break;
        case ItemKind::f32: *reinterpret_cast<float*>(at) = -7.5f; break;
        case ItemKind::f64: *reinterpret_cast<double*>(at) = -7.25; break;
        case ItemKind::text: std::memset(at, '#', size); break;
        }
        items.push_back({s.kind[k], at, s.len[k]});
    }

    Outcome o;
    reset_streams();
    set_program_name("fuzz");
    set_fatal_hook(throw_fatal);
    try {
        connect_stream(IN_STREAM, path);
        if (!lead.empty()) {
            int32_t first = 0;
            const IoItem one[] = {io(first)};
            read_free(IN_STREAM, one, 1);
        }
        for (int32_t st = 0; st < s.statements; ++st) {
            read_free(IN_STREAM, items.data(), s.count);
            for (int32_t k = 0; k < s.count; ++k) {
                o.items.append(blocks[k].get(), item_size(s.kind[k], s.len[k]));
            }
            ++o.completed;
        }
    } catch (const Fatal&) {
        o.diagnostic = std::string(last_diagnostic());
        check_diagnostic(o.diagnostic, path);
    }
    reset_streams();
    return o;
}

// The diagnostic as it reads for an input one line shorter at its start:
// the line number after its last " line " less one, "line 0" as the start.
std::string one_line_less(const std::string& d) {
    const size_t at = d.rfind(" line ");
    if (at == std::string::npos) return d;
    const size_t digits = at + 6;
    size_t end = digits;
    while (end < d.size() && d[end] >= '0' && d[end] <= '9') ++end;
    if (end == digits) return d;
    const long line = std::stol(d.substr(digits, end - digits)) - 1;
    if (line == 0 && d.compare(at - 6, 6, " after") == 0) {
        return d.substr(0, at - 6) + " at the start" + d.substr(end);
    }
    return d.substr(0, digits) + std::to_string(line) + d.substr(end);
}

void check_same(const Outcome& a, const Outcome& b, const char* what) {
    check(a.completed == b.completed, what,
          "statements completed " + std::to_string(a.completed) + " and " + std::to_string(b.completed));
    check(a.items == b.items, what, "stored values differ:\n" + shown_bytes(a.items) + "\n" + shown_bytes(b.items));
    check(a.diagnostic == b.diagnostic, what, "diagnostics differ:\n" + a.diagnostic + b.diagnostic);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    Statement s{};
    s.count = 1 + take_byte(in) % MAX_ITEMS;
    const uint8_t flags = take_byte(in);
    s.statements = 1 + (flags >> 2) % MAX_STATEMENTS;
    const uint8_t pad = take_byte(in);
    // The shifted input costs a quarter of a megabyte written and read:
    // asked for by two bits, so that most runs stay fast.
    s.pad = (flags & 1) != 0 && (pad & 0x40) != 0;
    s.crlf = (flags & 2) != 0;
    s.pad_chunks = 1 + (pad >> 7);
    s.pad_short = 1 + (pad & 0x3f);
    for (int32_t k = 0; k < s.count; ++k) {
        const uint8_t b = take_byte(in);
        s.kind[k] = static_cast<ItemKind>(b & 3);
        s.len[k] = b >> 2;
    }
    const std::string content(reinterpret_cast<const char*>(in.at), in.left);

    const Outcome plain = run(s, content);

    if (s.pad) {
        std::string lead(s.pad_chunks * READ_CHUNK - s.pad_short, 'x');
        lead[0] = '1';
        lead[1] = ' ';
        lead.back() = '\n';
        Outcome shifted = run(s, content, lead);
        shifted.diagnostic = one_line_less(shifted.diagnostic);
        check_same(plain, shifted, "a leading line read on its own changes nothing");
    }
    if (s.crlf && content.find('\r') == std::string::npos) {
        std::string crlf;
        for (char ch : content) {
            if (ch == '\n') crlf += '\r';
            crlf += ch;
        }
        check_same(plain, run(s, crlf), "carriage returns before the line feeds change nothing");
    }
    return 0;
}
