// What the program asks of game devices: descriptions and counts, stepping
// through snapshots, buttons, axes and wheels, and the classic stick and
// trigger queries with their traps.
#include "runtime/input/devices_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/numbers.h"
#include "runtime/core/strings.h"
#include "runtime/core/traps.h"
#include <algorithm>
#include <cmath>

namespace {

constexpr float stick_dead_zone = 0.01f;
constexpr int32_t stick_none = 128;

int32_t Selected = 0;  // program thread: the device last selected

// The device asked for, or the selected one; error 5 when there is none.
GameDevice* device_or_selected(int32_t device, uint32_t passed) {
    GameDevice* d = device_at((passed & 1) ? device : Selected);
    if (!d) runtime_error(error_illegal_function_call);
    return d;
}

bool step(GameDevice& d) {
    std::lock_guard<std::mutex> hold(d.lock);
    if (d.count < 3) return false;
    d.head = (d.head + 1) % d.capacity;
    --d.count;
    return true;
}

// What `read` finds in the selected device's snapshots; error 5 for an
// element outside 1 ... `limit`.
template <typename Read>
auto read_selected(int32_t n, int32_t GameDevice::*limit, Read read) {
    GameDevice* d = device_at(Selected);
    if (!d || n < 1 || n > d->*limit) {
        runtime_error(error_illegal_function_call);
        return decltype(read(*d)){};
    }
    std::lock_guard<std::mutex> hold(d->lock);
    return read(*d);
}

void ensure_enumerated() {
    if (device_count() == 0) devices_enumerate();
}

// The c-th controller (from 1) that passes `fits`.
template <typename Fits>
GameDevice* nth_controller(int32_t c, Fits fits) {
    for (int32_t i = 1; i <= device_count(); ++i) {
        GameDevice* d = device_at(i);
        if (d->kind == device_controller && fits(*d) && --c == 0) return d;
    }
    return nullptr;
}

// Button and controller of a trigger number; false for numbers no button has.
bool trigger_decode(int32_t n, int32_t c, uint32_t passed, int32_t* button, int32_t* controller) {
    if (n < 0 || ((passed & 1) && c < 1)) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    *controller = (passed & 1) ? c : (n & 2) ? 2 : 1;
    if (!(passed & 1)) n &= ~2;
    *button = n / 4 + 1;
    return true;
}

}  // namespace

StrDesc* device_description(int32_t device, uint32_t passed) {
    GameDevice* d = device_or_selected(device, passed);
    if (!d) return str_from_bytes("", 0);
    std::lock_guard<std::mutex> hold(d->lock);
    return str_from_bytes(d->description.data(), uint32_t(d->description.size()));
}

int32_t device_input(int32_t device, uint32_t passed) {
    if (passed & 1) {
        GameDevice* d = device_at(device);
        if (!d) {
            runtime_error(error_illegal_function_call);
            return 0;
        }
        Selected = device;
        return step(*d) ? -1 : 0;
    }
    int32_t oldest = 0;
    uint64_t oldest_serial = 0;
    for (int32_t i = 1; i <= device_count(); ++i) {
        GameDevice& d = *device_at(i);
        std::lock_guard<std::mutex> hold(d.lock);
        if (d.count < 3) continue;
        // The event not yet read is the snapshot after the current one.
        const uint64_t serial = snapshot_serial(d, device_snapshot_locked(d, 2));
        if (oldest == 0 || serial < oldest_serial) {
            oldest = i;
            oldest_serial = serial;
        }
    }
    if (oldest == 0) return 0;
    Selected = oldest;
    step(*device_at(oldest));
    return oldest;
}

int32_t device_button(int32_t n, uint32_t passed) {
    if (!(passed & 1)) n = 1;
    return read_selected(n, &GameDevice::buttons, [n](GameDevice& d) {
        return *snapshot_button(device_snapshot_locked(d, 1), n - 1) ? int32_t(-1) : int32_t(0);
    });
}

int32_t device_button_change(int32_t n) {
    return read_selected(n, &GameDevice::buttons, [n](GameDevice& d) {
        const uint8_t before = *snapshot_button(device_snapshot_locked(d, 0), n - 1);
        const uint8_t now = *snapshot_button(device_snapshot_locked(d, 1), n - 1);
        return now == before ? int32_t(0) : now ? int32_t(-1) : int32_t(1);
    });
}

float device_axis(int32_t n) {
    return read_selected(n, &GameDevice::axes,
                         [n](GameDevice& d) { return snapshot_float(d, device_snapshot_locked(d, 1), n - 1); });
}

float device_wheel(int32_t n) {
    return read_selected(n, &GameDevice::wheels, [n](GameDevice& d) {
        return snapshot_float(d, device_snapshot_locked(d, 1), d.axes + n - 1);
    });
}

int32_t device_button_count(int32_t device, uint32_t passed) {
    GameDevice* d = device_or_selected(device, passed);
    return d ? d->buttons : 0;
}

int32_t device_axis_count(int32_t device, uint32_t passed) {
    GameDevice* d = device_or_selected(device, passed);
    return d ? d->axes : 0;
}

int32_t device_wheel_count(int32_t device, uint32_t passed) {
    GameDevice* d = device_or_selected(device, passed);
    return d ? d->wheels : 0;
}

int32_t stick_value(int32_t n, int32_t p, uint32_t passed) {
    if (!(passed & 1)) p = 1;
    if (n < 0 || n > 65535 || p < 1 || p > 65535) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    ensure_enumerated();
    const int32_t axis = (n & 1) + 2 * (p - 1);
    GameDevice* d = nth_controller(n / 2 + 1, [axis](const GameDevice& g) { return g.axes > axis; });
    if (!d) return stick_none;
    float v = 0;
    {
        std::lock_guard<std::mutex> hold(d->lock);
        v = snapshot_float(*d, device_newest_locked(*d), axis);
    }
    if (std::fabs(v) <= stick_dead_zone) v = 0;
    return std::clamp(round_single_to_int(v * 127) + 127, 1, 254);
}

int32_t stick_trigger(int32_t n, int32_t c, uint32_t passed) {
    int32_t button = 0, controller = 0;
    if (!trigger_decode(n, c, passed, &button, &controller)) return 0;
    ensure_enumerated();
    GameDevice* d = nth_controller(controller, [button](const GameDevice& g) { return g.buttons >= button; });
    if (!d) return 0;
    if (n & 1) {
        std::lock_guard<std::mutex> hold(d->lock);
        return *snapshot_button(device_newest_locked(*d), button - 1) ? -1 : 0;
    }
    if (button > 256) return 0;
    return d->latches[button - 1].exchange(0) ? -1 : 0;
}

void trigger_trap_set(int32_t n, int32_t c, uint32_t passed, uint32_t handler, uint32_t param1, uint32_t param2) {
    int32_t button = 0, controller = 0;
    if (!trigger_decode(n, c, passed, &button, &controller)) return;
    if (n & 1) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (button <= int32_t(trigger_trap_buttons) && controller <= int32_t(trigger_trap_controllers))
        trigger_trap_attach(uint32_t(controller), uint32_t(button), handler, param1, param2);
    ensure_enumerated();
}
