// Pieces the device files share with each other and with their tests: the
// GameDevice table and the snapshot queue of each device.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include "runtime/input/devices.h"

// --- For the rest of the runtime and the tests ---
union SDL_Event;

// --- Event thread -------------------------------------------------------------------
// Key, mouse and controller events, before the keyboard and the mouse see them.
void device_handle_event(const SDL_Event& event);
// The start of every event-loop pass: while device enumeration asks the event
// thread to stand still (device_pause_state 1), it answers 2 and waits until
// the enumeration stores 0 or the shutdown begins.
void devices_pass();

// --- Shared by the subject's own files ---
struct _SDL_Joystick;

enum DeviceKind : uint8_t { device_controller = 1, device_keyboard = 2, device_mouse = 3 };

constexpr int32_t keyboard_device_buttons = 512;
constexpr uint32_t keyboard_snapshot_limit = 256, other_snapshot_limit = 1024;
constexpr uint32_t controller_name_limit = 1024;
constexpr const char* disconnected_mark = "[DISCONNECTED]";

// One device. Snapshots are written by the event thread and stepped and read
// by the program thread, each under `lock`, which no side holds for longer than
// one snapshot's copy (or a doubling of the queue).
struct GameDevice {
    bool present = false;
    DeviceKind kind = device_controller;
    std::string description;
    bool description_complete = true;
    int32_t buttons = 0, axes = 0, wheels = 0;
    // A ring of `capacity` snapshots of `size` bytes; `count` in use from `head`,
    // snapshot 0 the previous state, 1 the current, later ones pending.
    std::vector<uint8_t> snapshots;
    uint32_t size = 0, capacity = 0, count = 0, head = 0, limit = 0;
    std::atomic<uint8_t> latches[256] = {};
    std::string name;
    _SDL_Joystick* joystick = nullptr;
    int32_t sdl_index = -1, ordinal = 0;
    int32_t sdl_buttons = 0, sdl_axes = 0, sdl_balls = 0, sdl_hats = 0;
    mutable std::mutex lock;
};

// Device n from 1, null outside 1 ... count.
GameDevice* device_at(int32_t n);
int32_t device_count();
// Event thread (enumeration): appends a device with two zero snapshots.
GameDevice* device_append(DeviceKind kind, int32_t buttons, int32_t axes, int32_t wheels);
// From now on events are recorded.
void devices_activate();

// A copy of the newest snapshot changed by `change` becomes the newest; the
// oldest goes when the queue is at its limit (event thread).
template <typename Change>
void device_record(GameDevice& d, Change change);
uint8_t* device_newest_locked(GameDevice& d);
void device_record_begin(GameDevice& d);  // with the lock held: room and the copy

// Snapshot fields: buttons, then axes, then wheels, then the serial number.
inline uint8_t* snapshot_button(uint8_t* s, int32_t i) { return s + i; }
float snapshot_float(const GameDevice& d, const uint8_t* s, int32_t i);  // axes from 0, wheels after
void snapshot_float_set(const GameDevice& d, uint8_t* s, int32_t i, float v);
uint64_t snapshot_serial(const GameDevice& d, const uint8_t* s);
// Snapshot i of the queue (lock held).
uint8_t* device_snapshot_locked(GameDevice& d, uint32_t i);

// Forgets every device (tests).
void devices_reset();

template <typename Change>
void device_record(GameDevice& d, Change change) {
    std::lock_guard<std::mutex> hold(d.lock);
    device_record_begin(d);
    change(device_newest_locked(d));
}
