// Cost of one display frame: still pages against full redraws of text, 32-bit
// and palette pages, a one-row change of a palette page, and the same through
// the private buffer that a surface with other channel masks needs.
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

void start_display() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO);
    flags_reset();
    low_memory_clear();
    fonts_startup();
    images_startup();
}

void stop_display() {
    display_force_private_buffer(false);
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

// A text screen of the given size, filled and drawn once, the cursor shown.
void start_text(int columns) {
    start_display();
    if (columns == 40) set_text_size(0, 40, 25, 3);
    fill_text(columns * 25);
    display_image()->cursor_visible = 1;
    display_refresh();
    display_refresh();
}

// The screen in mode 13 (320 x 200 in low memory) or mode 12 (640 x 480),
// filled with a pattern and drawn once.
uint8_t* start_palette_page(int mode) {
    start_display();
    set_screen_mode(mode, 0, 0, 0, 0, 1);
    ImageRec* page = display_image();
    size_t count = size_t(page->width) * page->height;
    for (size_t i = 0; i < count; ++i) page->pixels[i] = static_cast<uint8_t>((i * 7) & page->colour_mask);
    display_refresh();
    return page->pixels;
}

// A 1024 x 768 32-bit program image made the screen, filled and drawn once.
void start_true_colour_page() {
    start_display();
    int32_t image = new_image(1024, 768, 32, true);
    set_screen_mode(image, 0, 0, 0, 0, 1);
    ImageRec* page = display_image();
    auto* pixels = reinterpret_cast<uint32_t*>(page->pixels);
    for (size_t i = 0; i < size_t(1024) * 768; ++i) pixels[i] = 0xFF000000u | uint32_t(i * 2654435761u);
    display_refresh();
}

void redraw_frames(benchmark::State& state) {
    for (auto _ : state) {
        display_invalidate();
        display_refresh();
    }
}

void still_frames(benchmark::State& state) {
    for (auto _ : state) display_refresh();
}

void BM_UnchangedText40x25(benchmark::State& state) {
    start_text(40);
    still_frames(state);
    stop_display();
}
BENCHMARK(BM_UnchangedText40x25);

void BM_UnchangedText80x25(benchmark::State& state) {
    start_text(80);
    still_frames(state);
    stop_display();
}
BENCHMARK(BM_UnchangedText80x25);

void BM_FullRedrawText40x25(benchmark::State& state) {
    start_text(40);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_FullRedrawText40x25);

void BM_FullRedrawText80x25(benchmark::State& state) {
    start_text(80);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_FullRedrawText80x25);

void BM_UnchangedTrueColour1024x768(benchmark::State& state) {
    start_true_colour_page();
    still_frames(state);
    stop_display();
}
BENCHMARK(BM_UnchangedTrueColour1024x768)->Unit(benchmark::kMicrosecond);

void BM_FullRedrawTrueColour1024x768(benchmark::State& state) {
    start_true_colour_page();
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_FullRedrawTrueColour1024x768)->Unit(benchmark::kMicrosecond);

// One pixel of the middle row changes before every frame.
void one_row_frames(benchmark::State& state, uint8_t* pixels, int width, uint8_t mask) {
    uint8_t value = 0;
    for (auto _ : state) {
        value = static_cast<uint8_t>((value + 1) & mask);
        pixels[100 * width + 160] = value;
        display_refresh();
    }
}

void BM_OneRowMode13(benchmark::State& state) {
    one_row_frames(state, start_palette_page(13), 320, 0xFF);
    stop_display();
}
BENCHMARK(BM_OneRowMode13)->Unit(benchmark::kMicrosecond);

void BM_FullRedrawMode13(benchmark::State& state) {
    start_palette_page(13);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_FullRedrawMode13)->Unit(benchmark::kMicrosecond);

void BM_OneRow640x480(benchmark::State& state) {
    one_row_frames(state, start_palette_page(12), 640, 0x0F);
    stop_display();
}
BENCHMARK(BM_OneRow640x480)->Unit(benchmark::kMicrosecond);

void BM_FullRedraw640x480(benchmark::State& state) {
    start_palette_page(12);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_FullRedraw640x480)->Unit(benchmark::kMicrosecond);

// The private buffer: the same frames drawn into it and copied out channel by
// channel.
void BM_PrivateOneRowMode13(benchmark::State& state) {
    uint8_t* pixels = start_palette_page(13);
    display_force_private_buffer(true);
    display_invalidate();
    display_refresh();
    one_row_frames(state, pixels, 320, 0xFF);
    stop_display();
}
BENCHMARK(BM_PrivateOneRowMode13)->Unit(benchmark::kMicrosecond);

void BM_PrivateFullRedrawMode13(benchmark::State& state) {
    start_palette_page(13);
    display_force_private_buffer(true);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_PrivateFullRedrawMode13)->Unit(benchmark::kMicrosecond);

void BM_PrivateFullRedrawText40x25(benchmark::State& state) {
    start_text(40);
    display_force_private_buffer(true);
    redraw_frames(state);
    stop_display();
}
BENCHMARK(BM_PrivateFullRedrawText40x25)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
