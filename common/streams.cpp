// streams: the stream table, connecting and closing, line output, and the one
// road by which an input or output failure ends a run.

#include "streams.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "free_read.h"

namespace {

constexpr size_t WRITE_CHUNK = 1 << 16;           // buffered bytes that trigger a hand-over
constexpr size_t SHOWN_TEXT_MAX = 80;             // characters of offending text in a diagnostic
constexpr int FIFO_READER_WAITS = 100;            // tries left for a named pipe's reader to appear,
constexpr long FIFO_READER_PAUSE_NS = 10000000L;  // 10 ms apart: one second in all

enum class Target : uint8_t { none, std_in, std_out, file };
enum class Access : uint8_t { read_write, read_only, write_only };

struct Connection {
    Target target = Target::none;        // what the stream is connected to
    int fd = -1;                         // the system's descriptor
    std::string name;                    // file name as opened, without trailing blanks
    Access access = Access::read_write;  // as obtained when connecting
    bool cut_pending = false;            // the first hand-over empties the file first
    bool regular = false;                // a regular file (only those are cut)
    bool fifo = false;                   // a named pipe: opened on its first read or write
    bool tty = false;                    // a terminal: every line is handed over at once
    bool has_id = false;                 // dev/ino below are valid
    dev_t dev = 0;                       // file identity: device
    ino_t ino = 0;                       // file identity: inode
    int64_t written = 0;                 // bytes handed to the file so far
    std::string out;                     // lines written but not yet handed to the file
    FreeFormReader rd;                   // for a stream that is read
};

struct StreamTable {
    Connection conn[MAX_STREAM + 1];  // indexed by stream number
    int32_t reading = STDIN_STREAM;   // the stream read last (for a failure of memory)
    Phase phase = Phase::loading;     // what the run is doing (for a failure of memory)
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
    const int32_t s = table().reading;
    fatal_io_error(Failure::out_of_memory, s, stream_file(s));
}

// Notes a stop signal for the next line boundary. Only the first counts: a
// second one while the run is ending changes nothing, so that the reports
// still end on whole lines.
void note_stop_signal(int sig) {
    if (pending_stop == 0) pending_stop = sig;
}

// The stop signals are caught where they would end the process by default;
// a signal the caller ignores (nohup, a background job) stays ignored, and a
// handler of the caller's own stays in place. Interrupted system calls are
// not restarted, so that a read waiting for input sees the signal at once.
void catch_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = note_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) sigaction(sig, &sa, nullptr);
    }
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
    // A file-size limit (ulimit -f) makes a write refused, like a full disk,
    // instead of ending the process in the middle of a line.
    std::signal(SIGXFSZ, SIG_IGN);
    catch_stop_signals();
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

