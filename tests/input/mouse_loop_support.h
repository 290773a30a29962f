// Helpers of the tests that run a program in the running runtime and push SDL
// events at it: checks that end the process with their reason, bounded polls,
// and mouse, key and controller events as sdl12-compat delivers them.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include "runtime/core/errors.h"
#include "runtime/core/threads.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/process/process.h"

namespace looptest {

// The program's findings: a failed check ends the process with its reason.
inline void check(bool ok, const char* what, double got = 0) {
    if (ok) return;
    std::fprintf(stderr, "FAIL %s (got %g)\n", what, got);
    std::fflush(stderr);
    std::_Exit(3);
}

template <typename Condition>
inline void poll_until(Condition condition, const char* what) {
    for (int waited_ms = 0; !condition(); waited_ms += 2) {
        check(waited_ms < 5000, what);
        SDL_Delay(2);
    }
}

// Past the first frames, whose new surface resets the queue.
inline void wait_for_window() {
    poll_until([] { return display_frame_counter() >= 3; }, "the first frames");
}

inline void push(SDL_Event e) { check(SDL_PushEvent(&e) == 0, "SDL_PushEvent"); }

inline void push_motion(int x, int y, int dx, int dy, uint8_t state = 0) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion = SDL_MouseMotionEvent{SDL_MOUSEMOTION, 0, state, Uint16(x), Uint16(y), Sint16(dx), Sint16(dy)};
    push(e);
}

inline void push_button(bool down, int button, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button = SDL_MouseButtonEvent{e.type,    0,        Uint8(button), Uint8(down ? SDL_PRESSED : SDL_RELEASED),
                                    Uint16(x), Uint16(y)};
    push(e);
}

// Waits until `entries` more entries than `before` were recorded.
inline void wait_recorded(uint64_t before, uint64_t entries) {
    poll_until([=] { return mouse_queue_written() >= before + entries; }, "the events to be recorded");
}

inline bool error_raised(int n) {
    const bool raised = error_code.load() == n;
    error_code = 0;
    return raised;
}

inline void run_program(ProgramEntry program) {
    char name[] = "input";
    char* argv[] = {name, nullptr};
    runtime_main(1, argv, program);
    std::_Exit(10);
}

inline void expect_program_ok(ProgramEntry program) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_program(program), ::testing::ExitedWithCode(0), ::testing::HasSubstr("PROGRAM OK"));
}

[[noreturn]] inline void program_ok() {
    std::fprintf(stderr, "PROGRAM OK\n");
    end_program();
}

}  // namespace looptest
