// The flag words the event, program and timer threads share. Each has one writer
// (or a few that only ever set it); readers see a change at their next poll.
#pragma once
#include <atomic>
#include <cstdint>

// The program is to end; the event thread starts the shutdown when it sees it.
extern std::atomic<uint8_t> exit_requested;
// Shutdown has begun: the program thread parks at its next statement check and
// the timer thread leaves its loop. Written by the event thread only.
extern std::atomic<uint8_t> stop_threads;
// Bit 0: held by the pause key. Bit 1: waiting for foreground music to finish.
extern std::atomic<uint8_t> pause_flags;
// Bit 0: the program thread is parked; bit 1: the timer thread has ended.
extern std::atomic<uint32_t> threads_stopped;
// 1 once both worker threads exist.
extern std::atomic<uint32_t> threads_started;
// Non-zero when statement_check has work to do.
extern std::atomic<int32_t> event_pending;
// Number of the pending runtime error, 0 when none.
extern std::atomic<int32_t> error_code;
// 1 refresh every frame, 0 the event thread does not refresh, -1 refresh once.
extern std::atomic<int32_t> auto_display;
// 0 drawing allowed; 1 the program thread asks the event thread to pause;
// 2 the event thread has paused.
extern std::atomic<int32_t> display_pause_state;
// Device enumeration asks the event thread to stand still (1), which answers 2.
extern std::atomic<int32_t> device_pause_state;

// Puts every flag word back to its start-up value (tests and start-up).
void flags_reset();
