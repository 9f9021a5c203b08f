// Line output, free-form writes and file connections, driven through real
// files in a scratch directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "harness.h"
#include "scratch.h"
#include "text_io.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t IN = 20;  // the stream read where a case needs a failing read

TEST(WriteFree, IntegersAndTexts) {
    Scratch s;
    std::string p = s.file("out.txt", "");
    connect_stream(30, p);
    const int32_t values[] = {2451545, -5, INT32_MIN, INT32_MAX, 0};
    for (int32_t v : values) write_free(30, io(v));
    const char text[] = "ab  ";
    write_free(30, io(text, 4));
    close_stream(30);
    EXPECT_EQ(slurp(p), "     2451545\n          -5\n -2147483648\n  2147483647\n           0\n ab  \n");
}

TEST(Connect, OutputFileKeepsOrReplacesItsContent) {
    Scratch s;
    const std::string former = "former line one\nformer line two\nthree\n";
    // No line written: the former content stays byte for byte.
    std::string kept = s.file("kept.txt", former);
    connect_stream(30, kept);
    close_stream(30);
    EXPECT_EQ(slurp(kept), former);
    // Lines written: exactly those lines, nothing of the former content.
    std::string replaced = s.file("replaced.txt", former);
    connect_stream(31, replaced);
    write_line(31, "new");
    write_line(31, "x");
    close_stream(31);
    EXPECT_EQ(slurp(replaced), "new\nx\n");
    // A name that did not exist is created empty at once; trailing blanks are
    // dropped, leading ones kept.
    std::string fresh = (s.dir / "fresh.txt").string();
    connect_stream(32, fresh + "    ");
    EXPECT_TRUE(fs::exists(fresh));
    close_stream(32);
    EXPECT_EQ(slurp(fresh), "");
    // Lines reach the file when a failure ends the run too.
    std::string partial = s.file("partial.txt", former);
    connect_stream(33, partial);
    write_line(33, "kept line");
    connect_stream(IN, s.file("in.txt", "x"));
    int32_t v = 0;
    const IoItem item[] = {io(v)};
    EXPECT_THROW(read_free(IN, item, 1), Fatal);
    EXPECT_EQ(slurp(partial), "kept line\n");
}

TEST(Connect, OneFileUnderTwoNamesIsRefused) {
    Scratch s;
    std::string p = s.file("cat.txt", "1\n");
    fs::create_hard_link(p, s.dir / "hard.txt");
    fs::create_symlink(p, s.dir / "soft.txt");
    const std::string second[] = {
        (s.dir / "." / "cat.txt").string(),
        (s.dir / "hard.txt").string(),
        (s.dir / "soft.txt").string(),
        p + "  ",
    };
    for (const std::string& other : second) {
        reset_streams();
        set_fatal_hook(throw_fatal);
        connect_stream(5, p);
        EXPECT_THROW(connect_stream(65, other), Fatal) << other;
        EXPECT_NE(last_diagnostic().find("already connected to stream 5"), std::string::npos) << last_diagnostic();
    }
    // Reconnecting the same stream to the file it holds is no conflict.
    reset_streams();
    set_fatal_hook(throw_fatal);
    connect_stream(5, p);
    connect_stream(5, p);
}

TEST(Connect, NamesThatCannotBeOpened) {
    Scratch s;
    fs::create_directory(s.dir / "sub");
    const std::string names[] = {
        "      ",
        "",
        (s.dir / "sub").string(),
        (s.dir / "missing" / "x.txt").string(),
    };
    for (const std::string& name : names) {
        EXPECT_THROW(connect_stream(40, name), Fatal) << "[" << name << "]";
        EXPECT_NE(last_diagnostic().find("cannot connect stream 40"), std::string::npos) << last_diagnostic();
    }
}

TEST(Connect, InputThatDoesNotExistIsCreatedEmpty) {
    Scratch s;
    std::string p = (s.dir / "nothing.txt").string();
    connect_stream(IN, p);
    EXPECT_TRUE(fs::exists(p));
    int32_t v = 0;
    const IoItem item[] = {io(v)};
    EXPECT_THROW(read_free(IN, item, 1), Fatal);
    EXPECT_NE(last_diagnostic().find("end of file at the start of"), std::string::npos);
}

}  // namespace
