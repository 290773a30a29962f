// What the mouse costs: the event thread recording one motion (two entries),
// the program reading one message and its position in a text page, and one
// motion of a burst on its whole way in: held as SDL2 makes it, translated by
// sdl12-compat, taken by the event thread and recorded.
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
#include "runtime/platform/window_events.h"
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>

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
    fonts_startup();
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
            for (int i = 0; i < 60000; ++i) mouse_queue_push(MouseEntry{uint16_t(i & 511), uint16_t(i & 255), 0, 0, 0});
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(mouse_x());
    }
    image_table_shutdown();
}
BENCHMARK(BM_MouseNextAndX);

// SDL2's mouse motion event, as SDL2 makes it from the window system's.
struct Sdl2Motion {
    uint32_t type = 0x400, timestamp = 0, window = 0, which = 0, state = 0;
    int32_t x = 0, y = 0, xrel = 1, yrel = 1;
    uint8_t padding[20] = {};
};

// A burst of 1000 motions from one look at the window system, each on its whole
// way into the mouse queue (items/s is the rate the event thread keeps up with).
void BM_BurstMotionThroughTheIntake(benchmark::State& state) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !SDL_SetVideoMode(640, 400, 32, 0)) state.SkipWithError("no SDL video");
    void* sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    auto push = sdl2 ? reinterpret_cast<int (*)(void*)>(dlsym(sdl2, "SDL_PushEvent")) : nullptr;
    if (!push || !window_events_holding()) state.SkipWithError("no SDL2 under sdl12-compat");
    mouse_reset();
    SDL_Event e;
    while (window_event_poll(&e)) {}
    constexpr int burst = 1000;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < burst; ++i) {
            Sdl2Motion m;
            m.x = i % 640;
            m.y = i % 400;
            push(&m);
        }
        state.ResumeTiming();
        int taken = 0;
        while (window_event_poll(&e)) {
            mouse_record_event(e);
            ++taken;
        }
        if (taken != burst) state.SkipWithError("motions lost");
    }
    state.SetItemsProcessed(state.iterations() * burst);
    SDL_Quit();
}
BENCHMARK(BM_BurstMotionThroughTheIntake);

}  // namespace

BENCHMARK_MAIN();
