// The event thread's loop and the shutdown it ends in.
#pragma once
#include <cstdint>

// Runs event-loop passes until the program is to end, then shuts down.
[[noreturn]] void event_loop_run();
// Stops the worker threads in order, closes files and exits with code 0.
[[noreturn]] void runtime_shutdown();
// One pass of the loop; false when the shutdown is due (tests drive it).
bool event_loop_pass();
// Writes the emulated timer-tick bytes at 0x46C for a time of day in ms.
void event_loop_store_ticks(uint32_t ms_of_day);
