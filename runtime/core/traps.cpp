// Event traps: TimerTrapTable, the controller-button traps and their dispatch.
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include <SDL.h>
#include <atomic>
#include <cmath>
#include <limits>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"

namespace {

// The timer thread reads what the program thread writes, so every field is
// atomic; `pending` is the hand-over (1 due, 2 running, 0 idle).
struct TimerTrap {
    std::atomic<uint8_t> in_use{0};
    std::atomic<uint32_t> handler{0};
    std::atomic<double> interval{0.0};  // seconds
    std::atomic<double> last{0.0};  // seconds on the SDL_GetTicks clock
    std::atomic<uint8_t> state{trap_off};
    std::atomic<uint8_t> pending{0};
};

// The event thread counts presses, the program thread takes them.
struct TriggerTrap {
    std::atomic<uint32_t> handler{0};
    uint32_t param1 = 0;  // program thread only
    uint32_t param2 = 0;
    std::atomic<uint8_t> state{trap_off};
    std::atomic<uint8_t> pending{0};
};

constexpr uint32_t trigger_trap_slots = trigger_trap_controllers * trigger_trap_buttons;

TimerTrap TimerTrapTable[timer_trap_count];
TriggerTrap TriggerTrapTable[trigger_trap_slots];
// Slots with a handler: without any, the dispatch skips the whole table.
std::atomic<uint32_t> TriggerTrapsAttached{0};
std::atomic<TrapHandlerRunner> HandlerRunner{nullptr};
std::atomic<TrapTake> KeyTrapSource{nullptr};

// One guard per kind of trap, so a handler's own statement checks do not start
// a second handler of its kind (program thread only).
bool TriggerTrapRunning = false;
bool KeyTrapRunning = false;

bool key_trap_take(uint32_t* handler, uint32_t* param1, uint32_t* param2) {
    TrapTake take = KeyTrapSource.load();
    return take && take(handler, param1, param2);
}

void run_handler(uint32_t handler, uint32_t param1, uint32_t param2) {
    if (TrapHandlerRunner runner = HandlerRunner.load()) runner(handler, param1, param2);
}

TimerTrap* timer_entry(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= timer_trap_count || !TimerTrapTable[index].in_use.load()) {
        runtime_error(error_illegal_function_call);
        return nullptr;
    }
    return &TimerTrapTable[index];
}

TriggerTrap* trigger_slot(uint32_t controller, uint32_t button) {
    if (controller < 1 || controller > trigger_trap_controllers || button < 1 || button > trigger_trap_buttons)
        return nullptr;
    return &TriggerTrapTable[(controller - 1) * trigger_trap_buttons + (button - 1)];
}

// Counts down a pending press; false when another take got there first.
bool pending_take(std::atomic<uint8_t>& pending) {
    uint8_t count = pending.load();
    while (count > 0)
        if (pending.compare_exchange_weak(count, static_cast<uint8_t>(count - 1))) return true;
    return false;
}

bool trigger_trap_take_pending(uint32_t* handler, uint32_t* param1, uint32_t* param2) {
    if (TriggerTrapsAttached.load() == 0) return false;
    for (TriggerTrap& trap : TriggerTrapTable) {
        uint32_t h = trap.handler.load();
        if (h == 0 || trap.state.load() != trap_on || !pending_take(trap.pending)) continue;
        *handler = h;
        *param1 = trap.param1;
        *param2 = trap.param2;
        return true;
    }
    return false;
}

using TakePending = bool (*)(uint32_t*, uint32_t*, uint32_t*);

void dispatch_kind(bool& running, TakePending take) {
    if (running) return;
    running = true;
    uint32_t handler, param1, param2;
    while (take(&handler, &param1, &param2)) run_handler(handler, param1, param2);
    running = false;
}

void dispatch_timer_traps() {
    for (TimerTrap& trap : TimerTrapTable) {
        uint32_t handler = trap.handler.load();
        if (handler == 0 || trap.state.load() != trap_on) continue;
        uint8_t due = 1;
        if (!trap.pending.compare_exchange_strong(due, 2)) continue;
        run_handler(handler, 0, 0);
        trap.pending = 0;
        timer_wakeup.signal();  // it counts again from here
    }
}

}  // namespace

void trap_handler_runner_set(TrapHandlerRunner runner) { HandlerRunner = runner; }

void key_trap_source_hook_set(TrapTake take) { KeyTrapSource = take; }

void dispatch_event_traps() {
    dispatch_kind(TriggerTrapRunning, trigger_trap_take_pending);
    dispatch_kind(KeyTrapRunning, key_trap_take);
    dispatch_timer_traps();
}

// --- Timer traps ------------------------------------------------------------------

void timer_traps_startup() {
    for (TimerTrap& trap : TimerTrapTable) {
        trap.in_use = 0;
        trap.handler = 0;
        trap.interval = 0.0;
        trap.last = 0.0;
        trap.state = trap_off;
        trap.pending = 0;
    }
    // Entry 0 is the program's own timer, there from the start.
    TimerTrapTable[0].in_use = 1;
}

// Nothing to undo: the table holds no resources.
void timer_traps_shutdown() {}

