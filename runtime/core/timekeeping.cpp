// The time-of-day clock, the 24-bit random generator and the sleep statement.
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include <SDL.h>
#include <cmath>
#include <cstring>
#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

std::atomic<int32_t> key_wake{0};
std::atomic<bool> program_sleeping{false};
std::atomic<uint32_t> program_sleeps{0};

namespace {

constexpr double ticks_per_second = 18.2;
constexpr double ms_per_second = 1000.0;
constexpr float random_range = 16777216.0f;  // 2^24
// A sleep looks at its flags at least this often; a key press and the shutdown
// wake it at once.
constexpr uint32_t endless_sleep_check_ms = 1000;
// The last deadline that stays 1,000 ms clear of the tick counter's wrap.
constexpr uint64_t sleep_latest_deadline = 4294966295u;

uint32_t RandomSeed = random_seed_initial;

bool sleep_interrupted() { return key_wake.load() != 0 || stop_threads.load() != 0; }

}  // namespace

double timer_value(double accuracy, uint32_t given) {
    if (runtime_error_pending()) return 0;
    double factor = ticks_per_second;
    if (given) {
        if (!(accuracy > 0)) {
            runtime_error(error_illegal_function_call);
            return 0;
        }
        factor = 1.0 / accuracy;
    }
    double seconds = clock_ms_of_day() / ms_per_second;
    // An accuracy finer than any double can step keeps the seconds as they are.
    if (!std::isfinite(factor)) return seconds;
    // nearbyint rounds in the current mode: to nearest, ties to even.
    double result = std::nearbyint(seconds * factor) / factor;
    if (!given) return static_cast<float>(result);
    return result;
}

void randomize_with(double seed, uint32_t given) {
    if (runtime_error_pending()) return;
    if (!given) seed = timer_value(0, 0);
    uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    auto h = static_cast<uint32_t>(bits >> 32);
    h ^= h >> 16;
    // The low byte of the old state survives a reseed.
    RandomSeed = ((h & 0xFFFF) << 8) | (RandomSeed & 0xFF);
}

float rnd_next(uint32_t) {
    if (runtime_error_pending()) return 0;
    RandomSeed = (RandomSeed * random_multiplier + random_increment) & random_mask;
    return static_cast<float>(RandomSeed) / random_range;
}

void sleep_seconds(int32_t seconds, uint32_t given) {
    if (runtime_error_pending()) return;
    key_wake = 0;
    struct Sleeping {
        Sleeping() {
            program_sleeps.fetch_add(1);
            program_sleeping = true;
        }
        ~Sleeping() { program_sleeping = false; }
    } sleeping;
    if (!given) seconds = 0;
    if (seconds <= 0) {
        while (!sleep_interrupted()) wait_until(program_wakeup, sleep_interrupted, endless_sleep_check_ms);
        return;
    }
    uint64_t deadline = SDL_GetTicks() + static_cast<uint64_t>(seconds) * 1000;
    if (deadline > sleep_latest_deadline) {
        runtime_error(error_overflow);
        return;
    }
    // Blocks until the deadline; a key press or the shutdown wakes it early.
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (sleep_interrupted()) return;
        uint32_t now = SDL_GetTicks();
        if (now >= deadline) return;
        uint64_t left = deadline - now;
        program_wakeup.wait(ticket,
                            static_cast<uint32_t>(left < endless_sleep_check_ms ? left : endless_sleep_check_ms));
    }
}

uint32_t random_seed() { return RandomSeed; }

void random_seed_set(uint32_t seed) { RandomSeed = seed; }

void timekeeping_reset() {
    RandomSeed = random_seed_initial;
    key_wake = 0;
}
