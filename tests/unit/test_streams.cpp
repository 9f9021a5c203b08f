// Line output, free-form writes and file connections, driven through real
// files in a scratch directory.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

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

TEST(Connect, ReportHeldByAnotherRunIsRefused) {
    Scratch s;
    const std::string former = "another run's line\n";
    std::string p = s.file("Aftershocks", former);
    // Another run: its own open file, holding the lock.
    int other = open(p.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(connect_output(67, p), Fatal);
    EXPECT_EQ(last_diagnostic(), "quake: cannot connect stream 67 to \"" + p + "\": another run is writing the file\n");
    EXPECT_EQ(slurp(p), former);
    close(other);
    // Once the other run is over the file is free; a catalog is never locked.
    reset_streams();
    set_fatal_hook(throw_fatal);
    connect_output(67, p);
    connect_stream(IN, p + "x");
    int again = open(p.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_NE(flock(again, LOCK_EX | LOCK_NB), 0) << "the report is not held";
    int cat = open((p + "x").c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_EQ(flock(cat, LOCK_EX | LOCK_NB), 0) << "the catalog is held";
    close(again);
    close(cat);
}

// A write cut short by a file-size limit: the report is cut back after its
// last whole line and holds nothing of its former content.
TEST(WriteLine, CutShortWriteLeavesWholeLines) {
    Scratch s;
    std::string p = s.file("pickout", std::string(5000, 'f') + "\n");
    connect_output(75, p);
    std::string want;
    for (int k = 0; k < 400; ++k) {
        const std::string line = "line " + std::to_string(k);
        write_line(75, line);
        want += line + "\n";
    }
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 1000;  // bytes
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(close_stream(75), Fatal);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(last_diagnostic().find("write refused on " + p + " (stream 75): File too large"), std::string::npos)
        << last_diagnostic();
    const std::string got = slurp(p);
    ASSERT_FALSE(got.empty());
    EXPECT_LE(got.size(), 1000u);
    EXPECT_EQ(got.back(), '\n');
    EXPECT_EQ(want.compare(0, got.size(), got), 0);
}

// Out of memory names what the run was doing, and a stream only while
// loading.
TEST(Failure, OutOfMemoryNamesThePhase) {
    const struct {
        Phase phase;
        const char* want;
    } cases[] = {
        {Phase::loading, "quake: out of memory while loading, reading standard input (stream 5)\n"},
        {Phase::searching, "quake: out of memory while searching\n"},
        {Phase::reporting, "quake: out of memory while writing a report\n"},
    };
    for (const auto& c : cases) {
        Scratch s;
        set_phase(c.phase);
        EXPECT_THROW(fatal_io_error(Failure::out_of_memory, STDIN_STREAM, stream_file(STDIN_STREAM)), Fatal);
        EXPECT_EQ(last_diagnostic(), c.want);
    }
}

// A stop signal is taken at the next line: the lines before it reach the
// file, the diagnostic names the signal.
TEST(Stop, SignalEndsTheRunAtTheNextLine) {
    Scratch s;
    std::string p = s.file("pairs", "former\n");
    connect_output(65, p);
    write_line(65, "one");
    write_line(65, "two");
    std::raise(SIGTERM);
    EXPECT_THROW(write_line(65, "three"), Fatal);
    EXPECT_EQ(last_diagnostic(),
              "quake: stopped by SIGTERM (termination); every file holds the whole lines written before it\n");
    EXPECT_EQ(slurp(p), "one\ntwo\n");
    // The same in a read statement.
    reset_streams();
    set_fatal_hook(throw_fatal);
    connect_stream(IN, s.file("in.txt", "1\n2\n"));
    int32_t v = 0;
    const IoItem item[] = {io(v)};
    read_free(IN, item, 1);
    std::raise(SIGINT);
    EXPECT_THROW(read_free(IN, item, 1), Fatal);
    EXPECT_EQ(v, 1);
    EXPECT_NE(last_diagnostic().find("stopped by SIGINT"), std::string::npos);
}

}  // namespace
