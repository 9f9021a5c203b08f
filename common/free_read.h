// free_read: free-form read statements, and the lines they are read from.
//
// Owns splitting a stream's bytes into lines (a line feed ends a line; a
// carriage return directly before it is dropped; a last line needs none) and
// one read statement: which characters of which lines become which item
// values (separators, null values, slashes, repeat counts, delimited texts).
// A value that is not of its item's kind, or an input that ends while an item
// still needs a value, ends the run through fatal_io_error.
// Does not own the stream table (streams) or turning a number's text into
// its value (numbers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "streams.h"
#include "text.h"

// Reading state of one stream: the raw bytes taken from the system, the
// current line and the position in it.
struct FreeFormReader {
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

constexpr size_t READ_CHUNK = 1 << 18;  // bytes asked of the system per read

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
// take_line, then peek_line of the line after it, with one look-up of the stream.
bool take_and_peek_line(int32_t stream, std::string_view& line);
