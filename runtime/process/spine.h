// The pieces of the process the spine's own files share: the command line and
// program folder steps of start-up, the event loop, the timer thread and the
// shutdown. Tests drive them one by one.
#pragma once
#include <cstdint>

// Runs start-up's steps in order: every subsystem's start, with the window
// system's and the process's own (its folder, its arguments) only when
// with_window. Returns the exit code of a step that failed, or 0.
int process_startup(bool with_window);
// The shutdown of every step the last start-up ran, in the mirror order
// (tests, and a start-up again after it).
void process_shutdown();
// The end path's share of that shutdown, in the same order: what has effects
// outside the process, and with a program thread that did not park only what
// takes no lock it may hold.
void process_shutdown_at_end(bool program_parked);

// At start-up the program's folder becomes the working directory.
void process_enter_program_folder();
// At start-up argv[1..] are joined with single spaces into command_line.
void process_join_command_line(int argc, char** argv);

// Runs event-loop passes until the program is to end, then shuts down.
[[noreturn]] void event_loop_run();
// One pass of the loop; false when the shutdown is due (tests drive it).
bool event_loop_pass();
// Writes the emulated timer-tick bytes at 0x46C for a time of day in ms.
void event_loop_store_ticks(uint32_t ms_of_day);

// The timer thread's entry, and its handle once start-up made it.
int timer_thread_main(void*);
struct SDL_Thread;
SDL_Thread* process_timer_thread();

// Stops the worker threads in order, closes files and exits with code 0. A
// program thread that does not park within the bounded wait keeps what it
// uses: nothing it may hold is closed or flushed, and the process ends around it.
[[noreturn]] void runtime_shutdown();
// How long the shutdown waits for each worker thread.
constexpr uint32_t shutdown_wait_ms = 2000;
