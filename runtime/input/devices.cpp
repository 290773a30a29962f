// Game devices on the event thread: the GameDevice table, the snapshot queues,
// and key, mouse and controller events recorded as snapshots.
#include "runtime/input/devices_internal.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/input/mouse.h"
#include "runtime/input/mouse_internal.h"
#include <SDL.h>
#include <algorithm>
#include <cstring>

namespace {

// The enumeration wakes the event thread when it is done; this bounds a
// missed signal.
constexpr uint32_t enumeration_check_ms = 100;
constexpr int sym_num_lock = 300, sym_caps_lock = 301;

GameDevice DeviceTable[device_limit];
std::atomic<int32_t> DeviceCount{0};
std::atomic<bool> DevicesActive{false};
uint64_t SerialCounter = 0;  // event thread, under the device's lock
// Num Lock and Caps Lock as the keyboard device last recorded them; -1 before
// their first event (event thread).
int8_t LockSeen[2] = {-1, -1};

uint8_t* slot(GameDevice& d, uint32_t i) { return d.snapshots.data() + size_t((d.head + i) % d.capacity) * d.size; }

// Doubles the ring, oldest snapshot first again.
void grow(GameDevice& d) {
    std::vector<uint8_t> bigger(size_t(d.capacity) * 2 * d.size);
    for (uint32_t i = 0; i < d.count; ++i) std::memcpy(bigger.data() + size_t(i) * d.size, slot(d, i), d.size);
    d.snapshots.swap(bigger);
    d.capacity *= 2;
    d.head = 0;
}

// --- Keyboard -------------------------------------------------------------------------------

int key_button(int sym) { return (((512 - sym) ^ 0x155) & 0x1FF) + 1; }

void set_button(GameDevice& d, int button, bool down) {
    device_record(d, [&](uint8_t* s) { *snapshot_button(s, button - 1) = down ? 1 : 0; });
}

void record_key(const SDL_KeyboardEvent& key) {
    GameDevice& d = DeviceTable[0];
    const int sym = key.keysym.sym;
    if (sym <= 0) return;
    const int button = key_button(sym);
    // A lock key counts once for each change of its lock, as a whole press.
    // The window system reports a press and a release for every press of the
    // key, each with the lock's state after it; the change shows in the first.
    if (sym == sym_num_lock || sym == sym_caps_lock) {
        int8_t& seen = LockSeen[sym == sym_num_lock ? 0 : 1];
        const int8_t on = (key.keysym.mod & (sym == sym_num_lock ? KMOD_NUM : KMOD_CAPS)) != 0;
        if (seen == on) return;
        seen = on;
        set_button(d, button, true);
        set_button(d, button, false);
        return;
    }
    const bool down = key.type == SDL_KEYDOWN;
    if (down) {
        std::lock_guard<std::mutex> hold(d.lock);
        if (*snapshot_button(device_newest_locked(d), button - 1)) return;  // a repeat
    }
    set_button(d, button, down);
}

// --- Mouse ----------------------------------------------------------------------------------

// Pulses a value on one float field: set, then back to 0 in the next snapshot.
void pulse(GameDevice& d, int32_t field_a, float a, int32_t field_b = -1, float b = 0) {
    device_record(d, [&](uint8_t* s) {
        snapshot_float_set(d, s, field_a, a);
        if (field_b >= 0) snapshot_float_set(d, s, field_b, b);
    });
    device_record(d, [&](uint8_t* s) {
        snapshot_float_set(d, s, field_a, 0);
        if (field_b >= 0) snapshot_float_set(d, s, field_b, 0);
    });
}

// -1 at the picture's first pixel, +1 at its last.
float mouse_axis_value(int position, int offset, int window_size) {
    const int size = window_size - 2 * offset;
    if (size <= 1) return 0;
    const int at = std::clamp(position - offset, 0, size - 1);
    return float(at) / float(size - 1) * 2 - 1;
}

void record_mouse(const SDL_Event& event) {
    GameDevice& d = DeviceTable[1];
    if (event.type == SDL_MOUSEMOTION) {
        const SDL_MouseMotionEvent& m = event.motion;
        if (mouse_relative_mode()) {
            pulse(d, d.axes + 0, m.xrel, d.axes + 1, m.yrel);
            return;
        }
        const SDL_Surface* window = display_surface();
        if (!window) return;
        const DisplayPlacement at = display_placement();
        const float x = mouse_axis_value(m.x, at.origin_x, window->w);
        const float y = mouse_axis_value(m.y, at.origin_y, window->h);
        device_record(d, [&](uint8_t* s) {
            snapshot_float_set(d, s, 0, x);
            snapshot_float_set(d, s, 1, y);
        });
        return;
    }
    const int button = event.button.button;
    const bool down = event.type == SDL_MOUSEBUTTONDOWN;
    // The window numbers left, middle, right, as the device does.
    if (button >= 1 && button <= 3) set_button(d, button, down);
    if (down && (button == SDL_BUTTON_WHEELUP || button == SDL_BUTTON_WHEELDOWN))
        pulse(d, d.axes + 2, button == SDL_BUTTON_WHEELUP ? -1.0f : 1.0f);
}

// --- Controllers ----------------------------------------------------------------------------

GameDevice* controller_of(int sdl_index) {
    const int32_t count = DeviceCount.load();
    for (int32_t i = 2; i < count; ++i)
        if (DeviceTable[i].present && DeviceTable[i].sdl_index == sdl_index) return &DeviceTable[i];
    return nullptr;
}

float axis_value(int16_t v) { return std::clamp(float(std::max<int>(v, -32767)) / 32767.0f, -1.0f, 1.0f); }

void record_controller(const SDL_Event& event) {
    switch (event.type) {
    case SDL_JOYAXISMOTION: {
        GameDevice* d = controller_of(event.jaxis.which);
        if (!d || event.jaxis.axis >= d->sdl_axes) return;
        device_record(*d,
                      [&](uint8_t* s) { snapshot_float_set(*d, s, event.jaxis.axis, axis_value(event.jaxis.value)); });
        break;
    }
    case SDL_JOYHATMOTION: {
        GameDevice* d = controller_of(event.jhat.which);
        if (!d || event.jhat.hat >= d->sdl_hats) return;
        const uint8_t v = event.jhat.value;
        const float x = (v & SDL_HAT_LEFT) ? -1.0f : (v & SDL_HAT_RIGHT) ? 1.0f : 0.0f;
        const float y = (v & SDL_HAT_UP) ? -1.0f : (v & SDL_HAT_DOWN) ? 1.0f : 0.0f;
        const int32_t first = d->sdl_axes + 2 * event.jhat.hat;
        device_record(*d, [&](uint8_t* s) {
            snapshot_float_set(*d, s, first, x);
            snapshot_float_set(*d, s, first + 1, y);
        });
        break;
    }
    case SDL_JOYBALLMOTION: {
        GameDevice* d = controller_of(event.jball.which);
        if (!d || event.jball.ball >= d->sdl_balls) return;
        const int32_t first = d->axes + 2 * event.jball.ball;
        pulse(*d, first, event.jball.xrel, first + 1, event.jball.yrel);
        break;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        GameDevice* d = controller_of(event.jbutton.which);
        const int button = event.jbutton.button;
        if (!d || button >= d->buttons) return;
        const bool down = event.type == SDL_JOYBUTTONDOWN;
        // The latch and the state come before the snapshot and the trap, so a
        // program that has seen either reads them already set.
        if (down && button < 256) d->latches[button].store(1);
        set_button(*d, button + 1, down);
        if (down) trigger_trap_raise(uint32_t(d->ordinal), uint32_t(button + 1));
        break;
    }
    default:
        break;
    }
}

}  // namespace

