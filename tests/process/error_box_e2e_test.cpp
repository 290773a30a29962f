// The unhandled-error box in the running runtime, answered from the keyboard.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads.h"
#include "runtime/process/process.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/message_box.h"
#include "support/sdl_events.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

int error_program(void*) {
    runtime_error(5);
    statement_check(120);
    std::fprintf(stderr, "program continued\n");
    end_program();
}

void push_key(Uint8 type, SDLKey sym) {
    SDL_Event event = key_event(type, sym);
    SDL_PushEvent(&event);
}

// Waits for the box and for the window to be refreshed under it, then presses
// the key. Ends the process with a code of its own when the box never comes or
// the answer changes nothing.
void answer_box_with(SDLKey key) {
    std::thread([key] {
        for (int waited = 0; !message_box_shown(); waited += 5) {
            if (waited > 10000) std::_Exit(8);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        uint32_t frames = display_frame_counter();
        for (int waited = 0; display_frame_counter() < frames + 2; waited += 5) {
            if (waited > 10000) std::_Exit(9);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        push_key(SDL_KEYDOWN, key);
        push_key(SDL_KEYUP, key);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::_Exit(11);  // the answer did not end the wait
    }).detach();
}

void run_runtime_answering(SDLKey key) {
    answer_box_with(key);
    char name[] = "morv";
    char* argv[] = {name, nullptr};
    runtime_main(1, argv, error_program);
    std::_Exit(10);  // runtime_main returns only when start-up failed
}

// A critical error raised on the event thread itself: the box is drawn by a
// loop of the event thread's own, in the window, and OK ends the process.
int event_thread_critical_program(void*) {
    event_request(
        EventRequestKind::once, [] { runtime_error(504); }, true);
    std::fprintf(stderr, "program continued\n");
    end_program();
}

// The box's face colour at the middle of the window, read from outside while
// the event thread draws, as a driver peeks (the sanitizer knows the name).
bool driver_peek_box_drawn() {
    SDL_Surface* s = display_surface();
    if (!s || !s->pixels || s->format->BytesPerPixel != 4) return false;
    uint32_t middle = static_cast<const uint32_t*>(s->pixels)[(s->h / 2) * (s->pitch / 4) + s->w / 2];
    return middle == SDL_MapRGB(s->format, 192, 192, 192);
}

TEST(ErrorBoxEndToEnd, CriticalErrorOnTheEventThreadShowsItsBox) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        std::thread([] {
            for (int waited = 0; !message_box_shown() || !driver_peek_box_drawn(); waited += 5) {
                if (waited > 10000) std::_Exit(8);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::fprintf(stderr, "box seen in the window\n");
            push_key(SDL_KEYDOWN, SDLK_RETURN);
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::_Exit(11);
        }).detach();
        char name[] = "morv";
        char* argv[] = {name, nullptr};
        runtime_main(1, argv, event_thread_critical_program);
        std::_Exit(10);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0),
                AllOf(HasSubstr("Critical Error #4\nOut of memory"), HasSubstr("box seen in the window"),
                      Not(HasSubstr("program continued"))));
}

const char* const BoxOnStderr = "Unhandled Error #5\nLine:120\nIllegal function call\nContinue?";

TEST(ErrorBoxEndToEnd, YesContinuesWithTheNextStatement) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_runtime_answering(SDLK_y), ::testing::ExitedWithCode(0),
                AllOf(HasSubstr(BoxOnStderr), HasSubstr("program continued")));
}

TEST(ErrorBoxEndToEnd, NoEndsTheProgramWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_runtime_answering(SDLK_n), ::testing::ExitedWithCode(0),
                AllOf(HasSubstr(BoxOnStderr), Not(HasSubstr("program continued"))));
}

}  // namespace
