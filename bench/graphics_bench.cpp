// Cost of the graphics primitives against the memory's own limit: full-screen
// boxes (32-bit and 8-bit) beside a plain fill of the same buffer, line pixels,
// blended pixels, and a scaled copy onto a 640 x 400 image beside a memcpy of
// its bytes. Items are pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/image_copy.h"
#include "runtime/display/image_copy_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr int screen_w = 640, screen_h = 480;

ImageRec& fresh_image(int w, int h, int mode) {
    flags_reset();
    low_memory_clear();
    fonts_startup();
    images_startup();
    return *image_record(image_create(w, h, mode));
}

void BM_FillBox(benchmark::State& state) {
    ImageRec& r = fresh_image(screen_w, screen_h, int(state.range(0)));
    uint32_t colour = 0xFF336699;
    for (auto _ : state) {
        fill_box_pixels(r, 0, 0, screen_w - 1, screen_h - 1, colour++ | 0xFF000000);
        benchmark::DoNotOptimize(r.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * screen_w * screen_h);
    image_table_shutdown();
}
BENCHMARK(BM_FillBox)->Arg(32)->Arg(12);

// The limit: the same buffer filled by the library.
void BM_PlainFill(benchmark::State& state) {
    const size_t count = size_t{screen_w} * screen_h;
    std::vector<uint32_t> words(count);
    std::vector<uint8_t> bytes(count);
    uint32_t colour = 0xFF336699;
    for (auto _ : state) {
        if (state.range(0) == 32)
            std::fill(words.begin(), words.end(), colour++);
        else
            std::memset(bytes.data(), int(colour++ & 15), count);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(count));
}
BENCHMARK(BM_PlainFill)->Arg(32)->Arg(12);

// The limit page memory allows: every store a relaxed 64-bit word.
void BM_PageFill8(benchmark::State& state) {
    std::vector<uint8_t> bytes(size_t{screen_w} * screen_h);
    uint8_t colour = 0;
    for (auto _ : state) {
        page_fill8(bytes.data(), colour++, bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(bytes.size()));
}
BENCHMARK(BM_PageFill8);

// Full-screen boxes of alpha 0x40 (the mix tables) and 0x80 (halving).
void BM_BlendBox(benchmark::State& state) {
    ImageRec& r = fresh_image(screen_w, screen_h, 32);
    fill_box_pixels(r, 0, 0, screen_w - 1, screen_h - 1, 0xFF102030);
    const uint32_t colour = uint32_t(state.range(0)) << 24 | 0xC08040;
    for (auto _ : state) {
        fill_box_pixels(r, 0, 0, screen_w - 1, screen_h - 1, colour);
        benchmark::DoNotOptimize(r.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * screen_w * screen_h);
    image_table_shutdown();
}
BENCHMARK(BM_BlendBox)->Arg(0x40)->Arg(0x80);

// A fan of lines from the centre to every 8th pixel of the edges, partly
// beyond the view, so clipping takes its share.
void BM_Lines(benchmark::State& state) {
    ImageRec& r = fresh_image(screen_w, screen_h, int(state.range(0)));
    std::vector<std::pair<int, int>> ends;
    int64_t per_fan = 0;
    for (int x = -64; x < screen_w + 64; x += 8)
        for (int y : {-32, screen_h + 31}) {
            ends.push_back({x, y});
            LineSpan s{};
            if (clip_line(screen_w / 2, screen_h / 2, x, y, view_rect(r), &s)) per_fan += s.last - s.first + 1;
        }
    for (auto _ : state) {
        for (auto [x, y] : ends) draw_line_pixels(r, screen_w / 2, screen_h / 2, x, y, 0xFFFFFFFF);
        benchmark::DoNotOptimize(r.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * per_fan);
    image_table_shutdown();
}
BENCHMARK(BM_Lines)->Arg(32)->Arg(12);

// 320 x 200 scaled up onto 640 x 400: the copy rule (blending off) and the
// blended rule.
void BM_ScaledCopy(benchmark::State& state) {
    ImageRec& dest = fresh_image(640, 400, 32);
    ImageRec& source = *image_record(image_create(320, 200, 32));
    for (int i = 0; i < 320 * 200; ++i) reinterpret_cast<uint32_t*>(source.pixels)[i] = 0xFF000000u | uint32_t(i);
    dest.blend_disabled = state.range(0) == 0;
    for (auto _ : state) {
        image_copy_whole(source, dest);
        benchmark::DoNotOptimize(dest.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 640 * 400);
    image_table_shutdown();
}
BENCHMARK(BM_ScaledCopy)->Arg(0)->Arg(1);

void BM_Memcpy640x400(benchmark::State& state) {
    std::vector<uint32_t> from(640 * 400, 0xFF123456), to(640 * 400);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 400);
}
BENCHMARK(BM_Memcpy640x400);

void BM_PageWrite640x400(benchmark::State& state) {
    std::vector<uint32_t> from(640 * 400, 0xFF123456), to(640 * 400);
    for (auto _ : state) {
        page_write(to.data(), from.data(), to.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 400);
}
BENCHMARK(BM_PageWrite640x400);

}  // namespace

BENCHMARK_MAIN();
