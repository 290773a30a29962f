// Game devices in the running runtime: keys and mouse events pushed into the
// window's queue, and a virtual controller of SDL2 (the library under
// sdl12-compat) plugged in, moved through pushed joystick events and unplugged.
#include <dlfcn.h>
#include <string>
#include "runtime/core/requests.h"
#include "runtime/core/strings.h"
#include "runtime/core/traps.h"
#include "runtime/input/devices.h"
#include "tests/input/mouse_loop_support.h"

namespace {

using namespace looptest;

std::string text(StrDesc* s) { return std::string(str_view(s)); }

void push_key(bool down, SDLKey sym) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.type = e.type;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    push(e);
}

void push_joy(Uint8 type, Uint8 element, int value) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_JOYAXISMOTION) e.jaxis = SDL_JoyAxisEvent{type, 0, element, Sint16(value)};
    if (type == SDL_JOYHATMOTION) e.jhat = SDL_JoyHatEvent{type, 0, element, Uint8(value)};
    if (type == SDL_JOYBUTTONDOWN || type == SDL_JOYBUTTONUP)
        e.jbutton = SDL_JoyButtonEvent{type, 0, element, Uint8(type == SDL_JOYBUTTONDOWN)};
    push(e);
}

// The next snapshot of any device, waited for.
int32_t next_input() {
    int32_t device = 0;
    poll_until([&] { return (device = device_input(0, 0)) != 0; }, "a device snapshot");
    return device;
}

int keys_and_mouse_program(void*) {
    wait_for_window();
    check(devices_enumerate() == 2, "the keyboard and the mouse");
    check(text(device_description(1, 1)) == "[KEYBOARD][BUTTON]", "the keyboard's description");
    check(text(device_description(2, 1)) == "[MOUSE][BUTTON][AXIS][WHEEL]", "the mouse's description");
    check(device_button_count(1, 1) == 512 && device_axis_count(2, 1) == 2 && device_wheel_count(2, 1) == 3,
          "the counts");
    check(device_input(0, 0) == 0, "nothing pending");
    push_key(true, SDLK_a);
    push_key(true, SDLK_a);  // a repeat records nothing
    push_key(false, SDLK_a);
    const int a_button = 203;
    check(next_input() == 1 && device_button_change(a_button) == -1 && device_button(a_button, 1) == -1, "the press");
    check(next_input() == 1 && device_button_change(a_button) == 1, "the release");
    check(device_input(0, 0) == 0, "the repeat added nothing");

    push_button(true, SDL_BUTTON_WHEELDOWN, 0, 0);
    push_motion(639, 0, 5, 5);
    check(next_input() == 2 && device_wheel(3) == 1.0f, "a notch down");
    check(next_input() == 2 && device_wheel(3) == 0.0f, "and back");
    check(next_input() == 2 && device_axis(1) == 1.0f && device_axis(2) == -1.0f, "the window's corner");

    check(device_button(0, 1) == 0 && error_raised(5), "button 0");
    check(device_axis(3) == 0 && error_raised(5), "a third mouse axis");
    check(device_input(3, 1) == 0 && error_raised(5), "device 3 with two devices");
    check(stick_value(0, 0, 0) == 128 && stick_trigger(0, 0, 0) == 0, "no controller");
    check(stick_value(-1, 0, 0) == 0 && error_raised(5), "stick -1");

    // Across devices the oldest event not yet read comes first: a click, the
    // key f, then a motion, all recorded before the program looks.
    const uint64_t before = mouse_queue_written();
    push_button(true, SDL_BUTTON_LEFT, 5, 5);
    push_button(false, SDL_BUTTON_LEFT, 5, 5);
    push_key(true, SDLK_f);
    push_key(false, SDLK_f);
    push_motion(9, 9, 4, 4);
    wait_recorded(before, 4);
    std::string order;
    for (int32_t d; (d = device_input(0, 0)) != 0;) order += std::to_string(d);
    check(order == "22112", "the order of the devices' events", std::stod("0" + order));
    program_ok();
}

TEST(DevicesLoop, KeyboardAndMouseWithoutControllers) { expect_program_ok(keys_and_mouse_program); }