// The run is ending: the diagnostic on standard error, then every stream
// flushed and closed.
void wind_up(std::string message) {
    StreamTable& t = streams();
    t.ending = true;
    message += '\n';
    t.last = message;
    size_t done = 0;
    while (done < message.size()) {
        ssize_t k = write(2, message.data() + done, message.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        done += static_cast<size_t>(k);
    }
    close_all_streams();
}

[[noreturn]] void end_run(std::string message) {
    wind_up(std::move(message));
    if (table().hook) table().hook();
    std::exit(2);
}

const char* signal_name(int sig) {
    switch (sig) {
    case SIGINT: return "SIGINT (interrupt)";
    case SIGTERM: return "SIGTERM (termination)";
    case SIGHUP: return "SIGHUP (hang-up)";
    }
    return "a signal";
}

// After a write cut short (a full disk, a file-size limit, an I/O error),
// when `done` bytes of the buffered lines reached the file: the file is cut
// back after the last whole line of this run, counted back from where the
// write left off, so that a standard output appended to a file keeps what
// the file held before the run. Nothing can be taken back from a pipe or a
// device. The write failure being reported, a failing cut adds nothing to it.
void cut_back(Connection& c, size_t done) {
    if (!c.regular || c.fd < 0) return;
    size_t whole = done;
    while (whole > 0 && c.out[whole - 1] != '\n') --whole;
    c.written += static_cast<int64_t>(whole);
    const off_t at = lseek(c.fd, 0, SEEK_CUR);
    if (at < 0 || ftruncate(c.fd, at - static_cast<off_t>(done - whole)) != 0) {
        // Nothing more can be done for this file.
    }
}

// Waits until a descriptor that would block (a non-blocking standard output
// with a slow reader) takes output again.
void wait_writable(int fd) {
    struct pollfd p {};
    p.fd = fd;
    p.events = POLLOUT;
    poll(&p, 1, -1);
}

// A refused hand-over: ends the run, unless a failure is ending it already,
// in which case the lines are dropped and the other streams still flushed.
void refused(int32_t stream, Connection& c, std::string_view why) {
    c.out.clear();
    if (streams().ending) return;
    fatal_io_error(Failure::write_refused, stream, file_label(c), why);
}

// Hands the buffered lines of a stream to its target; a refusal ends the run.
void flush(int32_t stream, Connection& c) {
    if (c.fifo && c.fd < 0 && !c.out.empty()) {
        // A named pipe is opened for writing on its first hand-over; with no
        // process reading it the lines cannot be delivered.
        int fd = open(c.name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        // A reader started beside the program (mkfifo p; cat p & prog) may
        // not have opened its end yet: it is given a moment to.
        for (int k = 0; fd < 0 && errno == ENXIO && k < FIFO_READER_WAITS; ++k) {
            const struct timespec pause { 0, FIFO_READER_PAUSE_NS };
            nanosleep(&pause, nullptr);
            fd = open(c.name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) {
            refused(stream, c, errno == ENXIO ? "no process reads the named pipe" : std::strerror(errno));
            return;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        c.fd = fd;
        c.access = Access::write_only;
    }
    if (c.cut_pending && !c.out.empty()) {
        // The first line written replaces the file's former content: the
        // file is emptied before its first hand-over, so that a write cut
        // short can never leave former content behind this run's lines.
        // A file that cannot be emptied keeps its former content whole.
        c.cut_pending = false;
        if (c.regular && ftruncate(c.fd, 0) != 0) {
            refused(stream, c, std::strerror(errno));
            return;
        }
    }
    size_t done = 0;
    while (done < c.out.size()) {
        // A signal that interrupts the hand-over is seen at the next line
        // boundary: the lines buffered are whole and go out whole.
        ssize_t k = write(c.fd, c.out.data() + done, c.out.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            wait_writable(c.fd);
            continue;
        }
        if (k <= 0) {
            const int err = k < 0 ? errno : ENOSPC;
            cut_back(c, done);
            refused(stream, c, std::strerror(err));
            return;
        }
        done += static_cast<size_t>(k);
    }
    c.written += static_cast<int64_t>(done);
    c.out.clear();
}

void release(int32_t stream, Connection& c) {
    flush(stream, c);
    if (c.target == Target::file) {
        int fd = c.fd;
        c.fd = -1;
        if (fd >= 0 && close(fd) != 0 && errno != EINTR) refused(stream, c, std::strerror(errno));
    }
    c = Connection{};
}

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

std::string shown_text(std::string_view s) {
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

std::string stream_file(int32_t stream) { return file_label(connection(stream)); }

void set_program_name(const char* name) { streams().program = name; }

void set_phase(Phase phase) { streams().phase = phase; }

void stop_by_signal() {
    const int sig = pending_stop;
    wind_up(std::string(streams().program) + ": stopped by " + signal_name(sig) +
            "; every file holds the whole lines written before it");
    if (table().hook) table().hook();
    // The same signal again, now with its default action.
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void set_fatal_hook(FatalHook hook) { streams().hook = hook; }

std::string_view last_diagnostic() { return streams().last; }

void reset_streams() {
    StreamTable& t = table();
    for (Connection& c : t.conn) {
        if (c.target == Target::file && c.fd >= 0) close(c.fd);
        c = Connection{};
    }
    t.ending = false;
    t.phase = Phase::loading;
    t.last.clear();
    pending_stop = 0;
    start_table(t);
}

void connect_stream(int32_t stream, std::string_view name) {
    StreamTable& t = streams();
    Connection& c = connection(stream);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string path(name);
    if (path.empty()) fatal_io_error(Failure::cannot_connect, stream, path, "the file name is blank");
    if (path.find('\0') != std::string::npos) {
        fatal_io_error(Failure::cannot_connect, stream, path, "the file name holds a NUL character");
    }

    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        for (int32_t s = 0; s <= MAX_STREAM; ++s) {
            const Connection& o = t.conn[s];
            if (s == stream || o.target == Target::none || !o.has_id) continue;
            if (o.dev == st.st_dev && o.ino == st.st_ino) {
                fatal_io_error(Failure::already_connected, stream, path,
                               "stream " + std::to_string(s) + " (" + shown_text(file_label(o)) + ")");
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
    if (fd < 0) fatal_io_error(Failure::cannot_connect, stream, path, std::strerror(errno));
    struct stat got;
    if (fstat(fd, &got) == 0 && S_ISDIR(got.st_mode)) {
        close(fd);
        fatal_io_error(Failure::cannot_connect, stream, path, "it is a directory");
    }
    c = file_connection(path);
    c.fd = fd;
    c.access = access;
    identify(c);
}

void connect_output(int32_t stream, std::string_view name) {
    connect_stream(stream, name);
    Connection& c = connection(stream);
    if (c.target != Target::file || c.fd < 0 || !c.regular) return;
    // Advisory: a file system without locks (some network file systems)
    // refuses the lock for its own reason, and the run goes on without it.
    if (flock(c.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        fatal_io_error(Failure::cannot_connect, stream, c.name, "another run is writing the file");
    }
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
    poll_stop();
    Connection& c = connection(stream);
    if (c.target == Target::none || c.target == Target::std_in) {
        programming_error("write to a stream that is not connected for output", stream);
    }
    if (c.access == Access::read_only) {
        fatal_io_error(Failure::write_refused, stream, file_label(c), "the file could only be opened for reading");
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

FreeFormReader& stream_reader(int32_t stream) {
    poll_stop();
    Connection& c = connection(stream);
    if (c.target == Target::none || c.target == Target::std_out) {
        programming_error("read from a stream that is not connected for input", stream);
    }
    streams().reading = stream;
    return c.rd;
}

int64_t stream_file_size(int32_t stream) {
    const Connection& c = connection(stream);
    if (c.fd < 0 || !c.regular) return -1;
    struct stat st;
    if (fstat(c.fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int input_descriptor(int32_t stream) {
    Connection& c = connection(stream);
    if (c.fifo && c.fd < 0) {
        int fd = open(c.name.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR) {
            poll_stop();
            fd = open(c.name.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd < 0) fatal_io_error(Failure::read_refused, stream, file_label(c), std::strerror(errno));
        c.fd = fd;
        c.access = Access::read_only;
    }
    return c.fd;
}

void fatal_io_error(Failure kind, int32_t stream, std::string_view file, std::string_view detail) {
    StreamTable& t = streams();
    const int64_t line = stream >= 0 && stream <= MAX_STREAM ? t.conn[stream].rd.line_no : 0;
    const std::string where = shown_text(file) + " (stream " + std::to_string(stream) + ")";
    const std::string connecting =
        "cannot connect stream " + std::to_string(stream) + " to \"" + shown_text(file) + "\": ";
    const std::string reason = detail.empty() ? std::string() : ": " + std::string(detail);
    std::string msg = std::string(t.program) + ": ";
    switch (kind) {
    case Failure::end_of_file:
        msg += "end of file ";
        msg += line > 0 ? "after line " + std::to_string(line) + " of " + where : "at the start of " + where;
        if (!detail.empty()) msg += " " + std::string(detail);
        break;
    case Failure::bad_value:
        msg += "bad value " + std::string(detail) + " on line " + std::to_string(line) + " of " + where;
        break;
    case Failure::read_refused: msg += "read refused on " + where + reason; break;
    case Failure::write_refused: msg += "write refused on " + where + reason; break;
    case Failure::cannot_connect: msg += connecting + std::string(detail); break;
    case Failure::already_connected:
        msg += connecting + "the file is already connected to " + std::string(detail);
        break;
    case Failure::out_of_memory:
        switch (t.phase) {
        case Phase::loading: msg += "out of memory while loading, reading " + where; break;
        case Phase::searching: msg += "out of memory while searching"; break;
        case Phase::reporting: msg += "out of memory while writing a report"; break;
        }
        msg += reason;
        break;
    }
    end_run(msg);
}
