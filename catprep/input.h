// input: the bytes of one input file, gzip-compressed or not, and its lines.
//
// Owns opening a named file or standard input ("-"), reading it through zlib
// (which passes uncompressed bytes through and recognises gzip by its magic
// bytes, several members included), a broken or cut gzip stream as a failure,
// a UTF-8 byte-order mark at the start dropped, and lines without their line
// feed and carriage return. Any failure ends the run through tool_fail,
// naming the file. Inputs held in memory serve the tests.
// Does not own what the lines mean (csv, fdsn_text, quakeml).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

constexpr size_t INPUT_CHUNK = 1 << 18;  // bytes asked of zlib at a time

struct GzClose {
    void operator()(gzFile_s* g) const { gzclose(g); }
};

struct Input {
    std::string name;                       // for diagnostics: the path, or "standard input"
    std::unique_ptr<gzFile_s, GzClose> gz;  // null for an input in memory
    std::string_view memory;                // the bytes of an input in memory, not yet taken
    std::unique_ptr<char[]> buf;            // bytes read, not yet taken: buf[pos, end)
    size_t pos = 0, end = 0, cap = 0;
    bool eof = false;      // nothing more to read into buf
    bool started = false;  // the byte-order mark test is done
    int64_t line = 0;      // number of the line last given by input_line
    uint64_t taken = 0;    // bytes given out so far (after decompression)
    std::string carry;     // a line that crosses the end of buf
};

// Opens `path` ("-": standard input).
void input_open(Input& in, const std::string& path);
// An input over bytes in memory (they must outlive it), named `name`.
void input_memory(Input& in, std::string_view bytes, const std::string& name);

// The bytes at the start of the input (after a byte-order mark), up to `n`,
// without taking them: what the format is recognised from.
std::string_view input_peek(Input& in, size_t n);

// The next line, without its line feed and a carriage return before it;
// false at the end of the input. The view lasts until the next call.
bool input_line(Input& in, std::string_view& line);

// Up to `n` raw bytes into `dst`; 0 at the end of the input.
size_t input_read(Input& in, char* dst, size_t n);
