// The event thread: timer ticks, the program's requests, tones, the refresh on
// odd passes, the focus and input-method work on even ones, and the window's
// events on every pass. A pass rests 16 ms on the event thread's wake-up,
// serving the program's requests the moment they come; a pass where nothing
// changed does no work.
#include "runtime/process/spine.h"
#include "runtime/core/clock.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/requests.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/message_box.h"
#include "runtime/input/devices.h"
#include "runtime/input/devices_internal.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/input/mouse.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/platform/window_events.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/sound/tones.h"
#include "runtime/sound/tones_internal.h"
#include "runtime/system/clipboard.h"
#include "runtime/system/clipboard_internal.h"
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include "runtime/system/shell.h"
#include "runtime/system/shell_internal.h"
#include <SDL.h>
#include <chrono>

namespace {

constexpr auto pass_rest = std::chrono::milliseconds(16);
// A flood of input leaves the rest of its events for the next pass, so the
// refresh and the program's requests still have their turn.
constexpr int events_per_pass = 16384;

int PassParity = 0;

// The pass's rest. Requests of the program thread run as they arrive; the
// rest itself keeps the pass to its 16 ms.
void rest_and_serve_requests() {
    const auto deadline = std::chrono::steady_clock::now() + pass_rest;
    for (;;) {
        uint64_t ticket = event_wakeup.ticket();
        event_requests_run();
        if (exit_requested.load()) return;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        event_wakeup.wait(ticket, static_cast<uint32_t>(left.count()));
    }
}

// Returns false when the window was closed.
bool dispatch_event(const SDL_Event& event) {
    if (message_box_take_event(event)) return true;
    // Keys the input method took reach no device and no keyboard queue.
    if (ime_takes_key_event(event)) return true;
    // The devices see keys before the keyboard's own handling.
    device_handle_event(event);
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        keyboard_handle_event(event);
        break;
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        mouse_handle_event(event);
        break;
    case SDL_VIDEOEXPOSE:
        // What the window showed is gone: the next frame is drawn and sent
        // whole, even when the page did not change.
        display_invalidate();
        break;
    case SDL_QUIT:
        return false;
    default:
        break;
    }
    return true;
}

enum class Polled { all, more_waiting, window_closed };

Polled poll_window_events() {
    SDL_Event event;
    for (int taken = 0; taken < events_per_pass; ++taken) {
        if (!window_event_poll(&event)) return Polled::all;
        if (!dispatch_event(event)) return Polled::window_closed;
    }
    return Polled::more_waiting;
}

// The key held down repeats from its press time, not by SDL's emulation,
// which misfires on a press and release that arrive within one poll.
void repeat_held_key() {
    SDL_Event event;
    while (keyboard_repeat_due(SDL_GetTicks(), &event)) dispatch_event(event);
}

}  // namespace

void event_loop_store_ticks(uint32_t ms_of_day) {
    uint32_t ticks = static_cast<uint32_t>(ms_of_day * 0.0182);
    uint8_t* m = low_memory() + low_timer_ticks;
    m[0] = static_cast<uint8_t>(ticks);
    m[1] = static_cast<uint8_t>(ticks >> 8);
    m[2] = static_cast<uint8_t>(ticks >> 16);
}

bool event_loop_pass() {
    devices_pass();
    event_loop_store_ticks(clock_ms_of_day());
    rest_and_serve_requests();
    if (exit_requested.load()) return false;
    PassParity ^= 1;
    tone_queue_service();
    printer_housekeeping();
    // Other programs asking for our clipboard text are answered within a pass.
    clipboard_pass();
    // A held key does not repeat into the buffer while a command has the
    // user's attention; the window still refreshes and answers its close.
    if (!shell_running()) repeat_held_key();
    if (PassParity == 1) {
        // An open box is drawn even while the program has automatic refresh off.
        if (auto_display.load() != 0 || message_box_shown()) display_refresh();
    } else {
        keyboard_follow_focus();
        if (ime_composition_shown()) ime_load_font();
        ime_poll_events();
    }
    // Every other pass looks at the window system as a whole (its signals,
    // devices and window), and the passes between take what it sent when the
    // X connection has something, so a burst waits at most one pass. Each
    // key brings its own lock states; the system's are taken only with every
    // event in, when they belong to the last one.
    if (PassParity == 1 && !window_events_waiting()) return true;
    Polled polled = poll_window_events();
    if (polled == Polled::window_closed) return false;
    if (polled == Polled::all) sync_lock_keys();
    if (PassParity == 0) sound_housekeeping();
    return true;
}

void event_loop_run() {
    while (event_loop_pass()) {}
    runtime_shutdown();
}