// --- The table ---------------------------------------------------------------------------------

GameDevice* device_at(int32_t n) { return n >= 1 && n <= DeviceCount.load() ? &DeviceTable[n - 1] : nullptr; }

int32_t device_count() { return DeviceCount.load(); }

GameDevice* device_append(DeviceKind kind, int32_t buttons, int32_t axes, int32_t wheels) {
    const int32_t n = DeviceCount.load();
    if (n >= device_limit) return nullptr;
    GameDevice& d = DeviceTable[n];
    {
        std::lock_guard<std::mutex> hold(d.lock);
        d.present = true;
        d.kind = kind;
        d.buttons = buttons;
        d.axes = axes;
        d.wheels = wheels;
        d.size = uint32_t(buttons + 4 * (axes + wheels) + 8);
        d.capacity = d.count = 2;
        d.head = 0;
        d.limit = kind == device_keyboard ? keyboard_snapshot_limit : other_snapshot_limit;
        d.snapshots.assign(size_t(d.capacity) * d.size, 0);
        for (auto& latch : d.latches) latch.store(0);
    }
    DeviceCount.store(n + 1);
    return &d;
}

void devices_activate() { DevicesActive.store(true); }

void devices_reset() {
    DevicesActive.store(false);
    LockSeen[0] = LockSeen[1] = -1;
    DeviceCount.store(0);
    for (GameDevice& d : DeviceTable) {
        std::lock_guard<std::mutex> hold(d.lock);
        d.present = false;
        d.description.clear();
        d.description_complete = true;
        d.snapshots.clear();
        d.size = d.capacity = d.count = d.head = 0;
        d.name.clear();
        d.joystick = nullptr;
        d.sdl_index = -1;
        d.ordinal = 0;
    }
}

uint8_t* device_snapshot_locked(GameDevice& d, uint32_t i) { return slot(d, i); }

uint8_t* device_newest_locked(GameDevice& d) { return slot(d, d.count - 1); }

void device_record_begin(GameDevice& d) {
    if (d.count == d.capacity) {
        if (d.capacity < d.limit) {
            grow(d);
        } else {
            d.head = (d.head + 1) % d.capacity;
            --d.count;
        }
    }
    uint8_t* fresh = slot(d, d.count);
    std::memcpy(fresh, slot(d, d.count - 1), d.size);
    ++d.count;
    const uint64_t serial = ++SerialCounter;
    std::memcpy(fresh + d.size - 8, &serial, 8);
}

float snapshot_float(const GameDevice& d, const uint8_t* s, int32_t i) {
    float v = 0;
    std::memcpy(&v, s + d.buttons + 4 * i, 4);
    return v;
}

void snapshot_float_set(const GameDevice& d, uint8_t* s, int32_t i, float v) {
    if (i < 0 || i >= d.axes + d.wheels) return;
    std::memcpy(s + d.buttons + 4 * i, &v, 4);
}

uint64_t snapshot_serial(const GameDevice& d, const uint8_t* s) {
    uint64_t serial = 0;
    std::memcpy(&serial, s + d.size - 8, 8);
    return serial;
}

// --- Event thread ----------------------------------------------------------------------------

void device_handle_event(const SDL_Event& event) {
    // A program that never asked for devices pays this one load.
    if (!DevicesActive.load(std::memory_order_relaxed)) return;
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        record_key(event.key);
        break;
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        record_mouse(event);
        break;
    default:
        record_controller(event);
        break;
    }
}

void devices_pass() {
    int32_t asked = 1;
    if (!device_pause_state.compare_exchange_strong(asked, 2)) return;
    program_wakeup.signal();
    while (!wait_until(
        event_wakeup, [] { return device_pause_state.load() != 2; }, enumeration_check_ms))
        if (stop_threads.load()) return;
}
