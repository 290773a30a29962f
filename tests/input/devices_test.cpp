// Snapshot queues of game devices: doubling to their limit, then losing the
// oldest; the lock keys' paired snapshots.
#include <gtest/gtest.h>
#include <SDL.h>
#include <string>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/input/devices_internal.h"

namespace {

void key(bool down, int sym, int mod = 0) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.type = e.type;
    e.key.keysym.sym = SDLKey(sym);
    e.key.keysym.mod = SDLMod(mod);
    device_handle_event(e);
}

class DeviceSnapshots : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        devices_reset();
        device_append(device_keyboard, keyboard_device_buttons, 0, 0);
        device_append(device_mouse, 3, 2, 3);
        devices_activate();
    }
    // Steps device 1 to its newest snapshot; how many steps it took.
    static int steps_to_newest() {
        int steps = 0;
        while (device_input(1, 1) == -1) ++steps;
        return steps;
    }
};

TEST_F(DeviceSnapshots, KeyboardQueueKeepsItsNewest256) {
    for (int i = 0; i < 200; ++i) {
        key(true, 'a' + i % 26);
        key(false, 'a' + i % 26);
    }
    EXPECT_EQ(device_at(1)->capacity, keyboard_snapshot_limit);
    EXPECT_EQ(steps_to_newest(), int(keyboard_snapshot_limit) - 2);
    // The last event recorded is the current one: the release of 'a' + 199 % 26.
    const int button = ((512 - ('a' + 199 % 26)) ^ 0x155) % 512 + 1;
    EXPECT_EQ(device_button_change(button), 1);
    EXPECT_EQ(device_button(button, 1), 0);
}

// Every press of a lock key comes as a press and a release, each with the
// lock's state after it: each change of the lock is one whole press.
TEST_F(DeviceSnapshots, LockKeysRecordAPressPerChangeOfTheLock) {
    const int caps = ((512 - 301) ^ 0x155) % 512 + 1, num = ((512 - 300) ^ 0x155) % 512 + 1;
    key(true, 301, KMOD_CAPS);
    key(false, 301, KMOD_CAPS);
    key(true, 301);
    key(false, 301);
    key(true, 300, KMOD_NUM);  // a lock's first event counts, whatever its state
    std::string changes;
    while (device_input(1, 1) == -1)
        changes += std::to_string(device_button_change(caps)) + "/" + std::to_string(device_button_change(num)) + " ";
    EXPECT_EQ(changes, "-1/0 1/0 -1/0 1/0 0/-1 0/1 ");
}

TEST_F(DeviceSnapshots, DormantDevicesRecordNothing) {
    devices_reset();
    key(true, 'a');
    EXPECT_EQ(device_count(), 0);
    EXPECT_EQ(device_input(0, 0), 0);
}

}  // namespace
