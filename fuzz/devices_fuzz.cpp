// Game devices on arbitrary events and arbitrary device, button, axis and
// wheel numbers: the keyboard, the mouse and two controllers whose buttons,
// axes, hats and balls come from the input take key, mouse and controller
// events (some for controllers that do not exist), while the program's
// queries ask about any number. A bad number is error 5 and a neutral value,
// never a read outside a snapshot; the queues stay within their limits.
//
// Input: 8 bytes of controller shapes, then 6-byte steps.
#include <SDL.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/input/devices.h"
#include "runtime/input/devices_internal.h"

namespace {

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "devices_fuzz: %s\n", what);
    std::abort();
}

void add_controller(int index, const uint8_t* shape) {
    const int buttons = shape[0] % 40, axes = shape[1] % 9, hats = shape[2] % 4, balls = shape[3] % 3;
    GameDevice* d = device_append(device_controller, buttons, axes + 2 * hats, 2 * balls);
    if (!d) return;
    d->present = true;
    d->description = "[CONTROLLER]";
    d->sdl_index = index;
    d->ordinal = index + 1;
    d->sdl_buttons = buttons;
    d->sdl_axes = axes;
    d->sdl_hats = hats;
    d->sdl_balls = balls;
}

SDL_Event event_of(const uint8_t* p) {
    SDL_Event e{};
    const uint8_t which = p[1] % 3, item = p[2];
    const int16_t value = static_cast<int16_t>(p[3] | p[4] << 8);
    switch (p[0] % 9) {
    case 0:
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = static_cast<SDLKey>((p[2] | p[3] << 8) % 400);
        break;
    case 1:
        e.type = SDL_KEYUP;
        e.key.keysym.sym = static_cast<SDLKey>((p[2] | p[3] << 8) % 400);
        break;
    case 2:
        e.type = SDL_MOUSEMOTION;
        e.motion.x = p[2];
        e.motion.y = p[3];
        e.motion.xrel = value;
        break;
    case 3:
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.button = item;
        break;
    case 4:
        e.type = SDL_MOUSEBUTTONUP;
        e.button.button = item;
        break;
    case 5:
        e.type = SDL_JOYAXISMOTION;
        e.jaxis.which = which;
        e.jaxis.axis = item;
        e.jaxis.value = value;
        break;
    case 6:
        e.type = SDL_JOYHATMOTION;
        e.jhat.which = which;
        e.jhat.hat = item;
        e.jhat.value = p[3];
        break;
    case 7:
        e.type = SDL_JOYBALLMOTION;
        e.jball.which = which;
        e.jball.ball = item;
        e.jball.xrel = value;
        e.jball.yrel = static_cast<int16_t>(p[5] << 8);
        break;
    default:
        e.type = p[5] & 1 ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
        e.jbutton.which = which;
        e.jbutton.button = item;
        break;
    }
    e.key.type = e.type;  // the type leads every member of the union
    return e;
}

void query(const uint8_t* p) {
    const int32_t n = static_cast<int16_t>(p[1] | p[2] << 8), m = static_cast<int8_t>(p[3]);
    const uint32_t passed = p[4] & 3;
    switch (p[0] % 11) {
    case 0:
        device_description(n, passed), str_release_temps(1, 0);
        break;
    case 1:
        check(device_input(n, passed) >= -1, "device_input gave a value below -1");
        break;
    case 2:
        check(device_button(n, passed) >= -1, "device_button gave a value below -1");
        break;
    case 3:
        check(std::abs(device_button_change(n)) <= 1, "a button change beyond -1..1");
        break;
    case 4:
        check(std::isfinite(device_axis(n)), "an axis that is not a number");
        break;
    case 5:
        check(std::isfinite(device_wheel(n)), "a wheel that is not a number");
        break;
    case 6:
        check(device_button_count(n, passed) >= 0, "a negative button count");
        break;
    case 7:
        check(device_axis_count(n, passed) >= 0, "a negative axis count");
        break;
    case 8:
        check(device_wheel_count(n, passed) >= 0, "a negative wheel count");
        break;
    case 9: {
        int32_t v = stick_value(n, m, passed);
        check(v >= 0 && v <= 255, "a stick value outside a byte");
        break;
    }
    default:
        stick_trigger(n, m, passed);
        break;
    }
    const int32_t e = error_code.exchange(0);
    check(e == 0 || e == 5, "a device query raised an error other than 5");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    static bool started = false;
    if (!started) {
        started = true;
        low_memory_clear();
        strings_startup();
    }
    flags_reset();
    devices_reset();
    device_append(device_keyboard, keyboard_device_buttons, 0, 0)->description = "[KEYBOARD][BUTTON]";
    device_append(device_mouse, 3, 2, 3)->description = "[MOUSE][BUTTON][AXIS][WHEEL]";
    add_controller(0, data);
    add_controller(1, data + 4);
    devices_activate();
    for (size_t at = 8; at + 6 <= size; at += 6) {
        const uint8_t* p = data + at;
        if (p[5] & 0x80)
            query(p);
        else
            device_handle_event(event_of(p));
    }
    for (int32_t i = 1; i <= device_count(); ++i) {
        GameDevice* d = device_at(i);
        check(d->count <= d->capacity && d->capacity <= d->limit, "a snapshot queue beyond its limit");
    }
    return 0;
}
