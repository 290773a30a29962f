// How soon a waiting program gets its key: from the event thread storing a key
// press to the program thread's key read returning it, while the program waits
// in a read loop as a game's menu does.
#include <benchmark/benchmark.h>
#include <atomic>
#include <chrono>
#include <thread>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/input/keyboard_internal.h"

namespace {
using Clock = std::chrono::steady_clock;

void BM_KeyStoredToRead(benchmark::State& state) {
    low_memory_clear();
    flags_reset();
    strings_startup();
    keyboard_startup_with(KeyboardSystemState{});
    std::atomic<bool> done{false};
    std::atomic<int64_t> read_at{0};
    // The program thread: reads in a loop, as the game waits for a key.
    std::thread program([&] {
        while (!done.load()) {
            uint32_t mark = str_temp_count();
            if (!str_view(key_buffer_read()).empty()) read_at.store(Clock::now().time_since_epoch().count());
            str_release_temps(mark, 0);
        }
    });
    for (auto _ : state) {
        // Long enough for the program to settle into its idle wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        read_at.store(0);
        auto stored = Clock::now();
        key_down('a');  // as the event thread does for a key event
        key_up('a');
        while (read_at.load() == 0) {}
        auto latency = Clock::time_point(Clock::duration(read_at.load())) - stored;
        state.SetIterationTime(std::chrono::duration<double>(latency).count());
        key_hit_clear();
        scan_queue_clear();
    }
    done.store(true);
    key_down('a');  // wakes a reader that waits
    program.join();
}
BENCHMARK(BM_KeyStoredToRead)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(100);
}  // namespace

BENCHMARK_MAIN();
