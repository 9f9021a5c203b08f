// tool_output: buffered output to standard output or to a file that is
// replaced whole, and the failure road of the command-line tools.

#include "tool_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t BUFFER_BYTES = 1 << 16;  // output handed over in pieces of 64 KiB
constexpr size_t MAX_PATH_BYTES = 4096;   // longest temporary name kept for the signal handler

const char* program = "tool";
int out_fd = -1;                                // -1 until output_open
std::string out_path;                           // the name asked for; empty for standard output
std::string out_buffer;                         // bytes not yet handed over
char tmp_name[MAX_PATH_BYTES] = "";             // the unfinished file, "" when none (read by the signal handler)
void (*fail_hook)(std::string_view) = nullptr;  // tool_fail_hook

void remove_unfinished() {
    if (tmp_name[0] != '\0') unlink(tmp_name);
    tmp_name[0] = '\0';
}

// SIGINT, SIGTERM, SIGHUP: the unfinished file goes, then the signal ends the
// process by its default action, so a shell sees an interrupted command.
extern "C" void on_stop_signal(int sig) {
    if (tmp_name[0] != '\0') unlink(tmp_name);
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string where() { return out_path.empty() ? std::string("standard output") : out_path; }

// Hands `len` bytes to the output descriptor, waiting on a full non-blocking
// pipe rather than failing.
void hand_over(const char* p, size_t len) {
    while (len > 0) {
        ssize_t k = write(out_fd, p, len);
        if (k < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                usleep(1000);
                continue;
            }
            tool_fail("write refused on " + where() + ": " + std::strerror(errno));
        }
        p += k;
        len -= static_cast<size_t>(k);
    }
}

void flush_buffer() {
    std::string pending;
    pending.swap(out_buffer);
    hand_over(pending.data(), pending.size());
}

}  // namespace

void tool_start(const char* name) {
    program = name;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit is a refused write, not a silent death
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, on_stop_signal);
}

const char* tool_name() { return program; }

void tool_fail_hook(void (*hook)(std::string_view message)) { fail_hook = hook; }

void tool_fail(std::string_view message) {
    if (fail_hook != nullptr) fail_hook(message);
    std::string line = std::string(program) + ": " + std::string(message) + "\n";
    fflush(stdout);
    if (write(2, line.data(), line.size()) < 0) {
        // Nothing is left to tell a failure to.
    }
    remove_unfinished();
    _exit(2);
}

std::string tool_shown(std::string_view text, size_t max) {
    static const char HEX[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < text.size() && i < max; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < ' ' || c == 0x7f) {
            s += "\\x";
            s.push_back(HEX[c >> 4]);
            s.push_back(HEX[c & 15]);
        } else {
            s.push_back(static_cast<char>(c));
        }
    }
    if (text.size() > max) s += "...";
    return s;
}

void output_open(const std::string& path) {
    out_buffer.reserve(BUFFER_BYTES);
    if (path.empty() || path == "-") {
        out_fd = 1;
        out_path.clear();
        return;
    }
    out_path = path;
    std::string tmp = path + ".tmp.XXXXXX";
    if (tmp.size() >= MAX_PATH_BYTES) tool_fail("cannot create " + path + ": name too long");
    std::memcpy(tmp_name, tmp.c_str(), tmp.size() + 1);
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);  // no signal between creating and recording the name
    int fd = mkstemp(tmp_name);
    if (fd < 0) tmp_name[0] = '\0';
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) tool_fail("cannot create a temporary file beside " + path + ": " + std::strerror(errno));
    out_fd = fd;
}

void output_write(std::string_view bytes) {
    if (out_buffer.size() + bytes.size() > BUFFER_BYTES) {
        flush_buffer();
        if (bytes.size() > BUFFER_BYTES) {
            hand_over(bytes.data(), bytes.size());
            return;
        }
    }
    out_buffer.append(bytes);
}

void output_commit() {
    flush_buffer();
    if (out_path.empty()) return;
    // The mode of the file replaced, else that of a new file under the umask.
    struct stat st;
    mode_t mode;
    if (stat(out_path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(out_fd, mode) != 0 || fsync(out_fd) != 0)
        tool_fail("write refused on " + out_path + ": " + std::strerror(errno));
    if (close(out_fd) != 0) tool_fail("write refused on " + out_path + ": " + std::strerror(errno));
    out_fd = -1;
    if (rename(tmp_name, out_path.c_str()) != 0) tool_fail("cannot replace " + out_path + ": " + std::strerror(errno));
    tmp_name[0] = '\0';
}
