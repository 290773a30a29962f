// Game devices. Controller events are dropped until the device statements exist.
#include "runtime/input/devices.h"
#include "runtime/core/flags.h"
#include "runtime/core/threads.h"

namespace {
// The enumeration wakes the event thread when it is done; this bounds a
// missed signal.
constexpr uint32_t enumeration_check_ms = 100;
}

void device_handle_event(const SDL_Event&) {}

void devices_pass() {
    int32_t asked = 1;
    if (!device_pause_state.compare_exchange_strong(asked, 2)) return;
    program_wakeup.signal();
    while (!wait_until(event_wakeup, [] { return device_pause_state.load() != 2; }, enumeration_check_ms))
        if (stop_threads.load()) return;
}
