// Decoder children: results come back, and a child that crashes, loops, eats
// memory or floods its output is a refused file with nothing left behind (no
// zombie, no descriptor); a shutdown ends the wait at once; streams talk both
// ways; only regular files are opened; the child never reaches the program's
// own initialisers or main.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/platform/decoder_child.h"

namespace {

// The input file, then the job words, copied to the output.
int echo_decoder(const DecoderJob& job) {
    std::vector<uint8_t> bytes;
    if (job.input_fd >= 0 && !decoder_read_input(job.input_fd, 1 << 20, &bytes)) return 2;
    for (uint32_t i = 0; i < job.word_count; ++i)
        bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&job.words[i]),
                     reinterpret_cast<const uint8_t*>(&job.words[i]) + 4);
    return decoder_write(job.output_fd, bytes.data(), bytes.size()) ? 0 : 3;
}
// Word 0 picks the misdeed: 0 SIGSEGV, 1 spin for ever, 2 a huge allocation
// used, 3 write past any limit, 4 sleep, 5 abort, 6 exit 7.
int misbehaving_decoder(const DecoderJob& job) {
    switch (job.word_count ? job.words[0] : 0) {
    case 0:
        raise(SIGSEGV);
        return 0;
    case 1: {
        volatile uint64_t spins = 0;
        for (;;) spins = spins + 1;
    }
    case 2: {
        const size_t n = size_t{job.words[1]} << 20;
        auto* p = static_cast<volatile uint8_t*>(std::malloc(n));
        if (!p) return 4;
        for (size_t i = 0; i < n; i += 4096) p[i] = 1;
        return 0;
    }
    case 3: {
        std::vector<uint8_t> chunk(1 << 16, 'x');
        for (;;)
            if (!decoder_write(job.output_fd, chunk.data(), chunk.size())) return 5;
    }
    case 4:
        sleep(30);
        return 0;
    case 5:
        std::abort();
    default:
        return 7;
    }
}
// Answers every byte it is sent with that byte plus one, until the parent closes.
int stream_decoder(const DecoderJob& job) {
    uint8_t b = 0;
    while (read(job.control_fd, &b, 1) == 1) {
        ++b;
        if (!decoder_write(job.output_fd, &b, 1)) return 1;
    }
    return 0;
}

// Takes requests of four bytes, each with a file or none, and answers with
// the request, the file's size (-1 for none) and its bytes.
int file_stream_decoder(const DecoderJob& job) {
    uint32_t request = 0;
    int32_t fd = -1;
    while (decoder_receive(job.control_fd, &request, sizeof request, &fd)) {
        std::vector<uint8_t> bytes;
        const bool read = fd >= 0 && decoder_read_input(fd, 1 << 20, &bytes);
        if (fd >= 0) close(fd);
        const int32_t size = read ? int32_t(bytes.size()) : -1;
        if (!decoder_write(job.output_fd, &request, 4) || !decoder_write(job.output_fd, &size, 4) ||
            !decoder_write(job.output_fd, bytes.data(), bytes.size()))
            return 1;
    }
    return 0;
}

DECODER_CHILD_ENTRY(test_echo_decoder, "test-echo", echo_decoder);
DECODER_CHILD_ENTRY(test_file_stream_decoder, "test-file-stream", file_stream_decoder);
DECODER_CHILD_ENTRY(test_misbehaving_decoder, "test-misbehaving", misbehaving_decoder);
DECODER_CHILD_ENTRY(test_stream_decoder, "test-stream", stream_decoder);

// A program's own initialiser: it notes each process it runs in, once the
// test names a log.
const bool noted_start = [] {
    if (const char* log = std::getenv("MORV_DECODER_TEST_LOG"))
        if (FILE* f = std::fopen(log, "a")) std::fprintf(f, "init %d\n", getpid()), std::fclose(f);
    return true;
}();

int open_descriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

