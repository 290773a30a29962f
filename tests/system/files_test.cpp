// File numbers on real files in a temporary folder: opening rules and their
// errors, modes, the end mark, records, raw transfers, the text reader's
// steps, locks and share clauses between numbers and processes, big files.
#include "system/files_fixture.h"
#include <sys/stat.h>
#include <sys/wait.h>
#include <cstring>
#include <vector>
#include "runtime/platform/file_handle.h"
#include "runtime/system/files_internal.h"
#include "system/unprivileged.h"

namespace {

using Files = FileNumbers;

TEST_F(Files, FailedOpensRaiseTheirErrorAndLeaveTheNumberFree) {
    make("there", "x");
    std::filesystem::create_directory(path("folder"));
    struct Case {
        std::string name;
        int32_t mode, number, access, lock;
        int64_t length;
        int32_t error;
    };
    const Case cases[] = {
        {path("missing"), file_mode_input, 1, 0, 0, 0, 53},
        {path("no/such/folder"), file_mode_output, 1, 0, 0, 0, 76},
        {path("folder"), file_mode_binary, 1, 0, 0, 0, 70},
        {path("there"), file_mode_input, 0, 0, 0, 0, 52},
        {path("there"), file_mode_input, -3, 0, 0, 0, 52},
        {path("there"), file_mode_input, file_number_limit + 1, 0, 0, 0, 52},
        {path("there"), 6, 1, 0, 0, 0, 5},
        {path("there"), file_mode_input, 1, 4, 0, 0, 5},
        {path("there"), file_mode_input, 1, 0, 5, 0, 5},
        {path("there"), file_mode_random, 1, 0, 0, -1, 5},
        {path("there") + std::string(1, '\0') + "x", file_mode_input, 1, 0, 0, 0, 64},
        {"COM0:", file_mode_random, 1, 0, 0, 0, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " #" + std::to_string(c.number));
        EXPECT_EQ(open(c.name, c.mode, c.number, c.access, c.lock, c.length), c.error);
        if (c.number > 0) {
            EXPECT_EQ(file_number_check(c.number), 0);
        }
    }
    EXPECT_EQ(open_in("there", file_mode_input, 1), 0);
    EXPECT_EQ(open_in("there", file_mode_input, 1), 55);
    EXPECT_EQ(file_free_number(), 2);
    // Letters of the legacy open: any case, the first one counts.
    for (const char* letter : {"", "X", "5"}) {
        file_open_legacy(str_from_cstring(letter), 2, str_from_cstring(path("there").c_str()), 0, 0);
        EXPECT_EQ(take_error(), 54) << letter;
    }
    file_open_legacy(str_from_cstring("bin"), 2, str_from_cstring(path("there").c_str()), 0, 0);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(file_number_check(2), 1);
}

TEST_F(Files, OutputTruncatesAppendAppendsInputReads) {
    make("f", "old contents");
    ASSERT_EQ(open_in("f", file_mode_output, 1), 0);
    EXPECT_EQ(write(1, "ab"), 0);
    // What was written is in the file before the close: nothing waits in us.
    EXPECT_EQ(contents("f"), "ab");
    file_close(1);
    ASSERT_EQ(open_in("f", file_mode_append, 1), 0);
    EXPECT_EQ(write(1, "cd"), 0);
    file_close(1);
    EXPECT_EQ(contents("f"), "abcd");
    ASSERT_EQ(open_in("f", file_mode_input, 1), 0);
    EXPECT_EQ(write(1, "x"), 75);
    EXPECT_EQ(read(1, 4), "abcd");
    EXPECT_EQ(file_eof(1), -1);
    ASSERT_EQ(open_in("g", file_mode_output, 2), 0);
    read(2, 1);
    EXPECT_EQ(take_error(), 75);
    file_close(7);  // not open: nothing happens
    EXPECT_EQ(take_error(), 0);
    // A name as the directory listing shows it opens the file it stands for.
    make("verylongfilename.html", "<p>");
    ASSERT_EQ(open_in("VERYLO~1.HTM", file_mode_input, 3), 0);
    EXPECT_EQ(read(3, 3), "<p>");
}

TEST_F(Files, EndMarkStopsTheReaderAndIsTheEnd) {
    make("text",
         std::string("AB\x1a"
                     "after"));
    make("marked",
         std::string("\x1a"
                     "hidden"));
    ASSERT_EQ(open_in("text", file_mode_input, 1), 0);
    EXPECT_EQ(file_read_byte(1), 'A');
    EXPECT_EQ(file_eof(1), 0);
    EXPECT_EQ(file_read_byte(1), 'B');
    EXPECT_EQ(file_read_byte(1), -1);
    EXPECT_EQ(file_read_byte(1), -1);
    EXPECT_EQ(file_eof(1), -1);
    EXPECT_EQ(file_seek_position(1), 3);  // still at the mark
    ASSERT_EQ(open_in("marked", file_mode_input, 2), 0);
    EXPECT_EQ(file_eof(2), -1);
    EXPECT_EQ(file_location(2), 1);
    EXPECT_EQ(file_seek_position(2), 1);
}

TEST_F(Files, RecordsDefaultTo128BytesAndSeekByRecord) {
    ASSERT_EQ(open_in("r", file_mode_random, 1), 0);
    uint64_t length = 0;
    ASSERT_NE(file_record_buffer(1, &length), nullptr);
    EXPECT_EQ(length, 128u);
    file_seek(1, 3);
    EXPECT_EQ(write(1, "R3"), 0);
    EXPECT_EQ(file_length(1), 258);
    EXPECT_EQ(contents("r").substr(256), "R3");
    EXPECT_EQ(file_seek_position(1), 3);
    EXPECT_EQ(file_location(1), 3);
    file_seek(1, 0);
    EXPECT_EQ(take_error(), 63);
    ASSERT_EQ(open_in("r10", file_mode_random, 2, 0, 0, 10), 0);
    file_seek(2, 3);
    EXPECT_EQ(write(2, "x"), 0);
    EXPECT_EQ(file_length(2), 21);
    // Binary and text positions: bytes from 1 and 128-byte blocks.
    ASSERT_EQ(open_in("b", file_mode_binary, 3), 0);
    file_seek(3, 300);
    EXPECT_EQ(file_seek_position(3), 300);
    EXPECT_EQ(file_location(3), 299);
    ASSERT_EQ(open_in("o", file_mode_output, 4), 0);
    EXPECT_EQ(write(4, std::string(129, 'x')), 0);
    EXPECT_EQ(file_location(4), 2);
}

TEST_F(Files, ShortReadZeroFillsAndSetsTheEnd) {
    make("b", "12345");
    ASSERT_EQ(open_in("b", file_mode_binary, 1), 0);
    char buffer[8];
    std::memset(buffer, '?', sizeof buffer);
    EXPECT_EQ(file_raw_read(1, 3, buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("45\0\0\0\0\0\0", 8));
    EXPECT_EQ(file_eof(1), -1);
    EXPECT_EQ(read(1, 2, 0), "12");
    EXPECT_EQ(file_eof(1), 0);
    EXPECT_EQ(file_seek_position(1), 3);
    read(1, 1, -2);
    EXPECT_EQ(take_error(), 5);
    read(9, 1);
    EXPECT_EQ(take_error(), 52);
    EXPECT_EQ(file_eof(-1), 0);  // no network handle is open
    EXPECT_EQ(take_error(), 52);
}

TEST_F(Files, LineEndsAndFieldEnds) {
    struct Case {
        std::string text;
        int32_t result;
        int32_t next;
    };
    const Case cases[] = {
        {"1,2", 0, '2'},     {"1  ,2", 0, '2'},   {"1\r\nX", 1, 'X'}, {"1\n\rX", 1, 'X'}, {"1\rX", 1, 'X'},
        {"1\n\nX", 1, '\n'}, {"1\r\rX", 1, '\r'}, {"1 X", 2, 'X'},    {"1", -1, -1},      {"1\r", 1, -1},
    };
    int32_t number = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        std::string name = "t" + std::to_string(number);
        make(name, c.text);
        ASSERT_EQ(open_in(name, file_mode_input, number), 0);
        EXPECT_EQ(file_read_byte(number), '1');
        EXPECT_EQ(file_skip_field_end(number), c.result);
        EXPECT_EQ(file_read_byte(number), c.next);
        ++number;
    }
}

TEST_F(Files, NamesOpenAsTheFilesTheyName) {
    for (const std::string name :
         {"with space.txt", "quote\"d 'name'", "caf\xc3\xa9", "\xff\xfe raw", "comments.txt", "COMMAND"}) {
        ASSERT_EQ(open_in(name, file_mode_output, 1), 0) << name;
        EXPECT_EQ(write(1, name), 0);
        file_close(1);
        EXPECT_EQ(contents(name), name);
    }
}

TEST_F(Files, FreeNumberIsTheLowestFree) {
    EXPECT_EQ(file_free_number(), 1);
    for (int32_t n : {1, 2, 3}) ASSERT_EQ(open_in("f" + std::to_string(n), file_mode_output, n), 0);
    EXPECT_EQ(file_free_number(), 4);
    file_close(2);
    EXPECT_EQ(file_free_number(), 2);
    ASSERT_EQ(open_in("far", file_mode_output, 1000), 0);
    file_close_all();
    for (int32_t n : {1, 3, 1000}) EXPECT_EQ(file_number_check(n), 0);
    EXPECT_EQ(file_number_check(0), -2);
}

TEST_F(Files, RestartResetClosesEveryNumber) {
    ASSERT_EQ(open_in("f", file_mode_output, 1), 0);
    EXPECT_EQ(write(1, "kept"), 0);
    reset_program_state();
    EXPECT_EQ(file_number_check(1), 0);
    EXPECT_EQ(contents("f"), "kept");
}

// True when another descriptor of the file could not lock the byte.
bool byte_locked(const std::string& file, uint64_t byte) {
    int fd = ::open(file.c_str(), O_RDWR);
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = static_cast<off_t>(byte);
    probe.l_len = 1;
    fcntl(fd, F_OFD_GETLK, &probe);
    close(fd);
    return probe.l_type != F_UNLCK;
}

TEST_F(Files, LockRangesFollowRecordsBytesOrTheWholeFile) {
    struct Case {
        int32_t mode;
        int64_t length, first, last;
        int32_t given;
        uint64_t from, to;
    };
    const Case cases[] = {
        {file_mode_random, 10, 2, 3, 3, 10, 30},
        {file_mode_random, 10, 2, 0, 1, 10, 20},
        {file_mode_random, 10, 0, 3, 2, 0, 30},
        {file_mode_binary, 0, 5, 0, 1, 4, 5},
        {file_mode_binary, 0, 5, 8, 3, 4, 8},
        {file_mode_output, 0, 5, 6, 3, 0, handle_lock_limit},
        {file_mode_random, 128, 0, 0, 0, 0, handle_lock_limit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " bounds " << c.first << "-" << c.last);
        ASSERT_EQ(open_in("l", c.mode, 1, 0, 0, c.length), 0);
        file_lock(1, c.first, c.last, c.given);
        ASSERT_EQ(take_error(), 0);
        EXPECT_TRUE(byte_locked(path("l"), c.from));
        EXPECT_TRUE(byte_locked(path("l"), c.to - 1));
        if (c.from > 0) {
            EXPECT_FALSE(byte_locked(path("l"), c.from - 1));
        }
        if (c.to < handle_lock_limit) {
            EXPECT_FALSE(byte_locked(path("l"), c.to));
        }
        file_close(1);
    }
    ASSERT_EQ(open_in("l", file_mode_random, 1, 0, 0, 10), 0);
    for (auto [first, last, given] : {std::tuple{0, 2, 3}, {2, 0, 3}, {3, 2, 3}}) {
        file_lock(1, first, last, given);
        EXPECT_EQ(take_error(), 5) << first << "-" << last;
    }
}

TEST_F(Files, LockThroughOneNumberHoldsOffAnotherAndAChildProcess) {
    make("shared", std::string(40, 'x'));
    ASSERT_EQ(open_in("shared", file_mode_random, 1, 0, 0, 10), 0);
    ASSERT_EQ(open_in("shared", file_mode_random, 2, 0, 0, 10), 0);
    file_lock(1, 2, 0, 1);
    ASSERT_EQ(take_error(), 0);
    file_lock(2, 2, 0, 1);
    EXPECT_EQ(take_error(), 70);
    EXPECT_EQ(write(2, "y", 15), 70);
    EXPECT_EQ(read(2, 10, 0), std::string(10, 'x'));  // record 1 is free
    read(2, 10, 10);
    EXPECT_EQ(take_error(), 70);
    file_lock(1, 2, 3, 3);  // overlaps its own range
    EXPECT_EQ(take_error(), 70);
    file_unlock(1, 1, 2, 3);  // not the range that was locked
    EXPECT_EQ(take_error(), 70);

    int to_child[2], to_parent[2];
    ASSERT_EQ(pipe(to_child), 0);
    ASSERT_EQ(pipe(to_parent), 0);
    pid_t child = fork();
    if (child == 0) {
        // A new open of its own: the parent's descriptors are shared with us.
        char step = 0;
        int failures = open_in("shared", file_mode_random, 3, 0, 0, 10) ? 1 : 0;
        file_lock(3, 2, 0, 1);
        if (take_error() != 70) failures |= 2;
        step = 1;
        (void)!::write(to_parent[1], &step, 1);
        (void)!::read(to_child[0], &step, 1);
        file_lock(3, 2, 0, 1);
        if (take_error() != 0) failures |= 4;
        _exit(failures);
    }
    char step = 0;
    ASSERT_EQ(::read(to_parent[0], &step, 1), 1);
    file_unlock(1, 2, 0, 1);
    EXPECT_EQ(take_error(), 0);
    ASSERT_EQ(::write(to_child[1], &step, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The child's lock ended with it; our other number locks the record now.
    file_lock(2, 2, 0, 1);
    EXPECT_EQ(take_error(), 0);
}

// Another program's lock taken after the text reader read ahead keeps the
// reader out of the bytes it holds in memory, as the raw read is kept out,
// once the lock is older than the reader's look interval; once the lock is
// gone the reader goes on where it was.
TEST_F(Files, TheByteReaderMeetsALockTakenAfterItReadAhead) {
    make("text", "abcdefghijklmnopqrstuvwxyz");
    ASSERT_EQ(open_in("text", file_mode_input, 2), 0);
    EXPECT_EQ(file_read_byte(2), 'a');
    EXPECT_EQ(file_read_byte(2), 'b');
    int locked[2], done[2];
    ASSERT_EQ(pipe(locked), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    if (child == 0) {
        char step = 0;
        if (open_in("text", file_mode_binary, 1) || (file_lock(1, 4, 26, 3), take_error())) _exit(1);
        (void)!::write(locked[1], &step, 1);
        (void)!::read(done[0], &step, 1);
        _exit(0);
    }
    char step = 0;
    ASSERT_EQ(::read(locked[0], &step, 1), 1);
    timespec tick{};
    clock_getres(CLOCK_MONOTONIC_COARSE, &tick);
    usleep(static_cast<useconds_t>((files_detail::read_look_ns + tick.tv_nsec) / 1000 + 1000));
    EXPECT_EQ(file_read_byte(2), 'c');
    EXPECT_EQ(file_read_byte(2), -2);
    EXPECT_EQ(take_error(), 70);
    EXPECT_EQ(read(2, 1), "");
    EXPECT_EQ(take_error(), 70);
    ASSERT_EQ(::write(done[1], &step, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(file_read_byte(2), 'd');
    for (int fd : {locked[0], locked[1], done[0], done[1]}) close(fd);
}

TEST_F(Files, ShareClausesRefuseConflictingOpens) {
    make("s", "contents");
    struct Case {
        int32_t lock;
        int32_t mode, access;
        int32_t error;
    };
    const Case cases[] = {
        {2, file_mode_input, 0, 70}, {2, file_mode_append, 0, 70}, {3, file_mode_input, 0, 70},
        {3, file_mode_append, 0, 0}, {4, file_mode_input, 0, 0},   {4, file_mode_output, 0, 70},
        {1, file_mode_output, 0, 0}, {4, file_mode_binary, 1, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lock " << c.lock << " then mode " << c.mode);
        ASSERT_EQ(open_in("s", file_mode_input, 1, 0, c.lock), 0);
        EXPECT_EQ(open_in("s", c.mode, 2, c.access), c.error);
        EXPECT_EQ(file_number_check(2), c.error ? 0 : 1);
        file_close_all();
        if (c.mode != file_mode_output) {
            EXPECT_EQ(contents("s"), "contents");
        }
        make("s", "contents");
    }
    // Without an access clause a binary file settles for reading alone.
    ASSERT_EQ(open_in("s", file_mode_input, 1, 0, 4), 0);
    ASSERT_EQ(open_in("s", file_mode_binary, 2), 0);
    EXPECT_EQ(read(2, 8), "contents");
    EXPECT_EQ(write(2, "x"), 75);
}

// As a user the permissions bind: a file it may only write is opened
// write-only, one it may only read read-only, and either still takes its share
// marks and locks as a file opened for both would.
TEST_F(Files, FilesOnlyWritableOrOnlyReadableShareAndLockAsAnyOther) {
    ASSERT_TRUE(Unprivileged::user().give(folder));
    std::string failures = run_unprivileged([&] {
        std::string f;
        make("w", "kept");
        chmod(path("w").c_str(), 0200);
        // A opens here; B in another process, then under another number here.
        struct Case {
            int32_t a_mode, a_access, a_lock, b_mode, b_access, b_lock, error;
        };
        const Case cases[] = {
            {file_mode_binary, 0, 2, file_mode_output, 0, 0, 70},  // B would have emptied it
            {file_mode_binary, 0, 2, file_mode_append, 0, 0, 70},
            {file_mode_binary, 0, 2, file_mode_binary, 0, 0, 70},  // through the retry with less access
            {file_mode_random, 3, 4, file_mode_random, 3, 0, 70},
            {file_mode_binary, 0, 0, file_mode_binary, 3, 4, 70},  // B may not keep writers out of A
            {file_mode_append, 0, 0, file_mode_append, 0, 1, 0},
            {file_mode_append, 0, 0, file_mode_append, 0, 0, 0},
        };
        for (const Case& c : cases) {
            std::string name = "case " + std::to_string(&c - cases) + ": ";
            if (open_in("w", c.a_mode, 1, c.a_access, c.a_lock)) f += name + "A refused; ";
            int other = in_other_process([&] { return open_in("w", c.b_mode, 2, c.b_access, c.b_lock); });
            int here = open_in("w", c.b_mode, 2, c.b_access, c.b_lock);
            if (other != c.error || here != c.error)
                f += name + "B gave " + std::to_string(other) + " and " + std::to_string(here) + "; ";
            file_close_all();
        }
        // A lock through a number that may only read keeps other readers out.
        make("r", "0123456789");
        chmod(path("r").c_str(), 0444);
        if (open_in("r", file_mode_binary, 1) || open_in("r", file_mode_input, 2)) f += "r refused; ";
        file_lock(1, 4, 6, 3);
        if (take_error()) f += "lock refused; ";
        if (read(2, 3, 0) != "012" || read(2, 3, 3) != "") f += "bytes 4-6 readable; ";
        if (take_error() != 70) f += "no 70 for bytes 4-6; ";
        int elsewhere = in_other_process(
            [&] { return open_in("r", file_mode_input, 3) ? 1 : (read(3, 1, 4), take_error()); });
        if (elsewhere != 70) f += "another process read byte 5 (" + std::to_string(elsewhere) + "); ";
        // The byte reader stops before the range.
        file_seek(2, 1);
        int32_t b1 = file_read_byte(2), b2 = file_read_byte(2), b3 = file_read_byte(2), b4 = file_read_byte(2);
        if (b1 != '0' || b2 != '1' || b3 != '2' || b4 != -2 || take_error() != 70) f += "byte reader went on; ";
        file_lock(2, 0, 0, 0);
        if (take_error() != 70) f += "a second lock over it was granted; ";
        file_unlock(1, 4, 6, 3);
        if (take_error() || read(2, 3, 3) != "345") f += "unlock left it locked; ";
        return f;
    });
    EXPECT_EQ(failures, "");
    EXPECT_EQ(contents("w"), "kept");
}

TEST_F(Files, FilesPastFourGibibytes) {
    constexpr uint64_t size = (5ull << 30) + 6;
    {
        int fd = ::open(path("big").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size - 6)), 0);
        close(fd);
    }
    ASSERT_EQ(open_in("big", file_mode_binary, 1), 0);
    EXPECT_EQ(write(1, "at end", static_cast<int64_t>(size - 6)), 0);
    EXPECT_EQ(file_length(1), static_cast<int64_t>(size));
    EXPECT_EQ(read(1, 10, static_cast<int64_t>(size - 6)), "at end");
    EXPECT_EQ(file_eof(1), -1);
    file_seek(1, static_cast<int64_t>(size) - 4);
    EXPECT_EQ(read(1, 5), "t end");
    EXPECT_EQ(file_seek_position(1), static_cast<int64_t>(size) + 1);
    file_lock(1, static_cast<int64_t>(size) - 1, 0, 1);
    EXPECT_EQ(take_error(), 0);
    EXPECT_TRUE(byte_locked(path("big"), size - 2));
}

}  // namespace
