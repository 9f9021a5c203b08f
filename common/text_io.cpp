// text_io: numbered streams, free-form reading and writing, and the one road
// by which an input or output failure ends a run.

#include "text_io.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t READ_CHUNK = 1 << 18;   // bytes asked of the system per read
constexpr size_t WRITE_CHUNK = 1 << 16;  // buffered bytes that trigger a hand-over
constexpr size_t SHOWN_TEXT_MAX = 80;    // characters of offending text in a diagnostic

enum class Target : uint8_t { none, std_in, std_out, file };
enum class Access : uint8_t { read_write, read_only, write_only };

// Reading state of one stream: the raw bytes taken from the system, the
// current line and the position in it.
struct Reader {
    std::vector<char> buf;       // bytes read from the system, READ_CHUNK long
    size_t beg = 0;              // first byte of buf not yet split into lines
    size_t end = 0;              // one past the last byte read into buf
    std::string carry;           // a line that runs over the end of buf
    bool line_in_carry = false;  // the current line lives in carry
    const char* line = nullptr;  // current line, without its line feed
    size_t len = 0;              // its length in bytes
    size_t pos = 0;              // position in it
    bool has_line = false;       // a current line is held
    bool held = false;           // the current line is held for the next statement (peek_line)
    bool eof = false;            // the input is exhausted
    int64_t line_no = 0;         // number of the current line in its file
};

struct Connection {
    Target target = Target::none;        // what the stream is connected to
    int fd = -1;                         // the system's descriptor
    std::string name;                    // file name as opened, without trailing blanks
    Access access = Access::read_write;  // as obtained when connecting
    bool cut_pending = false;            // the first line written cuts the file after it
    bool regular = false;                // a regular file (only those are cut)
    bool fifo = false;                   // a named pipe: opened on its first read or write
    bool tty = false;                    // a terminal: every line is handed over at once
    bool has_id = false;                 // dev/ino below are valid
    dev_t dev = 0;                       // file identity: device
    ino_t ino = 0;                       // file identity: inode
    int64_t written = 0;                 // bytes handed to the file so far
    std::string out;                     // lines written but not yet handed to the file
    Reader rd;                           // for a stream that is read
};

struct StreamTable {
    Connection conn[MAX_STREAM + 1];  // indexed by stream number
    int32_t reading = STDIN_STREAM;   // the stream read last (for a failure of memory)
    bool ready = false;               // streams 5 and 6 are set up
    bool ending = false;              // a failure is ending the run
    const char* program = "quake";    // head of every diagnostic
    FatalHook hook = nullptr;         // replaces the exit, for test harnesses
    std::string last;                 // the last diagnostic written
};

StreamTable& table() {
    static StreamTable t;
    return t;
}

void identify(Connection& c) {
    struct stat st;
    if (fstat(c.fd, &st) != 0) return;
    c.regular = S_ISREG(st.st_mode);
    c.fifo = S_ISFIFO(st.st_mode);
    c.tty = isatty(c.fd) != 0;
    // Character devices (/dev/null, terminals) hold no content that two
    // streams could spoil, so they may be shared.
    c.has_id = !S_ISCHR(st.st_mode);
    c.dev = st.st_dev;
    c.ino = st.st_ino;
}

// Memory given back when an allocation fails, so that the failure can still
// be reported and the streams flushed.
char* reserve = nullptr;

void out_of_memory() {
    delete[] reserve;
    reserve = nullptr;
    std::set_new_handler(nullptr);
    fatal_io_error(Failure::read_refused, table().reading, "out of memory");
}

void start_table(StreamTable& t) {
    // A standard descriptor closed when the run starts is held by /dev/null,
    // opened against its use (standard input for writing, standard output and
    // error for reading), so that using it fails as before and no file the
    // run opens can take its number.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        int got = open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (got >= 0 && got != fd) {
            dup2(got, fd);
            close(got);
        }
    }
    // A reader that goes away makes the next write fail (write refused)
    // instead of ending the process without a word.
    std::signal(SIGPIPE, SIG_IGN);
    if (!reserve) reserve = new char[1 << 20];
    std::set_new_handler(out_of_memory);
    Connection& in = t.conn[STDIN_STREAM];
    in = Connection{};
    in.target = Target::std_in;
    in.fd = 0;
    identify(in);
    // Standard input and output only count as holding a file when they are
    // redirected to a regular one.
    in.has_id = in.has_id && in.regular;
    in.fifo = false;
    Connection& out = t.conn[STDOUT_STREAM];
    out = Connection{};
    out.target = Target::std_out;
    out.fd = 1;
    identify(out);
    out.has_id = out.has_id && out.regular;
    t.ready = true;
}

