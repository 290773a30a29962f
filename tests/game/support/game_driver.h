// Drives the real game in the real runtime from a thread of its own: pushes SDL
// key events, reads the text page at 0xB8000 and fails loudly (with a dump of
// the screen) when the screen does not come to the expected state in time.
#pragma once
#include <SDL.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <mutex>
#include <thread>
#include "game/program.h"
#include "game/state.h"
#include "runtime/core/clock.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/process/process.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/page_memory.h"
#include "support/sdl_events.h"

namespace game_driver {

constexpr int screen_columns = 40;
constexpr int screen_rows = 25;
// A sanitizer build runs the game several times slower; the computer's turns
// most of all.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int default_timeout_ms = 40000;
#else
constexpr int default_timeout_ms = 10000;
#endif
// How long the screen stands still before the driver nudges a pause along.
constexpr uint32_t nudge_after_still_ms = 60;
// The driver's success line; the parent looks for it on stderr.
constexpr const char* driver_done = "DRIVER DONE";

// --- Reading the screen -------------------------------------------------------------

inline const uint8_t* cell(int row, int column) {
    return low_memory() + low_text_pages + ((row - 1) * screen_columns + (column - 1)) * 2;
}
// The driver watches the page the way the refresh does: relaxed loads of what
// the program thread's relaxed stores left there.
inline uint8_t observe(const uint8_t* byte) { return page_load8(byte); }
inline uint8_t char_at(int row, int column) { return observe(cell(row, column)); }
inline uint8_t foreground_at(int row, int column) { return observe(cell(row, column) + 1) & 15; }
inline uint8_t background_at(int row, int column) { return (observe(cell(row, column) + 1) >> 4) & 7; }

// The 40 characters of a row as code page 437 bytes.
inline std::string row_text(int row) {
    std::string s;
    for (int c = 1; c <= screen_columns; ++c) s += static_cast<char>(char_at(row, c));
    return s;
}
// True when `text` stands on the row from `column` on.
inline bool text_at(int row, int column, std::string_view text) {
    return row_text(row).compare(column - 1, text.size(), text) == 0;
}
inline bool row_blank(int row, int first_column, int last_column) {
    for (int c = first_column; c <= last_column; ++c)
        if (char_at(row, c) != ' ') return false;
    return true;
}

inline std::string screen_dump() {
    std::string s;
    for (int r = 1; r <= screen_rows; ++r) {
        char label[8];
        std::snprintf(label, sizeof label, "%2d|", r);
        s += label;
        for (char ch : row_text(r)) {
            auto b = static_cast<uint8_t>(ch);
            s += b >= 32 && b < 127 ? ch : b == 0 ? ' ' : '~';
        }
        s += "|\n";
    }
    return s;
}

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "DRIVER FAILED: %s\n%s", what.c_str(), screen_dump().c_str());
    std::fflush(stderr);
    std::_Exit(3);
}

inline uint32_t now_ms() { return SDL_GetTicks(); }

// Polls the condition every 2 ms until it holds; fails after the timeout.
template <typename Condition>
void wait_until(Condition condition, const std::string& what, int timeout_ms = default_timeout_ms) {
    const uint32_t start = now_ms();
    while (!condition()) {
        if (now_ms() - start > static_cast<uint32_t>(timeout_ms)) fail("timed out waiting for " + what);
        SDL_Delay(2);
    }
}

// --- Keys ------------------------------------------------------------------------------

