// The mouse on the event thread: recording window events into MouseQueue, the
// pointer picture, and the pointer's visibility, position and grab, which the
// program's statements hand over as requests.
#include "runtime/input/mouse_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/requests.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/pointer.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include <SDL.h>
#include <atomic>

namespace {

// While the video mode changes no motion counts as movement; the pointer
// still settles for a few motions after.
constexpr uint32_t suppress_during_mode_change = 65536;
constexpr uint32_t suppress_after_mode_change = 4;

struct MouseStateRec {
    SDL_Cursor* pointer = nullptr;
    std::atomic<uint32_t> suppression{1};  // event thread; tests look
    std::atomic<bool> relative{false};  // relative-movement mode
    std::atomic<bool> confined{false};  // relative-movement mode holds the grab
};
MouseStateRec Mouse;

uint32_t with_button(uint32_t buttons, int button, bool down) {
    if (button < 1 || button > 32) return buttons;
    const uint32_t bit = 1u << (button - 1);
    return down ? buttons | bit : buttons & ~bit;
}

// The pointer where it is, hidden or shown. Moving it to its own place
// before and after makes the window system settle the change there.
void pointer_show_at_place(bool shown) {
    display_pointer_set_program_controlled(true);
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    display_warp_pointer(x, y);
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
    display_warp_pointer(x, y);
}

void hide_now() { pointer_show_at_place(false); }

void show_now() {
    Mouse.relative = false;
    display_pointer_set_program_controlled(true);
    if (SDL_WM_GrabInput(SDL_GRAB_QUERY) == SDL_GRAB_ON) SDL_WM_GrabInput(SDL_GRAB_OFF);
    Mouse.confined = false;
    pointer_show_at_place(true);
}

void confine_now() {
    if (get_full_screen() == 0) {
        if (SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE) SDL_ShowCursor(SDL_DISABLE);
        if (SDL_WM_GrabInput(SDL_GRAB_QUERY) != SDL_GRAB_ON) SDL_WM_GrabInput(SDL_GRAB_ON);
        Mouse.confined = true;
    } else if (Mouse.confined.load()) {
        Mouse.confined = false;
        SDL_WM_GrabInput(SDL_GRAB_OFF);
    }
}

void queue_reset_now() {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    mouse_queue_push(MouseEntry{uint16_t(x), uint16_t(y), mouse_queue_newest().buttons, 0, 0});
    mouse_queue_discard_unread();
}

// The program waits: what it asks of the pointer has happened when it goes on.
void on_event_thread_and_wait(void (*work)()) { event_request(EventRequestKind::pointer, work, true); }

}  // namespace

// --- Recording (event thread) -----------------------------------------------------------

void mouse_suppression_set(uint32_t count) { Mouse.suppression.store(count, std::memory_order_relaxed); }

uint32_t mouse_suppression_count() { return Mouse.suppression.load(std::memory_order_relaxed); }

void mouse_record_event(const SDL_Event& event) {
    switch (event.type) {
    case SDL_MOUSEMOTION: {
        const SDL_MouseMotionEvent& m = event.motion;
        int16_t dx = m.xrel, dy = m.yrel;
        const uint32_t suppressed = Mouse.suppression.load(std::memory_order_relaxed);
        if (suppressed > 0) {
            Mouse.suppression.store(suppressed - 1, std::memory_order_relaxed);
            dx = dy = 0;
        }
        // The newest entry never moves: a program that reads only the current
        // state sees no movement, one that walks the queue sees each once.
        mouse_queue_push(MouseEntry{m.x, m.y, m.state, dx, dy});
        mouse_queue_push(MouseEntry{m.x, m.y, m.state, 0, 0});
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const SDL_MouseButtonEvent& b = event.button;
        const uint32_t buttons = with_button(mouse_queue_newest().buttons, b.button, event.type == SDL_MOUSEBUTTONDOWN);
        mouse_queue_push(MouseEntry{b.x, b.y, buttons, 0, 0});
        break;
    }
    default:
        break;
    }
}

void mouse_handle_event(const SDL_Event& event) { mouse_record_event(event); }

void mouse_surface_changed(bool) {
    mouse_suppression_set(suppress_during_mode_change);
    queue_reset_now();
    mouse_suppression_set(suppress_after_mode_change);
    if (Mouse.relative.load()) confine_now();
}

bool mouse_relative_mode() { return Mouse.relative.load(); }

void mouse_startup() {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    mouse_reset();
    mouse_queue_start(uint16_t(x), uint16_t(y));
    uint8_t data[128], mask[128];
    int hot_x = 0, hot_y = 0;
    if (mouse_pointer_bits(mouse_pointer_xpm(), data, mask, &hot_x, &hot_y)) {
        Mouse.pointer = SDL_CreateCursor(data, mask, 32, 32, hot_x, hot_y);
        if (Mouse.pointer) SDL_SetCursor(Mouse.pointer);
    }
}

void mouse_shutdown() {
    SDL_ShowCursor(SDL_DISABLE);
    if (Mouse.pointer) SDL_FreeCursor(Mouse.pointer);
    Mouse.pointer = nullptr;
}

void mouse_reset() {
    Mouse.suppression = 1;
    Mouse.relative = false;
    Mouse.confined = false;
    mouse_queue_start(0, 0);
}

// --- The program's pointer statements ---------------------------------------------------

int32_t mouse_movement_x() {
    Mouse.relative = true;
    mouse_confine_update();
    return mouse_queue_current().movement_x;
}

int32_t mouse_movement_y() {
    Mouse.relative = true;
    mouse_confine_update();
    return mouse_queue_current().movement_y;
}

void mouse_confine_update() {
    // A program reading movement in a loop asks the window system only when
    // the grab has to change.
    if (!on_event_thread() && Mouse.confined.load() == (get_full_screen() == 0)) return;
    on_event_thread_and_wait(confine_now);
}

void mouse_hide() { on_event_thread_and_wait(hide_now); }

void mouse_show() { on_event_thread_and_wait(show_now); }

void mouse_queue_reset() { on_event_thread_and_wait(queue_reset_now); }

void mouse_warp(float x, float y) {
    MouseAxis ax{}, ay{};
    int mode = 0, wx = 0, wy = 0;
    if (!mouse_page_axes(&ax, &ay, &mode) || !mouse_window_position(x, ax, &wx) || !mouse_window_position(y, ay, &wy)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    event_request(
        EventRequestKind::pointer, [wx, wy] { display_warp_pointer(wx, wy); }, true);
}
