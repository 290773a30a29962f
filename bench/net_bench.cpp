// Lines between two local connections: a child process prints lines to a
// host of this one as fast as they are taken, and the timed loop reads them
// as the input statement would. The same bytes between a plain socket pair
// (one send per line, block reads that do not wait, each line put together in
// memory) are the measure to compare with: short
// lines give lines per second, 1 MB lines bytes per second.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
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

namespace {

constexpr uint32_t short_line = 12;  // "hello, world"
constexpr uint32_t long_line = 1u << 20;

void start_runtime() {
    static bool started = false;
    if (started) return;
    flags_reset();
    low_memory_clear();
    memory_startup();
    strings_startup();
    net_startup();
    started = true;
}

StrDesc* spec(const std::string& text) { return str_from_bytes(text.data(), static_cast<uint32_t>(text.size())); }

int32_t open_host(uint16_t* port) {
    for (int i = 0; i < 200; ++i) {
        *port = static_cast<uint16_t>(20000 + (getpid() * 131 + i * 7) % 30000);
        if (int32_t h = net_open_host(spec("TCP/IP:" + std::to_string(*port)))) return h;
    }
    std::abort();
}

// The child: a runtime client printing lines of `length` until the host goes.
[[noreturn]] void print_lines(uint16_t port, uint32_t length) {
    int32_t client = net_open_client(spec("TCP/IP:" + std::to_string(port) + ":127.0.0.1"));
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
    while (!(connection = net_accept(host))) {
    }
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
        while (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size())) {
        }
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

void BM_ShortLinesRuntime(benchmark::State& state) { runtime_lines(state, short_line); }
void BM_ShortLinesPlain(benchmark::State& state) { plain_lines(state, short_line); }
void BM_MegabyteLinesRuntime(benchmark::State& state) { runtime_lines(state, long_line); }
void BM_MegabyteLinesPlain(benchmark::State& state) { plain_lines(state, long_line); }

BENCHMARK(BM_ShortLinesRuntime)->UseRealTime();
BENCHMARK(BM_ShortLinesPlain)->UseRealTime();
BENCHMARK(BM_MegabyteLinesRuntime)->UseRealTime();
BENCHMARK(BM_MegabyteLinesPlain)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
