// The clock anchor.
#include "runtime/core/clock.h"
#include <SDL.h>
#include <atomic>
#include <ctime>

namespace {
std::atomic<uint32_t> anchor_ticks{0};
std::atomic<uint32_t> anchor_ms{0};
constexpr uint32_t ms_per_day = 86400000;
}

uint32_t ticks_at_start() { return anchor_ticks; }
uint32_t ms_at_start() { return anchor_ms; }

void clock_anchor_set(uint32_t ticks, uint32_t ms) {
    anchor_ticks = ticks;
    anchor_ms = ms;
}

void clock_anchor_startup() {
    time_t now = time(nullptr);
    if (now != static_cast<time_t>(-1)) {
        // The instant falls just after a second boundary.
        time_t first = now;
        while ((now = time(nullptr)) == first) SDL_Delay(1);
    } else {
        now = 0;
    }
    uint32_t ticks = SDL_GetTicks();
    struct tm local {};
    uint32_t ms = 0;
    if (localtime_r(&now, &local))
        ms = static_cast<uint32_t>((local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000);
    clock_anchor_set(ticks, ms);
}

uint32_t clock_ms_of_day() {
    uint64_t ms = static_cast<uint64_t>(SDL_GetTicks() - ticks_at_start()) + ms_at_start();
    return static_cast<uint32_t>(ms % ms_per_day);
}
