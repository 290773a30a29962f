// The costs of a printed page and of clipboard text: scaling the 640 x 960
// printer page to the 1240 x 1754 page against a plain copy of the page's
// pixels, encoding the page, and converting 1 MiB of clipboard text each way.
#include <benchmark/benchmark.h>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/system/clipboard.h"
#include "runtime/system/clipboard_internal.h"
#include "runtime/system/print_page.h"
#include "runtime/system/print_page_internal.h"

namespace {

constexpr size_t page_pixels = size_t{print_page_width} * print_page_height;

void BM_PageScale(benchmark::State& state) {
    std::vector<uint32_t> source(640 * 960, 0xFF336699), page(page_pixels);
    for (auto _ : state) {
        print_page_scale(source.data(), 640, 960, page.data(), print_page_width, print_page_height);
        benchmark::DoNotOptimize(page.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(page_pixels));
}
BENCHMARK(BM_PageScale)->Unit(benchmark::kMillisecond);

// What the scaling is measured against: the page's pixels copied once.
void BM_PageCopy(benchmark::State& state) {
    std::vector<uint32_t> source(page_pixels, 0xFF336699), page(page_pixels);
    for (auto _ : state) {
        std::memcpy(page.data(), source.data(), page_pixels * 4);
        benchmark::DoNotOptimize(page.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(page_pixels));
}
BENCHMARK(BM_PageCopy)->Unit(benchmark::kMillisecond);

void BM_PageEncode(benchmark::State& state) {
    std::vector<uint32_t> page(page_pixels, 0xFF336699);
    for (auto _ : state) benchmark::DoNotOptimize(print_page_encode(page.data(), print_page_width, print_page_height));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page_pixels * 3));
}
BENCHMARK(BM_PageEncode)->Unit(benchmark::kMillisecond);

std::string mixed_text(size_t bytes) {
    std::string text(bytes, 'a');
    for (size_t i = 0; i < bytes; i += 7) text[i] = static_cast<char>(0x80 + i % 100);
    return text;
}

void BM_ClipboardToUtf8(benchmark::State& state) {
    std::string text = mixed_text(1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(clipboard_cp437_to_utf8(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ClipboardToUtf8)->Unit(benchmark::kMillisecond);

void BM_ClipboardFromUtf8(benchmark::State& state) {
    std::string utf8 = clipboard_cp437_to_utf8(mixed_text(1 << 20));
    for (auto _ : state) benchmark::DoNotOptimize(clipboard_utf8_to_cp437(utf8));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(utf8.size()));
}
BENCHMARK(BM_ClipboardFromUtf8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
