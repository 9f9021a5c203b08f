// input: files and standard input through zlib, and their lines.

#include "input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tool_output.h"

namespace {

constexpr size_t MEMORY_CHUNK = 4096;  // buffer of an input in memory (tests, fuzzing)

// Up to `room` bytes of the input (decompressed) into `dst`; 0 at the end.
size_t raw_read(Input& in, char* dst, size_t room) {
    if (!in.gz) {
        const size_t got = std::min(room, in.memory.size());
        std::memcpy(dst, in.memory.data(), got);
        in.memory.remove_prefix(got);
        return got;
    }
    errno = 0;
    const int k = gzread(in.gz.get(), dst, static_cast<unsigned>(room));
    int err = Z_OK;
    const char* msg = gzerror(in.gz.get(), &err);
    if (k < 0 || (err != Z_OK && err != Z_STREAM_END)) {
        if (err == Z_ERRNO) tool_fail(in.name + ": read refused: " + std::strerror(errno));
        if (err == Z_BUF_ERROR) tool_fail(in.name + ": broken gzip stream: it ends before its end mark");
        std::string_view why = msg != nullptr ? msg : "unreadable";
        if (why.starts_with("<fd:") && why.find(": ") != std::string_view::npos) why.remove_prefix(why.find(": ") + 2);
        tool_fail(in.name + ": broken gzip stream: " + std::string(why));
    }
    return static_cast<size_t>(k);
}

// Reads more bytes into buf, keeping buf[pos, end). False at the end.
bool fill(Input& in) {
    if (in.eof) return false;
    if (in.cap == 0) {
        // An input in memory goes through a small buffer: its lines then
        // cross the buffer's end as often as a file's do.
        in.cap = in.gz ? INPUT_CHUNK : MEMORY_CHUNK;
        in.buf.reset(new char[in.cap]);
    }
    if (in.pos > 0) {
        std::memmove(in.buf.get(), in.buf.get() + in.pos, in.end - in.pos);
        in.end -= in.pos;
        in.pos = 0;
    }
    if (in.end == in.cap) return true;  // full: the caller takes bytes first
    const size_t got = raw_read(in, in.buf.get() + in.end, in.cap - in.end);
    if (got == 0) {
        in.eof = true;
        return false;
    }
    in.end += got;
    return true;
}

void start(Input& in) {
    if (in.started) return;
    in.started = true;
    while (in.end - in.pos < 3 && fill(in)) {}
    if (in.end - in.pos >= 3 && std::memcmp(in.buf.get() + in.pos, "\xEF\xBB\xBF", 3) == 0) in.pos += 3;
}

}  // namespace

void input_open(Input& in, const std::string& path) {
    int fd = 0;
    if (path == "-") {
        in.name = "standard input";
    } else {
        in.name = path;
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) tool_fail(path + ": cannot open: " + std::strerror(errno));
    }
    gzFile g = gzdopen(fd, "rb");
    if (g == nullptr) tool_fail(in.name + ": cannot open: out of memory");
    gzbuffer(g, INPUT_CHUNK);
    in.gz.reset(g);
}

void input_memory(Input& in, std::string_view bytes, const std::string& name) {
    in.name = name;
    in.memory = bytes;
}

std::string_view input_peek(Input& in, size_t n) {
    start(in);
    while (in.end - in.pos < n && fill(in) && in.end < in.cap) {}
    return std::string_view(in.buf.get() + in.pos, std::min(n, in.end - in.pos));
}

bool input_line(Input& in, std::string_view& line) {
    start(in);
    in.carry.clear();
    bool have = false;
    for (;;) {
        if (in.pos < in.end) {
            const char* b = in.buf.get() + in.pos;
            const size_t avail = in.end - in.pos;
            const char* nl = static_cast<const char*>(std::memchr(b, '\n', avail));
            if (nl != nullptr) {
                const size_t len = static_cast<size_t>(nl - b);
                in.pos += len + 1;
                in.taken += len + 1;
                ++in.line;
                if (in.carry.empty() && !have) {
                    line = std::string_view(b, len);
                } else {
                    in.carry.append(b, len);
                    line = in.carry;
                }
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                return true;
            }
            in.carry.append(b, avail);
            in.taken += avail;
            in.pos = in.end;
            have = true;
        }
        if (!fill(in)) break;
    }
    if (!have) return false;
    ++in.line;  // a last line without its line feed
    line = in.carry;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
}

size_t input_read(Input& in, char* dst, size_t n) {
    start(in);
    if (in.pos == in.end && in.gz) {
        // Nothing held back: straight from zlib into `dst`.
        const size_t k = in.eof ? 0 : raw_read(in, dst, n);
        if (k == 0) in.eof = true;
        in.taken += k;
        return k;
    }
    if (in.pos == in.end && !fill(in)) return 0;
    const size_t k = std::min(n, in.end - in.pos);
    std::memcpy(dst, in.buf.get() + in.pos, k);
    in.pos += k;
    in.taken += k;
    return k;
}
