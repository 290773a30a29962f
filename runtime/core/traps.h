// Event traps: the timer traps, the controller-button traps, and the dispatch
// that runs their handlers between two statements on the program thread.
#pragma once
#include <cstdint>

constexpr uint32_t timer_trap_count = 64;
constexpr uint32_t trigger_trap_controllers = 256;
constexpr uint32_t trigger_trap_buttons = 256;

// Trap states.
constexpr uint8_t trap_off = 0;
constexpr uint8_t trap_on = 1;
constexpr uint8_t trap_stopped = 2;

// The compiled program's handlers: `handler` selects one, the two parameters
// are those stored with the trap. Without a runner a due trap is consumed and
// nothing runs.
using TrapHandlerRunner = void (*)(uint32_t handler, uint32_t param1, uint32_t param2);
void trap_handler_runner_set(TrapHandlerRunner runner);

// Runs the pending traps in order: controller buttons, keys, timers
// (statement_check, program thread).
void dispatch_event_traps();

// The key traps are the keyboard's: it hands out one pending occurrence at a
// time, true while it had one. Installed at the keyboard's start-up.
using TrapTake = bool (*)(uint32_t* handler, uint32_t* param1, uint32_t* param2);
void key_trap_source_set(TrapTake take);

// --- Timer traps ----------------------------------------------------------------
// Empties the table and puts entry 0 in use (start-up).
void timer_traps_startup();
// One pass of the timer thread: marks due entries pending and raises
// event_pending. True while any trap with a handler is switched on.
bool timer_traps_poll(double now_seconds);
// When the next switched-on trap falls due, in seconds on the same clock;
// infinity while none can. The timer thread rests until then.
double timer_traps_next_due();
// The first free entry from 1, now in use; error 5 and 0 when all are taken.
int32_t timer_trap_new();
void timer_trap_free(int32_t index);
// Attaches a handler that falls due every interval_seconds from now.
void timer_trap_attach(int32_t index, uint32_t handler, double interval_seconds);
void timer_trap_set_state(int32_t index, uint8_t state);
// 0 nothing pending, 1 due, 2 its handler is running.
uint8_t timer_trap_pending(int32_t index);

// --- Controller-button traps (controller ordinal and button count from 1) -------
void trigger_trap_attach(uint32_t controller, uint32_t button, uint32_t handler, uint32_t param1, uint32_t param2);
void trigger_trap_set_state(uint32_t controller, uint32_t button, uint8_t state);
// A button press (event thread): a trap that is on or stopped and has a handler
// counts it and raises event_pending; true when it did.
bool trigger_trap_raise(uint32_t controller, uint32_t button);
uint8_t trigger_trap_pending(uint32_t controller, uint32_t button);
// Detaches every controller-button trap (tests).
void trigger_traps_reset();
