// What the mouse costs: the event thread recording one motion (two entries),
// and the program reading one message and its position in a text page.
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/input/mouse_internal.h"
#include <SDL.h>
#include <benchmark/benchmark.h>

namespace {

SDL_Event motion(int i) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion = SDL_MouseMotionEvent{SDL_MOUSEMOTION, 0, 0, Uint16(i & 511), Uint16(i & 255), 1, -1};
    return e;
}

void BM_MouseRecordMotion(benchmark::State& state) {
    mouse_reset();
    int i = 0;
    for (auto _ : state) mouse_record_event(motion(++i));
}
BENCHMARK(BM_MouseRecordMotion);

// The program walks the queue the event thread filled, reading each message's x.
void BM_MouseNextAndX(benchmark::State& state) {
    flags_reset();
    low_memory_clear();
    init_builtin_display_data();
    images_startup();
    MouseAxis x{}, y{};
    int mode = 0;
    if (!mouse_page_axes(&x, &y, &mode) || !x.text) state.SkipWithError("no text page to read positions in");
    mouse_reset();
    for (int i = 0; i < 60000; ++i) mouse_queue_push(MouseEntry{uint16_t(i & 511), uint16_t(i & 255), 0, 0, 0});
    for (auto _ : state) {
        if (mouse_input_next() == 0) {
            state.PauseTiming();
            mouse_reset();
            for (int i = 0; i < 60000; ++i)
                mouse_queue_push(MouseEntry{uint16_t(i & 511), uint16_t(i & 255), 0, 0, 0});
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(mouse_x());
    }
    image_table_shutdown();
}
BENCHMARK(BM_MouseNextAndX);

}  // namespace

BENCHMARK_MAIN();
