// Sequential raw writes and reads of a 256 MB file through file numbers,
// against dd moving the same bytes with the same block size. Each iteration
// times both; the counters give MB/s of each and the time ratio ours / dd.
// Then the text reader's cost per byte.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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
#include "runtime/process/spine.h"

extern char** environ;

namespace {

constexpr uint64_t file_bytes = 256ull << 20;
using Clock = std::chrono::steady_clock;

struct Folder {
    Folder() {
        char pattern[] = "/tmp/morv-files-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path = pattern;
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string path;
};

// Start-up as the process runs it, without the window and the threads.
void start_runtime() {
    static const bool started = process_startup(false) == 0;
    if (!started) std::abort();
}

double run_dd(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "dd", nullptr, nullptr, argv.data(), environ) != 0) std::abort();
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Opens, moves the whole file in blocks and closes, as a program would.
double run_ours(const std::string& file, int32_t mode, uint64_t block, std::vector<char>& buffer) {
    auto start = Clock::now();
    file_open(str_from_cstring(file.c_str()), mode, 0, 0, 1, 0, 0);
    for (uint64_t done = 0; done < file_bytes; done += block) {
        if (mode == file_mode_output)
            file_raw_write(1, -1, buffer.data(), block);
        else
            file_raw_read(1, -1, buffer.data(), block);
    }
    file_close(1);
    if (error_code.load()) std::abort();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void report(benchmark::State& state, double ours, double dd) {
    double mb = static_cast<double>(file_bytes) / 1e6 * static_cast<double>(state.iterations());
    state.counters["ours_MBps"] = mb / ours;
    state.counters["dd_MBps"] = mb / dd;
    state.counters["ratio_to_dd"] = ours / dd;
}

void BM_SequentialWrite(benchmark::State& state) {
    start_runtime();
    Folder folder;
    const uint64_t block = static_cast<uint64_t>(state.range(0));
    std::vector<char> buffer(block, 'w');
    const std::string ours_file = folder.path + "/ours", dd_file = folder.path + "/dd";
    const std::string bs = "bs=" + std::to_string(block), count = "count=" + std::to_string(file_bytes / block);
    double ours = 0, dd = 0;
    for (auto _ : state) {
        double t = run_ours(ours_file, file_mode_output, block, buffer);
        ours += t;
        dd += run_dd({"dd", "if=/dev/zero", "of=" + dd_file, bs, count, "status=none"});
        state.SetIterationTime(t);
    }
    report(state, ours, dd);
}

void BM_SequentialRead(benchmark::State& state) {
    start_runtime();
    Folder folder;
    const uint64_t block = static_cast<uint64_t>(state.range(0));
    std::vector<char> buffer(block, 'r');
    const std::string file = folder.path + "/data";
    const std::string bs = "bs=" + std::to_string(block);
    run_dd({"dd", "if=/dev/zero", "of=" + file, "bs=1048576", "count=256", "status=none"});
    double ours = 0, dd = 0;
    for (auto _ : state) {
        double t = run_ours(file, file_mode_binary, block, buffer);
        ours += t;
        dd += run_dd({"dd", "if=" + file, "of=/dev/null", bs, "status=none"});
        state.SetIterationTime(t);
    }
    report(state, ours, dd);
}

// The text reader's byte at a time through its read-ahead over a 16 MiB
// file opened for input: the cost of one byte, each served only after a look
// at the other programs' locks on it.
void BM_ByteReader(benchmark::State& state) {
    start_runtime();
    Folder folder;
    const std::string file = folder.path + "/text";
    run_dd({"dd", "if=/dev/zero", "of=" + file, "bs=1048576", "count=16", "status=none"});
    const uint64_t bytes = 16ull << 20;
    double seconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        file_open(str_from_cstring(file.c_str()), file_mode_input, 0, 0, 1, 0, 0);
        for (uint64_t i = 0; i < bytes; ++i)
            if (file_read_byte(1) < 0) std::abort();
        file_close(1);
        double t = std::chrono::duration<double>(Clock::now() - start).count();
        seconds += t;
        state.SetIterationTime(t);
    }
    state.counters["ns_per_byte"] = seconds * 1e9 /
        (static_cast<double>(bytes) * static_cast<double>(state.iterations()));
}

BENCHMARK(BM_SequentialWrite)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_SequentialRead)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ByteReader)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