StreamTable& streams() {
    StreamTable& t = table();
    if (!t.ready) start_table(t);
    return t;
}

[[noreturn]] void programming_error(const char* what, int32_t stream) {
    std::fprintf(stderr, "%s: internal error: %s (stream %d)\n", streams().program, what, stream);
    std::abort();
}

Connection& connection(int32_t stream) {
    if (stream < 0 || stream > MAX_STREAM) programming_error("no such stream number", stream);
    return streams().conn[stream];
}

std::string file_label(const Connection& c) {
    switch (c.target) {
    case Target::std_in: return "standard input";
    case Target::std_out: return "standard output";
    case Target::file: return c.name;
    case Target::none: break;
    }
    return "no file";
}

// The offending text as a diagnostic shows it: control bytes escaped, long
// texts cut.
std::string shown(std::string_view s) {
    std::string r;
    size_t n = s.size() < SHOWN_TEXT_MAX ? s.size() : SHOWN_TEXT_MAX;
    for (size_t k = 0; k < n; ++k) {
        unsigned char ch = static_cast<unsigned char>(s[k]);
        if (ch < 0x20 || ch == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", ch);
            r += esc;
        } else {
            r += static_cast<char>(ch);
        }
    }
    if (n < s.size()) r += "...";
    return r;
}

[[noreturn]] void end_run(std::string message) {
    StreamTable& t = streams();
    t.ending = true;
    message += '\n';
    t.last = message;
    size_t done = 0;
    while (done < message.size()) {
        ssize_t k = write(2, message.data() + done, message.size() - done);
        if (k <= 0 && errno != EINTR) break;
        if (k > 0) done += static_cast<size_t>(k);
    }
    close_all_streams();
    if (t.hook) t.hook();
    std::exit(2);
}

// Hands the buffered lines of a stream to its target; a refusal ends the run.
void flush(int32_t stream, Connection& c) {
    if (c.fifo && c.fd < 0 && !c.out.empty()) {
        // A named pipe is opened for writing on its first hand-over; with no
        // process reading it the lines cannot be delivered.
        int fd = open(c.name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            c.out.clear();
            if (streams().ending) return;
            fatal_io_error(Failure::write_refused, stream,
                           errno == ENXIO ? "no process reads the named pipe" : std::strerror(errno));
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        c.fd = fd;
        c.access = Access::write_only;
    }
    size_t done = 0;
    while (done < c.out.size()) {
        ssize_t k = write(c.fd, c.out.data() + done, c.out.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            int err = k < 0 ? errno : ENOSPC;
            c.out.clear();
            if (streams().ending) return;
            fatal_io_error(Failure::write_refused, stream, std::strerror(err));
        }
        done += static_cast<size_t>(k);
    }
    c.written += static_cast<int64_t>(done);
    c.out.clear();
    if (c.cut_pending && c.written > 0) {
        // The first line written replaces the file's former content: cut the
        // file after what this connection has written.
        c.cut_pending = false;
        if (c.regular && ftruncate(c.fd, c.written) != 0 && !streams().ending) {
            fatal_io_error(Failure::write_refused, stream, std::strerror(errno));
        }
    }
}

void release(int32_t stream, Connection& c) {
    flush(stream, c);
    if (c.target == Target::file) {
        int fd = c.fd;
        c.fd = -1;
        c.target = Target::none;
        if (fd >= 0 && close(fd) != 0 && errno != EINTR && !streams().ending) {
            fatal_io_error(Failure::write_refused, stream, std::strerror(errno));
        }
    }
    c = Connection{};
}

// ---- reading lines -------------------------------------------------------

// Makes the next line of the stream current; false at the end of the input.
bool next_line(int32_t stream, Connection& c) {
    Reader& r = c.rd;
    if (r.line_in_carry) {
        r.carry.clear();
        r.line_in_carry = false;
    }
    r.has_line = false;
    if (r.eof) return false;
    if (r.buf.empty()) r.buf.resize(READ_CHUNK);
    streams().reading = stream;
    if (c.fifo && c.fd < 0) {
        // A named pipe is opened for reading on its first read, waiting for
        // its writer as a redirection of the shell would.
        int fd = open(c.name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) fatal_io_error(Failure::read_refused, stream, std::strerror(errno));
        c.fd = fd;
        c.access = Access::read_only;
    }
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
                break;
            }
            r.carry.append(base + r.beg, r.end - r.beg);
        }
        r.beg = r.end = 0;
        ssize_t k = read(c.fd, r.buf.data(), r.buf.size());
        if (k < 0) {
            if (errno == EINTR) continue;
            fatal_io_error(Failure::read_refused, stream, std::strerror(errno));
        }
        if (k == 0) {
            r.eof = true;
            if (r.carry.empty()) return false;
            // A last line without a line feed reads like any other.
            r.line = r.carry.data();
            r.len = r.carry.size();
            r.line_in_carry = true;
            break;
        }
        r.end = static_cast<size_t>(k);
    }
    if (r.len > 0 && r.line[r.len - 1] == '\r') --r.len;
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
    fatal_io_error(Failure::bad_value, stream, "\"" + shown(text) + "\" for " + what);
}

