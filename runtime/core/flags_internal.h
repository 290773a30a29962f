// The flag words only the runtime's threads use: the shutdown, the pauses, the
// threads' states and the display and device handshakes.
#pragma once
#include <atomic>
#include <cstdint>
#include "runtime/core/flags.h"

// Shutdown has begun: the program thread parks at its next statement check and
// the timer thread leaves its loop. Written by the event thread only.
extern std::atomic<uint8_t> stop_threads;

// Bit 0: held by the pause key. Bit 1: waiting for foreground music to finish.
extern std::atomic<uint8_t> pause_flags;
// Bit 0: the program thread is parked; bit 1: the timer thread has ended.
extern std::atomic<uint32_t> threads_stopped;
// 1 once both worker threads exist.
extern std::atomic<uint32_t> threads_started;

// 0 drawing allowed; 1 the program thread asks the event thread to pause;
// 2 the event thread has paused.
extern std::atomic<int32_t> display_pause_state;
// Device enumeration asks the event thread to stand still (1), which answers 2.
extern std::atomic<int32_t> device_pause_state;

// Puts every flag word back to its start-up value (tests and start-up).
void flags_reset();
