// The clock anchor.
#include "runtime/core/clock.h"
#include <SDL.h>
#include <atomic>

namespace {
std::atomic<uint32_t> AnchorTicks{0};
std::atomic<uint32_t> AnchorMs{0};
std::atomic<int64_t> HeldMs{-1};  // the time of day a test holds, or -1
constexpr uint32_t ms_per_day = 86400000;
constexpr long ns_per_ms = 1000000;
}  // namespace

uint32_t ticks_at_start() { return AnchorTicks; }
uint32_t ms_at_start() { return AnchorMs; }

void clock_anchor_set(uint32_t ticks, uint32_t ms) {
    AnchorTicks = ticks;
    AnchorMs = ms;
}

ClockAnchor clock_anchor_from(uint32_t ticks, const timespec* now) {
    const timespec epoch{};
    if (!now || now->tv_nsec < 0 || now->tv_nsec >= 1000 * ns_per_ms) now = &epoch;
    // The anchor is the tick count at the second boundary just passed, so the
    // clock reads what an anchor taken by waiting for the next boundary gives.
    const uint32_t into_second = static_cast<uint32_t>(now->tv_nsec / ns_per_ms);
    struct tm local {};
    if (!localtime_r(&now->tv_sec, &local)) return {ticks - into_second, 0};
    return {ticks - into_second,
            static_cast<uint32_t>((local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000)};
}

void clock_anchor_startup() {
    const uint32_t ticks = SDL_GetTicks();
    timespec now{};
    const ClockAnchor a = clock_anchor_from(ticks, clock_gettime(CLOCK_REALTIME, &now) == 0 ? &now : nullptr);
    clock_anchor_set(a.ticks, a.ms);
}

// Nothing to undo: the anchor is two numbers.
void clock_anchor_shutdown() {}

void clock_hold(int64_t ms) { HeldMs = ms < 0 ? -1 : ms % ms_per_day; }

uint32_t clock_ms_of_day() {
    if (const int64_t held = HeldMs.load(); held >= 0) return static_cast<uint32_t>(held);
    uint64_t ms = static_cast<uint64_t>(SDL_GetTicks() - ticks_at_start()) + ms_at_start();
    return static_cast<uint32_t>(ms % ms_per_day);
}
