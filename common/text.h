// text: the values of read and write statements.
//
// Owns the one text width of the system (50 characters: every catalog text
// and every file name read from input), the Text value, and IoItem, the typed
// item of a statement (32-bit integer, 32-bit float, 64-bit float or a text of
// a given length) with the io() overloads that make one from a variable.
// Does not own reading or writing itself (free_read, streams).
#pragma once

#include <cstdint>
#include <cstring>
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
