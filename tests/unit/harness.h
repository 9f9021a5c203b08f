// harness: what the unit tests share to drive the programs' steps in-process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/fatal.h"

// The whole content of a file.
inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A small deterministic generator of 64-bit numbers (xorshift): the same
// sequence on every platform and library, for wide sampling tests.
struct XorShift {
    uint64_t s;  // state, never 0
    uint64_t operator()() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};