std::string temp_file(const std::string& name, const std::string& content) {
    const std::string path = testing::TempDir() + name + std::to_string(getpid());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

DecoderOutcome run(const DecoderEntry& e, std::vector<uint32_t> words, DecoderLimits limits = {},
                   std::vector<uint8_t>* out = nullptr, int32_t input = -1) {
    std::vector<uint8_t> ignored;
    return decoder_child_run(e, input, words.data(), uint32_t(words.size()), limits, out ? out : &ignored);
}

TEST(DecoderChild, ResultsComeBackAndTheProgramItselfNeverRuns) {
    const std::string log = testing::TempDir() + "decoder_log" + std::to_string(getpid());
    std::remove(log.c_str());
    setenv("MORV_DECODER_TEST_LOG", log.c_str(), 1);
    const std::string path = temp_file("decoder_in", "picture bytes");
    const int32_t fd = decoder_open_regular(path.c_str());
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> out;
    EXPECT_EQ(run(test_echo_decoder, {0x11223344, 0xFFFFFFFF}, {}, &out, fd), DecoderOutcome::done);
    const std::string expected = std::string("picture bytes") + "\x44\x33\x22\x11\xFF\xFF\xFF\xFF";
    EXPECT_EQ(std::string(out.begin(), out.end()), expected);
    EXPECT_EQ(run(test_echo_decoder, {}, {}, &out), DecoderOutcome::done);
    EXPECT_TRUE(out.empty());
    unsetenv("MORV_DECODER_TEST_LOG");
    close(fd);
    std::ifstream noted(log);
    EXPECT_FALSE(noted.good()) << "a decoder child ran the program's initialisers";
    std::remove(path.c_str());
}

// No child of ours has ended without being reaped (the decoder server may live on).
bool no_zombies() { return waitpid(-1, nullptr, WNOHANG) <= 0; }

TEST(DecoderChild, EveryMisdeedIsARefusalAndLeavesNothingBehind) {
    EXPECT_EQ(run(test_echo_decoder, {}), DecoderOutcome::done);  // the server started
    const int descriptors = open_descriptors();
    DecoderLimits limits;
    limits.wall_ms = 20000;  // a sanitizer's start on a busy machine is slow
    limits.output_bytes = 1 << 20;
    limits.memory_mb = 512;
    DecoderLimits quick = limits;
    quick.wall_ms = 400;
    const struct {
        std::vector<uint32_t> words;
        bool hangs;
        DecoderOutcome expected;  // done here means "anything but done"
    } cases[] = {
        {{0}, false, DecoderOutcome::done},  // SIGSEGV (a sanitizer reports it and exits)
        {{1}, true, DecoderOutcome::timed_out},  // loops: killed at the wall clock
        {{2, 4096}, false, DecoderOutcome::done},  // 4 GiB: refused by the memory limit
        {{3}, false, DecoderOutcome::refused},  // output past its bound: the write fails
        {{4}, true, DecoderOutcome::timed_out},  // sleeps
        {{5}, false, DecoderOutcome::crashed},  // abort
        {{6}, false, DecoderOutcome::refused},  // a status of its own
    };
    for (const auto& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        std::vector<uint8_t> out{1, 2, 3};
        const DecoderOutcome got = run(test_misbehaving_decoder, c.words, c.hangs ? quick : limits, &out);
        if (c.expected == DecoderOutcome::done) {
            EXPECT_NE(got, DecoderOutcome::done) << c.words[0];
        } else {
            EXPECT_EQ(got, c.expected) << c.words[0];
        }
        if (c.hangs) {
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << c.words[0];
        }
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3})) << "output given for a failed run";
    }
    // Processor time: a loop with a long wall clock ends at its CPU limit.
    DecoderLimits cpu;
    cpu.cpu_seconds = 1;
    cpu.wall_ms = 10000;
    EXPECT_EQ(run(test_misbehaving_decoder, {1}, cpu), DecoderOutcome::crashed);
    // Every child reaped, every descriptor closed (a run that timed out takes
    // the server with it: the next run starts another).
    EXPECT_EQ(run(test_echo_decoder, {}), DecoderOutcome::done);
    EXPECT_TRUE(no_zombies());
    EXPECT_EQ(open_descriptors(), descriptors);
}

TEST(DecoderChild, TheShutdownEndsTheWaitAtOnce) {
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop_threads = 1;
    });
    const auto started = std::chrono::steady_clock::now();
    DecoderLimits slow;
    slow.wall_ms = 20000;
    EXPECT_EQ(run(test_misbehaving_decoder, {4}, slow), DecoderOutcome::stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    stopper.join();
    EXPECT_EQ(run(test_echo_decoder, {}), DecoderOutcome::stopped);  // nothing new starts
    DecoderStream s;
    EXPECT_FALSE(decoder_stream_start(&s, test_stream_decoder, -1, nullptr, 0, {}));
    stop_threads = 0;
}

