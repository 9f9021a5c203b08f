// text: the fixed-length, blank-padded texts of catalogs and file names.
//
// Owns the one text width of the system (50 characters: every catalog text
// and every file name read from input), the Text value and the statement
// items that read or write one. Does not own reading or writing itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "text_io.h"

constexpr int32_t TEXT_LEN = 50;  // every catalog text and file name, blank-padded

struct Text {
    char c[TEXT_LEN];  // blank-padded on the right
};

// A text of TEXT_LEN characters from a shorter literal, blank-padded; a
// longer one keeps its first TEXT_LEN characters.
inline Text make_text(const char* s) {
    Text t;
    size_t n = std::strlen(s);
    if (n > static_cast<size_t>(TEXT_LEN)) n = TEXT_LEN;
    std::memcpy(t.c, s, n);
    std::memset(t.c + n, ' ', TEXT_LEN - n);
    return t;
}

// The statement item of a whole text: read into, or written from.
inline IoItem io(Text& t) { return io(t.c, TEXT_LEN); }
inline IoItem io(const Text& t) { return io(static_cast<const char*>(t.c), TEXT_LEN); }

// The whole text, trailing blanks included (a file name for connect_stream,
// which drops them itself).
inline std::string_view text_view(const Text& t) { return std::string_view(t.c, TEXT_LEN); }