// ---- converting values ---------------------------------------------------

bool parse_int(std::string_view s, int32_t& out) {
    size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    if (p == s.size()) return false;
    for (size_t k = p; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
    }
    if (s[0] == '+') s.remove_prefix(1);
    int32_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    out = v;
    return true;
}

bool same_word(std::string_view s, std::string_view word) {
    if (s.size() != word.size()) return false;
    for (size_t k = 0; k < s.size(); ++k) {
        char ch = s[k];
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        if (ch != word[k]) return false;
    }
    return true;
}

// A real value: [sign] digits with at most one point (at least one digit),
// then optionally E or D (either case) with an optionally signed whole number,
// or a sign directly followed by a whole number; or INF, INFINITY, NAN.
// The text is checked against that form, rewritten where the standard
// converter needs it (no plus sign, E for D, E before a bare signed exponent),
// and converted straight to the item's own width, correctly rounded.
// Plain decimals of few digits, the bulk of every catalog: with the digits
// read as a whole number M and k decimals, M and 10^k are both exact in the
// item's width when M is below 2^24 (2^53) and k at most 10 (22), and then one
// division gives M / 10^k correctly rounded, as IEEE division of exact
// operands does. Anything else is left to the general conversion.
template <class T>
bool short_decimal(std::string_view s, T& out) {
    constexpr uint64_t EXACT = sizeof(T) == 4 ? uint64_t{1} << 24 : uint64_t{1} << 53;
    constexpr int32_t MAX_DECIMALS = sizeof(T) == 4 ? 10 : 22;
    static constexpr T POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    size_t p = 0;
    const bool neg = !s.empty() && s[0] == '-';
    if (neg) p = 1;
    uint64_t m = 0;
    int32_t digits = 0, decimals = -1;  // -1: no point yet
    for (; p < s.size(); ++p) {
        const char ch = s[p];
        if (ch >= '0' && ch <= '9') {
            if (++digits > 19) return false;
            m = m * 10 + static_cast<uint64_t>(ch - '0');
            if (decimals >= 0) ++decimals;
        } else if (ch == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || m > EXACT || decimals > MAX_DECIMALS) return false;
    const T v = static_cast<T>(m) / POWERS[decimals < 0 ? 0 : decimals];
    out = neg ? -v : v;
    return true;
}

template <class T>
bool parse_real(std::string_view s, T& out) {
    if (short_decimal(s, out)) return true;
    // The common case first: a value that starts with a digit or a point
    // (after an optional minus) and that the standard converter takes whole
    // has the accepted form already, since that converter accepts nothing
    // else from such a start.
    const size_t f = !s.empty() && s[0] == '-' ? 1 : 0;
    if (f < s.size() && ((s[f] >= '0' && s[f] <= '9') || s[f] == '.')) {
        T v{};
        auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
        if (ec == std::errc() && ptr == s.data() + s.size()) {
            out = v;
            return true;
        }
    }
    size_t p = 0;
    bool neg = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        neg = s[p] == '-';
        ++p;
    }
    std::string_view body = s.substr(p);
    if (same_word(body, "inf") || same_word(body, "infinity")) {
        out = neg ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
        return true;
    }
    if (same_word(body, "nan")) {
        out = std::copysign(std::numeric_limits<T>::quiet_NaN(), neg ? T(-1) : T(1));
        return true;
    }
    size_t digits = 0;
    bool point = false;
    size_t q = p;
    for (; q < s.size(); ++q) {
        char ch = s[q];
        if (ch >= '0' && ch <= '9') {
            ++digits;
        } else if (ch == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    size_t mant_end = q;
    bool rewrite = s[0] == '+';
    if (q < s.size()) {
        char ch = s[q];
        if (ch == 'e' || ch == 'E' || ch == 'd' || ch == 'D') {
            rewrite = rewrite || ch == 'd' || ch == 'D';
            ++q;
            if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
        } else if (ch == '+' || ch == '-') {
            rewrite = true;
            ++q;
        } else {
            return false;
        }
        size_t exp_digits = q;
        while (q < s.size() && s[q] >= '0' && s[q] <= '9') ++q;
        if (q == exp_digits || q != s.size()) return false;
    }
    std::string copy;
    std::string_view text = s;
    if (rewrite) {
        copy.reserve(s.size() + 2);
        if (neg) copy += '-';
        copy.append(s.data() + p, mant_end - p);
        if (mant_end < s.size()) {
            size_t e = mant_end;
            copy += 'e';
            if (s[e] != '+' && s[e] != '-') ++e;  // the exponent letter
            copy.append(s.data() + e, s.size() - e);
        }
        text = copy;
    }
    T v{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (ec == std::errc() && ptr == text.data() + text.size()) {
        out = v;
        return true;
    }
    if (ec != std::errc::result_out_of_range) return false;
    // Beyond the range of the width: the C library rounds to an infinity or
    // to zero, as the nearest-value rule wants.
    if (copy.empty()) copy.assign(text);
    if constexpr (sizeof(T) == 4) {
        out = std::strtof(copy.c_str(), nullptr);
    } else {
        out = std::strtod(copy.c_str(), nullptr);
    }
    return true;
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
bool skip_blanks(int32_t stream, Connection& c) {
    Reader& r = c.rd;
    for (;;) {
        if (r.has_line) {
            while (r.pos < r.len && is_blank(r.line[r.pos])) ++r.pos;
            if (r.pos < r.len) return true;
        }
        if (!next_line(stream, c)) return false;
    }
}

[[noreturn]] void end_of_input(int32_t stream) {
    fatal_io_error(Failure::end_of_file, stream, "while a value is still needed");
}

// A delimited text starting at the opening mark; runs over line ends.
// Leaves the position after the closing mark.
void read_delimited(int32_t stream, Connection& c, std::string& value) {
    Reader& r = c.rd;
    char mark = r.line[r.pos++];
    value.clear();
    for (;;) {
        if (r.pos >= r.len) {
            // A line end inside the value is skipped.
            if (!next_line(stream, c)) end_of_input(stream);
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

// ---- public operations ---------------------------------------------------

void set_program_name(const char* name) { streams().program = name; }

void set_fatal_hook(FatalHook hook) { streams().hook = hook; }

std::string_view last_diagnostic() { return streams().last; }

void reset_streams() {
    StreamTable& t = table();
    for (Connection& c : t.conn) {
        if (c.target == Target::file && c.fd >= 0) close(c.fd);
        c = Connection{};
    }
    t.ending = false;
    t.last.clear();
    start_table(t);
}

namespace {

// A connection to the named file, not opened yet, cut-pending until its
// first line.
Connection file_connection(const std::string& path) {
    Connection c;
    c.target = Target::file;
    c.name = path;
    c.cut_pending = true;
    return c;
}

}  // namespace

void connect_stream(int32_t stream, std::string_view name) {
    StreamTable& t = streams();
    Connection& c = connection(stream);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string path(name);
    auto refuse = [&](const char* why) {
        end_run(std::string(t.program) + ": cannot connect stream " + std::to_string(stream) + " to \"" + shown(path) +
                "\": " + why);
    };
    if (path.empty()) refuse("the file name is blank");
    if (path.find('\0') != std::string::npos) refuse("the file name holds a NUL character");

    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        for (int32_t s = 0; s <= MAX_STREAM; ++s) {
            const Connection& o = t.conn[s];
            if (s == stream || o.target == Target::none || !o.has_id) continue;
            if (o.dev == st.st_dev && o.ino == st.st_ino) {
                end_run(std::string(t.program) + ": cannot connect stream " + std::to_string(stream) + " to \"" +
                        shown(path) + "\": the file is already connected to stream " + std::to_string(s) + " (" +
                        shown(file_label(o)) + ")");
            }
        }
    }
    if (c.target != Target::none) release(stream, c);

    if (stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        c = file_connection(path);
        c.fifo = true;
        c.has_id = true;
        c.dev = st.st_dev;
        c.ino = st.st_ino;
        return;
    }
    Access access = Access::read_write;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        access = Access::read_only;
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ENOENT)) {
            access = Access::write_only;
            fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        }
    }
    if (fd < 0) refuse(std::strerror(errno));
    struct stat got;
    if (fstat(fd, &got) == 0 && S_ISDIR(got.st_mode)) {
        close(fd);
        refuse("it is a directory");
    }
    c = file_connection(path);
    c.fd = fd;
    c.access = access;
    identify(c);
}

void close_stream(int32_t stream) {
    Connection& c = connection(stream);
    if (c.target == Target::none) return;
    if (c.target == Target::std_out) {
        flush(stream, c);
        return;
    }
    release(stream, c);
}

void close_all_streams() {
    StreamTable& t = streams();
    for (int32_t s = 0; s <= MAX_STREAM; ++s) {
        Connection& c = t.conn[s];
        if (c.target == Target::file) release(s, c);
    }
    Connection& out = t.conn[STDOUT_STREAM];
    if (out.target == Target::std_out) flush(STDOUT_STREAM, out);
}

void write_line(int32_t stream, std::string_view line) {
    Connection& c = connection(stream);
    if (c.target == Target::none || c.target == Target::std_in) {
        programming_error("write to a stream that is not connected for output", stream);
    }
    if (c.access == Access::read_only) {
        fatal_io_error(Failure::write_refused, stream, "the file could only be opened for reading");
    }
    c.out.append(line);
    c.out.push_back('\n');
    if (c.tty || c.out.size() >= WRITE_CHUNK) flush(stream, c);
}

void write_free(int32_t stream, IoItem item) {
    if (item.kind == ItemKind::i32) {
        char buf[16];
        int k = std::snprintf(buf, sizeof buf, "%12d", *static_cast<const int32_t*>(item.at));
        write_line(stream, std::string_view(buf, static_cast<size_t>(k)));
        return;
    }
    if (item.kind != ItemKind::text) programming_error("free-form write of a real value", stream);
    std::string line(1, ' ');
    line.append(static_cast<const char*>(item.at), static_cast<size_t>(item.len));
    write_line(stream, line);
}

void read_free(int32_t stream, const IoItem* items, int32_t count) {
    Connection& c = connection(stream);
    if (c.target == Target::none || c.target == Target::std_out) {
        programming_error("read from a stream that is not connected for input", stream);
    }
    Reader& r = c.rd;
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
        if (!skip_blanks(stream, c)) end_of_input(stream);
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
            read_delimited(stream, c, scratch);
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
    Connection& c = connection(stream);
    if (c.target == Target::none || c.target == Target::std_out) {
        programming_error("read from a stream that is not connected for input", stream);
    }
    Reader& r = c.rd;
    if (!r.held) {
        if (!next_line(stream, c)) return false;
        r.held = true;
    }
    line = std::string_view(r.line, r.len);
    return true;
}

void take_line(int32_t stream) {
    Reader& r = connection(stream).rd;
    r.held = false;
    r.has_line = false;
}

bool real_value(std::string_view text, float& out) { return parse_real(text, out); }
bool real_value(std::string_view text, double& out) { return parse_real(text, out); }

int64_t stream_file_size(int32_t stream) {
    const Connection& c = connection(stream);
    if (c.fd < 0 || !c.regular) return -1;
    struct stat st;
    if (fstat(c.fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

void fatal_io_error(Failure kind, int32_t stream, std::string_view detail) {
    StreamTable& t = streams();
    const Connection& c = connection(stream);
    std::string where = shown(file_label(c)) + " (stream " + std::to_string(stream) + ")";
    std::string msg = std::string(t.program) + ": ";
    int64_t line = c.rd.line_no;
    switch (kind) {
    case Failure::end_of_file:
        msg += "end of file ";
        msg += line > 0 ? "after line " + std::to_string(line) + " of " + where : "at the start of " + where;
        if (!detail.empty()) msg += " " + std::string(detail);
        break;
    case Failure::bad_value:
        msg += "bad value " + std::string(detail) + " on line " + std::to_string(line) + " of " + where;
        break;
    case Failure::read_refused:
        msg += "read refused on " + where;
        if (!detail.empty()) msg += ": " + std::string(detail);
        break;
    case Failure::write_refused:
        msg += "write refused on " + where;
        if (!detail.empty()) msg += ": " + std::string(detail);
        break;
    case Failure::cannot_connect:
        msg += "cannot connect " + where;
        if (!detail.empty()) msg += ": " + std::string(detail);
        break;
    case Failure::already_connected:
        msg += "already connected: " + where;
        if (!detail.empty()) msg += ": " + std::string(detail);
        break;
    }
    end_run(msg);
}
