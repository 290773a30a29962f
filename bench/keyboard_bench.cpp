// What a program pays to poll the keyboard: an empty key-buffer read (the game's
// menu loop), a read of a waiting key, and a held-key query.
#include <benchmark/benchmark.h>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/input/keyboard_internal.h"

namespace {
void fresh() {
    low_memory_clear();
    flags_reset();
    strings_startup();
    keyboard_startup_with(KeyboardSystemState{});
}

// A program that works between its reads: a long run of empty reads in quick
// succession would make the read wait for a key instead.
void BM_KeyBufferReadEmpty(benchmark::State& state) {
    fresh();
    uint32_t reads = 0;
    for (auto _ : state) {
        uint32_t mark = str_temp_count();
        benchmark::DoNotOptimize(key_buffer_read());
        str_release_temps(mark, 0);
        if (++reads % 32 == 0) key_buffer_clear();
    }
}
BENCHMARK(BM_KeyBufferReadEmpty);

void BM_KeyPressAndRead(benchmark::State& state) {
    fresh();
    for (auto _ : state) {
        key_down('a');
        key_up('a');
        uint32_t mark = str_temp_count();
        benchmark::DoNotOptimize(key_buffer_read());
        str_release_temps(mark, 0);
        key_hit_clear();
        scan_queue_clear();
    }
}
BENCHMARK(BM_KeyPressAndRead);

void BM_KeyDownQuery(benchmark::State& state) {
    fresh();
    for (int32_t c = 'a'; c <= 'h'; ++c) key_down(c);
    for (auto _ : state) benchmark::DoNotOptimize(key_down_query(0x4800));
}
BENCHMARK(BM_KeyDownQuery);
}  // namespace

BENCHMARK_MAIN();
