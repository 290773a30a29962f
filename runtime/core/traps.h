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

// --- Timer traps ----------------------------------------------------------------
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
uint8_t trigger_trap_pending(uint32_t controller, uint32_t button);
