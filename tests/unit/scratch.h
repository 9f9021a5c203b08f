// scratch: a scratch folder of files and a fresh stream table for each
// unit test of the streams and the reader.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "harness.h"
#include "text_io.h"

// A folder of its own under /tmp, removed at the end; the stream table is
// brought back to its start, with failures thrown as Fatal.
struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        char tmpl[] = "/tmp/streams_XXXXXX";
        dir = mkdtemp(tmpl);
        reset_streams();
        set_program_name("quake");
        set_fatal_hook(throw_fatal);
    }
    ~Scratch() {
        reset_streams();
        std::filesystem::remove_all(dir);
    }
    std::string file(const std::string& name, const std::string& content) const {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
};