// Two threads decoding at once (a program thread and another) each get their own results.
TEST(DecoderChild, RunsFromSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (uint32_t t = 0; t < 3; ++t)
        threads.emplace_back([t, &good] {
            for (uint32_t i = 0; i < 5; ++i) {
                std::vector<uint8_t> out;
                const uint32_t word = t << 16 | i;
                if (run(test_echo_decoder, {word}, {}, &out) == DecoderOutcome::done && out.size() == 4 &&
                    std::memcmp(out.data(), &word, 4) == 0)
                    ++good;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(good.load(), 15);
}

TEST(DecoderChild, StreamsTalkBothWaysAndStopCleanly) {
    EXPECT_EQ(run(test_echo_decoder, {}), DecoderOutcome::done);
    const int descriptors = open_descriptors();
    DecoderStream s;
    ASSERT_TRUE(decoder_stream_start(&s, test_stream_decoder, -1, nullptr, 0, {}));
    for (uint8_t b : {0, 41, 254}) {
        ASSERT_TRUE(decoder_stream_write(&s, &b, 1, 1000));
        uint8_t answer = 0;
        ASSERT_EQ(decoder_stream_read(&s, &answer, 1, 2000), 1);
        EXPECT_EQ(answer, uint8_t(b + 1));
    }
    uint8_t none = 0;
    EXPECT_EQ(decoder_stream_read(&s, &none, 1, 50), -1);  // nothing asked, nothing comes
    decoder_stream_stop(&s);
    EXPECT_EQ(s.pid, 0);
    // A stream child that died: writes fail without a signal, reads see its end.
    ASSERT_TRUE(decoder_stream_start(&s, test_misbehaving_decoder, -1, std::vector<uint32_t>{0}.data(), 1, {}));
    EXPECT_EQ(decoder_stream_read(&s, &none, 1, 5000), 0);
    std::vector<uint8_t> lots(1 << 20);
    EXPECT_FALSE(decoder_stream_write(&s, lots.data(), lots.size(), 1000));
    decoder_stream_stop(&s);
    EXPECT_TRUE(no_zombies());
    EXPECT_EQ(open_descriptors(), descriptors);
}

TEST(DecoderChild, StreamChildrenTakeFilesHandedToThem) {
    const int descriptors = open_descriptors();
    const std::string a = temp_file("decoder_handed_a", "first file"), b = temp_file("decoder_handed_b", "2nd");
    DecoderStream s;
    ASSERT_TRUE(decoder_stream_start(&s, test_file_stream_decoder, -1, nullptr, 0, {}));
    auto exactly = [&s](void* to, size_t n) {
        for (size_t at = 0; at < n;) {
            const int64_t got = decoder_stream_read(&s, static_cast<char*>(to) + at, n - at, 2000);
            if (got <= 0) return false;
            at += size_t(got);
        }
        return true;
    };
    auto answer = [&] {
        int32_t head[2] = {};
        if (!exactly(head, 8)) return std::string("no answer");
        std::string bytes(head[1] > 0 ? head[1] : 0, '\0');
        if (!exactly(bytes.data(), bytes.size())) return std::string("cut short");
        return std::to_string(head[0]) + ":" + std::to_string(head[1]) + ":" + bytes;
    };
    for (const auto& [request, path] : {std::pair{7u, a}, std::pair{8u, b}}) {
        const int32_t fd = decoder_open_regular(path.c_str());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(decoder_stream_send_file(&s, fd, &request, sizeof request, 1000));
        close(fd);  // the child has its own copy
    }
    EXPECT_EQ(answer(), "7:10:first file");
    EXPECT_EQ(answer(), "8:3:2nd");
    const uint32_t bare = 9;  // a request without a file
    ASSERT_TRUE(decoder_stream_write(&s, &bare, sizeof bare, 1000));
    EXPECT_EQ(answer(), "9:-1:");
    decoder_stream_stop(&s);
    std::remove(a.c_str());
    std::remove(b.c_str());
    EXPECT_EQ(open_descriptors(), descriptors);
}

TEST(DecoderChild, OnlyRegularFilesAreOpened) {
    const std::string fifo = testing::TempDir() + "decoder_fifo" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, std::string("/dev/zero"), testing::TempDir(), std::string("/nonexistent")})
        EXPECT_EQ(decoder_open_regular(path.c_str()), -1) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    std::remove(fifo.c_str());
    const std::string file = temp_file("decoder_regular", "x");
    const int32_t fd = decoder_open_regular(file.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    close(fd);
    std::remove(file.c_str());
}

}  // namespace
