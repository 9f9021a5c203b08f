// streams: the numbered streams of a run and the one road by which a run fails.
//
// Owns the stream table (5 is standard input until a catalog file replaces
// it, 6 is standard output, other numbers are named files), the set-up of the
// process at the first use of a stream, connecting and closing, handing
// finished lines to a stream (write_line, write_free), and fatal_io_error,
// the single way an input or output failure ends a run.
// Does not own how a read statement takes its values from the lines of a
// stream (free_read), the layout of report lines (templates) or of catalog
// lines (event_catalog).
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <string_view>

#include "text.h"

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
    out_of_memory,      // an allocation failed
};

// Name written at the head of every diagnostic ("twinquake", ...).
void set_program_name(const char* name);

// Connects `stream` to the file named `name` less its trailing blanks.
void connect_stream(int32_t stream, std::string_view name);
// connect_stream for a report file: a regular file is also held with an
// advisory lock (flock) to the end of the run, so that two runs never write
// one file at once; a file another run holds ends this run with the
// cannot-connect failure, before this run writes anything.
void connect_output(int32_t stream, std::string_view name);
// Hands the stream's buffered lines to its file and releases it.
void close_stream(int32_t stream);
// Closes every connected stream, standard output included (flushed, not closed).
void close_all_streams();

// Hands `line` and a line feed to `stream`.
void write_line(int32_t stream, std::string_view line);
// One free-form line: a blank, then a text as it stands or a 32-bit integer
// right-justified in 11 columns.
void write_free(int32_t stream, IoItem item);

// Ends the run: a diagnostic on standard error naming the program, the
// failure, the stream, the file (as stream_file gives it for a connected
// stream, the name being connected for a failing connection) and `detail`
// (the offending text or the system's reason); then every stream flushed and
// closed, each report cut after its last whole line; then exit status 2.
// An out-of-memory failure names the phase, and the stream being read and
// its file only while loading (any stream number and file may be given).
[[noreturn]] void fatal_io_error(Failure kind, int32_t stream, std::string_view file, std::string_view detail = {});

// What the run is doing, for a diagnostic that has no stream to name (out
// of memory). A run starts loading.
enum class Phase : uint8_t {
    loading,    // reading parameters and input
    searching,  // working on what was loaded (twinquake's main pass)
    reporting,  // writing a report from what was found (twinquake's E1-pair report)
};
void set_phase(Phase phase);

// SIGINT, SIGTERM and SIGHUP stop a run at the next line boundary: the signal
// is only noted when it arrives; every read statement and every line written
// looks for it, and so does poll_stop, for loops that may run long without
// either. A noted signal ends the run: every stream flushed and every report
// cut after its last whole line, a one-line diagnostic naming the signal,
// then the same signal with its default action, so that the shell sees an
// interrupted command.
inline volatile std::sig_atomic_t pending_stop = 0;  // the signal noted, 0 for none
[[noreturn]] void stop_by_signal();
inline void poll_stop() {
    if (pending_stop != 0) stop_by_signal();
}

// The file of a stream as a diagnostic names it: its file name, "standard
// input", "standard output", or "no file".
std::string stream_file(int32_t stream);

// The offending text as a diagnostic shows it: control bytes as \xNN, texts
// longer than 80 characters cut.
std::string shown_text(std::string_view s);

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

// For the reader (free_read): the reading state of a stream connected for
// input, and the descriptor its bytes come from (a named pipe is opened on
// its first read, waiting for its writer as a redirection of the shell would).
struct FreeFormReader;
FreeFormReader& stream_reader(int32_t stream);
int input_descriptor(int32_t stream);

// The size in bytes of the regular file connected to `stream`; -1 for
// anything else (a pipe, a terminal, no file).
int64_t stream_file_size(int32_t stream);
