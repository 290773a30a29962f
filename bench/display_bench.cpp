// Cost of one display frame: a still text page, a full 40 x 25 redraw, and a
// mode-13 page with a changed pixel.
#include "runtime/display/display.h"
#include "runtime/display/fonts.h"
#include "runtime/display/images.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

void start_display() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO);
    flags_reset();
    low_memory_clear();
    init_builtin_display_data();
    images_startup();
}

void stop_display() {
    display_shutdown();
    image_table_shutdown();
    SDL_Quit();
}

void fill_text(int cells) {
    uint8_t* m = low_memory() + low_text_pages;
    for (int i = 0; i < cells; ++i) {
        m[i * 2] = static_cast<uint8_t>('A' + i % 26);
        m[i * 2 + 1] = static_cast<uint8_t>(1 + i % 15);
    }
}

void BM_UnchangedText80x25(benchmark::State& state) {
    start_display();
    fill_text(80 * 25);
    display_refresh();
    display_refresh();
    for (auto _ : state) display_refresh();
    stop_display();
}
BENCHMARK(BM_UnchangedText80x25);

void BM_FullRedraw40x25Font17(benchmark::State& state) {
    start_display();
    set_text_size(0, 40, 25, 3);
    fill_text(40 * 25);
    display_refresh();
    for (auto _ : state) {
        display_invalidate();
        display_refresh();
    }
    stop_display();
}
BENCHMARK(BM_FullRedraw40x25Font17);

void BM_ChangedMode13Page(benchmark::State& state) {
    start_display();
    set_screen_mode(13, 0, 0, 0, 0, 1);
    display_refresh();
    uint8_t value = 0;
    for (auto _ : state) {
        low_memory()[low_graphics_page + 100 * 320 + 160] = ++value;
        display_refresh();
    }
    stop_display();
}
BENCHMARK(BM_ChangedMode13Page);

}  // namespace

BENCHMARK_MAIN();
