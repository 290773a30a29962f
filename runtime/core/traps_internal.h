// The trap dispatch of the statement check, the key traps' source, and the
// timer thread's and the event thread's side of the traps.
#pragma once
#include <cstdint>
#include "runtime/core/traps.h"

// Runs the pending traps in order: controller buttons, keys, timers
// (statement_check, program thread).
void dispatch_event_traps();

// The key traps are the keyboard's: it hands out one pending occurrence at a
// time, true while it had one. Installed at the keyboard's start-up.
using TrapTake = bool (*)(uint32_t* handler, uint32_t* param1, uint32_t* param2);
void key_trap_source_hook_set(TrapTake take);

// Empties the table and puts entry 0 in use (start-up).
void timer_traps_startup();
void timer_traps_shutdown();
// One pass of the timer thread: marks due entries pending and raises
// event_pending. True while any trap with a handler is switched on.
bool timer_traps_poll(double now_seconds);
// When the next switched-on trap falls due, in seconds on the same clock;
// infinity while none can. The timer thread rests until then.
double timer_traps_next_due();

// A button press (event thread): a trap that is on or stopped and has a handler
// counts it and raises event_pending; true when it did.
bool trigger_trap_raise(uint32_t controller, uint32_t button);

// Detaches every controller-button trap (tests).
void trigger_traps_reset();