// SDL2's virtual joysticks, reached in the library sdl12-compat loaded.
struct VirtualJoysticks {
    int (*init)(uint32_t);
    int (*attach)(int type, int axes, int buttons, int hats);
    int (*detach)(int index);
};
VirtualJoysticks sdl2() {
    void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    check(lib != nullptr, "SDL2 under sdl12-compat");
    return {reinterpret_cast<int (*)(uint32_t)>(dlsym(lib, "SDL_InitSubSystem")),
            reinterpret_cast<int (*)(int, int, int, int)>(dlsym(lib, "SDL_JoystickAttachVirtual")),
            reinterpret_cast<int (*)(int)>(dlsym(lib, "SDL_JoystickDetachVirtual"))};
}
int VirtualIndex = -1;
void plug() {
    event_request(
        EventRequestKind::once,
        [] {
            const VirtualJoysticks v = sdl2();
            // SDL2 drops its virtual joysticks when the joystick subsystem ends:
            // two references of ours outlast the enumeration's restart of it.
            v.init(SDL_INIT_JOYSTICK);
            v.init(SDL_INIT_JOYSTICK);
            VirtualIndex = v.attach(1, 2, 4, 1);
        },
        true);
    check(VirtualIndex >= 0, "a virtual controller");
}
void unplug() {
    event_request(
        EventRequestKind::once, [] { sdl2().detach(VirtualIndex); }, true);
}

int TrapRuns = 0;
void count_trap(uint32_t handler, uint32_t param1, uint32_t) { TrapRuns += handler == 7 && param1 == 70; }

int controller_program(void*) {
    wait_for_window();
    plug();
    check(devices_enumerate() == 3, "the controller is device 3");
    std::string name;
    event_request(
        EventRequestKind::once, [&] { name = SDL_JoystickName(0); }, true);
    const std::string described = "[CONTROLLER][[NAME][" + name + "]][BUTTON][AXIS]";
    check(text(device_description(3, 1)) == described, "the controller's description");
    check(device_button_count(3, 1) == 4 && device_axis_count(3, 1) == 4 && device_wheel_count(3, 1) == 0,
          "4 buttons, 2 axes and a hat's 2, no wheels");
    check(stick_value(0, 0, 0) == 127, "centred");

    trap_handler_runner_set(count_trap);
    trigger_trap_set(0, 0, 0, 7, 70, 0);
    trigger_trap_set_state(1, 1, trap_on);
    push_joy(SDL_JOYAXISMOTION, 0, -32768);
    push_joy(SDL_JOYHATMOTION, 0, SDL_HAT_LEFTUP);
    push_joy(SDL_JOYBUTTONDOWN, 0, 0);
    check(next_input() == 3 && device_axis(1) == -1.0f, "full left");
    check(stick_value(0, 0, 0) == 1, "full left reads 1");
    check(next_input() == 3 && device_axis(3) == -1.0f && device_axis(4) == -1.0f, "the hat up-left");
    check(next_input() == 3 && device_button(1, 1) == -1, "button 1 down");
    check(event_pending.load() != 0, "the trap raised an event");
    statement_check(10);
    check(TrapRuns == 1, "the trap's handler ran between statements", TrapRuns);
    check(stick_trigger(1, 0, 0) == -1, "button 1 is down now");
    check(stick_trigger(0, 0, 0) == -1 && stick_trigger(0, 0, 0) == 0, "the latch is read once");
    push_joy(SDL_JOYAXISMOTION, 0, 32767);
    check(next_input() == 3 && stick_value(0, 0, 0) == 254, "full right reads 254");

    unplug();
    check(devices_enumerate() == 3, "the device keeps its number");
    check(text(device_description(3, 1)) == described + "[DISCONNECTED]", "unplugged");
    check(next_input() == 3 && device_button(1, 1) == 0 && device_axis(1) == 0, "an unplugged controller is still");
    check(stick_value(0, 0, 0) == 127, "and reads centred");
    plug();
    check(devices_enumerate() == 3 && text(device_description(3, 1)) == described, "plugged back in");
    trigger_trap_set(1, 0, 0, 7, 70, 0);
    check(error_raised(5), "an odd trigger number");
    program_ok();
}

TEST(DevicesLoop, VirtualControllerThroughEnumeration) { expect_program_ok(controller_program); }

}  // namespace
