// Device enumeration: the keyboard and the mouse at the first call, then every
// controller SDL reports, a returning one re-attached to its old number.
#include "runtime/input/devices_internal.h"
#include "runtime/core/requests.h"
#include <SDL.h>
#include <algorithm>
#include <cstring>

namespace {

constexpr size_t disconnected_length = 14;

void describe_controller(GameDevice& d) {
    d.description = "[CONTROLLER][[NAME][" + d.name + "]]";
    if (d.buttons) d.description += "[BUTTON]";
    if (d.axes) d.description += "[AXIS]";
    if (d.wheels) d.description += "[WHEEL]";
    d.description_complete = true;
}

void mark_absent(GameDevice& d) {
    std::lock_guard<std::mutex> hold(d.lock);
    d.present = false;
    d.joystick = nullptr;
    d.sdl_index = -1;
    if (!d.description_complete) return;
    d.description += disconnected_mark;
    d.description_complete = false;
}

// A controller gone away leaves no button held and no stick pushed.
void record_released(GameDevice& d) {
    std::lock_guard<std::mutex> hold(d.lock);
    uint8_t* newest = device_newest_locked(d);
    bool all_zero = true;
    for (uint32_t i = 0; i < d.size - 8; ++i) all_zero = all_zero && newest[i] == 0;
    if (all_zero) return;
    device_record_begin(d);
    std::memset(device_newest_locked(d), 0, d.size - 8);
}

struct FoundJoystick {
    SDL_Joystick* joystick;
    int index;
    std::string name;
    int buttons, axes, balls, hats;
};

FoundJoystick open_joystick(int index) {
    FoundJoystick f{SDL_JoystickOpen(index), index, "", 0, 0, 0, 0};
    if (!f.joystick) return f;
    const char* name = SDL_JoystickName(index);
    f.name = name ? std::string(name, strnlen(name, controller_name_limit)) : "";
    f.buttons = SDL_JoystickNumButtons(f.joystick);
    f.axes = SDL_JoystickNumAxes(f.joystick);
    f.balls = SDL_JoystickNumBalls(f.joystick);
    f.hats = SDL_JoystickNumHats(f.joystick);
    return f;
}

bool same_controller(const GameDevice& d, const FoundJoystick& f) {
    return d.kind == device_controller && !d.present && d.name == f.name && d.sdl_buttons == f.buttons &&
        d.sdl_axes == f.axes && d.sdl_balls == f.balls && d.sdl_hats == f.hats;
}

void attach(GameDevice& d, const FoundJoystick& f) {
    std::lock_guard<std::mutex> hold(d.lock);
    d.present = true;
    d.joystick = f.joystick;
    d.sdl_index = f.index;
}

// What changed while the controller was away becomes snapshots, one per change.
void catch_up_live_state(GameDevice& d) {
    auto record_if = [&d](bool differs, auto change) {
        if (!differs) return;
        std::lock_guard<std::mutex> hold(d.lock);
        device_record_begin(d);
        change(device_newest_locked(d));
    };
    auto newest_float = [&d](int32_t i) {
        std::lock_guard<std::mutex> hold(d.lock);
        return snapshot_float(d, device_newest_locked(d), i);
    };
    for (int b = 0; b < d.sdl_buttons; ++b) {
        const uint8_t live = SDL_JoystickGetButton(d.joystick, b) ? 1 : 0;
        uint8_t held = 0;
        {
            std::lock_guard<std::mutex> hold(d.lock);
            held = *snapshot_button(device_newest_locked(d), b);
        }
        record_if(live != held, [&](uint8_t* s) { *snapshot_button(s, b) = live; });
    }
    for (int a = 0; a < d.sdl_axes; ++a) {
        const int16_t raw = SDL_JoystickGetAxis(d.joystick, a);
        const float live = std::max(-1.0f, std::min(1.0f, float(raw < -32767 ? -32767 : raw) / 32767.0f));
        record_if(live != newest_float(a), [&](uint8_t* s) { snapshot_float_set(d, s, a, live); });
    }
    for (int h = 0; h < d.sdl_hats; ++h) {
        const uint8_t v = SDL_JoystickGetHat(d.joystick, h);
        const float x = (v & SDL_HAT_LEFT) ? -1.0f : (v & SDL_HAT_RIGHT) ? 1.0f : 0.0f;
        const float y = (v & SDL_HAT_UP) ? -1.0f : (v & SDL_HAT_DOWN) ? 1.0f : 0.0f;
        const int32_t first = d.sdl_axes + 2 * h;
        record_if(x != newest_float(first) || y != newest_float(first + 1), [&](uint8_t* s) {
            snapshot_float_set(d, s, first, x);
            snapshot_float_set(d, s, first + 1, y);
        });
    }
}

void add_controller(const FoundJoystick& f, int32_t ordinal) {
    GameDevice* d = device_append(device_controller, f.buttons, f.axes + 2 * f.hats, 2 * f.balls);
    if (!d) {
        SDL_JoystickClose(f.joystick);
        return;
    }
    std::lock_guard<std::mutex> hold(d->lock);
    d->name = f.name;
    d->joystick = f.joystick;
    d->sdl_index = f.index;
    d->ordinal = ordinal;
    d->sdl_buttons = f.buttons;
    d->sdl_axes = f.axes;
    d->sdl_balls = f.balls;
    d->sdl_hats = f.hats;
    describe_controller(*d);
}

// The event thread does this while the program waits: no event touches the
// devices half-way through.
void enumerate_now() {
    if (device_count() == 0) {
        device_append(device_keyboard, keyboard_device_buttons, 0, 0)->description = "[KEYBOARD][BUTTON]";
        device_append(device_mouse, 3, 2, 3)->description = "[MOUSE][BUTTON][AXIS][WHEEL]";
        devices_activate();
    }
    SDL_JoystickEventState(SDL_IGNORE);
    int32_t controllers = 0;
    bool was_present[device_limit] = {};
    for (int32_t i = 1; i <= device_count(); ++i) {
        GameDevice& d = *device_at(i);
        if (d.kind != device_controller) continue;
        ++controllers;
        was_present[i - 1] = d.present;
        if (d.joystick) SDL_JoystickClose(d.joystick);
        mark_absent(d);
    }
    // Starting the subsystem again is what makes SDL look for controllers anew.
    if (SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    const int found = SDL_NumJoysticks();
    for (int index = 0; index < found; ++index) {
        const FoundJoystick f = open_joystick(index);
        if (!f.joystick) continue;
        GameDevice* old = nullptr;
        for (int32_t i = 3; i <= device_count() && !old; ++i)
            if (same_controller(*device_at(i), f)) old = device_at(i);
        if (!old) {
            add_controller(f, ++controllers);
            continue;
        }
        attach(*old, f);
        {
            std::lock_guard<std::mutex> hold(old->lock);
            old->description.resize(old->description.size() - disconnected_length);
            old->description_complete = true;
        }
        SDL_JoystickUpdate();
        catch_up_live_state(*old);
    }
    for (int32_t i = 3; i <= device_count(); ++i)
        if (was_present[i - 1] && !device_at(i)->present) record_released(*device_at(i));
    if (found > 0) SDL_JoystickEventState(SDL_ENABLE);
}

}  // namespace

int32_t devices_enumerate() {
    event_request(EventRequestKind::once, enumerate_now, true);
    return device_count();
}
