// text_io: numbered streams and free-form text input and output.
//
// Owns every byte the programs read or write: the stream table (5 is standard
// input until a catalog file replaces it, 6 is standard output, other numbers
// are named files), free-form read statements, one-line free-form writes,
// handing finished lines to a stream, and the single road by which an input or
// output failure ends a run (fatal_io_error).
// Does not own the layout of report lines (templates) or of catalog lines
// (event_catalog).
#pragma once

#include <cstdint>
#include <string_view>

// Kind of one value of a read or write statement.
enum class ItemKind : uint8_t {
    i32,   // 32-bit signed integer
    f32,   // 32-bit IEEE float
    f64,   // 64-bit IEEE float
    text,  // fixed-length text, blank-padded on the right
};

// One value of a statement: where it lives, and for a text its length.
// A read stores through `at`; a write only reads through it.
struct IoItem {
    ItemKind kind;  // what `at` points to
    void* at;       // int32_t, float, double, or `len` chars
    int32_t len;    // text length in characters (texts only)
};

inline IoItem io(int32_t& v) { return {ItemKind::i32, &v, 0}; }
inline IoItem io(float& v) { return {ItemKind::f32, &v, 0}; }
inline IoItem io(double& v) { return {ItemKind::f64, &v, 0}; }
inline IoItem io(char* text, int32_t len) { return {ItemKind::text, text, len}; }
// Values for a write: the item is only read, never stored through.
inline IoItem io(const int32_t& v) { return {ItemKind::i32, const_cast<int32_t*>(&v), 0}; }
inline IoItem io(const float& v) { return {ItemKind::f32, const_cast<float*>(&v), 0}; }
inline IoItem io(const double& v) { return {ItemKind::f64, const_cast<double*>(&v), 0}; }
inline IoItem io(const char* text, int32_t len) { return {ItemKind::text, const_cast<char*>(text), len}; }

constexpr int32_t STDIN_STREAM = 5;
constexpr int32_t STDOUT_STREAM = 6;
constexpr int32_t MAX_STREAM = 99;  // stream numbers are 0 to 99

// The ways a run can fail; each ends the run with exit status 2.
enum class Failure : uint8_t {
    end_of_file,        // input ended while an item still needed a value
    bad_value,          // a value that cannot be read as its item's kind
    cannot_connect,     // no opening attempt succeeded
    already_connected,  // another stream holds the same file
    write_refused,      // the system did not take the output
    read_refused,       // the system refused to hand over input (no read access, I/O error)
};

// Name written at the head of every diagnostic ("twinquake", ...).
void set_program_name(const char* name);

// Connects `stream` to the file named `name` less its trailing blanks.
void connect_stream(int32_t stream, std::string_view name);
// Hands the stream's buffered lines to its file and releases it.
void close_stream(int32_t stream);
// Closes every connected stream, standard output included (flushed, not closed).
void close_all_streams();

// One read statement on `stream`: fills items[0..count-1] in order.
// Items that a null value or a slash leaves unassigned keep their values.
void read_free(int32_t stream, const IoItem* items, int32_t count);

// The line the next read statement on `stream` starts on, handed whole (its
// line feed, and a carriage return before it, dropped) so that a caller can
// take the common form of a line itself; false at the end of the input. The
// line stays held: take_line(stream) then ends the statement there, as
// read_free would have, or read_free reads it as usual.
bool peek_line(int32_t stream, std::string_view& line);
void take_line(int32_t stream);

// The conversion read_free gives a real value of that width (correctly
// rounded); false when the text is not a real value.
bool real_value(std::string_view text, float& out);
bool real_value(std::string_view text, double& out);

// The size in bytes of the regular file connected to `stream`; -1 for
// anything else (a pipe, a terminal, no file).
int64_t stream_file_size(int32_t stream);

// Hands `line` and a line feed to `stream`.
void write_line(int32_t stream, std::string_view line);
// One free-form line: a blank, then a text as it stands or a 32-bit integer
// right-justified in 11 columns.
void write_free(int32_t stream, IoItem item);

// Ends the run: a diagnostic on standard error naming the program, the failure,
// the stream and its file, and `detail` (the offending text or the system's
// reason); then every stream flushed and closed; then exit status 2.
[[noreturn]] void fatal_io_error(Failure kind, int32_t stream, std::string_view detail = {});

// Called by fatal_io_error after the streams are closed, instead of exiting,
// when set; it must not return (a test harness throws or jumps out of it).
// The diagnostic has been written to standard error and is also kept in
// last_diagnostic().
using FatalHook = void (*)();
void set_fatal_hook(FatalHook hook);
std::string_view last_diagnostic();

// Brings the stream table back to its state at the start of a run, dropping
// every connection without flushing it (test harnesses only).
void reset_streams();
