// tool_output: the output and the failure road of the command-line tools
// that prepare catalogs and show reports (catprep, quakeview).
//
// Owns: the program's name in diagnostics, the one output of a run (standard
// output, or a named file that is replaced whole only when the run completes),
// and the single way such a run fails (tool_fail: a one-line diagnostic,
// the unfinished output removed, exit status 2).
// Does not own: the numbered streams of the classic programs (streams), nor
// parsing options or input formats.
//
// A named output is written to a temporary file beside it ("NAME.tmp.XXXXXX")
// and renamed over NAME by output_commit, so a run that fails, is interrupted
// (SIGINT, SIGTERM, SIGHUP) or is killed never leaves half a file under NAME
// and never destroys the NAME of an earlier run.
#pragma once

#include <string>
#include <string_view>

// Names the program for every diagnostic ("catprep"); ignores SIGPIPE, so a
// closed pipe is a refused write; removes an unfinished output on SIGINT,
// SIGTERM and SIGHUP before the signal ends the process as it would have.
void tool_start(const char* name);
// The name given to tool_start.
const char* tool_name();

// Ends the run: "NAME: message" and a line feed on standard error, the
// unfinished output file removed, exit status 2.
[[noreturn]] void tool_fail(std::string_view message);

// Tests and fuzz harnesses: a function tool_fail calls with its message
// before anything else; one that throws takes the run back to its caller
// (nothing is written or removed then). Null (the default) for a real run.
void tool_fail_hook(void (*hook)(std::string_view message));

// An offending text as a diagnostic quotes it: control bytes as \xNN (so the
// diagnostic stays one line of text and cannot act on a terminal), and cut
// after `max` bytes with "..." when longer.
std::string tool_shown(std::string_view text, size_t max);

// Opens the run's output: standard output for "-" or an empty path,
// otherwise a temporary file beside `path`.
void output_open(const std::string& path);
// Buffers `bytes` for the output; a refused write ends the run.
void output_write(std::string_view bytes);
// Hands every buffered byte over and, for a named output, gives the file the
// mode a newly created file would get (or the mode of the file it replaces),
// syncs it and renames it over `path`. A refused write ends the run.
void output_commit();
