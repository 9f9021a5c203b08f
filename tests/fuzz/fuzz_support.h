// fuzz_support: what every fuzz harness of the toolkit shares.
//
// A failure of a run ends it through fatal_io_error, which normally exits;
// here its hook throws Fatal back into the harness, which then brings the
// stream table back to its start with reset_streams(). Scratch files live in
// one folder per process on a memory file system. Input bytes are taken with
// take_byte / take_bits, which give zeros once the input is used up, so any
// input, however short, is a valid case.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "support/fatal.h"
#include "text_io.h"

// A descriptor of the harness's own standard error, taken before libFuzzer
// sends standard error to /dev/null (-close_fd_mask=2), so that a failed
// check still shows what failed.
inline int& report_fd() {
    static int fd = 2;
    return fd;
}

inline void keep_report_fd() { report_fd() = dup(2); }

// Every harness keeps its report descriptor before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_report_fd();
    return 0;
}

// A failed check: names what failed, prints the details, and aborts, which
// libFuzzer reports as a crash and keeps the input as an artifact.
[[noreturn]] inline void check_failed(const char* what, const std::string& detail) {
    std::string msg = std::string("fuzz check failed: ") + what + "\n" + detail + "\n";
    if (write(report_fd(), msg.data(), msg.size()) < 0) {
        // Nothing more to do: the abort below still marks the case.
    }
    __sanitizer_print_stack_trace();
    std::abort();
}

inline void check(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) check_failed(what, detail);
}

// The process's scratch folder: below $QUAKE_FUZZ_SCRATCH when set, else
// below /dev/shm or /tmp; removed at exit.
inline const std::string& scratch_dir() {
    static const std::string dir = [] {
        std::string made;
        const char* env = std::getenv("QUAKE_FUZZ_SCRATCH");
        for (const char* base : {env, "/dev/shm", "/tmp"}) {
            if (base == nullptr || *base == '\0') continue;
            std::string t = std::string(base) + "/quake-fuzz-XXXXXX";
            if (mkdtemp(t.data()) != nullptr) {
                made = t;
                break;
            }
        }
        if (made.empty()) check_failed("no scratch folder", "mkdtemp failed in $QUAKE_FUZZ_SCRATCH, /dev/shm and /tmp");
        return made;
    }();
    static const bool cleanup = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch_dir(), ec);
        });
        return true;
    }();
    (void)cleanup;
    return dir;
}

inline std::string scratch(const char* name) { return scratch_dir() + "/" + name; }

inline void put_file(const std::string& path, std::string_view bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create a scratch file", path);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t k = write(fd, bytes.data() + done, bytes.size() - done);
        check(k > 0, "cannot write a scratch file", path);
        done += static_cast<size_t>(k);
    }
    close(fd);
}

inline std::string get_file(const std::string& path) {
    std::string r;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return r;
    char buf[1 << 14];
    for (;;) {
        ssize_t k = read(fd, buf, sizeof buf);
        if (k <= 0) break;
        r.append(buf, static_cast<size_t>(k));
    }
    close(fd);
    return r;
}

// The input bytes not yet taken.
struct Bytes {
    const uint8_t* at;  // next byte
    size_t left;        // bytes remaining
};

inline uint8_t take_byte(Bytes& b) {
    if (b.left == 0) return 0;
    --b.left;
    return *b.at++;
}

// sizeof(T) bytes as the bits of a T (zeros past the end of the input).
template <class T>
T take_bits(Bytes& b) {
    unsigned char raw[sizeof(T)] = {};
    size_t n = b.left < sizeof raw ? b.left : sizeof raw;
    std::memcpy(raw, b.at, n);
    b.at += n;
    b.left -= n;
    T v;
    std::memcpy(&v, raw, sizeof v);
    return v;
}

// Printable form of bytes for a failure report.
inline std::string shown_bytes(std::string_view s) {
    std::string r;
    for (unsigned char ch : s) {
        if (ch >= 0x20 && ch < 0x7f && ch != '\\') {
            r += static_cast<char>(ch);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", ch);
            r += esc;
        }
    }
    return r;
}