inline void push_key_event(Uint8 type, SDLKey sym, uint16_t unicode, SDLMod mod) {
    SDL_Event event = key_event(type, sym, unicode, mod);
    SDL_PushEvent(&event);
}
inline void press(SDLKey sym, uint16_t unicode = 0) {
    push_key_event(SDL_KEYDOWN, sym, unicode, KMOD_NONE);
    push_key_event(SDL_KEYUP, sym, 0, KMOD_NONE);
}
inline void press_confirm() { press(SDLK_5, '5'); }
inline void press_ignored() { press(SDLK_a, 'a'); }
inline void press_times(SDLKey sym, int times) {
    for (int i = 0; i < times; ++i) press(sym);
}
inline void press_ctrl_break() {
    push_key_event(SDL_KEYDOWN, SDLK_LCTRL, 0, KMOD_LCTRL);
    push_key_event(SDL_KEYDOWN, SDLK_PAUSE, 0, KMOD_LCTRL);
}
inline void push_quit() {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

// Waits until the program has read every key typed so far (the key buffer's
// head has caught up with its tail), so that new keys find room in its slots.
// Keys pushed before the call have reached the buffer once the event thread
// has polled its events, which it does between two refreshes.
inline void wait_keys_read() {
    const uint32_t frame = display_frame_counter();
    wait_until([frame] { return display_frame_counter() >= frame + 2; }, "the event thread's next poll");
    wait_until(
        [] {
            const uint8_t* m = low_memory();
            return observe(m + low_key_buffer_head) == observe(m + low_key_buffer_tail);
        },
        "the typed keys to be read");
}

// Ends timed pauses early with a key the game ignores everywhere, one press at
// a time, until the condition holds.
template <typename Condition>
void nudge_until(Condition condition, const std::string& what, int timeout_ms = default_timeout_ms) {
    // A nudge goes only to a screen that has stood still for a while and to a
    // program asleep in its pause: a key pushed while the program still draws
    // or works out a move could end the pause after the next screen before the
    // driver has seen it. One nudge at a time: the next waits until the event
    // thread has taken the last one.
    const uint32_t start = now_ms();
    std::string last = screen_dump();
    uint32_t still_since = now_ms();
    bool nudge_on_its_way = false;
    uint32_t nudged_sleep = 0;
    while (!condition()) {
        if (now_ms() - start > static_cast<uint32_t>(timeout_ms)) fail("timed out nudging to " + what);
        SDL_Delay(2);
        if (nudge_on_its_way)
            nudge_on_its_way = key_wake.load() == 0 && program_sleeping.load() && program_sleeps.load() == nudged_sleep;
        std::string now = screen_dump();
        if (now != last) {
            last = now;
            still_since = now_ms();
        } else if (!nudge_on_its_way && now_ms() - still_since >= nudge_after_still_ms && program_sleeping.load()) {
            nudged_sleep = program_sleeps.load();
            press_ignored();
            nudge_on_its_way = true;
            still_since = now_ms();
        }
    }
}

// --- The clock behind the powerup draw -------------------------------------------------
// The game seeds its generator from the time of day before each draw. Holding
// the clock at a chosen tick makes the draw known in advance.

// The time-of-day value (no accuracy) at `ms` after midnight.
inline double timer_at(uint32_t ms) {
    double seconds = ms / 1000.0;
    return static_cast<float>(std::nearbyint(seconds * 18.2) / 18.2);
}

// The powerup that the game's draw yields from the generator's state and the
// time of day: the reseed keeps the state's low byte; then 1..25 draws of 1..6.
inline int powerup_drawn(uint32_t state, double timer) {
    uint64_t bits = 0;
    std::memcpy(&bits, &timer, sizeof bits);
    auto h = static_cast<uint32_t>(bits >> 32);
    h ^= h >> 16;
    uint32_t seed = ((h & 0xFFFF) << 8) | (state & 0xFF);
    auto next = [&seed] {
        seed = (seed * random_multiplier + random_increment) & random_mask;
        return static_cast<float>(seed) / 16777216.0f;
    };
    const int n = static_cast<int>(std::floor(next() * 25.0f)) + 1;
    int drawn = 0;
    for (int i = 0; i < n; ++i) drawn = static_cast<int>(std::floor(next() * 6.0f)) + 1;
    return drawn;
}

// The drivers read the game's board and random state from outside while it
// runs, as a debugger would, only through these two; the thread sanitizer
// leaves reads under these names alone (see the test main).
[[gnu::noinline]] inline int16_t driver_peek_board(int floor, int row, int column) { return board(floor, row, column); }
[[gnu::noinline]] inline uint32_t driver_peek_random_seed() { return random_seed(); }

// Holds the clock at a tick whose draw gives `powerup` to the next roll. Call it
// while the program waits (a key loop or a pause) before that roll.
inline void force_next_powerup(int powerup) {
    const uint32_t state = driver_peek_random_seed();
    const uint32_t tick = static_cast<uint32_t>(clock_ms_of_day() * 0.0182) % 1500000;
    for (uint32_t t = tick + 1; t < tick + 2000; ++t) {
        const auto ms = static_cast<uint32_t>(std::lround(t * 1000.0 / 18.2));
        if (powerup_drawn(state, timer_at(ms)) == powerup) {
            clock_hold(ms);
            return;
        }
    }
    fail("no tick draws powerup " + std::to_string(powerup));
}
inline void release_clock() { clock_hold(-1); }

// Reports success, then ends the program with `action` (the close button,
// Ctrl+Break, the Quit item) and fails when it is still running a second later.
// Nothing here touches SDL after the action: the process may be exiting.
[[noreturn]] inline void end_and_expect_exit(void (*action)(), const std::string& what) {
    release_clock();
    std::fprintf(stderr, "%s\n", driver_done);
    std::fflush(stderr);
    action();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    fail("still running a second after " + what);
}
[[noreturn]] inline void close_window_and_expect_exit() { end_and_expect_exit(push_quit, "the window was closed"); }

// --- Running the game -------------------------------------------------------------------

// In the calling (child) process: the runtime with `program` (the game unless
// given) and the driver on a thread of its own. The driver ends the process
// through the program or the window's close; this never returns.
[[noreturn]] inline void run_game(void (*driver)(), ProgramEntry program = morv_program) {
    std::thread([driver] {
        wait_until([] { return threads_started.load() != 0; }, "the runtime to start");
        driver();
        fail("the driver returned without ending the program");
    }).detach();
    char name[] = "morv";
    char* argv[] = {name, nullptr};
    runtime_main(1, argv, program);
    std::_Exit(10);  // runtime_main returns only when start-up failed
}

}  // namespace game_driver
