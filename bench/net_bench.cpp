// Lines between two local connections: a child process prints lines to a
// host of this one as fast as they are taken, and the timed loop reads them
// as the input statement would. The same bytes between a plain socket pair
// (one send per line, block reads that do not wait, each line put together in
// memory) are the measure to compare with: short
// lines give lines per second, 1 MB lines bytes per second. A peer that floods
// one endless line shows what a connection may cost in memory.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/system/files.h"
#include "runtime/system/net.h"
#include "runtime/system/net_internal.h"
#include "runtime/system/net_frames.h"
#include "runtime/process/spine.h"

namespace {

constexpr uint32_t short_line = 12;  // "hello, world"
constexpr uint32_t long_line = 1u << 20;

// Start-up as the process runs it, without the window and the threads.
void start_runtime() {
    static const bool started = process_startup(false) == 0;
    if (!started) std::abort();
}

StrDesc* address(const std::string& text) { return str_from_bytes(text.data(), static_cast<uint32_t>(text.size())); }

int32_t open_host(uint16_t* port) {
    for (int i = 0; i < 200; ++i) {
        *port = static_cast<uint16_t>(20000 + (getpid() * 131 + i * 7) % 30000);
        if (int32_t h = net_open_host(address("TCP/IP:" + std::to_string(*port)))) return h;
    }
    std::abort();
}

// The child: a runtime client printing lines of `length` until the host goes.
[[noreturn]] void print_lines(uint16_t port, uint32_t length) {
    int32_t client = net_open_client(address("TCP/IP:" + std::to_string(port) + ":127.0.0.1"));
    StrDesc* line = str_new(length, 0);
    std::fill(line->data, line->data + length, 'x');
    for (uint32_t n = 0; client; ++n) {
        net_print(client, line, 0, 0, 1);
        if (n % 1024 == 0 && !net_connected(client)) break;
    }
    _exit(0);
}

// One input statement's line, waiting for it.
uint32_t read_line(int32_t handle) {
    for (;;) {
        StrDesc* line = net_read_line(handle);
        net_input_end(handle, line != nullptr);
        if (line) {
            uint32_t length = line->length;
            str_release_temps(0, 0);
            return length;
        }
        if (!net_connected(handle)) std::abort();
    }
}

void runtime_lines(benchmark::State& state, uint32_t length) {
    start_runtime();
    uint16_t port = 0;
    int32_t host = open_host(&port);
    pid_t child = fork();
    if (child == 0) print_lines(port, length);
    int32_t connection = 0;
    while (!(connection = net_accept(host))) {}
    for (auto _ : state) benchmark::DoNotOptimize(read_line(connection));
    file_close(connection);
    file_close(host);
    waitpid(child, nullptr, 0);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t{length});
}

// The plain pair: the child sends each framed line with one send, the timed
// loop takes a line's bytes with block reads.
void plain_lines(benchmark::State& state, uint32_t length) {
    // A loopback TCP pair like the runtime's, made through a listener.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        std::abort();
    std::vector<uint8_t> frame(net_frame_header_limit + length, 'x');
    frame.resize(net_frame_header(length, false, frame.data()) + length);
    pid_t child = fork();
    if (child == 0) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        // Each line goes out at once, as SDL_net's sockets send.
        int no_delay = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, sizeof no_delay);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(1);
        while (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size())) {}
        _exit(0);
    }
    int fd = accept(listener, nullptr, nullptr);
    // Block reads without waiting, as the runtime's, and each line's text
    // put together in memory, as a line to read has to be.
    std::vector<uint8_t> block(64 * 1024), line(length);
    const size_t header = frame.size() - length;
    size_t at = 0, end = 0, position = 0;  // the block's unread bytes; the place in the frame
    for (auto _ : state) {
        do {
            while (at == end) {
                ssize_t got = recv(fd, block.data(), block.size(), MSG_DONTWAIT);
                if (got < 0 && errno == EAGAIN) continue;
                if (got <= 0) std::abort();
                at = 0;
                end = static_cast<size_t>(got);
            }
            size_t take = std::min(end - at, frame.size() - position);
            size_t skip = position < header ? std::min(take, header - position) : 0;
            if (take > skip) std::memcpy(line.data() + position + skip - header, block.data() + at + skip, take - skip);
            at += take;
            position = (position + take) % frame.size();
        } while (position != 0);
        benchmark::DoNotOptimize(line.data());
    }
    close(fd);
    close(listener);
    waitpid(child, nullptr, 0);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t{length});
}

// A resident-set figure of /proc/self/status, in bytes.
double status_bytes(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    double kib = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0) kib = std::atof(line + std::strlen(field));
    if (f) std::fclose(f);
    return kib * 1024;
}

// A peer that sends one line without end, in 64 KiB frames, as fast as it
// is taken, until the connection ends. Each iteration floods one connection
// until the runtime gives it up; the counters give the most its buffer held
// and how far the process's peak resident size rose above where it started.
void BM_FloodedConnection(benchmark::State& state) {
    start_runtime();
    uint16_t port = 0;
    int32_t host = open_host(&port);
    double most_buffer = 0, most_growth = 0;
    for (auto _ : state) {
        pid_t child = fork();
        if (child == 0) {
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(1);
            std::vector<uint8_t> frame(5 + 65536, 'x');
            net_frame_header(65536, true, frame.data());
            while (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) > 0) {}
            _exit(0);
        }
        std::FILE* clear = std::fopen("/proc/self/clear_refs", "w");  // the peak starts again from here
        if (clear) {
            std::fputs("5", clear);
            std::fclose(clear);
        }
        const double start = status_bytes("VmRSS:");
        int32_t connection = 0;
        while (!(connection = net_accept(host))) {}
        while (net_connected(connection))
            most_buffer = std::max(most_buffer, static_cast<double>(net_buffer_capacity(connection)));
        most_growth = std::max(most_growth, status_bytes("VmHWM:") - start);
        file_close(connection);
        waitpid(child, nullptr, 0);
    }
    file_close(host);
    state.counters["most_buffered_MiB"] = most_buffer / (1 << 20);
    state.counters["peak_rss_growth_MiB"] = most_growth / (1 << 20);
}

void BM_ShortLinesRuntime(benchmark::State& state) { runtime_lines(state, short_line); }
void BM_ShortLinesPlain(benchmark::State& state) { plain_lines(state, short_line); }
void BM_MegabyteLinesRuntime(benchmark::State& state) { runtime_lines(state, long_line); }
void BM_MegabyteLinesPlain(benchmark::State& state) { plain_lines(state, long_line); }

BENCHMARK(BM_ShortLinesRuntime)->UseRealTime();
BENCHMARK(BM_ShortLinesPlain)->UseRealTime();
BENCHMARK(BM_MegabyteLinesRuntime)->UseRealTime();
BENCHMARK(BM_MegabyteLinesPlain)->UseRealTime();
BENCHMARK(BM_FloodedConnection)->UseRealTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
