// The event thread: timer ticks, tones, refresh on odd passes, window events
// on even ones; every pass sleeps 16 ms, which bounds its processor use.
#include "runtime/core/event_loop.h"
#include "runtime/core/clock.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/display/display.h"
#include "runtime/input/devices.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/mouse.h"
#include "runtime/platform/message_box.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/tones.h"
#include "runtime/system/printer.h"
#include <SDL.h>

namespace {

int PassParity = 0;

void wait_for_device_enumeration() {
    if (device_pause_state.load() != 1) return;
    device_pause_state = 2;
    while (device_pause_state.load() == 2 && !stop_threads.load()) SDL_Delay(1);
}

// Returns false when the window was closed.
bool poll_window_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (message_box_take_event(event)) continue;
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
            case SDL_JOYAXISMOTION:
            case SDL_JOYBALLMOTION:
            case SDL_JOYHATMOTION:
            case SDL_JOYBUTTONDOWN:
            case SDL_JOYBUTTONUP:
                device_handle_event(event);
                break;
            case SDL_QUIT:
                return false;
            default:
                break;
        }
    }
    return true;
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
    wait_for_device_enumeration();
    event_loop_store_ticks(clock_ms_of_day());
    SDL_Delay(15);
    SDL_Delay(1);
    if (exit_requested.load()) return false;
    PassParity ^= 1;
    tone_queue_service();
    printer_housekeeping();
    if (PassParity == 1) {
        // An open box is drawn even while the program has automatic refresh off.
        if (auto_display.load() != 0 || message_box_shown()) display_refresh();
        return true;
    }
    keyboard_follow_focus();
    if (ime_composition_shown()) ime_load_font();
    ime_poll_events();
    sync_lock_keys();
    if (!poll_window_events()) return false;
    sound_housekeeping();
    return true;
}

void event_loop_run() {
    while (event_loop_pass()) {
    }
    runtime_shutdown();
}