bool timer_traps_poll(double now_seconds) {
    bool any_on = false;
    for (TimerTrap& trap : TimerTrapTable) {
        if (!trap.in_use.load() || trap.handler.load() == 0 || trap.state.load() != trap_on) continue;
        any_on = true;
        if (trap.pending.load()) continue;
        double interval = trap.interval.load();
        double last = trap.last.load();
        if (now_seconds - last < interval) continue;
        last += interval;
        // A trap that fell more than one interval behind starts again from now.
        if (std::fabs(now_seconds - last) >= interval) last = now_seconds;
        trap.last = last;
        trap.pending = 1;
        event_pending_raise();
    }
    return any_on;
}

double timer_traps_next_due() {
    double next = std::numeric_limits<double>::infinity();
    for (TimerTrap& trap : TimerTrapTable) {
        if (!trap.in_use.load() || trap.handler.load() == 0 || trap.state.load() != trap_on) continue;
        if (trap.pending.load()) continue;
        next = std::min(next, trap.last.load() + trap.interval.load());
    }
    return next;
}

int32_t timer_trap_new() {
    for (uint32_t i = 1; i < timer_trap_count; ++i) {
        uint8_t free_entry = 0;
        if (TimerTrapTable[i].in_use.compare_exchange_strong(free_entry, 1)) return static_cast<int32_t>(i);
    }
    runtime_error(error_illegal_function_call);
    return 0;
}

void timer_trap_free(int32_t index) {
    if (index == 0) {
        runtime_error(error_illegal_function_call);
        return;
    }
    TimerTrap* trap = timer_entry(index);
    if (!trap) return;
    trap->state = trap_off;
    trap->handler = 0;
    trap->pending = 0;
    trap->in_use = 0;
}

void timer_trap_attach(int32_t index, uint32_t handler, double interval_seconds) {
    // A zero, negative or undefined interval would fall due on every pass.
    if (!(interval_seconds > 0.0) || !std::isfinite(interval_seconds)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    TimerTrap* trap = timer_entry(index);
    if (!trap) return;
    trap->interval = interval_seconds;
    trap->last = SDL_GetTicks() * 0.001;
    trap->handler = handler;
    timer_wakeup.signal();
}

void timer_trap_set_state(int32_t index, uint8_t state) {
    if (state > trap_stopped) {
        runtime_error(error_illegal_function_call);
        return;
    }
    TimerTrap* trap = timer_entry(index);
    if (!trap) return;
    trap->state = state;
    uint8_t due = 1;
    if (state == trap_off) trap->pending.compare_exchange_strong(due, 0);
    // A trap held while stopped runs once it is on again.
    else if (state == trap_on && trap->pending.load() == 1)
        event_pending_raise();
    timer_wakeup.signal();
}

uint8_t timer_trap_pending(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= timer_trap_count) return 0;
    return TimerTrapTable[index].pending.load();
}

// --- Controller-button traps --------------------------------------------------------

void trigger_trap_attach(uint32_t controller, uint32_t button, uint32_t handler, uint32_t param1, uint32_t param2) {
    TriggerTrap* trap = trigger_slot(controller, button);
    if (!trap) {
        runtime_error(error_illegal_function_call);
        return;
    }
    trap->param1 = param1;
    trap->param2 = param2;
    trap->pending = 0;
    uint32_t before = trap->handler.exchange(handler);
    if (before == 0 && handler != 0) TriggerTrapsAttached.fetch_add(1);
    if (before != 0 && handler == 0) TriggerTrapsAttached.fetch_sub(1);
}

void trigger_trap_set_state(uint32_t controller, uint32_t button, uint8_t state) {
    TriggerTrap* trap = trigger_slot(controller, button);
    if (!trap || state > trap_stopped) {
        runtime_error(error_illegal_function_call);
        return;
    }
    trap->state = state;
    if (state == trap_off)
        trap->pending = 0;
    else if (state == trap_on && trap->pending.load() > 0)
        event_pending_raise();
}

bool trigger_trap_raise(uint32_t controller, uint32_t button) {
    TriggerTrap* trap = trigger_slot(controller, button);
    if (!trap || trap->handler.load() == 0) return false;
    uint8_t state = trap->state.load();
    if (state == trap_stopped) {
        trap->pending = 1;
    } else if (state == trap_on) {
        // Saturates: a count that wrapped to 0 would lose every press it held.
        uint8_t count = trap->pending.load();
        while (count < 255 && !trap->pending.compare_exchange_weak(count, static_cast<uint8_t>(count + 1))) {}
    } else {
        return false;
    }
    event_pending_raise();
    return true;
}

uint8_t trigger_trap_pending(uint32_t controller, uint32_t button) {
    TriggerTrap* trap = trigger_slot(controller, button);
    return trap ? trap->pending.load() : 0;
}

void trigger_traps_reset() {
    for (TriggerTrap& trap : TriggerTrapTable) {
        trap.handler = 0;
        trap.param1 = trap.param2 = 0;
        trap.state = trap_off;
        trap.pending = 0;
    }
    TriggerTrapsAttached = 0;
}
