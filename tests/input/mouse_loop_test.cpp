// The mouse in the running runtime: SDL mouse events pushed into the window's
// queue, polled by the event loop, read by the program as messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include "runtime/core/errors.h"
#include "runtime/core/threads.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/process/process.h"
#include "tests/input/mouse_loop_support.h"

namespace {

using namespace looptest;

// Walks every message waiting; returns how many, and how many moved.
std::pair<int, int> walk_messages() {
    int messages = 0, moving = 0;
    while (mouse_input_next() == -1) {
        ++messages;
        if (mouse_movement_x() != 0 || mouse_movement_y() != 0) ++moving;
    }
    return {messages, moving};
}

// A motion is two messages, the second still; the four motions after each
// new video mode carry no movement.
int motions_program(void*) {
    wait_for_window();
    check(mouse_input_next() == 0, "no activity, no message");
    check(mouse_x() == 0.501f && mouse_y() == 0.501f, "the start position in cells", mouse_x());
    for (int mode_change = 0; mode_change < 2; ++mode_change) {
        uint64_t before = mouse_queue_written();
        for (int i = 0; i < 5; ++i) push_motion(7, 20 + i, 3, -4);
        wait_recorded(before, 10);
        const auto [messages, moving] = walk_messages();
        check(messages == 10 && moving == 1, "ten messages, the ninth moving", moving);
        check(mouse_movement_x() == 0, "the newest entry is still");
        if (mode_change == 0) {
            check(mouse_x() == 1.375f && mouse_y() == 2.0f, "pixel 7 of an 8-pixel cell", mouse_x());
            const uint32_t frames = display_frame_counter();
            set_screen_mode(13, 0, 0, 0, 0, 1);
            poll_until([=] { return display_frame_counter() >= frames + 3; }, "the new mode's frames");
            check(mouse_input_next() == 0, "the mode change left one message");
        } else {
            check(mouse_x() == 7.0f && mouse_y() == 24.0f, "graphics positions in pixels", mouse_x());
        }
    }
    program_ok();
}

TEST(MouseLoop, MotionsGiveAMovingThenAStillMessage) { expect_program_ok(motions_program); }

// Buttons by the program's numbers, the wheel notch, and the reset keeping
// the held buttons.
int buttons_program(void*) {
    wait_for_window();
    uint64_t before = mouse_queue_written();
    push_button(true, SDL_BUTTON_RIGHT, 1, 1);
    push_button(true, SDL_BUTTON_WHEELUP, 1, 1);
    push_button(false, SDL_BUTTON_WHEELUP, 1, 1);
    push_button(true, SDL_BUTTON_MIDDLE, 1, 1);
    wait_recorded(before, 4);
    check(mouse_input_next() == -1, "the right press is the next message");
    check(mouse_button(1) == 0 && mouse_button(2) == -1 && mouse_button(3) == 0, "2 is the right button");
    check(mouse_input_next() == -1 && mouse_wheel() == -1, "a notch up");
    check(mouse_input_next() == -1 && mouse_wheel() == 0, "the notch released");
    check(mouse_input_next() == -1 && mouse_button(3) == -1 && mouse_button(2) == -1, "3 is the middle button");
    check(mouse_button(4) == 0 && !error_raised(5), "button 4 is up, no error");
    check(mouse_button(0) == 0 && error_raised(5), "button 0 is error 5");

    before = mouse_queue_written();
    push_button(false, SDL_BUTTON_MIDDLE, 1, 1);
    push_motion(9, 9, 1, 1, SDL_BUTTON_RMASK);
    wait_recorded(before, 3);
    mouse_queue_reset();
    check(mouse_input_next() == 0, "the reset discarded the unread messages");
    check(mouse_button(2) == -1 && mouse_button(3) == 0, "the reset keeps the newest buttons");
    program_ok();
}

TEST(MouseLoop, ButtonsWheelAndReset) { expect_program_ok(buttons_program); }

// The driver's registers, and the page bounds of warping, in a text and in a
// 320-pixel graphics mode.
int driver_program(void*) {
    wait_for_window();
    InterruptRegisters& r = interrupt_registers();
    r = {0, 0, 0, 0};
    mouse_driver_interrupt(0x10);
    check(r.ax == 0, "another interrupt does nothing");
    mouse_driver_interrupt(0x33);
    check(r.ax == 0xFFFF && r.bx == 2, "reset: driver present, two buttons");

    uint64_t before = mouse_queue_written();
    push_button(true, SDL_BUTTON_LEFT, 100, 50);
    push_button(true, SDL_BUTTON_RIGHT, 100, 50);
    wait_recorded(before, 2);
    r.ax = 3;
    mouse_driver_interrupt(0x33);
    check(r.bx == 3 && r.cx == 100 && r.dx == 25, "status in 8-pixel text cells", r.dx);
    check(mouse_input_next() == -1, "the status left the read position alone");

    const float bad_text[][2] = {{0.49f, 1}, {80.51f, 1}, {1, 25.51f}, {NAN, 1}};
    for (const auto& p : bad_text) {
        mouse_warp(p[0], p[1]);
        check(error_raised(5), "a warp off the text page is error 5", p[0]);
    }
    mouse_warp(80.5f, 25.5f);
    check(!error_raised(5), "the far edge of the text page");

    const uint32_t frames = display_frame_counter();
    set_screen_mode(13, 0, 0, 0, 0, 1);
    poll_until([=] { return display_frame_counter() >= frames + 3; }, "the new mode's frames");
    mouse_warp(320, 0);
    check(error_raised(5), "pixel 320 is off a 320-pixel page");
    before = mouse_queue_written();
    push_motion(160, 199, 0, 0);
    wait_recorded(before, 2);
    r.ax = 3;
    mouse_driver_interrupt(0x33);
    check(r.cx == 320 && r.dx == 199, "mode 13 doubles the driver's x", r.cx);
    program_ok();
}

TEST(MouseLoop, DriverInterruptAndWarpBounds) { expect_program_ok(driver_program); }

}  // namespace
