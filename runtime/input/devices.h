// Game devices: the keyboard, the mouse and every controller as numbered
// devices with a description, buttons, axes and wheels, each with a queue of
// whole-state snapshots the program steps through; and the two classic
// controller queries. Dormant until the program first asks for devices.
#pragma once
#include <cstdint>

struct StrDesc;

constexpr int32_t device_limit = 10;

// --- The program's statements (program thread) -----------------------------------
// Finds the controllers attached now (a controller seen before takes its number
// back) and returns the device count: 1 the keyboard, 2 the mouse, then the
// controllers. Runs on the event thread while the program waits.
int32_t devices_enumerate();
// The description of a device (passed bit 0), or of the last selected one.
StrDesc* device_description(int32_t device, uint32_t passed);
// With a device (passed bit 0): selects it and steps to its next snapshot, -1
// when it had one, else 0. Without: steps the device whose next snapshot is the
// oldest and returns its number, 0 when none has one.
int32_t device_input(int32_t device, uint32_t passed);
// The selected device's current snapshot: -1 while button n is down; -1 when
// it went down since the previous snapshot, 1 when it went up, else 0.
int32_t device_button(int32_t n, uint32_t passed);
int32_t device_button_change(int32_t n);
float device_axis(int32_t n);
float device_wheel(int32_t n);
int32_t device_button_count(int32_t device, uint32_t passed);
int32_t device_axis_count(int32_t device, uint32_t passed);
int32_t device_wheel_count(int32_t device, uint32_t passed);
// Axis (n AND 1) + 2 (p - 1) of controller n / 2 (from 0) as 1 ... 254, 127
// centred; 128 when there is no such controller. p is passed bit 0.
int32_t stick_value(int32_t n, int32_t p, uint32_t passed);
// Button n / 4 + 1 of a controller (c, passed bit 0; else 1, or 2 when bit 1 of
// n is set): an odd n asks whether it is down now, an even one whether it was
// pressed since last asked.
int32_t stick_trigger(int32_t n, int32_t c, uint32_t passed);
// Arms the trap of that button (decoded as stick_trigger does; n even).
void trigger_trap_set(int32_t n, int32_t c, uint32_t passed, uint32_t handler, uint32_t param1, uint32_t param2);
